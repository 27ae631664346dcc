// The UV-animation plug-in's attach and material extension.
#include "uvanim.h"

#include "engine.h"
#include "material.h"

namespace
{
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
    sMaterialOffset = Material::RegisterPlugin(int32_t(sizeof(UVAnimMaterialExtension)), kPluginId, MaterialConstructor,
                                               MaterialConstructor, nullptr);
    return sMaterialOffset >= 0 ? 1 : 0;
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
