// What the waveform-output files share: the card registers and bits of the
// output path, the first checks, and the steps that several exports run.
#pragma once

#include <windows.h>

#include <ktz3649.h>

namespace ktz {

struct DeviceRecord;
struct FaoState;

// Card registers of the waveform path.
constexpr WORD kRegStatus = 8;        // write: 0x0800 resets the output FIFO; read: FIFO bits
constexpr WORD kRegStatusHigh = 9;    // bit 4: the output FIFO has run empty
constexpr WORD kRegAoControl = 10;    // analog-output control (single-value output too)
constexpr WORD kRegAoControlHigh = 11;  // bit 7: the card plays its FIFO
constexpr WORD kRegFifo = 48;         // a written word enters the output FIFO

constexpr BYTE kFifoRanEmpty = 0x10;
constexpr BYTE kFifoPlaying = 0x80;

// The FIFO sizes the probe tells apart.
constexpr DWORD kSmallFifoSamples = 4096;
constexpr DWORD kLargeFifoSamples = 32768;

// The pacer's clock and its slowest rate (a divisor of 0 counts 65536).
constexpr DWORD kPacerClockHz = 10000000;
constexpr DWORD kSlowestPacerDivisor = 65536;

// The record of an open device whose board may have outputs: bare 3 when
// the handle is not an open device, error 27 for the PCI-3649L.
DWORD FindOutputDevice(KTZHANDLE handle, DeviceRecord **device);

// FreeDMABuffer after its checks: the free request, then *address = 0.
void FreeDmaBuffer(const DeviceRecord &device, DWORD *address);

// Closes the event of the start request's overlapped record, if open.
void CloseStartEvent(FaoState &fao);

// FAOTerminate after its checks: ends a running output, frees the DMA
// buffer that FAODmaExStart obtained and waits, within a bound, for the
// FIFO to play out.
void TerminateOutput(DeviceRecord &device);

// The longest the drain waits for the FIFO to play out, in milliseconds.
DWORD DrainLimitMs(const DeviceRecord &device);

}  // namespace ktz
