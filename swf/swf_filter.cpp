// Filters: drop shadow, glow, bevel, their gradient forms and blur as box blurs of the object's
// picture (its alpha for all but the blur), and the colour matrix. Convolution is read so that
// the list stays in step, and passed over.
#include "swf_filter.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "swf_paint.h"
#include "vd_swf.h"

namespace vd::swf {
namespace {

// The widest box the format allows, and its most passes.
constexpr double kMaxBlur = 255;
constexpr int kMaxPasses = 15;

void ReadBlurs(Reader& r, Filter& f) {
    f.blurX = std::clamp(r.Fixed16(), 0.0, kMaxBlur);
    f.blurY = std::clamp(r.Fixed16(), 0.0, kMaxBlur);
}

// Box widths at `scale`, within the format's limit.
double Scaled(double blur, double scale) { return std::clamp(blur * scale, 0.0, kMaxBlur); }

// Pixels one pass of a box of width w reaches on each side: the centre tap, then whole taps,
// the last one partly covered.
int Reach(double w) { return w <= 1 ? 0 : static_cast<int>(std::ceil(w / 2 - 0.5)); }

// One box pass over a line of n values (outside it: zero). The box, w pixels wide, is centred
// on each pixel: the taps it covers fully weigh 1 / w, the two it covers partly their share.
void BoxLine(float* line, int n, double w, std::vector<double>& prefix, std::vector<float>& tmp) {
    int k = Reach(w);
    if (k == 0) return;
    double part = w / 2 - (k - 0.5);
    prefix.resize(static_cast<size_t>(n) + 1);
    tmp.resize(static_cast<size_t>(n));
    prefix[0] = 0;
    for (int i = 0; i < n; ++i) prefix[i + 1] = prefix[i] + line[i];
    auto sum = [&](int i) { return prefix[std::clamp(i, 0, n)]; };
    auto at = [&](int i) { return i >= 0 && i < n ? static_cast<double>(line[i]) : 0.0; };
    for (int x = 0; x < n; ++x)
        tmp[x] = static_cast<float>((sum(x + k) - sum(x - k + 1) + part * (at(x - k) + at(x + k))) / w);
    std::copy(tmp.begin(), tmp.end(), line);
}

// `passes` box blurs of a plane; returns the pixel passes spent.
int64_t BlurPlane(std::vector<float>& plane, int width, int height, double bx, double by, int passes) {
    std::vector<double> prefix;
    std::vector<float> tmp, column(static_cast<size_t>(height));
    int64_t work = 0;
    for (int p = 0; p < passes; ++p) {
        if (Reach(bx) > 0) {
            for (int y = 0; y < height; ++y)
                BoxLine(plane.data() + static_cast<size_t>(y) * width, width, bx, prefix, tmp);
            work += int64_t{width} * height;
        }
        if (Reach(by) > 0) {
            for (int x = 0; x < width; ++x) {
                for (int y = 0; y < height; ++y) column[y] = plane[static_cast<size_t>(y) * width + x];
                BoxLine(column.data(), height, by, prefix, tmp);
                for (int y = 0; y < height; ++y) plane[static_cast<size_t>(y) * width + x] = column[y];
            }
            work += int64_t{width} * height;
        }
    }
    return work;
}

uint32_t Channel(uint32_t px, int shift) { return (px >> shift) & 255; }

uint32_t Clamp8(double v) { return v <= 0 ? 0 : v >= 255 ? 255 : static_cast<uint32_t>(v + 0.5); }

// p scaled by k (0..1).
uint32_t ScalePx(uint32_t p, double k) {
    uint32_t out = 0;
    for (int s = 0; s < 32; s += 8) out |= Clamp8(Channel(p, s) * k) << s;
    return out;
}

// The object's alpha (0..255) blurred as the filter asks; returns the pixel passes spent.
int64_t BlurredAlpha(const Filter& f, double scale, const std::vector<uint32_t>& px, int width, int height,
                     std::vector<float>& alpha) {
    alpha.resize(px.size());
    for (size_t i = 0; i < px.size(); ++i) alpha[i] = static_cast<float>(Channel(px[i], 24));
    return BlurPlane(alpha, width, height, Scaled(f.blurX, scale), Scaled(f.blurY, scale), f.passes);
}

// The filter's offset in layer pixels: its distance along its angle.
void Offset(const Filter& f, double scale, int& dx, int& dy) {
    double dist = f.distance * scale;
    double limit = static_cast<double>(kMaxFilterSpread);
    dx = static_cast<int>(std::lround(std::clamp(std::cos(f.angle) * dist, -limit, limit)));
    dy = static_cast<int>(std::lround(std::clamp(std::sin(f.angle) * dist, -limit, limit)));
}

// A blurred alpha plane's value (0..1) at a layer pixel; outside the layer: none.
double AlphaAt(const std::vector<float>& alpha, int width, int height, int x, int y) {
    return x >= 0 && x < width && y >= 0 && y < height ? alpha[static_cast<size_t>(y) * width + x] / 255.0 : 0.0;
}

using Ramp = std::array<uint32_t, 256>;

// The object's pixel p with a filter's effect (its shadow, glow or bevel; an inner one already
// kept to the object): over the object when inner or on top, else under it, or in place of it.
uint32_t Compose(const Filter& f, uint32_t effect, uint32_t p) {
    if (f.inner || f.onTop) return f.knockout || !f.compositeSource ? effect : Over(p, effect);
    if (f.knockout) return ScaleColor(effect, 255 - Channel(p, 24));
    return f.compositeSource ? Over(effect, p) : effect;
}

// Drop shadow, glow (a shadow at no distance) and gradient glow: the blurred alpha, moved, in
// the filter's colour (a gradient glow: its gradient's colour at that alpha), outside the object
// (or inside it, for an inner one; both, on top), under or over the object.
int64_t Shadow(const Filter& f, const Ramp* ramp, double scale, std::vector<uint32_t>& px, int width, int height) {
    std::vector<float> alpha;
    int64_t work = BlurredAlpha(f, scale, px, width, height, alpha);
    int dx = 0, dy = 0;
    Offset(f, scale, dx, dy);
    const double colorA = f.color.a / 255.0;
    const bool inner = f.inner && !f.onTop;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double a = AlphaAt(alpha, width, height, x - dx, y - dy);
            uint32_t& p = px[static_cast<size_t>(y) * width + x];
            double srcA = Channel(p, 24) / 255.0;
            double g = std::clamp((inner ? 1 - a : a) * f.strength, 0.0, 1.0);
            uint32_t shadow;
            if (ramp) {
                shadow = (*ramp)[Clamp8(g * 255)];
                if (inner) shadow = ScaleColor(shadow, Channel(p, 24));
            } else {
                double k = g * colorA * (inner ? srcA : 1);
                shadow = Premultiply(Rgba{f.color.r, f.color.g, f.color.b, static_cast<uint8_t>(Clamp8(k * 255))});
            }
            p = Compose(f, shadow, p);
        }
    }
    return work + static_cast<int64_t>(px.size());
}

