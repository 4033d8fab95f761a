#include "rp_movie.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace vd::rp {

namespace {

// Largest movie body we inflate; a header claiming more is treated as corrupt.
constexpr size_t kMaxMovieBytes = 64u * 1024 * 1024;

constexpr char kFSCommandPrefix[] = "FSCommand:";
constexpr char kCallbackPrefix[] = "ExternalInterface:";

class BitReader {
public:
    BitReader(const uint8_t* d, size_t n) : data_(d), size_(n) {}
    bool Bits(int count, uint32_t& out) {
        out = 0;
        for (int i = 0; i < count; ++i) {
            if (pos_ >= size_) return false;
            const int bit = (data_[pos_] >> (7 - bit_)) & 1;
            out = (out << 1) | static_cast<uint32_t>(bit);
            if (++bit_ == 8) {
                bit_ = 0;
                ++pos_;
            }
        }
        return true;
    }
    bool SignedBits(int count, int32_t& out) {
        uint32_t u;
        if (!Bits(count, u)) return false;
        if (count > 0 && count < 32 && (u & (1u << (count - 1)))) u |= ~0u << count;
        out = static_cast<int32_t>(u);
        return true;
    }
    size_t ByteEnd() const { return pos_ + (bit_ ? 1 : 0); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    int bit_ = 0;
};

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// A zero-terminated string inside [p, end); false when it runs off the end.
bool CString(const uint8_t*& p, const uint8_t* end, std::string& out) {
    const uint8_t* z = std::find(p, end, uint8_t{0});
    if (z == end) return false;
    out.assign(reinterpret_cast<const char*>(p), static_cast<size_t>(z - p));
    p = z + 1;
    return true;
}

void ReadActions(const uint8_t* p, const uint8_t* end, int frame, MovieInfo& m) {
    while (p < end) {
        const uint8_t code = *p++;
        if (code == 0) return;
        if (code < 0x80) continue;
        if (end - p < 2) return;
        const uint16_t len = U16(p);
        p += 2;
        if (static_cast<size_t>(end - p) < len) return;
        if (code == 0x83) {  // getURL: URL, target
            const uint8_t* q = p;
            std::string url, target;
            if (CString(q, p + len, url) && CString(q, p + len, target)) {
                if (url.rfind(kFSCommandPrefix, 0) == 0) {
                    m.fsCommands.push_back({frame, url.substr(sizeof kFSCommandPrefix - 1), target});
                } else if (url.rfind(kCallbackPrefix, 0) == 0) {
                    m.callbacks.push_back(url.substr(sizeof kCallbackPrefix - 1));
                }
            }
        }
        p += len;
    }
}

void ReadSwfBody(const uint8_t* body, size_t size, MovieInfo& m) {
    BitReader bits(body, size);
    uint32_t nbits;
    int32_t xmin, xmax, ymin, ymax;
    if (!bits.Bits(5, nbits) || !bits.SignedBits(static_cast<int>(nbits), xmin) ||
        !bits.SignedBits(static_cast<int>(nbits), xmax) || !bits.SignedBits(static_cast<int>(nbits), ymin) ||
        !bits.SignedBits(static_cast<int>(nbits), ymax)) {
        m.error = "truncated stage rectangle";
        return;
    }
    size_t pos = bits.ByteEnd();
    if (size - pos < 4) {
        m.error = "truncated header";
        return;
    }
    m.width = static_cast<int>((static_cast<int64_t>(xmax) - xmin) / 20);
    m.height = static_cast<int>((static_cast<int64_t>(ymax) - ymin) / 20);
    m.frameRate = U16(body + pos) / 256.0;
    m.frameCount = U16(body + pos + 2);
    pos += 4;
    m.kind = MediaKind::Swf;

    int frame = 0;
    while (size - pos >= 2) {
        const uint16_t head = U16(body + pos);
        pos += 2;
        const int code = head >> 6;
        size_t len = head & 0x3f;
        if (len == 0x3f) {
            if (size - pos < 4) break;
            len = U32(body + pos);
            pos += 4;
        }
        if (len > size - pos) break;  // a tag running off the end ends the reading
        const uint8_t* t = body + pos;
        const uint8_t* tend = t + len;
        switch (code) {
            case 0:
                pos = size;
                continue;
            case 1:
                ++frame;
                break;
            case 9:
                if (len >= 3) {
                    m.hasBackground = true;
                    m.background = (uint32_t{t[0]} << 16) | (uint32_t{t[1]} << 8) | t[2];
                }
                break;
            case 43: {
                std::string label;
                if (CString(t, tend, label)) m.labels.emplace_back(frame, label);
                break;
            }
            case 12:
                ReadActions(t, tend, frame, m);
                break;
            default:
                break;
        }
        pos += len;
    }
    // A movie that declares no frames still shows one.
    if (m.frameCount <= 0) m.frameCount = std::max(frame, 1);
}

}  // namespace

int MovieInfo::FrameOfLabel(std::string_view label) const {
    for (const auto& [frame, name] : labels)
        if (name == label) return frame;
    return -1;
}

bool Inflate(const uint8_t* data, size_t size, size_t expected, size_t limit, std::vector<uint8_t>& out) {
    if (expected > limit) return false;
    out.assign(expected, 0);
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) return false;
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = static_cast<uInt>(std::min<size_t>(size, 0xFFFFFFFFu));
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&zs, Z_FINISH);
    const size_t produced = out.size() - zs.avail_out;
    inflateEnd(&zs);
    // A stream shorter than its header claims still gives what it holds.
    if (rc != Z_STREAM_END && rc != Z_BUF_ERROR && rc != Z_OK) return false;
    out.resize(produced);
    return produced > 0;
}

MovieInfo ReadMovie(const uint8_t* data, size_t size) {
    MovieInfo m;
    if (size >= 3 && data[0] == 'F' && data[1] == 'L' && data[2] == 'V') {
        m.kind = MediaKind::Flv;
        m.version = size > 3 ? data[3] : 0;
        m.frameCount = 1;
        return m;
    }
    if (size < 8 || !((data[0] == 'F' || data[0] == 'C') && data[1] == 'W' && data[2] == 'S')) {
        m.error = "not a SWF or FLV file";
        return m;
    }
    m.version = data[3];
    const uint32_t total = U32(data + 4);
    if (total < 8 || total > kMaxMovieBytes) {
        m.error = "bad file length";
        return m;
    }
    if (data[0] == 'C') {
        m.compressed = true;
        std::vector<uint8_t> body;
        if (!Inflate(data + 8, size - 8, total - 8, kMaxMovieBytes, body)) {
            m.error = "corrupt compressed body";
            return m;
        }
        ReadSwfBody(body.data(), body.size(), m);
    } else {
        ReadSwfBody(data + 8, std::min<size_t>(size, total) - 8, m);
    }
    return m;
}

}  // namespace vd::rp
