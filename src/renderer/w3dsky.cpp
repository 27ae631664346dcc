// The sky.
#include "w3dsky.h"

#include "clump.h"
#include "frame.h"
#include "geometry.h"
#include "hbresource.h"
#include "hbstream.h"
#include "stream.h"
#include "w3dcamera.h"
#include "wrenderer_local.h"
#include "wtexturemanager.h"
#include "wuvanimregistry.h"

HB_DEFINE_CLASS_DESC(W3dSky, HbRoot);

namespace
{
[[maybe_unused]] const int sRegistered = []() -> int
{
    if (HbResourceManager* manager = HbResourceManager::Instance())
        manager->RegisterType("WS", []() -> HbRoot* { return W3dSky::Create(); });
    return 1;
}();

Atomic* PrepareForSky(Atomic* atomic, void* data)
{
    atomic->object.flags &= ~kAtomicCollisionTest;
    if (atomic->object.frame)
        Frame::UpdateObjects(atomic->object.frame);
    if (Geometry* geometry = atomic->geometry)
    {
        Geometry::Lock(geometry, kGeometryLockAll);
        geometry->flags &= ~kGeometryLight;
        Geometry::Unlock(geometry);
        if (!(geometry->flags & kGeometryNative))
            *static_cast<int32_t*>(data) = 1;
    }
    return atomic;
}

Atomic* InstanceForSky(Atomic* atomic, void*)
{
    Geometry* geometry = atomic->geometry;
    if (geometry && !(geometry->flags & kGeometryNative) && Atomic::Instance(atomic))
        geometry->flags |= kGeometryNative;
    return atomic;
}
} // namespace

W3dSky* W3dSky::Create()
{
    return new W3dSky();
}

W3dSky::~W3dSky()
{
    SetClump(nullptr);
}

void W3dSky::SetClump(Clump* clump)
{
    if (mClump && mClump != clump)
        Clump::Destroy(mClump);
    mClump = clump;
}

int W3dSky::Load(HbStream* stream, const char* name)
{
    LoadUVAnimations(name);
    WTextureManager* textures = WTextureManager::Instance();
    if (textures)
        textures->BeginDictionary(name, 0);
    HbResourceStream* resource = HbResourceStream::From(stream);
    Stream* engine = resource ? resource->GetEngineStream() : nullptr;
    Clump* clump = nullptr;
    if (engine && Stream::FindChunk(engine, 16, nullptr, nullptr))
        clump = Clump::StreamRead(engine);
    if (!clump)
    {
        if (textures)
            textures->EndDictionary(name);
        UVAnimAbandonPending();
        return 0;
    }
    SetClump(clump);
    int32_t needs = 0;
    Clump::ForAllAtomics(clump, PrepareForSky, &needs);
    if (textures)
        textures->EndDictionary(name);
    UVAnimAttachToClump(clump);
    mNeedsInstancing = needs;
    return 1;
}

void W3dSky::FollowCamera(W3dCamera* camera)
{
    if (!mClump || !mEnabled || !camera)
        return;
    Frame* frame = mClump->frame;
    if (!frame)
        return;
    // Each step is applied before the ones already there: the clump turns, then scales, then
    // moves to the camera.
    const Vector position = *camera->GetWorldPosition();
    static const Vector kScale = {100.0f, 100.0f, 100.0f};
    static const Vector kUp = {0.0f, 1.0f, 0.0f};
    Frame::SetIdentity(frame);
    Frame::Translate(frame, &position, kCombinePreConcat);
    Frame::Scale(frame, &kScale, kCombinePreConcat);
    Frame::Rotate(frame, &kUp, mAngle, kCombinePreConcat);
}

void W3dSky::Render(W3dCamera*)
{
    if (!mClump || !mEnabled)
        return;
    if (mNeedsInstancing)
    {
        Clump::ForAllAtomics(mClump, InstanceForSky, nullptr);
        mNeedsInstancing = 0;
    }
    WSetRenderState(kRenderStateZWrite, 0);
    WSetRenderState(kRenderStateZTest, 0);
    Clump::Render(mClump);
    WSetRenderState(kRenderStateZWrite, 1);
    WSetRenderState(kRenderStateZTest, 1);
}
