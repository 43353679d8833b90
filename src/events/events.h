// Event notification inside the library: its state in the device record,
// the verbs of the exports, and the close of a device's events.
#pragma once

#include <windows.h>

#include <ktz3649_driver.h>

namespace ktz {

struct DeviceRecord;

constexpr int kEventSlots = KTZ_EVENT_SLOT_COUNT;
// The slots whose events report the end of fast input and of waveform output.
constexpr int kInputEndedSlot = 2;
constexpr int kOutputEndedSlot = 6;

struct EventState {
    WORD eventEnabled = 0;  // the last EnableEvent's arguments, sent with the next start
    WORD eventType = 0;
    WORD eventCount = 0;
    HANDLE eventHandles[kEventSlots] = {};
    WORD eventFlags[kEventSlots] = {};
    WORD eventsOpened = 0;
};

namespace events {

// The verbs of the exports, after the handle check.
DWORD Enable(DeviceRecord &device, WORD eventType, WORD enabled, WORD count);  // EnableEvent
DWORD Check(DeviceRecord &device, WORD *eventType, DWORD timeout);            // CheckEvent

// Opens by name the events of every slot whose handle is null, in slot
// order: 0, or bare KtzErrEventCreate at the first that cannot be opened.
DWORD OpenNamed(DeviceRecord &device);
// Closes the device's event handles and clears its flags, unless fast
// input or output runs (its end is still to be reported): at every
// DeviceClose.
void Close(DeviceRecord &device);

}  // namespace events
}  // namespace ktz
