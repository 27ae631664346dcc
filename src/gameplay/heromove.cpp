// The hero move skill, its animation states and callbacks, the neutralisation search and the
// skill's script functions.
#include "heromove.h"

#include "animmovectrl.h"
#include "frame.h"
#include "hbinputmanager.h"
#include "hero.h"
#include "heroactorhooks.h"
#include "heroaimtarget.h"
#include "heroinput.h"
#include "herostates.h"
#include "moveanimplayerstate.h"
#include "moveblendtables.h"
#include "rdanimchannel.h"
#include "rdnameidtable.h"
#include "scriptvertex.h"
#include "scriptworldmanager.h"
#include "skillids.h"
#include "staticanimplayerstate.h"
#include "tsanimactorctrl.h"
#include "tsbonelookat.h"
#include "tsheroactor.h"
#include "tsmotorskills.h"
#include "tssendevent.h"
#include "tsskillregistry.h"
#include "tsweaponshoot.h"
#include "w3danimobject.h"
#include "w3dnode.h"
#include "weaponshoot.h"
#include "wvectorutil.h"

#include <Python.h>

#include <algorithm>
#include <cfloat>
#include <cmath>

HB_DEFINE_CLASS_DESC(HeroMoveMSState, MoveMSState);
HB_DEFINE_CLASS_POOL(HeroMoveMSState, "HeroMoveMSState", HeroMoveMSState::kPoolSize);

