// The save command: asks for a file name and writes the image as a Windows
// bitmap file. Window thread only.
#pragma once

#include <windows.h>

void SaveImageAs(HWND mainWindow);
