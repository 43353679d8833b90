#include "lab.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "driver.h"
#include "platform.h"

namespace sim {
namespace {

DWORD ReadNumber(HKEY key, const char *name) {
    DWORD value = 0, size = sizeof value;
    RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(&value), &size);
    return value;
}

void WriteNumber(HKEY key, const char *name, DWORD value) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value);
}

}  // namespace

Lab &Lab::Get() {
    static auto *lab = new Lab;
    return *lab;
}

std::vector<KtzSimCard> Lab::Inventory() const {
    std::vector<KtzSimCard> cards;
    HKEY root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInventoryKey, 0, KEY_READ, &root) != ERROR_SUCCESS)
        return cards;
    for (DWORD index = 0;; ++index) {
        char name[32];
        wsprintfA(name, "Card%03u", index);
        HKEY key;
        if (RegOpenKeyExA(root, name, 0, KEY_READ, &key) != ERROR_SUCCESS) break;
        KtzSimCard card{};
        card.bus = ReadNumber(key, "BusNumber");
        card.slot = ReadNumber(key, "SlotNumber");
        card.boardId = ReadNumber(key, "BoardID");
        card.baseAddress = ReadNumber(key, "BaseAddress");
        card.interrupt = ReadNumber(key, "Interrupt");
        cards.push_back(card);
        RegCloseKey(key);
    }
    RegCloseKey(root);
    return cards;
}

int Lab::AddCard(const KtzSimCard &card) {
    if (card.boardId != KTZSIM_PCI3649 && card.boardId != KTZSIM_PCI3649L) return -1;
    auto cards = Inventory();
    for (const auto &c : cards)
        if (c.bus == card.bus && c.slot == card.slot) return -1;
    int index = static_cast<int>(cards.size());
    char path[64];
    wsprintfA(path, "%s\\Card%03u", kInventoryKey, static_cast<UINT>(index));
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return -1;
    WriteNumber(key, "BusNumber", card.bus);
    WriteNumber(key, "SlotNumber", card.slot);
    WriteNumber(key, "BoardID", card.boardId);
    WriteNumber(key, "BaseAddress", card.baseAddress);
    WriteNumber(key, "Interrupt", card.interrupt);
    RegCloseKey(key);
    return index;
}

std::shared_ptr<Card> Lab::CardAt(int index) {
    auto cards = Inventory();
    if (index < 0 || index >= static_cast<int>(cards.size())) return nullptr;
    std::lock_guard lock(mutex_);
    auto &card = cards_[index];
    if (!card) card = std::make_shared<Card>(cards[index]);
    return card;
}

void Lab::DropCards() {
    std::lock_guard lock(mutex_);
    cards_.clear();
}

void Lab::Record(const KtzSimTraceEntry &entry) {
    std::lock_guard lock(mutex_);
    if (!traceEnabled_) return;
    if (trace_.size() >= kTraceCapacity) {
        ++traceDropped_;
        return;
    }
    trace_.push_back(entry);
}

void Lab::EnableTrace(bool enabled) {
    std::lock_guard lock(mutex_);
    traceEnabled_ = enabled;
}

void Lab::ClearTrace() {
    std::lock_guard lock(mutex_);
    trace_.clear();
    traceDropped_ = 0;
}

size_t Lab::TraceCount() {
    std::lock_guard lock(mutex_);
    return trace_.size();
}

bool Lab::TraceAt(size_t index, KtzSimTraceEntry *entry) {
    std::lock_guard lock(mutex_);
    if (index >= trace_.size() || !entry) return false;
    *entry = trace_[index];
    return true;
}

size_t Lab::TraceDropped() {
    std::lock_guard lock(mutex_);
    return traceDropped_;
}

bool Lab::TakeFault(DWORD code, DWORD *error) {
    std::lock_guard lock(mutex_);
    if (nth_.remaining && nth_.thread == RequesterThread() && --nth_.remaining == 0) {
        *error = nth_.error;
        return true;
    }
    auto it = faults_.find(code);
    if (it == faults_.end()) return false;
    *error = it->second.error;
    if (it->second.remaining > 0 && --it->second.remaining == 0) faults_.erase(it);
    return true;
}

void Lab::AddFault(DWORD code, DWORD error, int count) {
    std::lock_guard lock(mutex_);
    if (count == 0)
        faults_.erase(code);
    else
        faults_[code] = Fault{error, count};
}

void Lab::FailNth(unsigned n, DWORD error) {
    std::lock_guard lock(mutex_);
    nth_ = NthFault{RequesterThread(), n, error};
}

void Lab::ClearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
    nth_ = NthFault{};
    lateMs_ = 0;
}

void Lab::CompleteEnded(HW_REQUEST *request, DWORD error, DWORD bytes) {
    if (DWORD delay = lateMs_)
        late_.Add(request, error, bytes, delay);
    else
        HwCompleteRequest(request, error, bytes);
}

