// The program's particle callbacks: emitter tracks, emission, scheduling, property copy on
// clone and the particle update. Nothing here allocates; every value is reached through the
// class's property layout, and an absent offset skips the code that would use it.
#include "kparticle.h"

#include "clump.h"
#include "frame.h"
#include "ktrackeval.h"
#include "matrix.h"
#include "prtstd.h"
#include "prtstdclass.h"
#include "prtstdproperty.h"
#include "ptank.h"
#include "quat.h"
#include "texture.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace
{
constexpr float kDegreesToRadians = 0.017453292f;
/// The acceleration warp gives up after this many periods (a tiny period or speed would
/// otherwise loop for a long time) and keeps the time it reached.
constexpr int32_t kMaxWarpPeriods = 256;

uint32_t gSharedSeed = 1;

struct ParticleStandard
{
    uint32_t spare;
    float age;
    float life;
    float recipLife;
};

/// Floats of the value of each track number.
constexpr int32_t kFloats[KTrackNumber::kCount] = {
    0, 2, 2, 1, 2, // SIZE, its bias, bias scale, emitter SIZE
    3, 3, 1, 3,    // COLOR, bias, bias scale, emitter COLOR
    1, 1, 1,       // ALPHA, bias, emitter ALPHA
    1, 1, 1,       // ROT2D, bias, emitter ROT2D
    3, 3,          // POSITION, bias
    1, 3, 3, 3, 4, // INITVEL, INITDIR, FORCE, emitter POSITION, ORIENTATION
    1, 1, 0, 0, 0, // GAP, EMIT, SHAPE, RP, CONSTRAINTS
};

/// The emitter tracks evaluated at the emitter's time, in order.
constexpr int32_t kEmitterEvaluated[] = {KTrackNumber::kGap,
                                         KTrackNumber::kEmit,
                                         KTrackNumber::kEmtPosition,
                                         KTrackNumber::kOrientation,
                                         KTrackNumber::kPrtPositionBias,
                                         KTrackNumber::kEmtColor,
                                         KTrackNumber::kPrtColorBias,
                                         KTrackNumber::kEmtAlpha,
                                         KTrackNumber::kPrtAlphaBias,
                                         KTrackNumber::kEmtRot2d,
                                         KTrackNumber::kPrtRot2dBias,
                                         KTrackNumber::kEmtSize,
                                         KTrackNumber::kPrtSizeBias,
                                         KTrackNumber::kPrtSizeBiasScale,
                                         KTrackNumber::kForce,
                                         KTrackNumber::kInitDir,
                                         KTrackNumber::kInitVel};

/// The five particle values: track number, the emitter track holding the current value, its
/// bias and bias-scale tracks (0 none), the source index.
struct ValueSpec
{
    int32_t number, current, bias, scale, source;
};
// In the order emission draws them.
constexpr ValueSpec kValues[] = {
    {KTrackNumber::kPrtColor, KTrackNumber::kEmtColor, KTrackNumber::kPrtColorBias, KTrackNumber::kPrtColorBiasScale,
     kSourceColour},
    {KTrackNumber::kPrtAlpha, KTrackNumber::kEmtAlpha, KTrackNumber::kPrtAlphaBias, 0, kSourceAlpha},
    {KTrackNumber::kPrtSize, KTrackNumber::kEmtSize, KTrackNumber::kPrtSizeBias, KTrackNumber::kPrtSizeBiasScale,
     kSourceSize},
    {KTrackNumber::kPrtPosition, KTrackNumber::kPrtPosition, KTrackNumber::kPrtPositionBias, 0, kSourcePosition},
    {KTrackNumber::kPrtRot2d, KTrackNumber::kEmtRot2d, KTrackNumber::kPrtRot2dBias, 0, kSourceRotation},
};
constexpr int32_t kColourValue = 0, kAlphaValue = 1, kSizeValue = 2, kPositionValue = 3, kRotationValue = 4;

float* F(char* record, int32_t offset)
{
    return offset >= 0 ? reinterpret_cast<float*>(record + offset) : nullptr;
}

int32_t Word(char* record, int32_t offset, int32_t absent)
{
    if (offset < 0)
        return absent;
    int32_t v;
    std::memcpy(&v, record + offset, sizeof v);
    return v;
}

float Float(char* record, int32_t offset, float absent)
{
    const float* f = F(record, offset);
    return f ? *f : absent;
}

bool NonZero(const float* v, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        if (v[i] != 0.0f)
            return true;
    return false;
}

Vector Cross(const Vector& a, const Vector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Length(const Vector& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

/// Unit length; the zero vector gives (0, 1, 0).
Vector UnitOrUp(const Vector& v)
{
    const float l = Length(v);
    if (!(l > 0.0f))
        return {0, 1, 0};
    return {v.x / l, v.y / l, v.z / l};
}

Vector Unit(const Vector& v)
{
    const float l = Length(v);
    return l > 0.0f ? Vector{v.x / l, v.y / l, v.z / l} : v;
}

float Dist2(const Vector& a, const Vector& b)
{
    const float x = a.x - b.x, y = a.y - b.y, z = a.z - b.z;
    return x * x + y * y + z * z;
}

/// Truncated toward zero and clamped to a byte; NaN gives 0.
uint8_t ClampByte(float v)
{
    if (!(v > 0.0f))
        return 0;
    if (v >= 255.0f)
        return 255;
    return uint8_t(int32_t(v));
}

const float* Evaluate(float t, const float* keys, int32_t count, int32_t floats)
{
    switch (floats)
    {
    case 1:
        return KTrackEvalScalar(t, keys, count);
    case 2:
        return KTrackEvalVec2(t, keys, count);
    case 3:
        return KTrackEvalVec3(t, keys, count);
    case 4:
        return reinterpret_cast<const float*>(KTrackEvalOrientation(t, keys, count));
    default:
        return nullptr;
    }
}

int32_t KeyCount(char* data, const int32_t* slots)
{
    if (slots[kSlotKeys] < 0 || slots[kSlotKeyCount] < 0)
        return 0;
    uint16_t n;
    std::memcpy(&n, data + slots[kSlotKeyCount], sizeof n);
    return n;
}

/// Cursors into the tank's staging arrays of the bits wanted.
struct TankCursors
{
    static constexpr uint32_t kBits[] = {kPTankPosition,   kPTankColour,   kPTankSize,
                                         kPTankMatrix,     kPTankRotation, kPTankTexCoords2,
                                         kPTankTexCoords4, kPTankNormal,   kPTankVertexColours};
    static constexpr int32_t kCount = 9;
    char* src[kCount] = {};
    char* dst[kCount] = {};
    int32_t stride[kCount] = {};
    int32_t index[kCount] = {-1, -1, -1, -1, -1, -1, -1, -1, -1};
    int32_t size[kCount] = {};

    void Take(const PrtStdTankBlock* block, uint32_t mask)
    {
        for (int32_t k = 0; k < kCount; ++k)
        {
            const uint32_t bit = kBits[k];
            if (!(block->lockedProperties & bit) || !(mask & bit))
                continue;
            const int32_t i = std::popcount(block->lockedProperties & (bit - 1));
            index[k] = i;
            src[k] = static_cast<char*>(block->sources[i]);
            dst[k] = static_cast<char*>(block->destinations[i]);
            stride[k] = block->strides[i];
            size[k] = PTank::kElementSize[std::countr_zero(SlotOfBit(bit))];
        }
    }
    static uint32_t SlotOfBit(uint32_t bit)
    {
        for (int32_t s = 0; s < kPTankNumSlots; ++s)
            if (PTank::kSlotBit[s] == bit)
                return 1u << s;
        return 1;
    }
    void Store(PrtStdTankBlock* block, bool sources) const
    {
        for (int32_t k = 0; k < kCount; ++k)
            if (index[k] >= 0)
            {
                block->destinations[index[k]] = dst[k];
                if (sources)
                    block->sources[index[k]] = src[k];
            }
    }
    /// The entry of a bit, or null.
    char* Dst(int32_t k) const { return dst[k]; }
};
constexpr int32_t kCurPosition = 0, kCurColour = 1, kCurSize = 2, kCurMatrix = 3, kCurRotation = 4, kCurTex2 = 5;

/// The values one callback needs of the emitter.
struct Context
{
    PrtStdEmitter* emitter;
    KEmitterUpdateParams* params;
    PrtStdEmitterStd* standard;
    PrtStdTankBlock* block;
    const KPropertyLayout* layout;
    char* data;
    const PrtStdOffsetCache* offsets;

    bool Make(PrtStdEmitter* e, void* p)
    {
        emitter = e;
        params = static_cast<KEmitterUpdateParams*>(p);
        standard = PrtStdEmitter::GetStandard(e);
        block = PrtStdEmitter::GetTankBlock(e);
        data = PrtStdEmitter::Data(e);
        layout = params ? params->layout : nullptr;
        offsets = PrtStd::GetOffsets();
        return standard && layout && params;
    }
    const int32_t* E(int32_t number) const { return layout->emitter[number]; }
    const int32_t* P(int32_t number) const { return layout->particle[number]; }
    float* Value(int32_t number) const { return F(data, layout->emitter[number][kSlotValue]); }
    /// An emitter track's constant bias.
    float* Bias(int32_t number) const { return F(data, layout->emitter[number][kSlotBias]); }
    float Def(int32_t slot, float absent) const { return Float(data, layout->definition[slot], absent); }
    char* ParticleProperty(char* record, int32_t id) const
    {
        const int32_t o = offsets->particleOffsets[id];
        return o >= 0 ? record + o : nullptr;
    }
    /// Where the particle keeps its world position: its position, or its matrix's.
    Vector* Position(char* record) const
    {
        if (char* p = ParticleProperty(record, PrtStdParticleProperty::kPositionId))
            return reinterpret_cast<Vector*>(p);
        if (char* m = ParticleProperty(record, PrtStdParticleProperty::kMatrixId))
            return &reinterpret_cast<Matrix*>(m)->pos;
        return nullptr;
    }
    Vector EmitterPosition() const { return standard->worldMatrix ? standard->worldMatrix->pos : Vector{0, 0, 0}; }
};

/// The reference-point orientation of a particle: its own slots, else the emitter's.
void LoadRp(const Context& c, char* record, KRpParticle* rp)
{
    const int32_t* e = c.E(KTrackNumber::kRp);
    const int32_t* p = c.P(KTrackNumber::kRp);
    std::memset(rp, 0, sizeof *rp);
    if (p[kRpParticleMatrix] >= 0)
        std::memcpy(rp->matrix, record + p[kRpParticleMatrix], sizeof rp->matrix);
    else if (e[kRpSlotMatrix] >= 0)
        std::memcpy(rp->matrix, c.data + e[kRpSlotMatrix], sizeof rp->matrix);
    if (p[kRpParticleAxis] >= 0)
        std::memcpy(rp->axis, record + p[kRpParticleAxis], sizeof rp->axis);
    if (p[kRpParticleAngle] >= 0)
        std::memcpy(&rp->angle, record + p[kRpParticleAngle], sizeof rp->angle);
    else if (const float* axis = F(c.data, e[kRpSlotAxis]))
        rp->angle = axis[3];
}

/// The particle's quad matrix: billboard from its constraint axes, turned by rot degrees
/// about its at axis, scaled by size, at position.
void ParticleMatrix(const Context& c, char* record, Matrix* out, const Vector* velocity, const Vector& position,
                    const float* size, float rot)
{
    const int32_t* k = c.E(KTrackNumber::kConstraints);
    const int32_t* kp = c.P(KTrackNumber::kConstraints);
    Vector u{0, 0, 0}, r{0, 0, 0};
    bool hasU = false, hasR = false;
    if (const float* up = F(c.data, k[kConstraintUp]); up && NonZero(up, 3))
        u = {up[0], up[1], up[2]}, hasU = true;
    if (const float* right = F(c.data, k[kConstraintRight]); right && NonZero(right, 3))
        r = {right[0], right[1], right[2]}, hasR = true;
    const int32_t flags = Word(c.data, k[kConstraintFlags], 0);
    if ((flags & 1) && velocity && Length(*velocity) > 0.0f)
        u = Unit(*velocity), hasU = true;
    if (const float* rb = record ? F(record, kp[kConstraintParticleRight]) : nullptr)
        r = Unit({r.x + rb[0], r.y + rb[1], r.z + rb[2]}), hasR = true;
    if (const float* ub = record ? F(record, kp[kConstraintParticleUp]) : nullptr)
        u = Unit({u.x + ub[0], u.y + ub[1], u.z + ub[2]}), hasU = true;
    if (hasU && hasR)
        r = Unit(Cross(Cross(r, u), u));

    Matrix camera{};
    if (c.params->cameraMatrix)
        camera = *c.params->cameraMatrix;
    else
    {
        camera.right = {1, 0, 0};
        camera.up = {0, 1, 0};
        camera.at = {0, 0, 1};
    }
    Matrix m{};
    m.right = {1, 0, 0};
    m.up = {0, 1, 0};
    m.at = {0, 0, 1};
    if (c.layout->viewpointOriented)
        KBillboardViewpoint(&m, &camera, &position, hasU ? &u : nullptr, hasR ? &r : nullptr);
    else
        KBillboardCamera(&m, &camera, hasU ? &u : nullptr, hasR ? &r : nullptr);
    if (rot != 0.0f && Length(m.at) > 0.0f)
    {
        Matrix spin{};
        Matrix::Rotate(&spin, &m.at, rot, kCombineReplace);
        Vector::TransformVector(&m.right, &m.right, &spin);
        Vector::TransformVector(&m.up, &m.up, &spin);
    }
    out->right = {m.right.x * size[0], m.right.y * size[0], m.right.z * size[0]};
    out->up = {m.up.x * size[1], m.up.y * size[1], m.up.z * size[1]};
    out->at = {0, 0, 0};
    out->pos = position;
    out->flags = 0;
}

// ---- Value sources ------------------------------------------------------------------------------

/// The emitter's current value of the query's track, or the track's start value.
void Current(float* out, const KValueQuery& q, int32_t current)
{
    if (const float* v = F(q.emitter, q.layout->emitter[current][kSlotValue]))
        std::memcpy(out, v, size_t(q.floats) * sizeof(float));
    else
        for (int32_t i = 0; i < q.floats; ++i)
            out[i] = q.number == KTrackNumber::kPrtSize ? 100.0f : 0.0f;
}

int32_t CurrentNumber(int32_t number)
{
    for (const ValueSpec& v : kValues)
        if (v.number == number)
            return v.current;
    return number;
}

void SourceFollow(float* out, const float*, const KValueQuery& q)
{
    if (const float* stored = F(q.particle, q.layout->particle[q.number][kParticleSlotValue]))
    {
        std::memcpy(out, stored, size_t(q.floats) * sizeof(float));
        return;
    }
    Current(out, q, CurrentNumber(q.number));
    if (const float* offset = F(q.particle, q.layout->particle[q.number][kParticleSlotBias]))
        for (int32_t i = 0; i < q.floats; ++i)
            out[i] += offset[i];
}

void SourceConstant(float* out, const float* input, const KValueQuery& q)
{
    if (const float* stored = F(q.particle, q.layout->particle[q.number][kParticleSlotValue]))
        std::memcpy(out, stored, size_t(q.floats) * sizeof(float));
    else if (input)
        std::memcpy(out, input, size_t(q.floats) * sizeof(float));
    else
        Current(out, q, CurrentNumber(q.number));
}

float TrackTime(const KValueQuery& q)
{
    const int32_t* slots = q.layout->emitter[q.number];
    const float base = Word(q.emitter, slots[kSlotTMode], kTModeNominal) == kTModeReal ? q.real : q.nominal;
    const float speed = Float(q.emitter, slots[kSlotSpeed], 1.0f);
    const float acceleration = Float(q.emitter, slots[kSlotAcceleration], 0.0f);
    if (speed == 1.0f && acceleration == 0.0f)
        return base;
    return KfxWarpTime(base, Float(q.emitter, slots[kSlotDuration], 0.0f), speed, acceleration);
}

void SourceTrack(float* out, const float*, const KValueQuery& q)
{
    void* link = nullptr;
    if (q.layout->definition[kDefFirstInEmission] >= 0)
        std::memcpy(&link, q.particle + q.layout->definition[kDefFirstInEmission], sizeof link);
    const float age = reinterpret_cast<const ParticleStandard*>(q.particle)->age;
    // Particles born together share one evaluation; one whose first particle is gone (or a
    // class without the link) evaluates for itself.
    if (!link || !*q.previousValid || q.previous[3] != age)
    {
        const int32_t* slots = q.layout->emitter[q.number];
        const int32_t count = KeyCount(q.emitter, slots);
        const float* v = count ? Evaluate(TrackTime(q), F(q.emitter, slots[kSlotKeys]), count, q.floats) : nullptr;
        if (v)
            std::memcpy(q.previous, v, size_t(q.floats) * sizeof(float));
        else
            Current(q.previous, q, CurrentNumber(q.number));
        q.previous[3] = age;
        *q.previousValid = true;
    }
    std::memcpy(out, q.previous, size_t(q.floats) * sizeof(float));
    if (const float* offset = F(q.particle, q.layout->particle[q.number][kParticleSlotBias]))
        for (int32_t i = 0; i < q.floats; ++i)
            out[i] += offset[i];
}

KValueSource SourceOfMode(int32_t mode)
{
    switch (mode)
    {
    case kIModeConstant:
        return SourceConstant;
    case kIModeLinear:
        return SourceTrack;
    default:
        return SourceFollow;
    }
}

void EvaluateEmitterTrack(const Context& c, int32_t number, float time)
{
    const int32_t* slots = c.E(number);
    const int32_t count = KeyCount(c.data, slots);
    float* value = c.Value(number);
    if (!count || !value)
        return;
    const float length = Float(c.data, slots[kSlotDuration], 0.0f);
    float t = time;
    if (t > length)
    {
        if (slots[kSlotLMode] < 0)
            t = length;
        else if (Word(c.data, slots[kSlotLMode], kLModeClamp) == kLModeRepeat)
            t = KfxLoopTime(t, length, true);
    }
    if (const float* v = Evaluate(t, F(c.data, slots[kSlotKeys]), count, kFloats[number]))
        std::memcpy(value, v, size_t(kFloats[number]) * sizeof(float));
}
} // namespace

// ---- Seeds and time ----------------------------------------------------------------------------

uint32_t KfxGetSharedSeed()
{
    return gSharedSeed;
}

void KfxSetSharedSeed(uint32_t seed)
{
    gSharedSeed = seed;
}

float KfxRandom(uint32_t* seed)
{
    return KRandomDraw(seed);
}

uint32_t KfxStepSeedThree(uint32_t seed)
{
    return seed * 473723277u - 183681627u;
}

float KfxLoopTime(float t, float length, bool repeat)
{
    if (!repeat)
        return t > length ? length : t;
    if (!(length > 0.0f))
        return 0.0f;
    return t - length * std::trunc(t / length);
}

float KfxWarpTime(float t, float length, float speed, float acceleration)
{
    if (!(length > 0.0f))
        return t;
    if (acceleration == 0.0f)
    {
        t *= speed;
        if (t > length)
        {
            // The repeated subtraction, in one step: t ends in (0, L].
            t = std::fmod(t, length);
            if (t == 0.0f)
                t = length;
        }
        return t;
    }
    float v = speed;
    float g = v == 1.0f ? length : length / v;
    for (int32_t i = 0; i < kMaxWarpPeriods && g < t && g > 0.0f; ++i)
    {
        t -= g;
        if (v > 0.0f)
        {
            v += acceleration;
            g = v == 1.0f ? length : length / v;
        }
        else
            v = 0.0f;
    }
    return v * t;
}

// ---- Emitter callbacks -------------------------------------------------------------------------

PrtStdEmitter* KfxEmitterUpdate(Atomic* atomic, PrtStdEmitter* emitter, void* params)
{
    Context c;
    if (!c.Make(emitter, params))
        return nullptr;
    PrtStdEmitterStd* s = c.standard;
    Frame* frame = atomic ? atomic->object.frame : nullptr;
    const Matrix* world = frame ? Frame::GetWorldMatrix(frame) : nullptr;
    s->worldMatrix = world;
    s->time += c.params->elapsed;

    if (!c.params->outOfView && c.block)
    {
        for (int32_t number : kEmitterEvaluated)
            EvaluateEmitterTrack(c, number, s->time);
        if ((c.block->updateMask & kPTankConstantMatrix) && c.block->tank)
        {
            const float size[2] = {1.0f, 1.0f};
            Matrix m;
            ParticleMatrix(c, nullptr, &m, nullptr, Vector{0, 0, 0}, size,
                           Float(c.data, c.E(KTrackNumber::kEmtRot2d)[kSlotValue], 0.0f));
            PTankRecord* tank = PTank::Get(c.block->tank);
            tank->data.matrix = m;
            tank->instanceFlags |= kPTankConstantMatrix;
        }
        for (const ValueSpec& v : kValues)
            c.params->sources[v.source] = SourceOfMode(Word(c.data, c.E(v.number)[kSlotIMode], kIModeFollow));
    }

    if (Matrix* placement = reinterpret_cast<Matrix*>(F(c.data, c.layout->definition[kDefPlacement])))
    {
        Matrix m{};
        m.right = {1, 0, 0};
        m.up = {0, 1, 0};
        m.at = {0, 0, 1};
        m.flags = 0x20003;
        if (float* q = c.Value(KTrackNumber::kOrientation))
        {
            Quat quat = {q[0], q[1], q[2], q[3]};
            Vector axis;
            float degrees = 0;
            Quat::GetRotation(&quat, &axis, &degrees);
            if (axis.x != 0.0f || axis.y != 0.0f || axis.z != 0.0f)
                Matrix::Rotate(&m, &axis, degrees, kCombineReplace);
        }
        if (const float* p = c.Value(KTrackNumber::kEmtPosition))
            m.pos = {p[0], p[1], p[2]};
        if (world)
        {
            Vector::TransformVector(&m.right, &m.right, world);
            Vector::TransformVector(&m.up, &m.up, world);
            Vector::TransformVector(&m.at, &m.at, world);
            Vector::TransformPoint(&m.pos, &m.pos, world);
        }
        m.flags = 0;
        *placement = m;
        s->worldMatrix = placement;
    }
    return emitter;
}

PrtStdEmitter* KfxScheduleEmission(Atomic*, PrtStdEmitter* emitter, void* params)
{
    Context c;
    if (!c.Make(emitter, params))
        return nullptr;
    PrtStdEmitterStd* s = c.standard;
    if (s->time >= s->nextEmitTime)
    {
        s->lastEmitTime = s->time;
        const float gap = Float(c.data, c.E(KTrackNumber::kGap)[kSlotValue], 0.2f);
        const float bias = Float(c.data, c.E(KTrackNumber::kGap)[kSlotBias], 0.0f);
        s->nextEmitTime = s->time + gap + gap * bias * KfxRandom(&s->random);
    }
    return emitter;
}

PrtStdEmitter* KfxEmit(Atomic*, PrtStdEmitter* emitter, void* params)
{
    Context c;
    if (!c.Make(emitter, params) || !emitter->particleClass)
        return nullptr;
    PrtStdEmitterStd* s = c.standard;
    float* startSlot = F(c.data, c.layout->definition[kDefStartTime]);
    float* endSlot = F(c.data, c.layout->definition[kDefEndTime]);
    const float start = startSlot ? *startSlot : 0.0f;
    float end = endSlot ? *endSlot : -1.0f;
    if (s->time < start)
    {
        if (start != 0.0f)
            return emitter;
    }
    else if (start != 0.0f)
    {
        s->time = 0;
        s->nextEmitTime = 0;
        if (end > 0.0f && end <= start)
        {
            // Ending before it starts: it never emits (the shift would make it endless). The
            // smallest positive end is passed at once.
            end = std::numeric_limits<float>::denorm_min();
            if (endSlot)
                *endSlot = end;
            if (startSlot)
                *startSlot = 0;
            return emitter;
        }
        if (end != 0.0f)
            end -= start;
        if (endSlot)
            *endSlot = end;
        if (startSlot)
            *startSlot = 0;
    }
    if (!((s->time <= end || end <= 0.0f) && (end >= 0.0f || !c.params->outOfView)))
        return emitter;
    if (s->time < s->nextEmitTime)
        return emitter;

    uint32_t seed = s->random;
    const float rate = Float(c.data, c.E(KTrackNumber::kEmit)[kSlotValue], 1.0f);
    const float rateBias = Float(c.data, c.E(KTrackNumber::kEmit)[kSlotBias], 0.0f);
    const float drawn = rate + std::trunc(2.0f * KfxRandom(&seed) * rateBias * rate);
    // A large bias or a negative rate would give a negative count.
    int32_t n = drawn > 0.0f ? (drawn < 65536.0f ? int32_t(drawn) : 65536) : 0;
    PrtStdTankBlock* block = c.block;
    if (block && n > block->capacity - emitter->activeCount)
        n = std::max(0, block->capacity - emitter->activeCount);
    if (n <= 0)
    {
        s->random = seed;
        return emitter;
    }
    PrtStdBatch* batch = emitter->activeBatches;
    if (!batch || batch->capacity - batch->count < n)
    {
        batch = PrtStdEmitter::NewParticleBatch(emitter);
        if (!batch)
        {
            s->random = seed;
            return emitter;
        }
        n = std::min(n, batch->capacity);
    }

    const KPropertyLayout* L = c.layout;
    TankCursors tank;
    const uint32_t written = block ? block->lockedProperties & block->emitMask : 0;
    // Per-particle entries the emission does not write still get a cleared entry each, so
    // every entry stays with its particle.
    TankCursors rest;
    if (block && block->destinations)
    {
        tank.Take(block, block->emitMask);
        rest.Take(block, ~block->emitMask);
    }
    const Vector origin = c.EmitterPosition();
    const Matrix* world = s->worldMatrix;
    const bool firstFrame = L->frame[FxFrameSectionParser::kPosition] >= 0;
    const bool secondFrame = L->frame[FxFrameSectionParser::kSpeed] >= 0;
    const float* initDir = c.Value(KTrackNumber::kInitDir);
    const float* dirBias = c.Bias(KTrackNumber::kInitDir);
    const float initVel = Float(c.data, c.E(KTrackNumber::kInitVel)[kSlotValue], 0.0f);
    const float velBias = Float(c.data, c.E(KTrackNumber::kInitVel)[kSlotBias], 0.0f);

    const int32_t recordSize = emitter->particleClass->recordSize;
    char* first = PrtStdBatch::Records(batch) + ptrdiff_t(batch->count) * recordSize;
    char* record = first;
    float previous[5][4] = {};
    float largest = 0.0f;
    float lastSize[2] = {100.0f, 100.0f};
    for (int32_t k = 0; k < n; ++k, record += recordSize)
    {
        auto* standard = reinterpret_cast<ParticleStandard*>(record);
        standard->age = 0;
        standard->life = s->life + KfxRandom(&seed) * s->lifeBias;
        standard->recipLife = standard->life > 0.0f ? 1.0f / standard->life : 0.0f;
        if (L->definition[kDefFirstInEmission] >= 0)
        {
            void* link = k == 0 ? nullptr : first;
            std::memcpy(record + L->definition[kDefFirstInEmission], &link, sizeof link);
        }

        Vector velocity{0, 0, 0};
        auto* velocitySlot = reinterpret_cast<Vector*>(c.ParticleProperty(record, PrtStdParticleProperty::kVelocityId));
        if (velocitySlot)
        {
            Vector d = initDir ? Vector{initDir[0], initDir[1], initDir[2]} : Vector{0, 1, 0};
            d.x += KfxRandom(&seed) * (dirBias ? dirBias[0] : 0.0f);
            d.y += KfxRandom(&seed) * (dirBias ? dirBias[1] : 0.0f);
            d.z += KfxRandom(&seed) * (dirBias ? dirBias[2] : 0.0f);
            d = UnitOrUp(d);
            if (world && secondFrame && !firstFrame)
                Vector::TransformVector(&d, &d, world);
            else if (world && firstFrame && !secondFrame)
            {
                Matrix inverse;
                Matrix::Invert(&inverse, world);
                Vector::TransformVector(&d, &d, &inverse);
            }
            velocity.x = (initVel + KfxRandom(&seed) * velBias) * d.x;
            velocity.y = (initVel + KfxRandom(&seed) * velBias) * d.y;
            velocity.z = (initVel + KfxRandom(&seed) * velBias) * d.z;
            *velocitySlot = velocity;
        }

        float values[5][3] = {};
        for (int32_t v = 0; v < 5; ++v)
        {
            const ValueSpec& spec = kValues[v];
            const int32_t floats = kFloats[spec.number];
            float spread[3] = {0, 0, 0};
            if (const float* bias = spec.bias ? c.Value(spec.bias) : nullptr)
                for (int32_t i = 0; i < floats; ++i)
                    spread[i] = KfxRandom(&seed) * bias[i];
            if (const float* scale = spec.scale ? c.Value(spec.scale) : nullptr)
            {
                const float r = KfxRandom(&seed) * scale[0];
                for (int32_t i = 0; i < floats; ++i)
                    spread[i] += r;
            }
            if (float* offset = F(record, L->particle[spec.number][kParticleSlotBias]))
                std::memcpy(offset, spread, size_t(floats) * sizeof(float));
            float* value = values[v];
            const int32_t mode = Word(c.data, c.E(spec.number)[kSlotIMode], kIModeFollow);
            const int32_t count = KeyCount(c.data, c.E(spec.number));
            if (mode == kIModeLinear && count > 0)
            {
                if (k == 0)
                    std::memcpy(previous[v], F(c.data, c.E(spec.number)[kSlotKeys]) + 1,
                                size_t(floats) * sizeof(float));
                for (int32_t i = 0; i < floats; ++i)
                    value[i] = previous[v][i] + spread[i];
            }
            else
            {
                KValueQuery q{c.data, record, L, spec.number, floats, 0, 0, nullptr, nullptr};
                Current(value, q, spec.current);
                for (int32_t i = 0; i < floats; ++i)
                    value[i] += spread[i];
            }
            if (float* stored = F(record, L->particle[spec.number][kParticleSlotValue]))
            {
                for (int32_t i = 0; i < floats; ++i)
                    value[i] += spread[i];
                std::memcpy(stored, value, size_t(floats) * sizeof(float));
            }
        }

        Vector position = origin;
        if (float* point = F(record, L->particle[KTrackNumber::kRp][kRpParticlePoint]))
        {
            const int32_t* rpSlots = c.E(KTrackNumber::kRp);
            const int32_t mode = Word(c.data, rpSlots[kRpSlotMode], kRpWorldOriented);
            KRpParticle rp;
            LoadRp(c, record, &rp);
            const int32_t* p = L->particle[KTrackNumber::kRp];
            const float* axis = F(c.data, rpSlots[kRpSlotAxis]);
            const float* bias = F(c.data, rpSlots[kRpSlotBias]);
            if (axis && bias && (p[kRpParticleMatrix] >= 0 || p[kRpParticleAxis] >= 0))
            {
                KRpEmit(mode, axis, axis[3], bias, bias[3], &seed, &rp);
                if (p[kRpParticleMatrix] >= 0)
                    std::memcpy(record + p[kRpParticleMatrix], rp.matrix, sizeof rp.matrix);
                if (p[kRpParticleAxis] >= 0)
                    std::memcpy(record + p[kRpParticleAxis], rp.axis, sizeof rp.axis);
                if (p[kRpParticleAngle] >= 0)
                    std::memcpy(record + p[kRpParticleAngle], &rp.angle, sizeof rp.angle);
            }
            point[0] = origin.x, point[1] = origin.y, point[2] = origin.z;
            const float v3[3] = {velocity.x, velocity.y, velocity.z};
            float out[3];
            KRpUpdate(mode, &rp, point, v3, 0.0f, values[kPositionValue], out);
            position = {out[0], out[1], out[2]};
        }
        if (Vector* slot = c.Position(record))
            *slot = position;
        largest = std::max(largest, Dist2(position, origin));
        if (char* uv = c.ParticleProperty(record, PrtStdParticleProperty::kTexCoordsId))
        {
            const float unit[4] = {0, 0, 1, 1};
            std::memcpy(uv, unit, sizeof unit);
        }
        lastSize[0] = values[kSizeValue][0];
        lastSize[1] = values[kSizeValue][1];

        for (int32_t r = 0; r < TankCursors::kCount; ++r)
            if (char*& d = rest.dst[r])
            {
                std::memset(d, 0, size_t(rest.size[r]));
                d += rest.stride[r];
            }
        if (!written)
            continue;
        if (char*& d = tank.dst[kCurPosition])
        {
            std::memcpy(d, &position, sizeof position);
            d += tank.stride[kCurPosition];
        }
        if (char*& d = tank.dst[kCurMatrix])
        {
            const int32_t* kc = c.E(KTrackNumber::kConstraints);
            const int32_t* kp = L->particle[KTrackNumber::kConstraints];
            for (int32_t which : {kConstraintParticleUp, kConstraintParticleRight})
                if (float* own = F(record, kp[which]))
                {
                    const float* bias =
                        F(c.data, kc[which == kConstraintParticleUp ? kConstraintUpBias : kConstraintRightBias]);
                    for (int32_t i = 0; i < 3; ++i)
                        own[i] = KfxRandom(&seed) * (bias ? bias[i] : 0.0f);
                }
            Matrix m;
            ParticleMatrix(c, record, &m, velocitySlot ? &velocity : nullptr, position, values[kSizeValue],
                           values[kRotationValue][0]);
            std::memcpy(d, &m, sizeof m);
            if (Matrix* own = reinterpret_cast<Matrix*>(c.ParticleProperty(record, PrtStdParticleProperty::kMatrixId)))
                *own = m;
            d += tank.stride[kCurMatrix];
        }
        if (char*& d = tank.dst[kCurSize])
        {
            std::memcpy(d, values[kSizeValue], 8);
            d += tank.stride[kCurSize];
        }
        if (char*& d = tank.dst[kCurColour])
        {
            const uint8_t bytes[4] = {ClampByte(values[kColourValue][0]), ClampByte(values[kColourValue][1]),
                                      ClampByte(values[kColourValue][2]), ClampByte(values[kAlphaValue][0])};
            std::memcpy(d, bytes, 4);
            d += tank.stride[kCurColour];
        }
        if (char*& d = tank.dst[kCurTex2])
        {
            const float unit[4] = {0, 0, 1, 1};
            std::memcpy(d, unit, sizeof unit);
            d += tank.stride[kCurTex2];
        }
        if (char*& d = tank.dst[kCurRotation])
        {
            const float radians = values[kRotationValue][0] * kDegreesToRadians;
            std::memcpy(d, &radians, 4);
            d += tank.stride[kCurRotation];
        }
    }

    if (block && block->destinations)
    {
        block->writtenCount += n;
        tank.Store(block, false);
        rest.Store(block, false);
    }
    emitter->radius = std::max(emitter->radius, lastSize[0] * lastSize[0] + lastSize[1] * lastSize[1] + largest);
    batch->firstNew = batch->count;
    batch->count += n;
    emitter->activeCount += n;
    s->random = seed;
    return emitter;
}

PrtStdEmitter* KfxCloneEmitter(Atomic*, PrtStdEmitter* source, void* data)
{
    auto* copy = static_cast<PrtStdEmitter*>(data);
    const PrtStdPropertyTable* table = source->emitterClass ? source->emitterClass->table : nullptr;
    if (!copy || !table || copy->emitterClass != source->emitterClass)
        return nullptr;
    char* from = PrtStdEmitter::Data(source);
    char* to = PrtStdEmitter::Data(copy);
    for (int32_t i = 0; i < table->count; ++i)
    {
        const int32_t id = table->ids[i];
        if (id == PrtStdEmitterProperty::kTankId)
        {
            PrtStdTankBlock::CopySettings(PrtStdEmitter::GetTankBlock(copy), PrtStdEmitter::GetTankBlock(source));
            continue;
        }
        std::memcpy(to + table->offsets[i], from + table->offsets[i], size_t(table->sizes[i]));
        if (id == PrtStdEmitterProperty::kStandardId)
            if (Texture* texture = PrtStdEmitter::GetStandard(copy)->texture)
            {
                // The clone's own reference, released with it.
                ++texture->refCount;
                copy->flags |= kPrtStdEmitterFlagFromStream;
            }
    }
    copy->radius = 0;
    return source;
}

// ---- Particle update -----------------------------------------------------------------------------

PrtStdBatch* KfxParticleUpdate(PrtStdEmitter* emitter, PrtStdBatch* batch, void* params)
{
    Context c;
    if (!c.Make(emitter, params))
        return nullptr;
    const float dt = c.params->elapsed;
    PrtStdTankBlock* block = c.block;
    const KPropertyLayout* L = c.layout;
    const uint32_t d = block ? block->lockedProperties : 0;
    const uint32_t u = block ? block->updateMask : 0;
    TankCursors tank;
    if (block && block->destinations)
        tank.Take(block, 0xFFFFFFFFu);

    const int32_t recordSize = batch->particleClass ? batch->particleClass->recordSize : 0;
    char* read = PrtStdBatch::Records(batch);
    char* write = read;
    int32_t survivors = 0;
    const bool outOfView = c.params->outOfView != 0;
    const float timeScale = c.Def(kDefTimeScale, 0.0f);
    const Vector origin = c.EmitterPosition();
    const float* force = c.Value(KTrackNumber::kForce);
    const float* forceBias = c.Bias(KTrackNumber::kForce);
    const bool biasedForce = forceBias && NonZero(forceBias, 3);
    float previous[5][4] = {};
    bool previousValid[5] = {};
    float largest = 0.0f;
    float lastSize[2] = {100.0f, 100.0f};
    uint32_t seed = c.standard->random;

    for (int32_t i = 0; i < batch->count; ++i, read += recordSize)
    {
        auto* standard = reinterpret_cast<ParticleStandard*>(read);
        standard->age += dt;
        // A life of 0 or less dies here too.
        const bool alive = standard->age < standard->life;
        if (alive)
        {
            if (read != write)
                std::memmove(write, read, size_t(recordSize));
            char* live = write;
            write += recordSize;
            ++survivors;
            if (!outOfView)
            {
                KValueQuery q{c.data, live, L, 0, 0, 0, 0, nullptr, nullptr};
                q.real = std::min(standard->age * standard->recipLife, 1.0f);
                q.nominal = standard->age * timeScale;
                auto value = [&](int32_t v, float* out, const float* input)
                {
                    const ValueSpec& spec = kValues[v];
                    q.number = spec.number;
                    q.floats = kFloats[spec.number];
                    q.previous = previous[v];
                    q.previousValid = &previousValid[v];
                    c.params->sources[spec.source](out, input, q);
                };

                auto* velocity =
                    reinterpret_cast<Vector*>(c.ParticleProperty(live, PrtStdParticleProperty::kVelocityId));
                if (velocity && force)
                {
                    Vector f = {force[0], force[1], force[2]};
                    if (biasedForce)
                    {
                        f.x += KfxRandom(&seed) * forceBias[0];
                        f.y += KfxRandom(&seed) * forceBias[1];
                        f.z += KfxRandom(&seed) * forceBias[2];
                    }
                    velocity->x += f.x * dt;
                    velocity->y += f.y * dt;
                    velocity->z += f.z * dt;
                }
                float size[3] = {100.0f, 100.0f, 0.0f}, rot = 0.0f;
                value(kSizeValue, size, nullptr);
                value(kRotationValue, &rot, nullptr);
                lastSize[0] = size[0], lastSize[1] = size[1];

                Vector* position = c.Position(live);
                if ((u & (kPTankPosition | kPTankMatrix)) && position)
                {
                    float offset[3] = {0, 0, 0};
                    value(kPositionValue, offset, nullptr);
                    const Vector v = velocity ? *velocity : Vector{0, 0, 0};
                    if (float* point = F(live, L->particle[KTrackNumber::kRp][kRpParticlePoint]))
                    {
                        KRpParticle rp;
                        LoadRp(c, live, &rp);
                        const float v3[3] = {v.x, v.y, v.z};
                        float out[3];
                        KRpUpdate(Word(c.data, c.E(KTrackNumber::kRp)[kRpSlotMode], kRpWorldOriented), &rp, point, v3,
                                  dt, offset, out);
                        *position = {out[0], out[1], out[2]};
                    }
                    else
                        *position = {position->x + v.x * dt, position->y + v.y * dt, position->z + v.z * dt};
                }
                if ((d & u & kPTankMatrix) && tank.dst[kCurMatrix])
                {
                    Matrix m;
                    ParticleMatrix(c, live, &m, velocity, position ? *position : origin, size, rot);
                    if (Matrix* own =
                            reinterpret_cast<Matrix*>(c.ParticleProperty(live, PrtStdParticleProperty::kMatrixId)))
                        *own = m;
                    std::memcpy(tank.dst[kCurMatrix], &m, sizeof m);
                    largest = std::max(largest, Dist2(m.pos, origin));
                }
                else if (tank.dst[kCurMatrix] && tank.dst[kCurMatrix] != tank.src[kCurMatrix])
                    std::memmove(tank.dst[kCurMatrix], tank.src[kCurMatrix], sizeof(Matrix));
                if ((d & u & kPTankSize) && tank.dst[kCurSize])
                    std::memcpy(tank.dst[kCurSize], size, 8);
                else if (tank.dst[kCurSize] && tank.dst[kCurSize] != tank.src[kCurSize])
                    std::memmove(tank.dst[kCurSize], tank.src[kCurSize], 8);
                if (char* p = tank.dst[kCurPosition])
                {
                    if ((u & kPTankPosition) && position)
                        std::memcpy(p, position, sizeof(Vector));
                    else if (p != tank.src[kCurPosition])
                        std::memmove(p, tank.src[kCurPosition], sizeof(Vector));
                    Vector written;
                    std::memcpy(&written, p, sizeof written);
                    largest = std::max(largest, Dist2(written, origin));
                }
                if (char* r = tank.dst[kCurRotation])
                {
                    const float radians = rot * kDegreesToRadians;
                    std::memcpy(r, &radians, 4);
                }
                if (char* col = tank.dst[kCurColour])
                {
                    const auto* old = reinterpret_cast<const uint8_t*>(tank.src[kCurColour]);
                    float inputColour[3] = {float(old[0]), float(old[1]), float(old[2])};
                    float inputAlpha = float(old[3]);
                    float colour[3], alpha;
                    value(kColourValue, colour, inputColour);
                    value(kAlphaValue, &alpha, &inputAlpha);
                    const uint8_t bytes[4] = {ClampByte(colour[0]), ClampByte(colour[1]), ClampByte(colour[2]),
                                              ClampByte(alpha)};
                    std::memcpy(col, bytes, 4);
                }
                for (int32_t k : {kCurTex2, 6, 7, 8})
                    if (tank.dst[k] && tank.dst[k] != tank.src[k])
                        std::memmove(tank.dst[k], tank.src[k], size_t(tank.size[k]));
            }
            else
            {
                // Ageing only: the tank entries still move with their particles, so the
                // next drawn frame finds each particle's data where it lies.
                for (int32_t k = 0; k < TankCursors::kCount; ++k)
                    if (tank.dst[k] && tank.dst[k] != tank.src[k])
                        std::memmove(tank.dst[k], tank.src[k], size_t(tank.size[k]));
            }
            for (int32_t k = 0; k < TankCursors::kCount; ++k)
                if (tank.dst[k])
                    tank.dst[k] += tank.stride[k];
        }
        for (int32_t k = 0; k < TankCursors::kCount; ++k)
            if (tank.src[k])
                tank.src[k] += tank.stride[k];
    }
    batch->count = survivors;
    if (block && block->destinations)
    {
        block->writtenCount += survivors;
        tank.Store(block, true);
    }
    c.standard->random = seed;
    if (!outOfView)
        emitter->radius = std::max(emitter->radius, lastSize[0] * lastSize[0] + lastSize[1] * lastSize[1] + largest);
    return batch;
}

KEmitterCallbackSet KfxCallbacks()
{
    KEmitterCallbackSet set;
    set.emit = KfxEmit;
    set.update = KfxEmitterUpdate;
    set.schedule = KfxScheduleEmission;
    set.copyProperties = KfxCloneEmitter;
    set.particleUpdate = KfxParticleUpdate;
    return set;
}
