// Render items: building them from a clump, the transparency test, drawing one item and the
// sort orders.
#include "wrenderitem.h"

#include "clump.h"
#include "engine.h"
#include "geometry.h"
#include "image.h"
#include "material.h"
#include "raster.h"
#include "texture.h"
#include "w3dnode.h"
#include "watomicowner.h"
#include "wrenderlist.h"


HB_DEFINE_CLASS_POOL(TRenderDataItem, "TRenderDataItem", TRenderDataItem::kPoolSize);

namespace
{
Vector gBackToFrontOrigin = {0.0f, 0.0f, 0.0f};

Texture* FirstTexture(const Atomic* atomic)
{
    const Geometry* geometry = atomic->geometry;
    if (!geometry || geometry->materials.count <= 0 || !geometry->materials.materials[0])
        return nullptr;
    return geometry->materials.materials[0]->texture;
}

Atomic* BuildItem(Atomic* atomic, void* data)
{
    auto* owner = static_cast<W3dNode*>(data);
    auto* item = new TRenderDataItem();
    if (!item)
        return atomic; // this atomic goes without an item; the others still get theirs
    item->atomic = atomic;
    if (Texture* texture = FirstTexture(atomic))
    {
        item->texture = texture;
        item->transparent = TextureHasAlpha(texture);
    }
    if (owner->GetRenderItems().Add(item) < 0)
        delete item;
    return atomic;
}

float SquaredDistance(const TRenderDataItem* item)
{
    const Sphere* sphere = Atomic::GetWorldBoundingSphere(item->atomic);
    float dx = sphere->centre.x - gBackToFrontOrigin.x;
    float dy = sphere->centre.y - gBackToFrontOrigin.y;
    float dz = sphere->centre.z - gBackToFrontOrigin.z;
    return dx * dx + dy * dy + dz * dz;
}

// The frustum test of the current camera, stored in the atomic's visibility word.
int32_t TestFrustum(Atomic* atomic)
{
    Engine* engine = Engine::Current();
    auto* camera = engine ? static_cast<const Camera*>(engine->currentCamera) : nullptr;
    int32_t result =
        camera ? Camera::FrustumTestSphere(camera, Atomic::GetWorldBoundingSphere(atomic)) : int32_t(kFrustumOutside);
    if (AtomicOwnerData* words = AtomicOwner::Get(atomic))
        words->visibility = result;
    return result;
}
} // namespace

int32_t RenderItemList::Build(W3dNode* owner, Clump* clump)
{
    if (!clump)
        return 1;
    Clump::ForAllAtomics(clump, BuildItem, owner);
    HbPtrArray& items = owner->GetRenderItems();
    for (int32_t i = 0; i < items.GetCount(); ++i)
        static_cast<TRenderDataItem*>(items[i])->owner = owner;
    return 1;
}

int32_t TextureHasAlpha(Texture* texture)
{
    Raster* raster = texture ? texture->raster : nullptr;
    if (!raster)
        return 0;
    uint32_t format = Raster::FormatFlags(raster);
    uint32_t pixel = format & kRasterFormatPixelMask;
    if (pixel != kRasterFormat1555 && pixel != kRasterFormat4444 && pixel != kRasterFormat8888)
        return 0;

    if (format & (kRasterFormatPal8 | kRasterFormatPal4))
    {
        int32_t entries = (format & kRasterFormatPal8) ? 256 : 16;
        const uint8_t* palette = Raster::LockPalette(raster, kRasterLockRead);
        int32_t alpha = 0;
        if (palette)
            for (int32_t i = 0; i < entries && !alpha; ++i)
                alpha = palette[4 * i + 3] < 255 ? 1 : 0;
        Raster::UnlockPalette(raster);
        return alpha;
    }

    Image* image = Image::Create(raster->width, raster->height, 32);
    if (!image)
        return 0;
    int32_t alpha = 0;
    if (Image::AllocatePixels(image) && Image::SetFromRaster(image, raster))
        for (int32_t y = 0; y < image->height && !alpha; ++y)
        {
            const uint8_t* row = image->pixels + size_t(y) * size_t(image->stride);
            for (int32_t x = 0; x < image->width && !alpha; ++x)
                alpha = row[4 * x + 3] < 255 ? 1 : 0;
        }
    Image::Destroy(image);
    return alpha;
}

void TRenderDataItem::Render(TRenderDataItem* item, uint32_t flags, int32_t stamp, std::vector<uint8_t>& savedAlpha)
{
    W3dNode* owner = item->owner;
    constexpr uint32_t kDrawable = W3dNode::kVisible | W3dNode::kReadyToDraw;
    if (!owner || (owner->GetFlags() & kDrawable) != kDrawable)
        return;
    Atomic* atomic = item->atomic;
    if (TestFrustum(atomic) == kFrustumOutside)
        return;

    Geometry* geometry = atomic->geometry;
    if ((flags & WRenderList::kLit) && item->lit)
    {
        owner->UpdateLighting(stamp);
        if (geometry)
            geometry->flags |= kGeometryLight;
    }
    else if (geometry)
        geometry->flags &= ~kGeometryLight;

    bool faded = false;
    if ((flags & WRenderList::kFading) && owner->GetFadeFunction() && geometry)
    {
        float alpha = owner->GetFadeFunction()(item, owner->GetFadeUserData());
        uint8_t fade = alpha < 0.0f ? 255 : uint8_t((alpha < 1.0f ? alpha : 1.0f) * 255.0f);
        MaterialList& materials = geometry->materials;
        savedAlpha.clear();
        for (int32_t i = 0; i < materials.count; ++i)
        {
            savedAlpha.push_back(materials.materials[i]->colour.alpha);
            materials.materials[i]->colour.alpha = fade;
        }
        geometry->flags |= kGeometryModulateMaterialColor;
        faded = true;
    }
    else if (geometry)
        geometry->flags &= ~kGeometryModulateMaterialColor;

    if (atomic->renderCallback)
        atomic->renderCallback(atomic);

    if (faded)
    {
        MaterialList& materials = geometry->materials;
        for (int32_t i = 0; i < materials.count && size_t(i) < savedAlpha.size(); ++i)
            materials.materials[i]->colour.alpha = savedAlpha[size_t(i)];
        geometry->flags &= ~kGeometryModulateMaterialColor;
    }
}

void TRenderDataItem::RenderTransparent(TRenderDataItem* item)
{
    if (TestFrustum(item->atomic) != kFrustumOutside && item->atomic->renderCallback)
        item->atomic->renderCallback(item->atomic);
}

int CompareByTexture(const void* a, const void* b)
{
    auto ta = reinterpret_cast<uintptr_t>((*static_cast<TRenderDataItem* const*>(a))->texture);
    auto tb = reinterpret_cast<uintptr_t>((*static_cast<TRenderDataItem* const*>(b))->texture);
    return ta < tb ? -1 : (ta > tb ? 1 : 0);
}

int CompareBackToFront(const void* a, const void* b)
{
    // Reals compared as reals: a difference truncated to an integer overflows for far items
    // and makes "equal within 1" intransitive, which quicksort does not tolerate.
    float da = SquaredDistance(*static_cast<TRenderDataItem* const*>(a));
    float db = SquaredDistance(*static_cast<TRenderDataItem* const*>(b));
    return da > db ? -1 : (da < db ? 1 : 0);
}

void SetBackToFrontOrigin(const Vector* position)
{
    gBackToFrontOrigin = *position;
}
