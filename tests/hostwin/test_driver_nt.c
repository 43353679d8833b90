/*
 * The hostwin tests' driver as a Windows kernel-mode driver (HWTESTDRV.SYS),
 * answering as the host's driver module does (test_driver.h): device
 * \Device\HwTest with the DOS name HWTEST, buffered requests, requests kept
 * pending until a later request completes them, and cleanup of an open's
 * pending requests at its last close. Pending requests can be cancelled.
 */
#include <ntddk.h>

#include "test_driver.h"

static PDEVICE_OBJECT device;
static LIST_ENTRY pending; /* IRPs kept, oldest first; guarded by lock */
static KSPIN_LOCK lock;
static HWTEST_COUNTS counts;

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR bytes) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = bytes;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static VOID NTAPI CancelPending(PDEVICE_OBJECT unused, PIRP irp) {
    KIRQL irql;
    (void)unused;
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KeAcquireSpinLock(&lock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    --counts.pending;
    KeReleaseSpinLock(&lock, irql);
    Complete(irp, STATUS_CANCELLED, 0);
}

static NTSTATUS Keep(PIRP irp) {
    KIRQL irql;
    IoMarkIrpPending(irp);
    KeAcquireSpinLock(&lock, &irql);
    InsertTailList(&pending, &irp->Tail.Overlay.ListEntry);
    ++counts.pending;
    IoSetCancelRoutine(irp, CancelPending);
    /* Cancelled before the routine was set: complete it here, unless the
       cancel routine already took it (it then waits for the lock). */
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) {
        RemoveEntryList(&irp->Tail.Overlay.ListEntry);
        --counts.pending;
        KeReleaseSpinLock(&lock, irql);
        Complete(irp, STATUS_CANCELLED, 0);
        return STATUS_PENDING;
    }
    KeReleaseSpinLock(&lock, irql);
    return STATUS_PENDING;
}

/* Takes the oldest kept IRP (of one file object, or of any if file is NULL)
   that is not being cancelled; NULL if there is none. */
static PIRP Take(PFILE_OBJECT file) {
    KIRQL irql;
    PLIST_ENTRY entry;
    PIRP found = NULL;
    KeAcquireSpinLock(&lock, &irql);
    for (entry = pending.Flink; entry != &pending; entry = entry->Flink) {
        PIRP irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        if (file && IoGetCurrentIrpStackLocation(irp)->FileObject != file) continue;
        if (!IoSetCancelRoutine(irp, NULL)) continue; /* its cancel routine runs */
        RemoveEntryList(entry);
        --counts.pending;
        found = irp;
        break;
    }
    KeReleaseSpinLock(&lock, irql);
    return found;
}

static ULONG OutputSize(PIO_STACK_LOCATION stack) {
    return stack->MajorFunction == IRP_MJ_READ ? stack->Parameters.Read.Length
                                               : stack->Parameters.DeviceIoControl.OutputBufferLength;
}

static uint32_t CompleteOldest(const HWTEST_COMPLETION *how) {
    static const NTSTATUS statuses[] = {STATUS_SUCCESS, STATUS_CANCELLED, STATUS_NO_MORE_ENTRIES};
    PIRP irp = Take(NULL);
    ULONG bytes = 0, i;
    if (!irp) return 0;
    if (how->result == HWTEST_RESULT_SUCCESS) {
        UCHAR *data = irp->AssociatedIrp.SystemBuffer;
        bytes = how->bytes;
        if (bytes > OutputSize(IoGetCurrentIrpStackLocation(irp))) bytes = 0;
        for (i = 0; i < bytes; ++i) data[i] = (UCHAR)(i + 1);
    }
    Complete(irp, how->result < 3 ? statuses[how->result] : STATUS_UNSUCCESSFUL, bytes);
    return 1;
}

static NTSTATUS NTAPI DeviceControl(PDEVICE_OBJECT unused, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG in = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
    void *buffer = irp->AssociatedIrp.SystemBuffer;
    KIRQL irql;
    (void)unused;
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_HWTEST_ECHO:
        return Complete(irp, STATUS_SUCCESS, in < out ? in : out);
    case IOCTL_HWTEST_PEND:
        return Keep(irp);
    case IOCTL_HWTEST_COMPLETE:
        if (in < sizeof(HWTEST_COMPLETION) || out < sizeof(uint32_t))
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        *(uint32_t *)buffer = CompleteOldest(buffer);
        return Complete(irp, STATUS_SUCCESS, sizeof(uint32_t));
    case IOCTL_HWTEST_COUNT:
        if (out < sizeof counts) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        KeAcquireSpinLock(&lock, &irql);
        *(HWTEST_COUNTS *)buffer = counts;
        KeReleaseSpinLock(&lock, irql);
        return Complete(irp, STATUS_SUCCESS, sizeof counts);
    default:
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

static NTSTATUS NTAPI Read(PDEVICE_OBJECT unused, PIRP irp) {
    (void)unused;
    return Keep(irp);
}

static NTSTATUS NTAPI Create(PDEVICE_OBJECT unused, PIRP irp) {
    KIRQL irql;
    (void)unused;
    KeAcquireSpinLock(&lock, &irql);
    ++counts.opens;
    KeReleaseSpinLock(&lock, irql);
    return Complete(irp, STATUS_SUCCESS, 0);
}

/* Completes the kept IRPs of one file object (of all for NULL) as cancelled. */
static void CancelKept(PFILE_OBJECT file) {
    PIRP kept;
    while ((kept = Take(file))) Complete(kept, STATUS_CANCELLED, 0);
}

static NTSTATUS NTAPI Cleanup(PDEVICE_OBJECT unused, PIRP irp) {
    KIRQL irql;
    (void)unused;
    CancelKept(IoGetCurrentIrpStackLocation(irp)->FileObject);
    KeAcquireSpinLock(&lock, &irql);
    ++counts.cleanups;
    KeReleaseSpinLock(&lock, irql);
    return Complete(irp, STATUS_SUCCESS, 0);
}

/* Windows sends the close only when no request of the file is left; Wine
   sends no cleanup, but sends the close at the last close of the handle
   even while requests are pending: they are completed here then. */
static NTSTATUS NTAPI Close(PDEVICE_OBJECT unused, PIRP irp) {
    (void)unused;
    CancelKept(IoGetCurrentIrpStackLocation(irp)->FileObject);
    return Complete(irp, STATUS_SUCCESS, 0);
}

static VOID NTAPI Unload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link;
    (void)driver;
    CancelKept(NULL);
    RtlInitUnicodeString(&link, L"\\DosDevices\\HWTEST");
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(device);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNICODE_STRING name, link;
    NTSTATUS status;
    (void)registryPath;
    InitializeListHead(&pending);
    KeInitializeSpinLock(&lock);
    RtlZeroMemory(&counts, sizeof counts);
    RtlInitUnicodeString(&name, L"\\Device\\HwTest");
    RtlInitUnicodeString(&link, L"\\DosDevices\\HWTEST");
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) return status;
    device->Flags |= DO_BUFFERED_IO;
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = Create;
    driver->MajorFunction[IRP_MJ_CLEANUP] = Cleanup;
    driver->MajorFunction[IRP_MJ_CLOSE] = Close;
    driver->MajorFunction[IRP_MJ_READ] = Read;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DeviceControl;
    driver->DriverUnload = Unload;
    return STATUS_SUCCESS;
}
