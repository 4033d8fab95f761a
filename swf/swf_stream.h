// Reading SWF's byte and bit fields. Reads past the end give zeros and set a flag instead of
// failing: a damaged tag yields a damaged (but bounded) record, never a fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "swf_types.h"

namespace vd::swf {

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t Pos() const { return pos_; }
    size_t Size() const { return size_; }
    size_t Left() const { return pos_ < size_ ? size_ - pos_ : 0; }
    bool Overrun() const { return overrun_; }
    const uint8_t* Data() const { return data_; }
    const uint8_t* Here() const { return data_ + (pos_ < size_ ? pos_ : size_); }
    void Seek(size_t pos) {
        Align();
        pos_ = pos <= size_ ? pos : size_;
    }
    void Skip(size_t n) { Seek(n <= Left() ? pos_ + n : size_); }

    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    int16_t S16() { return static_cast<int16_t>(U16()); }
    double Fixed8();       // 8.8
    double Fixed16();      // 16.16
    std::string String();  // zero-terminated

    void Align() { bitCount_ = 0; }
    uint32_t UBits(int n);
    int32_t SBits(int n);
    double FBits(int n) { return SBits(n) / 65536.0; }

    Rect ReadRect();
    Matrix ReadMatrix();  // translation in twips
    ColorTransform ReadCxform(bool withAlpha);
    Rgba ReadRgb();
    Rgba ReadRgba();

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    uint32_t bits_ = 0;
    int bitCount_ = 0;
    bool overrun_ = false;
};

// A tag's header and body.
struct Tag {
    int code = 0;
    const uint8_t* body = nullptr;
    size_t size = 0;
};

// Splits a tag stream into tags; stops at End or at the first tag whose length passes the data.
std::vector<Tag> SplitTags(const uint8_t* data, size_t size);

// zlib inflate of a whole buffer, at most maxOut bytes. Returns false when nothing decodes;
// a truncated stream gives what was decoded before the damage.
bool Inflate(const uint8_t* data, size_t size, size_t maxOut, std::vector<uint8_t>& out);

}  // namespace vd::swf
