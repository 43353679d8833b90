#include "core/device.h"
#include "core/family_hooks.h"

namespace ktz {

// No acquisition can run yet.
void FaiReleaseDevice(DeviceRecord &) {}

}  // namespace ktz
