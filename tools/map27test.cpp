// map27test: runs a radio test script against a radio (or radiosim) without a window.
// Exit status: 0 every step held, 1 a step failed, 2 a script, option or port error, or a stop.
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <condition_variable>
#include <filesystem>
#include <ostream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "map27/capture/WireCapture.h"
#include "serial/PortNames.h"
#include "text/QuotedToken.h"
#include "tools/Script.h"
#include "tools/ScriptRunner.h"
#include "tools/SerialLink.h"
#include "tools/StoppableIo.h"
#include "tools/TestReport.h"

namespace {

constexpr const char* kUsage =
    "usage: map27test SCRIPT [--port COM1..COM4 | --device PATH] [--speed 1200|9600]\n"
    "                 [--junit FILE] [--capture FILE]\n"
    "Runs a radio test script over the MAP27 link, as Talvane27 would (COM1 at 1200 bit/s by\n"
    "default; COM names map to devices through halberd/ports.conf).\n"
    "--junit FILE writes a JUnit report (one test case per step); --capture FILE\n"
    "appends every frame on the line to a wire capture.\n"
    "Exit status: 0 every step held, 1 one failed, 2 a script, option or port error, or a run\n"
    "stopped by SIGINT, SIGTERM or SIGHUP.\n";

// A run told to stop ends in order within this time, or at once after it, whatever it is blocked
// on (a capture FIFO that nobody reads, a terminal held by flow control).
constexpr std::chrono::milliseconds kStopGrace{500};

struct Options {
    std::string script;
    std::optional<std::string> port, device, speed, junit, capture;
};

// Returns an exit status when the program is to end at once.
std::optional<int> ParseOptions(const std::vector<std::string>& args, Options& options,
                                std::ostream& out, std::ostream& err) {
    auto usageError = [&](const std::string& message) {
        err << "map27test: " << message << '\n' << kUsage << std::flush;
        return 2;
    };
    bool scriptGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::optional<std::string>* option = arg == "--port"      ? &options.port
                                             : arg == "--device"  ? &options.device
                                             : arg == "--speed"   ? &options.speed
                                             : arg == "--junit"   ? &options.junit
                                             : arg == "--capture" ? &options.capture
                                                                  : nullptr;
        if (arg == "--help" || arg == "-h") {
            out << kUsage << std::flush;
            return 0;
        }
        if (option) {
            if (i + 1 >= args.size()) return usageError(arg + " needs a value");
            // An unset variable in a CI job must not quietly mean COM1 or no report.
            if (args[++i].empty()) return usageError(arg + " needs a value, not an empty text");
            if (*option) return usageError(arg + " is given twice");
            *option = args[i];
        } else if (arg.starts_with("-")) {
            return usageError("unknown option " + text::QuotedToken(arg));
        } else if (scriptGiven) {
            return usageError("more than one script: " + text::QuotedToken(options.script) +
                              " and " + text::QuotedToken(arg));
        } else {
            if (arg.empty()) return usageError("the script's name is an empty text");
            options.script = arg;
            scriptGiven = true;
        }
    }
    if (!scriptGiven) return usageError("no script given");
    if (options.port && options.device) return usageError("--port and --device exclude each other");
    if (options.port && *options.port != "COM1" && *options.port != "COM2" &&
        *options.port != "COM3" && *options.port != "COM4")
        return usageError("--port takes COM1, COM2, COM3 or COM4, not " +
                          text::QuotedToken(*options.port));
    if (options.speed && *options.speed != "1200" && *options.speed != "9600")
        return usageError("--speed takes 1200 or 9600, not " + text::QuotedToken(*options.speed));
    return std::nullopt;
}

// What a path names: the file itself where it exists (whatever link or spelling leads there),
// else the path made absolute.
std::string FileIdentity(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    std::error_code ignored;
    return std::filesystem::weakly_canonical(std::filesystem::absolute(path, ignored), ignored);
}

