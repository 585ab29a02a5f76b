#include "soak/RadiosimChild.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

extern char** environ;

namespace soak {

using Clock = std::chrono::steady_clock;

RadiosimChild::RadiosimChild(const std::string& program, std::vector<std::string> args) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error(std::strerror(errno));
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        throw std::runtime_error(std::strerror(errno));
    }
    toChild_ = radiosim::UniqueFd(in[1]);
    fromChild_ = radiosim::UniqueFd(out[0]);
    const radiosim::UniqueFd childIn(in[0]), childOut(out[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, childIn.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, childOut.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, childOut.get(), STDERR_FILENO);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int failed = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(failed));
    }
    ::fcntl(fromChild_.get(), F_SETFL, O_NONBLOCK);
}

RadiosimChild::~RadiosimChild() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

std::vector<std::string> RadiosimChild::ReadLines() {
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fromChild_.get(), buffer, sizeof buffer)) > 0)
        pending_.append(buffer, static_cast<std::size_t>(n));
    if (n == 0) ended_ = true;
    std::vector<std::string> lines;
    for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
        lines.push_back(pending_.substr(0, end));
        pending_.erase(0, end + 1);
    }
    return lines;
}

std::string RadiosimChild::WaitForLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (pending_.find('\n') == std::string::npos && !ended_ && Clock::now() < deadline) {
        pollfd p{fromChild_.get(), POLLIN, 0};
        ::poll(&p, 1, 50);
        char buffer[4096];
        const ssize_t n = ::read(fromChild_.get(), buffer, sizeof buffer);
        if (n > 0) pending_.append(buffer, static_cast<std::size_t>(n));
        if (n == 0) ended_ = true;
    }
    const auto end = pending_.find('\n');
    if (end == std::string::npos) return {};
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    return line;
}

bool RadiosimChild::Command(const std::string& line) {
    const std::string text = line + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(toChild_.get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

long RadiosimChild::PeakMemoryKb() const {
    if (pid_ <= 0) return 0;
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

void RadiosimChild::Signal(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
}

int RadiosimChild::Wait(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (pid_ > 0) {
        int status = 0;
        if (::wait4(pid_, &status, WNOHANG, &usage_) == pid_) {
            pid_ = -1;
            return status;
        }
        if (Clock::now() >= deadline) return -1;
        ::usleep(10000);
    }
    return -1;
}

}  // namespace soak
