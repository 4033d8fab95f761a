// RecoverAlpha eight cells at a time with AVX2; the same byte arithmetic as the SSE2 form
// (vd_pixels_sse2.cpp). This file alone is compiled for AVX2; it runs only where the processor
// and the operating system support it (ActivePixelPath).
#include "vd_pixels_simd.h"

#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace vd::pixels_detail {

#if defined(__AVX2__)

void RecoverAlphaAvx2(uint32_t* black, const uint32_t* white, size_t count) {
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i ones = _mm256_set1_epi32(-1);
    // The red byte (byte 2 of each cell) copied to all four bytes of its cell.
    const __m256i spread = _mm256_setr_epi8(2, 2, 2, 2, 6, 6, 6, 6, 10, 10, 10, 10, 14, 14, 14, 14,  //
                                            2, 2, 2, 2, 6, 6, 6, 6, 10, 10, 10, 10, 14, 14, 14, 14);
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(black + i));
        const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(white + i));
        const __m256i alpha = _mm256_shuffle_epi8(_mm256_xor_si256(_mm256_subs_epu8(w, b), ones), spread);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(black + i), _mm256_min_epu8(_mm256_or_si256(b, opaque), alpha));
    }
    RecoverAlphaSse2(black + i, white + i, count - i);
}

#else

void RecoverAlphaAvx2(uint32_t* black, const uint32_t* white, size_t count) { RecoverAlphaSse2(black, white, count); }

#endif

}  // namespace vd::pixels_detail
