// Emitters: creation with the class's property data, destruction, and the atomic's ring.
#include "prtstdemitter.h"

#include "clump.h"
#include "memory.h"
#include "prtstd.h"
#include "prtstdclass.h"
#include "prtstdproperty.h"

#include <cstring>

namespace
{
constexpr size_t kDataOffset = (sizeof(PrtStdEmitter) + 15) & ~size_t(15);

PrtStdEmitter* sLive = nullptr; ///< every emitter of the run, most recent first

void LinkLive(PrtStdEmitter* e)
{
    e->livePrev = nullptr;
    e->liveNext = sLive;
    if (sLive)
        sLive->livePrev = e;
    sLive = e;
}

void UnlinkLive(PrtStdEmitter* e)
{
    if (e->livePrev)
        e->livePrev->liveNext = e->liveNext;
    else
        sLive = e->liveNext;
    if (e->liveNext)
        e->liveNext->livePrev = e->livePrev;
}

bool IsLive(const PrtStdEmitter* emitter)
{
    for (const PrtStdEmitter* e = sLive; e; e = e->liveNext)
        if (e == emitter)
            return true;
    return false;
}

// Runs a slot of every entry in order; false at the first failure.
bool RunSlot(PrtStdEmitterClass* c, int32_t slot, Atomic* atomic, PrtStdEmitter* e, void* data)
{
    PrtStdEmitterCallbacks* entries = PrtStdEmitterClass::Entries(c);
    for (int32_t i = 0; i < c->numEntries; ++i)
        if (PrtStdEmitterCallback f = entries[i].slot[slot])
            if (f(atomic, e, data) != e)
                return false;
    return true;
}

void Release(PrtStdEmitter* e)
{
    if (PrtStdTankBlock* block = PrtStdEmitter::GetTankBlock(e))
        PrtStdTankBlock::Destroy(block);
    PrtStdEmitterClass::Destroy(e->emitterClass);
    if (e->particleClass)
        PrtStdParticleClass::Destroy(e->particleClass);
    UnlinkLive(e);
    Memory::Free(e);
}
} // namespace

PrtStdEmitter* PrtStdEmitter::Create(PrtStdEmitterClass* emitterClass, void* createData)
{
    if (!emitterClass || !PrtStdEmitterClass::IsAlive(emitterClass) || emitterClass->recordSize < 0)
        return nullptr;
    const size_t size = kDataOffset + size_t(emitterClass->recordSize);
    auto* e = static_cast<PrtStdEmitter*>(Memory::Allocate(size, PrtStd::kHint));
    if (!e)
        return nullptr;
    std::memset(static_cast<void*>(e), 0, size);
    PrtStdParticleClass::AddRef(emitterClass);
    e->next = e;
    e->emitterClass = emitterClass;
    LinkLive(e);
    if (PrtStdTankBlock* block = GetTankBlock(e))
        PrtStdTankBlock::Init(block);
    if (!RunSlot(emitterClass, kPrtStdEmitterCreate, nullptr, e, createData))
    {
        Release(e);
        return nullptr;
    }
    return e;
}

bool PrtStdEmitter::Destroy(PrtStdEmitter* emitter)
{
    if (!emitter || !IsLive(emitter))
        return false;
    if (!RunSlot(emitter->emitterClass, kPrtStdEmitterDestroy, nullptr, emitter, nullptr))
        return false;
    Release(emitter);
    return true;
}

void* PrtStdEmitter::GetProperty(PrtStdEmitter* emitter, int32_t id)
{
    const int32_t offset = PrtStdPropertyTable::GetOffset(emitter->emitterClass->table, id);
    return offset < 0 ? nullptr : reinterpret_cast<char*>(emitter) + kDataOffset + offset;
}

PrtStdTankBlock* PrtStdEmitter::GetTankBlock(PrtStdEmitter* emitter)
{
    return static_cast<PrtStdTankBlock*>(GetProperty(emitter, PrtStdEmitterProperty::kTankId));
}

PrtStdEmitterStd* PrtStdEmitter::GetStandard(PrtStdEmitter* emitter)
{
    return static_cast<PrtStdEmitterStd*>(GetProperty(emitter, PrtStdEmitterProperty::kStandardId));
}

void PrtStdEmitter::FreeAll()
{
    while (sLive)
    {
        PrtStdEmitter* e = sLive;
        if (e->owner)
            PrtStd::GetAtomicExtension(e->owner)->emitters = nullptr;
        // Every owner's ring goes at once: its other members are freed in this loop too.
        Release(e);
    }
}

// ---- Particle atomics ---------------------------------------------------------------------------

PrtStdEmitter* PrtStdAtomic::GetEmitters(Atomic* atomic)
{
    return PrtStd::GetAtomicExtension(atomic)->emitters;
}

Atomic* PrtStdAtomic::AddEmitter(Atomic* atomic, PrtStdEmitter* emitter)
{
    PrtStdEmitter*& ring = PrtStd::GetAtomicExtension(atomic)->emitters;
    if (!ring)
        emitter->next = emitter;
    else
    {
        emitter->next = ring->next;
        ring->next = emitter;
    }
    ring = emitter;
    emitter->owner = atomic;
    return atomic;
}
