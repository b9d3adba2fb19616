// The state the whole program shares: the current view of the plane, the
// render settings, the image/screen/desktop/client sizes, the render flags,
// the active mouse tool and the current mouse point. Defined once in
// view_state.cpp; written on the window thread only. Worker threads read
// escapeBound and the current view's colorCount and iterLimit while the
// window thread waits for them.
#pragma once

#include <cstdint>

struct FractalView {
    double Xmin;
    double Xmax;
    double Ymin;  // plane Y at the top edge of the displayed image
    double Ymax;  // plane Y at the bottom edge
    int32_t colorCount;
    int32_t iterLimit;
};

// Plane Y grows downwards on screen: the top row shows Ymin, the bottom Ymax.
constexpr FractalView DEFAULT_VIEW = {-1.0, 1.0, -1.0, 1.0, 64, 64};

extern FractalView currentView;

extern int32_t escapeBound;
extern int32_t threadCount;
extern int32_t imageWidth, imageHeight;
extern int32_t screenWidth, screenHeight;
extern int32_t desktopWidth, desktopHeight;
extern int32_t clientWidth, clientHeight;  // clientHeight includes the status bar

extern int32_t needsRender;    // the next paint recomputes the image
extern int32_t recordHistory;  // the next recompute enters the history
extern int32_t activeTool;     // IDM_WINDOW_ZOOM, IDM_MOVE, or no tool
extern int32_t dragging;

extern int32_t mouseX, mouseY;
extern double mousePlaneX, mousePlaneY;
