#include "map27/capture/WireCapture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <utility>

#include "map27/link/FrameCodec.h"
#include "text/QuotedToken.h"

namespace map27 {

namespace {

constexpr std::string_view kBadMark = "!bad";
constexpr std::size_t kTimeLength = 23;  // 2026-12-08T20:39:59.137

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The number in text[at, at + count), all digits, or -1.
int Digits(std::string_view text, std::size_t at, std::size_t count) {
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

std::optional<CaptureTime> ParseTime(std::string_view text) {
    if (text.size() != kTimeLength || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != '.')
        return std::nullopt;
    const CaptureTime t{Digits(text, 0, 4),  Digits(text, 5, 2),  Digits(text, 8, 2),
                        Digits(text, 11, 2), Digits(text, 14, 2), Digits(text, 17, 2),
                        Digits(text, 20, 3)};
    const bool inRange = t.year >= 0 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
                         t.day <= 31 && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 &&
                         t.minute <= 59 && t.second >= 0 && t.second <= 60 && t.millisecond >= 0;
    if (!inRange) return std::nullopt;
    return t;
}

// The next blank-separated token from at, or an empty view at the end.
std::string_view NextToken(std::string_view line, std::size_t& at) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    const std::size_t start = at;
    while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
    return line.substr(start, at - start);
}

}  // namespace

CaptureTime LocalCaptureTime(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto sinceEpoch = when.time_since_epoch();
    auto seconds = duration_cast<std::chrono::seconds>(sinceEpoch);
    auto millis = duration_cast<milliseconds>(sinceEpoch - seconds).count();
    if (millis < 0) {  // before 1970: the division rounds towards zero
        millis += 1000;
        seconds -= std::chrono::seconds(1);
    }
    const std::time_t clock = static_cast<std::time_t>(seconds.count());
    std::tm local{};
    ::localtime_r(&clock, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,           local.tm_hour,
            local.tm_min,         local.tm_sec,     static_cast<int>(millis)};
}

std::string FormatCaptureTime(const CaptureTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
    return text;
}

const char* DirectionText(WireDirection direction) {
    return direction == WireDirection::TerminalToRadio ? "T>R" : "R>T";
}

std::string FormatCaptureLine(const CaptureRecord& record) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string line = FormatCaptureTime(record.time);
    line += ' ';
    line += DirectionText(record.direction);
    line.reserve(line.size() + record.bytes.size() * 3 + kBadMark.size() + 1);
    for (const std::uint8_t byte : record.bytes) {
        line += ' ';
        line += kDigits[byte >> 4];
        line += kDigits[byte & 0x0F];
    }
    if (record.bad) {
        line += ' ';
        line += kBadMark;
    }
    return line;
}

bool IsCaptureComment(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    return first == std::string_view::npos || line[first] == '#';
}

std::optional<CaptureRecord> ParseCaptureLine(std::string_view line, std::string& error) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    CaptureRecord record;
    std::size_t at = 0;
    const std::optional<CaptureTime> time = ParseTime(NextToken(line, at));
    if (!time) {
        error = "no time (YYYY-MM-DDTHH:MM:SS.mmm) at the start";
        return std::nullopt;
    }
    record.time = *time;
    const std::string_view direction = NextToken(line, at);
    if (direction == "T>R") {
        record.direction = WireDirection::TerminalToRadio;
    } else if (direction == "R>T") {
        record.direction = WireDirection::RadioToTerminal;
    } else {
        error = "the direction is " + text::QuotedToken(direction) + ", not T>R or R>T";
        return std::nullopt;
    }
    for (std::string_view token = NextToken(line, at); !token.empty();
         token = NextToken(line, at)) {
        if (record.bad) {
            error = "'" + std::string(kBadMark) + "' is not at the end";
            return std::nullopt;
        }
        if (token == kBadMark) {
            record.bad = true;
            continue;
        }
        if (token.size() != 2 || HexValue(token[0]) < 0 || HexValue(token[1]) < 0) {
            error = text::QuotedToken(token) + " is not a hexadecimal byte";
            return std::nullopt;
        }
        record.bytes.push_back(
            static_cast<std::uint8_t>(HexValue(token[0]) * 16 + HexValue(token[1])));
    }
    if (record.bytes.empty()) {
        error = "no frame bytes";
        return std::nullopt;
    }
    return record;
}

std::unique_ptr<CaptureWriter> CaptureWriter::Open(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "Cannot open the capture file " + path + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<CaptureWriter>(new CaptureWriter(fd, path));
}

CaptureWriter::~CaptureWriter() {
    ::close(fd_);
}

std::optional<std::string> CaptureWriter::Write(const CaptureRecord& record) {
    const std::string line = FormatCaptureLine(record) + '\n';
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        const std::string reason = n < 0 ? std::strerror(errno) : "nothing written";
        if (std::exchange(failing_, true)) return std::nullopt;
        return "Cannot write to the capture file " + path_ + ": " + reason +
               ". Frames are missing from the capture.";
    }
    failing_ = false;
    return std::nullopt;
}

CaptureRecorder::CaptureRecorder(std::unique_ptr<CaptureWriter> writer,
                                 std::function<CaptureTime()> now, WireDirection sending)
    : writer_(std::move(writer)),
      now_(std::move(now)),
      sending_(sending),
      receiving_(sending == WireDirection::TerminalToRadio ? WireDirection::RadioToTerminal
                                                           : WireDirection::TerminalToRadio),
      // No limit: a frame the link refuses for its length is evidence too.
      assembler_(std::numeric_limits<std::size_t>::max()) {}

std::optional<std::string> CaptureRecorder::Record(WireDirection direction,
                                                   std::span<const std::uint8_t> bytes, bool cut) {
    const bool bad = cut || !IsGoodFrame(DestuffFrame(bytes));
    return writer_->Write({now_(), direction, {bytes.begin(), bytes.end()}, bad});
}

std::optional<std::string> CaptureRecorder::Sent(std::span<const std::uint8_t> frame) {
    return Record(sending_, frame, false);
}

std::optional<std::string> CaptureRecorder::Received(std::span<const std::uint8_t> bytes) {
    std::optional<std::string> failure;
    for (const std::uint8_t byte : bytes) {
        pending_.push_back(byte);
        if (assembler_.Push(byte) != FrameAssembler::Step::Complete) continue;
        // The frame as the link takes it: noise before its start marker is not part of it.
        auto failed = Record(receiving_, assembler_.Frame(), false);
        if (!failure) failure = std::move(failed);
        pending_.clear();
    }
    return failure;
}

std::optional<std::string> CaptureRecorder::ReceptionAbandoned() {
    std::optional<std::string> failure;
    if (assembler_.InProgress() && !pending_.empty()) failure = Record(receiving_, pending_, true);
    assembler_.Reset();
    pending_.clear();
    return failure;
}

}  // namespace map27
