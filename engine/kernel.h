// The escape-time kernel: computes one rectangular block of the picture into
// 32-bit pixel words. No window headers; runs on the worker threads of the
// strip and band renderers (strips.cpp, bands.cpp), several calls at once on
// disjoint blocks, and allocates nothing there. Reads escapeBound and the
// current view's colorCount and iterLimit, which nobody writes during a render;
// the vector kernels get them in their job and read no shared state.
// RenderRegion is the fast vector kernel; RenderRegionReference is the literal
// loop that defines the picture, kept as the oracle the fast one is tested
// against.
#pragma once

#include <cmath>
#include <cstdint>

// Pixel word for the remaining count k: byte 0 blue, byte 1 green, byte 2 red,
// byte 3 zero. With b bits a channel (colorCount = 2^(3b)) blue takes count
// bits 0..b-1, green b..2b-1, red 2b..3b-1; k = 0 is black.
inline uint32_t PackColor(int32_t k, int32_t colorCount)
{
    const uint32_t c = static_cast<uint32_t>(k);
    switch (colorCount) {
    case 32768:
        return (c & 31) << 3 | (c >> 5 & 31) << 11 | (c >> 10 & 31) << 18;
    case 4096:
        return (c & 15) << 4 | (c >> 4 & 15) << 12 | (c >> 8 & 15) << 16;
    case 512:
        return (c & 7) << 5 | (c >> 3 & 7) << 13 | (c >> 6 & 7) << 16;
    default:  // 64 colours: red's two bits at the top of its byte, like blue and green
        return (c & 3) << 6 | (c >> 2 & 3) << 14 | (c >> 4 & 3) << 22;
    }
}

// Fills width x rows words with the picture of the plane rectangle: the first
// row is sampled at y = Ymax, each following row dy lower; each row starts at
// x = Xmin. A block without rows or columns writes nothing. Returns the number
// of iterations the loop performs for the block (the pixel-iterations).
uint64_t RenderRegion(double Xmin, double Ymin, double Xmax, double Ymax,
                      int32_t width, int32_t rows, uint32_t* pixels);

// RenderRegion's rows with the row step given: the first row sampled at
// y = yTop, each following row dy lower, by the same running sum. RenderRegion
// is this with dy from its bounds; a renderer that computes a block's rows in
// pieces gives each piece the y where the block's sum reaches it, and the
// block's dy, and so gets the block's pixels.
uint64_t RenderRows(double Xmin, double Xmax, double yTop, double dy,
                    int32_t width, int32_t rows, uint32_t* pixels);

// The same pictures and counts from the literal one-pixel-at-a-time loop.
uint64_t RenderRegionReference(double Xmin, double Ymin, double Xmax, double Ymax,
                               int32_t width, int32_t rows, uint32_t* pixels);
uint64_t RenderRowsReference(double Xmin, double Xmax, double yTop, double dy,
                             int32_t width, int32_t rows, uint32_t* pixels);

// How RenderRegion computes: the literal loop, or vectors of the instruction
// set named (AVX-512 means its F and DQ parts). At start-up it takes the
// widest vectors the processor has and the system saves the registers of;
// tests and mandel-bench force each path in turn (the literal one to run the
// reference through the strip renderer). Change it only while no render runs.
enum class KernelPath { Reference, Sse2, Avx2, Avx512 };
bool IsKernelPathAvailable(KernelPath path);
// False, changing nothing, when the path is not available.
bool SelectKernelPath(KernelPath path);
KernelPath SelectedKernelPath();

// The ceiling of a vector path, for mandel-bench: `vectors` independent
// vectors (1 to MAX_CEILING_VECTORS) through `steps` of the fast kernel's
// step and nothing else, compiled for that path alone. The step doubles u on
// the multiplier in the vectors of CEILING_DOUBLINGS[doubling] (bit i for
// vector i) and on the adder in the others; the lane engine's tunings use each
// of these. Returns the pixel-iterations done; 0 for the literal loop, a path
// that is not available, or a count or doubling out of range.
constexpr int MAX_CEILING_VECTORS = 12;
constexpr unsigned CEILING_DOUBLINGS[] = {0xaaaaaaaau, 0u, 1u, 0xffffffffu};
constexpr const char* CEILING_DOUBLING_NAMES[] = {"odd", "none", "first", "all"};
uint64_t RunCeilingLoop(KernelPath path, int vectors, int doubling, int32_t steps);

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
