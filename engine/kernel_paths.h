// The seam between RenderRegion's dispatcher (kernel.cpp) and the vector
// kernels, each in a translation unit compiled for its own instruction set.
// Called on the worker threads of the strip and band renderers, one job per
// call.
#pragma once

#include <cstdint>

// One block of the picture, with the per-call values already read and the
// plane steps already computed, so that the vector units need no inline code
// shared with the rest of the program and read no shared state.
struct RegionJob {
    double Xmin;
    double Ymax;
    double dx;
    double dy;
    double bound;
    int32_t colors;
    int32_t iterLimit;
    int32_t width;  // at least 1
    int32_t rows;   // at least 1
    uint32_t* pixels;
};

// RenderRows's job (width and rows at least 1), from the arguments and the
// current settings; the tests' stand-in kernels take it too.
RegionJob MakeRegionJob(double Xmin, double Xmax, double yTop, double dy, int32_t width,
                        int32_t rows, uint32_t* pixels);

uint64_t RenderRegionAvx512(const RegionJob& job);
uint64_t RenderRegionAvx2(const RegionJob& job);
uint64_t RenderRegionSse2(const RegionJob& job);

// RunCeilingLoop on each path (see kernel.h).
uint64_t RunCeilingLoopAvx512(int vectors, int doubling, int32_t steps);
uint64_t RunCeilingLoopAvx2(int vectors, int doubling, int32_t steps);
uint64_t RunCeilingLoopSse2(int vectors, int doubling, int32_t steps);
