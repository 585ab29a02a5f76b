// THComm through a recording system seam: the arguments a pseudo-terminal cannot show (parity,
// data bits, modem lines, the open flags) and failures it never produces (EINTR, short writes,
// line errors, a clock past the deadline).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>

#include "serial/Hcomm.h"
#include "serial/SerialSystem.h"
#include "serial/tests/PtyFixture.h"

namespace {

using namespace std::chrono_literals;

struct IoctlCall {
    unsigned long request;
    int value;  // the int argument of the modem-line requests, else 0
};

// Forwards to the real system and records what it was asked. The injected behaviours act only on
// the thread that armed them (and are only looked at there), so the receive thread keeps using
// the real calls.
class RecordingSystem : public TSerialSystem {
public:
    std::function<long(int fd, const void* buffer, std::size_t count)> write;
    std::function<long(int fd, void* buffer, std::size_t count)> read;
    std::function<int(pollfd* fds, unsigned long count, int timeoutMs)> poll;
    std::function<std::int64_t()> now;

    void Arm() { armed_ = std::this_thread::get_id(); }

    std::vector<termios> SetAttrCalls() {
        std::lock_guard lock(mutex_);
        return setAttrs_;
    }
    std::vector<IoctlCall> IoctlCalls() {
        std::lock_guard lock(mutex_);
        return ioctls_;
    }
    int OpenFlags() {
        std::lock_guard lock(mutex_);
        return openFlags_;
    }
    int FlockOperation() {
        std::lock_guard lock(mutex_);
        return flockOperation_;
    }
    // Bytes the driver reports as not yet sent (TIOCOUTQ); negative: ask the real driver.
    std::atomic<int> outputQueue{-1};
    // The driver's line-error counters, as TIOCGICOUNT reports them.
    void SetCounters(const serial_icounter_struct& counters) {
        std::lock_guard lock(mutex_);
        counters_ = counters;
        countersSupported_ = true;
    }

    int Open(const char* path, int flags) override {
        {
            std::lock_guard lock(mutex_);
            openFlags_ = flags;
        }
        return TSerialSystem::Open(path, flags);
    }
    int Flock(int fd, int operation) override {
        {
            std::lock_guard lock(mutex_);
            flockOperation_ = operation;
        }
        return TSerialSystem::Flock(fd, operation);
    }
    int SetAttr(int fd, const termios& settings) override {
        {
            std::lock_guard lock(mutex_);
            setAttrs_.push_back(settings);
        }
        return TSerialSystem::SetAttr(fd, settings);
    }
    int Ioctl(int fd, unsigned long request, void* argument) override {
        {
            std::lock_guard lock(mutex_);
            const bool intArgument =
                request == TIOCMBIS || request == TIOCMBIC || request == TIOCMSET;
            ioctls_.push_back({request, intArgument ? *static_cast<int*>(argument) : 0});
            if (request == TIOCOUTQ && outputQueue >= 0) {
                *static_cast<int*>(argument) = outputQueue;
                return 0;
            }
            if (request == TIOCGICOUNT && countersSupported_) {
                *static_cast<serial_icounter_struct*>(argument) = counters_;
                return 0;
            }
        }
        return TSerialSystem::Ioctl(fd, request, argument);
    }
    long Write(int fd, const void* buffer, std::size_t count) override {
        return Armed() && write ? write(fd, buffer, count)
                                : TSerialSystem::Write(fd, buffer, count);
    }
    long Read(int fd, void* buffer, std::size_t count) override {
        return Armed() && read ? read(fd, buffer, count) : TSerialSystem::Read(fd, buffer, count);
    }
    int Poll(pollfd* fds, unsigned long count, int timeoutMs) override {
        return Armed() && poll ? poll(fds, count, timeoutMs)
                               : TSerialSystem::Poll(fds, count, timeoutMs);
    }
    std::int64_t NowMs() override { return Armed() && now ? now() : TSerialSystem::NowMs(); }

private:
    bool Armed() const { return std::this_thread::get_id() == armed_; }

