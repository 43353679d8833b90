// The requests of fast input (availability, start, status, stop, terminate,
// clear overrun and the read of the buffer), with their exact sizes.
#include <ktz3649_driver.h>

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
    AcquisitionBlock &engine = *file.device->card->Find<AcquisitionBlock>();
    if (request.kind == HW_REQUEST_READ) return engine.QueueRead(file, request);
    switch (request.code) {
    case KTZ_IOCTL_FAI_AVAILABILITY: {
        if (!SizesAre(request, sizeof(WORD), sizeof(WORD))) return ERROR_INVALID_PARAMETER;
        Reply(request, engine.Availability(), bytes);
        return ERROR_SUCCESS;
    }
    case KTZ_IOCTL_FAI_START: {
        if (!SizesAre(request, sizeof(KtzFaiStartRequest), sizeof(KtzFaiStartRequest)))
            return ERROR_INVALID_PARAMETER;
        KtzFaiStartRequest start;
        std::memcpy(&start, request.inBuffer, sizeof start);
        DWORD status = engine.TakeStatusReply(request.code);
        start.status = status ? status : engine.Start(file, start);
        Reply(request, start, bytes);
        return ERROR_SUCCESS;
    }
    case KTZ_IOCTL_FAI_STATUS: {
        if (!SizesAre(request, sizeof(KtzFastStatusRecord), sizeof(KtzFastStatusRecord)))
            return ERROR_INVALID_PARAMETER;
        KtzFastStatusRecord status = engine.Status(file);
        status.error = engine.TakeStatusReply(request.code);
        Reply(request, status, bytes);
        return ERROR_SUCCESS;
    }
    case KTZ_IOCTL_FAI_STOP:
    case KTZ_IOCTL_FAI_TERMINATE:
    case KTZ_IOCTL_FAI_CLEAR_OVERRUN:
        if (!SizesAre(request, 0, 0)) return ERROR_INVALID_PARAMETER;
        if (request.code == KTZ_IOCTL_FAI_CLEAR_OVERRUN)
            engine.ClearOverrun(file);
        else
            engine.Stop(file, request.code == KTZ_IOCTL_FAI_TERMINATE);
        return ERROR_SUCCESS;
    default:
        return std::nullopt;
    }
}

void ReleaseAcquisition(OpenFile &file) {
    file.device->card->Find<AcquisitionBlock>()->Release(file);
}

void CancelAcquisitionRead(OpenFile &file, HW_REQUEST &request) {
    file.device->card->Find<AcquisitionBlock>()->Cancel(file, request);
}

}  // namespace sim
