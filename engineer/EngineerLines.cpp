#include "EngineerLines.h"

#include <algorithm>
#include <array>

#include "Cp437.h"

namespace orrick {
namespace {

std::optional<int> HexDigitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return std::nullopt;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

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
        } else if (const auto byte = UnicodeToCp437(c)) {
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
        const auto high = HexDigitValue(line[i]);
        const auto low = HexDigitValue(line[i + 1]);
        if (!high || !low) {
            result.status = THexLineBytes::TStatus::NotHex;
            result.bytes.clear();
            result.badPair = std::u16string(line.substr(i, 2));
            return result;
        }
        result.bytes += static_cast<char>((*high << 4) | *low);
    }
    return result;
}

std::string NotAnIntegerMessage(std::u16string_view text) {
    std::string message = "'";
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((static_cast<char32_t>(text[i]) - 0xD800) << 10) +
                (text[i + 1] - 0xDC00u);
            ++i;
        }
        AppendUtf8(message, c);
    }
    message += "' is not a valid integer value";
    return message;
}

char16_t ReceivedCharacter(std::uint8_t byte) {
    if (byte < 0x20) return static_cast<char16_t>(0x2400 + byte);  // SYMBOL FOR NULL ..
    if (byte == 0x7F) return u'\u2421';                            // SYMBOL FOR DELETE
    return Cp437ToUnicode(byte);
}

void AppendHexByteBlank(std::u16string& line, std::uint8_t byte) {
    static constexpr std::array<char16_t, 16> kDigits = {u'0', u'1', u'2', u'3', u'4', u'5',
                                                         u'6', u'7', u'8', u'9', u'A', u'B',
                                                         u'C', u'D', u'E', u'F'};
    line += kDigits[byte >> 4];
    line += kDigits[byte & 0x0F];
    line += u' ';
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

namespace {

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

template <typename Append>
std::u16string ReceiveUntilSilence(TRxPort& port, const TSteadyClock& now,
                                   std::chrono::microseconds lineSilence, Append append) {
    std::u16string line;
    std::array<std::uint8_t, kMaxReceivedLineBytes> buffer{};
    std::size_t read = 0;
    TSilenceTimer silence(lineSilence);
    while (read < kMaxReceivedLineBytes) {
        const std::int32_t waiting = port.CountInBuff();
        if (waiting > 0) {
            silence.Stop();
            const auto count = static_cast<std::uint32_t>(
                std::min(static_cast<std::size_t>(waiting), kMaxReceivedLineBytes - read));
            port.ReadData(buffer.data(), count);
            read += count;
            for (std::uint32_t i = 0; i < count; ++i) append(line, buffer[i]);
            continue;
        }
        // A closed port ends the line; so does an event whose bytes were purged before we came.
        if (waiting < 0 || read == 0) break;
        silence.Start(now());
        const int remaining = silence.RemainingMs(now());
        if (remaining == 0 || !port.WaitForInput(remaining)) break;
    }
    return line;
}

}  // namespace

std::u16string ReceiveLine(int mode, TRxPort& port, const TSteadyClock& now,
                           std::chrono::microseconds lineSilence) {
    switch (mode) {
        case BinaryMode:
            return ReceiveUntilSilence(port, now, lineSilence, AppendHexByteBlank);
        case AsciiMode:
            return ReceiveUntilSilence(port, now, lineSilence,
                                       [](std::u16string& line, std::uint8_t byte) {
                                           if (byte != 0x00) line += ReceivedCharacter(byte);
                                       });
        default:
            return ReceiveDataLine(port, now);
    }
}

void ReceiveLines(int mode, TRxPort& port, const TSteadyClock& now,
                  std::chrono::microseconds lineSilence,
                  const std::function<void(std::u16string&& line)>& deliver) {
    do {
        std::u16string line = ReceiveLine(mode, port, now, lineSilence);
        if (!line.empty()) deliver(std::move(line));
    } while (port.CountInBuff() > 0);
}

}  // namespace orrick
