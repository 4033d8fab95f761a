// Filters of a placed object (PlaceObject3's filter list): read from the tag, and drawn on the
// object's own picture (a layer of premultiplied pixels) before it joins the stage.
#pragma once

#include <cstdint>
#include <vector>

#include "swf_stream.h"
#include "swf_types.h"

namespace vd::swf {

enum class FilterKind : uint8_t {
    DropShadow,
    Blur,
    Glow,
    Bevel,
    GradientGlow,
    Convolution,
    ColorMatrix,
    GradientBevel
};

struct Filter {
    FilterKind kind = FilterKind::Blur;
    Rgba color;                       // shadow or glow colour (a bevel's shadow)
    Rgba highlight;                   // a bevel's highlight
    std::vector<GradientStop> stops;  // gradient glow and bevel: their colours by ratio
    double blurX = 0, blurY = 0;      // box widths, stage pixels
    double angle = 0, distance = 0;   // shadow offset: radians, stage pixels
    double strength = 1;
    bool inner = false, knockout = false;
    bool onTop = false;           // bevels and gradient glows: both inside and outside the object
    bool compositeSource = true;  // the object itself is drawn over its shadow or glow
    int passes = 1;               // box blurs run one after the other
    float matrix[20] = {};        // colour matrix: rows r, g, b, a of (r, g, b, a, offset)
};

// Reads a filter list; a list that holds a filter of unknown kind or runs past the tag ends
// with the filters read before it.
std::vector<Filter> ReadFilterList(Reader& r);

// Whether the engine draws this filter (the others are read and passed over).
bool Draws(const Filter& f);

// Pixels the filters can spread an object's picture by on each side, at `scale` target pixels
// a stage pixel; at most kMaxFilterSpread.
int FilterSpread(const std::vector<Filter>& filters, double scale);

// Applies the filters in order to a layer of premultiplied 0xAARRGGBB pixels (width x height,
// rows packed), blur widths and distances multiplied by `scale`; a filter whose pixel passes
// would take the work past `budget` is passed over. Returns the pixel passes spent.
int64_t ApplyFilters(const std::vector<Filter>& filters, double scale, std::vector<uint32_t>& pixels, int width,
                     int height, int64_t budget);

// n premultiplied pixels of a layer over the target's, each scaled by its clip coverage
// (0..255; null: none).
void LayOver(const uint32_t* src, uint32_t* dst, const uint8_t* clip, int n);

}  // namespace vd::swf
