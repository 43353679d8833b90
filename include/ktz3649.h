/*
 * Ktz3649.dll: the user-mode driver library of the PCI-3649 and PCI-3649L
 * data-acquisition cards.
 *
 * Every function returns a 32-bit result code: 0 for success; a device
 * error is ((device number + 1) << 12) | error number; some failures are
 * the bare error number (see KtzErrorNumber below). Results are written
 * through the addresses the caller passes; on failure the outputs stay
 * unwritten unless a function says otherwise.
 *
 * A device handle is the address of the library's device record: 32 bits
 * in the Windows library, pointer-sized on a 64-bit host build.
 */
#ifndef KTZ3649_H
#define KTZ3649_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- result codes ---------------------------------------------------- */

typedef ULONG_PTR KTZHANDLE;

/* Board IDs. */
#define KTZ_BOARD_PCI3649 97
#define KTZ_BOARD_PCI3649L 169

/* Error numbers: the low 12 bits of a result code. */
typedef enum KtzError {
    ErrMemoryAlloc = 1,
    ErrSettingsNotFound = 2,
    ErrInvalidHandle = 3,
    ErrConversionTimeout = 4,
    ErrInvalidScaleRange = 5,
    ErrInvalidChannel = 7,
    ErrInvalidGain = 8,
    ErrTriggerTimeout = 9,
    ErrInvalidParameter = 10,
    ErrInvalidPacerRate = 22,
    ErrAcquisitionRunning = 23,
    ErrUnsupportedBoard = 24,
    ErrKernelOpen = 26,
    ErrNotSupported = 27,
    ErrInvalidSetting = 32,
    ErrNoBuffer = 33,
    ErrInvalidCount = 34,
    ErrEventCreate = 37,
    ErrTransferStart = 38,
    ErrInvalidEventType = 40,
    ErrDmaBusy = 43,
    ErrInvalidTriggerLevel = 56,
    ErrUnknownProperty = 62,
    ErrEventWait = 63,
    ErrKernelRequest = 100,
    ErrPortFileNotFound = 101,
    ErrPortInvalidHandle = 102,
    ErrPortTooManyCommands = 103,
    ErrPortNoAccess = 105,
    ErrPortRequest = 106,
    ErrEventEnable = 111
} KtzError;

/* The error number of a result code (kernel status words pass through too). */
#define KtzErrorNumber(result) ((DWORD)(result) & 0xFFFu)
/* The device number a device error names, or -1 for a bare result. */
#define KtzErrorDevice(result) ((LONG)((DWORD)(result) >> 12) - 1)

/* ---- device objects and register access ------------------------------- */

DWORD WINAPI DeviceOpen(DWORD deviceNumber, KTZHANDLE *handleOut);
DWORD WINAPI DeviceClose(KTZHANDLE *handleVar);
DWORD WINAPI DeviceGetFeatures(KTZHANDLE handle, LPVOID buffer, WORD bufferSize);

DWORD WINAPI WritePortByte(KTZHANDLE handle, WORD port, BYTE value);
DWORD WINAPI WritePortWord(KTZHANDLE handle, WORD port, WORD value);
DWORD WINAPI ReadPortByte(KTZHANDLE handle, WORD port, WORD *value);
DWORD WINAPI ReadPortWord(KTZHANDLE handle, WORD port, WORD *value);

DWORD WINAPI DriverProc(DWORD reserved1, DWORD reserved2, DWORD functionCode, ULONG_PTR handle,
                        ULONG_PTR parameters);

/* ---- analog input ------------------------------------------------------ */

DWORD WINAPI AIConfig(KTZHANDLE handle, WORD channel, WORD gainCode);
DWORD WINAPI AIGetConfig(KTZHANDLE handle, LPVOID config, DWORD reserved);
DWORD WINAPI AIBinaryIn(KTZHANDLE handle, WORD channel, WORD triggerMode, WORD *reading);
DWORD WINAPI AIScale(WORD reading, FLOAT fullScale, WORD maxCount, WORD offset, FLOAT *voltage);
DWORD WINAPI AIVoltageIn(KTZHANDLE handle, WORD channel, WORD gainCode, WORD triggerMode,
                         FLOAT *voltage);
DWORD WINAPI MAIConfig(KTZHANDLE handle, WORD channels, WORD startChannel, WORD *gainCodes);
DWORD WINAPI MAIBinaryIn(KTZHANDLE handle, WORD channels, WORD startChannel, WORD triggerMode,
                         WORD *readings);
DWORD WINAPI MAIVoltageIn(KTZHANDLE handle, WORD channels, WORD startChannel, WORD *gainCodes,
                          WORD triggerMode, FLOAT *voltages);

/* ---- analog output ----------------------------------------------------- */

