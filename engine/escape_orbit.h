// One pixel's escape-time loop, z <- z^2 - c, exactly as the picture defines
// it. Used by the reference kernel for whole pixels and by the vector kernels
// to recover a lane's exact count. Static: each includer compiles its own
// copy for its own instruction set, and the linker never swaps them.
#pragma once

#include <cstdint>

// Continues the orbit of c = x + iy from z = u + iv with n counts left (n >= 1)
// and returns the remaining count k: 0 when the counter runs out first. The
// bound test uses |z|^2 from before the update, after the counter is
// decremented; a NaN |z|^2 counts as below the bound. Leaves n at the count
// left when the loop stopped, so the loop ran (n before - n after) times.
static inline int32_t ContinueOrbit(double u, double v, double x, double y, double bound,
                                    int32_t& n)
{
    for (;;) {
        const double s = u * u + v * v;
        const double nextU = u * u - v * v - x;
        v = 2.0 * u * v - y;
        u = nextU;
        if (--n == 0)
            return 0;
        if (!(s >= bound))
            continue;
        return n;
    }
}
