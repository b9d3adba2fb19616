// Definitions and start values of the process-wide state (see view_state.h).
#include "view/view_state.h"

FractalView currentView = DEFAULT_VIEW;

int32_t escapeBound = 4;
int32_t threadCount = 1;
int32_t imageWidth = 0, imageHeight = 0;
int32_t screenWidth = 0, screenHeight = 0;
int32_t desktopWidth = 0, desktopHeight = 0;
int32_t clientWidth = 0, clientHeight = 0;

int32_t needsRender = 1;
int32_t recordHistory = 0;
int32_t activeTool = 0;
int32_t dragging = 0;

int32_t mouseX = 0, mouseY = 0;
double mousePlaneX = 0.0, mousePlaneY = 0.0;
