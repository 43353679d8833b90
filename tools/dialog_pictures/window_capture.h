// Finding the dialogs of this process on the screen and saving them as
// pictures: what the watcher thread of dialog_pictures does with a window.
#pragma once

#include <windows.h>

#include <string>

namespace pictures {

// The visible, enabled top-level window of this process with this caption
// (a modal dialog's owner is disabled, so a dialog under another one is not
// found until that one closes); waits up to `timeoutMs`; null if none came.
HWND WaitForDialog(const char *caption, DWORD timeoutMs);

// Waits until `window` is gone or hidden; false after `timeoutMs`.
bool WaitForClose(HWND window, DWORD timeoutMs);

// Activates the window, has its thread paint it and saves what the screen
// shows of it, once two captures in a row agree, as a 24-bit BMP file.
bool SaveWindowPicture(HWND window, const std::string &path);

}  // namespace pictures
