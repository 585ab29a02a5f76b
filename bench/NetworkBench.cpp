// The network layer: received messages decoded per second (a mix of the types a radio sends) and
// messages built per second (a mix of the operator's sends).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "map27/network/Codings.h"
#include "map27/network/Network.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void DecoderMessages(benchmark::State& state) {
    const std::vector<Bytes> mix = {
        map27::PackHexText("80 08 07 D1 00 01"),                             // status
        map27::PackHexText("81 08 07 D1 00 B7 48 65 6C 6C 6F 7F 7F"),        // short data, 7-bit
        map27::PackHexText("81 08 07 D1 00 F7 47 72 81 E1 65 0D 0A 21"),     // short data, 8-bit
        map27::PackHexText("82 08 07 D1 00 87 01 02 03 04 05 06 07 08 09"),  // long data, binary
        map27::PackHexText("A4 08 07 D1 00 08"),                             // incoming call
        map27::PackHexText("B0 08 07 D1 2A 35 86 A0 FE 00 00 86"),           // personality
        map27::PackHexText("B1 08 07 D1 80 01 07 D0 00 64 00 C8 08 00 65 10 03 20"),
        map27::PackHexText("B2 01 1F 05"),        // operating condition
        map27::PackHexText("B3 FC 00 00 84"),     // settings
        map27::PackHexText("C5 08 07 D1 00 00"),  // call cleared
    };
    for (auto _ : state) {
        for (const Bytes& message : mix)
            benchmark::DoNotOptimize(map27::DecodeIncomingMessage(message));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(mix.size()));
}
BENCHMARK(DecoderMessages);

map27::SendRequest Request(int kind) {
    map27::SendRequest request;
    request.sendKind = kind;
    return request;
}

void BuildMessages(benchmark::State& state) {
    std::vector<map27::SendRequest> mix;
    mix.push_back(Request(map27::SendKind::StatusCall));
    auto shortData = Request(map27::SendKind::DataCall);
    shortData.dataText = "Hello";
    mix.push_back(shortData);
    auto longData = Request(map27::SendKind::DataCall);
    longData.dataText = std::string(200, 'x') + "\nsecond line";
    longData.eightBitCoding = true;
    mix.push_back(longData);
    mix.push_back(Request(map27::SendKind::SetupVoice));
    mix.push_back(Request(map27::SendKind::RadioInterrogation));
    auto dialled = Request(map27::SendKind::DialledString);
    dialled.dialledText = "12 34 56 78";
    mix.push_back(dialled);
    mix.push_back(Request(map27::SendKind::TestFrame));
    for (auto _ : state) {
        for (const auto& request : mix)
            benchmark::DoNotOptimize(map27::BuildMessage(request, 1, 2048));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(mix.size()));
}
BENCHMARK(BuildMessages);

}  // namespace
