// The hero's input tests.
#include "heroinput.h"

#include "boardcontroltheme_ingame.h"
#include "hbclock.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "movepathfollower.h"
#include "tsanimactor.h"
#include "tsweaponshoot.h"

namespace
{
/// An action found by name, found again when the bindings change.
struct CachedAction
{
    const char* name;
    HbInputAction* action = nullptr;
    uint32_t bindings = 0;
    bool looked = false;
};

CachedAction gShootClick{"SHOOT_CLICK"};
CachedAction gContextual{"CMD_CONTEXTUAL_ACTION"};
CachedAction gShootDown{"SHOOT_DOWN"};
CachedAction gLock{"LOCK"};
CachedAction gCrouch{"CROUCH"};
CachedAction gRoll{"ROLL"};
CachedAction gChangeWeapon{"CHANGE_WEAPON"};
CachedAction gNextWeapon{"NEXT_WEAPON"};
CachedAction gPreviousWeapon{"PREVIOUS_WEAPON"};
CachedAction gReload{"RELOAD"};
CachedAction gReloadMouse{"RELOAD_MOUSE"};
CachedAction gRun{"RUN"};
CachedAction gWeaponKeys[8] = {{"WEAPON_1"}, {"WEAPON_2"}, {"WEAPON_3"}, {"WEAPON_4"},
                               {"WEAPON_5"}, {"WEAPON_6"}, {"WEAPON_7"}, {"WEAPON_8"}};

CachedAction* const kAllActions[] = {&gShootClick,   &gContextual, &gShootDown,      &gLock,   &gCrouch,      &gRoll,
                                     &gChangeWeapon, &gNextWeapon, &gPreviousWeapon, &gReload, &gReloadMouse, &gRun};

constexpr int32_t kMouseKind = 2;
constexpr float kWheelDeadZone = 0.001f;
/// A stamp no frame has.
constexpr int64_t kNever = INT64_MIN;

int32_t gCrouched = 0;
int64_t gCrouchStamp = kNever;
int64_t gLockStamp = kNever;
std::string gPendingWeapon;

HeroInputHost gDefaultHost;
HeroInputHost* gHost = nullptr;

int64_t Now()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mGameTime : 0;
}

/// A missing action counts as not fired.
bool Triggered(CachedAction& cached)
{
    HbInputManager* input = HbInputManager::Instance();
    if (!input)
        return false;
    const uint32_t bindings = HbInputManager::BindingCounter();
    if (!cached.looked || cached.bindings != bindings)
    {
        cached.action = input->FindAction(cached.name);
        cached.bindings = bindings;
        cached.looked = true;
    }
    return cached.action && cached.action->IsTriggered();
}

float WheelValue()
{
    HbInputManager* input = HbInputManager::Instance();
    float value = 0.0f;
    if (!input || !input->GetControllerValue(kMouseKind, 0, &value))
        return 0.0f;
    return value;
}

bool PadPresent()
{
    HbInputManager* input = HbInputManager::Instance();
    return input && input->IsPadPresent();
}

TsActor* InHand(TsActor* hero)
{
    return hero ? HeroGetInputHost()->GetObjectInHand(hero) : nullptr;
}

TsWeapon* WeaponInHand(TsActor* hero)
{
    return HbCastTo<TsWeapon>(InHand(hero));
}

BoardControlTheme_InGame* Hud()
{
    return BoardControlTheme_InGame::Find();
}
} // namespace

// ---- The host ----------------------------------------------------------------------------------------

TsActor* HeroInputHost::GetObjectInHand(TsActor* hero)
{
    auto* animated = HbCastTo<TsAnimActor>(hero);
    return animated ? animated->GetWeapon() : nullptr;
}

int32_t HeroInputHost::HasWeaponList(TsActor* /*hero*/)
{
    return 0;
}

int32_t HeroInputHost::CanNeutralize(TsActor* /*hero*/)
{
    return 0;
}

int32_t HeroInputHost::PickNeutralizeTarget(TsActor* /*hero*/)
{
    return 0;
}

int32_t HeroInputHost::HasHeadroom(TsActor* hero)
{
    return MoveHeadroomClear(hero) ? 1 : 0;
}

int32_t HeroInputHost::CycleWeapon(TsActor* /*hero*/, int32_t /*direction*/, std::string* /*name*/)
{
    return 0;
}

int32_t HeroInputHost::WeaponForKey(TsActor* /*hero*/, int32_t /*index*/, std::string* /*name*/)
{
    return 0;
}

void HeroInputHost::DropObject(TsActor* /*hero*/, const char* /*name*/) {}

HeroInputHost* HeroGetInputHost()
{
    return gHost ? gHost : &gDefaultHost;
}

void HeroSetInputHost(HeroInputHost* host)
{
    gHost = host;
}

int32_t HeroGetHoldMode(TsActor* hero)
{
    auto* animated = HbCastTo<TsAnimActor>(hero);
    return animated ? animated->mWeaponKind : 0;
}

// ---- The tests -----------------------------------------------------------------------------------------

int32_t HeroInShootClick(TsActor* hero)
{
    TsWeapon* weapon = WeaponInHand(hero);
    if (!weapon || !Triggered(gShootClick))
        return 0;
    // A firearm never grabs an enemy from behind, so the search is skipped for it.
    if (HbCastTo<TsWeaponShoot>(weapon))
        return 1;
    return HeroGetInputHost()->CanNeutralize(hero) ? 0 : 1;
}

int32_t HeroInShootClickBareHold(TsActor* hero)
{
    return HeroInShootClick(hero) && HeroGetHoldMode(hero) == 0 ? 1 : 0;
}

int32_t HeroInRawShootClick()
{
    return Triggered(gShootClick) ? 1 : 0;
}

