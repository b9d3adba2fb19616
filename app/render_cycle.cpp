// The paint handler and the recompute inside it (see render_cycle.h).
#include "app/render_cycle.h"

#include <cstdio>
#include <ctime>

#include "app/history_commands.h"
#include "app/resource.h"
#include "app/window_services.h"
#include "engine/strips.h"
#include "image/image_buffer.h"
#include "image/user_messages.h"
#include "view/history.h"
#include "view/view_state.h"

namespace {

const MenuChoice COLOR_ITEMS[] = {
    {64, IDM_COLORS_64}, {512, IDM_COLORS_512}, {4096, IDM_COLORS_4096}, {32768, IDM_COLORS_32768}};
const MenuChoice ITERATION_ITEMS[] = {
    {64, IDM_ITER_64}, {512, IDM_ITER_512}, {4096, IDM_ITER_4096}, {32768, IDM_ITER_32768}};

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
    CheckOneOf(menu, COLOR_ITEMS, v.colorCount);
    CheckOneOf(menu, ITERATION_ITEMS, v.iterLimit);

    char timeText[STATUS_TEXT_SIZE];
    std::snprintf(timeText, sizeof timeText, "計算時間 %i秒", static_cast<int>(end - start));
    ShowMessage(window, timeText);
}

}  // namespace

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
