#pragma once
// The figures measured with Talvane27's main window in this process, offscreen, on a
// pseudo-terminal whose other side a scripted radio plays from a thread of its own.
#include <string>

namespace bench {

struct InProcessCounts {
    int turnaroundFrames = 300;
    int floodMessages = 1000;
    int dataCallCharacters = 100;
    int logLines = 100000;
};

// Prints the figures; throws on a malfunction (the link never up, messages lost). configDir is the
// private XDG_CONFIG_HOME this process uses.
void RunInProcessFigures(const InProcessCounts& counts, const std::string& configDir);

}  // namespace bench
