// The card's waveform output and the driver's DMA channel that feeds it.
//
// The card: an output FIFO of 4096 or 32768 samples (the lab chooses).
// A word written to register 48 enters it; a write to register 8 with bit
// 11 set empties it. Register 8 reports it in bits kept in its storage (the
// converter's status read passes them on): bit 12 latches when playing has
// run the FIFO empty (a sample entering or a reset clears it), bit 13 is
// set from half full on, bit 14 when full. While bit 15 of register 10 is
// set, the card plays one sample per clock tick: the pacer's divisor of the
// start (10 MHz / divisor, 0 counting 65536) or, with bit 11 of register
// 10, the lab's external output clock. Bits 8 and 9 of register 10 route
// the samples to channel 0, channel 1 or both in turn; a played sample
// becomes the channel's code (register 12 or 14), so it drives the D/A
// output, and joins the lab's record of the channel.
//
// The driver: one DMA buffer per card (held by the open that allocated
// it), loaded from the application's samples; a start moves them into the
// FIFO whenever it has room, once (or over and over with bit 0 of the
// option word), and keeps the start request pending until the last sample
// has entered the FIFO (then it signals the output-ended event while the
// FIFO still plays), or until a stop, terminate or cleanup.
//
// Time: the card plays in real time multiplied by the lab's time factor,
// on a thread of the card that runs while there is something to play;
// every status read and request also brings the card up to date first.
#pragma once

#include <windows.h>

#include <hostwin_driver.h>

#include <ktz3649_driver.h>

#include <chrono>
#include <condition_variable>
#include <thread>
#include <vector>

#include "card.h"

namespace sim {

struct DeviceObject;
struct OpenFile;
class DacBlock;

constexpr unsigned kSmallOutputFifo = 4096;
constexpr unsigned kLargeOutputFifo = 32768;
// Played values kept per channel in the lab's output record.
constexpr size_t kOutputRecordCapacity = 65536;

// The driver's output flags (status word 2), cleared by the clear-flag request.
constexpr WORD kOutputFlagUnderrun = 0x1;
constexpr WORD kOutputFlagHighHalf = 0x2;
constexpr WORD kOutputFlagLowHalf = 0x4;

// Status word 1.
constexpr WORD kOutputRunning = 0x1;  // the start request is pending
constexpr WORD kOutputPlaying = 0x2;  // the card plays samples from its FIFO

// Option word bit 0: the buffer plays over and over until stopped.
constexpr WORD kOptionRepeat = 0x1;

class OutputBlock : public CardBlock {
public:
    explicit OutputBlock(Card &card);
    ~OutputBlock() override;

    // Status reads bring the card up to date and are left to the converter.
    bool Read(Card &card, WORD offset, int width, WORD &value) override;
    bool Write(Card &card, WORD offset, int width, WORD value) override;

    // The driver's side; the card's lock is held.
    WORD Availability() const;
    void Allocate(const OpenFile &file, KtzDmaBufferRequest &request);
    void Free();
    // Copies samples into the DMA buffer from sample index `first` on.
    DWORD Load(DWORD first, DWORD count, const WORD *samples);
    // ERROR_IO_PENDING, with the request kept; or ERROR_SUCCESS with a
    // status in the reply when the start is refused.
    DWORD Start(OpenFile &file, HW_REQUEST &request, DWORD &bytes);
    void Stop();
    void Terminate();
    KtzFastStatusRecord Status();
    bool ClearFlag(DWORD code);
    void Cleanup(const OpenFile &file);
    // The pending start request is cancelled: the output stops.
    void Cancel(const HW_REQUEST &request);
    // A status the DMA-buffer, start or status replies of this card carry
    // (0: none); false for another request code.
    bool SetStatusReply(DWORD code, DWORD status);

    // Lab controls; the card's lock is held.
    bool SetFifoSize(unsigned samples);
    void SetExternalClock(double hertz) { externalHz_ = hertz; }
    void SetDmaStalled(bool stalled) { dmaStalled_ = stalled; }
    void SetAvailabilityWord(WORD word) { forcedAvailability_ = word; }
    void SetDmaLimit(DWORD bytes) { dmaLimit_ = bytes; }
    void ClearRecord();
    size_t CopyRecord(int channel, double *volts, size_t max, unsigned long long *played) const;
    void Describe(KtzSimOutputState &state);

private:
    void Advance();
    void Refill();
    void Play(WORD code, WORD control);
    void Push(WORD code);
    WORD Pop();
    void UpdateStatusBits();
    double Period(WORD control) const;
    bool Busy() const;
    void HalfTransferred(bool high);
    void Signal(int slot);
    // Completes the pending start request: at the output's end, or (not
    // `finished`) at a stop, terminate, cancel or cleanup, perhaps late.
    void Complete(DWORD error, bool finished = false);
    void Run();

    Card &card_;
    DacBlock *dac_ = nullptr;

    // The FIFO.
    std::vector<WORD> fifo_;
    unsigned capacity_ = kSmallOutputFifo;
    unsigned head_ = 0;
    unsigned level_ = 0;
    bool ranEmpty_ = false;

    // Playing.
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastReal_;
    double engineNs_ = 0;  // the card's time: real time times the lab's factor
    double nextTick_ = 0;  // when the next sample plays
    WORD divisor_ = 0;
    double externalHz_ = 0;
    int nextChannel_ = 0;
    unsigned long long played_ = 0;  // since the start

    // The DMA buffer and channel.
    std::vector<WORD> buffer_;
    bool held_ = false;
    const OpenFile *bufferOwner_ = nullptr;
    DWORD serial_ = 0;
    DWORD dmaLimit_;
    WORD forcedAvailability_ = 0;
    bool dmaStalled_ = false;
    bool dmaActive_ = false;
    bool repeat_ = false;
    DWORD count_ = 0;
    DWORD dmaPos_ = 0;
    WORD flags_ = 0;
    bool underrunSignalled_ = false;
    DWORD allocateStatus_ = 0, startStatus_ = 0, statusStatus_ = 0;

    // The running output's open, its device (events) and its start request.
    const OpenFile *owner_ = nullptr;
    DeviceObject *device_ = nullptr;
    HW_REQUEST *pending_ = nullptr;

    // The record of played values, per channel.
    struct Record {
        std::vector<double> volts;
        size_t next = 0;
        unsigned long long total = 0;
    } record_[2];

    std::thread thread_;
    std::condition_variable_any wake_;
    bool quit_ = false;
};

}  // namespace sim
