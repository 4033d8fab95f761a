#include "swf_paint.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "swf_movie.h"

namespace vd::swf {
namespace {

class SolidPaint final : public Paint {
public:
    explicit SolidPaint(uint32_t c) {
        solid = true;
        color = c;
    }
    void Row(int, int, int n, uint32_t* out) const override { std::fill(out, out + n, color); }
};

double SrgbToLinear(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double LinearToSrgb(double v) { return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1 / 2.4) - 0.055; }

}  // namespace

void GradientRamp(const std::vector<GradientStop>& stops, bool linearRgb, std::array<uint32_t, 256>& ramp) {
    const Rgba none{0, 0, 0, 0};
    for (int i = 0; i < 256; ++i) {
        Rgba c;
        // The first stop at or past this position closes the segment, in the order the
        // stops are written (ratios out of order make the same segments Flash shows).
        size_t k = 0;
        while (k < stops.size() && stops[k].ratio < i) ++k;
        if (stops.empty()) {
            c = none;
        } else if (k == 0) {
            c = stops.front().color;
        } else if (k == stops.size()) {
            c = stops.back().color;
        } else {
            const GradientStop& a = stops[k - 1];
            const GradientStop& b = stops[k];
            double t = b.ratio == a.ratio ? 1 : (i - a.ratio) / double(b.ratio - a.ratio);
            t = std::clamp(t, 0.0, 1.0);
            auto mix = [&](uint8_t p, uint8_t q) {
                if (!linearRgb) return static_cast<uint8_t>(std::lround(p + (q - p) * t));
                double lp = SrgbToLinear(p / 255.0), lq = SrgbToLinear(q / 255.0);
                return static_cast<uint8_t>(std::lround(LinearToSrgb(lp + (lq - lp) * t) * 255));
            };
            c = {mix(a.color.r, b.color.r), mix(a.color.g, b.color.g), mix(a.color.b, b.color.b),
                 static_cast<uint8_t>(std::lround(a.color.a + (b.color.a - a.color.a) * t))};
        }
        ramp[i] = Premultiply(c);
    }
}

namespace {

class GradientPaint final : public Paint {
public:
    GradientPaint(const FillStyle& f, const Matrix& toTarget, const ColorTransform& cx)
        : kind_(f.kind), spread_(f.spread), focal_(f.focal), inv_(toTarget.Inverse()) {
        std::vector<GradientStop> stops = f.stops;
        for (auto& s : stops) s.color = Transform(cx, s.color);
        GradientRamp(stops, f.linearRgb, ramp_);
    }

    void Row(int y, int x0, int n, uint32_t* out) const override {
        double py = y + 0.5;
        for (int i = 0; i < n; ++i) {
            double px = x0 + i + 0.5;
            double gx = inv_.a * px + inv_.c * py + inv_.tx, gy = inv_.b * px + inv_.d * py + inv_.ty;
            double t;
            if (kind_ == FillKind::Linear) {
                t = (gx + 16384) / 32768;
            } else if (kind_ == FillKind::Radial || focal_ == 0) {
                t = std::sqrt(gx * gx + gy * gy) / 16384;
            } else {
                // Focal: the point's distance from the focus over the focus-to-circle distance
                // along the same ray.
                double fx = focal_ * 16384, dx = gx - fx, dy = gy, len = std::sqrt(dx * dx + dy * dy);
                if (len == 0) {
                    t = 0;
                } else {
                    double ux = dx / len;
                    double bq = fx * ux, cq = fx * fx - 16384.0 * 16384.0;
                    double s = -bq + std::sqrt(std::max(0.0, bq * bq - cq));
                    t = s > 0 ? len / s : 1;
                }
            }
            out[i] = Lookup(t);
        }
    }

private:
    // The ramp read between its entries (entry i stands at (i + 0.5) / 256), as a filtered
    // 256-texel ramp gives it.
    uint32_t Lookup(double t) const {
        if (!std::isfinite(t)) t = 0;
        if (spread_ == 1) {  // reflect
            t = std::fmod(std::fabs(t), 2.0);
            if (t > 1) t = 2 - t;
        } else if (spread_ == 2) {  // repeat
            t -= std::floor(t);
        }
        double p = std::clamp(t * 256 - 0.5, 0.0, 255.0);
        int i0 = static_cast<int>(p);
        int i1 = std::min(i0 + 1, 255);
        double f = p - i0;
        if (f == 0) return ramp_[i0];
        uint32_t a = ramp_[i0], b = ramp_[i1], r = 0;
        for (int sh = 0; sh < 32; sh += 8) {
            double ca = (a >> sh) & 255, cb = (b >> sh) & 255;
            r |= static_cast<uint32_t>(ca + (cb - ca) * f) << sh;
        }
        return r;
    }

