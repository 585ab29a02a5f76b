// The simulator in this process on one side of a pseudo-terminal; the test plays the terminal's
// side byte by byte on the other, so every frame is checked on the wire.
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "radiosim/PseudoTerminal.h"
#include "radiosim/Simulator.h"

using namespace radiosim;
using namespace std::chrono_literals;

namespace {

class SimulatorOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        int master = -1, slave = -1;
        ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        radioSide_ = UniqueFd(master);
        terminalSide_ = UniqueFd(slave);
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        ::fcntl(slave, F_SETFL, O_NONBLOCK);
        runner_ = std::make_unique<LinkRunner>(master, true);
    }

    void StartRadio() {
        sim_ = std::make_unique<Simulator>(options_, *runner_,
                                           [this](const std::string& l) { printed_.push_back(l); });
        sim_->Start();
    }

    void Send(const std::array<std::uint8_t, 4>& header, const Bytes& message = {}) {
        const Bytes line = MakeLineFrame(header, message);
        ASSERT_EQ(::write(terminalSide_.get(), line.data(), line.size()),
                  static_cast<ssize_t>(line.size()));
    }

    // Runs the radio until it has sent a frame that matches, or a second has passed.
    std::optional<FrameView> Expect(const std::function<bool(const FrameView&)>& match) {
        std::optional<FrameView> found;
        runner_->RunUntil(
            [&] {
                std::uint8_t buffer[512];
                for (ssize_t n; (n = ::read(terminalSide_.get(), buffer, sizeof buffer)) > 0;)
                    assembler_.PushBytes(
                        std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(n)),
                        [this](std::span<const std::uint8_t> f) { seen_.push_back(ViewFrame(f)); });
                while (!found && next_ < seen_.size()) {
                    if (match(seen_[next_])) found = seen_[next_];
                    ++next_;
                }
                return found.has_value();
            },
            Clock::now() + 1s);
        return found;
    }

    static bool IsLr(const FrameView& v) { return v.fcsGood && v.type == 1; }
    static bool IsLa(const FrameView& v) { return v.fcsGood && v.type == 2; }
    static bool IsLt(const FrameView& v) { return v.type == 4; }

    void BringLinkUp() {
        const auto request = Expect(IsLr);
        ASSERT_TRUE(request);
        EXPECT_EQ(request->fields, (std::array<std::uint8_t, 3>{127, 1, 1}));
        Send({1, 0x7F, 1, 1});
        ASSERT_TRUE(Expect(IsLr));
        Send({2, 1, 1, 0});  // the terminal's acknowledgement: N(R) 1, N(k) 1
        ASSERT_TRUE(Expect(IsLa));
    }

    bool Printed(const std::string& text) const {
        for (const auto& l : printed_)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }

    Options options_;
    UniqueFd radioSide_, terminalSide_;
    std::unique_ptr<LinkRunner> runner_;
    std::unique_ptr<Simulator> sim_;
    std::vector<std::string> printed_;
    map27::FrameAssembler assembler_;
    std::vector<FrameView> seen_;
    std::size_t next_ = 0;
};

TEST_F(SimulatorOnPty, BringsTheLinkUpAndAnswersAnInterrogation) {
    StartRadio();
    BringLinkUp();
    EXPECT_TRUE(Printed("link up"));

    Send({4, 1, 1, 0}, {0xB0, 0x00});
    const auto ack = Expect(IsLa);
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->fields[0], 2);  // N(R): the frame is taken
    const auto answer = Expect(IsLt);
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->fcsGood);
    EXPECT_EQ(answer->fields[0], 1);
    EXPECT_EQ(text::HexBytesSpaced(answer->message), "B0 08 07 D1 2A 31 86 A0 FE 00 00 86");
    EXPECT_TRUE(Printed("T>R LT N(S):1 AR:1 FCS good  [Radio Interrogation: personality]"));
    EXPECT_TRUE(Printed(
        "R>T LT N(S):1 AR:1 FCS good  [RX : Radio personality Response  PFIX:008  ID:2001"));
}

