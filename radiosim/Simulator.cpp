#include "radiosim/Simulator.h"

#include <sys/time.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <utility>

#include "map27/link/FrameCodec.h"
#include "map27/network/Network.h"
#include "text/HexFormat.h"
#include "text/QuotedToken.h"

namespace radiosim {

std::string TimeStamp() {
    timeval tv{};
    ::gettimeofday(&tv, nullptr);
    std::tm local{};
    ::localtime_r(&tv.tv_sec, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(tv.tv_usec / 1000));
    return text;
}

class Simulator::Events : public map27::ILinkSessionEvents {
public:
    explicit Events(Simulator& sim) : sim_(sim) {}
    void OnLinkStatus(const std::string& panelText) override {
        const bool up = panelText.find("OK") != std::string::npos;
        if (up) ++sim_.stats_.linkUps;
        if (wasUp_ && !up) sim_.DropQueued("the link went down");
        wasUp_ = up;
        if (panelText == last_) return;
        last_ = panelText;
        sim_.print_(TimeStamp() + " link " +
                    (up ? "up" : "down: waiting for the terminal's link request"));
    }
    void OnLinkTimes(const std::string&, const std::string&) override {}
    void OnLogLine(const std::string& line) override {
        if (line.rfind("TX : ", 0) == 0) return;  // the frame trace shows what went out
        if (!sim_.options_.quiet) sim_.print_(TimeStamp() + " link: " + line);
    }
    void OnReceivedNs(std::uint8_t) override {}
    void OnDataFrame(std::span<const std::uint8_t> message) override {
        sim_.OnMessageFromTerminal(message);
    }
    void OnParameterError(const std::string& message) override { sim_.print_("error: " + message); }
    void OnMessageBuilt(const map27::BuiltMessage&, bool isRepeat) override {
        if (isRepeat) ++sim_.stats_.repeats;
    }
    bool OnFrameReceived(std::span<const std::uint8_t> frame) override {
        return sim_.OnReceived(frame);
    }

private:
    Simulator& sim_;
    std::string last_;
    bool wasUp_ = false;
};

Simulator::Simulator(const Options& options, LinkRunner& runner,
                     std::function<void(const std::string&)> print)
    : options_(options),
      runner_(runner),
      print_(std::move(print)),
      radio_(options.personality),
      faultRandom_(options.faultSeed) {
    radio_.SetEcho(options.echo);
    events_ = std::make_unique<Events>(*this);
    session_ = std::make_unique<map27::LinkSession>(runner_.Port(), runner_.Timers(), *events_);
    map27::LinkParameterTexts texts = options_.timers;
    texts.n1 = std::to_string(options_.n1);
    session_->SetParameterTexts(texts);
    session_->SetWindowAndVersion(options_.k, options_.version);
    session_->SetSpeed1200(options_.speed1200);
    session_->SetArFunctionEnabled(true);  // a frame that asks for it is acknowledged at once
    sender_ = std::make_unique<MessageSender>(session_->Engine());
    sender_->onError = [this](const std::string& what) {
        print_("error: message not sent: " + what);
    };

    runner_.Attach(*session_);
    runner_.afterOperation = [this] { sender_->Pump(); };
    runner_.onError = [this](const std::string& what) { print_(TimeStamp() + " error: " + what); };
    runner_.onFrameSending = [this](Bytes& frame) { return OnSending(frame); };
    runner_.onFrameSent = [this](std::span<const std::uint8_t> frame) {
        Capture(map27::WireDirection::RadioToTerminal, frame);
        Trace("R>T", frame);
    };
}

Simulator::~Simulator() {
    runner_.afterOperation = nullptr;
    runner_.onFrameSending = nullptr;
    runner_.onFrameSent = nullptr;
    runner_.onError = nullptr;
}

void Simulator::Start() {
    runner_.Operate([this] { session_->StartLink(); });
}

void Simulator::Trace(const char* direction, std::span<const std::uint8_t> frame) {
    if (options_.quiet) return;
    const FrameView view = ViewFrame(frame);
    std::string line = TimeStamp() + " " + direction + " " + DescribeLinkHeader(view);
    if (view.wellFormed && view.type == 4) {
        if (direction[0] == 'R')
            line += "  [RX : " + map27::DecodeIncomingMessage(view.message).body + "]";
        else
            line += "  [" + DescribeTerminalMessage(view.message) + "]";
    }
    print_(line + "  " + text::HexBytesSpaced(frame));
}

void Simulator::Capture(map27::WireDirection direction, std::span<const std::uint8_t> frame) {
    if (!capture_) return;
    const map27::CaptureRecord record{map27::LocalCaptureTime(std::chrono::system_clock::now()),
                                      direction, Bytes(frame.begin(), frame.end()),
                                      !map27::IsGoodFrame(map27::DestuffFrame(frame))};
    if (const auto failure = capture_->Write(record)) print_("error: " + *failure);
}

bool Simulator::OnReceived(std::span<const std::uint8_t> frame) {
    // On the line even while the radio does not listen.
    Capture(map27::WireDirection::TerminalToRadio, frame);
    if (Clock::now() < silentUntil_) {
        if (!options_.quiet)
            print_(TimeStamp() + " T>R (silent, not heard) " + text::HexBytesSpaced(frame));
        return false;
    }
    ++stats_.framesHeard;
    Trace("T>R", frame);
    // A terminal that asks for a link while it is up is a new session (the program that had the
    // port may have ended): nothing queued for the old one is meant for it.
    const FrameView view = ViewFrame(frame);
    if (view.wellFormed && view.fcsGood && view.type == map27::kLinkRequest &&
        session_->IsEstablished())
        DropQueued("the terminal asked for a new link");
    return true;
}

void Simulator::DropQueued(const char* why) {
    const std::size_t dropped = sender_->Clear();
    if (dropped > 0)
        print_(TimeStamp() + " " + std::to_string(dropped) +
               (dropped == 1 ? " message" : " messages") + " for the terminal dropped: " + why);
}

bool Simulator::DrawFault(std::uint32_t per10000) {
    if (per10000 == 0) return false;
    return faultRandom_() % 10000U < per10000;
}

bool Simulator::OnSending(Bytes& frame) {
    if (Clock::now() < silentUntil_) {
        if (!options_.quiet)
            print_(TimeStamp() + " R>T (silent, not sent) " + text::HexBytesSpaced(frame));
        return false;
    }
    // Both draws are made for every frame, so the faults a seed gives do not depend on each other.
    const bool randomCorrupt = DrawFault(options_.corruptPer10000);
    const bool randomDrop = DrawFault(options_.dropPer10000);
    if (dropNext_ || randomDrop) {
        // The operator's own faults are confirmed even when the trace is off.
        const bool asked = std::exchange(dropNext_, false);
        ++stats_.dropped;
        if (asked || !options_.quiet)
            print_(TimeStamp() + " R>T (fault: dropped) " + DescribeLinkHeader(ViewFrame(frame)) +
                   "  " + text::HexBytesSpaced(frame));
        return false;
    }
    if (sequenceNext_) {
        const FrameView view = ViewFrame(frame);
        if (view.wellFormed && view.type == 4) {
            sequenceNext_ = false;
            const auto wrong = static_cast<std::uint8_t>(view.fields[0] + 1);
            if (auto changed = WithSequenceNumber(frame, wrong)) frame = std::move(*changed);
            print_(TimeStamp() + " fault: the next data frame goes out with N(S) " +
                   std::to_string(wrong) + " instead of " + std::to_string(view.fields[0]));
        }
    }
    if ((corruptNext_ || randomCorrupt) && frame.size() >= 2) {
        const bool asked = std::exchange(corruptNext_, false);
        ++stats_.corrupted;
        frame.back() = static_cast<std::uint8_t>(frame.back() ^ 0x5A);
        if (asked || !options_.quiet)
            print_(TimeStamp() + " fault: the next frame goes out with a wrong FCS");
    }
    ++stats_.framesSent;
    return true;
}

void Simulator::OnMessageFromTerminal(std::span<const std::uint8_t> message) {
    ++stats_.messagesTaken;
    for (const Bytes& answer : radio_.Answer(message)) SendToTerminal(answer);
}

void Simulator::SendToTerminal(const Bytes& message) {
    const std::string text = map27::DecodeIncomingMessage(message).body;
    if (!sender_->Queue(std::make_shared<FixedMessage>(message, text))) {
        print_("error: message not sent: " + std::to_string(MessageSender::kMaxWaiting) +
               " messages are waiting for the terminal already");
        return;
    }
    ++stats_.messagesQueued;
}

bool Simulator::Execute(const std::string& line) {
    const Command c = ParseCommand(line);
    switch (c.kind) {
        case Command::Kind::None:
            return true;
        case Command::Kind::Quit:
            return false;
        case Command::Kind::Help: {
            std::string help = HelpText();
            for (std::size_t start = 0, end; start < help.size(); start = end + 1) {
                end = help.find('\n', start);
                if (end == std::string::npos) end = help.size();
                print_(help.substr(start, end - start));
            }
            return true;
        }
        case Command::Kind::Error:
            print_("error: " + c.error);
            return true;
        case Command::Kind::Echo:
            radio_.SetEcho(c.echo);
            print_(std::string("echo of data calls ") + (c.echo ? "on" : "off"));
            return true;
        case Command::Kind::Stats:
            print_(StatsText(stats_));
            return true;
        case Command::Kind::Unlock:
            print_(unlock_ ? unlock_() : "nothing to unlock");
            return true;
        case Command::Kind::Send:
            if (!session_->IsEstablished())
                print_("the link is not up: the message goes out once it is");
            runner_.Operate([&] { SendToTerminal(c.message); });
            return true;
        case Command::Kind::Inject:
            switch (c.fault) {
                case Fault::CorruptFcs:
                    corruptNext_ = true;
                    break;
                case Fault::DropFrame:
                    dropNext_ = true;
                    break;
                case Fault::OutOfSequence:
                    sequenceNext_ = true;
                    break;
                case Fault::Silence:
                    ++stats_.silences;
                    silentUntil_ = Clock::now() + std::chrono::seconds(c.seconds);
                    print_(TimeStamp() + " silent for " + std::to_string(c.seconds) + " s");
                    runner_.After(std::chrono::seconds(c.seconds), [this] {
                        if (Clock::now() >= silentUntil_) print_(TimeStamp() + " silence over");
                    });
                    break;
                case Fault::Restart:
                    print_(TimeStamp() + " restarting the link");
                    runner_.Operate([this] { session_->RestartLink(); });
                    break;
            }
            return true;
    }
    return true;
}

namespace {

std::uint32_t Value(const std::vector<std::string>& args, std::size_t& i, std::uint32_t max) {
    if (i + 1 >= args.size()) throw std::invalid_argument(args[i] + " needs a value");
    ++i;
    return ParseNumber(args[i], max, args[i - 1].c_str());
}

// A percentage with at most two decimals ("1", "0.5", "2.25"), in hundredths of a percent.
std::uint32_t Per10000(const std::string& text, const char* what) {
    const auto dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    std::string decimals = dot == std::string::npos ? "" : text.substr(dot + 1);
    const auto digitsOnly = [](const std::string& s) {
        return s.find_first_not_of("0123456789") == std::string::npos;
    };
    if (whole.empty() || whole.size() > 3 || decimals.size() > 2 || !digitsOnly(whole) ||
        !digitsOnly(decimals) || (dot != std::string::npos && decimals.empty()))
        throw std::invalid_argument(std::string(what) + ": " + text::QuotedToken(text) +
                                    " is not a percentage (e.g. 1 or 0.5)");
    decimals.resize(2, '0');
    const auto value = static_cast<std::uint32_t>(std::stoul(whole) * 100 + std::stoul(decimals));
    if (value > 10000)
        throw std::invalid_argument(std::string(what) + ": " + text + " is more than 100 %");
    return value;
}

// "--faults CORRUPT,DROP": the two chances in percent.
void ParseFaultRates(const std::vector<std::string>& args, std::size_t& i, Options& o) {
    if (i + 1 >= args.size()) throw std::invalid_argument(args[i] + " needs a value");
    const std::string& value = args[++i];
    const auto comma = value.find(',');
    if (comma == std::string::npos)
        throw std::invalid_argument("--faults: give CORRUPT,DROP in percent (e.g. 1,1)");
    o.corruptPer10000 = Per10000(value.substr(0, comma), "--faults");
    o.dropPer10000 = Per10000(value.substr(comma + 1), "--faults");
    if (o.corruptPer10000 + o.dropPer10000 > 10000)
        throw std::invalid_argument("--faults: the two chances add up to more than 100 %");
}

}  // namespace

std::string StatsText(const SimulatorStats& s) {
    return "stats: sent " + std::to_string(s.framesSent) + " frames (" + std::to_string(s.repeats) +
           " data frames repeated), heard " + std::to_string(s.framesHeard) + " frames, took " +
           std::to_string(s.messagesTaken) + " messages, queued " +
           std::to_string(s.messagesQueued) + " messages, link up " + std::to_string(s.linkUps) +
           " times; faults: " + std::to_string(s.corrupted) + " corrupted, " +
           std::to_string(s.dropped) + " dropped, " + std::to_string(s.silences) + " silences";
}

Options ParseOptions(const std::vector<std::string>& args, bool& help) {
    Options o;
    help = false;
    Personality& p = o.personality;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto byte = [&] { return static_cast<std::uint8_t>(Value(args, i, 255)); };
        auto word = [&] { return static_cast<std::uint16_t>(Value(args, i, 65535)); };
        if (a == "--help" || a == "-h")
            help = true;
        else if (a == "--quiet" || a == "-q")
            o.quiet = true;
        else if (a == "--capture") {
            if (i + 1 >= args.size()) throw std::invalid_argument("--capture needs a file");
            o.capturePath = args[++i];
        } else if (a == "--echo")
            o.echo = true;
        else if (a == "--faults")
            ParseFaultRates(args, i, o);
        else if (a == "--seed")
            o.faultSeed = Value(args, i, 0xFFFFFFFFU);
        else if (a == "--1200")
            o.speed1200 = true;
        else if (a == "--n1")
            o.n1 = static_cast<std::uint16_t>(Value(args, i, 255));
        else if (a == "--k")
            o.k = static_cast<std::uint16_t>(Value(args, i, 255));
        else if (a == "--version")
            o.version = static_cast<std::uint16_t>(Value(args, i, 255));
        else if (a == "--t0")
            o.timers.t0 = std::to_string(word());
        else if (a == "--t2")
            o.timers.t2 = std::to_string(word());
        else if (a == "--t3")
            o.timers.t3 = std::to_string(word());
        else if (a == "--t4")
            o.timers.t4 = std::to_string(word());
        else if (a == "--pfix")
            p.pfix = byte();
        else if (a == "--ident")
            p.ident = word();
        else if (a == "--manufacturer")
            p.manufacturerCode = byte();
        else if (a == "--model")
            p.model = static_cast<std::uint8_t>(Value(args, i, 15));
        else if (a == "--serial")
            p.serial = Value(args, i, 262143);
        else if (a == "--sa")
            p.sa = byte();
        else if (a == "--sb")
            p.sb = byte();
        else if (a == "--sc")
            p.sc = byte();
        else if (a == "--codings")
            p.codings = byte();
        else if (a == "--settings-sa")
            p.settingsSa = byte();
        else if (a == "--settings-codings")
            p.settingsCodings = byte();
        else if (a == "--channel")
            p.channel = static_cast<std::uint16_t>(Value(args, i, 1023));
        else if (a == "--system")
            p.systemCode = static_cast<std::uint16_t>(Value(args, i, 32767));
        else if (!a.empty() && a[0] == '-')
            throw std::invalid_argument("unknown option " + text::QuotedToken(a));
        else if (o.device.empty())
            o.device = a;
        else
            throw std::invalid_argument(
                "more than one device given: " + text::QuotedToken(o.device) + " and " +
                text::QuotedToken(a));
    }
    return o;
}

