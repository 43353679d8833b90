// What each family releases when the last close of a device releases its
// record, so that nothing outlives the record: no thread, no pending
// transfer into a freed buffer, no open event.
#pragma once

#include <windows.h>

namespace ktz {

struct DeviceRecord;

// Stops and joins every measurement thread that uses the record.
void CounterReleaseDevice(DeviceRecord &device);
// Terminates a running acquisition as FAITerminate does.
void FaiReleaseDevice(DeviceRecord &device);
// Terminates a running waveform output as FAOTerminate does (DMA buffer freed).
void FaoReleaseDevice(DeviceRecord &device);
// Closes the device's event handles unless fast input or output runs.
DWORD CloseDeviceEvents(DeviceRecord &device);

}  // namespace ktz
