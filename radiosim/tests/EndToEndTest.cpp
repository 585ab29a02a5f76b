// The radiosim program on a real pseudo-terminal against the terminal's own link engine and
// network layer (no windows), driven by the same LinkRunner: link-up, the five interrogations,
// acknowledgements, a long data call, a burst of faults, and clean exits.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "FrameCodec.h"
#include "LinkEngine.h"
#include "LinkRunner.h"
#include "Network.h"
#include "PseudoTerminal.h"
#include "WireCapture.h"

extern char** environ;

using namespace radiosim;
using namespace std::chrono_literals;

namespace {

// radiosim as a child process: commands through a pipe to its standard input, its output read back.
class RadiosimProcess {
public:
    explicit RadiosimProcess(std::vector<std::string> args) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
        args.insert(args.begin(), RADIOSIM_PROGRAM);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, RADIOSIM_PROGRAM, &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        toChild_ = UniqueFd(in[1]);
        fromChild_ = UniqueFd(out[0]);
        ::fcntl(fromChild_.get(), F_SETFL, O_NONBLOCK);
    }
    ~RadiosimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    int OutputFd() const { return fromChild_.get(); }

    // Takes what the program printed so far.
    void Drain() {
        char buffer[4096];
        for (ssize_t n; (n = ::read(fromChild_.get(), buffer, sizeof buffer)) > 0;)
            output_.append(buffer, static_cast<std::size_t>(n));
    }
    const std::string& Output() const { return output_; }

    // The first line: the pseudo-terminal's path.
    std::string FirstLine(std::chrono::milliseconds timeout = 3000ms) {
        const auto deadline = Clock::now() + timeout;
        while (output_.find('\n') == std::string::npos && Clock::now() < deadline) {
            pollfd p{fromChild_.get(), POLLIN, 0};
            ::poll(&p, 1, 50);
            Drain();
        }
        const auto end = output_.find('\n');
        return end == std::string::npos ? std::string() : output_.substr(0, end);
    }

    void Command(const std::string& line) {
        const std::string text = line + "\n";
        ASSERT_EQ(::write(toChild_.get(), text.data(), text.size()),
                  static_cast<ssize_t>(text.size()));
    }
    void CloseInput() { toChild_ = UniqueFd(); }

    // Waits for the exit; returns the wait status, or -1 when it did not end in time.
    int Wait(std::chrono::milliseconds timeout = 3000ms) {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            Drain();
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return status;
            }
            ::usleep(5000);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    UniqueFd toChild_, fromChild_;
    std::string output_;
};

// The terminal's side: its link engine and network decoder, as Talvane27 runs them.
class TerminalEvents : public map27::ILinkSessionEvents {
public:
    void OnLinkStatus(const std::string& panelText) override { statuses.push_back(panelText); }
    void OnLinkTimes(const std::string&, const std::string&) override {}
    void OnLogLine(const std::string& line) override { log.push_back(line); }
    void OnReceivedNs(std::uint8_t) override {}
    void OnDataFrame(std::span<const std::uint8_t> message) override {
        log.push_back("RX : " + map27::DecodeIncomingMessage(message).body);
    }
    void OnParameterError(const std::string& message) override {
        log.push_back("parameter error: " + message);
    }
    void OnMessageBuilt(const map27::BuiltMessage&, bool) override {}

    std::vector<std::string> log, statuses;
};

std::size_t Count(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> children;
    DIR* proc = ::opendir("/proc");
    if (!proc) return children;
    while (dirent* e = ::readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent)
            children.push_back(std::stoi(e->d_name));
    }
    ::closedir(proc);
    return children;
}

// The kernel removes a pseudo-terminal's node shortly after its last close, and another program
// may open a new one under the same number: a node made at another time is not ours.
bool PtyGone(const std::string& path, const struct stat& ours) {
    const auto deadline = Clock::now() + 1000ms;
    do {
        struct stat now {};
        if (::stat(path.c_str(), &now) != 0) return true;
        if (now.st_ctim.tv_sec != ours.st_ctim.tv_sec ||
            now.st_ctim.tv_nsec != ours.st_ctim.tv_nsec)
            return true;
        ::usleep(10000);
    } while (Clock::now() < deadline);
    return false;
}