// Bevel and gradient bevel: the blurred alpha moved toward the light (the highlight) and away
// from it (the shadow); where one outweighs the other it shows, in its colour (a gradient bevel:
// its gradient, from the highlight's end through the middle to the shadow's), inside the
// object, outside it, or both (on top).
int64_t Bevel(const Filter& f, const Ramp* ramp, double scale, std::vector<uint32_t>& px, int width, int height) {
    std::vector<float> alpha;
    int64_t work = BlurredAlpha(f, scale, px, width, height, alpha);
    int dx = 0, dy = 0;
    Offset(f, scale, dx, dy);
    const uint32_t highlight = Premultiply(f.highlight), shadow = Premultiply(f.color);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double lit = AlphaAt(alpha, width, height, x + dx, y + dy);
            double shaded = AlphaAt(alpha, width, height, x - dx, y - dy);
            double v = std::clamp((lit - shaded) * f.strength, -1.0, 1.0);
            uint32_t bevel = ramp ? (*ramp)[std::clamp(static_cast<int>(std::lround(128 - 128 * v)), 0, 255)]
                                  : ScalePx(v >= 0 ? highlight : shadow, std::fabs(v));
            uint32_t& p = px[static_cast<size_t>(y) * width + x];
            if (f.inner && !f.onTop) bevel = ScaleColor(bevel, Channel(p, 24));
            p = Compose(f, bevel, p);
        }
    }
    return work + static_cast<int64_t>(px.size());
}

