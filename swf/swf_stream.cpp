#include "swf_stream.h"

#include <zlib.h>

#include <algorithm>

namespace vd::swf {

uint8_t Reader::U8() {
    Align();
    if (pos_ >= size_) {
        overrun_ = true;
        return 0;
    }
    return data_[pos_++];
}

uint16_t Reader::U16() {
    uint16_t lo = U8();
    return static_cast<uint16_t>(lo | (U8() << 8));
}

uint32_t Reader::U32() {
    uint32_t lo = U16();
    return lo | (static_cast<uint32_t>(U16()) << 16);
}

double Reader::Fixed8() {
    int16_t v = S16();
    return v / 256.0;
}

double Reader::Fixed16() { return static_cast<int32_t>(U32()) / 65536.0; }

std::string Reader::String() {
    Align();
    std::string s;
    while (pos_ < size_ && data_[pos_] != 0) s.push_back(static_cast<char>(data_[pos_++]));
    if (pos_ < size_) ++pos_;
    else overrun_ = true;
    return s;
}

uint32_t Reader::UBits(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        if (bitCount_ == 0) {
            if (pos_ >= size_) {
                overrun_ = true;
                bits_ = 0;
            } else {
                bits_ = data_[pos_++];
            }
            bitCount_ = 8;
        }
        --bitCount_;
        v = (v << 1) | ((bits_ >> bitCount_) & 1);
    }
    return v;
}

int32_t Reader::SBits(int n) {
    if (n <= 0) return 0;
    uint32_t v = UBits(n);
    if (n < 32 && (v & (1u << (n - 1)))) v |= ~0u << n;
    return static_cast<int32_t>(v);
}

Rect Reader::ReadRect() {
    Align();
    int n = static_cast<int>(UBits(5));
    Rect r;
    r.xmin = SBits(n);
    r.xmax = SBits(n);
    r.ymin = SBits(n);
    r.ymax = SBits(n);
    Align();
    return r;
}

Matrix Reader::ReadMatrix() {
    Align();
    Matrix m;
    if (UBits(1)) {
        int n = static_cast<int>(UBits(5));
        m.a = FBits(n);
        m.d = FBits(n);
    }
    if (UBits(1)) {
        int n = static_cast<int>(UBits(5));
        m.b = FBits(n);
        m.c = FBits(n);
    }
    int n = static_cast<int>(UBits(5));
    m.tx = SBits(n);
    m.ty = SBits(n);
    Align();
    return m;
}

ColorTransform Reader::ReadCxform(bool withAlpha) {
    Align();
    ColorTransform cx;
    bool hasAdd = UBits(1), hasMul = UBits(1);
    int n = static_cast<int>(UBits(4));
    int channels = withAlpha ? 4 : 3;
    if (hasMul)
        for (int i = 0; i < channels; ++i) cx.mul[i] = SBits(n) / 256.0;
    if (hasAdd)
        for (int i = 0; i < channels; ++i) cx.add[i] = SBits(n);
    Align();
    return cx;
}

Rgba Reader::ReadRgb() {
    Rgba c;
    c.r = U8();
    c.g = U8();
    c.b = U8();
    return c;
}

Rgba Reader::ReadRgba() {
    Rgba c = ReadRgb();
    c.a = U8();
    return c;
}

std::vector<Tag> SplitTags(const uint8_t* data, size_t size) {
    std::vector<Tag> tags;
    size_t pos = 0;
    while (pos + 2 <= size) {
        uint16_t head = static_cast<uint16_t>(data[pos] | (data[pos + 1] << 8));
        pos += 2;
        Tag t;
        t.code = head >> 6;
        size_t len = head & 0x3f;
        if (len == 0x3f) {
            if (pos + 4 > size) break;
            len = static_cast<size_t>(data[pos]) | (static_cast<size_t>(data[pos + 1]) << 8) |
                  (static_cast<size_t>(data[pos + 2]) << 16) | (static_cast<size_t>(data[pos + 3]) << 24);
            pos += 4;
        }
        // A tag longer than what is left is cut to the data rather than dropped: movies written
        // with a wrong last length still show what they hold.
        len = std::min(len, size - pos);
        t.body = data + pos;
        t.size = len;
        pos += len;
        if (t.code == 0) break;
        tags.push_back(t);
    }
    return tags;
}

bool Inflate(const uint8_t* data, size_t size, size_t maxOut, std::vector<uint8_t>& out) {
    out.clear();
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    const size_t chunk = 1 << 16;
    z.next_in = const_cast<Bytef*>(data);
    size_t inLeft = size;
    int rc = Z_OK;
    while (rc == Z_OK && out.size() < maxOut) {
        uInt inNow = static_cast<uInt>(std::min<size_t>(inLeft, 1u << 30));
        z.avail_in = inNow;
        size_t before = out.size();
        size_t grow = std::min(chunk, maxOut - before);
        out.resize(before + grow);
        z.next_out = out.data() + before;
        z.avail_out = static_cast<uInt>(grow);
        rc = inflate(&z, Z_NO_FLUSH);
        inLeft -= inNow - z.avail_in;
        out.resize(before + grow - z.avail_out);
        if (rc == Z_BUF_ERROR && z.avail_in == 0) break;  // input ended early
        if (rc == Z_OK && z.avail_out != 0 && inLeft == 0 && z.avail_in == 0) break;
    }
    inflateEnd(&z);
    return !out.empty() || rc == Z_STREAM_END;
}

}  // namespace vd::swf
