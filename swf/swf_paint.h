// Paints (solid colour, gradients, bitmaps) and compositing of coverage spans into a target.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "swf_raster.h"
#include "swf_types.h"

namespace vd::swf {

struct Bitmap;

class Paint {
public:
    virtual ~Paint() = default;
    // Premultiplied 0xAARRGGBB colours of pixels x0..x0+n-1 of row y.
    virtual void Row(int y, int x0, int n, uint32_t* out) const = 0;
    // One colour everywhere (solid fills): the compositor skips Row.
    bool solid = false;
    uint32_t color = 0;
};

// a * b / 255, rounded (a, b: 0..255).
inline uint32_t Mul8(uint32_t a, uint32_t b) {
    uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

// A premultiplied colour scaled by k (0..255).
// Two channels a multiplication, with Mul8's rounding: a lane's product and its rounding stay
// under 2^16, so no lane carries into the next.
inline uint32_t ScaleColor(uint32_t src, uint32_t k) {
    if (k == 255) return src;
    uint32_t rb = (src & 0x00ff00ffu) * k + 0x00800080u;
    uint32_t ag = ((src >> 8) & 0x00ff00ffu) * k + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
    ag = ((ag + ((ag >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
    return rb | (ag << 8);
}

// Premultiplied src scaled by k (0..255), over dst.
inline uint32_t Over(uint32_t dst, uint32_t src, uint32_t k = 255) {
    src = ScaleColor(src, k);
    uint32_t sa = src >> 24;
    if (sa == 255) return src;
    if (sa == 0 && src == 0) return dst;
    uint32_t inv = 255 - sa;
    uint32_t a = sa + Mul8(dst >> 24, inv);
    uint32_t r = ((src >> 16) & 255) + Mul8((dst >> 16) & 255, inv);
    uint32_t g = ((src >> 8) & 255) + Mul8((dst >> 8) & 255, inv);
    uint32_t b = (src & 255) + Mul8(dst & 255, inv);
    return (std::min(a, 255u) << 24) | (std::min(r, 255u) << 16) | (std::min(g, 255u) << 8) | std::min(b, 255u);
}

// A solid fill's colour under a colour transform, premultiplied.
uint32_t SolidColor(Rgba c, const ColorTransform& cx);

// shapeToTarget: shape twips -> target pixels. bitmap: the fill's bitmap (null: missing,
// drawn as nothing... solid transparent).
std::unique_ptr<Paint> MakePaint(const FillStyle& fill, const Matrix& shapeToTarget, const ColorTransform& cx,
                                 const Bitmap* bitmap);

// Where spans land: the picture (premultiplied pixels) or, while drawing a mask, a coverage
// plane. clip: the mask in force (null: none), one byte a pixel of the target.
struct Target {
    uint32_t* pixels = nullptr;
    int width = 0, height = 0, stride = 0;
    const uint8_t* clip = nullptr;
    uint8_t* maskOut = nullptr;  // when set, spans add their coverage to this plane instead
};

// a + b for premultiplied colours whose coverages add up to at most a pixel; a channel that
// rounding takes past 255 stays at 255.
inline uint32_t AddColors(uint32_t a, uint32_t b) {
    uint32_t rb = (a & 0x00ff00ffu) + (b & 0x00ff00ffu);
    uint32_t ag = ((a >> 8) & 0x00ff00ffu) + ((b >> 8) & 0x00ff00ffu);
    rb = (rb | (((rb >> 8) & 0x00010001u) * 255)) & 0x00ff00ffu;
    ag = (ag | (((ag >> 8) & 0x00010001u) * 255)) & 0x00ff00ffu;
    return rb | (ag << 8);
}

// n pixels of one premultiplied colour laid over dst (a run of a solid fill, its coverage
// already applied).
inline void LaySolid(uint32_t* dst, int n, uint32_t src) {
    if (src >> 24 == 255) {
        std::fill(dst, dst + n, src);
    } else if (src != 0) {
        // src over dst: no channel can pass 255 (a solid colour is validly premultiplied, so
        // src <= its alpha), so the sum needs no clamping.
        const uint32_t inv = 255 - (src >> 24);
        for (uint32_t* end = dst + n; dst < end; ++dst) *dst = src + ScaleColor(*dst, inv);
    }
}

// Lays runs of one paint at one coverage into a target.
class Compositor {
public:
    explicit Compositor(const Target& t) : t_(t) {}
    void Run(int y, int x0, int x1, const Paint& p, uint8_t cov);
    // color: premultiplied 0xAARRGGBB.
    void RunSolid(int y, int x0, int x1, uint32_t color, uint32_t cov) {
        if (t_.clip || t_.maskOut) Masked(y, x0, x1, color, cov);
        else LaySolid(t_.pixels + static_cast<size_t>(y) * t_.stride + x0, x1 - x0, ScaleColor(color, cov));
    }
    // Neither masked nor drawing a mask.
    bool Plain() const { return !t_.clip && !t_.maskOut; }
    // Solid colours already summed over shared pixels, on a plain target.
    void LaySum(int y, int x0, int x1, uint32_t sum) {
        LaySolid(t_.pixels + static_cast<size_t>(y) * t_.stride + x0, x1 - x0, sum);
    }
    // A part of a pixel in one paint (null: the solid colour), cov of it.
    struct Share {
        const Paint* paint;
        uint32_t color;
        uint32_t cov;
    };
    // Paints sharing pixels x0..x1-1 without overlapping (regions of one shape meeting there):
    // laid as one, so what lies beneath shows only through the part none of them covers, and
    // not through the seam between them.
    void Shared(int y, int x0, int x1, const Share* shares, int count);

private:
    void Masked(int y, int x0, int x1, uint32_t color, uint32_t cov);

    const Target& t_;
    std::vector<uint32_t> row_;
    std::vector<uint32_t> rows_;  // the shared paints' colours, a row each
};

}  // namespace vd::swf
