// THComm: the settings, and how each maps onto termios when the port is open.
#include "serial/HcommSession.h"

#include "serial/CustomSpeed.h"

using namespace hcomm;  // the component's own internals

namespace {

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

}  // namespace

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
void THComm::SetEventType(TEventType value) {
    impl_->eventType = value;
}

void THComm::SetInBuffSize(std::uint32_t value) {
    impl_->inBuffSize = value;
}

void THComm::SetOutBuffSize(std::uint32_t value) {
    impl_->outBuffSize = value;
}

void THComm::SetRxThreshold(std::uint32_t value) {
    impl_->rxThreshold = value;
}

void THComm::SetXonSendSize(std::uint16_t value) {
    impl_->rxStartSize = value;
}

void THComm::SetXoffSendSize(std::uint16_t value) {
    impl_->rxStopSize = value;
}

void THComm::SetEventChar(std::uint16_t value) {
    impl_->eventChar = value;
    if (const auto port = impl_->Current()) {
        port->eventChar = static_cast<std::uint8_t>(value & 0xFF);
    }
}
