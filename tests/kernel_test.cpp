#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/kernel.h"
#include "escape_points.h"
#include "pixel_counts.h"

namespace {

const int32_t LIMITS[] = {64, 512, 4096, 32768};

// Count of one point, c = x + iy, from a 1 x 1 block.
int32_t CountAt(double x, double y, int32_t limit)
{
    ScopedSettings settings(limit, 32768);
    uint32_t pixel = 0xDEADBEEF;
    RenderRegion(x, y - 1.0, x + 1.0, y, 1, 1, &pixel);
    return CountOf32768(pixel);
}


}  // namespace

TEST(PackColor, MatchesTheDocumentedWords)
{
    EXPECT_EQ(PackColor(62, 32768), 0x000008F0u);
    EXPECT_EQ(PackColor(32766, 32768), 0x007CF8F0u);
    EXPECT_EQ(PackColor(4094, 4096), 0x000FF0E0u);
    EXPECT_EQ(PackColor(61, 4096), 0x000030D0u);
    EXPECT_EQ(PackColor(64, 512), 0x00010000u);
    // 64 colours: blue and green at the top of their bytes, red's two bits too.
    EXPECT_EQ(PackColor(63, 64), 0x00C0C0C0u);
    EXPECT_EQ(PackColor(16, 64), 0x00400000u);
    for (int32_t colors : LIMITS) {
        EXPECT_EQ(PackColor(0, colors), 0u);
        for (int32_t k = 0; k < 4096; k += 7) {
            EXPECT_EQ(PackColor(k, colors), PackColor(k + colors, colors));
            EXPECT_EQ(PackColor(k, colors) >> 24, 0u);
        }
    }
}

TEST(RenderRegion, WorkedExampleTwoByTwo)
{
    ScopedSettings settings(64, 32768);
    std::vector<uint32_t> pixels(4, 0xDEADBEEF);
    RenderRegion(-1.0, -1.0, 1.0, 1.0, 2, 2, pixels.data());
    // c = -1 + i, 0 + i, -1, 0 in memory order
    EXPECT_EQ(CountOf32768(pixels[0]), 61);
    EXPECT_EQ(CountOf32768(pixels[1]), 0);
    EXPECT_EQ(CountOf32768(pixels[2]), 61);
    EXPECT_EQ(CountOf32768(pixels[3]), 0);
}

TEST(RenderRegion, FastEscapeGivesLimitMinusTwoAndNeverLimitMinusOne)
{
    for (int32_t limit : LIMITS) {
        EXPECT_EQ(CountAt(2.0, 0.0, limit), limit - 2);
        EXPECT_EQ(CountAt(-2.0, 0.0, limit), limit - 2);
        EXPECT_EQ(CountAt(0.0, 2.0, limit), limit - 2);
        EXPECT_EQ(CountAt(1.5, -1.5, limit), limit - 2);
        EXPECT_EQ(CountAt(1e200, 1e200, limit), limit - 2);
        EXPECT_EQ(CountAt(0.0, 0.0, limit), 0);
    }
    ScopedSettings settings(64, 32768);
    std::vector<uint32_t> pixels(97 * 61);
    RenderRegion(-2.5, -2.0, 2.5, 2.0, 97, 61, pixels.data());
    for (uint32_t pixel : pixels)
        ASSERT_LT(CountOf32768(pixel), 63);
}

TEST(RenderRegion, EscapeAtTheLastStepsOfTheLimit)
{
    EXPECT_EQ(CountAt(RealPointEscapingAt(62), 0.0, 64), 1);
    EXPECT_EQ(CountAt(RealPointEscapingAt(63), 0.0, 64), 0);
    EXPECT_EQ(CountAt(RealPointEscapingAt(10), 0.0, 64), 64 - 1 - 10);
}

TEST(RenderRegion, NotANumberRunsTheCounterOut)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(CountAt(nan, 0.0, 64), 0);
    EXPECT_EQ(CountAt(0.5, nan, 4096), 0);
}

TEST(RenderRegion, OneByOneBlockSamplesTheXminYmaxCorner)
{
    ScopedSettings settings(64, 32768);
    uint32_t pixel;
    RenderRegion(2.0, -5.0, 7.0, 0.0, 1, 1, &pixel);  // c = 2: fast escape
    EXPECT_EQ(CountOf32768(pixel), 62);
    RenderRegion(0.0, -5.0, 7.0, 0.0, 1, 1, &pixel);  // c = 0: never escapes
    EXPECT_EQ(CountOf32768(pixel), 0);
}

TEST(RenderRegion, WritesNothingWithoutRowsOrColumns)
{
    ScopedSettings settings(64, 64);
    uint32_t pixel = 0xDEADBEEF;
    EXPECT_EQ(RenderRegion(-1, -1, 1, 1, 0, 5, &pixel), 0u);
    EXPECT_EQ(RenderRegion(-1, -1, 1, 1, 5, 0, &pixel), 0u);
    EXPECT_EQ(RenderRegion(-1, -1, 1, 1, -3, 5, &pixel), 0u);
    EXPECT_EQ(pixel, 0xDEADBEEFu);
}

TEST(RenderRegion, BoundsNearTheLargestDoubleKeepFiniteSteps)
{
    // dx = 1.7e308 is finite, so the second pixel lies at x = 0 and c = i,
    // which cycles; an infinite step would put it at infinity (fast escape).
    ScopedSettings settings(64, 32768);
    uint32_t pixels[2];
    RenderRegion(-1.7e308, 0.0, 1.7e308, 1.0, 2, 1, pixels);
    EXPECT_EQ(CountOf32768(pixels[0]), 62);
    EXPECT_EQ(CountOf32768(pixels[1]), 0);
    EXPECT_EQ(PlaneStep(-1.7e308, 1.7e308, 2), 1.7e308);
    EXPECT_EQ(PlaneStep(-1.0, 1.0, 4), 0.5);
}

TEST(RenderRegion, CountsThePixelIterations)
{
    ScopedSettings settings(64, 32768);
    std::vector<uint32_t> pixels(4);
    // Two points escape at m = 2 (3 iterations each), two run all 64.
    EXPECT_EQ(RenderRegion(-1.0, -1.0, 1.0, 1.0, 2, 2, pixels.data()), 3u + 64 + 3 + 64);
}
