// radiosim: a MAP27 radio on a pseudo-terminal (or a real port), driven from standard input.
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
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

// A descriptor that the caller left closed would go to the next one opened: the signal
// descriptor would then be read as commands, or the trace written onto the line.
void HoldStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) ::open("/dev/null", O_RDWR);
}

// Standard output, line by line. A reader that stops reading fills it; the writer then waits for
// room or for a stop signal. A stop signal while it waits ends its writing for good, so that the
// loop gets to the signal however full the output is.
class Output {
public:
    explicit Output(int stopSignals) : stopSignals_(stopSignals) {}
    void PrintLine(const std::string& line) {
        const std::string text = line + '\n';
        for (std::size_t done = 0; done < text.size() && !givenUp_;) {
            pollfd fds[] = {{STDOUT_FILENO, POLLOUT, 0}, {stopSignals_, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                givenUp_ = errno != EINTR;
                continue;
            }
            if (fds[0].revents == 0) {
                givenUp_ = fds[1].revents != 0;  // the signal stays pending for the loop
                continue;
            }
            // After POLLOUT a pipe takes PIPE_BUF bytes without blocking.
            const ssize_t n = ::write(STDOUT_FILENO, text.data() + done,
                                      std::min<std::size_t>(text.size() - done, PIPE_BUF));
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else if (n < 0 && errno != EINTR && errno != EAGAIN)
                givenUp_ = true;  // nobody reads it any more (EPIPE) or it cannot be written
        }
    }

private:
    int stopSignals_;
    bool givenUp_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace radiosim;
    HoldStandardDescriptors();
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
    Output output(signals.get());
    const auto PrintLine = [&output](const std::string& text) { output.PrintLine(text); };

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

    CommandLines commands;
    const auto run = [&](const CommandLines::Line& command) {
        if (command.tooLong)
            PrintLine("error: command line longer than " +
                      std::to_string(CommandLines::kMaxLength) + " bytes; ignored");
        else if (!simulator.Execute(command.text))
            runner.Stop();
        return !runner.Stopped();
    };
    runner.Watch(STDIN_FILENO, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
        if (n <= 0) {
            // No more commands (run in the background): the radio plays on until it is stopped.
            runner.Unwatch(STDIN_FILENO);
            if (const auto last = commands.Finish()) run(*last);
            return;
        }
        for (const auto& command : commands.Feed({buffer, static_cast<std::size_t>(n)}))
            if (!run(command)) return;
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
