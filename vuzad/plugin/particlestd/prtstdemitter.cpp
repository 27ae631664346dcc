// Emitters: creation with the class's property data, destruction, cloning, particle
// batches, the update and render passes, and particle atomics.
#include "prtstdemitter.h"

#include "clump.h"
#include "geometry.h"
#include "mathsqrt.h"
#include "memory.h"
#include "prtstd.h"
#include "prtstdclass.h"
#include "prtstdproperty.h"
#include "ptank.h"

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

bool RunParticleSlot(PrtStdParticleClass* c, int32_t slot, PrtStdEmitter* e, PrtStdBatch* batch, void* data)
{
    if (!c)
        return true;
    PrtStdParticleCallbacks* entries = PrtStdParticleClass::Entries(c);
    for (int32_t i = 0; i < c->numEntries; ++i)
        if (PrtStdParticleCallback f = entries[i].slot[slot])
            if (f(e, batch, data) != batch)
                return false;
    return true;
}

// Frees every batch of a ring held by its last batch, without callbacks.
void FreeRing(PrtStdBatch** ring)
{
    PrtStdBatch* last = *ring;
    *ring = nullptr;
    if (!last)
        return;
    PrtStdBatch* b = last->next;
    for (;;)
    {
        PrtStdBatch* next = b->next;
        const bool end = b == last;
        Memory::Free(b);
        if (end)
            break;
        b = next;
    }
}

void Append(PrtStdBatch** ring, PrtStdBatch* batch)
{
    if (!*ring)
        batch->next = batch;
    else
    {
        batch->next = (*ring)->next;
        (*ring)->next = batch;
    }
    *ring = batch;
}

constexpr int32_t kBatchOffset = int32_t((sizeof(PrtStdBatch) + 15) & ~size_t(15));

void Release(PrtStdEmitter* e)
{
    PrtStdEmitter::FreeParticleBatches(e);
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
    FreeParticleBatches(emitter);
    if (!RunSlot(emitter->emitterClass, kPrtStdEmitterDestroy, nullptr, emitter, nullptr))
        return false;
    Release(emitter);
    return true;
}

char* PrtStdEmitter::Data(PrtStdEmitter* emitter)
{
    return reinterpret_cast<char*>(emitter) + kDataOffset;
}

