#include "text/CodePage437.h"

#include <algorithm>
#include <array>
#include <utility>

#include "text/Cp437Table.h"

namespace text {
namespace {

using cp437::kUpperHalf;

// (character, byte) of the upper half, sorted by character for the reverse look-up.
constexpr std::array<std::pair<char16_t, std::uint8_t>, 128> MakeReverseTable() {
    std::array<std::pair<char16_t, std::uint8_t>, 128> table{};
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = {kUpperHalf[i], static_cast<std::uint8_t>(0x80 + i)};
    }
    std::sort(table.begin(), table.end());
    return table;
}

constexpr auto kReverse = MakeReverseTable();

}  // namespace

char16_t Cp437ToUnicode(std::uint8_t byte) {
    return byte < 0x80 ? static_cast<char16_t>(byte) : kUpperHalf[byte - 0x80u];
}

std::optional<std::uint8_t> UnicodeToCp437(char32_t character) {
    if (character < 0x80) {
        return static_cast<std::uint8_t>(character);
    }
    if (character > 0xFFFF) {
        return std::nullopt;
    }
    const auto wanted = static_cast<char16_t>(character);
    const auto it = std::lower_bound(kReverse.begin(), kReverse.end(), wanted,
                                     [](const auto& entry, char16_t c) { return entry.first < c; });
    if (it == kReverse.end() || it->first != wanted) {
        return std::nullopt;
    }
    return it->second;
}

}  // namespace text