namespace
{
constexpr float kMax = FLT_MAX;

int32_t gFallIndex = -1;
Vector gNeutralizePosition = {0.0f, 0.0f, 0.0f};
Vector gNeutralizeDirection = {0.0f, 0.0f, 1.0f};

/// One row of the state tables.
struct Row
{
    int32_t id;
    int32_t anim;
    int32_t mode;
    uint32_t flags;
    float limit;
    int32_t channel;
    int32_t play;
    int32_t entry;
    const char* sound;
    int32_t next;
    float time1;
    float time2;
    AnimPlayerState::Callback update;
    AnimPlayerState::EnterCallback enter;
    AnimPlayerState::Callback leave;
};

constexpr const char* kRoll = "SD_H_ROLL_S3DSB";
constexpr const char* kDeath = "SD_H_DEATH_S3DSB";
constexpr const char* kKnife = "SD_H_KNIFE_ATTACK_S3DSB";
constexpr const char* kTake = "SD_H_WEAPON_TAKE_S3DSB";

const Row kMapRows[] = {
    {57, 45, 3, 0x70, kMax, 1, 0, 1, nullptr, 3, 0, 0, HeroMoveQuickTurnUpdate, HeroMoveFaceMoveDirection, nullptr},
    {58, 6, 0, 0x870, 0, 1, 1, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {61, 51, 0, 0x870, 0, 1, 0, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {62, 52, 0, 0x870, 0, 1, 0, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {2, 44, 0, 0x870, 0, 1, 0, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {3, 0, 3, 0x0, 0, 1, 3, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {7, 1, 3, 0x879, 0, 3, 1, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {11, 6, 3, 0x870, kMax, 1, 1, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {22, 7, 3, 0x879, kMax, 3, 1, 0, nullptr, 3, 0, 0, nullptr, HeroMoveAimWalkEnter, nullptr},
    {23, 8, 3, 0x879, kMax, 3, 1, 0, nullptr, 3, 0.5f, 0.25f, nullptr, HeroMoveAimWalkEnter, nullptr},
    {24, 9, 3, 0x879, kMax, 3, 1, 0, nullptr, 3, 0, 0, nullptr, HeroMoveAimWalkEnter, nullptr},
    {25, 10, 3, 0x879, kMax, 3, 1, 0, nullptr, 3, 0, 0, nullptr, HeroMoveAimWalkEnter, nullptr},
    {26, 13, 3, 0x870, kMax, 1, 1, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {59, 46, 3, 0x870, kMax, 1, 1, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {60, 47, 3, 0x870, kMax, 1, 1, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {28, 14, 3, 0x870, kMax, 1, 1, 0, nullptr, 3, 1, 0, nullptr, nullptr, nullptr},
    {31, 15, 3, 0x870, kMax, 1, 1, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {35, 16, 3, 0x879, 0, 3, 1, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {36, 17, 3, 0x879, kMax, 3, 1, 0, nullptr, 35, 0, 0, nullptr, HeroMoveAimWalkEnter, nullptr},
    {37, 18, 3, 0x879, kMax, 3, 1, 0, nullptr, 35, 0, 0, nullptr, HeroMoveAimWalkEnter, nullptr},
    {38, 19, 3, 0x879, kMax, 3, 1, 0, nullptr, 35, 0, 0, nullptr, HeroMoveAimWalkEnter, nullptr},
    {39, 20, 3, 0x879, kMax, 3, 1, 0, nullptr, 35, 0, 0, nullptr, HeroMoveAimWalkEnter, nullptr},
    {10, 26, 3, 0x870, kMax, 1, 0, 1, kRoll, 3, 0, 0, nullptr, nullptr, nullptr},
    {41, 36, 0, 0x870, kMax, 1, 0, 0, kDeath, 0, 0, 0, nullptr, nullptr, HeroMoveResetController},
    {42, 37, 0, 0x870, kMax, 1, 0, 0, kDeath, 0, 0, 0, nullptr, nullptr, HeroMoveResetController},
    {49, 30, 0, 0x1070, kMax, 1, 0, 0, nullptr, 3, 0, 0, HeroMoveNeutralizeUpdate, HeroMoveNeutralizeEnter,
     HeroMoveNeutralizeLeave},
    {51, 8, 3, 0x871, 0, 3, 1, 0, nullptr, 7, 0, 0, nullptr, nullptr, nullptr},
    {52, 9, 3, 0x871, 0, 3, 1, 0, nullptr, 7, 0, 0, nullptr, nullptr, nullptr},
    {53, 18, 3, 0x871, 0, 3, 1, 0, nullptr, 7, 0, 0, nullptr, nullptr, nullptr},
    {54, 19, 3, 0x871, 0, 3, 1, 0, nullptr, 7, 0, 0, nullptr, nullptr, nullptr},
    {55, 23, 3, 0x70, kMax, 1, 0, 1, kKnife, 3, 0, 0, nullptr, nullptr, nullptr},
    {56, 25, 3, 0x70, kMax, 1, 0, 1, kKnife, 28, 0, 0, nullptr, nullptr, nullptr},
    {76, 3, 0, 0x870, kMax, 1, 0, 1, nullptr, 28, 0, 0, nullptr, HeroMoveReloadEnter, HeroMoveReloadLeave},
    {78, 62, 0, 0x1204, kMax, 1, 0, 1, nullptr, 85, 0, 0, nullptr, nullptr, nullptr},
    {79, 63, 0, 0x1200, kMax, 1, 0, 1, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {80, 64, 0, 0x1200, kMax, 1, 0, 1, nullptr, 84, 0, 0, nullptr, nullptr, nullptr},
    {81, 65, 0, 0x1200, kMax, 1, 0, 1, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
    {82, 66, 0, 0x200, kMax, 1, 0, 0, nullptr, 0, 0, 0, nullptr, nullptr, nullptr},
    {83, 67, 0, 0x200, kMax, 1, 0, 0, nullptr, 0, 0, 0, nullptr, nullptr, nullptr},
    {84, 68, 0, 0x200, kMax, 1, 1, 0, nullptr, 0, 0, 0, nullptr, nullptr, nullptr},
    {85, 69, 0, 0x200, kMax, 1, 1, 0, nullptr, 0, 0, 0, nullptr, nullptr, nullptr},
    {77, 33, 3, 0x70, kMax, 1, 0, 0, nullptr, 3, 0, 0, nullptr, nullptr, nullptr},
};

// The static player's rows; the controller fields are not used.
const Row kSapRows[] = {
    {16, 3, 0, 0, 0, 2, 0, 1, nullptr, 0, 0.4f, 0.4f, nullptr, HeroMoveReloadEnter, HeroMoveReloadLeave},
    {17, 22, 0, 0, 0, 2, 0, 1, nullptr, 0, 0.4f, 0.4f, nullptr, HeroMoveReloadEnter, HeroMoveReloadLeave},
    {20, 3, 0, 0, 0, 2, 0, 1, nullptr, 31, 0.4f, 0.4f, nullptr, HeroMoveReloadEnter, HeroMoveReloadLeave},
    {21, 22, 0, 0, 0, 2, 0, 1, nullptr, 32, 0.4f, 0.4f, nullptr, HeroMoveReloadEnter, HeroMoveReloadLeave},
    {18, 3, 0, 0, 0, 2, 0, 1, nullptr, 30, 0.4f, 0.4f, nullptr, HeroMoveReloadEnter, HeroMoveReloadLeave},
    {19, 3, 0, 0, 0, 2, 0, 1, nullptr, 29, 0.4f, 0.4f, nullptr, HeroMoveReloadEnter, HeroMoveReloadLeave},
    {22, 27, 0, 0, 0, 2, 0, 1, kTake, 0, 0, 0, nullptr, nullptr, HeroMoveWeaponTaken},
    {23, 27, 0, 0, 0, 2, 0, 1, kTake, 0, 0, 0, nullptr, nullptr, HeroMoveWeaponTaken},
    {24, 27, 0, 0, 0, 2, 0, 1, kTake, 31, 0, 0, nullptr, nullptr, HeroMoveWeaponTaken},
    {25, 27, 0, 0, 0, 2, 0, 1, kTake, 32, 0, 0, nullptr, nullptr, HeroMoveWeaponTaken},
    {26, 27, 0, 0, 0, 2, 0, 1, kTake, 30, 0, 0, nullptr, nullptr, HeroMoveWeaponTaken},
    {27, 27, 0, 0, 0, 2, 0, 1, kTake, 29, 0, 0, nullptr, nullptr, HeroMoveWeaponTaken},
    {7, 2, 0, 0, 0, 2, 4, 1, nullptr, 31, 0.05f, 0, nullptr, HeroMoveShootEnter, HeroMoveShootLeave},
    {8, 2, 0, 0, 0, 2, 4, 1, nullptr, 32, 0.05f, 0, nullptr, HeroMoveShootEnter, HeroMoveShootLeave},
    {9, 2, 0, 0, 0, 2, 4, 1, nullptr, 29, 0.05f, 0, nullptr, HeroMoveShootEnter, HeroMoveShootLeave},
    {10, 2, 0, 0, 0, 2, 4, 1, nullptr, 30, 0.05f, 0, nullptr, HeroMoveShootEnter, HeroMoveShootLeave},
    {5, 25, 0, 0, 0, 2, 0, 1, kKnife, 0, 0, 0, nullptr, nullptr, nullptr},
    {2, 23, 0, 0, 0, 2, 0, 1, kKnife, 0, 0, 0, nullptr, nullptr, nullptr},
    {29, 48, 0, 0, 0, 2, 1, 0, nullptr, 0, 0.1f, 0.1f, nullptr, nullptr, nullptr},
    {30, 49, 0, 0, 0, 2, 1, 0, nullptr, 0, 0.1f, 0.1f, nullptr, nullptr, nullptr},
    {31, 1, 0, 0, 0, 2, 1, 0, nullptr, 0, 0.1f, 0.1f, nullptr, nullptr, nullptr},
    {32, 16, 0, 0, 0, 2, 1, 0, nullptr, 0, 0.1f, 0.1f, nullptr, nullptr, nullptr},
    {35, 14, 0, 0, 0, 2, 1, 0, nullptr, 0, 0.1f, 0.1f, nullptr, nullptr, nullptr},
    {28, 50, 0, 0, 0, 2, 1, 0, nullptr, 0, 0.2f, 0, nullptr, HeroMoveWallEnter, HeroMoveWallLeave},
};

constexpr int32_t kSpeedSynced[] = {11, 26, 59, 60, 31, 22, 23, 24, 25, 36, 37, 38, 39};
constexpr int32_t kMapExclusive[] = {41, 42, 49, 77};
constexpr int32_t kSapExclusive[] = {22};
constexpr int32_t kMapPriority[] = {55, 41, 42};
constexpr int32_t kSapShooting[] = {7, 8, 9, 10};
constexpr int32_t kStrikeCombo = 24;
constexpr float kStrikeComboDelay = 0.2f;

MoveStateDescription Describe(const Row& row, void* skill)
{
    MoveStateDescription d;
    d.stateId = row.id;
    d.animation = row.anim;
    d.controllerMode = row.mode;
    d.controllerFlags = row.flags;
    d.controllerLimit = row.limit;
    d.channel = row.channel;
    d.playMode = row.play;
    d.entryValue = row.entry;
    d.sound = row.sound;
    d.followUp = row.next;
    d.time1 = row.time1;
    d.time2 = row.time2;
    d.lastWord = 0;
    d.update = row.update;
    d.enter = row.enter;
    d.leave = row.leave;
    // The weapon change's leave takes the pending weapon through the skill.
    if (row.leave == HeroMoveWeaponTaken)
        d.leaveData = skill;
    return d;
}

TsHeroActor* AsHero(TsActor* actor)
{
    return HbCastTo<TsHeroActor>(actor);
}

TsActor* InHand(TsActor* hero)
{
    return hero ? HeroGetInputHost()->GetObjectInHand(hero) : nullptr;
}

bool PadPresent()
{
    HbInputManager* input = HbInputManager::Instance();
    return input && input->IsPadPresent();
}

Vector Position(TsActor* actor)
{
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    return node ? *node->GetWorldPosition() : Vector{0.0f, 0.0f, 0.0f};
}

Vector Forward(TsActor* actor)
{
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    Frame* frame = node ? node->GetEngineFrame() : nullptr;
    return frame ? Frame::GetWorldMatrix(frame)->at : Vector{0.0f, 0.0f, 1.0f};
}

TsActor* NeutralizeTarget(TsActor* hero, bool release)
{
    TsHeroActor* h = AsHero(hero);
    if (!h)
        return nullptr;
    if (!h->mHandle.IsValid())
    {
        if (release)
            h->mHandle.Reset();
        return nullptr;
    }
    return HbCastTo<TsActor>(h->mHandle.GetObject());
}

void FaceAlong(TsActor* actor, const Vector* direction)
{
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    if (node)
        node->LookAlong(direction);
}

struct Search
{
    TsActor* hero;
    TsActor* found;
};

int32_t FindTarget(TsActor* actor, void* a, void*)
{
    auto* search = static_cast<Search*>(a);
    if (!HeroIsNeutralizableTarget(search->hero, actor))
        return 1;
    search->found = actor;
    return 0;
}

TsActor* FirstTarget(TsActor* hero)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (!world || !hero)
        return nullptr;
    Search search = {hero, nullptr};
    world->ForEachActor(FindTarget, &search, nullptr);
    return search.found;
}
} // namespace

// ---- The skill --------------------------------------------------------------------------------------------

HeroMoveMSState::HeroMoveMSState(TsAnimActor* actor) : MoveMSState(actor)
{
    SetName(kName);
}

void HeroMoveMSState::Setup()
{
    MoveAnimPlayerStateMachine* map = mActor ? mActor->GetMovePlayer() : nullptr;
    StaticAnimPlayerStateMachine* sap = mActor ? mActor->GetStaticPlayer() : nullptr;
    if (!map || !sap)
        return;
    map->Init(kMoveStateSlots, mActor, kMapStand);
    sap->Init(kStaticStateSlots, mActor, 0);
    map->SetBlendTable(HeroMapTransitions());
    map->SetSyncTable(HeroMapPairs());
    sap->SetBlendTable(HeroSapTransitions());
    sap->SetSyncTable(HeroSapPairs());
    HeroAimProbeIndex(mActor);

    for (const Row& row : kMapRows)
        AddMoveState(Describe(row, this));
    for (const Row& row : kSapRows)
        AddStaticState(Describe(row, this));

    for (int32_t id : kSpeedSynced)
        if (AnimPlayerState* state = map->GetState(id))
            state->EnableSpeedRate(1);
    for (int32_t id : kMapExclusive)
        if (AnimPlayerState* state = map->GetState(id))
            state->mExclusive = 1;
    for (int32_t id : kSapExclusive)
        if (AnimPlayerState* state = sap->GetState(id))
            state->mExclusive = 1;
    for (int32_t id : kMapPriority)
        if (AnimPlayerState* state = map->GetState(id))
            state->mPriority = 1;
    if (AnimPlayerState* strike = map->GetState(55))
        strike->SetEndAnimation(kStrikeCombo, "SHOOT_CLICK", kStrikeComboDelay);
    for (int32_t id : kSapShooting)
        if (AnimPlayerState* state = sap->GetState(id))
        {
            state->mCanContinue = HeroMoveShootRepeat;
            state->mRearm = HeroMoveShootHold;
        }
}

void HeroMoveMSState::Enter()
{
    if (!mActor)
        return;
    if (AnimMoveCtrl* controller = mActor->GetMoveController())
    {
        controller->Reset();
        controller->SetMode(3);
        controller->SetFamilyMask(HeroEnemyFamily | DofFamily);
    }
    MoveAnimPlayerStateMachine* map = mActor->GetMovePlayer();
    if (StaticAnimPlayerStateMachine* sap = mActor->GetStaticPlayer())
        sap->Reset();
    if (map)
    {
        map->Reset();
        map->StartTransition();
        map->SetRequest(kMapStand, 0);
    }
    if (TsHeroActor* hero = AsHero(mActor))
        if (HeroStateMachine* machine = hero->GetStateMachine())
            machine->SetState(kHeroNormalWait);
}

int32_t HeroMoveMSState::Loop()
{
    if (mActor)
    {
        if (StaticAnimPlayerStateMachine* sap = mActor->GetStaticPlayer())
            sap->Update();
        if (MoveAnimPlayerStateMachine* map = mActor->GetMovePlayer())
            map->Update();
    }
    return MoveMSState::Loop();
}

TsMotorSkill* HeroMoveMSState::Create(TsActor* owner, PyObject* parameters)
{
    auto* animated = HbCastTo<TsAnimActor>(owner);
    if (!animated)
        return nullptr;
    auto* skill = new HeroMoveMSState(animated);
    if (!skill)
        return nullptr;
    if (!skill->SetParameters(parameters))
    {
        delete skill;
        return nullptr;
    }
    skill->Setup();
    return skill;
}

// ---- Callbacks -----------------------------------------------------------------------------------------------

int32_t HeroMoveFaceMoveDirection(AnimPlayerState*, AnimPlayerState*, TsAnimActor* actor, void*)
{
    // The move direction is kept in the world's horizontal plane, where the node looks.
    if (TsHeroActor* hero = AsHero(actor))
        FaceAlong(hero, &hero->mMoveDirection);
    return 1;
}

int32_t HeroMoveQuickTurnUpdate(AnimPlayerState* state, TsAnimActor* actor, void*)
{
    HbHandlePtr* handle = state ? state->GetAnimHandle() : nullptr;
    if (!handle || !handle->IsValid())
    {
        if (handle)
            handle->Reset();
        return 1;
    }
    auto* channel = HbCastTo<RdAnimChannel>(handle->GetObject());
    TsHeroActor* hero = AsHero(actor);
    if (!channel || !hero || channel->GetTime() <= 0.1f)
        return 1;
    // The turn from the facing, compared in the hero's own horizontal frame (facing +z).
    Vector local;
    hero->GetLocalDirection(&hero->mMoveDirection, &local);
    const Vector forward = {0.0f, 0.0f, 1.0f};
    if (AnimMoveCtrl* controller = hero->GetMoveController())
        controller->SetSpeed(VectorPlanarAngle(&forward, &local, nullptr));
    return 1;
}

int32_t HeroMoveAimWalkEnter(AnimPlayerState*, AnimPlayerState*, TsAnimActor* actor, void*)
{
    StaticAnimPlayerStateMachine* sap = actor ? actor->GetStaticPlayer() : nullptr;
    const int32_t s = sap ? sap->GetCurrentStateIndex() : 0;
    if ((s >= 7 && s <= 10) || (s >= 16 && s <= 21) || s == 28)
        return 1;
    TsAnimActorSetStaticStateParam(actor, 0.2f);
    return 1;
}

int32_t HeroMoveResetController(AnimPlayerState*, TsAnimActor* actor, void*)
{
    if (AnimMoveCtrl* controller = actor ? actor->GetMoveController() : nullptr)
        controller->Reset();
    return 1;
}

int32_t HeroMoveReloadEnter(AnimPlayerState*, AnimPlayerState*, TsAnimActor* actor, void*)
{
    auto* gun = HbCastTo<TsWeaponShoot>(InHand(actor));
    if (!gun)
        return 0;
    gun->PlayRandomSound(TsWeapon::kReloadSounds, 1);
    gun->Reload();
    return 1;
}

int32_t HeroMoveReloadLeave(AnimPlayerState*, TsAnimActor* actor, void*)
{
    if (HeroInLock(actor))
        HeroShowSight(actor);
    return 1;
}

int32_t HeroMoveWeaponTaken(AnimPlayerState*, TsAnimActor* actor, void*)
{
    const std::string name = HeroTakePendingWeapon();
    Hero* hero = HbCastTo<Hero>(actor);
    if (!name.empty() && hero && hero->SelectWeapon(name.c_str()))
        if (AnimPlayerState* current = hero->GetMovePlayer() ? hero->GetMovePlayer()->GetCurrentState() : nullptr)
            current->Restart(0.1f);
    if (HeroInLock(actor))
        HeroShowSight(actor);
    return 1;
}

float HeroShotRumble(float force)
{
    return std::min(1.0f, std::max(0.45f, force / 65.0f));
}

int32_t HeroMoveShootEnter(AnimPlayerState*, AnimPlayerState*, TsAnimActor* actor, void*)
{
    Hero* hero = HbCastTo<Hero>(actor);
    TsActor* target = hero ? hero->GetAimTarget() : nullptr;
    auto* gun = HbCastTo<TsWeaponShoot>(InHand(actor));
    if (!target || !gun)
        return 0;
    const Vector at = Position(target);
    TsAnimActorAimWeaponAt(actor, &at);
    float force = 0.0f;
    int32_t wide = 0;
    if (auto* shoot = HbCastTo<WeaponShoot>(gun))
    {
        force = float(shoot->mHit.damage);
        wide = shoot->mHit.wideHit;
    }
    gun->Fire(1.0f, wide);
    if (PadPresent())
        HeroRumble(3, HeroShotRumble(force), 0.25f);
    return 1;
}

int32_t HeroMoveShootRepeat(AnimPlayerState* state, TsAnimActor* actor, void* data)
{
    HeroMoveShootEnter(state, nullptr, actor, data);
    return 1;
}

int32_t HeroMoveShootHold(AnimPlayerState* state, TsAnimActor* actor, void*)
{
    auto* gun = HbCastTo<TsWeaponShoot>(InHand(actor));
    if (gun && gun->mShootData[2] && state)
        state->mValue = 0;
    return 1;
}

int32_t HeroMoveShootLeave(AnimPlayerState*, TsAnimActor* actor, void*)
{
    auto* gun = HbCastTo<TsWeaponShoot>(InHand(actor));
    if (!gun)
        return 0;
    // The end of fire does nothing in the weapon classes.
    gun->SpareOperation();
    return 1;
}

int32_t HeroMoveWallEnter(AnimPlayerState*, AnimPlayerState*, TsAnimActor* actor, void*)
{
    HeroSetWallFlag(1);
    if (HeroInLock(actor))
        HeroHideSight();
    return 1;
}

int32_t HeroMoveWallLeave(AnimPlayerState*, TsAnimActor* actor, void*)
{
    HeroSetWallFlag(0);
    if (HeroInLock(actor))
    {
        HeroLookAtRestart(actor);
        HeroShowSight(actor);
    }
    return 1;
}

int32_t HeroMoveNeutralizeEnter(AnimPlayerState*, AnimPlayerState*, TsAnimActor* actor, void*)
{
    TsActor* target = NeutralizeTarget(actor, true);
    if (!target || !target->FindEvent(HeroMoveMSState::kNeutralizeEvent) || !target->GetNode() || !actor->GetNode())
        return 0;
    const Vector hero = Position(actor);
    const Vector there = Position(target);
    Vector d = {there.x - hero.x, 0.0f, there.z - hero.z};
    if (std::fabs(d.x) <= 0.001f && std::fabs(d.z) <= 0.001f)
        return 0;
    const float length = std::sqrt(d.x * d.x + d.z * d.z);
    d = {d.x / length, 0.0f, d.z / length};
    FaceAlong(actor, &d);
    FaceAlong(target, &d);
    gNeutralizePosition = {hero.x + HeroMoveMSState::kNeutralizeHold * d.x, hero.y,
                           hero.z + HeroMoveMSState::kNeutralizeHold * d.z};
    gNeutralizeDirection = d;
    target->SetPosition(&gNeutralizePosition);
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
    {
        TsSendEvent event;
        event.id = HeroMoveMSState::kNeutralizeEvent;
        event.sender = actor;
        event.target = target;
        world->QueueEvent(event);
    }
    return 1;
}

int32_t HeroMoveNeutralizeUpdate(AnimPlayerState*, TsAnimActor* actor, void*)
{
    if (TsActor* target = NeutralizeTarget(actor, true))
    {
        target->SetPosition(&gNeutralizePosition);
        FaceAlong(target, &gNeutralizeDirection);
    }
    return 1;
}

int32_t HeroMoveNeutralizeLeave(AnimPlayerState*, TsAnimActor* actor, void*)
{
    if (TsHeroActor* hero = AsHero(actor))
        hero->mHandle.Reset();
    return 1;
}

// ---- Services ------------------------------------------------------------------------------------------------

void FallBoneTargetSet(TsActor* hero)
{
    AnimMoveCtrl* controller = hero ? hero->GetMoveController() : nullptr;
    if (controller && gFallIndex >= 0)
        controller->SetBoneTarget(gFallIndex, nullptr);
}

int32_t FallBoneTargetIndex()
{
    return gFallIndex;
}

int32_t HeroIsNeutralizableTarget(TsActor* hero, TsActor* candidate)
{
    if (!hero || !candidate || candidate == hero || !candidate->mRegistered)
        return 0;
    if (!(candidate->mFamily & HeroEnemyFamily) || !candidate->FindEvent(HeroMoveMSState::kNeutralizeEvent) ||
        candidate->mHitPoints == 0)
        return 0;
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    const float distance = world ? world->GetActorDistance(hero, candidate) : -1.0f;
    // Without a node there is no distance: out of reach.
    if (distance < 0.0f || distance > HeroMoveMSState::kNeutralizeReachSquared)
        return 0;
    const Vector heroForward = Forward(hero);
    const Vector forward = Forward(candidate);
    if (heroForward.x * forward.x + heroForward.y * forward.y + heroForward.z * forward.z <= 0.0f)
        return 0;
    const Vector h = Position(hero);
    const Vector t = Position(candidate);
    const Vector toHero = {h.x - t.x, h.y - t.y, h.z - t.z};
    return forward.x * toHero.x + forward.y * toHero.y + forward.z * toHero.z < 0.0f ? 1 : 0;
}

int32_t HeroCanNeutralize(TsActor* hero)
{
    if (HbCastTo<TsWeaponShoot>(InHand(hero)))
        return 0;
    return FirstTarget(hero) ? 1 : 0;
}

int32_t HeroPickNeutralizeTarget(TsActor* hero)
{
    TsHeroActor* h = AsHero(hero);
    TsActor* target = h ? FirstTarget(hero) : nullptr;
    if (!target)
        return 0;
    h->mHandle.Assign(target);
    return 1;
}

// ---- Script functions and registrations ----------------------------------------------------------------------

namespace
{
PyObject* Transition(PyObject* args, const char* format, HbIntHashMap* table)
{
    int from = 0, to = 0, both = 0;
    float seconds = 0.0f;
    if (!PyArg_ParseTuple(args, format, &from, &to, &seconds, &both))
        return nullptr;
    HeroMoveTableSet(table, from, to, seconds, both);
    Py_RETURN_NONE;
}

PyObject* HeroMAPTransition(PyObject*, PyObject* args)
{
    return Transition(args, "iifi:HeroMAPTransition", HeroMapTransitions());
}

PyObject* HeroSAPTransition(PyObject*, PyObject* args)
{
    return Transition(args, "iifi:HeroSAPTransition", HeroSapTransitions());
}

PyObject* HeroControleur(PyObject*, PyObject* args)
{
    PyObject* fall = nullptr;
    PyObject* offset = nullptr;
    if (!PyArg_ParseTuple(args, "OO:HeroControleur", &fall, &offset))
        return nullptr;
    const char* bone = nullptr;
    float value1 = 0.0f, value2 = 0.0f;
    // A first argument of another shape gives the parser's error back; nothing is changed.
    if (!PyTuple_Check(fall))
    {
        PyErr_SetString(PyExc_TypeError, "ParseHeroControleurFallRC : the fall must be a tuple (bone, value, value)");
        return nullptr;
    }
    if (!PyArg_ParseTuple(fall, "sff:ParseHeroControleurFallRC", &bone, &value1, &value2))
        return nullptr;
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    auto* hero = HbCastTo<TsAnimActor>(world ? world->GetHero() : nullptr);
    AnimMoveCtrl* controller = hero ? hero->GetMoveController() : nullptr;
    if (controller)
    {
        NameIdTable* bones = NameIdTable::Bones();
        const int32_t boneId = bones ? bones->FindIdByName(bone) : 0;
        gFallIndex = controller->AddBoneTarget(boneId, value1, value2, AnimMoveCtrl::kProbeSphere, nullptr);
    }
    if (ScriptIsVertex(offset) && hero && hero->GetModel())
    {
        const auto* v = reinterpret_cast<const ScriptVertex*>(offset);
        if (Frame* frame = FrameGetFirstChild(hero->GetModel()->GetEngineFrame()))
        {
            const Vector translation = {v->x, v->y, v->z};
            Frame::SetIdentity(frame);
            Frame::Translate(frame, &translation, 2);
        }
    }
    Py_RETURN_NONE;
}

PyMethodDef gFunctions[] = {
    {"HeroMAPTransition", HeroMAPTransition, METH_VARARGS, nullptr},
    {"HeroSAPTransition", HeroSAPTransition, METH_VARARGS, nullptr},
    {"HeroControleur", HeroControleur, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

int RegisterSkill()
{
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return 0;
    registry->AddSkillState(kMsHeroMoveId, HeroMoveMSState::kName, "src\\heromove", HeroMoveMSState::Create, 34);
    registry->AddSkillFunction(HeroMAPTransition, "HeroMAPTransition", "This function is not documented", __FILE__,
                               __LINE__);
    registry->AddSkillFunction(HeroSAPTransition, "HeroSAPTransition", "This function is not documented", __FILE__,
                               __LINE__);
    registry->AddSkillFunction(HeroControleur, "HeroControleur", "This function is not documented", __FILE__, __LINE__);
    return 1;
}

bool gQueued = false;

[[maybe_unused]] const int gQueuedAtStart = (HeroMoveQueueRegistrations(), 1);
} // namespace

PyMethodDef* HeroMoveScriptFunctions()
{
    return gFunctions;
}

void HeroMoveQueueRegistrations()
{
    if (gQueued)
        return;
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return;
    registry->AddRegistration(RegisterSkill);
    gQueued = true;
}
