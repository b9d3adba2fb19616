// The viewer's message boxes, all owned by the main window or a dialog of it.
// "Message" boxes carry Yes/No buttons and a question icon whatever they say,
// and their answer is not read; errors carry the caption "Error" and an OK
// button. The viewer-command half of image/, and a leaf that includes only
// <windows.h>: used by the other viewer commands here and by app/. Window
// thread only.
#pragma once

#include <windows.h>

void ShowMessage(HWND owner, const char* text);
void ShowError(HWND owner, const char* text);
