// Message boxes (see user_messages.h). Window thread only.
#include "image/user_messages.h"

void ShowMessage(HWND owner, const char* text)
{
    MessageBoxA(owner, text, "Message", MB_YESNO | MB_ICONQUESTION);
}

void ShowError(HWND owner, const char* text)
{
    MessageBoxA(owner, text, "Error", MB_OK);
}
