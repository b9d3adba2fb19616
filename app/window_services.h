// The services every part of the window shares, so that no handler needs
// another handler's module for them: the instance handle, the system-metric
// seam, the status bar with its part layout and texts, the client size, the
// one path for "the view changed", and menu check marks. A leaf: it includes
// no other module of app/ (resource.h holds only identifiers). Window thread
// only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

extern HINSTANCE instanceHandle;

// System metrics are read through this pointer, so that tests can present
// several monitors; it is GetSystemMetrics in the program.
extern int(WINAPI* ReadSystemMetric)(int index);

extern HWND statusBar;

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
// Right edges of the parts in client pixels; the last one reaches the end.
extern const int32_t STATUS_PART_EDGES[STATUS_PARTS];

// Every status text is formatted into a buffer of this size and cut to fit.
constexpr size_t STATUS_TEXT_SIZE = 64;

void SetStatusText(int part, const char* text);
// Formats into the shared status buffer (cut to fit) and sets the part.
void SetStatusTextF(int part, const char* format, ...);

// The name of the mouse tool, as the end of every paint shows it.
void ToolStatusText(char* text, size_t size, int32_t tool);
// Shows the active tool's name in the tool part.
void ShowToolStatus();

void GetClientSize(HWND window, int32_t* width, int32_t* height);

// The view changed: the next paint recomputes it, and records it in the
// history when record is true. Nothing is drawn here.
void RequestRender(HWND mainWindow, bool record);

// One menu item of a group and the setting value it stands for.
struct MenuChoice {
    int32_t value;
    UINT id;
};
// Checks the item of the group whose value is chosen and unchecks the rest.
void CheckOneOf(HMENU menu, const MenuChoice* items, size_t count, int32_t chosen);
template <size_t N>
void CheckOneOf(HMENU menu, const MenuChoice (&items)[N], int32_t chosen)
{
    CheckOneOf(menu, items, N, chosen);
}
