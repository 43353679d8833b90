// KTZ3649S.SYS under Wine: the Windows driver model (driver and device
// objects, IRPs, pending requests, cancel and cleanup) mapped onto simdrv's
// driver interface (hostwin_driver.h), against which the card model, the
// engines and the request handlers are written. The rest of the image is
// simdrv itself and the lab's control device (lab_server.cpp).
//
// One image, two kernel-driver services: KTZ3649S, the card's driver, whose
// DriverEntry runs simdrv's HwDriverEntry; and KTZ3649SIM, the lab, whose
// control device serves ktz3649sim.h to the lab client in the application's
// process. Both services belong to the load-order group "Extended Base", so
// Wine's service manager loads both into one driver host: they share one
// lab, which keeps its cards while KTZ3649S stops and starts.
//
// The image also imports kernel32, advapi32 and msvcrt (registry, named
// events, threads, the C++ runtime). A real kernel driver cannot; Wine's
// driver host is a user process and loads them, which is what a test bed
// needs. It also makes Wine's loader call the image's entry point as a
// DllMain first (see DriverEntry).
//
// Requests: each IRP becomes an HW_REQUEST whose buffers the shim owns, so
// that a request simdrv keeps stays valid until simdrv completes it, even
// after a cancel has completed the IRP. A kept request is marked pending
// and gets a cancel routine; Wine's I/O manager closes a file without an
// IRP_MJ_CLEANUP, so IRP_MJ_CLOSE cleans up what IRP_MJ_CLEANUP did not.
//
// Reads: Wine passes the driver host only a copy of the caller's buffer,
// which reaches the caller when the read completes. The lab client tells
// the lab where the caller's buffer is (lab_server.cpp); DmaWritten then
// copies what the acquisition engine writes into it while the read is still
// pending, as the card's DMA does.

// The DDK header defines these two itself; keep the compiler's versions out.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ntddk.h>
#include <windef.h>
#include <winerror.h>
// windows.h does not mix with the DDK headers; windef.h declares the types
// of the driver interface, so hostwin_driver.h's include of it is skipped.
#define _WINDOWS_

#include <hostwin_driver.h>

#include <cstring>

#include "client/lab_protocol.h"
#include "lab_server.h"
#include "platform.h"

extern "C" {
// The C runtime's start-up of a DLL (MinGW's dllcrt2.o).
BOOL WINAPI DllMainCRTStartup(HANDLE module, DWORD reason, LPVOID reserved);
extern char __ImageBase;  // the image's first byte, its module handle
}

struct ShimFile;

// A device object that simdrv published.
struct HW_DEVICE__ {
    HW_DEVICE_CALLBACKS callbacks;
    LPVOID context;
    DEVICE_OBJECT *object;
    WCHAR link[64];
    bool deleted;
    ShimFile *files;  // the opens not yet closed
};

// One open (IRP_MJ_CREATE) of a device object: FileObject->FsContext.
struct ShimFile {
    HW_DEVICE device;
    LPVOID context;  // simdrv's
    LONG stage;      // FileStage: no request reaches simdrv once it is cleaned up
    LONG busy;       // requests in simdrv's dispatch, and the open while it runs
    bool opened;     // simdrv's open succeeded: its cleanup is due
    ShimFile *next;
};

