#pragma once
// A scripted radio on the master side of a pseudo-terminal: it cuts what the terminal writes into
// frames and answers as the test tells it, with frames built by the link layer's codec.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "map27/link/FrameCodec.h"
#include "map27/link/FrameReception.h"

class PtyRadio {
public:
    PtyRadio();
    ~PtyRadio();
    PtyRadio(const PtyRadio&) = delete;
    PtyRadio& operator=(const PtyRadio&) = delete;

    std::string SlavePath() const { return slavePath_; }

    // Reads what has arrived, without waiting, and cuts it into frames.
    void Poll();
    // Frames received so far (as on the line, stuffed), oldest first.
    const std::vector<std::vector<std::uint8_t>>& Frames() const { return frames_; }
    void ClearFrames() { frames_.clear(); }
    // The data frames received so far, de-stuffed.
    std::vector<std::vector<std::uint8_t>> DataFrames() const;
    std::size_t CountOfType(std::uint8_t linkType) const;

    // The adapter is pulled: both sides of the pseudo-terminal go away under the terminal.
    void Pull();

    void Write(std::span<const std::uint8_t> bytes);
    void SendLinkRequest(std::uint8_t n1 = 127, std::uint8_t k = 1, std::uint8_t version = 1);
    void SendLinkAck(std::uint8_t nr, std::uint8_t nk);
    void SendData(std::uint8_t ns, std::span<const std::uint8_t> message, std::uint8_t ar = 0);

private:
    int master_ = -1;
    int slave_ = -1;  // kept open so the master side never sees a hang-up while the port is closed
    std::string slavePath_;
    map27::FrameAssembler assembler_;
    std::vector<std::vector<std::uint8_t>> frames_;
};

std::string HexText(std::span<const std::uint8_t> bytes);
