#include "engineer/tests/PtyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

PtyPeer::PtyPeer() {
    std::array<char, 128> name{};
    termios raw{};
    cfmakeraw(&raw);
    if (::openpty(&master_, &slave_, name.data(), &raw, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    path_ = name.data();
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPeer::~PtyPeer() {
    Close();
}

void PtyPeer::Close() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
}

void PtyPeer::Write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            pollfd fd{master_, POLLOUT, 0};
            ::poll(&fd, 1, 100);
            continue;
        }
        done += static_cast<std::size_t>(n);
    }
}

std::string PtyPeer::Read(std::size_t count, int timeoutMs) {
    std::string received;
    std::array<char, 4096> buffer{};
    while (received.size() < count) {
        pollfd fd{master_, POLLIN, 0};
        if (::poll(&fd, 1, timeoutMs) <= 0) break;
        const ssize_t n = ::read(master_, buffer.data(), buffer.size());
        if (n <= 0) break;
        received.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return received;
}

void PtyPeer::StopReading() {
    const int flags = ::fcntl(slave_, F_GETFL);
    ::fcntl(slave_, F_SETFL, flags | O_NONBLOCK);
    const std::array<char, 4096> filler{};
    // The kernel moves what was written on towards the master's reader a little later, which
    // makes room again: full means no room for a while.
    for (int quiet = 0; quiet < 3;) {
        bool wrote = false;
        while (::write(slave_, filler.data(), filler.size()) > 0) wrote = true;
        quiet = wrote ? 0 : quiet + 1;
        ::usleep(20'000);
    }
    ::fcntl(slave_, F_SETFL, flags);
}

std::string Hex(const std::string& text) {
    std::istringstream in(text);
    std::string bytes;
    std::string pair;
    while (in >> pair) bytes += static_cast<char>(std::strtol(pair.c_str(), nullptr, 16));
    return bytes;
}
