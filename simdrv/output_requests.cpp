// The waveform-output requests, with their exact sizes, on the card's
// output block; and the end of an open's output and DMA buffer at its
// cleanup.
#include <core/kernel_interface.h>

#include <cstring>
#include <mutex>

#include "driver.h"
#include "output.h"

namespace sim {
namespace {

using namespace ktz;

// A card without analog outputs answers the requests with replies the
// library reports, and has nothing to stop.
constexpr DWORD kStatusNoOutputs = 27;

bool IsOutputCode(DWORD code) {
    switch (code) {
    case kIoctlDmaAvailability:
    case kIoctlDmaAllocate:
    case kIoctlDmaFree:
    case kIoctlFaoStartLoad:
    case kIoctlFaoLoad:
    case kIoctlFaoStart:
    case kIoctlFaoStatus:
    case kIoctlFaoStop:
    case kIoctlFaoTerminate:
    case kIoctlFaoClearFlag: return true;
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
    case kIoctlDmaAvailability: return Reply(request, WORD{0}, bytes);
    case kIoctlDmaAllocate: {
        DmaBufferRequest reply = In<DmaBufferRequest>(request);
        reply.obtainedSize = reply.address = 0;
        reply.status = kStatusNoOutputs;
        return Reply(request, reply, bytes);
    }
    case kIoctlFaoStatus: {
        FastStatusRecord status{};
        status.error = kStatusNoOutputs;
        return Reply(request, status, bytes);
    }
    default: return ERROR_NOT_SUPPORTED;
    }
}

DWORD Load(OutputBlock &output, HW_REQUEST &request) {
    LoadRequest load = In<LoadRequest>(request);
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
    case kIoctlDmaAvailability: return SizesAre(request, sizeof(WORD), sizeof(WORD));
    case kIoctlDmaAllocate:
        return SizesAre(request, sizeof(DmaBufferRequest), sizeof(DmaBufferRequest));
    case kIoctlFaoStart:
        return SizesAre(request, sizeof(FaoStartRequest), sizeof(FaoStartRequest));
    case kIoctlFaoStatus:
        return SizesAre(request, sizeof(FastStatusRecord), sizeof(FastStatusRecord));
    case kIoctlFaoClearFlag: return SizesAre(request, sizeof(DWORD), 0);
    case kIoctlFaoStartLoad:
    case kIoctlFaoLoad: return request.inSize == sizeof(LoadRequest) && request.inBuffer;
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
    case kIoctlDmaAvailability: return Reply(request, output->Availability(), bytes);
    case kIoctlDmaAllocate: {
        DmaBufferRequest reply = In<DmaBufferRequest>(request);
        output->Allocate(file, reply);
        return Reply(request, reply, bytes);
    }
    case kIoctlDmaFree: output->Free(); return ERROR_SUCCESS;
    case kIoctlFaoStartLoad:
    case kIoctlFaoLoad: return Load(*output, request);
    case kIoctlFaoStart: return output->Start(file, request, bytes);
    case kIoctlFaoStatus: return Reply(request, output->Status(), bytes);
    case kIoctlFaoStop: output->Stop(); return ERROR_SUCCESS;
    case kIoctlFaoTerminate: output->Terminate(); return ERROR_SUCCESS;
    case kIoctlFaoClearFlag:
        return output->ClearFlag(In<DWORD>(request)) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    default: return std::nullopt;
    }
}

void CleanupOutput(OpenFile &file) {
    Card &card = *file.device->card;
    std::lock_guard lock(card.Lock());
    if (OutputBlock *output = card.Find<OutputBlock>()) output->Cleanup(file);
}

}  // namespace sim
