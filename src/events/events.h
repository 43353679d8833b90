// Event notification inside the library.
#pragma once

#include <windows.h>

namespace ktz {

struct DeviceRecord;

// Opens by name the events of every slot whose handle is null, in slot
// order: 0, or bare 37 at the first event that cannot be opened.
DWORD OpenDeviceEvents(DeviceRecord &device);

}  // namespace ktz
