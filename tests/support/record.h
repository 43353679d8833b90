// The device record behind a handle. A handle is the record's address, so
// the tests read the record without a function of the library (as they can
// against the Windows DLL).
#pragma once

#include <core/device.h>

namespace ktztest {

inline ktz::DeviceRecord &Record(KTZHANDLE handle) {
    return *reinterpret_cast<ktz::DeviceRecord *>(handle);
}

}  // namespace ktztest
