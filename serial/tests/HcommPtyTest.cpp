// THComm against a pseudo-terminal: the slave is the port, the master the far end of the line.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "serial/CustomSpeed.h"
#include "serial/Hcomm.h"
#include "serial/SerialSystem.h"
#include "serial/tests/PtyFixture.h"

namespace {

using namespace std::chrono_literals;

const std::string kOpenFailed = "CommOpen Error,invalid HANDLE:0xFFFFFFFF";
const std::string kNotStarted = "Have not started communications";

std::string Text(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

class HcommPortTest : public ::testing::Test {
protected:
    HcommPortTest() { config.MapPorts({{"COM1", pty.SlavePath()}}); }

    // The handler records each call's size and reads everything that waits.
    void RecordEventsReadingAll() {
        comm.OnCommEvent = [this](THComm& sender, std::uint32_t& size) {
            std::string bytes(size, '\0');
            sender.ReadData(bytes.data(), size);
            std::lock_guard lock(mutex);
            sizes.push_back(size);
            received += bytes;
        };
    }
    void RecordErrors() {
        comm.OnCommError = [this](const std::string& message) {
            std::lock_guard lock(mutex);
            errors.push_back(message);
        };
    }
    std::size_t Calls() {
        std::lock_guard lock(mutex);
        return sizes.size();
    }
    std::uint32_t SizeOfCall(std::size_t index) {
        std::lock_guard lock(mutex);
        return index < sizes.size() ? sizes[index] : 0;
    }
    std::string Received() {
        std::lock_guard lock(mutex);
        return received;
    }
    std::vector<std::string> Errors() {
        std::lock_guard lock(mutex);
        return errors;
    }

    PtyPair pty;
    TempConfig config;
    std::mutex mutex;
    std::vector<std::uint32_t> sizes;
    std::string received;
    std::vector<std::string> errors;
    THComm comm;  // last, so it closes before what its handlers use goes away
};

TEST_F(HcommPortTest, OpenAndCloseAreIdempotentAndAClosedPortRaisesOrCountsMinusOne) {
    std::uint8_t byte = 0;
    EXPECT_FALSE(comm.GetPortStatus());
    EXPECT_EQ(comm.CountInBuff(), -1);
    EXPECT_EQ(comm.CountOutBuff(), -1);
    comm.CloseCommport();
    comm.OpenCommport();
    comm.OpenCommport();
    EXPECT_TRUE(comm.GetPortStatus());
    EXPECT_EQ(comm.CountInBuff(), 0);
    EXPECT_EQ(comm.CountOutBuff(), 0);
    EXPECT_TRUE(comm.WaitUntilSent(1000));
    comm.CloseCommport();
    comm.CloseCommport();
    EXPECT_FALSE(comm.GetPortStatus());
    EXPECT_EQ(comm.CountInBuff(), -1);
    EXPECT_EQ(comm.CountOutBuff(), -1);
    EXPECT_EQ(CommErrorOf([&] { comm.ReadData(&byte, 1); }), kNotStarted);
    EXPECT_EQ(CommErrorOf([&] { comm.ReadStringData(1); }), kNotStarted);
    EXPECT_EQ(CommErrorOf([&] { comm.WriteData(&byte, 1); }), kNotStarted);
    EXPECT_EQ(CommErrorOf([&] { comm.WriteStringData("x"); }), kNotStarted);
    EXPECT_FALSE(comm.WaitForInput(10));
    EXPECT_FALSE(comm.WaitUntilSent(10));
    // Purges and breaks on a closed port do nothing and raise nothing.
    comm.ClearInBuff();
    comm.ClearOutBuff();
    comm.WriteStop();
    comm.WriteRestart();

    comm.SetBaudRate(TBaudRate::___1200bps);
    comm.OpenCommport();
    EXPECT_TRUE(comm.GetPortStatus());
    EXPECT_EQ(comm.BaudRate(), TBaudRate::___1200bps);
    comm.WriteStop();
    comm.WriteRestart();
}

TEST_F(HcommPortTest, AFailedOpenRaisesTheInvalidHandleAndLeavesThePortClosed) {
    const std::string plainFile = config.Folder() + "/not-a-terminal";
    std::ofstream(plainFile) << "x";
    config.MapPorts(
        {{"COM1", "/dev/no-such-port"}, {"COM2", plainFile}, {"COM3", config.Folder()}});
    for (const TCommPort port : {TCommPort::Com1, TCommPort::Com2, TCommPort::Com3}) {
        comm.SetCommPort(port);
        EXPECT_EQ(CommErrorOf([&] { comm.OpenCommport(); }), kOpenFailed) << comm.PortName();
        EXPECT_FALSE(comm.GetPortStatus());
        EXPECT_EQ(comm.CountInBuff(), -1);
        EXPECT_FALSE(comm.CheckCommportValid(comm.PortName()));
    }
}

TEST_F(HcommPortTest, OnlyOneComponentHoldsAPort) {
    PtyPair second;
    config.MapPorts({{"COM1", pty.SlavePath()}, {"COM2", second.SlavePath()}});
    comm.OpenCommport();
    EXPECT_TRUE(comm.CheckCommportValid("COM1"));   // its own port, without touching it
    EXPECT_FALSE(comm.CheckCommportValid("Com1"));  // exact names only: tried, and held

    THComm other;
    EXPECT_FALSE(other.CheckCommportValid("COM1"));
    EXPECT_EQ(CommErrorOf([&] { other.OpenCommport(); }), kOpenFailed);
    EXPECT_FALSE(other.GetPortStatus());
    // Checking a free port leaves it free.
    EXPECT_TRUE(other.CheckCommportValid("COM2"));
    EXPECT_TRUE(other.CheckCommportValid(second.SlavePath()));
    EXPECT_TRUE(comm.CheckCommportValid("COM2"));

    comm.CloseCommport();
    EXPECT_TRUE(other.CheckCommportValid("COM1"));
    other.OpenCommport();
    EXPECT_TRUE(other.GetPortStatus());
}

TEST_F(HcommPortTest, APortHeldByAnotherProcessIsRefused) {
    int toParent[2];
    int toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        THComm holder;
        char opened = 'n';
        try {
            holder.OpenCommport();
            opened = 'y';
        } catch (...) {
        }
        char go = 0;
        (void)!write(toParent[1], &opened, 1);
        (void)!read(toChild[0], &go, 1);
        _exit(0);
    }
    char opened = 0;
    ASSERT_EQ(read(toParent[0], &opened, 1), 1);
    ASSERT_EQ(opened, 'y');
    EXPECT_FALSE(comm.CheckCommportValid("COM1"));
    EXPECT_EQ(CommErrorOf([&] { comm.OpenCommport(); }), kOpenFailed);

    ASSERT_EQ(write(toChild[1], "x", 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    for (const int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) {
        close(fd);
    }
    EXPECT_TRUE(comm.CheckCommportValid("COM1"));
    comm.OpenCommport();
    EXPECT_TRUE(comm.GetPortStatus());
}

TEST_F(HcommPortTest, AWriteMustLeaveRoomInTheOutputQueue) {
    comm.OpenCommport();
    std::vector<std::uint8_t> block(4096);
    for (std::size_t index = 0; index < block.size(); ++index) {
        block[index] = static_cast<std::uint8_t>(index * 7);
    }
    comm.WriteData(block.data(), 4095);
    EXPECT_EQ(pty.Receive(4095, 2s),
              std::vector<std::uint8_t>(block.begin(), block.begin() + 4095));

    EXPECT_EQ(CommErrorOf([&] { comm.WriteData(block.data(), 4096); }), "Too much write data");
    comm.WriteData(block.data(), 0);
    EXPECT_TRUE(
        pty.Receive(1, 50ms).empty());  // neither the refused block nor the empty one sent a byte

    comm.SetOutBuffSize(10);
    comm.WriteStringData("123456789");
    EXPECT_EQ(CommErrorOf([&] { comm.WriteStringData("1234567890"); }), "Too much write data");
    EXPECT_EQ(Text(pty.Receive(10, 200ms)), "123456789");
    EXPECT_TRUE(comm.WaitUntilSent(1000));
}

TEST_F(HcommPortTest, ReadStringDataDropsZeroBytes) {
    comm.OpenCommport();
    pty.Send(std::vector<std::uint8_t>{0x41, 0x00, 0x42});
    ASSERT_TRUE(WaitFor([&] { return comm.CountInBuff() == 3; }, 2s));
    EXPECT_EQ(comm.ReadStringData(3), "AB");
    EXPECT_EQ(comm.CountInBuff(), 0);
}

TEST_F(HcommPortTest, AReadDeliversWhatArrivedOnceTheLineFallsSilent) {
    comm.OpenCommport();
    pty.Send("xy");
    ASSERT_TRUE(WaitFor([&] { return comm.CountInBuff() == 2; }, 2s));
    char buffer[4] = {'-', '-', '-', '-'};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(comm.ReadDataCounted(buffer, 4), 2U);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 900ms);  // a second of silence ends it
    EXPECT_EQ(std::string(buffer, 4), "xy--");
}

TEST_F(HcommPortTest, ReadWaitingTakesWhatIsThereWithoutWaiting) {
    EXPECT_THROW(comm.ReadWaiting(nullptr, 0), ECommError);  // not open
    comm.OpenCommport();
    char buffer[8] = {'-', '-', '-', '-', '-', '-', '-', '-'};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(comm.ReadWaiting(buffer, 8), 0U);
    pty.Send("xyz");
    ASSERT_TRUE(WaitFor([&] { return comm.CountInBuff() == 3; }, 2s));
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(comm.ReadWaiting(buffer, 8), 3U);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 100ms);  // no silence awaited
    EXPECT_EQ(std::string(buffer, 8), "xyz-----");
    pty.Send("uvw");
    ASSERT_TRUE(WaitFor([&] { return comm.CountInBuff() == 3; }, 2s));
    EXPECT_EQ(comm.ReadWaiting(buffer, 2), 2U);  // no more than asked for
    EXPECT_EQ(comm.CountInBuff(), 1);
}

TEST_F(HcommPortTest, TheHandlerWaitsUntilRxThresholdBytesAreWaiting) {
    RecordEventsReadingAll();
    comm.OpenCommport();  // RxThreshold 256
    pty.Send(std::string(255, 'a'));
    ASSERT_TRUE(WaitFor([&] { return comm.CountInBuff() == 255; }, 2s));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Calls(), 0U);
    pty.Send("b");
    ASSERT_TRUE(WaitFor([&] { return Calls() == 1; }, 2s));
    EXPECT_EQ(SizeOfCall(0), 256U);
    EXPECT_EQ(Received(), std::string(255, 'a') + "b");
}

