// Register access requests and the close request, with their exact sizes.
#include <ktz3649_driver.h>

#include <cstring>
#include "driver.h"
#include "lab.h"
#include "platform.h"

namespace sim {
namespace {

void TraceRegister(const OpenFile &file, DWORD code, DWORD offset, int width, bool write,
                   WORD value) {
    KtzSimTraceEntry entry{};
    entry.kind = KTZSIM_TRACE_REGISTER;
    entry.device = file.device->number;
    entry.code = code;
    entry.offset = offset;
    entry.width = static_cast<unsigned>(width);
    entry.write = write ? 1 : 0;
    entry.value = value;
    entry.thread = RequesterThread();
    Lab::Get().Record(entry);
}

}  // namespace

bool SizesAre(const HW_REQUEST &request, DWORD in, DWORD out) {
    return request.inSize == in && request.outSize == out && (in == 0 || request.inBuffer) &&
           (out == 0 || request.outBuffer);
}

std::optional<DWORD> HandleRegisterRequest(OpenFile &file, HW_REQUEST &request, DWORD &bytes) {
    Card &card = *file.device->card;
    switch (request.code) {
    case KTZ_IOCTL_READ_BYTE:
    case KTZ_IOCTL_READ_WORD: {
        int width = request.code == KTZ_IOCTL_READ_BYTE ? 8 : 16;
        if (!SizesAre(request, sizeof(DWORD), static_cast<DWORD>(width / 8)))
            return ERROR_INVALID_PARAMETER;
        DWORD offset;
        std::memcpy(&offset, request.inBuffer, sizeof offset);
        if (offset >= kRegisterWindow) return ERROR_INVALID_PARAMETER;
        WORD value = card.Read(static_cast<WORD>(offset), width);
        std::memcpy(request.outBuffer, &value, static_cast<size_t>(width / 8));
        bytes = static_cast<DWORD>(width / 8);
        TraceRegister(file, request.code, offset, width, false, value);
        return ERROR_SUCCESS;
    }
    case KTZ_IOCTL_WRITE_BYTE:
    case KTZ_IOCTL_WRITE_WORD: {
        int width = request.code == KTZ_IOCTL_WRITE_BYTE ? 8 : 16;
        if (!SizesAre(request, static_cast<DWORD>(sizeof(DWORD) + width / 8), 0))
            return ERROR_INVALID_PARAMETER;
        DWORD offset;
        WORD value = 0;
        std::memcpy(&offset, request.inBuffer, sizeof offset);
        std::memcpy(&value, static_cast<BYTE *>(request.inBuffer) + sizeof offset,
                    static_cast<size_t>(width / 8));
        if (offset >= kRegisterWindow) return ERROR_INVALID_PARAMETER;
        TraceRegister(file, request.code, offset, width, true, value);
        card.Write(static_cast<WORD>(offset), width, value);
        return ERROR_SUCCESS;
    }
    case KTZ_IOCTL_CLOSE:
        if (!SizesAre(request, 0, 0)) return ERROR_INVALID_PARAMETER;
        return ERROR_SUCCESS;
    default:
        return std::nullopt;
    }
}

}  // namespace sim
