// The particle tank plug-in's attach and its atomic extension.
#include "ptank.h"

#include "clump.h"
#include "engine.h"
#include "ptankd3d9.h"

namespace
{
// A refused registration leaves the offset of an earlier one in place.
int32_t Keep(int32_t* slot, int32_t offset)
{
    if (offset >= 0)
        *slot = offset;
    return offset;
}

int32_t sEngineOffset = -1;
int32_t sAtomicOffset = -1;

void* ConstructAtomic(void* object, int32_t offset, int32_t)
{
    reinterpret_cast<PTankAtomicExtension*>(static_cast<char*>(object) + offset)->tank = nullptr;
    return object;
}

// No tank is ever built yet, so an atomic never owns one; the pointer is only cleared.
void* DestroyAtomic(void* object, int32_t offset, int32_t size)
{
    return ConstructAtomic(object, offset, size);
}
} // namespace

int32_t PTank::Attach()
{
    int32_t engineOffset = Keep(&sEngineOffset, Engine::RegisterPlugin(int32_t(sizeof(PTankEngineBlock)), kPluginId,
                                                                       PTankD3D9::Open, PTankD3D9::Close));
    int32_t atomicOffset = Keep(&sAtomicOffset, Atomic::RegisterPlugin(int32_t(sizeof(PTankAtomicExtension)), kPluginId,
                                                                       ConstructAtomic, DestroyAtomic, nullptr));
    return engineOffset >= 0 && atomicOffset >= 0 ? 1 : 0;
}

int32_t PTank::GetEngineOffset()
{
    return sEngineOffset;
}

int32_t PTank::GetAtomicOffset()
{
    return sAtomicOffset;
}

PTankAtomicExtension* PTank::GetAtomicExtension(Atomic* atomic)
{
    return reinterpret_cast<PTankAtomicExtension*>(reinterpret_cast<char*>(atomic) + sAtomicOffset);
}
