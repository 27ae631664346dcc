// The hero actor.
#include "hero.h"

#include "ingamecameraplacement.h"

#include "animmovectrl.h"
#include "boardcontroltheme_ingame.h"
#include "eboxcontract.h"
#include "fmod3.h"
#include "frame.h"
#include "gameplayactortypes.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "hbcontroller.h"
#include "hbinputmanager.h"
#include "hbrandom.h"
#include "hbresource.h"
#include "hbsavefile.h"
#include "heroaimtarget.h"
#include "herohudaccess.h"
#include "heroinput.h"
#include "heromove.h"
#include "herostates.h"
#include "moveanimplayerstate.h"
#include "rdanimmotor.h"
#include "scriptvertex.h"
#include "scriptworldmanager.h"
#include "shootsight.h"
#include "staticanimplayerstate.h"
#include "tsactortyperegistry.h"
#include "tscameraregistry.h"
#include "tsdummyactor.h"
#include "tsevent.h"
#include "tsfmod.h"
#include "tsfmodsound.h"
#include "tsscriptcall.h"
#include "tstrigger.h"
#include "tsweaponshoot.h"
#include "w3dcollision.h"
#include "w3dlevel.h"
#include "w3dnode.h"
#include "weaponshoot.h"
#include "weapontables.h"
#include "wscene.h"
#include "wvectorutil.h"

#include <Python.h>

#include <algorithm>
#include <cmath>

HB_DEFINE_CLASS_POOL(WeaponList, "WeaponList", WeaponList::kPoolSize);
HB_DEFINE_CLASS_DESC(Hero, TsHeroActor);
HB_DEFINE_CLASS_POOL(Hero, "Hero", Hero::kPoolSize);

namespace
{
HeroRumbleSink gRumbleSink = nullptr;
HeroGodReader gGodReader = nullptr;

bool IsWeaponItem(const TsInventoryItem* item)
{
    return item && HbCastTo<TsWeapon>(item->GetActor());
}

int64_t Now()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mGameTime : 0;
}

GameProfile* CurrentProfile()
{
    GameStateManager* manager = GameStateManager::Existing();
    GameState* state = manager ? manager->GetCurrentState() : nullptr;
    GameProfile* profile = state ? state->GetProfile() : nullptr;
    return profile ? profile : (manager ? manager->GetProfile() : nullptr);
}

bool PadPresent()
{
    HbInputManager* input = HbInputManager::Instance();
    return input && input->IsPadPresent();
}

BoardControlTheme_InGame* Hud()
{
    return BoardControlTheme_InGame::Find();
}

Vector WorldPosition(TsActor* actor)
{
    W3dNode* node = actor ? actor->GetNode() : nullptr;
    return node ? *node->GetWorldPosition() : Vector{0.0f, 0.0f, 0.0f};
}

/// The horizontal unit direction from a to b; zero when there is none.
Vector Horizontal(const Vector& a, const Vector& b)
{
    Vector d = {b.x - a.x, 0.0f, b.z - a.z};
    const float length = std::sqrt(d.x * d.x + d.z * d.z);
    if (length < kVectorNoDirection)
        return {0.0f, 0.0f, 0.0f};
    return {d.x / length, 0.0f, d.z / length};
}

float Clamp01(float value)
{
    return value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
}

/// The listed actor (or the hero) whose node is the node or holds it.
TsActor* ActorOfNode(W3dNode* node)
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    for (; node && world; node = node->GetParent())
    {
        if (TsActor* hero = world->GetHero(); hero && hero->GetNode() == node)
            return hero;
        for (const HbPtrListNode* entry = world->GetActors().GetHead(); entry; entry = entry->next)
            if (auto* actor = static_cast<TsActor*>(entry->value); actor->GetNode() == node)
                return actor;
    }
    return nullptr;
}

/// Entries whose surface flag byte has either bit never stop the aim ray.
int32_t AimRayFilter(const W3dCollisionResult* candidate)
{
    return (candidate->color[TsActor::kSurfaceFlagByte] & 0x22) ? 0 : 1;
}

void SendShake(int32_t camera, const HeroShake& shake)
{
    HeroShakePlacement placement;
    placement.shake = shake;
    TsCameraRegistry::SetCameraPlacement(camera, &placement);
}