void* PrtStdEmitter::GetProperty(PrtStdEmitter* emitter, int32_t id)
{
    const PrtStdPropertyTable* table = emitter->emitterClass->table;
    const int32_t i = PrtStdPropertyTable::GetIndex(table, id);
    // A standard id registered smaller than its record is not the standard property.
    if (i < 0 || table->roundedSizes[i] < PrtStdEmitterProperty::MinimumSize(id))
        return nullptr;
    return reinterpret_cast<char*>(emitter) + kDataOffset + table->offsets[i];
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

// ---- Cloning and particle classes ---------------------------------------------------------------

PrtStdEmitter* PrtStdEmitter::Clone(PrtStdEmitter* source)
{
    if (!source || !IsLive(source))
        return nullptr;
    PrtStdEmitter* e = Create(source->emitterClass, nullptr);
    if (!e)
        return nullptr;
    e->flags = source->flags;
    // Whatever the create callbacks chose gives way to the source's class.
    if (e->particleClass)
    {
        FreeParticleBatches(e);
        PrtStdParticleClass::Destroy(e->particleClass);
        e->particleClass = nullptr;
    }
    if (source->particleClass)
        PrtStdParticleClass::AddRef(source->particleClass);
    e->particleClass = source->particleClass;
    e->batchSize = source->batchSize;
    if (!RunSlot(e->emitterClass, kPrtStdEmitterClone, source->owner, source, e))
    {
        // A failing destroy callback must not keep a half-made clone alive.
        if (!Destroy(e))
            Release(e);
        return nullptr;
    }
    return e;
}

PrtStdEmitter* PrtStdEmitter::SetParticleClass(PrtStdEmitter* emitter, PrtStdParticleClass* particleClass,
                                               int32_t batchSize)
{
    if (!emitter)
        return nullptr;
    if (particleClass)
        PrtStdParticleClass::AddRef(particleClass);
    if (emitter->particleClass)
    {
        FreeParticleBatches(emitter);
        PrtStdParticleClass::Destroy(emitter->particleClass);
    }
    emitter->particleClass = particleClass;
    emitter->batchSize = batchSize;
    return emitter;
}

PrtStdBatch* PrtStdEmitter::NewParticleBatch(PrtStdEmitter* emitter)
{
    PrtStdBatch* batch = nullptr;
    if (emitter->freeBatches)
    {
        PrtStdBatch* last = emitter->freeBatches;
        batch = last->next;
        if (batch == last)
            emitter->freeBatches = nullptr;
        else
            last->next = batch->next;
    }
    else
    {
        if (!emitter->particleClass || emitter->batchSize <= 0)
            return nullptr;
        const int64_t bytes = int64_t(kBatchOffset) + int64_t(emitter->batchSize) * emitter->particleClass->recordSize;
        if (emitter->particleClass->recordSize < 0 || bytes > INT32_MAX)
            return nullptr;
        batch = static_cast<PrtStdBatch*>(Memory::Allocate(size_t(bytes), PrtStd::kHint));
        if (!batch)
            return nullptr;
        batch->particleClass = emitter->particleClass;
        batch->capacity = emitter->batchSize;
        batch->offset = kBatchOffset;
    }
    batch->count = 0;
    batch->firstNew = 0;
    // A failing set-up does not keep the batch from being used.
    RunParticleSlot(emitter->particleClass, kPrtStdParticleBatchSetup, nullptr, batch, nullptr);
    Append(&emitter->activeBatches, batch);
    return batch;
}

PrtStdEmitter* PrtStdEmitter::FreeParticleBatches(PrtStdEmitter* emitter)
{
    if (!emitter)
        return nullptr;
    if (PrtStdBatch* last = emitter->activeBatches)
    {
        PrtStdBatch* b = last->next;
        bool running = true;
        for (;;)
        {
            PrtStdBatch* next = b->next;
            const bool end = b == last;
            if (running)
                running = RunParticleSlot(emitter->particleClass, kPrtStdParticleBatchRelease, nullptr, b, nullptr);
            Memory::Free(b);
            if (end)
                break;
            b = next;
        }
        emitter->activeBatches = nullptr;
    }
    FreeRing(&emitter->freeBatches);
    emitter->activeCount = 0;
    // The tank's slots held those particles: the next update must write from slot 0.
    if (PrtStdTankBlock* block = GetTankBlock(emitter))
    {
        block->writtenCount = 0;
        if (PTankRecord* record = block->tank ? PTank::Get(block->tank) : nullptr)
            record->activeCount = 0;
    }
    return emitter;
}

// ---- Update and render ----------------------------------------------------------------------------

PrtStdEmitter* PrtStdEmitter::Update(Atomic* atomic, PrtStdEmitter* emitter, void* updateData)
{
    if (!(emitter->flags & kPrtStdEmitterFlagAlive))
        return emitter;
    PrtStd::RefreshOffsets(emitter);
    PrtStdTankBlock* block = nullptr;
    if (emitter->flags & kPrtStdEmitterFlagOwnsTank)
    {
        block = GetTankBlock(emitter);
        if (!block)
            return nullptr;
        if (!block->tank && !CreatePTank(emitter))
            return nullptr;
    }
    PrtStdEmitterClass* c = emitter->emitterClass;
    if ((emitter->flags & kPrtStdEmitterFlagUpdate) &&
        !RunSlot(c, kPrtStdEmitterBeginUpdate, atomic, emitter, updateData))
        return nullptr;
    if (atomic->interpolator.flags & kInterpolatorSphereDirty)
        Atomic::InterpolateBoundingSphere(atomic);
    emitter->radius = 0;

    bool locked = false;
    int32_t total = emitter->activeCount;
    if (emitter->activeBatches && (emitter->flags & kPrtStdEmitterFlagUpdateParticles))
    {
        if (block)
        {
            if (!PrtStdTankBlock::Lock(block))
                return nullptr;
            locked = true;
            block->writtenCount = 0;
        }
        PrtStdBatch* last = emitter->activeBatches;
        emitter->activeBatches = nullptr;
        PrtStdBatch* b = last->next;
        total = 0;
        for (;;)
        {
            PrtStdBatch* next = b->next;
            const bool end = b == last;
            b->firstNew = -1;
            if (b->count > 0)
            {
                bool ok = RunParticleSlot(emitter->particleClass, kPrtStdParticleUpdate, emitter, b, updateData);
                Append(&emitter->activeBatches, b);
                total += b->count;
                if (!ok)
                {
                    // The batches not yet walked go back too, so none is lost.
                    for (PrtStdBatch* rest = next; !end; rest = next)
                    {
                        next = rest->next;
                        const bool restEnd = rest == last;
                        Append(&emitter->activeBatches, rest);
                        total += rest->count;
                        if (restEnd)
                            break;
                    }
                    emitter->activeCount = total;
                    if (locked)
                    {
                        PTank::Get(block->tank)->activeCount = block->writtenCount;
                        PTank::Unlock(block->tank);
                    }
                    return nullptr;
                }
            }
            else
            {
                RunParticleSlot(emitter->particleClass, kPrtStdParticleBatchRelease, emitter, b, updateData);
                Append(&emitter->freeBatches, b);
            }
            if (end)
                break;
            b = next;
        }
    }
    emitter->activeCount = total;

    if (block && !locked)
    {
        if (!PrtStdTankBlock::Lock(block))
            return nullptr;
        locked = true;
        const int32_t n = PTank::GetFormat(block->tank)->numProperties;
        for (int32_t i = 0; i < n; ++i)
        {
            const ptrdiff_t step = ptrdiff_t(block->strides[i]) * block->writtenCount;
            block->sources[i] = static_cast<char*>(block->sources[i]) + step;
            block->destinations[i] = static_cast<char*>(block->destinations[i]) + step;
        }
    }

    bool ok = !(emitter->flags & kPrtStdEmitterFlagEmit) || RunSlot(c, kPrtStdEmitterEmit, atomic, emitter, updateData);
    if (locked)
    {
        PTankRecord* record = PTank::Get(block->tank);
        record->activeCount = block->writtenCount;
        record->instanceFlags |= kPTankMarkActiveCount;
        PTank::Unlock(block->tank);
    }
    if (!ok)
        return nullptr;
    if ((emitter->flags & kPrtStdEmitterFlagUpdate) && !RunSlot(c, kPrtStdEmitterEndUpdate, atomic, emitter, updateData))
        return nullptr;
    if (emitter->radius > 0)
    {
        emitter->radius = Math::Sqrt(emitter->radius);
        if (emitter->radius > atomic->boundingSphere.radius)
            atomic->boundingSphere.radius = emitter->radius;
    }
    return emitter;
}

PrtStdEmitter* PrtStdEmitter::Render(Atomic* atomic, PrtStdEmitter* emitter, void*)
{
    if (!(emitter->flags & kPrtStdEmitterFlagAlive))
        return emitter;
    PrtStd::RefreshOffsets(emitter);
    PrtStdEmitterClass* c = emitter->emitterClass;
    if ((emitter->flags & kPrtStdEmitterFlagRender) && !RunSlot(c, kPrtStdEmitterBeginRender, atomic, emitter, nullptr))
        return nullptr;
    if ((emitter->flags & kPrtStdEmitterFlagRenderParticles) && emitter->activeBatches)
    {
        PrtStdBatch* last = emitter->activeBatches;
        PrtStdBatch* b = last;
        do
        {
            b = b->next;
            if (!RunParticleSlot(emitter->particleClass, kPrtStdParticleRender, emitter, b, nullptr))
                return nullptr;
        } while (b != last);
    }
    if ((emitter->flags & kPrtStdEmitterFlagRender) && !RunSlot(c, kPrtStdEmitterEndRender, atomic, emitter, nullptr))
        return nullptr;
    return emitter;
}

// ---- Particle atomics ---------------------------------------------------------------------------

Atomic* PrtStdAtomic::Create(PrtStdEmitterClass* emitterClass, void* createData)
{
    PrtStdEmitter* e = PrtStdEmitter::Create(emitterClass, createData);
    if (!e)
        return nullptr;
    Geometry* geometry = Geometry::CreateEmptyWithRadius(0);
    Atomic* atomic = geometry ? Atomic::Create() : nullptr;
    if (!atomic)
    {
        if (geometry)
            Geometry::Destroy(geometry);
        PrtStdEmitter::Destroy(e);
        return nullptr;
    }
    AddEmitter(atomic, e);
    atomic->renderCallback = Render;
    Atomic::SetGeometry(atomic, geometry, 0);
    Geometry::Destroy(geometry);
    return atomic;
}

Atomic* PrtStdAtomic::UpdateEmitters(Atomic* atomic, void* updateData)
{
    PrtStdEmitter* last = atomic ? GetEmitters(atomic) : nullptr;
    if (!last)
        return nullptr;
    if (atomic->interpolator.flags & kInterpolatorSphereDirty)
        Atomic::InterpolateBoundingSphere(atomic);
    atomic->boundingSphere.radius = 0;
    Atomic* result = atomic;
    PrtStdEmitter* e = last;
    do
    {
        e = e->next;
        if (!PrtStdEmitter::Update(atomic, e, updateData))
        {
            result = nullptr;
            break;
        }
    } while (e != last);
    if (Geometry* g = atomic->geometry; g && g->numMorphTargets > 0)
        g->morphTargets[0].boundingSphere = atomic->boundingSphere;
    atomic->object.privateFlags |= kAtomicWorldSphereDirty;
    return result;
}

Atomic* PrtStdAtomic::Render(Atomic* atomic)
{
    PrtStdEmitter* last = GetEmitters(atomic);
    if (!last)
        return atomic;
    PrtStdEmitter* e = last;
    do
    {
        e = e->next;
        if (!PrtStdEmitter::Render(atomic, e, nullptr))
            return nullptr;
    } while (e != last);
    return atomic;
}

Atomic* PrtStdAtomic::CopyEmitters(Atomic* destination, Atomic* source)
{
    PrtStdEmitter* last = GetEmitters(source);
    if (!last)
        return destination;
    PrtStdEmitter* e = last;
    do
    {
        e = e->next;
        // An emitter whose clone fails is left out.
        if (PrtStdEmitter* copy = PrtStdEmitter::Clone(e))
            AddEmitter(destination, copy);
    } while (e != last);
    return destination;
}