namespace {

using File = ShimFile;

enum FileStage : LONG { kOpen, kCleaning, kCleaned };
enum RequestState : LONG { kDispatching, kCompletedEarly, kKept };

// An IRP while simdrv has it.
struct Request {
    HW_REQUEST request;  // what simdrv sees; first, so that a pointer converts
    IRP *irp;            // null once completed, or cancelled
    LONG state;          // RequestState
    DWORD earlyError, earlyBytes;
    DWORD pid, tid;      // the requester
    sim::CallerBuffer *caller;  // a read's buffer in the application, if announced
    File *file;          // the open it came through
    LONG holds;          // cancel routines telling simdrv of it (under the lock)
    bool released;       // simdrv completed it while held: the last hold frees it
};

// Devices, files and kept requests change under this lock (the I/O
// manager's cancel lock, which a cancel routine is called with).
struct Lock {
    KIRQL irql;
    Lock() { IoAcquireCancelSpinLock(&irql); }
    ~Lock() { IoReleaseCancelSpinLock(irql); }
};

DRIVER_OBJECT *g_entering;  // the driver whose DriverEntry runs
DRIVER_OBJECT *g_lab;       // the lab service's driver object

NTSTATUS StatusOf(DWORD error) {
    // Wine's and Windows' RtlNtStatusToDosError give the Win32 error back.
    return error == ERROR_SUCCESS ? STATUS_SUCCESS : NTSTATUS(0xC0070000u | (error & 0xFFFF));
}

void Pause() {
    LARGE_INTEGER interval;
    interval.QuadPart = -10000;  // 1 ms
    KeDelayExecutionThread(KernelMode, FALSE, &interval);
}

NTSTATUS Finish(IRP *irp, NTSTATUS status);

// simdrv's cleanup of an open that this thread claimed (kCleaning), after
// the requests in its dispatch.
void RunCleanup(File *file) {
    for (;;) {
        {
            Lock lock;
            if (file->busy == 0) break;
        }
        Pause();
    }
    if (file->opened) file->device->callbacks.cleanup(file->context);
    Lock lock;
    file->stage = kCleaned;
}

// Cleans an open up once: returns when its cleanup has run, on this thread
// or on the one that deletes its device.
void CleanUp(File *file) {
    bool mine;
    {
        Lock lock;
        mine = file->stage == kOpen;
        if (mine) file->stage = kCleaning;
    }
    if (mine) return RunCleanup(file);
    for (;;) {
        {
            Lock lock;
            if (file->stage == kCleaned) return;
        }
        Pause();
    }
}

// Where the caller's output of a request is in the IRP.
void *OutputOf(IRP *irp, const IO_STACK_LOCATION *stack) {
    bool buffered = stack->MajorFunction == IRP_MJ_DEVICE_CONTROL &&
                    METHOD_FROM_CTL_CODE(stack->Parameters.DeviceIoControl.IoControlCode) ==
                        METHOD_BUFFERED;
    if (buffered) return irp->AssociatedIrp.SystemBuffer;
    if (irp->MdlAddress) return MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority);
    return irp->UserBuffer;
}

