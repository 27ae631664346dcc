// The slots and the sound and effect tables.
#include "scenarioslots.h"

#include "hbptr.h"
#include "kfxmanagerimp.h"

#include <vector>

HB_DEFINE_CLASS_DESC(T3DSoundData, HbRoot);

namespace
{
struct Slot
{
    HbHandlePtr object;
    Vector position = {0, 0, 0};
    Vector direction = {0, 1, 0};
};

Slot& SlotAt(int32_t index)
{
    static Slot* slots = new Slot[ScenarioActorSlots::kCount];
    return slots[index];
}

T3DSoundData* sSounds[kScenarioSoundTableSize] = {};
KFX* sEffects[kScenarioEffectTableSize] = {};

std::vector<HbRoot*>& Kept()
{
    static auto* kept = new std::vector<HbRoot*>();
    return *kept;
}

void ReleaseKept()
{
    std::vector<HbRoot*> kept;
    kept.swap(Kept());
    for (HbRoot* object : kept)
        object->Release();
}

void Clear(Slot& slot)
{
    slot.object.Reset();
    slot.position = {0, 0, 0};
    slot.direction = {0, 1, 0};
}

/// The slot when its handle is live; a dead one is cleared and null answered.
Slot* Live(int32_t index)
{
    if (!ScenarioActorSlots::IsIndex(index))
        return nullptr;
    Slot& slot = SlotAt(index);
    if (slot.object.IsValid())
        return &slot;
    Clear(slot);
    return nullptr;
}

template <typename T, size_t N> void ReleaseTable(T* (&table)[N])
{
    for (T*& entry : table)
        if (entry)
        {
            T* object = entry;
            entry = nullptr;
            object->Release();
        }
}
} // namespace

void ScenarioActorSlots::Set(int32_t index, HbRoot* object)
{
    if (!IsIndex(index) || Live(index))
        return;
    SlotAt(index).object.Assign(object);
}

HbRoot* ScenarioActorSlots::Get(int32_t index)
{
    Slot* slot = Live(index);
    return slot ? slot->object.GetObject() : nullptr;
}

void ScenarioActorSlots::SetPosition(int32_t index, const Vector& position)
{
    if (Slot* slot = Live(index))
        slot->position = position;
}

void ScenarioActorSlots::SetDirection(int32_t index, const Vector& direction)
{
    if (Slot* slot = Live(index))
        slot->direction = direction;
}

const Vector* ScenarioActorSlots::GetPosition(int32_t index)
{
    Slot* slot = Live(index);
    return slot ? &slot->position : nullptr;
}

const Vector* ScenarioActorSlots::GetDirection(int32_t index)
{
    Slot* slot = Live(index);
    return slot ? &slot->direction : nullptr;
}

void ScenarioActorSlots::Reset()
{
    for (int32_t i = 0; i < kCount; ++i)
        Clear(SlotAt(i));
}

int32_t ScenarioSoundTableAdd(int32_t index, T3DSoundData* sound)
{
    if (index < 0 || index >= kScenarioSoundTableSize || !sound || sSounds[index])
        return 0;
    sound->AddRef();
    sSounds[index] = sound;
    ScenarioActorSlots::Set(index, sound);
    return 1;
}

int32_t ScenarioEffectTableAdd(int32_t index, KFX* effect)
{
    if (index < 0 || index >= kScenarioEffectTableSize || !effect || sEffects[index])
        return 0;
    effect->AddRef();
    sEffects[index] = effect;
    ScenarioActorSlots::Set(index, effect);
    return 1;
}

T3DSoundData* ScenarioSoundTableGet(int32_t index)
{
    return index >= 0 && index < kScenarioSoundTableSize ? sSounds[index] : nullptr;
}

KFX* ScenarioEffectTableGet(int32_t index)
{
    return index >= 0 && index < kScenarioEffectTableSize ? sEffects[index] : nullptr;
}

int32_t ScenarioEffectTableForEach(ScenarioEffectFn fn, void* data)
{
    for (int32_t i = 0; i < kScenarioEffectTableSize; ++i)
        if (sEffects[i] && !fn(sEffects[i], i, data))
            return 0;
    return 1;
}

void ScenarioKeepForLevel(HbRoot* object)
{
    if (!object)
        return;
    object->AddRef();
    Kept().push_back(object);
}

void ScenarioLookupsReset()
{
    ScenarioTablesRelease();
}

void ScenarioTablesRelease()
{
    ScenarioActorSlots::Reset();
    ReleaseTable(sSounds);
    ReleaseTable(sEffects);
    ReleaseKept();
}
