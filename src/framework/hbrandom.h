// HbRandom: the framework's random generators: a Park-Miller generator that seeds
// the game state word, and the quick generator game code advances it with.
#pragma once

#include "hbmemory.h"

#include <cstdint>

class HbRandom : public HbAllocated
{
public:
    /// The singleton; making it seeds both state words.
    static HbRandom* Instance();

    /// One Park-Miller step on a state word; a real in [0, 1).
    static float NextUniform(uint32_t& state);
    /// One step of the quick linear congruential generator.
    static uint32_t QuickNext(uint32_t& state);
    /// The quick generator's step as a real in [0, 1) from the state's low 23 bits.
    static float QuickUniform(uint32_t& state);

    /// The seed state word (65,410,624 at start) and the game state word.
    uint32_t& SeedState() { return *mSeedState; }
    uint32_t& GameState() { return *mGameState; }

    HbRandom();
    ~HbRandom();

private:
    uint32_t* mSeedState = nullptr;
    uint32_t* mGameState = nullptr;
    uint32_t mFallback[2] = {};
};
