// The link engine driven by the input: frames from the radio (well built, in or out of sequence,
// damaged or raw bytes), timer expiries as the virtual clock moves, sends, restarts and setting
// changes, with port failures injected. After every operation the engine must be sound, and every
// frame it wrote must be a well-formed frame (with a wrong FCS only while the CRC-error test mode
// is on).
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "map27/link/tests/LinkTestHarness.h"

namespace {

using namespace map27;
using Bytes = std::vector<std::uint8_t>;

// A builder that keeps the network layer's promise: it refuses a message that does not fit.
class FittingBuilder : public IMessageBuilder {
public:
    FittingBuilder(Bytes message, bool refuse) : message_(std::move(message)), refuse_(refuse) {}
    BuiltMessage Build(std::uint8_t ns, std::size_t capacity) const override {
        if (refuse_ || message_.size() > capacity) throw BuildError("does not fit");
        return BuiltMessage{{kLinkTransfer, ns, 1, 0}, message_, "fuzz"};
    }

private:
    Bytes message_;
    bool refuse_;
};

// Parameter texts the operator might type; the last three the link refuses (T4 above 65535, N1
// above 255, not a number). No timer gets an interval under 10 ms, which a real window would not
// offer either.
const std::array<LinkParameterTexts, 6> kParameterChoices = {{
    {},
    {"0", "1", "0", "10", "10", "10", "100"},
    {"16", "2", "1", "$64", "0x20", "500", "2000"},
    {"255", "10", "3", "1000", "70", "10000", "70000"},
    {"300", "10", "3", "1000", "70", "10000", "35000"},
    {"12a", "10", "3", "1000", "70", "10000", "35000"},
}};

struct Checker {
    bool crcErrorMode = false;

