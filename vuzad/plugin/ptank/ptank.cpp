// The particle tank: the plug-in's attach and atomic extension, creation with its data
// layouts, locking, the render callback, the instancing driver and the callback choice.
#include "ptank.h"

#include "clump.h"
#include "device.h"
#include "engine.h"
#include "geometry.h"
#include "material.h"
#include "memory.h"
#include "ptankd3d9.h"

#include <cstring>

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

// Also runs when a creation fails before the create hook gave the atomic a geometry, so the
// geometry and its material list are checked before the texture is cleared.
void* DestroyAtomic(void* object, int32_t offset, int32_t)
{
    auto* atomic = static_cast<Atomic*>(object);
    auto* extension = reinterpret_cast<PTankAtomicExtension*>(static_cast<char*>(object) + offset);
    PTankRecord* tank = extension->tank;
    if (!tank)
        return object;
    Geometry* g = atomic->geometry;
    if (g && g->materials.count > 0 && g->materials.materials[0])
        Material::SetTexture(g->materials.materials[0], nullptr);
    if (tank->dataBlock)
        Memory::Free(tank->dataBlock);
    Memory::Free(tank);
    extension->tank = nullptr;
    return object;
}

// Lays the per-particle data out in one block whose first array starts at a multiple of 16.
bool LayOut(PTankRecord* tank, int32_t maxCount, uint32_t dataFlags)
{
    PTankData& d = tank->data;
    const bool structure = (dataFlags & kPTankStructure) && !(dataFlags & kPTankArrays);
    size_t recordSize = 0;
    int32_t present = 0;
    for (int32_t s = 0; s < kPTankNumSlots; ++s)
        if (dataFlags & PTank::kSlotBit[s])
        {
            recordSize += size_t(PTank::kElementSize[s]);
            ++present;
        }
    d.format.numProperties = present;
    d.format.structureStride = structure ? int32_t(recordSize) : 0;
    const size_t bytes = recordSize * size_t(maxCount) + 16;
    void* block = Memory::Allocate(bytes, structure ? PTank::kStructureHint : PTank::kRecordHint);
    if (!block)
        return false;
    tank->dataBlock = block;
    char* at = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(block) + 15) & ~uintptr_t(15));
    size_t offset = 0;
    for (int32_t s = 0; s < kPTankNumSlots; ++s)
    {
        if (!(dataFlags & PTank::kSlotBit[s]))
            continue;
        if (structure)
        {
            d.slots[s] = {at + offset, int32_t(recordSize)};
            offset += size_t(PTank::kElementSize[s]);
        }
        else
        {
            d.slots[s] = {at + offset, PTank::kElementSize[s]};
            offset += size_t(PTank::kElementSize[s]) * size_t(maxCount);
        }
    }
    return true;
}

void SetDefaults(PTankData* d)
{
    d->centre = {0, 0};
    d->size = {1, 1};
    d->rotation = 0;
    d->colour = {0, 0, 0, 255};
    for (Rgba& c : d->vertexColours)
        c = {0, 0, 0, 255};
    d->texCoords[0] = {0, 0};
    d->texCoords[1] = {0, 1};
    d->texCoords[2] = {1, 1};
    d->texCoords[3] = {1, 0};
    std::memset(&d->matrix, 0, sizeof(d->matrix));
    d->matrix.right.x = d->matrix.up.y = d->matrix.at.z = 1.0f;
    d->matrix.flags = 0x20003;
}

int32_t ReadRenderState(int32_t code, int32_t fallback)
{
    Engine* engine = Engine::Current();
    intptr_t value = 0;
    if (engine && engine->device.getRenderState && engine->device.getRenderState(code, &value))
        return int32_t(value);
    return fallback;
}
} // namespace

// ---- Plug-in ------------------------------------------------------------------------------------

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

PTankRecord* PTank::Get(Atomic* atomic)
{
    return atomic && sAtomicOffset >= 0 ? GetAtomicExtension(atomic)->tank : nullptr;
}

// ---- Creation -----------------------------------------------------------------------------------

