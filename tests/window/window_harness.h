// Drives the real main window in the test's own process, through the same
// registration and creation code as WinMain. Every modal window the program
// opens (message boxes, its dialogs, the Save As dialog) is seen by a CBT
// hook on this thread, recorded, and answered by pressing a button, as the
// user would.
#pragma once

#include <windows.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

// CP932 literals, as the program's own texts.
struct SeenBox {
    std::string caption;
    std::string text;
    bool hasYesNo = false;
    bool hasOk = false;
    bool questionIcon = false;
    std::array<std::string, 7> status;  // the status bar while the box was open

    // MB_YESNO | MB_ICONQUESTION, the style of every "Message" box.
    bool IsQuestionBox() const { return hasYesNo && !hasOk && questionIcon; }
};

class WindowHarness {
public:
    WindowHarness();
    ~WindowHarness();

    // Registers the class, creates, shows and paints the window (the first
    // paint computes and shows the time box, answered here).
    HWND Start();

    // Sends a command as the menu would and lets the window paint.
    void Command(UINT id);
    void Paint();  // delivers a pending paint now
    void MouseMove(int x, int y);
    void Press();
    void Release();

    // The Save As dialog is answered by this action (once).
    void OnSaveDialog(std::function<void(HWND)> action);

    // A dialog with this caption is answered by this action (it may fill
    // edit boxes and must press a button); used once per dialog shown.
    void OnDialog(const std::string& caption, std::function<void(HWND)> action);

    std::string StatusText(int part) const;
    bool IsChecked(UINT id) const;
    bool IsGrayed(UINT id) const;
    std::string MenuLabel(UINT id) const;

    const std::vector<SeenBox>& Boxes() const { return boxes_; }
    void ClearBoxes() { boxes_.clear(); }

    HWND window = nullptr;
    std::vector<HWND> destroyed;
    // Uncover and repaint the main window while each message box is open.
    bool repaintUnderBoxes = false;  // windows in the order they were destroyed

private:
    static LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam);
    void Answer(HWND box);

    HHOOK hook_ = nullptr;
    std::vector<SeenBox> boxes_;
    std::vector<std::pair<std::string, std::function<void(HWND)>>> dialogActions_;
    std::function<void(HWND)> saveAction_;
    std::vector<HWND> answered_;
};

// System metrics of a 640 x 480 screen with a second one to its left, for
// ReadSystemMetric: the virtual desktop is 1280 x 480 from x = -640.
int WINAPI TwoMonitors(int index);

// The file-name box of the Save As dialog.
const int SAVE_FILE_NAME_ID = 0x47C;

// Presses a dialog button the way a click would.
void PressButton(HWND dialog, int id);

std::string WindowText(HWND window);
