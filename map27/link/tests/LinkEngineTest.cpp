#include <gtest/gtest.h>

#include "map27/link/tests/HexBytes.h"
#include "map27/link/tests/LinkTestHarness.h"

using namespace map27;
using namespace map27::test;

namespace {

const std::string kDefaultLr = "16 10 02 01 7F 01 01 10 03 F6 02";

std::string LaHex(std::uint8_t nr, std::uint8_t nk) {
    return Hex(DestuffFrame(MakeLinkAck(nr, nk)));
}
std::string LrHex(std::uint8_t n1, std::uint8_t k = 1, std::uint8_t version = 1) {
    return Hex(DestuffFrame(MakeLinkRequest(n1, k, version)));
}
std::vector<std::uint8_t> Lt(std::uint8_t ns, std::uint8_t ar,
                             std::vector<std::uint8_t> message = {0x80, 0x08, 0x07, 0xD1, 0x00,
                                                                  0x01}) {
    return MakeDataFrame({kLinkTransfer, ns, ar, 0}, message);
}

class LinkEngineTest : public ::testing::Test {
protected:
    VirtualClock clock;
    EngineRig rig{clock};

    std::vector<std::string> SentHex() const {
        std::vector<std::string> out;
        for (const auto& f : rig.Sent()) out.push_back(Hex(f));
        return out;
    }
    LinkSnapshot Snap() const { return rig.engine.Snapshot(); }

    // Up with the peer's LR and then its LA (N(R) 1, N(k) 1): S(k) = 1.
    void BringUp() {
        rig.engine.StartLink();
        rig.Receive(MakeLinkRequest(127, 1, 1));
        rig.Receive(MakeLinkAck(1, 1));
        ASSERT_TRUE(rig.engine.IsEstablished());
        ASSERT_EQ(Snap().sk, 1);
        rig.ClearSent();
    }
    // 9600 bit/s (T1 4140 ms) and a supervision long enough to watch every repeat of T1.
    void UseFastLineAndLongSupervision() {
        LinkParameterTexts texts;
        texts.t4 = "60000";
        rig.engine.SetParameterTexts(texts);
        rig.engine.SetSpeed1200(false);
    }
    std::shared_ptr<TestBuilder> Builder(std::vector<std::uint8_t> message = {0x80, 0x08, 0x07,
                                                                              0xD1, 0x00, 0x01}) {
        return std::make_shared<TestBuilder>(std::move(message), "80    Status Call");
    }
};

}  // namespace

TEST_F(LinkEngineTest, SilentRadioGetsTheDefaultLinkRequestEverySecond) {
    rig.engine.StartLink();
    clock.Advance(5000);
    ASSERT_EQ(rig.port.written.size(), 6U);
    for (std::size_t i = 0; i < rig.port.written.size(); ++i) {
        EXPECT_EQ(rig.port.written[i].at, static_cast<Ms>(i) * 1000);
        EXPECT_EQ(Hex(rig.port.written[i].bytes), kDefaultLr);
    }
    EXPECT_EQ(rig.events.statuses.back(), "Status   Link.....");
    EXPECT_EQ(rig.port.purges, 1);
    EXPECT_EQ(Snap().state, LinkState::Setup);
    EXPECT_EQ(Snap().bufferCapacity, 2059U);
}

TEST_F(LinkEngineTest, NegotiationOnlyEverLowersN1UntilTheNextRestart) {
    rig.engine.StartLink();
    rig.ClearSent();
    rig.Receive(MakeLinkRequest(64, 1, 1));
    EXPECT_EQ(SentHex(), std::vector<std::string>{LrHex(64)});
    EXPECT_EQ(Snap().state, LinkState::Confirm);

    rig.ClearSent();
    rig.Receive(MakeLinkRequest(100, 1, 1));  // brings the link up, N1 stays 64
    EXPECT_EQ(SentHex(), std::vector<std::string>{LaHex(1, 1)});
    EXPECT_TRUE(rig.engine.IsEstablished());
    EXPECT_EQ(Snap().workingN1, 64);
    EXPECT_EQ(Snap().bufferCapacity, FrameBufferCapacity(64, 1));
    EXPECT_EQ(rig.events.times.back().first, "T1 : 16992(ms)");  // 65 x 256 + 352

    rig.ClearSent();
    rig.Receive(MakeLinkRequest(100, 1, 1));  // in Established: back to Confirm, still 64
    EXPECT_EQ(SentHex(), std::vector<std::string>{LrHex(64)});
    EXPECT_EQ(Snap().state, LinkState::Confirm);
    EXPECT_EQ(rig.events.statuses.back(), "Status   Link OK");

    rig.engine.RestartLink();
    EXPECT_EQ(Snap().workingN1, 127);
}

