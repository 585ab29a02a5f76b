#pragma once
// "16 10 02" <-> bytes, for test vectors written the way the line shows them.
#include <cstdint>
#include <cstdio>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace map27::test {

inline std::vector<std::uint8_t> Bytes(const std::string& hex) {
    std::vector<std::uint8_t> out;
    std::istringstream in(hex);
    std::string item;
    while (in >> item) out.push_back(static_cast<std::uint8_t>(std::stoul(item, nullptr, 16)));
    return out;
}

inline std::string Hex(std::span<const std::uint8_t> bytes) {
    std::string out;
    char two[4];
    for (const std::uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02X", b);
        if (!out.empty()) out += ' ';
        out += two;
    }
    return out;
}

}  // namespace map27::test
