// Commands that change the view or the render settings: colours, iteration
// limit, zoom out, the coordinate dialog, the worker thread count. Window
// thread only.
#pragma once

#include <windows.h>

#include <cstdint>

void SetColorCount(HWND mainWindow, int32_t colors);
void SetIterationLimit(HWND mainWindow, int32_t limit);
void ZoomOut(HWND mainWindow);
void EditCoordinates(HWND mainWindow);
void SetThreadCount(HMENU menu, int32_t threads);