void CompleteIrp(IRP *irp, Request *request, DWORD error, DWORD bytes) {
    const HW_REQUEST &r = request->request;
    if (bytes > r.outSize) bytes = r.outSize;
    void *output = bytes ? OutputOf(irp, IoGetCurrentIrpStackLocation(irp)) : nullptr;
    if (!output) bytes = 0;
    if (bytes) std::memcpy(output, r.outBuffer, bytes);
    irp->IoStatus.Status = StatusOf(error);
    irp->IoStatus.Information = error == ERROR_SUCCESS ? bytes : 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

void Free(Request *request) {
    if (request->caller) sim::ReleaseCallerBuffer(request->caller);
    delete[] static_cast<BYTE *>(request->request.inBuffer);
    delete[] static_cast<BYTE *>(request->request.outBuffer);
    delete request;
}

// Frees a request that simdrv let go of, unless a cancel routine still
// holds it (that one frees it then). The lock is not held.
void Release(Request *request) {
    bool held;
    {
        Lock lock;
        held = request->holds > 0;
        request->released = held;
    }
    if (!held) Free(request);
}

void NTAPI Cancel(DEVICE_OBJECT *, IRP *irp) {
    // Called with the lock held; simdrv keeps its request until it completes it.
    auto *request = static_cast<Request *>(irp->Tail.Overlay.DriverContext[0]);
    request->irp = nullptr;
    File *file = request->file;
    // simdrv hears of the cancel, as a card's driver stops its transfer,
    // unless its open is being cleaned up (which ends the transfer anyway).
    bool tell = file->stage == kOpen && file->device->callbacks.cancel;
    if (tell) {
        ++file->busy;
        ++request->holds;
    }
    IoReleaseCancelSpinLock(irp->CancelIrql);
    irp->IoStatus.Status = STATUS_CANCELLED;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    if (!tell) return;
    file->device->callbacks.cancel(file->context, &request->request);
    bool free;
    {
        Lock lock;
        --file->busy;
        free = --request->holds == 0 && request->released;
    }
    if (free) Free(request);
}

// The IRP of a request that simdrv keeps: pending, cancellable; unless
// simdrv completed it while its dispatch still ran.
NTSTATUS Keep(Request *request, IRP *irp) {
    IoMarkIrpPending(irp);
    irp->Tail.Overlay.DriverContext[0] = request;
    bool early, complete = false, cancelled = false;
    {
        Lock lock;
        (void)IoSetCancelRoutine(irp, Cancel);
        early = InterlockedCompareExchange(&request->state, kKept, kDispatching) != kDispatching;
        if (early || irp->Cancel) {
            // Completed early, or cancelled before the routine was set: this
            // dispatch completes the IRP, unless a cancel routine runs.
            bool mine = IoSetCancelRoutine(irp, nullptr) != nullptr;
            if (mine) request->irp = nullptr;
            complete = mine && early;
            cancelled = mine && !early;
        }
    }
    if (complete) CompleteIrp(irp, request, request->earlyError, request->earlyBytes);
    if (cancelled) Finish(irp, STATUS_CANCELLED);  // simdrv completes its request later
    if (early) Release(request);                   // simdrv has let go of it
    return STATUS_PENDING;
}

// Device I/O control and read: through simdrv's dispatch.
NTSTATUS Transfer(File *file, IRP *irp, IO_STACK_LOCATION *stack) {
    auto *request = new Request{};
    HW_REQUEST &r = request->request;
    const void *in = nullptr;
    if (stack->MajorFunction == IRP_MJ_READ) {
        r.kind = HW_REQUEST_READ;
        r.outSize = stack->Parameters.Read.Length;
    } else {
        r.kind = HW_REQUEST_DEVICE_CONTROL;
        r.code = stack->Parameters.DeviceIoControl.IoControlCode;
        r.inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
        r.outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
        in = irp->AssociatedIrp.SystemBuffer;
    }
    if (r.inSize) {
        r.inBuffer = new BYTE[r.inSize];
        std::memcpy(r.inBuffer, in, r.inSize);
    }
    if (r.outSize) {
        // Direct transfers bring the caller's output buffer along (the
        // sample loads of waveform output read it).
        r.outBuffer = new BYTE[r.outSize]();
        bool direct = r.kind == HW_REQUEST_DEVICE_CONTROL &&
                      METHOD_FROM_CTL_CODE(r.code) != METHOD_BUFFERED;
        const void *caller = direct ? OutputOf(irp, stack) : nullptr;
        if (caller) std::memcpy(r.outBuffer, caller, r.outSize);
    }
    r.overlapped = !(stack->FileObject->Flags & FO_SYNCHRONOUS_IO);
    r.fileContext = file->context;
    request->irp = irp;
    request->file = file;
    request->state = kDispatching;
    request->pid = DWORD(ULONG_PTR(PsGetCurrentProcessId()));
    request->tid = DWORD(ULONG_PTR(PsGetCurrentThreadId()));
    if (r.kind == HW_REQUEST_READ)
        request->caller = sim::TakeCallerBuffer(request->pid, request->tid, r.outSize);

    DWORD bytes = 0, error;
    {
        Lock lock;
        error = file->stage != kOpen ? ERROR_DEVICE_REMOVED : ERROR_SUCCESS;
        if (!error) ++file->busy;
    }
    if (!error) {
        error = file->device->callbacks.dispatch(file->context, &r, &bytes);
        Lock lock;
        --file->busy;
    }
    if (error == ERROR_IO_PENDING) return Keep(request, irp);
    request->irp = nullptr;
    CompleteIrp(irp, request, error, bytes);
    Free(request);
    return StatusOf(error);
}

// Takes a cleaned-up open off its device's list and frees it.
void Unlink(File *file) {
    {
        Lock lock;
        for (File **p = &file->device->files; *p; p = &(*p)->next) {
            if (*p == file) {
                *p = file->next;
                break;
            }
        }
    }
    delete file;
}

NTSTATUS Finish(IRP *irp, NTSTATUS status) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS NTAPI Dispatch(DEVICE_OBJECT *object, IRP *irp) {
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    HW_DEVICE device = *static_cast<HW_DEVICE *>(object->DeviceExtension);
    auto *file = static_cast<File *>(stack->FileObject->FsContext);
    switch (stack->MajorFunction) {
    case IRP_MJ_CREATE: {
        // No new opens once the device is being deleted.
        file = new File{device, nullptr, kOpen, 1, false, nullptr};
        {
            Lock lock;
            if (device->deleted) file->stage = kCleaned;
            file->next = device->files;
            device->files = file;
        }
        DWORD error = file->stage == kOpen ? device->callbacks.open(device->context, &file->context)
                                           : ERROR_DEVICE_REMOVED;
        {
            Lock lock;
            --file->busy;
            file->opened = !error;
        }
        if (error) {
            CleanUp(file);  // nothing of simdrv's to clean up
            Unlink(file);
            return Finish(irp, StatusOf(error));
        }
        stack->FileObject->FsContext = file;
        return Finish(irp, STATUS_SUCCESS);
    }
    case IRP_MJ_CLEANUP:
        if (file) CleanUp(file);
        return Finish(irp, STATUS_SUCCESS);
    case IRP_MJ_CLOSE:
        if (file) {
            CleanUp(file);
            Unlink(file);
            stack->FileObject->FsContext = nullptr;
        }
        return Finish(irp, STATUS_SUCCESS);
    case IRP_MJ_DEVICE_CONTROL:
    case IRP_MJ_READ:
        if (!file) return Finish(irp, STATUS_INVALID_HANDLE);
        return Transfer(file, irp, stack);
    default: return Finish(irp, STATUS_INVALID_DEVICE_REQUEST);
    }
}

void NTAPI Unload(DRIVER_OBJECT *driver) {
    if (driver == g_lab) {
        sim::StopLabServer();
        g_lab = nullptr;
    } else {
        HwDriverUnload();
    }
}

}  // namespace

