// The render cycle: the paint handler computes the image when needsRender is
// set, writes the view into the status bar, records the view, reports the
// time, and stretches the stored image onto the window. Also the one path by
// which text reaches the status bar. Window thread only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

constexpr int STATUS_PARTS = 7;
enum StatusPart {
    STATUS_XMIN = 0,
    STATUS_YMIN = 1,
    STATUS_XMAX = 2,
    STATUS_YMAX = 3,
    STATUS_COLORS = 4,
    STATUS_ITERATIONS = 5,
    STATUS_TOOL = 6,  // threads while computing, then the tool's feedback
};

// Every status text is formatted into a buffer of this size and cut to fit.
constexpr size_t STATUS_TEXT_SIZE = 64;

void SetStatusText(int part, const char* text);

// Formats into the shared status buffer (cut to fit) and sets the part.
void SetStatusTextF(int part, const char* format, ...);

// The name of the mouse tool, as the end of every paint shows it.
void ToolStatusText(char* text, size_t size, int32_t tool);

// Shows the active tool's name in the tool part.
void ShowToolStatus();

LRESULT OnPaint(HWND window);
LRESULT OnTimer(HWND window);