TEST_F(HcommPortTest, WithRxThresholdOneEveryArrivalRaisesTheEvent) {
    comm.SetRxThreshold(1);
    RecordEventsReadingAll();
    comm.OpenCommport();
    pty.Send("a");
    ASSERT_TRUE(WaitFor([&] { return Received() == "a"; }, 2s));
    EXPECT_EQ(SizeOfCall(0), 1U);
    pty.Send("bc");
    ASSERT_TRUE(WaitFor([&] { return Received() == "abc"; }, 2s));
    EXPECT_GE(Calls(), 2U);
}

TEST_F(HcommPortTest, BytesLeftUnreadRaiseNoFurtherEventAndCostNoTime) {
    comm.SetRxThreshold(1);
    comm.OnCommEvent = [this](THComm&, std::uint32_t& size) {
        std::lock_guard lock(mutex);
        sizes.push_back(size);
    };
    comm.OpenCommport();
    pty.Send("a");
    ASSERT_TRUE(WaitFor([&] { return Calls() == 1; }, 2s));
    const auto cpuBefore = ProcessCpuTime();
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(ProcessCpuTime() - cpuBefore, 30ms);
    EXPECT_EQ(Calls(), 1U);  // a wake-up comes from new arrivals only
    pty.Send("b");
    ASSERT_TRUE(WaitFor([&] { return Calls() == 2; }, 2s));
    EXPECT_EQ(SizeOfCall(1), 2U);
}

