// The sky.
#include "w3dsky.h"

#include "clump.h"
#include "frame.h"
#include "w3dcamera.h"
#include "wrenderer_local.h"

HB_DEFINE_CLASS_DESC(W3dSky, HbRoot);

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
    WSetRenderState(kRenderStateZWrite, 0);
    WSetRenderState(kRenderStateZTest, 0);
    Clump::Render(mClump);
    WSetRenderState(kRenderStateZWrite, 1);
    WSetRenderState(kRenderStateZTest, 1);
}
