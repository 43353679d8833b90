#include "core/device.h"
#include "core/family_hooks.h"

namespace ktz {

// No waveform output can run yet.
void FaoReleaseDevice(DeviceRecord &) {}

}  // namespace ktz
