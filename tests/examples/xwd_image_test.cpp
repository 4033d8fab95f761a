// The demo's reader of screen captures (X window dumps): pixels of either depth and byte order
// come out as 0xRRGGBB, and damaged dumps are refused with a reason instead of being read.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "xwd_image.h"

namespace {

void Be32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s : {24, 16, 8, 0}) out.push_back(static_cast<uint8_t>(v >> s));
}

// A true-colour dump of `w` x `h` pixels from `pixel(x, y)` (0xRRGGBB), `bpp` bits a pixel,
// rows padded to `pad` bytes more than they need, a window name of `name` and `colours`
// colour entries, as xwd and Xvfb write them.
std::vector<uint8_t> Dump(int w, int h, int bpp, int byteOrder, uint32_t (*pixel)(int, int), int pad = 0,
                          const std::string& name = "screen", int colours = 0) {
    const uint32_t bytes = static_cast<uint32_t>(bpp / 8), line = w * bytes + pad;
    std::vector<uint8_t> out;
    const uint32_t header = 100 + static_cast<uint32_t>(name.size()) + 1;
    const uint32_t f[25] = {header,
                            7,
                            2,
                            24,
                            uint32_t(w),
                            uint32_t(h),
                            0,
                            uint32_t(byteOrder),
                            32,
                            0,
                            32,
                            uint32_t(bpp),
                            line,
                            5,
                            0xFF0000,
                            0xFF00,
                            0xFF,
                            8,
                            256,
                            uint32_t(colours),
                            uint32_t(w),
                            uint32_t(h),
                            0,
                            0,
                            0};
    for (uint32_t v : f) Be32(out, v);
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
    out.insert(out.end(), static_cast<size_t>(colours) * 12, 0xAB);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t v = pixel(x, y);
            for (uint32_t i = 0; i < bytes; ++i)
                out.push_back(static_cast<uint8_t>(v >> (8 * (byteOrder == 0 ? i : bytes - 1 - i))));
        }
        out.insert(out.end(), static_cast<size_t>(pad), 0xEE);
    }
    return out;
}

uint32_t Gradient(int x, int y) {
    return (static_cast<uint32_t>(x * 40) << 16) | (static_cast<uint32_t>(y * 50) << 8) | 0x3C;
}

TEST(XwdImage, PixelsOfEitherDepthAndByteOrderComeOutAsRgb) {
    for (int bpp : {24, 32})
        for (int order : {0, 1}) {
            vdplay::TXwdImage image;
            std::string error;
            ASSERT_TRUE(vdplay::ReadXwd(Dump(5, 4, bpp, order, Gradient, 3, "root", 2), image, error))
                << bpp << " " << order << ": " << error;
            ASSERT_EQ(image.Width, 5);
            ASSERT_EQ(image.Height, 4);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 5; ++x) EXPECT_EQ(image.At(x, y), Gradient(x, y)) << bpp << " " << order;
        }
}

TEST(XwdImage, DamagedDumpsAreRefusedWithAReason) {
    const auto good = Dump(4, 3, 32, 0, Gradient);
    auto refused = [](std::vector<uint8_t> data) {
        vdplay::TXwdImage image;
        std::string error;
        const bool ok = vdplay::ReadXwd(data, image, error);
        return !ok && !error.empty();
    };
    EXPECT_TRUE(refused({good.begin(), good.begin() + 60}));  // no whole header
    EXPECT_TRUE(refused({good.begin(), good.end() - 5}));     // the last row cut short
    EXPECT_TRUE(refused(Dump(4, 3, 16, 0, Gradient)));        // 16-bit pixels
    auto wrongVersion = good;
    wrongVersion[7] = 6;
    EXPECT_TRUE(refused(wrongVersion));
    auto hugeColours = good;  // a colour table reaching past the data
    hugeColours[79] = 0xFF;
    hugeColours[78] = 0xFF;
    EXPECT_TRUE(refused(hugeColours));
    auto shortRows = good;  // rows said to be shorter than their pixels
    shortRows[51] = 4;
    EXPECT_TRUE(refused(shortRows));
}

}  // namespace