map27::SendRequest Request(int kind) {
    map27::SendRequest r;
    r.sendKind = kind;
    return r;
}

// The terminal's port, link session and network layer on a LinkRunner.
struct TerminalSide {
    TerminalSide(const std::string& path, RadiosimProcess& radio)
        : port(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)),
          runner(port.get(), true),
          session(runner.Port(), runner.Timers(), events),
          engine(session.Engine()),
          sender(engine) {
        termios tio{};
        ::tcgetattr(port.get(), &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(port.get(), TCSANOW, &tio);
        map27::LinkParameterTexts texts;
        texts.n1 = "15";  // T1 of 556 ms at 9600 bit/s keeps the repeats quick
        texts.t0 = "300";
        engine.SetParameterTexts(texts);
        engine.SetSpeed1200(false);
        runner.Attach(session);
        runner.afterOperation = [this] { sender.Pump(); };
        runner.Watch(radio.OutputFd(), [&radio] { radio.Drain(); });
    }

    UniqueFd port;
    LinkRunner runner;
    TerminalEvents events;
    map27::LinkSession session;
    map27::LinkEngine& engine;
    MessageSender sender;
};

TEST(RadiosimEndToEnd, TerminalLinkAndNetworkAgainstTheSimulatedRadio) {
    RadiosimProcess radio({"--n1", "15", "--t0", "300"});
    ASSERT_TRUE(radio.Started());
    const std::string path = radio.FirstLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0U) << radio.Output();

    TerminalSide terminal(path, radio);
    ASSERT_TRUE(terminal.port) << path;
    struct stat node {};
    ASSERT_EQ(::fstat(terminal.port.get(), &node), 0);
    LinkRunner& runner = terminal.runner;
    TerminalEvents& events = terminal.events;
    map27::LinkEngine& engine = terminal.engine;
    MessageSender& sender = terminal.sender;
    auto run = [&](const std::function<bool()>& done, std::chrono::milliseconds limit) {
        return runner.RunUntil(done, Clock::now() + limit);
    };
    auto rxCount = [&] {
        return std::count_if(events.log.begin(), events.log.end(),
                             [](const std::string& l) { return l.rfind("RX : ", 0) == 0; });
    };

    runner.Operate([&] { engine.StartLink(); });
    ASSERT_TRUE(run([&] { return engine.IsEstablished(); }, 3000ms)) << radio.Output();

    // The five interrogations.
    for (std::uint16_t kind = 0; kind < 5; ++kind) {
        map27::SendRequest r = Request(map27::SendKind::RadioInterrogation);
        r.interrogationKind = kind;
        sender.Queue(map27::MakeMessageBuilder(r));
    }
    runner.Operate([] {});
    ASSERT_TRUE(run([&] { return rxCount() >= 5; }, 4000ms)) << radio.Output();
    std::vector<std::string> answers;
    for (const auto& l : events.log)
        if (l.rfind("RX : ", 0) == 0) answers.push_back(l);
    EXPECT_EQ(
        answers,
        (std::vector<std::string>{
            "RX : Radio personality Response  PFIX:008  ID:2001  Manufacturer's code:42  Model:3  "
            "Serial:100000  Sa:FE   Sb:00   Sc:00   CODINGS:86 ",
            "RX : Numbering Information : Radio Unit = 8-2001  Individual number base IDENT = 1  "
            "Highest individual IDENT = 2000  Group number base IDENT = 100  Highest group IDENT = "
            "200  "
            "Radio unit group address = 8-101, 16-800, ",
            "RX : Radio Settings  Sa:FC   Sb:00   Sc:00   CODINGS:84 ",
            "RX : OPERATING CONDITION  Conditions:04  Field Strength:1F  MCDT:05 ",
            "RX : B5    Network Information : Radio channel number = 300, System identity code = "
            "4660",
        }));

    // A status call is acknowledged for the party it was sent to.
    sender.Queue(map27::MakeMessageBuilder(Request(map27::SendKind::StatusCall)));
    runner.Operate([] {});
    const std::string ack = "RX : C0-00 ACK:Successful Transaction    PFIX:008  ID:2001";
    ASSERT_TRUE(run([&] { return Count(events.log, ack) == 1; }, 3000ms)) << radio.Output();

    // A Data Call of 100 characters arrives intact: radiosim shows it and sends it back.
    radio.Command("echo on");
    ASSERT_TRUE(run(
        [&] { return radio.Output().find("echo of data calls on") != std::string::npos; }, 2000ms));
    std::string text;
    for (int i = 0; i < 100; ++i) text += static_cast<char>('!' + (i * 7) % 90);
    map27::SendRequest data = Request(map27::SendKind::DataCall);
    data.dataText = text;
    sender.Queue(map27::MakeMessageBuilder(data));
    runner.Operate([] {});
    const std::string echoed = "RX : Receive MST  PFIX:008  ID:2001  Data(7bit ASCII):" + text;
    ASSERT_TRUE(run([&] { return Count(events.log, echoed) == 1; }, 4000ms)) << radio.Output();
    EXPECT_NE(
        radio.Output().find("Send MST to 008/2001 7-bit (100 bytes): \"" + text.substr(0, 20)),
        std::string::npos);
    EXPECT_EQ(Count(events.log, ack), 2U);
    radio.Command("echo off");

    // A burst of faults from the radio while both sides send: the link stays up and every
    // message arrives exactly once, in order.
    const std::size_t statusesBefore = events.statuses.size();
    const char* burst[] = {"corrupt",          "status 008 2001 1", "drop",    "status 008 2001 2",
                           "sequence",         "status 008 2001 3", "corrupt", "drop",
                           "status 008 2001 4"};
    for (const char* command : burst) {
        radio.Command(command);
        sender.Queue(map27::MakeMessageBuilder(Request(map27::SendKind::StatusCall)));
        runner.Operate([] {});
        run({}, 150ms);
    }
    auto received = [&](int status) {
        return "RX : 80    Receive Status                PFIX:008  ID:2001  Status:" +
               std::to_string(status);
    };
    ASSERT_TRUE(run(
        [&] {
            return Count(events.log, received(4)) == 1 && sender.Waiting() == 0 &&
                   Count(events.log, ack) == 2 + std::size(burst);
        },
        12000ms))
        << radio.Output();
    run({}, 300ms);  // anything repeated would show now
    std::vector<std::string> statusLines;
    for (const auto& l : events.log)
        if (l.find("Receive Status") != std::string::npos) statusLines.push_back(l);
    EXPECT_EQ(statusLines,
              (std::vector<std::string>{received(1), received(2), received(3), received(4)}));
    EXPECT_EQ(Count(events.log, ack), 2 + std::size(burst));
    EXPECT_EQ(events.statuses.size(), statusesBefore) << "the link went down";
    EXPECT_TRUE(engine.IsEstablished());
    EXPECT_NE(radio.Output().find("FCS BAD"), std::string::npos);
    EXPECT_NE(radio.Output().find("(fault: dropped)"), std::string::npos);

    radio.Command("quit");
    const int status = radio.Wait();
    if (std::getenv("RADIOSIM_TRACE"))
        std::fputs(radio.Output().c_str(), stderr);  // to look at the run
    ASSERT_NE(status, -1) << "radiosim did not end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    terminal.port = UniqueFd();
    EXPECT_TRUE(PtyGone(path, node)) << path << " is still there";
}

