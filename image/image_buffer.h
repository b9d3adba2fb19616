// The image buffer: a bottom-up 32-bit DIB section that the strip renderer
// writes directly and GDI draws from through the memory DC imageDC. Created
// at start-up and by the image-size commands, released at window
// destruction. The viewer-command half of image/: window thread only (workers write imagePixels inside
// RenderView while the window thread waits there).
#pragma once

#include <windows.h>

#include <cstdint>

extern BITMAPINFOHEADER imageHeader;
extern HBITMAP imageBitmap;
extern uint32_t* imagePixels;  // imageWidth x imageHeight words, bottom row first
extern HDC imageDC;

// Makes the start-up buffer for imageWidth x imageHeight. On failure it
// tells the user that memory is insufficient, closes the main window and
// returns false: the caller's step ends there.
bool CreateImageBuffer(HWND mainWindow);

enum class ImageResize {
    Resized,         // the buffer and imageWidth x imageHeight have the new size
    RemadePrevious,  // no new buffer; the previous size was made again, blank
    Closed,          // no buffer at all: the main window is being closed
};

// Re-creates the buffer at a new size, keeping the previous one until the new
// one exists. When a 32-bit process cannot hold both, the previous one is
// released and the new one tried alone; when that fails too, the previous
// size is made again (or, with none before, the window closes). Every outcome
// but Resized has shown the memory message.
ImageResize ResizeImageBuffer(HWND mainWindow, int32_t width, int32_t height);

// The bitmap is made through this pointer, so that tests can refuse it as a
// process out of address space would; it is CreateDIBSection in the program.
extern HBITMAP(WINAPI* CreateImageSection)(HDC dc, const BITMAPINFO* info, UINT usage,
                                           void** bits, HANDLE section, DWORD offset);
// The memory DC likewise, so that tests can refuse it as GDI short of
// resources would; it is CreateCompatibleDC in the program.
extern HDC(WINAPI* CreateImageDC)(HDC dc);

void ReleaseImageBuffer();
