// A stand-in for the device manager: the properties of one PCI card, with
// the pages that Ktz3649.dll's page provider adds to them.
#pragma once

#include <windows.h>

#include <ktz3649.h>

namespace pictures {

// The page provider as Ktz3649.dll exports it.
using PageProvider = decltype(&KtxDevicePropPage);

// Asks `provider`, loaded from `library`, for the pages of the card at `bus`
// and `slot` and shows them in a modal property sheet titled `caption`.
// Returns what PropertySheetA returns (0 when closed by Cancel), or -2 when
// the provider added no page.
INT_PTR ShowDeviceProperties(HMODULE library, PageProvider provider, DWORD bus, DWORD slot,
                             const char *caption);

}  // namespace pictures