TEST_F(LinkEngineTest, NegotiatesKAndVersionAgainstTheConfiguredValues) {
    rig.engine.SetWindowAndVersion(4, 2);
    rig.engine.StartLink();
    EXPECT_EQ(Hex(rig.Sent().back()), LrHex(127, 4, 2));
    rig.Receive(MakeLinkRequest(127, 7, 1));
    EXPECT_EQ(Hex(rig.Sent().back()), LrHex(127, 4, 1));
    rig.Receive(MakeLinkRequest(127, 3, 9));
    EXPECT_EQ(Snap().workingK, 3);
    EXPECT_EQ(Snap().workingVersion, 2);
    EXPECT_EQ(Snap().rk, 3);
}

TEST_F(LinkEngineTest, ConfirmComesUpOnTheRadiosLaWithItsCredit) {
    struct Case {
        std::uint8_t nr, nk;
        std::int16_t sk;
    } cases[] = {{1, 1, 1}, {1, 3, 3}, {2, 1, 2}, {0, 1, 0}, {0, 0, -1}};
    for (const auto& c : cases) {
        VirtualClock localClock;
        EngineRig local(localClock);
        local.engine.StartLink();
        local.Receive(MakeLinkRequest(127, 1, 1));
        local.ClearSent();
        local.Receive(MakeLinkAck(c.nr, c.nk));
        const auto s = local.engine.Snapshot();
        EXPECT_EQ(s.state, LinkState::Established);
        EXPECT_EQ(s.sk, c.sk) << int(c.nr) << ' ' << int(c.nk);
        EXPECT_EQ(s.vs, 1);
        EXPECT_EQ(s.vr, 1);
        EXPECT_EQ(s.c1, 10);
        EXPECT_FALSE(s.timers[kT0].running);
        EXPECT_TRUE(s.timers[kT3].running);
        EXPECT_TRUE(s.timers[kT4].running);
        ASSERT_EQ(local.Sent().size(), 1U);
        EXPECT_EQ(Hex(local.Sent()[0]), LaHex(1, 1));
        EXPECT_EQ(local.events.statuses.back(), "Status   Link OK");
    }
}

TEST_F(LinkEngineTest, ConfirmComesUpOnTheRadiosLrWithoutCredit) {
    rig.engine.StartLink();
    rig.Receive(MakeLinkRequest(127, 1, 1));
    rig.Receive(MakeLinkRequest(127, 1, 1));
    EXPECT_TRUE(rig.engine.IsEstablished());
    EXPECT_EQ(Snap().sk, 0);
    rig.ClearSent();
    auto builder = Builder();
    rig.engine.SendNetworkMessage(builder);
    EXPECT_TRUE(rig.port.written.empty());
    EXPECT_EQ(builder->builds, 0);
    EXPECT_TRUE(rig.events.logLines.empty());
}

TEST_F(LinkEngineTest, LtInConfirmGoesBackToSetupWithANewLr) {
    rig.engine.StartLink();
    rig.Receive(MakeLinkRequest(127, 1, 1));
    rig.ClearSent();
    clock.Advance(300);
    rig.Receive(Lt(1, 1));
    EXPECT_EQ(SentHex(), std::vector<std::string>{kDefaultLr});
    EXPECT_EQ(Snap().state, LinkState::Setup);
    EXPECT_TRUE(Snap().timers[kT0].running);
    EXPECT_EQ(rig.timers[kT0].DueAt(), 1300);  // a fresh interval
    EXPECT_TRUE(rig.events.dataFrames.empty());
}

TEST_F(LinkEngineTest, LaOrLtInSetupIsAnsweredWithAnLrAndNothingElse) {
    rig.engine.StartLink();
    clock.Advance(400);
    rig.ClearSent();
    rig.Receive(MakeLinkAck(1, 1));
    rig.Receive(Lt(1, 1));
    EXPECT_EQ(SentHex(), (std::vector<std::string>{kDefaultLr, kDefaultLr}));
    EXPECT_EQ(rig.port.waits, 1);  // only the first LR at start was waited for
    EXPECT_EQ(Snap().state, LinkState::Setup);
    EXPECT_EQ(rig.timers[kT0].DueAt(), 1000);
}

