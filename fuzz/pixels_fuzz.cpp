// FillLongwordRect and RecoverAlpha on buffers and rectangles of any shape (vd_pixels.h):
//  - no write outside the buffer (the buffer sits between guard cells; ASan watches the rest);
//  - FillLongwordRect fills exactly the rectangle cut to the buffer;
//  - RecoverAlpha leaves cells outside the cut rectangle alone and makes every cell inside a
//    valid premultiplied pixel (no channel above alpha, alpha 0 only as the all-zero pixel),
//    equal to RecoverAlphaPixel of the two renders;
//  - every vector path RecoverAlpha can take (SSE2, AVX2) gives the plain loop's bytes.
#include "vd_pixels.h"
#include "vd_pixels_simd.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "pixels_fuzz: %s\n", what);
    std::abort();
}

struct Input {
    const uint8_t* p;
    size_t n;
    size_t i = 0;
    uint8_t Byte() { return i < n ? p[i++] : 0; }
    uint32_t Word() {
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) v = (v << 8) | Byte();
        return v;
    }
};

constexpr uint32_t kGuard = 0xA5A5A5A5u;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    const int w = in.Byte() % 40;  // 0 included: an empty buffer must be left alone too; wide enough for 8-cell vectors
    const int h = in.Byte() % 24;
    // Coordinates from -32 to 95: before, inside and beyond the buffer.
    const int x1 = static_cast<int>(in.Byte() % 128) - 32, y1 = static_cast<int>(in.Byte() % 128) - 32;
    const int x2 = static_cast<int>(in.Byte() % 128) - 32, y2 = static_cast<int>(in.Byte() % 128) - 32;
    const size_t cells = static_cast<size_t>(w) * static_cast<size_t>(h);

    std::vector<uint32_t> black(cells + 2, kGuard), white(cells + 2, kGuard);
    for (size_t k = 1; k <= cells; ++k) {
        black[k] = in.Word();
        white[k] = in.Word();
    }
    const std::vector<uint32_t> blackBefore = black;

    const int cx1 = std::max(x1, 0), cy1 = std::max(y1, 0), cx2 = std::min(x2, w), cy2 = std::min(y2, h);
    auto inside = [&](int x, int y) { return x >= cx1 && x < cx2 && y >= cy1 && y < cy2; };

    std::vector<uint32_t> filled = black;
    vd::FillLongwordRect(filled.data() + 1, w, h, x1, y1, x2, y2, 0x12345678u);
    if (filled.front() != kGuard || filled.back() != kGuard) Fail("FillLongwordRect wrote outside the buffer");
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t k = 1 + static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
            if (filled[k] != (inside(x, y) ? 0x12345678u : black[k])) Fail("FillLongwordRect filled the wrong cells");
        }

    // The same recovery by every path, each on its own copy, before the checks below.
    std::vector<std::vector<uint32_t>> byPath;
    for (vd::TPixelPath path : {vd::TPixelPath::Scalar, vd::TPixelPath::Sse2, vd::TPixelPath::Avx2}) {
        if (!vd::ForcePixelPath(path)) continue;
        byPath.push_back(black);
        vd::RecoverAlpha(byPath.back().data() + 1, white.data() + 1, w, h, x1, y1, x2, y2);
    }
    vd::ResetPixelPath();
    for (const auto& result : byPath)
        if (result != byPath.front()) Fail("a vector path differs from the plain loop");

    vd::RecoverAlpha(black.data() + 1, white.data() + 1, w, h, x1, y1, x2, y2);
    if (black.front() != kGuard || black.back() != kGuard) Fail("RecoverAlpha wrote outside the buffer");
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t k = 1 + static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
            if (!inside(x, y)) {
                if (black[k] != blackBefore[k]) Fail("RecoverAlpha changed a cell outside the rectangle");
                continue;
            }
            const uint32_t p = black[k];
            const uint32_t a = p >> 24;
            if (p != vd::RecoverAlphaPixel(blackBefore[k], white[k])) Fail("RecoverAlpha differs from one pixel");
            if (a == 0 && p != 0) Fail("transparent pixel with colour");
            if (((p >> 16) & 0xFF) > a || ((p >> 8) & 0xFF) > a || (p & 0xFF) > a) Fail("not premultiplied");
        }
    return 0;
}
