// The two modal dialogs: "SCR_DLG" (image size) and "MANDEL_DLG" (plane
// bounds). They read and write the view and size variables directly; OK has
// stored every field before the dialog ends with 1, Cancel ends with 0.
#pragma once

#include <windows.h>

INT_PTR CALLBACK ScrDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK MandelDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
