#pragma once
// Reception of one frame on the serial component's receive thread: the bytes as they come off the
// line, from the first byte after the previous frame up to DLE ETX and the two FCS bytes, DLE
// doubling included. Nothing here checks the frame; the link engine does that.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

class THComm;

enum class ReceptionResult {
    Frame,      // a whole frame is in the buffer
    TimedOut,   // not complete within the supervision time: the link restarts
    Dropped,    // longer than the receive buffer: discarded like a damaged frame
    Abandoned,  // the port was closed or lost, or the program is ending
};

ReceptionResult ReceiveRawFrame(THComm& port, std::vector<std::uint8_t>& frame, std::size_t capacity,
                                std::chrono::milliseconds supervision, const std::atomic<bool>& stop);
