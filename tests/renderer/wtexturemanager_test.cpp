// The texture manager: textures by resource id read from PNG files (in pack archives too),
// their references, and the per-resource dictionaries that loads open and close.
#include "hbpack.h"
#include "hbresource.h"
#include "image.h"
#include "pngimage.h"
#include "raster.h"
#include "renderer_fixture.h"
#include "texture.h"
#include "wtexturemanager.h"

#include <fstream>
#include <iterator>

namespace renderertest
{
namespace
{
class TextureManager : public RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        Started();
        mManager = WTextureManager::Instance();
        ASSERT_NE(mManager, nullptr);
    }

    void TearDown() override
    {
        for (const std::string& id : mIds)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        RendererTest::TearDown();
    }

    void Declare(const char* id, const char* path)
    {
        HbResourceManager::Instance()->AddPath(id, path);
        mIds.push_back(id);
    }

    /// The bytes of a 32-bit PNG of the size, one colour, made by the engine's own writer.
    static std::string PngBytes(int32_t width, int32_t height)
    {
        Image* image = Image::Create(width, height, 32);
        Image::AllocatePixels(image);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
            {
                uint8_t* p = image->pixels + y * image->stride + 4 * x;
                p[0] = 200, p[1] = 40, p[2] = 90, p[3] = 255;
            }
        EXPECT_EQ(Png::WriteImage(image, "scratch.png"), image);
        Image::Destroy(image);
        std::ifstream in("scratch.png", std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), {});
        std::remove("scratch.png");
        return bytes;
    }

    /// Mounts a pack whose levels\w1\textures\ folder holds flag.png (8 x 4) and white.png (4 x 4).
    void MountLevelPack()
    {
        HbPackArchive writer;
        ASSERT_NE(writer.Open("w1.pak", "wb"), nullptr);
        const std::string flag = PngBytes(8, 4), white = PngBytes(4, 4);
        ASSERT_EQ(writer.AddEntry("levels\\w1\\textures\\flag.png", flag.data(), flag.size()), 1);
        ASSERT_EQ(writer.AddEntry("levels\\w1\\textures\\white.png", white.data(), white.size()), 1);
        writer.Close();
        HbPackSet* packs = HbPackSet::Instance();
        ASSERT_EQ(packs->Mount("w1.pak"), 1);
        packs->SetEnabled(1);
    }

    WTextureManager* mManager = nullptr;
    std::vector<std::string> mIds;
};

TEST_F(TextureManager, TexturesByIdAreReadOnceAndSharedByReference)
{
    MountLevelPack();
    Declare("W1_FLAG_TEX", "levels\\w1\\textures\\flag.png");
    // Ids need no type key: the path is asked by id.
    Declare("FE_MAIN_WHITE", "levels\\w1\\textures\\white.png");

    Texture* first = mManager->GetTexture("W1_FLAG_TEX");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->raster->width, 8);
    EXPECT_EQ(first->raster->height, 4);
    EXPECT_STREQ(first->name, "W1_FLAG_TEX");
    EXPECT_EQ(first->filterAddressing & kTextureFilterMask, 2u);
    EXPECT_EQ(first->dictionary, mManager->GetDefaultDictionary());
    Texture* second = mManager->GetTexture("W1_FLAG_TEX");
    EXPECT_EQ(second, first);
    EXPECT_EQ(first->refCount, 2);

    Texture* white = mManager->GetTexture("FE_MAIN_WHITE");
    ASSERT_NE(white, nullptr);
    EXPECT_EQ(white->raster->width, 4);
    Texture::Destroy(white);

    Texture::Destroy(second);
    Texture::Destroy(first);
    EXPECT_EQ(TextureDictionary::FindTexture(mManager->GetDefaultDictionary(), "W1_FLAG_TEX"), nullptr);
    Texture* again = mManager->GetTexture("W1_FLAG_TEX"); // read from the archive once more
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->refCount, 1);
    Texture::Destroy(again);
}