int32_t HeroInContextualAction(TsActor* hero)
{
    if (!hero || HeroGetHoldMode(hero) != 2 || !Triggered(gContextual) || !HeroGetInputHost()->HasWeaponList(hero))
        return 0;
    HeroGetInputHost()->DropObject(hero, "");
    return 1;
}

int32_t HeroInContactStrike(TsActor* hero)
{
    TsActor* held = InHand(hero);
    // Exactly a contact weapon: a firearm derives from it but does not strike this way.
    if (!HbCastTo<TsWeaponContact>(held) || HbCastTo<TsWeaponShoot>(held) || !Triggered(gShootDown))
        return 0;
    return HeroGetInputHost()->PickNeutralizeTarget(hero) ? 1 : 0;
}

int32_t HeroInShooting(TsActor* hero)
{
    return HbCastTo<TsWeaponShoot>(InHand(hero)) && Triggered(gShootDown) ? 1 : 0;
}

int32_t HeroInLockTest(TsActor* hero)
{
    if (!InHand(hero) || !Triggered(gLock))
        return 0;
    gLockStamp = Now();
    return 1;
}

int32_t HeroInLockReleased(TsActor* hero)
{
    if (!InHand(hero) || HeroGetHoldMode(hero) == 2 || Triggered(gLock))
        return 0;
    return gLockStamp != Now() ? 1 : 0;
}

int32_t HeroInLock(TsActor* hero)
{
    return gLockStamp == Now() || HeroInLockTest(hero) ? 1 : 0;
}

int32_t HeroInCrouchEnter(TsActor* /*hero*/)
{
    // Several states may ask in one frame: the press toggles once.
    if (gCrouched || gCrouchStamp == Now() || !Triggered(gCrouch))
        return 0;
    gCrouched = 1;
    gCrouchStamp = Now();
    return 1;
}

int32_t HeroInCrouchLeave(TsActor* hero)
{
    if (!gCrouched || gCrouchStamp == Now() || !Triggered(gCrouch) || !HeroGetInputHost()->HasHeadroom(hero))
        return 0;
    gCrouched = 0;
    gCrouchStamp = Now();
    return 1;
}

int32_t HeroInRoll(TsActor* hero)
{
    return hero && HeroGetHoldMode(hero) == 0 && Triggered(gRoll) ? 1 : 0;
}

int32_t HeroInNextWeapon()
{
    if (PadPresent())
        return Triggered(gNextWeapon) ? 1 : 0;
    return WheelValue() < -kWheelDeadZone || Triggered(gChangeWeapon) ? 1 : 0;
}

int32_t HeroInPreviousWeapon()
{
    if (PadPresent())
        return Triggered(gPreviousWeapon) ? 1 : 0;
    return WheelValue() > kWheelDeadZone ? 1 : 0;
}

int32_t HeroInReload(TsActor* hero)
{
    auto* gun = HbCastTo<TsWeaponShoot>(InHand(hero));
    if (!gun)
        return 0;
    const bool pressed = Triggered(gReload) || Triggered(gReloadMouse);
    if (!pressed || !(gun->mStock > 0 || gun->mStock == -1) || gun->mMagazine >= gun->mMagazineSize)
        return 0;
    if (BoardControlTheme_InGame* hud = Hud())
        hud->OnAmmoChanged();
    return 1;
}

int32_t HeroInWeaponSelect(TsActor* hero)
{
    if (!hero)
        return 0;
    HeroInputHost* host = HeroGetInputHost();
    bool cycling = false;
    if (PadPresent())
        cycling = Triggered(gNextWeapon) || Triggered(gPreviousWeapon);
    else
    {
        const float wheel = WheelValue();
        cycling = wheel < -kWheelDeadZone || wheel > kWheelDeadZone || Triggered(gChangeWeapon);
    }

    bool chosen = false;
    std::string name;
    if (cycling)
    {
        int32_t direction = 0;
        if (HeroInNextWeapon())
            direction = 1;
        else if (HeroInPreviousWeapon())
            direction = -1;
        chosen = direction != 0 && host->CycleWeapon(hero, direction, &name);
    }
    else
    {
        for (int32_t index = 0; index < 8 && !chosen; ++index)
        {
            if (!Triggered(gWeaponKeys[index]))
                continue;
            chosen = host->WeaponForKey(hero, index, &name) && !name.empty();
            break;
        }
    }
    if (!chosen)
        return 0;
    gPendingWeapon = name;

    int32_t result = 1;
    if (HeroGetHoldMode(hero) == 2)
    {
        host->DropObject(hero, gPendingWeapon.c_str());
        gPendingWeapon.clear();
        result = 0;
    }
    if (BoardControlTheme_InGame* hud = Hud())
        hud->HideAmmo();
    return result;
}

// ---- Kept values ----------------------------------------------------------------------------------------

int32_t HeroIsCrouched()
{
    return gCrouched;
}

void HeroSetCrouched(int32_t crouched)
{
    gCrouched = crouched ? 1 : 0;
}

void HeroSetPendingWeapon(const char* name)
{
    gPendingWeapon = name ? name : "";
}

std::string HeroGetPendingWeapon()
{
    return gPendingWeapon;
}

std::string HeroTakePendingWeapon()
{
    std::string name;
    name.swap(gPendingWeapon);
    return name;
}

void HeroInputReset()
{
    gCrouched = 0;
    gCrouchStamp = gLockStamp = kNever;
    gPendingWeapon.clear();
    for (CachedAction* cached : kAllActions)
        cached->looked = false;
    for (CachedAction& cached : gWeaponKeys)
        cached.looked = false;
}

int32_t HeroInRun()
{
    return Triggered(gRun) ? 1 : 0;
}
