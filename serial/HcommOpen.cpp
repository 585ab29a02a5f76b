// THComm: the exclusive open, the raw mode, the open and close sequence, the port state.
#include "serial/HcommSession.h"

#include <fcntl.h>
#include <sys/file.h>

#include "serial/PortNames.h"

using namespace hcomm;  // the component's own internals

namespace hcomm {

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

}  // namespace hcomm

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

THComm::THComm() : THComm(TSerialSystem::Default()) {}

THComm::THComm(TSerialSystem& system) : impl_(std::make_unique<Impl>(system)) {}

THComm::~THComm() {
    CloseCommport();
    impl_->ReapReader();
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

bool THComm::GetPortStatus() const {
    return impl_->openFlag;
}

bool THComm::IsPortLost() const {
    const auto session = impl_->Current();
    return session && session->Gone();
}

std::string THComm::PortName() const {
    return "COM" + std::to_string(static_cast<int>(impl_->commPort) + 1);
}

std::string THComm::DevicePath() const {
    return ComDevicePath(PortName());
}