TEST_F(SimulatorOnPty, FaultsChangeTheNextFrameOnly) {
    options_.timers.t2 = "50";
    StartRadio();
    BringLinkUp();

    // A wrong FCS: the status goes out damaged, and again intact on the radio's T1.
    ASSERT_TRUE(sim_->Execute("corrupt"));
    ASSERT_TRUE(sim_->Execute("status 008 2001 5"));
    auto lt = Expect(IsLt);
    ASSERT_TRUE(lt);
    EXPECT_FALSE(lt->fcsGood);
    EXPECT_EQ(text::HexBytesSpaced(lt->message), "80 08 07 D1 00 05");
    Send({2, 1, 1, 0});  // nothing taken yet
    runner_->RunUntil({}, Clock::now() + 200ms);

    // A restart ends the link the status was queued for: it is dropped, not sent on the next.
    // Out of sequence: the next data frame carries N(S) 2 instead of 1.
    ASSERT_TRUE(sim_->Execute("sequence"));
    ASSERT_TRUE(sim_->Execute("restart"));
    EXPECT_TRUE(Printed("1 message for the terminal dropped: the link went down"));
    BringLinkUp();
    ASSERT_TRUE(sim_->Execute("status 008 2001 5"));
    lt = Expect(IsLt);
    ASSERT_TRUE(lt);
    EXPECT_TRUE(lt->fcsGood);
    EXPECT_EQ(lt->fields[0], 2);
    EXPECT_EQ(text::HexBytesSpaced(lt->message), "80 08 07 D1 00 05");

    // A dropped frame never reaches the line.
    ASSERT_TRUE(sim_->Execute("drop"));
    ASSERT_TRUE(sim_->Execute("restart"));
    const std::size_t before = seen_.size();
    runner_->RunUntil({}, Clock::now() + 100ms);
    EXPECT_TRUE(Printed("(fault: dropped) LR"));
    Expect([](const FrameView&) { return false; });
    for (std::size_t i = before; i < seen_.size(); ++i) EXPECT_NE(seen_[i].type, 4);
}

TEST_F(SimulatorOnPty, SilenceAndBadCommands) {
    StartRadio();
    BringLinkUp();
    EXPECT_TRUE(sim_->Execute("bogus 1 2 3"));
    EXPECT_TRUE(Printed("error: unknown command 'bogus'"));
    EXPECT_TRUE(sim_->Execute("raw 80 08"));  // a short message is still sent as given
    const auto raw = Expect(IsLt);
    ASSERT_TRUE(raw);
    EXPECT_EQ(text::HexBytesSpaced(raw->message), "80 08");
    Send({2, 2, 1, 0});  // taken, and room for one more
    EXPECT_FALSE(sim_->Execute("quit"));
    // A message larger than the frame allows is refused with a message; the link carries on.
    std::string huge = "raw";
    for (int i = 0; i < 2100; ++i) huge += " 41";
    EXPECT_TRUE(sim_->Execute(huge));
    runner_->RunUntil({}, Clock::now() + 50ms);
    EXPECT_TRUE(Printed(
        "error: message not sent: the message of 2100 bytes does not fit the frame (2048 bytes)"));
    ASSERT_TRUE(sim_->Execute("protocol 6"));
    const auto after = Expect(IsLt);
    ASSERT_TRUE(after);
    EXPECT_EQ(text::HexBytesSpaced(after->message), "B4 06");
    EXPECT_EQ(after->fields[0], 2);

    ASSERT_TRUE(sim_->Execute("silent 1"));
    const std::size_t before = seen_.size();
    Send({1, 0x7F, 1, 1});  // not heard
    runner_->RunUntil({}, Clock::now() + 300ms);
    Expect([](const FrameView&) { return false; });
    EXPECT_EQ(seen_.size(), before);
    EXPECT_TRUE(Printed("(silent, not heard)"));
}

TEST_F(SimulatorOnPty, AFloodOfCommandsStopsAtTheSendQueuesBound) {
    StartRadio();  // no terminal: everything waits
    for (std::size_t i = 0; i <= MessageSender::kMaxWaiting; ++i)
        ASSERT_TRUE(sim_->Execute("status 008 2001 5"));
    EXPECT_EQ(printed_.back(),
              "error: message not sent: 10000 messages are waiting for the terminal already");
    EXPECT_EQ(sim_->Stats().messagesQueued, MessageSender::kMaxWaiting);
}

TEST_F(SimulatorOnPty, RandomFaultsHitEveryFrameAtTheirChanceAndShowInTheStats) {
    options_.corruptPer10000 = 10000;  // every frame damaged
    StartRadio();
    const auto damaged = Expect([](const FrameView& v) { return v.type == 1; });
    ASSERT_TRUE(damaged);
    EXPECT_FALSE(damaged->fcsGood);
    EXPECT_TRUE(Printed("R>T LR N1:127 K:1 Version:1 FCS BAD"));
    ASSERT_TRUE(sim_->Execute("stats"));
    const SimulatorStats& stats = sim_->Stats();
    EXPECT_GE(stats.framesSent, 1U);
    EXPECT_EQ(stats.corrupted, stats.framesSent);
    EXPECT_EQ(stats.dropped, 0U);
    EXPECT_TRUE(Printed("stats: sent " + std::to_string(stats.framesSent) +
                        " frames (0 data frames repeated), heard 0 frames, took 0 messages, "
                        "queued 0 messages, link up 0 times; faults: " +
                        std::to_string(stats.corrupted) + " corrupted, 0 dropped, 0 silences"));
}

