#include "radiosim/Commands.h"

#include <cctype>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include "text/QuotedToken.h"

namespace radiosim {

namespace {

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The rest of the line after the first n words, blanks inside kept.
std::string RestAfterWords(const std::string& line, std::size_t n) {
    std::size_t i = 0;
    for (std::size_t w = 0; w < n; ++w) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    }
    if (i < line.size()) ++i;  // the one blank that separates the text
    return line.substr(i);
}

Bytes HexBytes(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
        else if (!std::isspace(static_cast<unsigned char>(c)) && c != ',' && c != '-' && c != ':')
            throw std::invalid_argument(text::QuotedToken(std::string(1, c)) +
                                        " is not a hexadecimal digit");
    }
    if (digits.size() % 2) throw std::invalid_argument("odd number of hexadecimal digits");
    Bytes bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

// Text of a text coding: printable ASCII as it stands, "\xNN" for any byte, "\\" for a backslash.
Bytes TextBytes(const std::string& text, bool sevenBit) {
    Bytes bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            bytes.push_back('\\');
            ++i;
        } else if (c == '\\' && i + 3 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            bytes.push_back(
                static_cast<std::uint8_t>(std::stoul(text.substr(i + 2, 2), nullptr, 16)));
            i += 3;
        } else if (c >= 0x80) {
            throw std::invalid_argument(
                "only ASCII characters can be typed; give other bytes as \\xNN");
        } else {
            bytes.push_back(c);
        }
    }
    if (sevenBit)
        for (std::uint8_t b : bytes)
            if (b > 0x7F) throw std::invalid_argument("7-bit text holds bytes up to \\x7F only");
    return bytes;
}

void AppendAddress(Bytes& m, const std::string& pfix, const std::string& ident) {
    m.push_back(static_cast<std::uint8_t>(ParseNumber(pfix, 255, "PFIX")));
    const auto id = ParseNumber(ident, 65535, "IDENT");
    m.push_back(static_cast<std::uint8_t>(id >> 8));
    m.push_back(static_cast<std::uint8_t>(id & 0xFF));
}

Command Of(Command::Kind kind) {
    Command c;
    c.kind = kind;
    return c;
}

Command Send(Bytes m) {
    Command c;
    c.kind = Command::Kind::Send;
    c.message = std::move(m);
    return c;
}

Command Inject(Fault f, unsigned seconds = 0) {
    Command c;
    c.kind = Command::Kind::Inject;
    c.fault = f;
    c.seconds = seconds;
    return c;
}

void Expect(bool ok, const char* usage) {
    if (!ok) throw std::invalid_argument(std::string("usage: ") + usage);
}

Command Parse(const std::string& line) {
    const std::vector<std::string> w = Words(line);
    if (w.empty() || w[0][0] == '#') return {};
    const std::string verb = Lower(w[0]);
    const std::size_t n = w.size();

    if (verb == "help" || verb == "?") return Of(Command::Kind::Help);
    if (verb == "quit" || verb == "exit") return Of(Command::Kind::Quit);
    if (verb == "status") {
        Expect(n == 4, "status PFIX IDENT STATUS   (e.g. status 008 2001 5)");
        Bytes m{0x80};
        AppendAddress(m, w[1], w[2]);
        m.push_back(0x00);
        m.push_back(static_cast<std::uint8_t>(ParseNumber(w[3], 255, "STATUS")));
        return Send(std::move(m));
    }
    if (verb == "sst" || verb == "mst") {
        const char* usage =
            "sst|mst 7bit|8bit|bcd|telex|binary PFIX IDENT DATA   (text for 7bit/8bit, hex bytes "
            "otherwise)";
        Expect(n >= 4, usage);
        const std::string coding = Lower(w[1]);
        Bytes m{static_cast<std::uint8_t>(verb == "sst" ? 0x81 : 0x82)};
        AppendAddress(m, w[2], w[3]);
        m.push_back(0x00);
        const std::string data = RestAfterWords(line, 4);
        Bytes body;
        if (coding == "7bit" || coding == "7") {
            m.push_back(0xB7);
            body = TextBytes(data, true);
        } else if (coding == "8bit" || coding == "8") {
            m.push_back(0xF7);
            body = TextBytes(data, false);
        } else if (coding == "bcd") {
            m.push_back(0x17);
            body = HexBytes(data);
        } else if (coding == "telex") {
            m.push_back(0xA7);
            body = HexBytes(data);
        } else if (coding == "binary" || coding == "bin") {
            m.push_back(0x87);
            body = HexBytes(data);
        } else {
            throw std::invalid_argument("unknown coding " + text::QuotedToken(w[1]) + "; " + usage);
        }
        m.insert(m.end(), body.begin(), body.end());
        return Send(std::move(m));
    }
    if (verb == "voice" || verb == "emergency") {
        Expect(
            n == 3 || n == 4,
            "voice|emergency PFIX IDENT [OPTIONS]   (e.g. voice 008 2002 0x10 for a modem call)");
        Bytes m{static_cast<std::uint8_t>(verb == "voice" ? 0xA4 : 0xA5)};
        AppendAddress(m, w[1], w[2]);
        m.push_back(0x00);
        m.push_back(n == 4 ? static_cast<std::uint8_t>(ParseNumber(w[3], 255, "OPTIONS"))
                           : std::uint8_t{0});
        return Send(std::move(m));
    }
    if (verb == "clear") {
        Expect(n == 3 || n == 4,
               "clear PFIX IDENT [CAUSE]   (no cause: 86 normal end; a cause: A6 abnormal, e.g. "
               "0x0E)");
        Bytes m{static_cast<std::uint8_t>(n == 3 ? 0x86 : 0xA6)};
        AppendAddress(m, w[1], w[2]);
        m.push_back(n == 3 ? std::uint8_t{0x07}
                           : static_cast<std::uint8_t>(ParseNumber(w[3], 255, "CAUSE")));
        return Send(std::move(m));
    }
    if (verb == "protocol") {
        Expect(n == 2, "protocol REASON   (1 unrecognised .. 6 ready for remote control)");
        return Send({0xB4, static_cast<std::uint8_t>(ParseNumber(w[1], 255, "REASON"))});
    }
    if (verb == "raw") {
        Bytes m = HexBytes(RestAfterWords(line, 1));
        Expect(!m.empty(), "raw HEX BYTES   (e.g. raw 80 08 07 D1 00 01)");
        return Send(std::move(m));
    }
    static const struct {
        const char* verb;
        Fault fault;
    } simpleFaults[] = {{"corrupt", Fault::CorruptFcs},
                        {"drop", Fault::DropFrame},
                        {"sequence", Fault::OutOfSequence},
                        {"restart", Fault::Restart}};
    for (const auto& f : simpleFaults) {
        if (verb != f.verb) continue;
        if (n != 1) throw std::invalid_argument(std::string(f.verb) + " takes no arguments");
        return Inject(f.fault);
    }
    if (verb == "silent") {
        Expect(n == 2, "silent SECONDS");
        return Inject(Fault::Silence, static_cast<unsigned>(ParseNumber(w[1], 3600, "SECONDS")));
    }
    if (verb == "stats") {
        Expect(n == 1, "stats");
        return Of(Command::Kind::Stats);
    }
    if (verb == "unlock") {
        Expect(n == 1, "unlock");
        return Of(Command::Kind::Unlock);
    }
    if (verb == "echo") {
        Expect(n == 2 && (Lower(w[1]) == "on" || Lower(w[1]) == "off"), "echo on|off");
        Command c = Of(Command::Kind::Echo);
        c.echo = Lower(w[1]) == "on";
        return c;
    }
    throw std::invalid_argument("unknown command " + text::QuotedToken(w[0]) +
                                "; type help for the list");
}

}  // namespace

