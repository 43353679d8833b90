#include "dio/dio_port.h"

#include <ktz3649.h>

#include "core/device.h"
#include "core/registers.h"
#include "core/result.h"

namespace ktz {
namespace {

constexpr WORD kRegPort[kDioPorts] = {40, 41};
constexpr WORD kRegDirection = 42;

}  // namespace

void WritePortDirections(const DeviceRecord &device) {
    CardWriteByte(device, kRegDirection, static_cast<BYTE>(device.settings.DioPortMode));
}

DWORD DioPortRead(const DeviceRecord &device, WORD port, WORD *value) {
    if (port >= kDioPorts) return DeviceError(device, ErrInvalidChannel);
    WritePortDirections(device);
    *value = CardReadByte(device, kRegPort[port]);
    return kSuccess;
}

DWORD DioPortWriteMasked(DeviceRecord &device, WORD port, WORD mask, WORD state) {
    if (port >= kDioPorts) return DeviceError(device, ErrInvalidChannel);
    mask &= 0xFF;
    state &= 0xFF;
    WritePortDirections(device);
    WORD current = CardReadByte(device, kRegPort[port]);
    device.dio.dioReadback[port] = current;
    CardWriteByte(device, kRegPort[port], static_cast<BYTE>((state & mask) | (current & ~mask)));
    return kSuccess;
}

DWORD DioPortReadback(const DeviceRecord &device, WORD port, WORD *value) {
    if (port >= kDioPorts) return DeviceError(device, ErrInvalidChannel);
    *value = CardReadByte(device, kRegPort[port]);
    return kSuccess;
}

}  // namespace ktz
