// Object fades over the renderer's fading lists.
#include "fxfade.h"

#include "ammomanager.h"
#include "hbclock.h"
#include "hbperclassfreelist.h"
#include "hbptr.h"
#include "hbptrlist.h"
#include "w3dnode.h"
#include "wrenderer.h"

namespace
{
// The fade records share the ammunition's pool code: 100 records, then the heap.
struct TFadeInfos
{
    AMMO_DECLARE_POOL();

public:
    float startTime = 0.0f;
    float duration = 0.0f;
    float progress = 0.0f;
    HbHandlePtr object;
    int32_t finished = 1;
    FxFadeCallback callback = nullptr;
    void* user = nullptr;
};

HbPtrList gPending;

float GameSeconds()
{
    HbGameClock* clock = HbGameClock::Instance();
    const int64_t frequency = HbPerformanceFrequency();
    return clock && frequency > 0 ? float(double(clock->mGameTime) / double(frequency)) : 0.0f;
}

float FadeAlpha(TRenderDataItem*, void* user)
{
    return 1.0f - *static_cast<const float*>(user);
}

/// The live node the record names, or null (the handle then released).
W3dNode* LiveNode(TFadeInfos* fade)
{
    if (!fade->object.IsValid())
        return nullptr;
    return HbCastTo<W3dNode>(fade->object.GetObject());
}

/// Back into its normal layer; a node whose normal layer is none stays out of the lists.
void Restore(W3dNode* node)
{
    node->SetFade(nullptr, nullptr);
    if (!node->GetScene() || !node->GetParent())
        return;
    WRenderer* renderer = WRenderer::Existing();
    if (!renderer)
        return;
    renderer->RemoveFromRenderLists(node);
    if (node->GetRenderLayer() != W3dNode::kNoRenderLayer)
        renderer->AddToRenderLists(node, node->GetRenderLayer());
}
} // namespace

AMMO_DEFINE_POOL(TFadeInfos, "TFadeInfos");

int32_t FxFadeStart(const HbHandlePtr& object, float duration, FxFadeCallback callback, void* user)
{
    auto* fade = new TFadeInfos();
    if (!fade)
    {
        if (callback)
            callback(user);
        return 0;
    }
    fade->duration = duration;
    fade->object.AssignFrom(object);
    fade->callback = callback;
    fade->user = user;
    fade->startTime = GameSeconds();
    fade->progress = 0.0f;

    W3dNode* node = LiveNode(fade);
    WRenderer* renderer = WRenderer::Existing();
    if (!node || !node->GetScene() || !node->GetParent() ||
        node->GetFadeRenderLayer() == W3dNode::kNoRenderLayer || !renderer || !gPending.AddTail(fade))
    {
        delete fade;
        if (callback)
            callback(user);
        return 0;
    }
    renderer->RemoveFromRenderLists(node);
    node->SetFade(FadeAlpha, &fade->progress);
    renderer->AddToRenderLists(node, node->GetFadeRenderLayer());
    fade->finished = 0;
    return 1;
}

void FxFadeStep()
{
    const float now = GameSeconds();
    HbPtrListNode* entry = gPending.GetHead();
    while (entry)
    {
        auto* fade = static_cast<TFadeInfos*>(entry->value);
        W3dNode* node = LiveNode(fade);
        if (node && fade->duration > 0.0f)
        {
            fade->progress = (now - fade->startTime) / fade->duration;
            if (fade->progress <= 1.0f)
            {
                entry = entry->next;
                continue;
            }
        }
        // Finished: the object returns to its normal layer (none stays out of the lists),
        // and the callback always runs so that its owner can let the object go.
        if (node)
            Restore(node);
        fade->finished = 1;
        HbPtrListNode* next = entry->next;
        gPending.RemoveAt(entry);
        const FxFadeCallback callback = fade->callback;
        void* user = fade->user;
        delete fade;
        if (callback)
            callback(user);
        entry = next;
    }
}

void FxFadeClearAll()
{
    while (!gPending.IsEmpty())
    {
        auto* fade = static_cast<TFadeInfos*>(gPending.PopFront());
        // No live object may keep a hook on the record's progress.
        if (W3dNode* node = LiveNode(fade))
            Restore(node);
        delete fade;
    }
    gPending.RemoveAll();
}

int32_t FxFadeCount()
{
    return gPending.GetCount();
}
