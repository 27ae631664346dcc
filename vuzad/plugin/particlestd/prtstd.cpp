// The standard particle plug-in's attach, its engine open and close and its atomic
// extension.
#include "prtstd.h"

#include "clump.h"
#include "engine.h"

namespace
{
// A refused registration leaves the offset of an earlier one in place.
int32_t Keep(int32_t* slot, int32_t offset)
{
    if (offset >= 0)
        *slot = offset;
    return offset;
}

int32_t sAtomicOffset = -1;
int32_t sOpenCount = 0;

void* ConstructAtomic(void* object, int32_t offset, int32_t)
{
    reinterpret_cast<PrtStdAtomicExtension*>(static_cast<char*>(object) + offset)->emitters = nullptr;
    return object;
}

// No emitter can be made yet, so there is none to destroy or clone.
void* DestroyAtomic(void* object, int32_t offset, int32_t size)
{
    return ConstructAtomic(object, offset, size);
}
} // namespace

int32_t PrtStdAttach()
{
    if (Engine::RegisterPlugin(0, PrtStd::kPluginId, PrtStd::EngineOpen, PrtStdClose) < 0)
        return 0;
    int32_t offset =
        Keep(&sAtomicOffset, Atomic::RegisterPlugin(int32_t(sizeof(PrtStdAtomicExtension)), PrtStd::kPluginId,
                                                    ConstructAtomic, DestroyAtomic, nullptr));
    return offset >= 0 ? 1 : 0;
}

void* PrtStdClose(void* engine, int32_t offset, int32_t size)
{
    return PrtStd::EngineClose(engine, offset, size);
}

void* PrtStd::EngineOpen(void* engine, int32_t, int32_t)
{
    ++sOpenCount;
    return engine;
}

void* PrtStd::EngineClose(void* engine, int32_t, int32_t)
{
    if (sOpenCount > 0)
        --sOpenCount;
    return engine;
}

int32_t PrtStd::GetOpenCount()
{
    return sOpenCount;
}

int32_t PrtStd::GetAtomicOffset()
{
    return sAtomicOffset;
}

PrtStdAtomicExtension* PrtStd::GetAtomicExtension(Atomic* atomic)
{
    return reinterpret_cast<PrtStdAtomicExtension*>(reinterpret_cast<char*>(atomic) + sAtomicOffset);
}
