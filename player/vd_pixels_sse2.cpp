// RecoverAlpha four cells at a time with SSE2 (part of every x86-64 processor).
//
// Per cell, in bytes: d = white - black with saturation (only the red byte counts), alpha =
// 255 - d, broadcast to all four bytes; the result is min(black with its alpha byte set to
// 255, alpha) bytewise: the alpha byte becomes alpha, each colour byte min(colour, alpha), and
// alpha 0 gives the all-zero cell, exactly as RecoverAlphaPixel.
#include "vd_pixels_simd.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace vd::pixels_detail {

#if defined(__SSE2__) || defined(_M_X64)

void RecoverAlphaSse2(uint32_t* black, const uint32_t* white, size_t count) {
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i ones = _mm_set1_epi32(-1);
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(black + i));
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(white + i));
        const __m128i alpha = _mm_xor_si128(_mm_subs_epu8(w, b), ones);
        __m128i a = _mm_srli_epi32(_mm_slli_epi32(alpha, 8), 24);  // the red byte's alpha, low byte
        a = _mm_or_si128(a, _mm_slli_epi32(a, 8));
        a = _mm_or_si128(a, _mm_slli_epi32(a, 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(black + i), _mm_min_epu8(_mm_or_si128(b, opaque), a));
    }
    RecoverAlphaScalar(black + i, white + i, count - i);
}

#else

void RecoverAlphaSse2(uint32_t* black, const uint32_t* white, size_t count) { RecoverAlphaScalar(black, white, count); }

#endif

}  // namespace vd::pixels_detail
