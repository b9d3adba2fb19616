// The escape-time kernel: computes one rectangular block of the picture into
// 32-bit pixel words. No window headers; runs on the strip renderer's worker
// threads, several calls at once on disjoint blocks. Reads escapeBound and the
// current view's colorCount and iterLimit, which nobody writes during a render.
#pragma once

#include <cmath>
#include <cstdint>

// Pixel word for the remaining count k: byte 0 blue, byte 1 green, byte 2 red,
// byte 3 zero. With b bits a channel (colorCount = 2^(3b)) blue takes count
// bits 0..b-1, green b..2b-1, red 2b..3b-1; k = 0 is black.
uint32_t PackColor(int32_t k, int32_t colorCount);

// Fills width x rows words with the picture of the plane rectangle: the first
// row is sampled at y = Ymax, each following row dy lower; each row starts at
// x = Xmin. A block without rows or columns writes nothing. Returns the number
// of iterations the loop performs for the block (the pixel-iterations).
uint64_t RenderRegion(double Xmin, double Ymin, double Xmax, double Ymax,
                      int32_t width, int32_t rows, uint32_t* pixels);

// (hi - lo) / count rounded to a double. Finite bounds whose difference
// overflows a double (near +-1.7e308) still give the finite step that a wider
// exponent range gives: halving both bounds first is exact for normal numbers.
inline double PlaneStep(double lo, double hi, int32_t count)
{
    const double span = hi - lo;
    if (std::isinf(span) && std::isfinite(lo) && std::isfinite(hi))
        return (hi * 0.5 - lo * 0.5) / count * 2.0;
    return span / count;
}
