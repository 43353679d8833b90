#include "core/device.h"
#include "core/family_hooks.h"

namespace ktz {

DWORD CloseDeviceEvents(DeviceRecord &device) {
    // The events stay open while fast input or output runs: its end is
    // still to be reported.
    if (device.fai.faiRunning || device.fao.faoRunning) return 0;
    EventState &events = device.events;
    for (int slot = 0; slot < kEventSlots; ++slot) {
        if (events.eventHandles[slot]) {
            CloseHandle(events.eventHandles[slot]);
            events.eventHandles[slot] = nullptr;
        }
        events.eventFlags[slot] = 0;
    }
    events.eventsOpened = 0;
    return 0;
}

}  // namespace ktz
