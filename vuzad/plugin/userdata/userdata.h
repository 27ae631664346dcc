// The user-data plug-in: its attach and the extension that lets seven kinds of engine object
// carry named arrays.
#pragma once

#include <cstdint>

struct UserDataArray;

/// The extension on geometries, world sectors, frames, cameras, lights, materials and
/// textures: the object's arrays.
struct UserDataExtension
{
    int32_t count;
    UserDataArray* arrays;
};

struct UserData
{
    static constexpr int32_t kPluginId = 287;

    /// Registers the engine plug-in (no block) and the extension on the seven object types,
    /// stopping at the first refusal; only between Engine::Init and Engine::Open. 1, or 0.
    static int32_t Attach();
    /// Extension constructor and destructor: no arrays.
    static void* Construct(void* object, int32_t offset, int32_t size);
    static void* Destruct(void* object, int32_t offset, int32_t size);
    /// Engine open and close only count opens.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    static int32_t GetOpenCount();
};
