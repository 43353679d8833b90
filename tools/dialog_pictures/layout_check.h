// Faults of a dialog's layout as the window system lays it out: texts that
// do not fit their control, controls that overlap or leave the dialog.
#pragma once

#include <windows.h>

namespace pictures {

// Checks the controls of `dialog` (its direct children, as they are now:
// texts the dialog procedure set included), reports each fault on stderr
// prefixed with `name`, and returns the number of faults.
int CheckLayout(HWND dialog, const char *name);

}  // namespace pictures
