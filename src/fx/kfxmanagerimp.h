// The effect manager behind the renderer's entry points: the effect definitions (one per
// effect id, each a list of emitter classes), the twenty render lists, one-shot plays and
// the effect objects (KFX) that own bound emitters.
#pragma once

#include "fxcontext.h"
#include "hbgrowarray.h"
#include "hbperclassfreelist.h"
#include "hbroot.h"
#include "kemitter.h"
#include "kfxmanager.h"

#include <cstdint>
#include <string>

class KEmitterClass;
class KFX;

/// The parsed form of one effect script: its emitter classes in block order and the
/// effect objects bound to it.
class KfxDefinition
{
public:
    explicit KfxDefinition(const char* name);
    /// Clear.
    virtual ~KfxDefinition();
    KfxDefinition(const KfxDefinition&) = delete;
    KfxDefinition& operator=(const KfxDefinition&) = delete;

    /// Unbinds every object in its list.
    void UnbindAll();
    void SetCamera(Camera* camera);
    /// Every object holding one of its instances unbound (wherever it is listed), then its
    /// classes deleted.
    void Clear();
    /// Appends a built class; the definition deletes it.
    void AddClass(KEmitterClass* emitterClass) { mClasses.Add(emitterClass); }
    int32_t GetClassCount() const { return mClasses.GetCount(); }
    KEmitterClass* GetClass(int32_t i) const { return static_cast<KEmitterClass*>(mClasses[i]); }
    bool Owns(const KEmitterClass* emitterClass) const;

    std::string mName;
    KfxList mObjects;
    HbPtrArray mClasses;
};

/// An effect object: the caller owns it and the emitters it binds.
class KFX : public HbRoot
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 200;

    KFX();
    /// Emitters deleted, out of its definition's list.
    ~KFX() override;

    /// One instance per class of the definition, owned. Binding the definition it holds again
    /// restarts its instances instead of adding a set; another definition adds one.
    void Bind(KfxDefinition* definition);
    void SetContext(const FxContext& context);
    /// Every emitter linked and restarted; the emitter count.
    int32_t Start();
    int32_t Stop();
    /// 1 when it holds no emitter or none is active.
    int32_t IsFinished();
    void SetCamera(Camera* camera);
    /// Every emitter unlinked and deleted.
    void ClearEmitters();
    void Unbind();

    int32_t GetEmitterCount() const { return mEmitters.GetCount(); }
    KEmitterStd* GetEmitter(int32_t i) const { return static_cast<KEmitterStd*>(mEmitters[i]); }
    bool HoldsClassOf(const KfxDefinition* definition) const;
    /// Every live object, for the definitions' clearing.
    static KFX* First() { return sFirst; }
    KFX* Next() const { return mNextLive; }

    KfxList* mListHead = nullptr;
    KfxListNode mNode;
    KfxDefinition* mDefinition = nullptr;
    HbPtrArray mEmitters;
    int32_t mBound = 0;
    FxContext mContext;

private:
    static KFX* sFirst;
    KFX* mPreviousLive = nullptr;
    KFX* mNextLive = nullptr;
};

class KfxManagerImp : public KfxManagerBackend
{
public:
    static constexpr int32_t kListCount = 20;

    KfxManagerImp() = default;
    ~KfxManagerImp() override;
    KfxManagerImp(const KfxManagerImp&) = delete;
    KfxManagerImp& operator=(const KfxManagerImp&) = delete;

    /// The program's manager.
    static KfxManagerImp& Instance();

    /// n empty definition slots (the old definitions deleted).
    void SetDefinitionCount(int32_t count);
    /// A definition without classes in the slot (one there before is deleted with its linked
    /// instances); 1, 0 outside the slots.
    int32_t LoadDefinition(int32_t slot, const char* name);
    KfxDefinition* GetDefinition(int32_t slot) const;
    int32_t GetDefinitionCount() const { return mDefinitions.GetCount(); }
    /// Every class's pool takes its render list: priority in group 1, 10 + priority in group 2.
    void AssignRenderLists();
    KfxRenderList* GetList(int32_t index) { return &mLists[index]; }

    // ---- KfxManagerBackend -------------------------------------------------------------------

    void SetCamera(Camera* camera) override;
    void UpdateAll() override;
    void RenderGroup(int32_t group) override;
    int32_t PlayOneShot(int32_t index, const FxContext* context) override;
    int32_t BindDefinition(KFX* effect, int32_t index, const FxContext* context) override;
    void Prealloc() override;
    void ForEachEmitterReset() override;
    void ResetRenderLists() override;
    void Shutdown() override;

    /// 0 when the camera is the one it has, else 1.
    int32_t ChangeCamera(Camera* camera);
    /// The frame step of UpdateAll.
    void UpdateAllBy(float dt);
    Camera* GetCamera() const { return mCamera; }

private:
    void EmptyList(KfxRenderList& list);
    /// The definition and the instances of its classes still linked.
    void DeleteDefinition(KfxDefinition* definition);
    /// Back to its pool, or deleted when the pool refuses it.
    static void Retire(KEmitter* emitter);

    KfxRenderList mLists[kListCount];
    HbPtrArray mDefinitions;
    Camera* mCamera = nullptr;
};
