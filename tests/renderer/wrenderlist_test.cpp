// Render items and lists: items built from a clump, the transparency test over the raster
// formats, the list operations with their cap and stale positions, the two sort orders, the
// drawing of one item (visibility, frustum word, fading with the alpha restored) and the
// renderer's placing of a node's items.
#include "camera.h"
#include "engine.h"
#include "frame.h"
#include "geometry.h"
#include "material.h"
#include "raster.h"
#include "scene_fixture.h"
#include "texture.h"
#include "w3dnode.h"
#include "watomicowner.h"
#include "wrenderer.h"
#include "wrenderitem.h"
#include "wrenderlist.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace renderertest
{
namespace
{

using RenderItems = SceneTest;

// A 4 x 4 texture of the format; fill writes the locked level (and palette, when given).
Texture* MakeTexture(uint32_t format, const std::function<void(uint8_t* pixels, int32_t stride)>& fill,
                     const std::function<void(uint8_t* palette)>& palette = nullptr)
{
    Raster* raster = Raster::Create(4, 4, 0, kRasterTypeTexture | format);
    if (!raster)
        return nullptr;
    if (palette)
    {
        uint8_t* entries = Raster::LockPalette(raster, kRasterLockWrite);
        EXPECT_NE(entries, nullptr);
        if (entries)
            palette(entries);
        Raster::UnlockPalette(raster);
    }
    uint8_t* pixels = Raster::Lock(raster, 0, kRasterLockWrite);
    EXPECT_NE(pixels, nullptr);
    if (pixels)
        fill(pixels, raster->stride);
    Raster::Unlock(raster);
    return Texture::Create(raster);
}

void Fill16(uint8_t* pixels, int32_t stride, uint16_t value, uint16_t last)
{
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x)
        {
            uint16_t v = (x == 3 && y == 3) ? last : value;
            std::memcpy(pixels + y * stride + 2 * x, &v, 2);
        }
}

void Fill32(uint8_t* pixels, int32_t stride, uint32_t value, uint32_t last)
{
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x)
        {
            uint32_t v = (x == 3 && y == 3) ? last : value;
            std::memcpy(pixels + y * stride + 4 * x, &v, 4);
        }
}

// Palette entries red, green, blue, alpha: all opaque but entry index, which gets alpha.
std::function<void(uint8_t*)> Palette(int32_t index, uint8_t alpha)
{
    return [=](uint8_t* entries)
    {
        for (int32_t i = 0; i < 256; ++i)
        {
            entries[4 * i] = uint8_t(i);
            entries[4 * i + 3] = i == index ? alpha : 255;
        }
    };
}

