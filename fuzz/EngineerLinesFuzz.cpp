// Orrick's line logic: a typed Binary line into bytes, a typed Data/Ascii line into bytes, and the
// bytes arriving at the port into received lines in each mode, with arrivals cut as the input
// says, on a clock that only moves while the receiver waits.
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "engineer/EngineerLines.h"
#include "fuzz/FuzzSupport.h"

namespace {

using namespace std::chrono_literals;

// The port: bytes arrive in pieces, one piece each time the receiver waits, and the port may close
// once everything has arrived.
class FuzzPort : public orrick::TRxPort {
public:
    FuzzPort(std::vector<std::span<const std::uint8_t>> pieces, bool closeAtEnd,
             std::chrono::steady_clock::time_point& clock)
        : pieces_(std::move(pieces)), closeAtEnd_(closeAtEnd), clock_(clock) {}

    std::vector<std::uint8_t> read;

    std::int32_t CountInBuff() override {
        if (waiting_.empty() && next_ == pieces_.size() && closeAtEnd_) return -1;
        return static_cast<std::int32_t>(waiting_.size());
    }
    void ReadData(void* buffer, std::uint32_t count) override {
        FUZZ_CHECK(count <= waiting_.size(), "reads only bytes that wait");
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::copy_n(waiting_.begin(), count, out);
        read.insert(read.end(), waiting_.begin(), waiting_.begin() + count);
        waiting_.erase(waiting_.begin(), waiting_.begin() + count);
    }
    bool WaitForInput(int timeoutMs) override {
        FUZZ_CHECK(timeoutMs >= 0 && timeoutMs <= 1000, "waits at most the silence limit");
        if (next_ < pieces_.size()) {
            const auto piece = pieces_[next_++];
            waiting_.insert(waiting_.end(), piece.begin(), piece.end());
            clock_ += 1ms;
            return !waiting_.empty();
        }
        clock_ += std::chrono::milliseconds(timeoutMs);
        return false;
    }
    bool AllArrived() const { return next_ == pieces_.size(); }
    bool Drained() const { return waiting_.empty(); }

private:
    std::vector<std::span<const std::uint8_t>> pieces_;
    std::size_t next_ = 0;
    bool closeAtEnd_;
    std::chrono::steady_clock::time_point& clock_;
    std::vector<std::uint8_t> waiting_;
};

std::u16string AsUtf16Units(std::span<const std::uint8_t> bytes) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    return text;
}

void CheckBinaryLine(std::u16string_view line) {
    const orrick::THexLineBytes decoded = orrick::DecodeHexLine(line);
    using Status = orrick::THexLineBytes::TStatus;
    if (line.size() % 2 != 0) {
        FUZZ_CHECK(decoded.status == Status::OddLength, "an odd line is refused as odd");
        return;
    }
    if (line.size() > orrick::kMaxBinaryLineChars) {
        FUZZ_CHECK(decoded.status == Status::TooLong, "an over-long line is refused");
        return;
    }
    if (decoded.status == Status::NotHex) {
        FUZZ_CHECK(decoded.badPair.size() == 2 && decoded.bytes.empty(),
                   "a refused line names its pair and sends nothing");
        FUZZ_CHECK(line.find(decoded.badPair) != std::u16string_view::npos,
                   "the named pair is in the line");
        return;
    }
    FUZZ_CHECK(decoded.status == Status::Ok && decoded.bytes.size() * 2 == line.size(),
               "two digits a byte");
    std::u16string again;
    for (const char byte : decoded.bytes)
        orrick::AppendHexByteBlank(again, static_cast<std::uint8_t>(byte));
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char16_t upper = line[i] >= u'a' && line[i] <= u'f' ? line[i] - u'a' + u'A' : line[i];
        FUZZ_CHECK(again[i / 2 * 3 + i % 2] == upper, "the bytes read back as the line");
    }
}

void CheckMarkedLine(std::u16string_view line) {
    const orrick::TMarkedLineBytes encoded = orrick::EncodeMarkedLine(line);
    if (encoded.refused) {
        FUZZ_CHECK(encoded.bytes.empty(), "a refused line sends nothing");
        return;
    }
    FUZZ_CHECK(encoded.bytes.size() == line.size(), "one byte a character");
    (void)orrick::NotAnIntegerMessage(line);
    FUZZ_CHECK(fuzz::IsValidUtf8(orrick::NotAnIntegerMessage(line)), "the message is UTF-8");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    const int mode = input.Byte() % 3;
    const std::uint8_t cutting = input.Byte();
    const auto rest = input.Rest();

    // Typed lines: the bytes as single characters, and as UTF-16 units.
    const std::u16string narrow(rest.begin(), rest.end());
    const std::u16string wide = AsUtf16Units(rest);
    CheckBinaryLine(narrow);
    CheckBinaryLine(wide);
    CheckMarkedLine(narrow);
    CheckMarkedLine(wide);

    // Received lines: the rest arrives in pieces of 1 + (cutting & 0x3F) bytes.
    std::vector<std::span<const std::uint8_t>> pieces;
    const std::size_t pieceSize = 1U + (cutting & 0x3FU);
    for (std::size_t at = 0; at < rest.size(); at += pieceSize)
        pieces.push_back(rest.subspan(at, std::min(pieceSize, rest.size() - at)));
    auto clock = std::chrono::steady_clock::time_point{};
    FuzzPort port(std::move(pieces), (cutting & 0x40U) != 0, clock);
    const orrick::TSteadyClock now = [&clock] { return clock; };

    std::vector<std::u16string> lines;
    for (int events = 0; !(port.AllArrived() && port.Drained()); ++events) {
        FUZZ_CHECK(events <= static_cast<int>(rest.size()) + 2,
                   "every receive event makes progress");
        if (port.CountInBuff() == 0 && !port.AllArrived()) port.WaitForInput(0);
        orrick::ReceiveLines(
            mode, port,
            {.now = now,
             .lineSilence = orrick::LineSilence((cutting & 0x80U) != 0 ? 38400U : 1200U, 10)},
            [&](std::u16string&& line, std::chrono::steady_clock::time_point) {
                lines.push_back(std::move(line));
            });
    }
    FUZZ_CHECK(port.read == std::vector<std::uint8_t>(rest.begin(), rest.end()),
               "every byte is read once, in order");

    std::size_t shown = 0;
    for (const std::u16string& line : lines) {
        FUZZ_CHECK(!line.empty(), "only non-empty lines are delivered");
        FUZZ_CHECK(line.find_first_of(u"\r\n") == std::u16string::npos, "one line stays one line");
        shown += line.size();
    }
    if (mode == orrick::BinaryMode) {
        FUZZ_CHECK(shown == rest.size() * 3, "three characters a byte");
    } else if (mode == orrick::AsciiMode) {
        FUZZ_CHECK(shown == rest.size() -
                                static_cast<std::size_t>(std::count(rest.begin(), rest.end(), 0)),
                   "one character a byte, none for 0x00");
    }
    return 0;
}
