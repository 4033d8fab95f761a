// Strokes: a polyline widened into positively oriented polygons (segments, joins, caps).
#include <algorithm>
#include <cmath>

#include "swf_draw.h"

namespace vd::swf {
namespace {

constexpr double kPi = 3.14159265358979323846;

double SignedArea(const std::vector<Point>& p) {
    double a = 0;
    for (size_t i = 0, j = p.size() - 1; i < p.size(); j = i++) a += p[j].x * p[i].y - p[i].x * p[j].y;
    return a / 2;
}

void Emit(std::vector<Point> poly, std::vector<std::vector<Point>>& out) {
    if (poly.size() < 3) return;
    if (SignedArea(poly) < 0) std::reverse(poly.begin(), poly.end());
    out.push_back(std::move(poly));
}

void Circle(Point c, double r, double unitsPerPixel, std::vector<std::vector<Point>>& out) {
    double rp = unitsPerPixel > 0 ? r / unitsPerPixel : r;
    // Enough steps that the polygon strays less than a fiftieth of a pixel from the circle.
    double tol = 0.02;
    int steps = rp <= tol ? 8 : static_cast<int>(std::ceil(kPi / std::acos(std::max(-1.0, 1 - tol / rp))));
    steps = std::clamp(steps, 8, 256);
    std::vector<Point> p;
    p.reserve(steps);
    for (int i = 0; i < steps; ++i) {
        double a = 2 * kPi * i / steps;
        p.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
    }
    Emit(std::move(p), out);
}

}  // namespace

namespace {
// Parabola arc-length approximations for the flattening below.
template <typename R> R ParabolaIntegral(R x) {
    const R d = R(0.67);
    return x / (R(1) - d + std::pow(d * d * d * d + R(0.25) * x * x, R(0.25)));
}
template <typename R> R ParabolaInvIntegral(R x) {
    const R b = R(0.39);
    return x * (R(1) - b + std::sqrt(b * b + R(0.25) * x * x));
}

// Points spread so that each chord strays about as far from the curve as the others: the curve
// mapped onto a parabola, steps equal in its approximate arc integral.
template <typename R> void FlattenQuadEven(Point pp0, Point pc, Point pp1, double ptol, std::vector<Point>& out) {
    R p0x = R(pp0.x), p0y = R(pp0.y), cx = R(pc.x), cy = R(pc.y), p1x = R(pp1.x), p1y = R(pp1.y), tol = R(ptol);
    R ddx = R(2) * cx - p0x - p1x, ddy = R(2) * cy - p0y - p1y;
    R u0 = (cx - p0x) * ddx + (cy - p0y) * ddy;
    R u2 = (p1x - cx) * ddx + (p1y - cy) * ddy;
    R cross = (p1x - p0x) * ddy - (p1y - p0y) * ddx;
    R x0 = u0 / cross, x2 = u2 / cross;
    R scale = std::fabs(cross) / (std::hypot(ddx, ddy) * std::fabs(x2 - x0));
    R a0 = ParabolaIntegral(x0), a2 = ParabolaIntegral(x2);
    R val = 0;
    if (std::isfinite(scale) && cross != 0) {
        // One count for every curve, turning or not: a sharper count for curves through their
        // vertex splits small loops finer than the expected pictures show.
        val = std::fabs(a2 - a0) * std::sqrt(scale);
    }
    int n = std::isfinite(val) ? static_cast<int>(std::ceil(R(0.5) * val / std::sqrt(tol))) : 1;
    n = std::clamp(n, 1, 256);
    R i0 = ParabolaInvIntegral(a0), i2 = ParabolaInvIntegral(a2);
    for (int i = 1; i < n; ++i) {
        R u = ParabolaInvIntegral(a0 + (a2 - a0) * R(i) / R(n));
        R t = (u - i0) / (i2 - i0);
        if (!std::isfinite(t)) t = R(i) / R(n);
        R v = R(1) - t;
        out.push_back({double(v * v * p0x + R(2) * v * t * cx + t * t * p1x),
                       double(v * v * p0y + R(2) * v * t * cy + t * t * p1y)});
    }
    out.push_back(pp1);
}
}  // namespace

void FlattenQuad(Point p0, Point c, Point p1, double tol, std::vector<Point>& out) {
    // A curve that strays from its chord by no more than the tolerance (a hair more, so that a
    // control point exactly twice the tolerance away counts) is the chord: its farthest point
    // lies half as far from the chord as the control point. Only while the control point lies
    // beside the chord; one beyond an end makes the curve overshoot it.
    double bx = p1.x - p0.x, by = p1.y - p0.y, len2 = bx * bx + by * by;
    double along = bx * (c.x - p0.x) + by * (c.y - p0.y);
    if (len2 > 0 && along >= 0 && along <= len2 &&
        std::fabs(bx * (c.y - p0.y) - by * (c.x - p0.x)) / std::sqrt(len2) * 0.5 <= tol * (1 + 1e-9)) {
        out.push_back(p1);
        return;
    }
    FlattenQuadEven<double>(p0, c, p1, tol, out);
}

void StrokePolyline(const std::vector<Point>& in, bool closed, double h, const LineStyle& style, double unitsPerPixel,
                    std::vector<std::vector<Point>>& out) {
    std::vector<Point> pts;
    for (const Point& p : in)
        if (pts.empty() || p.x != pts.back().x || p.y != pts.back().y) pts.push_back(p);
    if (closed && pts.size() > 1 && pts.front().x == pts.back().x && pts.front().y == pts.back().y) pts.pop_back();
    if (pts.size() < 2) closed = false;
    if (pts.empty() || h <= 0) return;
    if (pts.size() == 1) {
        if (style.startCap == Cap::Round) Circle(pts[0], h, unitsPerPixel, out);
        if (style.startCap == Cap::Square)
            Emit({{pts[0].x - h, pts[0].y - h},
                  {pts[0].x + h, pts[0].y - h},
                  {pts[0].x + h, pts[0].y + h},
                  {pts[0].x - h, pts[0].y + h}},
                 out);
        return;
    }
    size_t n = pts.size(), segs = closed ? n : n - 1;
    auto dirOf = [&](size_t i) {
        Point a = pts[i], b = pts[(i + 1) % n];
        double dx = b.x - a.x, dy = b.y - a.y, l = std::sqrt(dx * dx + dy * dy);
        return Point{dx / l, dy / l};
    };
    for (size_t i = 0; i < segs; ++i) {
        Point a = pts[i], b = pts[(i + 1) % n], d = dirOf(i);
        Point nn{-d.y * h, d.x * h};
        double ea = 0, eb = 0;
        if (!closed && i == 0 && style.startCap == Cap::Square) ea = h;
        if (!closed && i + 1 == segs && style.endCap == Cap::Square) eb = h;
        a = {a.x - d.x * ea, a.y - d.y * ea};
        b = {b.x + d.x * eb, b.y + d.y * eb};
        Emit({{a.x + nn.x, a.y + nn.y}, {b.x + nn.x, b.y + nn.y}, {b.x - nn.x, b.y - nn.y}, {a.x - nn.x, a.y - nn.y}},
             out);
    }
    // Joins at the vertices between two segments.
    size_t firstJoin = closed ? 0 : 1, lastJoin = closed ? n : n - 1;
    for (size_t v = firstJoin; v < lastJoin; ++v) {
        Point p = pts[v];
        Point d1 = dirOf((v + n - 1) % n), d2 = dirOf(v % n);
        double cross = d1.x * d2.y - d1.y * d2.x, dot = d1.x * d2.x + d1.y * d2.y;
        if (std::fabs(cross) < 1e-12 && dot > 0) continue;  // straight on
        if (style.join == Join::Round) {
            Circle(p, h, unitsPerPixel, out);
            continue;
        }
        double side = cross > 0 ? -1 : 1;  // the outer side of the turn
        Point n1{-d1.y * h * side, d1.x * h * side}, n2{-d2.y * h * side, d2.x * h * side};
        Point o1{p.x + n1.x, p.y + n1.y}, o2{p.x + n2.x, p.y + n2.y};
        if (style.join == Join::Miter) {
            // Miter tip: along the bisector at h / cos(theta/2).
            double cosHalf = std::sqrt(std::max(0.0, (1 + dot) / 2));
            if (cosHalf > 1e-9 && 1 / cosHalf <= std::max(style.miterLimit, 1.0)) {
                Point bis{n1.x + n2.x, n1.y + n2.y};
                double bl = std::sqrt(bis.x * bis.x + bis.y * bis.y);
                if (bl > 0) {
                    double len = h / cosHalf;
                    Point tip{p.x + bis.x / bl * len, p.y + bis.y / bl * len};
                    Emit({p, o1, tip, o2}, out);
                    continue;
                }
            }
        }
        Emit({p, o1, o2}, out);
    }
    if (!closed) {
        if (style.startCap == Cap::Round) Circle(pts.front(), h, unitsPerPixel, out);
        if (style.endCap == Cap::Round) Circle(pts.back(), h, unitsPerPixel, out);
    }
}

void StrokeHairline(const std::vector<Point>& pts, std::vector<std::vector<Point>>& out) {
    // Each segment is one pixel thick across its major axis (a row or a column of coverage a
    // step, at any slope), and each vertex a pixel square, so that turns and ends leave no gap.
    auto square = [&](Point p) {
        Emit({{p.x - 0.5, p.y - 0.5}, {p.x + 0.5, p.y - 0.5}, {p.x + 0.5, p.y + 0.5}, {p.x - 0.5, p.y + 0.5}}, out);
    };
    for (size_t i = 0; i < pts.size(); ++i) {
        if (i == 0 || pts[i].x != pts[i - 1].x || pts[i].y != pts[i - 1].y) square(pts[i]);
        if (i == 0) continue;
        Point a = pts[i - 1], b = pts[i];
        bool xMajor = std::fabs(b.x - a.x) >= std::fabs(b.y - a.y);
        Point o = xMajor ? Point{0, 0.5} : Point{0.5, 0};
        Emit({{a.x - o.x, a.y - o.y}, {b.x - o.x, b.y - o.y}, {b.x + o.x, b.y + o.y}, {a.x + o.x, a.y + o.y}}, out);
    }
}

}  // namespace vd::swf
