// Particle class set-up: which properties an emitter definition's emitter and particle
// records carry, the callbacks, the tank flags and the emitter's initial values. A value goes
// into the particle record only when it can differ between particles or change during a
// particle's life; everything else lives once in the emitter record.
#include "kemitterdef.h"

#include "kparser.h"
#include "matrix.h"
#include "prtstd.h"
#include "prtstdclass.h"
#include "prtstdemitter.h"
#include "prtstdproperty.h"
#include "ptank.h"
#include "texture.h"

#include <cstring>

namespace
{
/// Keys beyond a 16-bit count are not carried.
constexpr int32_t kMaxKeys = 65535;
constexpr int32_t kWord = 4;
constexpr int32_t kPointer = int32_t(sizeof(void*));

/// Emitter-section track numbers, then particle-section ones: the order ids are given in.
constexpr int32_t kEmitterNumbers[] = {KTrackNumber::kEmtSize,  KTrackNumber::kEmtColor,    KTrackNumber::kEmtAlpha,
                                       KTrackNumber::kEmtRot2d, KTrackNumber::kInitVel,     KTrackNumber::kInitDir,
                                       KTrackNumber::kForce,    KTrackNumber::kEmtPosition, KTrackNumber::kOrientation,
                                       KTrackNumber::kGap,      KTrackNumber::kEmit,        KTrackNumber::kShape};
constexpr int32_t kParticleNumbers[] = {
    KTrackNumber::kPrtSize,      KTrackNumber::kPrtSizeBias,  KTrackNumber::kPrtSizeBiasScale,
    KTrackNumber::kPrtColor,     KTrackNumber::kPrtColorBias, KTrackNumber::kPrtColorBiasScale,
    KTrackNumber::kPrtAlpha,     KTrackNumber::kPrtAlphaBias, KTrackNumber::kPrtRot2d,
    KTrackNumber::kPrtRot2dBias, KTrackNumber::kPrtPosition,  KTrackNumber::kPrtPositionBias,
    KTrackNumber::kRp,           KTrackNumber::kConstraints};

int32_t ValueBytes(const KTrack& t)
{
    return t.ValueFloats() * kWord;
}

bool KeysCarried(const KTrack& t)
{
    return t.KeyCount() <= kMaxKeys;
}

/// A track has some bias or bias scale in use.
bool BiasUsed(const KTrack& t)
{
    return (t.biasTrack && t.biasTrack->IsUsed()) || (t.biasScaleTrack && t.biasScaleTrack->IsUsed());
}

class ListBuilder
{
public:
    explicit ListBuilder(const KEmitterDef& def) : mDef(def) {}

    void Add(int32_t id, int32_t size) { mList.push_back({id, size}); }
    void Emitter(const KTrack& t, int32_t slot, int32_t size) { Add(mDef.emitterIdBase[t.number] + slot, size); }
    void EmitterOf(int32_t number, int32_t slot, int32_t size) { Add(mDef.emitterIdBase[number] + slot, size); }
    void Particle(const KTrack& t, int32_t slot, int32_t size) { Add(mDef.particleIdBase[t.number] + slot, size); }
    void ParticleOf(int32_t number, int32_t slot, int32_t size) { Add(mDef.particleIdBase[number] + slot, size); }

    /// The linear part of a particle-section track: acceleration, duration, keys, count.
    void LinearKeys(const KTrack& t, int32_t number)
    {
        if (t.options.animAcceleration != 0.0f)
            EmitterOf(number, kSlotAcceleration, kWord);
        if (!KeysCarried(t))
            return;
        EmitterOf(number, kSlotDuration, kWord);
        EmitterOf(number, kSlotKeys, t.KeyCount() * t.KeyFloats() * kWord);
        EmitterOf(number, kSlotKeyCount, 2);
    }

