#include "acquisition.h"

#include <time.h>

#include <algorithm>
#include <chrono>

#include "adc.h"
#include "block_access.h"
#include "driver.h"
#include "lab.h"
#include "platform.h"

namespace sim {
namespace {

constexpr DWORD kMaxSamples = 1024000;
constexpr WORD kMinDivisor = 10;           // 1 MS/s
constexpr uint64_t kPacerTickNs = 100;     // the pacer divides a 10 MHz clock
constexpr uint64_t kDefaultPulsePeriod = 1000;  // ns of signal time per external pulse
constexpr DWORD kHalfFifo = 2048;          // samples per interrupt unless the start says
constexpr uint64_t kBatch = 4096;          // samples taken per hold of the card lock
constexpr uint64_t kMaxPerWake = 1 << 16;  // samples between looks at the stop flag
constexpr uint64_t kWakeSamples = 2048;  // half the card's FIFO
constexpr auto kMaxSleep = std::chrono::milliseconds(2);
constexpr auto kMinSleep = std::chrono::microseconds(100);

constexpr WORD kMarker = 0x8000;
constexpr int kChannelShift = 12;  // bits 12 to 14: the low bits of the channel
constexpr WORD kModeNone = 0, kModeStartOnTrigger = 1, kModeAboutTrigger = 3;
constexpr WORD kSourceLevel = 2;

constexpr int kSlotInterrupt = 0, kSlotBufferChange = 1, kSlotTerminated = 2, kSlotOverrun = 3;

// Status word 1 of the status record.
constexpr WORD kStatusIdle = 0, kStatusArmed = 1, kStatusSampling = 2, kStatusEnded = 3;

// The card's DMA writes the application's buffer behind the processor's
// back: the store is kept out of the thread sanitizer's sight, which would
// otherwise report the application reading the buffer while it fills (a
// transfer during the run reads whatever the buffer holds, as on the card).
__attribute__((noinline, no_sanitize("thread"))) void DmaWrite(WORD *buffer, uint64_t position,
                                                                WORD value) {
    static_cast<volatile WORD *>(buffer)[position] = value;
}

uint64_t ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

}  // namespace

AcquisitionBlock::~AcquisitionBlock() {
    std::unique_lock lock(mutex_);
    EndRun(lock, true);
}

WORD AcquisitionBlock::Availability() {
    std::lock_guard lock(mutex_);
    if (busyWord_) return busyWord_;
    return phase_ == Phase::Prepared || phase_ == Phase::Running ? 1 : 0;
}

DWORD AcquisitionBlock::Start(OpenFile &owner, const KtzFaiStartRequest &request) {
    Setup setup;
    setup.request = request;
    const WORD mode = request.triggerMode, source = request.triggerSource;
    if (request.sampleCount == 0 || (request.sampleCount & 1) || request.sampleCount > kMaxSamples)
        return kStartBadCount;
    setup.external = request.clockSource != 0;
    if (!setup.external && request.pacerDivisor < kMinDivisor) return kStartBadDivisor;
    if ((mode != kModeNone && mode != kModeStartOnTrigger && mode != kModeAboutTrigger) ||
        (mode == kModeNone) != (source == 0) ||
        (mode == kModeAboutTrigger && request.postTriggerScans == 0))
        return kStartBadTrigger;
    {
        std::lock_guard cardLock(card_.Lock());
        const AdcBlock &adc = *card_.Find<AdcBlock>();
        // From the start to the stop channel, as the multiplexer steps.
        int start = request.multiplexer & 0xF, stop = request.multiplexer >> 8 & 0xF;
        int channel = start;
        for (int i = 0; i < kAdcChannels; ++i) {
            BYTE range = adc.RangeOf(channel);
            setup.scan.push_back({channel, range});
            int last = (range & kRangeDifferential) && !(channel & 1) ? channel + 1 : channel;
            if (channel == stop || last == stop) break;
            channel = (last + 1) % kAdcChannels;
            if (channel == start) break;
        }
    }
    setup.count = request.sampleCount;
    setup.post = request.postTriggerScans * static_cast<DWORD>(setup.scan.size());
    setup.period = setup.external ? kDefaultPulsePeriod : request.pacerDivisor * kPacerTickNs;
    setup.interruptEvery = request.eventCount ? request.eventCount : kHalfFifo;
    setup.level = request.triggerLevelCode * 20.0 / 255.0 - 10.0;

    std::unique_lock lock(mutex_);
    if (phase_ == Phase::Prepared || phase_ == Phase::Running) return kStartBusy;
    EndRun(lock, true);  // joins the thread of an ended run
    if (phase_ == Phase::Prepared || phase_ == Phase::Running) return kStartBusy;
    if (setup.external && clockPeriod_) setup.period = clockPeriod_;
    setup_ = std::move(setup);
    phase_ = Phase::Prepared;
    owner_ = &owner;
    buffer_ = nullptr;
    read_ = nullptr;
    stopRequested_ = terminateRequested_ = labTrigger_ = false;
    published_ = Progress{};
    overrunsCleared_ = 0;
    pulses_ = 0;
    clockPhase_ = 0.0;
    maxLag_ = maxOwnLag_ = 0;
    cpuNs_ = 0;
    return 0;
}

DWORD AcquisitionBlock::QueueRead(OpenFile &owner, HW_REQUEST &request) {
    std::lock_guard lock(mutex_);
    if (owner_ != &owner || phase_ != Phase::Prepared) return ERROR_NOT_READY;
    if (!request.outBuffer || request.outSize < setup_.count * sizeof(WORD))
        return ERROR_INVALID_PARAMETER;
    buffer_ = static_cast<WORD *>(request.outBuffer);
    read_ = &request;
    setup_.startTime = Lab::Get().Now();
    phase_ = Phase::Running;
    thread_ = std::thread([this] { Run(); });
    return ERROR_IO_PENDING;
}

void AcquisitionBlock::EndRun(std::unique_lock<std::mutex> &lock, bool terminate) {
    if (phase_ == Phase::Prepared) phase_ = Phase::Stopped;
    if (phase_ == Phase::Running) {
        stopRequested_ = true;
        terminateRequested_ = terminate;
        wake_.notify_all();
    }
    std::thread thread = std::move(thread_);
    if (!thread.joinable()) return;
    lock.unlock();
    thread.join();  // the thread completes the read on its way out
    lock.lock();
}

void AcquisitionBlock::Stop(OpenFile &owner, bool terminate) {
    std::unique_lock lock(mutex_);
    if (owner_ == &owner) EndRun(lock, terminate);
}

void AcquisitionBlock::Release(OpenFile &owner) {
    std::unique_lock lock(mutex_);
    if (owner_ != &owner) return;
    EndRun(lock, true);
    owner_ = nullptr;
}

void AcquisitionBlock::Cancel(OpenFile &owner, HW_REQUEST &read) {
    std::unique_lock lock(mutex_);
    if (owner_ == &owner && read_ == &read) EndRun(lock, true);
}

void AcquisitionBlock::ClearOverrun(OpenFile &owner) {
    std::lock_guard lock(mutex_);
    if (owner_ == &owner) overrunsCleared_ = published_.overruns;
}

KtzFastStatusRecord AcquisitionBlock::Status(OpenFile &owner) {
    std::lock_guard lock(mutex_);
    KtzFastStatusRecord record{};
    if (owner_ != &owner) return record;
    const Progress &p = published_;
    switch (phase_) {
    case Phase::Prepared: record.status1 = kStatusArmed; break;
    case Phase::Running:
        record.status1 = setup_.request.triggerMode == kModeNone || p.triggered ? kStatusSampling
                                                                                : kStatusArmed;
        break;
    case Phase::Ended: record.status1 = kStatusEnded; break;
    default: record.status1 = kStatusIdle; break;
    }
    record.count = static_cast<DWORD>(p.stored);
    record.status2 = p.position >= setup_.count / 2 ? 1 : 0;
    record.status3 = p.overruns > overrunsCleared_ ? 1 : 0;
    return record;
}

bool AcquisitionBlock::Enabled(int slot) const {
    return owner_->device->eventEnabled[slot] && owner_->device->events[slot];
}

void AcquisitionBlock::Signal(int slot) { SignalEnabledEvent(*owner_->device, slot); }

// A manual-reset event: looking does not take it.
bool AcquisitionBlock::ChangeSignalled() const {
    return Enabled(kSlotBufferChange) &&
           WaitForSingleObject(owner_->device->events[kSlotBufferChange], 0) == WAIT_OBJECT_0;
}

// One clock tick: the sample of the next scan entry. Before the trigger
// (modes 1 and 3) the first entry of each scan watches for it; mode 1 keeps
// no sample before it. Counters run on, without divisions: this is the
// engine's inner loop.
void AcquisitionBlock::Take(Progress &p, const AdcBlock &adc, bool &labTrigger) {
    const Setup &s = setup_;
    const WORD mode = s.request.triggerMode;
    const Entry &entry = s.scan[p.entry];
    const bool scanStart = p.entry == 0;
    if (++p.entry == s.scan.size()) p.entry = 0;
    const uint64_t t = s.startTime + p.ticks++ * s.period;
    if (mode != kModeNone && !p.triggered && scanStart) {
        bool fire = labTrigger;
        if (s.request.triggerSource == kSourceLevel) {
            double volts = adc.MeasuredVoltage(entry.channel, entry.range, t);
            fire = fire || (p.havePrevious && p.previous < s.level && volts >= s.level);
            p.previous = volts;
            p.havePrevious = true;
        }
        if (fire) {
            p.triggered = true;
            p.postLeft = s.post;
            labTrigger = false;
        }
    }
    if (mode == kModeStartOnTrigger && !p.triggered) return;

    const DWORD half = s.count / 2;
    // Starting to rewrite a half that the application has not taken: the
    // change before the last one was still untaken when the last came,
    // and the application has not woken since. (The change of the half
    // just completed alone is no overrun: a reader has until the rewrite.)
    if ((p.position == 0 || p.position == half) && p.stored >= s.count && p.changeNotTaken &&
        ChangeSignalled()) {
        ++p.overruns;
        Signal(kSlotOverrun);
    }
    WORD value = static_cast<WORD>(adc.Sample(entry.channel, entry.range, t) |
                                   (entry.channel & 0x7) << kChannelShift);
    if (mode == kModeAboutTrigger && p.triggered) value |= kMarker;
    DmaWrite(buffer_, p.position, value);
    ++p.stored;

    const bool interrupt = --p.toInterrupt == 0;
    const bool halfDone = ++p.position == half || p.position == s.count;
    // The application finds the samples in its buffer when an event wakes it.
    if (interrupt || halfDone) Publish(p);
    if (interrupt) {
        p.toInterrupt = s.interruptEvery;
        Signal(kSlotInterrupt);
    }
    if (halfDone) {
        p.changeNotTaken = ChangeSignalled();
        Signal(kSlotBufferChange);
    }
    if (mode == kModeAboutTrigger) {
        if (p.position == s.count) p.position = p.published = 0;
        p.ended = p.triggered && --p.postLeft == 0;
    } else {
        p.ended = p.stored == s.count;
    }
}

void AcquisitionBlock::Produce(Progress &p, uint64_t due, bool &labTrigger) {
    const AdcBlock &adc = *card_.Find<AdcBlock>();
    if (setup_.request.triggerMode == kModeNone) labTrigger = false;
    while (p.ticks < due && !p.ended) {
        uint64_t end = std::min(due, p.ticks + kBatch);
        std::lock_guard cardLock(card_.Lock());
        while (p.ticks < end && !p.ended) Take(p, adc, labTrigger);
        Publish(p);
    }
}

void AcquisitionBlock::Publish(Progress &p) {
    if (p.position > p.published)
        DmaWritten(*read_, p.published * DWORD{sizeof(WORD)},
                   (p.position - p.published) * DWORD{sizeof(WORD)});
    p.published = p.position;
    // The status counts what the buffer holds before an event announces it.
    std::lock_guard lock(mutex_);
    published_ = p;
}

// Ticks until the next sample that signals something or ends the run.
uint64_t AcquisitionBlock::TicksToNextEvent(const Progress &p) const {
    const Setup &s = setup_;
    const WORD mode = s.request.triggerMode;
    if (mode == kModeStartOnTrigger && !p.triggered) return UINT64_MAX;
    const DWORD half = s.count / 2;
    uint64_t ticks = p.position < half ? half - p.position : s.count - p.position;
    ticks = std::min<uint64_t>(ticks, p.toInterrupt);
    if (mode != kModeAboutTrigger) ticks = std::min<uint64_t>(ticks, s.count - p.stored);
    else if (p.triggered) ticks = std::min(ticks, p.postLeft);
    return ticks;
}

void AcquisitionBlock::Run() {
    auto real = std::chrono::steady_clock::now();
    double virtualNs = 0.0;
    Progress p;
    p.toInterrupt = setup_.interruptEvery;
    bool labTrigger = false;
    // Since the last look: how long the thread asked to sleep, and its CPU
    // time then; the rest of the time the system did not run it.
    double askedNs = 0.0;
    uint64_t cpuAtLook = ThreadCpuNs();
    std::unique_lock lock(mutex_);
    while (!stopRequested_) {
        // Virtual time passes at the lab's factor; the external clock
        // pulses in virtual time as well.
        auto now = std::chrono::steady_clock::now();
        double factor = Lab::Get().TimeFactor();
        double realNs = std::chrono::duration<double, std::nano>(now - real).count();
        double elapsed = realNs * factor;
        real = now;
        virtualNs += elapsed;
        if (clockPeriod_) {
            clockPhase_ += elapsed;
            auto pulses = static_cast<uint64_t>(clockPhase_ / static_cast<double>(clockPeriod_));
            pulses_ += pulses;
            clockPhase_ -= static_cast<double>(pulses * clockPeriod_);
        }
        uint64_t due = pulses_;
        if (!setup_.external)
            due = static_cast<uint64_t>(virtualNs / static_cast<double>(setup_.period)) + 1;
        labTrigger = labTrigger || labTrigger_;
        labTrigger_ = false;
        if (!setup_.external && due > p.ticks) {
            // Ticks that came due while the system kept the thread from
            // running are not the engine's own slowness.
            uint64_t cpu = ThreadCpuNs();
            double idle = realNs - askedNs - static_cast<double>(cpu - cpuAtLook);
            cpuAtLook = cpu;
            auto notOwn = static_cast<uint64_t>(std::max(idle, 0.0) * factor /
                                                static_cast<double>(setup_.period));
            uint64_t lag = due - p.ticks;
            maxLag_ = std::max(maxLag_, lag);
            maxOwnLag_ = std::max(maxOwnLag_, lag - std::min(lag, notOwn));
        }
        askedNs = 0.0;
        lock.unlock();

        Produce(p, std::min(due, p.ticks + kMaxPerWake), labTrigger);

        lock.lock();  // Produce has published what it wrote
        progress_.notify_all();
        if (p.ended) break;
        if (p.ticks < due) continue;  // behind the clock: no sleep

        auto sleep = std::chrono::duration_cast<std::chrono::nanoseconds>(kMaxSleep);
        // Wake for the next event, and often enough that the samples due
        // at a wake fit half the card's FIFO.
        uint64_t ticks = std::min(TicksToNextEvent(p), kWakeSamples);
        if (!setup_.external && factor > 0.0) {
            double ahead = static_cast<double>(p.ticks + ticks - 1) *
                               static_cast<double>(setup_.period) - virtualNs;
            auto ns = static_cast<int64_t>(std::max(ahead, 0.0) / factor);
            sleep = std::clamp(std::chrono::nanoseconds(ns),
                               std::chrono::nanoseconds(kMinSleep), sleep);
        }
        askedNs = static_cast<double>(sleep.count());
        wake_.wait_for(lock, sleep, [&] {
            return stopRequested_ || labTrigger_ || (setup_.external && pulses_ > p.ticks);
        });
    }

    // The end: the status says so before the read completes, and the read
    // completes before the terminated event reports the end.
    const bool ended = p.ended;
    phase_ = ended ? Phase::Ended : Phase::Stopped;
    HW_REQUEST *read = read_;
    read_ = nullptr;
    DWORD error = !ended && terminateRequested_ ? ERROR_OPERATION_ABORTED : ERROR_SUCCESS;
    DWORD bytes = static_cast<DWORD>(std::min<uint64_t>(p.stored, setup_.count) * sizeof(WORD));
    lock.unlock();
    if (read && ended)
        HwCompleteRequest(read, error, bytes);
    else if (read)
        Lab::Get().CompleteEnded(read, error, bytes);  // stopped: at once, or late (a fault)
    if (ended) Signal(kSlotTerminated);
    lock.lock();
    cpuNs_ = ThreadCpuNs();
    progress_.notify_all();
}

void AcquisitionBlock::SetBusyWord(WORD word) {
    std::lock_guard lock(mutex_);
    busyWord_ = word;
}

void AcquisitionBlock::SetStatusReply(DWORD code, DWORD status, int count) {
    std::lock_guard lock(mutex_);
    if (count == 0 || status == 0)
        replies_.erase(code);
    else
        replies_[code] = Reply{status, count};
}

DWORD AcquisitionBlock::TakeStatusReply(DWORD code) {
    std::lock_guard lock(mutex_);
    auto it = replies_.find(code);
    if (it == replies_.end()) return 0;
    DWORD status = it->second.status;
    if (it->second.remaining > 0 && --it->second.remaining == 0) replies_.erase(it);
    return status;
}

void AcquisitionBlock::SetExternalClock(uint64_t periodNs) {
    std::lock_guard lock(mutex_);
    clockPeriod_ = periodNs;
    clockPhase_ = 0.0;
    wake_.notify_all();
}

bool AcquisitionBlock::PulseExternalClock(uint64_t count, DWORD timeoutMs) {
    std::unique_lock lock(mutex_);
    if (phase_ != Phase::Prepared && phase_ != Phase::Running) return true;  // nobody listens
    uint64_t target = pulses_ += count;
    wake_.notify_all();
    return progress_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return phase_ != Phase::Running || published_.ticks >= target;
    });
}

