#include "Hcomm.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "CustomSpeed.h"
#include "PortNames.h"
#include "SerialSystem.h"

namespace {

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
// A read that fails after 100 ms per requested byte has timed out; a write may take
// 1000 ms + 100 ms per byte before it has.
constexpr std::int64_t kDeadlinePerByteMs = 100;
constexpr std::int64_t kWriteDeadlineMs = 1000;

// Drivers of pseudo-terminals and simple adapters refuse modem-line and counter requests so.
bool IsUnsupported(int error) {
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

// Opened for reading and writing, not as controlling terminal, non-blocking, and exclusively:
// flock keeps out every other program that locks (this one included, also as root), TIOCEXCL
// keeps out unprivileged programs that do not. Not a terminal counts as a failure too.
UniqueFd OpenExclusive(TSerialSystem& system, const std::string& device) {
    int fd = -1;
    do {
        fd = system.Open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    UniqueFd port(system, fd);
    if (!port || system.Flock(fd, LOCK_EX | LOCK_NB) < 0 ||
        system.Ioctl(fd, TIOCEXCL, nullptr) < 0) {
        return {};
    }
    port.MarkExclusive();
    termios settings{};
    if (system.GetAttr(fd, settings) < 0) {
        return {};
    }
    return port;
}

// Raw bytes both ways, receiver on, modem control lines ignored, the lines kept up when the port
// closes, and reads that never block in the driver: every switch is set, none is inherited.
bool MakeRaw(TSerialSystem& system, int fd) {
    termios settings{};
    if (system.GetAttr(fd, settings) < 0) {
        return false;
    }
    cfmakeraw(&settings);
    settings.c_iflag &=
        ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR |
                               ICRNL | IXON | IXOFF | IXANY | IMAXBEL);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST | ONLCR | OCRNL | ONOCR | ONLRET);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOKE |
                                               ICANON | ISIG | IEXTEN | TOSTOP);
    settings.c_cflag &=
        ~static_cast<tcflag_t>(HUPCL | CRTSCTS | CSTOPB | PARENB | PARODD | CMSPAR | CSIZE);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    return system.SetAttr(fd, settings) == 0;
}

