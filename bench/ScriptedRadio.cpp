#include "bench/ScriptedRadio.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

namespace bench {

ScriptedRadio::ScriptedRadio() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    slavePath_ = name;
    for (const int fd : {master_, slave_}) {
        termios raw{};
        ::tcgetattr(fd, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(fd, TCSANOW, &raw);
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

ScriptedRadio::~ScriptedRadio() {
    ::close(master_);
    ::close(slave_);
}

bool ScriptedRadio::ReadSome(std::chrono::milliseconds timeout, std::size_t most) {
    pollfd fd{master_, POLLIN, 0};
    const int ready = ::poll(&fd, 1, static_cast<int>(timeout.count()));
    if (ready <= 0 || (fd.revents & POLLIN) == 0) return false;
    std::uint8_t buffer[4096];
    const ssize_t got = ::read(master_, buffer, std::min(most, sizeof buffer));
    if (got <= 0) return false;
    const auto at = Clock::now();
    assembler_.PushBytes(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(got)),
                         [&](std::span<const std::uint8_t> stuffed) {
                             auto plain = map27::DestuffFrame(stuffed);
                             if (map27::IsGoodFrame(plain))
                                 frames_.push_back({std::move(plain), at});
                         });
    return true;
}

std::optional<ReceivedFrame> ScriptedRadio::Next(std::chrono::milliseconds timeout,
                                                 double bytesPerSecond) {
    const auto end = Clock::now() + timeout;
    const auto byteTime = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(bytesPerSecond > 0 ? 1.0 / bytesPerSecond : 0.0));
    auto nextRead = Clock::now();
    while (frames_.empty()) {
        const auto now = Clock::now();
        if (now >= end) return std::nullopt;
        if (bytesPerSecond > 0) {
            if (now < nextRead) std::this_thread::sleep_until(nextRead);
            if (ReadSome(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()),
                         1)) {
                nextRead += byteTime;
            } else {
                nextRead = Clock::now();
            }
        } else {
            ReadSome(std::chrono::duration_cast<std::chrono::milliseconds>(end - now) +
                         std::chrono::milliseconds(1),
                     4096);
        }
    }
    ReceivedFrame frame = std::move(frames_.front());
    frames_.pop_front();
    return frame;
}

std::optional<ReceivedFrame> ScriptedRadio::NextOfType(std::uint8_t type,
                                                       std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) return std::nullopt;
        auto frame = Next(left);
        if (!frame) return std::nullopt;
        if (frame->Type() == type) return frame;
    }
}

void ScriptedRadio::Discard() {
    while (ReadSome(std::chrono::milliseconds(0), 4096)) {
    }
    frames_.clear();
}

Clock::time_point ScriptedRadio::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else if (errno == EAGAIN) {
            pollfd fd{master_, POLLOUT, 0};
            ::poll(&fd, 1, 100);
        } else if (errno != EINTR) {
            throw std::runtime_error("write to the pseudo-terminal failed");
        }
    }
    return Clock::now();
}

bool ScriptedRadio::BringUpLink(std::chrono::milliseconds timeout) {
    if (!NextOfType(map27::kLinkRequest, timeout)) return false;
    Write(map27::MakeLinkRequest(127, 1, 1));
    if (!NextOfType(map27::kLinkRequest, timeout)) return false;  // the terminal's confirmation
    Write(map27::MakeLinkAck(1, 1));
    return NextOfType(map27::kLinkAck, timeout).has_value();
}

}  // namespace bench
