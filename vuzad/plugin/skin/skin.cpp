// The skin plug-in's attach and extensions.
#include "skin.h"

#include "clump.h"
#include "engine.h"
#include "geometry.h"

namespace
{
// A refused registration leaves the offset of an earlier one in place.
int32_t Keep(int32_t* slot, int32_t offset)
{
    if (offset >= 0)
        *slot = offset;
    return offset;
}

int32_t sOpenCount = 0;
int32_t sAtomicOffset = -1;
int32_t sGeometryOffset = -1;

void* AtomicExtInit(void* object, int32_t offset, int32_t)
{
    reinterpret_cast<SkinAtomicExtension*>(static_cast<char*>(object) + offset)->hierarchy = nullptr;
    return object;
}

// A clone is driven by the same hierarchy.
void* AtomicExtCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    *reinterpret_cast<SkinAtomicExtension*>(static_cast<char*>(destination) + offset) =
        *reinterpret_cast<const SkinAtomicExtension*>(static_cast<const char*>(source) + offset);
    return destination;
}

// No skin can be read or made yet, so a geometry never owns one.
void* GeometryExtInit(void* object, int32_t offset, int32_t)
{
    reinterpret_cast<SkinGeometryExtension*>(static_cast<char*>(object) + offset)->skin = nullptr;
    return object;
}
} // namespace

int32_t Skin::Attach()
{
    // Every registration is checked: a refused one must fail the engine's start-up.
    if (Engine::RegisterPlugin(0, kPluginId, SkinPlugin::EngineOpen, SkinPlugin::EngineClose) < 0)
        return 0;
    if (Keep(&sAtomicOffset, Atomic::RegisterPlugin(int32_t(sizeof(SkinAtomicExtension)), kPluginId, AtomicExtInit,
                                                    AtomicExtInit, AtomicExtCopy)) < 0)
        return 0;
    int32_t offset = Keep(&sGeometryOffset, Geometry::RegisterPlugin(int32_t(sizeof(SkinGeometryExtension)), kPluginId,
                                                                     GeometryExtInit, GeometryExtInit, nullptr));
    return offset >= 0 ? 1 : 0;
}

void* SkinPlugin::EngineOpen(void* engine, int32_t, int32_t)
{
    ++sOpenCount;
    return engine;
}

void* SkinPlugin::EngineClose(void* engine, int32_t, int32_t)
{
    if (sOpenCount > 0)
        --sOpenCount;
    return engine;
}

int32_t SkinPlugin::GetOpenCount()
{
    return sOpenCount;
}

int32_t Skin::GetAtomicOffset()
{
    return sAtomicOffset;
}

int32_t Skin::GetGeometryOffset()
{
    return sGeometryOffset;
}
