// The virtual lab: the cards plugged into the simulated machine, the
// virtual clock, the request trace and the injected faults.
#pragma once

#include <windows.h>

#include <ktz3649sim.h>

#include <hostwin_driver.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "card.h"

namespace sim {

// Where the machine's cards are recorded (one subkey per card, in order).
// Not under HARDWARE: Windows keeps that key volatile and refuses the
// non-volatile subkeys that let a lab outlive the process that set it up.
constexpr char kInventoryKey[] = "SOFTWARE\\KTZLAB";

class Lab {
public:
    static Lab &Get();

    // Cards. The inventory is in the registry; card state is per process.
    int AddCard(const KtzSimCard &card);
    std::vector<KtzSimCard> Inventory() const;
    // The state of card `index` of the inventory, created on first use.
    std::shared_ptr<Card> CardAt(int index);
    // Forgets every card's state (the inventory stays in the registry).
    void DropCards();

    // Virtual time.
    uint64_t Now() const { return now_.load(); }
    void Advance(uint64_t ns) { now_ += ns; }
    uint64_t RequestCost() const { return requestCost_.load(); }
    void SetRequestCost(uint64_t ns) { requestCost_ = ns; }
    // The engines run in real time multiplied by this factor (0 stops them).
    double TimeFactor() const { return timeFactor_.load(); }
    void SetTimeFactor(double factor) { timeFactor_ = factor; }

    // Trace.
    void Record(const KtzSimTraceEntry &entry);
    void EnableTrace(bool enabled);
    void ClearTrace();
    size_t TraceCount();
    bool TraceAt(size_t index, KtzSimTraceEntry *entry);
    size_t TraceDropped();

    // Faults: whether a request with this code, sent now by the requester
    // thread (RequesterThread), is to fail, and with what.
    bool TakeFault(DWORD code, DWORD *error);
    void AddFault(DWORD code, DWORD error, int count);
    // The n-th request from now of the requester thread fails (0: none).
    void FailNth(unsigned n, DWORD error);
    // The requests that a stop, terminate, cancel or cleanup ends complete
    // this many milliseconds later, on the lab's completion thread (0: at once).
    void SetLateCompletion(DWORD milliseconds) { lateMs_ = milliseconds; }
    void ClearFaults();

    // Completes a kept request that a stop, terminate, cancel or cleanup
    // ended: at once, or late while the fault is set.
    void CompleteEnded(HW_REQUEST *request, DWORD error, DWORD bytes);

    // Trace, faults, clock and card state back to their defaults.
    void Clear();

private:
    Lab() = default;

    struct Fault {
        DWORD error;
        int remaining;  // < 0: always
    };
    struct NthFault {
        DWORD thread = 0;
        unsigned remaining = 0;  // 0: none
        DWORD error = 0;
    };

    // Requests completed late, on a thread of their own, in order of their time.
    class LateCompletions {
    public:
        void Add(HW_REQUEST *request, DWORD error, DWORD bytes, DWORD delayMs);
        // Completes every request still waiting, now.
        void Flush();

    private:
        struct Late {
            std::chrono::steady_clock::time_point due;
            HW_REQUEST *request;
            DWORD error, bytes;
        };
        void Run();
        std::mutex mutex_;
        std::condition_variable wake_;
        std::vector<Late> waiting_;
        std::thread thread_;  // started on first use; lives as long as the lab
    };

    mutable std::mutex mutex_;
    std::map<int, std::shared_ptr<Card>> cards_;
    std::atomic<uint64_t> now_{0};
    std::atomic<uint64_t> requestCost_{1000};
    std::atomic<double> timeFactor_{1.0};
    std::vector<KtzSimTraceEntry> trace_;
    bool traceEnabled_ = true;
    size_t traceDropped_ = 0;
    std::map<DWORD, Fault> faults_;
    NthFault nth_;
    std::atomic<DWORD> lateMs_{0};
    LateCompletions late_;
};

constexpr size_t kTraceCapacity = 1u << 20;
constexpr uint64_t kDefaultRequestCost = 1000;

}  // namespace sim