uint32_t PTank::NormaliseFlags(uint32_t flags)
{
    static constexpr uint32_t kPairs[][2] = {{kPTankMatrix, kPTankConstantMatrix},
                                             {kPTankRotation, kPTankConstantRotation},
                                             {kPTankVertexColours, kPTankConstantVertexColours},
                                             {kPTankTexCoords2, kPTankConstantTexCoords2},
                                             {kPTankTexCoords4, kPTankConstantTexCoords4}};
    for (const auto& pair : kPairs)
        if ((flags & pair[0]) && (flags & pair[1]))
            flags &= ~pair[0];
    // The later steps read the flags as normalised so far: both matrix bits must leave a
    // position array, which the constant-matrix quad reads.
    if (flags & kPTankMatrix)
        flags &= ~(kPTankPosition | kPTankSize | kPTankRotation);
    if (!(flags & (kPTankMatrix | kPTankPosition)))
        flags |= kPTankPosition;
    if (!(flags & (kPTankArrays | kPTankStructure)))
        flags |= kPTankArrays;
    return flags;
}

Atomic* PTank::CreateAtomic(int32_t maxCount, uint32_t dataFlags, int32_t platformFlags)
{
    return CreateAtomicWithPlatform(maxCount, NormaliseFlags(dataFlags), platformFlags, PTankD3D9::Platform());
}

Atomic* PTank::CreateAtomicWithPlatform(int32_t maxCount, uint32_t dataFlags, int32_t platformFlags,
                                        const PTankPlatform* platform)
{
    if (maxCount < 0 || sAtomicOffset < 0 || !platform)
        return nullptr;
    Atomic* atomic = Atomic::Create();
    if (!atomic)
        return nullptr;
    auto* tank = static_cast<PTankRecord*>(Memory::Allocate(sizeof(PTankRecord), kRecordHint));
    if (!tank)
    {
        Atomic::Destroy(atomic);
        return nullptr;
    }
    std::memset(static_cast<void*>(tank), 0, sizeof(PTankRecord));
    tank->savedRender = atomic->renderCallback;
    atomic->renderCallback = Render;
    tank->maxCount = maxCount;
    tank->data.format.dataFlags = dataFlags;
    tank->platformFlags = platformFlags;
    tank->instanceFlags = 0xFFFFFFFFu;
    GetAtomicExtension(atomic)->tank = tank;
    tank->platform = *platform;

    bool ok;
    if (platform->allocate)
    {
        tank->dataBlock = platform->allocate(&tank->data, maxCount, dataFlags, platformFlags);
        ok = tank->dataBlock != nullptr;
    }
    else
        ok = LayOut(tank, maxCount, dataFlags);
    if (ok && platform->create)
        ok = platform->create(atomic, &tank->data, maxCount, dataFlags, platformFlags) == 1;
    if (!ok)
    {
        Atomic::Destroy(atomic);
        return nullptr;
    }
    Geometry* g = atomic->geometry;
    if (g && g->materials.count > 0)
        Material::SetTexture(g->materials.materials[0], nullptr);
    SetDefaults(&tank->data);
    tank->data.sourceBlend = ReadRenderState(kRenderStateSourceBlend, 5);
    tank->data.destBlend = ReadRenderState(kRenderStateDestBlend, 6);
    tank->data.vertexAlpha = ReadRenderState(kRenderStateVertexAlpha, 0) ? 1 : 0;
    return atomic;
}

// ---- Access -------------------------------------------------------------------------------------

bool PTank::Lock(Atomic* atomic, PTankSlot* out, uint32_t property, uint32_t lockFlags)
{
    *out = {nullptr, 0};
    PTankRecord* tank = Get(atomic);
    if (!tank || !(property & kPTankPerParticle) || (property & (property - 1)) ||
        !(tank->data.format.dataFlags & property))
        return false;
    int32_t s = 0;
    while (kSlotBit[s] != property)
        ++s;
    *out = tank->data.slots[s];
    if (tank->data.format.structureStride)
        out->stride = tank->data.format.structureStride;
    if (out->data && (lockFlags & kPTankLockWrite))
        tank->lockFlags |= property | lockFlags;
    return true;
}

void PTank::Unlock(Atomic* atomic)
{
    if (PTankRecord* tank = Get(atomic))
    {
        tank->instanceFlags |= tank->lockFlags;
        tank->lockFlags = 0;
    }
}

