// The simulated KTZ3649S driver: device objects for the configured devices
// whose card is present, and the requests that reach them.
#pragma once

#include <windows.h>

#include <hostwin_driver.h>

#include <ktz3649_driver.h>

#include <atomic>
#include <memory>
#include <optional>

#include "card.h"

namespace sim {

constexpr int kEventSlots = KTZ_EVENT_SLOT_COUNT;

// One configured device that the driver serves.
struct DeviceObject {
    DWORD number = 0;
    int cardIndex = -1;
    std::shared_ptr<Card> card;
    HW_DEVICE device = nullptr;
    HANDLE events[kEventSlots] = {};  // the named events of the device
    // Per slot: whether the application enabled the event (event requests).
    std::atomic<bool> eventEnabled[kEventSlots] = {};
};

// One open (CreateFileA) of a device object.
struct OpenFile {
    DeviceObject *device = nullptr;
};

// A family's request handler: the result (a Win32 error) if it handles the
// code, std::nullopt otherwise. Runs on the caller's thread.
using RequestHandler = std::optional<DWORD> (*)(OpenFile &file, HW_REQUEST &request,
                                                DWORD &bytes);

// Whether a request's buffers have exactly these sizes (and exist when sized).
bool SizesAre(const HW_REQUEST &request, DWORD in, DWORD out);

// Register read and write requests, and the close request.
std::optional<DWORD> HandleRegisterRequest(OpenFile &file, HW_REQUEST &request, DWORD &bytes);

// The event-enable request.
std::optional<DWORD> HandleEventRequest(OpenFile &file, HW_REQUEST &request, DWORD &bytes);
// Records the enabled flag of an event type as the enable request gives it:
// a type below 10240 names each input slot whose code shares a bit with it,
// another type the output slot of that code.
void RecordEventEnable(DeviceObject &device, WORD type, WORD enabled);
// Signals the event of a slot if the application enabled it.
void SignalEnabledEvent(DeviceObject &device, int slot);

// The waveform-output requests (DMA buffer, load, start, status, stop,
// terminate, clear-flag), and the end of an open's output at its cleanup.
std::optional<DWORD> HandleOutputRequest(OpenFile &file, HW_REQUEST &request, DWORD &bytes);
void CleanupOutput(OpenFile &file);
// A cancelled start request of the open's output: the output stops.
void CancelOutputStart(OpenFile &file, HW_REQUEST &request);

}  // namespace sim
