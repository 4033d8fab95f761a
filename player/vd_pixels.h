// The 32-bit pixel format of the player buffers and the helpers that work on it.
//
// A pixel is stored as blue, green, red, alpha; read as a little-endian 32-bit value it is
// 0xAARRGGBB. Rows run top-down with no gap between them.
//
// Platform-free.
#pragma once

#include <cstdint>

namespace vd {

// A colour already resolved to a COLORREF (0x00BBGGRR) as the opaque pixel 0xFFRRGGBB.
uint32_t ColorToPixel(uint32_t colorRef);

// Copies Count 32-bit values; the ranges may overlap. Count <= 0 copies nothing.
void MoveLongword(const void* source, void* dest, int count);
// Stores Value into Count consecutive 32-bit cells. Count <= 0 stores nothing.
void FillLongword(void* p, int count, uint32_t value);
// Fills the cells [X1, X2) x [Y1, Y2) of a W x H top-down buffer. Right and bottom are cut to
// the buffer; a negative left or top is cut to 0 as well, so no call writes outside it.
void FillLongwordRect(void* p, int w, int h, int x1, int y1, int x2, int y2, uint32_t value);

// Per-pixel alpha from two renders of the same content, one over opaque black (`black`, the
// primary buffer, rewritten in place) and one over opaque white (`white`), for the cells
// [X1, X2) x [Y1, Y2) of W x H buffers (clipped to them).
//
// A render over black is already premultiplied: a pixel of colour C and coverage a comes out
// as C*a. So the coverage is 255 minus how much brighter the white render is (red channel),
// the colours stay as the black render has them, and each is kept <= alpha so the result is a
// valid premultiplied pixel. A white render darker than the black one is rounding noise and
// counts as opaque. Fully transparent pixels become 0.
void RecoverAlpha(uint32_t* black, const uint32_t* white, int w, int h, int x1, int y1, int x2, int y2);

// One pixel of RecoverAlpha: the premultiplied result from the render over black and over white.
uint32_t RecoverAlphaPixel(uint32_t overBlack, uint32_t overWhite);

}  // namespace vd
