#pragma once
// The wire capture: every frame that crossed the line, one text line each, so that a test on a real
// radio leaves evidence a colleague can read back (map27dump --capture).
//
//   2026-12-08T20:39:59.137 R>T 16 10 02 04 01 01 00 B0 00 10 03 C4 17
//   2026-12-08T20:39:59.412 T>R 16 10 02 04 01 01 00 80 10 03 !bad
//
// Local time to the millisecond, the direction (T>R terminal to radio, R>T radio to terminal), the
// bytes as on the line (DLE doubling and FCS included), and " !bad" after a frame that arrived
// damaged or cut short. The caller reads the clock; this library only formats, parses and writes.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "map27/link/FrameReception.h"

namespace map27 {

enum class WireDirection : std::uint8_t { TerminalToRadio, RadioToTerminal };

// A moment in local time, as the line shows it.
struct CaptureTime {
    int year = 1970, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    bool operator==(const CaptureTime&) const = default;
};

// The local time of a moment of the system clock.
CaptureTime LocalCaptureTime(std::chrono::system_clock::time_point when);

struct CaptureRecord {
    CaptureTime time;
    WireDirection direction = WireDirection::TerminalToRadio;
    std::vector<std::uint8_t> bytes;
    bool bad = false;
    bool operator==(const CaptureRecord&) const = default;
};

// "2026-12-08T20:39:59.137"
std::string FormatCaptureTime(const CaptureTime& time);
// "T>R" or "R>T"
const char* DirectionText(WireDirection direction);
// One line without its line end.
std::string FormatCaptureLine(const CaptureRecord& record);

// Parses one line (a trailing CR is ignored). Returns the record, or nullopt with the reason in
// error. Blank lines and lines starting with '#' are no records either; IsCaptureComment tells them
// apart from malformed lines.
std::optional<CaptureRecord> ParseCaptureLine(std::string_view line, std::string& error);
bool IsCaptureComment(std::string_view line);

// Appends lines to a file, each handed to the system at once, so that a crash of the program
// loses nothing that was written before it.
class CaptureWriter {
public:
    // Opens (or creates) the file for appending; nullptr with the reason in error.
    static std::unique_ptr<CaptureWriter> Open(const std::string& path, std::string& error);
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    const std::string& Path() const { return path_; }
    // Writes one record. Returns an error text the first time writing fails after it last worked,
    // so that a full disk is reported once and not for every frame; nullopt otherwise.
    std::optional<std::string> Write(const CaptureRecord& record);

private:
    CaptureWriter(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_;
    std::string path_;
    bool failing_ = false;
};

// A program's side of the line, recorded: the frames it writes, and the bytes it receives cut into
// frames the way its reception cuts them. Kept apart from the link's own reception so that the
// capture also holds what the link drops unseen: a frame cut short, one too long for its buffer.
// Each call returns an error text to report (once per failure, as CaptureWriter::Write).
class CaptureRecorder {
public:
    // now: the caller's clock, read for every record.
    CaptureRecorder(std::unique_ptr<CaptureWriter> writer, std::function<CaptureTime()> now,
                    WireDirection sending);

    std::optional<std::string> Sent(std::span<const std::uint8_t> frame);
    std::optional<std::string> Received(std::span<const std::uint8_t> bytes);
    // The frame being received was given up (supervision time-out, port closed): what came of it
    // is recorded as bad.
    std::optional<std::string> ReceptionAbandoned();

private:
    std::optional<std::string> Record(WireDirection direction, std::span<const std::uint8_t> bytes,
                                      bool cut);

    std::unique_ptr<CaptureWriter> writer_;
    std::function<CaptureTime()> now_;
    WireDirection sending_, receiving_;
    FrameAssembler assembler_;
    std::vector<std::uint8_t> pending_;  // bytes of the frame in progress, as they came
};

}  // namespace map27
