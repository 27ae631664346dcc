// The hero states on a live hero: each code's class, an action returning to the resting state
// through the move player's change callback, the upper-body handlers on real keys and weapons,
// the aim lock, the camera messages, the footsteps by movement mode and the turn curve.
#include "animplayerstatemachine.h"
#include "fxcontext.h"
#include "gameplay_fixture.h"
#include "gameprofile.h"
#include "gamestatemanager.h"
#include "heroaimtarget.h"
#include "heroinput.h"
#include "herostates.h"
#include "kfxmanager.h"
#include "moveblendtables.h"
#include "scriptworld_fixture.h"
#include "tscameraregistry.h"
#include "tsgroundtype.h"
#include "tsheroactor.h"
#include "tstrigger.h"
#include "tsweaponshoot.h"
#include "w3danimobject.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{
using namespace gameplaytest;

/// An animation state that has always played out.
class PlayedOut : public AnimPlayerState
{
public:
    int32_t Update() override { return 0; }
    void NotifyOver() override {}
    RdAnimChannel* StartChannel(RdAnimation*, int64_t, int64_t) override { return nullptr; }
    int32_t PlayAnimation(int32_t, float, float, float, int32_t) override { return 1; }
};

/// An action that goes back to the resting state when its move animation is over.
class EndingAction : public HeroGameState
{
public:
    explicit EndingAction(int32_t code) : HeroGameState(code) {}
    int32_t Decide(TsActor*) override { return GetCode(); }
    void OnMAPStateOver(TsActor* hero) override
    {
        static_cast<TsHeroActor*>(hero)->GetStateMachine()->SetState(HeroStateRestCode(hero));
    }
};

/// A hero with a weapon list of one knife on key 3.
class KnifeOnKeyThree : public HeroInputHost
{
public:
    int32_t HasWeaponList(TsActor*) override { return 1; }
    int32_t WeaponForKey(TsActor*, int32_t index, std::string* name) override
    {
        calls.push_back("key " + std::to_string(index));
        *name = "KNIFE";
        return index == 2;
    }
    void DropObject(TsActor*, const char* name) override { calls.push_back(std::string("drop ") + name); }
    std::vector<std::string> calls;
};

AnimPlayerStateMachine* gPlayers[2] = {};

class HeroStatesLive : public scriptworldtest::ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        HeroInputReset();
        HeroRequestStacksClear();
        HeroAimLockRelease();
        AimBoneTargetSetBlocked(0);
        mHero = new TsHeroActor();
        mHero->AddRef();
        mHero->SetMaxHitPoints(100);
        ASSERT_EQ(HeroStatesAddAll(mHero->GetStateMachine()), kHeroStateCount);
        mGun = new TsWeaponShoot();
        mGun->AddRef();
        mGun->mMagazineSize = 10;
        mKnife = new TsWeaponContact();
        mKnife->AddRef();
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
                        {"RELOAD", "VK_E"},      {"WEAPON_3", "VK_3"},   {"CMD_CONTEXTUAL_ACTION", "VK_X"}};
        for (const auto& b : bindings)
            ASSERT_TRUE(mInput.Bind(b.action, b.key)) << b.action;
    }
    void TearDown() override
    {
        HeroSetAnimPlayerSource(nullptr);
        HeroSetInputHost(nullptr);
        HeroInputReset();
        HeroRequestStacksClear();
        HeroSapRequests().Bind(nullptr, nullptr);
        HeroMapRequests().Bind(nullptr, nullptr);
        HeroAimLockRelease();
        AimBoneTargetClear(nullptr);
        AimBoneTargetSetBlocked(0);
        for (AnimPlayerStateMachine*& player : gPlayers)
        {
            player->Release();
            player = nullptr;
        }
        mHero->SetWeapon(nullptr);
        mKnife->Release();
        mGun->Release();
        mHero->Release();
        ScriptWorldTest::TearDown();
    }

    void Keys(const std::string& down)
    {
        for (char key : std::string("QSLE3X"))
            mInput.Lift(uint8_t(key));
        for (char key : down)
            mInput.Press(uint8_t(key));
        mInput.Frame();
        mClock.Step(1.0f / 60.0f);
    }
    void Hold(TsActor* object, int32_t holdMode)
    {
        mHero->SetWeapon(object);
        mHero->mWeaponKind = holdMode;
    }
    HeroStateMachine* Machine() { return mHero->GetStateMachine(); }

    Input mInput;
    GameClock mClock;
    TsHeroActor* mHero = nullptr;
    TsWeaponShoot* mGun = nullptr;
    TsWeaponContact* mKnife = nullptr;
};