TEST_F(RenderItems, TextureHasAlphaOverTheRasterFormats)
{
    auto indices = [](uint8_t* pixels, int32_t stride)
    {
        for (int32_t y = 0; y < 4; ++y)
            std::memset(pixels + y * stride, 0, 4);
    };
    const struct
    {
        const char* name;
        uint32_t format;
        std::function<void(uint8_t*, int32_t)> fill;
        std::function<void(uint8_t*)> palette;
        int32_t alpha;
    } cases[] = {
        {"565 is opaque whatever its pixels", kRasterFormat565, [](uint8_t* p, int32_t s) { Fill16(p, s, 0, 0); },
         nullptr, 0},
        {"1555 all set", kRasterFormat1555, [](uint8_t* p, int32_t s) { Fill16(p, s, 0xFFFF, 0xFFFF); }, nullptr, 0},
        {"1555 one clear", kRasterFormat1555, [](uint8_t* p, int32_t s) { Fill16(p, s, 0xFFFF, 0x7FFF); }, nullptr, 1},
        {"4444 one below F", kRasterFormat4444, [](uint8_t* p, int32_t s) { Fill16(p, s, 0xFFFF, 0x7FFF); }, nullptr,
         1},
        {"4444 all F", kRasterFormat4444, [](uint8_t* p, int32_t s) { Fill16(p, s, 0xF123, 0xF456); }, nullptr, 0},
        {"8888 all 255", kRasterFormat8888, [](uint8_t* p, int32_t s) { Fill32(p, s, 0xFF102030, 0xFF405060); },
         nullptr, 0},
        {"8888 last pixel 128", kRasterFormat8888, [](uint8_t* p, int32_t s) { Fill32(p, s, 0xFF102030, 0x80405060); },
         nullptr, 1},
        {"PAL8 an entry below 255", kRasterFormatPal8 | kRasterFormat8888, indices, Palette(255, 200), 1},
        {"PAL8 opaque entries", kRasterFormatPal8 | kRasterFormat8888, indices, Palette(-1, 0), 0},
        {"PAL8 over 888", kRasterFormatPal8 | kRasterFormat888, indices, Palette(3, 0), 0},
        {"PAL4 an entry below 255", kRasterFormatPal4 | kRasterFormat8888, indices, Palette(15, 0), 1},
        {"PAL4 reads 16 entries", kRasterFormatPal4 | kRasterFormat8888, indices, Palette(16, 0), 0},
    };
    for (const auto& c : cases)
    {
        // The device keeps 4-bit palettes in 256-entry ones: a 4-bit raster is an 8-bit one
        // whose format reports the 4-bit palette, so only its first 16 entries count.
        bool pal4 = (c.format & kRasterFormatPal4) != 0;
        uint32_t format = pal4 ? (c.format & ~kRasterFormatPal4) | kRasterFormatPal8 : c.format;
        Texture* texture = MakeTexture(format, c.fill, c.palette);
        ASSERT_NE(texture, nullptr) << c.name;
        uint8_t stored = texture->raster->format;
        if (pal4)
            texture->raster->format = uint8_t((stored & ~(kRasterFormatPal8 >> 8)) | (kRasterFormatPal4 >> 8));
        EXPECT_EQ(TextureHasAlpha(texture), c.alpha) << c.name;
        EXPECT_EQ(texture->raster->privateFlags & (kRasterPixelLockMask | kRasterPaletteLockMask), 0) << c.name;
        texture->raster->format = stored;
        Texture::Destroy(texture);
    }
    EXPECT_EQ(TextureHasAlpha(nullptr), 0);
}

TEST_F(RenderItems, BuildMakesOneItemPerAtomic)
{
    Texture* alpha = MakeTexture(kRasterFormat8888, [](uint8_t* p, int32_t s) { Fill32(p, s, 0, 0); });
    Texture* opaque = MakeTexture(kRasterFormat565, [](uint8_t* p, int32_t s) { Fill16(p, s, 0, 0); });
    LoggingNode* node = LoggingNode::Make("model");
    Clump* clump = MakeClump({alpha, opaque, nullptr, kNoMaterials});
    node->SetClump(clump);
    EXPECT_EQ(RenderItemList::Build(node, nullptr), 1);
    EXPECT_EQ(node->GetRenderItems().GetCount(), 0);
    ASSERT_EQ(TRenderDataItem::sClassPool.Create(), 1);
    HbPerClassFreeList* pool = TRenderDataItem::sClassPool.Get();
    int32_t pooled = pool->GetUsedCount();
    EXPECT_EQ(RenderItemList::Build(node, clump), 1);
    EXPECT_EQ(pool->GetUsedCount(), pooled + 4) << "items come from their pool";

    std::vector<Atomic*> atomics = Atomics(clump);
    HbPtrArray& items = node->GetRenderItems();
    ASSERT_EQ(items.GetCount(), 4);
    // Clump::AddAtomic puts atomics at the head: the walk is in reverse of MakeClump's order.
    const struct
    {
        Texture* texture;
        int32_t transparent;
    } expected[] = {{nullptr, 0}, {nullptr, 0}, {opaque, 0}, {alpha, 1}};
    for (int32_t i = 0; i < 4; ++i)
    {
        auto* item = static_cast<TRenderDataItem*>(items[i]);
        EXPECT_EQ(item->owner, node);
        EXPECT_EQ(item->atomic, atomics[size_t(i)]);
        EXPECT_EQ(item->texture, expected[i].texture) << i;
        EXPECT_EQ(item->transparent, expected[i].transparent) << i;
        EXPECT_EQ(item->list, -1);
        EXPECT_EQ(item->position, -1);
        EXPECT_EQ(item->lit, 0);
    }
    node->Release(); // items back to their pool, then the clump and its textures' references
    EXPECT_EQ(pool->GetUsedCount(), pooled);
    Texture::Destroy(alpha);
    Texture::Destroy(opaque);
}

