// Builds small SWF files for the reference player's tests: header, stage, rate, frame count,
// the tags the player reads (background, labels, getURL actions, frames) and rectangles of
// solid colour (DefineShape3) placed, moved and removed on the display list.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vdtest {

class SwfBuilder {
public:
    SwfBuilder(int widthPx, int heightPx, double fps, int frames)
        : w_(widthPx), h_(heightPx), fps_(fps), frames_(frames) {}

    SwfBuilder& Background(uint32_t rgb) {
        Tag(9, {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)});
        return *this;
    }
    SwfBuilder& Label(const std::string& name) {
        std::vector<uint8_t> b(name.begin(), name.end());
        b.push_back(0);
        Tag(43, b);
        return *this;
    }
    SwfBuilder& GetUrl(const std::string& url, const std::string& target) {
        std::vector<uint8_t> a;
        a.push_back(0x83);
        const size_t len = url.size() + target.size() + 2;
        a.push_back(uint8_t(len));
        a.push_back(uint8_t(len >> 8));
        a.insert(a.end(), url.begin(), url.end());
        a.push_back(0);
        a.insert(a.end(), target.begin(), target.end());
        a.push_back(0);
        a.push_back(0);  // end of actions
        Tag(12, a);
        return *this;
    }
    SwfBuilder& FSCommand(const std::string& cmd, const std::string& args) { return GetUrl("FSCommand:" + cmd, args); }
    SwfBuilder& Callback(const std::string& name) { return GetUrl("ExternalInterface:" + name, ""); }
    // A tag no reader knows, of `bytes` bytes: makes a movie as large as a test needs.
    SwfBuilder& Padding(size_t bytes) {
        Tag(1000, std::vector<uint8_t>(bytes, 0x5A));
        return *this;
    }
    SwfBuilder& ShowFrame() {
        Tag(1, {});
        return *this;
    }

    // A rectangle (stage pixels) filled with 0xAARRGGBB, as DefineShape3 character `id`.
    SwfBuilder& Rectangle(uint16_t id, int left, int top, int right, int bottom, uint32_t argb) {
        std::vector<uint8_t> s{uint8_t(id), uint8_t(id >> 8)};
        Bits r;
        r.Rect(left * 20, right * 20, top * 20, bottom * 20);
        r.Flush(s);
        s.insert(s.end(), {1, 0x00, uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb), uint8_t(argb >> 24)});
        s.push_back(0);  // no line styles
        Bits b;
        b.U(1, 4);     // fill index bits
        b.U(0, 4);     // line index bits
        b.U(0x05, 6);  // style change: fill style 1, move to
        const int mb = std::max(Bits::Signed(left * 20), Bits::Signed(top * 20));
        b.U(uint32_t(mb), 5);
        b.S(left * 20, mb);
        b.S(top * 20, mb);
        b.U(1, 1);
        const int w = (right - left) * 20, h = (bottom - top) * 20;
        for (auto [dx, dy] : {std::pair{w, 0}, {0, h}, {-w, 0}, {0, -h}}) {
            const int nb = std::max({Bits::Signed(dx), Bits::Signed(dy), 2});
            b.U(0x3, 2);  // straight edge
            b.U(uint32_t(nb - 2), 4);
            b.U(1, 1);  // both deltas
            b.S(dx, nb);
            b.S(dy, nb);
        }
        b.U(0, 6);  // end of shape
        b.Flush(s);
        Tag(32, s);
        return *this;
    }
    // PlaceObject2 of character `id` at `depth`, moved by (x, y) stage pixels; with replace, the
    // character takes the place of the one at that depth.
    SwfBuilder& Place(uint16_t depth, uint16_t id, int x = 0, int y = 0, bool replace = false) {
        std::vector<uint8_t> p{uint8_t(0x02 | 0x04 | (replace ? 0x01 : 0)), uint8_t(depth), uint8_t(depth >> 8),
                               uint8_t(id), uint8_t(id >> 8)};
        Matrix(p, x, y);
        Tag(26, p);
        return *this;
    }
    SwfBuilder& Move(uint16_t depth, int x, int y) {
        std::vector<uint8_t> p{uint8_t(0x01 | 0x04), uint8_t(depth), uint8_t(depth >> 8)};
        Matrix(p, x, y);
        Tag(26, p);
        return *this;
    }
    SwfBuilder& Remove(uint16_t depth) {
        Tag(28, {uint8_t(depth), uint8_t(depth >> 8)});
        return *this;
    }

    // The picture the reference player's tests look for, drawn by shapes frame after frame:
    // a panel inset by an eighth in the background colour at half alpha (or grey), an opaque
    // dark track across the middle and an orange fill over the first (frame + 1) / frames of
    // the track. What lies outside the panel is never drawn.
    // `each` adds what a frame carries besides (actions, labels) before its ShowFrame.
    SwfBuilder& ProgressFrames(uint32_t panelRgb = 0x808080,
                               const std::function<void(SwfBuilder&, int frame)>& each = {}) {
        const int half = std::max(1, h_ / 16);
        const int left = w_ / 4, right = w_ - w_ / 4, top = h_ / 2 - half, bottom = h_ / 2 + half;
        Rectangle(1, w_ / 8, h_ / 8, w_ - w_ / 8, h_ - h_ / 8, 0x80000000u | (panelRgb & 0xFFFFFF));
        Rectangle(2, left, top, right, bottom, kTrack);
        Place(1, 1).Place(2, 2);
        for (int f = 0; f < frames_; ++f) {
            const uint16_t id = uint16_t(10 + f);
            Rectangle(id, left, top, left + (right - left) * (f + 1) / frames_, bottom, kFill);
            Place(3, id, 0, 0, f > 0);
            if (each) each(*this, f);
            ShowFrame();
        }
        return *this;
    }
    static constexpr uint32_t kTrack = 0xFF202020, kFill = 0xFFF0A030;

    std::vector<uint8_t> Body() const {
        std::vector<uint8_t> body;
        // RECT with 16-bit fields: 5 + 4*16 = 69 bits -> 9 bytes.
        std::vector<bool> bits;
        auto put = [&](uint32_t v, int n) {
            for (int i = n - 1; i >= 0; --i) bits.push_back((v >> i) & 1);
        };
        put(16, 5);
        put(0, 16);
        put(uint32_t(w_ * 20) & 0xFFFF, 16);
        put(0, 16);
        put(uint32_t(h_ * 20) & 0xFFFF, 16);
        while (bits.size() % 8) bits.push_back(false);
        for (size_t i = 0; i < bits.size(); i += 8) {
            uint8_t b = 0;
            for (int k = 0; k < 8; ++k) b = uint8_t((b << 1) | bits[i + k]);
            body.push_back(b);
        }
        const uint16_t rate = uint16_t(fps_ * 256);
        body.push_back(uint8_t(rate));
        body.push_back(uint8_t(rate >> 8));
        body.push_back(uint8_t(frames_));
        body.push_back(uint8_t(frames_ >> 8));
        body.insert(body.end(), tags_.begin(), tags_.end());
        body.push_back(0);
        body.push_back(0);  // End tag
        return body;
    }

    std::vector<uint8_t> Fws() const {
        const auto body = Body();
        std::vector<uint8_t> f{'F', 'W', 'S', 8};
        Len(f, body.size() + 8);
        f.insert(f.end(), body.begin(), body.end());
        return f;
    }
    std::vector<uint8_t> Cws() const {
        const auto body = Body();
        uLongf n = compressBound(body.size());
        std::vector<uint8_t> z(n);
        compress(z.data(), &n, body.data(), body.size());
        z.resize(n);
        std::vector<uint8_t> f{'C', 'W', 'S', 8};
        Len(f, body.size() + 8);
        f.insert(f.end(), z.begin(), z.end());
        return f;
    }

