// Fast analog input inside the library: what event notification and the
// device release call, and the pieces the transfer and the benchmark share.
#pragma once

#include <windows.h>

namespace ktz {

struct DeviceRecord;

// The largest sample count of one acquisition.
constexpr DWORD kFaiMaxSamples = 1024000;
// The trigger mode whose buffer FAITransfer reorders around the marker.
constexpr WORD kFaiAboutTrigger = 3;
// Bit 15 of a sample: taken after the trigger (about-trigger mode).
constexpr WORD kFaiTriggerMarker = 0x8000;
// Bits 0 to 11 of a sample: the conversion result.
constexpr WORD kFaiCodeMask = 0x0FFF;

// FAIStop and FAITerminate without the handle check.
void FaiStop(DeviceRecord &device);
void FaiTerminate(DeviceRecord &device);

// The index of the sample just after the first clear-to-set change of the
// marker bit in buffer[0..count), or 0 when there is none.
DWORD FaiFirstMarker(const WORD *buffer, DWORD count);

}  // namespace ktz
