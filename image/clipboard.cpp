// Clipboard copy (see clipboard.h). The bitmap is made compatible with the
// window's DC, so it has the display's colour format. The message box is shown
// while the clipboard is still open, as the program always has.
#include "image/clipboard.h"

#include "image/user_messages.h"
#include "image/image_buffer.h"
#include "view/view_state.h"

HDC clipboardDC;
HBITMAP clipboardBitmap;
HBITMAP(WINAPI* CreateClipboardBitmap)(HDC, int, int) = CreateCompatibleBitmap;

void CopyImageToClipboard(HWND mainWindow)
{
    if (!OpenClipboard(mainWindow))
        return;  // another program holds it
    HDC windowDC = GetDC(mainWindow);
    clipboardDC = CreateCompatibleDC(windowDC);
    clipboardBitmap = CreateClipboardBitmap(windowDC, imageWidth, imageHeight);
    if (clipboardDC && clipboardBitmap) {
        SelectObject(clipboardDC, clipboardBitmap);
        BitBlt(clipboardDC, 0, 0, imageWidth, imageHeight, imageDC, 0, 0, SRCCOPY);
        EmptyClipboard();
        SetClipboardData(CF_BITMAP, clipboardBitmap);
        DeleteDC(clipboardDC);  // the bitmap stays; it is the clipboard's now
        clipboardDC = nullptr;
        ShowMessage(mainWindow, "クリップボードにコピー");
    } else {
        // Either may have been made without the other.
        if (clipboardBitmap)
            DeleteObject(clipboardBitmap);
        if (clipboardDC)
            DeleteDC(clipboardDC);
        clipboardBitmap = nullptr;
        clipboardDC = nullptr;
        ShowMessage(mainWindow, "メモリ不足でクリップボードにコピーすることができませんでした。");
    }
    CloseClipboard();
    ReleaseDC(mainWindow, windowDC);
}
