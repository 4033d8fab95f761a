// A shape drawn from its edge model: per group of style arrays, all its fill styles in one sweep
// (each edge counts for the styles on its two sides), then the strokes.
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

// Runs of style 1 in one paint.
class OnePaint final : public RunSink {
public:
    OnePaint(const Target& t, const Paint& p) : comp_(t), paint_(p) {}
    void Row(int y, const CoverageRun* runs, size_t count, bool) override {
        for (size_t i = 0; i < count; ++i) comp_.Run(y, runs[i].x0, runs[i].x1, paint_, runs[i].cov);
    }

private:
    Compositor comp_;
    const Paint& paint_;
};

// Runs of a shape's fill styles, each in its paint.
class StylePaints final : public RunSink {
public:
    StylePaints(DrawContext& dc, DrawContext::Paints& paints, const Shape& shape, const Matrix& m,
                const ColorTransform& cx)
        : dc_(dc), p_(paints), shape_(shape), m_(m), cx_(cx), comp_(dc.target) {}
    void Row(int y, const CoverageRun* runs, size_t count, bool disjoint) override {
        for (size_t i = 0; i < count;) {
            const CoverageRun& r = runs[i];
            size_t j = i + 1;
            if (disjoint)
                while (j < count && runs[j].x0 == r.x0 && runs[j].x1 == r.x1) ++j;
            if (j - i == 1) {
                const uint8_t made = Made(r.style);
                if (made == DrawContext::Paints::kSolid) comp_.RunSolid(y, r.x0, r.x1, p_.solid[r.style], r.cov);
                else comp_.Run(y, r.x0, r.x1, *p_.paint[r.style], r.cov);
            } else {
                // The styles meeting in these pixels (a pixel's sample points are at most 16);
                // solid colours are summed here, the common case.
                Compositor::Share shares[16];
                int n = 0;
                bool solid = true;
                uint32_t sum = 0;
                for (size_t k = i; k < j && n < 16; ++k) {
                    const uint32_t s = runs[k].style;
                    if (Made(s) == DrawContext::Paints::kSolid) {
                        shares[n++] = {nullptr, p_.solid[s], runs[k].cov};
                        sum = AddColors(sum, ScaleColor(p_.solid[s], runs[k].cov));
                    } else {
                        shares[n++] = {p_.paint[s].get(), 0, runs[k].cov};
                        solid = false;
                    }
                }
                if (solid && comp_.Plain()) comp_.LaySum(y, r.x0, r.x1, sum);
                else comp_.Shared(y, r.x0, r.x1, shares, n);
            }
            i = j;
        }
    }

private:
    uint8_t Made(uint32_t style) {
        const uint8_t made = p_.made[style];
        return made == DrawContext::Paints::kNotMade ? Make(style) : made;
    }
    uint8_t Make(uint32_t style) {
        const FillStyle& f = shape_.fills[style - 1];
        const bool overridden = p_.overridden && style == 1;
        if (f.kind == FillKind::Solid || overridden) {
            p_.solid[style] = SolidColor(overridden ? p_.color : f.color, cx_);
            p_.made[style] = DrawContext::Paints::kSolid;
        } else {
            p_.paint[style] = MakePaint(f, m_, cx_, FindBitmap(dc_, f));
            p_.made[style] = DrawContext::Paints::kPaint;
        }
        return p_.made[style];
    }

    DrawContext& dc_;
    DrawContext::Paints& p_;
    const Shape& shape_;
    const Matrix& m_;
    const ColorTransform& cx_;
    Compositor comp_;
};

bool SameTransform(const ColorTransform& p, const ColorTransform& q) {
    for (int i = 0; i < 4; ++i)
        if (p.mul[i] != q.mul[i] || p.add[i] != q.add[i]) return false;
    return true;
}

void Fill(DrawContext& dc, const Paint& paint, bool nonZero) {
    OnePaint sink(dc.target, paint);
    dc.raster.Sweep(nonZero, SamplesFor(dc.quality), sink);
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
    // Anti-aliasing on a 2 x 2 grid at medium quality, on a 4 x 4 grid at high and best.
    switch (q) {
        case Quality::Low:
            return 1;
        case Quality::Medium:
            return 4;
        case Quality::High:
        case Quality::Best:
            return 16;
    }
    return 16;
}

void DrawContext::Paints::For(size_t n, const ColorTransform& c, const Rgba* colorOverride) {
    const bool same = made.size() == n + 1 && SameTransform(cx, c) && overridden == (colorOverride != nullptr) &&
                      (!colorOverride || *colorOverride == color);
    if (same) return;
    made.assign(n + 1, kNotMade);
    solid.resize(n + 1);
    paint.clear();
    paint.resize(n + 1);
    cx = c;
    overridden = colorOverride != nullptr;
    if (colorOverride) color = *colorOverride;
}

