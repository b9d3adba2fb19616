// The save command: asks for a file name and writes the image as a Windows
// bitmap file. The viewer-command half of image/: window thread only.
#pragma once

#include <windows.h>

void SaveImageAs(HWND mainWindow);