extern "C" {

HW_DEVICE WINAPI HwCreateDevice(LPCSTR path, const HW_DEVICE_CALLBACKS *callbacks,
                                LPVOID deviceContext) {
    // "\\.\NAME" is \Device\NAME with the DOS name NAME.
    if (!g_entering || std::strncmp(path, "\\\\.\\", 4) != 0) return nullptr;
    const char *name = path + 4;
    auto *device = new HW_DEVICE__{*callbacks, deviceContext, nullptr, {}, false, nullptr};
    WCHAR objectName[64];
    int n = 0, m = 0;
    for (const wchar_t *p = L"\\Device\\"; *p;) objectName[n++] = *p++;
    for (const wchar_t *p = L"\\DosDevices\\"; *p;) device->link[m++] = *p++;
    for (; *name && n < 63 && m < 63; ++name) objectName[n++] = device->link[m++] = WCHAR(*name);
    objectName[n] = device->link[m] = 0;
    UNICODE_STRING objectString, linkString;
    RtlInitUnicodeString(&objectString, objectName);
    RtlInitUnicodeString(&linkString, device->link);
    if (IoCreateDevice(g_entering, sizeof(HW_DEVICE), &objectString, FILE_DEVICE_UNKNOWN, 0, FALSE,
                       &device->object) != STATUS_SUCCESS) {
        delete device;
        return nullptr;
    }
    if (IoCreateSymbolicLink(&linkString, &objectString) != STATUS_SUCCESS) {
        IoDeleteDevice(device->object);
        delete device;
        return nullptr;
    }
    *static_cast<HW_DEVICE *>(device->object->DeviceExtension) = device;
    device->object->Flags &= ~DO_DEVICE_INITIALIZING;
    return device;
}

VOID WINAPI HwDeleteDevice(HW_DEVICE device) {
    {
        Lock lock;
        device->deleted = true;
    }
    // Every open is cleaned up; the records stay for the closes to come.
    for (;;) {
        File *open = nullptr;
        {
            Lock lock;
            for (File *f = device->files; f && !open; f = f->next) {
                if (f->stage == kOpen) {
                    f->stage = kCleaning;
                    open = f;
                }
            }
        }
        if (!open) break;
        RunCleanup(open);
    }
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, device->link);
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(device->object);
    // The record itself stays: closes of its files may still come.
}

