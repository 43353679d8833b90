// The measurement threads: the process-wide slots and the threads each
// record owns (see counter.h).
#include "counter/counter.h"

#include <memory>
#include <mutex>
#include <vector>

#include "core/device.h"

namespace ktz::counter {
namespace {

// One slot per kind of thread, shared by all devices. A thread clears its
// own slot when it ends, so it compares before it clears.
std::atomic<CounterThread *> slots[2] = {};

// Guards every record's thread list and the joining of threads. A thread
// never takes it, so joining under it cannot deadlock.
std::mutex threadLock;

std::atomic<CounterThread *> &Slot(CounterThreadKind kind) {
    return slots[static_cast<int>(kind)];
}

void ClearSlotIfNamed(CounterThread *thread) {
    CounterThread *expected = thread;
    Slot(thread->kind).compare_exchange_strong(expected, nullptr);
}

// Waits for the thread, closes its handle and drops it from its record.
// With `stop`, asks it to stop first. The lock is held.
void Join(CounterThread *thread, bool stop) {
    if (stop) thread->stop = true;
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    ClearSlotIfNamed(thread);
    auto &threads = thread->device->counter.threads;
    std::erase_if(threads, [&](const auto &t) { return t.get() == thread; });
}

// Joins the record's threads that `select` picks. The lock is held.
template <class Select>
void JoinWhere(DeviceRecord &device, bool stop, Select select) {
    std::vector<CounterThread *> picked;
    for (const auto &t : device.counter.threads)
        if (select(*t)) picked.push_back(t.get());
    for (CounterThread *t : picked) Join(t, stop);
}

}  // namespace

bool SlotBusy(CounterThreadKind kind) { return Slot(kind).load() != nullptr; }

void ForgetThread(CounterThreadKind kind) { Slot(kind) = nullptr; }

bool StartThread(DeviceRecord &device, CounterThreadKind kind, LPTHREAD_START_ROUTINE procedure) {
    std::lock_guard lock(threadLock);
    auto owned = std::make_unique<CounterThread>();
    CounterThread *thread = owned.get();
    thread->device = &device;
    thread->kind = kind;
    device.counter.threads.push_back(std::move(owned));
    // The slot names the thread before it runs: a thread that ends at once
    // still finds itself there and clears it.
    Slot(kind) = thread;
    DWORD id = 0;
    HANDLE handle = CreateThread(nullptr, 0, procedure, thread, 0, &id);
    if (!handle) {
        ClearSlotIfNamed(thread);
        device.counter.threads.pop_back();
        return false;
    }
    thread->handle = handle;
    thread->id = id;
    return true;
}

void StopThreads(DeviceRecord &device, CounterThreadKind kind) {
    std::lock_guard lock(threadLock);
    JoinWhere(device, true, [&](const CounterThread &t) { return t.kind == kind; });
}

void Release(DeviceRecord &device) {
    std::lock_guard lock(threadLock);
    JoinWhere(device, true, [](const CounterThread &) { return true; });
}

void StopAllThreads(DeviceRecord &device) {
    std::lock_guard lock(threadLock);
    for (auto kind : {CounterThreadKind::Frequency, CounterThreadKind::PulseWidth})
        if (CounterThread *thread = Slot(kind).exchange(nullptr)) Join(thread, true);
    JoinWhere(device, true, [](const CounterThread &) { return true; });
}

void ReapThreads(DeviceRecord &device) {
    std::lock_guard lock(threadLock);
    JoinWhere(device, false, [](const CounterThread &t) { return t.done.load(); });
}

bool PauseOneMillisecond(const CounterThread &thread) {
    if (StopRequested(thread)) return false;
    Sleep(1);
    return !StopRequested(thread);
}

void FinishThread(CounterThread &thread, std::atomic<WORD> &ready) {
    if (StopRequested(thread)) return;
    // The result comes before the slot is cleared: a caller that finds the
    // slot empty then finds the result too, and does not start anew over it.
    thread.done = true;
    ready = 1;
    ClearSlotIfNamed(&thread);
}

}  // namespace ktz::counter
