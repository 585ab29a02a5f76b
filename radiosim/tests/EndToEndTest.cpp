// The radiosim program: it starts and stops cleanly however it is told to and however it was
// started, leaves no pseudo-terminal behind, refuses bad options and over-long command lines, and
// gives a new terminal nothing queued for the last. The terminal's side against it runs in
// Talvane27's tests (terminal/tests/RadiosimEndToEndTest.cpp), through its link host.
#include <dirent.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "radiosim/tests/RadiosimProcess.h"
#include "soak/RadiosimChild.h"

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

// Stopped however it is left: with no standard input at all (the signal descriptor must not take
// its place), and while it waits for room on a standard output that nobody reads.
TEST(RadiosimEndToEnd, EveryStopSignalEndsItWithoutInputOrWithItsOutputFull) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        for (const bool outputFull : {false, true}) {
            RadiosimProcess radio(
                {}, outputFull ? RadiosimProcess::Input::Pipe : RadiosimProcess::Input::Closed);
            ASSERT_EQ(radio.FirstLine().rfind("/dev/pts/", 0), 0U) << radio.Output();
            const auto deadline = Clock::now() + 10s;
            for (int unread = 0; outputFull && unread < 60000 && Clock::now() < deadline;) {
                radio.Command("help");
                ::usleep(2000);
                ::ioctl(radio.OutputFd(), FIONREAD, &unread);
            }
            ASSERT_LT(Clock::now(), deadline) << "the output did not fill";
            ::kill(radio.Pid(), signal);
            const auto sent = Clock::now();
            const int status = radio.Wait(10s, /*readOutput=*/false);
            ASSERT_NE(status, -1) << "signal " << signal << (outputFull ? ", output full" : "");
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
            std::printf("signal %d%s: ended after %lld ms\n", signal,
                        outputFull ? " with its output full" : " without input",
                        static_cast<long long>((Clock::now() - sent) / 1ms));
        }
    }
}

TEST(RadiosimEndToEnd, TheTailOfAnOverLongLineIsNeverRun) {
    RadiosimProcess radio({"--quiet"});
    ASSERT_FALSE(radio.FirstLine().empty());
    radio.Command("# a comment" + std::string(200'000, ' ') + "quit");
    radio.Command("stats");
    const auto deadline = Clock::now() + 10s;
    while (radio.Output().find("stats:") == std::string::npos && Clock::now() < deadline) {
        ::usleep(10'000);
        radio.Drain();
    }
    const std::string refusal = "error: command line longer than 65536 bytes; ignored\nstats:";
    EXPECT_NE(radio.Output().find(refusal), std::string::npos) << radio.Output();
    ASSERT_EQ(::waitpid(radio.Pid(), nullptr, WNOHANG), 0) << "it ran the line's tail";
    radio.Command("quit");
    const int status = radio.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// map27test runs one after the other against one radiosim, as in CI: the first ends as soon as
// it has sent a call set-up; the second must not take the answers meant for the first.
TEST(RadiosimEndToEnd, ANewTerminalGetsNothingQueuedForTheLastOne) {
    RadiosimProcess radio({"--quiet"});
    const std::string device = radio.FirstLine();
    ASSERT_EQ(device.rfind("/dev/pts/", 0), 0U) << radio.Output();
    const std::string folder = ::testing::TempDir() + std::to_string(::getpid()) + "-";
    const auto run = [&](const std::string& name, const std::string& script) {
        std::ofstream(folder + name) << script;
        soak::RadiosimChild program(MAP27TEST_PROGRAM,
                                    {folder + name, "--device", device, "--speed", "9600"});
        const int status = program.Wait(60s);
        std::string output;
        for (const auto& line : program.ReadLines()) output += line + '\n';
        return std::make_pair(status, output);
    };
    const auto first = run("first.m27", "link within 5s\nsend voice 008 2001\n");
    EXPECT_TRUE(WIFEXITED(first.first) && WEXITSTATUS(first.first) == 0) << first.second;
    const auto second = run("second.m27",
                            "link within 5s\n"
                            "expect rx /ACKI/ within 2s\n"
                            "expect rx /GTC/ within 2s\n");
    EXPECT_TRUE(WIFEXITED(second.first) && WEXITSTATUS(second.first) == 1) << second.second;
    EXPECT_NE(second.second.find("link within 5s: ok"), std::string::npos) << second.second;
}

}  // namespace
