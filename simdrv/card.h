// A virtual card: its register window and the logic behind the registers.
#pragma once

#include <windows.h>

#include <ktz3649sim.h>

#include <memory>
#include <mutex>
#include <vector>

namespace sim {

// Offsets 0 to 63 answer; the card decodes nothing beyond. The blocks
// define their registers and bits themselves, apart from the library's map
// on purpose: the card model is an independent check of the library.
constexpr WORD kRegisterWindow = 64;

class Card;

// Whether an access at `offset` of `width` bits covers register byte `reg`.
inline bool Covers(WORD offset, int width, WORD reg) {
    return offset == reg || (width == 16 && offset + 1 == reg);
}

// One function of the card (converter, outputs, ports, counters...). A block
// claims the registers it implements; the others behave as plain storage.
struct CardBlock {
    virtual ~CardBlock() = default;
    // Return true if the block owns the access; `value` is the read result.
    virtual bool Read(Card &card, WORD offset, int width, WORD &value) = 0;
    virtual bool Write(Card &card, WORD offset, int width, WORD value) = 0;
};

class Card {
public:
    explicit Card(const KtzSimCard &info);
    ~Card();

    const KtzSimCard &Info() const { return info_; }

    // A register access from the driver (width 8 or 16), through the blocks.
    WORD Read(WORD offset, int width);
    void Write(WORD offset, int width, WORD value);

    // The plain register storage, for blocks and for lab inspection; the
    // card's lock must be held (blocks run under it).
    WORD Stored(WORD offset, int width) const;
    void Store(WORD offset, int width, WORD value);

    // Held by every access; blocks and lab controls take it too.
    std::recursive_mutex &Lock() { return mutex_; }

    void AddBlock(std::unique_ptr<CardBlock> block) { blocks_.push_back(std::move(block)); }
    template <class T>
    T *Find() {
        for (auto &b : blocks_)
            if (auto *t = dynamic_cast<T *>(b.get())) return t;
        return nullptr;
    }

private:
    KtzSimCard info_;
    std::recursive_mutex mutex_;
    BYTE registers_[kRegisterWindow] = {};
    std::vector<std::unique_ptr<CardBlock>> blocks_;
};

}  // namespace sim
