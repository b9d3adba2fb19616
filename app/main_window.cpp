// Main window life cycle and message dispatch (see main_window.h). Painting
// is in render_cycle.cpp, commands in commands.cpp, the mouse in
// mouse_tools.cpp.
#include "app/main_window.h"

#include <commctrl.h>

#include <cstdio>

#include "app/commands.h"
#include "app/mouse_tools.h"
#include "app/render_cycle.h"
#include "app/resource.h"
#include "app/window_services.h"
#include "image/image_buffer.h"
#include "view/geometry.h"
#include "view/history.h"
#include "view/view_state.h"

namespace {

const char CLASS_NAME[] = "mandel";
const int VIEW_MENU_POSITION = 2;

// The virtual desktop exists from Windows 98 and Windows 2000 on.
bool HasVirtualDesktop()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    return (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && version.dwMajorVersion == 4 &&
            version.dwMinorVersion >= 10) ||
           (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5);
}

void AppendViewMenuItem(HMENU viewMenu, UINT id, const char* format, int32_t width, int32_t height)
{
    char text[64];
    std::snprintf(text, sizeof text, format, width, height);
    AppendMenuA(viewMenu, MF_STRING, id, text);
}

LRESULT OnCreate(HWND window)
{
    StartHistory();
    const bool virtualDesktop = HasVirtualDesktop();
    screenWidth = ReadSystemMetric(SM_CXSCREEN);
    screenHeight = ReadSystemMetric(SM_CYSCREEN);
    desktopWidth = virtualDesktop ? ReadSystemMetric(SM_CXVIRTUALSCREEN) : screenWidth;
    desktopHeight = virtualDesktop ? ReadSystemMetric(SM_CYVIRTUALSCREEN) : screenHeight;
    imageWidth = desktopWidth;
    imageHeight = desktopHeight;
    FitViewToAspect(imageWidth, imageHeight, true);
    StoreStartBounds();
    if (!CreateImageBuffer(window))
        return 0;

    CreateStatusBar(window, instanceHandle);
    SendMessageA(statusBar, SB_SETPARTS, STATUS_PARTS, reinterpret_cast<LPARAM>(STATUS_PART_EDGES));
    GetClientSize(window, &clientWidth, &clientHeight);
    ShowWindow(statusBar, SW_SHOW);

    HMENU menu = GetMenu(window);
    CheckMenuItem(menu, IDM_ITER_64, MF_CHECKED);
    HMENU viewMenu = GetSubMenu(menu, VIEW_MENU_POSITION);
    AppendViewMenuItem(viewMenu, IDM_SIZE_SCREEN, "ｲﾒｰｼﾞｻｲｽﾞ %i*%i (&P)", screenWidth,
                       screenHeight);
    if (HasSeveralMonitors()) {
        AppendViewMenuItem(viewMenu, IDM_SIZE_DESKTOP, "ｲﾒｰｼﾞｻｲｽﾞ %i*%i (&D)", desktopWidth,
                           desktopHeight);
        AppendMenuA(viewMenu, MF_STRING, IDM_MAXIMIZE_ALL, "ﾏﾙﾁﾓﾆﾀｰ全体で最大化(&W)");
        CheckMenuItem(menu, IDM_SIZE_DESKTOP, MF_CHECKED);
    }
    CheckMenuItem(menu, IDM_THREADS_1, MF_CHECKED);
    return 0;
}

LRESULT OnSize(WPARAM wParam, LPARAM lParam)
{
    clientWidth = LOWORD(lParam);
    clientHeight = HIWORD(lParam);
    SendMessageA(statusBar, WM_SIZE, wParam, lParam);  // the bar lays itself out
    return 0;
}

LRESULT OnClose(HWND window)
{
    DestroyWindow(statusBar);
    statusBar = nullptr;
    DestroyWindow(window);
    return 0;
}

LRESULT OnDestroy()
{
    ReleaseImageBuffer();
    PostQuitMessage(0);
    return 0;
}

}  // namespace

bool RegisterMainWindowClass(HINSTANCE instance)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    WNDCLASSA windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszMenuName = "IDM_MENU";
    windowClass.lpszClassName = CLASS_NAME;
    return RegisterClassA(&windowClass) != 0;
}

HWND CreateMainWindow(HINSTANCE instance)
{
    return CreateWindowExA(0, CLASS_NAME, "Mandelbrot", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance,
                           nullptr);
}

int RunMessageLoop()
{
    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

HWND CreateStatusBar(HWND parent, HINSTANCE instance)
{
    statusBar = CreateWindowExA(0, STATUSCLASSNAMEA, nullptr,
                                WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | CCS_BOTTOM, 0, 0, 0, 0,
                                parent, reinterpret_cast<HMENU>(IDC_STATUSBAR), instance, nullptr);
    return statusBar;
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    instanceHandle = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    switch (message) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_DESTROY:
        return OnDestroy();
    case WM_SIZE:
        return OnSize(wParam, lParam);
    case WM_PAINT:
        return OnPaint(window);
    case WM_CLOSE:
        return OnClose(window);
    case WM_COMMAND:
        return OnCommand(window, LOWORD(wParam));
    case WM_TIMER:
        return OnTimer(window);
    case WM_MOUSEMOVE:
        return OnMouseMove(window, lParam);
    case WM_LBUTTONDOWN:
        return OnLeftButtonDown(window);
    case WM_LBUTTONUP:
        return OnLeftButtonUp(window);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
