// The two mouse tools: window zoom (drag a band that keeps the client area's
// proportions) and move (drag a frame the size of the client area to a new
// centre), with XOR feedback on the window and plane coordinates in status
// part 6. Window thread only.
#pragma once

#include <windows.h>

void SelectWindowZoomTool();
void SelectMoveTool();

LRESULT OnMouseMove(HWND window, LPARAM lParam);
LRESULT OnLeftButtonDown(HWND window);
LRESULT OnLeftButtonUp(HWND window);
