// The renderer's frame: the may-draw test, the clear at the start of a frame, the update,
// the 3D pass and the present with the pending mode change at its end; the current scene,
// the nodes' items in the render lists, the custom render callbacks and the clumps prepared
// after a level has loaded.
#include "wrenderer.h"

#include "camera.h"
#include "engine.h"
#include "frame.h"
#include "hbapplication.h"
#include "hbclock.h"
#include "hbexitlist.h"
#include "kfxmanager.h"
#include "mipmapk.h"
#include "raster.h"
#include "w2dsurfacelist.h"
#include "w3dcamera.h"
#include "w3dlevel.h"
#include "w3dnode.h"
#include "w3dsky.h"
#include "wanimatedtextureset.h"
#include "world.h"
#include "wrenderer_local.h"
#include "wrenderitem.h"
#include "wrenderlist.h"
#include "wscene.h"
#include "wshadows.h"
#include "wuvanimregistry.h"

bool WRenderer::MayDraw()
{
    // Only a full-screen window hides the frame while inactive; the first call of a frame
    // samples the window, later ones can only turn drawing off.
    if (!mWindow || !(mWindow->flags & HbWindowState::kFullScreen))
        return true;
    if (mFrameCounter != mSampledFrame)
    {
        mActiveFlag = mWindow->active;
        mSampledFrame = mFrameCounter;
    }
    else
    {
        mActiveFlag = mActiveFlag && mWindow->active;
    }
    return mActiveFlag != 0;
}

W3dCamera* WRenderer::GetValidCamera()
{
    if (!mCurrentCamera.IsValid())
    {
        mCurrentCamera.Reset();
        return nullptr;
    }
    auto* camera = dynamic_cast<W3dCamera*>(mCurrentCamera.GetObject());
    if (!camera || !camera->GetCamera())
    {
        mCurrentCamera.Reset();
        return nullptr;
    }
    return camera;
}

int32_t WRenderer::BeginFrame()
{
    if (!MayDraw())
        return 0;
    if (W3dCamera* camera = GetValidCamera())
        return camera->Clear();
    if (!mMainCamera)
        return 0;
    static const Rgba kClearColour = {0, 0, 0, 255};
    return Camera::Clear(mMainCamera, &kClearColour, kCameraClearImage | kCameraClearZ) ? 1 : 0;
}

void WRenderer::UpdateFrame()
{
    W3dCamera* camera = GetValidCamera();
    if (!camera)
    {
        KfxManager::SetCamera(nullptr);
        return;
    }
    HbGameClock* clock = HbGameClock::Instance();
    UVAnimUpdate(clock ? clock->mStepSeconds : 0.0f);
    if (mAnimatedTextures)
        mAnimatedTextures->Tick();
    W3dLevel* level = nullptr;
    if (mCurrentScene)
    {
        mCurrentScene->Update();
        level = mCurrentScene->GetLevel();
    }
    if (level && level->GetSky())
        level->GetSky()->FollowCamera(camera);
    KfxManager::SetCamera(camera->GetCamera());
    KfxManager::UpdateAll();
}

namespace
{
/// The four states the 3D pass hands back as it found them.
struct SavedStates
{
    intptr_t zTest;
    intptr_t zWrite;
    intptr_t vertexAlpha;
    intptr_t fog;

    static SavedStates Read()
    {
        return {WGetRenderState(kRenderStateZTest), WGetRenderState(kRenderStateZWrite),
                WGetRenderState(kRenderStateVertexAlpha), WGetRenderState(kRenderStateFog)};
    }
    void RestoreDepthAndAlpha() const
    {
        WSetRenderState(kRenderStateZTest, zTest);
        WSetRenderState(kRenderStateZWrite, zWrite);
        WSetRenderState(kRenderStateVertexAlpha, vertexAlpha);
    }
    void RestoreAll() const
    {
        WSetRenderState(kRenderStateFog, fog);
        RestoreDepthAndAlpha();
    }
};

/// One effect group between the states it is drawn with and the saved ones. The group may
/// change depth states of its own (emitters do); the restore afterwards wins either way.
void RenderEffectGroup(Camera* camera, int32_t group, intptr_t zTest, const SavedStates& saved)
{
    WSetRenderState(kRenderStateVertexAlpha, 1);
    WSetRenderState(kRenderStateZWrite, 0);
    WSetRenderState(kRenderStateZTest, zTest);
    WSetRenderState(kRenderStateFog, 0);
    KfxManager::SetCamera(camera);
    KfxManager::RenderGroup(group);
    saved.RestoreAll();
}
} // namespace

void WRenderer::RenderLayer(int32_t layer)
{
    if (WRenderList* list = mRenderLists[layer])
        list->Render();
}

