// The work every hero state shares on the live hero: the request stacks, the common update
// and enter, the upper-body handlers carried out, the resting state, the blocked weapon, the
// aim lock with the look-at and the sight, the camera messages, the footsteps and the turn
// curve.
#include "animmovectrl.h"
#include "animplayerstatemachine.h"
#include "boardcontroltheme_ingame.h"
#include "frame.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "heroaimtarget.h"
#include "heroinput.h"
#include "heromovehelper.h"
#include "herostates.h"
#include "moveblendtables.h"
#include "rdanimmotor.h"
#include "spline.h"
#include "tsbonelookat.h"
#include "tscameraregistry.h"
#include "tsfamilies.h"
#include "tsgroundtype.h"
#include "tsheroactor.h"
#include "tsmotorskills.h"
#include "tssoundmodule.h"
#include "tsweaponshoot.h"
#include "w3danimobject.h"

#include <cmath>

namespace
{
constexpr int32_t kLockedBone = 4;
constexpr int32_t kLookAtBone = 5;
constexpr float kLockedBoneValue = 50.0f;
constexpr int32_t kStrikeEvent = 13;

HeroAnimPlayerSource gPlayerSource = nullptr;
AnimPlayerRequestStack* gMapRequests = nullptr;
AnimPlayerRequestStack* gSapRequests = nullptr;
TsBoneLookAt* gLookAt = nullptr;
int32_t gWallFlag = 0;
HeroCameraPlacement gPresetPlacement;
HeroCameraPlacement gActionPlacement;
Spline* gTurnCurve = nullptr;

TsHeroActor* AsHero(TsActor* actor)
{
    return HbCastTo<TsHeroActor>(actor);
}

TsActor* InHand(TsActor* hero)
{
    return hero ? HeroGetInputHost()->GetObjectInHand(hero) : nullptr;
}

HeroStateMachine* MachineOf(TsActor* hero)
{
    TsHeroActor* h = AsHero(hero);
    return h ? h->GetStateMachine() : nullptr;
}

/// The follow camera of the profile the current state holds.
int32_t FollowCameraId()
{
    GameStateManager* manager = GameStateManager::Instance();
    if (!manager)
        return -1;
    GameProfile* profile = nullptr;
    if (GameState* state = manager->GetCurrentState())
        profile = state->GetProfile();
    if (!profile)
        profile = manager->GetProfile();
    return profile ? profile->followCamera : -1;
}

void OnMapChange(AnimPlayerState*, AnimPlayerState*, TsAnimActor* actor, void* data)
{
    static_cast<HeroState*>(data)->OnMAPStateOver(actor);
}

void OnSapChange(AnimPlayerState*, AnimPlayerState*, TsAnimActor* actor, void* data)
{
    static_cast<HeroState*>(data)->OnSAPStateOver(actor);
}

/// The hero's live inputs, asked only as the handler reaches them.
class LiveInputs final : public HeroUpperBodyQuery
{
public:
    explicit LiveInputs(TsActor* hero) : mHero(hero), mGun(HbCastTo<TsWeaponShoot>(InHand(hero))) {}
    int32_t SapState() override
    {
        AnimPlayerStateMachine* sap = HeroGetAnimPlayer(mHero, kHeroStaticPlayer);
        return sap ? sap->GetCurrentStateIndex() : 0;
    }
    bool WeaponChange() override { return HeroInWeaponSelect(mHero) != 0; }
    bool ContextAction() override { return HeroInContextualAction(mHero) != 0; }
    bool Reload() override { return HeroInReload(mHero) != 0; }
    bool Blocked() override { return HeroIsWeaponBlocked(mHero) != 0; }
    int32_t WallFlag() override { return mGun ? mGun->mShootData[1] : 0; }
    int32_t HoldMode() override { return HeroGetHoldMode(mHero); }
    bool ShootDown() override { return HeroInShooting(mHero) != 0; }
    bool RawShootClick() override { return HeroInRawShootClick() != 0; }
    bool ShootClick() override { return HeroInShootClick(mHero) != 0; }
    int32_t Magazine() override { return mGun ? mGun->mMagazine : 0; }
    int32_t Spare() override { return mGun ? mGun->mStock : 0; }
    bool Crouched() override { return HeroIsCrouched() != 0; }

private:
    TsActor* mHero;
    TsWeaponShoot* mGun;
};

/// Carries the choice out on the hero; a weapon step without a firearm does nothing.
void Apply(TsActor* hero, const HeroUpperBodyChoice& choice)
{
    auto* gun = HbCastTo<TsWeaponShoot>(InHand(hero));
    switch (choice.action)
    {
    case HeroUpperBodyAction::None:
        break;
    case HeroUpperBodyAction::SetState:
        if (HeroStateMachine* machine = MachineOf(hero))
            machine->SetState(choice.code);
        break;
    case HeroUpperBodyAction::ForceSap:
        HeroSapRequests().Push(choice.code, AnimPlayerRequestStack::kUrgent);
        break;
    case HeroUpperBodyAction::QueueSapAndClick:
        HeroSapRequests().Push(choice.code, AnimPlayerRequestStack::kPush);
        if (gun)
            gun->PlayShotSound();
        break;
    case HeroUpperBodyAction::Click:
        if (gun)
            gun->PlayShotSound();
        break;
    case HeroUpperBodyAction::ReloadNow:
        if (gun)
            gun->Reload();
        break;
    }
}

/// The ground under the hero, from its last ground snap.
TsGroundType* GroundUnder(TsActor* hero)
{
    return TsFindGroundType(hero->mCollision.color[TsActor::kGroundIdByte]);
}

void PlayStep(TsActor* hero, void (TsGroundType::*play)(TsActor*, const Vector*))
{
    TsGroundType* ground = GroundUnder(hero);
    if (!ground)
        return;
    W3dNode* node = hero->GetNode();
    const Vector* at = node ? node->GetWorldPosition() : nullptr;
    const Vector origin = {0.0f, 0.0f, 0.0f};
    (ground->*play)(hero, at ? at : &origin);
}

void Strike(TsActor* hero)
{
    if (auto* weapon = HbCastTo<TsWeaponContact>(InHand(hero)))
        weapon->Strike(nullptr);
}

// The turn curve made by the start-up.
void BuildTurnCurve()
{
    delete gTurnCurve;
    gTurnCurve = new Spline();
    const float points[4] = {300.0f, 1300.0f, 1300.0f, 300.0f};
    if (gTurnCurve->SetLayout(1, 4))
    {
        for (int32_t i = 0; i < 4; ++i)
            gTurnCurve->SetControlPoint(i, &points[i]);
        gTurnCurve->Build(0);
    }
    HeroMoveHelper::Instance().ResetTuning();
}

void FreeTurnCurve()
{
    delete gTurnCurve;
    gTurnCurve = nullptr;
}

struct TurnCurveInstall
{
    TurnCurveInstall() { HeroTurnCurveSetBuilder(BuildTurnCurve, FreeTurnCurve); }
} gTurnCurveInstall;
} // namespace