PTankFormat* PTank::GetFormat(Atomic* atomic)
{
    PTankRecord* tank = Get(atomic);
    return tank ? &tank->data.format : nullptr;
}

void PTank::SetCallbacks(Atomic* atomic)
{
    if (PTankRecord* tank = Get(atomic))
        tank->callbacks = ChooseCallbacks(tank->data.format.dataFlags);
}

PTankCallbacks PTank::ChooseCallbacks(uint32_t f)
{
    const bool centre = f & kPTankUseCentre;
    PTankCallbacks c{};
    if (f & kPTankMatrix)
        c.position = centre ? PTankCallback::QuadMatrixCentre : PTankCallback::QuadMatrix;
    else if (f & kPTankConstantMatrix)
        c.position = centre ? PTankCallback::QuadConstantCentre : PTankCallback::QuadConstant;
    else if ((f & kPTankRotation) && (f & kPTankSize))
        c.position = centre ? PTankCallback::QuadRotatedSizeCentre : PTankCallback::QuadRotatedSize;
    else if (f & kPTankRotation)
        c.position = centre ? PTankCallback::QuadRotatedCentre : PTankCallback::QuadRotated;
    else if (f & kPTankSize)
        c.position = centre ? PTankCallback::QuadSizeCentre : PTankCallback::QuadSize;
    else
        c.position = centre ? PTankCallback::QuadConstantCentre : PTankCallback::QuadConstant;

    if (f & kPTankTexCoords2)
        c.texCoords = PTankCallback::TexCoords2;
    else if (f & kPTankTexCoords4)
        c.texCoords = PTankCallback::TexCoords4;
    else if (f & kPTankConstantTexCoords2)
        c.texCoords = PTankCallback::ConstantTexCoords2;
    else if (f & kPTankConstantTexCoords4)
        c.texCoords = PTankCallback::ConstantTexCoords4;
    else
        c.texCoords = nullptr;

    if (f & kPTankColour)
        c.colour = PTankCallback::Colour;
    else if (f & kPTankVertexColours)
        c.colour = PTankCallback::VertexColours;
    else if (f & kPTankConstantVertexColours)
        c.colour = PTankCallback::ConstantVertexColours;
    else
        c.colour = PTankCallback::ConstantColour;

    c.normal = (f & kPTankNormal) ? PTankCallback::Normal : nullptr;
    // Instancing into the atomic's own geometry is never used: every platform hook
    // installs begin and end callbacks of its own.
    return c;
}

// ---- Drawing ------------------------------------------------------------------------------------

Atomic* PTank::Render(Atomic* atomic)
{
    PTankRecord* tank = Get(atomic);
    if (!tank || tank->activeCount <= 0)
        return atomic;
    const int32_t count = tank->activeCount < tank->maxCount ? tank->activeCount : tank->maxCount;
    if (tank->platform.instance)
    {
        tank->platform.instance(atomic, &tank->data, count, tank->instanceFlags);
        tank->instanceFlags = 0;
    }
    if ((!tank->platform.render || tank->platform.render(atomic, &tank->data, count) == 1) && tank->savedRender)
        tank->savedRender(atomic);
    return atomic;
}

int32_t PTank::Instance(Atomic* atomic, PTankData* data, int32_t count, uint32_t instanceFlags)
{
    PTankRecord* tank = Get(atomic);
    if (!tank)
        return 1;
    const PTankCallbacks& c = tank->callbacks;
    PTankInstanceDesc desc{};
    if (c.begin)
        c.begin(&desc, atomic, data, count, instanceFlags);
    if (c.position && desc.positions.data)
        c.position(&desc.positions, &desc.axisA, &desc.axisB, count, data);
    if (c.texCoords && desc.texCoords.data)
        c.texCoords(&desc.texCoords, count, data);
    if (c.colour && desc.colours.data)
        c.colour(&desc.colours, count, data);
    if (c.normal && desc.normals.data)
        c.normal(&desc.normals, count, data);
    if (c.end)
        c.end(&desc, atomic, data, count, instanceFlags);
    return 1;
}
