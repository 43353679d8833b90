// What the waveform-output files share: the card registers and bits of the
// output path, the first checks, and the steps that several exports run.
#pragma once

#include <windows.h>

#include <ktz3649.h>

namespace ktz {

struct DeviceRecord;
struct FaoState;

// The record of an open device whose board may have outputs: bare 3 when
// the handle is not an open device, error 27 for the PCI-3649L.
DWORD FindOutputDevice(KTZHANDLE handle, DeviceRecord **device);

// FreeDMABuffer after its checks: the free request, then *address = 0.
void FreeDmaBuffer(const DeviceRecord &device, DWORD *address);

// Closes the event of the start request's overlapped record, if open.
void CloseStartEvent(FaoState &fao);

// FAOTerminate after its checks: ends a running output, frees the DMA
// buffer that FAODmaExStart obtained and waits, within a bound, for the
// FIFO to play out.
void TerminateOutput(DeviceRecord &device);

// The longest the drain waits for the FIFO to play out, in milliseconds.
DWORD DrainLimitMs(const DeviceRecord &device);

}  // namespace ktz