    FillKind kind_;
    uint8_t spread_;
    double focal_;
    Matrix inv_;
    std::array<uint32_t, 256> ramp_{};
};

class BitmapPaint final : public Paint {
public:
    BitmapPaint(const FillStyle& f, const Bitmap& bm, const Matrix& toTarget, const ColorTransform& cx)
        : bm_(bm), inv_(toTarget.Inverse()), repeat_(f.repeat), smooth_(f.smooth), cx_(cx), plainCx_(cx.IsIdentity()) {}

    void Row(int y, int x0, int n, uint32_t* out) const override {
        double py = y + 0.5;
        for (int i = 0; i < n; ++i) {
            double px = x0 + i + 0.5;
            double u = inv_.a * px + inv_.c * py + inv_.tx, v = inv_.b * px + inv_.d * py + inv_.ty;
            uint32_t c = smooth_ ? Bilinear(u - 0.5, v - 0.5) : Texel(Fl(u), Fl(v));
            out[i] = plainCx_ ? c : ApplyCx(c);
        }
    }

private:
    static int Fl(double v) { return static_cast<int>(std::floor(std::clamp(v, -1e9, 1e9))); }
    uint32_t Texel(int x, int y) const {
        int w = bm_.width, h = bm_.height;
        if (repeat_) {
            x %= w;
            y %= h;
            if (x < 0) x += w;
            if (y < 0) y += h;
        } else {
            x = std::clamp(x, 0, w - 1);
            y = std::clamp(y, 0, h - 1);
        }
        return bm_.pixels[static_cast<size_t>(y) * w + x];
    }
    uint32_t Bilinear(double u, double v) const {
        int x = Fl(u), y = Fl(v);
        double fx = u - std::floor(u), fy = v - std::floor(v);
        uint32_t p[4] = {Texel(x, y), Texel(x + 1, y), Texel(x, y + 1), Texel(x + 1, y + 1)};
        double w[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
        uint32_t r = 0;
        for (int sh = 0; sh < 32; sh += 8) {
            double acc = 0;
            for (int k = 0; k < 4; ++k) acc += ((p[k] >> sh) & 255) * w[k];
            r |= static_cast<uint32_t>(std::clamp(static_cast<int>(acc + 0.5), 0, 255)) << sh;
        }
        return r;
    }
    uint32_t ApplyCx(uint32_t c) const {
        uint32_t a = c >> 24;
        if (a == 0 && cx_.add[3] <= 0) return 0;
        Rgba s;
        auto un = [a](uint32_t v) { return static_cast<uint8_t>(a ? std::min(255u, (v * 255 + a / 2) / a) : 0); };
        s.r = un((c >> 16) & 255);
        s.g = un((c >> 8) & 255);
        s.b = un(c & 255);
        s.a = static_cast<uint8_t>(a);
        return Premultiply(Transform(cx_, s));
    }

    const Bitmap& bm_;
    Matrix inv_;
    bool repeat_, smooth_;
    ColorTransform cx_;
    bool plainCx_;
};

}  // namespace

uint32_t SolidColor(Rgba c, const ColorTransform& cx) { return Premultiply(Transform(cx, c)); }

std::unique_ptr<Paint> MakePaint(const FillStyle& f, const Matrix& toTarget, const ColorTransform& cx,
                                 const Bitmap* bitmap) {
    switch (f.kind) {
        case FillKind::Solid:
            return std::make_unique<SolidPaint>(SolidColor(f.color, cx));
        case FillKind::Linear:
        case FillKind::Radial:
        case FillKind::Focal:
            return std::make_unique<GradientPaint>(f, toTarget * f.matrix, cx);
        case FillKind::Bitmap:
            if (!bitmap || bitmap->width <= 0 || bitmap->height <= 0) return std::make_unique<SolidPaint>(0);
            // The fill's matrix maps bitmap pixels to twips.
            return std::make_unique<BitmapPaint>(f, *bitmap, toTarget * f.matrix, cx);
    }
    return std::make_unique<SolidPaint>(0);
}

void Compositor::Masked(int y, int x0, int x1, uint32_t color, uint32_t cov) {
    const SolidPaint p(color);
    Run(y, x0, x1, p, cov);
}

void Compositor::Shared(int y, int x0, int x1, const Share* shares, int count) {
    const int n = x1 - x0;
    const uint8_t* clip = t_.clip ? t_.clip + static_cast<size_t>(y) * t_.width + x0 : nullptr;
    if (t_.maskOut) {
        uint8_t* m = t_.maskOut + static_cast<size_t>(y) * t_.width + x0;
        for (int i = 0; i < n; ++i) {
            uint32_t c = 0;
            for (int k = 0; k < count; ++k) c += clip ? Mul8(shares[k].cov, clip[i]) : shares[k].cov;
            c = std::min(c, 255u);
            m[i] = static_cast<uint8_t>(c + Mul8(m[i], 255 - c));
        }
        return;
    }
    uint32_t* dst = t_.pixels + static_cast<size_t>(y) * t_.stride + x0;
    rows_.resize(static_cast<size_t>(n) * count);
    for (int k = 0; k < count; ++k)
        if (shares[k].paint) shares[k].paint->Row(y, x0, n, rows_.data() + static_cast<size_t>(k) * n);
    for (int i = 0; i < n; ++i) {
        uint32_t sum = 0;
        for (int k = 0; k < count; ++k) {
            const uint32_t c = shares[k].paint ? rows_[static_cast<size_t>(k) * n + i] : shares[k].color;
            sum = AddColors(sum, ScaleColor(c, clip ? Mul8(shares[k].cov, clip[i]) : shares[k].cov));
        }
        if (sum) dst[i] = Over(dst[i], sum, 255);
    }
}

void Compositor::Run(int y, int x0, int x1, const Paint& p, uint8_t cov) {
    const int n = x1 - x0;
    const uint8_t* clip = t_.clip ? t_.clip + static_cast<size_t>(y) * t_.width + x0 : nullptr;
    if (t_.maskOut) {
        uint8_t* m = t_.maskOut + static_cast<size_t>(y) * t_.width + x0;
        for (int i = 0; i < n; ++i) {
            uint32_t c = clip ? Mul8(cov, clip[i]) : cov;
            m[i] = static_cast<uint8_t>(c + Mul8(m[i], 255 - c));
        }
        return;
    }
    if (p.solid && !clip) {
        RunSolid(y, x0, x1, p.color, cov);
        return;
    }
    uint32_t* dst = t_.pixels + static_cast<size_t>(y) * t_.stride + x0;
    if (!p.solid) {
        row_.resize(n);
        p.Row(y, x0, n, row_.data());
    }
    for (int i = 0; i < n; ++i) {
        uint32_t k = clip ? Mul8(cov, clip[i]) : cov;
        if (k == 0) continue;
        dst[i] = Over(dst[i], p.solid ? p.color : row_[i], k);
    }
}

}  // namespace vd::swf
