// The two mouse tools: window zoom (drag a band that keeps the client area's
// proportions) and move (drag a frame the size of the client area to a new
// centre), with XOR feedback on the window and plane coordinates in status
// part 6. The only writer of activeTool. Window thread only.
#pragma once

#include <windows.h>

void SelectWindowZoomTool();
void SelectMoveTool();
// Zoom out ends any mouse tool and names itself in the tool part.
void SelectZoomOutTool();
// A command the table does not hold leaves no tool active.
void DropMouseTool();

LRESULT OnMouseMove(HWND window, LPARAM lParam);
LRESULT OnLeftButtonDown(HWND window);
LRESULT OnLeftButtonUp(HWND window);
