#include "swf_reader.h"

#include <zlib.h>

namespace swftest {

namespace {

class Bits {
public:
    Bits(const std::string& s, size_t pos) : s_(s), pos_(pos) {}
    uint32_t UB(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            if (pos_ >= s_.size()) throw BadMovie("bit field runs past the end");
            v = (v << 1) | ((static_cast<uint8_t>(s_[pos_]) >> (7 - bit_)) & 1u);
            if (++bit_ == 8) {
                bit_ = 0;
                ++pos_;
            }
        }
        return v;
    }
    int32_t SB(int n) {
        if (n == 0) return 0;
        const uint32_t v = UB(n);
        return (v & (1u << (n - 1))) ? static_cast<int32_t>(v | ~((1u << n) - 1)) : static_cast<int32_t>(v);
    }
    size_t Aligned() { return bit_ ? pos_ + 1 : pos_; }

private:
    const std::string& s_;
    size_t pos_;
    int bit_ = 0;
};

uint16_t U16(const std::string& s, size_t at) {
    if (at + 2 > s.size()) throw BadMovie("16-bit field runs past the end");
    return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8);
}
uint32_t U32(const std::string& s, size_t at) { return U16(s, at) | static_cast<uint32_t>(U16(s, at + 2)) << 16; }

// Walks tags from `at` to `end`; returns when End is read.
void WalkTags(const std::string& s, size_t at, size_t end, int sprite, std::vector<Tag>& out) {
    while (true) {
        if (at + 2 > end) throw BadMovie("timeline ends without an End tag");
        const uint16_t head = U16(s, at);
        at += 2;
        size_t length = head & 0x3F;
        if (length == 0x3F) {
            if (at + 4 > end) throw BadMovie("long tag header runs past the end");
            length = U32(s, at);
            at += 4;
        }
        if (length > end - at) throw BadMovie("tag " + std::to_string(head >> 6) + " runs past its container");
        Tag tag{static_cast<uint16_t>(head >> 6), s.substr(at, length), sprite};
        out.push_back(tag);
        if (tag.Code == 39) {  // DefineSprite: id, frame count, then its own tags
            if (length < 4) throw BadMovie("short DefineSprite");
            WalkTags(s, at + 4, at + length, U16(s, at), out);
        }
        at += length;
        if (tag.Code == 0) {
            if (sprite == 0 && at != end) throw BadMovie("data after the End tag");
            return;
        }
    }
}

}  // namespace

Movie ReadMovie(const std::string& bytes) {
    if (bytes.size() < 8) throw BadMovie("shorter than a header");
    Movie m;
    m.Signature = bytes.substr(0, 3);
    m.Version = static_cast<uint8_t>(bytes[3]);
    m.DeclaredLength = U32(bytes, 4);
    std::string body;
    if (m.Signature == "CWS") {
        if (m.DeclaredLength < 8 || m.DeclaredLength > (64u << 20)) throw BadMovie("implausible file length");
        body.resize(m.DeclaredLength - 8 + 1);  // one spare byte shows an overlong stream
        uLongf size = static_cast<uLongf>(body.size());
        const int rc =
            uncompress(reinterpret_cast<Bytef*>(body.data()), &size, reinterpret_cast<const Bytef*>(bytes.data() + 8),
                       static_cast<uLong>(bytes.size() - 8));
        if (rc != Z_OK && rc != Z_BUF_ERROR) throw BadMovie("zlib data is damaged");
        if (rc == Z_BUF_ERROR && size == body.size()) throw BadMovie("inflates beyond the declared length");
        if (rc != Z_OK) throw BadMovie("zlib data is cut short");
        if (size != m.DeclaredLength - 8) throw BadMovie("inflates to less than the declared length");
        body.resize(size);
    } else if (m.Signature == "FWS") {
        body = bytes.substr(8);
    } else {
        throw BadMovie("unknown signature");
    }
    m.InflatedLength = 8 + body.size();
    Bits bits(body, 0);
    const int n = static_cast<int>(bits.UB(5));
    m.XMin = bits.SB(n);
    m.XMax = bits.SB(n);
    m.YMin = bits.SB(n);
    m.YMax = bits.SB(n);
    size_t at = bits.Aligned();
    m.FrameRate = U16(body, at) / 256.0;
    m.FrameCount = U16(body, at + 2);
    WalkTags(body, at + 4, body.size(), 0, m.Tags);
    return m;
}

Placement ReadPlaceObject2(const std::string& body) {
    if (body.size() < 3) throw BadMovie("short PlaceObject2");
    const uint8_t flags = static_cast<uint8_t>(body[0]);
    Placement p;
    p.Depth = U16(body, 1);
    size_t at = 3;
    if (flags & 0x02) {
        p.Character = U16(body, at);
        at += 2;
    }
    if (flags & 0x04) {  // matrix
        Bits b(body, at);
        if (b.UB(1)) b.UB(2 * static_cast<int>(b.UB(5)));
        if (b.UB(1)) b.UB(2 * static_cast<int>(b.UB(5)));
        b.UB(2 * static_cast<int>(b.UB(5)));
        at = b.Aligned();
    }
    if (flags & 0x08) {  // colour transform with alpha
        Bits b(body, at);
        const bool add = b.UB(1), mult = b.UB(1);
        const int nb = static_cast<int>(b.UB(4));
        b.UB(nb * 4 * ((add ? 1 : 0) + (mult ? 1 : 0)));
        at = b.Aligned();
    }
    if (flags & 0x10) at += 2;  // ratio
    if (flags & 0x20) {
        const size_t end = body.find('\0', at);
        if (end == std::string::npos) throw BadMovie("unterminated instance name");
        p.Name = body.substr(at, end - at);
    }
    return p;
}

std::vector<Action> ReadActions(const std::string& body, size_t offset) {
    std::vector<Action> actions;
    size_t at = offset;
    while (true) {
        if (at >= body.size()) throw BadMovie("actions end without the end flag");
        const uint8_t code = static_cast<uint8_t>(body[at++]);
        if (code == 0) return actions;
        std::string payload;
        if (code >= 0x80) {
            const uint16_t length = U16(body, at);
            at += 2;
            if (length > body.size() - at) throw BadMovie("action record runs past the end");
            payload = body.substr(at, length);
            at += length;
        }
        actions.push_back({code, payload});
    }
}

}  // namespace swftest