TEST_F(LinkEngineTest, InSequenceDataIsAcknowledgedAtOnceAndAgainOnT2) {
    struct Case {
        bool arFunction;
        std::uint8_t ar;
        Ms secondAckAt;
    } cases[] = {{false, 1, 70}, {false, 0, 70}, {true, 1, 0}, {true, 0, 70}};
    for (const auto& c : cases) {
        VirtualClock localClock;
        EngineRig local(localClock);
        local.engine.SetArFunctionEnabled(c.arFunction);
        local.engine.StartLink();
        local.Receive(MakeLinkRequest(127, 1, 1));
        local.Receive(MakeLinkAck(1, 1));
        local.ClearSent();
        localClock.Advance(1000);
        local.Receive(Lt(1, c.ar));
        localClock.Advance(500);
        ASSERT_EQ(local.port.written.size(), 2U) << c.arFunction << int(c.ar);
        EXPECT_EQ(Hex(local.Sent()[0]), LaHex(2, 0));
        EXPECT_EQ(local.port.written[0].at, 1000);
        EXPECT_EQ(Hex(local.Sent()[1]), LaHex(2, 1));
        EXPECT_EQ(local.port.written[1].at, 1000 + c.secondAckAt);
        ASSERT_EQ(local.events.dataFrames.size(), 1U);
        EXPECT_EQ(Hex(local.events.dataFrames[0]), "80 08 07 D1 00 01");
        EXPECT_EQ(local.events.receivedNs, std::vector<std::uint8_t>{1});
        const auto s = local.engine.Snapshot();
        EXPECT_EQ(s.vr, 2);
        EXPECT_EQ(s.rk, 1);
        EXPECT_EQ(s.lastRxByte4, 1);
        EXPECT_EQ(s.lastRxByte5, c.ar);
    }
}

TEST_F(LinkEngineTest, OutOfSequenceDataIsLoggedAndAnsweredWithUnchangedNr) {
    BringUp();
    rig.Receive(Lt(5, 1));
    EXPECT_EQ(rig.events.logLines, std::vector<std::string>{"N(S)!=V(R)"});
    EXPECT_EQ(SentHex(), std::vector<std::string>{LaHex(1, 1)});
    EXPECT_TRUE(rig.events.dataFrames.empty());
    EXPECT_EQ(rig.events.receivedNs, std::vector<std::uint8_t>{5});
    EXPECT_EQ(Snap().vr, 1);
    EXPECT_FALSE(Snap().timers[kT2].running);
}

TEST_F(LinkEngineTest, ARepeatWhileTheDelayedAckIsPendingKeepsTheCredit) {
    BringUp();
    rig.Receive(Lt(1, 0));  // taken: LA(2,0) at once, T2 pending
    rig.ClearSent();
    rig.Receive(Lt(1, 0));  // the peer repeats it before our delayed LA
    EXPECT_EQ(SentHex(), std::vector<std::string>{LaHex(2, 1)});
    EXPECT_EQ(Snap().rk, 1);
    EXPECT_EQ(rig.events.dataFrames.size(), 1U);
    rig.ClearSent();
    rig.Receive(Lt(2, 0));  // and the next frame is taken
    EXPECT_EQ(rig.events.dataFrames.size(), 2U);
}

TEST_F(LinkEngineTest, DataWithoutReceiveCreditIsRefusedWithoutALogLine) {
    BringUp();
    rig.Receive(Lt(1, 0));
    clock.Advance(10);
    rig.timers[kT2].Stop();  // as if the delayed acknowledgement had not yet been due
    rig.ClearSent();
    rig.Receive(Lt(2, 0));
    EXPECT_EQ(SentHex(), std::vector<std::string>{LaHex(2, 0)});
    EXPECT_EQ(rig.events.dataFrames.size(), 1U);
    EXPECT_TRUE(rig.events.logLines.empty());
}

TEST_F(LinkEngineTest, SendingADataFrame) {
    BringUp();
    auto builder = Builder({0x80});
    clock.Advance(100);
    rig.engine.SendNetworkMessage(builder);
    ASSERT_EQ(rig.port.written.size(), 1U);
    EXPECT_EQ(Hex(rig.port.written[0].bytes), "16 10 02 04 01 01 00 80 10 03 D1 07");
    EXPECT_EQ(rig.events.logLines, std::vector<std::string>{"TX : 80    Status Call"});
    ASSERT_EQ(rig.events.built.size(), 1U);
    EXPECT_FALSE(rig.events.built[0].second);
    EXPECT_EQ(builder->lastCapacity, 2048U);
    const auto s = Snap();
    EXPECT_EQ(s.vs, 2);
    EXPECT_EQ(s.sk, 0);
    EXPECT_EQ(s.c1, 10);
    EXPECT_TRUE(s.timers[kT1].running);
    EXPECT_EQ(rig.timers[kT1].DueAt(), 100 + 33120);

    // No credit left: nothing at all.
    rig.engine.SendNetworkMessage(Builder());
    EXPECT_EQ(rig.port.written.size(), 1U);
    EXPECT_EQ(rig.events.logLines.size(), 1U);
}

TEST_F(LinkEngineTest, AnAckOfEverythingStopsT1AndReloadsC1) {
    BringUp();
    rig.engine.SendNetworkMessage(Builder());
    clock.Advance(33120);  // one repeat: C1 9
    ASSERT_EQ(Snap().c1, 9);
    rig.Receive(MakeLinkAck(2, 1));
    const auto s = Snap();
    EXPECT_FALSE(s.timers[kT1].running);
    EXPECT_EQ(s.c1, 10);
    EXPECT_EQ(s.sk, 1);
    EXPECT_EQ(s.lastAckNr, 2);
    EXPECT_EQ(s.vs, 2);
    EXPECT_EQ(s.state, LinkState::Established);
}

