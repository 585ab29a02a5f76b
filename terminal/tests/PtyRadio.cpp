#include "terminal/tests/PtyRadio.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

PtyRadio::PtyRadio() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    slavePath_ = name;
    termios raw{};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    ::tcgetattr(master_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyRadio::~PtyRadio() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
}

void PtyRadio::Pull() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    master_ = slave_ = -1;
}

void PtyRadio::Poll() {
    if (master_ < 0) return;
    std::uint8_t buffer[512];
    for (;;) {
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got <= 0) return;
        assembler_.PushBytes(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(got)),
                             [this](std::span<const std::uint8_t> frame) {
                                 frames_.emplace_back(frame.begin(), frame.end());
                             });
    }
}

std::vector<std::vector<std::uint8_t>> PtyRadio::DataFrames() const {
    std::vector<std::vector<std::uint8_t>> data;
    for (const auto& frame : frames_) {
        auto plain = map27::DestuffFrame(frame);
        if (plain.size() > 3 && plain[3] == map27::kLinkTransfer) data.push_back(std::move(plain));
    }
    return data;
}

std::size_t PtyRadio::CountOfType(std::uint8_t linkType) const {
    std::size_t count = 0;
    for (const auto& frame : frames_) {
        if (frame.size() > 3 && frame[3] == linkType) ++count;
    }
    return count;
}

void PtyRadio::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else if (errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error("write to the pseudo-terminal failed");
        }
    }
}

void PtyRadio::SendLinkRequest(std::uint8_t n1, std::uint8_t k, std::uint8_t version) {
    Write(map27::MakeLinkRequest(n1, k, version));
}

void PtyRadio::SendLinkAck(std::uint8_t nr, std::uint8_t nk) { Write(map27::MakeLinkAck(nr, nk)); }

void PtyRadio::SendData(std::uint8_t ns, std::span<const std::uint8_t> message, std::uint8_t ar) {
    Write(map27::MakeDataFrame({map27::kLinkTransfer, ns, ar, 0}, message));
}

std::string HexText(std::span<const std::uint8_t> bytes) {
    std::string out;
    char two[4];
    for (const std::uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02X", b);
        if (!out.empty()) out += ' ';
        out += two;
    }
    return out;
}