TEST_F(TextureManager, ATextureALevelLoadedMovesToTheDefaultDictionaryUnderItsId)
{
    MountLevelPack();
    Declare("W1", "levels\\w1\\w1.grp");
    Declare("W1_FLAG_TEX", "levels\\w1\\textures\\flag.png");
    mManager->BeginDictionary("W1", 0);
    Texture* loaded = Texture::Read("flag", nullptr);
    ASSERT_NE(loaded, nullptr);
    Texture* byId = mManager->GetTexture("W1_FLAG_TEX"); // found in the open dictionary
    EXPECT_EQ(byId, loaded);
    EXPECT_EQ(loaded->refCount, 2);
    EXPECT_STREQ(loaded->name, "W1_FLAG_TEX");
    EXPECT_EQ(loaded->dictionary, mManager->GetDefaultDictionary());
    mManager->EndDictionary("W1"); // its dictionary is empty now
    EXPECT_EQ(mManager->FindDictionary("W1"), nullptr);
    Texture::Destroy(byId);
    Texture::Destroy(loaded);
}

TEST_F(TextureManager, IdsWithoutAFileOrWithShortOrBareNames)
{
    EXPECT_EQ(mManager->GetTexture(""), nullptr);
    EXPECT_EQ(mManager->GetTexture("NOBODY_TEX"), nullptr);
    // A name shorter than four characters keeps what is before its dot; a path without a
    // backslash is looked for in the current folder.
    {
        std::ofstream("a.png", std::ios::binary) << PngBytes(2, 2);
    }
    Declare("A_TEX", "a.png");
    Texture* a = mManager->GetTexture("A_TEX");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->raster->width, 2);
    Texture::Destroy(a);
    Declare("MISSING_TEX", "levels\\nothing.png");
    EXPECT_EQ(mManager->GetTexture("MISSING_TEX"), nullptr);
    EXPECT_STREQ(WTextureManager::GetImagePath("A_TEX"), ".\\textures\\");
}

TEST_F(TextureManager, NestedLoadsShareTheGroupsDictionaryAndEmptyOnesAreDestroyed)
{
    MountLevelPack();
    Declare("W1", "levels\\w1\\w1.grp");
    Declare("W1L1_WL", "levels\\w1\\w1l1.wl");
    EXPECT_STREQ(WTextureManager::GetImagePath("W1L1_WL"), "levels\\w1\\textures\\");

    mManager->BeginDictionary("W1", 1); // top level: a dictionary of its own all the same
    WTextureManager::WDictionary* group = mManager->FindDictionary("W1");
    ASSERT_NE(group, nullptr);
    ASSERT_NE(group->dictionary, nullptr);
    EXPECT_EQ(group->shared, 0);
    EXPECT_EQ(TextureDictionary::GetCurrent(), group->dictionary);

    mManager->BeginDictionary("W1L1_WL", 1);
    WTextureManager::WDictionary* level = mManager->FindDictionary("W1L1_WL");
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->dictionary, nullptr);
    EXPECT_EQ(mManager->GetCurrentName(), "W1L1_WL");
    Texture* flag = Texture::Read("flag", nullptr); // the level's texture goes to the group
    ASSERT_NE(flag, nullptr);
    EXPECT_EQ(flag->dictionary, group->dictionary);

    mManager->EndDictionary("W1L1_WL");
    EXPECT_EQ(mManager->FindDictionary("W1L1_WL"), nullptr);
    EXPECT_EQ(TextureDictionary::GetCurrent(), group->dictionary);
    EXPECT_STREQ(Image::GetPath(), "levels\\w1\\textures\\");
    EXPECT_EQ(mManager->GetCurrentName(), "W1");

    mManager->EndDictionary("W1");
    EXPECT_EQ(TextureDictionary::GetCurrent(), nullptr);
    EXPECT_STREQ(Image::GetPath(), ".\\");
    EXPECT_EQ(mManager->GetCurrentName(), "");
    ASSERT_EQ(mManager->FindDictionary("W1"), group); // it holds the flag
    EXPECT_EQ(group->fresh, 0);
    mManager->EndDictionary("W1"); // not open: nothing happens

    // Once its last texture is released the closed dictionary goes at the next purge.
    Texture::Destroy(flag);
    mManager->PurgeDictionaries();
    EXPECT_EQ(mManager->FindDictionary("W1"), nullptr);
    EXPECT_EQ(mManager->GetDictionaryCount(), 0);

    // A group whose dictionary received nothing loses it at its close.
    Declare("W2", "levels\\w2\\w2.grp");
    mManager->BeginDictionary("W2", 0);
    ASSERT_NE(mManager->FindDictionary("W2"), nullptr);
    mManager->EndDictionary("W2");
    EXPECT_EQ(mManager->FindDictionary("W2"), nullptr);
    EXPECT_EQ(mManager->GetDictionaryCount(), 0);
}