void WRenderer::RenderScene()
{
    if (!MayDraw())
        return;
    W3dCamera* node = GetValidCamera();
    if (!node)
    {
        KfxManager::SetCamera(nullptr);
        return;
    }
    W3dLevel* level = mCurrentScene ? mCurrentScene->GetLevel() : nullptr;
    World* world = level ? level->GetMainWorld() : nullptr;
    Camera* camera = node->GetCamera();
    Vector position = {0.0f, 0.0f, 0.0f};
    if (Frame* frame = node->GetEngineFrame())
        position = Frame::GetWorldMatrix(frame)->pos;

    if (Camera::BeginUpdate(camera))
    {
        WSetRenderState(kRenderStateCullMode, 1);
        WSetRenderState(kRenderStateVertexAlpha, 1);
        node->ApplyFog();
        const SavedStates saved = SavedStates::Read();

        if (level && level->GetSky())
        {
            WSetRenderState(kRenderStateFog, 0);
            level->GetSky()->Render(node);
            WSetRenderState(kRenderStateFog, saved.fog);
        }
        if (world)
            World::Render(world);
        RenderEffectGroup(camera, KfxManager::kGroupBeforeCharacters, 0, saved);

        RenderLayer(1);
        RenderLayer(2);
        RenderLayer(0);
        // Callbacks may remove themselves: the slot count is read again every step.
        for (int32_t i = 0; i < mCustomRenderCallbacks.GetCount(); ++i)
            if (auto* callback = static_cast<TCustomRenderCB*>(mCustomRenderCallbacks[i]))
                callback->function(callback->user);
        WSetRenderState(kRenderStateVertexAlpha, 1);
        RenderLayer(4);
        RenderLayer(3);

        WSetRenderState(kRenderStateZWrite, 0);
        WSetRenderState(kRenderStateZTest, 1);
        if (WRenderList* transparent = mRenderLists[kTransparentLayer])
        {
            SetBackToFrontOrigin(&position);
            transparent->Sort(CompareBackToFront);
            transparent->Render();
            static const Vector kNoOrigin = {0.0f, 0.0f, 0.0f};
            SetBackToFrontOrigin(&kNoOrigin);
        }
        saved.RestoreDepthAndAlpha();

        RenderEffectGroup(camera, KfxManager::kGroupAfterCharacters, 1, saved);
        node->RenderOverlays();
        Camera::EndUpdate(camera);
    }
    WShadows::RenderAll(camera);
}

void WRenderer::EndFrame()
{
    // The renderer is the one that counts frames on the real clock (its Tick does not): every
    // ended frame, presented or not, so stamps taken during a hidden frame still move on.
    if (HbRealClock* clock = HbRealClock::Instance())
        ++clock->mFrameCount;
    if (!MayDraw())
    {
        ++mFrameCounter;
        return;
    }
    if (mMainCamera)
    {
        if (Camera::BeginUpdate(mMainCamera))
        {
            if (mSurfaceList)
                mSurfaceList->Render();
            Camera::EndUpdate(mMainCamera);
        }
        Camera::ShowRaster(mMainCamera, mWindow ? mWindow->window : nullptr, 0);
    }
    ++mFrameCounter;
    if (mPendingVideoMode < 0)
        return;
    int32_t previous = Engine::GetCurrentVideoMode();
    if (!ChangeVideoMode())
    {
        // The device is back in the previous mode; the window state and the preferences are
        // made to describe that mode again, not the request that failed.
        mRequested = mRestoreSettings;
        mPendingVideoMode = previous;
        ChangeVideoMode();
    }
}

// ---- Render lists ---------------------------------------------------------------------------------------

bool WRenderer::IsListed(const TRenderDataItem* item) const
{
    if (item->list < 0 || item->list >= kNumRenderLists || !mRenderLists[item->list])
        return false;
    return mRenderLists[item->list]->GetItem(item->position) == item;
}

int32_t WRenderer::AddToRenderLists(W3dNode* node, int32_t layer)
{
    HbPtrArray& items = node->GetRenderItems();
    // The level puts its objects' opaque items in the transparent layer too. The node's "no
    // list" layer (6), or any layer outside 0 to 5, lists them nowhere rather than past the
    // six lists.
    WRenderList* opaque = layer >= 0 && layer < kNumRenderLists ? mRenderLists[layer] : nullptr;
    WRenderList* transparent = mRenderLists[kTransparentLayer];
    for (int32_t i = 0; i < items.GetCount(); ++i)
    {
        auto* item = static_cast<TRenderDataItem*>(items[i]);
        // An item in a list already (the node listed twice) would be drawn twice and, once
        // removed, leave a second slot pointing at it.
        if (!item || IsListed(item))
            continue;
        if (item->transparent)
        {
            if (transparent && transparent->Add(item))
                item->list = kTransparentLayer;
        }
        else if (opaque && opaque->Add(item))
        {
            item->list = layer;
            opaque->Sort(CompareByTexture);
        }
    }
    node->SetFlags(node->GetFlags() | W3dNode::kInRenderLists);
    return 1;
}