DWORD WINAPI AOConfig(KTZHANDLE handle, WORD channel, WORD referenceSource, FLOAT maximum,
                      FLOAT minimum);
DWORD WINAPI AOBinaryOut(KTZHANDLE handle, WORD channel, WORD code);
DWORD WINAPI AOVoltageOut(KTZHANDLE handle, WORD channel, FLOAT voltage);
DWORD WINAPI AOScale(KTZHANDLE handle, WORD channel, FLOAT voltage, WORD *code);

/* ---- digital I/O ------------------------------------------------------- */

DWORD WINAPI DioSetPortMode(KTZHANDLE handle, WORD port, WORD direction);
DWORD WINAPI DioGetConfig(KTZHANDLE handle, WORD *directions, WORD count);
DWORD WINAPI DioReadPortByte(KTZHANDLE handle, WORD port, WORD *value);
DWORD WINAPI DioWritePortByte(KTZHANDLE handle, WORD port, WORD mask, WORD state);
DWORD WINAPI DioReadBit(KTZHANDLE handle, WORD port, WORD bit, WORD *value);
DWORD WINAPI DioWriteBit(KTZHANDLE handle, WORD port, WORD bit, WORD state);
DWORD WINAPI DioGetCurrentDOByte(KTZHANDLE handle, WORD port, WORD *value);
DWORD WINAPI DioGetCurrentDOBit(KTZHANDLE handle, WORD port, WORD bit, WORD *value);
DWORD WINAPI DioReadPortWord(KTZHANDLE handle, WORD port, WORD *validMask, WORD *value);
DWORD WINAPI DioReadPortDword(KTZHANDLE handle, WORD port, DWORD *validMask, DWORD *value);
DWORD WINAPI DioWritePortWord(KTZHANDLE handle, WORD port, WORD mask, WORD state);
DWORD WINAPI DioWritePortDword(KTZHANDLE handle, WORD port, DWORD mask, DWORD state);
DWORD WINAPI DioGetCurrentDOWord(KTZHANDLE handle, WORD port, WORD *validMask, WORD *value);
DWORD WINAPI DioGetCurrentDODword(KTZHANDLE handle, WORD port, DWORD *validMask, DWORD *value);
DWORD WINAPI DioReadDiPorts(KTZHANDLE handle, DWORD firstPort, DWORD portCount, BYTE *buffer);
DWORD WINAPI DioWriteDoPorts(KTZHANDLE handle, DWORD firstPort, DWORD portCount, BYTE *buffer);
DWORD WINAPI DioGetCurrentDoPortsState(KTZHANDLE handle, DWORD firstPort, DWORD portCount,
                                       BYTE *buffer);

/* ---- counters ---------------------------------------------------------- */

DWORD WINAPI CounterEventStart(KTZHANDLE handle, WORD counter, WORD gateMode);
DWORD WINAPI CounterEventRead(KTZHANDLE handle, WORD counter, WORD *overflow, DWORD *count);
DWORD WINAPI CounterFreqStart(KTZHANDLE handle, WORD counter, DWORD reserved1, DWORD reserved2);
DWORD WINAPI CounterFreqRead(KTZHANDLE handle, WORD counter, FLOAT *frequency);
DWORD WINAPI CounterPulseStart(KTZHANDLE handle, WORD counter, FLOAT period, DWORD reserved,
                               WORD gateMode);
DWORD WINAPI CounterReset(KTZHANDLE handle, WORD counter);
DWORD WINAPI PWMStartRead(KTZHANDLE handle, DWORD reserved, FLOAT *firstTime, FLOAT *secondTime);

/* ---- fast analog input ------------------------------------------------- */

DWORD WINAPI FAIDmaExStart(KTZHANDLE handle, WORD triggerSource, WORD triggerMode,
                           WORD clockSource, WORD option1, WORD option2, FLOAT triggerLevel,
                           WORD option3, WORD scanLength, WORD startChannel,
                           DWORD postTriggerScans, DWORD sampleCount, DWORD sampleRate,
                           WORD *gainList, DWORD reserved14, DWORD reserved15,
                           HGLOBAL bufferHandle, DWORD reserved17, DWORD reserved18,
                           DWORD reserved19, DWORD reserved20);
DWORD WINAPI GetFIFOSize(KTZHANDLE handle, DWORD *size);
DWORD WINAPI FAICheck(KTZHANDLE handle, WORD *stopped, WORD *status1, DWORD *count,
                      WORD *status2, WORD *status3);
DWORD WINAPI ClearOverrun(KTZHANDLE handle);
DWORD WINAPI FAITransfer(KTZHANDLE handle, WORD reserved, LPVOID destination, WORD dataType,
                         DWORD startIndex, DWORD count, DWORD reserved2);
