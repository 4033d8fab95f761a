// Scanline rasterizer: polygons of straight edges in target pixels to coverage spans.
#pragma once

#include <cstdint>
#include <vector>

#include "swf_types.h"

namespace vd::swf {

// Receives a row of coverage: cov[0 .. x1-x0) for pixels x0..x1-1 of row y (0..255).
class SpanSink {
public:
    virtual void Span(int y, int x0, int x1, const uint8_t* cov) = 0;

protected:
    ~SpanSink() = default;
};

struct SamplePattern {
    int count;
    Point at[8];
    // 1 (no anti-aliasing: the pixel centre decides), 2, 4 or 8 points a pixel.
    static const SamplePattern& For(int n);
};

class Rasterizer {
public:
    // Clip rectangle: the target's pixels [0, width) x [0, height).
    void Reset(int width, int height);
    void AddLine(Point a, Point b);
    bool Empty() const { return edges_.empty(); }
    size_t EdgeCount() const { return edges_.size(); }
    // Coverage of a pixel: the share of its sample points inside.
    void Sweep(bool nonZero, const SamplePattern& pattern, SpanSink& sink);

private:
    // Edges in fixed point (kSub units a pixel), top to bottom.
    static constexpr int64_t kSub = 256;
    struct E {
        int64_t x0, y0, x1, y1;
        int dir;
    };
    struct Crossing {
        double x;          // for ordering
        int64_t num, den;  // exact crossing: num / den in fixed point
        int dir;
    };
    int width_ = 0, height_ = 0;
    std::vector<E> edges_;
    std::vector<float> delta_;
    std::vector<uint8_t> row_;
    std::vector<Crossing> xs_;
    std::vector<size_t> active_;
};

}  // namespace vd::swf
