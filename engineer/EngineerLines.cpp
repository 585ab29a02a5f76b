#include "engineer/EngineerLines.h"

#include <algorithm>
#include <array>

#include "text/CodePage437.h"
#include "text/IntegerText.h"
#include "text/Utf8.h"
#include "text/VisibleControls.h"

namespace orrick {
namespace {

using text::IsHighSurrogate;
using text::IsLowSurrogate;

}  // namespace

TMarkedLineBytes EncodeMarkedLine(std::u16string_view line) {
    TMarkedLineBytes result;
    result.bytes.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        char32_t c = line[i];
        if (IsHighSurrogate(line[i]) && i + 1 < line.size() && IsLowSurrogate(line[i + 1])) {
            c = 0x10000 + ((static_cast<char32_t>(line[i]) - 0xD800) << 10) +
                (line[i + 1] - 0xDC00u);
        }
        if (c == U'@') {
            result.bytes += kStx;
        } else if (c == U'#') {
            result.bytes += kEtx;
        } else if (const auto byte = text::UnicodeToCp437(c)) {
            result.bytes += static_cast<char>(*byte);
        } else {
            result.bytes.clear();
            result.refused = c;
            return result;
        }
    }
    return result;
}

THexLineBytes DecodeHexLine(std::u16string_view line) {
    THexLineBytes result;
    if (line.size() % 2 != 0) {
        result.status = THexLineBytes::TStatus::OddLength;
        return result;
    }
    if (line.size() > kMaxBinaryLineChars) {
        result.status = THexLineBytes::TStatus::TooLong;
        return result;
    }
    result.bytes.reserve(line.size() / 2);
    for (std::size_t i = 0; i < line.size(); i += 2) {
        const int high = text::HexDigitValue(line[i]);
        const int low = text::HexDigitValue(line[i + 1]);
        if (high < 0 || low < 0) {
            result.status = THexLineBytes::TStatus::NotHex;
            result.bytes.clear();
            result.badPair = std::u16string(line.substr(i, 2));
            return result;
        }
        result.bytes += static_cast<char>((high << 4) | low);
    }
    return result;
}

std::string NotAnIntegerMessage(std::u16string_view typed) {
    return text::NotAnIntegerMessage(text::Utf16ToUtf8(typed));
}

char16_t ReceivedCharacter(std::uint8_t byte) {
    return static_cast<char16_t>(text::VisibleControl(text::Cp437ToUnicode(byte)));
}

std::chrono::microseconds LineSilence(unsigned bitsPerSecond, unsigned bitsPerCharacter) {
    constexpr std::chrono::microseconds kShortest{1000};
    if (bitsPerSecond == 0) return kShortest;
    // 3.5 characters, rounded up to the next microsecond.
    const std::uint64_t halfBits = 7ULL * bitsPerCharacter;
    const std::uint64_t micros =
        (halfBits * 1'000'000ULL + 2ULL * bitsPerSecond - 1) / (2ULL * bitsPerSecond);
    return std::max(kShortest, std::chrono::microseconds(static_cast<std::int64_t>(micros)));
}

void TSilenceTimer::Start(std::chrono::steady_clock::time_point now) {
    if (!running_) {
        deadline_ = now + interval_;
        running_ = true;
    }
}

int TSilenceTimer::RemainingMs(std::chrono::steady_clock::time_point now) const {
    if (!running_ || now >= deadline_) return 0;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - now);
    return static_cast<int>(left.count());
}

std::int32_t TRxPort::ReadWaiting(void* buffer, std::uint32_t count) {
    const std::int32_t waiting = CountInBuff();
    if (waiting <= 0) return waiting;
    const auto taken = std::min(static_cast<std::uint32_t>(waiting), count);
    ReadData(buffer, taken);
    return static_cast<std::int32_t>(taken);
}

