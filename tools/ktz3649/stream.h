// A recording without end: the card fills its buffer cyclically (about-
// trigger mode with a trigger that does not come) and the recorder takes
// each half while the card fills the other, telling a sink the samples and
// the halves it lost. docs/streaming.md describes the protocol and the
// files. Only Win32 and the library's exports: the panel, the benchmark and
// the tests share it.
#pragma once

#include <ktz3649.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace stream {

// Where the samples go, in order. `first` is the index of the first sample
// in the recording, lost samples counted. False stops the recording.
class Sink {
public:
    virtual ~Sink() = default;
    virtual bool Data(uint64_t first, const WORD *words, DWORD count) = 0;
    virtual bool Gap(uint64_t first, DWORD count) = 0;
};

struct Setup {
    KTZHANDLE handle = 0;
    WORD startChannel = 0;
    WORD entries = 1;
    std::vector<WORD> gains{0};  // one per entry; the last one repeats
    DWORD rate = 100000;         // samples per second on the pacer
    WORD clockSource = 0;        // 0 the pacer, else the external clock
    DWORD half = 65536;          // samples per half, rounded down to whole scans
};

struct Totals {
    uint64_t samples = 0;    // delivered to the sink
    uint64_t lost = 0;       // samples of lost halves
    uint64_t written = 0;    // written by the card (its count, widened past 2^32)
    unsigned halves = 0;     // whole halves delivered
    unsigned lostHalves = 0;
    unsigned overruns = 0;   // the card's overrun reports
};

class Recorder {
public:
    Recorder(const Setup &setup, Sink &sink);
    ~Recorder();
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    // Enables the events, allocates the buffer and starts the acquisition;
    // a result code (KtzErrInvalidCount for a half of less than a scan or a
    // buffer above 1,024,000 samples).
    DWORD Start();
    // Waits up to timeoutMs for an event and takes every half that is
    // complete. A result code; ended() says whether the acquisition ended
    // by itself or the sink refused more.
    DWORD Poll(DWORD timeoutMs);
    // Stops the acquisition and takes what the card wrote up to the stop,
    // the half in progress too; then frees the buffer. Safe to call twice.
    DWORD Stop();

    const Totals &totals() const { return totals_; }
    DWORD half() const { return half_; }
    bool ended() const { return ended_; }
    // Samples written into the half being filled, 0 to half().
    DWORD Pending() const;
    // Called before each copy of a half: a slow reader for tests and
    // demonstrations.
    void SetBeforeCopy(std::function<void()> hook) { beforeCopy_ = std::move(hook); }

private:
    DWORD Look();
    DWORD TakeHalves(bool stopped);
    DWORD Copy(DWORD count, bool *intact);
    bool Lose();
    bool Intact() const;

    Setup setup_;
    Sink &sink_;
    DWORD half_ = 0;
    DWORD guard_ = 0;  // samples the card may have written beyond its count
    HGLOBAL buffer_ = nullptr;
    bool running_ = false, ended_ = false;
    DWORD lastCount_ = 0;
    uint64_t next_ = 0;  // the next half to take
    Totals totals_;
    std::vector<WORD> block_;
    std::function<void()> beforeCopy_;
};

}  // namespace stream
