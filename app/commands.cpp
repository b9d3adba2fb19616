// The command table (see commands.h). Commands never compute: a change of
// the view sets the render flags and invalidates, and the paint does the rest.
#include "app/commands.h"

#include "app/history_commands.h"
#include "app/mouse_tools.h"
#include "app/resource.h"
#include "app/size_commands.h"
#include "app/view_commands.h"
#include "image/clipboard.h"
#include "image/save_command.h"

LRESULT OnCommand(HWND window, UINT id)
{
    HMENU menu = GetMenu(window);
    switch (id) {
    case IDM_EXIT:          SendMessageA(window, WM_CLOSE, 0, 0); break;
    case IDM_COPY:          CopyImageToClipboard(window); break;
    case IDM_BACK:          GoBack(window); break;
    case IDM_FORWARD:       GoForward(window); break;
    case IDM_SAVE_AS:       SaveImageAs(window); break;
    case IDM_COLORS_64:     SetColorCount(window, 64); break;
    case IDM_COLORS_512:    SetColorCount(window, 512); break;
    case IDM_COLORS_4096:   SetColorCount(window, 4096); break;
    case IDM_COLORS_32768:  SetColorCount(window, 32768); break;
    case IDM_WINDOW_ZOOM:   SelectWindowZoomTool(); break;
    case IDM_MOVE:          SelectMoveTool(); break;
    case IDM_ZOOM_OUT:      ZoomOut(window); break;
    case IDM_ITER_64:       SetIterationLimit(window, 64); break;
    case IDM_ITER_512:      SetIterationLimit(window, 512); break;
    case IDM_ITER_4096:     SetIterationLimit(window, 4096); break;
    case IDM_ITER_32768:    SetIterationLimit(window, 32768); break;
    case IDM_SIZE_SCREEN:   UseScreenSize(window, menu); break;
    case IDM_SIZE_DESKTOP:  UseDesktopSize(window, menu); break;
    case IDM_MAXIMIZE_ALL:  MaximizeOverAllMonitors(window); break;
    case IDM_COORDINATES:   EditCoordinates(window); break;
    case IDM_SIZE_CUSTOM:   EditImageSize(window, menu); break;
    case IDM_THREADS_1:     SetThreadCount(menu, 1); break;
    case IDM_THREADS_2:     SetThreadCount(menu, 2); break;
    case IDM_THREADS_4:     SetThreadCount(menu, 4); break;
    case IDM_THREADS_8:     SetThreadCount(menu, 8); break;
    default:                DropMouseTool(); break;
    }
    return 0;
}
