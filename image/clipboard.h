// The copy command: puts the image, at its own size, on the clipboard as a
// CF_BITMAP and says so. The viewer-command half of image/: window thread
// only.
#pragma once

#include <windows.h>

extern HDC clipboardDC;          // kept after a copy that could not make its bitmap
extern HBITMAP clipboardBitmap;  // the last bitmap made; the clipboard owns it once handed over

void CopyImageToClipboard(HWND mainWindow);