    /// An emitter-section track (or the shape's selected parameter, under number).
    void EmitterTrack(const KTrack& t, int32_t number)
    {
        EmitterOf(number, kSlotValue, ValueBytes(t));
        EmitterOf(number, kSlotBias, ValueBytes(t));
        if (!t.HasKeys())
            return;
        EmitterOf(number, kSlotIMode, kWord);
        if (t.options.lMode == kLModeRepeat)
            EmitterOf(number, kSlotLMode, kWord);
        if (t.IsLinear() && KeysCarried(t))
        {
            EmitterOf(number, kSlotKeyCount, 2);
            EmitterOf(number, kSlotKeys, t.KeyCount() * t.KeyFloats() * kWord);
            EmitterOf(number, kSlotDuration, kWord);
        }
    }

    /// The emitter properties of a particle-section value track and of its used sub-tracks.
    void ParticleTrackEmitter(const KTrack& t)
    {
        if (!t.emitterTrack)
            Emitter(t, kSlotValue, ValueBytes(t));
        Emitter(t, kSlotTMode, kWord);
        Emitter(t, kSlotSpeed, kWord);
        Emitter(t, kSlotIMode, kWord);
        for (const KTrack* sub : {t.biasTrack, t.biasScaleTrack})
            if (sub && sub->IsUsed())
                Emitter(*sub, kSlotValue, ValueBytes(*sub));
        if (t.IsLinear())
            LinearKeys(t, t.number);
        for (const KTrack* sub : {t.biasTrack, t.biasScaleTrack})
        {
            if (!sub || !sub->IsUsed())
                continue;
            Emitter(*sub, kSlotTMode, kWord);
            Emitter(*sub, kSlotSpeed, kWord);
            Emitter(*sub, kSlotIMode, kWord);
            if (sub->IsLinear())
                LinearKeys(*sub, sub->number);
        }
    }

    /// The per-particle properties of a particle-section value track.
    void ParticleTrackParticle(const KTrack& t, bool matrices)
    {
        const bool biased = BiasUsed(t);
        const bool biasOnly = t.biasTrack && t.biasTrack->IsUsed();
        switch (t.options.iMode)
        {
        case kIModeFollow:
            if (biased)
                Particle(t, t.emitterTrack && t.emitterTrack->HasKeys() ? kParticleSlotBias : kParticleSlotValue,
                         ValueBytes(t));
            break;
        case kIModeConstant:
        {
            const bool sizeOrRotation = t.number == KTrackNumber::kPrtSize || t.number == KTrackNumber::kPrtRot2d;
            const bool byBias = biasOnly && (t.number == KTrackNumber::kPrtPosition || (sizeOrRotation && matrices));
            const bool byEmitter = t.emitterTrack && t.emitterTrack->KeyCount() >= 2;
            if (byBias || byEmitter)
                Particle(t, kParticleSlotValue, ValueBytes(t));
            break;
        }
        default:
            if (biased)
                Particle(t, kParticleSlotBias, ValueBytes(t));
            Particle(t, kParticleSlotTime, kWord);
            break;
        }
    }

    std::vector<KPropertyEntry> Take() { return std::move(mList); }

private:
    const KEmitterDef& mDef;
    std::vector<KPropertyEntry> mList;
};

/// The particle-section track of a number, or null.
const KTrack* ParticleTrack(const KParticleSection& p, int32_t number)
{
    for (const KTrack* t : {&p.size, &p.sizeBias, &p.sizeBiasScale, &p.color, &p.colorBias, &p.colorBiasScale, &p.alpha,
                            &p.alphaBias, &p.rot2d, &p.rot2dBias, &p.position, &p.positionBias})
        if (t->number == number)
            return t;
    return nullptr;
}

void Put(char* record, int32_t offset, const void* bytes, size_t size)
{
    if (offset >= 0)
        std::memcpy(record + offset, bytes, size);
}

void PutWord(char* record, int32_t offset, int32_t value)
{
    Put(record, offset, &value, sizeof(value));
}

void PutFloat(char* record, int32_t offset, float value)
{
    Put(record, offset, &value, sizeof(value));
}

/// Value, bias, mode words, keys, count and duration of a track into its slots.
void ApplyTrack(char* record, const int32_t* slots, const KTrack& t, const float* bias)
{
    Put(record, slots[kSlotValue], t.value, size_t(ValueBytes(t)));
    if (bias)
        Put(record, slots[kSlotBias], bias, size_t(ValueBytes(t)));
    PutWord(record, slots[kSlotIMode], t.options.iMode);
    PutWord(record, slots[kSlotLMode], t.options.lMode);
    PutWord(record, slots[kSlotTMode], t.options.tMode);
    PutFloat(record, slots[kSlotSpeed], t.options.animSpeed);
    PutFloat(record, slots[kSlotAcceleration], t.options.animAcceleration);
    if (slots[kSlotKeys] >= 0)
    {
        const uint16_t count = uint16_t(t.KeyCount());
        Put(record, slots[kSlotKeyCount], &count, sizeof(count));
        Put(record, slots[kSlotKeys], t.keys.data(), t.keys.size() * sizeof(float));
        const float duration = t.HasKeys() ? t.keys[t.keys.size() - size_t(t.KeyFloats())] : 0.0f;
        PutFloat(record, slots[kSlotDuration], duration);
    }
}
} // namespace

