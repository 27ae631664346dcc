// The hero state machine's switching, its pools, the script constants of "states" and the
// rules the states share.
#include "herostates.h"
#include "script_fixture.h"
#include "scriptworldmanager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::vector<std::string> gLog;

/// A state that logs its operations and moves on to a set code.
class LoggingState : public HeroState
{
public:
    LoggingState(int32_t code, int32_t next) : HeroState(code), mNext(next) {}
    int32_t Decide(TsActor*) override
    {
        gLog.push_back("decide " + std::to_string(GetCode()));
        return mNext;
    }
    int32_t Update(TsActor*) override
    {
        gLog.push_back("update " + std::to_string(GetCode()));
        return 1;
    }
    void Enter(TsActor*) override { gLog.push_back("enter " + std::to_string(GetCode())); }
    void Exit(TsActor*) override { gLog.push_back("exit " + std::to_string(GetCode())); }
    int32_t mNext;
};

std::string Joined()
{
    std::string all;
    for (const std::string& s : gLog)
        all += (all.empty() ? "" : ", ") + s;
    gLog.clear();
    return all;
}

TEST(HeroStateMachine, SwitchingExitEnterPreviousAndStep)
{
    HeroStateMachine machine;
    ASSERT_EQ(machine.AddState(new LoggingState(1, 1)), 1);
    ASSERT_EQ(machine.AddState(new LoggingState(9, 1)), 1);
    ASSERT_EQ(machine.AddState(new LoggingState(2, 9)), 1);
    EXPECT_EQ(machine.Step(), 0); // nothing current yet
    EXPECT_EQ(machine.GetCurrentCode(), -1);

    EXPECT_EQ(machine.SetState(1), 1);
    EXPECT_EQ(Joined(), "enter 1");
    // The current code again: no Exit/Enter, but previous is written.
    EXPECT_EQ(machine.SetState(1), 1);
    EXPECT_EQ(Joined(), "");
    EXPECT_EQ(machine.GetPrevious(), machine.GetCurrent());
    // An unknown code keeps the state.
    EXPECT_EQ(machine.SetState(6), 0);
    EXPECT_EQ(machine.GetCurrentCode(), 1);

    // Two switches in one frame: two pairs, previous only the last.
    EXPECT_EQ(machine.SetState(9), 1);
    EXPECT_EQ(machine.SetState(2), 1);
    EXPECT_EQ(Joined(), "exit 1, enter 9, exit 9, enter 2");
    EXPECT_EQ(machine.GetPrevious()->GetCode(), 9);

    // Step: the old state decides, the new one updates in the same frame.
    EXPECT_EQ(machine.Step(), 1);
    EXPECT_EQ(Joined(), "decide 2, exit 2, enter 9, update 9");
    EXPECT_EQ(machine.Step(), 1);
    EXPECT_EQ(Joined(), "decide 9, exit 9, enter 1, update 1");
    // Keeping its own code, the state still updates every frame.
    EXPECT_EQ(machine.Step(), 1);
    EXPECT_EQ(Joined(), "decide 1, update 1");

    // A Decide naming an unknown code leaves the hero in its state.
    static_cast<LoggingState*>(machine.GetCurrent())->mNext = 6;
    machine.Step();
    EXPECT_EQ(Joined(), "decide 1, update 1");

    // Replacing a code's state deletes the old one (the sanitizer sees a leak otherwise).
    EXPECT_EQ(machine.AddState(new LoggingState(2, 2)), 1);
    EXPECT_EQ(machine.GetStateCount(), 3);
    machine.RemoveAll();
    EXPECT_EQ(machine.GetStateCount(), 0);
    EXPECT_EQ(machine.GetCurrent(), nullptr);
}

