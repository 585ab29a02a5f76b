#pragma once
// The simulated radio: a link session in the radio's place on a LinkRunner, the radio's answers,
// the operator's commands, the faults, and the trace of every frame.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "map27/capture/WireCapture.h"
#include "radiosim/Commands.h"
#include "radiosim/LinkRunner.h"
#include "radiosim/Radio.h"

namespace radiosim {

struct Options {
    std::string device;  // empty: a new pseudo-terminal
    std::uint16_t n1 = 127, k = 1, version = 1;
    map27::LinkParameterTexts timers;  // T0, T2, T3, T4 (N1 from n1)
    bool speed1200 = false;            // derives T1 for 1200 bit/s instead of 9600
    bool quiet = false;                // no frame trace
    std::string capturePath;           // --capture: every frame on the line, appended to this file
    bool echo = false;
    // Random faults on every frame the radio sends, in hundredths of a percent (100 = 1 %), drawn
    // from a generator seeded with faultSeed so that a run can be repeated.
    std::uint32_t corruptPer10000 = 0, dropPer10000 = 0;
    std::uint32_t faultSeed = 1;
    Personality personality;
};

// What the radio has done so far, for the stats command.
struct SimulatorStats {
    std::uint64_t framesSent = 0;      // frames that went on the line (damaged ones included)
    std::uint64_t framesHeard = 0;     // frames taken from the line (not while silent)
    std::uint64_t repeats = 0;         // data frames sent again on T1
    std::uint64_t messagesTaken = 0;   // network messages the terminal delivered to the radio
    std::uint64_t messagesQueued = 0;  // network messages the radio has to send
    std::uint64_t linkUps = 0;
    std::uint64_t corrupted = 0, dropped = 0, silences = 0;
};
std::string StatsText(const SimulatorStats& stats);

// Parses the command line (without the program name). Throws std::invalid_argument with the
// message for the operator; sets help when --help was asked for.
Options ParseOptions(const std::vector<std::string>& args, bool& help);
std::string UsageText();

class Simulator {
public:
    // print receives every line of the trace and of the answers to commands, without line end.
    Simulator(const Options& options, LinkRunner& runner,
              std::function<void(const std::string&)> print);
    ~Simulator();

    void Start();
    // Runs one command line; returns false when the operator asked to quit.
    bool Execute(const std::string& line);
    const Radio& RadioState() const { return radio_; }
    const SimulatorStats& Stats() const { return stats_; }
    // What the unlock command does: gives the port's exclusive use back. Returns what to report.
    void SetUnlock(std::function<std::string()> unlock) { unlock_ = std::move(unlock); }
    // From now on every frame that crosses the line is appended to the capture.
    void SetCapture(std::unique_ptr<map27::CaptureWriter> capture) {
        capture_ = std::move(capture);
    }

private:
    class Events;
    void OnMessageFromTerminal(std::span<const std::uint8_t> message);
    void SendToTerminal(const Bytes& message);
    // What was queued for the terminal is for its link only: once that ends it is dropped, said.
    void DropQueued(const char* why);
    bool OnSending(Bytes& frame);
    bool OnReceived(std::span<const std::uint8_t> frame);
    // One draw of the fault generator: true with the given chance in 10000.
    bool DrawFault(std::uint32_t per10000);
    void Trace(const char* direction, std::span<const std::uint8_t> frame);
    void Capture(map27::WireDirection direction, std::span<const std::uint8_t> frame);

    Options options_;
    LinkRunner& runner_;
    std::function<void(const std::string&)> print_;
    Radio radio_;
    std::unique_ptr<Events> events_;
    std::unique_ptr<map27::LinkSession> session_;
    std::unique_ptr<MessageSender> sender_;
    // Faults waiting for the next frame.
    bool corruptNext_ = false, dropNext_ = false, sequenceNext_ = false;
    Clock::time_point silentUntil_{};
    std::mt19937 faultRandom_;
    SimulatorStats stats_;
    std::function<std::string()> unlock_;
    std::unique_ptr<map27::CaptureWriter> capture_;
};

// "HH:MM:SS.mmm" of the wall clock.
std::string TimeStamp();

}  // namespace radiosim
