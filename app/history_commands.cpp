// History menu items and commands (see history_commands.h).
#include "app/history_commands.h"

#include "app/resource.h"
#include "app/window_services.h"
#include "view/history.h"

void UpdateHistoryMenu(HMENU menu)
{
    EnableMenuItem(menu, IDM_BACK, MF_BYCOMMAND | (CanStepBack() ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(menu, IDM_FORWARD, MF_BYCOMMAND | (CanStepForward() ? MF_ENABLED : MF_GRAYED));
}

void GoBack(HWND mainWindow)
{
    if (StepBack())
        RequestRender(mainWindow, false);
}

void GoForward(HWND mainWindow)
{
    if (StepForward())
        RequestRender(mainWindow, false);
}