TEST(HeroStateMachine, OneObjectPoolsFallBackToTheHeapForASecondHero)
{
    ASSERT_EQ(HeroStateMachine::IsPoolInUse(), 0);
    HeroStateMachine* first = HeroStateMachine::Acquire(nullptr);
    HeroStateMachine* second = HeroStateMachine::Acquire(nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(HeroStateMachine::IsPoolInUse(), 1);

    EXPECT_EQ(HeroStatesAddAll(first), kHeroStateCount);
    for (const HeroStateName& entry : kHeroStateNames)
        EXPECT_EQ(HeroStatePoolInUse(entry.code), 1) << entry.name;
    EXPECT_EQ(HeroStatesAddAll(second), kHeroStateCount);
    EXPECT_EQ(second->GetStateCount(), kHeroStateCount);
    EXPECT_EQ(second->SetState(kHeroHit), 1);
    EXPECT_EQ(second->Step(), 1);
    EXPECT_EQ(second->GetCurrentCode(), kHeroHit);
    EXPECT_EQ(HeroStateCreate(6), nullptr);

    // The second hero's heap states go back to the heap, the slots stay taken.
    second->RemoveAll();
    EXPECT_EQ(HeroStatePoolInUse(kHeroDoNothing), 1);
    first->RemoveAll();
    for (const HeroStateName& entry : kHeroStateNames)
        EXPECT_EQ(HeroStatePoolInUse(entry.code), 0) << entry.name;
    HeroStateMachine::ReleaseToPool(second);
    HeroStateMachine::ReleaseToPool(first);
    EXPECT_EQ(HeroStateMachine::IsPoolInUse(), 0);
}

class HeroStatesModule : public scripttest::ScriptTest
{
};

TEST_F(HeroStatesModule, TheThirtyOneCodesInModuleStates)
{
    auto* world = new ScriptWorldManager();
    world->StopScripting();
    world->StartScripting();
    ASSERT_EQ(world->IsScriptingStarted(), 1);
    std::string names;
    for (const HeroStateName& entry : kHeroStateNames)
        names += std::string(names.empty() ? "" : ", ") + "states." + entry.name;
    ASSERT_EQ(scripttest::Exec("import states"), "");
    EXPECT_EQ(scripttest::Eval("len([n for n in dir(states) if n.startswith('HEROSTATE_')])"), "31");
    EXPECT_EQ(scripttest::Eval("[" + names + "]"),
              "[0, 1, 2, 3, 4, 5, 7, 9, 10, 11, 12, 13, 14, 15, 48, 64, 80, 96, 112, 128, 144, 160, 176, 192, "
              "208, 224, 240, 256, 512, 768, 1024]");
    world->StopScripting();
    delete world;
}

TEST(HeroStateRules, RestingStateFromCrouchShootClickLockAndMoving)
{
    struct Case
    {
        bool crouched, shootClick, lock, moving;
        int32_t code;
    };
    const Case cases[] = {
        {false, false, false, false, 1}, {false, false, false, true, 2}, {false, false, true, false, 9},
        {false, false, true, true, 10},  {false, true, false, false, 48}, {false, true, false, true, 48},
        {false, true, true, false, 9},   {false, true, true, true, 10},  {true, false, false, false, 3},
        {true, false, false, true, 4},   {true, false, true, false, 11}, {true, false, true, true, 12},
        {true, true, false, false, 64},  {true, true, false, true, 64},  {true, true, true, false, 11},
        {true, true, true, true, 12},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HeroStateRestCodeFor({c.crouched, c.shootClick, c.lock, c.moving}), c.code)
            << c.crouched << c.shootClick << c.lock << c.moving;
}

TEST(HeroStateRules, WalkingAndAimingUpperBody)
{
    using A = HeroUpperBodyAction;
    auto walk = [](HeroUpperBodyInputs in) { return HeroWalkingUpperBody(in, 16); };
    HeroUpperBodyInputs in;
    in.weaponChange = true;
    EXPECT_EQ(walk(in).action, A::SetState);
    EXPECT_EQ(walk(in).code, 128);
    in.sapState = 23; // mid weapon change: no second change
    in.reload = true;
    EXPECT_EQ(walk(in).code, 16);
    in.reload = false;
    in.blocked = true;
    EXPECT_EQ(walk(in).code, 0); // blocked without a wall flag
    in.wallFlag = 1;
    EXPECT_EQ(walk(in).code, 28);

    auto aim = [](HeroUpperBodyInputs in) { return HeroAimingUpperBody(in, 10, 20); };
    struct Case
    {
        int32_t holdMode, sapState;
        bool reload, blocked, shooting, shootDown, rawClick, shootClick, crouched, context, change;
        int32_t magazine, spare;
        A action;
        int32_t code;
    };
    const Case cases[] = {
        {0, 0, false, false, true, false, false, false, false, false, true, 5, 0, A::SetState, 128},
        {0, 0, false, false, true, false, false, false, false, true, true, 5, 0, A::None, 0},
        {0, 0, true, false, true, false, false, false, false, false, false, 5, 0, A::ForceSap, 20},
        {2, 0, true, false, true, false, false, false, false, false, false, 5, 0, A::ReloadNow, 0},
        {1, 0, true, false, true, false, false, false, false, false, false, 5, 0, A::SetState, 144},
        {1, 9, true, false, true, false, false, false, false, false, false, 5, 0, A::None, 0},
        {0, 0, false, true, true, true, false, false, false, false, false, 5, 0, A::ForceSap, 28},
        {0, 0, false, false, true, true, false, false, false, false, false, 5, 0, A::ForceSap, 10},
        {0, 0, false, false, false, true, false, true, false, false, false, 5, 0, A::SetState, 512},
        {0, 0, false, false, true, true, true, false, false, false, false, 0, 2, A::QueueSapAndClick, 20},
        {0, 0, false, false, true, true, true, false, false, false, false, 0, -1, A::QueueSapAndClick, 20},
        {0, 0, false, false, true, true, true, false, false, false, false, 0, 0, A::Click, 0},
        {0, 0, false, false, true, true, false, false, false, false, false, 0, 3, A::None, 0},
        {0, 0, false, false, true, false, false, true, true, false, false, 5, 0, A::SetState, 768},
        {0, 0, false, false, true, false, false, false, false, false, false, 5, 0, A::None, 0},
    };
    int row = 0;
    for (const Case& c : cases)
    {
        HeroUpperBodyInputs a;
        a.holdMode = c.holdMode;
        a.sapState = c.sapState;
        a.reload = c.reload;
        a.blocked = c.blocked;
        a.shooting = c.shooting;
        a.shootDown = c.shootDown;
        a.rawShootClick = c.rawClick;
        a.shootClick = c.shootClick;
        a.crouched = c.crouched;
        a.contextAction = c.context;
        a.weaponChange = c.change;
        a.magazine = c.magazine;
        a.spare = c.spare;
        const HeroUpperBodyChoice choice = aim(a);
        EXPECT_EQ(choice.action, c.action) << "row " << row;
        EXPECT_EQ(choice.code, c.code) << "row " << row;
        ++row;
    }
}

TEST(HeroStateRules, AimLockAndFootsteps)
{
    HeroAimLockRelease();
    EXPECT_EQ(HeroAimLockState(), 2);
    EXPECT_EQ(HeroAimLockBeginWith(49, false), 0); // no offset: no lock
    EXPECT_EQ(HeroAimLockState(), 2);
    EXPECT_EQ(HeroAimLockBeginWith(16, true), 1);
    EXPECT_EQ(HeroAimLockState(), 1);
    EXPECT_EQ(HeroAimLockBeginWith(49, true), 0); // already locked
    EXPECT_EQ(HeroAimLockLastKind(), 49);
    EXPECT_EQ(HeroAimLockEndState(), 1);
    EXPECT_EQ(HeroAimLockState(), 2);
    EXPECT_EQ(HeroAimLockEndState(), 0);

    EXPECT_EQ(HeroStandingStepFor(1, false, false), HeroStep::Walk);
    EXPECT_EQ(HeroStandingStepFor(2, true, false), HeroStep::Run);
    EXPECT_EQ(HeroStandingStepFor(2, true, true), HeroStep::Walk);
    EXPECT_EQ(HeroStandingStepFor(13, true, false), HeroStep::Strike);
    EXPECT_EQ(HeroStandingStepFor(3, true, false), HeroStep::None);
}
} // namespace