TEST_F(HeroStatesLive, EachCodeHasItsClassAndAimHeight)
{
    for (const HeroStateName& entry : kHeroStateNames)
    {
        HeroState* state = Machine()->FindState(entry.code);
        ASSERT_NE(state, nullptr) << entry.name;
        const bool walking = entry.code >= 1 && entry.code <= 4;
        const bool rotating = entry.code == 5 || entry.code == 7;
        const bool aiming = entry.code >= 9 && entry.code <= 12;
        EXPECT_EQ(dynamic_cast<HeroMoveState*>(state) != nullptr, walking) << entry.name;
        EXPECT_EQ(dynamic_cast<HeroRotateState*>(state) != nullptr, rotating) << entry.name;
        EXPECT_EQ(dynamic_cast<HeroAimState*>(state) != nullptr, aiming) << entry.name;
        EXPECT_NE(dynamic_cast<HeroGameState*>(state), nullptr) << entry.name;
        EXPECT_EQ(state->mAimHeight, walking || rotating ? 180.0f : 0.0f) << entry.name;
    }

    // A walking state holds the aim target while current, with a firearm only.
    Hold(mGun, 0);
    mGun->mReal15 = 2.0f;
    ASSERT_EQ(Machine()->SetState(kHeroNormalWait), 1);
    EXPECT_EQ(AimBoneTargetIsSet(), 1);
    EXPECT_EQ(AimBoneTargetUpdate().height, 180.0f);
    EXPECT_EQ(AimBoneTargetUpdate().factor, 2.0f);
    ASSERT_EQ(Machine()->SetState(kHeroRoll), 1);
    EXPECT_EQ(AimBoneTargetIsSet(), 0);
    Hold(mKnife, 0);
    ASSERT_EQ(Machine()->SetState(kHeroSilentMove), 1);
    EXPECT_EQ(AimBoneTargetIsSet(), 0);

    // The enter bound both stacks to the hero's players; the common update applies them (the
    // roll adds nothing of its own after its entry).
    ASSERT_EQ(Machine()->SetState(kHeroRoll), 1);
    HeroRequestStacksClear();
    HeroSapRequests().Push(28, AnimPlayerRequestStack::kUrgent);
    HeroMapRequests().Push(31, AnimPlayerRequestStack::kUrgent);
    EXPECT_EQ(Machine()->Step(), 1);
    EXPECT_EQ(gPlayers[kHeroStaticPlayer]->GetRequestedStateIndex(), 28);
    EXPECT_EQ(gPlayers[kHeroMovePlayer]->GetRequestedStateIndex(), 31);
    EXPECT_EQ(HeroSapRequests().GetCount() + HeroMapRequests().GetCount(), 0);
}

TEST_F(HeroStatesLive, AnActionEndingReturnsToTheRestingStateThroughTheMovePlayer)
{
    ASSERT_EQ(Machine()->AddState(new EndingAction(kHeroRoll)), 1);
    gPlayers[kHeroMovePlayer]->SetState(0, new PlayedOut());
    Hold(mGun, 0);
    Stick stick(HeroMoveHelper::Instance());
    const struct
    {
        bool crouched;
        const char* keys;
        bool moving;
        int32_t code;
    } cases[] = {
        {true, "L", false, kHeroSilentAimWait}, {true, "L", true, kHeroSilentAimMove},
        {true, "", false, kHeroSilentWait},     {true, "Q", true, kHeroStrikeCrouch},
        {false, "L", true, kHeroAimMove},       {false, "Q", false, kHeroStrikeStand},
        {false, "", true, kHeroNormalMove},     {false, "QL", false, kHeroAimWait},
    };
    for (const auto& c : cases)
    {
        ASSERT_EQ(Machine()->SetState(kHeroRoll), 1);
        HeroRequestStacksClear(); // what the resting state of the case before asked
        HeroSetCrouched(c.crouched);
        stick.Set(0.0f, c.moving ? 0.5f : 0.0f);
        Keys(c.keys);
        Machine()->Step(); // the action keeps itself; the common update samples the stick
        ASSERT_EQ(Machine()->GetCurrentCode(), kHeroRoll);
        // The move player's animation runs out: its change callback is the action's.
        EXPECT_EQ(gPlayers[kHeroMovePlayer]->Update(), 2);
        EXPECT_EQ(Machine()->GetCurrentCode(), c.code) << c.crouched << " " << c.keys << " " << c.moving;
    }
}

