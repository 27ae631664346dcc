// Emitter classes, their instance pools and the emitter instances: building a class from a
// parsed block, cloning instances with their own frame and tank, placement, start, stop,
// the per-frame update with view culling, drawing with the class's render states.
#include "kemitter.h"

#include "camera.h"
#include "clump.h"
#include "device.h"
#include "engine.h"
#include "frame.h"
#include "fxcontext.h"
#include "geometry.h"
#include "kemitterdef.h"
#include "kparser.h"
#include "material.h"
#include "matrix.h"
#include "prtstd.h"
#include "prtstdclass.h"
#include "prtstdproperty.h"
#include "ptank.h"
#include "texture.h"

#include <algorithm>
#include <cstring>

HB_DEFINE_CLASS_POOL(KEmitterStd, "KEmitterStd", KEmitterStd::kPoolSize);
HB_DEFINE_CLASS_POOL(KEmitterClass, "KEmitterClass", KEmitterClass::kPoolSize);

namespace
{
constexpr float kDegreesToRadians = 0.017453292f;

/// The class whose device states were set last (null: none).
const KEmitterClass* gStatesOf = nullptr;

void SetDeviceState(int32_t state, intptr_t value)
{
    Engine* engine = Engine::Current();
    if (engine && engine->device.setRenderState)
        engine->device.setRenderState(state, value);
}

const float* Value(PrtStdEmitter* emitter, const KPropertyLayout& layout, int32_t number)
{
    const int32_t offset = layout.emitter[number][kSlotValue];
    return offset >= 0 ? reinterpret_cast<const float*>(PrtStdEmitter::Data(emitter) + offset) : nullptr;
}

/// Detaches the frame from its parent and destroys it.
void DropFrame(Frame* frame)
{
    if (!frame)
        return;
    if (frame->parent)
        Frame::RemoveChild(frame);
    Frame::Destroy(frame);
}

/// The particle atomic with its frame.
void DestroyAtomic(Atomic* atomic)
{
    if (!atomic)
        return;
    Frame* frame = atomic->object.frame;
    Atomic::SetFrame(atomic, nullptr);
    DropFrame(frame);
    Atomic::Destroy(atomic);
}
} // namespace

// ---- Lists -------------------------------------------------------------------------------------

void KfxListNode::Unlink()
{
    if (!next)
        return;
    previous->next = next;
    next->previous = previous;
    next = nullptr;
    previous = nullptr;
}

void KfxList::InsertFront(KfxListNode* node)
{
    node->previous = &head;
    node->next = head.next;
    head.next->previous = node;
    head.next = node;
}

int32_t KfxList::Count() const
{
    int32_t n = 0;
    for (const KfxListNode* node = head.next; node != &tail; node = node->next)
        ++n;
    return n;
}

// ---- KEmitter ----------------------------------------------------------------------------------

Atomic* KEmitter::Render()
{
    KEmitterClass* c = GetClass();
    if (c && c != gStatesOf)
    {
        gStatesOf = c;
        SetDeviceState(kRenderStateZTest, c->mZTest);
        SetDeviceState(kRenderStateZWrite, c->mZWrite);
        SetDeviceState(kRenderStateTexturePerspective, c->mTexturePerspective);
        SetDeviceState(kRenderStateCullMode, c->mCullMode);
    }
    return nullptr;
}

void KEmitter::ClearRenderStateCache()
{
    gStatesOf = nullptr;
}

int32_t KEmitter::IsActive()
{
    if (!IsLinked())
        return 0;
    return IsPastEnd() && IsEmpty() ? 0 : 1;
}

void KEmitter::Link()
{
    if (!IsLinked() && mRenderList)
        mRenderList->InsertFront(&mNode);
}

void KEmitter::Unlink()
{
    mNode.Unlink();
}

// ---- KEmitterStd -------------------------------------------------------------------------------

KEmitterStd::KEmitterStd()
{
    mParams.elapsed = -1.0f;
}

KEmitterStd::~KEmitterStd()
{
    Unlink();
    // The tank and its frame go with the emitter inside the atomic.
    DestroyAtomic(mAtomic);
    mAtomic = nullptr;
    mEmitter = nullptr;
}

void KEmitterStd::AttachToFrame(Frame* frame)
{
    if (mAtomic && mAtomic->object.frame && frame)
        Frame::AddChild(frame, mAtomic->object.frame);
}

