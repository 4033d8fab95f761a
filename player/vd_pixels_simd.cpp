#include "vd_pixels_simd.h"

#include <atomic>

#include "vd_pixels.h"

#if defined(__x86_64__) || defined(_M_X64)
#define VD_PIXELS_X64 1
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

namespace vd {

namespace pixels_detail {

void RecoverAlphaScalar(uint32_t* black, const uint32_t* white, size_t count) {
    for (size_t i = 0; i < count; ++i) black[i] = RecoverAlphaPixel(black[i], white[i]);
}

}  // namespace pixels_detail

namespace {

#ifdef VD_PIXELS_X64

// AVX2 needs the instructions (CPUID leaf 7) and an operating system that saves the wide
// registers on a task switch (OSXSAVE, and XCR0 with the SSE and AVX state bits).
bool CpuRunsAvx2() {
#if defined(_MSC_VER) && !defined(__clang__)
    int r[4];
    __cpuid(r, 0);
    if (r[0] < 7) return false;
    __cpuid(r, 1);
    const unsigned ecx1 = static_cast<unsigned>(r[2]);
    if (!(ecx1 & (1u << 27)) || !(ecx1 & (1u << 28))) return false;
    if ((_xgetbv(0) & 6) != 6) return false;
    __cpuidex(r, 7, 0);
    return (static_cast<unsigned>(r[1]) & (1u << 5)) != 0;
#else
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid(1, a, b, c, d);
    if (!(c & (1u << 27)) || !(c & (1u << 28))) return false;
    unsigned lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    if ((lo & 6) != 6) return false;
    __cpuid_count(7, 0, a, b, c, d);
    return (b & (1u << 5)) != 0;
#endif
}

#endif

bool Available(TPixelPath path) {
    switch (path) {
        case TPixelPath::Scalar:
            return true;
#ifdef VD_PIXELS_X64
        case TPixelPath::Sse2:
            return true;
        case TPixelPath::Avx2: {
#ifdef VD_PIXELS_HAVE_AVX2  // vd_pixels_avx2.cpp was compiled for AVX2 (CMake)
            static const bool avx2 = CpuRunsAvx2();
            return avx2;
#else
            return false;
#endif
        }
#else
        default:
            return false;
#endif
    }
    return false;
}

TPixelPath Widest() {
    if (Available(TPixelPath::Avx2)) return TPixelPath::Avx2;
    if (Available(TPixelPath::Sse2)) return TPixelPath::Sse2;
    return TPixelPath::Scalar;
}

std::atomic<TPixelPath>& Active() {
    static std::atomic<TPixelPath> active{Widest()};
    return active;
}

}  // namespace

bool PixelPathAvailable(TPixelPath path) { return Available(path); }

TPixelPath ActivePixelPath() { return Active().load(std::memory_order_relaxed); }

bool ForcePixelPath(TPixelPath path) {
    if (!Available(path)) return false;
    Active().store(path, std::memory_order_relaxed);
    return true;
}

void ResetPixelPath() { Active().store(Widest(), std::memory_order_relaxed); }

const char* PixelPathName(TPixelPath path) {
    switch (path) {
        case TPixelPath::Scalar:
            return "scalar";
        case TPixelPath::Sse2:
            return "sse2";
        case TPixelPath::Avx2:
            return "avx2";
    }
    return "?";
}

void RecoverAlphaRun(TPixelPath path, uint32_t* black, const uint32_t* white, size_t count) {
    switch (path) {
        case TPixelPath::Avx2:
            pixels_detail::RecoverAlphaAvx2(black, white, count);
            return;
        case TPixelPath::Sse2:
            pixels_detail::RecoverAlphaSse2(black, white, count);
            return;
        case TPixelPath::Scalar:
            break;
    }
    pixels_detail::RecoverAlphaScalar(black, white, count);
}

}  // namespace vd