// The script, the report and the capture are three files: a report written over the script, or
// two outputs in one file, would destroy what the run is for.
std::optional<std::string> CollidingFiles(const Options& options) {
    const std::array<std::pair<const char*, const std::optional<std::string>*>, 3> files{
        {{"the script", nullptr}, {"--junit", &options.junit}, {"--capture", &options.capture}}};
    auto path = [&](std::size_t i) {
        return files[i].second ? *files[i].second : std::optional<std::string>(options.script);
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        for (std::size_t k = i + 1; k < files.size(); ++k) {
            if (!path(i) || !path(k) || FileIdentity(*path(i)) != FileIdentity(*path(k))) continue;
            return std::string(files[i].first) + " and " + files[k].first + " name the same file " +
                   text::QuotedToken(*path(k));
        }
    }
    return std::nullopt;
}

// SIGINT, SIGTERM and SIGHUP (a CI job cancelled, Ctrl+C) end the run in order: the running step
// fails, the port is closed and its exclusive use given back, the report is written. The signals
// are blocked before any other thread starts and taken by a thread of their own, which also asks
// every stoppable read and write to give up, and ends the program should it still be running
// kStopGrace later.
class StopSignals {
public:
    explicit StopSignals(map27test::StopRequest& stop) : stop_(stop) {
        sigemptyset(&signals_);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&signals_, signal);
        pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
        thread_ = std::thread([this] { Watch(); });
    }
    ~StopSignals() {
        {
            const std::lock_guard lock(mutex_);
            finished_ = true;
        }
        finishedChanged_.notify_all();
        pthread_kill(thread_.native_handle(), SIGUSR1);
        thread_.join();
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // A signal that came before there was a link to stop stops the link as soon as it is there.
    void Deliver(map27test::SerialLink* link) {
        const std::lock_guard lock(mutex_);
        link_ = link;
        if (link_ && !reason_.empty()) link_->Interrupt(reason_);
    }
    // "interrupted by SIGTERM", once a signal came.
    std::string Reason() {
        const std::lock_guard lock(mutex_);
        return reason_;
    }

private:
    void Watch() {
        std::unique_lock lock(mutex_);
        for (;;) {
            lock.unlock();
            int signal = 0;
            const bool taken = sigwait(&signals_, &signal) == 0;
            lock.lock();
            if (finished_) return;
            if (!taken || signal == SIGUSR1 || !reason_.empty()) continue;
            reason_ = std::string("interrupted by SIG") + sigabbrev_np(signal);
            stop_.Request();
            if (link_) link_->Interrupt(reason_);
            if (finishedChanged_.wait_for(lock, kStopGrace, [this] { return finished_; })) return;
            const std::string message = "map27test: " + reason_ + "; stopped at once\n";
            pollfd error{STDERR_FILENO, POLLOUT, 0};
            if (::poll(&error, 1, 0) > 0)
                (void)!::write(STDERR_FILENO, message.data(), message.size());
            ::_exit(2);
        }
    }

    map27test::StopRequest& stop_;
    sigset_t signals_{};
    std::mutex mutex_;
    std::condition_variable finishedChanged_;
    bool finished_ = false;
    map27test::SerialLink* link_ = nullptr;
    std::string reason_;
    std::thread thread_;
};

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// Every step of a run that ended before it began, as the run would have reported them.
std::vector<map27test::StepResult> NotRun(const std::vector<map27test::Step>& steps,
                                          const std::string& reason) {
    std::vector<map27test::StepResult> results;
    for (const map27test::Step& step : steps)
        results.push_back({step.line,
                           step.text,
                           step.IsExpect(),
                           map27test::Verdict::Error,
                           {},
                           {},
                           "not run: " + reason});
    return results;
}

