// The device record: one per device number per process, shared by every
// open of that number and counted; its address is the device handle.
#pragma once

#include <windows.h>

#include <ktz3649.h>

#include "ai/ai_state.h"
#include "config/settings.h"
#include "counter/counter_state.h"
#include "dio/dio_state.h"
#include "events/event_state.h"
#include "fai/fai_state.h"
#include "fao/fao_state.h"

namespace ktz {

// A handle is the record's address: 32 bits in the Windows library.
static_assert(sizeof(KTZHANDLE) == sizeof(void *));

constexpr DWORD kBoardPci3649 = KTZ_BOARD_PCI3649;
constexpr DWORD kBoardPci3649L = KTZ_BOARD_PCI3649L;

struct DeviceRecord {
    DeviceRecord *next = nullptr;  // the open-device list, in order of first open
    DWORD deviceNumber = 0;
    HGLOBAL memoryHandle = nullptr;  // the global block that holds this record
    WORD openCount = 0;
    HANDLE kernelHandle = nullptr;  // the kernel driver's device object
    DeviceSettings settings = {};   // taken at the first open, fixed until the last close
    AiState ai;
    DioState dio;
    CounterState counter;
    FaiState fai;
    EventState events;
    FaoState fao;

    bool IsKnownBoard() const {
        return settings.BoardID == kBoardPci3649 || settings.BoardID == kBoardPci3649L;
    }
};

// The record of an open device, or null when the handle is not one (null,
// closed or never opened): every operation refuses such a handle with bare 3.
DeviceRecord *FindOpenDevice(KTZHANDLE handle);
// The record of an open device of a known board, or null with the result
// that refuses the call in *result: bare 3 for a handle that is not an
// open device, error 24 for an unknown board.
DeviceRecord *FindKnownDevice(KTZHANDLE handle, DWORD *result);

// Process-wide values.
DWORD CurrentDeviceNumber();
void SetCurrentDeviceNumber(DWORD deviceNumber);
DWORD CurrentBoardId();
void SetCurrentBoardId(DWORD boardId);
HINSTANCE ModuleHandle();

}  // namespace ktz