TEST_F(HeroStatesLive, AStateDeletedByTheMachineLeavesNoChangeCallbackBehind)
{
    gPlayers[kHeroMovePlayer]->SetState(0, new PlayedOut());
    // Replaced by a state of its code, then with every state removed (as the hero goes).
    for (const bool removeAll : {false, true})
    {
        ASSERT_EQ(Machine()->AddState(new EndingAction(kHeroRoll)), 1);
        ASSERT_EQ(Machine()->SetState(kHeroRoll), 1);
        ASSERT_EQ(gPlayers[kHeroMovePlayer]->GetChangeData(), Machine()->GetCurrent());
        ASSERT_EQ(gPlayers[kHeroStaticPlayer]->GetChangeData(), Machine()->GetCurrent());
        if (removeAll)
            Machine()->RemoveAll();
        else
            ASSERT_EQ(Machine()->AddState(new EndingAction(kHeroRoll)), 1);
        EXPECT_EQ(gPlayers[kHeroMovePlayer]->GetChangeData(), nullptr) << removeAll;
        EXPECT_EQ(gPlayers[kHeroStaticPlayer]->GetChangeData(), nullptr) << removeAll;
        // The played-out animation calls no deleted state.
        EXPECT_EQ(gPlayers[kHeroMovePlayer]->Update(), 2);
    }
}

TEST_F(HeroStatesLive, UpperBodyByWeaponHoldModeMagazineSpareAndKeys)
{
    KnifeOnKeyThree host;
    HeroSetInputHost(&host);
    using A = HeroUpperBodyAction;
    enum Held
    {
        kKnife,
        kGun
    };
    const struct
    {
        const char* name;
        bool aiming;
        Held held;
        int32_t holdMode, magazine, stock, sap;
        bool crouched, blocked;
        int32_t wallFlag;
        const char* keys;
        A action;
        int32_t code;
    } cases[] = {
        {"walk: weapon key", false, kGun, 0, 5, 2, 0, false, false, 0, "3", A::SetState, 128},
        {"walk: key while shooting", false, kGun, 0, 5, 2, 9, false, false, 0, "3", A::ForceSap, 0},
        {"walk: reload", false, kGun, 0, 5, 2, 0, false, false, 0, "E", A::ForceSap, 16},
        {"walk: full magazine", false, kGun, 0, 10, 2, 0, false, false, 0, "E", A::ForceSap, 0},
        {"walk: blocked, wall pose", false, kGun, 0, 5, 2, 0, false, true, 1, "", A::ForceSap, 28},
        {"walk: blocked, no pose", false, kGun, 0, 5, 2, 0, false, true, 0, "", A::ForceSap, 0},
        {"aim: shoot", true, kGun, 0, 5, 2, 0, false, false, 0, "S", A::ForceSap, 10},
        {"aim: blocked", true, kGun, 0, 5, 2, 0, false, true, 0, "S", A::ForceSap, 28},
        {"aim: empty, spare", true, kGun, 0, 0, 2, 0, false, false, 0, "SQ", A::QueueSapAndClick, 20},
        {"aim: empty, unlimited", true, kGun, 0, 0, -1, 0, false, false, 0, "SQ", A::QueueSapAndClick, 20},
        {"aim: empty, none left", true, kGun, 0, 0, 0, 0, false, false, 0, "SQ", A::Click, 0},
        {"aim: empty, held", true, kGun, 0, 0, 2, 0, false, false, 0, "S", A::None, 0},
        {"aim: reload mode 0", true, kGun, 0, 5, 2, 0, false, false, 0, "E", A::ForceSap, 20},
        {"aim: reload mode 1", true, kGun, 1, 5, 2, 0, false, false, 0, "E", A::SetState, 144},
        {"aim: reload mode 1 shooting", true, kGun, 1, 5, 2, 8, false, false, 0, "E", A::None, 0},
        {"aim: reload mode 2", true, kGun, 2, 5, 2, 0, false, false, 0, "E", A::ReloadNow, 0},
        {"aim: knife click", true, kKnife, 0, 0, 0, 0, false, false, 0, "Q", A::SetState, 512},
        {"aim: knife click crouched", true, kKnife, 0, 0, 0, 0, true, false, 0, "Q", A::SetState, 768},
        {"aim: contextual drop first", true, kGun, 2, 5, 2, 0, false, false, 0, "X3", A::None, 0},
    };
    for (const auto& c : cases)
    {
        Hold(c.held == kGun ? static_cast<TsActor*>(mGun) : mKnife, c.holdMode);
        mGun->mMagazine = c.magazine;
        mGun->mStock = c.stock;
        mGun->mShootData[1] = c.wallFlag;
        gPlayers[kHeroStaticPlayer]->Init(36, mHero, c.sap);
        HeroSetCrouched(c.crouched);
        AimBoneTargetSetBlocked(c.blocked);
        ASSERT_EQ(Machine()->SetState(c.aiming ? kHeroAimWait : kHeroNormalWait), 1);
        HeroRequestStacksClear();
        host.calls.clear();
        Keys(c.keys);

        const HeroUpperBodyChoice choice =
            c.aiming ? HeroUpdateUpperBodyAiming(mHero, 10, 20) : HeroUpdateUpperBodyWalking(mHero, 16);
        EXPECT_EQ(choice.action, c.action) << c.name;
        EXPECT_EQ(choice.code, c.code) << c.name;
        // What was carried out.
        const AnimPlayerRequestStack::Request* request = HeroSapRequests().GetRequest(0);
        switch (c.action)
        {
        case A::SetState:
            EXPECT_EQ(Machine()->GetCurrentCode(), c.code) << c.name;
            break;
        case A::ForceSap:
        case A::QueueSapAndClick:
            ASSERT_NE(request, nullptr) << c.name;
            EXPECT_EQ(request->state, c.code) << c.name;
            EXPECT_EQ(request->kind,
                      c.action == A::ForceSap ? AnimPlayerRequestStack::kUrgent : AnimPlayerRequestStack::kPush)
                << c.name;
            break;
        case A::ReloadNow:
            EXPECT_EQ(mGun->mMagazine, 10) << c.name;
            EXPECT_EQ(mGun->mStock, 1) << c.name;
            break;
        default:
            EXPECT_EQ(request, nullptr) << c.name;
        }
    }
    // The weapon choice is not even asked while the static player shoots, and a contextual
    // drop stops the aiming handler before the weapon keys.
    host.calls.clear();
    gPlayers[kHeroStaticPlayer]->Init(36, mHero, 9);
    Hold(mGun, 0);
    Keys("3");
    HeroUpdateUpperBodyWalking(mHero, 16);
    EXPECT_TRUE(host.calls.empty());
    gPlayers[kHeroStaticPlayer]->Init(36, mHero, 0);
    Hold(mGun, 2);
    Keys("X3");
    HeroUpdateUpperBodyAiming(mHero, 10, 20);
    EXPECT_EQ(host.calls, std::vector<std::string>{"drop "});
}

