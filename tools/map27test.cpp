// map27test: runs a radio test script against a radio (or radiosim) without a window.
// Exit status: 0 every expectation held, 1 a step failed, 2 a script, option or port error.
#include <pthread.h>
#include <signal.h>
#include <string.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "map27/capture/WireCapture.h"
#include "serial/Hcomm.h"
#include "serial/PortNames.h"
#include "tools/Script.h"
#include "tools/ScriptRunner.h"
#include "tools/SerialLink.h"
#include "tools/TestReport.h"

namespace {

constexpr const char* kUsage =
    "usage: map27test SCRIPT [--port COM1..COM4 | --device PATH] [--speed 1200|9600]\n"
    "                 [--junit FILE] [--capture FILE]\n"
    "Runs a radio test script over the MAP27 link, as Talvane27 would (COM1 at 1200 bit/s by\n"
    "default; COM names map to devices through halberd/ports.conf).\n"
    "--junit FILE writes a JUnit report (one test case per expectation); --capture FILE\n"
    "appends every frame on the line to a wire capture.\n"
    "Exit status: 0 every expectation held, 1 one failed, 2 a script, option or port error.\n";

struct Options {
    std::string script;
    std::string port = "COM1";
    std::string device;  // instead of a COM name
    bool speed1200 = true;
    std::string junit;
    std::string capture;
};

int UsageError(const std::string& message) {
    std::cerr << "map27test: " << message << '\n' << kUsage;
    return 2;
}

// Returns an exit status when the program is to end at once.
std::optional<int> ParseOptions(const std::vector<std::string>& args, Options& options) {
    bool portGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--port" || arg == "--device" || arg == "--speed" || arg == "--junit" ||
            arg == "--capture") {
            const auto given = value();
            if (!given) return UsageError(arg + " needs a value");
            if (arg == "--port") {
                if (*given != "COM1" && *given != "COM2" && *given != "COM3" && *given != "COM4")
                    return UsageError("--port takes COM1, COM2, COM3 or COM4, not '" + *given +
                                      "'");
                options.port = *given;
                portGiven = true;
            } else if (arg == "--device") {
                options.device = *given;
            } else if (arg == "--speed") {
                if (*given != "1200" && *given != "9600")
                    return UsageError("--speed takes 1200 or 9600, not '" + *given + "'");
                options.speed1200 = *given == "1200";
            } else if (arg == "--junit") {
                options.junit = *given;
            } else {
                options.capture = *given;
            }
        } else if (arg.starts_with("-")) {
            return UsageError("unknown option '" + arg + "'");
        } else if (options.script.empty()) {
            options.script = arg;
        } else {
            return UsageError("more than one script: '" + options.script + "' and '" + arg + "'");
        }
    }
    if (options.script.empty()) return UsageError("no script given");
    if (portGiven && !options.device.empty())
        return UsageError("--port and --device exclude each other");
    return std::nullopt;
}

