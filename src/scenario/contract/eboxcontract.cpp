// The event-box entry points: actor bit records, the per-actor box test and the handlers.
#include "eboxcontract.h"

#include "hbinputaction.h"
#include "hbinputmanager.h"

#include <cstring>

namespace
{
EBoxFilter gContextualFilter = nullptr;
HbInputAction* gContextualAction = nullptr;
uint32_t gContextualBindings = 0;
bool gContextualLooked = false;

/// "CMD_CONTEXTUAL_ACTION" triggered this frame; the action is looked up again whenever the
/// input bindings change.
bool ContextualTriggered()
{
    HbInputManager* input = HbInputManager::Instance();
    if (!input)
        return false;
    const uint32_t bindings = HbInputManager::BindingCounter();
    if (!gContextualLooked || !gContextualAction || bindings != gContextualBindings)
    {
        gContextualAction = input->FindAction("CMD_CONTEXTUAL_ACTION");
        gContextualBindings = bindings;
        gContextualLooked = true;
    }
    return gContextualAction && gContextualAction->IsTriggered();
}

/// The enabled box of the set, or null.
EventBox* EnabledBox(int32_t index, HbRoot* set, YoEBox** boxes)
{
    *boxes = HbCastTo<YoEBox>(set);
    EventBox* box = *boxes ? (*boxes)->GetBox(index) : nullptr;
    return box && box->enabled ? box : nullptr;
}

/// Calls the handler for every set bit of the word, lowest first.
void ForEachBit(uint32_t word, int32_t base, EBoxHandler handler, HbRoot* set, TsActor* actor)
{
    for (int32_t bit = 0; word && bit < 32; ++bit, word >>= 1)
    {
        if (word & 1u)
            handler(base + bit, set, actor);
    }
}
} // namespace

EBoxActorBits* EBoxActorBitsNew()
{
    auto* bits = static_cast<EBoxActorBits*>(EBoxAlloc(sizeof(EBoxActorBits)));
    if (bits)
        *bits = EBoxActorBits{-1, nullptr, nullptr, 0};
    return bits;
}

void EBoxActorBitsFree(EBoxActorBits* bits)
{
    if (!bits)
        return;
    EBoxFree(bits->now);
    EBoxFree(bits->before);
    EBoxFree(bits);
}

void EBoxSetContextualFilter(EBoxFilter filter)
{
    gContextualFilter = filter;
}

EBoxFilter EBoxGetContextualFilter()
{
    return gContextualFilter;
}

void EBoxTestActor(int32_t index, const float position[3], EBoxActorBits* bits, EBoxHandler inside, EBoxHandler enter,
                   EBoxHandler leave, HbRoot* set, TsActor* actor)
{
    auto* boxes = HbCastTo<YoEBox>(set);
    const EBoxSpatialIndex* tree = boxes ? boxes->GetIndex() : nullptr;
    if (!bits || !position || !tree || tree->id != index || !inside || !enter || !leave)
        return;
    const int32_t words = tree->words;
    if (bits->stamp != index)
    {
        auto* now = static_cast<uint32_t*>(EBoxAlloc(sizeof(uint32_t) * size_t(words)));
        auto* before = static_cast<uint32_t*>(EBoxAlloc(sizeof(uint32_t) * size_t(words)));
        if (!now || !before)
        {
            // Keep the old stamp: the next test tries again.
            EBoxFree(now);
            EBoxFree(before);
            return;
        }
        EBoxFree(bits->now);
        EBoxFree(bits->before);
        *bits = EBoxActorBits{index, now, before, words};
    }

    const uint32_t* axes[3];
    for (int32_t a = 0; a < 3; ++a)
        axes[a] = tree->Bits(a, tree->FindInterval(a, position[a]));
    uint32_t any = 0;
    for (int32_t w = 0; w < words; ++w)
    {
        bits->now[w] = axes[0][w] & axes[1][w] & axes[2][w];
        any |= bits->now[w] | bits->before[w];
    }
    if (!any)
        return;

    // The handlers may run scripts: a free of the set waits until the test is over.
    boxes->BeginUse();
    for (int32_t w = 0; w < words; ++w)
    {
        const uint32_t before = bits->before[w];
        const uint32_t now = bits->now[w];
        bits->before[w] = now;
        const uint32_t changed = before ^ now;
        ForEachBit(before & now, 32 * w, inside, set, actor);
        uint32_t entered = now & changed;
        for (int32_t bit = 0; entered && bit < 32; ++bit, entered >>= 1)
        {
            if (!(entered & 1u))
                continue;
            enter(32 * w + bit, set, actor);
            inside(32 * w + bit, set, actor);
        }
        ForEachBit(before & changed, 32 * w, leave, set, actor);
    }
    boxes->EndUse();
}

int32_t EBoxOnInside(int32_t index, HbRoot* set, TsActor* actor)
{
    YoEBox* boxes = nullptr;
    EventBox* box = EnabledBox(index, set, &boxes);
    if (!box)
        return 0;
    const int32_t kind = EBoxModeKind(box->mode);
    if (kind == kEBoxWhileInside)
        boxes->RunBox(box, actor);
    else if (kind == kEBoxContextual && ContextualTriggered() && gContextualFilter && gContextualFilter(actor))
        boxes->RunBox(box, actor);
    return 0;
}

int32_t EBoxOnEnter(int32_t index, HbRoot* set, TsActor* actor)
{
    YoEBox* boxes = nullptr;
    EventBox* box = EnabledBox(index, set, &boxes);
    if (box && EBoxModeKind(box->mode) == kEBoxOnEnter)
        boxes->RunBox(box, actor);
    return 0;
}

int32_t EBoxOnLeave(int32_t index, HbRoot* set, TsActor* actor)
{
    YoEBox* boxes = nullptr;
    EventBox* box = EnabledBox(index, set, &boxes);
    if (box && EBoxModeKind(box->mode) == kEBoxOnLeave)
        boxes->RunBox(box, actor);
    return 0;
}
