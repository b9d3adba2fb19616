// Commands that change the image size (screen, desktop, the size dialog) and
// the one that spreads the window over all monitors. Window thread only.
#pragma once

#include <windows.h>

void UseScreenSize(HWND mainWindow, HMENU menu);
void UseDesktopSize(HWND mainWindow, HMENU menu);
void EditImageSize(HWND mainWindow, HMENU menu);
void MaximizeOverAllMonitors(HWND mainWindow);