TsFModSound* TakeSound(const char* id)
{
    HbResourceManager* resources = HbResourceManager::Instance();
    auto* sound = HbCastTo<TsFModSound>(resources ? resources->GetResource(id) : nullptr);
    if (sound)
        sound->AddRef();
    return sound;
}

void DropSound(TsFModSound*& sound)
{
    if (sound)
        sound->Release();
    sound = nullptr;
}

// ---- The damage callbacks ---------------------------------------------------------------------------------

Hero* AsHero(TsActor* actor)
{
    return HbCastTo<Hero>(actor);
}

void OnStrike(TsActor* sender, float value, TsActor* target)
{
    if (Hero* hero = AsHero(target))
    {
        hero->TakeDamage(sender, value);
        hero->mLastHitEvent = Hero::kEventStrike;
    }
}

void OnHit(TsActor* sender, float value, TsActor* target)
{
    if (Hero* hero = AsHero(target))
    {
        hero->TakeDamage(sender, value);
        hero->mLastHitEvent = Hero::kEventHit;
    }
}

void OnExplosion(TsActor* sender, float value, TsActor* target)
{
    if (Hero* hero = AsHero(target))
    {
        hero->TakeDamage(sender, value);
        hero->mLastHitEvent = Hero::kEventExplosion;
    }
}

void OnVibrations(TsActor* sender, float value, TsActor* target)
{
    if (Hero* hero = AsHero(target))
        hero->Feedback(sender, value);
}

struct DamageEvent
{
    int32_t id;
    TsEvent::Callback callback;
};

constexpr DamageEvent kDamageEvents[] = {
    {Hero::kEventStrike, OnStrike},
    {Hero::kEventHit, OnHit},
    {Hero::kEventExplosion, OnExplosion},
    {Hero::kEventVibrations, OnVibrations},
};

// ---- The services the states and the display reach the hero through --------------------------------------

class HeroActorInputHost : public HeroInputHost
{
public:
    TsActor* GetObjectInHand(TsActor* hero) override
    {
        Hero* h = AsHero(hero);
        if (!h)
            return HeroInputHost::GetObjectInHand(hero);
        TsInventoryItem* item = h->GetItemInHand();
        return item ? item->GetActor() : nullptr;
    }
    int32_t HasWeaponList(TsActor* hero) override
    {
        Hero* h = AsHero(hero);
        return h && h->GetWeaponList() ? 1 : 0;
    }
    int32_t CanNeutralize(TsActor* hero) override { return HeroCanNeutralize(hero); }
    int32_t PickNeutralizeTarget(TsActor* hero) override { return HeroPickNeutralizeTarget(hero); }
    int32_t CycleWeapon(TsActor* hero, int32_t direction, std::string* name) override
    {
        Hero* h = AsHero(hero);
        WeaponList* list = h ? h->GetWeaponList() : nullptr;
        if (!list)
            return 0;
        TsInventoryItem* before = list->GetCursorItem();
        TsInventoryItem* candidate = direction > 0 ? list->Next() : list->Previous();
        if (!candidate || candidate == before)
            return 0;
        *name = candidate->mName;
        return 1;
    }
    int32_t WeaponForKey(TsActor* hero, int32_t index, std::string* name) override
    {
        Hero* h = AsHero(hero);
        WeaponList* list = h ? h->GetWeaponList() : nullptr;
        const char* key = h ? h->GetWeaponSlotName(index) : "";
        TsInventoryItem* item = list && *key ? list->FindByName(key) : nullptr;
        if (!item || item == h->GetItemInHand())
            return 0;
        *name = item->mName;
        return 1;
    }
    void DropObject(TsActor* hero, const char* name) override
    {
        if (Hero* h = AsHero(hero))
            h->DropObject(name);
    }
};

