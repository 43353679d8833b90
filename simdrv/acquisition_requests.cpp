// The requests of fast input (availability, start, status, stop, terminate,
// clear overrun and the read of the buffer), with their exact sizes.
#include <core/kernel_interface.h>

#include <cstring>

#include "acquisition.h"
#include "driver.h"

namespace sim {
namespace {

template <class Record>
void Reply(HW_REQUEST &request, const Record &record, DWORD &bytes) {
    std::memcpy(request.outBuffer, &record, sizeof record);
    bytes = sizeof record;
}

}  // namespace

std::optional<DWORD> HandleAcquisitionRequest(OpenFile &file, HW_REQUEST &request, DWORD &bytes) {
    using namespace ktz;
    AcquisitionBlock &engine = *file.device->card->Find<AcquisitionBlock>();
    if (request.kind == HW_REQUEST_READ) return engine.QueueRead(file, request);
    switch (request.code) {
    case kIoctlFaiAvailability: {
        if (!SizesAre(request, sizeof(WORD), sizeof(WORD))) return ERROR_INVALID_PARAMETER;
        Reply(request, engine.Availability(), bytes);
        return ERROR_SUCCESS;
    }
    case kIoctlFaiStart: {
        if (!SizesAre(request, sizeof(FaiStartRequest), sizeof(FaiStartRequest)))
            return ERROR_INVALID_PARAMETER;
        FaiStartRequest start;
        std::memcpy(&start, request.inBuffer, sizeof start);
        DWORD status = engine.TakeStatusReply(request.code);
        start.status = status ? status : engine.Start(file, start);
        Reply(request, start, bytes);
        return ERROR_SUCCESS;
    }
    case kIoctlFaiStatus: {
        if (!SizesAre(request, sizeof(FastStatusRecord), sizeof(FastStatusRecord)))
            return ERROR_INVALID_PARAMETER;
        FastStatusRecord status = engine.Status(file);
        status.error = engine.TakeStatusReply(request.code);
        Reply(request, status, bytes);
        return ERROR_SUCCESS;
    }
    case kIoctlFaiStop:
    case kIoctlFaiTerminate:
    case kIoctlFaiClearOverrun:
        if (!SizesAre(request, 0, 0)) return ERROR_INVALID_PARAMETER;
        if (request.code == kIoctlFaiClearOverrun)
            engine.ClearOverrun(file);
        else
            engine.Stop(file, request.code == kIoctlFaiTerminate);
        return ERROR_SUCCESS;
    default:
        return std::nullopt;
    }
}

void ReleaseAcquisition(OpenFile &file) {
    file.device->card->Find<AcquisitionBlock>()->Release(file);
}

}  // namespace sim