int32_t WRenderer::RemoveFromRenderLists(W3dNode* node)
{
    HbPtrArray& items = node->GetRenderItems();
    for (int32_t i = 0; i < items.GetCount(); ++i)
    {
        auto* item = static_cast<TRenderDataItem*>(items[i]);
        if (!item || item->list < 0 || item->list >= kNumRenderLists)
            continue;
        if (WRenderList* list = mRenderLists[item->list])
        {
            list->Remove(item);
            list->Sort(CompareByTexture);
        }
        item->list = -1;
        item->position = -1;
    }
    node->SetFlags(node->GetFlags() & ~uint32_t(W3dNode::kInRenderLists));
    return 0;
}

// ---- The scene ----------------------------------------------------------------------------------------------

WScene* WRenderer::SetScene(WScene* scene)
{
    if (scene)
        scene->AddRef();
    if (mCurrentScene)
        mCurrentScene->Release();
    mCurrentScene = scene;
    return scene;
}

void WRenderer::ReleaseScene()
{
    for (WRenderList* list : mRenderLists)
        if (list)
            list->Clear();
    SetScene(nullptr);
}

// ---- Custom render callbacks ----------------------------------------------------------------------------------

HB_DEFINE_CLASS_POOL(WRenderer::TCustomRenderCB, "WRenderer::TCustomRenderCB", WRenderer::TCustomRenderCB::kPoolSize);

int32_t WRenderer::AddCustomRenderCallback(void (*function)(void* user), void* user)
{
    auto* record = new TCustomRenderCB();
    if (!record)
        return -1;
    record->function = function;
    record->user = user;
    int32_t count = mCustomRenderCallbacks.GetCount();
    int32_t index = mLastFreedCallback;
    mLastFreedCallback = -1;
    if (index < 0 || index >= count || mCustomRenderCallbacks[index])
    {
        index = -1;
        for (int32_t i = 0; i < count && index < 0; ++i)
            if (!mCustomRenderCallbacks[i])
                index = i;
    }
    if (index >= 0)
    {
        mCustomRenderCallbacks[index] = record;
        return index;
    }
    index = mCustomRenderCallbacks.Add(record);
    if (index < 0)
        delete record;
    return index;
}

int32_t WRenderer::RemoveCustomRenderCallback(int32_t index)
{
    if (index < 0 || index >= mCustomRenderCallbacks.GetCount())
        return 0;
    // An empty slot has no record to give back: removing it twice must not free one twice.
    auto* record = static_cast<TCustomRenderCB*>(mCustomRenderCallbacks[index]);
    if (!record)
        return 0;
    mCustomRenderCallbacks[index] = nullptr;
    delete record;
    mLastFreedCallback = index;
    return 1;
}

void WRenderer::FreeCustomRenderCallbacks()
{
    for (int32_t i = 0; i < mCustomRenderCallbacks.GetCount(); ++i)
        delete static_cast<TCustomRenderCB*>(mCustomRenderCallbacks[i]);
    mCustomRenderCallbacks.SetSize(0);
    mLastFreedCallback = -1;
}

// ---- Clumps to prepare ----------------------------------------------------------------------------------------

namespace
{
HbPtrArray* gClumpsToPrepare = nullptr;

void FreeClumpsToPrepare()
{
    delete gClumpsToPrepare;
    gClumpsToPrepare = nullptr;
}
} // namespace

void WRenderer::RegisterClump(Clump* clump)
{
    if (!gClumpsToPrepare)
    {
        gClumpsToPrepare = new HbPtrArray();
        if (!gClumpsToPrepare)
            return;
        HbExitList::Add(FreeClumpsToPrepare);
    }
    gClumpsToPrepare->Add(clump);
}

void WRenderer::UnregisterClump(Clump* clump)
{
    if (!gClumpsToPrepare)
        return;
    int32_t kept = 0;
    const int32_t count = gClumpsToPrepare->GetCount();
    for (int32_t i = 0; i < count; ++i)
        if ((*gClumpsToPrepare)[i] != clump)
            (*gClumpsToPrepare)[kept++] = (*gClumpsToPrepare)[i];
    if (kept != count)
        gClumpsToPrepare->SetSize(kept);
}

int32_t WRenderer::GetRegisteredClumpCount()
{
    return gClumpsToPrepare ? gClumpsToPrepare->GetCount() : 0;
}

void WRenderer::PrepareClumps()
{
    W3dCamera* node = GetValidCamera();
    if (!node)
        return;
    Camera* camera = node->GetCamera();
    bool begun = Camera::BeginUpdate(camera) != nullptr;
    // The textures' mipmap K values are measured through the current camera, over each
    // registered clump and then the level's world; the clumps are not ours to keep.
    if (gClumpsToPrepare)
    {
        for (int32_t i = 0; i < gClumpsToPrepare->GetCount(); ++i)
            if (auto* clump = static_cast<Clump*>((*gClumpsToPrepare)[i]))
                MipmapK::ComputeClump(clump, camera);
        gClumpsToPrepare->RemoveAll();
    }
    if (mCurrentScene)
        if (World* world = mCurrentScene->GetMainWorld())
            MipmapK::ComputeWorld(world, camera);
    if (begun)
        Camera::EndUpdate(camera);
}
