// Frame reception from a byte stream cut in arbitrary pieces. The input chooses the receive-buffer
// size and the piece sizes; the rest is the stream. Every frame must come out the same whatever the
// cutting, end with DLE ETX and two FCS bytes, and fit the buffer once its DLE pairs are collapsed.
// The same stream then goes through the link session, the reception path the programs run (with
// its supervision and the engine behind it): cut in those pieces or fed byte by byte, it must give
// the same frames, the same frames written back and the same time-outs.
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "map27/link/FrameCodec.h"
#include "map27/link/FrameReception.h"
#include "map27/link/tests/LinkTestHarness.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Received {
    std::vector<Bytes> frames;
    std::size_t dropped = 0;
};

void CheckFrame(std::span<const std::uint8_t> frame, std::size_t capacity) {
    const std::size_t n = frame.size();
    FUZZ_CHECK(n >= 4, "a frame holds at least DLE ETX and its FCS");
    FUZZ_CHECK(frame[n - 4] == map27::kDle && frame[n - 3] == map27::kEtx,
               "a frame ends with DLE ETX and two FCS bytes");
    const Bytes destuffed = map27::DestuffFrame(frame);
    FUZZ_CHECK(destuffed.size() <= frame.size(), "de-stuffing never lengthens a frame");
    if (n >= 3 && frame[0] == map27::kSyn && frame[1] == map27::kDle && frame[2] == map27::kStx) {
        FUZZ_CHECK(destuffed.size() <= capacity, "a frame kept fits the receive buffer");
    }
    // A good frame survives a return trip through the codec.
    if (map27::IsGoodFrame(destuffed)) {
        FUZZ_CHECK(map27::DestuffFrame(map27::StuffFrame(destuffed)) == destuffed,
                   "stuffing a good frame and de-stuffing it gives it back");
    }
}

struct SessionOutcome {
    std::vector<Bytes> framesReceived;
    std::vector<Bytes> written;
    int timeouts = 0;
    std::size_t dataFrames = 0;
    bool operator==(const SessionOutcome&) const = default;
};

// The stream through a session whose link is up, in the given pieces (empty: one byte at a time),
// all at one moment; then the clock runs past the supervision.
SessionOutcome ThroughSession(std::span<const std::uint8_t> stream,
                              const std::vector<std::size_t>& pieceSizes) {
    map27::test::VirtualClock clock;
    map27::test::SessionRig rig(clock);
    rig.session.StartLink();
    rig.Feed(map27::MakeLinkRequest(127, 1, 1));
    rig.Feed(map27::MakeLinkAck(1, 1));
    FUZZ_CHECK(rig.session.IsEstablished(), "the session's link comes up");
    std::size_t offset = 0;
    for (std::size_t k = 0; offset < stream.size(); ++k) {
        const std::size_t size = pieceSizes.empty() ? 1 : pieceSizes[k % pieceSizes.size()];
        const auto piece = stream.subspan(offset, std::min(size, stream.size() - offset));
        rig.Feed(piece);
        offset += piece.size();
    }
    FUZZ_CHECK(rig.session.ReceptionInProgress() == rig.timers[map27::kSupervision].IsRunning(),
               "the supervision runs exactly while a frame is in progress");
    clock.Advance(map27::kReceptionSupervisionMs);
    FUZZ_CHECK(!rig.session.ReceptionInProgress(), "no reception outlives its supervision");
    SessionOutcome out;
    out.framesReceived = rig.events.framesReceived;
    for (const auto& w : rig.port.written) out.written.push_back(w.bytes);
    out.timeouts = rig.events.receptionTimeouts;
    out.dataFrames = rig.events.dataFrames.size();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    const std::uint8_t capacityChoice = input.Byte();
    const std::size_t capacity =
        capacityChoice == 0 ? 2059 : std::size_t{capacityChoice} * 8U;  // 8 .. 2040
    std::vector<std::size_t> pieceSizes(1U + input.Byte() % 4U);
    for (auto& piece : pieceSizes) piece = 1U + input.Byte();
    const auto stream = input.Rest();

    Received cut;
    map27::FrameAssembler assembler(capacity);
    std::size_t offset = 0;
    for (std::size_t k = 0; offset < stream.size(); ++k) {
        const auto piece = stream.subspan(
            offset, std::min(pieceSizes[k % pieceSizes.size()], stream.size() - offset));
        cut.dropped += assembler.PushBytes(piece, [&](std::span<const std::uint8_t> frame) {
            CheckFrame(frame, capacity);
            cut.frames.emplace_back(frame.begin(), frame.end());
        });
        offset += piece.size();
    }

    // The same stream one byte at a time.
    Received single;
    map27::FrameAssembler byByte(capacity);
    for (const std::uint8_t byte : stream) {
        switch (byByte.Push(byte)) {
            case map27::FrameAssembler::Step::Complete:
                single.frames.emplace_back(byByte.Frame().begin(), byByte.Frame().end());
                break;
            case map27::FrameAssembler::Step::Dropped:
                ++single.dropped;
                break;
            case map27::FrameAssembler::Step::Incomplete:
                break;
        }
    }
    FUZZ_CHECK(cut.frames == single.frames && cut.dropped == single.dropped,
               "the frames do not depend on how the stream was cut");

    std::size_t framed = 0;
    for (const Bytes& frame : cut.frames) framed += frame.size();
    FUZZ_CHECK(framed <= stream.size(), "frames hold only bytes of the stream");

    // After a reset the assembler starts afresh: a well-built frame comes out whole.
    assembler.Reset();
    FUZZ_CHECK(!assembler.InProgress(), "a reset leaves nothing in progress");
    const Bytes probe = map27::MakeLinkAck(1, 1);
    std::size_t probes = 0;
    assembler.PushBytes(probe, [&](std::span<const std::uint8_t> frame) {
        FUZZ_CHECK(Bytes(frame.begin(), frame.end()) == probe, "a frame after a reset comes whole");
        ++probes;
    });
    FUZZ_CHECK(probes == 1 || capacity < map27::kFrameOverhead,
               "a link acknowledgement after a reset is received");

    const SessionOutcome pieces = ThroughSession(stream, pieceSizes);
    FUZZ_CHECK(pieces == ThroughSession(stream, {}),
               "the session's frames, answers and time-outs do not depend on the cutting");
    FUZZ_CHECK(pieces.timeouts <= 1, "one stream at one moment times out at most once");
    return 0;
}