TEST(SimulatorFaults, TheSameSeedDropsTheSameFrames) {
    // Half the frames dropped at random: two radios with one seed drop the same ones.
    auto pattern = [](std::uint32_t seed) {
        int master = -1, slave = -1;
        EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        UniqueFd radioSide(master), terminalSide(slave);
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        LinkRunner runner(master, true);
        Options options;
        options.quiet = true;
        options.dropPer10000 = 5000;
        options.faultSeed = seed;
        Simulator sim(options, runner, [](const std::string&) {});
        std::string sent;
        for (int i = 0; i < 40; ++i) {
            const std::uint64_t before = sim.Stats().dropped;
            sim.Execute("restart");  // one link request each
            sent += sim.Stats().dropped == before ? 'S' : 'D';
        }
        return sent;
    };
    const std::string first = pattern(7);
    EXPECT_EQ(first, pattern(7));
    EXPECT_NE(first, pattern(8));
    EXPECT_NE(first.find('S'), std::string::npos);
    EXPECT_NE(first.find('D'), std::string::npos);
}

TEST(SimulatorOptions, CommandLine) {
    bool help = false;
    const Options o =
        ParseOptions({"/dev/ttyUSB0", "--n1", "31", "--k", "2", "--pfix", "0x2C", "--ident", "2002",
                      "--serial", "262143", "--codings", "$84", "--t0", "250", "--quiet", "--echo"},
                     help);
    EXPECT_FALSE(help);
    EXPECT_EQ(o.device, "/dev/ttyUSB0");
    EXPECT_EQ(o.n1, 31);
    EXPECT_EQ(o.k, 2);
    EXPECT_EQ(o.personality.pfix, 44);
    EXPECT_EQ(o.personality.ident, 2002);
    EXPECT_EQ(o.personality.serial, 262143U);
    EXPECT_EQ(o.personality.codings, 0x84);
    EXPECT_EQ(o.timers.t0, "250");
    EXPECT_TRUE(o.quiet);
    EXPECT_TRUE(o.echo);
    EXPECT_EQ(o.corruptPer10000, 0U);
    EXPECT_EQ(o.faultSeed, 1U);

    const Options faults = ParseOptions({"--faults", "1,0.25", "--seed", "12345"}, help);
    EXPECT_EQ(faults.corruptPer10000, 100U);
    EXPECT_EQ(faults.dropPer10000, 25U);
    EXPECT_EQ(faults.faultSeed, 12345U);
    for (const char* rates : {"1", "x,1", "1.,1", "1.234,0", "60,50", "101,0", ",1", "1,-1"})
        EXPECT_THROW(ParseOptions({"--faults", rates}, help), std::invalid_argument) << rates;

    ParseOptions({"--help"}, help);
    EXPECT_TRUE(help);
    const char* bad[][2] = {
        {"--n1", "256"}, {"--model", "16"}, {"--frobnicate", ""}, {"--pfix", ""}};
    for (const auto& b : bad) {
        std::vector<std::string> args{b[0]};
        if (*b[1]) args.emplace_back(b[1]);
        EXPECT_THROW(ParseOptions(args, help), std::invalid_argument) << b[0];
    }
    EXPECT_THROW(ParseOptions({"a", "b"}, help), std::invalid_argument);
}

TEST(LinkRunnerTimers, StartKeepsARunningTimerAndAChangedIntervalBeginsAgain) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    UniqueFd r(fds[0]), w(fds[1]);
    LinkRunner runner(r.get(), true);
    auto timers = runner.Timers();
    map27::ILinkTimer& t = *timers[0];
    EXPECT_FALSE(t.IsRunning());
    t.SetInterval(500);
    t.Start();
    EXPECT_TRUE(t.IsRunning());
    t.Start();
    EXPECT_EQ(t.Interval(), 500);
    t.Restart();
    EXPECT_TRUE(t.IsRunning());
    t.Stop();
    EXPECT_FALSE(t.IsRunning());

    bool fired = false;
    runner.After(20ms, [&] { fired = true; });
    const auto start = Clock::now();
    EXPECT_TRUE(runner.RunUntil([&] { return fired; }, start + 2s));
    EXPECT_GE(Clock::now() - start, 20ms);
}

}  // namespace

namespace {

TEST(LinkRunnerLine, ALineWhoseOtherSideClosesIsReportedOnceAndNotPolledAgain) {
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    UniqueFd radioSide(master);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    ::close(slave);
    LinkRunner runner(master, true);
    std::vector<std::string> errors;
    int operations = 0;
    runner.onError = [&](const std::string& what) { errors.push_back(what); };
    runner.afterOperation = [&] { ++operations; };
    runner.After(150ms, [] {});
    const auto start = Clock::now();
    runner.RunUntil({}, start + 200ms);
    ASSERT_EQ(errors.size(), 1U);
    EXPECT_EQ(errors[0].rfind("line lost", 0), 0U) << errors[0];
    EXPECT_EQ(operations, 1);  // the one-shot only: nothing spun on the dead line
    // Writing to it afterwards neither blocks nor throws.
    const std::array<std::uint8_t, 3> bytes{1, 2, 3};
    runner.Port().Write(bytes);
    runner.Port().WaitUntilSent();
}

}  // namespace
