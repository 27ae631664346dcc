// Surface-backed items: forwarding to the surface, the picture kinds and their sizing.
#include "w2dsurfacegraphicitem.h"

#include "w2dimagesurface.h"
#include "w2dsurface.h"
#include "w2dsurfacelist.h"
#include "wrenderer.h"

#include "raster.h"
#include "texture.h"

HB_DEFINE_CLASS_DESC(W2dSurfaceGraphicItem, W2dGenericItem);

W2dSurfaceGraphicItem::W2dSurfaceGraphicItem(W2dSurfaceList* list) : mList(list) {}

W2dSurfaceGraphicItem::~W2dSurfaceGraphicItem()
{
    DropSurface();
}

W2dSurfaceList* W2dSurfaceGraphicItem::GetSurfaceList() const
{
    if (mList)
        return mList;
    WRenderer* renderer = WRenderer::Instance();
    return renderer ? renderer->GetSurfaceList() : nullptr;
}

int32_t W2dSurfaceGraphicItem::CreateWith(W2dSurface* surface)
{
    if (!surface)
        return 0;
    surface->AddRef();
    mSurface = surface;
    // The list is remembered as resolved now: the surface must leave the list it entered.
    if (!mList)
        mList = GetSurfaceList();
    W2dGenericItem::Create();
    // Hidden until Show, as the item is.
    mSurface->SetVisible(0);
    if (mList)
        mList->Insert(mSurface);
    return 1;
}

void W2dSurfaceGraphicItem::DropSurface()
{
    if (!mSurface)
        return;
    W2dSurface* surface = mSurface;
    mSurface = nullptr;
    if (mList && surface->IsInserted())
        mList->Remove(surface);
    surface->Release();
}

int32_t W2dSurfaceGraphicItem::Show()
{
    if (!mSurface)
        return 0;
    W2dGenericItem::Show();
    mSurface->SetVisible(1);
    return 1;
}

void W2dSurfaceGraphicItem::Hide()
{
    if (!mSurface)
        return;
    W2dGenericItem::Hide();
    mSurface->SetVisible(0);
}

int32_t W2dSurfaceGraphicItem::Release()
{
    W2dGenericItem::Release();
    DropSurface();
    return 1;
}

int32_t W2dSurfaceGraphicItem::SetPosition(const Vector& position)
{
    if (!mSurface)
        return 0;
    float x, y, width, height;
    mSurface->GetRect(&x, &y, &width, &height);
    mSurface->SetRectOnly(position.x, position.y, width, height);
    mSurface->GetRect(&x, &y, &width, &height);
    mPosition = {x, y, position.z};
    return 1;
}

int32_t W2dSurfaceGraphicItem::SetSize(const Vector& size)
{
    if (!mSurface)
        return 0;
    float x, y, width, height;
    mSurface->GetRect(&x, &y, &width, &height);
    mSurface->SetRect(x, y, size.x, size.y);
    mSurface->GetRect(&x, &y, &width, &height);
    mSize = {width, height, size.z};
    return 1;
}

int32_t W2dSurfaceGraphicItem::SetCornerColours(const Rgba& c0, const Rgba& c1, const Rgba& c2, const Rgba& c3)
{
    if (!mSurface)
        return 0;
    mSurface->SetColor(&c0, &c1, &c2, &c3);
    return 1;
}

void W2dSurfaceGraphicItem::GetCornerColours(Rgba* c0, Rgba* c1, Rgba* c2, Rgba* c3)
{
    if (!mSurface)
        return;
    // Read into locals first: callers pass one colour for all four corners (the last one wins).
    Rgba colours[4];
    mSurface->GetColor(&colours[0], &colours[1], &colours[2], &colours[3]);
    *c0 = colours[0];
    *c1 = colours[1];
    *c2 = colours[2];
    *c3 = colours[3];
}

int32_t W2dSurfaceGraphicItem::GetPosition(Vector* position)
{
    if (!mSurface)
        return W2dGenericItem::GetPosition(position);
    float x, y, width, height;
    mSurface->GetRect(&x, &y, &width, &height);
    *position = {x, y, mPosition.z};
    return 1;
}

int32_t W2dSurfaceGraphicItem::GetSize(Vector* size)
{
    if (!mSurface)
        return W2dGenericItem::GetSize(size);
    float x, y, width, height;
    mSurface->GetRect(&x, &y, &width, &height);
    *size = {width, height, mSize.z};
    return 1;
}

int32_t W2dSurfaceGraphicItem::SetPriority(int32_t layer)
{
    if (mSurface)
        return 0;
    mPriority = layer;
    return 1;
}

int32_t W2dSurfaceGraphicItem::GetPriority() const
{
    return mPriority;
}

namespace
{
W2dBlendedSurface* Blended(W2dSurface* surface)
{
    return surface ? HbCastTo<W2dBlendedSurface>(surface) : nullptr;
}
} // namespace

void W2dSurfaceGraphicItem::SetRotation(float degrees)
{
    if (W2dBlendedSurface* surface = Blended(mSurface))
        surface->SetAngle(degrees);
}

float W2dSurfaceGraphicItem::GetRotation() const
{
    W2dBlendedSurface* surface = Blended(mSurface);
    return surface ? surface->GetAngle() : 0.0f;
}

void W2dSurfaceGraphicItem::Rotate(float degrees)
{
    float angle = GetRotation() + degrees;
    while (angle > 360.0f)
        angle -= 360.0f;
    SetRotation(angle);
}

