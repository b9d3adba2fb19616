// Save as a bitmap file (see save_command.h). The file is written by the same
// writer as mandel-render's; a file that cannot be created or written
// completely is reported and never left behind half-written. The dialog is
// the wide one, as the ANSI one hands back look-alikes ("best fit") for the
// characters the code page lacks, which name another file than the one typed
// (and asked about by the overwrite prompt); its name reaches the writer in
// UTF-8, as the writer takes names.
#include "image/save_command.h"

#include <commdlg.h>

#include <optional>
#include <string>

#include "image/user_messages.h"
#include "image/bitmap_file.h"
#include "image/image_buffer.h"
#include "view/view_state.h"

void SaveImageAs(HWND mainWindow)
{
    static const wchar_t FILTER[] = L"Windows DIB (*.bmp)\0*.bmp\0";
    wchar_t path[MAX_PATH] = L"";

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    dialog.hwndOwner = mainWindow;
    dialog.lpstrFilter = FILTER;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&dialog)) {
        if (CommDlgExtendedError() != 0)  // a failure, not the user's cancel
            ShowError(mainWindow, "保存できませんでした。");
        return;
    }
    const std::optional<std::string> name = FileNameFromWide(path);
    if (!name || WriteBitmapFile(name->c_str(), imageWidth, imageHeight, imagePixels) !=
                     BitmapWriteResult::Written)
        ShowError(mainWindow, "保存できませんでした。");
}
