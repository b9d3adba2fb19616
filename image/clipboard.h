// The copy command: puts the image, at its own size, on the clipboard as a
// CF_BITMAP and says so. The viewer-command half of image/: window thread
// only.
#pragma once

#include <windows.h>

extern HDC clipboardDC;          // the DC a copy draws in; released before the copy returns
extern HBITMAP clipboardBitmap;  // the last bitmap made; the clipboard owns it once handed over

void CopyImageToClipboard(HWND mainWindow);

// The bitmap is made through this pointer, so that tests can refuse it as a
// 32-bit process short of memory does with a large image; it is
// CreateCompatibleBitmap in the program.
extern HBITMAP(WINAPI* CreateClipboardBitmap)(HDC dc, int width, int height);