class HeroHudReader : public WeaponHudAccess
{
public:
    HbRoot* GetItemInHand(HbRoot* hero) override
    {
        Hero* h = HbCastTo<Hero>(hero);
        return h ? h->GetItemInHand() : nullptr;
    }
    int32_t GetHitPoints(HbRoot* hero) override
    {
        auto* actor = HbCastTo<TsActor>(hero);
        return actor ? actor->mHitPoints : 0;
    }
    int32_t GetMaxHitPoints(HbRoot* hero) override
    {
        auto* actor = HbCastTo<TsActor>(hero);
        return actor ? actor->mMaxHitPoints : 0;
    }
    int32_t GetLastHitDirection(HbRoot* hero) override
    {
        Hero* h = HbCastTo<Hero>(hero);
        return h ? h->GetHitDirection() : kNoHit;
    }
    int32_t GetHeroStateId(HbRoot* hero) override
    {
        auto* actor = HbCastTo<TsHeroActor>(hero);
        HeroStateMachine* machine = actor ? actor->GetStateMachine() : nullptr;
        return machine && machine->GetCurrent() ? machine->GetCurrentCode() : 0;
    }
    HbRoot* GetWeaponList(HbRoot* hero) override
    {
        Hero* h = HbCastTo<Hero>(hero);
        return h ? h->GetWeaponList() : nullptr;
    }
};

HeroActorInputHost gInputHost;
HeroHudReader gHudReader;

/// The script method call of DropObject, under the script host's time limit.
struct DropCall
{
    PyObject* object;
    const float* location;
};

PyObject* CallDrop(void* data)
{
    auto* call = static_cast<DropCall*>(data);
    PyObject* at = ScriptNewVertex(call->location[0], call->location[1], call->location[2]);
    PyObject* along = ScriptNewVertex(1.0f, 0.0f, 0.0f);
    PyObject* result = at && along ? PyObject_CallMethod(call->object, "DropObject", "OOi", at, along, 0) : nullptr;
    Py_XDECREF(at);
    Py_XDECREF(along);
    return result;
}
} // namespace

// ---- WeaponList ---------------------------------------------------------------------------------------------

TsInventoryItem* WeaponList::Next()
{
    const int32_t count = GetCount();
    if (count == 0)
        return nullptr;
    if (mCursor < 0 || mCursor >= count)
        mCursor = 0;
    for (int32_t step = 1; step <= count; ++step)
    {
        const int32_t index = (mCursor + step) % count;
        if (IsWeaponItem(GetItem(index)))
        {
            mCursor = index;
            return GetItem(index);
        }
    }
    return nullptr;
}

TsInventoryItem* WeaponList::Previous()
{
    const int32_t count = GetCount();
    if (count == 0)
        return nullptr;
    if (mCursor < 0 || mCursor >= count)
        mCursor = 0;
    for (int32_t step = 1; step <= count; ++step)
    {
        const int32_t index = (mCursor - step + count) % count;
        if (IsWeaponItem(GetItem(index)))
        {
            mCursor = index;
            return GetItem(index);
        }
    }
    return nullptr;
}

TsInventoryItem* WeaponList::FindByName(const char* name) const
{
    for (int32_t i = 0; name && i < GetCount(); ++i)
        if (IsWeaponItem(GetItem(i)) && GetItem(i)->mName == name)
            return GetItem(i);
    return nullptr;
}

int32_t WeaponList::SetCursorByName(const char* name)
{
    if (GetCount() == 0 || !name || !*name)
        return 0;
    if (TsInventoryItem* under = GetCursorItem(); under && under->mName == name)
        return 0;
    for (int32_t i = 0; i < GetCount(); ++i)
        if (GetItem(i)->mName == name)
        {
            mCursor = i;
            return 1;
        }
    return 0;
}

void WeaponList::Clear()
{
    mCursor = 0;
    RemoveAll();
}

TsInventoryItem* WeaponList::GetCursorItem() const
{
    return mCursor >= 0 && mCursor < GetCount() ? GetItem(mCursor) : nullptr;
}

void WeaponList::ToggleUnlimitedAmmo()
{
    if (mToggle)
    {
        // The real counts are kept so that switching off gives them back.
        mKept.clear();
        for (int32_t i = 0; i < GetCount(); ++i)
            if (auto* gun = HbCastTo<TsWeaponShoot>(GetItem(i)->GetActor()))
            {
                mKept.push_back({HbHandlePtr(), gun->GetTotal()});
                mKept.back().weapon.Assign(gun);
                gun->SetAmmo(-1);
            }
    }
    else
    {
        for (KeptCount& kept : mKept)
            if (auto* gun = kept.weapon.IsValid() ? HbCastTo<TsWeaponShoot>(kept.weapon.GetObject()) : nullptr)
                gun->SetAmmo(kept.total);
        mKept.clear();
    }
    mToggle = mToggle ? 0 : 1;
}

