// A shape drawn from its edge model: per group of style arrays, each fill style's region (the
// edges carrying it on either side, turned so that the style lies on one side), then the strokes.
#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

#include "swf_draw.h"

namespace vd::swf {
namespace {

const Bitmap* FindBitmap(const DrawContext& dc, const FillStyle& f) {
    if (f.kind != FillKind::Bitmap || !dc.movie) return nullptr;
    const Character* c = dc.movie->Find(f.bitmapId);
    return c && c->kind == CharKind::Bitmap ? c->bitmap.get() : nullptr;
}

// Largest distance, in target pixels, of a flattened curve from the true one.
constexpr double kFlatness = 0.1;

bool Spend(DrawContext& dc, size_t n) {
    dc.edgesLeft -= static_cast<int64_t>(n);
    return dc.edgesLeft >= 0;
}

void Fill(DrawContext& dc, const Paint& paint, bool nonZero) {
    Compositor comp(dc.target, paint);
    dc.raster.Sweep(nonZero, SamplePattern::For(SamplesFor(dc.quality)), comp);
}

void Stroke(DrawContext& dc, const std::vector<const Edge*>& edges, const LineStyle& ls, const Matrix& m,
            const ColorTransform& cx) {
    double scale = std::sqrt(std::fabs(m.Det()));
    if (!(scale > 0) || !std::isfinite(scale)) return;
    // Strokes are widened on the target with a round pen: its width scales with the shape's
    // area scale, or only with the direction that still counts when the style says not to
    // scale horizontally or vertically, or only with the stage when neither.
    double sx = std::sqrt(m.a * m.a + m.b * m.b), sy = std::sqrt(m.c * m.c + m.d * m.d);
    double widthPx = !ls.noHScale && !ls.noVScale ? ls.width * scale
                     : ls.noHScale && ls.noVScale ? ls.width / 20 * dc.stageScale
                     : ls.noHScale                ? ls.width * sy
                                                  : ls.width * sx;
    // Anti-aliased, lines no wider than a pixel are hairlines (a pixel across the line's major
    // axis); without anti-aliasing they are drawn as a band a pixel wide.
    const bool hairline = widthPx <= 1 && dc.quality != Quality::Low;
    widthPx = std::max(widthPx, 1.0);
    double half = widthPx / 2;

    std::vector<std::vector<Point>> polys;
    std::vector<Point> line;
    auto flush = [&] {
        if (line.empty()) return;
        bool closed = line.size() > 2 && line.front().x == line.back().x && line.front().y == line.back().y;
        if (hairline) StrokeHairline(line, polys);
        else StrokePolyline(line, closed, half, ls, 1, polys);
        line.clear();
    };
    for (const Edge* e : edges) {
        Point p0 = m.Apply(e->p0), p1 = m.Apply(e->p1);
        if (line.empty() || line.back().x != p0.x || line.back().y != p0.y) {
            flush();
            line.push_back(p0);
        }
        if (e->curve) FlattenQuad(p0, m.Apply(e->ctrl), p1, kFlatness, line);
        else line.push_back(p1);
    }
    flush();
    dc.raster.Reset(dc.target.width, dc.target.height);
    size_t count = 0;
    for (const auto& poly : polys) count += poly.size();
    if (!Spend(dc, count)) return;
    for (const auto& poly : polys) {
        Point prev = poly.back();
        for (const Point& p : poly) {
            dc.raster.AddLine(prev, p);
            prev = p;
        }
    }
    FillStyle solid;
    solid.color = ls.color;
    const FillStyle& f = ls.hasFill ? ls.fill : solid;
    auto paint = MakePaint(f, m, cx, FindBitmap(dc, f));
    Fill(dc, *paint, true);
}

}  // namespace

int SamplesFor(Quality q) {
    switch (q) {
        case Quality::Low:
            return 1;
        case Quality::Medium:
            return 2;
        case Quality::High:
            return 4;
        case Quality::Best:
            return 8;
    }
    return 4;
}

void DrawShape(DrawContext& dc, const Shape& shape, const Matrix& m, const ColorTransform& cx,
               const Rgba* colorOverride) {
    if (shape.edges.empty() || dc.edgesLeft < 0) return;
    size_t i = 0;
    while (i < shape.edges.size()) {
        uint32_t group = shape.edges[i].group;
        size_t end = i;
        while (end < shape.edges.size() && shape.edges[end].group == group) ++end;
        // Each edge is placed and flattened once, for the styles on both its sides (a shared
        // edge is then the same line for both, traversed the other way for one of them).
        std::vector<Point>& pts = dc.points;
        std::vector<DrawContext::Piece>& pieces = dc.pieces;
        pts.clear();
        pieces.clear();
        std::map<uint32_t, std::vector<const Edge*>> byLine;
        for (size_t k = i; k < end; ++k) {
            const Edge& e = shape.edges[k];
            if (e.line) byLine[e.line].push_back(&e);
            if (!e.fill0 && !e.fill1) continue;
            uint32_t first = static_cast<uint32_t>(pts.size());
            Point a = m.Apply(e.p0), b = m.Apply(e.p1);
            pts.push_back(a);
            if (e.curve) FlattenQuad(a, m.Apply(e.ctrl), b, kFlatness, pts);
            else pts.push_back(b);
            uint32_t count = static_cast<uint32_t>(pts.size()) - first;
            if (e.fill1) pieces.push_back({e.fill1, first, count, false});
            if (e.fill0) pieces.push_back({e.fill0, first, count, true});
        }
        // Fills of this group, in style order (a counting sort: styles are small numbers, and
        // the edges keep their order within a style).
        std::vector<uint32_t>& at = dc.styleStart;
        at.assign(shape.fills.size() + 2, 0);
        for (const DrawContext::Piece& p : pieces) ++at[std::min<size_t>(p.style, shape.fills.size() + 1)];
        uint32_t sum = 0;
        for (uint32_t& c : at) sum += std::exchange(c, sum);
        dc.sorted.resize(pieces.size());
        for (const DrawContext::Piece& p : pieces)
            dc.sorted[at[std::min<size_t>(p.style, shape.fills.size() + 1)]++] = p;
        pieces.swap(dc.sorted);
        for (size_t s = 0; s < pieces.size();) {
            const uint32_t style = pieces[s].style;
            size_t t = s;
            while (t < pieces.size() && pieces[t].style == style) ++t;
            if (!Spend(dc, t - s)) return;
            dc.raster.Reset(dc.target.width, dc.target.height);
            for (size_t k = s; k < t; ++k) {
                const Point* q = &pts[pieces[k].first];
                const uint32_t n = pieces[k].count;
                if (pieces[k].reversed)
                    for (uint32_t j = n - 1; j > 0; --j) dc.raster.AddLine(q[j], q[j - 1]);
                else
                    for (uint32_t j = 0; j + 1 < n; ++j) dc.raster.AddLine(q[j], q[j + 1]);
            }
            s = t;
            if (style > shape.fills.size()) continue;
            FillStyle f = shape.fills[style - 1];
            if (colorOverride && style == 1) {
                f.kind = FillKind::Solid;
                f.color = *colorOverride;
            }
            auto paint = MakePaint(f, m, cx, FindBitmap(dc, f));
            Fill(dc, *paint, shape.nonZero);
        }
        // A mask is the shapes' fills; their strokes do not count.
        if (!dc.target.maskOut)
            for (auto& [style, edges] : byLine) Stroke(dc, edges, shape.lines[style - 1], m, cx);
        i = end;
    }
}

}  // namespace vd::swf