void AcquisitionBlock::FireTrigger() {
    std::lock_guard lock(mutex_);
    if (phase_ != Phase::Running) return;
    labTrigger_ = true;
    wake_.notify_all();
}

void AcquisitionBlock::Describe(KtzSimAcquisition &info) {
    std::lock_guard lock(mutex_);
    info = KtzSimAcquisition{};
    switch (phase_) {
    case Phase::Prepared: info.state = KTZSIM_ACQ_PREPARED; break;
    case Phase::Running: info.state = KTZSIM_ACQ_RUNNING; break;
    case Phase::Ended: info.state = KTZSIM_ACQ_ENDED; break;
    case Phase::Stopped: info.state = KTZSIM_ACQ_STOPPED; break;
    default: info.state = KTZSIM_ACQ_NONE; return;
    }
    const KtzFaiStartRequest &r = setup_.request;
    info.sampleCount = r.sampleCount;
    info.pacerDivisor = r.pacerDivisor;
    info.clockSource = r.clockSource;
    info.triggerMode = r.triggerMode;
    info.triggerSource = r.triggerSource;
    info.triggerLevelCode = r.triggerLevelCode;
    info.postTriggerScans = r.postTriggerScans;
    info.multiplexer = r.multiplexer;
    info.options[0] = r.option1;
    info.options[1] = r.option2;
    info.options[2] = r.option3;
    info.eventEnabled = r.eventEnabled;
    info.eventType = r.eventType;
    info.eventCount = r.eventCount;
    info.scanLength = static_cast<unsigned>(setup_.scan.size());
    for (size_t i = 0; i < setup_.scan.size(); ++i) {
        info.scanChannels[i] = static_cast<unsigned>(setup_.scan[i].channel);
        info.scanRanges[i] = setup_.scan[i].range;
    }
    info.startTime = setup_.startTime;
    info.samples = published_.stored;
    info.ticks = published_.ticks;
    info.triggered = published_.triggered ? 1 : 0;
    info.overruns = published_.overruns;
    info.maxLag = maxLag_;
    info.maxOwnLag = maxOwnLag_;
    info.engineCpuNs = cpuNs_;
}