// ---- Hero ---------------------------------------------------------------------------------------------------

Hero::Hero()
{
    HeroStatesAddAll(GetStateMachine());
    mWeapons = new WeaponList();
    if (mWeapons)
        mWeapons->AddRef();
    mEquipment = new TsInventory();
    if (mEquipment)
        mEquipment->AddRef();
    mEBoxBits = EBoxActorBitsNew();
    ShootHelperInit();
    mHitSound = TakeSound("SD_H_HIT_S3DSB");
    mHurtSounds[0] = TakeSound("SD_H_HURT_1_S3DSB");
    mHurtSounds[1] = TakeSound("SD_H_HURT_2_S3DSB");
}

Hero::~Hero()
{
    DropSound(mHitSound);
    DropSound(mHurtSounds[0]);
    DropSound(mHurtSounds[1]);
    for (const DamageEvent& event : kDamageEvents)
        while (DeactivateEvent(event.id))
        {
        }
    if (mItemInHand)
        mItemInHand->Release();
    mItemInHand = nullptr;
    if (mEquipment)
        mEquipment->Release();
    if (mWeapons)
        mWeapons->Release();
    mEquipment = nullptr;
    mWeapons = nullptr;
    if (GetMovePlayer())
        GetMovePlayer()->Reset();
    if (GetStaticPlayer())
        GetStaticPlayer()->Reset();
}

void Hero::SetModel(W3dNode* node)
{
    TsHeroActor::SetModel(node);
}

void Hero::Update()
{
    TsHeroActor::Update();
    mHitDirection = HeroHudAccess::kNoHit;
    // The phase starts at 1: the profile's flag on toggles while it is 1, off while it is 0.
    const int32_t unlimited = WeaponProfileUnlimitedAmmo() ? 1 : 0;
    if (mWeapons && unlimited == mUnlimitedPhase)
    {
        mWeapons->ToggleUnlimitedAmmo();
        mUnlimitedPhase = mUnlimitedPhase ? 0 : 1;
    }
    ShootHelperUpdateSight(mPostureClass);
}

void Hero::SetHitPoints(int32_t value)
{
    TsHeroActor::SetHitPoints(value);
    if (BoardControlTheme_InGame* hud = Hud())
        hud->RestoreHealthDisplay(1);
}

int32_t Hero::Save(HbSaveFile* save)
{
    if (!save || !mEquipment || !mWeapons)
        return 0;
    const char* inHand = IsWeaponItem(mItemInHand) ? mItemInHand->mName.c_str() : "";
    return mEquipment->Save(save) && mWeapons->Save(save) && save->WriteInt32(mHitPoints) &&
                   save->WriteInt32(mMaxHitPoints) && save->WriteString(inHand)
               ? 1
               : 0;
}

int32_t Hero::Load(HbSaveFile* save)
{
    if (!save || !mEquipment || !mWeapons)
        return 0;
    // The items about to be replaced leave the hand first.
    Equip(nullptr);
    int32_t hitPoints = 0;
    int32_t maxHitPoints = 0;
    std::string inHand;
    if (!mEquipment->Load(save) || !mWeapons->Load(save) || !save->ReadInt32(hitPoints) ||
        !save->ReadInt32(maxHitPoints) || !save->ReadString(inHand))
        return 0;
    mWeapons->mCursor = 0;
    SetMaxHitPoints(maxHitPoints);
    SetHitPoints(hitPoints);
    // A hero saved with an empty hand loads with an empty hand.
    if (inHand.empty())
        return 1;
    return SelectWeapon(inHand.c_str());
}

