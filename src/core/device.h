// The device record, and the way every operation reaches it.
//
// This header is the composition point of the library: the record holds
// one state block per family (each defined in its family's header), so it
// is the one place in core/ that includes the families. One record exists
// per device number per process, shared by every open of that number and
// counted; its address is the device handle.
//
// Every exported operation on a device starts with a DeviceUse, the one
// check of the handle (and, where the operation asks, of the board); the
// family's internal verb then works on the record.
#pragma once

#include <windows.h>

#include <ktz3649.h>

#include "ai/ai.h"
#include "config/settings.h"
#include "core/result.h"
#include "counter/counter.h"
#include "dio/dio.h"
#include "events/events.h"
#include "fai/fai.h"
#include "fao/fao.h"

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

    // The record's own lifetime beyond the open count, guarded by the
    // open-device list's lock (core/device.cpp).
    DWORD users = 0;              // operations in flight, each through a DeviceUse
    bool closing = false;         // the last close runs: no new DeviceUse gets the record
    HANDLE closeEvent = nullptr;  // signalled when the last close begins (CloseSignal)

    bool IsKnownBoard() const {
        return settings.BoardID == kBoardPci3649 || settings.BoardID == kBoardPci3649L;
    }
};

// What the way in checks of the board, after the handle.
enum class BoardCheck {
    None,         // any board
    Known,        // the PCI-3649 or the PCI-3649L, else KtzErrUnsupportedBoard
    NotPci3649L,  // no PCI-3649L (it has no analog outputs), else KtzErrNotSupported
};

// An operation's hold on the record of an open device, for as long as the
// operation runs: every export takes one before it works on the device.
// Empty when the handle is not an open device (null, closed or never
// opened, or its last close has begun: bare KtzErrInvalidHandle) or its
// board fails the check; Refusal() then gives the result that refuses the
// call. The last DeviceClose takes the record off the list at once and
// releases it only when every use has ended. Taking and dropping a use
// happens here only, so that what a use holds can change in one place.
class DeviceUse {
public:
    explicit DeviceUse(KTZHANDLE handle, BoardCheck check = BoardCheck::None);
    ~DeviceUse();
    DeviceUse(const DeviceUse &) = delete;
    DeviceUse &operator=(const DeviceUse &) = delete;

    explicit operator bool() const { return device_ != nullptr; }
    DeviceRecord &operator*() const { return *device_; }
    DeviceRecord *operator->() const { return device_; }
    // The result that refuses the call; kSuccess while the use holds a record.
    DWORD Refusal() const { return refusal_; }

private:
    DeviceRecord *device_ = nullptr;
    DWORD refusal_ = kSuccess;
};

// A manual-reset event that the last close of the device signals when it
// begins: an operation that waits (CheckEvent) waits on it too, so that the
// close never waits for a time-out. Created on first use; null if it cannot
// be created. Lives as long as the record.
HANDLE CloseSignal(DeviceRecord &device);

// Process-wide values.
DWORD CurrentDeviceNumber();
void SetCurrentDeviceNumber(DWORD deviceNumber);
DWORD CurrentBoardId();
void SetCurrentBoardId(DWORD boardId);
HINSTANCE ModuleHandle();

}  // namespace ktz
