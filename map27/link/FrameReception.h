#pragma once
// Cutting the bytes that arrive from the port into frames, in whatever pieces they come. The link
// session (LinkSession.h) runs it with the reception supervision; map27dump and the test radios use
// it on its own.
//
// A frame is whatever arrives from the first byte after the previous frame up to DLE ETX and the
// two FCS bytes after it; DLE pairs are stored as they came (de-stuffing is AcceptFrame's job). Two
// guards keep a bad line from doing harm: a frame that would not fit the receive buffer is not
// stored but consumed to its end and dropped, and an unstuffed DLE STX after a SYN (which can only
// be the start of a frame) drops the noise stored before it, so that a frame whose start was lost
// does not take the next frame down with it.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace map27 {

class FrameAssembler {
public:
    enum class Step : std::uint8_t {
        Incomplete,  // more bytes needed
        Complete,    // Frame() holds a whole frame
        Dropped,     // a frame too long for the receive buffer ended; nothing to accept
    };

    // capacity: the longest frame after de-stuffing, 16 x K x (N1 + 1) + 11 bytes.
    explicit FrameAssembler(std::size_t capacity = 2059);

    void SetCapacity(std::size_t capacity);
    std::size_t Capacity() const { return capacity_; }

    Step Push(std::uint8_t byte);
    // Feeds bytes in any chunking; every complete frame goes to onFrame(std::span<const uint8_t>).
    // Returns the number of frames dropped for length.
    template <class OnFrame>
    std::size_t PushBytes(std::span<const std::uint8_t> bytes, OnFrame&& onFrame) {
        std::size_t dropped = 0;
        for (const std::uint8_t byte : bytes) {
            const Step step = Push(byte);
            if (step == Step::Complete) onFrame(Frame());
            if (step == Step::Dropped) ++dropped;
        }
        return dropped;
    }

    // The last complete frame, as received (stuffed); valid until the next Push.
    std::span<const std::uint8_t> Frame() const { return completed_; }
    // True while bytes of an unfinished frame are held.
    bool InProgress() const;
    // Abandons the frame being received (a supervision time-out, a purge of the port).
    void Reset();

private:
    // Stores a byte unless the frame has outgrown the buffer; destuffedGrowth is what it adds to
    // the frame's length after de-stuffing.
    void Keep(std::uint8_t byte, std::size_t destuffedGrowth);

    std::size_t capacity_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::uint8_t> completed_;
    std::size_t destuffedLength_ = 0;  // the frame's length once its DLE pairs are collapsed
    int trailerLeft_ = 0;              // FCS bytes still to come after DLE ETX
    bool dlePending_ = false;
    bool tooLong_ = false;
    bool lastWasSingleSyn_ = false;  // the last byte seen was a SYN on its own, not in a pair
    bool synBeforeDle_ = false;      // the pending DLE follows such a SYN
};

}  // namespace map27
