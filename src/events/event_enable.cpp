// Choosing the events an application wants, and opening the driver's named
// events of the device.
#include <ktz3649.h>
#include <ktz3649_driver.h>

#include "core/device.h"
#include "core/kernel.h"
#include "core/result.h"
#include "events/events.h"

namespace ktz {
namespace {

constexpr int kInputSlots = 4;  // slots 0 to 3 report fast input
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

DWORD OpenDeviceEvents(DeviceRecord &device) {
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

}  // namespace ktz

using namespace ktz;

extern "C" {

DWORD WINAPI EnableEvent(KTZHANDLE handle, WORD eventType, WORD enabled, WORD count) {
    DeviceRecord *device = FindOpenDevice(handle);
    if (!device) return Bare(KtzErrInvalidHandle);
    EventState &events = device->events;
    SetFlags(events, eventType, enabled);
    events.eventEnabled = enabled;
    events.eventType = eventType;
    events.eventCount = count;
    if (eventType < KTZ_FIRST_OUTPUT_EVENT_TYPE && eventType > kLastInputType)
        return DeviceError(*device, KtzErrInvalidEventType);

    if (!events.eventsOpened) {
        for (HANDLE &event : events.eventHandles) event = nullptr;
        events.eventsOpened = 1;
    }
    KtzEventEnableRequest request{eventType, enabled};
    if (!KernelRequest(*device, KTZ_IOCTL_EVENT_ENABLE, &request, sizeof request, nullptr, 0))
        return DeviceError(*device, KtzErrEventEnable);
    if (OpenDeviceEvents(*device) != kSuccess) return DeviceError(*device, KtzErrEventCreate);
    return kSuccess;
}

}  // extern "C"
