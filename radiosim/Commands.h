#pragma once
// The simulator's command line: one command per line of standard input.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "radiosim/FrameText.h"

namespace radiosim {

enum class Fault : std::uint8_t {
    CorruptFcs,     // the next frame goes out with a wrong FCS
    DropFrame,      // the next frame is not sent at all
    OutOfSequence,  // the next data frame carries a wrong N(S)
    Silence,        // nothing is sent or taken for a number of seconds
    Restart,        // the radio restarts its link (sends a link request)
};

struct Command {
    enum class Kind : std::uint8_t { None, Send, Inject, Echo, Unlock, Stats, Help, Quit, Error };
    Kind kind = Kind::None;
    Bytes message;  // Send: the network message
    Fault fault = Fault::CorruptFcs;
    unsigned seconds = 0;  // Silence
    bool echo = false;     // Echo
    std::string error;     // Error: what is wrong, for the operator
};

Command ParseCommand(const std::string& line);

// Cuts standard input into command lines, in whatever pieces it comes. A line longer than
// kMaxLength bytes is refused whole: the rest of it, up to its line end, is thrown away and never
// run as a command.
class CommandLines {
public:
    static constexpr std::size_t kMaxLength = 65536;
    struct Line {
        std::string text;  // without its line end (LF or CR LF)
        bool tooLong = false;
    };
    // The lines that these bytes end, in order; an over-long one once, as tooLong.
    std::vector<Line> Feed(std::string_view bytes);
    // At the end of the input: the last line, when it had no line end.
    std::optional<Line> Finish();

private:
    std::string pending_;
    bool discarding_ = false;  // inside a line already refused
};
std::string HelpText();

// A number by the usual rules: decimal, or hexadecimal after "0x" or "$", within [0, max].
// Throws std::invalid_argument with the operator's message ("'x' is not a number ...").
std::uint32_t ParseNumber(const std::string& text, std::uint32_t max, const char* what);

}  // namespace radiosim
