// Waiting for the next event of a device, on the caller's thread.
#include <algorithm>
#include <iterator>

#include <ktz3649.h>
#include <ktz3649_driver.h>

#include "core/device.h"
#include "core/result.h"
#include "events/events.h"
#include "fai/fai.h"
#include "fao/fao.h"

namespace ktz::events {
namespace {

constexpr WORD kTimedOut = 0xFFFF;

}  // namespace

DWORD Check(DeviceRecord &device, WORD *eventType, DWORD timeout) {
    if (!eventType) return DeviceError(device, KtzErrInvalidParameter);
    EventState &events = device.events;
    if (!events.eventsOpened) {
        *eventType = 0;
        return kSuccess;
    }
    // The device's events, and after them the signal of the device's last
    // close: a close on another thread ends the wait at once instead of
    // waiting out the time-out (the device's own events win a tie).
    HANDLE waits[kEventSlots + 1];
    std::copy(std::begin(events.eventHandles), std::end(events.eventHandles), waits);
    waits[kEventSlots] = CloseSignal(device);
    if (!waits[kEventSlots]) return DeviceError(device, KtzErrEventWait);
    DWORD result = WaitForMultipleObjects(kEventSlots + 1, waits, FALSE, timeout);
    if (result == WAIT_FAILED) return DeviceError(device, KtzErrEventWait);
    if (result == WAIT_TIMEOUT) {
        *eventType = kTimedOut;
        return kSuccess;
    }
    if (result == WAIT_OBJECT_0 + kEventSlots) return Bare(KtzErrInvalidHandle);  // closed meanwhile
    DWORD slot = result - WAIT_OBJECT_0;
    if (slot >= kEventSlots || !events.eventFlags[slot]) {
        *eventType = 0;  // a disabled slot's event stays signalled
        return kSuccess;
    }
    *eventType = KtzEventTypeCode(slot);
    ResetEvent(events.eventHandles[slot]);
    if (slot == kInputEndedSlot && device.fai.faiRunning) {
        fai::Terminate(device);
    } else if (slot == kOutputEndedSlot && device.fao.faoRunning) {
        // Reported again once the output FIFO has run empty.
        *eventType = 0;
        fao::Terminate(device);
    }
    return kSuccess;
}

}  // namespace ktz::events

using namespace ktz;

extern "C" DWORD WINAPI CheckEvent(KTZHANDLE handle, WORD *eventType, DWORD timeout) {
    DeviceUse device(handle);
    return device ? events::Check(*device, eventType, timeout) : device.Refusal();
}
