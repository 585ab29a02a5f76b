#pragma once
// The figures measured on the real executables, started offscreen with a private configuration.
#include <string>

namespace bench {

struct ProcessCounts {
    int idleSeconds = 10;
    int startRuns = 5;
};

// Prints the figures; throws on a malfunction (a program that never opens its port or never asks
// for the link).
void RunProcessFigures(const ProcessCounts& counts, const std::string& talvane,
                       const std::string& orrick, const std::string& workDir);

}  // namespace bench
