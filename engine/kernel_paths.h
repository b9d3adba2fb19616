// The seam between RenderRegion's dispatcher (kernel.cpp) and the vector
// kernels, each in a translation unit compiled for its own instruction set.
// Called on the strip renderer's worker threads, one job per call.
#pragma once

#include <cstdint>

// One block of the picture, with the per-call values already read and the
// plane steps already computed, so that the vector units need no inline code
// shared with the rest of the program.
struct RegionJob {
    double Xmin;
    double Ymax;
    double dx;
    double dy;
    double bound;
    int32_t colors;
    int32_t width;  // at least 1
    int32_t rows;   // at least 1
    uint32_t* pixels;
};

uint64_t RenderRegionAvx2(const RegionJob& job);
uint64_t RenderRegionSse2(const RegionJob& job);