unsigned EventsWithheld(Card &card) {
    auto *engine = card.Find<AcquisitionBlock>();
    return engine ? engine->EventsWithheld() : 0;
}

}  // namespace sim

using namespace sim;

extern "C" {

int KtzSimSetExternalClock(int card, unsigned periodNs) {
    bool ok = WithBlock<AcquisitionBlock>(
        card, [&](Card &, AcquisitionBlock &engine) { engine.SetExternalClock(periodNs); });
    return ok ? 0 : ERROR_INVALID_PARAMETER;
}

int KtzSimPulseExternalClock(int card, unsigned count) {
    // Without the card's lock: the engine needs it to take the samples.
    auto c = Lab::Get().CardAt(card);
    auto *engine = c ? c->Find<AcquisitionBlock>() : nullptr;
    if (!engine) return ERROR_INVALID_PARAMETER;
    constexpr DWORD kTimeoutMs = 30000;
    constexpr int kErrorTimeout = 1460;  // ERROR_TIMEOUT
    return engine->PulseExternalClock(count, kTimeoutMs) ? 0 : kErrorTimeout;
}

int KtzSimFireAcquisitionTrigger(int card) {
    bool ok = WithBlock<AcquisitionBlock>(card,
                                          [](Card &, AcquisitionBlock &e) { e.FireTrigger(); });
    return ok ? 0 : ERROR_INVALID_PARAMETER;
}

int KtzSimSetAvailabilityWord(int card, unsigned word) {
    bool ok = WithBlock<AcquisitionBlock>(card, [&](Card &, AcquisitionBlock &engine) {
        engine.SetBusyWord(static_cast<WORD>(word));
    });
    return ok ? 0 : ERROR_INVALID_PARAMETER;
}

int KtzSimSetStatusReply(int card, unsigned code, unsigned status, int count) {
    bool ok = WithBlock<AcquisitionBlock>(card, [&](Card &, AcquisitionBlock &engine) {
        engine.SetStatusReply(code, status, count);
    });
    return ok ? 0 : ERROR_INVALID_PARAMETER;
}

int KtzSimSetEventsNotCreated(int card, unsigned slots) {
    bool ok = WithBlock<AcquisitionBlock>(
        card, [&](Card &, AcquisitionBlock &engine) { engine.SetEventsWithheld(slots); });
    return ok ? 0 : ERROR_INVALID_PARAMETER;
}

int KtzSimGetAcquisition(int card, KtzSimAcquisition *info) {
    if (!info) return ERROR_INVALID_PARAMETER;
    bool ok = WithBlock<AcquisitionBlock>(
        card, [&](Card &, AcquisitionBlock &engine) { engine.Describe(*info); });
    return ok ? 0 : ERROR_INVALID_PARAMETER;
}

}  // extern "C"
