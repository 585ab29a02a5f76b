#pragma once
// A pseudo-terminal standing in for a radio on COM1 or COM2: the program opens the slave by its
// path, the test talks through the master.
#include <string>

class PtyPeer {
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& Path() const { return path_; }
    void Write(const std::string& bytes);
    // Everything that arrives until count bytes are in or timeoutMs passes without a byte.
    std::string Read(std::size_t count, int timeoutMs = 2000);
    // What arrives within a short while; for checking that nothing was sent.
    std::string ReadQuiet(int ms = 150) { return Read(1u << 20, ms); }
    // Hangs the line up for good, as a pulled adapter does.
    void Close();
    // Fills the line towards this end until it takes no more: from then on the program's writes
    // wait, as they do for a peer that has stopped reading.
    void StopReading();

private:
    int master_ = -1;
    int slave_ = -1;  // kept open so the master never sees the line hang up between two opens
    std::string path_;
};

// Bytes written as text: Hex("02 41") == "\x02\x41".
std::string Hex(const std::string& text);
