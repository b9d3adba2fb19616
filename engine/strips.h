// The parallel strip renderer: cuts the picture into threadCount horizontal
// strips and computes each on a worker thread of its own. Called on the
// window thread, which waits in RenderView until every strip is finished.
#pragma once

#include <cstdint>

#include "engine/threads.h"

constexpr int MAX_STRIPS = 8;

// What one worker computes: the first seven fields are RenderRegion's
// arguments in its parameter order.
struct StripJob {
    double Xmin;
    double Ymin;  // smaller-y edge of the strip's band
    double Xmax;
    double Ymax;  // larger-y edge; the strip's first row is sampled here
    int32_t width;
    int32_t rows;
    uint32_t* pixels;  // first pixel of the strip's first row
    int32_t index;
    uint64_t iterations;  // written by the worker before it signals
};

// Cuts the view into threadCount strips: strip 0 takes the first
// height / threadCount rows (at the Ymax side), each next strip's top edge is
// the one before less the same span, and the last strip takes what remains
// down to Ymin. Fills every job (iterations 0) and returns threadCount.
// Without pixels (the band renderer's layout) every job's pixels is null.
int32_t LayOutStrips(double Xmin, double Ymin, double Xmax, double Ymax, int32_t width,
                     int32_t height, uint32_t* pixels, StripJob jobs[MAX_STRIPS]);

// Computes width x height pixels of the view on the strips LayOutStrips
// gives, one worker each. Returns the pixel-iterations.
uint64_t RenderView(double Xmin, double Ymin, double Xmax, double Ymax,
                    int32_t width, int32_t height, uint32_t* pixels);

// Starts a worker that runs work(argument) and sets `done`, an unnamed
// auto-reset event made first, so that the worker finds it; false, with
// `done` null, when no event or thread could be made, and the caller computes
// the work itself. Shared with the band renderer.
bool StartWorker(LPTHREAD_START_ROUTINE work, void* argument, HANDLE& done);
