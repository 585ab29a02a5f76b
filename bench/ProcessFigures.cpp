#include "bench/ProcessFigures.h"

#include <fcntl.h>
#include <poll.h>
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

#include "bench/ScriptedRadio.h"
#include "bench/Stats.h"

extern char** environ;

namespace bench {
namespace {

using namespace std::chrono_literals;

// utime + stime of a process in milliseconds, from /proc/<pid>/stat.
double ProcessCpuMs(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
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

// The CPU time of the threads alive now, in milliseconds with nanosecond resolution
// (/proc/<pid>/task/*/schedstat): finer than the clock ticks of utime and stime.
double ThreadCpuMs(pid_t pid) {
    std::error_code ec;
    unsigned long long ns = 0;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream file(task.path() / "schedstat");
        unsigned long long onCpu = 0;
        if (file >> onCpu) ns += onCpu;
    }
    return static_cast<double>(ns) / 1e6;
}

// How often the threads alive now have been put to sleep and woken (voluntary and involuntary
// context switches). Unlike CPU time on a virtual machine, where a wake-up costs what the host
// makes it cost, this counts the program's own doing.
long long ThreadSwitches(pid_t pid) {
    std::error_code ec;
    long long switches = 0;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        std::ifstream file(task.path() / "status");
        std::string line;
        while (std::getline(file, line)) {
            if (line.find("ctxt_switches:") != std::string::npos)
                switches += std::stoll(line.substr(line.find(':') + 1));
        }
    }
    return switches;
}

// A virtual X server on a display of its own (-displayfd picks a free one), so that the figures
// include what drawing on a real display costs: the program's painting and the server's work.
class VirtualDisplay {
public:
    VirtualDisplay() {
        int fds[2];
        if (::pipe(fds) != 0) throw std::runtime_error("no pipe for Xvfb");
        const std::string writeEnd = std::to_string(fds[1]);
        std::vector<std::string> args = {"Xvfb", "-displayfd",   writeEnd,    "-screen",
                                         "0",    "1280x1024x24", "-nolisten", "tcp"};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const int error = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (error != 0) {
            ::close(fds[0]);
            throw std::runtime_error(std::string("cannot start Xvfb: ") + std::strerror(error));
        }
        std::string number;
        pollfd ready{fds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&ready, 1, 10'000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (number.empty()) throw std::runtime_error("Xvfb never named its display");
        name_ = ":" + number;
    }
    ~VirtualDisplay() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    const std::string& Name() const { return name_; }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};

// A program started with its own XDG_CONFIG_HOME, whose ports.conf maps COM1 to a pseudo-terminal,
// offscreen or on the given X display; ended with SIGTERM (then SIGKILL) when it goes out of scope.
// orrickSettings, when given, is Orrick's stored settings file.
class Program {
public:
    Program(const std::string& path, const std::string& configDir, const std::string& com1,
            const std::string& display = {}, const std::string& orrickSettings = {}) {
        std::filesystem::create_directories(configDir + "/halberd");
        std::ofstream(configDir + "/halberd/ports.conf")
            << "[ports]\nCOM1=" << com1 << "\nCOM2=" << configDir << "/no-such-tty\n";
        if (!orrickSettings.empty())
            std::ofstream(configDir + "/halberd/orrick.conf") << orrickSettings;
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0 &&
                std::strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0 &&
                std::strncmp(*e, "DISPLAY=", 8) != 0) {
                env.emplace_back(*e);
            }
        }
        if (display.empty()) {
            env.emplace_back("QT_QPA_PLATFORM=offscreen");
        } else {
            env.emplace_back("QT_QPA_PLATFORM=xcb");
            env.emplace_back("DISPLAY=" + display);
        }
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

    double CpuMs() const { return ProcessCpuMs(pid_); }
    double ThreadCpuMs() const { return bench::ThreadCpuMs(pid_); }
    long long ThreadSwitches() const { return bench::ThreadSwitches(pid_); }

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

// A line of /proc/<pid>/status in kB (VmHWM: the peak resident memory; VmRSS: the current one).
long StatusKb(pid_t pid, const std::string& key) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
    }
    return -1;
}

void WaitUntilOpen(const Program& program, const std::string& device, const char* name) {
    const auto deadline = Clock::now() + 20s;
    while (!program.HasOpen(device)) {
        if (Clock::now() > deadline)
            throw std::runtime_error(std::string(name) + " never opened its port");
        std::this_thread::sleep_for(20ms);
    }
}

// CPU of a program and of the X server while during() runs, from the threads' schedstat.
struct CpuSpan {
    double seconds = 0, programMs = 0, serverMs = 0;
    long long programSwitches = 0;
    double ProgramPercent() const { return programMs / (seconds * 10.0); }
    double ServerPercent() const { return serverMs / (seconds * 10.0); }
};

template <typename During>
CpuSpan MeasureCpu(const Program& program, const VirtualDisplay& display, During during) {
    const double programBefore = program.ThreadCpuMs();
    const long long switchesBefore = program.ThreadSwitches();
    const double serverBefore = ThreadCpuMs(display.Pid());
    const auto start = Clock::now();
    during();
    CpuSpan span;
    span.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    span.programMs = program.ThreadCpuMs() - programBefore;
    span.programSwitches = program.ThreadSwitches() - switchesBefore;
    span.serverMs = ThreadCpuMs(display.Pid()) - serverBefore;
    return span;
}

std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

}  // namespace