TEST_F(LinkEngineTest, ARepeatedLaResendsTheStoredFrameOnlyWithCredit) {
    BringUp();
    rig.engine.SendNetworkMessage(Builder());
    const auto firstSending = rig.port.written.at(0).bytes;
    rig.ClearSent();

    rig.Receive(MakeLinkAck(1, 1));  // S(k) = 1 + 1 - 2 = 0: no resend
    EXPECT_TRUE(rig.port.written.empty());
    EXPECT_EQ(Snap().c1, 9);
    EXPECT_EQ(Snap().sk, 0);
    EXPECT_TRUE(Snap().timers[kT1].running);

    rig.Receive(MakeLinkAck(1, 2));  // S(k) = 1: the stored copy again
    ASSERT_EQ(rig.port.written.size(), 1U);
    EXPECT_EQ(rig.port.written[0].bytes, firstSending);
    const auto s = Snap();
    EXPECT_EQ(s.c1, 8);
    EXPECT_EQ(s.vs, 2);
    EXPECT_EQ(s.sk, 0);
    EXPECT_TRUE(s.timers[kT1].running);
    EXPECT_EQ(rig.events.built.size(), 1U);  // not built again
}

TEST_F(LinkEngineTest, RepeatedLasUseUpC1AndRestartTheLink) {
    BringUp();
    rig.engine.SendNetworkMessage(Builder());
    for (int i = 0; i < 9; ++i) rig.Receive(MakeLinkAck(1, 1));
    EXPECT_EQ(Snap().c1, 1);
    EXPECT_TRUE(rig.engine.IsEstablished());
    rig.ClearSent();
    rig.Receive(MakeLinkAck(1, 1));
    EXPECT_EQ(Snap().state, LinkState::Setup);
    EXPECT_EQ(SentHex(), std::vector<std::string>{kDefaultLr});
}

TEST_F(LinkEngineTest, ARepeatedLaAfterT1UsedUpC1RestartsTheLink) {
    UseFastLineAndLongSupervision();
    BringUp();
    rig.engine.SendNetworkMessage(Builder());
    clock.Advance(10 * 4140);  // ten repeats: C1 0, the next expiry would restart
    ASSERT_EQ(Snap().c1, 0);
    ASSERT_TRUE(rig.engine.IsEstablished());
    rig.Receive(MakeLinkAck(1, 1));
    EXPECT_EQ(Snap().state, LinkState::Setup);
}

TEST_F(LinkEngineTest, AnAckBeyondVsRestartsTheLink) {
    BringUp();
    rig.engine.SendNetworkMessage(Builder());
    rig.Receive(MakeLinkAck(3, 1));  // V(S) is 2
    EXPECT_EQ(Snap().state, LinkState::Setup);
    EXPECT_EQ(Hex(rig.Sent().back()), kDefaultLr);
    EXPECT_FALSE(Snap().timers[kT1].running);
}

TEST_F(LinkEngineTest, AnUnacknowledgedFrameGoesOutElevenTimesThenTheLinkRestarts) {
    UseFastLineAndLongSupervision();
    BringUp();
    auto builder = Builder();
    rig.engine.SendNetworkMessage(builder);
    clock.Advance(11 * 4140 - 1);
    EXPECT_TRUE(rig.engine.IsEstablished());
    clock.Advance(1);
    std::vector<FakePort::Written> dataFrames;  // the idle acknowledgements on T3 go out as well
    for (const auto& w : rig.port.written)
        if (DestuffFrame(w.bytes)[3] == kLinkTransfer) dataFrames.push_back(w);
    ASSERT_EQ(dataFrames.size(), 11U);
    for (std::size_t i = 0; i < 11; ++i) {
        EXPECT_EQ(dataFrames[i].bytes,
                  dataFrames[0].bytes);  // the same message, N(S) 1, every time
        EXPECT_EQ(dataFrames[i].at, static_cast<Ms>(i) * 4140);
    }
    EXPECT_EQ(Hex(rig.Sent().back()), kDefaultLr);
    EXPECT_EQ(Snap().state, LinkState::Setup);
    EXPECT_EQ(builder->builds, 11);
    EXPECT_EQ(rig.events.logLines.size(), 11U);
    EXPECT_EQ(std::count_if(rig.events.built.begin(), rig.events.built.end(),
                            [](auto& b) { return b.second; }),
              10);
}

TEST_F(LinkEngineTest, TheAckOfARepeatIsTakenNormally) {
    BringUp();
    rig.engine.SendNetworkMessage(Builder());
    clock.Advance(33120);
    rig.Receive(MakeLinkAck(2, 1));
    EXPECT_FALSE(Snap().timers[kT1].running);
    EXPECT_EQ(Snap().sk, 1);
    EXPECT_TRUE(rig.engine.IsEstablished());
}