void KEmitterStd::Translate(const Vector* vector, int32_t combine)
{
    if (mAtomic && mAtomic->object.frame)
        Frame::Translate(mAtomic->object.frame, vector, combine);
}

void KEmitterStd::SetDirection(const float* direction, float angle)
{
    if (!mAtomic || !mAtomic->object.frame)
        return;
    Matrix rotation{};
    KDirectionToMatrixZ(&rotation, direction, angle);
    Frame::Transform(mAtomic->object.frame, &rotation, kCombinePreConcat);
}

void KEmitterStd::ApplyContext(const FxContext& context)
{
    const Vector position = {context.position[0], context.position[1], context.position[2]};
    Translate(&position, kCombineReplace);
    SetDirection(context.direction, context.angle);
    if (context.frame)
    {
        AttachToFrame(context.frame);
        return;
    }
    if (context.followed)
        mFollowed = context.followed;
    for (int32_t i = 0; i < 2; ++i)
        if (context.extra[i])
            mExtra[i] = context.extra[i];
}

void KEmitterStd::BindAtomic(Atomic* atomic, KPropertyLayout* layout)
{
    mAtomic = atomic;
    mEmitter = PrtStdAtomic::GetEmitters(atomic);
    mEmitter->radius = 0;
    mParams.elapsed = -1.0f;
    mParams.outOfView = 0;
    const PrtStdPropertyTable* et = mEmitter->emitterClass->table;
    const PrtStdPropertyTable* pt = mEmitter->particleClass ? mEmitter->particleClass->table : nullptr;
    const int32_t emitterIds[4] = {PrtStdEmitterProperty::kStandardId, PrtStdEmitterProperty::kFirstUserId,
                                   PrtStdEmitterProperty::kTankId, PrtStdEmitterProperty::kTexCoordsId};
    for (int32_t i = 0; i < 4; ++i)
        mParams.offsets[i] = PrtStdPropertyTable::GetOffset(et, emitterIds[i]);
    mParams.offsets[4] = pt ? PrtStdPropertyTable::GetOffset(pt, PrtStdParticleProperty::kTexCoordsId) : -1;
    mParams.offsets[5] = pt ? PrtStdPropertyTable::GetOffset(pt, PrtStdParticleProperty::kVelocityId) : -1;
    mParams.standard = PrtStdEmitter::GetStandard(mEmitter);
    mParams.tank = PrtStdEmitter::GetTankBlock(mEmitter);
    mParams.layout = layout;
    for (KValueSource& source : mParams.sources)
        source = nullptr;
    if (mParams.offsets[1] >= 0)
        std::memcpy(PrtStdEmitter::Data(mEmitter) + mParams.offsets[1], &layout, sizeof layout);
}

void KEmitterStd::Restart()
{
    if (!mEmitter || !mClass)
        return;
    const PrtStdPropertyTable* table = mEmitter->emitterClass->table;
    char* to = PrtStdEmitter::Data(mEmitter);
    char* from = PrtStdEmitter::Data(mClass->mPrototypeEmitter);
    // The program's own properties (ids past the layout pointer): tracks, start and end.
    for (int32_t i = 0; i < table->count; ++i)
        if (table->ids[i] > PrtStdEmitterProperty::kFirstUserId)
            std::memcpy(to + table->offsets[i], from + table->offsets[i], size_t(table->sizes[i]));
    if (PrtStdEmitterStd* s = mParams.standard)
    {
        s->nextEmitTime = mClass->mStartTime;
        s->time = 0;
    }
    if (PrtStdTankBlock* block = mParams.tank)
        block->writtenCount = 0;
    mEmitter->radius = 0;
}

void KEmitterStd::ClearParticles()
{
    if (!mEmitter)
        return;
    if (PrtStdTankBlock* block = mParams.tank)
    {
        block->writtenCount = 0;
        if (PTankRecord* tank = block->tank ? PTank::Get(block->tank) : nullptr)
            tank->activeCount = 0;
    }
    if (PrtStdBatch* last = mEmitter->activeBatches)
    {
        PrtStdBatch* b = last;
        do
        {
            b = b->next;
            b->count = 0;
        } while (b != last);
    }
    mEmitter->activeCount = 0;
}

void KEmitterStd::Start()
{
    Restart();
    Link();
}

void KEmitterStd::Stop()
{
    ClearParticles();
    Unlink();
}

