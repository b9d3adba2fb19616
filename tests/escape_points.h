// Test helpers: real points whose escape step is known, found by an orbit
// computed apart from the kernels.
#pragma once

#include <gtest/gtest.h>

// First n >= 1 with z_n^2 >= 4 for z <- z^2 - c on the real axis; 0 when
// none within maxSteps.
inline int EscapeStep(double c, int maxSteps)
{
    double z = 0.0;
    for (int n = 1; n <= maxSteps; ++n) {
        z = z * z - c;
        if (z * z >= 4.0)
            return n;
    }
    return 0;
}

// A real c whose orbit first leaves the disc at exactly step m: the escape
// step falls from infinity to 1 as c moves left from the cusp at -1/4.
inline double RealPointEscapingAt(int m)
{
    double inside = -0.25, outside = -2.5;
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (inside + outside);
        const int step = EscapeStep(mid, 40000);
        if (step == m)
            return mid;
        if (step == 0 || step > m)
            inside = mid;
        else
            outside = mid;
    }
    ADD_FAILURE() << "no point escapes at step " << m;
    return 0.0;
}
