// Registry keys of the library, the kernel service and the shared device list.
#pragma once

namespace ktz {

constexpr char kServiceName[] = "KTZ3649S";
constexpr char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\KTZ3649S";
constexpr char kSharedKey[] = "SYSTEM\\CurrentControlSet\\Services\\KTZDAQ";
constexpr char kMapEntryKey[] = "SYSTEM\\CurrentControlSet\\Services\\KTZDAQ\\MapEntry";
constexpr char kEventLogKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\";
// Appended to the service key or the shared key with the device number.
constexpr char kDeviceSubkeyFormat[] = "\\Device%03d";

}  // namespace ktz
