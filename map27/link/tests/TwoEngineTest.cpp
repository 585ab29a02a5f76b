#include <gtest/gtest.h>

#include "map27/link/tests/HexBytes.h"
#include "map27/link/tests/LinkTestHarness.h"

using namespace map27;
using namespace map27::test;

namespace {

// Message number i, with DLE bytes in it so that stuffing is exercised on every frame.
std::vector<std::uint8_t> NumberedMessage(int i) {
    return {0x80,
            static_cast<std::uint8_t>(i >> 8),
            static_cast<std::uint8_t>(i),
            kDle,
            kDle,
            kEtx,
            kSyn,
            kStx};
}

// Sends messages 0..count-1 through one engine whenever its credit allows.
class Sender {
public:
    Sender(EngineRig& rig, int count) : rig_(rig), count_(count) {}

    void Poll() {
        if (next_ >= count_ || !rig_.engine.IsEstablished() || rig_.engine.Snapshot().sk <= 0)
            return;
        const std::uint16_t vsBefore = rig_.engine.Snapshot().vs;
        rig_.engine.SendNetworkMessage(std::make_shared<TestBuilder>(NumberedMessage(next_)));
        if (rig_.engine.Snapshot().vs != vsBefore) ++next_;
    }
    int Sent() const { return next_; }

private:
    EngineRig& rig_;
    int count_;
    int next_ = 0;
};

void ExpectDeliveredOnceInOrder(const EngineRig& receiver, int count) {
    ASSERT_EQ(receiver.events.dataFrames.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(Hex(receiver.events.dataFrames[static_cast<std::size_t>(i)]),
                  Hex(NumberedMessage(i)))
            << i;
}

struct TwoEngines {
    explicit TwoEngines(std::uint32_t seed) : line(terminal, radio, seed) {
        for (EngineRig* rig : {&terminal, &radio}) {
            rig->engine.SetSpeed1200(false);
            rig->port.bitsPerSecond = 9600;
        }
        line.delay = 3;
        line.split = true;
    }
    VirtualClock clock;
    EngineRig terminal{clock};
    EngineRig radio{clock};
    FakeLine line;
};

}  // namespace

TEST(TwoEngines, BringTheLinkUpFromBothSidesAtOnce) {
    TwoEngines world(7);
    world.terminal.engine.StartLink();
    world.radio.engine.StartLink();
    world.clock.Advance(200);
    for (EngineRig* rig : {&world.terminal, &world.radio}) {
        const auto s = rig->engine.Snapshot();
        EXPECT_EQ(s.state, LinkState::Established);
        EXPECT_EQ(s.sk, 1);
        EXPECT_EQ(s.rk, 1);
        EXPECT_EQ(s.vs, 1);
        EXPECT_EQ(s.vr, 1);
        EXPECT_EQ(rig->events.statuses.back(), "Status   Link OK");
        EXPECT_EQ(rig->events.times.back().first, "T1 : 4140(ms)");
    }
    // Idle, the link stays up on the idle acknowledgements and the supervision.
    world.clock.Advance(30000);
    EXPECT_TRUE(world.terminal.engine.IsEstablished());
    EXPECT_TRUE(world.radio.engine.IsEstablished());
}

TEST(TwoEngines, ComeUpWhenOneSideStartsLate) {
    TwoEngines world(8);
    world.terminal.engine.StartLink();
    world.clock.Advance(2500);
    world.radio.engine.StartLink();
    world.clock.Advance(2000);
    EXPECT_TRUE(world.terminal.engine.IsEstablished());
    EXPECT_TRUE(world.radio.engine.IsEstablished());
}

TEST(TwoEngines, ExchangeAThousandFramesEachWayOverALossyLine) {
    constexpr int kCount = 1000;
    TwoEngines world(2027);
    world.line.dropRate = 0.005;
    world.line.corruptRate = 0.005;
    Sender fromTerminal(world.terminal, kCount);
    Sender fromRadio(world.radio, kCount);
    world.terminal.engine.StartLink();
    world.radio.engine.StartLink();

    const bool done = world.clock.RunUntilTrue(
        [&] {
            fromTerminal.Poll();
            fromRadio.Poll();
            return world.radio.events.dataFrames.size() >= kCount &&
                   world.terminal.events.dataFrames.size() >= kCount;
        },
        3'600'000);
    ASSERT_TRUE(done) << "terminal sent " << fromTerminal.Sent() << ", radio sent "
                      << fromRadio.Sent();
    world.clock.Advance(60000);  // let any late repeat arrive: nothing may be delivered twice

    ExpectDeliveredOnceInOrder(world.radio, kCount);
    ExpectDeliveredOnceInOrder(world.terminal, kCount);
    EXPECT_GT(world.line.dropped + world.line.corrupted, 20);  // the line really was lossy
    for (const EngineRig* rig : {&world.terminal, &world.radio}) {
        EXPECT_TRUE(rig->errors.empty());
        EXPECT_TRUE(rig->events.parameterErrors.empty());
        EXPECT_EQ(rig->engine.Snapshot().vs,
                  (kCount + 1) % 256);  // past the 8-bit wrap, more than once
    }
}

TEST(TwoEngines, ExchangeWithImmediateAcknowledgements) {
    constexpr int kCount = 600;
    TwoEngines world(99);
    world.line.dropRate = 0.005;
    world.line.corruptRate = 0.005;
    for (EngineRig* rig : {&world.terminal, &world.radio}) rig->engine.SetArFunctionEnabled(true);
    Sender fromTerminal(world.terminal, kCount);
    Sender fromRadio(world.radio, kCount);
    world.terminal.engine.StartLink();
    world.radio.engine.StartLink();
    const bool done = world.clock.RunUntilTrue(
        [&] {
            fromTerminal.Poll();
            fromRadio.Poll();
            return world.radio.events.dataFrames.size() >= kCount &&
                   world.terminal.events.dataFrames.size() >= kCount;
        },
        3'600'000);
    ASSERT_TRUE(done) << "terminal sent " << fromTerminal.Sent() << ", radio sent "
                      << fromRadio.Sent();
    world.clock.Advance(60000);
    ExpectDeliveredOnceInOrder(world.radio, kCount);
    ExpectDeliveredOnceInOrder(world.terminal, kCount);
}