private:
    // Bit fields, most significant bit first, as SWF packs them.
    struct Bits {
        std::vector<bool> bits;
        void U(uint32_t v, int n) {
            for (int i = n - 1; i >= 0; --i) bits.push_back((v >> i) & 1);
        }
        void S(int32_t v, int n) { U(uint32_t(v), n); }
        static int Signed(int32_t v) {
            uint32_t m = uint32_t(v < 0 ? ~v : v);
            int n = 1;
            for (; m; m >>= 1) ++n;
            return n;
        }
        void Rect(int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
            const int n = std::max({Signed(x0), Signed(x1), Signed(y0), Signed(y1)});
            U(uint32_t(n), 5);
            for (int32_t v : {x0, x1, y0, y1}) S(v, n);
        }
        void Flush(std::vector<uint8_t>& out) {
            while (bits.size() % 8) bits.push_back(false);
            for (size_t i = 0; i < bits.size(); i += 8) {
                uint8_t b = 0;
                for (int k = 0; k < 8; ++k) b = uint8_t((b << 1) | bits[i + k]);
                out.push_back(b);
            }
            bits.clear();
        }
    };
    static void Matrix(std::vector<uint8_t>& out, int x, int y) {
        Bits m;
        m.U(0, 2);  // no scale, no rotation
        const int n = std::max(Bits::Signed(x * 20), Bits::Signed(y * 20));
        m.U(uint32_t(n), 5);
        m.S(x * 20, n);
        m.S(y * 20, n);
        m.Flush(out);
    }
    static void Len(std::vector<uint8_t>& f, size_t n) {
        for (int i = 0; i < 4; ++i) f.push_back(uint8_t(n >> (8 * i)));
    }
    void Tag(int code, const std::vector<uint8_t>& data) {
        if (data.size() < 0x3f) {
            const uint16_t head = uint16_t((code << 6) | data.size());
            tags_.push_back(uint8_t(head));
            tags_.push_back(uint8_t(head >> 8));
        } else {
            const uint16_t head = uint16_t((code << 6) | 0x3f);
            tags_.push_back(uint8_t(head));
            tags_.push_back(uint8_t(head >> 8));
            Len(tags_, data.size());
        }
        tags_.insert(tags_.end(), data.begin(), data.end());
    }

    int w_, h_;
    double fps_;
    int frames_;
    std::vector<uint8_t> tags_;
};

inline std::vector<uint8_t> FlvBytes() { return {'F', 'L', 'V', 1, 5, 0, 0, 0, 9, 0, 0, 0, 0}; }

}  // namespace vdtest
