// The window's shared services (see window_services.h).
#include "app/window_services.h"

#include <commctrl.h>

#include <cstdarg>
#include <cstdio>

#include "app/resource.h"
#include "view/view_state.h"

HINSTANCE instanceHandle;
int(WINAPI* ReadSystemMetric)(int index) = GetSystemMetrics;
HWND statusBar;
const int32_t STATUS_PART_EDGES[STATUS_PARTS] = {60, 120, 180, 240, 280, 320, -1};

namespace {

char statusText[STATUS_TEXT_SIZE];

}  // namespace

void SetStatusText(int part, const char* text)
{
    SendMessageA(statusBar, SB_SETTEXTA, part, reinterpret_cast<LPARAM>(text));
}

void SetStatusTextF(int part, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(statusText, sizeof statusText, format, arguments);
    va_end(arguments);
    SetStatusText(part, statusText);
}

void ToolStatusText(char* text, size_t size, int32_t tool)
{
    const char* name = tool == IDM_WINDOW_ZOOM ? "窓ズーム " : tool == IDM_MOVE ? "移動 " : "";
    std::snprintf(text, size, "%s", name);
}

void ShowToolStatus()
{
    ToolStatusText(statusText, sizeof statusText, activeTool);
    SetStatusText(STATUS_TOOL, statusText);
}

void GetClientSize(HWND window, int32_t* width, int32_t* height)
{
    RECT client;
    GetClientRect(window, &client);
    *width = client.right - client.left;
    *height = client.bottom - client.top;
}

void RequestRender(HWND mainWindow, bool record)
{
    needsRender = 1;
    if (record)
        recordHistory = 1;
    InvalidateRect(mainWindow, nullptr, TRUE);
}

void CheckOneOf(HMENU menu, const MenuChoice* items, size_t count, int32_t chosen)
{
    for (size_t i = 0; i < count; ++i)
        CheckMenuItem(menu, items[i].id, items[i].value == chosen ? MF_CHECKED : MF_UNCHECKED);
}
