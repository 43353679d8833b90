// The event-enable request: which of a device's ten events the application
// wants. The engines signal only those, so that an event nobody enabled
// never stays signalled in front of the ones that are.
#include <core/kernel_interface.h>

#include <cstring>

#include "driver.h"

namespace sim {
namespace {

using ktz::kEventTypeCodes;
constexpr WORD kFirstOutputCode = ktz::kFirstOutputEventType;
constexpr int kInputSlots = 4;

}  // namespace

void RecordEventEnable(DeviceObject &device, WORD type, WORD enabled) {
    for (int slot = 0; slot < kEventSlots; ++slot) {
        bool named = type < kFirstOutputCode
                         ? slot < kInputSlots && (kEventTypeCodes[slot] & type) != 0
                         : slot >= kInputSlots && kEventTypeCodes[slot] == type;
        if (named) device.eventEnabled[slot] = enabled != 0;
    }
}

void SignalEnabledEvent(DeviceObject &device, int slot) {
    if (device.eventEnabled[slot] && device.events[slot]) SetEvent(device.events[slot]);
}

std::optional<DWORD> HandleEventRequest(OpenFile &file, HW_REQUEST &request, DWORD &) {
    if (request.code != ktz::kIoctlEventEnable) return std::nullopt;
    if (!SizesAre(request, sizeof(ktz::EventEnableRequest), 0)) return ERROR_INVALID_PARAMETER;
    ktz::EventEnableRequest enable;
    std::memcpy(&enable, request.inBuffer, sizeof enable);
    RecordEventEnable(*file.device, enable.eventType, enable.enabled);
    return ERROR_SUCCESS;
}

}  // namespace sim
