// Dialog procedures and their runners (see dialogs.h).
//
// Bounds are shown with "%f", six decimals, whole however long. A field whose
// text is unchanged on OK keeps its exact value, so confirming the dialog
// never snaps a deep zoom to six decimals; an edited field is read whole, as
// a decimal number only (decimal_text.h). An image size that no bitmap can
// hold is refused while the dialog stays open, so the previous size, image
// and history stay until a valid entry.
#include "app/dialogs.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/resource.h"
#include "app/window_services.h"
#include "image/bitmap_file.h"
#include "image/user_messages.h"
#include "view/decimal_text.h"
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

struct ImageSize {
    int32_t width;
    int32_t height;
};

INT_PTR EndWith(HWND dialog, INT_PTR result)
{
    EndDialog(dialog, result);
    return result ? TRUE : FALSE;
}

// The entered size goes to the ImageSize passed at creation.
INT_PTR CALLBACK ScrDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
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
        ImageSize* entered = reinterpret_cast<ImageSize*>(GetWindowLongPtrA(dialog, DWLP_USER));
        entered->width = static_cast<int32_t>(width);
        entered->height = static_cast<int32_t>(height);
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
                currentView.*BOUND_FIELDS[i].bound = ReadDecimalPrefix(text.c_str());
        }
        return EndWith(dialog, 1);
    case IDCANCEL:
        return EndWith(dialog, 0);
    default:
        return FALSE;
    }
}

}  // namespace

bool RunImageSizeDialog(HWND owner, int32_t* width, int32_t* height)
{
    ImageSize entered = {};
    if (DialogBoxParamA(instanceHandle, "SCR_DLG", owner, ScrDlgProc,
                        reinterpret_cast<LPARAM>(&entered)) <= 0)
        return false;
    *width = entered.width;
    *height = entered.height;
    return true;
}

bool RunCoordinatesDialog(HWND owner)
{
    return DialogBoxParamA(instanceHandle, "MANDEL_DLG", owner, MandelDlgProc, 0) > 0;
}
