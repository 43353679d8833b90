// The register work of the digital ports, shared by the byte, bit, word and
// port-group functions.
#include <ktz3649.h>

#include "core/card_registers.h"
#include "core/device.h"
#include "core/registers.h"
#include "core/result.h"
#include "dio/dio.h"

namespace ktz::dio {

void WritePortDirections(const DeviceRecord &device) {
    CardWriteByte(device, card::kDioDirection, static_cast<BYTE>(device.settings.DioPortMode));
}

DWORD PortRead(const DeviceRecord &device, WORD port, WORD *value) {
    if (port >= kDioPorts) return DeviceError(device, KtzErrInvalidChannel);
    WritePortDirections(device);
    *value = CardReadByte(device, card::DioPort(port));
    return kSuccess;
}

DWORD PortWriteMasked(DeviceRecord &device, WORD port, WORD mask, WORD state) {
    if (port >= kDioPorts) return DeviceError(device, KtzErrInvalidChannel);
    mask &= 0xFF;
    state &= 0xFF;
    WritePortDirections(device);
    WORD current = CardReadByte(device, card::DioPort(port));
    device.dio.dioReadback[port] = current;
    auto next = static_cast<BYTE>((state & mask) | (current & ~mask));
    CardWriteByte(device, card::DioPort(port), next);
    return kSuccess;
}

DWORD PortReadback(const DeviceRecord &device, WORD port, WORD *value) {
    if (port >= kDioPorts) return DeviceError(device, KtzErrInvalidChannel);
    *value = CardReadByte(device, card::DioPort(port));
    return kSuccess;
}

}  // namespace ktz::dio
