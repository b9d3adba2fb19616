// The main window: class registration, creation, the window procedure that
// hands every message to its handler, and the life-cycle handlers (create,
// size, close, destroy). Everything here runs on the window thread.
#pragma once

#include <windows.h>

// Makes the status bar class available and registers "mandel"; false when
// the class cannot be registered.
bool RegisterMainWindowClass(HINSTANCE instance);
HWND CreateMainWindow(HINSTANCE instance);
int RunMessageLoop();

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

HWND CreateStatusBar(HWND parent, HINSTANCE instance);
