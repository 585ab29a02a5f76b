#include "tools/StoppableIo.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace map27test {

namespace {

constexpr const char* kStopped = "stopped";

// Waits until fd is ready for events or a stop is asked for; true when fd is ready. A timeout
// (ms) of -1 waits for ever.
bool WaitFor(int fd, short events, const StopRequest& stop, int timeout = -1) {
    pollfd fds[2] = {{fd, events, 0}, {stop.Fd(), POLLIN, 0}};
    for (;;) {
        const int n = ::poll(fds, fd < 0 ? 1 : 2, timeout);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        // Ready (or failed, which the next call reports) comes first: what can be done is done.
        if (fd >= 0 && fds[0].revents != 0) return true;
        return false;
    }
}

}  // namespace

StopRequest::StopRequest() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0) throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
}

StopRequest::~StopRequest() {
    ::close(fd_);
}

void StopRequest::Request() {
    const std::uint64_t one = 1;
    (void)!::write(fd_, &one, sizeof one);
}

bool StopRequest::Requested() const {
    pollfd fds = {fd_, POLLIN, 0};
    return ::poll(&fds, 1, 0) > 0;
}

std::optional<std::string> ReadWholeFile(const std::string& path, const StopRequest& stop,
                                         std::string& error) {
    // Non-blocking: opening a FIFO does not wait for its writer, and poll() below waits instead.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        // A FIFO's writer that has not come yet gives no POLLIN or POLLHUP: the wait goes on.
        if (!WaitFor(fd, POLLIN, stop)) {
            error = kStopped;
            break;
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            ::close(fd);
            return text;
        } else if (errno != EAGAIN && errno != EINTR) {
            error = std::strerror(errno);
            break;
        }
    }
    ::close(fd);
    return std::nullopt;
}

int OpenForWriting(const std::string& path, const StopRequest& stop, std::string& error) {
    for (;;) {
        const int fd = ::open(
            path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) return fd;
        // ENXIO: a FIFO without a reader. Looked at again a few times a second.
        if (errno != ENXIO) {
            error = std::strerror(errno);
            return -1;
        }
        if (stop.Requested()) break;
        WaitFor(-1, 0, stop, 100);
    }
    error = kStopped;
    return -1;
}

bool WriteAll(int fd, std::string_view data, const StopRequest& stop) {
    while (!data.empty()) {
        if (!WaitFor(fd, POLLOUT, stop)) return false;
        // A pipe that polls writable takes PIPE_BUF bytes without blocking, even where the
        // descriptor is a blocking one that this program shares with others (standard output).
        const ssize_t n = ::write(fd, data.data(), std::min<std::size_t>(data.size(), PIPE_BUF));
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
    }
    return true;
}

StoppableOutput::int_type StoppableOutput::overflow(int_type c) {
    if (c != traits_type::eof()) pending_ += traits_type::to_char_type(c);
    if (pending_.size() >= PIPE_BUF) sync();
    return traits_type::not_eof(c);
}

std::streamsize StoppableOutput::xsputn(const char* data, std::streamsize count) {
    pending_.append(data, static_cast<std::size_t>(count));
    if (pending_.size() >= PIPE_BUF) sync();
    return count;
}

int StoppableOutput::sync() {
    if (!failed_ && !pending_.empty()) failed_ = !WriteAll(fd_, pending_, stop_);
    pending_.clear();
    return 0;
}

}  // namespace map27test