std::string UsageText() {
    return "usage: radiosim [DEVICE] [options]\n"
           "Plays a MAP27 radio. Without DEVICE it opens a pseudo-terminal and prints its path on "
           "the\n"
           "first line; point the terminal's port at it. Commands are read from standard input "
           "(help).\n"
           "Link:   --n1 N (127)  --k N (1)  --version N (1)  --t0 --t2 --t3 --t4 MS (1000 70 "
           "10000 35000)\n"
           "        --1200  1200 bit/s for the port and the derived T1 (else 9600)\n"
           "Radio:  --pfix N (8)  --ident N (2001)  --manufacturer N (42)  --model N (3)  --serial "
           "N (100000)\n"
           "        --sa --sb --sc --codings BYTE (what it supports: FE 00 00 86)\n"
           "        --settings-sa --settings-codings BYTE (what is set now: FC 84)\n"
           "        --channel N (300)  --system N (4660)\n"
           "Faults: --faults CORRUPT,DROP  chances in percent for every frame sent (e.g. 1,1)\n"
           "        --seed N (1)  seeds those faults, so a run can be repeated\n"
           "Other:  --echo (send data calls back)  --quiet (no frame trace)  --help\n"
           "        --capture FILE  appends every frame on the line to FILE (map27dump --capture "
           "reads it)\n";
}

}  // namespace radiosim
