// The particle tank's engine open and close on Direct3D 9. The device capabilities and the
// shared index buffer come with the tank's drawing; until then they only count opens.
#include "ptankd3d9.h"

#include "engine.h"
#include "ptank.h"

void* PTankD3D9::Open(void* engine, int32_t offset, int32_t)
{
    static_cast<PTankEngineBlock*>(Engine::Block(static_cast<Engine*>(engine), offset))->openCount++;
    return engine;
}

void* PTankD3D9::Close(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<PTankEngineBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    if (block->openCount > 0)
        block->openCount--;
    return engine;
}
