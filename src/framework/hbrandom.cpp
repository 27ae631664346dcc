// HbRandom: Park-Miller and quick generators over program-wide state words.
#include "hbrandom.h"

#include "hbsingleton.h"

#include <cstring>

namespace
{
constexpr uint32_t kMask = 0x075BD924;
constexpr uint32_t kInitialSeed = 65410624;
} // namespace

HbRandom* HbRandom::Instance()
{
    return HbSingleton<HbRandom>::Instance();
}

HbRandom::HbRandom()
{
    // Each state word lives in a block of its own.
    mSeedState = static_cast<uint32_t*>(HbOperatorNew(sizeof(uint32_t)));
    mGameState = static_cast<uint32_t*>(HbOperatorNew(sizeof(uint32_t)));
    if (!mSeedState)
        mSeedState = &mFallback[0];
    if (!mGameState)
        mGameState = &mFallback[1];
    *mSeedState = kInitialSeed;
    NextUniform(*mSeedState);
    // The game state starts at the integer output of that step of the seed state.
    *mGameState = *mSeedState ^ kMask;
}

HbRandom::~HbRandom()
{
    if (mSeedState != &mFallback[0])
        HbOperatorDelete(mSeedState);
    if (mGameState != &mFallback[1])
        HbOperatorDelete(mGameState);
}

float HbRandom::NextUniform(uint32_t& state)
{
    // 64-bit arithmetic: the same result as the 32-bit Schrage form without
    // relying on signed wrap-around.
    int64_t s = static_cast<int32_t>(state ^ kMask);
    s = (16807 * s) % 2147483647;
    if (s < 0)
        s += 2147483647;
    state = static_cast<uint32_t>(s) ^ kMask;
    return static_cast<float>(static_cast<double>(s) / 2147483648.0);
}

uint32_t HbRandom::QuickNext(uint32_t& state)
{
    state = state * 1664525u + 1013904223u;
    return state;
}

float HbRandom::QuickUniform(uint32_t& state)
{
    uint32_t bits = (QuickNext(state) & 0x7FFFFF) | 0x3F800000;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value - 1.0f;
}
