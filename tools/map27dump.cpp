// map27dump: MAP27 frames and messages from hexadecimal text, decoded as Talvane27's log shows
// them.
#include <iostream>
#include <string>
#include <vector>

#include "tools/Map27Dump.h"

int main(int argc, char** argv) {
    // The streams' own buffers: a read or write error then shows in the stream's state (stdio's
    // would take a read error for the end of the input).
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return RunMap27Dump(arguments, std::cin, std::cout, std::cerr);
}
