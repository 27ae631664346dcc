// The material-effects plug-in's attach and extensions.
#include "matfx.h"

#include "clump.h"
#include "engine.h"
#include "material.h"
#include "world.h"

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
int32_t sMaterialOffset = -1;
int32_t sAtomicOffset = -1;
int32_t sSectorOffset = -1;

// No effect record can be made yet, so a material never owns one.
void* MaterialConstructor(void* object, int32_t offset, int32_t)
{
    reinterpret_cast<MatFxMaterialExtension*>(static_cast<char*>(object) + offset)->data = nullptr;
    return object;
}

// Constructor and destructor of the atomic and sector flags.
void* FlagInit(void* object, int32_t offset, int32_t)
{
    reinterpret_cast<MatFxObjectFlag*>(static_cast<char*>(object) + offset)->enabled = 0;
    return object;
}

void* FlagCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    *reinterpret_cast<MatFxObjectFlag*>(static_cast<char*>(destination) + offset) =
        *reinterpret_cast<const MatFxObjectFlag*>(static_cast<const char*>(source) + offset);
    return destination;
}
} // namespace

int32_t MatFx::Attach()
{
    if (Engine::RegisterPlugin(0, kPluginId, EngineOpen, EngineClose) < 0)
        return 0;
    if (Keep(&sMaterialOffset, Material::RegisterPlugin(int32_t(sizeof(MatFxMaterialExtension)), kPluginId,
                                                        MaterialConstructor, MaterialConstructor, nullptr)) < 0)
        return 0;
    if (Keep(&sAtomicOffset,
             Atomic::RegisterPlugin(int32_t(sizeof(MatFxObjectFlag)), kPluginId, FlagInit, FlagInit, FlagCopy)) < 0)
        return 0;
    int32_t offset = Keep(&sSectorOffset, WorldSector::RegisterPlugin(int32_t(sizeof(MatFxObjectFlag)), kPluginId,
                                                                      FlagInit, FlagInit, FlagCopy));
    return offset >= 0 ? 1 : 0;
}

void* MatFx::EngineOpen(void* engine, int32_t, int32_t)
{
    ++sOpenCount;
    return engine;
}

void* MatFx::EngineClose(void* engine, int32_t, int32_t)
{
    if (sOpenCount > 0)
        --sOpenCount;
    return engine;
}

int32_t MatFx::GetOpenCount()
{
    return sOpenCount;
}

int32_t MatFx::GetMaterialOffset()
{
    return sMaterialOffset;
}

int32_t MatFx::GetAtomicOffset()
{
    return sAtomicOffset;
}

int32_t MatFx::GetSectorOffset()
{
    return sSectorOffset;
}