TEST_F(HcommPortTest, PurgedBytesDoNotHideLaterArrivals) {
    comm.SetRxThreshold(4);
    RecordEventsReadingAll();
    comm.OpenCommport();
    pty.Send("abc");
    ASSERT_TRUE(WaitFor([&] { return comm.CountInBuff() == 3; }, 2s));
    comm.ClearInBuff();
    EXPECT_EQ(comm.CountInBuff(), 0);
    pty.Send("defg");
    ASSERT_TRUE(WaitFor([&] { return Received() == "defg"; }, 2s));
}

TEST_F(HcommPortTest, CharEventWaitsForTheEventCharacter) {
    comm.SetEventType(TEventType::CharEvent);  // EventChar 65 ('A'), RxThreshold 256
    RecordEventsReadingAll();
    comm.OpenCommport();
    pty.Send("xyz");
    ASSERT_TRUE(WaitFor([&] { return comm.CountInBuff() == 3; }, 2s));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Calls(), 0U);
    pty.Send("A");
    ASSERT_TRUE(WaitFor([&] { return Calls() == 1; }, 2s));
    EXPECT_EQ(SizeOfCall(0), 4U);
    EXPECT_EQ(Received(), "xyzA");

    comm.SetEventChar(0x0103);  // the low 8 bits count, at once
    pty.Send("A");
    ASSERT_TRUE(WaitFor([&] { return comm.CountInBuff() == 1; }, 2s));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Calls(), 1U);
    pty.Send("\x03");
    ASSERT_TRUE(WaitFor([&] { return Calls() == 2; }, 2s));
    EXPECT_EQ(SizeOfCall(1), 2U);
    EXPECT_EQ(Received(), "xyzAA\x03");
}