TEST_F(RenderItems, ListsCapAddsAndCheckPositionsOnRemove)
{
    WRenderList list;
    std::vector<TRenderDataItem*> items;
    for (int32_t i = 0; i < WRenderList::kCapacity + 1; ++i)
        items.push_back(new TRenderDataItem());
    for (int32_t i = 0; i < WRenderList::kCapacity; ++i)
        ASSERT_EQ(list.Add(items[size_t(i)]), 1);
    EXPECT_EQ(list.Add(items.back()), 0) << "the 513th is refused";
    EXPECT_EQ(items.back()->position, -1);
    EXPECT_EQ(list.GetCount(), WRenderList::kCapacity);

    EXPECT_EQ(list.Remove(items[3]), 1);
    EXPECT_EQ(list.GetItem(3), items[WRenderList::kCapacity - 1]) << "the last moves into the slot";
    EXPECT_EQ(items[WRenderList::kCapacity - 1]->position, 3);
    EXPECT_EQ(items[3]->position, -1);
    EXPECT_EQ(items[3]->list, -1);
    EXPECT_EQ(list.Remove(items[3]), 0) << "not in the list any more";

    list.Clear();
    EXPECT_EQ(items[0]->position, -1) << "cleared items keep no stale slot";
    WRenderList other;
    other.Add(items[1]);
    other.Add(items[0]);
    list.Add(items[2]);
    EXPECT_EQ(list.Remove(items[0]), 0) << "an item listed elsewhere does not disturb this list";
    EXPECT_EQ(list.GetItem(0), items[2]);
    EXPECT_EQ(other.Remove(items[1]), 1);
    EXPECT_EQ(other.Remove(items[0]), 1);
    EXPECT_EQ(other.GetCount(), 0) << "a list of one left empty";
    EXPECT_EQ(items[0]->position, -1);
    for (TRenderDataItem* item : items)
        delete item;
}

TEST_F(RenderItems, SortsByTextureWithNullFirstAndBackToFront)
{
    WRenderList list;
    alignas(8) char textures[3];
    std::vector<TRenderDataItem*> items;
    Texture* order[] = {reinterpret_cast<Texture*>(&textures[2]), nullptr, reinterpret_cast<Texture*>(&textures[0]),
                        reinterpret_cast<Texture*>(&textures[2]), nullptr};
    for (Texture* texture : order)
    {
        items.push_back(new TRenderDataItem());
        items.back()->texture = texture;
        list.Add(items.back());
    }
    EXPECT_EQ(list.Sort(CompareByTexture), 5);
    for (int32_t i = 0; i < 5; ++i)
        EXPECT_EQ(list.GetItem(i)->position, i);
    EXPECT_EQ(list.GetItem(0)->texture, nullptr);
    EXPECT_EQ(list.GetItem(1)->texture, nullptr);
    EXPECT_EQ(list.GetItem(2)->texture, order[2]);
    EXPECT_EQ(list.GetItem(3)->texture, order[0]);
    EXPECT_EQ(list.GetItem(4)->texture, order[0]);
    for (TRenderDataItem* item : items)
        delete item;

    // Back to front, also far beyond where a squared difference fits an integer.
    LoggingNode* node = LoggingNode::Make("far");
    Clump* clump = MakeClump({nullptr, nullptr, nullptr, nullptr});
    node->SetClump(clump);
    RenderItemList::Build(node, clump);
    const float depths[] = {10.0f, 90000.0f, 50000.0f, 10.5f};
    std::vector<Atomic*> atomics = Atomics(clump);
    WTransparentRenderList transparent;
    for (int32_t i = 0; i < 4; ++i)
    {
        Vector at = {0, 0, depths[i]};
        Frame::Translate(atomics[size_t(i)]->object.frame, &at, kCombineReplace);
        transparent.Add(static_cast<TRenderDataItem*>(node->GetRenderItems()[i]));
    }
    Frame::SyncDirtyList();
    Vector origin = {0, 0, 0};
    SetBackToFrontOrigin(&origin);
    transparent.Sort(CompareBackToFront);
    const Atomic* expected[] = {atomics[1], atomics[2], atomics[3], atomics[0]};
    for (int32_t i = 0; i < 4; ++i)
        EXPECT_EQ(transparent.GetItem(i)->atomic, expected[i]) << i;
    transparent.Clear();
    node->Release();
}

