// The image buffer: a bottom-up 32-bit DIB section that the strip renderer
// writes directly and GDI draws from through the memory DC imageDC. Created
// at start-up and by the image-size commands, released at window
// destruction; window thread only (workers write imagePixels inside
// RenderView while the window thread waits there).
#pragma once

#include <windows.h>

#include <cstdint>

extern BITMAPINFOHEADER imageHeader;
extern HBITMAP imageBitmap;
extern uint32_t* imagePixels;  // imageWidth x imageHeight words, bottom row first
extern HDC imageDC;

// Makes the buffer for imageWidth x imageHeight, releasing the old one first.
// On failure it tells the user that memory is insufficient, closes the main
// window and returns false: the caller's step ends there.
bool CreateImageBuffer(HWND mainWindow);

void ReleaseImageBuffer();
