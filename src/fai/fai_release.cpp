#include "core/device.h"
#include "core/family_hooks.h"
#include "fai/fai.h"

namespace ktz {

// The driver stops writing into the buffer before the record goes, and the
// events can then close.
void FaiReleaseDevice(DeviceRecord &device) { FaiTerminate(device); }

}  // namespace ktz