TEST(RadiosimEndToEnd, StaysUpWhileTheTerminalClosesAndOpensItsPort) {
    RadiosimProcess radio({"--n1", "15", "--t0", "300"});
    ASSERT_TRUE(radio.Started());
    const std::string path = radio.FirstLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0U) << radio.Output();
    for (int round = 0; round < 3; ++round) {
        {
            TerminalSide terminal(path, radio);
            ASSERT_TRUE(terminal.port) << "round " << round;
            terminal.runner.Operate([&] { terminal.engine.StartLink(); });
            ASSERT_TRUE(terminal.runner.RunUntil([&] { return terminal.engine.IsEstablished(); },
                                                 Clock::now() + 3s))
                << "round " << round << "\n"
                << radio.Output();
            map27::SendRequest r = Request(map27::SendKind::RadioInterrogation);
            r.interrogationKind = 3;
            terminal.sender.Queue(map27::MakeMessageBuilder(r));
            terminal.runner.Operate([] {});
            const std::string answer =
                "RX : OPERATING CONDITION  Conditions:04  Field Strength:1F  MCDT:05 ";
            ASSERT_TRUE(terminal.runner.RunUntil(
                [&] { return Count(terminal.events.log, answer) == 1; }, Clock::now() + 3s))
                << "round " << round;
        }
        ::usleep(200000);  // the port stays closed for a while; the radio goes on alone
        int status = 0;
        ASSERT_EQ(::waitpid(radio.Pid(), &status, WNOHANG), 0) << "radiosim ended, round " << round;
    }
    radio.Command("quit");
    EXPECT_NE(radio.Wait(), -1);
}