    std::atomic<std::thread::id> armed_;
    std::mutex mutex_;
    std::vector<termios> setAttrs_;
    std::vector<IoctlCall> ioctls_;
    int openFlags_ = 0;
    int flockOperation_ = 0;
    serial_icounter_struct counters_{};
    bool countersSupported_ = false;
};

long Fail(int error) {
    errno = error;
    return -1;
}

class HcommSeamTest : public ::testing::Test {
protected:
    HcommSeamTest() { config.MapPorts({{"COM1", pty.SlavePath()}}); }

    termios LastSettings() {
        const auto calls = system.SetAttrCalls();
        return calls.empty() ? termios{} : calls.back();
    }
    std::size_t CountIoctls(unsigned long request) {
        std::size_t count = 0;
        for (const auto& call : system.IoctlCalls()) {
            count += call.request == request ? 1 : 0;
        }
        return count;
    }

    PtyPair pty;
    TempConfig config;
    RecordingSystem system;
    THComm comm{system};
};

TEST_F(HcommSeamTest, TheOpenIsExclusiveRawAndAppliesTheStoredSettings) {
    comm.SetParity(TParity::Even);
    comm.SetByteSize(TByteSize::_7bit);
    comm.SetStopBits(TStopBits::_2bit);
    comm.SetFlowControl(TFlowControl::RtsCts);
    EXPECT_TRUE(system.SetAttrCalls().empty());  // a closed port is not touched
    comm.OpenCommport();

    EXPECT_EQ(system.OpenFlags(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_EQ(system.FlockOperation(), LOCK_EX | LOCK_NB);
    EXPECT_EQ(CountIoctls(TIOCEXCL), 1U);
    // Raw mode first, then speed, parity, data bits, stop bits and flow control, each written
    // alone (a pseudo-terminal reads parity and data bits back as none and 8).
    const auto calls = system.SetAttrCalls();
    ASSERT_EQ(calls.size(), 6U);
    const termios& raw = calls[0];
    EXPECT_EQ(raw.c_cflag & (CLOCAL | CREAD | HUPCL | CRTSCTS | CSTOPB | PARENB | CSIZE),
              static_cast<tcflag_t>(CLOCAL | CREAD | CS8));
    EXPECT_EQ(raw.c_lflag & (ICANON | ECHO | ECHOE | ISIG | IEXTEN), 0U);
    EXPECT_EQ(raw.c_iflag & (INPCK | IXON | IXOFF | IXANY | ICRNL | IGNBRK | BRKINT | PARMRK), 0U);
    EXPECT_EQ(raw.c_oflag & OPOST, 0U);
    EXPECT_EQ(raw.c_cc[VMIN], 0);
    EXPECT_EQ(raw.c_cc[VTIME], 0);
    EXPECT_EQ(cfgetospeed(&calls[1]), static_cast<speed_t>(B9600));
    EXPECT_EQ(calls[2].c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB));
    EXPECT_EQ(calls[3].c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_NE(calls[4].c_cflag & CSTOPB, 0U);
    EXPECT_NE(calls[5].c_cflag & CRTSCTS, 0U);
    for (const termios& settings : calls) {
        EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD | HUPCL),
                  static_cast<tcflag_t>(CLOCAL | CREAD));
    }

    comm.CloseCommport();
    EXPECT_EQ(CountIoctls(TIOCNXCL), 1U);  // exclusivity given back before the descriptor closes
}

TEST_F(HcommSeamTest, EachSettingReachesTheDriverAtOnce) {
    comm.OpenCommport();
    const struct {
        TParity parity;
        tcflag_t bits;
    } parities[] = {
        {TParity::Odd, PARENB | PARODD},
        {TParity::Even, PARENB},
        {TParity::Mark, PARENB | PARODD | CMSPAR},
        {TParity::Space, PARENB | CMSPAR},
        {TParity::None, 0},
    };
    for (const auto& item : parities) {
        comm.SetParity(item.parity);
        EXPECT_EQ(LastSettings().c_cflag & (PARENB | PARODD | CMSPAR), item.bits)
            << static_cast<int>(item.parity);
    }
    const struct {
        TByteSize size;
        tcflag_t bits;
    } sizes[] = {{TByteSize::_5bit, CS5},
                 {TByteSize::_6bit, CS6},
                 {TByteSize::_7bit, CS7},
                 {TByteSize::_8bit, CS8}};
    for (const auto& item : sizes) {
        comm.SetByteSize(item.size);
        EXPECT_EQ(LastSettings().c_cflag & CSIZE, item.bits) << static_cast<int>(item.size);
    }
    const struct {
        TStopBits stopBits;
        tcflag_t bits;
    } stops[] = {{TStopBits::_2bit, CSTOPB}, {TStopBits::_1_5bit, CSTOPB}, {TStopBits::_1bit, 0}};
    for (const auto& item : stops) {
        comm.SetStopBits(item.stopBits);
        EXPECT_EQ(LastSettings().c_cflag & CSTOPB, item.bits) << static_cast<int>(item.stopBits);
    }
    const struct {
        TFlowControl flow;
        tcflag_t cflag;
        tcflag_t iflag;
    } flows[] = {
        {TFlowControl::XonXoff, 0, IXON | IXOFF},
        {TFlowControl::RtsCts, CRTSCTS, 0},
        {TFlowControl::DtrDsr, 0, 0},
        {TFlowControl::Disable, 0, 0},
    };
    for (const auto& item : flows) {
        const std::size_t callsBefore = system.IoctlCalls().size();
        comm.SetFlowControl(item.flow);
        const termios settings = LastSettings();
        EXPECT_EQ(settings.c_cflag & CRTSCTS, item.cflag) << static_cast<int>(item.flow);
        EXPECT_EQ(settings.c_iflag & (IXON | IXOFF | IXANY), item.iflag)
            << static_cast<int>(item.flow);
        EXPECT_EQ(settings.c_cc[VSTART], 0x11);
        EXPECT_EQ(settings.c_cc[VSTOP], 0x13);
        // DTR and RTS on; the pseudo-terminal refuses it, and that is no failure. The receive
        // thread's own calls (FIONREAD) may come in between, so look for the setter's call.
        const auto calls = system.IoctlCalls();
        const bool linesRaised = std::any_of(
            calls.begin() + static_cast<std::ptrdiff_t>(callsBefore), calls.end(), [](const auto& call) {
                return call.request == static_cast<unsigned long>(TIOCMBIS) &&
                       call.value == (TIOCM_DTR | TIOCM_RTS);
            });
        EXPECT_TRUE(linesRaised) << static_cast<int>(item.flow);
    }
    EXPECT_TRUE(comm.GetPortStatus());
}

TEST_F(HcommSeamTest, SettersStoreOnlyAndApplyOnlyWhatIsAppliedAtOnce) {
    comm.SetBaudRate(TBaudRate::_115200bps);
    comm.SetRxThreshold(1);
    comm.SetXonSendSize(10);
    comm.SetXoffSendSize(20);
    comm.SetEventChar(0x103);
    EXPECT_EQ(comm.BaudRate(), TBaudRate::_115200bps);
    EXPECT_EQ(comm.RxThreshold(), 1U);
    EXPECT_EQ(comm.RxStartSize(), 10U);
    EXPECT_EQ(comm.RxStopSize(), 20U);
    EXPECT_EQ(comm.EventChar(), 0x103U);
    EXPECT_TRUE(system.SetAttrCalls().empty());

    comm.OpenCommport();
    const std::size_t afterOpen = system.SetAttrCalls().size();
    comm.SetParity(TParity::None);  // the same value is still applied to the open port
    EXPECT_EQ(system.SetAttrCalls().size(), afterOpen + 1);
    comm.SetEventType(TEventType::CharEvent);
    comm.SetInBuffSize(100);
    comm.SetOutBuffSize(200);
    comm.SetRxThreshold(5);
    comm.SetCommPort(TCommPort::Com4);
    EXPECT_EQ(system.SetAttrCalls().size(), afterOpen + 1);
    EXPECT_EQ(comm.EventType(), TEventType::CharEvent);
    EXPECT_EQ(comm.InBuffSize(), 100U);
    EXPECT_EQ(comm.OutBuffSize(), 200U);
    EXPECT_EQ(comm.CommPort(), TCommPort::Com4);
}

TEST_F(HcommSeamTest, AWriteSurvivesInterruptionsShortWritesAndAFullQueue) {
    comm.OpenCommport();
    int calls = 0;
    system.write = [&](int fd, const void* buffer, std::size_t count) -> long {
        ++calls;
        if (calls == 1) {
            return Fail(EINTR);
        }
        if (calls % 3 == 0) {
            return Fail(EAGAIN);
        }
        return TSerialSystem::Default().Write(fd, buffer, std::min<std::size_t>(count, 7));
    };
    system.Arm();
    std::string text;
    for (int index = 0; index < 100; ++index) {
        text.push_back(static_cast<char>('0' + index % 43));
    }
    comm.WriteStringData(text);
    const auto bytes = pty.Receive(100, 1s);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text);
    EXPECT_GT(calls, 20);
}