void KEmitterStd::Reset()
{
    if (mAtomic && mAtomic->object.frame && mAtomic->object.frame->parent)
        Frame::RemoveChild(mAtomic->object.frame);
    if (mClass && mParams.tank && mParams.tank->tank)
        mClass->SetupTank(mEmitter, mParams.tank->tank);
    Restart();
    ClearParticles();
    mFollowed = nullptr;
    mExtra[0] = mExtra[1] = 0;
    mCullRadius = -1.0f;
}

int32_t KEmitterStd::ReleaseToPool()
{
    return mClass ? mClass->mPool.Release(this) : 0;
}

void KEmitterStd::FreeParticles()
{
    if (mEmitter)
        PrtStdEmitter::FreeParticleBatches(mEmitter);
}

void KEmitterStd::SetCamera(Camera* camera)
{
    mCamera = camera;
    Frame* frame = camera ? camera->object.frame : nullptr;
    mParams.cameraMatrix = frame ? Frame::GetWorldMatrix(frame) : nullptr;
}

int32_t KEmitterStd::IsPastEnd()
{
    if (!mParams.tank || !mClass)
        return 0;
    const int32_t offset = mClass->mLayout.definition[kDefEndTime];
    if (offset < 0)
        return 0;
    float end;
    std::memcpy(&end, PrtStdEmitter::Data(mEmitter) + offset, sizeof end);
    // 0 is endless, as for the emission.
    return end > 0.0f && end < mParams.standard->time ? 1 : 0;
}

int32_t KEmitterStd::IsEmpty()
{
    return !mParams.tank || mParams.tank->writtenCount == 0 ? 1 : 0;
}

void KEmitterStd::RunEmitters(float dt, int32_t outOfView)
{
    mParams.elapsed = dt;
    mParams.outOfView = outOfView;
    mParams.standard->random = KfxGetSharedSeed();
    PrtStdAtomic::UpdateEmitters(mAtomic, &mParams);
    KfxSetSharedSeed(mParams.standard->random);
}

void KEmitterStd::Update(float dt)
{
    if (!mAtomic || !mEmitter || !mParams.standard)
        return;
    Frame* frame = mAtomic->object.frame;
    if (mFollowed && frame)
    {
        // The emitter keeps its orientation and moves to the followed point.
        frame->modelling.pos = {mFollowed[0], mFollowed[1], mFollowed[2]};
        frame->world.pos = frame->modelling.pos;
        Frame::UpdateObjects(frame);
    }
    const int32_t placement = mClass->mLayout.definition[kDefPlacement];
    if (placement >= 0)
        mWorldPosition = reinterpret_cast<Matrix*>(PrtStdEmitter::Data(mEmitter) + placement)->pos;
    else if (frame)
        mWorldPosition = Frame::GetWorldMatrix(frame)->pos;
    if (mForceUpdate)
    {
        RunEmitters(dt, 0);
        return;
    }
    mVisible = 1;
    if (mCullRadius > 0.0f && mCamera)
    {
        const Sphere sphere = {mWorldPosition, mCullRadius};
        if (Camera::FrustumTestSphere(mCamera, &sphere) == kFrustumOutside)
            mVisible = 0;
    }
    if (mVisible)
    {
        RunEmitters(dt, 0);
        mCullRadius = mEmitter->radius;
        return;
    }
    // Out of view: an endless emitter waits; one with an end only ages its particles.
    const int32_t endOffset = mClass->mLayout.definition[kDefEndTime];
    float end = -1.0f;
    if (endOffset >= 0)
        std::memcpy(&end, PrtStdEmitter::Data(mEmitter) + endOffset, sizeof end);
    if (end < 0.0f)
        return;
    RunEmitters(dt, 1);
    if (mCullRadius > 0.0f)
        mEmitter->radius = mCullRadius;
}

Atomic* KEmitterStd::Render()
{
    if (!mForceUpdate && !mVisible)
        return nullptr;
    KEmitter::Render();
    if (mAtomic && mAtomic->renderCallback)
        mAtomic->renderCallback(mAtomic);
    return mAtomic;
}

// ---- KEmitterPool ------------------------------------------------------------------------------

KEmitterPool::~KEmitterPool()
{
    Clear();
}

KEmitterStd* KEmitterPool::Create()
{
    if (!mOwner)
        return nullptr;
    auto* instance = new KEmitterStd();
    if (!instance)
        return nullptr;
    if (!mOwner->InitInstance(instance))
    {
        delete instance;
        return nullptr;
    }
    instance->SetRenderList(mRenderList);
    return instance;
}

