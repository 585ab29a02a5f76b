// map27dump: MAP27 frames and messages from hexadecimal text, decoded as Talvane27's log shows
// them.
#include "tools/Map27Dump.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <span>
#include <sstream>
#include <string_view>
#include <vector>

#include "map27/capture/WireCapture.h"
#include "map27/link/FrameCodec.h"
#include "map27/link/FrameReception.h"
#include "map27/network/Codings.h"
#include "map27/network/Network.h"
#include "text/HexFormat.h"
#include "text/QuotedToken.h"

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

The input is read and decoded as it comes, in memory that does not grow with it.
A line that is not hexadecimal (or a malformed capture line) is reported with
its number on standard error and the rest is read: with --message it gives an
empty output line, in a byte stream its bytes are missing. A UTF-8 byte order
mark at the start of the input is skipped.

Exit status: 0 when everything was decoded; 2 for a line that is not
hexadecimal or is too long, a malformed capture line, input that cannot be read
(a directory, a closed standard input), output that cannot be written (a full
disk, a closed standard output) or an unknown option. Every status 2 comes with
a message on standard error.
)";

// Parses one line of hexadecimal bytes; false with the error text for the first bad token.
bool ParseHexLine(std::string_view text, Bytes& bytes, std::string& error) {
    const std::optional<std::string_view> bad = text::ReadHexBytes(text, bytes);
    if (bad) error = text::QuotedToken(*bad) + " is not a hexadecimal byte";
    return !bad;
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

// The bytes between two frames that a line shows in hexadecimal; more are counted, not shown.
constexpr std::size_t kShownBytes = 65536;

// HexBytesBlank of the first bytes, "... " after them when there were more.
std::string ShownBytes(std::span<const std::uint8_t> firstBytes, std::size_t count) {
    return map27::HexBytesBlank(firstBytes.first(std::min(count, firstBytes.size()))) +
           (count > firstBytes.size() ? "... " : "");
}

// Cuts a byte stream into frames the way the terminal receives them and describes each, as the
// bytes come. Noise that the receiver drops before a frame's start marker is shown on a line of
// its own.
class StreamDump {
public:
    explicit StreamDump(std::ostream& out) : out_(out) {}

    void Push(std::span<const std::uint8_t> bytes) {
        for (const std::uint8_t byte : bytes) {
            ++sinceFrame_;
            if (firstBytes_.size() < kShownBytes) firstBytes_.push_back(byte);
            const auto step = assembler_.Push(byte);
            if (step == map27::FrameAssembler::Step::Complete) {
                const std::span<const std::uint8_t> frame = assembler_.Frame();
                if (const std::size_t noise = sinceFrame_ - frame.size(); noise > 0)
                    out_ << "skipped " << ByteCount(noise)
                         << " before a frame: " << ShownBytes(firstBytes_, noise) << '\n';
                out_ << DescribeFrame(frame) << '\n';
            } else if (step == map27::FrameAssembler::Step::Dropped) {
                out_ << "frame too long (more than " << ByteCount(kShownBytes) << "), "
                     << ByteCount(sinceFrame_) << ": " << ShownBytes(firstBytes_, sinceFrame_)
                     << '\n';
            } else {
                continue;
            }
            sinceFrame_ = 0;
            firstBytes_.clear();
        }
    }

    void Finish() {
        if (sinceFrame_ > 0)
            out_ << "incomplete frame at the end, " << ByteCount(sinceFrame_) << ": "
                 << ShownBytes(firstBytes_, sinceFrame_) << '\n';
    }

private:
    std::ostream& out_;
    // A dump shows frames the terminal's buffer would refuse, up to a length no MAP27 frame nears.
    map27::FrameAssembler assembler_{kShownBytes};
    std::size_t sinceFrame_ = 0;  // bytes since the previous frame ended
    Bytes firstBytes_;            // the first kShownBytes of them
};

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

// Reads the input a line at a time, in memory that does not grow with it. A line longer than
// kPieceLength comes in pieces cut after a blank, so that no group of digits is split; a group
// longer than that is cut all the same, and says so. A UTF-8 byte order mark at the start (which
// some editors write) is skipped.
class LineReader {
public:
    static constexpr std::size_t kPieceLength = 65536;
    struct Piece {
        std::string_view text;  // valid until the next call
        bool endsLine = true;
        bool cutInAGroup = false;
    };

    explicit LineReader(std::istream& in) : in_(in) {}

    // The next piece; nothing at the end of the input or when it cannot be read (ReadError).
    std::optional<Piece> Next() {
        for (;;) {
            const std::string_view rest = std::string_view(buffer_).substr(start_);
            std::optional<Piece> piece;
            if (const std::size_t end = rest.find('\n'); end <= kPieceLength) {
                piece = Piece{rest.substr(0, end), true, false};
                start_ += end + 1;
            } else if (rest.size() > kPieceLength) {
                const std::size_t blank = rest.substr(0, kPieceLength).find_last_of(" \t\r");
                const std::size_t length =
                    blank == std::string_view::npos ? kPieceLength : blank + 1;
                piece = Piece{rest.substr(0, length), false, blank == std::string_view::npos};
                start_ += length;
            } else if (ended_) {
                if (rest.empty()) return std::nullopt;
                piece = Piece{rest, true, false};  // the last line has no line end
                start_ = buffer_.size();
            } else {
                Fill();
                continue;
            }
            if (atLineStart_) ++line_;
            atLineStart_ = piece->endsLine;
            atInputStart_ = false;
            return piece;
        }
    }

    // The number of the line the last piece belongs to, from 1.
    std::size_t LineNumber() const { return line_; }
    // The errno of a read that failed, 0 when the input was read to its end.
    int ReadError() const { return readError_; }

private:
    // Appends what the input has ready (at least a byte, unless it ended).
    void Fill() {
        buffer_.erase(0, start_);
        start_ = 0;
        errno = 0;
        if (in_.peek() == std::char_traits<char>::eof()) {
            ended_ = true;
            if (in_.bad()) readError_ = errno != 0 ? errno : EIO;
            return;
        }
        constexpr std::size_t kReadSize = 16384;
        const std::size_t old = buffer_.size();
        buffer_.resize(old + kReadSize);
        buffer_.resize(old +
                       static_cast<std::size_t>(in_.readsome(buffer_.data() + old, kReadSize)));
        if (atInputStart_ && buffer_.size() >= 3) {
            atInputStart_ = false;
            if (buffer_.starts_with("\xEF\xBB\xBF")) buffer_.erase(0, 3);
        }
    }

    std::istream& in_;
    std::string buffer_;
    std::size_t start_ = 0;
    std::size_t line_ = 0;
    bool atLineStart_ = true;
    bool atInputStart_ = true;
    bool ended_ = false;
    int readError_ = 0;
};

// The text of one capture line: the output line, or the error for a malformed one.
std::string CaptureLineText(const LineReader::Piece& piece, std::string& error) {
    if (!piece.endsLine) {
        error = "longer than " + std::to_string(LineReader::kPieceLength) + " characters";
        return {};
    }
    const std::optional<map27::CaptureRecord> record = map27::ParseCaptureLine(piece.text, error);
    if (!record) return {};
    return map27::FormatCaptureTime(record->time) + ' ' + map27::DirectionText(record->direction) +
           ' ' + CapturedFrameText(*record);
}

// --capture: one output line per captured frame; a malformed line is named and skipped. Returns
// whether there was one.
bool DumpCapture(LineReader& reader, std::ostream& out, std::ostream& err) {
    bool malformed = false, restOfALongLine = false;
    while (out) {
        const std::optional<LineReader::Piece> piece = reader.Next();
        if (!piece) break;
        if (!restOfALongLine && !map27::IsCaptureComment(piece->text)) {
            std::string error;
            const std::string text = CaptureLineText(*piece, error);
            if (error.empty()) {
                out << text << '\n';
            } else {
                err << "map27dump: line " << reader.LineNumber() << ": " << error << '\n';
                malformed = true;
            }
        }
        restOfALongLine = !piece->endsLine;
    }
    return malformed;
}

// No MAP27 message comes near this; a longer line is no message.
constexpr std::size_t kLongestMessage = 65536;

// The bytes of one piece of a hexadecimal line; false with the error for a bad one.
bool PieceBytes(const LineReader::Piece& piece, Bytes& bytes, std::string& error) {
    if (piece.cutInAGroup) {
        error = "a group of more than " + std::to_string(LineReader::kPieceLength) +
                " characters without a blank";
        return false;
    }
    return ParseHexLine(piece.text, bytes, error);
}

// The hexadecimal modes: each line's bytes go to the message decoder (--message) or into the byte
// stream. A bad line is named and skipped; returns whether there was one.
bool DumpHex(LineReader& reader, bool messageMode, std::ostream& out, std::ostream& err) {
    StreamDump stream(out);
    Bytes bytes;  // of the line (--message) or of the piece
    bool bad = false, lineBad = false;
    while (out) {
        const std::optional<LineReader::Piece> piece = reader.Next();
        if (!piece) break;
        std::string error;
        if (!lineBad && PieceBytes(*piece, bytes, error) && bytes.size() > kLongestMessage &&
            messageMode)
            error = "more than " + ByteCount(kLongestMessage) + ", longer than any message";
        if (!error.empty()) {
            err << "map27dump: line " << reader.LineNumber() << ": " << error << '\n';
            bad = lineBad = true;
        }
        if (lineBad) bytes.clear();
        if (!messageMode) {
            stream.Push(bytes);
            bytes.clear();
        } else if (piece->endsLine) {
            if (!bytes.empty()) out << map27::DecodeIncomingMessage(bytes).body;
            out << '\n';
            bytes.clear();
        }
        if (piece->endsLine) lineBad = false;
    }
    if (!messageMode && out) stream.Finish();
    return bad;
}

}  // namespace