TsActor* Hero::GetAimTarget()
{
    TsActor* marker = GetTarget();
    if (!marker)
        return nullptr;
    const int64_t now = Now();
    if (now == mAimRayStamp)
        return marker;
    mAimRayStamp = now;
    ++mAimRayCount;

    W3dNode* node = GetNode();
    Vector direction = {0.0f, 0.0f, 1.0f};
    if (Frame* camera = TsCameraRegistry::GetCurrentCameraNode())
        direction = Frame::GetWorldMatrix(camera)->at;
    else if (node)
        direction = Frame::GetWorldMatrix(node->GetEngineFrame())->at;
    const float length = std::sqrt(direction.x * direction.x + direction.y * direction.y + direction.z * direction.z);
    if (length > 0.0f)
        direction = {direction.x / length, direction.y / length, direction.z / length};
    Vector origin = WorldPosition(this);
    origin.y += kAimRayRaise;
    const Vector end = {origin.x + kAimRayLength * direction.x, origin.y + kAimRayLength * direction.y,
                        origin.z + kAimRayLength * direction.z};

    WScene* scene = node ? node->GetScene() : nullptr;
    W3dLevel* level = scene ? scene->GetLevel() : nullptr;
    W3dCollisionResult result;
    result.Clear();
    const int32_t hit = level && CollisionTestLine(level, &origin, &end, node, nullptr, &result, AimRayFilter);

    Vector at = end;
    bool onActor = false;
    auto* gun = HbCastTo<TsWeaponShoot>(GetWeapon());
    if (gun && hit)
    {
        const float reach = kAimRayLength * result.distance;
        const Vector point = {origin.x + reach * direction.x, origin.y + reach * direction.y,
                              origin.z + reach * direction.z};
        at = point;
        const Vector muzzle = WorldPosition(gun);
        float range = 0.0f;
        if (auto* shoot = HbCastTo<WeaponShoot>(gun))
            range = float(shoot->mHit.lifetime) * shoot->mHit.flightSpeed;
        TsActor* actor = ActorOfNode(result.hitNode);
        if (actor && VectorDistance(&muzzle, &point) <= range)
        {
            ShootHelperSetAimActive((actor->mFamily & DofFamily) && !(actor->mFamily & HeroEnemyFamily) ? 1 : 0);
            mActorUnderSight = 1;
            onActor = true;
        }
    }
    if (!onActor && mActorUnderSight)
    {
        ShootHelperSetAimActive(1);
        mActorUnderSight = 0;
    }

    W3dNode* markerNode = marker->GetNode();
    W3dNode* root = scene ? scene->GetRoot() : nullptr;
    if (markerNode && root && markerNode->GetParent() != root)
        root->AttachChild(markerNode);
    marker->SetPosition(&at);
    return marker;
}

// ---- Play ---------------------------------------------------------------------------------------------------

void Hero::OnStageStart()
{
    if (RdAnimMotor* motor = GetAnimMotor())
        motor->FadeOutAllChannels(0.0f);
    if (AnimMoveCtrl* controller = GetMoveController())
    {
        controller->Reset();
        controller->SetMode(3);
        controller->SetFamilyMask(HeroEnemyFamily | DofFamily);
        controller->ClearBoneTargets();
    }
    if (GetMovePlayer())
        GetMovePlayer()->Reset();
    if (GetStaticPlayer())
        GetStaticPlayer()->Reset();
    HeroAimLockRelease();
    if (HeroStateMachine* machine = GetStateMachine())
        machine->SetState(kHeroNormalWait);
    EnableDamageEvents();
    HeroSetCrouched(0);
    // A climb cut short by the restart ends: the wheel unlocked, the weapon shown again.
    HeroLadderEnd(this);
    HeroRequestStacksClear();
    mKiller.Reset();
    SnapToGround(nullptr);
}

void Hero::OnSectorEnter()
{
    SetHitPoints(mMaxHitPoints);
    for (int32_t i = 0; mWeapons && i < mWeapons->GetCount(); ++i)
    {
        auto* gun = HbCastTo<TsWeaponShoot>(mWeapons->GetItem(i)->GetActor());
        if (gun && gun->mMagazine != -1 && gun->mMagazineSize != -1 && gun->mStock != -1 && gun->mMaxAmmo != -1)
            gun->SetAmmo(gun->mMaxAmmo / 2);
    }
}

void Hero::OnSectorLeave()
{
    if (W3dNode* node = GetNode())
    {
        node->GetMoveCollisionSet().RemoveFromWorld(node->GetScene());
        node->GetShootCollisionSet().RemoveFromWorld(node->GetScene());
    }
    // The weapon comes off and goes back on so that nothing else stays hung on the bones.
    TsActor* held = GetWeapon();
    if (held)
        held->AddRef();
    TsAnimActor::SetWeapon(nullptr);
    if (held)
    {
        TsAnimActor::SetWeapon(held);
        held->Release();
    }
    HeroAimLockEndAndHideSight(this);
}

