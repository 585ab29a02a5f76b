#pragma once
// The radiosim program as a child process: commands go to its standard input, what it prints
// comes back line by line.
#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "radiosim/PseudoTerminal.h"

namespace soak {

class RadiosimChild {
public:
    // Throws std::runtime_error when the program cannot be started.
    RadiosimChild(const std::string& program, std::vector<std::string> args);
    ~RadiosimChild();  // kills a child that is still running
    RadiosimChild(const RadiosimChild&) = delete;
    RadiosimChild& operator=(const RadiosimChild&) = delete;

    int OutputFd() const { return fromChild_.get(); }
    // Reads what has arrived (without waiting) and returns the whole lines among it.
    std::vector<std::string> ReadLines();
    // The program closed its output: it has ended.
    bool Ended() const { return ended_; }
    // Waits for the next whole line; empty when none came in time or the program ended.
    std::string WaitForLine(std::chrono::milliseconds timeout);
    // Returns false when the program no longer reads its commands.
    bool Command(const std::string& line);
    // No more commands: the program reads the end of its input.
    void CloseInput() { toChild_ = radiosim::UniqueFd(); }
    // Sends the program a signal while it runs.
    void Signal(int signal);
    // Waits for the program to end; the wait status, or -1 when it did not end in time.
    int Wait(std::chrono::milliseconds timeout);
    // The program's peak resident memory so far in kB (VmHWM), 0 when it cannot be read. Its own:
    // the high-water mark that wait4 reports starts from this process's size at the spawn.
    long PeakMemoryKb() const;
    // What the ended program used (its own figures, whatever else this process ran before).
    const rusage& Usage() const { return usage_; }

private:
    pid_t pid_ = -1;
    radiosim::UniqueFd toChild_, fromChild_;
    std::string pending_;
    bool ended_ = false;
    rusage usage_{};
};

}  // namespace soak
