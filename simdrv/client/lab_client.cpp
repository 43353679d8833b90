// Ktz3649Sim.dll: ktz3649sim.h for programs under Wine, whose lab lives in
// the driver host. Each function goes to the lab's control device as one
// request (lab_protocol.h); the first one brings the lab up (lab_link.h).
#include <windows.h>

#include <ktz3649sim.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "lab_link.h"
#include "lab_packing.h"

namespace simlab {
namespace {

// The value a function returns when the lab cannot be reached: -1 for an
// int (a failure, whether the int is a Win32 error or an index), else 0.
template <class R>
R Unreachable() {
    if constexpr (std::is_same_v<R, int>) return -1;
    else if constexpr (!std::is_void_v<R>) return R{};
}

template <class F, class... A>
auto Remote(unsigned function, A... args) {
    using C = Call<F>;
    using R = decltype(C::Reply(nullptr, 0, args...));
    std::vector<unsigned char> request = C::Request(function, args...);
    std::vector<unsigned char> reply(C::kReplySize);
    DWORD got = 0;
    if (!Transact(request.data(), static_cast<DWORD>(request.size()), reply.data(),
                  static_cast<DWORD>(reply.size()), &got))
        return Unreachable<R>();
    return C::Reply(reply.data(), got, args...);
}

}  // namespace

#define LAB_FUNCTION(result, name, parameters, ...) \
    result name parameters { return Remote<decltype(name)>(id::name __VA_OPT__(, ) __VA_ARGS__); }

LAB_FUNCTION(int, ClearLab, ())
LAB_FUNCTION(int, AnnounceRead, (unsigned long long address, unsigned size), address, size)
LAB_FUNCTION(int, WithdrawRead, ())
LAB_FUNCTION(int, OutputRecord,
             (int card, unsigned channel, int volts, size_t max, int copied,
              OutputRecordReply *reply),
             card, channel, volts, max, copied, reply)

}  // namespace simlab

using namespace simlab;