DWORD WINAPI FAIWatchdogCheck(KTZHANDLE handle, WORD reserved, DWORD reserved1, DWORD reserved2,
                              DWORD reserved3, DWORD *triggerIndex, DWORD reserved4);
DWORD WINAPI FAIStop(KTZHANDLE handle);
DWORD WINAPI FAITerminate(KTZHANDLE handle);

/* ---- events ------------------------------------------------------------ */

DWORD WINAPI EnableEvent(KTZHANDLE handle, WORD eventType, WORD enabled, WORD count);
DWORD WINAPI CheckEvent(KTZHANDLE handle, WORD *eventType, DWORD timeout);

/* ---- waveform output --------------------------------------------------- */

DWORD WINAPI FAODmaExStart(KTZHANDLE handle, WORD option, DWORD rate, WORD channel,
                           WORD channelCount, WORD clockSource, WORD *samples, DWORD sampleCount,
                           WORD mode);
DWORD WINAPI FAODmaStart(KTZHANDLE handle, WORD option, DWORD rate, WORD channel, WORD *samples,
                         DWORD sampleCount);
DWORD WINAPI FAODmaStartLoad(KTZHANDLE handle, WORD reserved, WORD *samples, DWORD loadArgument,
                             DWORD sampleCount);
DWORD WINAPI FAOLoad(KTZHANDLE handle, WORD reserved, WORD *samples, DWORD loadArgument,
                     DWORD sampleCount);
DWORD WINAPI FAOIntStart(KTZHANDLE handle, DWORD reserved1, DWORD reserved2, DWORD reserved3,
                         DWORD reserved4, DWORD reserved5, DWORD reserved6);
DWORD WINAPI AllocateDMABuffer(KTZHANDLE handle, WORD mode, DWORD size, DWORD *sizeObtained,
                               DWORD *address);
DWORD WINAPI FreeDMABuffer(KTZHANDLE handle, DWORD *addressVar);
DWORD WINAPI FAOCheck(KTZHANDLE handle, WORD *stopped, WORD *status1, DWORD *count, WORD *zero,
                      WORD *status3);
DWORD WINAPI FAOCheckEx(KTZHANDLE handle, WORD *stopped, WORD *status1, WORD *status3,
                        DWORD *count, WORD *status2);
DWORD WINAPI ClearFlag(KTZHANDLE handle, DWORD flagCode);
DWORD WINAPI FAOScale(KTZHANDLE handle, WORD channel, DWORD count, FLOAT *voltages, WORD *codes);
DWORD WINAPI FAOStop(KTZHANDLE handle);
DWORD WINAPI FAOTerminate(KTZHANDLE handle);

/* ---- configuration ----------------------------------------------------- */

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

/*
 * A card that the kernel service detected, as it records it in the value
 * "FoundDevice" + index of its service key (32 bytes).
 */
typedef struct KtzFoundDevice {
    DWORD BusNumber;   /* PCI bus */
    DWORD SlotNumber;  /* PCI slot (device) */
    DWORD Configured;  /* 0: no device uses the card yet */
    DWORD Reserved1[3];
    DWORD CardKind;    /* 0x9054: PCI-3649; anything else: PCI-3649L */
    DWORD Reserved2;
} KtzFoundDevice;

/*
 * Configures a device in dialog boxes: the settings dialog for a device
 * with a card, else first the choice of an unconfigured card. Returns 0
 * when a dialog was closed, -1 when a dialog could not be created.
 */
LONG WINAPI DeviceConfig(DWORD deviceNumber, DWORD boardId, HWND parent);
/* The settings dialog, with `foundDevice` as the card of a device without one. */
LONG WINAPI DeviceConfigExt(DWORD deviceNumber, DWORD boardId, HWND parent,
                            const KtzFoundDevice *foundDevice, DWORD reserved);

/* Dialog procedures of the settings dialog (105), the card discovery (104) and About (106). */
INT_PTR CALLBACK ConfigDlgProc3649(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ConfigProcFoundDev(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

/*
 * The device manager's property-page provider: request is an
 * SP_PROPSHEETPAGE_REQUEST (setupapi.h), addPage an LPFNADDPROPSHEETPAGE
 * (prsht.h); declared with the types behind them, so that an application
 * needs neither header. TRUE when a page was added.
 */
struct _SP_PROPSHEETPAGE_REQUEST;
struct _PSP;
BOOL WINAPI KtxDevicePropPage(struct _SP_PROPSHEETPAGE_REQUEST *request,
                              BOOL(CALLBACK *addPage)(struct _PSP *page, LPARAM lParam),
                              LPARAM lParam);

#ifdef __cplusplus
}
#endif

#endif /* KTZ3649_H */
