// The effect manager, the effect definitions and the effect objects (KFX): one-shot plays,
// binds, the per-frame walk of the render lists that updates or retires instances, the
// drawing of the two groups and the clean-ups of stage exit and shut-down.
#include "kfxmanagerimp.h"

#include "hbclock.h"

#include <algorithm>

HB_DEFINE_CLASS_DESC(KFX, HbRoot);
HB_DEFINE_CLASS_POOL(KFX, "KFX", KFX::kPoolSize);

KFX* KFX::sFirst = nullptr;

namespace
{
/// Every live object holding an instance of one of the definition's classes, or listed
/// under it, loses its emitters (a rebound object may sit in another definition's list).
void UnbindHolders(KfxDefinition* definition)
{
    for (KFX* x = KFX::First(); x; x = x->Next())
        if (x->mListHead == &definition->mObjects || x->HoldsClassOf(definition))
            x->Unbind();
}
} // namespace

// ---- KfxDefinition -----------------------------------------------------------------------------

KfxDefinition::KfxDefinition(const char* name) : mName(name ? name : "") {}

KfxDefinition::~KfxDefinition()
{
    Clear();
    // The objects outlive the definition: none may keep a link into its list.
    while (!mObjects.IsEmpty())
        mObjects.head.next->Unlink();
    for (KFX* x = KFX::First(); x; x = x->Next())
    {
        if (x->mDefinition == this)
            x->mDefinition = nullptr;
        if (x->mListHead == &mObjects)
            x->mListHead = nullptr;
    }
}

bool KfxDefinition::Owns(const KEmitterClass* emitterClass) const
{
    for (int32_t i = 0; i < mClasses.GetCount(); ++i)
        if (mClasses[i] == emitterClass)
            return true;
    return false;
}

void KfxDefinition::UnbindAll()
{
    for (KfxListNode* node = mObjects.head.next; node != &mObjects.tail; node = node->next)
        static_cast<KFX*>(node->payload)->Unbind();
}

void KfxDefinition::SetCamera(Camera* camera)
{
    for (int32_t i = 0; i < GetClassCount(); ++i)
        GetClass(i)->SetCamera(camera);
    for (KfxListNode* node = mObjects.head.next; node != &mObjects.tail; node = node->next)
        static_cast<KFX*>(node->payload)->SetCamera(camera);
}

void KfxDefinition::Clear()
{
    UnbindAll();
    UnbindHolders(this);
    for (int32_t i = 0; i < GetClassCount(); ++i)
        delete GetClass(i);
    mClasses.RemoveAll();
}

// ---- KFX ---------------------------------------------------------------------------------------

KFX::KFX()
{
    mNode.payload = this;
    mNextLive = sFirst;
    if (sFirst)
        sFirst->mPreviousLive = this;
    sFirst = this;
}

KFX::~KFX()
{
    ClearEmitters();
    mNode.Unlink();
    if (mPreviousLive)
        mPreviousLive->mNextLive = mNextLive;
    else
        sFirst = mNextLive;
    if (mNextLive)
        mNextLive->mPreviousLive = mPreviousLive;
}

bool KFX::HoldsClassOf(const KfxDefinition* definition) const
{
    for (int32_t i = 0; i < GetEmitterCount(); ++i)
        if (definition->Owns(GetEmitter(i)->GetClass()))
            return true;
    return false;
}

void KFX::Bind(KfxDefinition* definition)
{
    if (!definition)
        return;
    if (definition == mDefinition && mBound && GetEmitterCount() > 0)
    {
        // Binding again would add a set per call: the held ones start over instead.
        for (int32_t i = 0; i < GetEmitterCount(); ++i)
            GetEmitter(i)->Restart();
        return;
    }
    mDefinition = definition;
    mListHead = &definition->mObjects;
    if (!mNode.IsLinked())
        definition->mObjects.InsertFront(&mNode);
    for (int32_t i = 0; i < definition->GetClassCount(); ++i)
        if (KEmitterStd* e = definition->GetClass(i)->mPool.Acquire())
        {
            mEmitters.Add(e);
            e->SetOwned();
        }
    mBound = 1;
}