TEST_F(HeroStatesLive, AimLockLocksOnceWithAnOffsetAndUnlocksOnce)
{
    Hold(mGun, 0);
    const Vector offset = {1.0f, 2.0f, 3.0f};
    mGun->GetAnimation(49)->SetOffset(&offset);
    PlayedOut* shooting = new PlayedOut();
    shooting->mNext = 7;
    gPlayers[kHeroStaticPlayer]->SetState(0, shooting);

    EXPECT_EQ(HeroAimLockState(), 2);
    HeroAimLockBegin(mHero, 16); // no offset for that kind
    EXPECT_EQ(HeroAimLockState(), 2);
    HeroAimLockBegin(mHero, 49);
    EXPECT_EQ(HeroAimLockState(), 1);
    HeroAimLockBegin(mHero, 49);
    EXPECT_EQ(HeroAimLockState(), 1);
    EXPECT_EQ(HeroSapRequests().GetCount(), 0);

    HeroAimLockEnd(mHero);
    EXPECT_EQ(HeroAimLockState(), 2);
    ASSERT_EQ(HeroSapRequests().GetCount(), 1);
    EXPECT_EQ(HeroSapRequests().GetRequest(0)->state, 0);
    EXPECT_EQ(HeroSapRequests().GetRequest(0)->kind, AnimPlayerRequestStack::kPush);
    EXPECT_EQ(shooting->mNext, 0);
    HeroAimLockEnd(mHero);
    EXPECT_EQ(HeroSapRequests().GetCount(), 1) << "nothing more to unlock";

    // Without anything in hand nothing locks.
    Hold(nullptr, 0);
    HeroAimLockBegin(mHero, 49);
    EXPECT_EQ(HeroAimLockState(), 2);
}

