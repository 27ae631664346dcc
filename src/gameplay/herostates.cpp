// The hero's state table, pools, registration of the script constants and shared rules.
#include "herostates.h"

#include "herostates_local.h"

#include "herostateregistry.h"
#include "scriptworldmanager.h"

#include <utility>

const HeroStateName kHeroStateNames[kHeroStateCount] = {
    {"HEROSTATE_DO_NOTHING", 0},
    {"HEROSTATE_NORMAL_WAIT", 1},
    {"HEROSTATE_NORMAL_MOVE", 2},
    {"HEROSTATE_SILENT_WAIT", 3},
    {"HEROSTATE_SILENT_MOVE", 4},
    {"HEROSTATE_NORMAL_WAIT_ROTATE", 5},
    {"HEROSTATE_SILENT_WAIT_ROTATE", 7},
    {"HEROSTATE_AIM_WAIT", 9},
    {"HEROSTATE_AIM_MOVE", 10},
    {"HEROSTATE_SILENT_AIM_WAIT", 11},
    {"HEROSTATE_SILENT_AIM_MOVE", 12},
    {"HEROSTATE_ROLL", 13},
    {"HEROSTATE_NEUTRALIZE", 14},
    {"HEROSTATE_DIE", 15},
    {"HEROSTATE_STRIKE_STAND", 48},
    {"HEROSTATE_STRIKE_CROUCH", 64},
    {"HEROSTATE_STOP", 80},
    {"HEROSTATE_QUICK_TURN", 96},
    {"HEROSTATE_INVENTORY_ENTER", 112},
    {"HEROSTATE_INVENTORY_QUIT", 128},
    {"HEROSTATE_RELOAD", 144},
    {"HEROSTATE_LADDER_MOVE_UP", 160},
    {"HEROSTATE_LADDER_MOVE_DOWN", 176},
    {"HEROSTATE_LADDER_UP_START", 192},
    {"HEROSTATE_LADDER_UP_END", 208},
    {"HEROSTATE_LADDER_DOWN_START", 224},
    {"HEROSTATE_LADDER_DOWN_END", 240},
    {"HEROSTATE_LADDER_STAND", 256},
    {"HEROSTATE_STRIKE_AIM", 512},
    {"HEROSTATE_STRIKE_AIM_CROUCH", 768},
    {"HEROSTATE_HIT", 1024},
};

const int32_t kHeroStateCreationOrder[kHeroStateCount] = {1,   2,   9,   10,  3,   4,   11,  12,  15,  13,  14,
                                                          0,   48,  64,  5,   7,   80,  96,  112, 128, 144, 224,
                                                          240, 192, 208, 176, 160, 256, 512, 768, 1024};

// ---- Pools ------------------------------------------------------------------------------------------

void* HeroStatePool::Allocate(size_t size)
{
    if (mInUse == 0 && size <= mSize)
    {
        mInUse = 1;
        return mSlot;
    }
    return HbOperatorNew(size);
}

void HeroStatePool::Free(void* pointer)
{
    if (!pointer)
        return;
    if (pointer == mSlot)
        mInUse = 0;
    else
        HbOperatorDelete(pointer);
}

namespace
{
// One registration callback per constant; the script host runs them when it builds "states".
template <size_t I> int RegisterConstant()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    if (world)
        world->AddStateConstant(kHeroStateNames[I].name, kHeroStateNames[I].code);
    return 1;
}

template <size_t... I> int RegisterAll(std::index_sequence<I...>)
{
    HeroStateRegistry* registry = HeroStateRegistry::Instance();
    if (!registry)
        return 0;
    (registry->AddRegistration(&RegisterConstant<I>), ...);
    return 1;
}

[[maybe_unused]] const int gRegistered = RegisterAll(std::make_index_sequence<kHeroStateCount>());

// The aim lock.
int32_t gLockState = 2;
int32_t gLockKind = 0;
} // namespace

HeroState* HeroStateCreate(int32_t code)
{
    if (HeroState* state = HeroMoveStatesCreate(code))
        return state;
    return HeroActionStatesCreate(code);
}

int32_t HeroStatePoolInUse(int32_t code)
{
    const int32_t moving = HeroMoveStatesInUse(code);
    if (moving >= 0)
        return moving;
    const int32_t action = HeroActionStatesInUse(code);
    return action >= 0 ? action : 0;
}

int32_t HeroStatesAddAll(HeroStateMachine* machine)
{
    if (!machine)
        return 0;
    int32_t added = 0;
    for (int32_t code : kHeroStateCreationOrder)
    {
        HeroState* state = HeroStateCreate(code);
        if (state && machine->AddState(state))
            ++added;
        else
            delete state;
    }
    return added;
}

// ---- Shared rules ------------------------------------------------------------------------------------

int32_t HeroStateRestCodeFor(const HeroRestInputs& in)
{
    if (in.crouched)
    {
        if (in.shootClick && !in.lock)
            return kHeroStrikeCrouch;
        if (in.moving)
            return in.lock ? kHeroSilentAimMove : kHeroSilentMove;
        return in.lock ? kHeroSilentAimWait : kHeroSilentWait;
    }
    if (in.shootClick && !in.lock)
        return kHeroStrikeStand;
    if (in.moving)
        return in.lock ? kHeroAimMove : kHeroNormalMove;
    return in.lock ? kHeroAimWait : kHeroNormalWait;
}