void KFX::SetContext(const FxContext& context)
{
    mContext = context;
    for (int32_t i = 0; i < GetEmitterCount(); ++i)
        GetEmitter(i)->ApplyContext(context);
}

int32_t KFX::Start()
{
    for (int32_t i = 0; i < GetEmitterCount(); ++i)
        GetEmitter(i)->Start();
    return GetEmitterCount();
}

int32_t KFX::Stop()
{
    for (int32_t i = 0; i < GetEmitterCount(); ++i)
        GetEmitter(i)->Stop();
    return GetEmitterCount();
}

int32_t KFX::IsFinished()
{
    for (int32_t i = 0; i < GetEmitterCount(); ++i)
        if (GetEmitter(i)->IsActive())
            return 0;
    return 1;
}

void KFX::SetCamera(Camera* camera)
{
    for (int32_t i = 0; i < GetEmitterCount(); ++i)
        GetEmitter(i)->SetCamera(camera);
}

void KFX::ClearEmitters()
{
    for (int32_t i = 0; i < GetEmitterCount(); ++i)
        delete GetEmitter(i);
    mEmitters.RemoveAll();
}

void KFX::Unbind()
{
    ClearEmitters();
    mBound = 0;
}

// ---- KfxManagerImp -----------------------------------------------------------------------------

KfxManagerImp::~KfxManagerImp()
{
    Shutdown();
}

KfxManagerImp& KfxManagerImp::Instance()
{
    // Never destroyed: the engine it draws through is gone by the time statics die.
    static KfxManagerImp* manager = new KfxManagerImp();
    return *manager;
}

void KfxManagerImp::DeleteDefinition(KfxDefinition* definition)
{
    if (!definition)
        return;
    // Its one-shot instances leave the lists with it: their classes are about to go.
    for (KfxRenderList& list : mLists)
        for (KfxListNode* node = list.head.next; node != &list.tail;)
        {
            KfxListNode* next = node->next;
            KEmitter* e = KEmitter::FromNode(node);
            if (definition->Owns(e->GetClass()))
            {
                e->Unlink();
                if (!e->IsOwned())
                    delete e;
            }
            node = next;
        }
    delete definition;
}

void KfxManagerImp::SetDefinitionCount(int32_t count)
{
    for (int32_t i = 0; i < mDefinitions.GetCount(); ++i)
        DeleteDefinition(static_cast<KfxDefinition*>(mDefinitions[i]));
    mDefinitions.RemoveAll();
    if (count > 0)
        mDefinitions.SetSize(count);
}

int32_t KfxManagerImp::LoadDefinition(int32_t slot, const char* name)
{
    if (slot < 0 || slot >= mDefinitions.GetCount())
        return 0;
    DeleteDefinition(static_cast<KfxDefinition*>(mDefinitions[slot]));
    mDefinitions[slot] = new KfxDefinition(name);
    return 1;
}

KfxDefinition* KfxManagerImp::GetDefinition(int32_t slot) const
{
    if (slot < 0 || slot >= mDefinitions.GetCount())
        return nullptr;
    return static_cast<KfxDefinition*>(mDefinitions[slot]);
}

void KfxManagerImp::AssignRenderLists()
{
    for (int32_t d = 0; d < GetDefinitionCount(); ++d)
        if (KfxDefinition* def = GetDefinition(d))
            for (int32_t i = 0; i < def->GetClassCount(); ++i)
            {
                KEmitterClass* c = def->GetClass(i);
                const int32_t priority = std::clamp(c->mPriority, 0, 9);
                KfxRenderList* list = &mLists[c->mGroup == 1 ? priority : 10 + priority];
                c->mPool.mRenderList = list;
                for (int32_t k = 0; k < c->mPool.mFree.GetCount(); ++k)
                    static_cast<KEmitterStd*>(c->mPool.mFree[k])->SetRenderList(list);
            }
}

