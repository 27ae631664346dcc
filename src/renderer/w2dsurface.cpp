// The 2D surface base, the textured kinds, their shared brush and path cache.
#include "w2dsurface.h"

#include "w2dsurfacelist.h"
#include "wrenderer_local.h"
#include "wtexturemanager.h"

#include "brush2d.h"
#include "camera.h"
#include "hbexitlist.h"
#include "path2d.h"
#include "texture.h"
#include "toolkit2d.h"

HB_DEFINE_CLASS_DESC(W2dSurface, HbRoot);
HB_DEFINE_CLASS_DESC(W2dTexturedSurface, W2dSurface);
HB_DEFINE_CLASS_DESC(W2dDepthSurface, W2dTexturedSurface);
HB_DEFINE_CLASS_DESC(W2dBlendedSurface, W2dTexturedSurface);

namespace
{
constexpr Rgba kWhite = {255, 255, 255, 255};
constexpr uint32_t kAddressClamp = 3;

Brush2d* gBrush = nullptr;

void SetClamped(Texture* texture)
{
    if (!texture)
        return;
    texture->filterAddressing = (texture->filterAddressing & kTextureFilterMask) |
                                (kAddressClamp << kTextureAddressUShift) | (kAddressClamp << kTextureAddressVShift);
}

Texture* TakeTexture(const char* id)
{
    WTextureManager* manager = WTextureManager::Instance();
    return manager && id ? manager->GetTexture(id) : nullptr;
}

// ---- Path cache ----------------------------------------------------------------------------------------

struct PathRecord : HbAllocated
{
    Path2d* path;
    int32_t uses;
    float width, height;
};

HbPtrList* gPaths = nullptr;

void DestroyPaths()
{
    if (!gPaths)
        return;
    for (HbPtrListNode* node = gPaths->GetHead(); node; node = node->next)
    {
        auto* record = static_cast<PathRecord*>(node->value);
        Path2d::Destroy(record->path);
        delete record;
    }
    delete gPaths;
    gPaths = nullptr;
}

HbPtrList* Paths()
{
    if (!gPaths)
    {
        gPaths = new HbPtrList(10);
        if (gPaths)
            HbExitList::Add(DestroyPaths);
    }
    return gPaths;
}

Path2d* MakeRectanglePath(float width, float height)
{
    Path2d* path = Path2d::Create();
    if (path)
        Path2d::AddRectangle(path, 0.0f, 0.0f, width, height);
    return path;
}
} // namespace

Path2d* W2dSurfacePathCache::Acquire(float width, float height)
{
    HbPtrList* paths = Paths();
    if (!paths)
        return nullptr;
    for (HbPtrListNode* node = paths->GetHead(); node; node = node->next)
    {
        auto* record = static_cast<PathRecord*>(node->value);
        if (record->width == width && record->height == height)
        {
            ++record->uses;
            return record->path;
        }
    }
    auto* record = new PathRecord();
    if (!record)
        return nullptr;
    record->path = MakeRectanglePath(width, height);
    record->uses = 1;
    record->width = width;
    record->height = height;
    if (!record->path || !paths->AddTail(record))
    {
        Path2d::Destroy(record->path);
        delete record;
        return nullptr;
    }
    return record->path;
}

void W2dSurfacePathCache::Release(Path2d* path)
{
    if (!path || !gPaths)
        return;
    for (HbPtrListNode* node = gPaths->GetHead(); node; node = node->next)
    {
        auto* record = static_cast<PathRecord*>(node->value);
        if (record->path != path)
            continue;
        if (--record->uses <= 0)
        {
            Path2d::Destroy(record->path);
            delete record;
            gPaths->RemoveAt(node);
        }
        return;
    }
}

int32_t W2dSurfacePathCache::GetCount()
{
    return gPaths ? gPaths->GetCount() : 0;
}

// ---- Base ------------------------------------------------------------------------------------------------

W2dSurface::W2dSurface(float x, float y, float width, float height, int32_t layer)
{
    Init(x, y, width, height, layer);
}

void W2dSurface::Init(float x, float y, float width, float height, int32_t layer)
{
    // Not virtual here: a derived class's path is made by its own constructor.
    W2dSurface::SetRect(x, y, width, height);
    mLayer = layer;
    mVisible = 1;
    for (Rgba& colour : mColors)
        colour = kWhite;
    mInserted = 0;
}

void W2dSurface::SetRect(float x, float y, float width, float height)
{
    mX = x;
    mY = 1.0f - y - height;
    mWidth = width;
    mHeight = height;
}

void W2dSurface::SetRectOnly(float x, float y, float width, float height)
{
    W2dSurface::SetRect(x, y, width, height);
}

void W2dSurface::GetRect(float* x, float* y, float* width, float* height) const
{
    *x = mX;
    *y = 1.0f - mY - mHeight;
    *width = mWidth;
    *height = mHeight;
}

int32_t W2dSurface::OnInsert(W2dSurfaceList*)
{
    if (mInserted)
        return 0;
    mInserted = 1;
    return 1;
}

int32_t W2dSurface::OnRemove(W2dSurfaceList*)
{
    if (!mInserted)
        return 0;
    mInserted = 0;
    return 1;
}

void W2dSurface::SetColor(const Rgba* topLeft, const Rgba* topRight, const Rgba* bottomLeft, const Rgba* bottomRight)
{
    mColors[0] = *topLeft;
    mColors[1] = *topRight;
    mColors[2] = *bottomLeft;
    mColors[3] = *bottomRight;
}

