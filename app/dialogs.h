// The two modal dialogs, each run by one function beside its procedure:
// "SCR_DLG" (image size) and "MANDEL_DLG" (plane bounds). Window thread only.
#pragma once

#include <windows.h>

#include <cstdint>

// Shows the current image size; true on OK, with the entered size (always
// one the image buffer can describe, the width not yet rounded) in width
// and height. Cancel changes nothing.
bool RunImageSizeDialog(HWND owner, int32_t* width, int32_t* height);

// Shows the current bounds; on OK stores what was entered into the current
// view and returns true. Cancel changes nothing.
bool RunCoordinatesDialog(HWND owner);
