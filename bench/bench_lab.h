// The lab of the benchmarks: one PCI-3649 installed and opened as device
// 0, with the trace off (measure the path, not the trace).
#pragma once

#include <ktz3649.h>
#include <ktz3649sim.h>

#include <core/device.h>

namespace bench {

// The device record behind a handle: a handle is the record's address.
inline ktz::DeviceRecord &Record(KTZHANDLE handle) {
    return *reinterpret_cast<ktz::DeviceRecord *>(handle);
}

struct Lab {
    Lab() {
        KtzSimReset(0);
        KtzSimAddCard(0, 13, KTZSIM_PCI3649);
        KtzSimInstallDevice(0, 0, nullptr);
        DeviceOpen(0, &handle);
        KtzSimTraceEnable(0);
    }
    ~Lab() { DeviceClose(&handle); }
    KTZHANDLE handle = 0;
};

}  // namespace bench