TEST_F(TextureManager, ADictionaryOpenedAgainWhileOpenNeverBecomesItsOwnParent)
{
    // A level (a group's dictionary around it) whose world's animated-texture body opens the
    // world's dictionary again.
    MountLevelPack();
    Declare("W1", "levels\\w1\\w1.grp");
    Declare("W1L1_WW", "levels\\w1\\l1\\w1l1.bsp");
    mManager->BeginDictionary("W1", 0);
    WTextureManager::WDictionary* group = mManager->FindDictionary("W1");
    ASSERT_NE(group, nullptr);
    mManager->BeginDictionary("W1L1_WW", 0);
    WTextureManager::WDictionary* world = mManager->FindDictionary("W1L1_WW");
    ASSERT_NE(world, nullptr);
    TextureDictionary* worldDictionary = world->dictionary;
    ASSERT_NE(worldDictionary, nullptr);

    mManager->BeginDictionary("W1L1_WW", 0);
    EXPECT_EQ(world->parentName, "W1");
    mManager->EndDictionary("W1L1_WW");
    // The world's dictionary, still empty, stays open and current.
    EXPECT_EQ(mManager->FindDictionary("W1L1_WW"), world);
    EXPECT_EQ(TextureDictionary::GetCurrent(), worldDictionary);
    EXPECT_EQ(mManager->GetCurrentName(), "W1L1_WW");
    EXPECT_STREQ(Image::GetPath(), "levels\\w1\\l1\\textures\\");

    mManager->EndDictionary("W1L1_WW");
    EXPECT_EQ(mManager->GetCurrentName(), "W1") << "the enclosing dictionary is back";
    EXPECT_EQ(TextureDictionary::GetCurrent(), group->dictionary);
    EXPECT_STREQ(Image::GetPath(), "levels\\w1\\textures\\");
    EXPECT_EQ(mManager->FindDictionary("W1L1_WW"), nullptr) << "empty, gone at its own close";
    mManager->EndDictionary("W1");
    EXPECT_EQ(mManager->GetCurrentName(), "");
}

TEST_F(TextureManager, ForAllTexturesVisitsEveryDictionaryAndTheDefaultOneLast)
{
    MountLevelPack();
    Declare("W1", "levels\\w1\\w1.grp");
    Declare("W1_FLAG_TEX", "levels\\w1\\textures\\flag.png");
    mManager->BeginDictionary("W1", 0);
    Texture* white = Texture::Read("white", nullptr);
    mManager->EndDictionary("W1");
    Texture* flag = mManager->GetTexture("W1_FLAG_TEX");
    std::vector<std::string> seen;
    mManager->ForAllTextures(
        [](Texture* t, void* data) {
            static_cast<std::vector<std::string>*>(data)->push_back(t->name);
            return t;
        },
        &seen);
    EXPECT_EQ(seen, (std::vector<std::string>{"white", "W1_FLAG_TEX"}));
    Texture::Destroy(flag);
    Texture::Destroy(white);
}
} // namespace
} // namespace renderertest
