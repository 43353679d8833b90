// The event-enable request: which of a device's ten events the application
// wants. The engines signal only those, so that an event nobody enabled
// never stays signalled in front of the ones that are.
#include <ktz3649_driver.h>

#include <cstring>

#include "driver.h"

namespace sim {
namespace {

constexpr WORD kFirstOutputCode = KTZ_FIRST_OUTPUT_EVENT_TYPE;
constexpr int kInputSlots = KTZ_EVENT_INPUT_SLOTS;

}  // namespace

void RecordEventEnable(DeviceObject &device, WORD type, WORD enabled) {
    for (int slot = 0; slot < kEventSlots; ++slot) {
        bool named = type < kFirstOutputCode
                         ? slot < kInputSlots && (KtzEventTypeCode(slot) & type) != 0
                         : slot >= kInputSlots && KtzEventTypeCode(slot) == type;
        if (named) device.eventEnabled[slot] = enabled != 0;
    }
}

void SignalEnabledEvent(DeviceObject &device, int slot) {
    if (device.eventEnabled[slot] && device.events[slot]) SetEvent(device.events[slot]);
}

std::optional<DWORD> HandleEventRequest(OpenFile &file, HW_REQUEST &request, DWORD &) {
    if (request.code != KTZ_IOCTL_EVENT_ENABLE) return std::nullopt;
    if (!SizesAre(request, sizeof(KtzEventEnableRequest), 0)) return ERROR_INVALID_PARAMETER;
    KtzEventEnableRequest enable;
    std::memcpy(&enable, request.inBuffer, sizeof enable);
    RecordEventEnable(*file.device, enable.eventType, enable.enabled);
    return ERROR_SUCCESS;
}

}  // namespace sim
