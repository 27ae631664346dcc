// The hero's state machine and its one-object pool.
#include "herostatemachine.h"

namespace
{
HeroStateMachine gPooled;
bool gPoolInUse = false;
} // namespace

HeroStateMachine* HeroStateMachine::Acquire(TsActor* hero)
{
    HeroStateMachine* machine = gPoolInUse ? new HeroStateMachine() : &gPooled;
    if (!machine)
        return nullptr;
    *machine = HeroStateMachine();
    machine->mPooled = machine == &gPooled;
    if (machine->mPooled)
        gPoolInUse = true;
    machine->mHero = hero;
    return machine;
}

void HeroStateMachine::ReleaseToPool(HeroStateMachine* machine)
{
    if (!machine)
        return;
    if (machine->mPooled)
    {
        gPoolInUse = false;
        machine->mHero = nullptr;
    }
    else
        delete machine;
}

int32_t HeroStateMachine::Step()
{
    ++mSteps;
    return 0;
}

void HeroStateMachine::RemoveAll()
{
    mCurrentStateId = -1;
}