TEST_F(HcommSeamTest, AReadSurvivesInterruptionsAndBytesArrivingOneByOne) {
    comm.OpenCommport();
    int calls = 0;
    system.read = [&](int fd, void* buffer, std::size_t count) -> long {
        if (++calls % 2 == 1) {
            return Fail(EINTR);
        }
        return TSerialSystem::Default().Read(fd, buffer, std::min<std::size_t>(count, 1));
    };
    system.Arm();
    pty.Send("abcdef");
    ASSERT_TRUE(WaitFor([&] { return comm.CountInBuff() == 6; }, 2s));
    char buffer[6] = {};
    EXPECT_EQ(comm.ReadDataCounted(buffer, 6), 6U);
    EXPECT_EQ(std::string(buffer, 6), "abcdef");
}

TEST_F(HcommSeamTest, AWriteFailureIsATimeoutOnlyPastItsDeadline) {
    comm.OpenCommport();
    system.Arm();
    std::int64_t clock = 0;
    system.now = [&] { return clock; };
    const std::string kWriteError = "Communication Write Error  ErrorMask=0";
    const std::string kWriteTimeout = "Write data Timeout";

    system.write = [](int, const void*, std::size_t) { return Fail(EIO); };
    EXPECT_EQ(CommErrorOf([&] { comm.WriteStringData("abc"); }), kWriteError);

    // A failure later than 100 ms per byte counts as timed out.
    system.write = [&](int, const void*, std::size_t) {
        clock += 301;
        return Fail(EIO);
    };
    EXPECT_EQ(CommErrorOf([&] { comm.WriteStringData("abc"); }), kWriteTimeout);

    // A queue that never drains: the port time-out, 1000 ms + 5 ms per byte, ends the write.
    system.write = [](int, const void*, std::size_t) { return Fail(EAGAIN); };
    int pollTimeout = -2;
    system.poll = [&](pollfd*, unsigned long, int timeoutMs) {
        pollTimeout = timeoutMs;
        return 0;
    };
    EXPECT_EQ(CommErrorOf([&] { comm.WriteStringData("abc"); }), kWriteTimeout);
    EXPECT_EQ(pollTimeout, 1015);
}