    void CheckWritten(std::span<const std::uint8_t> wire) const {
        const Bytes frame = DestuffFrame(wire);
        FUZZ_CHECK(StuffFrame(frame) == Bytes(wire.begin(), wire.end()),
                   "a written frame is the exact stuffing of its content");
        FUZZ_CHECK(frame.size() >= kFrameOverhead, "a written frame has head, header and end");
        FUZZ_CHECK(frame[0] == kSyn && frame[1] == kDle && frame[2] == kStx, "starts SYN DLE STX");
        FUZZ_CHECK(frame[frame.size() - 4] == kDle && frame[frame.size() - 3] == kEtx,
                   "ends DLE ETX and FCS");
        FUZZ_CHECK(frame[3] == kLinkRequest || frame[3] == kLinkAck || frame[3] == kLinkTransfer,
                   "a link message type");
        FUZZ_CHECK(HasGoodFcs(frame) != crcErrorMode, "the FCS is right unless spoiled on purpose");
    }
};

void CheckSnapshot(const LinkSnapshot& s) {
    FUZZ_CHECK(s.vs <= 0xFF && s.vr <= 0xFF && s.lastAckNr <= 0xFF, "sequence numbers modulo 256");
    // The buffer is sized when the link comes up; only a link request, which leaves Established,
    // changes the working values after that.
    if (s.state == LinkState::Established) {
        FUZZ_CHECK(s.bufferCapacity == FrameBufferCapacity(s.workingN1, s.workingK),
                   "an established link's buffer holds the largest frame of its N1 and K");
    }
    FUZZ_CHECK(s.state == LinkState::Setup || s.state == LinkState::Confirm ||
                   s.state == LinkState::Established,
               "a known state");
}

template <class Operation>
void Guarded(Operation&& operation) {
    try {
        operation();
    } catch (const std::exception&) {
        // A refused build or a port error reaches the caller; the engine must stay sound.
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    test::VirtualClock clock;
    test::EngineRig rig(clock);
    Checker checker;
    rig.port.onWrite = [&checker](std::span<const std::uint8_t> bytes) {
        checker.CheckWritten(bytes);
    };
    LinkEngine& engine = rig.engine;
    Guarded([&] { engine.StartLink(); });

    for (int operations = 0; !input.Empty() && operations < 400; ++operations) {
        const LinkSnapshot before = engine.Snapshot();
        switch (input.Byte() % 11) {
            case 0: {  // the radio's link request
                const auto n1 = input.Byte(), k = input.Byte(), version = input.Byte();
                Guarded([&] { rig.Receive(MakeLinkRequest(n1, k % 4U, version % 4U)); });
                break;
            }
            case 1: {  // the radio's acknowledgement, mostly of what was sent
                const auto choice = input.Byte();
                const auto nr =
                    (choice & 0x80U) ? static_cast<std::uint8_t>(before.vs) : input.Byte();
                Guarded([&] { rig.Receive(MakeLinkAck(nr, choice % 4U)); });
                break;
            }
            case 2: {  // a data frame, mostly in sequence
                const auto choice = input.Byte();
                const auto ns =
                    (choice & 0x80U) ? static_cast<std::uint8_t>(before.vr) : input.Byte();
                const auto message = input.Take(input.Byte() % 48U);
                Guarded([&] {
                    rig.Receive(MakeDataFrame(
                        {kLinkTransfer, ns, static_cast<std::uint8_t>(choice & 1U), 0}, message));
                });
                break;
            }
            case 3: {  // raw bytes as a frame
                const auto raw = input.Take(input.Byte() % 64U);
                Guarded([&] { rig.Receive(raw); });
                break;
            }
            case 4: {  // a good frame damaged on the line
                Bytes wire = MakeLinkAck(static_cast<std::uint8_t>(before.vs), 1);
                const auto at = input.Byte() % wire.size();
                wire[at] = static_cast<std::uint8_t>(wire[at] ^ (1U << (input.Byte() % 8U)));
                Guarded([&] { rig.Receive(wire); });
                break;
            }
            case 5:  // time passes: the timers that are due fire
                Guarded([&] { clock.Advance(test::Ms{input.Word()} * 2); });
                break;
            case 6: {  // the operator sends
                const auto choice = input.Byte();
                const auto message = input.Take(choice % 64U);
                Guarded([&] {
                    engine.SendNetworkMessage(std::make_shared<FittingBuilder>(
                        Bytes(message.begin(), message.end()), choice == 0xFF));
                });
                break;
            }
            case 7:
                Guarded([&] { engine.RestartLink(); });
                break;
            case 8: {  // settings
                const auto choice = input.Byte();
                switch (choice & 7U) {
                    case 0:
                        checker.crcErrorMode = !checker.crcErrorMode;
                        engine.SetCrcErrorMode(checker.crcErrorMode);
                        break;
                    case 1:
                        engine.SetArFunctionEnabled((choice & 0x80U) != 0);
                        break;
                    case 2:
                        engine.SetSpeed1200((choice & 0x80U) != 0);
                        break;
                    case 3:
                        engine.SetWindowAndVersion(choice >> 5U, (choice >> 3U) & 3U);
                        break;
                    case 4:
                        engine.SetParameterTexts(
                            kParameterChoices[(choice >> 3U) % kParameterChoices.size()]);
                        break;
                    default:
                        rig.port.writesToFail = (choice >> 3U) & 1U;
                        rig.port.waitsToFail = (choice >> 4U) & 1U;
                        break;
                }
                break;
            }
            case 9:  // a de-stuffed frame handed straight to the engine, as the receive path does
            {
                const Bytes frame = DestuffFrame(
                    MakeDataFrame({kLinkTransfer, static_cast<std::uint8_t>(before.vr), 1, 0},
                                  input.Take(input.Byte() % 16U)));
                Guarded([&] { engine.OnFrame(frame); });
                break;
            }
            default:  // the line slows: writes take their time
                rig.port.bitsPerSecond = (input.Byte() & 1U) ? 1200 : 0;
                break;
        }
        CheckSnapshot(engine.Snapshot());
    }
    // Whatever happened, the link keeps trying: a restart with sound parameters sends a request.
    rig.port.writesToFail = 0;
    rig.port.waitsToFail = 0;
    checker.crcErrorMode = false;
    engine.SetCrcErrorMode(false);
    engine.SetParameterTexts({});
    const std::size_t written = rig.port.written.size();
    Guarded([&] { engine.RestartLink(); });
    FUZZ_CHECK(rig.port.written.size() == written + 1, "a restart sends a link request");
    FUZZ_CHECK(DestuffFrame(rig.port.written.back().bytes)[3] == kLinkRequest, "a link request");
    CheckSnapshot(engine.Snapshot());
    return 0;
}
