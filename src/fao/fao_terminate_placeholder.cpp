// PLACEHOLDER, to be removed when waveform output lands: a stand-in for
// FAOTerminate so that CheckEvent links before the real one exists. It is
// not exported. It only ends the running flag; the real function also
// sends the terminate request, frees the DMA buffer and drains the FIFO.
#include <ktz3649.h>

#include "core/device.h"
#include "core/result.h"

using namespace ktz;

extern "C" DWORD WINAPI FAOTerminate(KTZHANDLE handle) {
    DeviceRecord *device = FindOpenDevice(handle);
    if (!device) return Bare(ErrInvalidHandle);
    device->fao.faoRunning = 0;
    return kSuccess;
}
