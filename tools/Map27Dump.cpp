// map27dump: MAP27 frames and messages from hexadecimal text, decoded as Talvane27's log shows
// them.
#include "tools/Map27Dump.h"

#include <cstdio>
#include <fstream>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "map27/capture/WireCapture.h"
#include "map27/link/FrameCodec.h"
#include "map27/link/FrameReception.h"
#include "map27/network/Codings.h"
#include "map27/network/Network.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kExitBadInput = 2;

constexpr const char* kHelp = R"(Usage: map27dump [--message] [HEX ...]
       map27dump --capture FILE

Decodes MAP27 traffic from hexadecimal text, the way Talvane27's log shows it.
The hexadecimal text comes from the arguments, or from standard input when there
are none. Bytes are written as hexadecimal digits in either case, separated by
blanks ("80 08 07 D1"); a longer group of digits is read two at a time ("8008").

  --message  Each input line is one network-layer message from the radio (the
             message type byte first). For each line, prints exactly the text
             that follows "RX : " in the log. An empty input line gives an empty
             output line, so output line N belongs to input line N. Arguments
             form one line.
  (default)  The input is one byte stream as it came off the line. It is cut into
             frames the way the terminal receives them: up to DLE ETX and the two
             FCS bytes, DLE doubling undone. Each frame gives one line: its kind
             (LR, LA, LT) and header fields, whether its FCS is good, and for an LT
             the text of its message after "RX : ". Noise that the terminal drops
             before a frame's SYN DLE STX is shown on a line of its own; bytes left
             over at the end are reported as an incomplete frame.
  --capture FILE
             FILE (- for standard input) is a wire capture that Talvane27 or
             radiosim wrote: one frame a line, "TIME T>R|R>T HEX [!bad]". Each
             frame gives one line: its time, its direction and what Talvane27's
             log shows for it: the "RX : " line of a data frame from the radio,
             the "TX : " line of one to it, or a short description of a link
             frame ("LR N1:127 K:1 Version:1", "LA N(R):2 N(k):1"). A frame that
             came damaged or cut short shows "!bad", its description and its
             bytes. A malformed line is reported with its number on standard
             error and the rest is read.
  --help     Shows this text.

Exit status: 0 when everything was decoded; 2 for text that is not hexadecimal,
a malformed capture line, a capture that cannot be read or an unknown option
(then nothing is printed on standard output, except with --capture).
)";

struct Line {
    std::size_t number = 0;  // from 1
    Bytes bytes;
};

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Parses one line of hexadecimal bytes; false with the error text for the first bad token.
bool ParseHexLine(std::string_view text, Bytes& bytes, std::string& error) {
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSeparator(text[i])) ++i;
        const std::size_t start = i;
        while (i < text.size() && !IsSeparator(text[i])) ++i;
        const std::string_view token = text.substr(start, i - start);
        if (token.empty()) continue;
        bool allHex = true;
        for (char c : token) allHex = allHex && map27::HexDigitValue(c) >= 0;
        if (!allHex || (token.size() > 2 && token.size() % 2 != 0)) {
            error = "'" + std::string(token) + "' is not a hexadecimal byte";
            return false;
        }
        if (token.size() == 1) {
            bytes.push_back(static_cast<std::uint8_t>(map27::HexDigitValue(token[0])));
            continue;
        }
        for (std::size_t k = 0; k < token.size(); k += 2) {
            bytes.push_back(static_cast<std::uint8_t>(map27::HexDigitValue(token[k]) * 16 +
                                                      map27::HexDigitValue(token[k + 1])));
        }
    }
    return true;
}

