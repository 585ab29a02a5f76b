#pragma once
// The figures measured on the real executables with a private configuration, started offscreen
// and on a virtual X server (Xvfb).
#include <string>

namespace bench {

struct ProcessCounts {
    int idleSeconds = 10;
    int startRuns = 5;
    int displayIdleSeconds = 20;  // on the virtual X server
    int floodSeconds = 20;
    // Each flood on the virtual X server is run this many times in turn and the median printed:
    // on a shared or virtual machine one run can cost twice another.
    int floodRuns = 3;
};

// Prints the figures; throws on a malfunction (a program that never opens its port or never asks
// for the link).
void RunProcessFigures(const ProcessCounts& counts, const std::string& talvane,
                       const std::string& orrick, const std::string& workDir);

// Only the figures on the virtual X server: to compare two builds of a program in turns.
void RunDisplayFigures(const ProcessCounts& counts, const std::string& talvane,
                       const std::string& orrick, const std::string& workDir);

}  // namespace bench
