#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/bands.h"
#include "engine/kernel.h"
#include "engine/strips.h"
#include "pixel_counts.h"

namespace {

const uint32_t SENTINEL = 0xA5A5A5A5;  // byte 3 is never set by a pixel
const int GUARD = 16;

// Renders into a sentinel-filled buffer with guard words on both sides and
// checks that exactly the image's words were written.
template <typename Render>
std::vector<uint32_t> RenderIntoGuards(int32_t width, int32_t height, Render render)
{
    std::vector<uint32_t> buffer(static_cast<size_t>(width) * height + 2 * GUARD, SENTINEL);
    render(buffer.data() + GUARD);
    for (int i = 0; i < GUARD; ++i) {
        EXPECT_EQ(buffer[i], SENTINEL);
        EXPECT_EQ(buffer[buffer.size() - 1 - i], SENTINEL);
    }
    std::vector<uint32_t> image(buffer.begin() + GUARD, buffer.end() - GUARD);
    for (uint32_t pixel : image)
        EXPECT_NE(pixel, SENTINEL);
    return image;
}

std::vector<uint32_t> RenderChecked(double Xmin, double Ymin, double Xmax, double Ymax,
                                    int32_t width, int32_t height)
{
    return RenderIntoGuards(width, height, [&](uint32_t* pixels) {
        RenderView(Xmin, Ymin, Xmax, Ymax, width, height, pixels);
    });
}

std::vector<uint32_t> RenderOneRegion(double Xmin, double Ymin, double Xmax, double Ymax,
                                      int32_t width, int32_t height)
{
    std::vector<uint32_t> image(static_cast<size_t>(width) * height, SENTINEL);
    RenderRegion(Xmin, Ymin, Xmax, Ymax, width, height, image.data());
    return image;
}

}  // namespace

TEST(RenderView, OneThreadIsOneRegionCall)
{
    ScopedSettings settings(512, 4096, 1);
    EXPECT_EQ(RenderChecked(-1.7, -1.1, 1.9, 0.9, 123, 77),
              RenderOneRegion(-1.7, -1.1, 1.9, 0.9, 123, 77));
}

// With a plane height of height * 2^-8 every band edge is exact, so any strip
// layout must give the pixels of one region call, row for row.
TEST(RenderView, EveryThreadCountAndUnevenHeightMatchesOneRegion)
{
    for (int32_t height : {600, 601, 603, 9, 7, 3, 1}) {
        const double Ymin = -0.5, Ymax = Ymin + height / 256.0;
        ScopedSettings settings(4096, 32768);
        const auto expected = RenderOneRegion(-2.0, Ymin, 1.0, Ymax, 37, height);
        for (int32_t threads : {1, 2, 4, 8}) {
            threadCount = threads;
            EXPECT_EQ(RenderChecked(-2.0, Ymin, 1.0, Ymax, 37, height), expected)
                << height << " rows on " << threads << " threads";
        }
    }
}

TEST(RenderView, StripsOfAnyViewWriteEveryPixelOnce)
{
    for (int32_t threads : {2, 4, 8}) {
        ScopedSettings settings(64, 64, threads);
        const auto multi = RenderChecked(0.3, -1.3, -1.9, 1.1, 211, 101);  // inverted X
        ScopedSettings single(64, 64, 1);
        const auto one = RenderChecked(0.3, -1.3, -1.9, 1.1, 211, 101);
        // Band edges may round differently, but row 0 is sampled at Ymax in both.
        EXPECT_TRUE(std::equal(one.begin(), one.begin() + 211, multi.begin()));
    }
}

TEST(RenderView, SumsThePixelIterationsOfAllStrips)
{
    const double Ymin = -1.0, Ymax = Ymin + 29 / 16.0;
    uint64_t single;
    {
        ScopedSettings settings(512, 64, 1);
        std::vector<uint32_t> image(50 * 29);
        single = RenderView(-2.0, Ymin, 1.0, Ymax, 50, 29, image.data());
    }
    ScopedSettings settings(512, 64, 8);
    std::vector<uint32_t> image(50 * 29);
    EXPECT_EQ(RenderView(-2.0, Ymin, 1.0, Ymax, 50, 29, image.data()), single);
    EXPECT_GT(single, 50u * 29u);
}

TEST(RenderView, BandsNearTheLargestDoubleStayFinite)
{
    // Two strips of one row: the second band starts at y = 0, where c = 0 is
    // in the set. An infinite span would start it at -infinity instead.
    ScopedSettings settings(64, 32768, 2);
    const auto image = RenderChecked(0.0, -1.7e308, 1.0, 1.7e308, 1, 2);
    EXPECT_EQ(CountOf32768(image[0]), 62);
    EXPECT_EQ(CountOf32768(image[1]), 0);
}

