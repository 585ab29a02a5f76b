// The send-when-allowed queue over the link host, against a scripted radio: one message at a
// time, nothing before the radio gives credit, and a message that a restart left unacknowledged
// sent again once the link is back.
#include <stdexcept>
#include <thread>

#include "terminal/tests/HostSender.h"
#include "terminal/tests/TerminalTestSupport.h"

namespace talvane::test {
namespace {

map27::SendRequest Interrogation(std::uint16_t kind) {
    map27::SendRequest r;
    r.sendKind = map27::SendKind::RadioInterrogation;
    r.interrogationKind = kind;
    return r;
}

// N(S) and the interrogation kind of each data frame the radio received.
std::vector<std::pair<int, int>> Sent(const PtyRadio& radio) {
    std::vector<std::pair<int, int>> sent;
    for (const auto& frame : radio.DataFrames()) sent.emplace_back(frame[4], frame[8]);
    return sent;
}

class HostSenderTest : public TerminalTest {};

TEST_F(HostSenderTest, SendsOneAtATimeWithCreditAndAgainAfterARestart) {
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    LinkHost host;
    HostSender sender(host, QStringLiteral("COM1"));
    int handedOver = 0;
    auto run = [&](const std::function<bool()>& done, int timeoutMs = 3000) {
        return WaitUntil(
            [&] {
                sender.Pump();
                return done();
            },
            timeoutMs, &radio);
    };
    host.SetCommPort(0);
    host.OpenPortAndStartLink(true);
    sender.Queue(Interrogation(0), [&] { ++handedOver; });
    sender.Queue(Interrogation(3), [&] { ++handedOver; });

    // Up through link requests only: no credit until the radio's first acknowledgement.
    ASSERT_TRUE(run([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }));
    radio.SendLinkRequest();
    ASSERT_TRUE(run([&] { return host.Snapshot().state == map27::LinkState::Confirm; }));
    radio.SendLinkRequest();
    ASSERT_TRUE(run([&] { return host.IsEstablished(); }));
    run([] { return false; }, 300);
    EXPECT_TRUE(radio.DataFrames().empty());

    radio.SendLinkAck(1, 1);
    ASSERT_TRUE(run([&] { return radio.DataFrames().size() == 1; }));
    EXPECT_FALSE(run([&] { return radio.DataFrames().size() > 1; }, 300)) << "one at a time";

    // The radio restarts the link before it acknowledges: the message goes again.
    radio.SendLinkRequest();
    ASSERT_TRUE(run([&] { return host.Snapshot().state == map27::LinkState::Confirm; }));
    radio.SendLinkAck(1, 1);
    ASSERT_TRUE(run([&] { return radio.DataFrames().size() == 2; }));
    EXPECT_EQ(sender.Restarts(), 1U);

    radio.SendLinkAck(2, 1);
    ASSERT_TRUE(run([&] { return radio.DataFrames().size() == 3; }));
    radio.SendLinkAck(3, 1);
    ASSERT_TRUE(run([&] { return sender.Waiting() == 0; }));
    EXPECT_EQ(Sent(radio), (std::vector<std::pair<int, int>>{{1, 0}, {1, 0}, {2, 3}}));
    EXPECT_EQ(handedOver, 2);
    EXPECT_EQ(sender.Refused(), 0U);
}

// What a frame brings the window comes in one turn of its event loop; an item that fails there is
// reported, and the items behind it still arrive.
TEST_F(HostSenderTest, ItemsBehindOneThatFailsOnTheUiThreadStillArrive) {
    // The real box, as the operator meets it.
    SetMessageBoxHook({});
    BoxCloser boxes;
    PtyRadio radio;
    WritePorts(radio.SlavePath(), "");
    LinkHost host;
    QStringList logged;
    QObject::connect(&host, &LinkHost::LogLine, [&](const QString& line) { logged << line; });
    QObject::connect(&host, &LinkHost::ReceivedNs,
                     [](int) { throw std::runtime_error("the window failed"); });
    host.SetCommPort(0);
    host.OpenPortAndStartLink(true);
    ASSERT_TRUE(
        WaitUntil([&] { return radio.CountOfType(map27::kLinkRequest) >= 1; }, 3000, &radio));
    radio.SendLinkRequest();
    radio.SendLinkRequest();
    ASSERT_TRUE(WaitUntil([&] { return host.IsEstablished(); }, 3000, &radio));

    const std::uint8_t status[] = {0x80, 0x08, 0x07, 0xD1, 0x00, 0x02};
    radio.SendData(1, status);
    // The link thread takes the frame while the UI thread is busy: N(S) and the log line wait in
    // one batch, N(S) first.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(WaitUntil([&] { return logged.filter(QStringLiteral("RX : ")).size() == 1; }, 3000,
                          &radio));
    EXPECT_TRUE(WaitUntil([&] { return !boxes.texts.empty(); }));
    EXPECT_EQ(boxes.texts, std::vector<QString>{QStringLiteral("the window failed")});
}

}  // namespace
}  // namespace talvane::test
