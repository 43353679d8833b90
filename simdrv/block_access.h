// Lab controls reach a card's blocks through here: the card of an index,
// its lock held, the block of the wanted kind.
#pragma once

#include <mutex>

#include "card.h"
#include "lab.h"

namespace sim {

// Runs f(card, block) under the card's lock; false when there is no such
// card or the card has no such block (f does not run then).
template <class Block, class F>
bool WithBlock(int cardIndex, F f) {
    auto card = Lab::Get().CardAt(cardIndex);
    if (!card) return false;
    std::lock_guard lock(card->Lock());
    Block *block = card->Find<Block>();
    if (!block) return false;
    f(*card, *block);
    return true;
}

}  // namespace sim