int main(int argc, char** argv) {
    using namespace map27test;
    // A radio that went away must not end the program before it reports.
    signal(SIGPIPE, SIG_IGN);
    StopRequest stop;
    StoppableOutput outBuffer(STDOUT_FILENO, stop), errBuffer(STDERR_FILENO, stop);
    std::ostream out(&outBuffer), err(&errBuffer);
    StopSignals stopSignals(stop);

    Options options;
    if (const auto status =
            ParseOptions(std::vector<std::string>(argv + 1, argv + argc), options, out, err))
        return *status;
    if (const auto collision = CollidingFiles(options)) {
        err << "map27test: " << *collision << '\n' << std::flush;
        return 2;
    }
    const std::string scriptName = text::VisibleText(options.script);
    auto fail = [&](const std::string& message) {
        err << "map27test: " << message << '\n' << std::flush;
        return 2;
    };

    std::string error;
    const std::optional<std::string> text = ReadWholeFile(options.script, stop, error);
    if (stop.Requested()) return fail(stopSignals.Reason());
    if (!text)
        return fail("cannot read the script " + text::QuotedToken(options.script) + ": " + error);
    std::vector<Step> steps;
    try {
        steps = ParseScript(*text);
    } catch (const ScriptError& e) {
        return fail(scriptName + ": " + e.what() + "; nothing was sent");
    }

    // Opened before the port, so a report that cannot be written costs no run.
    int junit = -1;
    if (options.junit) {
        junit = OpenForWriting(*options.junit, stop, error);
        if (stop.Requested()) return fail(stopSignals.Reason());
        if (junit < 0)
            return fail("cannot write the report " + text::QuotedToken(*options.junit) + ": " +
                        error);
    }
    std::vector<StepResult> results;
    Duration total{0};
    std::optional<std::string> portError, captureError;
    // The report, whatever ended the run; false when it could not be written whole.
    auto writeReport = [&] {
        if (junit < 0) return true;
        std::ostringstream report;
        WriteJUnit(report, BaseName(options.script), results, total);
        const bool written = WriteAll(junit, report.str(), stop);
        return ::close(std::exchange(junit, -1)) == 0 && written;
    };

    std::unique_ptr<map27::CaptureWriter> capture;
    if (options.capture) {
        capture = map27::CaptureWriter::Open(*options.capture, error);
        if (!capture) {
            ::close(junit);
            return fail("cannot write the capture " + text::QuotedToken(*options.capture) + ": " +
                        text::VisibleText(error));
        }
    }

    const std::string portName = options.device ? *options.device : options.port.value_or("COM1");
    const std::string device = options.device ? *options.device : ComDevicePath(portName);
    const std::string portText = text::VisibleText(portName) +
                                 (device != portName ? " (" + text::VisibleText(device) + ")" : "");
    const bool speed1200 = options.speed.value_or("1200") == "1200";
    std::unique_ptr<SerialLink> link;
    if (!stop.Requested()) {
        try {
            link = std::make_unique<SerialLink>(portName, speed1200);
        } catch (const std::exception& e) {
            ::close(junit);
            return fail("cannot open " + portText + ": " + text::VisibleText(e.what()));
        }
    }

    if (link) {
        out << "map27test: " << scriptName << " on " << portText << " at "
            << (speed1200 ? "1200" : "9600") << " bit/s\n"
            << std::flush;
        if (capture)
            link->SetCapture(
                std::make_unique<map27::CaptureRecorder>(
                    std::move(capture),
                    [] { return map27::LocalCaptureTime(std::chrono::system_clock::now()); },
                    map27::WireDirection::TerminalToRadio),
                [&](const std::string& problem) {
                    err << "map27test: capture: " << text::VisibleText(problem) << '\n'
                        << std::flush;
                    if (!captureError) captureError = problem;
                });
        {
            ScriptRunner runner(*link, out);
            stopSignals.Deliver(link.get());
            link->Start();
            results = runner.Run(steps);
            total = runner.Elapsed();
            stopSignals.Deliver(nullptr);
            portError = runner.PortError();
        }
        link.reset();  // the link timers stop and the port closes; nothing more is sent
    } else {
        portError = stopSignals.Reason();
        results = NotRun(steps, *portError);
    }
    // Evidence that was asked for and could not be kept fails the run like a lost port, and is
    // counted where the report's reader looks.
    if (captureError)
        results.push_back({0,
                           "the capture " + *options.capture,
                           false,
                           Verdict::Error,
                           total,
                           {},
                           *captureError});

    const bool reportWritten = writeReport();
    const RunSummary summary = Summarize(results);
    const int status = ExitStatus(results, portError.has_value() || captureError.has_value());
    out << "map27test: " << summary.steps << " steps: " << summary.passed << " passed, "
        << summary.failed << " failed";
    if (summary.errors > 0)
        out << ", " << summary.errors
            << " not carried out (port lost, run stopped or capture failed)";
    out << (status == 0 ? "; PASSED\n" : "; FAILED\n") << std::flush;
    if (portError) err << "map27test: " << text::VisibleText(*portError) << '\n' << std::flush;
    if (!reportWritten) return fail("cannot write the report " + text::QuotedToken(*options.junit));
    return status;
}
