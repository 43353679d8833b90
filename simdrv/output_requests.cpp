// The waveform-output requests, with their exact sizes, on the card's
// output block; and the end of an open's output and DMA buffer at its
// cleanup.
#include <ktz3649_driver.h>

#include <cstring>
#include <mutex>

#include "driver.h"
#include "output.h"

namespace sim {
namespace {


// A card without analog outputs answers the requests with replies the
// library reports, and has nothing to stop.
constexpr DWORD kStatusNoOutputs = 27;

bool IsOutputCode(DWORD code) {
    switch (code) {
    case KTZ_IOCTL_DMA_AVAILABILITY:
    case KTZ_IOCTL_DMA_ALLOCATE:
    case KTZ_IOCTL_DMA_FREE:
    case KTZ_IOCTL_FAO_START_LOAD:
    case KTZ_IOCTL_FAO_LOAD:
    case KTZ_IOCTL_FAO_START:
    case KTZ_IOCTL_FAO_STATUS:
    case KTZ_IOCTL_FAO_STOP:
    case KTZ_IOCTL_FAO_TERMINATE:
    case KTZ_IOCTL_FAO_CLEAR_FLAG: return true;
    default: return false;
    }
}

template <class T>
T In(const HW_REQUEST &request) {
    T value;
    std::memcpy(&value, request.inBuffer, sizeof value);
    return value;
}

template <class T>
DWORD Reply(HW_REQUEST &request, const T &value, DWORD &bytes) {
    std::memcpy(request.outBuffer, &value, sizeof value);
    bytes = sizeof value;
    return ERROR_SUCCESS;
}

// The requests of a card without outputs.
DWORD WithoutOutputs(HW_REQUEST &request, DWORD &bytes) {
    switch (request.code) {
    case KTZ_IOCTL_DMA_AVAILABILITY: return Reply(request, WORD{0}, bytes);
    case KTZ_IOCTL_DMA_ALLOCATE: {
        KtzDmaBufferRequest reply = In<KtzDmaBufferRequest>(request);
        reply.obtainedSize = reply.address = 0;
        reply.status = kStatusNoOutputs;
        return Reply(request, reply, bytes);
    }
    case KTZ_IOCTL_FAO_STATUS: {
        KtzFastStatusRecord status{};
        status.error = kStatusNoOutputs;
        return Reply(request, status, bytes);
    }
    default: return ERROR_NOT_SUPPORTED;
    }
}

DWORD Load(OutputBlock &output, HW_REQUEST &request) {
    KtzLoadRequest load = In<KtzLoadRequest>(request);
    // The output buffer is the application's sample array.
    if (static_cast<ULONGLONG>(request.outSize) != static_cast<ULONGLONG>(load.sampleCount) * 2 ||
        (load.sampleCount && !request.outBuffer))
        return ERROR_INVALID_PARAMETER;
    return output.Load(load.loadArgument, load.sampleCount,
                       static_cast<const WORD *>(request.outBuffer));
}

// The expected sizes of each request: in, out.
bool SizesFit(const HW_REQUEST &request) {
    switch (request.code) {
    case KTZ_IOCTL_DMA_AVAILABILITY: return SizesAre(request, sizeof(WORD), sizeof(WORD));
    case KTZ_IOCTL_DMA_ALLOCATE:
        return SizesAre(request, sizeof(KtzDmaBufferRequest), sizeof(KtzDmaBufferRequest));
    case KTZ_IOCTL_FAO_START:
        return SizesAre(request, sizeof(KtzFaoStartRequest), sizeof(KtzFaoStartRequest));
    case KTZ_IOCTL_FAO_STATUS:
        return SizesAre(request, sizeof(KtzFastStatusRecord), sizeof(KtzFastStatusRecord));
    case KTZ_IOCTL_FAO_CLEAR_FLAG: return SizesAre(request, sizeof(DWORD), 0);
    case KTZ_IOCTL_FAO_START_LOAD:
    case KTZ_IOCTL_FAO_LOAD: return request.inSize == sizeof(KtzLoadRequest) && request.inBuffer;
    default: return SizesAre(request, 0, 0);
    }
}

}  // namespace

std::optional<DWORD> HandleOutputRequest(OpenFile &file, HW_REQUEST &request, DWORD &bytes) {
    if (!IsOutputCode(request.code)) return std::nullopt;
    if (!SizesFit(request)) return ERROR_INVALID_PARAMETER;
    Card &card = *file.device->card;
    std::lock_guard lock(card.Lock());
    OutputBlock *output = card.Find<OutputBlock>();
    if (!output) return WithoutOutputs(request, bytes);
    switch (request.code) {
    case KTZ_IOCTL_DMA_AVAILABILITY: return Reply(request, output->Availability(), bytes);
    case KTZ_IOCTL_DMA_ALLOCATE: {
        KtzDmaBufferRequest reply = In<KtzDmaBufferRequest>(request);
        output->Allocate(file, reply);
        return Reply(request, reply, bytes);
    }
    case KTZ_IOCTL_DMA_FREE: output->Free(); return ERROR_SUCCESS;
    case KTZ_IOCTL_FAO_START_LOAD:
    case KTZ_IOCTL_FAO_LOAD: return Load(*output, request);
    case KTZ_IOCTL_FAO_START: return output->Start(file, request, bytes);
    case KTZ_IOCTL_FAO_STATUS: return Reply(request, output->Status(), bytes);
    case KTZ_IOCTL_FAO_STOP: output->Stop(); return ERROR_SUCCESS;
    case KTZ_IOCTL_FAO_TERMINATE: output->Terminate(); return ERROR_SUCCESS;
    case KTZ_IOCTL_FAO_CLEAR_FLAG:
        return output->ClearFlag(In<DWORD>(request)) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    default: return std::nullopt;
    }
}

void CleanupOutput(OpenFile &file) {
    Card &card = *file.device->card;
    std::lock_guard lock(card.Lock());
    if (OutputBlock *output = card.Find<OutputBlock>()) output->Cleanup(file);
}

void CancelOutputStart(OpenFile &file, HW_REQUEST &request) {
    Card &card = *file.device->card;
    std::lock_guard lock(card.Lock());
    if (OutputBlock *output = card.Find<OutputBlock>()) output->Cancel(request);
}

}  // namespace sim