std::string ByteCount(std::size_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

// A header field, or "--" when a short frame ends before it (its end marker and FCS take the last 4
// bytes).
std::string Field(std::span<const std::uint8_t> frame, std::size_t offset) {
    return offset + 4 < frame.size() ? std::to_string(frame[offset]) : "--";
}

// One line for one frame as read off the line (DLE doubling still in it).
std::string DescribeFrame(std::span<const std::uint8_t> received) {
    const Bytes frame = map27::DestuffFrame(received);
    if (frame.size() < map27::kMinFrameLength) {
        return "damaged frame, " + ByteCount(frame.size()) + ": " + map27::HexBytesBlank(received);
    }
    std::string text;
    const std::uint8_t type = frame[3];
    switch (type) {
        case map27::kLinkRequest:
            text = "LR  N1=" + Field(frame, 4) + " K=" + Field(frame, 5) +
                   " version=" + Field(frame, 6);
            break;
        case map27::kLinkAck:
            text = "LA  N(R)=" + Field(frame, 4) + " N(k)=" + Field(frame, 5);
            break;
        case map27::kLinkTransfer:
            text = "LT  N(S)=" + Field(frame, 4) + " AR=" + Field(frame, 5);
            break;
        default:
            text = "type " + std::to_string(type) + "  header " + Field(frame, 4) + " " +
                   Field(frame, 5) + " " + Field(frame, 6);
            break;
    }
    if (map27::HasGoodFcs(frame)) {
        text += "  FCS good";
    } else {
        const std::uint16_t fcs = map27::FrameCheck(std::span(frame).subspan(3, frame.size() - 5));
        text += "  FCS bad (is " + map27::HexByteBlank(frame[frame.size() - 2]) +
                map27::HexByte(frame[frame.size() - 1]) + ", should be " +
                map27::HexByteBlank(static_cast<std::uint8_t>(fcs >> 8)) +
                map27::HexByte(static_cast<std::uint8_t>(fcs & 0xFFU)) + ")";
    }
    if (frame[0] != map27::kSyn || frame[1] != map27::kDle || frame[2] != map27::kStx) {
        text += "  (no SYN DLE STX at the start)";
    }
    if (type == map27::kLinkTransfer)
        text += "  RX : " + map27::DecodeIncomingMessage(map27::FrameMessage(frame)).body;
    return text;
}

// Cuts a byte stream into frames the way the terminal receives them and describes each. Noise that
// the receiver drops before a frame's start marker is shown on a line of its own.
void DumpStream(const Bytes& stream, std::ostream& out) {
    // No length limit: a dump shows even a frame the terminal's buffer would refuse.
    map27::FrameAssembler assembler(std::numeric_limits<std::size_t>::max());
    std::size_t start = 0;  // first byte after the previous frame
    for (std::size_t i = 0; i < stream.size(); ++i) {
        if (assembler.Push(stream[i]) != map27::FrameAssembler::Step::Complete) continue;
        const std::span<const std::uint8_t> frame = assembler.Frame();
        const std::size_t consumed = i + 1 - start;
        if (consumed > frame.size()) {
            const auto noise = std::span(stream).subspan(start, consumed - frame.size());
            out << "skipped " << ByteCount(noise.size())
                << " before a frame: " << map27::HexBytesBlank(noise) << '\n';
        }
        out << DescribeFrame(frame) << '\n';
        start = i + 1;
    }
    if (start < stream.size()) {
        out << "incomplete frame at the end, " << ByteCount(stream.size() - start) << ": "
            << map27::HexBytesBlank(std::span(stream).subspan(start)) << '\n';
    }
}

// The link header as radiosim's trace shows it.
std::string DescribeLinkHeader(std::span<const std::uint8_t> frame) {
    char text[64];
    const unsigned a = frame[4], b = frame[5], c = frame[6];
    switch (frame[3]) {
        case map27::kLinkRequest:
            std::snprintf(text, sizeof text, "LR N1:%u K:%u Version:%u", a, b, c);
            break;
        case map27::kLinkAck:
            std::snprintf(text, sizeof text, "LA N(R):%u N(k):%u", a, b);
            break;
        case map27::kLinkTransfer:
            std::snprintf(text, sizeof text, "LT N(S):%u AR:%u", a, b);
            break;
        default:
            std::snprintf(text, sizeof text, "type %02X %02X %02X %02X", frame[3], a, b, c);
            break;
    }
    return text;
}

// SYN DLE STX, a header, DLE ETX and the FCS: the frame's parts are where they belong.
bool IsWholeFrame(std::span<const std::uint8_t> frame) {
    const std::size_t n = frame.size();
    return n >= map27::kFrameOverhead && frame[0] == map27::kSyn && frame[1] == map27::kDle &&
           frame[2] == map27::kStx && frame[n - 4] == map27::kDle && frame[n - 3] == map27::kEtx;
}

// What Talvane27's log shows for one captured frame, or the frame's description where the log
// shows nothing.
std::string CapturedFrameText(const map27::CaptureRecord& record) {
    const Bytes frame = map27::DestuffFrame(record.bytes);
    const bool whole = IsWholeFrame(frame);
    const bool fromRadio = record.direction == map27::WireDirection::RadioToTerminal;
    std::string text;
    if (fromRadio) {
        // The terminal drops a damaged frame without a word; only the capture knows it came.
        if (record.bad || !map27::IsGoodFrame(frame)) {
            std::string what =
                whole ? DescribeLinkHeader(frame) + (map27::HasGoodFcs(frame) ? "" : " FCS BAD")
                      : "damaged frame";
            std::string hex = map27::HexBytesBlank(record.bytes);
            hex.pop_back();
            return "!bad " + what + ": " + hex;
        }
        if (frame[3] != map27::kLinkTransfer) return DescribeLinkHeader(frame);
        return "RX : " + map27::DecodeIncomingMessage(map27::FrameMessage(frame)).body;
    }
    // The terminal logs every data frame it writes, also one it spoils for the CRC-error test.
    // A frame it writes that is no link frame and no message it builds can only be a hand-made
    // test frame, which the log shows byte by byte as written.
    if (whole && (frame[3] == map27::kLinkRequest || frame[3] == map27::kLinkAck)) {
        text = DescribeLinkHeader(frame);
    } else {
        std::optional<std::string> sent;
        if (whole && frame[3] == map27::kLinkTransfer)
            sent = map27::SentMessageLogText(map27::FrameMessage(frame));
        text = "TX : " + (sent ? *sent : map27::HexBytesBlank(record.bytes));
    }
    return record.bad || !map27::IsGoodFrame(frame) ? "!bad " + text : text;
}

// --capture: one output line per captured frame; a malformed line is named and skipped.
int DumpCapture(std::istream& in, std::ostream& out, std::ostream& err) {
    bool malformed = false;
    std::size_t number = 0;
    for (std::string text; std::getline(in, text);) {
        ++number;
        if (map27::IsCaptureComment(text)) continue;
        std::string error;
        const std::optional<map27::CaptureRecord> record = map27::ParseCaptureLine(text, error);
        if (!record) {
            err << "map27dump: line " << number << ": " << error << '\n';
            malformed = true;
            continue;
        }
        out << map27::FormatCaptureTime(record->time) << ' '
            << map27::DirectionText(record->direction) << ' ' << CapturedFrameText(*record) << '\n';
    }
    out.flush();
    if (malformed) return kExitBadInput;
    return out ? 0 : 1;
}

}  // namespace

