// Scanline rasterizer: a shape's edges, each carrying the fill styles on its two sides, to runs
// of coverage per style, in one sweep for all the styles of the shape.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "swf_types.h"

namespace vd::swf {

// Receives coverage: pixels x0..x1-1 of row y are covered by `style` at cov (1..255). Within a
// pixel, styles arrive in ascending order, so later styles are drawn over earlier ones.
class RunSink {
public:
    virtual void Run(int y, int x0, int x1, uint32_t style, uint8_t cov) = 0;

protected:
    ~RunSink() = default;
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
    // An edge from a to b: fill1 is the style of the region it bounds going a -> b, fill0 the
    // one it bounds going b -> a (SWF's two sides of an edge); 0 is no style.
    void AddEdge(Point a, Point b, uint32_t fill0, uint32_t fill1);
    // An edge of a polygon of style 1.
    void AddLine(Point a, Point b) { AddEdge(a, b, 0, 1); }
    bool Empty() const { return edges_.empty(); }
    size_t EdgeCount() const { return edges_.size(); }
    // Coverage of a pixel by a style: the share of its sample points inside that style's region
    // (winding counted per style, non-zero or even-odd).
    void Sweep(bool nonZero, const SamplePattern& pattern, RunSink& sink);

private:
    // Edges in fixed point (kSub units a pixel), top to bottom.
    static constexpr int64_t kSub = 256;
    struct E {
        int64_t x0, y0, x1, y1;
        uint32_t fill0, fill1;
        int dir;
    };
    // An edge while the sweep is on its rows: what each sample line needs of it, kept by value
    // so that a row's work runs through one small array.
    struct Active {
        double x0, y0, slope;  // fixed point, slope dx / dy
        int64_t y1;
        double key;  // x in the middle of the row, for the order along the row
        uint32_t fill0, fill1;
        int32_t dir;
        uint32_t edge;  // in sorted_, for the exact crossing
    };
    // An edge met on a sample line: samples of pixels from p on lie right of it.
    struct Crossing {
        int32_t p;
        int32_t dir;
        uint32_t fill0, fill1;
    };
    // From pixel p on, a sample line is inside `style` (0: none).
    struct Seg {
        int32_t p;
        uint32_t style;
    };
    struct Span {
        uint32_t style;
        int32_t p0, p1;
    };
    static constexpr int kMaxSamples = 8;

    void CrossRow(int y, const SamplePattern& pattern, int samples);
    int32_t ExactCrossing(const E& e, int64_t sy, int64_t ox) const;
    bool WalkSimple(const std::vector<Crossing>& xs, bool nonZero, std::vector<Seg>& segs);
    void EmitMerged(int y, int samples, RunSink& sink);
    void EmitGeneral(int y, int samples, bool nonZero, RunSink& sink);
    bool Inside(int w, bool nonZero) const { return nonZero ? w != 0 : (w & 1) != 0; }

    int width_ = 0, height_ = 0;
    uint32_t maxStyle_ = 0;
    std::vector<E> edges_, sorted_;
    std::vector<uint32_t> rowStart_, fillAt_, touched_;
    std::vector<Active> active_, incoming_, merged_;
    std::vector<int> wind_;
    std::vector<int32_t> start_, count_;
    std::array<std::vector<Crossing>, kMaxSamples> xs_;
    std::array<std::vector<Seg>, kMaxSamples> segs_;
    std::vector<Span> spans_;
    uint8_t cov_[kMaxSamples + 1] = {};
};

}  // namespace vd::swf