// Draws note the atomic and what its first material's alpha and its geometry's flags were.
struct Draw
{
    Atomic* atomic;
    uint8_t alpha;
    uint32_t flags;
};
std::vector<Draw> gDraws;

Atomic* RecordDraw(Atomic* atomic)
{
    gDraws.push_back({atomic, atomic->geometry->materials.materials[0]->colour.alpha, atomic->geometry->flags});
    return atomic;
}

float FadeFromUser(TRenderDataItem*, void* user)
{
    return *static_cast<float*>(user);
}

class ItemDrawing : public SceneTest
{
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        gDraws.clear();
        mCamera = Camera::Create();
        mCameraFrame = Frame::Create();
        FrameObject::SetFrame(&mCamera->object, mCameraFrame);
        Frame::SyncDirtyList();
        mPreviousCamera = Engine::Current()->currentCamera;
        Engine::Current()->currentCamera = mCamera;

        mNode = LoggingNode::Make("drawn");
        mClump = MakeClump({nullptr, nullptr});
        mNode->SetClump(mClump);
        RenderItemList::Build(mNode, mClump);
        mAtomics = Atomics(mClump);
        const float depths[] = {5.0f, -50.0f}; // in front of the camera, and behind it
        for (size_t i = 0; i < 2; ++i)
        {
            Vector at = {0, 0, depths[i]};
            Frame::Translate(mAtomics[i]->object.frame, &at, kCombineReplace);
            mAtomics[i]->renderCallback = RecordDraw;
            mAtomics[i]->geometry->materials.materials[0]->colour.alpha = 200;
            Item(int32_t(i))->lit = 1;
        }
        Frame::SyncDirtyList();
    }

    void TearDown() override
    {
        if (mNode)
            mNode->Release();
        Engine::Current()->currentCamera = mPreviousCamera;
        FrameObject::SetFrame(&mCamera->object, nullptr);
        Camera::Destroy(mCamera);
        Frame::Destroy(mCameraFrame);
        SceneTest::TearDown();
    }

    TRenderDataItem* Item(int32_t i) { return static_cast<TRenderDataItem*>(mNode->GetRenderItems()[i]); }

    Camera* mCamera = nullptr;
    Frame* mCameraFrame = nullptr;
    void* mPreviousCamera = nullptr;
    LoggingNode* mNode = nullptr;
    Clump* mClump = nullptr;
    std::vector<Atomic*> mAtomics;
};

TEST_F(ItemDrawing, TheFrustumResultGoesToTheAtomicsVisibilityWord)
{
    WRenderList list;
    list.SetFlags(WRenderList::kLit);
    list.Add(Item(0));
    list.Add(Item(1));
    AtomicOwner::Get(mAtomics[1])->visibility = 2;
    list.Render();
    ASSERT_EQ(gDraws.size(), 1u) << "the atomic behind the camera is not drawn";
    EXPECT_EQ(gDraws[0].atomic, mAtomics[0]);
    EXPECT_NE(gDraws[0].flags & kGeometryLight, 0u) << "a lit item in a lit list";
    EXPECT_EQ(AtomicOwner::Get(mAtomics[0])->visibility, int32_t(kFrustumInside));
    EXPECT_EQ(AtomicOwner::Get(mAtomics[1])->visibility, int32_t(kFrustumOutside));

    gDraws.clear();
    mNode->Hide();
    list.Render();
    EXPECT_TRUE(gDraws.empty()) << "a hidden node's opaque items are skipped";
    WTransparentRenderList transparent;
    transparent.Add(Item(0));
    transparent.Render();
    EXPECT_EQ(gDraws.size(), 1u) << "the transparent list ignores the node's visibility";
    list.Clear();
    transparent.Clear();
}