void W2dSurface::GetColor(Rgba* topLeft, Rgba* topRight, Rgba* bottomLeft, Rgba* bottomRight) const
{
    *topLeft = mColors[0];
    *topRight = mColors[1];
    *bottomLeft = mColors[2];
    *bottomRight = mColors[3];
}

bool W2dSurface::IsOnScreen() const
{
    return !(mX + mWidth < 0.0f || mY + mHeight < 0.0f || mX > 1.0f || mY > 1.0f);
}

void W2dSurface::BrushColours(Rgba out[4]) const
{
    out[0] = mColors[2];
    out[1] = mColors[3];
    out[2] = mColors[1];
    out[3] = mColors[0];
}

int32_t W2dSurface::CreateBrush()
{
    if (!gBrush)
        gBrush = Brush2d::Create();
    return gBrush ? 1 : 0;
}

void W2dSurface::DestroyBrush()
{
    if (gBrush)
        Brush2d::Destroy(gBrush);
    gBrush = nullptr;
}

Brush2d* W2dSurface::GetBrush()
{
    return gBrush;
}

// ---- Textured --------------------------------------------------------------------------------------------

W2dTexturedSurface::W2dTexturedSurface(const char* textureId, float x, float y, float width, float height,
                                       int32_t layer)
    : W2dSurface(x, y, width, height, layer)
{
    mTexture = TakeTexture(textureId);
    SetClamped(mTexture);
    mPath = W2dSurfacePathCache::Acquire(width, height);
}

W2dTexturedSurface::~W2dTexturedSurface()
{
    if (mTexture)
        Texture::Destroy(mTexture);
    W2dSurfacePathCache::Release(mPath);
}

void W2dTexturedSurface::SetRect(float x, float y, float width, float height)
{
    W2dSurface::SetRect(x, y, width, height);
    Path2d* old = mPath;
    mPath = W2dSurfacePathCache::Acquire(width, height);
    W2dSurfacePathCache::Release(old);
}

void W2dTexturedSurface::ReplaceTexture(const char* textureId)
{
    Texture* texture = TakeTexture(textureId);
    if (mTexture)
        Texture::Destroy(mTexture);
    mTexture = texture;
}

void W2dTexturedSurface::SetTexture(const char* textureId)
{
    ReplaceTexture(textureId);
    SetClamped(mTexture);
}

void W2dTexturedSurface::SetUVs(const Vector2 uvs[4])
{
    for (int32_t i = 0; i < 4; ++i)
        mUVs[i] = uvs[i];
}

int32_t W2dTexturedSurface::PrepareBrush()
{
    Brush2d* brush = gBrush;
    if (!IsOnScreen() || !brush)
        return 0;
    if (brush->texture != mTexture)
        Brush2d::SetTexture(brush, mTexture);
    Rgba colours[4];
    BrushColours(colours);
    Brush2d::SetColors(brush, &colours[0], &colours[1], &colours[2], &colours[3]);
    Brush2d::SetUVs(brush, &mUVs[0], &mUVs[1], &mUVs[2], &mUVs[3]);
    return 1;
}

void W2dTexturedSurface::DrawPath()
{
    if (!mPath || !gBrush)
        return;
    Transform2d::Push();
    Transform2d::Translate(mX, mY);
    Path2d::FillAllWithBrush(mPath, gBrush);
    Transform2d::Pop();
}

void W2dTexturedSurface::Render()
{
    DrawPath();
}

// ---- At a depth ---------------------------------------------------------------------------------------------

W2dDepthSurface::W2dDepthSurface(const char* textureId, float x, float y, float width, float height, int32_t layer,
                                 float depth)
    : W2dTexturedSurface(textureId, x, y, width, height, layer), mDepth(depth)
{
}

int32_t W2dDepthSurface::OnInsert(W2dSurfaceList* list)
{
    if (!W2dSurface::OnInsert(list))
        return 0;
    mCamera = list ? list->GetCamera() : nullptr;
    return 1;
}

void W2dDepthSurface::Render()
{
    if (!IsOnScreen())
        return;
    WSetRenderState(kRenderStateZTest, 1);
    Device2d::SetLayerDepth(mDepth);
    DrawPath();
    if (mCamera)
        Device2d::SetLayerDepth(0.5f * (mCamera->nearPlane + mCamera->farPlane));
    WSetRenderState(kRenderStateZTest, 0);
}

// ---- Rotated and blended --------------------------------------------------------------------------------------

W2dBlendedSurface::W2dBlendedSurface(const char* textureId, float x, float y, float width, float height, int32_t layer)
    : W2dTexturedSurface(textureId, x, y, width, height, layer)
{
}

void W2dBlendedSurface::Render()
{
    if (!IsOnScreen())
        return;
    Transform2d::Push();
    intptr_t source = WGetRenderState(kRenderStateSourceBlend);
    intptr_t dest = WGetRenderState(kRenderStateDestBlend);
    WSetRenderState(kRenderStateSourceBlend, mSourceBlend);
    WSetRenderState(kRenderStateDestBlend, mDestBlend);
    Transform2d::Translate(mPivotX, mPivotY);
    Transform2d::Rotate(mAngle);
    Transform2d::Translate(-mPivotX, -mPivotY);
    DrawPath();
    WSetRenderState(kRenderStateSourceBlend, source);
    WSetRenderState(kRenderStateDestBlend, dest);
    Transform2d::Pop();
}