bool HeroCanChangeWeaponIn(int32_t sapState)
{
    return !((sapState >= 7 && sapState <= 10) || (sapState >= 22 && sapState <= 25));
}

namespace
{
/// The inputs as a query (tests and callers that gathered them already).
class RecordedInputs final : public HeroUpperBodyQuery
{
public:
    explicit RecordedInputs(const HeroUpperBodyInputs& in) : mIn(in) {}
    int32_t SapState() override { return mIn.sapState; }
    bool WeaponChange() override { return mIn.weaponChange; }
    bool ContextAction() override { return mIn.contextAction; }
    bool Reload() override { return mIn.reload; }
    bool Blocked() override { return mIn.blocked; }
    int32_t WallFlag() override { return mIn.wallFlag; }
    int32_t HoldMode() override { return mIn.holdMode; }
    bool ShootDown() override { return mIn.shootDown && mIn.shooting; }
    bool RawShootClick() override { return mIn.rawShootClick; }
    bool ShootClick() override { return mIn.shootClick; }
    int32_t Magazine() override { return mIn.magazine; }
    int32_t Spare() override { return mIn.spare; }
    bool Crouched() override { return mIn.crouched; }

private:
    const HeroUpperBodyInputs& mIn;
};
} // namespace

HeroUpperBodyChoice HeroWalkingUpperBody(HeroUpperBodyQuery& in, int32_t reloadAnim)
{
    if (HeroCanChangeWeaponIn(in.SapState()) && in.WeaponChange())
        return {HeroUpperBodyAction::SetState, kHeroInventoryQuit};
    if (in.Reload())
        return {HeroUpperBodyAction::ForceSap, reloadAnim};
    if (in.Blocked() && in.WallFlag() != 0)
        return {HeroUpperBodyAction::ForceSap, 28};
    return {HeroUpperBodyAction::ForceSap, 0};
}

HeroUpperBodyChoice HeroWalkingUpperBody(const HeroUpperBodyInputs& in, int32_t reloadAnim)
{
    RecordedInputs query(in);
    return HeroWalkingUpperBody(query, reloadAnim);
}

HeroUpperBodyChoice HeroAimingUpperBody(HeroUpperBodyQuery& in, int32_t shootAnim, int32_t reloadAnim)
{
    if (HeroCanChangeWeaponIn(in.SapState()) && !in.ContextAction() && in.WeaponChange())
        return {HeroUpperBodyAction::SetState, kHeroInventoryQuit};
    if (in.Reload())
    {
        switch (in.HoldMode())
        {
        case 0:
            return {HeroUpperBodyAction::ForceSap, reloadAnim};
        case 2:
            return {HeroUpperBodyAction::ReloadNow, 0};
        case 1:
        {
            const int32_t sap = in.SapState();
            if (sap >= 7 && sap <= 10)
                return {};
            return {HeroUpperBodyAction::SetState, kHeroReload};
        }
        default:
            return {};
        }
    }
    if (in.Blocked())
        return {HeroUpperBodyAction::ForceSap, 28};
    if (in.ShootDown())
    {
        if (in.Magazine() > 0)
            return {HeroUpperBodyAction::ForceSap, shootAnim};
        if (in.RawShootClick())
        {
            const int32_t spare = in.Spare();
            if (spare > 0 || spare == -1)
                return {HeroUpperBodyAction::QueueSapAndClick, reloadAnim};
            return {HeroUpperBodyAction::Click, 0};
        }
        return {};
    }
    if (in.ShootClick())
        return {HeroUpperBodyAction::SetState, in.Crouched() ? kHeroStrikeAimCrouch : kHeroStrikeAim};
    return {};
}

HeroUpperBodyChoice HeroAimingUpperBody(const HeroUpperBodyInputs& in, int32_t shootAnim, int32_t reloadAnim)
{
    RecordedInputs query(in);
    return HeroAimingUpperBody(query, shootAnim, reloadAnim);
}

int32_t HeroAimLockState()
{
    return gLockState;
}

int32_t HeroAimLockLastKind()
{
    return gLockKind;
}

int32_t HeroAimLockBeginWith(int32_t animKind, bool hasOffset)
{
    gLockKind = animKind;
    if ((gLockState == 0 || gLockState == 2) && hasOffset)
    {
        gLockState = 1;
        return 1;
    }
    return 0;
}

int32_t HeroAimLockEndState()
{
    if (gLockState != 1)
        return 0;
    gLockState = 2;
    return 1;
}

void HeroAimLockRelease()
{
    gLockState = 2;
}

HeroStep HeroStandingStepFor(int32_t event, bool mode2TimerOver, bool lock)
{
    if (event == 13)
        return HeroStep::Strike;
    if (event != 1 && event != 2)
        return HeroStep::None;
    return mode2TimerOver && !lock ? HeroStep::Run : HeroStep::Walk;
}