TEST_F(HeroStatesLive, CameraMessagesGoToTheProfilesFollowCamera)
{
    RecordingCamera* camera = RecordingCamera::Create();
    ASSERT_NE(camera, nullptr);
    const int32_t id = TsCameraRegistry::AddCamera(camera, mScene);
    auto* profile = new GameProfile();
    GameStateManager::Instance()->SetProfile(profile);

    HeroSetCameraPreset(7);
    EXPECT_TRUE(camera->mCalls.empty()) << "the profile has no follow camera yet";
    profile->followCamera = id;
    HeroSetCameraPreset(7);
    const Vector normal = {0.0f, 0.0f, -1.0f};
    HeroSetCameraPlacement4(4, &normal, 10.0f, 300.0f);
    EXPECT_EQ(camera->mCalls, (std::vector<std::string>{"placement 3", "placement 4"}));
    EXPECT_EQ(HeroGetPresetPlacement().preset, 7);
    EXPECT_EQ(HeroGetActionPlacement().action, 4);
    EXPECT_EQ(HeroGetActionPlacement().direction[2], -1.0f);
    EXPECT_EQ(HeroGetActionPlacement().distance, 300.0f);

    GameStateManager::Instance()->SetProfile(nullptr);
    TsCameraRegistry::Clear();
}

/// Records which effect the steps play: the walk and the run effect tell the steps apart.
class RecordingEffects : public KfxManagerBackend
{
public:
    void SetCamera(Camera*) override {}
    void UpdateAll() override {}
    void RenderGroup(int32_t) override {}
    int32_t PlayOneShot(int32_t index, const FxContext*) override
    {
        plays.push_back(index);
        return 1;
    }
    std::vector<int32_t> plays;
};

TEST_F(HeroStatesLive, FootstepsRunOnlyAfterModeTwoIsHeldPastItsTime)
{
    FILE* file = std::fopen("grounds.scr", "wb");
    ASSERT_NE(file, nullptr);
    const std::string grounds = "GroundCreateTypeBegin GRAVEL 3\nGroundSetWalkFX 12\nGroundSetRunFX 13\n"
                                "GroundSetTriggerCrouchedWalk LIGHT_NORMAL\nGroundCreateTypeEnd\n";
    std::fwrite(grounds.data(), 1, grounds.size(), file);
    std::fclose(file);
    ASSERT_EQ(TriggerManager::Create(), 1);
    TsGroundTypesLoad();
    ASSERT_NE(TsFindGroundType(3), nullptr);
    RecordingEffects effects;
    KfxManagerBackend* previous = KfxManager::GetBackend();
    KfxManager::Install(&effects);

    mHero->SetModel(W3dAnimObject::Create());
    ASSERT_NE(mHero->GetModel(), nullptr);
    mHero->mCollision.color[TsActor::kGroundIdByte] = 3;
    Hold(mGun, 0);
    ASSERT_EQ(Machine()->SetState(kHeroNormalMove), 1); // the standing footsteps
    Stick stick(HeroMoveHelper::Instance());
    auto frames = [&](int count, const char* keys)
    {
        for (int i = 0; i < count; ++i)
        {
            Keys(keys);
            Machine()->Step();
        }
    };
    stick.Set(0.0f, 1.0f);
    frames(1, "");
    mHero->GetModel()->DeliverEvent(1);
    frames(6, "");
    mHero->GetModel()->DeliverEvent(2); // 0.1 s: not yet past the hold time
    frames(1, "");
    mHero->GetModel()->DeliverEvent(1);
    frames(1, "L");
    mHero->GetModel()->DeliverEvent(2); // LOCK held: walking
    mHero->GetModel()->DeliverEvent(3); // not a footstep
    EXPECT_EQ(effects.plays, (std::vector<int32_t>{12, 12, 13, 12}));

    // Crouched steps raise their noise and play no effect.
    HeroSetFootstepCallback(mHero, HeroFootstepCrouched);
    const int32_t triggers = TriggerManager::GetLiveCount();
    mHero->GetModel()->DeliverEvent(1);
    EXPECT_EQ(TriggerManager::GetLiveCount(), triggers + 1);
    EXPECT_EQ(effects.plays.size(), 4u);

    KfxManager::Install(previous);
    TsGroundTypesFree();
    TriggerManager::Free();
    std::remove("grounds.scr");
}

TEST_F(HeroStatesLive, TurnCurveMadeAtStartUpAndFreedAtShutDown)
{
    EXPECT_EQ(HeroTurnCurveSample(0.5f), 0.0f);
    HeroTurnCurveInit();
    EXPECT_EQ(HeroTurnCurveMade(), 1);
    ASSERT_NE(HeroGetTurnCurve(), nullptr);
    EXPECT_NEAR(HeroTurnCurveSample(0.0f), 300.0f, 0.01f);
    EXPECT_NEAR(HeroTurnCurveSample(1.0f), 300.0f, 0.01f);
    EXPECT_GT(HeroTurnCurveSample(0.5f), 1300.0f);
    HeroTurnCurveFree();
    EXPECT_EQ(HeroGetTurnCurve(), nullptr);
    EXPECT_EQ(HeroTurnCurveMade(), 0);
}

} // namespace