// ---- Players and request stacks ---------------------------------------------------------------------

void HeroSetAnimPlayerSource(HeroAnimPlayerSource source)
{
    gPlayerSource = source;
}

AnimPlayerStateMachine* HeroGetAnimPlayer(TsActor* hero, int32_t player)
{
    return gPlayerSource && hero ? gPlayerSource(hero, player) : nullptr;
}

AnimPlayerRequestStack& HeroMapRequests()
{
    if (!gMapRequests)
        gMapRequests = new AnimPlayerRequestStack();
    return *gMapRequests;
}

AnimPlayerRequestStack& HeroSapRequests()
{
    if (!gSapRequests)
        gSapRequests = new AnimPlayerRequestStack();
    return *gSapRequests;
}

void HeroRequestStacksClear()
{
    HeroMapRequests().Clear();
    HeroSapRequests().Clear();
}

// ---- Common update and enter ---------------------------------------------------------------------------

int32_t HeroStateCommonUpdate(TsActor* hero)
{
    HeroMoveHelper::Instance().Sample();
    HeroSapRequests().Process();
    HeroMapRequests().Process();
    if (TsMotorSkills* skills = hero ? hero->GetMotorSkills() : nullptr)
        skills->LoopSkill("MS_HEROMOVE");
    return 1;
}

