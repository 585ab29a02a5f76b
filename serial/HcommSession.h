#pragma once
// The inside of THComm, shared by its source files only: the port session that lives while the
// port is open, the receive thread, and the component's state. Not for the component's users.
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "serial/Hcomm.h"
#include "serial/SerialSystem.h"

namespace hcomm {

const char* const kOpenFailed = "CommOpen Error,invalid HANDLE:0xFFFFFFFF";
const char* const kNotStarted = "Have not started communications";
const char* const kTooMuchData = "Too much write data";
const char* const kReadError = "Communication Read Error  ErrorMask=%d";
const char* const kReadTimeout = "Read data Timeout";
const char* const kWriteError = "Communication Write Error  ErrorMask=%d";
const char* const kWriteTimeout = "Write data Timeout";
const char* const kPortLost = "Comport lost: ";
const char* const kUnknownHandlerError = "Unknown error in the comm event handler";

constexpr cc_t kXonChar = 0x11;
constexpr cc_t kXoffChar = 0x13;
constexpr std::uint32_t kStringReadLimit = 4096;

// The port time-outs of a read: it ends with what it has when 1000 ms pass without a byte or
// 1000 ms + 5 ms per requested byte have passed.
constexpr std::int64_t kReadIntervalMs = 1000;
constexpr std::int64_t kReadTotalMs = 1000;
constexpr std::int64_t kReadTotalPerByteMs = 5;
// A read or write that fails after 100 ms per byte has timed out, before that it has failed.
constexpr std::int64_t kDeadlinePerByteMs = 100;
// The port time-out of a write: it ends, as timed out, when the port has not taken every byte
// within 1000 ms + 5 ms per byte.
constexpr std::int64_t kWriteTotalMs = 1000;
constexpr std::int64_t kWriteTotalPerByteMs = 5;

// Drivers of pseudo-terminals and simple adapters refuse modem-line and counter requests so.
inline bool IsUnsupported(int error) {
    return error == ENOTTY || error == EINVAL;
}

// A descriptor that closes on every path; a port opened exclusively gives its exclusivity back
// first, because the flag outlives the descriptor on a terminal that stays open elsewhere.
class UniqueFd {
public:
    UniqueFd() = default;
    UniqueFd(TSerialSystem& system, int fd) : system_(&system), fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept
        : system_(other.system_), fd_(std::exchange(other.fd_, -1)), exclusive_(other.exclusive_) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            system_ = other.system_;
            fd_ = std::exchange(other.fd_, -1);
            exclusive_ = other.exclusive_;
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void MarkExclusive() { exclusive_ = true; }
    void Reset() {
        if (fd_ >= 0) {
            if (exclusive_) {
                system_->Ioctl(fd_, TIOCNXCL, nullptr);
            }
            system_->Close(fd_);
            fd_ = -1;
        }
    }

private:
    TSerialSystem* system_ = nullptr;
    int fd_ = -1;
    bool exclusive_ = false;
};

// Opens the device exclusively for the port; the invalid descriptor on any failure.
UniqueFd OpenExclusive(TSerialSystem& system, const std::string& device);
// Sets the port to raw mode; false when the driver refuses.
bool MakeRaw(TSerialSystem& system, int fd);

inline int PollTimeout(std::int64_t remainingMs) {
    return static_cast<int>(std::clamp<std::int64_t>(remainingMs, 0, 60'000));
}

// Everything that lives exactly while the port is open. The receive thread and any call in
// progress hold it, so a close on another thread never pulls a descriptor from under them: it
// signals the wake-up descriptor, and the last holder closes the port.
struct TPortSession {
    TPortSession(TSerialSystem& system, UniqueFd portFd, UniqueFd wakeupFd, std::string devicePath,
                 TEventType type, std::size_t readAheadLimit)
        : sys(system),
          port(std::move(portFd)),
          wakeup(std::move(wakeupFd)),
          device(std::move(devicePath)),
          eventType(type),
          aheadLimit(readAheadLimit) {}

    TSerialSystem& sys;
    UniqueFd port;
    UniqueFd wakeup;  // readable once the close has begun
    const std::string device;
    const TEventType eventType;
    const std::size_t aheadLimit;

    std::atomic<bool> stopping{false};
    // Bytes taken out of the driver's input queue by reads and purges; with the queue length it
    // tells new arrivals from bytes that were already waiting.
    std::atomic<std::uint64_t> consumed{0};
    std::atomic<unsigned> bitsPerSecond{9600};
    std::atomic<std::uint8_t> eventChar{65};

    // CharEvent mode: bytes read ahead by the receive thread, handed out before the driver's queue.
    std::mutex aheadMutex;
    std::deque<std::uint8_t> ahead;

    std::mutex errorMutex;
    bool errorCountsSupported = true;
    serial_icounter_struct lastCounts{};

    int Fd() const { return port.Get(); }

    // Bytes in the driver's input queue, or -1 when the port no longer answers.
    int DriverInputQueue() const {
        int queued = 0;
        return sys.Ioctl(Fd(), FIONREAD, &queued) < 0 ? -1 : queued;
    }

    // The device has gone: the driver hung the port up (no wait: poll() with a zero time-out).
    bool Gone() const {
        pollfd probe{Fd(), 0, 0};
        const bool hungUp =
            sys.Poll(&probe, 1, 0) > 0 && (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        return hungUp || DriverInputQueue() < 0;
    }

    std::size_t AheadCount() {
        std::lock_guard lock(aheadMutex);
        return ahead.size();
    }

    // Line errors since the last fetch, from the driver's counters where it keeps them:
    // 1 input queue overflow, 2 overrun, 4 parity, 8 framing, 16 break.
    int FetchErrorMask() {
        std::lock_guard lock(errorMutex);
        if (!errorCountsSupported) {
            return 0;
        }
        serial_icounter_struct counts{};
        if (sys.Ioctl(Fd(), TIOCGICOUNT, &counts) < 0) {
            errorCountsSupported = !IsUnsupported(errno);
            return 0;
        }
        int mask = 0;
        mask |= counts.buf_overrun != lastCounts.buf_overrun ? 1 : 0;
        mask |= counts.overrun != lastCounts.overrun ? 2 : 0;
        mask |= counts.parity != lastCounts.parity ? 4 : 0;
        mask |= counts.frame != lastCounts.frame ? 8 : 0;
        mask |= counts.brk != lastCounts.brk ? 16 : 0;
        lastCounts = counts;
        return mask;
    }

    // Under aheadMutex: hands out read-ahead bytes first, else reads the driver's queue, so
    // bytes keep their order whoever reads. Returns what read() would.
    long TakeOrRead(std::uint8_t* buffer, std::size_t count) {
        std::lock_guard lock(aheadMutex);
        if (!ahead.empty()) {
            const std::size_t taken = std::min(count, ahead.size());
            std::copy_n(ahead.begin(), taken, buffer);
            ahead.erase(ahead.begin(), ahead.begin() + static_cast<std::ptrdiff_t>(taken));
            return static_cast<long>(taken);
        }
        const long got = sys.Read(Fd(), buffer, count);
        if (got > 0) {
            consumed += static_cast<std::uint64_t>(got);
        }
        return got;
    }

    // CharEvent mode: moves what the driver holds into the read-ahead buffer, up to its limit.
    // Sets eventCharSeen when the event character is among the new bytes. False when the port
    // has gone. A read of 0 bytes only means "nothing now" (VMIN and VTIME are 0): poll() and
    // FIONREAD tell a port that has gone.
    bool ReadAhead(bool& eventCharSeen) {
        std::lock_guard lock(aheadMutex);
        std::uint8_t chunk[512];
        while (ahead.size() < aheadLimit) {
            const long got =
                sys.Read(Fd(), chunk, std::min(sizeof chunk, aheadLimit - ahead.size()));
            if (got > 0) {
                consumed += static_cast<std::uint64_t>(got);
                const std::uint8_t* begin = chunk;
                const std::uint8_t* end = chunk + got;
                eventCharSeen = eventCharSeen || std::find(begin, end, eventChar.load()) != end;
                ahead.insert(ahead.end(), begin, end);
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else {
                return got == 0 || errno == EAGAIN;
            }
        }
        return true;
    }

    // How long the receive thread waits before it looks at the queue again while bytes that the
    // handler left unread sit in it: two characters at the line speed, 5 to 20 ms.
    int RecheckIntervalMs() const {
        const unsigned speed = std::max(bitsPerSecond.load(), 1U);
        return static_cast<int>(std::clamp(2U * 10'000U / speed, 5U, 20U));
    }

    // Milliseconds the transmitter needs for bytes at the line speed (ten bits a byte).
    std::int64_t SendTimeMs(int bytes) const {
        const unsigned speed = std::max(bitsPerSecond.load(), 1U);
        return static_cast<std::int64_t>(bytes) * 10'000 / speed;
    }
};

}  // namespace hcomm

// The receive thread: waits in poll() on the port and the wake-up descriptor, never without
// blocking, and calls CreateCommEvent for new arrivals.
//
// A byte that the handler leaves unread keeps poll() reporting POLLIN, so the thread watches the
// port only while the driver's queue is empty. While bytes wait unread it looks again every
// RecheckIntervalMs() and raises the event only when the count of arrivals (bytes consumed +
// bytes queued) has grown: a wake-up comes from new arrivals, not from bytes already queued.
class TReadThread {
public:
    TReadThread(THComm& owner, std::shared_ptr<hcomm::TPortSession> session)
        : owner_(owner), thread_([this, session = std::move(session)] { Execute(*session); }) {}
    TReadThread(const TReadThread&) = delete;
    TReadThread& operator=(const TReadThread&) = delete;
    // Joins the thread; on the thread itself (a close from inside the handler) lets it run out.
    ~TReadThread() {
        if (IsCurrentThread()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }
    bool IsCurrentThread() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void Execute(hcomm::TPortSession& session);
    void RaiseEvent(hcomm::TPortSession& session);
    void Report(hcomm::TPortSession& session, const std::string& message);

    THComm& owner_;
    std::thread thread_;
};

struct THComm::Impl {
    explicit Impl(TSerialSystem& system) : sys(system) {}

    TSerialSystem& sys;
    mutable std::mutex sessionMutex;
    std::shared_ptr<hcomm::TPortSession> session;  // the port handle: set while the port is open
    std::unique_ptr<TReadThread> reader;
    std::atomic<bool> openFlag{false};

    TCommPort commPort = TCommPort::Com1;
    TBaudRate baudRate = TBaudRate::___9600bps;
    TParity parity = TParity::None;
    TByteSize byteSize = TByteSize::_8bit;
    TStopBits stopBits = TStopBits::_1bit;
    TFlowControl flowControl = TFlowControl::Disable;
    TEventType eventType = TEventType::RxEvent;
    std::uint32_t inBuffSize = 4096;
    std::uint32_t outBuffSize = 4096;
    std::atomic<std::uint32_t> rxThreshold{256};
    std::uint16_t rxStartSize = 1024;
    std::uint16_t rxStopSize = 2048;
    std::atomic<std::uint16_t> eventChar{65};

    std::shared_ptr<hcomm::TPortSession> Current() const {
        std::lock_guard lock(sessionMutex);
        return session;
    }

    // A reader left behind by a close from inside the handler ends when the handler returns.
    void ReapReader() { reader.reset(); }

    // Reads the port's settings, lets change alter its part and writes them back. Setters never
    // raise, so a port that refuses keeps what it had.
    template <typename Change>
    static void ChangeSettings(hcomm::TPortSession& port, Change change) {
        termios settings{};
        if (port.sys.GetAttr(port.Fd(), settings) == 0) {
            change(settings);
            port.sys.SetAttr(port.Fd(), settings);
        }
    }
};
