// The render cycle: the paint handler computes the image when needsRender is
// set, writes the view into the status bar, records the view, reports the
// time, and stretches the stored image onto the window. Window thread only.
#pragma once

#include <windows.h>

LRESULT OnPaint(HWND window);
LRESULT OnTimer(HWND window);