TEST_F(ItemDrawing, FadingSetsTheAlphaForTheDrawAndRestoresIt)
{
    const struct
    {
        float fade;
        uint8_t alpha;
    } cases[] = {{2.0f, 255}, {0.5f, 127}, {-1.0f, 255}, {0.0f, 0}};
    WRenderList list;
    list.SetFlags(WRenderList::kLit | WRenderList::kFading);
    list.Add(Item(0));
    for (const auto& c : cases)
    {
        gDraws.clear();
        float fade = c.fade;
        mNode->SetFade(FadeFromUser, &fade);
        list.Render();
        ASSERT_EQ(gDraws.size(), 1u);
        EXPECT_EQ(gDraws[0].alpha, c.alpha) << c.fade;
        EXPECT_NE(gDraws[0].flags & kGeometryModulateMaterialColor, 0u);
        Geometry* geometry = mAtomics[0]->geometry;
        EXPECT_EQ(geometry->materials.materials[0]->colour.alpha, 200) << "restored after the draw";
        EXPECT_EQ(geometry->flags & kGeometryModulateMaterialColor, 0u);
    }
    mNode->SetFade(nullptr, nullptr);
    list.Clear();
}

TEST_F(ItemDrawing, TheRendererListsANodesItemsByLayerOnceUntilTheNodeDies)
{
    WRenderer* renderer = WRenderer::Instance();
    Item(1)->transparent = 1;
    // The "no list" layer (and anything outside 0 to 5) lists the opaque items nowhere.
    for (int32_t layer : {W3dNode::kNoRenderLayer, -1, 7})
    {
        EXPECT_EQ(renderer->AddToRenderLists(mNode, layer), 1);
        EXPECT_EQ(Item(0)->list, -1) << layer;
        EXPECT_EQ(Item(1)->list, WRenderer::kTransparentLayer);
        EXPECT_NE(mNode->GetFlags() & W3dNode::kInRenderLists, 0u);
        EXPECT_EQ(renderer->RemoveFromRenderLists(mNode), 0);
        EXPECT_EQ(Item(1)->list, -1);
        EXPECT_EQ(mNode->GetFlags() & W3dNode::kInRenderLists, 0u);
    }
    renderer->AddToRenderLists(mNode, WRenderer::kTransparentLayer); // the level's objects
    EXPECT_EQ(Item(0)->list, WRenderer::kTransparentLayer);
    EXPECT_EQ(renderer->GetRenderList(5)->GetCount(), 2);
    renderer->RemoveFromRenderLists(mNode);
    renderer->AddToRenderLists(mNode, 2);
    EXPECT_EQ(Item(0)->list, 2);
    EXPECT_EQ(renderer->GetRenderList(2)->GetItem(Item(0)->position), Item(0));
    renderer->RemoveFromRenderLists(mNode);
    EXPECT_EQ(renderer->GetRenderList(2)->GetCount(), 0);
    EXPECT_EQ(renderer->GetRenderList(5)->GetCount(), 0);

    // A listed node listed again: each item stays once in its list and draws once.
    renderer->AddToRenderLists(mNode, 2);
    renderer->AddToRenderLists(mNode, 2);
    EXPECT_EQ(renderer->GetRenderList(2)->GetCount(), 1);
    EXPECT_EQ(renderer->GetRenderList(5)->GetCount(), 1);
    gDraws.clear();
    renderer->GetRenderList(2)->Render();
    EXPECT_EQ(gDraws.size(), 1u);

    // A node that dies listed takes its items out: the lists draw nothing freed.
    mNode->Release();
    mNode = nullptr;
    EXPECT_EQ(renderer->GetRenderList(2)->GetCount(), 0);
    EXPECT_EQ(renderer->GetRenderList(5)->GetCount(), 0);
    gDraws.clear();
    renderer->GetRenderList(2)->Render();
    renderer->GetRenderList(5)->Render();
    EXPECT_TRUE(gDraws.empty());
}

} // namespace
} // namespace renderertest
