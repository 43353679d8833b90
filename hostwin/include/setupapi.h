/*
 * hostwin: SetupAPI (setupapi.h subset): the device registry properties
 * that a property-page provider reads, and the request that the device
 * manager passes to it.
 */
#ifndef HOSTWIN_SETUPAPI_H
#define HOSTWIN_SETUPAPI_H

#include <windows.h>
#include <commctrl.h>

#ifdef __cplusplus
extern "C" {
#endif

#define WINSETUPAPI WINBASEAPI

#ifndef GUID_DEFINED
#define GUID_DEFINED
typedef struct _GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID;
#endif

typedef PVOID HDEVINFO;

typedef struct _SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

typedef struct _SP_PROPSHEETPAGE_REQUEST {
    DWORD cbSize;
    DWORD PageRequested;
    HDEVINFO DeviceInfoSet;
    PSP_DEVINFO_DATA DeviceInfoData;
} SP_PROPSHEETPAGE_REQUEST, *PSP_PROPSHEETPAGE_REQUEST;

#define SPPSR_SELECT_DEVICE_RESOURCES 1
#define SPPSR_ENUM_BASIC_DEVICE_PROPERTIES 2
#define SPPSR_ENUM_ADV_DEVICE_PROPERTIES 3

#define SPDRP_DEVICEDESC 0x00000000
#define SPDRP_HARDWAREID 0x00000001
#define SPDRP_BUSNUMBER 0x00000015
#define SPDRP_ADDRESS 0x0000001C

#define ERROR_NO_SUCH_DEVINST ((DWORD)0xE000020B)

WINSETUPAPI BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet,
                                                          PSP_DEVINFO_DATA DeviceInfoData,
                                                          DWORD Property,
                                                          PDWORD PropertyRegDataType,
                                                          PBYTE PropertyBuffer,
                                                          DWORD PropertyBufferSize,
                                                          PDWORD RequiredSize);

#ifdef __cplusplus
}
#endif

#endif /* HOSTWIN_SETUPAPI_H */