void Lab::LateCompletions::Add(HW_REQUEST *request, DWORD error, DWORD bytes, DWORD delayMs) {
    std::lock_guard lock(mutex_);
    waiting_.push_back({std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs),
                        request, error, bytes});
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    wake_.notify_all();
}

void Lab::LateCompletions::Flush() {
    std::vector<Late> due;
    {
        std::lock_guard lock(mutex_);
        due.swap(waiting_);
    }
    for (const Late &late : due) HwCompleteRequest(late.request, late.error, late.bytes);
}

void Lab::LateCompletions::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (waiting_.empty()) {
            wake_.wait(lock);
            continue;
        }
        auto first = std::min_element(waiting_.begin(), waiting_.end(),
                                      [](const Late &a, const Late &b) { return a.due < b.due; });
        auto due = first->due;  // the list may grow (and move) during the wait
        if (std::chrono::steady_clock::now() < due) {
            wake_.wait_until(lock, due);
            continue;
        }
        Late late = *first;
        waiting_.erase(first);
        lock.unlock();
        HwCompleteRequest(late.request, late.error, late.bytes);
        lock.lock();
    }
}

void Lab::Clear() {
    lateMs_ = 0;
    {
        std::lock_guard lock(mutex_);
        cards_.clear();
        trace_.clear();
        traceDropped_ = 0;
        traceEnabled_ = true;
        faults_.clear();
        nth_ = NthFault{};
        now_ = 0;
        requestCost_ = kDefaultRequestCost;
        timeFactor_ = 1.0;
    }
    late_.Flush();  // nothing ended before the reset completes after it
}

}  // namespace sim

using namespace sim;

extern "C" {

int KtzSimAddCard(unsigned bus, unsigned slot, unsigned boardId) {
    int index = KtzSimCardCount();
    KtzSimCard card{bus, slot, boardId, 0xE000u + 0x100u * static_cast<unsigned>(index),
                    5u + static_cast<unsigned>(index)};
    return Lab::Get().AddCard(card);
}

int KtzSimAddCardEx(const KtzSimCard *card) { return card ? Lab::Get().AddCard(*card) : -1; }

int KtzSimCardCount(void) { return static_cast<int>(Lab::Get().Inventory().size()); }

int KtzSimGetCard(int index, KtzSimCard *card) {
    auto cards = Lab::Get().Inventory();
    if (!card || index < 0 || index >= static_cast<int>(cards.size()))
        return ERROR_INVALID_PARAMETER;
    *card = cards[index];
    return 0;
}

unsigned KtzSimPeek(int card, unsigned offset, unsigned width) {
    auto c = Lab::Get().CardAt(card);
    if (!c) return 0;
    std::lock_guard lock(c->Lock());
    return c->Stored(static_cast<WORD>(offset), width == 8 ? 8 : 16);
}

void KtzSimPoke(int card, unsigned offset, unsigned width, unsigned value) {
    auto c = Lab::Get().CardAt(card);
    if (!c) return;
    std::lock_guard lock(c->Lock());
    c->Store(static_cast<WORD>(offset), width == 8 ? 8 : 16, static_cast<WORD>(value));
}

unsigned long long KtzSimNow(void) { return Lab::Get().Now(); }

void KtzSimSetRequestCost(unsigned nanoseconds) { Lab::Get().SetRequestCost(nanoseconds); }

int KtzSimSetTimeFactor(double factor) {
    if (!(factor >= 0.0) || std::isinf(factor)) return ERROR_INVALID_PARAMETER;
    Lab::Get().SetTimeFactor(factor);
    return 0;
}

double KtzSimTimeFactor(void) { return Lab::Get().TimeFactor(); }

void KtzSimTraceEnable(int enabled) { Lab::Get().EnableTrace(enabled != 0); }

void KtzSimTraceClear(void) { Lab::Get().ClearTrace(); }

size_t KtzSimTraceCount(void) { return Lab::Get().TraceCount(); }

int KtzSimTraceGet(size_t index, KtzSimTraceEntry *entry) {
    return Lab::Get().TraceAt(index, entry) ? 0 : ERROR_INVALID_PARAMETER;
}

size_t KtzSimTraceDropped(void) { return Lab::Get().TraceDropped(); }

void KtzSimFailRequest(unsigned code, unsigned lastError, int count) {
    Lab::Get().AddFault(code, lastError, count);
}

void KtzSimFailNthRequest(unsigned n, unsigned lastError) { Lab::Get().FailNth(n, lastError); }

void KtzSimSetLateCompletion(unsigned milliseconds) { Lab::Get().SetLateCompletion(milliseconds); }

void KtzSimClearFaults(void) { Lab::Get().ClearFaults(); }

}  // extern "C"
