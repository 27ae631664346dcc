// Lights: creation from the light free list, colour and cone, the light stream reader and
// the light module.
#include "light.h"

#include "clump.h"
#include "engine.h"
#include "frame.h"
#include "freelist.h"
#include "memory.h"
#include "world_local.h"

#include <cmath>
#include <cstring>

namespace
{

struct LightModuleBlock
{
    FreeList* lights;
};

constexpr uint32_t kLightChunk = 18;
constexpr int32_t kLightsPerBlock = 32;
constexpr uint32_t kModuleHint = kMemoryHintEngine | 0x12;
constexpr uint32_t kObjectHint = kMemoryHintObject | 0x12;
constexpr uint32_t kLightStructSize = 24;

PluginRegistry sRegistry = PluginRegistry::Initial(int32_t(sizeof(Light)));
FreeList sLightList;
LightModuleBlock* sBlock = nullptr;

FrameObject* DefaultSync(FrameObject* object)
{
    return object;
}

bool SameRgb(float r, float g, float b)
{
    return r == g && g == b;
}

// The clump module closes after this one: the light leaves its clump's and world's lists
// first, so nothing is left pointing at it.
void DestroyRemaining(void* entry, void*)
{
    auto* light = static_cast<Light*>(entry);
    if (Light::GetPluginOffset(kClumpExtensionPluginId) >= 0)
    {
        ListLink::Unlink(Clump::LightLink(light));
        *Clump::LightClump(light) = nullptr;
    }
    ListLink::Unlink(&light->worldLink);
    Light::Destroy(light);
}

} // namespace

Light* Light::Create(int32_t type)
{
    if (!sBlock)
        return nullptr;
    Engine* engine = Engine::Current();
    auto* light = static_cast<Light*>(engine->freeListFunctions.take(sBlock->lights, kObjectHint));
    if (!light)
        return nullptr;
    std::memset(static_cast<void*>(light), 0, sizeof(Light));
    FrameObject::Init(&light->object, kObjectType, DefaultSync);
    light->object.subType = uint8_t(type);
    light->object.flags = kLightLightsAtomics | kLightLightsWorld;
    light->object.privateFlags = kLightGreyscale;
    light->colour = {1.0f, 1.0f, 1.0f, 1.0f};
    ListLink::Init(&light->sectorTies);
    ListLink::Init(&light->worldLink);
    light->lightStamp = engine->lightFrame - 1;
    if (!PluginRegistry::InitObject(&sRegistry, light))
    {
        engine->freeListFunctions.giveBack(sBlock->lights, light);
        return nullptr;
    }
    return light;
}

int32_t Light::Destroy(Light* light)
{
    PluginRegistry::DeinitObject(&sRegistry, light);
    if (light->object.frame)
        FrameObject::RemoveFromFrame(&light->object);
    Engine::Current()->freeListFunctions.giveBack(sBlock->lights, light);
    return 1;
}

Light* Light::SetRadius(Light* light, float radius)
{
    light->radius = radius;
    MarkFrameDirty(light->object.frame);
    return light;
}

Light* Light::SetColor(Light* light, const LightColour* colour)
{
    light->colour = *colour;
    light->object.privateFlags = SameRgb(colour->red, colour->green, colour->blue) ? kLightGreyscale : 0;
    return light;
}

Light* Light::SetFrame(Light* light, Frame* frame)
{
    FrameObject::SetFrame(&light->object, frame);
    return light;
}

float Light::GetConeAngle(const Light* light)
{
    // acosf follows the same single-precision rational approximation; the ends are pinned
    // so that out-of-range cosines still answer an angle.
    float c = -light->minusCosAngle;
    if (c >= 1.0f)
        return 0.0f;
    if (c <= -1.0f)
        return float(M_PI);
    return std::acos(c);
}

Light* Light::FromWorldLink(ListLink* link)
{
    return reinterpret_cast<Light*>(reinterpret_cast<char*>(link) - offsetof(Light, worldLink));
}

World* Light::GetWorld(const Light* light)
{
    ObjectWorldData* data = LightWorld(light);
    return data ? data->world : nullptr;
}

// ---- Stream --------------------------------------------------------------------------------------

Light* Light::StreamRead(Stream* stream)
{
    uint32_t size = 0, version = 0;
    if (!FindStructChunk(stream, &size, &version))
        return nullptr;
    uint8_t record[kLightStructSize] = {};
    uint32_t take = size < kLightStructSize ? size : kLightStructSize;
    if (!Stream::ReadWords(stream, record, take))
        return nullptr;
    // A longer struct than ours: keep in step with what follows.
    if (size > take && !Stream::Skip(stream, size - take))
        return nullptr;
    float values[5];
    for (int i = 0; i < 5; ++i)
        std::memcpy(&values[i], record + 4 * i, 4);
    uint16_t flags = uint16_t(record[20] | record[21] << 8);
    uint16_t type = uint16_t(record[22] | record[23] << 8);
    Light* light = Create(type);
    if (!light)
        return nullptr;
    light->radius = values[0];
    light->colour = {values[1], values[2], values[3], 1.0f};
    light->minusCosAngle = values[4];
    light->object.privateFlags = SameRgb(values[1], values[2], values[3]) ? kLightGreyscale : 0;
    light->object.flags = uint8_t(flags);
    if (!PluginRegistry::ReadExtensionChunk(&sRegistry, stream, light))
    {
        Destroy(light);
        return nullptr;
    }
    return light;
}

// ---- Plug-ins -------------------------------------------------------------------------------------

int32_t Light::RegisterPlugin(int32_t size, int32_t pluginId, PluginConstructor constructor,
                              PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistry::Register(&sRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t Light::RegisterPluginStream(int32_t pluginId, PluginStreamRead read, PluginStreamWrite write,
                                    PluginStreamSize size)
{
    return PluginRegistry::SetStreamCallbacks(&sRegistry, pluginId, read, write, size);
}

int32_t Light::GetPluginOffset(int32_t pluginId)
{
    return PluginRegistry::GetPluginOffset(&sRegistry, pluginId);
}

PluginRegistry* Light::Registry()
{
    return &sRegistry;
}

// ---- Module ----------------------------------------------------------------------------------------

void* Light::OpenModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<LightModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    block->lights = FreeList::CreateInStorage(sRegistry.size, kLightsPerBlock, 0, 1, &sLightList, kModuleHint);
    if (!block->lights)
        return nullptr;
    sBlock = block;
    return engine;
}

void* Light::CloseModule(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<LightModuleBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    if (block->lights)
    {
        FreeList::ForAllUsed(block->lights, DestroyRemaining, nullptr);
        FreeList::Destroy(block->lights);
    }
    block->lights = nullptr;
    sBlock = nullptr;
    return engine;
}
