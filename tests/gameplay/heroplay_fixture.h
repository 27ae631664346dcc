// A hero whose states are driven frame by frame from a script of keys and stick positions on
// a stepped game clock: two empty animation players whose requests the test reads, the keys
// the states ask bound, and shorthands for a frame and for what a frame asked of the players.
#pragma once

#include "animplayerstatemachine.h"
#include "gameplay_fixture.h"
#include "hero.h"
#include "heroaimtarget.h"
#include "heroinput.h"
#include "heromovehelper.h"
#include "herostates.h"
#include "moveblendtables.h"
#include "scriptworld_fixture.h"
#include "w3danimobject.h"

#include <gtest/gtest.h>

#include <string>

namespace heroplaytest
{
using namespace gameplaytest;

inline AnimPlayerStateMachine* gPlayers[2] = {};

class HeroPlay : public scriptworldtest::ScriptWorldTest
{
protected:
    static constexpr float kFrame = 1.0f / 60.0f;

    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        HeroInputReset();
        HeroRequestStacksClear();
        HeroAimLockRelease();
        AimBoneTargetSetBlocked(0);
        HeroTurnCurveInit();
        mHero = new Hero();
        mHero->AddRef();
        mHero->SetMaxHitPoints(100);
        mHero->SetModel(W3dAnimObject::Create());
        mWorld->SetHero(mHero);
        mWorld->AddActor(mHero);
        for (int32_t i = 0; i < 2; ++i)
        {
            gPlayers[i] = new AnimPlayerStateMachine();
            gPlayers[i]->AddRef();
            gPlayers[i]->Init(i == kHeroMovePlayer ? 92 : 36, mHero, 0);
        }
        HeroSetAnimPlayerSource([](TsActor*, int32_t player) { return gPlayers[player]; });
        const struct
        {
            const char* action;
            const char* key;
        } bindings[] = {{"SHOOT_CLICK", "VK_Q"}, {"SHOOT_DOWN", "VK_S"}, {"LOCK", "VK_L"},
                        {"CROUCH", "VK_C"},      {"ROLL", "VK_O"},       {"RUN", "VK_R"}};
        for (const auto& b : bindings)
            ASSERT_TRUE(mInput.Bind(b.action, b.key)) << b.action;
        mStick = new Stick(HeroMoveHelper::Instance());
        Settle();
    }
    /// Standing with the stick at rest long enough that the helper is in mode 0 again (it is
    /// one for the program and keeps the mode of the test before).
    void Settle()
    {
        Enter(kHeroNormalWait);
        Hold(0.3f);
        Enter(kHeroNormalWait);
        Frame();
        ASSERT_EQ(Code(), kHeroNormalWait);
    }
    void TearDown() override
    {
        delete mStick;
        HeroSetAnimPlayerSource(nullptr);
        HeroSetLadderContactReader(nullptr);
        HeroSetStageHooks(nullptr);
        HeroTakeInventoryCloseRequests();
        HeroInputReset();
        HeroRequestStacksClear();
        HeroSapRequests().Bind(nullptr, nullptr);
        HeroMapRequests().Bind(nullptr, nullptr);
        HeroAimLockRelease();
        AimBoneTargetClear(nullptr);
        for (AnimPlayerStateMachine*& player : gPlayers)
        {
            player->Release();
            player = nullptr;
        }
        mHero->Restart();
        mWorld->RemoveActor(mHero);
        mWorld->SetHero(nullptr);
        mHero->Release();
        HeroTurnCurveFree();
        HeroMoveHelper::Instance().ResetTuning();
        ScriptWorldTest::TearDown();
    }

    /// One frame: the keys held (the others lifted), the stick, the clock, the machine's step.
    void Frame(const std::string& keys = "", float x = 0.0f, float z = 0.0f)
    {
        for (char key : std::string("QSLCOR"))
            mInput.Lift(uint8_t(key));
        for (char key : keys)
            mInput.Press(uint8_t(key));
        mInput.Frame();
        mStick->Set(x, z);
        mClock.Step(kFrame);
        Machine()->Step();
    }
    /// Frames for the seconds with the same input.
    void Hold(float seconds, const std::string& keys = "", float x = 0.0f, float z = 0.0f)
    {
        for (int32_t i = 0, n = int32_t(seconds / kFrame + 0.5f); i < n; ++i)
            Frame(keys, x, z);
    }
    /// Enters the code with nothing asked of the players yet.
    void Enter(int32_t code) { ASSERT_EQ(Machine()->SetState(code), 1); }
    HeroStateMachine* Machine() { return mHero->GetStateMachine(); }
    int32_t Code() { return Machine()->GetCurrentCode(); }

    /// The newest request of a stack {state, kind}, or {-1, -1}.
    static std::pair<int32_t, int32_t> Newest(AnimPlayerRequestStack& stack)
    {
        const int32_t count = stack.GetCount();
        if (count == 0)
            return {-1, -1};
        const AnimPlayerRequestStack::Request* r = stack.GetRequest(count - 1);
        return {r->state, r->kind};
    }
    /// A request of the stack for the state: its kind, or -1.
    static int32_t KindOf(AnimPlayerRequestStack& stack, int32_t state)
    {
        for (int32_t i = 0; i < stack.GetCount(); ++i)
            if (stack.GetRequest(i)->state == state)
                return stack.GetRequest(i)->kind;
        return -1;
    }
    /// The move player's requested state (a forced request applies at once).
    int32_t MapRequested() { return gPlayers[kHeroMovePlayer]->GetRequestedStateIndex(); }
    int32_t SapRequested() { return gPlayers[kHeroStaticPlayer]->GetRequestedStateIndex(); }

    Input mInput;
    GameClock mClock;
    Stick* mStick = nullptr;
    Hero* mHero = nullptr;
};

} // namespace heroplaytest