void Hero::Restart()
{
    Equip(nullptr);
    mCurrentWeapon.clear();
    if (HeroStateMachine* machine = GetStateMachine())
        machine->SetState(kHeroNormalWait);
    if (mWeapons)
        mWeapons->Clear();
    if (mEquipment)
        mEquipment->RemoveAll();
}

void Hero::EnableDamageEvents()
{
    for (const DamageEvent& damage : kDamageEvents)
    {
        if (FindEvent(damage.id))
            continue;
        auto* event = new TsEvent();
        if (!event)
            continue;
        event->id = damage.id;
        event->owner = this;
        event->callback = damage.callback;
        if (!AddEvent(event))
            delete event;
    }
}

// ---- Weapons ------------------------------------------------------------------------------------------------

void Hero::HandBack(TsInventoryItem* item)
{
    if (!item)
        return;
    if (mEquipment && !IsWeaponItem(item))
    {
        bool listed = false;
        for (int32_t i = 0; i < mEquipment->GetCount() && !listed; ++i)
            listed = mEquipment->GetItem(i) == item;
        if (!listed)
            mEquipment->Add(item);
    }
    item->Release();
}

void Hero::SetItemInHand(TsInventoryItem* item)
{
    if (item)
        item->AddRef();
    TsInventoryItem* previous = mItemInHand;
    mItemInHand = nullptr;
    HandBack(previous);
    mItemInHand = item;
    Equip(item ? item->GetActor() : nullptr);
}

int32_t Hero::Equip(TsActor* object)
{
    if (mItemInHand && mItemInHand->GetActor() != object)
    {
        TsInventoryItem* previous = mItemInHand;
        mItemInHand = nullptr;
        HandBack(previous);
    }
    if (!mItemInHand && object)
    {
        TsInventoryMatch match = {object, nullptr};
        if (mEquipment)
            mEquipment->ForEach(TsInventoryItemMatchesActor, &match);
        bool fromWeapons = false;
        if (!match.item && mWeapons)
        {
            mWeapons->ForEach(TsInventoryItemMatchesActor, &match);
            fromWeapons = match.item != nullptr;
        }
        if (match.item)
        {
            match.item->AddRef();
            mItemInHand = match.item;
            if (fromWeapons)
                mCurrentWeapon = match.item->mName;
        }
    }
    return TsAnimActor::SetWeapon(object);
}

void Hero::SendZoom(TsActor* weapon)
{
    const int32_t camera = WeaponInGameCamera();
    if (camera < 0)
        return;
    // The follow camera reads its own placement record: a smaller one would be read past its end.
    CameraFollowPlacement placement;
    placement.kind = CameraFollowPlacement::kZoom;
    if (auto* gun = HbCastTo<TsWeaponShoot>(weapon))
        placement.zoom = gun->mReal3;
    TsCameraRegistry::SetCameraPlacement(camera, &placement);
}

void Hero::RestartPlayers()
{
    for (AnimPlayerStateMachine* player : {static_cast<AnimPlayerStateMachine*>(GetMovePlayer()),
                                           static_cast<AnimPlayerStateMachine*>(GetStaticPlayer())})
        if (AnimPlayerState* state = player ? player->GetCurrentState() : nullptr)
            state->Restart(0.1f);
}

int32_t Hero::SelectWeapon(const char* name)
{
    if (!mWeapons)
        return 0;
    const bool named = name && *name;
    TsInventoryItem* item = named ? mWeapons->FindByName(name) : mWeapons->Next();
    if (!item)
        return 0;
    // The name may be the current name itself.
    const std::string chosen = named ? name : "";
    mPreviousWeapon = mCurrentWeapon;
    SetItemInHand(item);
    if (named)
        mCurrentWeapon = chosen;
    mWeapons->SetCursorByName(chosen.c_str());
    TsActor* weapon = item->GetActor();
    SendZoom(weapon);
    if (auto* gun = HbCastTo<TsWeaponShoot>(weapon))
    {
        ShootHelperShowSight(gun->mWeaponData[1]);
        if (auto* shoot = HbCastTo<WeaponShoot>(gun))
            shoot->ApplyDifficulty();
    }
    return 1;
}