// ---- Predicates --------------------------------------------------------------------------------

bool KEmitterDef::NeedsParticleMatrices() const
{
    const KParticleSection& p = particleSection;
    const KConstraints& c = p.constraints;
    return c.HasUpBias() || c.HasRightBias() || orientationMode == 1 || p.sizeBias.IsUsed() ||
           p.sizeBiasScale.IsUsed() || p.rot2dBias.IsUsed() ||
           (p.size.options.iMode == kIModeConstant && emitterSection.size.HasKeys()) || p.size.IsLinear() ||
           p.rot2d.IsLinear() || c.upFollowsSpeed;
}

bool KEmitterDef::HasConstantParticleMatrix() const
{
    const KParticleSection& p = particleSection;
    const KConstraints& c = p.constraints;
    const int32_t sizeMode = p.size.options.iMode;
    return !c.HasUpBias() && !c.HasRightBias() && (c.HasUp() || c.HasRight()) && orientationMode == 0 &&
           !p.sizeBias.IsUsed() && !p.sizeBiasScale.IsUsed() &&
           (sizeMode == kIModeFollow || (sizeMode == kIModeConstant && emitterSection.size.KeyCount() < 2));
}

bool KEmitterDef::ParticleColourVaries() const
{
    const KParticleSection& p = particleSection;
    return p.colorBias.IsUsed() || p.alphaBias.IsUsed() || p.colorBiasScale.IsUsed() || p.alpha.IsLinear() ||
           p.color.IsLinear() || emitterSection.color.IsLinear();
}

bool KEmitterDef::ColourChangesDuringLife() const
{
    return particleSection.color.KeyCount() >= 3 || particleSection.alpha.HasKeys();
}

bool KEmitterDef::PositionChangesDuringLife() const
{
    const KEmitterSection& e = emitterSection;
    return e.initVel.value[0] != 0.0f || !e.force.IsZero() || e.initVel.IsLinear() ||
           particleSection.position.IsLinear() || (e.force.IsLinear() && !NeedsParticleMatrices());
}

bool KEmitterDef::SizeVaries() const
{
    const KParticleSection& p = particleSection;
    return !NeedsParticleMatrices() &&
           (p.size.HasKeys() || p.sizeBias.IsUsed() || p.sizeBiasScale.IsUsed() || emitterSection.size.HasKeys());
}

bool KEmitterDef::HasRotationPerParticle() const
{
    const KParticleSection& p = particleSection;
    return (p.rot2dBias.IsUsed() || p.rot2d.IsLinear() || emitterSection.rot2d.IsLinear()) &&
           !NeedsParticleMatrices() && !HasConstantRotation();
}

bool KEmitterDef::HasConstantRotation() const
{
    const KTrack& r = particleSection.rot2d;
    return !particleSection.rot2dBias.IsUsed() && r.value[0] == 0.0f &&
           (r.options.iMode == kIModeConstant || r.options.iMode == kIModeLinear) && !NeedsParticleMatrices();
}

bool KEmitterDef::NeedsPlacementMatrix() const
{
    const KEmitterSection& e = emitterSection;
    return e.position.HasKeys() || !e.position.IsZero() || e.orientation.HasKeys() || !e.orientation.IsZero();
}

