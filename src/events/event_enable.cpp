// Choosing the events an application wants, opening the driver's named
// events of the device, and closing them again.
#include <ktz3649.h>
#include <ktz3649_driver.h>

#include "core/device.h"
#include "core/kernel.h"
#include "core/result.h"
#include "events/events.h"

namespace ktz::events {
namespace {

constexpr int kInputSlots = KTZ_EVENT_INPUT_SLOTS;  // slots 0 to 3 report fast input
constexpr WORD kLastInputType = 15;
constexpr DWORD kEventNumberMask = 0xFFFFF;

void SetFlags(EventState &events, WORD type, WORD enabled) {
    if (type < KTZ_FIRST_OUTPUT_EVENT_TYPE) {
        for (int slot = 0; slot < kInputSlots; ++slot)
            if (KtzEventTypeCode(slot) & type) events.eventFlags[slot] = enabled;
        return;
    }
    for (int slot = kInputSlots; slot < kEventSlots; ++slot)
        if (KtzEventTypeCode(slot) == type) events.eventFlags[slot] = enabled;
}

}  // namespace

DWORD OpenNamed(DeviceRecord &device) {
    EventState &events = device.events;
    for (int slot = 0; slot < kEventSlots; ++slot) {
        if (events.eventHandles[slot]) continue;
        char name[96];
        wsprintfA(name, "%s%u", KtzEventBaseName(slot), device.deviceNumber & kEventNumberMask);
        events.eventHandles[slot] = OpenEventA(EVENT_ALL_ACCESS, FALSE, name);
        if (!events.eventHandles[slot]) return Bare(KtzErrEventCreate);
    }
    return kSuccess;
}

DWORD Enable(DeviceRecord &device, WORD eventType, WORD enabled, WORD count) {
    EventState &events = device.events;
    SetFlags(events, eventType, enabled);
    events.eventEnabled = enabled;
    events.eventType = eventType;
    events.eventCount = count;
    if (eventType < KTZ_FIRST_OUTPUT_EVENT_TYPE && eventType > kLastInputType)
        return DeviceError(device, KtzErrInvalidEventType);

    if (!events.eventsOpened) {
        for (HANDLE &event : events.eventHandles) event = nullptr;
        events.eventsOpened = 1;
    }
    KtzEventEnableRequest request{eventType, enabled};
    if (!KernelRequest(device, KTZ_IOCTL_EVENT_ENABLE, &request, sizeof request, nullptr, 0))
        return DeviceError(device, KtzErrEventEnable);
    if (OpenNamed(device) != kSuccess) return DeviceError(device, KtzErrEventCreate);
    return kSuccess;
}

void Close(DeviceRecord &device) {
    // The events stay open while fast input or output runs: its end is
    // still to be reported.
    if (device.fai.faiRunning || device.fao.faoRunning) return;
    EventState &events = device.events;
    for (int slot = 0; slot < kEventSlots; ++slot) {
        if (events.eventHandles[slot]) {
            CloseHandle(events.eventHandles[slot]);
            events.eventHandles[slot] = nullptr;
        }
        events.eventFlags[slot] = 0;
    }
    events.eventsOpened = 0;
}

}  // namespace ktz::events

using namespace ktz;

extern "C" DWORD WINAPI EnableEvent(KTZHANDLE handle, WORD eventType, WORD enabled, WORD count) {
    DeviceUse device(handle);
    return device ? events::Enable(*device, eventType, enabled, count) : device.Refusal();
}
