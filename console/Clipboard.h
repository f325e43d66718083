// Text handed to other programs through the clipboard.
#pragma once

#include <string>

#include <windows.h>

// Replaces the clipboard's contents with the text (CF_UNICODETEXT), owned by hOwner, so
// that every program pastes the same characters whatever its code page. Another program
// may hold the clipboard for a moment, so it is tried again for up to about 100 ms. False,
// with the clipboard as it was, when it stayed held; false also when the system could not
// take the text. The clipboard is never left open.
bool CopyTextToClipboard(HWND hOwner, const std::wstring& text);
