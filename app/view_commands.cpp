// View and setting commands (see view_commands.h).
#include "app/view_commands.h"

#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/render_cycle.h"
#include "app/resource.h"
#include "view/geometry.h"
#include "view/view_state.h"

namespace {

// Redraw the changed view and record it once drawn.
void RenderAndRecord(HWND mainWindow)
{
    needsRender = 1;
    recordHistory = 1;
    InvalidateRect(mainWindow, nullptr, TRUE);
}

}  // namespace

void SetColorCount(HWND mainWindow, int32_t colors)
{
    currentView.colorCount = colors;
    RenderAndRecord(mainWindow);
}

void SetIterationLimit(HWND mainWindow, int32_t limit)
{
    currentView.iterLimit = limit;
    RenderAndRecord(mainWindow);
}

void ZoomOut(HWND mainWindow)
{
    ZoomOutView();
    RenderAndRecord(mainWindow);
    activeTool = IDM_ZOOM_OUT;  // ends any mouse tool
    SetStatusText(STATUS_TOOL, "ズームアウト");
}

void EditCoordinates(HWND mainWindow)
{
    if (!RunCoordinatesDialog(mainWindow))
        return;
    const FractalView& v = currentView;
    const bool keepYSpan = static_cast<double>(imageWidth) / imageHeight >=
                           (v.Xmax - v.Xmin) / (v.Ymax - v.Ymin);
    needsRender = 1;
    recordHistory = 1;
    FitViewToAspect(imageWidth, imageHeight, keepYSpan);
    InvalidateRect(mainWindow, nullptr, TRUE);
}

void SetThreadCount(HMENU menu, int32_t threads)
{
    static const struct {
        int32_t threads;
        UINT id;
    } ITEMS[] = {{1, IDM_THREADS_1}, {2, IDM_THREADS_2}, {4, IDM_THREADS_4}, {8, IDM_THREADS_8}};
    threadCount = threads;
    for (const auto& item : ITEMS)
        CheckMenuItem(menu, item.id, item.threads == threads ? MF_CHECKED : MF_UNCHECKED);
}
