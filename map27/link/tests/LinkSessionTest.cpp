// The link session: the received bytes in any pieces, the reception supervision as a timer, the
// engine behind them, and the port's events. On a virtual clock with fake port and timers.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "map27/link/tests/HexBytes.h"
#include "map27/link/tests/LinkTestHarness.h"

using namespace map27;
using namespace map27::test;

namespace {

using ByteVector = std::vector<std::uint8_t>;

const std::string kDefaultLr = "16 10 02 01 7F 01 01 10 03 F6 02";

ByteVector Lt(std::uint8_t ns, std::uint8_t ar, std::uint8_t status) {
    return MakeDataFrame({kLinkTransfer, ns, ar, 0},
                         ByteVector{0x80, 0x08, 0x07, 0xD1, 0x00, status});
}

// One bit of the frame's FCS flipped: the frame arrives whole but damaged.
ByteVector Damaged(ByteVector frame) {
    frame.back() ^= 0x01;
    return frame;
}

ByteVector Join(std::initializer_list<ByteVector> parts) {
    ByteVector joined;
    for (const auto& part : parts) joined.insert(joined.end(), part.begin(), part.end());
    return joined;
}

// A frame whose FCS holds a 0x10 (taken as it comes, not as a stuffed pair).
ByteVector LtWithDleInFcs(std::uint8_t ns) {
    for (int b = 0; b < 256; ++b) {
        auto frame = MakeDataFrame({kLinkTransfer, ns, 0, 0},
                                   ByteVector{0x80, static_cast<std::uint8_t>(b)});
        if (frame[frame.size() - 1] == kDle || frame[frame.size() - 2] == kDle) return frame;
    }
    return {};
}

// Bytes that arrive together at one moment; the session may get them in any pieces.
struct Arrival {
    Ms at;
    ByteVector bytes;
};

struct Scenario {
    const char* name;
    std::vector<Arrival> stream;
    Ms runUntil;
    // What every run must show.
    std::size_t dataFrames;
    std::vector<Ms> timeoutsAt;  // a frame's supervision runs from its first byte
    std::size_t linkUps;
};

// Everything the session did that the owner could see.
struct Outcome {
    std::vector<std::string> framesReceived;  // every frame cut, as it came
    std::vector<std::string> written;         // "time: bytes"
    std::vector<std::string> statuses, logLines;
    std::vector<std::string> dataFrames;
    std::vector<Ms> timeoutsAt;
    int purges = 0;
    std::vector<std::string> errors;

    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* os) {
    auto list = [os](const char* name, const std::vector<std::string>& lines) {
        *os << "\n  " << name << ":";
        for (const auto& line : lines) *os << "\n    " << line;
    };
    list("frames received", o.framesReceived);
    list("written", o.written);
    list("statuses", o.statuses);
    list("log", o.logLines);
    list("data frames", o.dataFrames);
    list("errors", o.errors);
    *os << "\n  time-outs at";
    for (const Ms at : o.timeoutsAt) *os << " " << at;
    *os << ", purges " << o.purges;
}

enum class Pace {
    Together,  // the pieces of an arrival come one after the other at its moment
    Trickle,   // piece n of an arrival comes n ms after it (at most 50 ms), as a slow line gives
               // them
};

// Runs the scenario with every arrival cut into pieces of chunk bytes (0: each arrival whole).
Outcome RunStream(const Scenario& scenario, std::size_t chunk, Pace pace = Pace::Together) {
    VirtualClock clock;
    SessionRig rig(clock);
    rig.session.StartLink();
    for (const Arrival& arrival : scenario.stream) {
        const std::size_t piece = chunk == 0 ? arrival.bytes.size() : chunk;
        for (std::size_t i = 0, n = 0; i < arrival.bytes.size(); i += piece, ++n) {
            const Ms at =
                arrival.at + (pace == Pace::Trickle ? std::min<Ms>(static_cast<Ms>(n), 50) : 0);
            clock.At(at, [&rig, &arrival, i, piece] {
                rig.Feed(
                    std::span(arrival.bytes).subspan(i, std::min(piece, arrival.bytes.size() - i)));
            });
        }
    }
    clock.RunUntil(scenario.runUntil);

    Outcome out;
    for (const auto& f : rig.events.framesReceived) out.framesReceived.push_back(Hex(f));
    for (const auto& w : rig.port.written)
        out.written.push_back(std::to_string(w.at) + ": " + Hex(w.bytes));
    out.statuses = rig.events.statuses;
    out.logLines = rig.events.logLines;
    for (const auto& d : rig.events.dataFrames) out.dataFrames.push_back(Hex(d));
    out.timeoutsAt = rig.supervisionExpiries;
    out.purges = rig.port.purges;
    out.errors = rig.errors;
    return out;
}

std::vector<Scenario> Scenarios() {
    const ByteVector radioLr = MakeLinkRequest(127, 1, 1);
    const ByteVector radioLa = MakeLinkAck(1, 1);
    const ByteVector lt1 = Lt(1, 0, 1);
    const ByteVector lostStart(lt1.begin() + 5, lt1.end());  // a frame whose start was lost
    const ByteVector neverEnds = {0x16, 0x10, 0x02, 0x04, 0x03, 0x00, 0x00, 0x80, 0x08};
    const ByteVector tooLong =
        MakeDataFrame({kLinkTransfer, 2, 0, 0}, ByteVector(FrameBufferCapacity(127, 1), 0x41));
    return {
        {"good, damaged, noise and a frame that never ends",
         {
             // The link comes up through noise and a damaged frame.
             {100,
              Join({Bytes("41 00 16"), radioLr, Damaged(radioLa), Bytes("10 10 FF"), radioLa})},
             // A data frame, a frame whose start was lost, a damaged data frame, noise without a
             // DLE, and the stuffed bytes of a good data frame whose FCS holds a DLE.
             {200, Join({lt1, lostStart, Damaged(Lt(2, 0, 9)), Bytes("55 16 16 02 03")})},
             {400, LtWithDleInFcs(2)},
             // The radio falls silent inside a frame: 10 s later the link restarts.
             {600, Lt(3, 0, 3)},
             {700, neverEnds},
             // ... and comes back.
             {10'800, Join({radioLr, radioLa, Lt(1, 0, 4)})},
         },
         12'000,
         4,
         {10'700},
         2},
        {"a frame too long for the buffer, then a good one",
         {
             {100, Join({radioLr, radioLa})},
             {200, Join({tooLong, Lt(1, 0, 5)})},
         },
         1'000,
         1,
         {},
         1},
        {"noise alone is a reception that never ends",
         {
             {100, Join({radioLr, radioLa})},
             {300, Bytes("41 42 43 10")},
             {10'400, Join({radioLr, radioLa, Lt(1, 0, 6)})},
         },
         11'000,
         1,
         {10'300},
         2},
        {"a frame cut at every awkward place, its end after the supervision",
         {
             {100, Join({radioLr, radioLa})},
             {200, Bytes("16 10 02 04 01 00 80 10")},  // waiting for the byte after a DLE
             {10'300, Bytes("03 AA")},                 // too late: a new reception of noise
             {10'400, Bytes("BB")},
         },
         21'000,
         0,
         {10'200, 20'300},
         1},
    };
}

std::size_t LongestArrival(const Scenario& scenario) {
    std::size_t longest = 0;
    for (const auto& a : scenario.stream) longest = std::max(longest, a.bytes.size());
    return longest;
}

}  // namespace

// What does not depend on when each piece came: everything but the times of the frames written.
Outcome Timeless(Outcome outcome) {
    for (auto& line : outcome.written) line = line.substr(line.find(": ") + 2);
    return outcome;
}

// The must-show of the session: one stream of good frames, damaged frames, noise and a frame
// that never ends, in every cutting from one byte to each arrival whole, gives the same frames, the
// same link actions and the same restarts. When the pieces of an arrival come together, even the
// times of the frames written are the same; when they trickle in, only those times move, and each
// supervision still runs from its frame's first byte.
TEST(LinkSession, EveryChunkingGivesTheSameFramesActionsAndRestarts) {
    for (const Scenario& scenario : Scenarios()) {
        SCOPED_TRACE(scenario.name);
        const Outcome whole = RunStream(scenario, 0);
        EXPECT_EQ(whole.dataFrames.size(), scenario.dataFrames);
        EXPECT_EQ(whole.timeoutsAt, scenario.timeoutsAt);
        EXPECT_EQ(std::count(whole.statuses.begin(), whole.statuses.end(), "Status   Link OK"),
                  static_cast<std::ptrdiff_t>(scenario.linkUps));
        EXPECT_TRUE(whole.errors.empty());
        for (std::size_t chunk = 1; chunk <= LongestArrival(scenario); ++chunk) {
            ASSERT_EQ(RunStream(scenario, chunk), whole) << "pieces of " << chunk << " bytes";
            ASSERT_EQ(Timeless(RunStream(scenario, chunk, Pace::Trickle)), Timeless(whole))
                << "pieces of " << chunk << " bytes, trickling in";
        }
    }
}

TEST(LinkSession, TheMixedStreamInDetail) {
    const Outcome whole = RunStream(Scenarios()[0], 0);
    // The three data frames before the silence and the one after it, in order; the damaged ones
    // and the noise leave no trace.
    ASSERT_EQ(whole.dataFrames.size(), 4U);
    EXPECT_EQ(whole.dataFrames[0], "80 08 07 D1 00 01");
    EXPECT_EQ(whole.dataFrames[2], "80 08 07 D1 00 03");
    EXPECT_EQ(whole.dataFrames[3], "80 08 07 D1 00 04");
    EXPECT_TRUE(whole.logLines.empty());
    // The restart: a link request 10 s after the first byte of the frame that never ended.
    EXPECT_NE(std::find(whole.written.begin(), whole.written.end(), "10700: " + kDefaultLr),
              whole.written.end());
    EXPECT_EQ(whole.statuses, (std::vector<std::string>{"Status   Link.....", "Status   Link OK",
                                                        "Status   Link.....", "Status   Link OK"}));
    EXPECT_EQ(whole.purges, 2);  // the start and the restart
}

class LinkSessionTest : public ::testing::Test {
protected:
    VirtualClock clock;
    SessionRig rig{clock};

    FakeTimer& Supervision() { return rig.timers[kSupervision]; }

    void BringUp() {
        rig.session.StartLink();
        rig.Feed(Join({MakeLinkRequest(127, 1, 1), MakeLinkAck(1, 1)}));
        ASSERT_TRUE(rig.session.IsEstablished());
        rig.ClearSent();
    }

    bool AnyTimerRunning() {
        return std::any_of(rig.timers.begin(), rig.timers.end(),
                           [](const FakeTimer& t) { return t.IsRunning(); });
    }
};

TEST_F(LinkSessionTest, TheSupervisionRunsFromAFramesFirstByteToItsLast) {
    BringUp();
    EXPECT_FALSE(Supervision().IsRunning());
    const ByteVector frame = Lt(1, 0, 1);
    rig.Feed(std::span(frame).first(3));
    ASSERT_TRUE(Supervision().IsRunning());
    EXPECT_EQ(Supervision().Interval(), kReceptionSupervisionMs);
    EXPECT_EQ(Supervision().DueAt(), clock.Now() + 10'000);
    clock.Advance(9'999);
    rig.Feed(std::span(frame).subspan(3));
    EXPECT_FALSE(Supervision().IsRunning());
    EXPECT_EQ(rig.events.dataFrames.size(), 1U);
    EXPECT_EQ(rig.events.receptionTimeouts, 0);
}

TEST_F(LinkSessionTest, EveryWaitInsideAFrameEndsAtTheSupervision) {
    // Cut after DLE (the byte after it awaited), after DLE ETX (the FCS awaited), after one FCS
    // byte, and just after the start marker.
    for (const char* part : {"16 10 02 02 01 01 00 10", "16 10 02 02 01 01 00 10 03",
                             "16 10 02 02 01 01 00 10 03 8F", "16 10 02"}) {
        VirtualClock c;
        SessionRig r(c);
        r.session.StartLink();
        r.Feed(Join({MakeLinkRequest(127, 1, 1), MakeLinkAck(1, 1)}));
        ASSERT_TRUE(r.session.IsEstablished()) << part;
        r.ClearSent();
        r.Feed(Bytes(part));
        EXPECT_TRUE(r.session.ReceptionInProgress()) << part;
        c.Advance(10'000);
        EXPECT_EQ(r.events.receptionTimeouts, 1) << part;
        EXPECT_FALSE(r.session.ReceptionInProgress()) << part;
        EXPECT_FALSE(r.session.IsEstablished()) << part;
        ASSERT_FALSE(r.port.written.empty()) << part;
        EXPECT_EQ(Hex(r.port.written.back().bytes), kDefaultLr) << part;
        // What came before the time-out is not part of the next frame.
        r.Feed(MakeLinkRequest(127, 1, 1));
        EXPECT_EQ(Hex(r.events.framesReceived.back()), Hex(MakeLinkRequest(127, 1, 1))) << part;
        EXPECT_EQ(r.session.Snapshot().state, LinkState::Confirm) << part;
    }
}

TEST_F(LinkSessionTest, ASecondFrameInTheSamePieceGetsAFullSupervisionOfItsOwn) {
    BringUp();
    clock.Advance(500);
    const ByteVector first = Lt(1, 0, 1);
    rig.Feed(Join({first, Bytes("16 10 02 04")}));
    ASSERT_TRUE(Supervision().IsRunning());
    EXPECT_EQ(Supervision().DueAt(), 500 + 10'000);
}

TEST_F(LinkSessionTest, TheSupervisionTimeCanBeShortened) {
    BringUp();
    rig.session.SetReceptionSupervision(300);
    rig.Feed(Bytes("16 10 02 04 01"));
    clock.Advance(299);
    EXPECT_EQ(rig.events.receptionTimeouts, 0);
    clock.Advance(1);
    EXPECT_EQ(rig.events.receptionTimeouts, 1);
    EXPECT_EQ(rig.events.statuses.back(), "Status   Link.....");
}

TEST_F(LinkSessionTest, AFrameTooLongForTheBufferIsDroppedAndItsSupervisionEnds) {
    BringUp();
    rig.Feed(
        MakeDataFrame({kLinkTransfer, 1, 0, 0}, ByteVector(FrameBufferCapacity(127, 1), 0x41)));
    EXPECT_EQ(rig.events.framesReceived.size(), 2U);  // the LR and the LA of the link-up only
    EXPECT_FALSE(Supervision().IsRunning());
    EXPECT_TRUE(rig.port.written.empty());
    EXPECT_TRUE(rig.session.IsEstablished());
}

TEST_F(LinkSessionTest, ARestartDropsAFrameInProgress) {
    BringUp();
    rig.Feed(Bytes("16 10 02 04 01 00 80"));
    ASSERT_TRUE(rig.session.ReceptionInProgress());
    rig.session.RestartLink();
    EXPECT_FALSE(rig.session.ReceptionInProgress());
    EXPECT_FALSE(Supervision().IsRunning());
    rig.Feed(MakeLinkRequest(127, 1, 1));
    EXPECT_EQ(rig.session.Snapshot().state, LinkState::Confirm);
}

TEST_F(LinkSessionTest, AFrameTheSinkRefusesNeverReachesTheEngine) {
    rig.session.StartLink();
    rig.events.deaf = true;
    rig.ClearSent();
    rig.Feed(MakeLinkRequest(127, 1, 1));
    EXPECT_EQ(rig.events.framesReceived.size(), 1U);
    EXPECT_TRUE(rig.port.written.empty());
    EXPECT_EQ(rig.session.Snapshot().state, LinkState::Setup);
}

TEST_F(LinkSessionTest, APortErrorEscapesOnlyAfterEveryFrameOfThePiece) {
    rig.session.StartLink();
    rig.ClearSent();
    rig.port.writesToFail = 1;  // the answer to the LR is lost
    rig.Feed(Join({MakeLinkRequest(127, 1, 1), MakeLinkRequest(127, 1, 1)}));
    ASSERT_EQ(rig.errors, std::vector<std::string>{"Write data Timeout"});
    EXPECT_EQ(rig.Sent().size(), 1U);  // the second LR was answered
    EXPECT_EQ(rig.session.Snapshot().state, LinkState::Established);
}

TEST_F(LinkSessionTest, ALostPortStopsEverythingAndIsToldOnce) {
    BringUp();
    rig.Feed(Bytes("16 10 02 04 01"));  // in the middle of a frame
    rig.port.gone = true;
    rig.session.Send(std::make_shared<TestBuilder>(ByteVector{0x80}));
    EXPECT_EQ(rig.events.portLosses, 1);
    EXPECT_EQ(rig.session.Port(), LinkSession::PortState::Lost);
    EXPECT_FALSE(AnyTimerRunning());
    EXPECT_FALSE(rig.session.ReceptionInProgress());
    EXPECT_FALSE(rig.session.IsEstablished());
    EXPECT_EQ(rig.events.statuses.back(), "Status   Link.....");
    EXPECT_TRUE(rig.errors.empty()) << "a loss is a state, not an error";

    // Nothing more reaches the port, whatever comes.
    const int attempts = rig.port.writeAttempts;
    rig.Feed(Join({MakeLinkRequest(127, 1, 1), MakeLinkAck(1, 1)}));
    rig.session.RestartLink();
    rig.session.Send(std::make_shared<TestBuilder>(ByteVector{0x80}));
    rig.session.PortLost();
    for (std::size_t i = 0; i < kSessionTimerCount; ++i) rig.session.TimerExpired(i);
    clock.Advance(60'000);
    EXPECT_EQ(rig.port.writeAttempts, attempts);
    EXPECT_EQ(rig.events.portLosses, 1);
    EXPECT_TRUE(rig.errors.empty());

    // Back at the same path: the link starts again.
    rig.port.gone = false;
    rig.session.PortOpened();
    EXPECT_EQ(rig.session.Port(), LinkSession::PortState::Open);
    ASSERT_EQ(rig.port.written.size(), 1U);
    EXPECT_EQ(Hex(rig.port.written[0].bytes), kDefaultLr);
    EXPECT_TRUE(rig.timers[kT0].IsRunning());
    rig.Feed(Join({MakeLinkRequest(127, 1, 1), MakeLinkAck(1, 1)}));
    EXPECT_TRUE(rig.session.IsEstablished());
}

TEST_F(LinkSessionTest, APortLostInTheMiddleOfAnOperationWritesNothingMore) {
    rig.session.StartLink();
    rig.ClearSent();
    rig.port.gone = true;
    // T0 writes a link request and waits for it: the write fails, the wait does not reach the port.
    clock.Advance(1000);
    EXPECT_EQ(rig.port.writeAttempts, 2);  // the start's LR and T0's attempt
    EXPECT_EQ(rig.events.portLosses, 1);
    EXPECT_FALSE(AnyTimerRunning());
    clock.Advance(10'000);
    EXPECT_EQ(rig.port.writeAttempts, 2);
}

TEST_F(LinkSessionTest, TheOwnerMayReportTheLossItself) {
    BringUp();
    rig.session.PortLost();
    rig.session.PortLost();
    EXPECT_EQ(rig.events.portLosses, 1);
    EXPECT_FALSE(AnyTimerRunning());
    rig.session.PortClosed();  // the owner closes the lost port: still lost
    EXPECT_EQ(rig.session.Port(), LinkSession::PortState::Lost);
    clock.Advance(60'000);
    EXPECT_TRUE(rig.port.written.empty());
}

TEST_F(LinkSessionTest, AClosedPortTakesNoBytesAndKeepsTheLinkStateUntilOpened) {
    BringUp();
    rig.Feed(Bytes("16 10 02"));
    rig.session.PortClosed();
    EXPECT_EQ(rig.session.Port(), LinkSession::PortState::Closed);
    EXPECT_FALSE(AnyTimerRunning());
    EXPECT_FALSE(rig.session.ReceptionInProgress());
    EXPECT_TRUE(rig.session.IsEstablished());
    rig.Feed(Lt(1, 0, 1));
    EXPECT_TRUE(rig.events.dataFrames.empty());
    clock.Advance(60'000);
    EXPECT_TRUE(rig.port.written.empty());
    rig.session.PortOpened();
    ASSERT_EQ(rig.port.written.size(), 1U);
    EXPECT_EQ(Hex(rig.port.written[0].bytes), kDefaultLr);
    EXPECT_EQ(rig.events.portLosses, 0);
}

TEST_F(LinkSessionTest, TimerExpiriesReachTheEngine) {
    rig.session.StartLink();
    clock.Advance(3000);
    EXPECT_EQ(rig.port.written.size(), 4U);  // the start's LR and three on T0
    EXPECT_EQ(rig.timers[kT0].expiries, 3);
}
