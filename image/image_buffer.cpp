// Image buffer creation and release (see image_buffer.h).
#include "image/image_buffer.h"

#include "app/user_messages.h"
#include "image/bitmap_file.h"
#include "view/view_state.h"

BITMAPINFOHEADER imageHeader;
HBITMAP imageBitmap;
uint32_t* imagePixels;
HDC imageDC;

void ReleaseImageBuffer()
{
    if (imageDC)
        DeleteDC(imageDC);  // also ends the bitmap's selection
    if (imageBitmap)
        DeleteObject(imageBitmap);
    imageDC = nullptr;
    imageBitmap = nullptr;
    imagePixels = nullptr;
}

bool CreateImageBuffer(HWND mainWindow)
{
    ReleaseImageBuffer();

    imageHeader = {};
    imageHeader.biSize = sizeof imageHeader;
    imageHeader.biWidth = imageWidth;
    imageHeader.biHeight = imageHeight;  // positive: rows stored bottom-up
    imageHeader.biPlanes = 1;
    imageHeader.biBitCount = 32;
    imageHeader.biCompression = BI_RGB;

    // A size the bitmap file cannot describe never gets a buffer.
    void* bits = nullptr;
    if (IsValidImageSize(imageWidth, imageHeight))
        imageBitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&imageHeader),
                                       DIB_RGB_COLORS, &bits, nullptr, 0);
    imagePixels = static_cast<uint32_t*>(bits);
    if (!imagePixels) {
        ShowMessage(mainWindow, "メモリが不足しています。");
        SendMessageA(mainWindow, WM_CLOSE, 0, 0);
        return false;
    }

    HDC windowDC = GetDC(mainWindow);
    imageDC = CreateCompatibleDC(windowDC);
    ReleaseDC(mainWindow, windowDC);
    SelectObject(imageDC, imageBitmap);
    return true;
}
