// The UV-animation plug-in's attach and material extension.
#include "uvanim.h"

#include "engine.h"
#include "material.h"

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

// No UV animation can be played yet, so a material never holds an interpolator or matrix.
void* MaterialConstructor(void* object, int32_t offset, int32_t)
{
    *reinterpret_cast<UVAnimMaterialExtension*>(static_cast<char*>(object) + offset) = UVAnimMaterialExtension{};
    return object;
}
} // namespace

int32_t UVAnim::Attach()
{
    if (Engine::RegisterPlugin(0, kPluginId, EngineOpen, EngineClose) < 0)
        return 0;
    int32_t offset =
        Keep(&sMaterialOffset, Material::RegisterPlugin(int32_t(sizeof(UVAnimMaterialExtension)), kPluginId,
                                                        MaterialConstructor, MaterialConstructor, nullptr));
    return offset >= 0 ? 1 : 0;
}

void* UVAnim::EngineOpen(void* engine, int32_t, int32_t)
{
    ++sOpenCount;
    return engine;
}

void* UVAnim::EngineClose(void* engine, int32_t, int32_t)
{
    if (sOpenCount > 0)
        --sOpenCount;
    return engine;
}

int32_t UVAnim::GetOpenCount()
{
    return sOpenCount;
}

int32_t UVAnim::GetMaterialOffset()
{
    return sMaterialOffset;
}