int32_t Hero::TakeWeapon(TsActor* weapon, const char* name)
{
    if (!HeroCanChangeWeapon(this))
        HeroSetPendingWeapon("");
    if (!HbCastTo<TsWeaponShoot>(GetWeapon()))
        HeroAimLockEndAndHideSight(this);
    SelectWeapon(name);
    SendZoom(weapon);
    RestartPlayers();
    return 1;
}

void Hero::DropObject(const char* name)
{
    if (!mItemInHand)
        return;
    TsInventoryItem* dropped = mItemInHand;
    dropped->AddRef();
    const std::string droppedName = dropped->mName;
    const std::string next = name && *name ? name : mPreviousWeapon;
    if (!SelectWeapon(next.c_str()))
    {
        dropped->Release();
        return;
    }
    TsActor* actor = dropped->GetActor();
    if (actor)
        actor->AddRef();
    dropped->Release();
    if (mWeapons)
        mWeapons->RemoveByName(droppedName.c_str());
    if (actor)
    {
        float location[3] = {0.0f, 0.0f, 0.0f};
        if (auto* weapon = HbCastTo<TsWeapon>(actor))
            location[0] = weapon->mLocation.x, location[1] = weapon->mLocation.y, location[2] = weapon->mLocation.z;
        if (PyObject* object = Py_IsInitialized() ? actor->GetScriptObject() : nullptr)
        {
            DropCall call = {object, location};
            PyObject* result = TsRunScriptGuarded(CallDrop, &call);
            if (!result)
                PyErr_Print();
            Py_XDECREF(result);
        }
        actor->Release();
    }
    SendZoom(GetWeapon());
    RestartPlayers();
}

// ---- Damage -------------------------------------------------------------------------------------------------

TsActor* Hero::GetKiller() const
{
    return mKiller.IsValid() ? HbCastTo<TsActor>(mKiller.GetObject()) : nullptr;
}

void Hero::PlayAtHero(TsFModSound* sound)
{
    if (!sound)
        return;
    const int32_t channel = sound->Play();
    if (channel < 0)
        return;
    const Vector at = WorldPosition(this);
    const float position[3] = {at.x, at.y, at.z};
    FSOUND_3D_SetAttributes(channel, position, nullptr);
}

void Hero::TakeDamage(TsActor* attacker, float amount)
{
    // Seen from the camera: where the attacker stands around the hero.
    const Vector hero = WorldPosition(this);
    Vector camera = hero;
    if (Frame* frame = TsCameraRegistry::GetCurrentCameraNode())
        camera = Frame::GetWorldMatrix(frame)->pos;
    const Vector a = Horizontal(camera, hero);
    const Vector b = Horizontal(hero, WorldPosition(attacker));
    mHitDirection = HeroHitDirectionForAngle(VectorPlanarAngle(&a, &b, nullptr));

    GameProfile* profile = CurrentProfile();
    int32_t godLife = -1;
    const bool god = (profile && profile->godMode) || (gGodReader && gGodReader(&godLife));
    if (god)
        SetHitPoints(godLife > 0 ? godLife : mMaxHitPoints);
    else
    {
        SetHitPoints(mHitPoints - int32_t(amount));
        if (mHitPoints < 1)
        {
            // The states see the death; no sound, shake or state change here.
            mKiller.Reset();
            if (attacker)
                mKiller.Assign(attacker);
            return;
        }
    }

    const float r = HbRandom::Instance() ? HbRandom::QuickUniform(HbRandom::Instance()->GameState()) * 100.0f : 100.0f;
    if (r < 17.5f)
        PlayAtHero(mHurtSounds[0]);
    else if (r < 35.0f)
        PlayAtHero(mHurtSounds[1]);

    // No maximum: no measure of the hit, so no shake and no rumble.
    if (mMaxHitPoints > 0)
    {
        const float t = 10.0f * amount / float(mMaxHitPoints);
        const int32_t follow = WeaponInGameCamera();
        if (follow >= 0 && TsCameraRegistry::GetCurrentCameraId() == follow)
        {
            SendShake(follow, {0, 1, 2.5f * t, 20.0f, 5.0f, 0.0f});
            SendShake(follow, {1, 1, 4.0f * t, 40.0f, 10.0f, 0.0f});
        }
        if (PadPresent())
            HeroRumble(4, 1.0f, 0.4f * t);
    }
    if (amount > 100.0f)
        if (HeroStateMachine* machine = GetStateMachine())
            machine->SetState(kHeroHit);
}

