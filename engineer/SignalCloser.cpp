#include "SignalCloser.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <stdexcept>

namespace {

int g_pipe[2] = {-1, -1};
struct sigaction g_previous[2];
constexpr std::array<int, 2> kSignals = {SIGTERM, SIGINT};

extern "C" void OnCloseSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written =
        ::write(g_pipe[1], &byte, 1);  // a full pipe has a wake-up in it already
    errno = saved;
}

}  // namespace

TSignalCloser::TSignalCloser(QWidget* window, QObject* parent) : QObject(parent), window_(window) {
    if (g_pipe[0] >= 0) throw std::logic_error("only one TSignalCloser at a time");
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        throw std::runtime_error("Cannot create the signal pipe");
    }
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TSignalCloser::SignalArrived);
    struct sigaction action {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
}

TSignalCloser::~TSignalCloser() {
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    delete notifier_;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TSignalCloser::SignalArrived() {
    std::array<char, 64> drain{};
    while (::read(g_pipe[0], drain.data(), drain.size()) > 0) {
    }
    if (window_) window_->close();
}