TEST_F(LinkEngineTest, IdleAcknowledgementsStopAfterN3) {
    LinkParameterTexts texts;
    texts.t4 = "60000";
    rig.engine.SetParameterTexts(texts);
    BringUp();
    clock.Advance(59999);
    ASSERT_EQ(rig.port.written.size(), 3U);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(rig.port.written[i].at, static_cast<Ms>(i + 1) * 10000);
        EXPECT_EQ(Hex(rig.Sent()[i]), LaHex(1, 1));
    }
    EXPECT_FALSE(Snap().timers[kT3].running);
    EXPECT_EQ(rig.timers[kT3].expiries, 4);
    EXPECT_TRUE(rig.engine.IsEstablished());
    clock.Advance(1);
    EXPECT_EQ(Snap().state, LinkState::Setup);
}

TEST_F(LinkEngineTest, T4RestartsTheLinkAfterTheRadiosLastFrame) {
    BringUp();
    clock.Advance(5000);
    rig.Receive(MakeLinkAck(1, 1));  // restarts T4
    clock.Advance(35000 - 1);
    EXPECT_TRUE(rig.engine.IsEstablished());
    clock.Advance(1);
    EXPECT_EQ(Snap().state, LinkState::Setup);
    EXPECT_EQ(rig.port.written.back().at, 40000);
    EXPECT_EQ(Hex(rig.Sent().back()), kDefaultLr);
    EXPECT_EQ(rig.events.statuses.back(), "Status   Link.....");
}

TEST_F(LinkEngineTest, DerivedTimesFollowTheSpeed) {
    struct Case {
        bool is1200;
        const char* n1;
        const char* t1;
        const char* t2max;
    } cases[] = {
        {true, "127", "T1 : 33120(ms)", "T2(max) : 32944(ms)"},
        {false, "127", "T1 : 4140(ms)", "T2(max) : 4118(ms)"},
        {false, "0", "T1 : 76(ms)", "T2(max) : 54(ms)"},
        // Held to what a 16-bit timer takes: 65632, and 65888 and 65712 ms.
        {true, "254", "T1 : 65535(ms)", "T2(max) : 65456(ms)"},
        {true, "255", "T1 : 65535(ms)", "T2(max) : 65535(ms)"},
    };
    for (const auto& c : cases) {
        VirtualClock localClock;
        EngineRig local(localClock);
        LinkParameterTexts texts;
        texts.n1 = c.n1;
        local.engine.SetParameterTexts(texts);
        local.engine.SetSpeed1200(c.is1200);
        local.engine.StartLink();
        ASSERT_FALSE(local.events.times.empty());
        EXPECT_EQ(local.events.times.back().first, c.t1);
        EXPECT_EQ(local.events.times.back().second, c.t2max);
        EXPECT_EQ(std::to_string(local.timers[kT1].Interval()),
                  std::string(c.t1).substr(5, std::string(c.t1).size() - 9));
    }
}

TEST_F(LinkEngineTest, ParametersAreReadAtEveryRestart) {
    LinkParameterTexts texts;
    texts.n1 = "$40";
    texts.n2 = " 3";
    texts.t0 = "500";
    texts.t2 = "0x20";
    texts.t3 = "$FFFF";
    rig.engine.SetParameterTexts(texts);
    rig.engine.StartLink();
    EXPECT_EQ(Hex(rig.Sent().back()), LrHex(64));
    EXPECT_EQ(rig.timers[kT0].Interval(), 500);
    EXPECT_EQ(rig.timers[kT2].Interval(), 32);
    EXPECT_EQ(rig.timers[kT3].Interval(), 65535);
    EXPECT_EQ(rig.timers[kT4].Interval(), 35000);
    EXPECT_EQ(Snap().bufferCapacity, FrameBufferCapacity(64, 1));
}

TEST_F(LinkEngineTest, AParameterThatIsNotANumberStopsTheRestartBeforeAnyLr) {
    BringUp();
    LinkParameterTexts texts;
    texts.t2 = "7O";
    rig.engine.SetParameterTexts(texts);
    rig.engine.RestartLink();
    EXPECT_EQ(rig.events.parameterErrors,
              std::vector<std::string>{"'7O' is not a valid integer value"});
    EXPECT_EQ(rig.events.statuses.back(), "Status   Link.....");
    EXPECT_EQ(Snap().state, LinkState::Setup);
    clock.Advance(100000);
    EXPECT_TRUE(rig.port.written.empty());
    for (const auto& timer : Snap().timers) EXPECT_FALSE(timer.running);

    texts.t2 = "70";
    rig.engine.SetParameterTexts(texts);
    rig.engine.RestartLink();
    EXPECT_EQ(SentHex(), std::vector<std::string>{kDefaultLr});
}

