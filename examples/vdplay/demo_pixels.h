// The demo's pixel work: the two patterns it paints, the source-over blend it expects on the
// screen, the comparison with a tolerance, and PNG files of 0xRRGGBB pictures. Platform-free.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "stb_image_write.h"

namespace vdplay {

constexpr int kCell = 16;

// The desktop window behind the layered form: a blue and sand checkerboard.
inline uint32_t DesktopPattern(int x, int y) { return ((x / kCell + y / kCell) % 2) ? 0x466E96u : 0xECE2C6u; }
// The players' form: warm vertical stripes, so what shows through the windowless player is
// told apart from the desktop.
inline uint32_t FormPattern(int x, int /*y*/) { return ((x / 8) % 2) ? 0xC8503Cu : 0xF0D28Cu; }
// What the off-screen frames are composed over: a grey checkerboard.
inline uint32_t Checker(int x, int y) { return ((x / 8 + y / 8) % 2) ? 0x9A9A9Au : 0xE6E6E6u; }

inline int Channel(uint32_t v, int shift) { return static_cast<int>((v >> shift) & 0xFF); }

// A premultiplied 0xAARRGGBB pixel faded by `master` (0..255) over an opaque 0xRRGGBB one.
inline uint32_t Over(uint32_t premultiplied, int master, uint32_t behind) {
    const int a = Channel(premultiplied, 24) * master / 255;
    uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
        int v = Channel(premultiplied, shift) * master / 255 + Channel(behind, shift) * (255 - a) / 255;
        out |= static_cast<uint32_t>(v > 255 ? 255 : v) << shift;
    }
    return out;
}

// Each channel within `tolerance` of the expected one.
inline bool Near(uint32_t seen, uint32_t expected, int tolerance = 6) {
    for (int shift : {0, 8, 16})
        if (std::abs(Channel(seen, shift) - Channel(expected, shift)) > tolerance) return false;
    return true;
}

inline std::string Hex(uint32_t rgb) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%06X", static_cast<unsigned>(rgb & 0xFFFFFF));
    return buf;
}

// Writes a picture of 0xRRGGBB pixels, rows top-down.
inline bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& rgb) {
    std::vector<unsigned char> bytes(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size() && i * 3 + 2 < bytes.size(); ++i) {
        bytes[i * 3] = static_cast<unsigned char>(rgb[i] >> 16);
        bytes[i * 3 + 1] = static_cast<unsigned char>(rgb[i] >> 8);
        bytes[i * 3 + 2] = static_cast<unsigned char>(rgb[i]);
    }
    return stbi_write_png(path.c_str(), width, height, 3, bytes.data(), width * 3) != 0;
}

}  // namespace vdplay