TEST_F(HcommSeamTest, TheErrorMaskComesFromTheDriversLineErrorCounters) {
    serial_icounter_struct counters{};
    system.SetCounters(counters);  // the driver keeps counters from the open on
    comm.OpenCommport();
    system.Arm();
    const struct {
        int serial_icounter_struct::*counter;
        int bit;
    } cases[] = {
        {&serial_icounter_struct::buf_overrun, 1}, {&serial_icounter_struct::overrun, 2},
        {&serial_icounter_struct::parity, 4},      {&serial_icounter_struct::frame, 8},
        {&serial_icounter_struct::brk, 16},
    };
    for (const auto& item : cases) {
        // The line errors happen while the block is being written.
        system.write = [&](int, const void*, std::size_t) {
            ++(counters.*item.counter);
            system.SetCounters(counters);
            return Fail(EIO);
        };
        EXPECT_EQ(CommErrorOf([&] { comm.WriteStringData("x"); }),
                  "Communication Write Error  ErrorMask=" + std::to_string(item.bit));
    }
    // A write fetches, and so clears, the errors that came before it.
    ++counters.brk;
    system.SetCounters(counters);
    system.write = [](int, const void*, std::size_t) { return Fail(EIO); };
    EXPECT_EQ(CommErrorOf([&] { comm.WriteStringData("x"); }),
              "Communication Write Error  ErrorMask=0");
    // A read reports every error since the last fetch.
    ++counters.brk;
    system.SetCounters(counters);
    system.read = [&](int, void*, std::size_t) {
        ++counters.parity;
        ++counters.frame;
        system.SetCounters(counters);
        return Fail(EIO);
    };
    std::uint8_t byte = 0;
    EXPECT_EQ(CommErrorOf([&] { comm.ReadData(&byte, 1); }),
              "Communication Read Error  ErrorMask=28");
}

