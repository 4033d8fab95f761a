// The vector forms of alpha recovery against the plain loop: every path the processor runs
// must give the same bytes for every input.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "vd_pixels.h"
#include "vd_pixels_simd.h"

using namespace vd;

namespace {

constexpr TPixelPath kPaths[] = {TPixelPath::Scalar, TPixelPath::Sse2, TPixelPath::Avx2};

// Leaves the widest path active again whatever a test forced.
class PixelPaths : public ::testing::Test {
protected:
    void TearDown() override { ResetPixelPath(); }
};

TEST_F(PixelPaths, PlainPathAlwaysRunsAndTheWidestIsActive) {
    EXPECT_TRUE(PixelPathAvailable(TPixelPath::Scalar));
#if defined(__x86_64__) || defined(_M_X64)
    EXPECT_TRUE(PixelPathAvailable(TPixelPath::Sse2));
    EXPECT_NE(ActivePixelPath(), TPixelPath::Scalar);
#endif
    TPixelPath widest = TPixelPath::Scalar;
    for (TPixelPath p : kPaths)
        if (PixelPathAvailable(p)) widest = p;
    EXPECT_EQ(ActivePixelPath(), widest);
    EXPECT_TRUE(ForcePixelPath(TPixelPath::Scalar));
    EXPECT_EQ(ActivePixelPath(), TPixelPath::Scalar);
    if (!PixelPathAvailable(TPixelPath::Avx2)) {
        EXPECT_FALSE(ForcePixelPath(TPixelPath::Avx2));
        EXPECT_EQ(ActivePixelPath(), TPixelPath::Scalar) << "a refused path must not change the active one";
    }
}

// Every pair of red values over black and white, with green, blue and alpha bytes that vary
// along, so each lane of a vector sees every case.
TEST_F(PixelPaths, EveryPairOfRedValuesMatchesTheSinglePixelRule) {
    std::vector<uint32_t> black(256 * 256), white(256 * 256), expected(256 * 256);
    for (uint32_t rb = 0; rb < 256; ++rb)
        for (uint32_t rw = 0; rw < 256; ++rw) {
            const size_t i = rb * 256 + rw;
            const uint32_t g = (rb * 7 + rw * 13) & 0xFF, b = (rb * 31 + rw * 3) & 0xFF;
            black[i] = ((i * 37) & 0xFF) << 24 | rb << 16 | g << 8 | b;
            white[i] = ((i * 11) & 0xFF) << 24 | rw << 16 | (255 - g) << 8 | (b ^ 0x5A);
            expected[i] = RecoverAlphaPixel(black[i], white[i]);
        }
    for (TPixelPath path : kPaths) {
        if (!PixelPathAvailable(path)) continue;
        std::vector<uint32_t> out = black;
        RecoverAlphaRun(path, out.data(), white.data(), out.size());
        for (size_t i = 0; i < out.size(); ++i)
            ASSERT_EQ(out[i], expected[i])
                << PixelPathName(path) << ": red over black " << i / 256 << ", red over white " << i % 256;
    }
}

// Random renders in buffers of odd widths and rectangles at odd places, through RecoverAlpha
// itself with each path forced: the same bytes as the plain path, nothing outside the
// rectangle touched, the white buffer left alone.
TEST_F(PixelPaths, RandomBuffersOddWidthsAndRectanglesGiveTheSameBytesOnEveryPath) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 200; ++round) {
        const int w = 1 + static_cast<int>(rng() % 77), h = 1 + static_cast<int>(rng() % 9);
        const int x1 = static_cast<int>(rng() % (w + 4)) - 2, y1 = static_cast<int>(rng() % (h + 2)) - 1;
        const int x2 = x1 + static_cast<int>(rng() % (w + 3)), y2 = y1 + static_cast<int>(rng() % (h + 2));
        const size_t cells = static_cast<size_t>(w) * static_cast<size_t>(h);
        std::vector<uint32_t> black(cells), white(cells);
        for (size_t i = 0; i < cells; ++i) {
            black[i] = static_cast<uint32_t>(rng());
            // Half the cells like real renders (white at least as bright), half anything.
            white[i] =
                (rng() & 1) ? static_cast<uint32_t>(rng()) : (black[i] | static_cast<uint32_t>(rng() & 0x00FF0000));
        }
        ASSERT_TRUE(ForcePixelPath(TPixelPath::Scalar));
        std::vector<uint32_t> reference = black;
        RecoverAlpha(reference.data(), white.data(), w, h, x1, y1, x2, y2);
        for (TPixelPath path : kPaths) {
            if (!ForcePixelPath(path)) continue;
            // One spare cell on each side catches a vector store past either end.
            std::vector<uint32_t> padded(cells + 2, 0xA5A5A5A5u);
            std::copy(black.begin(), black.end(), padded.begin() + 1);
            const std::vector<uint32_t> whiteBefore = white;
            RecoverAlpha(padded.data() + 1, white.data(), w, h, x1, y1, x2, y2);
            EXPECT_EQ(padded.front(), 0xA5A5A5A5u);
            EXPECT_EQ(padded.back(), 0xA5A5A5A5u);
            ASSERT_TRUE(std::equal(reference.begin(), reference.end(), padded.begin() + 1))
                << PixelPathName(path) << " differs on " << w << "x" << h << " rect (" << x1 << "," << y1 << ")-(" << x2
                << "," << y2 << ")";
            EXPECT_EQ(white, whiteBefore);
        }
    }
}

}  // namespace
