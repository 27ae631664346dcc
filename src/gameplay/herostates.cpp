// The hero's state table, pools, registration of the script constants and shared rules.
#include "herostates.h"

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
constexpr int32_t kCodes[kHeroStateCount] = {0,  1,  2,   3,   4,   5,   7,   9,   10,  11,  12,  13,  14,  15,  48, 64,
                                              80, 96, 112, 128, 144, 160, 176, 192, 208, 224, 240, 256, 512, 768, 1024};

/// The class each code derives from: the walking, rotating and aiming states have their own.
template <int32_t Code> struct StateBase
{
    using Type = HeroGameState;
};
template <> struct StateBase<kHeroNormalWait> { using Type = HeroMoveState; };
template <> struct StateBase<kHeroNormalMove> { using Type = HeroMoveState; };
template <> struct StateBase<kHeroSilentWait> { using Type = HeroMoveState; };
template <> struct StateBase<kHeroSilentMove> { using Type = HeroMoveState; };
template <> struct StateBase<kHeroNormalWaitRotate> { using Type = HeroRotateState; };
template <> struct StateBase<kHeroSilentWaitRotate> { using Type = HeroRotateState; };
template <> struct StateBase<kHeroAimWait> { using Type = HeroAimState; };
template <> struct StateBase<kHeroAimMove> { using Type = HeroAimState; };
template <> struct StateBase<kHeroSilentAimWait> { using Type = HeroAimState; };
template <> struct StateBase<kHeroSilentAimMove> { using Type = HeroAimState; };

/// A state of one code: its own decisions come with the moving, action and ladder states;
/// until then it keeps itself and does the work its class shares. Each code has its own
/// class and its own pool.
template <int32_t Code> class PooledHeroState final : public StateBase<Code>::Type
{
public:
    PooledHeroState() : StateBase<Code>::Type(Code) {}
    int32_t Decide(TsActor* /*hero*/) override { return Code; }

    static void* operator new(size_t size) noexcept { return Pool().Allocate(size); }
    static void operator delete(void* pointer) noexcept { Pool().Free(pointer); }

    static HeroStatePool& Pool()
    {
        alignas(std::max_align_t) static unsigned char slot[sizeof(PooledHeroState)];
        static HeroStatePool pool(slot, sizeof(slot));
        return pool;
    }
};

template <size_t... I> HeroState* CreateByIndex(int32_t code, std::index_sequence<I...>)
{
    HeroState* made = nullptr;
    ((code == kCodes[I] ? (made = new PooledHeroState<kCodes[I]>(), 0) : 0), ...);
    return made;
}

template <size_t... I> int32_t InUseByIndex(int32_t code, std::index_sequence<I...>)
{
    int32_t inUse = 0;
    ((code == kCodes[I] ? (inUse = PooledHeroState<kCodes[I]>::Pool().GetInUse(), 0)
                                      : 0),
     ...);
    return inUse;
}

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
    return CreateByIndex(code, std::make_index_sequence<kHeroStateCount>());
}

int32_t HeroStatePoolInUse(int32_t code)
{
    return InUseByIndex(code, std::make_index_sequence<kHeroStateCount>());
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
