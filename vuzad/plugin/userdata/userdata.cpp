// The user-data plug-in's attach and its extension on seven object types.
#include "userdata.h"

#include "camera.h"
#include "engine.h"
#include "frame.h"
#include "geometry.h"
#include "light.h"
#include "material.h"
#include "plugin.h"
#include "texture.h"
#include "world.h"

namespace
{
int32_t sOpenCount = 0;

using RegisterFunction = int32_t (*)(int32_t size, int32_t pluginId, PluginConstructor constructor,
                                     PluginDestructor destructor, PluginCopy copy);

// In the order the plug-in registers them.
constexpr RegisterFunction kRegistrations[] = {
    Geometry::RegisterPlugin, WorldSector::RegisterPlugin, Frame::RegisterPlugin,   Camera::RegisterPlugin,
    Light::RegisterPlugin,    Material::RegisterPlugin,    Texture::RegisterPlugin,
};
} // namespace

int32_t UserData::Attach()
{
    if (Engine::RegisterPlugin(0, kPluginId, EngineOpen, EngineClose) < 0)
        return 0;
    for (RegisterFunction registration : kRegistrations)
        if (registration(int32_t(sizeof(UserDataExtension)), kPluginId, Construct, Destruct, nullptr) < 0)
            return 0;
    return 1;
}

void* UserData::Construct(void* object, int32_t offset, int32_t)
{
    *reinterpret_cast<UserDataExtension*>(static_cast<char*>(object) + offset) = UserDataExtension{0, nullptr};
    return object;
}

// Arrays come only from the plug-in's stream data, which is not read yet, so an object never
// holds any.
void* UserData::Destruct(void* object, int32_t offset, int32_t size)
{
    return Construct(object, offset, size);
}

void* UserData::EngineOpen(void* engine, int32_t, int32_t)
{
    ++sOpenCount;
    return engine;
}

void* UserData::EngineClose(void* engine, int32_t, int32_t)
{
    if (sOpenCount > 0)
        --sOpenCount;
    return engine;
}

int32_t UserData::GetOpenCount()
{
    return sOpenCount;
}
