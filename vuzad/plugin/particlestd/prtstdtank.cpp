// The emitter particle tank: the tank block's life, its lock into write cursors, and
// binding a tank to an emitter, made by the caller or from the emitter's properties.
#include "prtstdtank.h"

#include "clump.h"
#include "frame.h"
#include "geometry.h"
#include "material.h"
#include "memory.h"
#include "prtstd.h"
#include "prtstdemitter.h"
#include "ptank.h"
#include "texture.h"

#include <cstring>

namespace
{
void FreeArrays(PrtStdTankBlock* block)
{
    // The three arrays share the allocation that starts with the source pointers.
    if (block->sources)
        Memory::Free(block->sources);
    block->sources = nullptr;
    block->destinations = nullptr;
    block->strides = nullptr;
}

Material* TankMaterial(Atomic* tank)
{
    Geometry* g = tank->geometry;
    return g && g->materials.count > 0 ? g->materials.materials[0] : nullptr;
}
} // namespace

void PrtStdTankBlock::Init(PrtStdTankBlock* block)
{
    std::memset(static_cast<void*>(block), 0, sizeof(*block));
    block->updateMask = 0xFFFFFFFFu;
    block->emitMask = 0xFFFFFFFFu;
    block->sourceBlend = 2;
    block->destBlend = 2;
    block->vertexAlpha = 1;
}

void PrtStdTankBlock::Destroy(PrtStdTankBlock* block)
{
    if (Atomic* tank = block->tank)
    {
        Frame* frame = tank->object.frame;
        Atomic::SetFrame(tank, nullptr);
        if (frame)
            Frame::Destroy(frame);
        Atomic::Destroy(tank);
    }
    FreeArrays(block);
    block->tank = nullptr;
    block->capacity = 0;
}

void PrtStdTankBlock::CopySettings(PrtStdTankBlock* destination, const PrtStdTankBlock* source)
{
    destination->lockedProperties = source->lockedProperties;
    destination->platformFlags = source->platformFlags;
    destination->capacity = source->capacity;
    destination->updateMask = source->updateMask;
    destination->emitMask = source->emitMask;
    destination->sourceBlend = source->sourceBlend;
    destination->destBlend = source->destBlend;
    destination->vertexAlpha = source->vertexAlpha;
}

PrtStdTankBlock* PrtStdTankBlock::Lock(PrtStdTankBlock* block)
{
    const PTankFormat* format = block->tank ? PTank::GetFormat(block->tank) : nullptr;
    if (!format || !block->sources)
        return nullptr;
    block->lockedProperties = 0;
    int32_t found = 0;
    for (uint32_t bit = kPTankPosition; bit <= kPTankTexCoords4 && found < format->numProperties; bit <<= 1)
    {
        PTankSlot slot;
        if (!PTank::Lock(block->tank, &slot, bit, kPTankLockWrite))
            continue;
        block->sources[found] = slot.data;
        block->destinations[found] = slot.data;
        block->strides[found] = slot.stride;
        block->lockedProperties |= bit;
        ++found;
    }
    return block;
}

PrtStdEmitter* PrtStdEmitter::AttachPTank(PrtStdEmitter* emitter, Atomic* tank)
{
    PrtStdTankBlock* block = emitter ? GetTankBlock(emitter) : nullptr;
    PTankRecord* record = PTank::Get(tank);
    if (!block || !record || block->tank)
        return nullptr;
    block->tank = tank;
    block->capacity = record->maxCount;
    block->lockedProperties = record->data.format.dataFlags;
    block->platformFlags = 0;
    block->writtenCount = 0;
    record->instanceFlags |= kPTankMarkActiveCount;
    record->activeCount = 0;

    FreeArrays(block);
    const size_t n = size_t(record->data.format.numProperties);
    const size_t bytes = n * (2 * sizeof(void*) + sizeof(int32_t));
    void* arrays = Memory::Allocate(bytes ? bytes : sizeof(void*), PrtStd::kHint);
    if (!arrays)
        return nullptr;
    std::memset(arrays, 0, bytes);
    block->sources = static_cast<void**>(arrays);
    block->destinations = block->sources + n;
    block->strides = reinterpret_cast<int32_t*>(block->destinations + n);
    return emitter;
}

