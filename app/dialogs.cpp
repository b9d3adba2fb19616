// Dialog procedures (see dialogs.h).
//
// Bounds are shown with "%f", six decimals, whole however long. A field whose
// text is unchanged on OK keeps its exact value, so confirming the dialog
// never snaps a deep zoom to six decimals; an edited field is read whole.
// An image size that no bitmap can hold is refused while the dialog stays
// open, so the previous size, image and history stay until a valid entry.
#include "app/dialogs.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/resource.h"
#include "app/user_messages.h"
#include "image/bitmap_file.h"
#include "view/view_state.h"

namespace {

struct BoundField {
    int id;
    double FractalView::*bound;
};
const BoundField BOUND_FIELDS[] = {{IDC_XMIN, &FractalView::Xmin},
                                   {IDC_XMAX, &FractalView::Xmax},
                                   {IDC_YMIN, &FractalView::Ymin},
                                   {IDC_YMAX, &FractalView::Ymax}};
std::string shownBounds[4];

std::string ItemText(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    std::string text(GetWindowTextLengthA(item) + 1, '\0');
    text.resize(GetWindowTextA(item, &text[0], static_cast<int>(text.size())));
    return text;
}

std::string Format(const char* format, double value)
{
    std::string text(std::snprintf(nullptr, 0, format, value) + 1, '\0');
    text.resize(std::snprintf(&text[0], text.size(), format, value));
    return text;
}

INT_PTR EndWith(HWND dialog, INT_PTR result)
{
    EndDialog(dialog, result);
    return result ? TRUE : FALSE;
}

}  // namespace

INT_PTR CALLBACK ScrDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        SetDlgItemTextA(dialog, IDC_WIDTH, std::to_string(imageWidth).c_str());
        SetDlgItemTextA(dialog, IDC_HEIGHT, std::to_string(imageHeight).c_str());
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK: {
        const long long width = std::strtoll(ItemText(dialog, IDC_WIDTH).c_str(), nullptr, 10);
        const long long height = std::strtoll(ItemText(dialog, IDC_HEIGHT).c_str(), nullptr, 10);
        if (width > INT32_MAX || !IsValidImageSize(RoundUpImageWidth(width), height)) {
            ShowError(dialog, "ｲﾒｰｼﾞｻｲｽﾞが正しくありません。");
            return TRUE;
        }
        imageWidth = static_cast<int32_t>(width);
        imageHeight = static_cast<int32_t>(height);
        return EndWith(dialog, 1);
    }
    case IDCANCEL:
        return EndWith(dialog, 0);
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK MandelDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        for (int i = 0; i < 4; ++i) {
            shownBounds[i] = Format("%f", currentView.*BOUND_FIELDS[i].bound);
            SetDlgItemTextA(dialog, BOUND_FIELDS[i].id, shownBounds[i].c_str());
        }
        return TRUE;
    }
    if (message != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
        for (int i = 0; i < 4; ++i) {
            const std::string text = ItemText(dialog, BOUND_FIELDS[i].id);
            if (text != shownBounds[i])
                currentView.*BOUND_FIELDS[i].bound = std::strtod(text.c_str(), nullptr);
        }
        return EndWith(dialog, 1);
    case IDCANCEL:
        return EndWith(dialog, 0);
    default:
        return FALSE;
    }
}
