// Blend modes on premultiplied pixels.
//
// With s, d a channel of the layer's and the target's pixel and sa, da their alphas (all 0..1,
// colours premultiplied), the colour modes put the blend B of the plain colours where both are
// present and each side alone where only it is:
//     out = s (1 - da) + d (1 - sa) + sa da B(s / sa, d / da),     out alpha = sa + da - sa da,
// the last term worked without dividing:
//     multiply    s d                       screen    s da + d sa - s d
//     lighten     max(s da, d sa)           darken    min(s da, d sa)
//     difference  |s da - d sa|             subtract  max(0, d sa - s da)
//     hardlight   2 s d when 2 s <= sa, else sa da - 2 (sa - s)(da - d)
//     overlay     hardlight with the layer and the target swapped (the target decides).
// The others:
//     add     the sum of the premultiplied pixels, every channel at most one: a layer pixel
//             partly covered adds its share of colour;
//     invert  the target turned to its negative where the layer stands: d (1 - sa) + sa (da - d),
//             its alpha kept (the layer's colour does not count);
//     alpha   the target times the layer's alpha (every channel: the target gets transparent);
//     erase   the target times one minus the layer's alpha;
//     normal and layer: s + d (1 - sa).
#include "swf_blend.h"

#include <algorithm>
#include <cmath>

#include "swf_filter.h"

namespace vd::swf {
namespace {

double Unit(uint32_t px, int shift) { return ((px >> shift) & 255) / 255.0; }

uint32_t Byte(double v) { return v <= 0 ? 0 : v >= 1 ? 255 : static_cast<uint32_t>(v * 255 + 0.5); }

// The term sa da B of a colour mode, for one channel.
double Mixed(BlendMode mode, double s, double d, double sa, double da) {
    auto hard = [](double top, double topA, double under, double underA) {
        return 2 * top <= topA ? 2 * top * under : topA * underA - 2 * (topA - top) * (underA - under);
    };
    switch (mode) {
        case BlendMode::Multiply:
            return s * d;
        case BlendMode::Screen:
            return s * da + d * sa - s * d;
        case BlendMode::Lighten:
            return std::max(s * da, d * sa);
        case BlendMode::Darken:
            return std::min(s * da, d * sa);
        case BlendMode::Difference:
            return std::fabs(s * da - d * sa);
        case BlendMode::Subtract:
            return std::max(0.0, d * sa - s * da);
        case BlendMode::Hardlight:
            return hard(s, sa, d, da);
        case BlendMode::Overlay:
            return hard(d, da, s, sa);
        default:
            return s * da;  // normal: the layer covers
    }
}

}  // namespace

BlendMode BlendModeOf(uint8_t value) {
    // 0 and 1 are normal, 2 is layer: the format counts from one.
    const int last = static_cast<int>(BlendMode::Hardlight) + 1;
    return value >= 2 && value <= last ? static_cast<BlendMode>(value - 1) : BlendMode::Normal;
}

uint32_t BlendPixel(BlendMode mode, uint32_t src, uint32_t dst) {
    const double sa = Unit(src, 24), da = Unit(dst, 24);
    double out[4];  // b, g, r, a as in the pixel
    switch (mode) {
        case BlendMode::Alpha:
        case BlendMode::Erase: {
            const double k = mode == BlendMode::Alpha ? sa : 1 - sa;
            for (int i = 0; i < 4; ++i) out[i] = Unit(dst, 8 * i) * k;
            break;
        }
        case BlendMode::Add:
            for (int i = 0; i < 4; ++i) out[i] = std::min(1.0, Unit(src, 8 * i) + Unit(dst, 8 * i));
            break;
        case BlendMode::Invert:
            for (int i = 0; i < 3; ++i) {
                const double d = Unit(dst, 8 * i);
                out[i] = d * (1 - sa) + sa * (da - d);
            }
            out[3] = da;
            break;
        default:
            for (int i = 0; i < 3; ++i) {
                const double s = Unit(src, 8 * i), d = Unit(dst, 8 * i);
                out[i] = s * (1 - da) + d * (1 - sa) + Mixed(mode, s, d, sa, da);
            }
            out[3] = sa + da - sa * da;
            break;
    }
    const uint32_t a = Byte(out[3]);
    uint32_t px = a << 24;
    for (int i = 0; i < 3; ++i) px |= std::min(Byte(out[i]), a) << (8 * i);  // premultiplied: no colour above alpha
    return px;
}

void BlendRow(BlendMode mode, const uint32_t* src, uint32_t* dst, const uint8_t* clip, int n) {
    if (mode == BlendMode::Normal || mode == BlendMode::Layer) {
        LayOver(src, dst, clip, n);
        return;
    }
    for (int i = 0; i < n; ++i) {
        if (!src[i] || (clip && !clip[i])) continue;
        const uint32_t blended = BlendPixel(mode, src[i], dst[i]);
        if (!clip || clip[i] == 255) {
            dst[i] = blended;
            continue;
        }
        const double k = clip[i] / 255.0;
        uint32_t px = 0;
        for (int c = 0; c < 32; c += 8) px |= Byte(Unit(dst[i], c) + (Unit(blended, c) - Unit(dst[i], c)) * k) << c;
        dst[i] = px;
    }
}

void TransformPixels(std::vector<uint32_t>& pixels, const ColorTransform& cx) {
    if (cx.IsIdentity()) return;
    for (uint32_t& p : pixels) {
        const uint32_t a = p >> 24;
        Rgba c{0, 0, 0, static_cast<uint8_t>(a)};
        if (a > 0) {
            auto plain = [a](uint32_t v) { return static_cast<uint8_t>(std::min(255u, (v * 255 + a / 2) / a)); };
            c = {plain((p >> 16) & 255), plain((p >> 8) & 255), plain(p & 255), static_cast<uint8_t>(a)};
        }
        p = Premultiply(Transform(cx, c));
    }
}

}  // namespace vd::swf
