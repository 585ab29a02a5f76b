#include "desktop/SignalWatcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <stdexcept>

namespace desktop {
namespace {

bool g_watching = false;
int g_pipe[2] = {-1, -1};
struct sigaction g_previous[2];
constexpr std::array<int, 2> kSignals = {SIGTERM, SIGINT};

extern "C" void OnTerminationSignal(int signalNumber) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe has a wake-up in it already.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    if (g_watching) throw std::logic_error("only one SignalWatcher at a time");
    g_watching = true;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalWatcher::SignalArrived);
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
}

SignalWatcher::~SignalWatcher() {
    g_watching = false;
    if (notifier_ == nullptr) return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    delete notifier_;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void SignalWatcher::SignalArrived() {
    std::array<unsigned char, 64> drain{};
    int first = 0;
    for (ssize_t got = 0; (got = ::read(g_pipe[0], drain.data(), drain.size())) > 0;) {
        if (first == 0) first = drain[0];
    }
    if (first != 0) emit TerminationRequested(first);
}

}  // namespace desktop