void HeroStateCommonEnter(TsActor* hero, HeroState* state)
{
    HeroMoveHelper::Instance().SetHero(AsHero(hero));
    AnimPlayerStateMachine* map = HeroGetAnimPlayer(hero, kHeroMovePlayer);
    AnimPlayerStateMachine* sap = HeroGetAnimPlayer(hero, kHeroStaticPlayer);
    if (map)
        map->SetChangeCallback(OnMapChange, state);
    if (sap)
        sap->SetChangeCallback(OnSapChange, state);
    HeroSetFootstepCallback(hero, HeroFootstepStanding);
    auto* animated = HbCastTo<TsAnimActor>(hero);
    HeroSapRequests().Bind(sap, animated);
    HeroMapRequests().Bind(map, animated);
}

void HeroStateCommonRemove(TsActor* hero, HeroState* state)
{
    for (int32_t player : {kHeroMovePlayer, kHeroStaticPlayer})
    {
        AnimPlayerStateMachine* machine = HeroGetAnimPlayer(hero, player);
        if (machine && machine->GetChangeData() == state)
            machine->SetChangeCallback(nullptr, nullptr);
    }
}

// ---- The intermediate classes --------------------------------------------------------------------------

void HeroMoveState::Enter(TsActor* hero)
{
    HeroStateCommonEnter(hero, this);
    AimBoneTargetSet(hero, mAimHeight);
}

void HeroMoveState::Exit(TsActor* hero)
{
    AimBoneTargetClear(hero);
}

int32_t HeroMoveState::UpdateUpperBody(TsActor* hero, int32_t, int32_t reloadAnim, int32_t)
{
    HeroUpdateUpperBodyWalking(hero, reloadAnim);
    return 1;
}

int32_t HeroRotateState::UpdateUpperBody(TsActor* hero, int32_t, int32_t reloadAnim, int32_t)
{
    HeroUpdateUpperBodyWalking(hero, reloadAnim);
    return 1;
}

void HeroAimState::Enter(TsActor* hero)
{
    HeroStateCommonEnter(hero, this);
    if (!mAimStarted)
    {
        if (Frame* camera = TsCameraRegistry::GetCurrentCameraNode())
        {
            const Vector at = Frame::GetWorldMatrix(camera)->at;
            const float length = std::sqrt(at.x * at.x + at.z * at.z);
            if (length > 0.0f)
            {
                mAimDirection[0] = at.x / length;
                mAimDirection[1] = 0.0f;
                mAimDirection[2] = at.z / length;
            }
        }
    }
    AimBoneTargetSet(hero, mAimHeight);
}

void HeroAimState::Exit(TsActor* hero)
{
    AimBoneTargetClear(hero);
    mAimStarted = 0;
}

int32_t HeroAimState::UpdateUpperBody(TsActor* hero, int32_t shootAnim, int32_t reloadAnim, int32_t)
{
    HeroUpdateUpperBodyAiming(hero, shootAnim, reloadAnim);
    return 1;
}

// ---- Upper body, rest, blocked ------------------------------------------------------------------------

HeroUpperBodyChoice HeroUpdateUpperBodyWalking(TsActor* hero, int32_t reloadAnim)
{
    LiveInputs inputs(hero);
    const HeroUpperBodyChoice choice = HeroWalkingUpperBody(inputs, reloadAnim);
    Apply(hero, choice);
    return choice;
}

HeroUpperBodyChoice HeroUpdateUpperBodyAiming(TsActor* hero, int32_t shootAnim, int32_t reloadAnim)
{
    LiveInputs inputs(hero);
    const HeroUpperBodyChoice choice = HeroAimingUpperBody(inputs, shootAnim, reloadAnim);
    Apply(hero, choice);
    return choice;
}

