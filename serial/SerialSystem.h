#pragma once
// The one seam between THComm and the operating system. Every system call the component makes
// goes through a TSerialSystem, so tests can record the arguments a pseudo-terminal cannot show
// (parity, data bits, modem lines) and inject EINTR, EAGAIN, short writes or a jumping clock.
// Each call behaves like the system call of the same name: -1 (or a negative count) with errno
// set on failure.
#include <cstddef>
#include <cstdint>

struct termios;
struct pollfd;

class TSerialSystem {
public:
    virtual ~TSerialSystem();

    virtual int Open(const char* path, int flags);
    virtual int Close(int fd);
    virtual int Flock(int fd, int operation);
    // argument points at the request's data, or is null for requests without one.
    virtual int Ioctl(int fd, unsigned long request, void* argument);
    virtual int GetAttr(int fd, termios& settings);
    // Applied at once (TCSANOW).
    virtual int SetAttr(int fd, const termios& settings);
    virtual int Flush(int fd, int queueSelector);
    virtual long Read(int fd, void* buffer, std::size_t count);
    virtual long Write(int fd, const void* buffer, std::size_t count);
    virtual int Poll(pollfd* fds, unsigned long count, int timeoutMs);
    // A non-blocking, close-on-exec descriptor that becomes readable once Signal has been called.
    virtual int CreateWakeup();
    virtual int Signal(int wakeupFd);
    // Monotonic milliseconds, for read and write deadlines.
    virtual std::int64_t NowMs();

    // The real system.
    static TSerialSystem& Default();
};
