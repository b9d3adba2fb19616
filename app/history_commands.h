// The Back and Forward commands and their menu items, on top of the view
// history ring. Window thread only.
#pragma once

#include <windows.h>

// Enables Back when an older entry lies behind the cursor and Forward when
// the cursor is behind the newest entry.
void UpdateHistoryMenu(HMENU menu);

void GoBack(HWND mainWindow);
void GoForward(HWND mainWindow);
