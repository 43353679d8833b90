// The card's registers: every offset from the card's register base, the
// width the library accesses it with, and its bits by name; the clocks and
// limits of the pacer and the counters; and the 8254 control words.
//
// This is the only place in the library that says where a register is.
// (The card model of the virtual lab keeps definitions of its own on
// purpose: it checks the library against an independent reading of the
// card.)
#pragma once

#include <windows.h>

namespace ktz::card {

// ---- analog input ---------------------------------------------------------

// 16 read: the conversion result in bits 0 to 11 (bits 12 to 14 the channel).
// 16 write: 0 starts a software-triggered conversion.
constexpr WORD kAdData = 0;
constexpr WORD kAdResultMask = 0x0FFF;
constexpr DWORD kAdFifoSamples = 4096;  // the depth of the converter's sample FIFO

// 16 write (8 write in the queue of a fast start and in the reset): the range
// of the channel the multiplexer selects, the gain code in bits 0 to 4.
constexpr WORD kAdRange = 2;
constexpr WORD kAdRangeDifferential = 0x0020;  // the channel's pair, wired differentially

// 8 read: read and discarded, to let a range change settle.
constexpr WORD kAdSettle = 3;

// 16 write: the multiplexer, start channel in the low byte and stop channel
// in the high byte. As bytes: the start channel here, the stop channel at 5.
constexpr WORD kAdMux = 4;
constexpr WORD kAdScanStart = 4;
constexpr WORD kAdScanStop = 5;
constexpr WORD AdMuxWord(DWORD start, DWORD stop) { return static_cast<WORD>(stop << 8 | start); }

// 8 or 16 write: the A/D control.
constexpr WORD kAdControl = 6;
constexpr WORD kAdControlSoftware = 0;         // software trigger, no pacer
constexpr BYTE kAdControlExternalTrigger = 9;  // a conversion per external trigger

// ---- status ---------------------------------------------------------------

// 16 read: the A/D and output FIFO status. 16 write: 0x0800 empties the
// output FIFO.
constexpr WORD kStatus = 8;
constexpr WORD kStatusNoAdResult = 0x0100;       // set while no conversion result waits
constexpr WORD kStatusOutputFifoReset = 0x0800;  // write
constexpr WORD kStatusOutputFifoHalfFull = 0x2000;
constexpr WORD kStatusOutputFifoFull = 0x4000;

// 8 read: the high byte of the status. 8 write: 0x80 after a range change.
constexpr WORD kStatusHigh = 9;
constexpr BYTE kStatusHighOutputFifoEmpty = 0x10;  // the output FIFO has run empty
constexpr BYTE kStatusHighRangeDone = 0x80;

// ---- analog output --------------------------------------------------------

constexpr WORD kAoChannels = 2;

// 16 read and write: the output control. Channel c has the bits below
// shifted left by 4c, and bit 8 + c its waveform path.
constexpr WORD kAoControl = 10;
constexpr WORD kAoControlRangeHigh = 0x1;  // 10 V internal range (waveform: above 5 V)
constexpr WORD kAoControlExternal = 0x2;   // the external reference
constexpr WORD kAoControlBipolar = 0x4;
constexpr WORD AoControlBits(WORD channel, WORD bits) { return static_cast<WORD>(bits << (4 * channel)); }
constexpr WORD AoControlPath(WORD channel) { return static_cast<WORD>(0x0100u << channel); }
constexpr WORD kAoControlChannelBits = 0x01FF;  // both channels' bits and path bit 8
constexpr WORD kAoControlExternalClock = 0x0800;  // waveform output on the external clock

// 8 read: the high byte of the output control.
constexpr WORD kAoControlHigh = 11;
constexpr BYTE kAoControlHighPlaying = 0x80;  // the card plays its output FIFO

// 16 write: the output code of channel 0 and of channel 1.
constexpr WORD AoCode(WORD channel) { return static_cast<WORD>(12 + 2 * channel); }

// 16 write: a word written enters the output FIFO.
constexpr WORD kAoFifo = 48;
constexpr DWORD kSmallOutputFifo = 4096;  // samples; the larger card holds 32768
constexpr DWORD kLargeOutputFifo = 32768;

// ---- pacer ----------------------------------------------------------------

// Two counters of an 8254 on a 10 MHz clock pace the converters: counter 0
// the waveform output, counter 1 the fast input. 16 write, one byte per
// access (low byte, then high byte); the control word at 22.
constexpr WORD kPacerAoData = 16;
constexpr WORD kPacerAiData = 18;
constexpr WORD kPacerControl = 22;
constexpr WORD kPacerAoCounter = 0;
constexpr WORD kPacerAiCounter = 1;
constexpr DWORD kPacerClockHz = 10000000;
constexpr DWORD kPacerMinRate = 154;      // the slowest rate whose divisor fits 16 bits
constexpr DWORD kPacerMaxRate = 1000000;  // the converters' fastest
constexpr DWORD kPacerSlowestDivisor = 65536;  // a divisor of 0 counts 65536

// ---- counters -------------------------------------------------------------

constexpr WORD kCounters = 3;

// 8 or 16 read and write: the data of counter c, one byte per access (only
// the low 8 bits of a word access count).
constexpr WORD CounterData(WORD counter) { return static_cast<WORD>(24 + 2 * counter); }

// 8 or 16 write: the 8254 control word of the three counters.
constexpr WORD kCounterControl = 30;

// 16 write: the gate and clock setting of counter c; counters 1 and 2 read
// back status bits.
constexpr WORD CounterGate(WORD counter) { return static_cast<WORD>(32 + 2 * counter); }
constexpr WORD kGateClockSelected = 0x01;  // count the clock of register 38
constexpr WORD kGateClockInput = 0x02;     // count the counter's input
constexpr WORD kGateClear = 0x08;          // clears the gate's state
constexpr WORD kGateLowerOutput = 0x10;    // gated by the output of the counter below
constexpr WORD kGateLine = 0x20;           // gated by the gate line
constexpr WORD kGatePhase = 0x30;          // gated by a phase of the input
constexpr WORD kGateInvert = 0x40;         // the gate source active low
constexpr WORD kGateHeldOpen = 0x80;       // the gate open, whatever its source
constexpr WORD kGateArm = 0x100;           // arms a phase measurement
constexpr WORD kGateStatusOpen = 0x100;    // status: the gate is open
constexpr WORD kGateStatusOpened = 0x400;  // status: the gate has opened since the clear
constexpr WORD kGateStatusPending = 0x800;  // status: a phase is armed, awaited or timed

// 16 write: the clock of every counter whose setting selects it.
constexpr WORD kCounterClock = 38;
constexpr WORD kCounterClockSelectors = 4;
// The clock of each selector, in hertz: 10 MHz, 1 MHz, 100 kHz, 10 kHz.
constexpr DWORD kCounterClockHz[kCounterClockSelectors] = {10000000, 1000000, 100000, 10000};

// ---- digital I/O ----------------------------------------------------------

constexpr WORD kDioPorts = 2;

// 8 read and write: port 0 and port 1. 16 at port 0: both ports, port 0 in
// the low byte.
constexpr WORD DioPort(WORD port) { return static_cast<WORD>(40 + port); }
constexpr WORD kDioBothPorts = 40;

// 8 write: the port directions, a set bit makes its port an input (the
// device setting DioPortMode holds the same bits).
constexpr WORD kDioDirection = 42;
constexpr WORD DioInputBit(WORD port) { return static_cast<WORD>(port == 0 ? 0x01 : 0x10); }

// ---- reset ----------------------------------------------------------------

// The registers the first open of a device clears, each with the byte 0, in order.
constexpr WORD kResetRegisters[] = {kAdRange, kAdScanStart, kAdScanStop, kAdControl, kStatus,
                                    kStatusHigh};

// ---- 8254 control words ---------------------------------------------------

// Counter modes.
constexpr WORD kMode8254Count = 0;       // counts down once, from the value loaded
constexpr WORD kMode8254OneShot = 1;     // a pulse of the loaded length, started by the gate
constexpr WORD kMode8254SquareWave = 3;  // a square wave of the loaded period
constexpr WORD kMode8254Strobe = 4;      // a strobe when the loaded count runs out

// How a counter's data register is read and written.
enum class Access8254 : WORD { Latch = 0, LowByte = 1, HighByte = 2, LowThenHigh = 3 };

// The control word: the counter in bits 6-7, the access in bits 4-5, the
// mode in bits 1-3, and BCD counting in bit 0.
constexpr WORD ControlWord8254(WORD counter, Access8254 access, WORD mode, bool bcd = false) {
    return static_cast<WORD>(counter << 6 | static_cast<WORD>(access) << 4 | mode << 1 |
                             (bcd ? 1 : 0));
}
// The control word that latches a counter's count for reading.
constexpr WORD LatchWord8254(WORD counter) { return ControlWord8254(counter, Access8254::Latch, 0); }

static_assert(ControlWord8254(1, Access8254::LowThenHigh, kMode8254OneShot) == 0x72);
static_assert(ControlWord8254(2, Access8254::LowThenHigh, kMode8254Count) == 0xB0);
static_assert(ControlWord8254(0, Access8254::LowThenHigh, kMode8254SquareWave) == 0x36);
static_assert(ControlWord8254(1, Access8254::LowThenHigh, kMode8254SquareWave) == 0x76);
static_assert(ControlWord8254(0, Access8254::LowThenHigh, kMode8254Strobe, true) == 0x39);
static_assert(LatchWord8254(1) == 0x40);

}  // namespace ktz::card
