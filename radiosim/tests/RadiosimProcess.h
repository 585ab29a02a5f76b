#pragma once
// The radiosim program as a child process for the end-to-end tests (radiosim's own, Qt-free, and
// the terminal's, which drive Talvane27's link host against it).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "radiosim/PseudoTerminal.h"

extern char** environ;

namespace radiosim::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// radiosim as a child process: commands through a pipe to its standard input (or none, closed),
// its output read back.
class RadiosimProcess {
public:
    enum class Input : bool { Pipe, Closed };
    explicit RadiosimProcess(std::vector<std::string> args, Input input = Input::Pipe) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (input == Input::Closed)
            posix_spawn_file_actions_addclose(&actions, STDIN_FILENO);
        else
            posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
        args.insert(args.begin(), RADIOSIM_PROGRAM);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, RADIOSIM_PROGRAM, &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        toChild_ = radiosim::UniqueFd(in[1]);
        fromChild_ = radiosim::UniqueFd(out[0]);
        ::fcntl(fromChild_.get(), F_SETFL, O_NONBLOCK);
    }
    ~RadiosimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    int OutputFd() const { return fromChild_.get(); }

    // Takes what the program printed so far.
    void Drain() {
        char buffer[4096];
        for (ssize_t n; (n = ::read(fromChild_.get(), buffer, sizeof buffer)) > 0;)
            output_.append(buffer, static_cast<std::size_t>(n));
    }
    const std::string& Output() const { return output_; }

    // The first line: the pseudo-terminal's path.
    std::string FirstLine(std::chrono::milliseconds timeout = 3000ms) {
        const auto deadline = Clock::now() + timeout;
        while (output_.find('\n') == std::string::npos && Clock::now() < deadline) {
            pollfd p{fromChild_.get(), POLLIN, 0};
            ::poll(&p, 1, 50);
            Drain();
        }
        const auto end = output_.find('\n');
        return end == std::string::npos ? std::string() : output_.substr(0, end);
    }

    void Command(const std::string& line) {
        const std::string text = line + "\n";
        ASSERT_EQ(::write(toChild_.get(), text.data(), text.size()),
                  static_cast<ssize_t>(text.size()));
    }
    void CloseInput() { toChild_ = radiosim::UniqueFd(); }

    // Waits for the exit, reading its output unless told not to; returns the wait status, or -1
    // when it did not end in time.
    int Wait(std::chrono::milliseconds timeout = 3000ms, bool readOutput = true) {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            if (readOutput) Drain();
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return status;
            }
            ::usleep(5000);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    radiosim::UniqueFd toChild_, fromChild_;
    std::string output_;
};

// The kernel removes a pseudo-terminal's node shortly after its last close, and another program
// may open a new one under the same number: a node made at another time is not ours.
inline bool PtyGone(const std::string& path, const struct stat& ours) {
    const auto deadline = Clock::now() + 1000ms;
    do {
        struct stat now {};
        if (::stat(path.c_str(), &now) != 0) return true;
        if (now.st_ctim.tv_sec != ours.st_ctim.tv_sec ||
            now.st_ctim.tv_nsec != ours.st_ctim.tv_nsec)
            return true;
        ::usleep(10000);
    } while (Clock::now() < deadline);
    return false;
}

}  // namespace radiosim::test
