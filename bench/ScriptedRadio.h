#pragma once
// A small scripted radio on the master side of a pseudo-terminal, for the whole-program figures:
// it reads what the terminal writes, cuts it into frames with the link layer's codec, stamps each
// frame with the monotonic time its last byte was read, and writes the frames the script asks for.
// Used from one thread at a time.
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "map27/link/FrameCodec.h"
#include "map27/link/FrameReception.h"

namespace bench {

using Clock = std::chrono::steady_clock;

struct ReceivedFrame {
    std::vector<std::uint8_t> frame;  // de-stuffed
    Clock::time_point at;
    std::uint8_t Type() const { return frame.size() > 3 ? frame[3] : 0; }
    std::uint8_t Byte(std::size_t i) const { return frame.size() > i ? frame[i] : 0; }
};

class ScriptedRadio {
public:
    ScriptedRadio();
    ~ScriptedRadio();
    ScriptedRadio(const ScriptedRadio&) = delete;
    ScriptedRadio& operator=(const ScriptedRadio&) = delete;

    const std::string& SlavePath() const { return slavePath_; }

    // The next good frame from the terminal, waiting at most timeout. bytesPerSecond > 0 reads one
    // byte at a time at that pace, as a slow line would take them.
    std::optional<ReceivedFrame> Next(std::chrono::milliseconds timeout, double bytesPerSecond = 0);
    // Waits for a frame of the given link type, passing over others.
    std::optional<ReceivedFrame> NextOfType(std::uint8_t type, std::chrono::milliseconds timeout);
    // Forgets everything received or waiting.
    void Discard();

    // Writes the whole frame; returns the time the write completed.
    Clock::time_point Write(std::span<const std::uint8_t> bytes);

    // The radio's side of a link set-up with K = 1: waits for the terminal's link request, answers
    // it, and acknowledges the terminal's confirmation. True once the terminal has acknowledged.
    bool BringUpLink(std::chrono::milliseconds timeout);

private:
    bool ReadSome(std::chrono::milliseconds timeout, std::size_t most);

    int master_ = -1;
    int slave_ = -1;  // kept open so the master never sees a hang-up between the terminal's opens
    std::string slavePath_;
    map27::FrameAssembler assembler_;
    std::deque<ReceivedFrame> frames_;
};

}  // namespace bench
