// Image-size commands (see size_commands.h). A new size re-creates the image
// buffer and refits the view by how the image's shape changed: relatively
// wider keeps the Y span, relatively taller keeps the X span. Size changes
// are redrawn but not recorded in the history. A size whose buffer cannot be
// had leaves the session as it was.
#include "app/size_commands.h"

#include "app/dialogs.h"
#include "app/resource.h"
#include "app/window_services.h"
#include "image/bitmap_file.h"
#include "image/image_buffer.h"
#include "view/geometry.h"
#include "view/view_state.h"

namespace {

bool IsAtLeastAsWide(int32_t width, int32_t height, int32_t otherWidth, int32_t otherHeight)
{
    return static_cast<double>(width) / height >= static_cast<double>(otherWidth) / otherHeight;
}

// The group's items stand for themselves.
void CheckSizeItem(HMENU menu, UINT checked)
{
    static const MenuChoice ITEMS[] = {{IDM_SIZE_DESKTOP, IDM_SIZE_DESKTOP},
                                       {IDM_SIZE_SCREEN, IDM_SIZE_SCREEN},
                                       {IDM_SIZE_CUSTOM, IDM_SIZE_CUSTOM}};
    CheckOneOf(menu, ITEMS, static_cast<int32_t>(checked));
}

// Re-creates the image at the new size and refits the view to it. When the
// buffer cannot be had, everything stays as it was; only an image that had
// to be made again is recomputed (the same view, not recorded).
bool ChangeImageSize(HWND mainWindow, int32_t width, int32_t height)
{
    const int32_t previousWidth = imageWidth, previousHeight = imageHeight;
    const ImageResize outcome = ResizeImageBuffer(mainWindow, width, height);
    if (outcome == ImageResize::Resized)
        FitViewToAspect(width, height, IsAtLeastAsWide(width, height, previousWidth, previousHeight));
    if (outcome == ImageResize::Resized || outcome == ImageResize::RemadePrevious)
        RequestRender(mainWindow, false);
    return outcome == ImageResize::Resized;
}

void UseFixedSize(HWND mainWindow, HMENU menu, int32_t width, int32_t height, UINT item)
{
    if (ChangeImageSize(mainWindow, width, height))
        CheckSizeItem(menu, item);
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
    int32_t width, height;
    if (!RunImageSizeDialog(mainWindow, &width, &height))
        return;
    if (ChangeImageSize(mainWindow, static_cast<int32_t>(RoundUpImageWidth(width)), height) &&
        HasSeveralMonitors())
        CheckSizeItem(menu, IDM_SIZE_CUSTOM);
}

void MaximizeOverAllMonitors(HWND mainWindow)
{
    MoveWindow(mainWindow, ReadSystemMetric(SM_XVIRTUALSCREEN), ReadSystemMetric(SM_YVIRTUALSCREEN),
               desktopWidth, desktopHeight, TRUE);
}