bool KEmitterDef::NeedsRpPoint() const
{
    // A world-oriented RP without any offset puts the particle at its reference point.
    const KParticleSection& p = particleSection;
    return p.rp.mode != kRpWorldOriented || p.position.IsUsed() || p.position.HasKeys() || BiasUsed(p.position);
}

// ---- Ids and lists -----------------------------------------------------------------------------

void KEmitterDef::AssignIds()
{
    int32_t nextParticle = PrtStdParticleProperty::kFirstUserId;
    int32_t nextEmitter = PrtStdEmitterProperty::kFirstUserId + 1;
    for (const int32_t* numbers : {kEmitterNumbers, kParticleNumbers})
    {
        const int32_t count =
            numbers == kEmitterNumbers ? int32_t(std::size(kEmitterNumbers)) : int32_t(std::size(kParticleNumbers));
        for (int32_t i = 0; i < count; ++i)
        {
            emitterIdBase[numbers[i]] = nextEmitter;
            nextEmitter += kEmitterSlotCount;
            particleIdBase[numbers[i]] = nextParticle;
            nextParticle += kParticleSlotCount;
        }
    }
    definitionEmitterIdBase = nextEmitter;
    definitionParticleId = nextParticle;
}

std::vector<KPropertyEntry> KEmitterDef::BuildParticleProperties() const
{
    ListBuilder list(*this);
    const bool matrices = NeedsParticleMatrices();
    list.Add(PrtStdParticleProperty::kStandardId, PrtStdParticleProperty::kStandardSize);
    if (fixedLife)
        list.Add(definitionParticleId, kPointer);
    list.Add(PrtStdParticleProperty::kVelocityId, PrtStdParticleProperty::kVelocitySize);
    if (matrices)
        list.Add(PrtStdParticleProperty::kMatrixId, PrtStdParticleProperty::kMatrixSize);
    else
        list.Add(PrtStdParticleProperty::kPositionId, PrtStdParticleProperty::kPositionSize);

    const KParticleSection& p = particleSection;
    for (const KTrack* t : {&p.size, &p.color, &p.alpha, &p.rot2d, &p.position})
        list.ParticleTrackParticle(*t, matrices);
    const KRp& rp = p.rp;
    if (rp.mode == kRpSelfOriented && rp.HasBias())
        list.ParticleOf(KTrackNumber::kRp, kRpParticleMatrix, kMatrixSize);
    if (NeedsRpPoint())
        list.ParticleOf(KTrackNumber::kRp, kRpParticlePoint, 12);
    if (rp.mode == kRpSpeedOriented && rp.HasBias())
    {
        list.ParticleOf(KTrackNumber::kRp, kRpParticleAxis, 12);
        list.ParticleOf(KTrackNumber::kRp, kRpParticleAngle, kWord);
    }
    if (p.constraints.HasUpBias())
        list.ParticleOf(KTrackNumber::kConstraints, kConstraintParticleUp, 12);
    if (p.constraints.HasRightBias())
        list.ParticleOf(KTrackNumber::kConstraints, kConstraintParticleRight, 12);
    return list.Take();
}

