// 2D brushes: the brush pool, corner colours and texture coordinates kept as bases and
// deltas, the texture reference and the reference count.
#include "brush2d.h"

#include "engine.h"
#include "freelist.h"
#include "raster.h"
#include "texture.h"
#include "toolkit2d.h"
#include "toolkit2d_local.h"
#include "vector.h"

using toolkit2d::Get;

namespace
{

constexpr int32_t kBrushesPerBlock = 8;

void SetCorner(float* base, float* delta, const Rgba* from, const Rgba* to)
{
    const uint8_t a[4] = {from->red, from->green, from->blue, from->alpha};
    const uint8_t b[4] = {to->red, to->green, to->blue, to->alpha};
    for (int k = 0; k < 4; ++k)
    {
        base[k] = float(a[k]);
        delta[k] = float(b[k]) - float(a[k]);
    }
}

bool Same(const Rgba* a, const Rgba* b)
{
    return a->red == b->red && a->green == b->green && a->blue == b->blue && a->alpha == b->alpha;
}

} // namespace

int32_t Toolkit2d::OpenBrushes()
{
    Get().brushes = FreeList::Create(int32_t(sizeof(Brush2d)), kBrushesPerBlock, 16, toolkit2d::kHint);
    return Get().brushes ? 1 : 0;
}

void Toolkit2d::CloseBrushes()
{
    if (Get().brushes)
        FreeList::Destroy(Get().brushes);
    Get().brushes = nullptr;
}

Brush2d* Brush2d::Create()
{
    Engine* engine = Engine::Current();
    if (!engine || !Get().brushes)
        return nullptr;
    auto* brush = static_cast<Brush2d*>(engine->freeListFunctions.take(Get().brushes, toolkit2d::kHint));
    if (!brush)
        return nullptr;
    *brush = {};
    const Rgba white = {255, 255, 255, 255};
    SetColors(brush, &white, &white, &white, &white);
    brush->halfWidth = 0.5f;
    brush->refCount = 1;
    return brush;
}

int32_t Brush2d::Destroy(Brush2d* brush)
{
    if (!brush || --brush->refCount > 0)
        return 0;
    if (brush->texture)
        Texture::Destroy(brush->texture);
    brush->texture = nullptr;
    Engine::Current()->freeListFunctions.giveBack(Get().brushes, brush);
    return 1;
}

Brush2d* Brush2d::AddRef(Brush2d* brush)
{
    ++brush->refCount;
    return brush;
}

Brush2d* Brush2d::SetColors(Brush2d* brush, const Rgba* c0, const Rgba* c1, const Rgba* c2, const Rgba* c3)
{
    SetCorner(brush->topColour, brush->topColourDelta, c3, c2);
    SetCorner(brush->bottomColour, brush->bottomColourDelta, c0, c1);
    if (Same(c0, c1) && Same(c0, c2) && Same(c0, c3))
        brush->flags &= ~kBrush2dColoursDiffer;
    else
        brush->flags |= kBrush2dColoursDiffer;
    brush->flatColour[0] = c3->red;
    brush->flatColour[1] = c3->green;
    brush->flatColour[2] = c3->blue;
    brush->flatColour[3] = c3->alpha;
    return brush;
}

Brush2d* Brush2d::SetUVs(Brush2d* brush, const Vector2* uv0, const Vector2* uv1, const Vector2* uv2, const Vector2* uv3)
{
    brush->topUV[0] = uv3->x;
    brush->topUV[1] = uv3->y;
    brush->topUVDelta[0] = uv2->x - uv3->x;
    brush->topUVDelta[1] = uv2->y - uv3->y;
    brush->bottomUV[0] = uv0->x;
    brush->bottomUV[1] = uv0->y;
    brush->bottomUVDelta[0] = uv1->x - uv0->x;
    brush->bottomUVDelta[1] = uv1->y - uv0->y;
    bool varying = brush->topUVDelta[0] != 0 || brush->topUVDelta[1] != 0 || brush->bottomUVDelta[0] != 0 ||
                   brush->bottomUVDelta[1] != 0;
    if (varying)
        brush->flags |= kBrush2dTextured;
    else
        brush->flags &= ~kBrush2dTextured;
    return brush;
}

Brush2d* Brush2d::SetTexture(Brush2d* brush, Texture* texture)
{
    if (texture)
        ++texture->refCount;
    if (brush->texture)
        Texture::Destroy(brush->texture);
    brush->texture = texture;
    if (texture)
        brush->flags |= kBrush2dTextured;
    else
        brush->flags &= ~kBrush2dTextured;
    return brush;
}

Brush2d* Brush2d::SetHalfWidth(Brush2d* brush, float halfWidth)
{
    brush->halfWidth = halfWidth;
    return brush;
}

uint32_t Brush2d::ColourAt(const Brush2d* brush, float s, float t)
{
    if (!(brush->flags & kBrush2dColoursDiffer))
        return toolkit2d::PackColour(brush->flatColour[0], brush->flatColour[1], brush->flatColour[2],
                                     brush->flatColour[3]);
    float c[4];
    for (int k = 0; k < 4; ++k)
    {
        float bottom = brush->bottomColour[k] + s * brush->bottomColourDelta[k];
        float top = brush->topColour[k] + s * brush->topColourDelta[k];
        c[k] = bottom + t * (top - bottom);
    }
    return toolkit2d::PackColour(c[0], c[1], c[2], c[3]);
}
