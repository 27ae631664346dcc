// The hero's state machine and its one-object pool.
#include "herostatemachine.h"


namespace
{
alignas(HeroStateMachine) unsigned char gPoolSlot[sizeof(HeroStateMachine)];
bool gPoolInUse = false;
} // namespace

HeroStateMachine* HeroStateMachine::Acquire(TsActor* hero)
{
    HeroStateMachine* machine = nullptr;
    if (!gPoolInUse)
    {
        machine = new (gPoolSlot) HeroStateMachine();
        machine->mPooled = true;
        gPoolInUse = true;
    }
    else
        machine = new HeroStateMachine();
    if (machine)
        machine->mHero = hero;
    return machine;
}

void HeroStateMachine::ReleaseToPool(HeroStateMachine* machine)
{
    if (!machine)
        return;
    if (machine->mPooled)
    {
        machine->~HeroStateMachine();
        gPoolInUse = false;
    }
    else
        delete machine;
}

int32_t HeroStateMachine::IsPoolInUse()
{
    return gPoolInUse ? 1 : 0;
}

HeroState* HeroStateMachine::FindState(int32_t code) const
{
    void* value = nullptr;
    return mStates.Find(uint32_t(code), value) ? static_cast<HeroState*>(value) : nullptr;
}

int32_t HeroStateMachine::AddState(HeroState* state)
{
    if (!state)
        return 0;
    void** slot = mStates.FindOrInsert(uint32_t(state->GetCode()));
    if (!slot)
        return 0;
    auto* old = static_cast<HeroState*>(*slot);
    if (old && old != state)
    {
        if (mCurrent == old)
            mCurrent = nullptr;
        if (mPrevious == old)
            mPrevious = nullptr;
        old->OnRemove(mHero);
        delete old;
    }
    *slot = state;
    return 1;
}

int32_t HeroStateMachine::SetState(int32_t code)
{
    mPrevious = mCurrent;
    HeroState* found = FindState(code);
    if (!found)
        return 0;
    if (found == mCurrent)
        return 1;
    if (mCurrent)
        mCurrent->Exit(mHero);
    mCurrent = found;
    mCurrent->Enter(mHero);
    return 1;
}

int32_t HeroStateMachine::Step()
{
    ++mSteps;
    if (!mCurrent)
        return 0;
    SetState(mCurrent->Decide(mHero));
    return mCurrent->Update(mHero);
}

void HeroStateMachine::RemoveAll()
{
    HbPosition position = mStates.GetStartPosition();
    uint32_t key = 0;
    void* value = nullptr;
    while (mStates.GetNextAssoc(position, key, value))
    {
        auto* state = static_cast<HeroState*>(value);
        state->OnRemove(mHero);
        delete state;
    }
    mStates.RemoveAll();
    mCurrent = mPrevious = nullptr;
}
