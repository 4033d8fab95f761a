// The vector forms of the pixel loops and the choice among them. Each form gives results
// bit-identical to the plain loop, which stays as the reference the others are tested against.
//
// Platform-free (x86 vector units where the compiler targets x86-64; plain loops elsewhere).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vd {

enum class TPixelPath { Scalar, Sse2, Avx2 };

// Every path this processor (and its operating system) can run, the plain one first.
bool PixelPathAvailable(TPixelPath path);
// The path RecoverAlpha uses: the widest available. ForcePixelPath overrides it (tests and
// benchmarks compare the paths); forcing one that is not available is ignored and returns false.
TPixelPath ActivePixelPath();
bool ForcePixelPath(TPixelPath path);
// Back to the widest available path.
void ResetPixelPath();
const char* PixelPathName(TPixelPath path);

// RecoverAlpha over one run of `count` cells by the given path (which must be available).
void RecoverAlphaRun(TPixelPath path, uint32_t* black, const uint32_t* white, size_t count);

namespace pixels_detail {
// One file each, compiled for its instruction set; `count` cells, any count, any alignment.
void RecoverAlphaSse2(uint32_t* black, const uint32_t* white, size_t count);
void RecoverAlphaAvx2(uint32_t* black, const uint32_t* white, size_t count);
void RecoverAlphaScalar(uint32_t* black, const uint32_t* white, size_t count);
}  // namespace pixels_detail

}  // namespace vd
