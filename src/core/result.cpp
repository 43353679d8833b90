#include "core/result.h"

#include "core/device.h"

namespace ktz {

DWORD DeviceError(const DeviceRecord &device, DWORD error) {
    return DeviceError(device.deviceNumber, error);
}

DWORD DeviceStatus(const DeviceRecord &device, DWORD status) {
    return DeviceStatus(device.deviceNumber, status);
}

}  // namespace ktz