// Each field's range, named in the refusal: wrapping at 16 bits made 99999 run as 34463 and 65536
// as 0, and 0 for T0, T3 or T4 sent frames back to back. (The Parameters window's test shows the
// restart stopping there with the values in use kept.)
TEST_F(LinkEngineTest, EachParameterIsHeldToWhatTheLinkRuns) {
    const struct {
        std::string LinkParameterTexts::*field;
        const char* text;
        std::vector<std::string> refusals;  // none: taken
    } cases[] = {
        {&LinkParameterTexts::t0, "0", {"'0' is not a valid value for T0 (1 to 65535)"}},
        {&LinkParameterTexts::t0, "99999", {"'99999' is not a valid value for T0 (1 to 65535)"}},
        {&LinkParameterTexts::t2, "-1", {"'-1' is not a valid value for T2 (0 to 65535)"}},
        {&LinkParameterTexts::t3, "0", {"'0' is not a valid value for T3 (1 to 65535)"}},
        {&LinkParameterTexts::n1, "256", {"'256' is not a valid value for N1 (0 to 255)"}},
        {&LinkParameterTexts::n2, "-1", {"'-1' is not a valid value for N2 (0 to 65535)"}},
        {&LinkParameterTexts::n3, "$10000", {"'$10000' is not a valid value for N3 (0 to 65535)"}},
        {&LinkParameterTexts::t2, "0", {}},
        {&LinkParameterTexts::t4, "65535", {}},
        {&LinkParameterTexts::n1, "255", {}},
    };
    for (const auto& c : cases) {
        VirtualClock localClock;
        EngineRig local(localClock);
        LinkParameterTexts texts;
        texts.*c.field = c.text;
        local.engine.SetParameterTexts(texts);
        local.engine.StartLink();
        EXPECT_EQ(local.events.parameterErrors, c.refusals) << c.text;
    }
}

TEST_F(LinkEngineTest, AFrameWithOneWrongBitChangesNothing) {
    BringUp();
    rig.engine.SendNetworkMessage(Builder());
    rig.ClearSent();
    const auto before = Snap();
    for (const auto& good : {MakeLinkAck(2, 1), Lt(1, 1), MakeLinkRequest(64, 1, 1)}) {
        for (std::size_t i = 3; i < good.size(); ++i) {
            auto bad = good;
            bad[i] = static_cast<std::uint8_t>(bad[i] ^ 0x04);
            rig.Receive(bad);
        }
    }
    const auto after = Snap();
    EXPECT_TRUE(rig.port.written.empty());
    EXPECT_TRUE(rig.events.logLines.size() == 1U);  // only the TX line of the send
    EXPECT_TRUE(rig.events.dataFrames.empty());
    EXPECT_EQ(after.state, before.state);
    EXPECT_EQ(after.vs, before.vs);
    EXPECT_EQ(after.vr, before.vr);
    EXPECT_EQ(after.sk, before.sk);
    EXPECT_EQ(after.workingN1, before.workingN1);
}

TEST_F(LinkEngineTest, FramesLongerThanTheBufferOrWithoutAHeaderAreDropped) {
    BringUp();
    rig.Receive(Lt(1, 1, std::vector<std::uint8_t>(2049, 0x41)));  // one byte over N1 = 127
    EXPECT_TRUE(rig.events.dataFrames.empty());
    EXPECT_TRUE(rig.port.written.empty());
    rig.Receive(
        Lt(1, 1, std::vector<std::uint8_t>(2048, 0x10)));  // fits, though doubled on the line
    EXPECT_EQ(rig.events.dataFrames.size(), 1U);

    std::vector<std::uint8_t> headless = {kSyn, kDle, kStx, kLinkRequest, kDle, kEtx};
    const std::uint16_t fcs = FrameCheck(std::span(headless).subspan(3));
    headless.push_back(static_cast<std::uint8_t>(fcs >> 8));
    headless.push_back(static_cast<std::uint8_t>(fcs));
    rig.ClearSent();
    rig.Receive(headless);
    EXPECT_TRUE(rig.port.written.empty());
    EXPECT_TRUE(rig.engine.IsEstablished());
}

TEST_F(LinkEngineTest, AFrameWhoseFcsHoldsADleIsTaken) {
    BringUp();
    // A message byte chosen so that the frame's FCS holds a 0x10, which goes out single.
    std::vector<std::uint8_t> frame;
    for (int b = 0; b < 256 && frame.empty(); ++b) {
        auto candidate = Lt(1, 0, {0x80, static_cast<std::uint8_t>(b)});
        if (candidate[candidate.size() - 1] == kDle || candidate[candidate.size() - 2] == kDle)
            frame = candidate;
    }
    ASSERT_FALSE(frame.empty());
    FrameAssembler assembler;
    assembler.PushBytes(frame,
                        [&](std::span<const std::uint8_t> received) { rig.Receive(received); });
    ASSERT_EQ(rig.events.dataFrames.size(), 1U);
    EXPECT_EQ(rig.events.dataFrames[0].size(), 2U);
    EXPECT_EQ(Snap().vr, 2);
}