int RunMap27Dump(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
                 std::ostream& err) {
    bool messageMode = false;
    std::optional<std::string> capturePath;
    std::string hexArguments;
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
            err << "map27dump: unknown option " << text::QuotedToken(argument)
                << " (see map27dump --help)\n";
            return kExitBadInput;
        } else {
            hexArguments += argument + " ";  // the arguments form one line
        }
    }
    if (capturePath && (messageMode || !hexArguments.empty())) {
        err << "map27dump: --capture reads a capture file only, without --message or bytes\n";
        return kExitBadInput;
    }

    std::string inputName = "standard input";
    std::ifstream file;
    std::istringstream argumentLine(hexArguments);
    std::istream* input = hexArguments.empty() ? &in : &argumentLine;
    if (capturePath && *capturePath != "-") {
        inputName = "the capture " + text::QuotedToken(*capturePath);
        file.open(*capturePath);
        if (!file) {
            err << "map27dump: cannot read " << inputName << ": " << std::strerror(errno) << '\n';
            return kExitBadInput;
        }
        input = &file;
    }

    LineReader reader(*input);
    const bool bad =
        capturePath ? DumpCapture(reader, out, err) : DumpHex(reader, messageMode, out, err);
    out.flush();
    if (!out) {
        err << "map27dump: cannot write standard output"
            << (errno != 0 ? std::string(": ") + std::strerror(errno) : "") << '\n';
        return kExitBadInput;
    }
    if (reader.ReadError() != 0) {
        err << "map27dump: cannot read " << inputName << ": " << std::strerror(reader.ReadError())
            << '\n';
        return kExitBadInput;
    }
    return bad ? kExitBadInput : 0;
}
