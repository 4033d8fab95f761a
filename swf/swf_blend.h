// Blend modes of a placed object (PlaceObject3): how the object's own picture, drawn alone into
// a layer of premultiplied pixels, joins what lies beneath it.
#pragma once

#include <cstdint>
#include <vector>

#include "swf_types.h"

namespace vd::swf {

// In the order of the format's numbers, from 1 (0 and every number it does not know: normal).
enum class BlendMode : uint8_t {
    Normal,
    Layer,  // its children are put together apart first, then laid over as one picture
    Multiply,
    Screen,
    Lighten,
    Darken,
    Difference,
    Add,
    Subtract,
    Invert,
    Alpha,  // what lies beneath keeps as much of itself as the object's alpha
    Erase,  // what lies beneath loses as much of itself as the object's alpha
    Overlay,
    Hardlight
};

// The mode a PlaceObject3 blend mode byte names.
BlendMode BlendModeOf(uint8_t value);

// One premultiplied 0xAARRGGBB pixel of an object's layer (src) blended onto one beneath (dst).
uint32_t BlendPixel(BlendMode mode, uint32_t src, uint32_t dst);

// n pixels of a layer blended onto the target's, the result weighed against what stood there by
// the clip coverage (0..255; null: none). A clear pixel of the layer leaves the target as it is,
// whatever the mode.
void BlendRow(BlendMode mode, const uint32_t* src, uint32_t* dst, const uint8_t* clip, int n);

// A colour transform applied to a layer of premultiplied pixels as a whole.
void TransformPixels(std::vector<uint32_t>& pixels, const ColorTransform& cx);

}  // namespace vd::swf
