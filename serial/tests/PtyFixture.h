#pragma once
// Pseudo-terminal pairs stand in for a serial port (the slave, opened by THComm through "COMn")
// and the radio at its far end (the master, driven by the test).
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "serial/Hcomm.h"

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    // A descriptor of the slave held by the test, to read back what the port was set to.
    int SlaveFd() const { return slave_; }
    int MasterFd() const { return master_; }
    void Send(const std::vector<std::uint8_t>& bytes);
    void Send(const std::string& text);
    // Everything the far end receives within timeout, stopping early once count bytes are in.
    std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds timeout);
    // The far end goes away, as a pulled USB adapter does.
    void CloseMaster();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// A private configuration folder ($XDG_CONFIG_HOME) holding halberd/ports.conf.
class TempConfig {
public:
    TempConfig();
    ~TempConfig();
    TempConfig(const TempConfig&) = delete;
    TempConfig& operator=(const TempConfig&) = delete;

    void WritePortsFile(const std::string& contents);
    void MapPorts(const std::map<std::string, std::string>& ports);
    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
};

// Waits up to timeout for condition, looking every millisecond.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// CPU time used by the whole process so far, user and system.
std::chrono::microseconds ProcessCpuTime();

// The message of the ECommError that action raises, or "(nothing raised)".
template <typename Action>
std::string CommErrorOf(Action action) {
    try {
        action();
    } catch (const ECommError& error) {
        return error.what();
    } catch (const std::exception& error) {
        return std::string("not an ECommError: ") + error.what();
    }
    return "(nothing raised)";
}
