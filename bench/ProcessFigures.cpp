#include "ProcessFigures.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ScriptedRadio.h"
#include "Stats.h"

extern char** environ;

namespace bench {
namespace {

using namespace std::chrono_literals;

// A program started offscreen with its own XDG_CONFIG_HOME, whose ports.conf maps COM1 to a
// pseudo-terminal; ended with SIGTERM (then SIGKILL) when it goes out of scope.
class Program {
public:
    Program(const std::string& path, const std::string& configDir, const std::string& com1) {
        std::filesystem::create_directories(configDir + "/halberd");
        std::ofstream(configDir + "/halberd/ports.conf")
            << "[ports]\nCOM1=" << com1 << "\nCOM2=" << configDir << "/no-such-tty\n";
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0 &&
                std::strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0) {
                env.emplace_back(*e);
            }
        }
        env.emplace_back("QT_QPA_PLATFORM=offscreen");
        env.emplace_back("XDG_CONFIG_HOME=" + configDir);
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string program = path;
        char* argv[] = {program.data(), nullptr};

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string output = configDir + "/output.txt";
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        const int error = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0)
            throw std::runtime_error("cannot start " + path + ": " + std::strerror(error));
    }
    ~Program() {
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 300; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            std::this_thread::sleep_for(10ms);
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    pid_t Pid() const { return pid_; }

    // utime + stime in milliseconds, from /proc/<pid>/stat.
    double CpuMs() const {
        std::ifstream file("/proc/" + std::to_string(pid_) + "/stat");
        std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const auto close = text.rfind(')');
        if (close == std::string::npos) throw std::runtime_error("cannot read /proc/<pid>/stat");
        std::istringstream fields(text.substr(close + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {  // field 3 is the state
            if (i == 14) utime = std::stoull(field);
            if (i == 15) stime = std::stoull(field);
        }
        return static_cast<double>(utime + stime) * 1000.0 /
               static_cast<double>(::sysconf(_SC_CLK_TCK));
    }

    // The CPU time of the threads alive now, in nanoseconds (/proc/<pid>/task/*/schedstat): finer
    // than the clock ticks of utime and stime, for a program that hardly runs.
    double ThreadCpuMs() const {
        std::error_code ec;
        unsigned long long ns = 0;
        for (const auto& task :
             std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/task", ec)) {
            std::ifstream file(task.path() / "schedstat");
            unsigned long long onCpu = 0;
            if (file >> onCpu) ns += onCpu;
        }
        return static_cast<double>(ns) / 1e6;
    }

    // True once the program holds the device open.
    bool HasOpen(const std::string& device) const {
        std::error_code ec;
        for (const auto& fd :
             std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", ec)) {
            if (std::filesystem::read_symlink(fd.path(), ec) == device) return true;
        }
        return false;
    }

private:
    pid_t pid_ = -1;
};

}  // namespace

void RunProcessFigures(const ProcessCounts& counts, const std::string& talvane,
                       const std::string& orrick, const std::string& workDir) {
    // 5. Start to the first link request.
    {
        std::vector<double> times;
        for (int run = 0; run < counts.startRuns; ++run) {
            ScriptedRadio radio;
            const auto started = Clock::now();
            Program program(talvane, workDir + "/start" + std::to_string(run), radio.SlavePath());
            const auto request = radio.NextOfType(map27::kLinkRequest, 20s);
            if (!request) throw std::runtime_error("Talvane27 never sent a link request");
            times.push_back(Milliseconds(request->at - started));
        }
        std::printf(
            "Start to first LR: Talvane27 started offscreen -> its first LR read on the pty, %d "
            "runs:\n",
            counts.startRuns);
        std::printf("  median %.0f ms   min %.0f ms   max %.0f ms\n", Percentile(times, 50),
                    Percentile(times, 0), Percentile(times, 100));
    }

    // 2. Idle CPU with the link up (Talvane27) and the port open (Orrick), both over the same time.
    {
        ScriptedRadio talvaneRadio;
        ScriptedRadio orrickLine;
        Program terminal(talvane, workDir + "/idle-talvane", talvaneRadio.SlavePath());
        if (!talvaneRadio.BringUpLink(20s))
            throw std::runtime_error("the link with Talvane27 never came up");
        Program engineer(orrick, workDir + "/idle-orrick", orrickLine.SlavePath());
        const auto deadline = Clock::now() + 20s;
        while (!engineer.HasOpen(orrickLine.SlavePath())) {
            if (Clock::now() > deadline) throw std::runtime_error("Orrick never opened its port");
            std::this_thread::sleep_for(20ms);
        }
        // Let both finish starting (fonts, first paint) before the idle time counts.
        talvaneRadio.Next(1s);
        const double terminalBefore = terminal.CpuMs();
        const double engineerBefore = engineer.CpuMs();
        const double terminalThreadsBefore = terminal.ThreadCpuMs();
        const double engineerThreadsBefore = engineer.ThreadCpuMs();
        const auto start = Clock::now();
        const auto end = start + std::chrono::seconds(counts.idleSeconds);
        int linkRequests = 0, acks = 0;
        while (Clock::now() < end) {
            const auto frame = talvaneRadio.Next(
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()));
            if (!frame) continue;
            if (frame->Type() == map27::kLinkRequest) ++linkRequests;
            if (frame->Type() == map27::kLinkAck) ++acks;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const double terminalMs = terminal.CpuMs() - terminalBefore;
        const double engineerMs = engineer.CpuMs() - engineerBefore;
        const double terminalThreadsMs = terminal.ThreadCpuMs() - terminalThreadsBefore;
        const double engineerThreadsMs = engineer.ThreadCpuMs() - engineerThreadsBefore;
        std::printf(
            "Idle CPU over %.1f s (utime+stime from /proc/<pid>/stat, %ld ticks a second):\n",
            seconds, ::sysconf(_SC_CLK_TCK));
        std::printf(
            "  Talvane27, link up, idle: %6.0f ms = %5.2f %% of one core; by schedstat %7.2f ms = "
            "%6.3f %%"
            "  (%d idle LA, %d LR meanwhile)\n",
            terminalMs, terminalMs / (seconds * 10.0), terminalThreadsMs,
            terminalThreadsMs / (seconds * 10.0), acks, linkRequests);
        std::printf(
            "  Orrick, port open, idle:  %6.0f ms = %5.2f %% of one core; by schedstat %7.2f ms = "
            "%6.3f %%\n",
            engineerMs, engineerMs / (seconds * 10.0), engineerThreadsMs,
            engineerThreadsMs / (seconds * 10.0));
        if (linkRequests != 0) throw std::runtime_error("Talvane27 restarted the link while idle");
    }
}

}  // namespace bench
