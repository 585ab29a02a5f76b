#include "serial/SerialSystem.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

TSerialSystem::~TSerialSystem() = default;

int TSerialSystem::Open(const char* path, int flags) {
    return ::open(path, flags);
}
int TSerialSystem::Close(int fd) {
    return ::close(fd);
}
int TSerialSystem::Flock(int fd, int operation) {
    return ::flock(fd, operation);
}
int TSerialSystem::Ioctl(int fd, unsigned long request, void* argument) {
    return ::ioctl(fd, request, argument);
}
int TSerialSystem::GetAttr(int fd, termios& settings) {
    return ::tcgetattr(fd, &settings);
}
int TSerialSystem::SetAttr(int fd, const termios& settings) {
    return ::tcsetattr(fd, TCSANOW, &settings);
}
int TSerialSystem::Flush(int fd, int queueSelector) {
    return ::tcflush(fd, queueSelector);
}
long TSerialSystem::Read(int fd, void* buffer, std::size_t count) {
    return ::read(fd, buffer, count);
}
long TSerialSystem::Write(int fd, const void* buffer, std::size_t count) {
    return ::write(fd, buffer, count);
}
int TSerialSystem::Poll(pollfd* fds, unsigned long count, int timeoutMs) {
    return ::poll(fds, count, timeoutMs);
}
int TSerialSystem::CreateWakeup() {
    return ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

int TSerialSystem::Signal(int wakeupFd) {
    const std::uint64_t one = 1;
    return ::write(wakeupFd, &one, sizeof one) == static_cast<long>(sizeof one) ? 0 : -1;
}

std::int64_t TSerialSystem::NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

TSerialSystem& TSerialSystem::Default() {
    static TSerialSystem system;
    return system;
}