PrtStdEmitter* PrtStdEmitter::CreatePTank(PrtStdEmitter* emitter)
{
    PrtStdTankBlock* block = emitter ? GetTankBlock(emitter) : nullptr;
    const PrtStdEmitterStd* standard = emitter ? GetStandard(emitter) : nullptr;
    // A bound tank would be left behind by the attach.
    if (!block || !standard || block->tank)
        return nullptr;
    const bool colour = GetProperty(emitter, PrtStdEmitterProperty::kColourId);
    const bool matrix = GetProperty(emitter, PrtStdEmitterProperty::kMatrixId);
    uint32_t flags;
    if (colour)
        flags = matrix ? kPTankMatrix | kPTankColour : kPTankPosition | kPTankColour;
    else
        flags = matrix ? kPTankMatrix : kPTankPosition;
    if (standard->texture)
        flags |=
            GetProperty(emitter, PrtStdEmitterProperty::kTexCoordsId) ? kPTankTexCoords2 : kPTankConstantTexCoords2;
    if (GetProperty(emitter, PrtStdEmitterProperty::kSizeId) && (flags & kPTankPosition))
        flags |= kPTankSize;
    block->updateMask &= ~kPTankConstantRotation;
    if (flags & kPTankPosition)
    {
        if (GetProperty(emitter, PrtStdEmitterProperty::kRotationId))
            flags |= kPTankRotation;
        else if (standard->rotationRate > PrtStdTankBlock::kMinRotationRate ||
                 standard->rotationRate < -PrtStdTankBlock::kMinRotationRate)
        {
            block->updateMask |= kPTankConstantRotation;
            flags |= kPTankConstantRotation;
        }
    }

    Atomic* tank = PTank::CreateAtomic(standard->maxParticles, flags, block->platformFlags);
    if (!tank)
        return nullptr;
    Frame* frame = Frame::Create();
    if (!frame)
    {
        Atomic::Destroy(tank);
        return nullptr;
    }
    Atomic::SetFrame(tank, frame);

    PTankRecord* record = PTank::Get(tank);
    PTankData& data = record->data;
    const uint32_t made = data.format.dataFlags;
    Material* material = TankMaterial(tank);
    data.centre = {0, 0};
    record->instanceFlags |= kPTankMarkCentre;
    if (!(made & kPTankColour))
    {
        data.colour = standard->colour;
        if (material)
            material->colour = standard->colour;
        record->instanceFlags |= kPTankMarkConstantColour;
    }
    if (made & kPTankConstantTexCoords2)
    {
        data.texCoords[0] = standard->texCoords[0];
        data.texCoords[1] = standard->texCoords[1];
        record->instanceFlags |= kPTankMarkConstantTexCoords2;
    }
    if (!(made & kPTankSize))
    {
        data.size = standard->size;
        record->instanceFlags |= kPTankMarkConstantSize;
    }
    if (standard->texture && material)
        Material::SetTexture(material, standard->texture);

    const int32_t platformFlags = block->platformFlags;
    if (!AttachPTank(emitter, tank))
    {
        if (block->tank != tank)
        {
            Atomic::SetFrame(tank, nullptr);
            Frame::Destroy(frame);
            Atomic::Destroy(tank);
        }
        return nullptr;
    }
    block->platformFlags = platformFlags;
    data.sourceBlend = block->sourceBlend;
    data.destBlend = block->destBlend;
    data.vertexAlpha = block->vertexAlpha;
    record->instanceFlags |= kPTankMarkBlend;
    return emitter;
}
