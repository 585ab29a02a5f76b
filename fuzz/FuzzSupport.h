#pragma once
// What every fuzz target shares: a check that stops the run with a message (libFuzzer then keeps
// the input that made it fail), a reader that turns the input into choices and pieces, and a UTF-8
// validator for the texts the programs show.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>

namespace fuzz {

inline void Check(bool ok, const char* what, const char* file, int line) {
    if (ok) return;
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

// Takes the input from the front: a byte for each choice, a run of bytes for each piece. Past the
// end every choice is 0 and every piece empty, so any input is a complete run.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : bytes_(data, size) {}

    bool Empty() const { return at_ >= bytes_.size(); }
    std::uint8_t Byte() { return Empty() ? 0 : bytes_[at_++]; }
    std::uint16_t Word() {
        const auto high = Byte();
        return static_cast<std::uint16_t>((high << 8) | Byte());
    }
    std::span<const std::uint8_t> Take(std::size_t count) {
        const std::size_t n = count < bytes_.size() - at_ ? count : bytes_.size() - at_;
        const auto piece = bytes_.subspan(at_, n);
        at_ += n;
        return piece;
    }
    std::span<const std::uint8_t> Rest() { return Take(bytes_.size() - at_); }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

// Well-formed UTF-8: no stray continuation bytes, no over-long forms, no surrogates, nothing above
// U+10FFFF.
inline bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t c = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            c = lead & 0x1FU;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            c = lead & 0x0FU;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            c = lead & 0x07U;
        } else {
            return false;
        }
        if (i + extra >= text.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0U) != 0x80U) return false;
            c = (c << 6) | (next & 0x3FU);
        }
        if ((extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000)) return false;
        if (c >= 0xD800 && c <= 0xDFFF) return false;
        if (c > 0x10FFFF) return false;
        i += extra + 1;
    }
    return true;
}

}  // namespace fuzz

// A macro for the place of the failure: clang 14 has no std::source_location.
#define FUZZ_CHECK(ok, what) ::fuzz::Check((ok), (what), __FILE__, __LINE__)

// The entry point every target defines: libFuzzer calls it, and so does the corpus replay.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
