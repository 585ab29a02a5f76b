// The map27dump program with its input and output as a shell or a CI job may give them: a
// directory, a closed descriptor, a full disk, a pipe that brings megabytes.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

// Where a standard stream of the program goes: a pipe of the test's, a file opened for it, or
// nowhere (closed).
struct Stream {
    enum class Kind : std::uint8_t { Pipe, File, Closed } kind = Kind::Pipe;
    std::string path;
};

struct DumpRun {
    int status = -1;
    std::string out, err;
    long peakKb = 0;  // VmHWM once the program had taken all its input
};

long PeakKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// Runs map27dump; input through a pipe is fed from `feed`. Its peak memory is read from /proc while
// it waits for the end of its input, after it has taken all of it: once it exits that figure is
// gone, and the one wait4 gives starts from this process's size.
DumpRun RunMap27dump(std::vector<std::string> args, const Stream& in, const Stream& out,
                     const std::string& feed = {}) {
    int inPipe[2], outPipe[2], errPipe[2];
    if (::pipe2(inPipe, O_CLOEXEC) != 0 || ::pipe2(outPipe, O_CLOEXEC) != 0 ||
        ::pipe2(errPipe, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const auto give = [&](int fd, const Stream& s, int pipeEnd, int flags) {
        if (s.kind == Stream::Kind::Pipe) posix_spawn_file_actions_adddup2(&actions, pipeEnd, fd);
        if (s.kind == Stream::Kind::File)
            posix_spawn_file_actions_addopen(&actions, fd, s.path.c_str(), flags, 0);
        if (s.kind == Stream::Kind::Closed) posix_spawn_file_actions_addclose(&actions, fd);
    };
    give(STDIN_FILENO, in, inPipe[0], O_RDONLY);
    give(STDOUT_FILENO, out, outPipe[1], O_WRONLY);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    args.insert(args.begin(), MAP27DUMP_PROGRAM);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed =
        posix_spawn(&pid, MAP27DUMP_PROGRAM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : {inPipe[0], outPipe[1], errPipe[1]}) ::close(fd);
    DumpRun run;
    if (failed != 0) return run;

    int toChild = inPipe[1];
    ::fcntl(toChild, F_SETFL, O_NONBLOCK);
    std::size_t fed = 0;
    std::vector<pollfd> fds = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (toChild >= 0 && fed == feed.size()) {
            int unread = 0;
            ::ioctl(toChild, FIONREAD, &unread);
            if (unread == 0) {  // all taken; a moment for the last of it
                if (!feed.empty()) ::usleep(100'000);
                run.peakKb = PeakKb(pid);
                ::close(std::exchange(toChild, -1));
            }
        }
        std::vector<pollfd> now = fds;
        if (toChild >= 0 && fed < feed.size()) now.push_back({toChild, POLLOUT, 0});
        if (::poll(now.data(), now.size(), 50) < 0) break;
        if (now.size() > 2 && now[2].revents != 0) {
            const ssize_t n = ::write(toChild, feed.data() + fed, feed.size() - fed);
            if (n > 0) fed += static_cast<std::size_t>(n);
        }
        for (std::size_t i = 0; i < 2; ++i) {
            if (now[i].fd < 0 || now[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t n = ::read(now[i].fd, buffer, sizeof buffer);
            if (n > 0)
                (i == 0 ? run.out : run.err).append(buffer, static_cast<std::size_t>(n));
            else
                ::close(std::exchange(fds[i].fd, -1));
        }
    }
    if (toChild >= 0) ::close(toChild);
    ::waitpid(pid, &run.status, 0);
    return run;
}

bool ExitedWith(const DumpRun& run, int code) {
    return WIFEXITED(run.status) && WEXITSTATUS(run.status) == code;
}

TEST(Map27Dump, InputItCannotReadAndOutputItCannotWriteAreSaidWithStatus2) {
    const std::string folder = ::testing::TempDir();
    const Stream pipe, closed{Stream::Kind::Closed, {}};
    const struct {
        std::vector<std::string> args;
        Stream in, out;
        std::string message;
    } cases[] = {
        {{"--capture", folder},
         pipe,
         pipe,
         "map27dump: cannot read the capture '" + folder + "': Is a directory\n"},
        {{},
         {Stream::Kind::File, folder},
         pipe,
         "map27dump: cannot read standard input: Is a directory\n"},
        {{"--message"},
         closed,
         pipe,
         "map27dump: cannot read standard input: Bad file descriptor\n"},
        {{"--capture", "-"},
         closed,
         pipe,
         "map27dump: cannot read standard input: Bad file descriptor\n"},
        {{"--message", "80", "08"},
         pipe,
         {Stream::Kind::File, "/dev/full"},
         "map27dump: cannot write standard output: No space left on device\n"},
        {{"--message", "80", "08"},
         pipe,
         closed,
         "map27dump: cannot write standard output: Bad file descriptor\n"},
    };
    for (const auto& c : cases) {
        const DumpRun run = RunMap27dump(c.args, c.in, c.out);
        EXPECT_TRUE(ExitedWith(run, 2)) << c.message << "status " << run.status;
        EXPECT_EQ(run.err, c.message);
        EXPECT_EQ(run.out, "");
    }
    const std::string help = RunMap27dump({"--help"}, pipe, pipe).out;
    EXPECT_NE(help.find("input that cannot be read"), std::string::npos) << help;
    EXPECT_NE(help.find("output that cannot be written"), std::string::npos) << help;
}

TEST(Map27Dump, EveryModeStreamsInMemoryThatDoesNotGrowWithTheInput) {
    const std::string blankLines(10'000'000, '\n');
    std::string noiseLine;  // 10 MB of bytes before a frame that never comes
    for (int i = 0; i < 3'500'000; ++i) noiseLine += "00 ";
    const struct {
        std::vector<std::string> args;
        const std::string& input;
        std::size_t outputBytes;
    } cases[] = {
        {{}, blankLines, 0},
        {{"--message"}, blankLines, blankLines.size()},  // an empty line for each
        {{"--capture", "-"}, blankLines, 0},
        {{}, noiseLine, 196'657},  // the first 64 KiB of them shown
    };
    for (const auto& c : cases) {
        const std::string mode = c.args.empty() ? "(default)" : c.args[0];
        const DumpRun run = RunMap27dump(c.args, {}, {}, c.input);
        EXPECT_TRUE(ExitedWith(run, 0)) << mode << " status " << run.status << ": " << run.err;
        EXPECT_EQ(run.out.size(), c.outputBytes) << mode;
        std::printf("map27dump %s, %zu MB in: peak memory %.1f MB\n", mode.c_str(),
                    c.input.size() / 1'000'000, static_cast<double>(run.peakKb) / 1024.0);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // they keep freed memory
        EXPECT_GT(run.peakKb, 0) << mode;
        EXPECT_LT(run.peakKb, 20 * 1024) << mode;
#endif
    }
    EXPECT_TRUE(RunMap27dump({}, {}, {}, noiseLine)
                    .out.starts_with("incomplete frame at the end, 3500000 bytes: 00 00 "));
}

}  // namespace