TEST_F(HcommSeamTest, AReadFailureIsATimeoutOnlyPastItsDeadline) {
    comm.OpenCommport();
    system.Arm();
    std::int64_t clock = 0;
    system.now = [&] { return clock; };
    int reads = 0;
    system.read = [&](int, void*, std::size_t) { return ++reads == 1 ? Fail(EAGAIN) : Fail(EIO); };
    int pollTimeout = -2;
    std::int64_t pollAdvance = 0;
    system.poll = [&](pollfd* fds, unsigned long, int timeoutMs) {
        pollTimeout = timeoutMs;
        clock += pollAdvance;
        fds[0].revents = POLLIN;
        fds[1].revents = 0;
        return 1;
    };
    std::uint8_t buffer[2] = {};
    EXPECT_EQ(CommErrorOf([&] { comm.ReadData(buffer, 2); }),
              "Communication Read Error  ErrorMask=0");
    EXPECT_EQ(pollTimeout, 1010);  // the port time-out: 1000 ms + 5 ms per byte

    reads = 0;
    pollAdvance = 201;  // past 100 ms per byte
    EXPECT_EQ(CommErrorOf([&] { comm.ReadData(buffer, 2); }), "Read data Timeout");
}

TEST_F(HcommSeamTest, BytesStillQueuedNarrowTheRoomOfAWriteAndHoldWaitUntilSent) {
    comm.OpenCommport();
    system.outputQueue = 100;
    EXPECT_EQ(comm.CountOutBuff(), 100);
    const std::vector<std::uint8_t> block(4096, 0x55);
    EXPECT_EQ(CommErrorOf([&] { comm.WriteData(block.data(), 3996); }), "Too much write data");
    comm.WriteData(block.data(), 3995);
    EXPECT_EQ(pty.Receive(3995, 2s).size(), 3995U);
    system.outputQueue = 5000;  // more than the whole queue: no room at all
    EXPECT_EQ(CommErrorOf([&] { comm.WriteData(block.data(), 0); }), "Too much write data");

    system.outputQueue = 100;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(comm.WaitUntilSent(50));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);
    std::atomic<int> sent{-1};
    std::thread waiter([&] { sent = comm.WaitUntilSent(-1) ? 1 : 0; });
    std::this_thread::sleep_for(30ms);
    system.outputQueue = 0;  // the line has taken the last byte
    waiter.join();
    EXPECT_EQ(sent, 1);

    system.outputQueue = 100;
    std::thread blocked([&] { sent = comm.WaitUntilSent(-1) ? 1 : 0; });
    std::this_thread::sleep_for(30ms);
    comm.CloseCommport();  // a close ends the wait
    blocked.join();
    EXPECT_EQ(sent, 0);
}

}  // namespace
