#include "map27/link/FrameReception.h"

#include <utility>

#include "map27/link/FrameCodec.h"

namespace map27 {

FrameAssembler::FrameAssembler(std::size_t capacity) : capacity_(capacity) {}

void FrameAssembler::SetCapacity(std::size_t capacity) {
    capacity_ = capacity;
}

bool FrameAssembler::InProgress() const {
    return !bytes_.empty() || dlePending_ || tooLong_ || trailerLeft_ > 0;
}

void FrameAssembler::Reset() {
    bytes_.clear();
    destuffedLength_ = 0;
    trailerLeft_ = 0;
    dlePending_ = false;
    tooLong_ = false;
    lastWasSingleSyn_ = false;
    synBeforeDle_ = false;
}

void FrameAssembler::Keep(std::uint8_t byte, std::size_t destuffedGrowth) {
    if (tooLong_) return;
    destuffedLength_ += destuffedGrowth;
    if (destuffedLength_ > capacity_) {
        // Not written past the receive buffer: the rest of this frame is consumed and dropped.
        tooLong_ = true;
        bytes_.clear();
        bytes_.shrink_to_fit();
        return;
    }
    bytes_.push_back(byte);
}

FrameAssembler::Step FrameAssembler::Push(std::uint8_t byte) {
    if (trailerLeft_ > 0) {
        Keep(byte, 1);
        if (--trailerLeft_ > 0) return Step::Incomplete;
        const bool dropped = tooLong_;
        if (!dropped) completed_ = std::exchange(bytes_, {});
        Reset();
        return dropped ? Step::Dropped : Step::Complete;
    }
    if (dlePending_) {
        dlePending_ = false;
        if (byte == kEtx) {
            Keep(kDle, 1);
            Keep(kEtx, 1);
            trailerLeft_ = 2;
        } else if (byte == kStx && synBeforeDle_) {
            // Only a frame's start marker holds an unstuffed DLE STX: whatever came before was
            // noise.
            Reset();
            Keep(kSyn, 1);
            Keep(kDle, 1);
            Keep(kStx, 1);
        } else {
            // A stuffed pair (one byte once collapsed) or a stray DLE, kept as it came. After a
            // stray DLE a SYN may still begin a frame.
            Keep(kDle, byte == kDle ? 1 : 2);
            Keep(byte, 0);
            lastWasSingleSyn_ = byte == kSyn;
            return Step::Incomplete;
        }
        lastWasSingleSyn_ = false;
        return Step::Incomplete;
    }
    if (byte == kDle) {
        dlePending_ = true;
        synBeforeDle_ = lastWasSingleSyn_;
        return Step::Incomplete;
    }
    Keep(byte, 1);
    lastWasSingleSyn_ = byte == kSyn;
    return Step::Incomplete;
}

}  // namespace map27