VOID WINAPI HwCompleteRequest(HW_REQUEST *kept, DWORD error, DWORD bytes) {
    auto *request = reinterpret_cast<Request *>(kept);
    request->earlyError = error;
    request->earlyBytes = bytes;
    if (InterlockedCompareExchange(&request->state, kCompletedEarly, kDispatching) == kDispatching)
        return;  // its dispatch has not returned yet; Keep completes it
    IRP *irp;
    {
        Lock lock;
        irp = request->irp;
        request->irp = nullptr;
        // A null cancel routine: the cancel is under way and completes the IRP.
        if (irp && !IoSetCancelRoutine(irp, nullptr)) irp = nullptr;
    }
    if (irp) CompleteIrp(irp, request, error, bytes);
    Release(request);
}

// The entry point. Because the image imports user-mode DLLs, Wine's loader
// takes it for a DLL and calls this as DllMain(module, reason, reserved)
// when it maps the image: that call starts (and at unloading, ends) the C
// and C++ runtime as a DLL's start-up does, with its global constructors.
// The driver host then calls it as DriverEntry(driver, registry path). The
// loader calls entry points through a wrapper that restores the stack, so
// the DllMain call's third argument does no harm.
NTSTATUS NTAPI DriverEntry(DRIVER_OBJECT *driver, UNICODE_STRING *registryPath) {
    if (static_cast<void *>(driver) == &__ImageBase) {
        auto reason = DWORD(ULONG_PTR(registryPath));
        return DllMainCRTStartup(driver, reason, nullptr) ? 1 : 0;
    }
    // The service's name: the last part of its registry path.
    char name[64];
    USHORT length = registryPath->Length / sizeof(WCHAR), start = length;
    while (start > 0 && registryPath->Buffer[start - 1] != L'\\') --start;
    int n = 0;
    for (USHORT i = start; i < length && n < 63; ++i) name[n++] = char(registryPath->Buffer[i]);
    name[n] = 0;

    for (int i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i) driver->MajorFunction[i] = Dispatch;
    driver->DriverUnload = Unload;
    g_entering = driver;
    DWORD error;
    if (_stricmp(name, KTZSIM_LAB_SERVICE) == 0) {
        error = sim::StartLabServer();
        if (!error) g_lab = driver;
    } else {
        error = HwDriverEntry(name);
    }
    g_entering = nullptr;
    return StatusOf(error);
}

}  // extern "C"

namespace sim {

void DmaWritten(HW_REQUEST &read, DWORD offset, DWORD bytes) {
    auto &request = reinterpret_cast<Request &>(read);
    if (!request.caller) return;
    // Under the lock: a cancel ends the copying before it completes the
    // read, after which the application may free its buffer.
    Lock lock;
    if (request.irp)
        WriteCallerBuffer(request.caller, offset, static_cast<BYTE *>(read.outBuffer) + offset,
                          bytes);
}

DWORD RequesterThread() { return DWORD(ULONG_PTR(PsGetCurrentThreadId())); }

void RequesterOf(const HW_REQUEST &request, DWORD *pid, DWORD *tid) {
    const auto &r = reinterpret_cast<const Request &>(request);
    *pid = r.pid;
    *tid = r.tid;
}

}  // namespace sim
