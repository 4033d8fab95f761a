// Round trips of vd::Utf8ToWide / vd::WideToUtf8 (framework/vd_system.h):
//  - the input as UTF-8: if it is valid UTF-8, WideToUtf8(Utf8ToWide(x)) == x; whatever it is,
//    the result of decoding holds no lone surrogate and survives a second round trip unchanged;
//  - the input as UTF-16 code units: Utf8ToWide(WideToUtf8(w)) == w with every lone surrogate
//    replaced by U+FFFD (so == w exactly when w has none).
#include "vd_system.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "utf_fuzz: %s\n", what);
    std::abort();
}

// Independent validator (Unicode 15, table 3-7 "well-formed UTF-8 byte sequences").
bool IsValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
        const unsigned char c = b(0);
        if (c < 0x80) {
            i += 1;
            continue;
        }
        size_t n;
        unsigned char lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            n = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 3;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (i + n > s.size()) return false;
        if (b(1) < lo || b(1) > hi) return false;
        for (size_t k = 2; k < n; ++k)
            if (b(k) < 0x80 || b(k) > 0xBF) return false;
        i += n;
    }
    return true;
}

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// w with each lone surrogate replaced by U+FFFD.
std::u16string WithoutLoneSurrogates(std::u16string_view w) {
    std::u16string out(w);
    for (size_t i = 0; i < out.size(); ++i) {
        if (IsHigh(out[i]) && i + 1 < out.size() && IsLow(out[i + 1])) {
            ++i;
        } else if (IsHigh(out[i]) || IsLow(out[i])) {
            out[i] = 0xFFFD;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // Bytes as UTF-8.
    const std::u16string wide = vd::Utf8ToWide(bytes);
    if (WithoutLoneSurrogates(wide) != wide) Fail("Utf8ToWide produced a lone surrogate");
    const std::string back = vd::WideToUtf8(wide);
    if (!IsValidUtf8(back)) Fail("WideToUtf8 produced invalid UTF-8");
    if (IsValidUtf8(bytes) && back != bytes) Fail("valid UTF-8 did not round-trip");
    if (vd::Utf8ToWide(back) != wide) Fail("decoded text did not round-trip");

    // Bytes as UTF-16 code units (little-endian pairs).
    std::u16string units(size / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    const std::string utf8 = vd::WideToUtf8(units);
    if (!IsValidUtf8(utf8)) Fail("WideToUtf8 produced invalid UTF-8 from UTF-16");
    if (vd::Utf8ToWide(utf8) != WithoutLoneSurrogates(units)) Fail("UTF-16 did not round-trip");
    return 0;
}