std::vector<KPropertyEntry> KEmitterDef::BuildEmitterProperties() const
{
    ListBuilder list(*this);
    const int32_t def = definitionEmitterIdBase;
    list.Add(PrtStdEmitterProperty::kStandardId, PrtStdEmitterProperty::kStandardSize);
    list.Add(PrtStdEmitterProperty::kTankId, PrtStdEmitterProperty::kTankSize);
    if (NeedsParticleMatrices())
        list.Add(PrtStdEmitterProperty::kMatrixId, PrtStdEmitterProperty::kMatrixSize);
    if (ParticleColourVaries())
        list.Add(PrtStdEmitterProperty::kColourId, PrtStdEmitterProperty::kColourSize);
    list.Add(PrtStdEmitterProperty::kFirstUserId, kPointer);
    list.Add(def + kDefTimeScale, kWord);
    // The frame marks: the quad centre is the only one of the four not placed anyway.
    const bool centred = quadCentre[0] != 0.0f || quadCentre[1] != 0.0f;
    if (frameSection.frames[FxFrameSectionParser::kForce] == FxFrameSectionParser::kEmitter && !centred)
        list.Add(def + kDefQuadCentre, kWord);

    const KParticleSection& p = particleSection;
    for (const KTrack* t : {&p.size, &p.color, &p.alpha, &p.rot2d, &p.position})
        list.ParticleTrackEmitter(*t);
    if (NeedsRpPoint())
    {
        list.EmitterOf(KTrackNumber::kRp, kRpSlotMode, kWord);
        list.EmitterOf(KTrackNumber::kRp, kRpSlotAxis, 16);
        list.EmitterOf(KTrackNumber::kRp, kRpSlotBias, 16);
        if (p.rp.mode == kRpSelfOriented && !p.rp.HasBias())
            list.EmitterOf(KTrackNumber::kRp, kRpSlotMatrix, kMatrixSize);
    }
    if (p.constraints.IsSet())
    {
        for (int32_t slot : {kConstraintUp, kConstraintRight, kConstraintUpBias, kConstraintRightBias})
            list.EmitterOf(KTrackNumber::kConstraints, slot, 12);
        list.EmitterOf(KTrackNumber::kConstraints, kConstraintFlags, kWord);
        list.EmitterOf(KTrackNumber::kConstraints, kConstraintFactor, kWord);
    }

    const KEmitterSection& e = emitterSection;
    for (const KTrack* t : e.Tracks())
        list.EmitterTrack(*t, t->number);
    if (const KTrack* shape = e.shape.Selected())
    {
        list.EmitterOf(KTrackNumber::kShape, kSlotShapeKind, kWord);
        list.EmitterTrack(*shape, KTrackNumber::kShape);
    }

    if (transparency)
        list.Add(def + kDefTransparency, kTransparencySize);
    list.Add(def + kDefStartTime, kWord);
    list.Add(def + kDefEndTime, kWord);
    if (NeedsPlacementMatrix())
        list.Add(def + kDefPlacement, kMatrixSize);
    if (centred)
        list.Add(def + kDefQuadCentre, 2 * kWord);
    return list.Take();
}

bool KEmitterDef::BuildClasses(PrtStdEmitterClass* emitterClass, PrtStdParticleClass* particleClass,
                               const KEmitterCallbackSet& callbacks)
{
    if (!emitterClass || !particleClass)
        return false;
    AssignIds();
    PrtStdPropertyTable* tables[2] = {};
    for (int32_t i = 0; i < 2; ++i)
    {
        const std::vector<KPropertyEntry> list = i == 0 ? BuildEmitterProperties() : BuildParticleProperties();
        std::vector<int32_t> ids, sizes;
        for (const KPropertyEntry& entry : list)
        {
            ids.push_back(entry.id);
            sizes.push_back(entry.size);
        }
        tables[i] = PrtStdPropertyTable::Create(int32_t(ids.size()), ids.data(), sizes.data());
    }
    bool ok = tables[0] && tables[1] && PrtStdParticleClass::SetPropertyTable(particleClass, tables[1]) &&
              PrtStdParticleClass::SetPropertyTable(emitterClass, tables[0]);
    for (PrtStdPropertyTable* table : tables)
        if (table)
            PrtStdPropertyTable::Destroy(table);
    if (!ok)
        return false;

    PrtStdEmitterCallbacks emitterEntry{};
    emitterEntry.slot[kPrtStdEmitterEmit] = callbacks.emit;
    emitterEntry.slot[kPrtStdEmitterBeginUpdate] = callbacks.update;
    emitterEntry.slot[kPrtStdEmitterEndUpdate] = callbacks.schedule;
    emitterEntry.slot[kPrtStdEmitterBeginRender] = PrtStdEmitterStd::BeginRender;
    emitterEntry.slot[kPrtStdEmitterCreate] = PrtStdEmitterStd::Create;
    emitterEntry.slot[kPrtStdEmitterDestroy] = PrtStdEmitterStd::Destroy;
    emitterEntry.slot[kPrtStdEmitterClone] = callbacks.copyProperties;
    PrtStdParticleCallbacks particleEntry{};
    particleEntry.slot[kPrtStdParticleUpdate] = callbacks.particleUpdate;
    return PrtStdEmitterClass::SetCallbacks(emitterClass, 1, &emitterEntry) &&
           PrtStdParticleClass::SetCallbacks(particleClass, 1, &particleEntry);
}

