// The literal escape-time loop, z <- z^2 - c from z = 0, one pixel at a time.
// It defines the picture: the fast kernel must reproduce it bit for bit, and
// the tests and mandel-bench hold every fast path against it. Runs on the
// caller's thread (through RenderRegion when the reference path is chosen).
//
// The order of the steps is part of the picture: the bound test uses |z|^2 of
// the z from before the update of the same iteration, and the counter is
// decremented before the test. So a point with |c|^2 >= 4 gets the largest
// count, iterLimit - 2, and a point escaping at the last step is black like the
// set. A NaN |z|^2 compares as below the bound and runs the counter out.
#include "engine/kernel.h"

#include "view/view_state.h"

uint64_t RenderRegionReference(double Xmin, double Ymin, double Xmax, double Ymax,
                               int32_t width, int32_t rows, uint32_t* pixels)
{
    if (width < 1 || rows < 1)
        return 0;
    return RenderRowsReference(Xmin, Xmax, Ymax, PlaneStep(Ymin, Ymax, rows), width, rows, pixels);
}

uint64_t RenderRowsReference(double Xmin, double Xmax, double yTop, double dy,
                             int32_t width, int32_t rows, uint32_t* pixels)
{
    if (width < 1 || rows < 1)
        return 0;
    const double bound = escapeBound;
    const int32_t colors = currentView.colorCount;
    const double dx = PlaneStep(Xmin, Xmax, width);
    uint64_t iterations = 0;

    double y = yTop;
    for (int32_t row = rows; row > 0; --row) {
        double x = Xmin;
        for (int32_t column = width; column > 0; --column) {
            const int32_t limit = currentView.iterLimit;
            double u = 0.0, v = 0.0;
            int32_t n = limit;
            int32_t k;
            for (;;) {
                const double s = u * u + v * v;
                const double nextU = u * u - v * v - x;
                v = 2.0 * u * v - y;
                u = nextU;
                if (--n == 0) {
                    k = 0;
                    break;
                }
                if (!(s >= bound))  // NaN counts as below the bound
                    continue;
                k = n;
                break;
            }
            iterations += static_cast<uint64_t>(limit - n);
            *pixels++ = PackColor(k, colors);
            x += dx;
        }
        y -= dy;
    }
    return iterations;
}
