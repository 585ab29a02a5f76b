// The decoder of received messages: any bytes from the radio give one line of valid UTF-8, and the
// decoder reads nothing beyond the message (the message is an exact-size heap copy, so ASan sees
// a read past its end).
#include <algorithm>
#include <memory>

#include "fuzz/FuzzSupport.h"
#include "map27/network/Network.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto message = std::make_unique<std::uint8_t[]>(size);
    std::copy(data, data + size, message.get());
    const map27::DecodedMessage decoded =
        map27::DecodeIncomingMessage(std::span<const std::uint8_t>(message.get(), size));
    FUZZ_CHECK(fuzz::IsValidUtf8(decoded.body), "the log body is valid UTF-8");
    FUZZ_CHECK(decoded.body.find_first_of("\r\n") == std::string::npos,
               "the log body stays on one line");
    if (decoded.personality) {
        for (const std::string* text : {&decoded.personality->pfix, &decoded.personality->ident,
                                        &decoded.personality->manufacturerCode,
                                        &decoded.personality->model, &decoded.personality->serial})
            FUZZ_CHECK(fuzz::IsValidUtf8(*text), "the personality texts are valid UTF-8");
    }
    FUZZ_CHECK(
        map27::DecodeIncomingMessage(std::span<const std::uint8_t>(message.get(), size)).body ==
            decoded.body,
        "decoding is repeatable");
    return 0;
}
