#include "vd_pixels.h"

#include <algorithm>
#include <cstring>

#include "vd_pixels_simd.h"

namespace vd {

uint32_t ColorToPixel(uint32_t colorRef) {
    // 0x00BBGGRR -> bytes swapped 0xRRGGBB00 -> low byte 0xFF -> rotated right by 8: 0xFFRRGGBB.
    const uint32_t swapped = ((colorRef & 0x000000FFu) << 24) | ((colorRef & 0x0000FF00u) << 8) |
                             ((colorRef & 0x00FF0000u) >> 8) | ((colorRef & 0xFF000000u) >> 24);
    const uint32_t v = (swapped & 0xFFFFFF00u) | 0xFFu;
    return (v >> 8) | (v << 24);
}

void MoveLongword(const void* source, void* dest, int count) {
    if (count <= 0 || !source || !dest) return;
    std::memmove(dest, source, static_cast<size_t>(count) * 4);
}

void FillLongword(void* p, int count, uint32_t value) {
    if (count <= 0 || !p) return;
    auto* cells = static_cast<uint32_t*>(p);
    std::fill(cells, cells + count, value);
}

void FillLongwordRect(void* p, int w, int h, int x1, int y1, int x2, int y2, uint32_t value) {
    if (!p || w <= 0 || h <= 0) return;
    x2 = std::min(x2, w);
    y2 = std::min(y2, h);
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    y1 = std::min(y1, y2);
    auto* cells = static_cast<uint32_t*>(p);
    for (int y = y1; y < y2; ++y)
        FillLongword(cells + static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x1), x2 - x1, value);
}

uint32_t RecoverAlphaPixel(uint32_t overBlack, uint32_t overWhite) {
    const int redBlack = static_cast<int>((overBlack >> 16) & 0xFF);
    const int redWhite = static_cast<int>((overWhite >> 16) & 0xFF);
    const int d = std::max(redWhite - redBlack, 0);
    const uint32_t a = static_cast<uint32_t>(255 - d);
    if (a == 0) return 0;
    const uint32_t r = std::min((overBlack >> 16) & 0xFF, a);
    const uint32_t g = std::min((overBlack >> 8) & 0xFF, a);
    const uint32_t b = std::min(overBlack & 0xFF, a);
    return (a << 24) | (r << 16) | (g << 8) | b;
}

void RecoverAlpha(uint32_t* black, const uint32_t* white, int w, int h, int x1, int y1, int x2, int y2) {
    if (!black || !white || w <= 0 || h <= 0) return;
    x1 = std::max(x1, 0);
    y1 = std::max(y1, 0);
    x2 = std::min(x2, w);
    y2 = std::min(y2, h);
    if (x2 <= x1) return;
    const TPixelPath path = ActivePixelPath();
    const auto width = static_cast<size_t>(x2 - x1);
    for (int y = y1; y < y2; ++y) {
        const size_t start = static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x1);
        RecoverAlphaRun(path, black + start, white + start, width);
    }
}

}  // namespace vd
