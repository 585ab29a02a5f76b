// The frame codec and frame reception: bytes per second through the FCS, the DLE doubling both
// ways, and the frame assembler.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "map27/link/FrameCodec.h"
#include "map27/link/FrameReception.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Message bytes cycling through every value: one byte in 256 is a DLE, as in ordinary traffic.
Bytes Message(std::size_t length, std::uint8_t fill = 0) {
    Bytes message(length);
    for (std::size_t i = 0; i < length; ++i)
        message[i] = fill != 0 ? fill : static_cast<std::uint8_t>(i * 7U + 3U);
    return message;
}

// The largest data frame of the default N1 (127): (N1 + 1) x 16 bytes of message.
constexpr std::size_t kLargestMessage = 2048;

void FcsThroughput(benchmark::State& state) {
    const Bytes bytes = Message(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(map27::FrameCheck(bytes));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(FcsThroughput)->Arg(11)->Arg(256)->Arg(kLargestMessage + 11)->Arg(1 << 16);

// A full frame, unstuffed; with fill DLE every byte of the message doubles (the worst case).
Bytes UnstuffedFrame(std::uint8_t fill) {
    return map27::DestuffFrame(
        map27::MakeDataFrame({map27::kLinkTransfer, 1, 1, 0}, Message(kLargestMessage, fill)));
}

void StuffThroughput(benchmark::State& state) {
    const Bytes frame = UnstuffedFrame(static_cast<std::uint8_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(map27::StuffFrame(frame));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frame.size()));
    state.SetLabel(state.range(0) == map27::kDle ? "all DLE" : "ordinary bytes");
}
BENCHMARK(StuffThroughput)->Arg(0)->Arg(map27::kDle);

void DestuffThroughput(benchmark::State& state) {
    const Bytes wire = map27::StuffFrame(UnstuffedFrame(static_cast<std::uint8_t>(state.range(0))));
    for (auto _ : state) benchmark::DoNotOptimize(map27::DestuffFrame(wire));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(wire.size()));
    state.SetLabel(state.range(0) == map27::kDle ? "all DLE" : "ordinary bytes");
}
BENCHMARK(DestuffThroughput)->Arg(0)->Arg(map27::kDle);

void AcceptCheckThroughput(benchmark::State& state) {
    const Bytes wire =
        map27::MakeDataFrame({map27::kLinkTransfer, 1, 1, 0}, Message(kLargestMessage));
    for (auto _ : state) {
        const Bytes frame = map27::DestuffFrame(wire);
        benchmark::DoNotOptimize(map27::IsGoodFrame(frame));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(wire.size()));
}
BENCHMARK(AcceptCheckThroughput);

// A stream of the frames a busy link carries: acknowledgements, short and full data frames.
void AssemblerThroughput(benchmark::State& state) {
    Bytes stream;
    for (int k = 0; k < 16; ++k) {
        const Bytes ack = map27::MakeLinkAck(static_cast<std::uint8_t>(k), 1);
        const Bytes shortFrame = map27::MakeDataFrame(
            {map27::kLinkTransfer, static_cast<std::uint8_t>(k), 1, 0}, Message(6));
        const Bytes fullFrame = map27::MakeDataFrame(
            {map27::kLinkTransfer, static_cast<std::uint8_t>(k), 1, 0}, Message(kLargestMessage));
        for (const Bytes* frame : {&ack, &shortFrame, &fullFrame})
            stream.insert(stream.end(), frame->begin(), frame->end());
    }
    map27::FrameAssembler assembler;
    std::int64_t frames = 0;
    for (auto _ : state) {
        assembler.PushBytes(stream, [&frames](std::span<const std::uint8_t> frame) {
            benchmark::DoNotOptimize(frame.data());
            ++frames;
        });
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(stream.size()));
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
}
BENCHMARK(AssemblerThroughput);

}  // namespace
