// A fuzz target's seed corpus replayed as an ordinary test in the native tree (g++, ASan and
// UBSan): every ./run test builds the target and runs each seed through it, so a target that
// stops compiling or a seed that now trips one of its checks (they abort) shows at once, not
// only at the next ./run fuzz.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

TEST(FuzzCorpus, EverySeedRunsThroughTheTarget) {
    const fs::path corpus = VD_FUZZ_CORPUS;
    ASSERT_TRUE(fs::is_directory(corpus)) << corpus;
    std::vector<fs::path> seeds;
    for (const auto& entry : fs::directory_iterator(corpus))
        if (entry.is_regular_file()) seeds.push_back(entry.path());
    std::sort(seeds.begin(), seeds.end());
    ASSERT_FALSE(seeds.empty()) << "no seeds in " << corpus;
    for (const fs::path& seed : seeds) {
        SCOPED_TRACE(seed.filename().string());
        std::ifstream in(seed, std::ios::binary);
        ASSERT_TRUE(in) << seed;
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
    }
}
