// Pixel format helpers and alpha recovery, on plain memory.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "vd_pixels.h"

using namespace vd;

namespace {

TEST(ColorToPixel, TurnsColorRefIntoOpaqueArgb) {
    // Red 0x11, green 0x22, blue 0x33 as a COLORREF is 0x00332211.
    const uint32_t p = ColorToPixel(0x00332211);
    EXPECT_EQ(p, 0xFF112233u);
    unsigned char bytes[4];
    std::memcpy(bytes, &p, 4);  // little-endian memory order: blue, green, red, alpha
    EXPECT_EQ(bytes[0], 0x33);
    EXPECT_EQ(bytes[1], 0x22);
    EXPECT_EQ(bytes[2], 0x11);
    EXPECT_EQ(bytes[3], 0xFF);
    EXPECT_EQ(ColorToPixel(0x00000000), 0xFF000000u);
    EXPECT_EQ(ColorToPixel(0x00FFFFFF), 0xFFFFFFFFu);
    EXPECT_EQ(ColorToPixel(0x000000FF) | 0xFF000000u, 0xFFFF0000u);  // OR-ing opaque again changes nothing
}

TEST(MoveLongword, CopiesOverlappingRangesInBothDirections) {
    std::vector<uint32_t> v{1, 2, 3, 4, 5, 6};
    MoveLongword(v.data(), v.data() + 2, 4);  // forward overlap
    EXPECT_EQ(v, (std::vector<uint32_t>{1, 2, 1, 2, 3, 4}));
    std::vector<uint32_t> w{1, 2, 3, 4, 5, 6};
    MoveLongword(w.data() + 2, w.data(), 4);  // backward overlap
    EXPECT_EQ(w, (std::vector<uint32_t>{3, 4, 5, 6, 5, 6}));
    MoveLongword(w.data(), w.data() + 1, 0);
    MoveLongword(w.data(), w.data() + 1, -3);
    EXPECT_EQ(w, (std::vector<uint32_t>{3, 4, 5, 6, 5, 6}));
}

TEST(FillLongword, StoresCountCellsAndNothingForNonPositiveCounts) {
    std::vector<uint32_t> v(5, 7);
    FillLongword(v.data() + 1, 3, 0xDEADBEEF);
    EXPECT_EQ(v, (std::vector<uint32_t>{7, 0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF, 7}));
    FillLongword(v.data(), 0, 1);
    FillLongword(v.data(), -4, 1);
    EXPECT_EQ(v[0], 7u);
}

// A 4 x 3 buffer filled with 0, as rows of text: '.' untouched, '#' filled.
std::vector<std::string> Fill4x3(int x1, int y1, int x2, int y2) {
    std::vector<uint32_t> cells(12, 0);
    FillLongwordRect(cells.data(), 4, 3, x1, y1, x2, y2, 9);
    std::vector<std::string> rows;
    for (int y = 0; y < 3; ++y) {
        std::string row;
        for (int x = 0; x < 4; ++x) row += cells[static_cast<size_t>(y * 4 + x)] == 9 ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

TEST(FillLongwordRect, ClipsToTheBufferAndFillsNothingForEmptyRectangles) {
    using R = std::vector<std::string>;
    EXPECT_EQ(Fill4x3(1, 1, 10, 10), (R{"....", ".###", ".###"}));
    EXPECT_EQ(Fill4x3(0, 0, 4, 3), (R{"####", "####", "####"}));
    EXPECT_EQ(Fill4x3(2, 0, 2, 3), (R{"....", "....", "...."}));  // X1 = X2
    EXPECT_EQ(Fill4x3(3, 0, 1, 3), (R{"....", "....", "...."}));  // X1 > X2
    EXPECT_EQ(Fill4x3(0, 2, 4, 2), (R{"....", "....", "...."}));  // Y1 = Y2
    EXPECT_EQ(Fill4x3(0, 3, 4, 1), (R{"....", "....", "...."}));  // Y1 > Y2
    EXPECT_EQ(Fill4x3(5, 0, 9, 3), (R{"....", "....", "...."}));  // right of the buffer
    // A negative left or top would write before the row or the buffer: cut to 0 instead.
    EXPECT_EQ(Fill4x3(-2, -1, 2, 2), (R{"##..", "##..", "...."}));
}

TEST(FillLongwordRect, WritesOnlyInsideTheBufferMemory) {
    // The buffer sits between two guard cells that must survive any rectangle.
    for (auto [x1, y1, x2, y2] :
         std::vector<std::array<int, 4>>{{-100, -100, 100, 100}, {0, 0, 1000, 1}, {3, 2, 4, 3}, {-1, 2, 5, 50}}) {
        std::vector<uint32_t> mem(2 + 12, 0x55);
        FillLongwordRect(mem.data() + 1, 4, 3, x1, y1, x2, y2, 1);
        EXPECT_EQ(mem.front(), 0x55u) << x1 << "," << y1;
        EXPECT_EQ(mem.back(), 0x55u) << x1 << "," << y1;
    }
}

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

TEST(RecoverAlpha, DerivesCoverageFromTheTwoRendersWithoutDarkening) {
    // Red 64 over black, 191 over white: coverage 128, colour kept at 64 (already premultiplied).
    EXPECT_EQ(RecoverAlphaPixel(Argb(255, 64, 0, 0), Argb(255, 191, 255, 255)), Argb(128, 64, 0, 0));
    // Half-transparent white: 127 over black, 255 over white -> alpha 127, channels 127
    // (not 63, which multiplying once more would give).
    EXPECT_EQ(RecoverAlphaPixel(Argb(255, 127, 127, 127), Argb(255, 255, 255, 255)), Argb(127, 127, 127, 127));
    // Untouched background: black over black, white over white -> fully transparent, all zero.
    EXPECT_EQ(RecoverAlphaPixel(Argb(255, 0, 0, 0), Argb(255, 255, 255, 255)), 0u);
    // Opaque: both renders equal.
    EXPECT_EQ(RecoverAlphaPixel(Argb(255, 10, 200, 30), Argb(255, 10, 200, 30)), Argb(255, 10, 200, 30));
    // White render one darker than the black render: rounding noise, opaque (not transparent).
    EXPECT_EQ(RecoverAlphaPixel(Argb(255, 100, 50, 25), Argb(255, 99, 50, 25)), Argb(255, 100, 50, 25));
    // Channels above the coverage are lowered to it, so the pixel stays premultiplied.
    EXPECT_EQ(RecoverAlphaPixel(Argb(255, 64, 200, 90), Argb(255, 191, 250, 250)), Argb(128, 64, 128, 90));
}

TEST(RecoverAlpha, RewritesOnlyTheRectangleOfThePrimaryBuffer) {
    const int w = 5, h = 4;
    std::vector<uint32_t> black(static_cast<size_t>(w * h), Argb(255, 127, 127, 127));
    std::vector<uint32_t> white(static_cast<size_t>(w * h), Argb(255, 255, 255, 255));
    const std::vector<uint32_t> whiteBefore = white;
    RecoverAlpha(black.data(), white.data(), w, h, 1, 1, 3, 10);  // bottom cut to the buffer
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool inside = x >= 1 && x < 3 && y >= 1;
            EXPECT_EQ(black[static_cast<size_t>(y * w + x)],
                      inside ? Argb(127, 127, 127, 127) : Argb(255, 127, 127, 127))
                << x << "," << y;
        }
    EXPECT_EQ(white, whiteBefore);
    RecoverAlpha(black.data(), white.data(), w, h, -3, -3, 0, 0);  // nothing inside
    EXPECT_EQ(black[0], Argb(255, 127, 127, 127));
}

}  // namespace
