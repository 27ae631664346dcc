// Emitter classes and instances: KEmitterClass, the runtime form of one block of an effect
// script (the particle plug-in's classes with the program's callbacks, a prototype atomic,
// the property layout, render states and a pool of idle instances); KEmitterStd, one running
// emitter cloned from it with its own frame and tank; the render lists they are linked in.
#pragma once

#include "hbgrowarray.h"
#include "hbperclassfreelist.h"
#include "hbroot.h"
#include "kparticle.h"
#include "kpropertylayout.h"
#include "vector.h"

#include <cstdint>

struct Atomic;
struct Camera;
struct Frame;
struct FxContext;
class KEmitterClass;
class KEmitterDef;
class KEmitterStd;

/// A node of an intrusive list: the payload is the object the node is embedded in.
struct KfxListNode
{
    KfxListNode* previous = nullptr;
    KfxListNode* next = nullptr;
    void* payload = nullptr;

    bool IsLinked() const { return next != nullptr; }
    /// Out of its list; next becomes null.
    void Unlink();
};

/// A list with head and tail sentinels; new nodes go right after the head.
struct KfxList
{
    KfxListNode head;
    KfxListNode tail;

    KfxList() { Clear(); }
    KfxList(const KfxList&) = delete;
    KfxList& operator=(const KfxList&) = delete;
    /// Empty, whatever was linked.
    void Clear()
    {
        head.previous = nullptr;
        head.next = &tail;
        tail.previous = &head;
        tail.next = nullptr;
    }
    bool IsEmpty() const { return head.next == &tail; }
    void InsertFront(KfxListNode* node);
    int32_t Count() const;
};

/// One render list of the effect manager: a group and a priority.
using KfxRenderList = KfxList;

// ---- Instances ---------------------------------------------------------------------------------

/// The abstract emitter.
class KEmitter : public HbRoot
{
public:
    virtual KEmitterClass* GetClass() = 0;
    virtual void AttachToFrame(Frame* frame) = 0;
    virtual void Translate(const Vector* vector, int32_t combine) = 0;
    /// The local +Z turned onto the direction, spun by angle degrees about it.
    virtual void SetDirection(const float* direction, float angle) = 0;
    virtual Camera* GetCamera() = 0;
    void SetOwned() { mOwned = 1; }
    /// The class's render states, set once per run of the same class.
    virtual Atomic* Render();
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual void Update(float dt) = 0;
    virtual void Reset() = 0;
    /// 0 when not linked, or past its end with an empty tank.
    int32_t IsActive();
    int32_t IsOwned() const { return mOwned; }
    void SetRenderList(KfxRenderList* list) { mRenderList = list; }
    virtual int32_t ReleaseToPool() = 0;
    virtual void FreeParticles() = 0;
    virtual void SetCamera(Camera* camera) = 0;
    virtual int32_t IsPastEnd() = 0;
    virtual int32_t IsEmpty() = 0;

    /// The next Render sets the device states whatever class set them last.
    static void ClearRenderStateCache();

    bool IsLinked() const { return mNode.IsLinked(); }
    /// At the front of its render list when not linked.
    void Link();
    void Unlink();
    KfxRenderList* GetRenderList() const { return mRenderList; }
    static KEmitter* FromNode(KfxListNode* node) { return static_cast<KEmitter*>(node->payload); }

protected:
    KEmitter() { mNode.payload = this; }

    int32_t mOwned = 0;
    KfxRenderList* mRenderList = nullptr;
    KfxListNode mNode;
};

class KEmitterStd final : public KEmitter
{
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 600;

    KEmitterStd();
    /// The frames and the particle atomic go (the tank with it).
    ~KEmitterStd() override;

