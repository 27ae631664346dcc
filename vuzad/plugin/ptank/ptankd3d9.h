// The particle tank's Direct3D 9 side: the engine open and close of the tank plug-in,
// which run when the device exists (Engine::Start and Engine::Stop).
#pragma once

#include <cstdint>

struct PTankD3D9
{
    /// The engine instance; counts the open in the tank's engine block.
    static void* Open(void* engine, int32_t offset, int32_t size);
    static void* Close(void* engine, int32_t offset, int32_t size);
};