// Orrick and Talvane27 on a virtual X server: idle, and under the heaviest stream each meets.
void RunDisplayFigures(const ProcessCounts& counts, const std::string& talvane,
                       const std::string& orrick, const std::string& workDir) {
    VirtualDisplay display;
    std::printf(
        "On a virtual X server (Xvfb %s), CPU from the threads' schedstat; load average %s:\n",
        display.Name().c_str(), LoadAverage().c_str());
    {
        // Ascii mode at 38400 bit/s, where a line ends after 1 ms of silence: each written line
        // stays one received line.
        ScriptedRadio line;
        Program engineer(orrick, workDir + "/x-orrick", line.SlavePath(), display.Name(),
                         "[General]\nPort=COM1\nBps=38400bps\nStop=1bit\nMode=2\n");
        WaitUntilOpen(engineer, line.SlavePath(), "Orrick");
        std::this_thread::sleep_for(2s);  // start-up and the first paint are not idle time
        const CpuSpan idle = MeasureCpu(engineer, display, [&] {
            std::this_thread::sleep_for(std::chrono::seconds(counts.displayIdleSeconds));
        });
        std::printf(
            "  Orrick, port open, idle %4.1f s:   Orrick %6.3f %% of one core, X server %6.3f %%\n",
            idle.seconds, idle.ProgramPercent(), idle.ServerPercent());

        std::string text;
        for (int i = 0; i < 60; ++i) text += static_cast<char>('A' + i % 26);
        text += "\r\n";
        const std::vector<std::uint8_t> bytes(text.begin(), text.end());
        constexpr int kLinesPerSecond = 200;
        std::printf(
            "  Orrick, Ascii mode, %d lines of 60 characters + CR LF a second, %d floods of %d "
            "s:\n",
            kLinesPerSecond, counts.floodRuns, counts.floodSeconds);
        std::vector<double> program, server;
        for (int run = 0; run < counts.floodRuns; ++run) {
            int written = 0;
            const CpuSpan flood = MeasureCpu(engineer, display, [&] {
                const auto start = Clock::now();
                const auto end = start + std::chrono::seconds(counts.floodSeconds);
                for (auto due = start; due < end;
                     due += std::chrono::microseconds(1'000'000 / kLinesPerSecond)) {
                    std::this_thread::sleep_until(due);
                    line.Write(bytes);
                    ++written;
                }
            });
            program.push_back(flood.ProgramPercent());
            server.push_back(flood.ServerPercent());
            std::printf(
                "    Orrick %6.3f %% of one core (%.2f wake-ups a line), X server %6.3f %%\n",
                flood.ProgramPercent(),
                static_cast<double>(flood.programSwitches) / std::max(written, 1),
                flood.ServerPercent());
        }
        std::printf(
            "    median: Orrick %6.3f %%, X server %6.3f %%; peak memory Orrick %ld kB, X server "
            "%ld kB\n",
            Percentile(program, 50), Percentile(server, 50), StatusKb(engineer.Pid(), "VmHWM"),
            StatusKb(display.Pid(), "VmHWM"));
    }
    {
        ScriptedRadio radio;
        Program terminal(talvane, workDir + "/x-talvane", radio.SlavePath(), display.Name());
        if (!radio.BringUpLink(20s))
            throw std::runtime_error("the link with Talvane27 never came up");
        radio.Next(2s);
        const CpuSpan idle = MeasureCpu(terminal, display, [&] {
            const auto end = Clock::now() + std::chrono::seconds(counts.displayIdleSeconds);
            while (Clock::now() < end)
                radio.Next(
                    std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()));
        });
        std::printf(
            "  Talvane27, link up, idle %4.1f s: Talvane27 %6.3f %% of one core, X server %6.3f "
            "%%\n",
            idle.seconds, idle.ProgramPercent(), idle.ServerPercent());

        // Status messages as fast as the link lets the radio send them: K = 1, so each waits for
        // the credit of the last, which the terminal gives back after T2.
        const std::vector<std::uint8_t> status = {0x80, 0x08, 0x07, 0xD1, 0x00, 0x02};
        std::uint8_t ns = 0;
        std::printf(
            "  Talvane27, status messages as fast as the link allows (K = 1, credit after T2), %d "
            "floods of %d s:\n",
            counts.floodRuns, counts.floodSeconds);
        std::vector<double> program, server;
        for (int run = 0; run < counts.floodRuns; ++run) {
            int sent = 0;
            const CpuSpan flood = MeasureCpu(terminal, display, [&] {
                const auto end = Clock::now() + std::chrono::seconds(counts.floodSeconds);
                while (Clock::now() < end) {
                    radio.Write(map27::MakeDataFrame({map27::kLinkTransfer, ns, 0, 0}, status));
                    ++ns;
                    ++sent;
                    std::optional<ReceivedFrame> ack;
                    do {
                        ack = radio.NextOfType(map27::kLinkAck, 3s);
                    } while (ack && ack->Byte(5) == 0);
                    if (!ack)
                        throw std::runtime_error(
                            "Talvane27 stopped acknowledging the status messages");
                }
            });
            program.push_back(flood.ProgramPercent());
            server.push_back(flood.ServerPercent());
            std::printf(
                "    %d messages (%.1f a second): Talvane27 %6.3f %% of one core (%.2f ms and %.2f "
                "wake-ups a log line), X server %6.3f %%\n",
                sent, sent / flood.seconds, flood.ProgramPercent(),
                flood.programMs / std::max(sent, 1),
                static_cast<double>(flood.programSwitches) / std::max(sent, 1),
                flood.ServerPercent());
        }
        std::printf("    median: Talvane27 %6.3f %%, X server %6.3f %%\n", Percentile(program, 50),
                    Percentile(server, 50));
    }
}

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

    RunDisplayFigures(counts, talvane, orrick, workDir);
}

}  // namespace bench
