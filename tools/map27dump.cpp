// map27dump: MAP27 frames and messages from hexadecimal text, decoded as Talvane27's log shows
// them.
#include <cstdio>
#include <iostream>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Codings.h"
#include "FrameCodec.h"
#include "FrameReception.h"
#include "Network.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kExitBadInput = 2;

constexpr const char* kHelp = R"(Usage: map27dump [--message] [HEX ...]

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
  --help     Shows this text.

Exit status: 0 when everything was decoded; 2 for text that is not hexadecimal
or an unknown option (then nothing is printed on standard output).
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

}  // namespace

int main(int argc, char** argv) {
    bool messageMode = false;
    std::vector<std::string> hexArguments;
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        if (argument == "--help" || argument == "-h") {
            std::cout << kHelp;
            return 0;
        }
        if (argument == "--message") {
            messageMode = true;
        } else if (!argument.empty() && argument[0] == '-') {
            std::cerr << "map27dump: unknown option '" << argument << "' (see map27dump --help)\n";
            return kExitBadInput;
        } else {
            hexArguments.push_back(argument);
        }
    }

    std::vector<std::string> texts;
    if (!hexArguments.empty()) {
        std::string joined;
        for (const std::string& argument : hexArguments) joined += argument + " ";
        texts.push_back(joined);
    } else {
        for (std::string text; std::getline(std::cin, text);) texts.push_back(text);
    }

    std::vector<Line> lines;
    bool bad = false;
    for (std::size_t k = 0; k < texts.size(); ++k) {
        Line line{k + 1, {}};
        std::string error;
        if (!ParseHexLine(texts[k], line.bytes, error)) {
            std::cerr << "map27dump: line " << line.number << ": " << error << '\n';
            bad = true;
        }
        lines.push_back(std::move(line));
    }
    if (bad) return kExitBadInput;

    if (messageMode) {
        for (const Line& line : lines) {
            if (!line.bytes.empty()) std::cout << map27::DecodeIncomingMessage(line.bytes).body;
            std::cout << '\n';
        }
    } else {
        Bytes stream;
        for (const Line& line : lines)
            stream.insert(stream.end(), line.bytes.begin(), line.bytes.end());
        DumpStream(stream, std::cout);
    }
    std::cout.flush();
    return std::cout ? 0 : 1;
}