    KEmitterClass* GetClass() override { return mClass; }
    void AttachToFrame(Frame* frame) override;
    void Translate(const Vector* vector, int32_t combine) override;
    void SetDirection(const float* direction, float angle) override;
    Camera* GetCamera() override { return mCamera; }
    /// Drawn when ForceUpdate is set or it was visible in its last update; the atomic.
    Atomic* Render() override;
    /// Restarted from time 0 and linked.
    void Start() override;
    /// Every particle dropped at once; unlinked.
    void Stop() override;
    void Update(float dt) override;
    /// Back to idle: detached, tank constants rebuilt, restarted, no particles.
    void Reset() override;
    int32_t ReleaseToPool() override;
    void FreeParticles() override;
    void SetCamera(Camera* camera) override;
    /// 1 when its end time is above 0 and behind the emitter's time.
    int32_t IsPastEnd() override;
    /// 1 without a tank block or when the tank holds no particle.
    int32_t IsEmpty() override;

    /// Translate, SetDirection, then the frame, or else the followed position and extras.
    void ApplyContext(const FxContext& context);
    /// The emitter of the atomic, its blocks and the layout.
    void BindAtomic(Atomic* atomic, KPropertyLayout* layout);
    /// The program's properties from the prototype, time 0, no tank particles, bound 0.
    void Restart();

    // ---- Fields the class and tests read ---------------------------------------------------

    const float* mFollowed = nullptr;
    uintptr_t mExtra[2] = {0, 0};
    Camera* mCamera = nullptr;
    Atomic* mAtomic = nullptr;
    PrtStdEmitter* mEmitter = nullptr;
    int32_t mVisible = 0;
    int32_t mForceUpdate = 0;
    Vector mWorldPosition = {0, 0, 0};
    float mCullRadius = -1.0f;
    KEmitterClass* mClass = nullptr;
    KEmitterUpdateParams mParams;

private:
    void RunEmitters(float dt, int32_t outOfView);
    void ClearParticles();
};

// ---- Classes -----------------------------------------------------------------------------------

/// Idle instances of one class, oldest first.
class KEmitterPool
{
public:
    virtual ~KEmitterPool();
    /// Prealloc-count instances when the pool is empty.
    virtual void Prealloc();
    /// The oldest idle instance, else a new one; null when none can be built.
    virtual KEmitterStd* Acquire();
    /// Reset and kept (1) while the pool holds fewer than its prealloc count, else 0.
    virtual int32_t Release(KEmitterStd* instance);
    /// Every idle instance deleted.
    virtual void Clear();
    void SetCamera(Camera* camera);

    KEmitterClass* mOwner = nullptr;
    HbPtrArray mFree;
    int32_t mPreallocCount = 0;
    KfxRenderList* mRenderList = nullptr;
    int32_t mLiveCount = 0;

private:
    KEmitterStd* Create();
};

class KEmitterClass
{
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 150;

    KEmitterClass();
    virtual ~KEmitterClass();
    KEmitterClass(const KEmitterClass&) = delete;
    KEmitterClass& operator=(const KEmitterClass&) = delete;

    /// Everything from a parsed block. False when a plug-in call fails: the class cannot be
    /// used and is deleted by its builder.
    bool Build(KEmitterDef& def);
    /// A new instance's atomic, frames, tank and blocks; false when one cannot be made.
    bool InitInstance(KEmitterStd* instance);
    /// The tank's constants from the emitter's current values.
    void SetupTank(PrtStdEmitter* emitter, Atomic* tank);
    void SetCamera(Camera* camera);

    PrtStdEmitterClass* mEmitterClass = nullptr;
    PrtStdParticleClass* mParticleClass = nullptr;
    PrtStdEmitter* mPrototypeEmitter = nullptr;
    Atomic* mPrototype = nullptr;
    int32_t mGroup = 2;
    int32_t mPriority = 0;
    int32_t mZTest = 1;
    int32_t mZWrite = 0;
    int32_t mTexturePerspective = 1;
    int32_t mCullMode = 1;
    float mStartTime = 0.0f;
    KPropertyLayout mLayout;
    int32_t mForceUpdate = 0;
    KEmitterPool mPool;
    Camera* mCamera = nullptr;
};
