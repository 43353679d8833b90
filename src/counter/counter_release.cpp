#include "core/device.h"
#include "core/family_hooks.h"
#include "counter/counter_threads.h"

namespace ktz {

// Every measurement thread of the record ends before the record goes,
// those that a process-wide slot has forgotten too.
void CounterReleaseDevice(DeviceRecord &device) { StopRecordThreads(device); }

}  // namespace ktz
