// The standard particle callbacks: emitters that emit bursts of particles from a box at
// random intervals, particles that age, move under a constant force, interpolate their
// size, colour, rotation and texture coordinates over their life and die; all of it
// written into the emitter's particle tank.
#include "prtstd.h"

#include "clump.h"
#include "frame.h"
#include "matrix.h"
#include "prtstdclass.h"
#include "prtstdemitter.h"
#include "prtstdproperty.h"
#include "ptank.h"
#include "texture.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace
{
constexpr float kPi = 3.14159265358979f;
constexpr float kTwoPi = 6.28318530717959f;

// Emitter property records (reals as laid out in the class's table).
struct EmitterColour
{
    float start[4], startBias[4], end[4], endBias[4];
};
struct EmitterTexCoords
{
    // Per pair: start (U, V), start bias, end, end bias.
    float pair[2][4][2];
};
struct EmitterRotation
{
    float start, startBias, end, endBias;
};
struct EmitterSize
{
    float start[2], startBias[2], end[2], endBias[2];
};
struct EmitterMatrix
{
    Matrix rotation;
    Vector at, atBias, up, upBias;
    int32_t enable;
};
static_assert(sizeof(EmitterMatrix) == PrtStdEmitterProperty::kMatrixSize);

// Particle property records.
struct ParticleStandard
{
    uint32_t spare;
    float age;
    float life;
    float recipLife;
};
struct ParticleColour
{
    float start[4], delta[4];
};
struct ParticleTexCoords
{
    float start[4], delta[4];
};
struct ParticleRotation
{
    float start, delta;
};
struct ParticleSize
{
    float start[2], delta[2], current[2];
};

Matrix Identity()
{
    Matrix m{};
    m.right = {1, 0, 0};
    m.up = {0, 1, 0};
    m.at = {0, 0, 1};
    m.pos = {0, 0, 0};
    m.flags = 0x20003;
    return m;
}

float WrapOnce(float angle)
{
    if (angle > kPi)
        return angle - kTwoPi;
    if (angle < -kPi)
        return angle + kTwoPi;
    return angle;
}

// Truncation toward zero keeping the low 8 bits; reals outside the int32 range (and NaN)
// give 0 rather than an undefined conversion.
uint8_t ColourByte(float value)
{
    if (!(value > -2147483648.0f && value < 2147483648.0f))
        return 0;
    return uint8_t(uint32_t(int32_t(value)) & 0xFF);
}

int32_t TruncInt(float value)
{
    if (!(value > -2147483648.0f && value < 2147483648.0f))
        return 0;
    return int32_t(value);
}

template <typename T> T* EmitterProp(char* data, const PrtStdOffsetCache* o, int32_t id)
{
    return o->emitterOffsets[id] < 0 ? nullptr : reinterpret_cast<T*>(data + o->emitterOffsets[id]);
}

template <typename T> T* ParticleProp(char* record, const PrtStdOffsetCache* o, int32_t id)
{
    return o->particleOffsets[id] < 0 ? nullptr : reinterpret_cast<T*>(record + o->particleOffsets[id]);
}

// The index of a tank property in the block's arrays, or -1 when it is not locked.
int32_t TankIndex(const PrtStdTankBlock* block, uint32_t bit)
{
    if (!(block->lockedProperties & bit))
        return -1;
    return std::popcount(block->lockedProperties & (bit - 1));
}

// The tank properties the standard callbacks write, in the order they are written.
constexpr uint32_t kTankWritten[] = {kPTankPosition, kPTankMatrix,    kPTankSize,
                                     kPTankColour,   kPTankTexCoords2, kPTankRotation};

struct TankCursors
{
    char* dst[6] = {};
    char* src[6] = {};
    int32_t stride[6] = {};
    int32_t index[6] = {-1, -1, -1, -1, -1, -1};
};

enum
{
    kCurPosition,
    kCurMatrix,
    kCurSize,
    kCurColour,
    kCurTexCoords,
    kCurRotation
};

TankCursors TakeCursors(const PrtStdTankBlock* block, uint32_t mask)
{
    TankCursors c;
    for (int32_t k = 0; k < 6; ++k)
    {
        const int32_t i = TankIndex(block, kTankWritten[k]);
        if (i < 0 || !(mask & kTankWritten[k]))
            continue;
        c.index[k] = i;
        c.dst[k] = static_cast<char*>(block->destinations[i]);
        c.src[k] = static_cast<char*>(block->sources[i]);
        c.stride[k] = block->strides[i];
    }
    return c;
}

void StoreCursors(PrtStdTankBlock* block, const TankCursors& c, bool sources)
{
    for (int32_t k = 0; k < 6; ++k)
        if (c.index[k] >= 0)
        {
            block->destinations[c.index[k]] = c.dst[k];
            if (sources)
                block->sources[c.index[k]] = c.src[k];
        }
}

Vector Cross(const Vector& a, const Vector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Biased(float value, float bias, uint32_t* random)
{
    return value + PrtStdEmitterStd::Random(random) * bias;
}

Vector BiasedVector(const Vector& value, const Vector& bias, uint32_t* random)
{
    Vector v;
    v.x = Biased(value.x, bias.x, random);
    v.y = Biased(value.y, bias.y, random);
    v.z = Biased(value.z, bias.z, random);
    return v;
}

float Dist2(const Vector& a, const Vector& b)
{
    const float x = a.x - b.x, y = a.y - b.y, z = a.z - b.z;
    return x * x + y * y + z * z;
}
} // namespace

// ---- Emitter entry --------------------------------------------------------------------------------

PrtStdEmitter* PrtStdEmitterStd::Create(Atomic*, PrtStdEmitter* emitter, void*)
{
    PrtStdEmitterStd* s = PrtStdEmitter::GetStandard(emitter);
    if (!s)
        return emitter;
    emitter->flags |= 0x7F;
    s->random = 1;
    s->size = {1, 1};
    s->colour = {255, 255, 255, 255};
    s->rotationRate = 0;
    s->texCoords[0] = {0, 0};
    s->texCoords[1] = {1, 1};
    s->texCoords[2] = {0, 0};
    s->texCoords[3] = {0, 0};
    s->texture = nullptr;
    return emitter;
}

PrtStdEmitter* PrtStdEmitterStd::Destroy(Atomic*, PrtStdEmitter* emitter, void*)
{
    PrtStdEmitterStd* s = PrtStdEmitter::GetStandard(emitter);
    if (s && (emitter->flags & kPrtStdEmitterFlagFromStream) && s->texture)
    {
        Texture::Destroy(s->texture);
        s->texture = nullptr;
    }
    return emitter;
}

PrtStdEmitter* PrtStdEmitterStd::Clone(Atomic*, PrtStdEmitter* source, void* data)
{
    auto* copy = static_cast<PrtStdEmitter*>(data);
    if (PrtStdEmitterStd* s = PrtStdEmitter::GetStandard(source))
    {
        PrtStdEmitterStd* d = PrtStdEmitter::GetStandard(copy);
        *d = *s;
        if (d->texture)
        {
            ++d->texture->refCount;
            // The clone's reference is its own, released with it.
            copy->flags |= kPrtStdEmitterFlagFromStream;
        }
    }
    const int32_t whole[] = {PrtStdEmitterProperty::kColourId, PrtStdEmitterProperty::kTexCoordsId,
                             PrtStdEmitterProperty::kMatrixId, PrtStdEmitterProperty::kSizeId,
                             PrtStdEmitterProperty::kRotationId};
    const int32_t sizes[] = {PrtStdEmitterProperty::kColourSize, PrtStdEmitterProperty::kTexCoordsSize,
                             PrtStdEmitterProperty::kMatrixSize, PrtStdEmitterProperty::kSizeSize,
                             PrtStdEmitterProperty::kRotationSize};
    for (int32_t i = 0; i < 5; ++i)
    {
        void* from = PrtStdEmitter::GetProperty(source, whole[i]);
        void* to = PrtStdEmitter::GetProperty(copy, whole[i]);
        if (from && to)
            std::memcpy(to, from, size_t(sizes[i]));
    }
    PrtStdTankBlock* fromBlock = PrtStdEmitter::GetTankBlock(source);
    PrtStdTankBlock* toBlock = PrtStdEmitter::GetTankBlock(copy);
    if (fromBlock && toBlock)
        PrtStdTankBlock::CopySettings(toBlock, fromBlock);
    return source;
}

PrtStdEmitter* PrtStdEmitterStd::BeginUpdate(Atomic* atomic, PrtStdEmitter* emitter, void* updateData)
{
    PrtStdEmitterStd* s = PrtStdEmitter::GetStandard(emitter);
    if (!s)
        return nullptr;
    const float dt = static_cast<PrtStdUpdateData*>(updateData)->elapsed;
    Frame* frame = atomic ? atomic->object.frame : nullptr;
    s->worldMatrix = frame ? Frame::GetWorldMatrix(frame) : nullptr;
    s->time += dt;
    PrtStdTankBlock* block = PrtStdEmitter::GetTankBlock(emitter);
    if (block && (block->updateMask & kPTankConstantRotation) && block->tank)
    {
        PTankRecord* record = PTank::Get(block->tank);
        record->data.rotation = WrapOnce(record->data.rotation + dt * s->rotationRate);
        record->instanceFlags |= kPTankMarkConstantRotation;
    }
    return emitter;
}

PrtStdEmitter* PrtStdEmitterStd::EndUpdate(Atomic*, PrtStdEmitter* emitter, void*)
{
    PrtStdEmitterStd* s = PrtStdEmitter::GetStandard(emitter);
    if (!s)
        return nullptr;
    if (s->time >= s->nextEmitTime)
    {
        s->lastEmitTime = s->time;
        const float r = Random(&s->random);
        s->nextEmitTime = s->time + s->gap + r * s->gapBias;
    }
    return emitter;
}

PrtStdEmitter* PrtStdEmitterStd::BeginRender(Atomic*, PrtStdEmitter* emitter, void*)
{
    if (emitter->activeCount <= 0)
        return emitter;
    PrtStdTankBlock* block = PrtStdEmitter::GetTankBlock(emitter);
    if (!block)
        return nullptr;
    if (block->writtenCount != 0 && block->tank)
    {
        AtomicRenderCallback render = block->tank->renderCallback;
        if (!render || !render(block->tank))
            return nullptr;
    }
    return emitter;
}

PrtStdEmitter* PrtStdEmitterStd::Emit(Atomic*, PrtStdEmitter* emitter, void*)
{
    PrtStdEmitterStd* s = PrtStdEmitter::GetStandard(emitter);
    const PrtStdOffsetCache* o = PrtStd::GetOffsets();
    if (!s || !emitter->particleClass || o->particleOffsets[PrtStdParticleProperty::kStandardId] != 0)
        return nullptr;
    if (s->nextEmitTime > s->time)
        return emitter;
    uint32_t random = s->random;
    PrtStdTankBlock* block = PrtStdEmitter::GetTankBlock(emitter);
    int32_t n = s->emitCount + TruncInt(Random(&random) * float(s->emitCountBias));
    if (block && n > block->capacity - emitter->activeCount)
        n = block->capacity - emitter->activeCount;
    if (n <= 0)
    {
        s->random = random;
        return emitter;
    }
    PrtStdBatch* batch = emitter->activeBatches;
    if (!batch || batch->capacity - batch->count < n)
    {
        batch = PrtStdEmitter::NewParticleBatch(emitter);
        if (!batch)
            return nullptr;
        if (n > batch->capacity)
            n = batch->capacity;
    }

    char* data = PrtStdEmitter::Data(emitter);
    auto* eColour = EmitterProp<EmitterColour>(data, o, PrtStdEmitterProperty::kColourId);
    auto* eTex = EmitterProp<EmitterTexCoords>(data, o, PrtStdEmitterProperty::kTexCoordsId);
    auto* eRot = EmitterProp<EmitterRotation>(data, o, PrtStdEmitterProperty::kRotationId);
    auto* eSize = EmitterProp<EmitterSize>(data, o, PrtStdEmitterProperty::kSizeId);
    auto* eMatrix = EmitterProp<EmitterMatrix>(data, o, PrtStdEmitterProperty::kMatrixId);
    TankCursors tank;
    if (block)
        tank = TakeCursors(block, block->emitMask);

    const int32_t recordSize = emitter->particleClass->recordSize;
    char* record = PrtStdBatch::Records(batch) + ptrdiff_t(batch->count) * recordSize;
    const Matrix* world = s->worldMatrix;
    for (int32_t k = 0; k < n; ++k, record += recordSize)
    {
        auto* standard = reinterpret_cast<ParticleStandard*>(record);
        standard->age = 0;
        standard->life = Biased(s->life, s->lifeBias, &random);
        standard->recipLife = standard->life != 0 ? 1.0f / standard->life : 0.0f;

        if (auto* velocity = ParticleProp<Vector>(record, o, PrtStdParticleProperty::kVelocityId))
        {
            Vector direction = BiasedVector(s->direction, s->directionBias, &random);
            Vector::NormalizeUnchecked(&direction, &direction);
            if (world)
                Vector::TransformVector(&direction, &direction, world);
            const float speed = Biased(s->speed, s->speedBias, &random);
            *velocity = {direction.x * speed, direction.y * speed, direction.z * speed};
        }
        // Classes without velocity get a start point too: the same draws follow the same
        // order, and their particles still start inside the emission box.
        Vector start = BiasedVector(s->emitPosition, s->emitBox, &random);
        if (world)
            Vector::TransformPoint(&start, &start, world);
        if (auto* position = ParticleProp<Vector>(record, o, PrtStdParticleProperty::kPositionId))
            *position = start;
        if (auto* m = ParticleProp<Matrix>(record, o, PrtStdParticleProperty::kMatrixId))
            *m = Identity();

        auto* pSize = ParticleProp<ParticleSize>(record, o, PrtStdParticleProperty::kSizeId);
        float w = s->size.x, h = s->size.y;
        if (eSize)
        {
            w = Biased(eSize->start[0], eSize->startBias[0], &random);
            h = Biased(eSize->start[1], eSize->startBias[1], &random);
        }
        if (pSize)
        {
            float ew = w, eh = h;
            if (eSize)
            {
                ew = Biased(eSize->end[0], eSize->endBias[0], &random);
                eh = Biased(eSize->end[1], eSize->endBias[1], &random);
            }
            pSize->start[0] = pSize->current[0] = w;
            pSize->start[1] = pSize->current[1] = h;
            pSize->delta[0] = ew - w;
            pSize->delta[1] = eh - h;
        }

        float colour[4] = {float(s->colour.red), float(s->colour.green), float(s->colour.blue),
                           float(s->colour.alpha)};
        if (eColour)
        {
            for (int32_t c = 0; c < 4; ++c)
                colour[c] = Biased(eColour->start[c], eColour->startBias[c], &random);
            if (auto* pColour = ParticleProp<ParticleColour>(record, o, PrtStdParticleProperty::kColourId))
                for (int32_t c = 0; c < 4; ++c)
                {
                    pColour->start[c] = colour[c];
                    pColour->delta[c] = Biased(eColour->end[c], eColour->endBias[c], &random) - colour[c];
                }
        }

        float rotation = 0;
        if (eRot)
        {
            rotation = WrapOnce(Biased(eRot->start, eRot->startBias, &random));
            if (auto* pRot = ParticleProp<ParticleRotation>(record, o, PrtStdParticleProperty::kRotationId))
            {
                pRot->start = rotation;
                pRot->delta = Biased(eRot->end, eRot->endBias, &random) - rotation;
            }
        }

        float uv[4] = {s->texCoords[0].x, s->texCoords[0].y, s->texCoords[1].x, s->texCoords[1].y};
        if (eTex)
        {
            // (U0, V0) come from the first pair's record, (U1, V1) from the second's.
            for (int32_t c = 0; c < 4; ++c)
                uv[c] = Biased(eTex->pair[c / 2][0][c % 2], eTex->pair[c / 2][1][c % 2], &random);
            if (auto* pTex = ParticleProp<ParticleTexCoords>(record, o, PrtStdParticleProperty::kTexCoordsId))
                for (int32_t c = 0; c < 4; ++c)
                {
                    pTex->start[c] = uv[c];
                    pTex->delta[c] = Biased(eTex->pair[c / 2][2][c % 2], eTex->pair[c / 2][3][c % 2], &random) - uv[c];
                }
        }

        if (!block)
            continue;
        if (char*& d = tank.dst[kCurPosition])
        {
            std::memcpy(d, &start, sizeof start);
            d += tank.stride[kCurPosition];
        }
        if (char*& d = tank.dst[kCurMatrix])
        {
            Vector at{0, 0, 1}, up{0, 1, 0};
            if (eMatrix)
            {
                at = BiasedVector(eMatrix->at, eMatrix->atBias, &random);
                up = BiasedVector(eMatrix->up, eMatrix->upBias, &random);
            }
            Vector::NormalizeUnchecked(&at, &at);
            Vector::NormalizeUnchecked(&up, &up);
            Vector right = Cross(at, up);
            up = Cross(right, at);
            auto* m = reinterpret_cast<Matrix*>(d);
            m->flags = 0; // scaled rows: a general matrix
            m->right = {right.x * w, right.y * w, right.z * w};
            m->up = {up.x * h, up.y * h, up.z * h};
            m->at = at;
            m->pos = start;
            d += tank.stride[kCurMatrix];
        }
        if (char*& d = tank.dst[kCurSize])
        {
            const float wh[2] = {w, h};
            std::memcpy(d, wh, sizeof wh);
            d += tank.stride[kCurSize];
        }
        if (char*& d = tank.dst[kCurColour])
        {
            for (int32_t c = 0; c < 4; ++c)
                d[c] = char(ColourByte(colour[c]));
            d += tank.stride[kCurColour];
        }
        if (char*& d = tank.dst[kCurTexCoords])
        {
            std::memcpy(d, uv, sizeof uv);
            d += tank.stride[kCurTexCoords];
        }
        if (char*& d = tank.dst[kCurRotation])
        {
            std::memcpy(d, &rotation, sizeof rotation);
            d += tank.stride[kCurRotation];
        }
    }

    if (block)
    {
        block->writtenCount += n;
        StoreCursors(block, tank, false);
    }
    batch->firstNew = batch->count;
    batch->count += n;
    emitter->activeCount += n;
    s->random = random;
    return emitter;
}

PrtStdEmitterClass* PrtStdEmitterStd::SetCallbacks(PrtStdEmitterClass* emitterClass)
{
    PrtStdEmitterCallbacks entry{};
    entry.slot[kPrtStdEmitterEmit] = Emit;
    entry.slot[kPrtStdEmitterBeginUpdate] = BeginUpdate;
    entry.slot[kPrtStdEmitterEndUpdate] = EndUpdate;
    entry.slot[kPrtStdEmitterBeginRender] = BeginRender;
    entry.slot[kPrtStdEmitterCreate] = Create;
    entry.slot[kPrtStdEmitterDestroy] = Destroy;
    entry.slot[kPrtStdEmitterStreamRead] = StreamRead;
    entry.slot[kPrtStdEmitterStreamWrite] = StreamWrite;
    entry.slot[kPrtStdEmitterStreamSize] = StreamGetSize;
    entry.slot[kPrtStdEmitterClone] = Clone;
    return PrtStdEmitterClass::SetCallbacks(emitterClass, 1, &entry);
}

// ---- Particle entry -------------------------------------------------------------------------------

PrtStdBatch* PrtStdParticleStd::Update(PrtStdEmitter* emitter, PrtStdBatch* batch, void* updateData)
{
    const PrtStdOffsetCache* o = PrtStd::GetOffsets();
    if (o->particleOffsets[PrtStdParticleProperty::kStandardId] != 0)
        return nullptr;
    const float dt = static_cast<PrtStdUpdateData*>(updateData)->elapsed;
    PrtStdEmitterStd* s = PrtStdEmitter::GetStandard(emitter);
    PrtStdTankBlock* block = PrtStdEmitter::GetTankBlock(emitter);
    auto* eMatrix =
        EmitterProp<EmitterMatrix>(PrtStdEmitter::Data(emitter), o, PrtStdEmitterProperty::kMatrixId);
    const bool emitterMatrix = eMatrix && eMatrix->enable != 0;
    const Vector force = s ? s->force : Vector{0, 0, 0};
    Vector reference{0, 0, 0};
    if (s && s->worldMatrix)
        reference = s->worldMatrix->pos;
    float largest = 0;

    TankCursors tank;
    if (block)
        tank = TakeCursors(block, block->updateMask);

    const int32_t recordSize = batch->particleClass ? batch->particleClass->recordSize : 0;
    char* read = PrtStdBatch::Records(batch);
    char* write = read;
    int32_t survivors = 0;
    for (int32_t i = 0; i < batch->count; ++i, read += recordSize)
    {
        auto* standard = reinterpret_cast<ParticleStandard*>(read);
        if (standard->age < standard->life)
        {
            standard->age += dt;
            float t = standard->age * standard->recipLife;
            if (t > 1)
                t = 1;
            auto* velocity = ParticleProp<Vector>(read, o, PrtStdParticleProperty::kVelocityId);
            Vector step{0, 0, 0};
            if (velocity)
            {
                velocity->x += dt * force.x;
                velocity->y += dt * force.y;
                velocity->z += dt * force.z;
                step = {dt * velocity->x, dt * velocity->y, dt * velocity->z};
                if (auto* position = ParticleProp<Vector>(read, o, PrtStdParticleProperty::kPositionId))
                {
                    position->x += step.x;
                    position->y += step.y;
                    position->z += step.z;
                }
            }
            auto* size = ParticleProp<ParticleSize>(read, o, PrtStdParticleProperty::kSizeId);
            float oldSize[2] = {0, 0};
            if (size)
            {
                oldSize[0] = size->current[0];
                oldSize[1] = size->current[1];
                size->current[0] = size->start[0] + t * size->delta[0];
                size->current[1] = size->start[1] + t * size->delta[1];
            }
            if (read != write)
                std::memcpy(write, read, size_t(recordSize));
            char* live = write;
            write += recordSize;
            ++survivors;

            if (block)
            {
                if (char*& d = tank.dst[kCurPosition])
                {
                    Vector p;
                    std::memcpy(&p, tank.src[kCurPosition], sizeof p);
                    p = {p.x + step.x, p.y + step.y, p.z + step.z};
                    std::memcpy(d, &p, sizeof p);
                    largest = std::max(largest, Dist2(p, reference));
                    d += tank.stride[kCurPosition];
                }
                if (char*& d = tank.dst[kCurMatrix])
                {
                    float sx = 1, sy = 1;
                    if (size)
                    {
                        sx = oldSize[0] != 0 ? size->current[0] / oldSize[0] : 1;
                        sy = oldSize[1] != 0 ? size->current[1] / oldSize[1] : 1;
                    }
                    auto* src = reinterpret_cast<Matrix*>(tank.src[kCurMatrix]);
                    auto* dst = reinterpret_cast<Matrix*>(d);
                    auto* particleMatrix = ParticleProp<Matrix>(live, o, PrtStdParticleProperty::kMatrixId);
                    if (!particleMatrix && !emitterMatrix)
                    {
                        const Vector from = src->pos;
                        if (src != dst)
                        {
                            dst->right = src->right;
                            dst->flags = src->flags;
                            dst->up = src->up;
                            dst->at = src->at;
                        }
                        // Scaled where it now lies, so a particle moved down by a death
                        // keeps following its size.
                        dst->right = {dst->right.x * sx, dst->right.y * sx, dst->right.z * sx};
                        dst->up = {dst->up.x * sy, dst->up.y * sy, dst->up.z * sy};
                        dst->pos = {from.x + step.x, from.y + step.y, from.z + step.z};
                    }
                    else
                    {
                        const Vector kept = src->pos;
                        src->pos = {0, 0, 0};
                        src->right = {src->right.x * sx, src->right.y * sx, src->right.z * sx};
                        src->up = {src->up.x * sy, src->up.y * sy, src->up.z * sy};
                        // The product goes through a temporary: source and destination may
                        // be the same slot.
                        // Tank matrices are never the identity, whatever their flags word
                        // holds: the product must not be taken for a copy.
                        Matrix rows = *src;
                        rows.flags = 0;
                        Matrix product;
                        Matrix::Multiply(&product, &rows, particleMatrix ? particleMatrix : &eMatrix->rotation);
                        *dst = product;
                        dst->pos = {dst->pos.x + kept.x + step.x, dst->pos.y + kept.y + step.y,
                                    dst->pos.z + kept.z + step.z};
                    }
                    largest = std::max(largest, Dist2(dst->pos, reference));
                    d += tank.stride[kCurMatrix];
                }
                if (char*& d = tank.dst[kCurSize])
                {
                    if (size)
                        std::memcpy(d, size->current, 8);
                    else if (d != tank.src[kCurSize])
                        std::memmove(d, tank.src[kCurSize], 8);
                    d += tank.stride[kCurSize];
                }
                if (char*& d = tank.dst[kCurColour])
                {
                    if (auto* c = ParticleProp<ParticleColour>(live, o, PrtStdParticleProperty::kColourId))
                        for (int32_t ch = 0; ch < 4; ++ch)
                            d[ch] = char(ColourByte(c->start[ch] + t * c->delta[ch]));
                    else if (d != tank.src[kCurColour])
                        std::memmove(d, tank.src[kCurColour], 4);
                    d += tank.stride[kCurColour];
                }
                if (char*& d = tank.dst[kCurTexCoords])
                {
                    if (auto* c = ParticleProp<ParticleTexCoords>(live, o, PrtStdParticleProperty::kTexCoordsId))
                    {
                        float uv[4];
                        for (int32_t ch = 0; ch < 4; ++ch)
                            uv[ch] = c->start[ch] + t * c->delta[ch];
                        std::memcpy(d, uv, sizeof uv);
                    }
                    else if (d != tank.src[kCurTexCoords])
                        std::memmove(d, tank.src[kCurTexCoords], 16);
                    d += tank.stride[kCurTexCoords];
                }
                if (char*& d = tank.dst[kCurRotation])
                {
                    if (auto* c = ParticleProp<ParticleRotation>(live, o, PrtStdParticleProperty::kRotationId))
                    {
                        const float r = c->start + t * c->delta;
                        std::memcpy(d, &r, 4);
                    }
                    else if (d != tank.src[kCurRotation])
                        std::memmove(d, tank.src[kCurRotation], 4);
                    d += tank.stride[kCurRotation];
                }
            }
        }
        for (int32_t k = 0; k < 6; ++k)
            if (tank.src[k])
                tank.src[k] += tank.stride[k];
    }
    batch->count = survivors;
    if (block)
    {
        block->writtenCount += survivors;
        StoreCursors(block, tank, true);
    }
    if (largest > emitter->radius)
        emitter->radius = largest;
    return batch;
}

PrtStdParticleClass* PrtStdParticleStd::SetCallbacks(PrtStdParticleClass* particleClass)
{
    PrtStdParticleCallbacks entry{};
    entry.slot[kPrtStdParticleUpdate] = Update;
    return PrtStdParticleClass::SetCallbacks(particleClass, 1, &entry);
}
