// The standard particle plug-in's attach and close, its module state (hooks, scratch
// buffers, class ids, offset caches) and the atomic extension.
#include "prtstd.h"

#include "clump.h"
#include "engine.h"
#include "memory.h"
#include "prtstd_local.h"
#include "prtstdclass.h"
#include "prtstdemitter.h"
#include "prtstdproperty.h"

namespace
{
// A refused registration leaves the offset of an earlier one in place.
int32_t Keep(int32_t* slot, int32_t offset)
{
    if (offset >= 0)
        *slot = offset;
    return offset;
}

struct Module
{
    int32_t atomicOffset = -1;
    int32_t openCount = 0;
    void* scratch[2] = {nullptr, nullptr};
    size_t scratchSize[2] = {0, 0};
    uint32_t lastClassId = 0;
    PrtStdEmitterClassHook loadedEmitterClass = nullptr;
    PrtStdParticleClassHook loadedParticleClass = nullptr;
    PrtStdTableHook tableLoaded = nullptr;
    PrtStdTableHook tableDestroyed = nullptr;
    int32_t writeClasses = 1;
    PrtStdOffsetCache offsets{};
};
Module sModule;

void ClearEmitterOffsets()
{
    sModule.offsets.emitterTable = nullptr;
    for (int32_t& o : sModule.offsets.emitterOffsets)
        o = -1;
}

void ClearParticleOffsets()
{
    sModule.offsets.particleTable = nullptr;
    for (int32_t i = 0; i < 8; ++i)
        sModule.offsets.particleOffsets[i] = sModule.offsets.particleIndices[i] = -1;
}

void* ConstructAtomic(void* object, int32_t offset, int32_t)
{
    reinterpret_cast<PrtStdAtomicExtension*>(static_cast<char*>(object) + offset)->emitters = nullptr;
    return object;
}

// Destroys every emitter of the ring, from the first added.
void* DestroyAtomic(void* object, int32_t offset, int32_t)
{
    auto* extension = reinterpret_cast<PrtStdAtomicExtension*>(static_cast<char*>(object) + offset);
    PrtStdEmitter* last = extension->emitters;
    extension->emitters = nullptr;
    if (!last)
        return object;
    PrtStdEmitter* e = last->next;
    for (;;)
    {
        PrtStdEmitter* next = e->next;
        const bool end = e == last;
        e->owner = nullptr;
        PrtStdEmitter::Destroy(e);
        if (end)
            break;
        e = next;
    }
    return object;
}
void* CopyAtomic(void* destination, const void* source, int32_t, int32_t)
{
    PrtStdAtomic::CopyEmitters(static_cast<Atomic*>(destination), static_cast<Atomic*>(const_cast<void*>(source)));
    return destination;
}
} // namespace

// ---- Sizes --------------------------------------------------------------------------------------

int32_t PrtStdEmitterProperty::ToStreamSize(int32_t id, int32_t size)
{
    if (id == kStandardId && size == kStandardSize)
        return kStandardStreamSize;
    if (id == kTankId && size == kTankSize)
        return kTankStreamSize;
    return size;
}

int32_t PrtStdEmitterProperty::MinimumSize(int32_t id)
{
    static constexpr int32_t kSizes[9] = {0,         kStandardSize, kColourSize, kTexCoordsSize, kRotationSize,
                                          kSizeSize, kTankSize,     0,           kMatrixSize};
    return id >= 0 && id < 9 ? kSizes[id] : 0;
}

int32_t PrtStdParticleProperty::MinimumSize(int32_t id)
{
    static constexpr int32_t kSizes[8] = {kStandardSize, kPositionSize, kColourSize,   kTexCoordsSize,
                                          kRotationSize, kSizeSize,     kVelocitySize, kMatrixSize};
    return id >= 0 && id < 8 ? kSizes[id] : 0;
}

int32_t PrtStdEmitterProperty::FromStreamSize(int32_t id, int32_t size)
{
    if (id == kStandardId && size == kStandardStreamSize)
        return kStandardSize;
    if (id == kTankId && size == kTankStreamSize)
        return kTankSize;
    return size;
}

// ---- Plug-in ------------------------------------------------------------------------------------

int32_t PrtStdAttach()
{
    if (Engine::RegisterPlugin(0, PrtStd::kPluginId, PrtStd::EngineOpen, PrtStdClose) < 0)
        return 0;
    const int32_t offset =
        Keep(&sModule.atomicOffset, Atomic::RegisterPlugin(int32_t(sizeof(PrtStdAtomicExtension)), PrtStd::kPluginId,
                                                           ConstructAtomic, DestroyAtomic, CopyAtomic));
    if (offset < 0)
        return 0;
    if (Atomic::RegisterPluginStream(PrtStd::kPluginId, PrtStdAtomic::StreamRead, PrtStdAtomic::StreamWrite,
                                     PrtStdAtomic::StreamGetSize) < 0)
        return 0;
    ClearEmitterOffsets();
    ClearParticleOffsets();
    sModule.loadedEmitterClass = PrtStdEmitterStd::SetCallbacks;
    sModule.loadedParticleClass = PrtStdParticleStd::SetCallbacks;
    sModule.tableLoaded = nullptr;
    sModule.tableDestroyed = nullptr;
    sModule.writeClasses = 1;
    return 1;
}

void* PrtStd::EngineOpen(void* engine, int32_t, int32_t)
{
    ++sModule.openCount;
    return engine;
}

