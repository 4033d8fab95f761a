// Drawing one shape (its fills, then its strokes, group by group) into a target.
#pragma once

#include <cstdint>
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
    // Scratch kept across shapes: a group's edges in target pixels, flattened once, and which
    // fill style takes each of them on which side.
    struct Piece {
        uint32_t style;
        uint32_t first, count;  // the edge's points in `points`, p0 first
        bool reversed;
    };
    std::vector<Point> points;
    std::vector<Piece> pieces, sorted;
    std::vector<uint32_t> styleStart;
};

// Sub-scanlines a pixel for a quality.
int SamplesFor(Quality q);

// colorOverride: the colour of fill style 1 (glyphs drawn in their text's colour).
void DrawShape(DrawContext& dc, const Shape& shape, const Matrix& toTarget, const ColorTransform& cx,
               const Rgba* colorOverride = nullptr);

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
