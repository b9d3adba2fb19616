// Save as a bitmap file (see save_command.h). The file is written by the same
// writer as mandel-render's; a file that cannot be created or written
// completely is reported and never left behind half-written.
#include "image/save_command.h"

#include <commdlg.h>

#include "image/user_messages.h"
#include "image/bitmap_file.h"
#include "image/image_buffer.h"
#include "view/view_state.h"

void SaveImageAs(HWND mainWindow)
{
    static const char FILTER[] = "Windows DIB (*.bmp)\0*.bmp\0";
    char path[MAX_PATH] = "";

    OPENFILENAMEA dialog = {};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = mainWindow;
    dialog.lpstrFilter = FILTER;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    if (!GetSaveFileNameA(&dialog)) {
        if (CommDlgExtendedError() != 0)  // a failure, not the user's cancel
            ShowError(mainWindow, "保存できませんでした。");
        return;
    }
    if (WriteBitmapFile(path, imageWidth, imageHeight, imagePixels) != BitmapWriteResult::Written)
        ShowError(mainWindow, "保存できませんでした。");
}