int32_t KfxManagerImp::ChangeCamera(Camera* camera)
{
    if (camera == mCamera)
        return 0;
    mCamera = camera;
    for (int32_t d = 0; d < GetDefinitionCount(); ++d)
        if (KfxDefinition* def = GetDefinition(d))
            def->SetCamera(camera);
    for (KfxRenderList& list : mLists)
        for (KfxListNode* node = list.head.next; node != &list.tail; node = node->next)
            KEmitter::FromNode(node)->SetCamera(camera);
    return 1;
}

void KfxManagerImp::SetCamera(Camera* camera)
{
    ChangeCamera(camera);
}

void KfxManagerImp::Retire(KEmitter* emitter)
{
    if (!emitter->ReleaseToPool())
        delete emitter;
}

void KfxManagerImp::UpdateAllBy(float dt)
{
    for (KfxRenderList& list : mLists)
        for (KfxListNode* node = list.head.next; node != &list.tail;)
        {
            KfxListNode* next = node->next;
            KEmitter* e = KEmitter::FromNode(node);
            if (e->IsActive())
                e->Update(dt);
            else
            {
                e->Unlink();
                if (!e->IsOwned())
                    Retire(e);
            }
            node = next;
        }
}

void KfxManagerImp::UpdateAll()
{
    HbGameClock* clock = HbGameClock::Instance();
    UpdateAllBy(clock ? clock->mStepSeconds : 0.0f);
}

void KfxManagerImp::RenderGroup(int32_t group)
{
    KEmitter::ClearRenderStateCache();
    if (group != KfxManager::kGroupBeforeCharacters && group != KfxManager::kGroupAfterCharacters)
        return;
    const int32_t first = group == KfxManager::kGroupBeforeCharacters ? 0 : 10;
    for (int32_t i = first; i < first + 10; ++i)
        for (KfxListNode* node = mLists[i].head.next; node != &mLists[i].tail; node = node->next)
            KEmitter::FromNode(node)->Render();
}

int32_t KfxManagerImp::PlayOneShot(int32_t index, const FxContext* context)
{
    KfxDefinition* def = GetDefinition(index);
    if (!def)
        return 0;
    for (int32_t i = 0; i < def->GetClassCount(); ++i)
    {
        KEmitterStd* e = def->GetClass(i)->mPool.Acquire();
        if (!e)
            continue;
        if (!e->GetRenderList())
        {
            // A class without a list (render lists not assigned) has nowhere to run.
            Retire(e);
            continue;
        }
        if (context)
            e->ApplyContext(*context);
        e->Link();
    }
    return 1;
}

int32_t KfxManagerImp::BindDefinition(KFX* effect, int32_t index, const FxContext* context)
{
    KfxDefinition* def = GetDefinition(index);
    if (!def || !effect)
        return 0;
    effect->Bind(def);
    if (context)
        effect->SetContext(*context);
    return 1;
}

void KfxManagerImp::Prealloc()
{
    for (int32_t d = 0; d < GetDefinitionCount(); ++d)
        if (KfxDefinition* def = GetDefinition(d))
            for (int32_t i = 0; i < def->GetClassCount(); ++i)
                def->GetClass(i)->mPool.Prealloc();
}

void KfxManagerImp::ForEachEmitterReset()
{
    for (int32_t d = 0; d < GetDefinitionCount(); ++d)
        if (KfxDefinition* def = GetDefinition(d))
        {
            for (int32_t i = 0; i < def->GetClassCount(); ++i)
                def->GetClass(i)->mPool.Clear();
            def->UnbindAll();
            UnbindHolders(def);
        }
}

void KfxManagerImp::EmptyList(KfxRenderList& list)
{
    for (KfxListNode* node = list.head.next; node != &list.tail;)
    {
        KfxListNode* next = node->next;
        KEmitter* e = KEmitter::FromNode(node);
        e->Unlink();
        if (!e->IsOwned())
            Retire(e);
        node = next;
    }
    list.Clear();
}

void KfxManagerImp::ResetRenderLists()
{
    for (KfxRenderList& list : mLists)
        EmptyList(list);
}

void KfxManagerImp::Shutdown()
{
    ResetRenderLists();
    for (int32_t d = 0; d < GetDefinitionCount(); ++d)
    {
        DeleteDefinition(GetDefinition(d));
        mDefinitions[d] = nullptr;
    }
}
