// The shared effect context and the one-shot plays at it, over the installed manager.
#include "fxcontext.h"
#include "kfxmanager.h"

#include <cstring>

namespace
{
FxContext gShared;
} // namespace

bool FxContextHandleLive(const HbHandlePtr& handle)
{
    HbHandlesManager* table = handle.GetHandle() ? HbHandlesManager::Instance() : nullptr;
    return table && table->Get(handle.GetHandle());
}

FxContext* FxContextGet()
{
    return &gShared;
}

int32_t FxPlayOneShot(int32_t id, const FxContext* context)
{
    // Ids come from game data and scripts: one outside the table must not reach a slot.
    if (id < 0 || id >= kFxContextNoEffect || !KfxManager::GetBackend())
        return 0;
    KfxManager::PlayOneShot(id, context ? context : &gShared);
    return 1;
}

int32_t PlayFxAt(int32_t id, const float* position, const float* direction)
{
    gShared.Reset();
    if (position)
        std::memcpy(gShared.position, position, sizeof gShared.position);
    if (direction)
        std::memcpy(gShared.direction, direction, sizeof gShared.direction);
    return FxPlayOneShot(id, &gShared);
}