KEmitterStd* KEmitterPool::Acquire()
{
    KEmitterStd* instance = nullptr;
    if (mFree.GetCount() > 0)
    {
        instance = static_cast<KEmitterStd*>(mFree[0]);
        const int32_t n = mFree.GetCount();
        std::memmove(mFree.GetData(), mFree.GetData() + 1, size_t(n - 1) * sizeof(void*));
        mFree.SetSize(n - 1);
    }
    else
    {
        instance = Create();
        // A new instance starts as a recycled one does.
        if (instance)
            instance->Restart();
    }
    if (instance)
    {
        instance->SetRenderList(mRenderList);
        ++mLiveCount;
    }
    return instance;
}

int32_t KEmitterPool::Release(KEmitterStd* instance)
{
    --mLiveCount;
    if (mFree.GetCount() >= mPreallocCount)
        return 0;
    instance->Reset();
    mFree.Add(instance);
    return 1;
}

void KEmitterPool::Prealloc()
{
    if (mFree.GetCount() > 0)
        return;
    for (int32_t i = 0; i < mPreallocCount; ++i)
        if (KEmitterStd* instance = Create())
            mFree.Add(instance);
}

void KEmitterPool::Clear()
{
    for (int32_t i = 0; i < mFree.GetCount(); ++i)
        delete static_cast<KEmitterStd*>(mFree[i]);
    mFree.RemoveAll();
}

void KEmitterPool::SetCamera(Camera* camera)
{
    for (int32_t i = 0; i < mFree.GetCount(); ++i)
        static_cast<KEmitterStd*>(mFree[i])->SetCamera(camera);
}

// ---- KEmitterClass -----------------------------------------------------------------------------

KEmitterClass::KEmitterClass()
{
    mPool.mOwner = this;
}

KEmitterClass::~KEmitterClass()
{
    mPool.Clear();
    if (mPrototype)
        Atomic::Destroy(mPrototype);
    if (mEmitterClass)
        PrtStdEmitterClass::Destroy(mEmitterClass);
    if (mParticleClass)
        PrtStdParticleClass::Destroy(mParticleClass);
}

bool KEmitterClass::Build(KEmitterDef& def)
{
    mEmitterClass = PrtStdEmitterClass::Create();
    mParticleClass = PrtStdParticleClass::Create();
    if (!mEmitterClass || !mParticleClass || !def.BuildClasses(mEmitterClass, mParticleClass, KfxCallbacks()))
        return false;
    mGroup = def.group;
    mPriority = std::clamp(def.priority, 0, KEmitterDef::kMaxPriority);
    mPrototype = PrtStdAtomic::Create(mEmitterClass, nullptr);
    if (!mPrototype)
        return false;
    mPrototypeEmitter = PrtStdAtomic::GetEmitters(mPrototype);
    if (!PrtStdEmitter::SetParticleClass(mPrototypeEmitter, mParticleClass,
                                         std::max(1, std::min(def.batchSize, def.maxParticles))))
        return false;
    mPrototypeEmitter->radius = 0;
    def.InitEmitter(mPrototypeEmitter, &mLayout);
    // InitEmitter gave the prototype a texture reference of its own: its destruction
    // releases it, and every clone takes one more.
    if (PrtStdEmitterStd* s = PrtStdEmitter::GetStandard(mPrototypeEmitter); s && s->texture)
        mPrototypeEmitter->flags |= kPrtStdEmitterFlagFromStream;
    mZTest = def.zTest;
    mZWrite = def.zWrite;
    mTexturePerspective = def.texturePerspective;
    mCullMode = def.cullMode;
    mStartTime = def.startTime;
    mPool.mOwner = this;
    if (mCamera)
        mPool.SetCamera(mCamera);
    return true;
}

