// What the last close of a device ends of its waveform output.
#include "core/device.h"
#include "core/family_hooks.h"
#include "fao/fao_internal.h"

namespace ktz {

void FaoReleaseDevice(DeviceRecord &device) {
    FaoState &fao = device.fao;
    if (device.settings.BoardID == kBoardPci3649L) {
        // No output runs on this board, but FAODmaExStart may hold a buffer.
        if (fao.faoDmaBuffer) FreeDmaBuffer(device, &fao.faoDmaBuffer);
    } else if (fao.faoRunning || fao.faoDmaBuffer || fao.startOverlapped.hEvent) {
        TerminateOutput(device);
    }
    CloseStartEvent(fao);
}

}  // namespace ktz
