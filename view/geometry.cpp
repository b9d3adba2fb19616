// Plane geometry on the current view (see geometry.h). Plain IEEE double
// arithmetic, in the order the program has always used, so that the same
// inputs always give the same bounds.
#include "view/geometry.h"

#include "view/view_state.h"

void FitViewToAspect(int32_t width, int32_t height, bool keepYSpan)
{
    FractalView& v = currentView;
    if (keepYSpan) {
        const double span = (v.Ymax - v.Ymin) * width / height;
        const double centre = (v.Xmax + v.Xmin) * 0.5;
        v.Xmin = centre - span * 0.5;
        v.Xmax = centre - span * -0.5;
    } else {
        const double span = (v.Xmax - v.Xmin) * height / width;
        const double centre = (v.Ymax + v.Ymin) * 0.5;
        v.Ymin = centre - span * 0.5;
        v.Ymax = centre - span * -0.5;
    }
}

PlanePoint PixelToPlane(int32_t x, int32_t y)
{
    const FractalView& v = currentView;
    return {
        static_cast<double>(x) / clientWidth * (v.Xmax - v.Xmin) + v.Xmin,
        static_cast<double>(y) / clientHeight * (v.Ymax - v.Ymin) + v.Ymin,
    };
}

void ZoomOutView()
{
    FractalView& v = currentView;
    const double dx = v.Xmax - v.Xmin;
    const double dy = v.Ymax - v.Ymin;
    v.Xmin -= dx;
    v.Xmax += dx;
    v.Ymin -= dy;
    v.Ymax += dy;
}

bool HasSeveralMonitors()
{
    return desktopWidth != screenWidth || desktopHeight != screenHeight;
}
