// WM_COMMAND: one line per menu command, each calling the function named
// after it. Window thread only.
#pragma once

#include <windows.h>

LRESULT OnCommand(HWND window, UINT id);