bool KEmitterClass::InitInstance(KEmitterStd* e)
{
    e->mClass = this;
    e->mForceUpdate = mForceUpdate;
    e->mVisible = mForceUpdate;
    if (!mPrototype)
        return false;
    Atomic* clone = Atomic::Clone(mPrototype);
    if (!clone)
        return false;
    PrtStdEmitter* emitter = PrtStdAtomic::GetEmitters(clone);
    Frame* frame = Frame::Create();
    PrtStdEmitterStd* s = emitter ? PrtStdEmitter::GetStandard(emitter) : nullptr;
    PrtStdTankBlock* block = emitter ? PrtStdEmitter::GetTankBlock(emitter) : nullptr;
    if (!frame || !s || !block)
    {
        if (frame)
            Frame::Destroy(frame);
        Atomic::Destroy(clone);
        return false;
    }
    Atomic::SetFrame(clone, frame);
    Atomic* tank = s->maxParticles > 0 ? PTank::CreateAtomic(s->maxParticles, block->lockedProperties, 0) : nullptr;
    Frame* tankFrame = tank ? Frame::Create() : nullptr;
    if (!tankFrame)
    {
        if (tank)
            Atomic::Destroy(tank);
        DestroyAtomic(clone);
        return false;
    }
    Atomic::SetFrame(tank, tankFrame);
    if (!PrtStdEmitter::AttachPTank(emitter, tank))
    {
        if (block->tank != tank)
        {
            Atomic::SetFrame(tank, nullptr);
            Frame::Destroy(tankFrame);
            Atomic::Destroy(tank);
        }
        DestroyAtomic(clone);
        return false;
    }
    SetupTank(emitter, tank);
    e->BindAtomic(clone, &mLayout);
    if (mCamera)
        e->SetCamera(mCamera);
    return true;
}

void KEmitterClass::SetupTank(PrtStdEmitter* m, Atomic* tankAtomic)
{
    PTankRecord* record = PTank::Get(tankAtomic);
    PrtStdTankBlock* block = PrtStdEmitter::GetTankBlock(m);
    PrtStdEmitterStd* s = PrtStdEmitter::GetStandard(m);
    if (!record || !block || !s)
        return;
    PTankData& t = record->data;
    const uint32_t f = t.format.dataFlags;
    const KPropertyLayout& L = mLayout;
    char* data = PrtStdEmitter::Data(m);
    t.sourceBlend = block->sourceBlend;
    t.destBlend = block->destBlend;
    record->instanceFlags |= kPTankMarkBlend;
    t.vertexAlpha = L.definition[kDefTransparency] >= 0 ? 1 : 0;
    if ((f & kPTankUseCentre) && L.definition[kDefQuadCentre] >= 0)
    {
        std::memcpy(&t.centre, data + L.definition[kDefQuadCentre], sizeof t.centre);
        record->instanceFlags |= kPTankMarkCentre;
    }
    const int32_t* k = L.emitter[KTrackNumber::kConstraints];
    if (k[kConstraintUp] >= 0 && k[kConstraintRight] >= 0)
    {
        Vector u, r;
        std::memcpy(&u, data + k[kConstraintUp], sizeof u);
        std::memcpy(&r, data + k[kConstraintRight], sizeof r);
        t.matrix = Matrix{};
        t.matrix.right = r;
        t.matrix.up = u;
        t.matrix.at = {r.y * u.z - r.z * u.y, r.z * u.x - r.x * u.z, r.x * u.y - r.y * u.x};
        record->instanceFlags |= kPTankConstantMatrix;
    }
    Geometry* g = tankAtomic->geometry;
    Material* material = g && g->materials.count > 0 ? g->materials.materials[0] : nullptr;
    if (!(f & kPTankColour))
        if (const float* colour = Value(m, L, KTrackNumber::kEmtColor))
        {
            const float* alpha = Value(m, L, KTrackNumber::kEmtAlpha);
            auto byte = [](float v) { return uint8_t(uint32_t(int32_t(std::clamp(v, -1e9f, 1e9f))) & 0xFF); };
            t.colour = {byte(colour[0]), byte(colour[1]), byte(colour[2]), alpha ? byte(alpha[0]) : uint8_t(255)};
            if (material)
                material->colour = t.colour;
            record->instanceFlags |= kPTankMarkConstantColour;
        }
    if (f & kPTankConstantTexCoords2)
    {
        t.texCoords[0] = s->texCoords[0];
        t.texCoords[1] = s->texCoords[1];
        record->instanceFlags |= kPTankMarkConstantTexCoords2;
    }
    if (!(f & kPTankSize))
        if (const float* size = Value(m, L, KTrackNumber::kEmtSize))
        {
            t.size = {size[0], size[1]};
            record->instanceFlags |= kPTankMarkConstantSize;
        }
    if (!(f & kPTankRotation))
        if (const float* rotation = Value(m, L, KTrackNumber::kEmtRot2d))
        {
            t.rotation = rotation[0] * kDegreesToRadians;
            record->instanceFlags |= kPTankMarkConstantRotation;
        }
    if (s->texture && material)
        Material::SetTexture(material, s->texture);
}

void KEmitterClass::SetCamera(Camera* camera)
{
    mCamera = camera;
    mPool.SetCamera(camera);
}
