// The engine's geometry and style records, shared by the reader and the renderer.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace vd::swf {

struct Point {
    double x = 0, y = 0;
};

// SWF's matrix: x' = a*x + c*y + tx, y' = b*x + d*y + ty.
struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    Point Apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    // this after other: (this * other)(p) = this(other(p))
    Matrix operator*(const Matrix& o) const {
        return {a * o.a + c * o.b, b * o.a + d * o.b,        a * o.c + c * o.d,
                b * o.c + d * o.d, a * o.tx + c * o.ty + tx, b * o.tx + d * o.ty + ty};
    }
    double Det() const { return a * d - b * c; }
    // A singular matrix inverts to one that sends everything to the origin.
    Matrix Inverse() const {
        double det = Det();
        if (det == 0 || !std::isfinite(det)) return {0, 0, 0, 0, 0, 0};
        double id = 1 / det;
        Matrix r{d * id, -b * id, -c * id, a * id, 0, 0};
        r.tx = -(r.a * tx + r.c * ty);
        r.ty = -(r.b * tx + r.d * ty);
        return r;
    }
    static Matrix Scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static Matrix Translate(double x, double y) { return {1, 0, 0, 1, x, y}; }
};

// Colour transform: channel' = channel * mul + add (r, g, b, a; channels 0..255).
struct ColorTransform {
    double mul[4] = {1, 1, 1, 1};
    double add[4] = {0, 0, 0, 0};

    // this after inner
    ColorTransform operator*(const ColorTransform& in) const {
        ColorTransform r;
        for (int i = 0; i < 4; ++i) {
            r.mul[i] = mul[i] * in.mul[i];
            r.add[i] = mul[i] * in.add[i] + add[i];
        }
        return r;
    }
    bool IsIdentity() const {
        for (int i = 0; i < 4; ++i)
            if (mul[i] != 1 || add[i] != 0) return false;
        return true;
    }
};

// Straight (not premultiplied) colour.
struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
    bool operator==(const Rgba&) const = default;
};

inline Rgba Transform(const ColorTransform& cx, Rgba c) {
    auto ch = [&](int i, uint8_t v) {
        double x = v * cx.mul[i] + cx.add[i];
        return static_cast<uint8_t>(x <= 0 ? 0 : x >= 255 ? 255 : static_cast<int>(x));
    };
    return {ch(0, c.r), ch(1, c.g), ch(2, c.b), ch(3, c.a)};
}

inline uint32_t Premultiply(Rgba c) {
    uint32_t a = c.a;
    auto m = [a](uint32_t v) { return (v * a + 127) / 255; };
    return (a << 24) | (m(c.r) << 16) | (m(c.g) << 8) | m(c.b);
}

struct GradientStop {
    uint8_t ratio = 0;
    Rgba color;
};

// A gradient's 256 premultiplied colours, one for each ratio step (no stops: transparent);
// `linearRgb` mixes the stops in linear RGB.
void GradientRamp(const std::vector<GradientStop>& stops, bool linearRgb, std::array<uint32_t, 256>& ramp);

enum class FillKind : uint8_t { Solid, Linear, Radial, Focal, Bitmap };

struct FillStyle {
    FillKind kind = FillKind::Solid;
    Rgba color;
    Matrix matrix;  // gradient square or bitmap pixels -> shape twips
    std::vector<GradientStop> stops;
    uint8_t spread = 0;      // 0 pad, 1 reflect, 2 repeat
    bool linearRgb = false;  // interpolation in linear RGB
    double focal = 0;        // focal point, -1..1 of the radius
    uint16_t bitmapId = 0;
    bool repeat = true;  // bitmap fill tiles (else clamps at the edges)
    bool smooth = true;  // bitmap fill filtered bilinearly
};

enum class Cap : uint8_t { Round, None, Square };
enum class Join : uint8_t { Round, Bevel, Miter };

struct LineStyle {
    double width = 20;  // twips
    Rgba color;
    Cap startCap = Cap::Round, endCap = Cap::Round;
    Join join = Join::Round;
    double miterLimit = 3;
    bool noHScale = false, noVScale = false;
    bool hasFill = false;
    FillStyle fill;
};

// One edge of SWF's edge model: straight (curve = false) or quadratic, in twips, with the fill
// style on its left (fill0) and on its right (fill1) and its line style. Style numbers index the
// shape's style arrays (0 = none); a group is one run of style arrays (new ones start a group,
// drawn over the earlier ones).
struct Edge {
    Point p0, ctrl, p1;
    bool curve = false;
    uint32_t fill0 = 0, fill1 = 0, line = 0;
    uint32_t group = 0;
};

struct Rect {
    double xmin = 0, ymin = 0, xmax = 0, ymax = 0;
};

struct Shape {
    Rect bounds;
    std::vector<FillStyle> fills;  // fills[i - 1] is style i
    std::vector<LineStyle> lines;
    std::vector<Edge> edges;
    bool nonZero = false;  // DefineShape4's winding rule flag
};

}  // namespace vd::swf