TEST(RadiosimEndToEnd, StartsAndStopsCleanlyTwentyTimes) {
    for (int i = 0; i < 20; ++i) {
        RadiosimProcess radio({"--quiet"});
        ASSERT_TRUE(radio.Started());
        const std::string path = radio.FirstLine();
        ASSERT_EQ(path.rfind("/dev/pts/", 0), 0U) << radio.Output();
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
        switch (i % 3) {
            case 0:
                radio.Command("quit");
                break;
            case 1:
                ::kill(radio.Pid(), SIGTERM);
                break;
            default:  // no more commands: it plays on until it is told to stop
                radio.CloseInput();
                ::usleep(20000);
                ASSERT_EQ(::waitpid(radio.Pid(), nullptr, WNOHANG), 0)
                    << "ended at the end of its input";
                ::kill(radio.Pid(), SIGINT);
                break;
        }
        const int status = radio.Wait();
        ASSERT_NE(status, -1) << "radiosim did not end, round " << i;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "round " << i << " status " << status;
        EXPECT_TRUE(PtyGone(path, st)) << path << " is left behind, round " << i;
    }
    EXPECT_TRUE(ChildrenOf(::getpid()).empty());
}

TEST(RadiosimEndToEnd, RefusesBadOptionsWithAMessage) {
    RadiosimProcess radio({"--n1", "lots"});
    ASSERT_TRUE(radio.Started());
    const int status = radio.Wait();
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
    EXPECT_EQ(
        radio.Output().rfind(
            "radiosim: --n1: 'lots' is not a number\nusage: radiosim [DEVICE] [options]\n", 0),
        0U)
        << radio.Output();
}

TEST(RadiosimEndToEnd, CapturesEveryFrameOnTheLineBothWays) {
    const std::string capturePath = ::testing::TempDir() + "radiosim-capture.txt";
    std::remove(capturePath.c_str());
    RadiosimProcess radio({"--n1", "15", "--t0", "300", "--capture", capturePath});
    ASSERT_TRUE(radio.Started());
    const std::string path = radio.FirstLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0U) << radio.Output();
    TerminalSide terminal(path, radio);
    terminal.runner.Operate([&] { terminal.engine.StartLink(); });
    const std::string ack = "RX : C0-00 ACK:Successful Transaction    PFIX:008  ID:2001";
    terminal.sender.Queue(map27::MakeMessageBuilder(Request(map27::SendKind::StatusCall)));
    ASSERT_TRUE(terminal.runner.RunUntil([&] { return Count(terminal.events.log, ack) == 1; },
                                         Clock::now() + 4000ms))
        << radio.Output();
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
