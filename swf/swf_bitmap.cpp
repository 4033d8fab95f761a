// Bitmap characters: lossless (zlib) bitmaps and JPEG (with tables, PNG/GIF bodies and alpha
// planes), decoded by zlib and stb_image.
#include <algorithm>
#include <cstring>

#include "swf_movie.h"
#include "vd_swf.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_GIF
#define STBI_MAX_DIMENSIONS 8192
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace vd::swf {
namespace {

bool SizeAllowed(int w, int h) {
    return w > 0 && h > 0 && w <= kMaxBitmapSide && h <= kMaxBitmapSide &&
           static_cast<int64_t>(w) * h <= kMaxBitmapPixels;
}

uint32_t Pm(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    return Premultiply(
        Rgba{static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b), static_cast<uint8_t>(a)});
}

// JPEG data as SWF writers leave it: an extra EOI+SOI pair in front, tables and image joined
// with an EOI/SOI between them. Keeps one SOI, every segment, and the scan to the end.
std::vector<uint8_t> CleanJpeg(const uint8_t* p, size_t n) {
    std::vector<uint8_t> out{0xff, 0xd8};
    size_t i = 0;
    while (i + 1 < n) {
        if (p[i] != 0xff) {
            ++i;
            continue;
        }
        uint8_t m = p[i + 1];
        if (m == 0xff) {
            ++i;
            continue;
        }
        if (m == 0xd8 || m == 0xd9 || m == 0x01 || (m >= 0xd0 && m <= 0xd7)) {
            i += 2;
            continue;
        }
        if (i + 4 > n) break;
        size_t len = (static_cast<size_t>(p[i + 2]) << 8) | p[i + 3];
        if (m == 0xda) {  // start of scan: the rest is entropy-coded data
            out.insert(out.end(), p + i, p + n);
            // Drop a trailing EOI+SOI pair's leftovers: stb stops at the first EOI anyway.
            return out;
        }
        size_t end = std::min(n, i + 2 + len);
        out.insert(out.end(), p + i, p + end);
        i = end;
    }
    out.push_back(0xff);
    out.push_back(0xd9);
    return out;
}

std::shared_ptr<Bitmap> Decode(const uint8_t* p, size_t n) {
    if (n == 0 || n > (1u << 30)) return nullptr;
    int w = 0, h = 0, comp = 0;
    std::vector<uint8_t> cleaned;
    bool jpeg = n >= 2 && ((p[0] == 0xff && p[1] == 0xd8) || (p[0] == 0xff && p[1] == 0xd9));
    if (jpeg) {
        cleaned = CleanJpeg(p, n);
        p = cleaned.data();
        n = cleaned.size();
    }
    if (!stbi_info_from_memory(p, static_cast<int>(n), &w, &h, &comp) || !SizeAllowed(w, h)) return nullptr;
    unsigned char* px = stbi_load_from_memory(p, static_cast<int>(n), &w, &h, &comp, 4);
    if (!px) return nullptr;
    auto bm = std::make_shared<Bitmap>();
    bm->width = w;
    bm->height = h;
    bm->pixels.resize(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < bm->pixels.size(); ++i)
        bm->pixels[i] = Pm(px[i * 4], px[i * 4 + 1], px[i * 4 + 2], px[i * 4 + 3]);
    stbi_image_free(px);
    return bm;
}

}  // namespace

std::shared_ptr<Bitmap> ReadBitsLossless(const uint8_t* body, size_t size, bool withAlpha) {
    if (size < 7) return nullptr;
    int format = body[2];
    int w = body[3] | (body[4] << 8), h = body[5] | (body[6] << 8);
    if (!SizeAllowed(w, h)) return nullptr;
    size_t pos = 7;
    int colors = 0;
    if (format == 3) {
        if (size < 8) return nullptr;
        colors = body[7] + 1;
        pos = 8;
    }
    size_t entry = withAlpha ? 4 : 3;
    size_t rowBytes = format == 3 ? (w + 3u) & ~3u : format == 4 ? (w * 2u + 3u) & ~3u : w * 4u;
    size_t need = colors * entry + rowBytes * h;
    std::vector<uint8_t> data;
    if (!Inflate(body + pos, size - pos, need, data)) return nullptr;
    data.resize(need, 0);  // a short stream leaves the rest transparent black
    auto bm = std::make_shared<Bitmap>();
    bm->width = w;
    bm->height = h;
    bm->pixels.assign(static_cast<size_t>(w) * h, 0);
    const uint8_t* d = data.data();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint32_t& out = bm->pixels[static_cast<size_t>(y) * w + x];
            if (format == 3) {
                int idx = d[colors * entry + y * rowBytes + x];
                if (idx >= colors) continue;
                const uint8_t* c = d + idx * entry;
                // Lossless2 colour tables hold premultiplied RGBA.
                out = withAlpha ? (uint32_t{c[3]} << 24) | (uint32_t{std::min(c[0], c[3])} << 16) |
                                      (uint32_t{std::min(c[1], c[3])} << 8) | std::min(c[2], c[3])
                                : Pm(c[0], c[1], c[2], 255);
            } else if (format == 4) {
                const uint8_t* c = d + y * rowBytes + x * 2;
                uint32_t v = (uint32_t{c[0]} << 8) | c[1];
                uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
                out = Pm(r * 255 / 31, g * 255 / 31, b * 255 / 31, 255);
            } else if (format == 5) {
                const uint8_t* c = d + y * rowBytes + x * 4;
                if (withAlpha) {
                    uint8_t a = c[0];
                    out = (uint32_t{a} << 24) | (uint32_t{std::min(c[1], a)} << 16) |
                          (uint32_t{std::min(c[2], a)} << 8) | std::min(c[3], a);
                } else {
                    out = Pm(c[1], c[2], c[3], 255);
                }
            } else {
                return nullptr;
            }
        }
    }
    return bm;
}

std::shared_ptr<Bitmap> ReadBitsJpeg(const uint8_t* body, size_t size, int version,
                                     const std::vector<uint8_t>& tables) {
    if (size < 2) return nullptr;
    const uint8_t* p = body + 2;
    size_t n = size - 2;
    if (version == 1) {
        std::vector<uint8_t> joined(tables);
        joined.insert(joined.end(), p, p + n);
        return Decode(joined.data(), joined.size());
    }
    if (version == 2) return Decode(p, n);
    if (n < 4) return nullptr;
    size_t alphaOffset = static_cast<size_t>(p[0]) | (static_cast<size_t>(p[1]) << 8) |
                         (static_cast<size_t>(p[2]) << 16) | (static_cast<size_t>(p[3]) << 24);
    size_t head = version == 4 ? 6 : 4;
    if (n < head) return nullptr;
    p += head;
    n -= head;
    alphaOffset = std::min(alphaOffset, n);
    auto bm = Decode(p, alphaOffset);
    if (!bm) return nullptr;
    bool isJpeg = alphaOffset >= 2 && p[0] == 0xff && (p[1] == 0xd8 || p[1] == 0xd9);
    if (!isJpeg || alphaOffset >= n) return bm;  // PNG/GIF carry their own alpha
    std::vector<uint8_t> alpha;
    size_t count = bm->pixels.size();
    if (!Inflate(p + alphaOffset, n - alphaOffset, count, alpha)) return bm;
    alpha.resize(count, 255);
    for (size_t i = 0; i < count; ++i) {
        uint32_t c = bm->pixels[i];
        bm->pixels[i] = Pm((c >> 16) & 255, (c >> 8) & 255, c & 255, alpha[i]);
    }
    return bm;
}

}  // namespace vd::swf
