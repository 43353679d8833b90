// Numbered device properties, reached through DriverProc codes 107 to 109.
#pragma once

#include <windows.h>

#include <ktz3649.h>

namespace ktz {

// Code 109: reads a property into `buffer` (NULL asks for its size only).
// `length` holds the buffer's size on entry and the property's on return.
DWORD DeviceGetProperty(KTZHANDLE handle, WORD property, DWORD *length, LPVOID buffer);

// Code 108: writes a property from `length` bytes of `data`.
DWORD DeviceSetProperty(KTZHANDLE handle, WORD property, DWORD length, LPVOID data);

// Code 107: both output channels' settings entries (property 0x2000 only),
// 20 bytes each, and 40 in the byte count.
DWORD ReadAOSettings(KTZHANDLE handle, WORD property, DWORD *byteCount, LPVOID buffer);

}  // namespace ktz
