// The simulated KTZ3649S driver: device objects for the configured devices
// whose card is present, and the requests that reach them.
#pragma once

#include <windows.h>

#include <hostwin_driver.h>

#include <core/kernel_interface.h>

#include <atomic>
#include <memory>
#include <optional>

#include "card.h"

namespace sim {

constexpr int kEventSlots = ktz::kEventSlotCount;

// One configured device that the driver serves.
struct DeviceObject {
    DWORD number = 0;
    int cardIndex = -1;
    std::shared_ptr<Card> card;
    HW_DEVICE device = nullptr;
    HANDLE events[kEventSlots] = {};  // the named events of the device
};

// One open (CreateFileA) of a device object.
struct OpenFile {
    DeviceObject *device = nullptr;
    // Bit n: the event of slot n is enabled (event-enable requests).
    std::atomic<unsigned> enabledEvents{0};
};

// Whether a request has exactly these buffer sizes, with the buffers there.
inline bool SizesAre(const HW_REQUEST &request, DWORD in, DWORD out) {
    return request.inSize == in && request.outSize == out && (in == 0 || request.inBuffer) &&
           (out == 0 || request.outBuffer);
}

// A family's request handler: the result (a Win32 error) if it handles the
// code, std::nullopt otherwise. Runs on the caller's thread.
using RequestHandler = std::optional<DWORD> (*)(OpenFile &file, HW_REQUEST &request,
                                                DWORD &bytes);

// Register read and write requests, and the close request.
std::optional<DWORD> HandleRegisterRequest(OpenFile &file, HW_REQUEST &request, DWORD &bytes);

// The base names of the ten events of a device, in slot order; the device
// number follows each.
inline constexpr const auto &kEventBaseNames = ktz::kEventNames;

}  // namespace sim
