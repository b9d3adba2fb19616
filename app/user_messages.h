// The program's message boxes, all owned by the main window. "Message" boxes
// carry Yes/No buttons and a question icon whatever they say, and their
// answer is not read; errors carry the caption "Error" and an OK button.
#pragma once

#include <windows.h>

void ShowMessage(HWND owner, const char* text);
void ShowError(HWND owner, const char* text);
