// map27dump: MAP27 frames and messages from hexadecimal text, decoded as Talvane27's log shows
// them.
#include <iostream>
#include <string>
#include <vector>

#include "tools/Map27Dump.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return RunMap27Dump(arguments, std::cin, std::cout, std::cerr);
}
