// Geometry of the current view: fitting the plane rectangle to an image's
// aspect, mapping client pixels to plane points, and the zoom-out step.
// Called on the window thread by start-up, the commands and the mouse tools.
#pragma once

#include <cstdint>

struct PlanePoint {
    double x;
    double y;
};

// Changes one span of the current view about its centre so that the plane
// rectangle takes the aspect width : height. keepYSpan chooses which span
// stays; the caller decides (and invalidates).
void FitViewToAspect(int32_t width, int32_t height, bool keepYSpan);

// Client pixel (x, y) to the plane, over the whole client area including the
// strip under the status bar: (0, 0) is (Xmin, Ymin).
PlanePoint PixelToPlane(int32_t x, int32_t y);

// Moves every bound outwards by one whole span: each span triples about the
// unchanged centre.
void ZoomOutView();

// The virtual desktop differs from the primary screen.
bool HasSeveralMonitors();
