// The radiosim program on a real pseudo-terminal against Talvane27's link host (LinkHost over
// THComm, COM1 mapped to radiosim's device), without the windows: link-up, the five
// interrogations, acknowledgements, a long data call, a burst of faults, and a port closed and
// opened again while the radio plays on.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "map27/capture/WireCapture.h"
#include "map27/link/FrameCodec.h"
#include "radiosim/tests/RadiosimProcess.h"
#include "terminal/tests/HostSender.h"
#include "terminal/tests/TerminalTestSupport.h"

namespace talvane::test {
namespace {

using radiosim::test::RadiosimProcess;

map27::SendRequest Request(int kind) {
    map27::SendRequest r;
    r.sendKind = kind;
    return r;
}

std::size_t Count(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

// The terminal's link host on COM1, with what it reports kept as the windows would show it.
struct TerminalSide {
    explicit TerminalSide(RadiosimProcess& radio) : radio_(radio) {
        QObject::connect(&host, &LinkHost::LogLine,
                         [this](const QString& line) { log.push_back(line.toStdString()); });
        QObject::connect(&host, &LinkHost::LinkStatusChanged,
                         [this](const QString& text) { statuses.push_back(text.toStdString()); });
        QObject::connect(&host, &LinkHost::ErrorOccurred,
                         [this](const QString& text) { errors.push_back(text.toStdString()); });
        map27::LinkParameterTexts texts;
        texts.n1 = "15";  // T1 of 556 ms at 9600 bit/s keeps the repeats quick
        texts.t0 = "300";
        host.SetCommPort(0);
        host.SetSpeed1200(false);
        host.SetParameters(texts, false);
        host.OpenPortAndStartLink(true);
    }

    // Runs the event loop, reads radiosim's output and lets the sender send, until done() holds.
    bool Run(const std::function<bool()>& done, int timeoutMs) {
        return WaitUntil(
            [&] {
                radio_.Drain();
                sender.Pump();
                return done();
            },
            timeoutMs);
    }

    std::size_t RxCount() const {
        return static_cast<std::size_t>(std::count_if(
            log.begin(), log.end(), [](const std::string& l) { return l.rfind("RX : ", 0) == 0; }));
    }

    RadiosimProcess& radio_;
    LinkHost host;
    HostSender sender{host, QStringLiteral("COM1")};
    std::vector<std::string> log, statuses, errors;
};

class LinkHostAgainstRadiosim : public TerminalTest {};

TEST_F(LinkHostAgainstRadiosim, TerminalLinkAndNetworkAgainstTheSimulatedRadio) {
    RadiosimProcess radio({"--n1", "15", "--t0", "300"});
    ASSERT_TRUE(radio.Started());
    const std::string path = radio.FirstLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0U) << radio.Output();
    struct stat node {};
    ASSERT_EQ(::stat(path.c_str(), &node), 0);
    WritePorts(path, "");

    auto terminal = std::make_unique<TerminalSide>(radio);
    HostSender& sender = terminal->sender;
    std::vector<std::string>& log = terminal->log;
    ASSERT_TRUE(terminal->Run([&] { return terminal->host.IsEstablished(); }, 3000))
        << radio.Output();

    // The five interrogations.
    for (std::uint16_t kind = 0; kind < 5; ++kind) {
        map27::SendRequest r = Request(map27::SendKind::RadioInterrogation);
        r.interrogationKind = kind;
        sender.Queue(r);
    }
    ASSERT_TRUE(terminal->Run([&] { return terminal->RxCount() >= 5; }, 4000)) << radio.Output();
    std::vector<std::string> answers;
    for (const auto& l : log)
        if (l.rfind("RX : ", 0) == 0) answers.push_back(l);
    EXPECT_EQ(
        answers,
        (std::vector<std::string>{
            "RX : Radio personality Response  PFIX:008  ID:2001  Manufacturer's code:42  "
            "Model:3  Serial:100000  Sa:FE   Sb:00   Sc:00   CODINGS:86 ",
            "RX : Numbering Information : Radio Unit = 8-2001  Individual number base IDENT = "
            "1  Highest individual IDENT = 2000  Group number base IDENT = 100  Highest group "
            "IDENT = 200  Radio unit group address = 8-101, 16-800, ",
            "RX : Radio Settings  Sa:FC   Sb:00   Sc:00   CODINGS:84 ",
            "RX : OPERATING CONDITION  Conditions:04  Field Strength:1F  MCDT:05 ",
            "RX : B5    Network Information : Radio channel number = 300, System identity "
            "code = 4660",
        }));

    // A status call is acknowledged for the party it was sent to.
    sender.Queue(Request(map27::SendKind::StatusCall));
    const std::string ack = "RX : C0-00 ACK:Successful Transaction    PFIX:008  ID:2001";
    ASSERT_TRUE(terminal->Run([&] { return Count(log, ack) == 1; }, 3000)) << radio.Output();

    // A Data Call of 100 characters arrives intact: radiosim shows it and sends it back.
    radio.Command("echo on");
    ASSERT_TRUE(terminal->Run(
        [&] { return radio.Output().find("echo of data calls on") != std::string::npos; }, 2000));
    std::string text;
    for (int i = 0; i < 100; ++i) text += static_cast<char>('!' + (i * 7) % 90);
    map27::SendRequest data = Request(map27::SendKind::DataCall);
    data.dataText = text;
    sender.Queue(data);
    const std::string echoed = "RX : Receive MST  PFIX:008  ID:2001  Data(7bit ASCII):" + text;
    ASSERT_TRUE(terminal->Run([&] { return Count(log, echoed) == 1; }, 4000)) << radio.Output();
    EXPECT_NE(
        radio.Output().find("Send MST to 008/2001 7-bit (100 bytes): \"" + text.substr(0, 20)),
        std::string::npos);
    EXPECT_EQ(Count(log, ack), 2U);
    radio.Command("echo off");

    // A burst of faults from the radio while both sides send: the link stays up and every
    // message arrives exactly once, in order.
    const std::size_t statusesBefore = terminal->statuses.size();
    const char* burst[] = {"corrupt",          "status 008 2001 1", "drop",    "status 008 2001 2",
                           "sequence",         "status 008 2001 3", "corrupt", "drop",
                           "status 008 2001 4"};
    for (const char* command : burst) {
        radio.Command(command);
        sender.Queue(Request(map27::SendKind::StatusCall));
        terminal->Run([] { return false; }, 150);
    }
    auto received = [](int status) {
        return "RX : 80    Receive Status                PFIX:008  ID:2001  Status:" +
               std::to_string(status);
    };
    ASSERT_TRUE(terminal->Run(
        [&] {
            return Count(log, received(4)) == 1 && sender.Waiting() == 0 &&
                   Count(log, ack) == 2 + std::size(burst);
        },
        12000))
        << radio.Output();
    terminal->Run([] { return false; }, 300);  // anything repeated would show now
    std::vector<std::string> statusLines;
    for (const auto& l : log)
        if (l.find("Receive Status") != std::string::npos) statusLines.push_back(l);
    EXPECT_EQ(statusLines,
              (std::vector<std::string>{received(1), received(2), received(3), received(4)}));
    EXPECT_EQ(Count(log, ack), 2 + std::size(burst));
    EXPECT_EQ(terminal->statuses.size(), statusesBefore) << "the link went down";
    EXPECT_EQ(sender.Restarts(), 0U);
    EXPECT_TRUE(terminal->host.IsEstablished());
    EXPECT_TRUE(terminal->errors.empty()) << terminal->errors.front();
    EXPECT_NE(radio.Output().find("FCS BAD"), std::string::npos);
    EXPECT_NE(radio.Output().find("(fault: dropped)"), std::string::npos);

    // The terminal closes its port, then the radio ends; its pseudo-terminal goes with it.
    terminal.reset();
    radio.Command("quit");
    const int status = radio.Wait();
    if (std::getenv("RADIOSIM_TRACE"))
        std::fputs(radio.Output().c_str(), stderr);  // to look at the run
    ASSERT_NE(status, -1) << "radiosim did not end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(radiosim::test::PtyGone(path, node)) << path << " is still there";
}

TEST_F(LinkHostAgainstRadiosim, StaysUpWhileTheTerminalClosesAndOpensItsPort) {
    RadiosimProcess radio({"--n1", "15", "--t0", "300"});
    ASSERT_TRUE(radio.Started());
    const std::string path = radio.FirstLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0U) << radio.Output();
    WritePorts(path, "");
    for (int round = 0; round < 3; ++round) {
        {
            TerminalSide terminal(radio);
            ASSERT_TRUE(terminal.Run([&] { return terminal.host.IsEstablished(); }, 3000))
                << "round " << round << "\n"
                << radio.Output();
            map27::SendRequest r = Request(map27::SendKind::RadioInterrogation);
            r.interrogationKind = 3;
            terminal.sender.Queue(r);
            const std::string answer =
                "RX : OPERATING CONDITION  Conditions:04  Field Strength:1F  MCDT:05 ";
            ASSERT_TRUE(terminal.Run([&] { return Count(terminal.log, answer) == 1; }, 3000))
                << "round " << round;
            EXPECT_TRUE(terminal.errors.empty()) << terminal.errors.front();
        }
        ::usleep(200000);  // the port stays closed for a while; the radio goes on alone
        int status = 0;
        ASSERT_EQ(::waitpid(radio.Pid(), &status, WNOHANG), 0) << "radiosim ended, round " << round;
    }
    radio.Command("quit");
    EXPECT_NE(radio.Wait(), -1);
}

TEST_F(LinkHostAgainstRadiosim, RadiosimCapturesEveryFrameOnTheLineBothWays) {
    const std::string capturePath = ::testing::TempDir() + "radiosim-capture.txt";
    std::remove(capturePath.c_str());
    RadiosimProcess radio({"--n1", "15", "--t0", "300", "--capture", capturePath});
    ASSERT_TRUE(radio.Started());
    const std::string path = radio.FirstLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0U) << radio.Output();
    WritePorts(path, "");
    {
        TerminalSide terminal(radio);
        const std::string ack = "RX : C0-00 ACK:Successful Transaction    PFIX:008  ID:2001";
        terminal.sender.Queue(Request(map27::SendKind::StatusCall));
        ASSERT_TRUE(terminal.Run([&] { return Count(terminal.log, ack) == 1; }, 4000))
            << radio.Output();
    }
    radio.Command("quit");
    ASSERT_NE(radio.Wait(), -1);