std::u16string ReceiveDataLine(TRxPort& port, const TSteadyClock& now) {
    std::u16string line;
    bool anyByte = false;
    TSilenceTimer Timer3(kDataLineSilence);
    for (;;) {
        const std::int32_t waiting = port.CountInBuff();
        if (waiting <= 0) {
            if (waiting == 0) Timer3.Start(now());
            const int remaining = waiting < 0 ? 0 : Timer3.RemainingMs(now());
            // A false answer before the deadline means the port has closed: the line ends here too.
            if (remaining == 0 || !port.WaitForInput(remaining)) {
                // A wait that saw no byte at all (the queue purged, the port closed) has nothing
                // to report as incorrect.
                if (!anyByte) return {};
                return std::u16string(kIncorrectDataFormat) + line;
            }
            continue;
        }
        Timer3.Stop();
        anyByte = true;
        std::uint8_t byte = 0;
        port.ReadData(&byte, 1);
        switch (byte) {
            case kStx:
                line += u'@';
                break;
            case kEtx:
                line += u'#';
                return line;
            case 0x00:
                break;
            default:
                line += ReceivedCharacter(byte);
                break;
        }
    }
}

namespace {

// One Binary or Ascii receive event: the lines of the pieces that come until the port stays silent.
template <typename Append>
void ReceiveUntilSilence(TRxPort& port, const TReceiveTiming& timing, const TDeliverLine& deliver,
                         Append append) {
    using std::chrono::nanoseconds;
    using std::chrono::steady_clock;
    const auto waitedToRun = [&timing] {
        return timing.waitedToRun ? timing.waitedToRun() : nanoseconds{0};
    };
    std::u16string line;
    std::size_t lineBytes = 0;
    std::array<std::uint8_t, kMaxReceivedLineBytes> buffer{};
    const auto handOver = [&](steady_clock::time_point endedAt) {
        // An Ascii line of 0x00 bytes only shows nothing.
        if (!line.empty()) deliver(std::move(line), endedAt);
        line.clear();
        lineBytes = 0;
    };

    steady_clock::time_point foundAt = timing.now();  // when the piece being read was found
    nanoseconds waitedAtFound = waitedToRun();
    bool anyByte = false;
    for (;;) {
        bool closed = false;
        for (;;) {
            const auto wanted = static_cast<std::uint32_t>(kMaxReceivedLineBytes - lineBytes);
            const std::int32_t got = port.ReadWaiting(buffer.data(), wanted);
            if (got <= 0) {
                closed = got < 0;
                break;
            }
            anyByte = true;
            for (std::int32_t i = 0; i < got; ++i)
                append(line, buffer[static_cast<std::size_t>(i)]);
            lineBytes += static_cast<std::size_t>(got);
            if (lineBytes == kMaxReceivedLineBytes) {
                handOver(foundAt);
            } else if (static_cast<std::uint32_t>(got) < wanted) {
                break;  // the queue is empty
            }
        }
        // A closed port ends the line; so does an event whose bytes were purged before we came.
        if (closed || !anyByte) break;
        const steady_clock::time_point lastPiece = foundAt;
        steady_clock::time_point holdUntil = lastPiece + timing.lineSilence;
        if (timing.shownNoSoonerThan) holdUntil = std::max(holdUntil, timing.shownNoSoonerThan());
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(holdUntil - timing.now());
        if (!port.WaitForInput(static_cast<int>(std::max<std::int64_t>(0, left.count())))) {
            foundAt = lastPiece;
            break;
        }
        foundAt = timing.now();
        const nanoseconds waited = waitedToRun();
        // Found late because the thread was kept from running: the piece came that much sooner.
        const steady_clock::time_point arrived = foundAt - (waited - waitedAtFound);
        waitedAtFound = waited;
        if (arrived - lastPiece > timing.lineSilence) handOver(lastPiece);
    }
    handOver(foundAt);
}

}  // namespace

void ReceiveLines(int mode, TRxPort& port, const TReceiveTiming& timing,
                  const TDeliverLine& deliver) {
    switch (mode) {
        case BinaryMode:
            ReceiveUntilSilence(port, timing, deliver, AppendHexByteBlank);
            return;
        case AsciiMode:
            ReceiveUntilSilence(port, timing, deliver, [](std::u16string& line, std::uint8_t byte) {
                if (byte != 0x00) line += ReceivedCharacter(byte);
            });
            return;
        default:
            do {
                std::u16string line = ReceiveDataLine(port, timing.now);
                if (!line.empty()) deliver(std::move(line), timing.now());
            } while (port.CountInBuff() > 0);
    }
}

}  // namespace orrick
