// The map27dump program with its input and output as a shell or a CI job may give them: a
// directory, a closed descriptor, a full disk, a pipe that brings megabytes.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "soak/RadiosimChild.h"

using namespace std::chrono_literals;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // keeps freed memory, and runs slowly
#else
constexpr bool kSanitized = false;
#endif

// map27dump started by the shell, which sets its standard streams up with the redirections;
// standard error (and output, unless redirected) come back through a pipe.
soak::RadiosimChild Start(const std::vector<std::string>& args, const std::string& redirections) {
    std::vector<std::string> shell = {"-c", "exec \"$0\" \"$@\" " + redirections,
                                      MAP27DUMP_PROGRAM};
    shell.insert(shell.end(), args.begin(), args.end());
    return soak::RadiosimChild("/bin/sh", shell);
}

std::string Finish(soak::RadiosimChild& program, int& status) {
    status = program.Wait(60s);
    std::string output;
    for (const auto& line : program.ReadLines()) output += line + '\n';
    return output;
}

TEST(Map27Dump, InputItCannotReadAndOutputItCannotWriteAreSaidWithStatus2) {
    const std::string folder = ::testing::TempDir();
    const struct {
        std::vector<std::string> args;
        std::string redirections, message;
    } cases[] = {
        {{"--capture", folder}, "", "cannot read the capture '" + folder + "': Is a directory"},
        {{}, "<" + folder, "cannot read standard input: Is a directory"},
        {{"--message"}, "<&-", "cannot read standard input: Bad file descriptor"},
        {{"--capture", "-"}, "<&-", "cannot read standard input: Bad file descriptor"},
        {{"--message", "80", "08"},
         ">/dev/full",
         "cannot write standard output: No space left on device"},
        {{"--message", "80", "08"}, ">&-", "cannot write standard output: Bad file descriptor"},
    };
    for (const auto& c : cases) {
        auto program = Start(c.args, c.redirections);
        int status = -1;
        EXPECT_EQ(Finish(program, status), "map27dump: " + c.message + "\n");
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << c.message << ": " << status;
    }
    auto help = Start({"--help"}, "");
    int status = -1;
    const std::string text = Finish(help, status);
    EXPECT_NE(text.find("input that cannot be read"), std::string::npos) << text;
    EXPECT_NE(text.find("output that cannot be written"), std::string::npos) << text;
}

// Its peak memory (VmHWM) is read while it waits for the end of its input, having taken all of
// it: once it has ended the figure is gone, and the one wait4 gives starts from this process's
// size.
TEST(Map27Dump, EveryModeStreamsInMemoryThatDoesNotGrowWithTheInput) {
    const std::string blankLines(1'000'000, '\n');
    std::string noise;  // bytes before a frame that never comes
    for (int i = 0; i < 350'000; ++i) noise += "00 ";
    const struct {
        std::vector<std::string> args;
        const std::string& tenthOfTheInput;
    } cases[] = {
        {{}, blankLines},
        {{"--message"}, blankLines},
        {{"--capture", "-"}, blankLines},
        {{}, noise},
    };
    for (const auto& c : cases) {
        const std::string mode = c.args.empty() ? "(default)" : c.args[0];
        auto program = Start(c.args, ">/dev/null");
        const int tenths = kSanitized ? 1 : 10;
        for (int i = 0; i < tenths; ++i) ASSERT_TRUE(program.Command(c.tenthOfTheInput.substr(1)));
        ::usleep(300'000);  // for the last of it
        const long peakKb = program.PeakMemoryKb();
        program.CloseInput();
        int status = -1;
        EXPECT_EQ(Finish(program, status), "") << mode;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << mode << ": " << status;
        std::printf("map27dump %s, %d MB in: peak memory %.1f MB\n", mode.c_str(), tenths,
                    static_cast<double>(peakKb) / 1024.0);
        if (kSanitized) continue;
        EXPECT_GT(peakKb, 0) << mode;
        EXPECT_LT(peakKb, 20 * 1024) << mode;
    }
}

}  // namespace