void Hero::Feedback(TsActor* sender, float strength)
{
    const bool dummy = HbCastTo<TsDummyActor>(sender) != nullptr;
    float radius = 0.0f;
    if (auto* trigger = HbCastTo<TsTrigger>(sender))
        radius = float(trigger->GetRadius());
    // A dummy without a radius gives no measure of nearness: no feedback.
    if (dummy && radius <= 0.0f)
        return;
    if (dummy && PadPresent())
    {
        ScriptWorldManager* world = ScriptWorldManager::Instance();
        const float d = world ? world->GetActorDistance(this, sender) : -1.0f;
        // No distance (a missing node) counts as out of reach.
        const float c = d < 0.0f ? 0.0f : Clamp01(1.0f - d / (radius * radius));
        HeroRumble(3, strength * (0.9f * c + 0.1f), 0.8f * strength * c);
        HeroRumble(4, 1.0f, 0.2f * strength * c);
    }
    float k = 1.0f;
    if (dummy)
    {
        Frame* frame = TsCameraRegistry::GetCurrentCameraNode();
        const Vector camera = frame ? Frame::GetWorldMatrix(frame)->pos : WorldPosition(this);
        const Vector at = WorldPosition(sender);
        k = Clamp01(1.0f - VectorDistance(&camera, &at) / radius);
    }
    const HeroShake first = {0, 1, strength * (4.5f * k + 0.5f), 100.0f * strength, strength * (7.0f - 4.0f * k), 0.0f};
    const float f = 0.5555556f;
    const HeroShake second = {1, 1, first.amplitude * f, first.frequency * f, first.damping * f, 0.0f};
    const int32_t current = TsCameraRegistry::GetCurrentCameraId();
    GameProfile* profile = CurrentProfile();
    const int32_t follow = WeaponInGameCamera();
    if (current >= 0 && current == follow)
    {
        SendShake(current, first);
        SendShake(current, second);
    }
    else if (current >= 0 && profile && current == profile->secondCamera)
    {
        for (const HeroShake* shake : {&first, &second})
        {
            HeroShakeRequestPlacement placement;
            placement.shake = shake;
            TsCameraRegistry::SetCameraPlacement(current, &placement);
        }
    }
}

// ---- Free functions -----------------------------------------------------------------------------------------

TsInventoryItem* HeroEquipmentFindItemByName(Hero* hero, const char* name)
{
    TsInventory* equipment = hero ? hero->GetEquipment() : nullptr;
    return equipment && name ? equipment->FindItem(name) : nullptr;
}

int32_t HeroHitDirectionForAngle(float degrees)
{
    if (degrees > 135.0f)
        return HeroHudAccess::kHitBottom;
    if (degrees > 45.0f)
        return HeroHudAccess::kHitLeft;
    if (degrees > -45.0f)
        return HeroHudAccess::kHitTop;
    return HeroHudAccess::kHitRight;
}

void HeroSetRumbleSink(HeroRumbleSink sink)
{
    gRumbleSink = sink;
}

void HeroRumble(int32_t effect, float a, float b)
{
    if (gRumbleSink)
    {
        gRumbleSink(effect, a, b);
        return;
    }
    if (HbInputManager* input = HbInputManager::Instance())
        input->SetControllerVibration2(kHbControllerPad1, effect, a, b);
}

int32_t HeroIsGodMode()
{
    GameProfile* profile = CurrentProfile();
    int32_t life = -1;
    return (profile && profile->godMode) || (gGodReader && gGodReader(&life)) ? 1 : 0;
}

void HeroSetGodReader(HeroGodReader reader)
{
    gGodReader = reader;
}

Hero* HeroGetCurrent()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    return world ? HbCastTo<Hero>(world->GetHero()) : nullptr;
}

void HeroInstall()
{
    if (TsActorTypeRegistry* registry = TsActorTypeRegistry::Instance())
        TsRegisterActorType<Hero>(registry, "Hero", kActorTypeHero);
    HeroSetInputHost(&gInputHost);
    HeroHudAccess::Install(&gHudReader);
}

void HeroRemove()
{
    HeroSetInputHost(nullptr);
    if (HeroHudAccess::Get() == &gHudReader)
        HeroHudAccess::Install(nullptr);
}
