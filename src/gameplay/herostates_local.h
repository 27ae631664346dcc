// What the hero state files share: the one-object pool every state class is made from, the
// creation of a state of a code from a list of classes, and the request, clock and machine
// shorthands the states use.
#pragma once

#include "animplayerstatemachine.h"
#include "hbclock.h"
#include "herostates.h"
#include "tsheroactor.h"

#include <cstddef>
#include <cstdint>

/// A state class T under its code, with its own one-object pool.
template <class T, int32_t Code> class PooledHeroState final : public T
{
public:
    PooledHeroState() : T(Code) {}

    static void* operator new(size_t size) noexcept { return Pool().Allocate(size); }
    static void operator delete(void* pointer) noexcept { Pool().Free(pointer); }

    static HeroStatePool& Pool()
    {
        alignas(std::max_align_t) static unsigned char slot[sizeof(PooledHeroState)];
        static HeroStatePool pool(slot, sizeof(slot));
        return pool;
    }
};

template <class T, int32_t Code> struct HeroStateEntry
{
    static constexpr int32_t kCode = Code;
    using Type = PooledHeroState<T, Code>;
};

/// A state of the code from the first entry of that code; null for a code none has.
template <class... Entries> HeroState* HeroStateCreateFrom(int32_t code)
{
    HeroState* made = nullptr;
    ((code == Entries::kCode && !made ? (made = new typename Entries::Type(), 0) : 0), ...);
    return made;
}

/// The pool use of the code's class; -1 for a code none has.
template <class... Entries> int32_t HeroStateInUseFrom(int32_t code)
{
    int32_t inUse = -1;
    ((code == Entries::kCode ? (inUse = Entries::Type::Pool().GetInUse(), 0) : 0), ...);
    return inUse;
}

/// The movement and aiming states (1, 2, 3, 4, 5, 7, 9, 10, 11, 12, 13, 80, 96).
HeroState* HeroMoveStatesCreate(int32_t code);
int32_t HeroMoveStatesInUse(int32_t code);
/// The action, ladder and special states (the other eighteen).
HeroState* HeroActionStatesCreate(int32_t code);
int32_t HeroActionStatesInUse(int32_t code);

namespace herostates
{
inline void ForceMap(int32_t state)
{
    HeroMapRequests().Push(state, AnimPlayerRequestStack::kUrgent);
}
inline void QueueMap(int32_t state)
{
    HeroMapRequests().Push(state, AnimPlayerRequestStack::kPush);
}
inline void ReplaceMap(int32_t state)
{
    HeroMapRequests().Push(state, AnimPlayerRequestStack::kReplace);
}
inline void ForceSap(int32_t state)
{
    HeroSapRequests().Push(state, AnimPlayerRequestStack::kUrgent);
}
inline void QueueSap(int32_t state)
{
    HeroSapRequests().Push(state, AnimPlayerRequestStack::kPush);
}

inline int64_t Now()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mGameTime : 0;
}

/// Seconds of game clock since the tick.
inline double SecondsSince(int64_t tick)
{
    const int64_t frequency = HbPerformanceFrequency();
    return frequency > 0 ? double(Now() - tick) / double(frequency) : 0.0;
}

inline HeroStateMachine* MachineOf(TsActor* hero)
{
    TsHeroActor* h = HbCastTo<TsHeroActor>(hero);
    return h ? h->GetStateMachine() : nullptr;
}

inline void SetState(TsActor* hero, int32_t code)
{
    if (HeroStateMachine* machine = MachineOf(hero))
        machine->SetState(code);
}

/// The current state of one of the hero's players; -1 without the player.
inline int32_t PlayerState(TsActor* hero, int32_t player)
{
    AnimPlayerStateMachine* machine = HeroGetAnimPlayer(hero, player);
    return machine ? machine->GetCurrentStateIndex() : -1;
}
} // namespace herostates
