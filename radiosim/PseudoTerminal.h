#pragma once
// The line the simulator plays the radio on: a new pseudo-terminal pair, or a real port.
#include <string>

namespace radiosim {

// A descriptor that closes itself.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

struct Line {
    UniqueFd fd;         // where the radio reads and writes
    UniqueFd keepAlive;  // for a pseudo-terminal: the radio's own hold on the terminal's side
    std::string path;    // what the terminal opens
    bool pseudoTerminal = false;
};

// A new pseudo-terminal pair in raw mode. Its terminal side stays open in the simulator, so the
// radio's side never sees a hang-up while the terminal closes and opens its port again.
// Throws std::runtime_error.
Line OpenPseudoTerminal();
// A real serial device in raw mode, 8N1 at 1200 or 9600 bit/s. Throws std::runtime_error.
Line OpenDevice(const std::string& path, bool speed1200);

}  // namespace radiosim
