// Image-size commands (see size_commands.h). A new size re-creates the image
// buffer and refits the view by how the image's shape changed: relatively
// wider keeps the Y span, relatively taller keeps the X span. Size changes
// are redrawn but not recorded in the history.
#include "app/size_commands.h"

#include <initializer_list>

#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/resource.h"
#include "image/bitmap_file.h"
#include "image/image_buffer.h"
#include "view/geometry.h"
#include "view/view_state.h"

namespace {

bool IsAtLeastAsWide(int32_t width, int32_t height, int32_t otherWidth, int32_t otherHeight)
{
    return static_cast<double>(width) / height >= static_cast<double>(otherWidth) / otherHeight;
}

void CheckSizeItem(HMENU menu, UINT checked)
{
    for (UINT id : {IDM_SIZE_DESKTOP, IDM_SIZE_SCREEN, IDM_SIZE_CUSTOM})
        CheckMenuItem(menu, id, id == checked ? MF_CHECKED : MF_UNCHECKED);
}

void UseFixedSize(HWND mainWindow, HMENU menu, int32_t width, int32_t height, UINT item)
{
    FitViewToAspect(width, height, IsAtLeastAsWide(width, height, imageWidth, imageHeight));
    imageWidth = width;
    imageHeight = height;
    if (!CreateImageBuffer(mainWindow))
        return;
    needsRender = 1;
    CheckSizeItem(menu, item);
    InvalidateRect(mainWindow, nullptr, TRUE);
}

}  // namespace

void UseScreenSize(HWND mainWindow, HMENU menu)
{
    UseFixedSize(mainWindow, menu, screenWidth, screenHeight, IDM_SIZE_SCREEN);
}

void UseDesktopSize(HWND mainWindow, HMENU menu)
{
    UseFixedSize(mainWindow, menu, desktopWidth, desktopHeight, IDM_SIZE_DESKTOP);
}

void EditImageSize(HWND mainWindow, HMENU menu)
{
    const int32_t previousWidth = imageWidth, previousHeight = imageHeight;
    if (DialogBoxParamA(instanceHandle, "SCR_DLG", mainWindow, ScrDlgProc, 0) <= 0)
        return;
    imageWidth = static_cast<int32_t>(RoundUpImageWidth(imageWidth));
    needsRender = 1;
    if (!CreateImageBuffer(mainWindow))
        return;
    FitViewToAspect(imageWidth, imageHeight,
                    IsAtLeastAsWide(imageWidth, imageHeight, previousWidth, previousHeight));
    InvalidateRect(mainWindow, nullptr, TRUE);
    if (HasSeveralMonitors())
        CheckSizeItem(menu, IDM_SIZE_CUSTOM);
}

void MaximizeOverAllMonitors(HWND mainWindow)
{
    MoveWindow(mainWindow, ReadSystemMetric(SM_XVIRTUALSCREEN), ReadSystemMetric(SM_YVIRTUALSCREEN),
               desktopWidth, desktopHeight, TRUE);
}
