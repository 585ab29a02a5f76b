// Runs a fuzz target over the files of its seed corpus (and any files or folders named), without
// libFuzzer: the regression run of every target in the ordinary builds.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "fuzz/FuzzSupport.h"

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int k = 1; k < argc; ++k) {
        const std::filesystem::path path = argv[k];
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else {
            files.push_back(path);
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 1;
    }
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", file.c_str());
            return 1;
        }
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        // An exact-size copy on the heap, as libFuzzer hands it, so that ASan sees any read past
        // it.
        const auto copy = std::make_unique<std::uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), copy.get());
        LLVMFuzzerTestOneInput(copy.get(), bytes.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return 0;
}