int64_t Blur(const Filter& f, double scale, std::vector<uint32_t>& px, int width, int height) {
    int64_t work = 0;
    std::vector<float> plane(px.size());
    double bx = Scaled(f.blurX, scale), by = Scaled(f.blurY, scale);
    std::vector<uint32_t> out(px.size(), 0);
    for (int s = 0; s < 32; s += 8) {
        for (size_t i = 0; i < px.size(); ++i) plane[i] = static_cast<float>(Channel(px[i], s));
        work += BlurPlane(plane, width, height, bx, by, f.passes);
        for (size_t i = 0; i < px.size(); ++i) out[i] |= Clamp8(plane[i]) << s;
    }
    // Rounding must not leave a colour above its alpha (premultiplied).
    for (uint32_t& p : out) {
        uint32_t a = p >> 24, r = std::min(Channel(p, 16), a), g = std::min(Channel(p, 8), a), b = std::min(p & 255, a);
        p = (a << 24) | (r << 16) | (g << 8) | b;
    }
    px.swap(out);
    return work;
}

int64_t ColorMatrix(const Filter& f, std::vector<uint32_t>& px) {
    for (uint32_t& p : px) {
        double a = Channel(p, 24);
        double c[4] = {0, 0, 0, a};
        if (a > 0)
            for (int i = 0; i < 3; ++i) c[i] = Channel(p, 16 - 8 * i) * 255.0 / a;
        double o[4];
        for (int row = 0; row < 4; ++row) {
            const float* m = f.matrix + row * 5;
            o[row] = std::clamp(m[0] * c[0] + m[1] * c[1] + m[2] * c[2] + m[3] * c[3] + m[4], 0.0, 255.0);
        }
        p = Premultiply(Rgba{static_cast<uint8_t>(Clamp8(o[0])), static_cast<uint8_t>(Clamp8(o[1])),
                             static_cast<uint8_t>(Clamp8(o[2])), static_cast<uint8_t>(Clamp8(o[3]))});
    }
    return static_cast<int64_t>(px.size());
}

float ReadFloat(Reader& r) {
    uint32_t bits = r.U32();
    float v;
    static_assert(sizeof v == sizeof bits);
    __builtin_memcpy(&v, &bits, sizeof v);
    return std::isfinite(v) ? v : 0.0f;
}

}  // namespace

std::vector<Filter> ReadFilterList(Reader& r) {
    std::vector<Filter> out;
    int count = r.U8();
    for (int i = 0; i < count && !r.Overrun(); ++i) {
        Filter f;
        uint8_t id = r.U8();
        if (id > static_cast<uint8_t>(FilterKind::GradientBevel)) break;
        f.kind = static_cast<FilterKind>(id);
        switch (f.kind) {
            case FilterKind::DropShadow:
            case FilterKind::Glow:
            case FilterKind::Bevel:
            case FilterKind::GradientGlow:
            case FilterKind::GradientBevel: {
                const bool gradient = f.kind == FilterKind::GradientGlow || f.kind == FilterKind::GradientBevel;
                if (gradient) {
                    f.stops.resize(r.U8());
                    for (GradientStop& stop : f.stops) stop.color = r.ReadRgba();
                    for (GradientStop& stop : f.stops) stop.ratio = r.U8();
                } else {
                    // A bevel's record holds its highlight colour first, then its shadow's (the
                    // colours players draw on the light side and away from it).
                    if (f.kind == FilterKind::Bevel) f.highlight = r.ReadRgba();
                    f.color = r.ReadRgba();
                }
                ReadBlurs(r, f);
                if (f.kind != FilterKind::Glow) {
                    f.angle = r.Fixed16();
                    f.distance = r.Fixed16();
                }
                f.strength = r.Fixed8();
                uint8_t flags = r.U8();
                f.inner = flags & 0x80;
                f.knockout = flags & 0x40;
                f.compositeSource = flags & 0x20;
                // Bevels and gradient filters give one bit of the passes to the on-top flag.
                const bool wide = f.kind == FilterKind::DropShadow || f.kind == FilterKind::Glow;
                f.onTop = !wide && (flags & 0x10);
                f.passes = wide ? flags & 0x1f : flags & 0x0f;
                break;
            }
            case FilterKind::Blur:
                ReadBlurs(r, f);
                f.passes = r.U8() >> 3;
                break;
            case FilterKind::Convolution: {
                int cols = r.U8(), rows = r.U8();
                r.Skip(8 + static_cast<size_t>(cols) * rows * 4 + 4 + 1);  // divisor, bias, matrix, colour, flags
                break;
            }
            case FilterKind::ColorMatrix:
                for (float& m : f.matrix) m = ReadFloat(r);
                break;
        }
        if (r.Overrun()) break;
        f.passes = std::clamp(f.passes, 0, kMaxPasses);
        if (!std::isfinite(f.angle)) f.angle = 0;
        f.distance =
            std::clamp(f.distance, -static_cast<double>(kMaxFilterSpread), static_cast<double>(kMaxFilterSpread));
        out.push_back(f);
    }
    return out;
}

