// View and setting commands (see view_commands.h).
#include "app/view_commands.h"

#include "app/dialogs.h"
#include "app/mouse_tools.h"
#include "app/resource.h"
#include "app/window_services.h"
#include "view/geometry.h"
#include "view/view_state.h"

void SetColorCount(HWND mainWindow, int32_t colors)
{
    currentView.colorCount = colors;
    RequestRender(mainWindow, true);
}

void SetIterationLimit(HWND mainWindow, int32_t limit)
{
    currentView.iterLimit = limit;
    RequestRender(mainWindow, true);
}

void ZoomOut(HWND mainWindow)
{
    ZoomOutView();
    RequestRender(mainWindow, true);
    SelectZoomOutTool();
}

void EditCoordinates(HWND mainWindow)
{
    if (!RunCoordinatesDialog(mainWindow))
        return;
    const FractalView& v = currentView;
    const bool keepYSpan = static_cast<double>(imageWidth) / imageHeight >=
                           (v.Xmax - v.Xmin) / (v.Ymax - v.Ymin);
    FitViewToAspect(imageWidth, imageHeight, keepYSpan);
    RequestRender(mainWindow, true);
}

void SetThreadCount(HMENU menu, int32_t threads)
{
    static const MenuChoice ITEMS[] = {
        {1, IDM_THREADS_1}, {2, IDM_THREADS_2}, {4, IDM_THREADS_4}, {8, IDM_THREADS_8}};
    threadCount = threads;
    CheckOneOf(menu, ITEMS, threads);
}