TEST(RenderView, EmptyImageWritesNothing)
{
    ScopedSettings settings(64, 64, 4);
    uint32_t pixel = SENTINEL;
    EXPECT_EQ(RenderView(-1, -1, 1, 1, 0, 10, &pixel), 0u);
    EXPECT_EQ(RenderView(-1, -1, 1, 1, 10, 0, &pixel), 0u);
    for (int32_t width : {0, 10}) {
        BandRenderer bands(-1, -1, 1, 1, width, 10 - width, 4, BandOrder::LastRowFirst);
        EXPECT_TRUE(bands.Finished());
        EXPECT_EQ(bands.StartBand(&pixel).count, 0);
        EXPECT_EQ(bands.FinishBand(), 0u);
    }
    EXPECT_EQ(pixel, SENTINEL);
}

// mandel-render computes the view in bands, in the order its file takes the
// rows, each into one of two buffers in turn while the other is read: any
// band size and order must give RenderView's pixels and count on every
// thread count, each band exactly its rows of its buffer, the bands one after
// the other from the order's end. Near the boundary at 4096 iterations a row
// sampled one rounding away from its strip's running sum changes colour, and
// there the strips' edges are not exact, so each thread count has pixels of
// its own.
TEST(BandRenderer, EveryBandSizeAndOrderGivesTheWholeRendersPixels)
{
    const double Xmin = 0.74, Xmax = 0.76, Ymin = 0.09, Ymax = 0.1;
    const int32_t width = 37;
    for (int32_t height : {203, 7, 3, 1}) {
        for (int32_t threads : {1, 2, 4, 8}) {
            ScopedSettings settings(4096, 32768, threads);
            uint64_t wholeCount = 0;
            const auto whole = RenderIntoGuards(width, height, [&](uint32_t* pixels) {
                wholeCount = RenderView(Xmin, Ymin, Xmax, Ymax, width, height, pixels);
            });
            for (BandOrder order : {BandOrder::FirstRowFirst, BandOrder::LastRowFirst}) {
                for (int32_t bandRows : {1, 5, 64, height, height + 9}) {
                    const std::string what = std::to_string(height) + " rows on " +
                                             std::to_string(threads) + " threads, bands of " +
                                             std::to_string(bandRows) + " rows from the " +
                                             (order == BandOrder::FirstRowFirst ? "first" : "last");
                    BandRenderer bands(Xmin, Ymin, Xmax, Ymax, width, height, bandRows, order);
                    ASSERT_EQ(bands.MaxBandRows(), std::min(bandRows, height)) << what;
                    const size_t bandWords = static_cast<size_t>(width) * bands.MaxBandRows();
                    std::vector<uint32_t> buffers[2], banded(whole.size(), SENTINEL);
                    for (auto& buffer : buffers)
                        buffer.assign(bandWords + GUARD, SENTINEL);
                    uint64_t bandCount = bands.FinishBand();  // none started: 0
                    int32_t rowsSoFar = 0, current = 0;
                    BandRows rows = bands.StartBand(buffers[current].data());
                    bandCount += bands.FinishBand();
                    while (rows.count > 0) {
                        std::fill(buffers[1 - current].begin(), buffers[1 - current].end(), SENTINEL);
                        const BandRows next = bands.StartBand(buffers[1 - current].data());
                        const int32_t expectedFirst = order == BandOrder::FirstRowFirst
                                                          ? rowsSoFar
                                                          : height - rowsSoFar - rows.count;
                        EXPECT_EQ(rows.first, expectedFirst) << what;
                        const auto band = buffers[current].begin();
                        const auto bandEnd = band + static_cast<ptrdiff_t>(rows.count) * width;
                        EXPECT_TRUE(std::all_of(bandEnd, buffers[current].end(),
                                                [](uint32_t p) { return p == SENTINEL; }))
                            << what;
                        std::copy(band, bandEnd,
                                  banded.begin() + static_cast<ptrdiff_t>(rows.first) * width);
                        rowsSoFar += rows.count;
                        bandCount += bands.FinishBand();
                        rows = next;
                        current = 1 - current;
                    }
                    EXPECT_TRUE(bands.Finished());
                    EXPECT_EQ(rowsSoFar, height) << what;
                    EXPECT_EQ(banded, whole) << what;
                    EXPECT_EQ(bandCount, wholeCount) << what;
                }
            }
        }
    }
}
