// Builds small SWF files for the reference player's tests: header, stage, rate, frame count,
// and the tags the player reads (background, labels, getURL actions, frames).
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
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
