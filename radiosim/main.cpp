// radiosim: a MAP27 radio on a pseudo-terminal (or a real port), driven from standard input.
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "radiosim/PseudoTerminal.h"
#include "radiosim/Simulator.h"

namespace {

void PrintLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace radiosim;
    Options options;
    try {
        bool help = false;
        options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc), help);
        if (help) {
            std::fputs(UsageText().c_str(), stdout);
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "radiosim: %s\n%s", e.what(), UsageText().c_str());
        return 2;
    }

    // SIGINT and SIGTERM arrive through a descriptor, so the loop ends in order and cleans up.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    UniqueFd signals(::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK));

    // A capture asked for and not possible is said at once: the evidence would be missing.
    std::unique_ptr<map27::CaptureWriter> capture;
    if (!options.capturePath.empty()) {
        std::string error;
        capture = map27::CaptureWriter::Open(options.capturePath, error);
        if (!capture) {
            std::fprintf(stderr, "radiosim: %s\n", error.c_str());
            return 1;
        }
    }

    Line line;
    try {
        line = options.device.empty() ? OpenPseudoTerminal()
                                      : OpenDevice(options.device, options.speed1200);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "radiosim: %s\n", e.what());
        return 1;
    }
    PrintLine(line.path);

    LinkRunner runner(line.fd.get(), line.pseudoTerminal);
    Simulator simulator(options, runner, PrintLine);
    if (capture) simulator.SetCapture(std::move(capture));

    // A terminal that ended without closing its port (killed, crashed) leaves the port in exclusive
    // use, and only root can open it again; the operator can give it back.
    if (line.keepAlive)
        simulator.SetUnlock([&line] {
            return ::ioctl(line.keepAlive.get(), TIOCNXCL) == 0
                       ? "the port can be opened again"
                       : std::string("unlock failed: ") + std::strerror(errno);
        });

    if (signals)
        runner.Watch(signals.get(), [&] {
            signalfd_siginfo info{};
            while (::read(signals.get(), &info, sizeof info) > 0) {
            }
            runner.Stop();
        });

    std::string pending;
    runner.Watch(STDIN_FILENO, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
        if (n <= 0) {
            // No more commands (run in the background): the radio plays on until it is stopped.
            runner.Unwatch(STDIN_FILENO);
            if (!pending.empty() && !simulator.Execute(pending)) runner.Stop();
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string command = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!command.empty() && command.back() == '\r') command.pop_back();
            if (!simulator.Execute(command)) {
                runner.Stop();
                return;
            }
        }
        if (pending.size() > 65536) {
            PrintLine("error: command line too long; ignored");
            pending.clear();
        }
    });

    if (!options.quiet)
        PrintLine("radiosim: playing the radio on " + line.path + " (N1 " +
                  std::to_string(options.n1) + ", K " + std::to_string(options.k) + ", version " +
                  std::to_string(options.version) +
                  "); R>T: radio to terminal, T>R: terminal to radio; type help for the commands");
    simulator.Start();
    runner.Run();
    return 0;
}
