// Image buffer creation and release (see image_buffer.h).
#include "image/image_buffer.h"

#include "image/user_messages.h"
#include "image/bitmap_file.h"
#include "view/view_state.h"

BITMAPINFOHEADER imageHeader;
HBITMAP imageBitmap;
uint32_t* imagePixels;
HDC imageDC;
HBITMAP(WINAPI* CreateImageSection)(HDC, const BITMAPINFO*, UINT, void**, HANDLE,
                                    DWORD) = CreateDIBSection;
HDC(WINAPI* CreateImageDC)(HDC) = CreateCompatibleDC;

namespace {

struct Buffer {
    BITMAPINFOHEADER header;
    HBITMAP bitmap;
    uint32_t* pixels;
    HDC dc;
};

// A buffer of the given size, or one whose members are all null.
Buffer MakeBuffer(HWND mainWindow, int32_t width, int32_t height)
{
    Buffer made = {};
    made.header.biSize = sizeof made.header;
    made.header.biWidth = width;
    made.header.biHeight = height;  // positive: rows stored bottom-up
    made.header.biPlanes = 1;
    made.header.biBitCount = 32;
    made.header.biCompression = BI_RGB;

    // A size the bitmap file cannot describe never gets a buffer.
    if (!IsValidImageSize(width, height))
        return made;
    void* bits = nullptr;
    made.bitmap = CreateImageSection(nullptr, reinterpret_cast<BITMAPINFO*>(&made.header),
                                     DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!made.bitmap || !bits) {
        if (made.bitmap)
            DeleteObject(made.bitmap);
        return {};
    }
    HDC windowDC = GetDC(mainWindow);
    made.dc = CreateImageDC(windowDC);
    ReleaseDC(mainWindow, windowDC);
    if (!made.dc) {  // without it nothing could be drawn or copied: no buffer either
        DeleteObject(made.bitmap);
        return {};
    }
    made.pixels = static_cast<uint32_t*>(bits);
    SelectObject(made.dc, made.bitmap);
    return made;
}

void Install(const Buffer& buffer, int32_t width, int32_t height)
{
    imageHeader = buffer.header;
    imageBitmap = buffer.bitmap;
    imagePixels = buffer.pixels;
    imageDC = buffer.dc;
    imageWidth = width;
    imageHeight = height;
}

}  // namespace

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

ImageResize ResizeImageBuffer(HWND mainWindow, int32_t width, int32_t height)
{
    const bool hadBuffer = imagePixels != nullptr;
    Buffer made = MakeBuffer(mainWindow, width, height);
    if (!made.pixels && hadBuffer) {
        ReleaseImageBuffer();
        made = MakeBuffer(mainWindow, width, height);
    }
    if (made.pixels) {
        ReleaseImageBuffer();
        Install(made, width, height);
        return ImageResize::Resized;
    }

    if (hadBuffer)
        made = MakeBuffer(mainWindow, imageWidth, imageHeight);
    if (made.pixels)
        Install(made, imageWidth, imageHeight);
    const ImageResize outcome = made.pixels ? ImageResize::RemadePrevious : ImageResize::Closed;
    ShowMessage(mainWindow, "メモリが不足しています。");
    if (outcome == ImageResize::Closed)
        SendMessageA(mainWindow, WM_CLOSE, 0, 0);
    return outcome;
}

bool CreateImageBuffer(HWND mainWindow)
{
    return ResizeImageBuffer(mainWindow, imageWidth, imageHeight) == ImageResize::Resized;
}