// ---- Tank flags and initial values -------------------------------------------------------------

void KEmitterDef::SetTankFlags(PrtStdEmitter* emitter, int32_t particles) const
{
    PrtStdTankBlock* block = emitter ? PrtStdEmitter::GetTankBlock(emitter) : nullptr;
    if (!block)
        return;
    const KParticleSection& p = particleSection;
    const bool matrices = NeedsParticleMatrices();
    uint32_t d = 0, e = 0, u = 0;
    if (!matrices)
    {
        d |= kPTankPosition;
        e |= kPTankPosition;
        if (PositionChangesDuringLife())
            u |= kPTankPosition;
        if (HasConstantParticleMatrix())
        {
            d |= kPTankConstantMatrix;
            u |= kPTankConstantMatrix;
        }
        if (SizeVaries())
        {
            d |= kPTankSize;
            e |= kPTankSize;
            u |= kPTankSize;
        }
    }
    else
    {
        d |= kPTankMatrix;
        e |= kPTankMatrix;
        u |= kPTankMatrix;
    }
    if (quadCentre[0] != 0.0f || quadCentre[1] != 0.0f)
        d |= kPTankUseCentre;
    if (ParticleColourVaries())
    {
        d |= kPTankColour;
        e |= kPTankColour;
        if (ColourChangesDuringLife())
            u |= kPTankColour;
    }
    if (texture)
        d |= PrtStdEmitter::GetProperty(emitter, PrtStdEmitterProperty::kTexCoordsId) ? kPTankTexCoords2
                                                                                      : kPTankConstantTexCoords2;
    const KTrack& size = p.size;
    if ((d & kPTankPosition) && !matrices &&
        (p.sizeBias.IsUsed() || (size.options.iMode == kIModeConstant && (!size.IsZero() || size.HasKeys())) ||
         size.IsLinear()))
        d |= kPTankSize;
    if (d & kPTankPosition)
    {
        if (HasRotationPerParticle())
        {
            d |= kPTankRotation;
            e |= kPTankRotation;
            if (p.rot2d.IsLinear() && !matrices)
                u |= kPTankRotation;
        }
        else if (HasConstantRotation())
        {
            d |= kPTankConstantRotation;
            e |= kPTankConstantRotation;
            u |= kPTankConstantRotation;
        }
    }
    block->lockedProperties = d;
    block->emitMask = e;
    block->updateMask = u;
    block->capacity = particles;
}