TEST_F(LinkEngineTest, AFrameShorterThanEightBytesIsDropped) {
    BringUp();
    for (const char* damaged : {"16 10 02 10 03 AA BB", "10 03 00 00", "16 10 02 02 01 01 00"})
        rig.Receive(Bytes(damaged));
    EXPECT_TRUE(rig.port.written.empty());
    EXPECT_TRUE(rig.engine.IsEstablished());
}

TEST_F(LinkEngineTest, UnknownLinkTypesAreIgnored) {
    BringUp();
    rig.Receive(MakeDataFrame({3, 1, 1, 0}, std::vector<std::uint8_t>{0x80}));
    rig.Receive(MakeDataFrame({0, 1, 1, 0}, {}));
    EXPECT_TRUE(rig.port.written.empty());
    EXPECT_TRUE(rig.engine.IsEstablished());
}

TEST_F(LinkEngineTest, CrcErrorModeSpoilsEveryFrame) {
    rig.engine.SetCrcErrorMode(true);
    rig.engine.StartLink();
    rig.Receive(MakeLinkRequest(127, 1, 1));
    rig.Receive(MakeLinkAck(1, 1));
    rig.engine.SendNetworkMessage(Builder());
    const auto frames = rig.Sent();
    ASSERT_EQ(frames.size(), 4U);  // LR, LR, LA, LT
    for (const auto& f : frames) EXPECT_FALSE(IsGoodFrame(f));
    EXPECT_EQ(Hex(std::span(frames[0]).first(9)), "16 10 02 01 7F 01 01 10 03");
}

// The stored copy that a repeated LA sends again carries its FCS as the option stands now: once the
// operator has switched the CRC errors off, no stale spoiled copy keeps the radio refusing it.
TEST_F(LinkEngineTest, AStoredFrameSentAgainFollowsTheCrcErrorOptionAsItStandsNow) {
    for (const bool spoiledFirst : {true, false}) {
        SCOPED_TRACE(spoiledFirst ? "switched off after the send" : "switched on after the send");
        VirtualClock localClock;
        EngineRig local(localClock);
        local.engine.StartLink();
        local.Receive(MakeLinkRequest(127, 1, 1));
        local.Receive(MakeLinkAck(1, 1));
        ASSERT_TRUE(local.engine.IsEstablished());
        local.engine.SetCrcErrorMode(spoiledFirst);
        local.engine.SendNetworkMessage(Builder());
        local.engine.SetCrcErrorMode(!spoiledFirst);
        local.ClearSent();

        local.Receive(MakeLinkAck(1, 2));  // nothing new acknowledged, S(k) = 1: sent again
        const auto frames = local.Sent();
        ASSERT_EQ(frames.size(), 1U);
        EXPECT_EQ(IsGoodFrame(frames[0]), spoiledFirst);
        const auto expected = DestuffFrame(Lt(1, 1));  // the same frame but for the FCS
        ASSERT_EQ(frames[0].size(), expected.size());
        EXPECT_EQ(Hex(std::span(frames[0]).first(expected.size() - 2)),
                  Hex(std::span(expected).first(expected.size() - 2)));
    }
}

// The hand-made test frame is logged as the bytes that went out, spoiled FCS included.
TEST_F(LinkEngineTest, AFrameDumpLogShowsTheBytesWrittenEvenWithASpoiledFcs) {
    class DumpBuilder : public IMessageBuilder {
    public:
        BuiltMessage Build(std::uint8_t ns, std::size_t) const override {
            BuiltMessage built{{kLinkTransfer, ns, 1, 0}, {0xB0, 0x00}, "stale text", true};
            return built;
        }
    };
    BringUp();
    rig.engine.SetCrcErrorMode(true);
    rig.engine.SendNetworkMessage(std::make_shared<DumpBuilder>());
    ASSERT_EQ(rig.port.written.size(), 1U);
    ASSERT_EQ(rig.events.logLines.size(), 1U);
    EXPECT_EQ(rig.events.logLines[0], "TX : " + Hex(rig.port.written[0].bytes) + " ");
    EXPECT_FALSE(IsGoodFrame(rig.port.written[0].bytes));
}

TEST_F(LinkEngineTest, ABuildErrorSendsNothingAndChangesNothing) {
    BringUp();
    auto builder = Builder();
    builder->refuseWith = "'x' is not a valid integer value";
    EXPECT_THROW(rig.engine.SendNetworkMessage(builder), BuildError);
    EXPECT_TRUE(rig.port.written.empty());
    EXPECT_TRUE(rig.events.logLines.empty());
    const auto s = Snap();
    EXPECT_EQ(s.vs, 1);
    EXPECT_EQ(s.sk, 1);
    EXPECT_FALSE(s.timers[kT1].running);
}

