// The radiosim program on its own: it starts and stops cleanly however it is told to, leaves no
// pseudo-terminal behind, and refuses bad options. The terminal's side against it runs in
// Talvane27's tests (terminal/tests/RadiosimEndToEndTest.cpp), through its link host.
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "radiosim/tests/RadiosimProcess.h"

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

}  // namespace
