// Registry keys of the library. The keys it shares with the kernel driver
// are part of the driver contract (ktz3649_driver.h); the event-log source
// is the library's own registration of the service.
#pragma once

#include <ktz3649_driver.h>

namespace ktz {

constexpr char kServiceName[] = KTZ_SERVICE_NAME;
constexpr char kServiceKey[] = KTZ_SERVICE_KEY;
constexpr char kSharedKey[] = KTZ_SHARED_KEY;
constexpr char kMapEntryKey[] = KTZ_MAPENTRY_KEY;
constexpr char kDeviceSubkeyFormat[] = KTZ_DEVICE_SUBKEY_FORMAT;
constexpr char kEventLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\";

}  // namespace ktz