TEST_F(LinkEngineTest, AWriteErrorOnASendLeavesTheCountersAlone) {
    BringUp();
    rig.port.writesToFail = 1;
    EXPECT_THROW(rig.engine.SendNetworkMessage(Builder()), std::runtime_error);
    const auto s = Snap();
    EXPECT_EQ(s.vs, 1);
    EXPECT_EQ(s.sk, 1);
    EXPECT_FALSE(s.timers[kT1].running);
    EXPECT_TRUE(rig.events.logLines.empty());
    // The port is back: the next send goes out normally.
    rig.engine.SendNetworkMessage(Builder());
    EXPECT_EQ(rig.port.written.size(), 1U);
    EXPECT_EQ(Snap().vs, 2);
}

TEST_F(LinkEngineTest, AWriteErrorOnTheLinksOwnFramesKeepsTheTimersGoing) {
    rig.port.writesToFail = 3;
    EXPECT_THROW(rig.engine.StartLink(), std::runtime_error);
    EXPECT_TRUE(Snap().timers[kT0].running);  // T0 tries again: a dead port is written every second
    clock.Advance(2000);
    EXPECT_EQ(rig.errors.size(), 2U);
    EXPECT_TRUE(rig.port.written.empty());
    clock.Advance(1000);
    EXPECT_EQ(SentHex(), std::vector<std::string>{kDefaultLr});
}

TEST_F(LinkEngineTest, AFailedRepeatStillCountsAnAttempt) {
    UseFastLineAndLongSupervision();
    BringUp();
    rig.engine.SendNetworkMessage(Builder());
    rig.port.writesToFail = 1;
    clock.Advance(4140);
    EXPECT_EQ(rig.errors.size(), 1U);
    const auto s = Snap();
    EXPECT_EQ(s.c1, 9);
    EXPECT_EQ(s.vs, 2);
    EXPECT_TRUE(s.timers[kT1].running);
    clock.Advance(4140);
    EXPECT_EQ(rig.port.written.size(), 2U);  // the first sending and the second repeat
}

TEST_F(LinkEngineTest, AFailedWaitOnASendStillCountsTheFrame) {
    BringUp();
    rig.port.waitsToFail = 1;
    EXPECT_THROW(rig.engine.SendNetworkMessage(Builder()), std::runtime_error);
    const auto s = Snap();
    EXPECT_EQ(s.vs, 2);
    EXPECT_EQ(s.sk, 0);
    EXPECT_TRUE(s.timers[kT1].running);
    EXPECT_EQ(rig.events.logLines.size(), 1U);
}

TEST_F(LinkEngineTest, WaitsForTheLineBeforeStartingATimer) {
    rig.port.bitsPerSecond = 1200;
    rig.engine.StartLink();
    clock.Advance(3000);
    ASSERT_GE(rig.port.written.size(), 3U);
    EXPECT_EQ(rig.port.written[1].at, 92 + 1000);  // 11 bytes at 1200 bit/s, then T0
    EXPECT_EQ(rig.port.written[2].at, 2 * (92 + 1000));
}

TEST(FakeTimer, FollowsTheRulesOfTheRealTimers) {
    VirtualClock clock;
    FakeTimer timer(clock);
    std::vector<Ms> fired;
    timer.onExpiry = [&] { fired.push_back(clock.Now()); };
    timer.SetInterval(100);
    timer.Start();
    clock.Advance(60);
    timer.Start();           // keeps its remaining time
    timer.SetInterval(100);  // the same value changes nothing
    clock.Advance(40);
    EXPECT_EQ(fired, std::vector<Ms>{100});
    clock.Advance(30);
    timer.SetInterval(50);  // a new value while running: a new full interval
    clock.Advance(49);
    EXPECT_EQ(fired.size(), 1U);
    clock.Advance(1);
    EXPECT_EQ(fired.back(), 180);
    clock.Advance(50);  // not stopped: fires again
    EXPECT_EQ(fired.back(), 230);
    timer.Restart();
    clock.Advance(49);
    EXPECT_EQ(fired.size(), 3U);
    timer.Stop();
    clock.Advance(1000);
    EXPECT_EQ(fired.size(), 3U);
    EXPECT_FALSE(timer.IsRunning());
    timer.SetInterval(70);  // stopped: stays stopped
    clock.Advance(1000);
    EXPECT_EQ(fired.size(), 3U);
}

TEST(FakeTimer, TimersFireInTimeOrder) {
    VirtualClock clock;
    FakeTimer a(clock), b(clock);
    std::string order;
    a.onExpiry = [&] { order += 'a'; };
    b.onExpiry = [&] { order += 'b'; };
    a.SetInterval(30);
    b.SetInterval(20);
    a.Start();
    b.Start();
    clock.Advance(60);
    EXPECT_EQ(order,
              "baba"
              "b");  // b 20, a 30, b 40, a 60 / b 60 in start order
}