void* PrtStdClose(void* engine, int32_t, int32_t)
{
    if (sModule.openCount > 0)
        --sModule.openCount;
    // Everything goes, referenced or not: a ring left pointing at freed members would be
    // read by the next release.
    PrtStdEmitter::FreeAll();
    PrtStdFreeAllClasses();
    PrtStdPropertyTable::FreeAll();
    PrtStdFreeScratch();
    ClearEmitterOffsets();
    ClearParticleOffsets();
    return engine;
}

int32_t PrtStd::GetOpenCount()
{
    return sModule.openCount;
}

int32_t PrtStd::GetAtomicOffset()
{
    return sModule.atomicOffset;
}

PrtStdAtomicExtension* PrtStd::GetAtomicExtension(Atomic* atomic)
{
    return reinterpret_cast<PrtStdAtomicExtension*>(reinterpret_cast<char*>(atomic) + sModule.atomicOffset);
}

// ---- Hooks --------------------------------------------------------------------------------------

void PrtStd::SetLoadedEmitterClassHook(PrtStdEmitterClassHook hook)
{
    sModule.loadedEmitterClass = hook;
}

void PrtStd::SetLoadedParticleClassHook(PrtStdParticleClassHook hook)
{
    sModule.loadedParticleClass = hook;
}

void PrtStd::SetTableLoadedHook(PrtStdTableHook hook)
{
    sModule.tableLoaded = hook;
}

void PrtStd::SetTableDestroyedHook(PrtStdTableHook hook)
{
    sModule.tableDestroyed = hook;
}

PrtStdEmitterClassHook PrtStd::GetLoadedEmitterClassHook()
{
    return sModule.loadedEmitterClass;
}

PrtStdParticleClassHook PrtStd::GetLoadedParticleClassHook()
{
    return sModule.loadedParticleClass;
}

PrtStdTableHook PrtStd::GetTableLoadedHook()
{
    return sModule.tableLoaded;
}

PrtStdTableHook PrtStd::GetTableDestroyedHook()
{
    return sModule.tableDestroyed;
}

void PrtStd::SetWriteClasses(int32_t flag)
{
    sModule.writeClasses = flag;
}

int32_t PrtStd::GetWriteClasses()
{
    return sModule.writeClasses;
}

// ---- Offset caches ------------------------------------------------------------------------------

void PrtStd::RefreshOffsets(const PrtStdEmitter* emitter)
{
    const PrtStdPropertyTable* e = emitter && emitter->emitterClass ? emitter->emitterClass->table : nullptr;
    if (e != sModule.offsets.emitterTable)
    {
        ClearEmitterOffsets();
        if (e)
        {
            sModule.offsets.emitterTable = const_cast<PrtStdPropertyTable*>(e);
            for (int32_t id = 0; id < 9; ++id)
            {
                const int32_t i = PrtStdPropertyTable::GetIndex(e, id);
                const bool fits = i >= 0 && e->roundedSizes[i] >= PrtStdEmitterProperty::MinimumSize(id);
                sModule.offsets.emitterOffsets[id] = fits ? e->offsets[i] : -1;
            }
        }
    }
    const PrtStdPropertyTable* p = emitter && emitter->particleClass ? emitter->particleClass->table : nullptr;
    if (p != sModule.offsets.particleTable)
    {
        ClearParticleOffsets();
        if (p)
        {
            sModule.offsets.particleTable = const_cast<PrtStdPropertyTable*>(p);
            for (int32_t id = 0; id < 8; ++id)
            {
                const int32_t i = PrtStdPropertyTable::GetIndex(p, id);
                const bool fits = i >= 0 && p->roundedSizes[i] >= PrtStdParticleProperty::MinimumSize(id);
                sModule.offsets.particleIndices[id] = fits ? i : -1;
                sModule.offsets.particleOffsets[id] = fits ? p->offsets[i] : -1;
            }
        }
    }
}

const PrtStdOffsetCache* PrtStd::GetOffsets()
{
    return &sModule.offsets;
}

void PrtStd::ForgetTable(const PrtStdPropertyTable* table)
{
    if (table == sModule.offsets.emitterTable)
        ClearEmitterOffsets();
    if (table == sModule.offsets.particleTable)
        ClearParticleOffsets();
}

// ---- Module helpers -----------------------------------------------------------------------------

void* PrtStdScratch(PrtStdScratchBuffer which, size_t bytes)
{
    if (bytes <= sModule.scratchSize[which] && sModule.scratch[which])
        return sModule.scratch[which];
    const size_t size = bytes < 128 ? 128 : bytes;
    void* grown = sModule.scratch[which] ? Memory::Reallocate(sModule.scratch[which], size, PrtStd::kScratchHint)
                                         : Memory::Allocate(size, PrtStd::kScratchHint);
    if (!grown)
        return nullptr;
    sModule.scratch[which] = grown;
    sModule.scratchSize[which] = size;
    return grown;
}

void PrtStdFreeScratch()
{
    for (int32_t i = 0; i < 2; ++i)
    {
        if (sModule.scratch[i])
            Memory::Free(sModule.scratch[i]);
        sModule.scratch[i] = nullptr;
        sModule.scratchSize[i] = 0;
    }
}

uint32_t PrtStdNextClassId()
{
    // Ids wrap after four billion classes; one still alive is skipped.
    do
        ++sModule.lastClassId;
    while (sModule.lastClassId == 0 || PrtStdClassIdInUse(sModule.lastClassId));
    return sModule.lastClassId;
}
