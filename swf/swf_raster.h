// Scanline rasterizer: a shape's edges, each carrying the fill styles on its two sides, to runs
// of coverage per style, in one sweep for all the styles of the shape.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "swf_types.h"

namespace vd::swf {

// Pixels x0..x1-1 of a row covered by `style` at cov (1..255).
struct CoverageRun {
    int32_t x0, x1;
    uint32_t style;
    uint32_t cov;
};

// Receives coverage a row at a time. Within a pixel, styles come in ascending order, so later
// styles are drawn over earlier ones. disjoint: no sample point of the row is in two styles (the
// regions of a shape meet but do not overlap); the runs over the same pixels then come one after
// the other, cover at most the whole pixel together, and are laid as one.
class RunSink {
public:
    virtual void Row(int y, const CoverageRun* runs, size_t count, bool disjoint) = 0;

protected:
    ~RunSink() = default;
};

class Rasterizer {
    // Edges in fixed point (kSub units a pixel), top to bottom.
    static constexpr int64_t kSub = 256;
    struct E {
        int64_t x0, y0, x1, y1;
        uint32_t fill0, fill1;
        int dir;
    };
    // An edge as the sweep reads it: fixed-point values held exactly in doubles, and the styles
    // a sample line has on its left and on its right (crossing it rightwards leaves `left` and
    // enters `right`, whichever way the edge runs).
    struct Active {
        double x0, y0, x1, y1, slope;  // slope dx / dy
        uint32_t left, right;
        double XAt(double y) const { return x0 + (y - y0) * slope; }
    };

public:
    // Edges placed on a target and sorted for sweeping: kept, they are swept again as long as
    // the shape does not move.
    class Edges {
    public:
        size_t Count() const { return prep_.size(); }

    private:
        friend class Rasterizer;
        int width_ = 0, height_ = 0;
        uint32_t maxStyle_ = 0;
        int64_t ymax_ = 0;
        std::vector<Active> prep_;        // by the row they start in
        std::vector<uint32_t> rowStart_;  // prep_ index of each row's first
    };

    // Clip rectangle: the target's pixels [0, width) x [0, height).
    void Reset(int width, int height);
    // An edge from a to b: fill1 is the style of the region it bounds going a -> b, fill0 the
    // one it bounds going b -> a (SWF's two sides of an edge); 0 is no style.
    void AddEdge(Point a, Point b, uint32_t fill0, uint32_t fill1);
    // An edge of a polygon of style 1.
    void AddLine(Point a, Point b) { AddEdge(a, b, 0, 1); }
    bool Empty() const { return edges_.empty(); }
    size_t EdgeCount() const { return edges_.size(); }
    // The edges added since Reset, sorted for sweeping into out.
    void Prepare(Edges& out) const;
    // Coverage of a pixel by a style: the share of its sample points inside that style's region
    // (winding counted per style, non-zero or even-odd).
    // samples: sample points a pixel, 1 (no anti-aliasing: the pixel centre decides), 4 (a 2 x 2
    // grid) or 16 (4 x 4).
    void Sweep(const Edges& edges, bool nonZero, int samples, RunSink& sink);
    void Sweep(bool nonZero, int samples, RunSink& sink) {
        Prepare(own_);
        Sweep(own_, nonZero, samples, sink);
    }

private:
    // An edge the sweep is on, ordered by x in the middle of the row; held here and not by
    // index so a row reads its edges in one pass.
    struct Slot {
        double x;
        Active a;
    };
    // An edge met on a sample line: the line's points from p on lie right of it.
    struct Crossing {
        int32_t p;
        uint32_t left, right;
    };
    // From point p on, a sample line is inside `style` (0: none).
    struct Seg {
        int32_t p;
        uint32_t style;
    };
    struct Span {
        uint32_t style;
        int32_t p0, p1;
    };
    // A pixel's sample points: an n x n grid, n lines a row and n points a line on each.
    static constexpr int kMaxLines = 4;
    static constexpr int kMaxSamples = kMaxLines * kMaxLines;

    template <int n> void SweepRows(const Edges& edges, int rowFirst, int rowLast, bool nonZero, RunSink& sink);
    template <int n> void CrossRow(const Active* first, const Active* last, int y);
    int32_t ExactCrossing(const Active& e, int64_t sy, int64_t step) const;
    std::span<const Crossing> Line(int s) const { return {xs_[s].data(), xsCount_[s]}; }
    bool WalkSimple(std::span<const Crossing> xs, bool nonZero, std::vector<Seg>& segs);
    template <int n> void EmitWhole(const uint32_t* cur, int32_t x, int32_t end);
    // Points of a pixel in a style, summed until the pixel is done.
    void AddToPixel(uint32_t style, int points) {
        if (!style) return;
        int i = 0;
        while (i < pixelCount_ && pixelStyle_[i] != style) ++i;
        if (i == pixelCount_) {
            pixelStyle_[pixelCount_] = style;
            pixelPoints_[pixelCount_++] = 0;
        }
        pixelPoints_[i] += points;
    }
    void EmitSummed(int32_t x, int32_t end);
    struct SegLines;
    struct CrossingLines;
    template <int n, class Lines> bool EmitPixels(Lines& lines);
    template <int n> void EmitGeneral(bool nonZero);
    bool Inside(int w, bool nonZero) const { return nonZero ? w != 0 : (w & 1) != 0; }

    int width_ = 0, height_ = 0;
    int32_t points_ = 0;  // of a sample line across the target
    uint32_t maxStyle_ = 0;
    std::vector<E> edges_;
    Edges own_;
    std::vector<Slot> active_;
    std::vector<uint32_t> touched_;
    std::vector<int> wind_;
    std::vector<int32_t> start_, count_;
    std::array<std::vector<Crossing>, kMaxLines> xs_;  // a row's lines' crossings (xsCount_ of each)
    std::array<size_t, kMaxLines> xsCount_ = {};
    std::array<std::vector<Seg>, kMaxLines> segs_;
    std::vector<Span> spans_;
    std::vector<CoverageRun> runs_;  // the row's, for the sink
    uint8_t cov_[kMaxSamples + 1] = {};
    // The points of a pixel summed by style.
    int pixelCount_ = 0;
    uint32_t pixelStyle_[kMaxSamples] = {};
    int pixelPoints_[kMaxSamples] = {};
};

}  // namespace vd::swf