int RunMap27Dump(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
                 std::ostream& err) {
    bool messageMode = false;
    std::optional<std::string> capturePath;
    std::vector<std::string> hexArguments;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            out << kHelp;
            return 0;
        }
        if (argument == "--message") {
            messageMode = true;
        } else if (argument == "--capture") {
            if (i + 1 >= arguments.size()) {
                err << "map27dump: --capture needs a file (- for standard input)\n";
                return kExitBadInput;
            }
            capturePath = arguments[++i];
        } else if (!argument.empty() && argument[0] == '-') {
            err << "map27dump: unknown option '" << argument << "' (see map27dump --help)\n";
            return kExitBadInput;
        } else {
            hexArguments.push_back(argument);
        }
    }

    if (capturePath) {
        if (messageMode || !hexArguments.empty()) {
            err << "map27dump: --capture reads a capture file only, without --message or bytes\n";
            return kExitBadInput;
        }
        if (*capturePath == "-") return DumpCapture(in, out, err);
        std::ifstream file(*capturePath);
        if (!file) {
            err << "map27dump: cannot read the capture " << *capturePath << '\n';
            return kExitBadInput;
        }
        return DumpCapture(file, out, err);
    }

    std::vector<std::string> texts;
    if (!hexArguments.empty()) {
        std::string joined;
        for (const std::string& argument : hexArguments) joined += argument + " ";
        texts.push_back(joined);
    } else {
        for (std::string text; std::getline(in, text);) texts.push_back(text);
    }

    std::vector<Line> lines;
    bool bad = false;
    for (std::size_t k = 0; k < texts.size(); ++k) {
        Line line{k + 1, {}};
        std::string error;
        if (!ParseHexLine(texts[k], line.bytes, error)) {
            err << "map27dump: line " << line.number << ": " << error << '\n';
            bad = true;
        }
        lines.push_back(std::move(line));
    }
    if (bad) return kExitBadInput;

    if (messageMode) {
        for (const Line& line : lines) {
            if (!line.bytes.empty()) out << map27::DecodeIncomingMessage(line.bytes).body;
            out << '\n';
        }
    } else {
        Bytes stream;
        for (const Line& line : lines)
            stream.insert(stream.end(), line.bytes.begin(), line.bytes.end());
        DumpStream(stream, out);
    }
    out.flush();
    return out ? 0 : 1;
}
