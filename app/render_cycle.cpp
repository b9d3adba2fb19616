// Paint handler and status bar (see render_cycle.h).
#include "app/render_cycle.h"

#include <commctrl.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "app/history_commands.h"
#include "app/main_window.h"
#include "app/resource.h"
#include "app/user_messages.h"
#include "engine/strips.h"
#include "image/image_buffer.h"
#include "view/history.h"
#include "view/view_state.h"

namespace {

char statusText[STATUS_TEXT_SIZE];

struct MenuChoice {
    int32_t value;
    UINT id;
};
const MenuChoice COLOR_ITEMS[] = {
    {64, IDM_COLORS_64}, {512, IDM_COLORS_512}, {4096, IDM_COLORS_4096}, {32768, IDM_COLORS_32768}};
const MenuChoice ITERATION_ITEMS[] = {
    {64, IDM_ITER_64}, {512, IDM_ITER_512}, {4096, IDM_ITER_4096}, {32768, IDM_ITER_32768}};

void CheckChoice(HMENU menu, const MenuChoice (&items)[4], int32_t value)
{
    for (const MenuChoice& item : items)
        CheckMenuItem(menu, item.id, item.value == value ? MF_CHECKED : MF_UNCHECKED);
}

void ShowViewInStatusBar()
{
    const FractalView& v = currentView;
    SetStatusTextF(STATUS_XMIN, "%f", v.Xmin);
    SetStatusTextF(STATUS_YMIN, "%f", v.Ymin);
    SetStatusTextF(STATUS_XMAX, "%f", v.Xmax);
    SetStatusTextF(STATUS_YMAX, "%f", v.Ymax);
    SetStatusTextF(STATUS_COLORS, "%i", v.colorCount);
    SetStatusTextF(STATUS_ITERATIONS, "%i", v.iterLimit);
    SetStatusTextF(STATUS_TOOL, "%iスレッドで計算中", threadCount);
}

void Recompute(HWND window)
{
    needsRender = 0;  // a paint nested in the time box only redraws
    ShowViewInStatusBar();

    const FractalView& v = currentView;
    const std::time_t start = std::time(nullptr);
    RenderView(v.Xmin, v.Ymin, v.Xmax, v.Ymax, imageWidth, imageHeight, imagePixels);
    const std::time_t end = std::time(nullptr);

    if (recordHistory == 1)
        PushHistory();
    HMENU menu = GetMenu(window);
    CheckChoice(menu, COLOR_ITEMS, v.colorCount);
    CheckChoice(menu, ITERATION_ITEMS, v.iterLimit);

    std::snprintf(statusText, sizeof statusText, "計算時間 %i秒", static_cast<int>(end - start));
    ShowMessage(window, statusText);
}

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

LRESULT OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    // No buffer only while a failed re-creation reports before the window
    // closes: nothing to compute into.
    if (needsRender == 1 && imagePixels)
        Recompute(window);
    UpdateHistoryMenu(GetMenu(window));

    int32_t barWidth, barHeight;
    GetClientSize(statusBar, &barWidth, &barHeight);
    StretchBlt(dc, 0, 0, clientWidth, clientHeight - barHeight, imageDC, 0, 0, imageWidth,
               imageHeight, SRCCOPY);
    EndPaint(window, &paint);

    ShowToolStatus();
    return 0;
}

LRESULT OnTimer(HWND window)
{
    InvalidateRect(window, nullptr, TRUE);
    return 0;
}
