#include "window_harness.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "app/main_window.h"
#include "app/window_services.h"

namespace {

WindowHarness* current;

const int MESSAGE_BOX_TEXT_ID = 0xFFFF;
const int MESSAGE_BOX_ICON_ID = 0x0440;

bool IsDialogClass(HWND window)
{
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    return std::string(name) == "#32770";
}

}  // namespace

std::string WindowText(HWND window)
{
    std::string text(GetWindowTextLengthA(window) * 2 + 2, '\0');
    text.resize(GetWindowTextA(window, &text[0], static_cast<int>(text.size())));
    return text;
}

int WINAPI TwoMonitors(int index)
{
    switch (index) {
    case SM_CXSCREEN: return 640;
    case SM_CYSCREEN: return 480;
    case SM_CXVIRTUALSCREEN: return 1280;
    case SM_CYVIRTUALSCREEN: return 480;
    case SM_XVIRTUALSCREEN: return -640;
    case SM_YVIRTUALSCREEN: return 0;
    default: return GetSystemMetrics(index);
    }
}

void PressButton(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

WindowHarness::WindowHarness()
{
    current = this;
    hook_ = SetWindowsHookExA(WH_CBT, CbtHook, nullptr, GetCurrentThreadId());
}

WindowHarness::~WindowHarness()
{
    if (window && IsWindow(window))
        DestroyWindow(window);
    UnhookWindowsHookEx(hook_);
    current = nullptr;
}

LRESULT CALLBACK WindowHarness::CbtHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && current && IsDialogClass(reinterpret_cast<HWND>(wParam)))
        current->Answer(reinterpret_cast<HWND>(wParam));
    if (code == HCBT_DESTROYWND && current)
        current->destroyed.push_back(reinterpret_cast<HWND>(wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void WindowHarness::Answer(HWND box)
{
    SeenBox seen;
    seen.caption = WindowText(box);
    if (saveAction_ && GetDlgItem(box, SAVE_FILE_NAME_ID)) {
        auto action = std::move(saveAction_);
        saveAction_ = nullptr;
        action(box);
        return;
    }
    // A dialog activated again after a box of its own closed takes the next
    // action queued for it.
    for (size_t i = 0; i < dialogActions_.size(); ++i) {
        if (dialogActions_[i].first == seen.caption) {
            auto action = dialogActions_[i].second;
            dialogActions_.erase(dialogActions_.begin() + i);
            action(box);
            return;
        }
    }
    if (std::find(answered_.begin(), answered_.end(), box) != answered_.end())
        return;
    answered_.push_back(box);
    seen.text = WindowText(GetDlgItem(box, MESSAGE_BOX_TEXT_ID));
    seen.hasYesNo = GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO);
    seen.hasOk = GetDlgItem(box, IDOK) != nullptr;
    const HICON icon = reinterpret_cast<HICON>(
        SendDlgItemMessageA(box, MESSAGE_BOX_ICON_ID, STM_GETICON, 0, 0));
    seen.questionIcon = icon && icon == LoadIcon(nullptr, IDI_QUESTION);
    for (int part = 0; part < 7; ++part)
        seen.status[part] = StatusText(part);
    boxes_.push_back(seen);
    if (repaintUnderBoxes && window && IsWindow(window)) {
        InvalidateRect(window, nullptr, TRUE);
        UpdateWindow(window);
    }
    PressButton(box, seen.hasYesNo ? IDYES : seen.hasOk ? IDOK : IDCANCEL);
}

HWND WindowHarness::Start()
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    RegisterMainWindowClass(instance);
    window = CreateMainWindow(instance);
    if (window) {
        ShowWindow(window, SW_SHOWNOACTIVATE);
        UpdateWindow(window);
    }
    return window;
}

void WindowHarness::Command(UINT id)
{
    SendMessageA(window, WM_COMMAND, id, 0);
    Paint();
}

void WindowHarness::Paint()
{
    if (window && IsWindow(window))
        UpdateWindow(window);
}

void WindowHarness::MouseMove(int x, int y)
{
    SendMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
}

void WindowHarness::Press()
{
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
}

void WindowHarness::Release()
{
    SendMessageA(window, WM_LBUTTONUP, 0, 0);
    Paint();
}

void WindowHarness::OnSaveDialog(std::function<void(HWND)> action)
{
    saveAction_ = std::move(action);
}

void WindowHarness::OnDialog(const std::string& caption, std::function<void(HWND)> action)
{
    dialogActions_.emplace_back(caption, std::move(action));
}

std::string WindowHarness::StatusText(int part) const
{
    // Wine reports the length in UTF-16 units, not bytes: allow two bytes each.
    const LRESULT length = SendMessageA(statusBar, SB_GETTEXTLENGTHA, part, 0);
    std::string text(LOWORD(length) * 2 + 2, '\0');
    SendMessageA(statusBar, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(std::strlen(text.c_str()));
    return text;
}

bool WindowHarness::IsChecked(UINT id) const
{
    return (GetMenuState(GetMenu(window), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

bool WindowHarness::IsGrayed(UINT id) const
{
    return (GetMenuState(GetMenu(window), id, MF_BYCOMMAND) & MF_GRAYED) != 0;
}

std::string WindowHarness::MenuLabel(UINT id) const
{
    char label[128] = "";
    GetMenuStringA(GetMenu(window), id, label, sizeof label, MF_BYCOMMAND);
    return label;
}