    // Every line reads back; the terminal's status call went T>R and the radio's answer R>T.
    std::ifstream file(capturePath);
    std::vector<map27::CaptureRecord> records;
    for (std::string line, error; std::getline(file, line);) {
        const auto record = map27::ParseCaptureLine(line, error);
        ASSERT_TRUE(record) << line << ": " << error;
        records.push_back(*record);
    }
    auto sent = [&](map27::WireDirection direction, std::uint8_t messageType) {
        return std::count_if(records.begin(), records.end(), [&](const map27::CaptureRecord& r) {
            const auto frame = map27::DestuffFrame(r.bytes);
            return r.direction == direction && !r.bad && frame[3] == map27::kLinkTransfer &&
                   map27::FrameMessage(frame)[0] == messageType;
        });
    };
    EXPECT_GE(std::count_if(records.begin(), records.end(),
                            [](const map27::CaptureRecord& r) {
                                return r.direction == map27::WireDirection::TerminalToRadio &&
                                       r.bytes[3] == map27::kLinkRequest;
                            }),
              1);
    EXPECT_EQ(sent(map27::WireDirection::TerminalToRadio, 0x80), 1);
    EXPECT_EQ(sent(map27::WireDirection::RadioToTerminal, 0xC0), 1);
    std::remove(capturePath.c_str());

    RadiosimProcess refused({"--capture", ::testing::TempDir() + "no-such-folder/capture.txt"});
    const int status = refused.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_EQ(refused.Output().rfind("radiosim: Cannot open the capture file ", 0), 0U)
        << refused.Output();
}

}  // namespace
}  // namespace talvane::test