extern "C" {

LAB_FUNCTION(int, KtzSimAddCard, (unsigned bus, unsigned slot, unsigned boardId), bus, slot,
             boardId)
LAB_FUNCTION(int, KtzSimAddCardEx, (const KtzSimCard *card), card)
LAB_FUNCTION(int, KtzSimCardCount, (void))
LAB_FUNCTION(int, KtzSimGetCard, (int index, KtzSimCard *card), index, card)
LAB_FUNCTION(int, KtzSimCardOfDevice, (unsigned deviceNumber), deviceNumber)
LAB_FUNCTION(unsigned, KtzSimPeek, (int card, unsigned offset, unsigned width), card, offset,
             width)
LAB_FUNCTION(void, KtzSimPoke, (int card, unsigned offset, unsigned width, unsigned value), card,
             offset, width, value)
LAB_FUNCTION(int, KtzSimSetSignal, (int card, unsigned channel, const KtzSimSignal *signal), card,
             channel, signal)
LAB_FUNCTION(int, KtzSimSetInputVoltage, (int card, unsigned channel, double volts), card,
             channel, volts)
LAB_FUNCTION(double, KtzSimInputVoltage, (int card, unsigned channel, unsigned long long time),
             card, channel, time)
LAB_FUNCTION(int, KtzSimSetConversionTime, (int card, unsigned nanoseconds), card, nanoseconds)
LAB_FUNCTION(int, KtzSimSetConverterNeverFinishes, (int card, int never), card, never)
LAB_FUNCTION(int, KtzSimSetExternalTrigger, (int card, unsigned period, int count), card, period,
             count)
LAB_FUNCTION(int, KtzSimFireTrigger, (int card), card)
LAB_FUNCTION(int, KtzSimGetAnalogOutput, (int card, unsigned channel, double *volts), card,
             channel, volts)
LAB_FUNCTION(int, KtzSimSetExternalReference, (int card, double volts), card, volts)
LAB_FUNCTION(int, KtzSimSetDigitalInput, (int card, unsigned port, unsigned lines), card, port,
             lines)
LAB_FUNCTION(int, KtzSimGetDigitalOutput, (int card, unsigned port, unsigned *latch), card, port,
             latch)
LAB_FUNCTION(int, KtzSimSetCounterRate, (int card, unsigned counter, double hertz), card, counter,
             hertz)
LAB_FUNCTION(int, KtzSimSetCounterPulseTrain,
             (int card, unsigned counter, unsigned long long highNs, unsigned long long lowNs),
             card, counter, highNs, lowNs)
LAB_FUNCTION(int, KtzSimInjectCounterPulses,
             (int card, unsigned counter, unsigned long long count), card, counter, count)
LAB_FUNCTION(int, KtzSimSetCounterGate, (int card, unsigned counter, int level), card, counter,
             level)
LAB_FUNCTION(int, KtzSimGetCounterOutput,
             (int card, unsigned counter, KtzSimCounterOutput *output), card, counter, output)
LAB_FUNCTION(int, KtzSimSetCounterPollCost, (int card, unsigned long long nanoseconds), card,
             nanoseconds)
LAB_FUNCTION(int, KtzSimSetOutputFifoSize, (int card, unsigned samples), card, samples)
LAB_FUNCTION(int, KtzSimSetOutputClock, (int card, double hertz), card, hertz)
LAB_FUNCTION(int, KtzSimSetOutputDmaStalled, (int card, int stalled), card, stalled)
LAB_FUNCTION(int, KtzSimSetDmaAvailability, (int card, unsigned word), card, word)
LAB_FUNCTION(int, KtzSimSetDmaLimit, (int card, unsigned bytes), card, bytes)
LAB_FUNCTION(int, KtzSimSetOutputStatus, (int card, unsigned code, unsigned status), card, code,
             status)
LAB_FUNCTION(int, KtzSimGetOutputState, (int card, KtzSimOutputState *state), card, state)
LAB_FUNCTION(int, KtzSimClearOutputRecord, (int card), card)
LAB_FUNCTION(int, KtzSimSetExternalClock, (int card, unsigned periodNs), card, periodNs)
LAB_FUNCTION(int, KtzSimPulseExternalClock, (int card, unsigned count), card, count)
LAB_FUNCTION(int, KtzSimFireAcquisitionTrigger, (int card), card)
LAB_FUNCTION(int, KtzSimSetAvailabilityWord, (int card, unsigned word), card, word)
LAB_FUNCTION(int, KtzSimSetStatusReply, (int card, unsigned code, unsigned status, int count),
             card, code, status, count)
LAB_FUNCTION(int, KtzSimSetEventsNotCreated, (int card, unsigned slots), card, slots)
LAB_FUNCTION(int, KtzSimGetAcquisition, (int card, KtzSimAcquisition *info), card, info)
LAB_FUNCTION(unsigned long long, KtzSimNow, (void))
LAB_FUNCTION(void, KtzSimSetRequestCost, (unsigned nanoseconds), nanoseconds)
LAB_FUNCTION(int, KtzSimSetTimeFactor, (double factor), factor)
LAB_FUNCTION(double, KtzSimTimeFactor, (void))
LAB_FUNCTION(void, KtzSimTraceEnable, (int enabled), enabled)
LAB_FUNCTION(void, KtzSimTraceClear, (void))
LAB_FUNCTION(size_t, KtzSimTraceCount, (void))
LAB_FUNCTION(int, KtzSimTraceGet, (size_t index, KtzSimTraceEntry *entry), index, entry)
LAB_FUNCTION(size_t, KtzSimTraceDropped, (void))
LAB_FUNCTION(void, KtzSimFailRequest, (unsigned code, unsigned lastError, int count), code,
             lastError, count)
LAB_FUNCTION(void, KtzSimClearFaults, (void))
LAB_FUNCTION(void, KtzSimFailNthRequest, (unsigned n, unsigned lastError), n, lastError)
LAB_FUNCTION(void, KtzSimSetLateCompletion, (unsigned milliseconds), milliseconds)

int KtzSimGetOutputRecord(int card, unsigned channel, double *volts, size_t max, size_t *copied,
                          unsigned long long *played) {
    auto reply = std::make_unique<OutputRecordReply>();
    int rc = OutputRecord(card, channel, volts != nullptr, max, copied != nullptr, reply.get());
    if (rc != 0) return rc;
    auto count = static_cast<size_t>(reply->copied);
    std::copy(reply->volts, reply->volts + count, volts);
    *copied = count;
    if (played) *played = reply->played;
    return 0;
}

}  // extern "C"
