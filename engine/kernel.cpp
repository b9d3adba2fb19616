// The escape-time loop, z <- z^2 - c from z = 0 (see kernel.h).
//
// The order of the steps is part of the picture: the bound test uses |z|^2 of
// the z from before the update of the same iteration, and the counter is
// decremented before the test. So a point with |c|^2 >= 4 gets the largest
// count, iterLimit - 2, and a point escaping at the last step is black like the
// set. A NaN |z|^2 compares as below the bound and runs the counter out.
#include "engine/kernel.h"

#include "view/view_state.h"

uint32_t PackColor(int32_t k, int32_t colorCount)
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

uint64_t RenderRegion(double Xmin, double Ymin, double Xmax, double Ymax,
                      int32_t width, int32_t rows, uint32_t* pixels)
{
    if (width < 1 || rows < 1)
        return 0;
    const double bound = escapeBound;
    const int32_t colors = currentView.colorCount;
    const double dx = PlaneStep(Xmin, Xmax, width);
    const double dy = PlaneStep(Ymin, Ymax, rows);
    uint64_t iterations = 0;

    double y = Ymax;
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
