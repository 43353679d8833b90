// Numbered device properties, reached through DriverProc codes 107 to 109:
// values of the device record and the card's pacers that serve every
// family. These entry points check the handle as the exports do.
#pragma once

#include <windows.h>

#include <ktz3649.h>

namespace ktz::properties {

// Code 109: reads a property into `buffer` (NULL asks for its size only).
// `length` holds the buffer's size on entry and the property's on return.
DWORD Get(KTZHANDLE handle, WORD property, DWORD *length, LPVOID buffer);

// Code 108: writes a property from `length` bytes of `data`.
DWORD Set(KTZHANDLE handle, WORD property, DWORD length, LPVOID data);

// Code 107: both output channels' settings entries (property 0x2000 only),
// 20 bytes each, and 40 in the byte count.
DWORD ReadOutputSettings(KTZHANDLE handle, WORD property, DWORD *byteCount, LPVOID buffer);

}  // namespace ktz::properties
