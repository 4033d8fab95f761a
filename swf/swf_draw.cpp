// A shape drawn from its edge model: per group of style arrays, each fill style's region (the
// edges carrying it on either side, turned so that the style lies on one side), then the strokes.
#include <algorithm>
#include <cmath>
#include <map>

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

void AddEdge(DrawContext& dc, const Edge& e, bool reversed, const Matrix& m, std::vector<Point>& tmp) {
    Point a = m.Apply(reversed ? e.p1 : e.p0), b = m.Apply(reversed ? e.p0 : e.p1);
    if (!e.curve) {
        dc.raster.AddLine(a, b);
        return;
    }
    tmp.clear();
    FlattenQuad(a, m.Apply(e.ctrl), b, kFlatness, tmp);
    Point prev = a;
    for (const Point& p : tmp) {
        dc.raster.AddLine(prev, p);
        prev = p;
    }
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
    // scale horizontally or vertically, or only with the stage when neither. Never under one
    // pixel (the hairline).
    double sx = std::sqrt(m.a * m.a + m.b * m.b), sy = std::sqrt(m.c * m.c + m.d * m.d);
    double widthPx = !ls.noHScale && !ls.noVScale ? ls.width * scale
                     : ls.noHScale && ls.noVScale ? ls.width / 20 * dc.stageScale
                     : ls.noHScale                ? ls.width * sy
                                                  : ls.width * sx;
    widthPx = std::max(widthPx, 1.0);
    double half = widthPx / 2;

    std::vector<std::vector<Point>> polys;
    std::vector<Point> line;
    auto flush = [&] {
        if (line.empty()) return;
        bool closed = line.size() > 2 && line.front().x == line.back().x && line.front().y == line.back().y;
        StrokePolyline(line, closed, half, ls, 1, polys);
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
    std::vector<Point> tmp;
    size_t i = 0;
    while (i < shape.edges.size()) {
        uint32_t group = shape.edges[i].group;
        size_t end = i;
        while (end < shape.edges.size() && shape.edges[end].group == group) ++end;
        // Fills of this group, in style order.
        std::map<uint32_t, std::vector<std::pair<const Edge*, bool>>> byFill;
        std::map<uint32_t, std::vector<const Edge*>> byLine;
        for (size_t k = i; k < end; ++k) {
            const Edge& e = shape.edges[k];
            if (e.fill1) byFill[e.fill1].push_back({&e, false});
            if (e.fill0) byFill[e.fill0].push_back({&e, true});
            if (e.line) byLine[e.line].push_back(&e);
        }
        for (auto& [style, edges] : byFill) {
            if (!Spend(dc, edges.size())) return;
            dc.raster.Reset(dc.target.width, dc.target.height);
            for (auto& [e, rev] : edges) AddEdge(dc, *e, rev, m, tmp);
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
