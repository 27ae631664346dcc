// The renderer folder's access to the engine's render states through the device record.
#pragma once

#include "device.h"
#include "engine.h"

#include <cstdint>

/// Sets an engine render state; nothing while no engine is open.
inline void WSetRenderState(int32_t code, intptr_t value)
{
    Engine* engine = Engine::Current();
    if (engine && engine->device.setRenderState)
        engine->device.setRenderState(code, value);
}

/// The engine render state's value, 0 when it cannot be read.
inline intptr_t WGetRenderState(int32_t code)
{
    intptr_t value = 0;
    Engine* engine = Engine::Current();
    if (engine && engine->device.getRenderState)
        engine->device.getRenderState(code, &value);
    return value;
}
