// The card's fast-input engine: a DMA acquisition of the channel scan into
// the application's buffer, paced by the on-board pacer or the lab's
// external clock, in real time scaled by the lab's time factor.
//
// Life of an acquisition: the start request checks and records it
// (Prepared); the overlapped read of the buffer starts the engine thread
// (Running), which writes samples at the clock's rate and signals the
// device's events; it ends by itself (Ended: the buffer is complete, the
// read completes, the terminated event follows) or by a stop or terminate
// request, or the cleanup of the open that started it (Stopped: the read
// completes before the request returns).
#pragma once

#include <windows.h>

#include <hostwin_driver.h>
#include <ktz3649sim.h>

#include <ktz3649_driver.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "card.h"

namespace sim {

struct OpenFile;
class AdcBlock;

// Status numbers of the start request's reply (the library passes them on
// as error numbers).
constexpr DWORD kStartBadTrigger = 10;  // trigger mode or source, post-trigger scans
constexpr DWORD kStartBadDivisor = 22;  // on-board pacer faster than 1 MS/s
constexpr DWORD kStartBadCount = 34;    // sample count 0, odd or above 1,024,000
constexpr DWORD kStartBusy = 43;        // an acquisition is already under way

class AcquisitionBlock : public CardBlock {
public:
    explicit AcquisitionBlock(Card &card) : card_(card) {}
    ~AcquisitionBlock() override;

    bool Read(Card &, WORD, int, WORD &) override { return false; }
    bool Write(Card &, WORD, int, WORD) override { return false; }

    // Requests of an open (caller's thread, card lock not held).

    // The availability word: the lab's busy word, else 1 while an
    // acquisition is prepared or running, else 0.
    WORD Availability();
    // Checks and records a start; 0 or a start status number.
    DWORD Start(OpenFile &owner, const KtzFaiStartRequest &request);
    // The read of the buffer: starts a prepared acquisition of this open.
    // ERROR_IO_PENDING, or the error the read fails with.
    DWORD QueueRead(OpenFile &owner, HW_REQUEST &request);
    // Stop (the read completes with the samples so far) or terminate (the
    // read is cancelled) this open's acquisition; returns when the engine
    // has stopped.
    void Stop(OpenFile &owner, bool terminate);
    void ClearOverrun(OpenFile &owner);
    KtzFastStatusRecord Status(OpenFile &owner);
    // The open is cleaned up: its acquisition ends as by terminate.
    void Release(OpenFile &owner);
    // The read of this open's acquisition is cancelled: it ends as by terminate.
    void Cancel(OpenFile &owner, HW_REQUEST &read);

    // Lab controls.
    void SetBusyWord(WORD word);
    // The next `count` requests of `code` (< 0: all) reply with `status`.
    void SetStatusReply(DWORD code, DWORD status, int count);
    // The status that the next request of `code` replies with, 0 if none.
    DWORD TakeStatusReply(DWORD code);
    void SetEventsWithheld(unsigned slots) { eventsWithheld_ = slots; }
    unsigned EventsWithheld() const { return eventsWithheld_; }
    void SetExternalClock(uint64_t periodNs);
    // Adds clock pulses and waits (at most `timeoutMs`) until the engine has
    // taken them or no acquisition runs; false on a time-out.
    bool PulseExternalClock(uint64_t count, DWORD timeoutMs);
    void FireTrigger();
    void Describe(KtzSimAcquisition &info);

private:
    enum class Phase { Idle, Prepared, Running, Ended, Stopped };
    struct Entry {
        int channel;
        BYTE range;
    };
    // What the start request asked for, fixed for the run.
    struct Setup {
        KtzFaiStartRequest request{};
        std::vector<Entry> scan;
        DWORD count = 0;
        DWORD post = 0;           // post-trigger samples (mode 3)
        uint64_t period = 0;      // ns between samples
        DWORD interruptEvery = 0; // samples per interrupt event
        double level = 0.0;       // trigger level, volts
        uint64_t startTime = 0;   // lab time of the first clock tick
        bool external = false;
    };
    // The engine's progress; the thread owns it while it runs and publishes
    // a copy under the lock.
    struct Progress {
        uint64_t ticks = 0;   // clock ticks since the start (samples taken)
        uint64_t stored = 0;  // samples written into the buffer
        size_t entry = 0;     // scan entry of the next tick
        DWORD position = 0;   // where the next sample goes in the buffer
        DWORD published = 0;  // samples from here to position await Publish
        DWORD toInterrupt = 0;  // samples until the next interrupt event
        bool triggered = false;
        uint64_t postLeft = 0;  // post-trigger samples still to write (mode 3)
        bool ended = false;
        bool havePrevious = false;
        double previous = 0.0;  // the first entry's last voltage (level trigger)
        unsigned overruns = 0;
        // The buffer-change event was still signalled when the last half
        // completed: the application had not taken the change before it.
        bool changeNotTaken = false;
    };

    void Run();
    void Produce(Progress &p, uint64_t due, bool &labTrigger);
    void Take(Progress &p, const AdcBlock &adc, bool &labTrigger);
    // Hands the samples written since the last call over to the platform
    // (DmaWritten): under Wine that copies them into the application's buffer.
    void Publish(Progress &p);
    uint64_t TicksToNextEvent(const Progress &p) const;
    void Signal(int slot);
    bool Enabled(int slot) const;
    bool ChangeSignalled() const;
    // Stops a prepared or running acquisition and joins the engine thread.
    void EndRun(std::unique_lock<std::mutex> &lock, bool terminate);

    Card &card_;
    std::mutex mutex_;
    std::condition_variable wake_;      // to the engine: stop, trigger, pulses
    std::condition_variable progress_;  // from the engine: samples taken
    std::thread thread_;

    // Guarded by mutex_.
    Phase phase_ = Phase::Idle;
    OpenFile *owner_ = nullptr;
    Setup setup_;
    WORD *buffer_ = nullptr;
    HW_REQUEST *read_ = nullptr;
    bool stopRequested_ = false;
    bool terminateRequested_ = false;
    bool labTrigger_ = false;
    Progress published_;
    unsigned overrunsCleared_ = 0;  // overruns counted when ClearOverrun came
    uint64_t pulses_ = 0;  // external clock pulses since the start
    uint64_t clockPeriod_ = 0;
    double clockPhase_ = 0.0;  // virtual ns since the external clock's last pulse
    uint64_t maxLag_ = 0;
    uint64_t maxOwnLag_ = 0;
    uint64_t cpuNs_ = 0;
    WORD busyWord_ = 0;
    struct Reply {
        DWORD status;
        int remaining;
    };
    std::map<DWORD, Reply> replies_;

    std::atomic<unsigned> eventsWithheld_{0};  // read when the driver publishes the device
};

// The requests of the acquisition engine.
std::optional<DWORD> HandleAcquisitionRequest(OpenFile &file, HW_REQUEST &request, DWORD &bytes);
// Ends what an open left running, before the open goes.
void ReleaseAcquisition(OpenFile &file);
// A cancelled read of the open's acquisition: it ends as by terminate.
void CancelAcquisitionRead(OpenFile &file, HW_REQUEST &request);
// The events the driver does not create for devices on a card (lab fault).
unsigned EventsWithheld(Card &card);

}  // namespace sim