void DrawContext::BeginRender() {
    ++render;
    for (auto it = placed.begin(); it != placed.end();) {
        if (it->second.lastRender + 1 < render) {
            placedEdges -= it->second.edges.Count();
            it = placed.erase(it);
        } else {
            ++it;
        }
    }
}

namespace {

uint64_t PlacedKey(const Shape* shape, size_t group, const Matrix& m, int width, int height) {
    // FNV-1a over what decides where the edges land.
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const void* p, size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
    };
    mix(&shape, sizeof shape);
    mix(&group, sizeof group);
    mix(&m, sizeof m);
    mix(&width, sizeof width);
    mix(&height, sizeof height);
    return h;
}

bool SameMatrix(const Matrix& p, const Matrix& q) {
    return p.a == q.a && p.b == q.b && p.c == q.c && p.d == q.d && p.tx == q.tx && p.ty == q.ty;
}

}  // namespace

void DrawShape(DrawContext& dc, const Shape& shape, const Matrix& m, const ColorTransform& cx,
               const Rgba* colorOverride, bool lasting) {
    if (shape.edges.empty() || dc.edgesLeft < 0) return;
    size_t i = 0;
    while (i < shape.edges.size()) {
        uint32_t group = shape.edges[i].group;
        size_t end = i;
        while (end < shape.edges.size() && shape.edges[end].group == group) ++end;
        std::map<uint32_t, std::vector<const Edge*>> byLine;
        for (size_t k = i; k < end; ++k)
            if (shape.edges[k].line) byLine[shape.edges[k].line].push_back(&shape.edges[k]);

        // The group's fills as placed before, when nothing moved since.
        const Rasterizer::Edges* fills = nullptr;
        DrawContext::Paints* paints = &dc.paints;
        dc.paints.made.clear();  // the scratch is another shape's
        const uint64_t key = lasting ? PlacedKey(&shape, i, m, dc.target.width, dc.target.height) : 0;
        if (lasting) {
            auto it = dc.placed.find(key);
            if (it != dc.placed.end() && it->second.shape == &shape && it->second.group == i &&
                SameMatrix(it->second.m, m) && it->second.edges.Count() > 0) {
                if (!Spend(dc, it->second.edges.Count())) return;
                it->second.lastRender = dc.render;
                fills = &it->second.edges;
                paints = &it->second.paints;
            }
        }
        if (!fills) {
            // One sweep for all the fill styles of the group: each edge is placed and
            // flattened once, with the styles on its two sides (styles the shape lacks are
            // none).
            std::vector<Point>& pts = dc.points;
            dc.raster.Reset(dc.target.width, dc.target.height);
            const auto known = [&](uint32_t style) { return style <= shape.fills.size() ? style : 0; };
            for (size_t k = i; k < end; ++k) {
                const Edge& e = shape.edges[k];
                const uint32_t fill0 = known(e.fill0), fill1 = known(e.fill1);
                if (fill0 == fill1) continue;
                pts.clear();
                Point a = m.Apply(e.p0), b = m.Apply(e.p1);
                pts.push_back(a);
                if (e.curve) FlattenQuad(a, m.Apply(e.ctrl), b, kFlatness, pts);
                else pts.push_back(b);
                if (!Spend(dc, pts.size() - 1)) return;
                for (size_t j = 0; j + 1 < pts.size(); ++j) dc.raster.AddEdge(pts[j], pts[j + 1], fill0, fill1);
            }
            if (lasting && dc.placedEdges + dc.raster.EdgeCount() <= DrawContext::kCachedEdges && !dc.raster.Empty()) {
                DrawContext::Placed& p = dc.placed[key];
                dc.placedEdges -= p.edges.Count();
                p.shape = &shape;
                p.group = i;
                p.m = m;
                p.lastRender = dc.render;
                p.paints.made.clear();
                dc.raster.Prepare(p.edges);
                dc.placedEdges += p.edges.Count();
                fills = &p.edges;
                paints = &p.paints;
            }
        }
        paints->For(shape.fills.size(), cx, colorOverride);
        StylePaints sink(dc, *paints, shape, m, cx);
        if (fills) dc.raster.Sweep(*fills, shape.nonZero, SamplesFor(dc.quality), sink);
        else if (!dc.raster.Empty()) dc.raster.Sweep(shape.nonZero, SamplesFor(dc.quality), sink);
        // A mask is the shapes' fills; their strokes do not count.
        if (!dc.target.maskOut)
            for (auto& [style, edges] : byLine) Stroke(dc, edges, shape.lines[style - 1], m, cx);
        i = end;
    }
}

}  // namespace vd::swf