speed_t StandardSpeed(unsigned bitsPerSecond) {
    switch (bitsPerSecond) {
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

int PollTimeout(std::int64_t remainingMs) {
    return static_cast<int>(std::clamp<std::int64_t>(remainingMs, 0, 60'000));
}

}  // namespace

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

// The receive thread: waits in poll() on the port and the wake-up descriptor, never without
// blocking, and calls CreateCommEvent for new arrivals.
//
// A byte that the handler leaves unread keeps poll() reporting POLLIN, so the thread watches the
// port only while the driver's queue is empty. While bytes wait unread it looks again every
// RecheckIntervalMs() and raises the event only when the count of arrivals (bytes consumed +
// bytes queued) has grown: a wake-up comes from new arrivals, not from bytes already queued.
class TReadThread {
public:
    TReadThread(THComm& owner, std::shared_ptr<TPortSession> session)
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
    void Execute(TPortSession& session);
    void RaiseEvent(TPortSession& session);
    void Report(TPortSession& session, const std::string& message);

    THComm& owner_;
    std::thread thread_;
};

void TReadThread::Execute(TPortSession& session) {
    const bool charMode = session.eventType == TEventType::CharEvent;
    std::uint64_t announced = 0;  // arrivals already announced to CreateCommEvent
    bool eventCharSeen = false;
    while (!session.stopping) {
        int queued = session.DriverInputQueue();
        if (charMode && queued > 0) {
            if (!session.ReadAhead(eventCharSeen)) {
                queued = -1;
            } else {
                queued = session.DriverInputQueue();
            }
        }
        if (queued < 0) {
            Report(session, kPortLost + session.device);
            return;
        }
        const std::uint64_t arrived = session.consumed + static_cast<std::uint64_t>(queued);
        const bool newArrival = charMode ? eventCharSeen : arrived > announced;
        if (newArrival && static_cast<std::size_t>(queued) + session.AheadCount() > 0) {
            eventCharSeen = false;
            announced = arrived;
            session.FetchErrorMask();  // fetched and cleared at every wake-up
            RaiseEvent(session);
            continue;
        }
        if (queued == 0) {
            announced = arrived;
        }
        pollfd fds[2] = {{session.wakeup.Get(), POLLIN, 0}, {session.Fd(), POLLIN, 0}};
        const bool watchPort = queued == 0;
        const int ready =
            session.sys.Poll(fds, watchPort ? 2 : 1, watchPort ? -1 : session.RecheckIntervalMs());
        if (ready < 0 && errno != EINTR) {
            Report(session, kPortLost + session.device);
            return;
        }
        if (ready > 0 && watchPort && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            Report(session, kPortLost + session.device);
            return;
        }
    }
}

void TReadThread::RaiseEvent(TPortSession& session) {
    try {
        owner_.CreateCommEvent();
    } catch (const std::exception& error) {
        Report(session, error.what());
    } catch (...) {
        Report(session, kUnknownHandlerError);
    }
}

// Errors that a close causes (a read cut short by it) are not worth a report.
void TReadThread::Report(TPortSession& session, const std::string& message) {
    if (session.stopping || !owner_.OnCommError) {
        return;
    }
    try {
        owner_.OnCommError(message);
    } catch (...) {
        // Nowhere left to report to; the thread must survive its reporter.
    }
}

unsigned BaudRateBitsPerSecond(TBaudRate rate) {
    switch (rate) {
        case TBaudRate::____600bps:
            return 600;
        case TBaudRate::___1200bps:
            return 1200;
        case TBaudRate::___2400bps:
            return 2400;
        case TBaudRate::___4800bps:
            return 4800;
        case TBaudRate::___9600bps:
            return 9600;
        case TBaudRate::__14400bps:
            return 14400;
        case TBaudRate::__19200bps:
            return 19200;
        case TBaudRate::__38400bps:
            return 38400;
        case TBaudRate::__56000bps:
            return 56000;
        case TBaudRate::__57600bps:
            return 57600;
        case TBaudRate::_115200bps:
            return 115200;
        case TBaudRate::_128000bps:
            return 128000;
    }
    return 0;
}

namespace {

std::string FormatWithValue(const std::string& format, int value) {
    std::string message = format;
    const auto at = message.find("%d");
    if (at != std::string::npos) {
        message.replace(at, 2, std::to_string(value));
    }
    return message;
}

}  // namespace

ECommError::ECommError(const std::string& message) : std::runtime_error(message) {}
ECommError::ECommError(const std::string& format, int value)
    : std::runtime_error(FormatWithValue(format, value)) {}

struct THComm::Impl {
    explicit Impl(TSerialSystem& system) : sys(system) {}

    TSerialSystem& sys;
    mutable std::mutex sessionMutex;
    std::shared_ptr<TPortSession> session;  // the port handle: set while the port is open
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

    std::shared_ptr<TPortSession> Current() const {
        std::lock_guard lock(sessionMutex);
        return session;
    }

    // A reader left behind by a close from inside the handler ends when the handler returns.
    void ReapReader() { reader.reset(); }

    // Reads the port's settings, lets change alter its part and writes them back. Setters never
    // raise, so a port that refuses keeps what it had.
    template <typename Change>
    static void ChangeSettings(TPortSession& port, Change change) {
        termios settings{};
        if (port.sys.GetAttr(port.Fd(), settings) == 0) {
            change(settings);
            port.sys.SetAttr(port.Fd(), settings);
        }
    }
};

THComm::THComm() : THComm(TSerialSystem::Default()) {}

THComm::THComm(TSerialSystem& system) : impl_(std::make_unique<Impl>(system)) {}

THComm::~THComm() {
    CloseCommport();
    impl_->ReapReader();
}

TCommPort THComm::CommPort() const {
    return impl_->commPort;
}
TBaudRate THComm::BaudRate() const {
    return impl_->baudRate;
}
TParity THComm::Parity() const {
    return impl_->parity;
}
TByteSize THComm::ByteSize() const {
    return impl_->byteSize;
}
TStopBits THComm::StopBits() const {
    return impl_->stopBits;
}
TFlowControl THComm::FlowControl() const {
    return impl_->flowControl;
}
TEventType THComm::EventType() const {
    return impl_->eventType;
}
std::uint32_t THComm::InBuffSize() const {
    return impl_->inBuffSize;
}
std::uint32_t THComm::OutBuffSize() const {
    return impl_->outBuffSize;
}
std::uint32_t THComm::RxThreshold() const {
    return impl_->rxThreshold;
}
std::uint16_t THComm::RxStartSize() const {
    return impl_->rxStartSize;
}
std::uint16_t THComm::RxStopSize() const {
    return impl_->rxStopSize;
}
std::uint16_t THComm::EventChar() const {
    return impl_->eventChar;
}

void THComm::SetCommPort(TCommPort value) {
    if (impl_->commPort != value) {
        impl_->commPort = value;
    }
}

void THComm::SetBaudRate(TBaudRate value) {
    if (impl_->baudRate != value) {
        impl_->baudRate = value;
    }
    const auto port = impl_->Current();
    const unsigned bitsPerSecond = BaudRateBitsPerSecond(value);
    if (!port || bitsPerSecond == 0) {
        return;
    }
    const speed_t standard = StandardSpeed(bitsPerSecond);
    if (standard != B0) {
        Impl::ChangeSettings(*port, [standard](termios& settings) {
            cfsetispeed(&settings, standard);
            cfsetospeed(&settings, standard);
            // No separate input speed: a custom one set before would otherwise stay in force.
            settings.c_cflag &= ~static_cast<tcflag_t>(CIBAUD);
        });
    } else {
        SetCustomLineSpeed(port->sys, port->Fd(), bitsPerSecond);
    }
    port->bitsPerSecond = bitsPerSecond;
}

void THComm::SetParity(TParity value) {
    if (impl_->parity != value) {
        impl_->parity = value;
    }
    const auto port = impl_->Current();
    if (!port) {
        return;
    }
    // Whether received parity is checked (INPCK) stays as the port had it.
    Impl::ChangeSettings(*port, [value](termios& settings) {
        settings.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
        switch (value) {
            case TParity::None:
                break;
            case TParity::Odd:
                settings.c_cflag |= PARENB | PARODD;
                break;
            case TParity::Even:
                settings.c_cflag |= PARENB;
                break;
            case TParity::Mark:
                settings.c_cflag |= PARENB | PARODD | CMSPAR;
                break;
            case TParity::Space:
                settings.c_cflag |= PARENB | CMSPAR;
                break;
        }
    });
}

void THComm::SetByteSize(TByteSize value) {
    if (impl_->byteSize != value) {
        impl_->byteSize = value;
    }
    const auto port = impl_->Current();
    if (!port) {
        return;
    }
    Impl::ChangeSettings(*port, [value](termios& settings) {
        tcflag_t size = CS8;
        switch (value) {
            case TByteSize::_5bit:
                size = CS5;
                break;
            case TByteSize::_6bit:
                size = CS6;
                break;
            case TByteSize::_7bit:
                size = CS7;
                break;
            case TByteSize::_8bit:
                size = CS8;
                break;
        }
        settings.c_cflag = (settings.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | size;
    });
}

void THComm::SetStopBits(TStopBits value) {
    if (impl_->stopBits != value) {
        impl_->stopBits = value;
    }
    const auto port = impl_->Current();
    if (!port) {
        return;
    }
    // A UART sends 1.5 stop bits for CSTOPB with 5 data bits; Linux has no other way to ask.
    Impl::ChangeSettings(*port, [value](termios& settings) {
        if (value == TStopBits::_1bit) {
            settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
        } else {
            settings.c_cflag |= CSTOPB;
        }
    });
}

void THComm::SetFlowControl(TFlowControl value) {
    if (impl_->flowControl != value) {
        impl_->flowControl = value;
    }
    const auto port = impl_->Current();
    if (!port) {
        return;
    }
    // Linux fixes the XON/XOFF thresholds itself (RxStartSize and RxStopSize are only stored) and
    // has no DTR/DSR handshake: DtrDsr keeps both lines on and the output does not wait for DSR.
    Impl::ChangeSettings(*port, [value](termios& settings) {
        settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
        settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        settings.c_cc[VSTART] = kXonChar;
        settings.c_cc[VSTOP] = kXoffChar;
        if (value == TFlowControl::XonXoff) {
            settings.c_iflag |= IXON | IXOFF;
        } else if (value == TFlowControl::RtsCts) {
            settings.c_cflag |= CRTSCTS;
        }
    });
    int lines = TIOCM_DTR | TIOCM_RTS;
    port->sys.Ioctl(port->Fd(), TIOCMBIS, &lines);  // refused by pseudo-terminals: nothing to raise
}

// The settings below are only stored: they take effect at the next open or receive event.
void THComm::SetEventType(TEventType value) { impl_->eventType = value; }

void THComm::SetInBuffSize(std::uint32_t value) { impl_->inBuffSize = value; }

void THComm::SetOutBuffSize(std::uint32_t value) { impl_->outBuffSize = value; }

void THComm::SetRxThreshold(std::uint32_t value) { impl_->rxThreshold = value; }

void THComm::SetXonSendSize(std::uint16_t value) { impl_->rxStartSize = value; }

void THComm::SetXoffSendSize(std::uint16_t value) { impl_->rxStopSize = value; }

void THComm::SetEventChar(std::uint16_t value) {
    impl_->eventChar = value;
    if (const auto port = impl_->Current()) {
        port->eventChar = static_cast<std::uint8_t>(value & 0xFF);
    }
}

bool THComm::CheckCommportValid(const std::string& name) {
    if (impl_->openFlag && name == PortName()) {
        return true;
    }
    try {
        return static_cast<bool>(OpenExclusive(impl_->sys, ComDevicePath(name)));
    } catch (...) {
        return false;
    }
}

void THComm::OpenCommport() {
    if (impl_->Current()) {
        return;
    }
    impl_->ReapReader();
    TSerialSystem& sys = impl_->sys;
    std::string device = ComDevicePath(PortName());
    UniqueFd port = OpenExclusive(sys, device);
    UniqueFd wakeup(sys, port ? sys.CreateWakeup() : -1);
    if (!wakeup || !MakeRaw(sys, port.Get())) {
        throw ECommError(kOpenFailed);
    }
    const std::size_t aheadLimit = std::max<std::uint32_t>(impl_->inBuffSize, 1);
    auto session = std::make_shared<TPortSession>(sys, std::move(port), std::move(wakeup),
                                                  std::move(device), impl_->eventType, aheadLimit);
    session->FetchErrorMask();  // the counters so far are not this session's errors
    {
        std::lock_guard lock(impl_->sessionMutex);
        impl_->session = session;
    }
    // Through the overridable setters, so a derived component applies its own variant.
    SetBaudRate(BaudRate());
    SetParity(Parity());
    SetByteSize(ByteSize());
    SetStopBits(StopBits());
    SetFlowControl(FlowControl());
    SetEventChar(EventChar());
    sys.Flush(session->Fd(), TCIOFLUSH);
    try {
        impl_->reader = std::make_unique<TReadThread>(*this, session);
    } catch (...) {
        std::lock_guard lock(impl_->sessionMutex);
        impl_->session.reset();
        throw ECommError(kOpenFailed);
    }
    impl_->openFlag = true;
}

void THComm::CloseCommport() {
    // Asked before the session is let go: an owner that sees the port closed may replace reader.
    const bool onReceiveThread = impl_->reader && impl_->reader->IsCurrentThread();
    std::shared_ptr<TPortSession> session;
    {
        std::lock_guard lock(impl_->sessionMutex);
        session = std::move(impl_->session);
        if (session) {
            session->stopping = true;  // before anyone can see the port closed
        }
    }
    impl_->openFlag = false;
    if (!session) {
        return;
    }
    session->sys.Signal(session->wakeup.Get());
    if (!onReceiveThread) {
        impl_->reader.reset();
    }
    session->sys.Flush(session->Fd(), TCIOFLUSH);
}

std::uint32_t THComm::ReadDataCounted(void* buffer, std::uint32_t count) {
    const auto session = impl_->Current();
    if (!session || session->stopping) {
        throw ECommError(kNotStarted);
    }
    TSerialSystem& sys = session->sys;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    const std::int64_t start = sys.NowMs();
    const std::int64_t deadline = start + kDeadlinePerByteMs * count;
    const std::int64_t totalEnd = start + kReadTotalMs + kReadTotalPerByteMs * count;
    std::int64_t lastByte = -1;
    std::uint32_t done = 0;
    while (done < count) {
        const long got = session->TakeOrRead(bytes + done, count - done);
        if (got > 0) {
            done += static_cast<std::uint32_t>(got);
            lastByte = sys.NowMs();
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        // Nothing waits: with VMIN and VTIME 0 a terminal says so with 0 as well as with EAGAIN.
        if (got == 0 || errno == EAGAIN) {
            const std::int64_t end =
                lastByte < 0 ? totalEnd : std::min(totalEnd, lastByte + kReadIntervalMs);
            const std::int64_t now = sys.NowMs();
            if (now >= end) {
                break;  // the port time-out: deliver what has arrived
            }
            pollfd fds[2] = {{session->Fd(), POLLIN, 0}, {session->wakeup.Get(), POLLIN, 0}};
            const int ready = sys.Poll(fds, 2, PollTimeout(end - now));
            if (ready == 0) {
                break;
            }
            if (ready > 0 && fds[1].revents != 0) {
                throw ECommError(kNotStarted);  // closed meanwhile
            }
            const bool gone = ready > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
            if ((ready > 0 && !gone) || (ready < 0 && errno == EINTR)) {
                continue;
            }
        }
        // The port has gone, or the driver failed.
        const int mask = session->FetchErrorMask();
        if (sys.NowMs() > deadline) {
            throw ECommError(kReadTimeout);
        }
        throw ECommError(kReadError, mask);
    }
    return done;
}

std::uint32_t THComm::ReadWaiting(void* buffer, std::uint32_t count) {
    const auto session = impl_->Current();
    if (!session || session->stopping) {
        throw ECommError(kNotStarted);
    }
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::uint32_t done = 0;
    while (done < count) {
        const long got = session->TakeOrRead(bytes + done, count - done);
        if (got > 0) {
            done += static_cast<std::uint32_t>(got);
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        // Nothing more waits: with VMIN and VTIME 0 a terminal says so with 0 as well as EAGAIN.
        if (got == 0 || errno == EAGAIN) {
            break;
        }
        throw ECommError(kReadError, session->FetchErrorMask());
    }
    return done;
}

void THComm::ReadData(void* buffer, std::uint32_t count) {
    ReadDataCounted(buffer, count);
}

std::string THComm::ReadStringData(std::uint32_t count) {
    std::uint8_t buffer[kStringReadLimit];
    const std::uint32_t got = ReadDataCounted(buffer, std::min(count, kStringReadLimit));
    std::string text;
    for (std::uint32_t index = 0; index < got; ++index) {
        if (buffer[index] != 0) {
            text.push_back(static_cast<char>(buffer[index]));
        }
    }
    return text;
}

void THComm::WriteData(const void* buffer, std::uint32_t count) {
    const auto session = impl_->Current();
    if (!session || session->stopping) {
        throw ECommError(kNotStarted);
    }
    TSerialSystem& sys = session->sys;
    session->FetchErrorMask();
    int queued = 0;
    if (sys.Ioctl(session->Fd(), TIOCOUTQ, &queued) < 0 || queued < 0) {
        queued = 0;
    }
    const std::uint32_t outSize = impl_->outBuffSize;
    const auto queuedBytes = static_cast<std::uint32_t>(queued);
    const std::uint32_t room = outSize > queuedBytes ? outSize - queuedBytes : 0;
    if (count >= room) {
        throw ECommError(kTooMuchData);
    }
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    const std::int64_t deadline = sys.NowMs() + kWriteDeadlineMs + kDeadlinePerByteMs * count;
    std::uint32_t done = 0;
    while (done < count) {
        const long sent = sys.Write(session->Fd(), bytes + done, count - done);
        if (sent > 0) {
            done += static_cast<std::uint32_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent == 0 || errno == EAGAIN) {
            const std::int64_t now = sys.NowMs();
            if (now >= deadline) {
                throw ECommError(kWriteTimeout);
            }
            pollfd fds[2] = {{session->Fd(), POLLOUT, 0}, {session->wakeup.Get(), POLLIN, 0}};
            const int ready = sys.Poll(fds, 2, PollTimeout(deadline - now));
            if (ready == 0) {
                throw ECommError(kWriteTimeout);
            }
            if (ready > 0 && fds[1].revents != 0) {
                throw ECommError(kNotStarted);  // closed meanwhile
            }
            if ((ready > 0 && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) == 0) ||
                (ready < 0 && errno == EINTR)) {
                continue;
            }
        }
        const int mask = session->FetchErrorMask();
        if (sys.NowMs() > deadline) {
            throw ECommError(kWriteTimeout);
        }
        throw ECommError(kWriteError, mask);
    }
}

void THComm::WriteStringData(const std::string& text) {
    WriteData(text.data(), static_cast<std::uint32_t>(text.size()));
}

void THComm::WriteStop() {
    if (const auto session = impl_->Current()) {
        session->sys.Ioctl(session->Fd(), TIOCSBRK, nullptr);
    }
}

void THComm::WriteRestart() {
    if (const auto session = impl_->Current()) {
        session->sys.Ioctl(session->Fd(), TIOCCBRK, nullptr);
    }
}

void THComm::ClearInBuff() {
    const auto session = impl_->Current();
    if (!session) {
        return;
    }
    std::lock_guard lock(session->aheadMutex);
    session->ahead.clear();
    const int queued = session->DriverInputQueue();
    session->sys.Flush(session->Fd(), TCIFLUSH);
    if (queued > 0) {
        session->consumed += static_cast<std::uint64_t>(queued);
    }
}

void THComm::ClearOutBuff() {
    if (const auto session = impl_->Current()) {
        session->sys.Flush(session->Fd(), TCOFLUSH);
    }
}

std::int32_t THComm::CountInBuff() {
    const auto session = impl_->Current();
    if (!session) {
        return -1;
    }
    const int queued = std::max(session->DriverInputQueue(), 0);
    return static_cast<std::int32_t>(static_cast<std::size_t>(queued) + session->AheadCount());
}

std::int32_t THComm::CountOutBuff() {
    const auto session = impl_->Current();
    if (!session) {
        return -1;
    }
    int queued = 0;
    return session->sys.Ioctl(session->Fd(), TIOCOUTQ, &queued) < 0 ? 0 : queued;
}

bool THComm::GetPortStatus() const {
    return impl_->openFlag;
}

bool THComm::IsPortLost() const {
    const auto session = impl_->Current();
    return session && session->Gone();
}

void THComm::CreateCommEvent() {
    const auto session = impl_->Current();
    if (!session || session->stopping) {
        return;
    }
    session->FetchErrorMask();
    const int queued = session->DriverInputQueue();
    if (queued < 0) {
        return;
    }
    std::uint32_t size =
        static_cast<std::uint32_t>(static_cast<std::size_t>(queued) + session->AheadCount());
    if (session->eventType == TEventType::RxEvent && size < impl_->rxThreshold) {
        return;
    }
    if (OnCommEvent) {
        OnCommEvent(*this, size);
    }
}

bool THComm::WaitForInput(int timeoutMs) {
    const auto session = impl_->Current();
    if (!session || session->stopping) {
        return false;
    }
    TSerialSystem& sys = session->sys;
    const std::int64_t end = sys.NowMs() + timeoutMs;
    for (;;) {
        const int queued = session->DriverInputQueue();
        if (queued < 0) {
            return false;
        }
        if (queued > 0 || session->AheadCount() > 0) {
            return true;
        }
        const std::int64_t remaining = end - sys.NowMs();
        if (timeoutMs >= 0 && remaining <= 0) {
            return false;
        }
        pollfd fds[2] = {{session->Fd(), POLLIN, 0}, {session->wakeup.Get(), POLLIN, 0}};
        const int ready = sys.Poll(fds, 2, timeoutMs < 0 ? -1 : PollTimeout(remaining));
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready > 0 &&
            (fds[1].revents != 0 || (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)) {
            return false;  // closing, or the port has gone
        }
    }
}

bool THComm::WaitUntilSent(int timeoutMs) {
    const auto session = impl_->Current();
    if (!session || session->stopping) {
        return false;
    }
    TSerialSystem& sys = session->sys;
    const std::int64_t end = sys.NowMs() + timeoutMs;
    // The driver's queue is what is not yet sent; tcdrain would also wait for the UART's FIFO but
    // cannot be cut short by a close, so the queue is watched with sleeps sized to what remains
    // (at most 100 ms, so a purge meanwhile is noticed soon).
    for (;;) {
        int queued = 0;
        if (sys.Ioctl(session->Fd(), TIOCOUTQ, &queued) < 0) {
            return IsUnsupported(errno);
        }
        if (queued <= 0) {
            return true;
        }
        std::int64_t wait = std::clamp<std::int64_t>(session->SendTimeMs(queued), 1, 100);
        if (timeoutMs >= 0) {
            const std::int64_t remaining = end - sys.NowMs();
            if (remaining <= 0) {
                return false;
            }
            wait = std::min(wait, remaining);
        }
        pollfd wake{session->wakeup.Get(), POLLIN, 0};
        if (sys.Poll(&wake, 1, PollTimeout(wait)) > 0) {
            return false;
        }
    }
}

std::string THComm::PortName() const {
    return "COM" + std::to_string(static_cast<int>(impl_->commPort) + 1);
}

std::string THComm::DevicePath() const {
    return ComDevicePath(PortName());
}
