// Reads an X window dump (the file `xwd` writes): true-colour Z-pixmaps of 24 or 32 bits a
// pixel, in either byte order, into 0xRRGGBB values. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vdplay {

struct TXwdImage {
    int Width = 0;
    int Height = 0;
    std::vector<uint32_t> Pixels;  // 0xRRGGBB, rows top-down
    uint32_t At(int x, int y) const { return Pixels[static_cast<size_t>(y) * static_cast<size_t>(Width) + x]; }
};

namespace detail {
inline uint32_t Be32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
inline int Shift(uint32_t mask) {
    int s = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++s;
    }
    return s;
}
}  // namespace detail

// False with `error` set for anything but a well-formed true-colour dump of 24 or 32 bits a
// pixel (the header's fields are big-endian; the pixels follow the header's byte order).
inline bool ReadXwd(const std::vector<uint8_t>& data, TXwdImage& image, std::string& error) {
    constexpr size_t kHeader = 100;  // 25 32-bit fields
    if (data.size() < kHeader) return error = "shorter than an xwd header", false;
    uint32_t f[25];
    for (int i = 0; i < 25; ++i) f[i] = detail::Be32(&data[static_cast<size_t>(i) * 4]);
    const uint32_t headerSize = f[0], version = f[1], format = f[2], width = f[4], height = f[5];
    const uint32_t byteOrder = f[7], bitsPerPixel = f[11], bytesPerLine = f[12], visualClass = f[13];
    const uint32_t red = f[14], green = f[15], blue = f[16], colours = f[19];
    if (version != 7) return error = "not an xwd file of version 7", false;
    if (format != 2) return error = "not a Z-pixmap dump", false;
    if (visualClass != 4 && visualClass != 5) return error = "not a true-colour dump", false;
    if (bitsPerPixel != 24 && bitsPerPixel != 32)
        return error = "pixels of " + std::to_string(bitsPerPixel) + " bits", false;
    if (width == 0 || height == 0 || width > 16384 || height > 16384) return error = "bad size", false;
    const size_t bytes = bitsPerPixel / 8;
    if (bytesPerLine < width * bytes) return error = "rows shorter than their pixels", false;
    const size_t start = static_cast<size_t>(headerSize) + static_cast<size_t>(colours) * 12;
    if (headerSize < kHeader || start > data.size() || (data.size() - start) / bytesPerLine < height)
        return error = "pixel data cut short", false;
    image.Width = static_cast<int>(width);
    image.Height = static_cast<int>(height);
    image.Pixels.resize(static_cast<size_t>(width) * height);
    const int rs = detail::Shift(red), gs = detail::Shift(green), bs = detail::Shift(blue);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = &data[start + static_cast<size_t>(y) * bytesPerLine];
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* p = row + x * bytes;
            uint32_t v = 0;
            for (size_t i = 0; i < bytes; ++i)
                v |= uint32_t{p[byteOrder == 0 ? i : bytes - 1 - i]} << (8 * i);  // 0: least significant first
            const uint32_t r = (v & red) >> rs, g = (v & green) >> gs, b = (v & blue) >> bs;
            image.Pixels[static_cast<size_t>(y) * width + x] = ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
        }
    }
    return true;
}

}  // namespace vdplay