int32_t HeroStateRestCode(TsActor* hero)
{
    HeroRestInputs in;
    in.crouched = HeroIsCrouched() != 0;
    in.shootClick = HeroInShootClick(hero) != 0;
    in.lock = HeroInLockTest(hero) != 0;
    in.moving = HeroMoveHelper::Instance().IsActive() != 0;
    return HeroStateRestCodeFor(in);
}

int32_t HeroIsWeaponBlocked(TsActor* hero)
{
    if (!HbCastTo<TsWeaponShoot>(InHand(hero)) || HeroGetHoldMode(hero) != 0)
        return 0;
    AnimMoveCtrl* controller = hero->GetMoveController();
    TsActor* touched = controller ? controller->GetTarget() : nullptr;
    if (touched && (touched->mFamily & DofFamily))
        return 1;
    return AimBoneTargetIsBlocked();
}

// ---- Aim lock, look-at, sight, wall flag, posture ------------------------------------------------------------

void HeroAimLockBegin(TsActor* hero, int32_t animKind)
{
    if (!hero)
        return;
    Vector offset = {0.0f, 0.0f, 0.0f};
    bool hasOffset = false;
    if (auto* weapon = HbCastTo<TsWeapon>(InHand(hero)))
        if (TsWeaponAnimation* record = weapon->GetAnimation(animKind))
            hasOffset = record->GetOffset(&offset) != 0;
    if (HeroAimLockBeginWith(animKind, hasOffset))
        if (RdAnimMotor* motor = hero->GetAnimMotor())
            motor->AddLockedBone(kLockedBone, &offset, 0, kLockedBoneValue);
    if (!HeroIsWeaponBlocked(hero))
    {
        HeroLookAtRestart(hero);
        HeroShowSight(hero);
    }
}

void HeroAimLockEnd(TsActor* hero)
{
    if (HeroAimLockEndState())
    {
        HeroSapRequests().Push(0, AnimPlayerRequestStack::kPush);
        if (AnimPlayerStateMachine* sap = HeroGetAnimPlayer(hero, kHeroStaticPlayer))
            if (AnimPlayerState* current = sap->GetCurrentState())
                current->mNext = 0;
        if (RdAnimMotor* motor = hero ? hero->GetAnimMotor() : nullptr)
            motor->RemoveLockedBone(kLockedBone);
    }
    HeroGetLookAt()->Stop();
}

void HeroAimLockEndAndHideSight(TsActor* hero)
{
    HeroAimLockEnd(hero);
    HeroHideSight();
}

void HeroShowSight(TsActor* hero)
{
    if (HeroIsWeaponBlocked(hero))
        return;
    if (BoardControlTheme_InGame* hud = BoardControlTheme_InGame::Find())
        hud->ShowSight();
}

void HeroHideSight()
{
    if (BoardControlTheme_InGame* hud = BoardControlTheme_InGame::Find())
        hud->HideSight();
}

TsBoneLookAt* HeroGetLookAt()
{
    // Lives to the end of the program, as the states that drive it do.
    if (!gLookAt)
        gLookAt = new TsBoneLookAt();
    return gLookAt;
}

void HeroLookAtRestart(TsActor* hero)
{
    auto* animated = HbCastTo<TsAnimActor>(hero);
    if (!animated)
        return;
    TsBoneLookAt* lookAt = HeroGetLookAt();
    lookAt->Init(animated, 1);
    lookAt->Start(kLookAtBone);
}

void HeroSetWallFlag(int32_t flag)
{
    gWallFlag = flag;
}

int32_t HeroGetWallFlag()
{
    return gWallFlag;
}

void HeroSetPosture(TsActor* hero, int32_t posture)
{
    if (hero)
        hero->mPostureClass = posture;
}

// ---- Camera messages -------------------------------------------------------------------------------------------

void HeroSetCameraPreset(int32_t preset)
{
    gPresetPlacement.kind = HeroCameraPlacement::kPreset;
    gPresetPlacement.preset = preset;
    const int32_t camera = FollowCameraId();
    if (camera >= 0)
        TsCameraRegistry::SetCameraPlacement(camera, &gPresetPlacement);
}

