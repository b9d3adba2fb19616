// Entry point of the viewer: registers the window class (first instance
// only), creates and shows the main window, whose first paint computes the
// default view, and runs the message loop. The command line is not read.
#include <windows.h>

#include "app/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR, int showCommand)
{
    if (!previousInstance && !RegisterMainWindowClass(instance))
        return 0;
    HWND window = CreateMainWindow(instance);
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return RunMessageLoop();
}
