// Shapes: style arrays, shape records into SWF's edge model, morph shapes.
#include <algorithm>

#include "swf_movie.h"
#include "vd_swf.h"

namespace vd::swf {
namespace {

Rgba ReadColor(Reader& r, bool rgba) { return rgba ? r.ReadRgba() : r.ReadRgb(); }

void ReadGradient(Reader& r, bool rgba, FillStyle& f) {
    r.Align();
    f.spread = static_cast<uint8_t>(r.UBits(2));
    f.linearRgb = r.UBits(2) == 1;
    int n = static_cast<int>(r.UBits(4));
    if (f.spread == 3) f.spread = 0;  // reserved: pad
    for (int i = 0; i < n; ++i) {
        GradientStop s;
        s.ratio = r.U8();
        s.color = ReadColor(r, rgba);
        f.stops.push_back(s);
    }
}

void ReadFillStyle(Reader& r, int version, FillStyle& f) {
    bool rgba = version >= 3;
    uint8_t type = r.U8();
    switch (type) {
        case 0x00:
            f.kind = FillKind::Solid;
            f.color = ReadColor(r, rgba);
            break;
        case 0x10:
        case 0x12:
        case 0x13:
            f.kind = type == 0x10 ? FillKind::Linear : type == 0x12 ? FillKind::Radial : FillKind::Focal;
            f.matrix = r.ReadMatrix();
            ReadGradient(r, rgba, f);
            if (type == 0x13) f.focal = std::clamp(r.Fixed8(), -1.0, 1.0);
            break;
        case 0x40:
        case 0x41:
        case 0x42:
        case 0x43:
            f.kind = FillKind::Bitmap;
            f.bitmapId = r.U16();
            f.matrix = r.ReadMatrix();
            f.repeat = (type & 1) == 0;
            f.smooth = (type & 2) == 0;
            break;
        default:
            // Unknown fill type: the rest of the record cannot be found, draw it transparent.
            f.kind = FillKind::Solid;
            f.color = Rgba{0, 0, 0, 0};
            break;
    }
}

int ReadCount(Reader& r, bool extended) {
    int n = r.U8();
    if (n == 0xff && extended) n = r.U16();
    return n;
}

void ReadLineStyle(Reader& r, int version, LineStyle& l) {
    l.width = r.U16();
    if (version < 4) {
        l.color = ReadColor(r, version >= 3);
        return;
    }
    r.Align();
    l.startCap = static_cast<Cap>(std::min<uint32_t>(r.UBits(2), 2));
    uint32_t join = r.UBits(2);
    l.join = join == 0 ? Join::Round : join == 1 ? Join::Bevel : Join::Miter;
    l.hasFill = r.UBits(1);
    l.noHScale = r.UBits(1);
    l.noVScale = r.UBits(1);
    r.UBits(1);  // pixel hinting
    r.UBits(5);
    r.UBits(1);  // no close
    l.endCap = static_cast<Cap>(std::min<uint32_t>(r.UBits(2), 2));
    if (join == 2) l.miterLimit = r.Fixed8();
    if (l.hasFill) {
        ReadFillStyle(r, version, l.fill);
        if (l.fill.kind == FillKind::Solid) {
            l.color = l.fill.color;
            l.hasFill = false;
        }
    } else {
        l.color = r.ReadRgba();
    }
}

void ReadStyles(Reader& r, int version, Shape& s) {
    int nf = ReadCount(r, version >= 2);
    for (int i = 0; i < nf && !r.Overrun() && static_cast<int>(s.fills.size()) < kMaxStylesPerShape; ++i) {
        FillStyle f;
        ReadFillStyle(r, version, f);
        s.fills.push_back(std::move(f));
    }
    int nl = ReadCount(r, true);
    for (int i = 0; i < nl && !r.Overrun() && static_cast<int>(s.lines.size()) < kMaxStylesPerShape; ++i) {
        LineStyle l;
        ReadLineStyle(r, version, l);
        s.lines.push_back(std::move(l));
    }
}

// Shape records into edges. withStyles: new style arrays may appear (DefineShape2 and up).
void ReadRecords(Reader& r, int version, Shape& s, bool allowNewStyles) {
    r.Align();
    int fillBits = static_cast<int>(r.UBits(4));
    int lineBits = static_cast<int>(r.UBits(4));
    double x = 0, y = 0;
    uint32_t fill0 = 0, fill1 = 0, line = 0, fillBase = 0, lineBase = 0, group = 0;
    auto style = [](uint32_t v, uint32_t base) { return v == 0 ? 0 : v + base; };
    while (!r.Overrun()) {
        if (r.UBits(1) == 0) {
            uint32_t flags = r.UBits(5);
            if (flags == 0) break;
            if (flags & 1) {
                int n = static_cast<int>(r.UBits(5));
                x = r.SBits(n);
                y = r.SBits(n);
            }
            bool set0 = flags & 2, set1 = flags & 4, setL = flags & 8;
            uint32_t v0 = set0 ? r.UBits(fillBits) : 0;
            uint32_t v1 = set1 ? r.UBits(fillBits) : 0;
            uint32_t vl = setL ? r.UBits(lineBits) : 0;
            if ((flags & 16) && allowNewStyles) {
                fillBase = static_cast<uint32_t>(s.fills.size());
                lineBase = static_cast<uint32_t>(s.lines.size());
                ReadStyles(r, version, s);
                r.Align();
                fillBits = static_cast<int>(r.UBits(4));
                lineBits = static_cast<int>(r.UBits(4));
                ++group;
                fill0 = fill1 = line = 0;
            }
            if (set0) fill0 = style(v0, fillBase);
            if (set1) fill1 = style(v1, fillBase);
            if (setL) line = style(vl, lineBase);
        } else {
            if (static_cast<int>(s.edges.size()) >= kMaxEdgesPerShape) break;
            Edge e;
            e.p0 = {x, y};
            e.fill0 = fill0;
            e.fill1 = fill1;
            e.line = line;
            e.group = group;
            bool straight = r.UBits(1);
            int n = static_cast<int>(r.UBits(4)) + 2;
            if (straight) {
                double dx = 0, dy = 0;
                if (r.UBits(1)) {
                    dx = r.SBits(n);
                    dy = r.SBits(n);
                } else if (r.UBits(1)) {
                    dy = r.SBits(n);
                } else {
                    dx = r.SBits(n);
                }
                x += dx;
                y += dy;
                e.ctrl = {(e.p0.x + x) / 2, (e.p0.y + y) / 2};
            } else {
                double cx = x + r.SBits(n), cy = y + r.SBits(n);
                x = cx + r.SBits(n);
                y = cy + r.SBits(n);
                e.ctrl = {cx, cy};
                e.curve = true;
            }
            e.p1 = {x, y};
            if (r.Overrun()) break;
            s.edges.push_back(e);
        }
    }
    // Style numbers past the arrays (damaged shapes) draw nothing.
    for (Edge& e : s.edges) {
        if (e.fill0 > s.fills.size()) e.fill0 = 0;
        if (e.fill1 > s.fills.size()) e.fill1 = 0;
        if (e.line > s.lines.size()) e.line = 0;
    }
}

// Morph styles: read as start and end styles side by side.
void ReadMorphFill(Reader& r, int version, FillStyle& a, FillStyle& b) {
    uint8_t type = r.U8();
    switch (type) {
        case 0x00:
            a.kind = b.kind = FillKind::Solid;
            a.color = r.ReadRgba();
            b.color = r.ReadRgba();
            break;
        case 0x10:
        case 0x12:
        case 0x13: {
            a.kind = b.kind = type == 0x10 ? FillKind::Linear : type == 0x12 ? FillKind::Radial : FillKind::Focal;
            a.matrix = r.ReadMatrix();
            b.matrix = r.ReadMatrix();
            r.Align();
            uint8_t head = r.U8();
            a.spread = b.spread = (head >> 6) == 3 ? 0 : static_cast<uint8_t>(head >> 6);
            a.linearRgb = b.linearRgb = ((head >> 4) & 3) == 1;
            int n = head & 15;
            for (int i = 0; i < n; ++i) {
                GradientStop s0, s1;
                s0.ratio = r.U8();
                s0.color = r.ReadRgba();
                s1.ratio = r.U8();
                s1.color = r.ReadRgba();
                a.stops.push_back(s0);
                b.stops.push_back(s1);
            }
            if (type == 0x13 && version >= 2) {
                a.focal = std::clamp(r.Fixed8(), -1.0, 1.0);
                b.focal = std::clamp(r.Fixed8(), -1.0, 1.0);
            }
            break;
        }
        case 0x40:
        case 0x41:
        case 0x42:
        case 0x43:
            a.kind = b.kind = FillKind::Bitmap;
            a.bitmapId = b.bitmapId = r.U16();
            a.matrix = r.ReadMatrix();
            b.matrix = r.ReadMatrix();
            a.repeat = b.repeat = (type & 1) == 0;
            a.smooth = b.smooth = (type & 2) == 0;
            break;
        default:
            a.color = b.color = Rgba{0, 0, 0, 0};
            break;
    }
}

double Lerp(double a, double b, double t) { return a + (b - a) * t; }
uint8_t Lerp8(uint8_t a, uint8_t b, double t) { return static_cast<uint8_t>(std::lround(Lerp(a, b, t))); }
Rgba LerpColor(Rgba a, Rgba b, double t) {
    return {Lerp8(a.r, b.r, t), Lerp8(a.g, b.g, t), Lerp8(a.b, b.b, t), Lerp8(a.a, b.a, t)};
}
Point LerpPoint(Point a, Point b, double t) { return {Lerp(a.x, b.x, t), Lerp(a.y, b.y, t)}; }
Matrix LerpMatrix(const Matrix& a, const Matrix& b, double t) {
    return {Lerp(a.a, b.a, t), Lerp(a.b, b.b, t),   Lerp(a.c, b.c, t),
            Lerp(a.d, b.d, t), Lerp(a.tx, b.tx, t), Lerp(a.ty, b.ty, t)};
}
FillStyle LerpFill(const FillStyle& a, const FillStyle& b, double t) {
    FillStyle f = a;
    f.color = LerpColor(a.color, b.color, t);
    f.matrix = LerpMatrix(a.matrix, b.matrix, t);
    f.focal = Lerp(a.focal, b.focal, t);
    for (size_t i = 0; i < f.stops.size() && i < b.stops.size(); ++i) {
        f.stops[i].ratio = Lerp8(a.stops[i].ratio, b.stops[i].ratio, t);
        f.stops[i].color = LerpColor(a.stops[i].color, b.stops[i].color, t);
    }
    return f;
}

}  // namespace

void ReadShapeWithStyles(Reader& r, int version, Shape& shape) {
    ReadStyles(r, version, shape);
    ReadRecords(r, version, shape, version >= 2);
}

void ReadGlyph(Reader& r, Shape& shape) {
    FillStyle f;
    shape.fills.push_back(f);
    ReadRecords(r, 1, shape, false);
}

bool ReadMorphShape(Reader& r, int version, MorphShape& m) {
    m.start.bounds = r.ReadRect();
    m.end.bounds = r.ReadRect();
    if (version >= 2) {
        r.ReadRect();
        r.ReadRect();
        r.U8();
    }
    uint32_t offset = r.U32();
    size_t endPos = r.Pos() + offset;
    int nf = ReadCount(r, true);
    for (int i = 0; i < nf && !r.Overrun() && i < kMaxStylesPerShape; ++i) {
        FillStyle a, b;
        ReadMorphFill(r, version, a, b);
        m.start.fills.push_back(std::move(a));
        m.end.fills.push_back(std::move(b));
    }
    int nl = ReadCount(r, true);
    for (int i = 0; i < nl && !r.Overrun() && i < kMaxStylesPerShape; ++i) {
        LineStyle a, b;
        a.width = r.U16();
        b.width = r.U16();
        if (version >= 2) {
            r.Align();
            a.startCap = static_cast<Cap>(std::min<uint32_t>(r.UBits(2), 2));
            uint32_t join = r.UBits(2);
            a.join = join == 0 ? Join::Round : join == 1 ? Join::Bevel : Join::Miter;
            a.hasFill = r.UBits(1);
            a.noHScale = r.UBits(1);
            a.noVScale = r.UBits(1);
            r.UBits(8);
            a.endCap = static_cast<Cap>(std::min<uint32_t>(r.UBits(2), 2));
            if (join == 2) a.miterLimit = r.Fixed8();
            double bw = b.width;
            b = a;
            b.width = bw;
            if (a.hasFill) {
                ReadMorphFill(r, version, a.fill, b.fill);
                if (a.fill.kind == FillKind::Solid) {
                    a.color = a.fill.color;
                    b.color = b.fill.color;
                    a.hasFill = b.hasFill = false;
                }
            } else {
                a.color = r.ReadRgba();
                b.color = r.ReadRgba();
            }
        } else {
            a.color = r.ReadRgba();
            b.color = r.ReadRgba();
        }
        m.start.lines.push_back(std::move(a));
        m.end.lines.push_back(std::move(b));
    }
    ReadRecords(r, 3, m.start, false);
    r.Seek(endPos);
    Shape end;
    ReadRecords(r, 3, end, false);
    m.end.edges = std::move(end.edges);
    return true;
}

Shape MorphAt(const MorphShape& m, double t) {
    t = std::clamp(t, 0.0, 1.0);
    Shape s;
    s.bounds = m.start.bounds;
    for (size_t i = 0; i < m.start.fills.size(); ++i) s.fills.push_back(LerpFill(m.start.fills[i], m.end.fills[i], t));
    for (size_t i = 0; i < m.start.lines.size(); ++i) {
        LineStyle l = m.start.lines[i];
        const LineStyle& b = m.end.lines[i];
        l.width = Lerp(l.width, b.width, t);
        l.color = LerpColor(l.color, b.color, t);
        if (l.hasFill) l.fill = LerpFill(l.fill, b.fill, t);
        s.lines.push_back(std::move(l));
    }
    s.edges = m.start.edges;
    // Edges are paired in order; an end shape with other edges leaves the start shape as it is.
    if (m.end.edges.size() == s.edges.size()) {
        for (size_t i = 0; i < s.edges.size(); ++i) {
            Edge& e = s.edges[i];
            const Edge& b = m.end.edges[i];
            e.p0 = LerpPoint(e.p0, b.p0, t);
            e.p1 = LerpPoint(e.p1, b.p1, t);
            e.ctrl = LerpPoint(e.ctrl, b.ctrl, t);
            e.curve = e.curve || b.curve;
        }
    }
    return s;
}

}  // namespace vd::swf