void W2dSurfaceGraphicItem::SetRotationCentre(float x, float y)
{
    // Items place themselves with y from the top; the surface turns about a y measured upward.
    if (W2dBlendedSurface* surface = Blended(mSurface))
        surface->SetPivot(x, 1.0f - y);
}

void W2dSurfaceGraphicItem::SetBlendFactors(int32_t source, int32_t dest)
{
    if (W2dBlendedSurface* surface = Blended(mSurface))
        surface->SetBlendFactors(source, dest);
}

// ---- Pictures ---------------------------------------------------------------------------------------------

W2dPictureItem::W2dPictureItem(const char* textureId, float depth, W2dSurfaceList* list)
    : W2dSurfaceGraphicItem(list), mTextureId(textureId ? textureId : ""), mDepth(depth)
{
}

int32_t W2dPictureItem::Create()
{
    if (mSurface)
        return 0;
    W2dSurface* surface;
    if (mDepth < 0.0f)
        surface = new W2dTexturedSurface(mTextureId.c_str(), 0.0f, 0.0f, 1.0f, 1.0f, mPriority);
    else
        surface = new W2dDepthSurface(mTextureId.c_str(), 0.0f, 0.0f, 1.0f, 1.0f, mPriority, mDepth);
    return CreateWith(surface);
}

int32_t W2dBlendedPictureItem::Create()
{
    if (mSurface)
        return 0;
    return CreateWith(new W2dBlendedSurface(mTextureId.c_str(), 0.0f, 0.0f, 1.0f, 1.0f, mPriority));
}

int32_t W2dGaugeItem::Create()
{
    if (mSurface)
        return 0;
    return CreateWith(new W2dTranslucentSurface(mTextureId.c_str(), mFillKind, 0.0f, 0.0f, 1.0f, 1.0f, mPriority));
}

int32_t W2dPictureItem::GetTextureSize(float* width, float* height)
{
    Texture* texture = mSurface ? mSurface->GetTexture() : nullptr;
    if (!texture || !texture->raster)
        return 0;
    *width = float(texture->raster->width);
    *height = float(texture->raster->height);
    return 1;
}

namespace
{
/// The window's pixel size; false when there is none.
bool WindowSize(float* width, float* height)
{
    WRenderer* renderer = WRenderer::Instance();
    if (!renderer)
        return false;
    WDisplaySettings settings = {};
    renderer->GetDisplaySettings(&settings);
    if (settings.width <= 0 || settings.height <= 0)
        return false;
    *width = float(settings.width);
    *height = float(settings.height);
    return true;
}
} // namespace

int32_t W2dPictureItem::SetWidth(float width)
{
    float tw, th, sw, sh;
    if (!GetTextureSize(&tw, &th) || tw <= 0.0f || th <= 0.0f || !WindowSize(&sw, &sh))
        return 0;
    SetSize({width, width * (th / tw) * (sw / sh), 0.0f});
    return 1;
}

int32_t W2dPictureItem::SetHeight(float height)
{
    float tw, th, sw, sh;
    if (!GetTextureSize(&tw, &th) || tw <= 0.0f || th <= 0.0f || !WindowSize(&sw, &sh))
        return 0;
    SetSize({height * (tw / th) * (sh / sw), height, 0.0f});
    return 1;
}

int32_t W2dPictureItem::SetDepth(float depth)
{
    if (!(mDepth > 0.0f && depth > 0.0f))
        return 0;
    mDepth = depth;
    if (W2dDepthSurface* surface = mSurface ? HbCastTo<W2dDepthSurface>(mSurface) : nullptr)
        surface->SetDepth(depth);
    return 1;
}

namespace
{
W2dTexturedSurface* Textured(W2dSurface* surface)
{
    return surface ? HbCastTo<W2dTexturedSurface>(surface) : nullptr;
}
} // namespace

void W2dPictureItem::GetCornerUVs(Vector2* c0, Vector2* c1, Vector2* c2, Vector2* c3)
{
    W2dTexturedSurface* surface = Textured(mSurface);
    if (!surface)
        return;
    const Vector2* uvs = surface->GetUVs();
    *c0 = uvs[0];
    *c1 = uvs[1];
    *c2 = uvs[2];
    *c3 = uvs[3];
}

void W2dPictureItem::SetCornerUVs(float u0, float v0, float u1, float v1, float u2, float v2, float u3, float v3)
{
    W2dTexturedSurface* surface = Textured(mSurface);
    if (!surface)
        return;
    const Vector2 uvs[4] = {{u0, v0}, {u1, v1}, {u2, v2}, {u3, v3}};
    surface->SetUVs(uvs);
}

void W2dPictureItem::SetTexture(const char* textureId)
{
    if (W2dTexturedSurface* surface = Textured(mSurface))
        surface->SetTexture(textureId);
}

int32_t W2dPictureItem::SetValue(float)
{
    return 0;
}

int32_t W2dGaugeItem::SetValue(float value)
{
    float clamped = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
    if (W2dTranslucentSurface* surface = mSurface ? HbCastTo<W2dTranslucentSurface>(mSurface) : nullptr)
        surface->SetOpacity(clamped);
    return 1;
}

float W2dGaugeItem::GetValue() const
{
    W2dTranslucentSurface* surface = mSurface ? HbCastTo<W2dTranslucentSurface>(mSurface) : nullptr;
    return surface ? surface->GetOpacity() : 0.0f;
}
