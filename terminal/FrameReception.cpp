#include "FrameReception.h"

#include <algorithm>

#include "Hcomm.h"

namespace {

constexpr std::uint8_t kDle = 0x10;
constexpr std::uint8_t kEtx = 0x03;

enum class WaitResult { Byte, TimedOut, Abandoned };

}  // namespace

ReceptionResult ReceiveRawFrame(THComm& port, std::vector<std::uint8_t>& frame, std::size_t capacity,
                                std::chrono::milliseconds supervision, const std::atomic<bool>& stop) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + supervision;
    frame.clear();
    bool tooLong = false;

    auto readByte = [&](std::uint8_t& byte) -> WaitResult {
        for (;;) {
            if (stop.load() || !port.GetPortStatus()) return WaitResult::Abandoned;
            if (port.CountInBuff() > 0) {
                port.ReadData(&byte, 1);
                return WaitResult::Byte;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return WaitResult::TimedOut;
            // Short slices keep a closing program from waiting for the whole supervision time.
            port.WaitForInput(static_cast<int>(std::min<long long>(left.count(), 200)));
        }
    };
    auto store = [&](std::uint8_t byte) {
        if (frame.size() < capacity) {
            frame.push_back(byte);
        } else {
            tooLong = true;
        }
    };
    auto failed = [](WaitResult r) {
        return r == WaitResult::TimedOut ? ReceptionResult::TimedOut : ReceptionResult::Abandoned;
    };

    for (;;) {
        std::uint8_t byte = 0;
        if (auto r = readByte(byte); r != WaitResult::Byte) return failed(r);
        store(byte);
        if (byte != kDle) continue;
        std::uint8_t next = 0;
        if (auto r = readByte(next); r != WaitResult::Byte) return failed(r);
        store(next);
        if (next != kEtx) continue;  // a doubled DLE, or DLE STX of the start marker
        for (int i = 0; i < 2; ++i) {
            std::uint8_t fcs = 0;
            if (auto r = readByte(fcs); r != WaitResult::Byte) return failed(r);
            store(fcs);
        }
        return tooLong ? ReceptionResult::Dropped : ReceptionResult::Frame;
    }
}
