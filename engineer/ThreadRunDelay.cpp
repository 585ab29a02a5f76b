#include "engineer/ThreadRunDelay.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace orrick {

TThreadRunDelay::TThreadRunDelay()
    : fd_(::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC)) {}

TThreadRunDelay::~TThreadRunDelay() {
    if (fd_ >= 0) ::close(fd_);
}

std::chrono::nanoseconds TThreadRunDelay::operator()() const {
    if (fd_ < 0) return {};
    // "<on the CPU> <waiting to run> <time slices>", in nanoseconds.
    char text[96];
    const ssize_t got = ::pread(fd_, text, sizeof text - 1, 0);
    if (got <= 0) return {};
    text[got] = '\0';
    char* end = nullptr;
    std::strtoull(text, &end, 10);
    return std::chrono::nanoseconds(static_cast<std::int64_t>(std::strtoull(end, nullptr, 10)));
}

}  // namespace orrick
