// Drawing one shape (its fills, then its strokes, group by group) into a target.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "swf_movie.h"
#include "swf_paint.h"
#include "swf_raster.h"
#include "vd_swf.h"

namespace vd::swf {

struct DrawContext {
    Target target;
    Quality quality = Quality::High;
    const MovieData* movie = nullptr;
    double stageScale = 1;  // stage pixels -> target pixels (for strokes that do not scale)
    int64_t edgesLeft = kMaxEdgesPerRender;
    int64_t filterWorkLeft = kMaxFilterWork;  // pixel passes filters may still spend
    Rasterizer raster;
    // The paints of a shape's fill styles, made when a style is first met (a solid one is only
    // its colour), for one placing and colour transform.
    struct Paints {
        enum : uint8_t { kNotMade, kSolid, kPaint };
        std::vector<uint8_t> made;
        std::vector<uint32_t> solid;
        std::vector<std::unique_ptr<Paint>> paint;
        ColorTransform cx;
        bool overridden = false;
        Rgba color;  // fill style 1's, when overridden
        // Readies for a shape of n fill styles under cx (and colorOverride): keeps what was
        // made when they are those of last time.
        void For(size_t n, const ColorTransform& cx, const Rgba* colorOverride);
    };
    // Scratch kept across shapes: an edge flattened, and paints of shapes not kept.
    std::vector<Point> points;
    Paints paints;

    // The fills of the movie's shapes as last placed, kept across renders: a still frame is
    // drawn again without flattening and sorting its edges anew. Only what the render before
    // used is kept, up to kCachedEdges edges.
    struct Placed {
        const Shape* shape = nullptr;
        size_t group = 0;  // index of the group's first edge
        Matrix m;
        uint64_t lastRender = 0;
        Rasterizer::Edges edges;
        Paints paints;
    };
    static constexpr size_t kCachedEdges = size_t{1} << 18;
    std::unordered_map<uint64_t, Placed> placed;
    size_t placedEdges = 0;
    uint64_t render = 0;
    // Starts a render: forgets what the render before did not use.
    void BeginRender();
};

// Sample points a pixel for a quality.
int SamplesFor(Quality q);

// colorOverride: the colour of fill style 1 (glyphs drawn in their text's colour). lasting: the
// shape outlives the render (a definition of the movie, not one made for this draw), so its
// placed fills may be kept for the next.
void DrawShape(DrawContext& dc, const Shape& shape, const Matrix& toTarget, const ColorTransform& cx,
               const Rgba* colorOverride = nullptr, bool lasting = false);

// Stroke outline of a polyline in its own coordinates: closed polygons, each positively
// oriented, whose union (non-zero winding) is the stroke. halfWidth in the same units;
// unitsPerPixel sizes the round parts' steps.
void StrokePolyline(const std::vector<Point>& pts, bool closed, double halfWidth, const LineStyle& style,
                    double unitsPerPixel, std::vector<std::vector<Point>>& out);

// A hairline along a polyline in target pixels: closed, positively oriented polygons whose
// union (non-zero winding) covers one pixel across the line's major axis.
void StrokeHairline(const std::vector<Point>& pts, std::vector<std::vector<Point>>& out);

// Quadratic from p0 over c to p1 as points (p0 excluded, p1 last) within about tol of the curve.
void FlattenQuad(Point p0, Point c, Point p1, double tol, std::vector<Point>& out);

}  // namespace vd::swf
