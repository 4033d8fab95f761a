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

// Lays runs of one paint at one coverage into a target.
class Compositor {
public:
    explicit Compositor(const Target& t) : t_(t) {}
    void Run(int y, int x0, int x1, const Paint& p, uint8_t cov);
    // color: premultiplied 0xAARRGGBB.
    void RunSolid(int y, int x0, int x1, uint32_t color, uint32_t cov) {
        if (cov == 255 && color >> 24 == 255 && !t_.clip && !t_.maskOut) {
            uint32_t* dst = t_.pixels + static_cast<size_t>(y) * t_.stride + x0;
            std::fill(dst, dst + (x1 - x0), color);
        } else {
            Blend(y, x0, x1, color, cov);
        }
    }

private:
    void Blend(int y, int x0, int x1, uint32_t color, uint32_t cov);

    const Target& t_;
    std::vector<uint32_t> row_;
};

}  // namespace vd::swf