bool Draws(const Filter& f) { return f.kind != FilterKind::Convolution; }

int FilterSpread(const std::vector<Filter>& filters, double scale) {
    double spread = 0;
    for (const Filter& f : filters) {
        if (!Draws(f) || f.kind == FilterKind::ColorMatrix) continue;
        int reach = std::max(Reach(Scaled(f.blurX, scale)), Reach(Scaled(f.blurY, scale)));
        spread += static_cast<double>(reach) * f.passes;
        spread += std::ceil(std::fabs(f.distance * scale));  // read for shadows, bevels and gradient glows
    }
    return static_cast<int>(std::min(spread, static_cast<double>(kMaxFilterSpread)));
}

void LayOver(const uint32_t* src, uint32_t* dst, const uint8_t* clip, int n) {
    for (int i = 0; i < n; ++i) {
        if (!src[i] || (clip && !clip[i])) continue;
        dst[i] = Over(dst[i], src[i], clip ? clip[i] : 255);
    }
}

int64_t ApplyFilters(const std::vector<Filter>& filters, double scale, std::vector<uint32_t>& px, int width, int height,
                     int64_t budget) {
    int64_t work = 0;
    const auto pixels = static_cast<int64_t>(px.size());
    Ramp gradient{};
    for (const Filter& f : filters) {
        // What the filter will cost: its box passes over each plane it blurs, one pass to
        // combine, and its planes, fresh memory like a layer's; a filter that does not fit in
        // what is left of the budget is passed over.
        int axes = (Reach(Scaled(f.blurX, scale)) > 0) + (Reach(Scaled(f.blurY, scale)) > 0);
        int64_t cost = pixels * (1 + int64_t{axes} * f.passes * (f.kind == FilterKind::Blur ? 4 : 1));
        if (cost + pixels * kLayerPixelWork > budget - work) continue;
        work += pixels * kLayerPixelWork;
        // The gradient forms of glow and bevel colour by their ramp, the others by their colours.
        const Ramp* ramp = nullptr;
        if (f.kind == FilterKind::GradientGlow || f.kind == FilterKind::GradientBevel) {
            GradientRamp(f.stops, false, gradient);
            ramp = &gradient;
        }
        switch (f.kind) {
            case FilterKind::DropShadow:
            case FilterKind::Glow:
            case FilterKind::GradientGlow:
                work += Shadow(f, ramp, scale, px, width, height);
                break;
            case FilterKind::Bevel:
            case FilterKind::GradientBevel:
                work += Bevel(f, ramp, scale, px, width, height);
                break;
            case FilterKind::Blur:
                work += Blur(f, scale, px, width, height);
                break;
            case FilterKind::ColorMatrix:
                work += ColorMatrix(f, px);
                break;
            default:
                break;
        }
    }
    return work;
}

}  // namespace vd::swf
