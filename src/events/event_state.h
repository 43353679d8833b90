// Event notification state kept in the device record.
#pragma once

#include <windows.h>

namespace ktz {

constexpr int kEventSlots = 10;

struct EventState {
    WORD eventEnabled = 0;  // the last EnableEvent's arguments, sent with the next start
    WORD eventType = 0;
    WORD eventCount = 0;
    HANDLE eventHandles[kEventSlots] = {};
    WORD eventFlags[kEventSlots] = {};
    WORD eventsOpened = 0;
};

}  // namespace ktz