TEST_F(HcommPortTest, AnExceptionFromTheHandlerIsReportedAndReceivingGoesOn) {
    comm.SetRxThreshold(1);
    RecordErrors();
    std::atomic<int> calls{0};
    comm.OnCommEvent = [&](THComm& sender, std::uint32_t& size) {
        if (calls++ == 0) {
            throw std::runtime_error("handler failed");
        }
        std::string bytes(size, '\0');
        sender.ReadData(bytes.data(), size);
        std::lock_guard lock(mutex);
        received += bytes;
    };
    comm.OpenCommport();
    pty.Send("a");
    ASSERT_TRUE(WaitFor([&] { return Errors().size() == 1; }, 2s));
    EXPECT_EQ(Errors()[0], "handler failed");
    pty.Send("b");
    ASSERT_TRUE(WaitFor([&] { return Received() == "ab"; }, 2s));
    EXPECT_EQ(Errors().size(), 1U);
}

TEST_F(HcommPortTest, APulledPortIsReportedOnceWithoutSpinning) {
    comm.SetRxThreshold(1);
    RecordEventsReadingAll();
    RecordErrors();
    EXPECT_FALSE(comm.IsPortLost());
    comm.OpenCommport();
    EXPECT_FALSE(comm.IsPortLost());
    pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return !Errors().empty(); }, 2s));
    EXPECT_TRUE(comm.IsPortLost());
    const auto cpuBefore = ProcessCpuTime();
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(ProcessCpuTime() - cpuBefore, 30ms);
    EXPECT_EQ(Errors(), std::vector<std::string>{"Comport lost: " + pty.SlavePath()});

    std::uint8_t byte = 0;
    EXPECT_TRUE(comm.GetPortStatus());  // open until the owner closes it
    EXPECT_EQ(CommErrorOf([&] { comm.WriteData(&byte, 1); }),
              "Communication Write Error  ErrorMask=0");
    EXPECT_EQ(CommErrorOf([&] { comm.ReadData(&byte, 1); }),
              "Communication Read Error  ErrorMask=0");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(comm.WaitForInput(1000));
    EXPECT_FALSE(comm.WaitUntilSent(1000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);  // no wait on a port that has gone
    EXPECT_EQ(comm.CountInBuff(), 0);
    comm.CloseCommport();
    EXPECT_FALSE(comm.GetPortStatus());
    EXPECT_FALSE(comm.IsPortLost());
    EXPECT_EQ(Errors().size(), 1U);
}

TEST_F(HcommPortTest, CloseReleasesAHandlerBlockedInAWaitOrARead) {
    // What the handler blocks in, after taking the byte that woke it, and what that call gives.
    const struct {
        const char* name;
        std::function<std::string(THComm&)> block;
        std::string outcome;
    } cases[] = {
        {"WaitForInput", [](THComm& port) { return port.WaitForInput(5000) ? "input" : "none"; },
         "none"},
        {"ReadData",  // 1000 bytes may take 6 s
         [](THComm& port) {
             return CommErrorOf([&] {
                 std::vector<std::uint8_t> buffer(1000);
                 port.ReadData(buffer.data(), 1000);
             });
         },
         kNotStarted},
    };
    for (const auto& item : cases) {
        THComm port;
        port.SetRxThreshold(1);
        std::atomic<bool> blocked{false};
        std::string outcome;
        port.OnCommEvent = [&](THComm& sender, std::uint32_t& size) {
            std::string bytes(size, '\0');
            sender.ReadData(bytes.data(), size);
            blocked = true;
            outcome = item.block(sender);
        };
        port.OpenCommport();
        pty.Send("a");
        ASSERT_TRUE(WaitFor([&] { return blocked.load(); }, 2s)) << item.name;
        std::this_thread::sleep_for(20ms);
        const auto start = std::chrono::steady_clock::now();
        port.CloseCommport();
        // Well under 100 ms on an idle machine; the bound only has to tell it from the wait.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms) << item.name;
        EXPECT_EQ(outcome, item.outcome) << item.name;  // the join has made it visible
        EXPECT_FALSE(port.GetPortStatus());
    }
}

