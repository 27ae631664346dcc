// Event-box selection, bit records and the per-frame box test.
#include "tseventboxes.h"

#include "eboxcontract.h"
#include "hbclock.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsheroactor.h"
#include "w3dnode.h"

namespace
{
uint32_t gWanted = HeroEnemyFamily;
uint32_t gExcluded = 0;

/// What each actor of the walk is tested with.
struct BoxTest
{
    int32_t index;
    EBoxHandler inside;
    EBoxHandler enter;
    EBoxHandler leave;
    HbRoot* set;
};

int32_t AcceptsHero(TsActor* actor)
{
    return HbCastTo<TsHeroActor>(actor) ? 1 : 0;
}

int32_t GiveBits(TsActor* actor, void*, void*)
{
    if (!actor->mEBoxBits)
        actor->mEBoxBits = EBoxActorBitsNew();
    return actor->mEBoxBits ? 1 : 0;
}

int32_t TestActor(TsActor* actor, void* data, void*)
{
    W3dNode* node = actor->GetNode();
    if (!actor->mEBoxBits || !actor->mMustBeUpdated || !node)
        return 1;
    const auto* test = static_cast<BoxTest*>(data);
    const Vector* at = node->GetWorldPosition();
    const float position[3] = {at->x, at->y, at->z};
    EBoxTestActor(test->index, position, actor->mEBoxBits, test->inside, test->enter, test->leave, test->set, actor);
    return 1;
}

void LoadHook(HbRoot* set, uint32_t wanted, uint32_t excluded)
{
    // A set handed out again while a free of it waits for the end of a frame stays whole.
    if (auto* boxes = HbCastTo<YoEBox>(set))
        boxes->CancelPendingFree();
    TsEventBoxesLoad(wanted, excluded);
}

void FreeIndexHook(HbRoot* set)
{
    if (auto* boxes = HbCastTo<YoEBox>(set))
        boxes->FreeIndex();
}

void UpdateHook(HbRoot* set)
{
    TsEventBoxesUpdate(set);
}
} // namespace

int32_t TsEventBoxesLoad(uint32_t wanted, uint32_t excluded)
{
    gWanted = wanted;
    gExcluded = excluded;
    EBoxSetContextualFilter(AcceptsHero);
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    return world ? world->ForEachActorWithFlags(GiveBits, nullptr, nullptr, wanted, excluded) : 1;
}

int32_t TsEventBoxesUpdate(HbRoot* set)
{
    if (!set)
        return 0;
    auto* boxes = HbCastTo<YoEBox>(set);
    if (!boxes)
        return 0;
    // Held for the frame's work: an action that loads another set or ends the level lets go
    // of this one, which then goes when the work is over.
    boxes->AddRef();
    boxes->BeginUse();
    boxes->RunDue(HbGameClock::Instance()->mGameTime);
    BoxTest test = {boxes->GetIndexId(), EBoxOnInside, EBoxOnEnter, EBoxOnLeave, set};
    if (ScriptWorldManager* world = ScriptWorldManager::Instance())
        world->ForEachActorWithFlags(TestActor, &test, nullptr, gWanted, gExcluded);
    boxes->EndUse();
    boxes->Release();
    return 1;
}

uint32_t TsEventBoxesWanted()
{
    return gWanted;
}

uint32_t TsEventBoxesExcluded()
{
    return gExcluded;
}

void TsEventBoxesInstall(ScriptWorldManager* world)
{
    if (!world)
        return;
    world->Hooks().eventBoxesLoad = LoadHook;
    world->Hooks().eventBoxesUpdate = UpdateHook;
    world->Hooks().eventBoxesFreeIndex = FreeIndexHook;
}
