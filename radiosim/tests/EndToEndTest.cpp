// The radiosim program on its own: it starts and stops cleanly however it is told to, leaves no
// pseudo-terminal behind, and refuses bad options. The terminal's side against it runs in
// Talvane27's tests (terminal/tests/RadiosimEndToEndTest.cpp), through its link host.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "FrameCodec.h"
#include "RadiosimProcess.h"
#include "WireCapture.h"

using namespace radiosim::test;

namespace {

std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> children;
    DIR* proc = ::opendir("/proc");
    if (!proc) return children;
    while (dirent* e = ::readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent)
            children.push_back(std::stoi(e->d_name));
    }
    ::closedir(proc);
    return children;
}

TEST(RadiosimEndToEnd, StartsAndStopsCleanlyTwentyTimes) {
    for (int i = 0; i < 20; ++i) {
        RadiosimProcess radio({"--quiet"});
        ASSERT_TRUE(radio.Started());
        const std::string path = radio.FirstLine();
        ASSERT_EQ(path.rfind("/dev/pts/", 0), 0U) << radio.Output();
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
        switch (i % 3) {
            case 0:
                radio.Command("quit");
                break;
            case 1:
                ::kill(radio.Pid(), SIGTERM);
                break;
            default:  // no more commands: it plays on until it is told to stop
                radio.CloseInput();
                ::usleep(20000);
                ASSERT_EQ(::waitpid(radio.Pid(), nullptr, WNOHANG), 0)
                    << "ended at the end of its input";
                ::kill(radio.Pid(), SIGINT);
                break;
        }
        const int status = radio.Wait();
        ASSERT_NE(status, -1) << "radiosim did not end, round " << i;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "round " << i << " status " << status;
        EXPECT_TRUE(PtyGone(path, st)) << path << " is left behind, round " << i;
    }
    EXPECT_TRUE(ChildrenOf(::getpid()).empty());
}

TEST(RadiosimEndToEnd, RefusesBadOptionsWithAMessage) {
    RadiosimProcess radio({"--n1", "lots"});
    ASSERT_TRUE(radio.Started());
    const int status = radio.Wait();
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
    EXPECT_EQ(
        radio.Output().rfind(
            "radiosim: --n1: 'lots' is not a number\nusage: radiosim [DEVICE] [options]\n", 0),
        0U)
        << radio.Output();
}

TEST(RadiosimEndToEnd, CapturesEveryFrameOnTheLineBothWays) {
    const std::string capturePath = ::testing::TempDir() + "radiosim-capture.txt";
    std::remove(capturePath.c_str());
    RadiosimProcess radio({"--n1", "15", "--t0", "300", "--capture", capturePath});
    ASSERT_TRUE(radio.Started());
    const std::string path = radio.FirstLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0U) << radio.Output();
    TerminalSide terminal(path, radio);
    terminal.runner.Operate([&] { terminal.engine.StartLink(); });
    const std::string ack = "RX : C0-00 ACK:Successful Transaction    PFIX:008  ID:2001";
    terminal.sender.Queue(map27::MakeMessageBuilder(Request(map27::SendKind::StatusCall)));
    ASSERT_TRUE(terminal.runner.RunUntil([&] { return Count(terminal.events.log, ack) == 1; },
                                         Clock::now() + 4000ms))
        << radio.Output();
    radio.Command("quit");
    ASSERT_NE(radio.Wait(), -1);

    // Every line reads back; the terminal's status call went T>R and the radio's answer R>T.
    std::ifstream file(capturePath);
    std::vector<map27::CaptureRecord> records;
    for (std::string line, error; std::getline(file, line);) {
        const auto record = map27::ParseCaptureLine(line, error);
        ASSERT_TRUE(record) << line << ": " << error;
        records.push_back(*record);
    }
    auto sent = [&](map27::WireDirection direction, std::uint8_t messageType) {
        return std::count_if(records.begin(), records.end(), [&](const map27::CaptureRecord& r) {
            const auto frame = map27::DestuffFrame(r.bytes);
            return r.direction == direction && !r.bad && frame[3] == map27::kLinkTransfer &&
                   map27::FrameMessage(frame)[0] == messageType;
        });
    };
    EXPECT_GE(std::count_if(records.begin(), records.end(),
                            [](const map27::CaptureRecord& r) {
                                return r.direction == map27::WireDirection::TerminalToRadio &&
                                       r.bytes[3] == map27::kLinkRequest;
                            }),
              1);
    EXPECT_EQ(sent(map27::WireDirection::TerminalToRadio, 0x80), 1);
    EXPECT_EQ(sent(map27::WireDirection::RadioToTerminal, 0xC0), 1);
    std::remove(capturePath.c_str());

    RadiosimProcess refused({"--capture", ::testing::TempDir() + "no-such-folder/capture.txt"});
    const int status = refused.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_EQ(refused.Output().rfind("radiosim: Cannot open the capture file ", 0), 0U)
        << refused.Output();
}

}  // namespace