void HeroSetCameraPlacement4(int32_t action, const Vector* direction, float pitch, float distance)
{
    gActionPlacement = {};
    gActionPlacement.kind = HeroCameraPlacement::kAction;
    gActionPlacement.action = action;
    if (direction)
    {
        gActionPlacement.direction[0] = direction->x;
        gActionPlacement.direction[1] = direction->y;
        gActionPlacement.direction[2] = direction->z;
        gActionPlacement.given |= HeroCameraPlacement::kGivenDirection;
    }
    gActionPlacement.given |= HeroCameraPlacement::kGivenPitch | HeroCameraPlacement::kGivenDistance;
    gActionPlacement.pitch = pitch;
    gActionPlacement.distance = distance;
    const int32_t camera = FollowCameraId();
    if (camera >= 0)
        TsCameraRegistry::SetCameraPlacement(camera, &gActionPlacement);
}

void HeroSetCameraAction(int32_t action, const Vector* direction)
{
    gActionPlacement = {};
    gActionPlacement.kind = HeroCameraPlacement::kAction;
    gActionPlacement.action = action;
    if (direction)
    {
        gActionPlacement.direction[0] = direction->x;
        gActionPlacement.direction[1] = direction->y;
        gActionPlacement.direction[2] = direction->z;
        gActionPlacement.given |= HeroCameraPlacement::kGivenDirection;
    }
    const int32_t camera = FollowCameraId();
    if (camera >= 0)
        TsCameraRegistry::SetCameraPlacement(camera, &gActionPlacement);
}

const HeroCameraPlacement& HeroGetPresetPlacement()
{
    return gPresetPlacement;
}

const HeroCameraPlacement& HeroGetActionPlacement()
{
    return gActionPlacement;
}

// ---- Footsteps -----------------------------------------------------------------------------------------------------

void HeroSetFootstepCallback(TsActor* hero, HeroFootstepCallback callback)
{
    auto* animated = HbCastTo<TsAnimActor>(hero);
    W3dAnimObject* model = animated ? animated->GetModel() : nullptr;
    if (!model)
        return;
    model->mEventReceiver = callback;
    model->mEventReceiverData = hero;
}

void HeroFootstepStanding(int32_t event, void* data)
{
    auto* hero = static_cast<TsActor*>(data);
    if (!hero)
        return;
    const bool lock = HeroInLockTest(hero) != 0;
    switch (HeroStandingStepFor(event, HeroMoveHelper::Instance().IsMode2TimerOver() != 0, lock))
    {
    case HeroStep::Walk:
        PlayStep(hero, &TsGroundType::PlayWalkStep);
        break;
    case HeroStep::Run:
        PlayStep(hero, &TsGroundType::PlayRunStep);
        break;
    case HeroStep::Strike:
        Strike(hero);
        break;
    case HeroStep::None:
        break;
    }
}

void HeroFootstepCrouched(int32_t event, void* data)
{
    auto* hero = static_cast<TsActor*>(data);
    if (!hero)
        return;
    if (event == 1 || event == 2)
        PlayStep(hero, &TsGroundType::PlayCrouchedWalkStep);
    else if (event == kStrikeEvent)
        Strike(hero);
}

void HeroFootstepLadder(int32_t event, void* data)
{
    auto* hero = static_cast<TsActor*>(data);
    if (!hero || (event != 1 && event != 2))
        return;
    W3dNode* node = hero->GetNode();
    TsFModPlaySoundAt(event == 1 ? "SD_H_FOOT_LADDER_1_S3DSB" : "SD_H_FOOT_LADDER_2_S3DSB",
                      node ? node->GetWorldPosition() : nullptr);
}

// ---- Turn curve
// --------------------------------------------------------------------------------------------------------

Spline* HeroGetTurnCurve()
{
    return gTurnCurve;
}

float HeroTurnCurveSample(float parameter)
{
    if (!gTurnCurve || gTurnCurve->GetBuiltCount() == 0)
        return 0.0f;
    float value = 0.0f;
    gTurnCurve->Sample(parameter, &value);
    return value;
}
