#include <gtest/gtest.h>

#include "view/geometry.h"
#include "view/view_state.h"

namespace {

class Geometry : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = currentView;
        savedClient_[0] = clientWidth;
        savedClient_[1] = clientHeight;
        currentView = DEFAULT_VIEW;
    }
    void TearDown() override
    {
        currentView = saved_;
        clientWidth = savedClient_[0];
        clientHeight = savedClient_[1];
    }
    void SetBounds(double xmin, double xmax, double ymin, double ymax)
    {
        currentView.Xmin = xmin;
        currentView.Xmax = xmax;
        currentView.Ymin = ymin;
        currentView.Ymax = ymax;
    }
    const FractalView& v = currentView;

private:
    FractalView saved_;
    int32_t savedClient_[2];
};

}  // namespace

TEST_F(Geometry, StartUpFitKeepsTheYSpan)
{
    FitViewToAspect(1920, 1080, true);
    EXPECT_DOUBLE_EQ(v.Xmin, -16.0 / 9.0);
    EXPECT_DOUBLE_EQ(v.Xmax, 16.0 / 9.0);
    EXPECT_EQ(v.Ymin, -1.0);
    EXPECT_EQ(v.Ymax, 1.0);

    currentView = DEFAULT_VIEW;
    FitViewToAspect(1080, 1920, true);
    EXPECT_EQ(v.Xmin, -0.5625);
    EXPECT_EQ(v.Xmax, 0.5625);
    EXPECT_EQ(v.Ymin, -1.0);
}

TEST_F(Geometry, FitKeepingXRecentresTheYSpan)
{
    // X 0..4, Y 0..1 on a square image: Y becomes -1.5..2.5 about 0.5.
    SetBounds(0.0, 4.0, 0.0, 1.0);
    FitViewToAspect(1000, 1000, false);
    EXPECT_EQ(v.Xmin, 0.0);
    EXPECT_EQ(v.Xmax, 4.0);
    EXPECT_EQ(v.Ymin, -1.5);
    EXPECT_EQ(v.Ymax, 2.5);

    // A zero Y span grows to X span * height / width about the typed value.
    SetBounds(0.0, 4.0, 0.5, 0.5);
    FitViewToAspect(800, 600, false);
    EXPECT_EQ(v.Ymin, -1.0);
    EXPECT_EQ(v.Ymax, 2.0);

    // 1000 x 1000 to 1600 x 1200 keeping Y: X span is 4/3 of the Y span.
    currentView = DEFAULT_VIEW;
    FitViewToAspect(1600, 1200, true);
    EXPECT_DOUBLE_EQ(v.Xmax - v.Xmin, 8.0 / 3.0);
    EXPECT_EQ(v.Ymax - v.Ymin, 2.0);

    // Inverted bounds keep their sign.
    SetBounds(1.0, -1.0, 1.0, -1.0);
    FitViewToAspect(200, 100, true);
    EXPECT_EQ(v.Xmin, 2.0);
    EXPECT_EQ(v.Xmax, -2.0);
}

TEST_F(Geometry, ZoomOutTriplesEachSpanAboutTheCentre)
{
    ZoomOutView();
    ZoomOutView();
    EXPECT_EQ(v.Xmin, -9.0);
    EXPECT_EQ(v.Xmax, 9.0);
    EXPECT_EQ(v.Ymin, -9.0);
    EXPECT_EQ(v.Ymax, 9.0);

    currentView = DEFAULT_VIEW;
    FitViewToAspect(1920, 1080, true);
    ZoomOutView();
    EXPECT_DOUBLE_EQ(v.Xmin, -16.0 / 3.0);
    EXPECT_DOUBLE_EQ(v.Xmax, 16.0 / 3.0);
    EXPECT_EQ(v.Ymin, -3.0);
    EXPECT_EQ(v.Ymax, 3.0);
}

TEST_F(Geometry, PixelToPlaneUsesTheWholeClientArea)
{
    SetBounds(-2.0, 2.0, -1.0, 3.0);
    clientWidth = 800;
    clientHeight = 600;
    PlanePoint corner = PixelToPlane(0, 0);
    EXPECT_EQ(corner.x, -2.0);
    EXPECT_EQ(corner.y, -1.0);
    PlanePoint centre = PixelToPlane(400, 300);
    EXPECT_EQ(centre.x, 0.0);
    EXPECT_EQ(centre.y, 1.0);
    PlanePoint bottom = PixelToPlane(800, 600);
    EXPECT_EQ(bottom.x, 2.0);
    EXPECT_EQ(bottom.y, 3.0);
}

// Ordinary spans, compared bit for bit: each expected value is the documented
// order of operations, (span * width) / height and x / clientWidth * span,
// which differs by an ulp from the other groupings for these inputs.
TEST_F(Geometry, OrdinarySpansGiveTheBitsOfTheDocumentedOrder)
{
    const struct {
        int32_t width, height;
        bool keepYSpan;
        double low, high;  // the bounds that change
    } fits[] = {
        {1080, 1920, true, -0x1.599999999999bp-4, 0x1.599999999999bp-4},
        {1440, 900, true, -0x1.eb851eb851eb9p-3, 0x1.eb851eb851eb9p-3},
        {1920, 1080, false, -0x1.599999999999bp-4, 0x1.599999999999bp-4},
    };
    for (const auto& fit : fits) {
        // The kept span is 0.1..0.4, the other -0.5..0.5 about 0.
        if (fit.keepYSpan)
            SetBounds(-0.5, 0.5, 0.1, 0.4);
        else
            SetBounds(0.1, 0.4, -0.5, 0.5);
        FitViewToAspect(fit.width, fit.height, fit.keepYSpan);
        EXPECT_EQ(fit.keepYSpan ? v.Xmin : v.Ymin, fit.low) << fit.width << "x" << fit.height;
        EXPECT_EQ(fit.keepYSpan ? v.Xmax : v.Ymax, fit.high) << fit.width << "x" << fit.height;
    }

    SetBounds(-0.7, -0.4, 0.1, 0.4);
    clientWidth = 1920;
    clientHeight = 1080;
    EXPECT_EQ(PixelToPlane(84, 20).x, -0x1.5fae147ae147bp-1);
    EXPECT_EQ(PixelToPlane(84, 20).y, 0x1.b05b05b05b05bp-4);
}