void KEmitterDef::InitEmitter(PrtStdEmitter* emitter, KPropertyLayout* layout) const
{
    if (!emitter || !layout)
        return;
    char* data = PrtStdEmitter::Data(emitter);
    const PrtStdPropertyTable* emitterTable = emitter->emitterClass ? emitter->emitterClass->table : nullptr;
    const PrtStdPropertyTable* particleTable = emitter->particleClass ? emitter->particleClass->table : nullptr;
    auto emitterOffset = [&](int32_t id)
    { return emitterTable ? PrtStdPropertyTable::GetOffset(emitterTable, id) : -1; };
    auto particleOffset = [&](int32_t id)
    { return particleTable ? PrtStdPropertyTable::GetOffset(particleTable, id) : -1; };

    Put(data, emitterOffset(PrtStdEmitterProperty::kFirstUserId), &layout, sizeof(layout));
    if (PrtStdEmitterStd* standard = PrtStdEmitter::GetStandard(emitter))
    {
        // The other settings keep what the standard creation gave them.
        standard->maxParticles = maxParticles;
        standard->life = particleLife;
        standard->lifeBias = particleLifeBias;
        standard->texture = texture;
        // The emitter's own reference: the definition's goes with the definition.
        if (texture)
            ++texture->refCount;
        standard->texCoords[0] = {texRect[0], texRect[1]};
        standard->texCoords[1] = {texRect[2], texRect[3]};
    }

    layout->Reset();
    for (int32_t number = 1; number < KTrackNumber::kCount; ++number)
    {
        for (int32_t slot = 0; slot < kEmitterSlotCount; ++slot)
            layout->emitter[number][slot] = emitterOffset(emitterIdBase[number] + slot);
        for (int32_t slot = 0; slot < kParticleSlotCount; ++slot)
            layout->particle[number][slot] = particleOffset(particleIdBase[number] + slot);
    }
    for (int32_t slot = 0; slot < kDefEmitterCount; ++slot)
        layout->definition[slot] = emitterOffset(definitionEmitterIdBase + slot);
    layout->definition[kDefFirstInEmission] = particleOffset(definitionParticleId);
    layout->viewpointOriented = orientationMode == 1 ? 1 : 0;
    for (int32_t q = 0; q < FxFrameSectionParser::kQuantityCount; ++q)
        layout->frame[q] =
            frameSection.frames[q] == FxFrameSectionParser::kEmitter ? layout->definition[kDefStartTime + q] : -1;

    const KEmitterSection& e = emitterSection;
    for (const KTrack* t : e.Tracks())
        ApplyTrack(data, layout->emitter[t->number], *t, t->bias);
    if (const KTrack* shape = e.shape.Selected())
    {
        PutWord(data, layout->emitter[KTrackNumber::kShape][kSlotShapeKind], e.shape.kind);
        ApplyTrack(data, layout->emitter[KTrackNumber::kShape], *shape, shape->bias);
    }
    const KParticleSection& p = particleSection;
    for (int32_t number : kParticleNumbers)
        if (const KTrack* t = ParticleTrack(p, number))
            ApplyTrack(data, layout->emitter[number], *t, nullptr);
    const int32_t* rp = layout->emitter[KTrackNumber::kRp];
    PutWord(data, rp[kRpSlotMode], p.rp.mode);
    const float axis[4] = {p.rp.axis[0], p.rp.axis[1], p.rp.axis[2], p.rp.angle};
    Put(data, rp[kRpSlotAxis], axis, sizeof(axis));
    const float bias[4] = {p.rp.biasAxis[0], p.rp.biasAxis[1], p.rp.biasAxis[2], p.rp.biasAngle};
    Put(data, rp[kRpSlotBias], bias, sizeof(bias));
    if (rp[kRpSlotMatrix] >= 0)
    {
        Matrix m{};
        KDirectionToMatrixY(&m, p.rp.axis, p.rp.angle);
        Put(data, rp[kRpSlotMatrix], &m, sizeof(m));
    }
    const int32_t* c = layout->emitter[KTrackNumber::kConstraints];
    const KConstraints& k = p.constraints;
    Put(data, c[kConstraintUp], k.up, 12);
    Put(data, c[kConstraintRight], k.right, 12);
    Put(data, c[kConstraintUpBias], k.upBias, 12);
    Put(data, c[kConstraintRightBias], k.rightBias, 12);
    PutWord(data, c[kConstraintFlags], (k.upFollowsSpeed ? 1 : 0) | (k.sizeYFollowsSpeed ? 2 : 0));
    PutFloat(data, c[kConstraintFactor], k.sizeYFactor);

    const int32_t* def = layout->definition;
    PutFloat(data, def[kDefTimeScale], 1.0f / particleLife);
    PutFloat(data, def[kDefStartTime], startTime);
    PutFloat(data, def[kDefEndTime], endTime);
    if (def[kDefQuadCentre] >= 0 && (quadCentre[0] != 0.0f || quadCentre[1] != 0.0f))
        Put(data, def[kDefQuadCentre], quadCentre, sizeof(quadCentre));
    if (def[kDefPlacement] >= 0)
    {
        Matrix identity{};
        identity.right = {1, 0, 0};
        identity.up = {0, 1, 0};
        identity.at = {0, 0, 1};
        identity.flags = kMatrixOrthonormal | kMatrixIdentity;
        Put(data, def[kDefPlacement], &identity, sizeof(identity));
    }
    if (PrtStdTankBlock* block = PrtStdEmitter::GetTankBlock(emitter))
    {
        block->lockedProperties = 0;
        block->emitMask = 0;
        block->updateMask = 0;
        block->sourceBlend = srcBlend;
        block->destBlend = dstBlend;
    }
    SetTankFlags(emitter, maxParticles);
}