TEST_F(HcommPortTest, TheHandlerMayCloseThePortItself) {
    comm.SetRxThreshold(1);
    std::atomic<int> calls{0};
    comm.OnCommEvent = [&](THComm& sender, std::uint32_t& size) {
        std::string bytes(size, '\0');
        sender.ReadData(bytes.data(), size);
        ++calls;
        sender.CloseCommport();
    };
    comm.OpenCommport();
    pty.Send("a");
    ASSERT_TRUE(WaitFor([&] { return calls == 1 && !comm.GetPortStatus(); }, 2s));
    EXPECT_EQ(comm.CountInBuff(), -1);
    // The device is free again once the handler has returned.
    ASSERT_TRUE(WaitFor(
        [&] { return CommErrorOf([&] { comm.OpenCommport(); }) == "(nothing raised)"; }, 2s));
    pty.Send("b");
    ASSERT_TRUE(WaitFor([&] { return calls == 2; }, 2s));
}

TEST_F(HcommPortTest, ChangingCommPortTakesEffectAtTheNextOpen) {
    PtyPair second;
    config.MapPorts({{"COM1", pty.SlavePath()}, {"COM2", second.SlavePath()}});
    EXPECT_EQ(comm.PortName(), "COM1");
    EXPECT_EQ(comm.DevicePath(), pty.SlavePath());
    comm.OpenCommport();
    comm.SetCommPort(TCommPort::Com2);
    EXPECT_EQ(comm.PortName(), "COM2");
    EXPECT_EQ(comm.DevicePath(), second.SlavePath());
    comm.WriteStringData("one");
    EXPECT_EQ(Text(pty.Receive(3, 1s)), "one");
    comm.CloseCommport();
    comm.OpenCommport();
    comm.WriteStringData("two");
    EXPECT_EQ(Text(second.Receive(3, 1s)), "two");
}

TEST_F(HcommPortTest, EveryLineSpeedReachesThePort) {
    comm.SetBaudRate(TBaudRate::__56000bps);
    comm.OpenCommport();
    auto speedOfPort = [&] {
        unsigned input = 0;
        unsigned output = 0;
        EXPECT_EQ(GetLineSpeed(TSerialSystem::Default(), pty.SlaveFd(), input, output), 0);
        EXPECT_EQ(input, output);
        return output;
    };
    EXPECT_EQ(speedOfPort(), 56000U);  // the stored speed is applied by the open
    for (unsigned value = 0; value <= static_cast<unsigned>(TBaudRate::_128000bps); ++value) {
        const auto rate = static_cast<TBaudRate>(value);
        comm.SetBaudRate(rate);
        EXPECT_EQ(speedOfPort(), BaudRateBitsPerSecond(rate)) << value;
    }
    // Another setting written after a custom speed keeps it.
    comm.SetBaudRate(TBaudRate::__14400bps);
    comm.SetStopBits(TStopBits::_2bit);
    EXPECT_EQ(speedOfPort(), 14400U);
    comm.SetBaudRate(TBaudRate::___9600bps);
    EXPECT_EQ(speedOfPort(), 9600U);
}

TEST_F(HcommPortTest, ThePortIsRawIgnoresModemLinesAndTakesTheStopBits) {
    comm.OpenCommport();
    termios settings{};
    ASSERT_EQ(tcgetattr(pty.SlaveFd(), &settings), 0);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0U);
    EXPECT_EQ(settings.c_oflag & OPOST, 0U);
    EXPECT_EQ(settings.c_iflag & (ICRNL | IXON | IXOFF | ISTRIP), 0U);
    EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(settings.c_cflag & (HUPCL | CSTOPB), 0U);
    EXPECT_EQ(settings.c_cc[VMIN], 0);
    EXPECT_EQ(settings.c_cc[VTIME], 0);

    comm.SetStopBits(TStopBits::_2bit);
    ASSERT_EQ(tcgetattr(pty.SlaveFd(), &settings), 0);
    EXPECT_NE(settings.c_cflag & CSTOPB, 0U);
    comm.SetStopBits(TStopBits::_1bit);
    ASSERT_EQ(tcgetattr(pty.SlaveFd(), &settings), 0);
    EXPECT_EQ(settings.c_cflag & CSTOPB, 0U);
}

}  // namespace