std::uint32_t ParseNumber(const std::string& text, std::uint32_t max, const char* what) {
    std::string digits = text;
    int base = 10;
    if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0) {
        digits = digits.substr(2);
        base = 16;
    } else if (!digits.empty() && digits[0] == '$') {
        digits = digits.substr(1);
        base = 16;
    }
    bool ok = !digits.empty() && digits.size() <= 10;
    for (char c : digits)
        ok = ok && (base == 16 ? std::isxdigit(static_cast<unsigned char>(c))
                               : std::isdigit(static_cast<unsigned char>(c)));
    if (!ok)
        throw std::invalid_argument(std::string(what) + ": " + text::QuotedToken(text) +
                                    " is not a number");
    const unsigned long long value = std::stoull(digits, nullptr, base);
    if (value > max)
        throw std::invalid_argument(std::string(what) + ": " + text + " is out of range 0.." +
                                    std::to_string(max));
    return static_cast<std::uint32_t>(value);
}

Command ParseCommand(const std::string& line) {
    try {
        return Parse(line);
    } catch (const std::exception& e) {
        Command c = Of(Command::Kind::Error);
        c.error = e.what();
        return c;
    }
}

std::vector<CommandLines::Line> CommandLines::Feed(std::string_view bytes) {
    std::vector<Line> lines;
    for (std::size_t end; !bytes.empty(); bytes.remove_prefix(end + 1)) {
        end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (!discarding_) {
            if (pending_.size() + piece.size() > kMaxLength) {
                lines.push_back({{}, true});
                pending_.clear();
                discarding_ = true;
            } else {
                pending_.append(piece);
            }
        }
        if (end == std::string_view::npos) break;
        if (!discarding_) {
            if (!pending_.empty() && pending_.back() == '\r') pending_.pop_back();
            lines.push_back({std::move(pending_), false});
        }
        pending_.clear();
        discarding_ = false;
    }
    return lines;
}

std::optional<CommandLines::Line> CommandLines::Finish() {
    if (discarding_ || pending_.empty()) return std::nullopt;
    return Line{std::exchange(pending_, {}), false};
}

std::string HelpText() {
    return "Commands (numbers are decimal, or hexadecimal after 0x or $):\n"
           "  status PFIX IDENT STATUS          incoming status, e.g. status 008 2001 5\n"
           "  sst|mst CODING PFIX IDENT DATA    incoming short data; CODING 7bit, 8bit (DATA is "
           "text,\n"
           "                                    \\xNN for any byte), bcd, telex, binary (DATA is "
           "hex)\n"
           "  voice PFIX IDENT [OPTIONS]        incoming voice call (OPTIONS 0x10: modem call)\n"
           "  emergency PFIX IDENT [OPTIONS]    incoming emergency call\n"
           "  clear PFIX IDENT [CAUSE]          clear, normal end (86), or abnormal with a cause "
           "(A6)\n"
           "  protocol REASON                   protocol info (B4)\n"
           "  raw HEX                           any network message, e.g. raw 80 08 07 D1 00 01\n"
           "  echo on|off                       send data calls back from the called party\n"
           "  unlock                            let the terminal open the port again after it\n"
           "                                    ended without closing it (it stays locked)\n"
           "Faults:\n"
           "  corrupt                           the next frame goes out with a wrong FCS\n"
           "  drop                              the next frame is not sent\n"
           "  sequence                          the next data frame carries a wrong N(S)\n"
           "  silent SECONDS                    the radio neither sends nor hears for a while\n"
           "  restart                           the radio restarts its link (link request)\n"
           "  stats                             what the radio has sent, heard and injected\n"
           "  help, quit\n";
}

}  // namespace radiosim
