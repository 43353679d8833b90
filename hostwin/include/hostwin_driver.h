/*
 * hostwin: the kernel side of device I/O, for simulated drivers.
 *
 * A driver is a shared object named after its service's image file: the
 * image "KTZ3649S.SYS" is the module "libktz3649s.so", searched in the
 * folders of the environment variable HOSTWIN_DRIVER_PATH (colon
 * separated) and then beside libhostwin.so. StartServiceA loads it and
 * calls its HwDriverEntry; ControlService(SERVICE_CONTROL_STOP) calls its
 * HwDriverUnload. A module stays loaded once loaded, like the process's
 * other libraries, so a test can link it directly and reach its state.
 *
 * A started driver publishes device objects by path ("\\.\NAME");
 * CreateFileA opens them, DeviceIoControl and ReadFile send them requests.
 */
#ifndef HOSTWIN_DRIVER_H
#define HOSTWIN_DRIVER_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define HW_REQUEST_DEVICE_CONTROL 1
#define HW_REQUEST_READ 2

typedef struct HW_REQUEST {
    DWORD kind;        /* HW_REQUEST_DEVICE_CONTROL or HW_REQUEST_READ */
    DWORD code;        /* control code; 0 for a read */
    LPVOID inBuffer;   /* the caller's input buffer, as passed */
    DWORD inSize;
    LPVOID outBuffer;  /* the caller's output buffer (the read buffer for a read) */
    DWORD outSize;
    BOOL overlapped;   /* the caller passed an OVERLAPPED: the request may stay pending */
    LPVOID fileContext;
    LPVOID driverContext; /* free for the driver while it keeps the request */
} HW_REQUEST;

/*
 * A device's callbacks. Each runs on the calling thread.
 * open:     CreateFileA of the device; returns a Win32 error (0 = opened)
 *           and the per-handle context.
 * dispatch: a request. Returns a Win32 error and the bytes transferred,
 *           or ERROR_IO_PENDING to keep the request and complete it later
 *           with HwCompleteRequest (from any thread). Buffers of a kept
 *           request stay the caller's; the driver writes them in place.
 * cleanup:  the last handle of the open was closed, or the device was
 *           deleted; the driver completes every request it keeps for that
 *           open before returning. No request arrives for it afterwards.
 * cancel:   (optional) the thread that sent a request the driver keeps
 *           cancelled it (CancelIo), as a kernel driver's cancel routine
 *           hears; the driver stops using the request's buffers before
 *           returning and completes it (ERROR_OPERATION_ABORTED), then or
 *           later. It may have completed the request meanwhile: the request
 *           stays valid during the call. Without it, CancelIo leaves kept
 *           requests pending.
 */
typedef struct HW_DEVICE_CALLBACKS {
    DWORD (*open)(LPVOID deviceContext, LPVOID *fileContext);
    DWORD (*dispatch)(LPVOID fileContext, HW_REQUEST *request, DWORD *bytes);
    VOID (*cleanup)(LPVOID fileContext);
    VOID (*cancel)(LPVOID fileContext, HW_REQUEST *request);
} HW_DEVICE_CALLBACKS;

typedef struct HW_DEVICE__ *HW_DEVICE;

/* Publishes a device object; NULL with ERROR_ALREADY_EXISTS if the path is taken. */
WINBASEAPI HW_DEVICE WINAPI HwCreateDevice(LPCSTR path, const HW_DEVICE_CALLBACKS *callbacks,
                                           LPVOID deviceContext);
/*
 * Removes a device object: no new opens; every open of it is cleaned up
 * (see cleanup); requests on handles still open then fail with
 * ERROR_DEVICE_REMOVED.
 */
WINBASEAPI VOID WINAPI HwDeleteDevice(HW_DEVICE device);
/* Completes a request that dispatch kept (returned ERROR_IO_PENDING for). */
WINBASEAPI VOID WINAPI HwCompleteRequest(HW_REQUEST *request, DWORD error, DWORD bytes);

/* What a driver module exports. */
typedef DWORD (*HW_DRIVER_ENTRY)(LPCSTR serviceName); /* "HwDriverEntry": Win32 error */
typedef VOID (*HW_DRIVER_UNLOAD)(VOID);                /* "HwDriverUnload" */

#ifdef __cplusplus
}
#endif

#endif /* HOSTWIN_DRIVER_H */