// SIGINT, SIGTERM and SIGHUP (a CI job cancelled, Ctrl+C) end the run in order: the running step
// fails, the port is closed and its exclusive use given back, the report is written. The signals
// are blocked before any other thread starts and taken by a thread of their own.
class StopSignals {
public:
    StopSignals() {
        sigemptyset(&signals_);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&signals_, signal);
        pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
        thread_ = std::thread([this] { Watch(); });
    }
    ~StopSignals() {
        finishing_ = true;
        pthread_kill(thread_.native_handle(), SIGUSR1);
        thread_.join();
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // A signal that came before there was a link to stop stops the link as soon as it is there.
    void Deliver(map27test::SerialLink* link) {
        const std::lock_guard lock(mutex_);
        link_ = link;
        if (link_ && !pending_.empty()) link_->Interrupt(pending_);
    }

private:
    void Watch() {
        for (;;) {
            int signal = 0;
            if (sigwait(&signals_, &signal) != 0) continue;
            if (finishing_) return;
            if (signal == SIGUSR1) continue;
            const std::lock_guard lock(mutex_);
            pending_ = std::string("interrupted by SIG") + sigabbrev_np(signal);
            if (link_) link_->Interrupt(pending_);
        }
    }

    sigset_t signals_{};
    std::atomic<bool> finishing_{false};
    std::mutex mutex_;
    map27test::SerialLink* link_ = nullptr;
    std::string pending_;
    std::thread thread_;
};

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace map27test;
    // A radio that went away must not end the program before it reports.
    signal(SIGPIPE, SIG_IGN);
    StopSignals stopSignals;

    Options options;
    if (const auto status = ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options))
        return *status;

    std::ifstream file(options.script, std::ios::binary);
    if (!file || std::filesystem::is_directory(options.script)) {
        std::cerr << "map27test: cannot read the script '" << options.script << "'\n";
        return 2;
    }
    std::stringstream text;
    text << file.rdbuf();
    std::vector<Step> steps;
    try {
        steps = ParseScript(text.str());
    } catch (const ScriptError& e) {
        std::cerr << "map27test: " << options.script << ": " << e.what() << "; nothing was sent\n";
        return 2;
    }

    // Opened before the port, so a report that cannot be written costs no run.
    std::ofstream junit;
    if (!options.junit.empty()) {
        junit.open(options.junit, std::ios::binary | std::ios::trunc);
        if (!junit) {
            std::cerr << "map27test: cannot write the report '" << options.junit << "'\n";
            return 2;
        }
    }

    std::unique_ptr<map27::CaptureWriter> capture;
    if (!options.capture.empty()) {
        std::string error;
        capture = map27::CaptureWriter::Open(options.capture, error);
        if (!capture) {
            std::cerr << "map27test: cannot write the capture '" << options.capture
                      << "': " << error << '\n';
            return 2;
        }
    }

    const std::string portName = options.device.empty() ? options.port : options.device;
    const std::string device =
        options.device.empty() ? ComDevicePath(options.port) : options.device;
    std::unique_ptr<SerialLink> link;
    try {
        link = std::make_unique<SerialLink>(portName, options.speed1200);
    } catch (const std::exception& e) {
        std::cerr << "map27test: cannot open " << portName
                  << (device != portName ? " (" + device + ")" : std::string()) << ": " << e.what()
                  << '\n';
        return 2;
    }

    std::cout << "map27test: " << options.script << " on " << portName
              << (device != portName ? " (" + device + ")" : std::string()) << " at "
              << (options.speed1200 ? "1200" : "9600") << " bit/s\n";
    bool captureFailed = false;
    if (capture)
        link->SetCapture(
            std::make_unique<map27::CaptureRecorder>(
                std::move(capture),
                [] { return map27::LocalCaptureTime(std::chrono::system_clock::now()); },
                map27::WireDirection::TerminalToRadio),
            [&](const std::string& error) {
                std::cerr << "map27test: capture: " << error << '\n';
                captureFailed = true;
            });
    ScriptRunner runner(*link, std::cout);
    stopSignals.Deliver(link.get());
    link->Start();
    const std::vector<StepResult> results = runner.Run(steps);
    const Duration total = runner.Elapsed();
    stopSignals.Deliver(nullptr);
    link.reset();  // the link timers stop and the port closes; nothing more is sent

    const RunSummary summary = Summarize(results);
    const int status = ExitStatus(results, runner.PortError().has_value());
    std::cout << "map27test: " << results.size() << " steps, " << summary.expectations
              << " expectations: " << summary.passed << " passed, " << summary.failed << " failed";
    if (summary.errors > 0)
        std::cout << ", " << summary.errors << " cut short (port lost or run stopped)";
    std::cout << (status == 0 ? "; PASSED\n" : "; FAILED\n");
    if (runner.PortError()) std::cerr << "map27test: " << *runner.PortError() << '\n';

    if (junit.is_open()) {
        WriteJUnit(junit, BaseName(options.script), results, total);
        junit.close();
        if (!junit) {
            std::cerr << "map27test: cannot write the report '" << options.junit << "'\n";
            return 2;
        }
    }
    // Evidence that was asked for and could not be kept fails the run like a lost report.
    return captureFailed ? 2 : status;
}
