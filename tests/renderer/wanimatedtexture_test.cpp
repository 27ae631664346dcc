// Animated textures (frame timing, loading and saving bodies, binding list entries to
// materials, playing and freezing) and UV-animation loading (its gate, the file names, the
// pending dictionary and the registry of animated materials).
#include "chunk.h"
#include "clump.h"
#include "clumpwriter.h"
#include "geometry.h"
#include "hbclock.h"
#include "hbdatamanager.h"
#include "hbresource.h"
#include "image.h"
#include "levelwriter.h"
#include "material.h"
#include "matfx.h"
#include "matrix.h"
#include "pngimage.h"
#include "scene_fixture.h"
#include "texture.h"
#include "uvanim.h"
#include "uvanimkey.h"
#include "uvanimwriter.h"
#include "w3dobject.h"
#include "wanimatedtextureset.h"
#include "worldwriter.h"
#include "wtexturemanager.h"
#include "wuvanimregistry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

namespace renderertest
{
namespace
{
std::string Str(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

void Container(const char* id, const char* key, int32_t value)
{
    HbDataManager::Create();
    HbDataManager::BeginContainer(id);
    if (key)
        HbDataManager::Current()->SetInteger(key, value);
    HbDataManager::EndContainer();
}

/// Three 4 x 4 PNG frames f0, f1, f2 in textures\ beside the resources; ids at 1000 ticks a
/// second.
class AnimatedTextures : public SceneTest
{
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        WAnimatedTextureResource::SetTicksPerSecond(1000);
        std::filesystem::create_directories("textures");
        for (int32_t i = 0; i < 3; ++i)
        {
            Image* image = Image::Create(4, 4, 32);
            Image::AllocatePixels(image);
            for (int32_t p = 0; p < 16; ++p)
            {
                uint8_t* pixel = image->pixels + (p / 4) * image->stride + 4 * (p % 4);
                pixel[0] = uint8_t(80 * i), pixel[1] = 40, pixel[2] = 90, pixel[3] = 255;
            }
            const std::string name = "textures/f" + std::to_string(i) + ".png";
            ASSERT_EQ(Png::WriteImage(image, name.c_str()), image);
            Image::Destroy(image);
        }
        Declare("ANIM_WAT", "anim.wat");
        HbGameClock::Instance()->mGameTime = 0;
        mSet = WRenderer::Instance()->GetAnimatedTextures();
        ASSERT_NE(mSet, nullptr);
    }

    void TearDown() override
    {
        for (Material* material : mMaterials)
            Material::Destroy(material);
        for (HbRoot* resource : mResources)
            resource->Release();
        WAnimatedTextureResource::SetTicksPerSecond(0);
        for (const std::string& id : mIds)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        HbDataManager::Destroy();
        // Dictionaries a test's fake operations made are forgotten through those operations.
        UVAnimClearAll();
        UVAnimSetDictionaryOps(nullptr);
        SceneTest::TearDown();
    }

    void Declare(const char* id, const char* path)
    {
        HbResourceManager::Instance()->AddPath(id, path);
        mIds.push_back(id);
    }

    /// A body read as a resource of the test's (null when refused); version 1 is read inside
    /// the resource's dictionary, as a world's or object's list is.
    WAnimatedTextureResource* Body(const WatDescription& d)
    {
        ChunkBytes bytes(WatWriter::WriteBody(d));
        WAnimatedTextureResource* resource = WAnimatedTextureResource::Create();
        resource->AddRef();
        WTextureManager::Instance()->BeginDictionary("ANIM_WAT", 0);
        const int loaded = resource->Load(bytes.Stream(), "ANIM_WAT");
        WTextureManager::Instance()->EndDictionary("ANIM_WAT");
        if (!loaded)
        {
            resource->Release();
            return nullptr;
        }
        mResources.push_back(resource);
        return resource;
    }

    static WatDescription Frames100To300(int32_t loop)
    {
        WatDescription d;
        d.version = 1;
        d.loop = loop;
        d.frames = {{"f0", 100}, {"f1", 200}, {"f2", 300}};
        return d;
    }

    /// A material showing the texture of that name (none for an empty name).
    Material* MaterialShowing(const char* name)
    {
        Material* material = Material::Create();
        if (*name)
        {
            WTextureManager::Instance()->BeginDictionary("ANIM_WAT", 0);
            Texture* texture = Texture::Read(name, nullptr);
            WTextureManager::Instance()->EndDictionary("ANIM_WAT");
            Material::SetTexture(material, texture);
            Texture::Destroy(texture);
        }
        mMaterials.push_back(material);
        return material;
    }

    WAnimatedTextureSet* mSet = nullptr;
    std::vector<std::string> mIds;
    std::vector<Material*> mMaterials;
    std::vector<HbRoot*> mResources;
};

TEST_F(AnimatedTextures, TheFrameShownFollowsTheCumulativeDurations)
{
    WAnimatedTextureResource* looping = Body(Frames100To300(1));
    ASSERT_NE(looping, nullptr);
    ASSERT_EQ(looping->GetFrameCount(), 3);
    EXPECT_EQ(looping->GetTotalDuration(), 600);
    const struct
    {
        int64_t t;
        int32_t frame;
    } times[] = {{0, 0}, {100, 0}, {101, 1}, {300, 1}, {301, 2}, {600, 2}, {601, 0}, {-50, 0}, {1301, 1}};
    for (const auto& time : times)
        EXPECT_EQ(looping->GetTextureAt(time.t), looping->GetFrameTexture(time.frame)) << time.t;
    EXPECT_STREQ(looping->GetFrameTexture(0)->name, "f0");
    EXPECT_EQ(looping->GetFrameTexture(5), looping->GetFrameTexture(2));
    EXPECT_EQ(looping->GetFrameTexture(0)->filterAddressing & kTextureFilterMask, 2u) << "frames filter linearly";

    WAnimatedTextureResource* once = Body(Frames100To300(0));
    ASSERT_NE(once, nullptr);
    EXPECT_EQ(once->GetTextureAt(601), once->GetFrameTexture(2)) << "without loop the last frame stays";

    looping->SetTotalDuration(300);
    EXPECT_EQ(looping->GetFrameDuration(0), 50);
    EXPECT_EQ(looping->GetFrameDuration(1), 100);
    EXPECT_EQ(looping->GetFrameDuration(2), 150);
    EXPECT_EQ(looping->GetTotalDuration(), 300);

    // Frames lasting no time, and no frames at all, answer without dividing by zero.
    WatDescription instant = Frames100To300(1);
    for (auto& frame : instant.frames)
        frame.duration = 0;
    WAnimatedTextureResource* zero = Body(instant);
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(zero->GetTextureAt(50), zero->GetFrameTexture(2));
    zero->SetTotalDuration(100);
    EXPECT_EQ(zero->GetTotalDuration(), 0);
    WatDescription none = Frames100To300(1);
    none.frames.clear();
    WAnimatedTextureResource* empty = Body(none);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->GetTextureAt(10), nullptr);
    EXPECT_EQ(empty->GetFrameTexture(3), nullptr);
}

TEST_F(AnimatedTextures, BodiesSkipMissingTexturesRefuseOtherVersionsAndStopAtTheirEnd)
{
    WatDescription seconds;
    seconds.version = 0;
    seconds.frames = {{"f0", 0.1f}, {"missing", 0.2f}, {"f2", 0.3f}};
    WAnimatedTextureResource* resource = Body(seconds);
    ASSERT_NE(resource, nullptr);
    ASSERT_EQ(resource->GetFrameCount(), 2);
    EXPECT_EQ(resource->GetFileFrameCount(), 3u);
    EXPECT_EQ(resource->GetFrameDuration(0), 100);
    EXPECT_EQ(resource->GetFrameDuration(1), 300);
    EXPECT_STREQ(resource->GetFrameTexture(1)->name, "f2");

    WatDescription future = seconds;
    future.version = 2;
    EXPECT_EQ(Body(future), nullptr);

    // A frame count far beyond the data: the read ends with the data.
    std::vector<uint8_t> bytes = WatWriter::WriteBody(seconds);
    const uint32_t huge = 0x7FFFFFFF;
    std::memcpy(bytes.data() + 8, &huge, 4);
    ChunkBytes stream(bytes);
    WAnimatedTextureResource* cut = WAnimatedTextureResource::Create();
    cut->AddRef();
    EXPECT_EQ(cut->Load(stream.Stream(), "ANIM_WAT"), 0);
    EXPECT_EQ(cut->GetFrameCount(), 2);
    cut->Release();
}

TEST_F(AnimatedTextures, SavingWritesAVersionZeroBodyOfTheFramesLoaded)
{
    WatDescription d = Frames100To300(1);
    d.frames[1].texture = "missing";
    WAnimatedTextureResource* resource = Body(d);
    ASSERT_NE(resource, nullptr);
    ASSERT_EQ(resource->GetFrameCount(), 2);

    ChunkBytes out({});
    // A stream of our own that records what is written.
    struct Recorder : HbStreamBuf
    {
        std::vector<uint8_t> bytes;
        int Close() override { return 1; }
        size_t Read(void*, size_t) override { return 0; }
        size_t Write(const void* source, size_t count) override
        {
            bytes.insert(bytes.end(), static_cast<const uint8_t*>(source), static_cast<const uint8_t*>(source) + count);
            return count;
        }
        int Seek(int64_t, int) override { return 0; }
        int64_t Tell() override { return int64_t(bytes.size()); }
        int64_t Size() override { return int64_t(bytes.size()); }
    };
    auto* recorder = new Recorder();
    HbStream writer(recorder);
    ASSERT_EQ(resource->Save(&writer), 1);
    int32_t header[3];
    ASSERT_GE(recorder->bytes.size(), sizeof(header));
    std::memcpy(header, recorder->bytes.data(), sizeof(header));
    EXPECT_EQ(header[0], 0) << "version 0, whatever was read";
    EXPECT_EQ(header[1], 1);
    EXPECT_EQ(header[2], 2) << "the frames written, not the file's count";

    ChunkBytes again(recorder->bytes);
    WAnimatedTextureResource* reloaded = WAnimatedTextureResource::Create();
    reloaded->AddRef();
    mResources.push_back(reloaded);
    ASSERT_EQ(reloaded->Load(again.Stream(), "ANIM_WAT"), 1);
    ASSERT_EQ(reloaded->GetFrameCount(), 2);
    EXPECT_EQ(reloaded->GetVersion(), 0);
    EXPECT_EQ(reloaded->GetFrameDuration(0), 100);
    EXPECT_EQ(reloaded->GetFrameDuration(1), 300);
    EXPECT_STREQ(reloaded->GetFrameTexture(1)->name, "f2");
}

/// Binds every entry of a list to the fixture's materials.
struct MaterialTarget
{
    std::vector<Material*> materials;
};

void BindToTarget(WAnimatedTextureSet* set, const WAnimatedTextureSet::Entry& entry, void* target)
{
    set->BindToMaterials(entry, static_cast<MaterialTarget*>(target)->materials);
}

TEST_F(AnimatedTextures, ListEntriesBindTheFirstMatchingMaterialAndPlayByTheGameClock)
{
    Material* other = MaterialShowing("f2");
    Material* first = MaterialShowing("f0");
    Material* second = MaterialShowing("f0");
    Material* bare = MaterialShowing("");
    Material* still = MaterialShowing("f1");
    MaterialTarget target{{bare, other, first, second, still}};

    WatListDescription list;
    list.entries.push_back({false, "flag", 1, Frames100To300(1)});
    list.entries.push_back({true});
    list.entries.push_back({false, "flag", 1, Frames100To300(1)}); // a name bound already
    WatDescription fromF1 = Frames100To300(1);
    fromF1.frames = {{"f1", 100}, {"f0", 100}};
    list.entries.push_back({false, "sign", 0, fromF1});
    HbGameClock::Instance()->mGameTime = 1000;
    ChunkBytes bytes(WatWriter::WriteList(list));
    WTextureManager::Instance()->BeginDictionary("ANIM_WAT", 0);
    EXPECT_EQ(mSet->ReadList(bytes.Stream(), "ANIM_WAT", BindToTarget, &target), 1);
    WTextureManager::Instance()->EndDictionary("ANIM_WAT");

    ASSERT_EQ(mSet->GetCount(), 2);
    WAnimatedTexture* flag = mSet->Find("flag");
    WAnimatedTexture* sign = mSet->Find("sign");
    ASSERT_NE(flag, nullptr);
    ASSERT_NE(sign, nullptr);
    EXPECT_EQ(mSet->Find("Flag"), nullptr) << "names compare exactly";
    EXPECT_EQ(flag->GetMaterial(), first);
    EXPECT_EQ(sign->GetMaterial(), still);
    EXPECT_TRUE(sign->IsFrozen()) << "no autoplay";
    EXPECT_FALSE(flag->IsFrozen());

    auto shows = [](Material* material) { return std::string(material->texture ? material->texture->name : ""); };
    const struct
    {
        int64_t now;
        const char* flag;
    } ticks[] = {{1050, "f0"}, {1150, "f1"}, {1450, "f2"}, {1650, "f0"}};
    for (const auto& tick : ticks)
    {
        HbGameClock::Instance()->mGameTime = tick.now;
        mSet->Tick();
        EXPECT_EQ(shows(first), tick.flag) << tick.now;
        EXPECT_EQ(shows(still), "f1") << "a frozen texture keeps its frame";
        EXPECT_EQ(shows(second), "f0") << "only the first matching material animates";
    }
    HbGameClock::Instance()->mGameTime = 1150;
    mSet->Tick();
    flag->Stop();
    HbGameClock::Instance()->mGameTime = 1450;
    mSet->Tick();
    EXPECT_EQ(shows(first), "f1") << "stopped where it was";
    flag->Play();
    HbGameClock::Instance()->mGameTime = 1460;
    mSet->Tick();
    EXPECT_EQ(shows(first), "f0") << "played again from frame 0";
    flag->SetFrame(4);
    EXPECT_EQ(shows(first), "f1");
    flag->StepFrame();
    EXPECT_EQ(shows(first), "f2");
    EXPECT_TRUE(flag->IsFrozen());
    // Frames stay within the three, whatever a console line asks.
    const struct
    {
        int32_t set;
        int32_t frame, next;
    } frames[] = {{2, 2, 0}, {4, 1, 2}, {-1, 2, 0}, {INT32_MAX, 1, 2}, {INT32_MIN, 1, 2}};
    for (const auto& f : frames)
    {
        flag->SetFrame(f.set);
        EXPECT_EQ(flag->GetFrame(), f.frame) << f.set;
        flag->StepFrame();
        EXPECT_EQ(flag->GetFrame(), f.next) << f.set;
        EXPECT_EQ(shows(first), "f" + std::to_string(f.next)) << f.set;
    }
    mSet->Clear();
    EXPECT_EQ(mSet->GetCount(), 0);
}

TEST_F(AnimatedTextures, AnObjectsListIsReadOnlyWhenItsContainerAsks)
{
    WatListDescription list;
    list.entries.push_back({false, "wave", 1, Frames100To300(1)});
    WriteFile("crate.WAT", Str(WatWriter::WriteList(list)));
    Declare("CRATE_WO", "crate.dff");
    LoggingNode* node = LoggingNode::Make("crate");
    WTextureManager::Instance()->BeginDictionary("ANIM_WAT", 0);
    Texture* f0 = Texture::Read("f0", nullptr);
    WTextureManager::Instance()->EndDictionary("ANIM_WAT");
    node->SetClump(MakeClump({f0, f0}));
    Texture::Destroy(f0);

    EXPECT_EQ(mSet->LoadForObject("CRATE_WO", node), 0) << "no container";
    Container("CRATE_WO", "LOAD_WAT", 0);
    EXPECT_EQ(mSet->LoadForObject("CRATE_WO", node), 0) << "LOAD_WAT false";
    Container("CRATE_WO", "LOAD_WAT", 1);
    WTextureManager::Instance()->BeginDictionary("CRATE_WO", 0);
    EXPECT_EQ(mSet->LoadForObject("CRATE_WO", node), 1) << "read under its upper-case name";
    WTextureManager::Instance()->EndDictionary("CRATE_WO");
    ASSERT_EQ(mSet->GetCount(), 1);
    const std::vector<Atomic*> atomics = Atomics(node->GetClump());
    EXPECT_EQ(mSet->Find("wave")->GetMaterial(), atomics[0]->geometry->materials.materials[0]);
    mSet->Clear();
    node->Release();
}

TEST_F(AnimatedTextures, MutatedListsAndBodiesAreReadSafely)
{
    WatListDescription list;
    list.entries.push_back({false, "a", 1, Frames100To300(1)});
    list.entries.push_back({true});
    WatDescription seconds = Frames100To300(0);
    seconds.version = 0;
    for (auto& frame : seconds.frames)
        frame.duration /= 1000.0f;
    list.entries.push_back({false, "b", 0, seconds});
    const std::vector<uint8_t> base = WatWriter::WriteList(list);
    MaterialTarget target{{MaterialShowing("f0"), MaterialShowing("f1")}};
    std::mt19937 random(45);
    WTextureManager::Instance()->BeginDictionary("ANIM_WAT", 0);
    for (int32_t round = 0; round < 500; ++round)
    {
        std::vector<uint8_t> bytes = base;
        for (int32_t c = 1 + int32_t(random() % 3); c > 0; --c)
            bytes[random() % bytes.size()] = uint8_t(random());
        if (random() % 6 == 0)
            bytes.resize(random() % bytes.size());
        ChunkBytes stream(bytes);
        mSet->ReadList(stream.Stream(), "ANIM_WAT", BindToTarget, &target);
        for (int32_t i = 0; i < mSet->GetCount(); ++i)
        {
            mSet->Get(i)->GetResource()->GetTextureAt(int64_t(random() % 2000) - 100);
            mSet->Get(i)->SetFrame(int32_t(random()));
        }
        mSet->Clear();
        // The body alone, from its version on.
        ChunkBytes body(std::vector<uint8_t>(bytes.begin() + std::min<size_t>(bytes.size(), 10), bytes.end()));
        WAnimatedTextureResource* resource = WAnimatedTextureResource::Create();
        resource->AddRef();
        resource->Load(body.Stream(), "ANIM_WAT");
        resource->SetTotalDuration(int64_t(random() % 1000));
        resource->GetTextureAt(int64_t(random() % 1000));
        resource->Release();
    }
    WTextureManager::Instance()->EndDictionary("ANIM_WAT");
}

TEST_F(AnimatedTextures, TextureLibraryEntriesAreCopiesEachHoldingItsTexture)
{
    Declare("F1_TEX", "textures\\f1.png");
    auto* first = static_cast<WTextureLibObject*>(HbResourceManager::Instance()->GetResource("F1_TEX"));
    ASSERT_NE(first, nullptr);
    first->AddRef();
    ASSERT_NE(first->GetTexture(), nullptr);
    EXPECT_EQ(first->GetName(), "F1_TEX");
    auto* copy = static_cast<WTextureLibObject*>(HbResourceManager::Instance()->GetResource("F1_TEX"));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, first);
    EXPECT_EQ(copy->GetTexture(), first->GetTexture());
    EXPECT_EQ(first->GetTexture()->refCount, 2);
    copy->Release();
    EXPECT_EQ(first->GetTexture()->refCount, 1);
    first->Release();
    Declare("NONE_TEX", "textures\\none.png");
    EXPECT_EQ(HbResourceManager::Instance()->GetResource("NONE_TEX"), nullptr);
}

// ---- UV-animation loading ----------------------------------------------------------------------

/// The plug-in's dictionary side, faked: a dictionary is a counter value.
struct FakeUV
{
    static inline int32_t reads = 0, destroys = 0, currentSets = 0;
    static inline void* current = nullptr;
    static inline std::set<Material*> animated;
    static inline std::vector<float> advanced;
    static inline intptr_t next = 0x100;

    static void Install()
    {
        reads = destroys = currentSets = 0;
        current = nullptr;
        animated.clear();
        advanced.clear();
        UVAnimDictionaryOps ops;
        ops.streamRead = [](Stream*, uint32_t) -> void*
        {
            ++reads;
            return reinterpret_cast<void*>(next += 0x10);
        };
        ops.setCurrent = [](void* dictionary)
        {
            ++currentSets;
            current = dictionary;
        };
        ops.destroy = [](void*) { ++destroys; };
        ops.hasUVAnim = [](Material* material) -> int32_t { return animated.count(material) ? 1 : 0; };
        ops.addTime = [](Material*, float seconds) { advanced.push_back(seconds); };
        UVAnimSetDictionaryOps(&ops);
    }
};

/// The bytes of a ".uva" file: an engine dictionary chunk (its body left empty) or another
/// chunk.
std::string UvaBytes(bool dictionary)
{
    std::vector<uint8_t> b;
    auto u32 = [&](uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(uint8_t(v >> (8 * i)));
    };
    u32(dictionary ? kUVAnimDictionaryChunk : 1);
    u32(0);
    u32(LibraryStamp::Encode(kLibraryVersion, kLibraryBuild));
    return Str(b);
}

using UVAnimations = AnimatedTextures;

TEST_F(UVAnimations, TheContainerGatesTheLoadAndTheLowerCaseNameIsTriedFirst)
{
    FakeUV::Install();
    Declare("ROCK_WO", "rock.dff");
    WriteFile("rock.uva", UvaBytes(true));
    WriteFile("rock.UVA", UvaBytes(false));
    EXPECT_EQ(LoadUVAnimations("ROCK_WO"), 0) << "no container";
    Container("ROCK_WO", nullptr, 0);
    EXPECT_EQ(LoadUVAnimations("ROCK_WO"), 0) << "no LOAD_UVA";
    Container("ROCK_WO", "LOAD_UVA", 0);
    EXPECT_EQ(LoadUVAnimations("ROCK_WO"), 0) << "LOAD_UVA false";
    EXPECT_EQ(FakeUV::reads, 0);
    Container("ROCK_WO", "LOAD_UVA", 1);
    ASSERT_EQ(LoadUVAnimations("ROCK_WO"), 1);
    EXPECT_EQ(FakeUV::reads, 1) << "rock.uva, which holds the dictionary";
    EXPECT_NE(UVAnimPendingDictionary(), nullptr);
    EXPECT_EQ(FakeUV::current, UVAnimPendingDictionary());
    UVAnimAbandonPending();
    EXPECT_EQ(FakeUV::current, nullptr);

    // Only an upper-case file, without a dictionary chunk: read, nothing changes.
    Declare("PEBBLE_WO", "pebble.dff");
    Container("PEBBLE_WO", "LOAD_UVA", 1);
    EXPECT_EQ(LoadUVAnimations("PEBBLE_WO"), 0) << "no file under either name";
    WriteFile("pebble.UVA", UvaBytes(false));
    const int32_t sets = FakeUV::currentSets;
    EXPECT_EQ(LoadUVAnimations("PEBBLE_WO"), 1);
    EXPECT_EQ(UVAnimPendingDictionary(), nullptr);
    EXPECT_EQ(FakeUV::currentSets, sets) << "the current dictionary is left alone";
    EXPECT_EQ(UVAnimDictionaryCount(), 1);
}

TEST_F(UVAnimations, AttachedMaterialsAreRecordedOnceAndAdvancedByTheFrameTime)
{
    FakeUV::Install();
    Declare("ROCK_WO", "rock.dff");
    Container("ROCK_WO", "LOAD_UVA", 1);
    WriteFile("rock.uva", UvaBytes(true));
    Clump* a = MakeClump({nullptr, nullptr});
    Clump* b = MakeClump({nullptr});
    const std::vector<Atomic*> atomicsA = Atomics(a), atomicsB = Atomics(b);
    Material* shared = atomicsA[0]->geometry->materials.materials[0];
    Material* plain = atomicsA[1]->geometry->materials.materials[0];
    // The second clump's geometry shares the first clump's animated material.
    Geometry::SetTriangleMaterial(atomicsB[0]->geometry, &atomicsB[0]->geometry->triangles[0], shared);
    FakeUV::animated = {shared};

    UVAnimAttachToClump(a);
    EXPECT_EQ(UVAnimRegistryCount(), 0) << "nothing is attached without a pending dictionary";
    ASSERT_EQ(LoadUVAnimations("ROCK_WO"), 1);
    UVAnimAttachToClump(a);
    EXPECT_EQ(UVAnimRegistryCount(), 1);
    EXPECT_EQ(UVAnimRegistryMaterial(0), shared);
    EXPECT_EQ(UVAnimPendingDictionary(), nullptr);
    EXPECT_EQ(FakeUV::current, nullptr);
    ASSERT_EQ(LoadUVAnimations("ROCK_WO"), 1);
    UVAnimAttachToClump(b);
    EXPECT_EQ(UVAnimRegistryCount(), 1) << "a shared material once";
    (void)plain;

    UVAnimUpdate(0.0f);
    EXPECT_TRUE(FakeUV::advanced.empty());
    UVAnimUpdate(0.25f);
    EXPECT_EQ(FakeUV::advanced, std::vector<float>{0.25f});

    EXPECT_EQ(UVAnimDictionaryCount(), 2);
    UVAnimClearAll();
    EXPECT_EQ(FakeUV::destroys, 2);
    EXPECT_EQ(UVAnimRegistryCount(), 0);
    Clump::Destroy(a);
    Clump::Destroy(b);
}

TEST_F(UVAnimations, AnObjectThatFailsToLoadLeavesNoDictionaryPending)
{
    FakeUV::Install();
    Declare("BROKEN_WO", "broken.dff");
    Container("BROKEN_WO", "LOAD_UVA", 1);
    WriteFile("broken.dff", "not a clump");
    WriteFile("broken.uva", UvaBytes(true));
    EXPECT_EQ(HbResourceManager::Instance()->GetResource("BROKEN_WO"), nullptr);
    EXPECT_EQ(FakeUV::reads, 1);
    EXPECT_EQ(UVAnimPendingDictionary(), nullptr);
    EXPECT_EQ(FakeUV::current, nullptr);

    // The plug-in's reader refuses a dictionary chunk with an empty body.
    UVAnimClearAll();
    UVAnimSetDictionaryOps(nullptr);
    EXPECT_EQ(LoadUVAnimations("BROKEN_WO"), 1);
    EXPECT_EQ(UVAnimDictionaryCount(), 0);
    EXPECT_EQ(UVAnimPendingDictionary(), nullptr);
}

/// A material extension playing the UV animation "wave" in slot 0, with the UV-transform effect
/// the animated matrices go to.
std::vector<uint8_t> WaveExtension()
{
    std::vector<uint8_t> slot = {1, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 'w', 'a', 'v', 'e'};
    const uint32_t stamp = LibraryStamp::Encode(kLibraryVersion, kLibraryBuild);
    for (int i = 0; i < 4; ++i)
        slot[8 + size_t(i)] = uint8_t(stamp >> (8 * i));
    slot.resize(12 + 36, 0);
    std::vector<uint8_t> extension = {uint8_t(UVAnim::kPluginId), uint8_t(UVAnim::kPluginId >> 8), 0, 0,
                                      uint8_t(slot.size()), 0, 0, 0};
    for (int i = 0; i < 4; ++i)
        extension.push_back(uint8_t(stamp >> (8 * i)));
    extension.insert(extension.end(), slot.begin(), slot.end());
    // The material's UV-transform effect is where the animated matrices go: kind 5, one
    // UV-transform slot and an empty one.
    const std::vector<uint8_t> effect = {5, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> effectHeader = {uint8_t(MatFx::kPluginId), uint8_t(MatFx::kPluginId >> 8), 0, 0,
                                               uint8_t(effect.size()), 0, 0, 0};
    extension.insert(extension.end(), effectHeader.begin(), effectHeader.end());
    for (int i = 0; i < 4; ++i)
        extension.push_back(uint8_t(stamp >> (8 * i)));
    extension.insert(extension.end(), effect.begin(), effect.end());
    return extension;
}

UVAnimDescription WaveAnimation()
{
    UVAnimDescription wave;
    wave.name = "wave";
    wave.keys = {{0, 0, {1, 0, 0, 1, 0, 0}}, {0, 1, {1, 0, 0, 1, 1, 0.5f}}};
    return wave;
}

TEST_F(UVAnimations, AnObjectsUvaFileAnimatesTheMaterialsThatNameItsAnimations)
{
    // A quad of two triangles: material 0 plays "wave" in slot 0, material 1 plays nothing.
    const std::vector<uint8_t> extension = WaveExtension();
    GeometryDescription g;
    g.format = kGeometryPositions;
    g.numVertices = 4;
    GeometryDescription::MorphTarget target;
    target.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0};
    target.sphere = {0.5f, 0.5f, 0, 1};
    g.targets = {target};
    g.triangles = {{0, 2, 1, 0}, {1, 2, 3, 1}};
    g.materials = {GeometryDescription::Material{}, GeometryDescription::Material{}};
    g.materials[0].extension = extension;
    g.listEntries = {0, 1};
    ClumpDescription c;
    c.frames = {ClumpDescription::Frame{}};
    c.geometries = {g};
    c.atomics = {ClumpDescription::Atomic{}};
    Declare("WAVE_WO", "wave.dff");
    Container("WAVE_WO", "LOAD_UVA", 1);
    WriteFile("wave.dff", Str(ClumpWriter::Write(c)));
    UVAnimDescription wave;
    wave.name = "wave";
    wave.keys = {{0, 0, {1, 0, 0, 1, 0, 0}}, {0, 1, {1, 0, 0, 1, 1, 0.5f}}};
    WriteFile("wave.uva", Str(UVAnimWriter::Dictionary({wave})));

    HbRoot* object = HbResourceManager::Instance()->GetResource("WAVE_WO");
    ASSERT_NE(object, nullptr);
    object->AddRef();
    mResources.push_back(object);
    EXPECT_EQ(UVAnim::GetCurrentDictionary(), nullptr) << "current only while the object was read";
    ASSERT_EQ(UVAnimRegistryCount(), 1);
    Material* animated = UVAnimRegistryMaterial(0);
    const Animation* played = UVAnimMaterial::GetExtension(animated)->interpolators[0]->animation;
    EXPECT_STREQ(UVAnimGetCustomData(played)->name, "wave");
    EXPECT_GE(UVAnim::GetRefCount(played), 2) << "the dictionary's and the slot's";
    UVAnimUpdate(0.5f);
    const Matrix* m = UVAnimMaterial::GetChannelMatrix(animated, 0);
    ASSERT_NE(m, nullptr);
    EXPECT_FLOAT_EQ(m->pos.x, 0.5f);
    EXPECT_FLOAT_EQ(m->pos.y, 0.25f);
    const MatFxEffectSlot* effectSlot = MatFx::FindSlot(MatFx::GetData(animated), kMatFxSlotUVTransform);
    ASSERT_NE(effectSlot, nullptr);
    EXPECT_EQ(effectSlot->uv.baseTransform, m) << "the drawn material takes the animated matrix";
}

TEST_F(UVAnimations, AWorldReleasedMidLevelLeavesItsAnimatedMaterialsSafeForTheNextFrames)
{
    // One quad whose material shows f0, plays "wave" and is bound to a three-frame list entry.
    WorldDescription d;
    d.format = kGeometryPositions;
    GeometryDescription::Material material;
    material.texture = "f0";
    material.extension = WaveExtension();
    d.materials = {material};
    d.listEntries = {0};
    WorldDescription::Leaf leaf;
    leaf.positions = {0, 0, 5, 1, 0, 5, 0, 1, 5, 1, 1, 5};
    leaf.triangles = {{0, 2, 1, 0}, {1, 2, 3, 0}};
    d.leaves = {leaf};
    Declare("YARD_WW", "yard.bsp");
    WriteFile("yard.bsp", Str(WorldWriter::Write(d)));
    WriteFile("yard.uva", Str(UVAnimWriter::Dictionary({WaveAnimation()})));
    WatListDescription list;
    list.entries.push_back({false, "flag", 1, Frames100To300(1)});
    WriteFile("yard.wat", Str(WatWriter::WriteList(list)));
    HbDataManager::Create();
    HbDataManager::BeginContainer("YARD_WW");
    HbDataManager::Current()->SetInteger("LOAD_UVA", 1);
    HbDataManager::Current()->SetInteger("LOAD_WAT", 1);
    HbDataManager::EndContainer();

    HbRoot* world = HbResourceManager::Instance()->GetResource("YARD_WW");
    ASSERT_NE(world, nullptr);
    world->AddRef();
    ASSERT_EQ(UVAnimRegistryCount(), 1);
    ASSERT_EQ(mSet->GetCount(), 1);
    world->Release(); // the world and its materials go while the level plays on

    // The next frames still advance both: the registries keep what they animate.
    HbGameClock::Instance()->mGameTime = 150;
    UVAnimUpdate(0.5f);
    mSet->Tick();
    Material* animated = UVAnimRegistryMaterial(0);
    ASSERT_NE(animated, nullptr);
    const Matrix* m = UVAnimMaterial::GetChannelMatrix(animated, 0);
    ASSERT_NE(m, nullptr);
    EXPECT_FLOAT_EQ(m->pos.x, 0.5f);
    Material* flagged = mSet->Find("flag")->GetMaterial();
    ASSERT_NE(flagged->texture, nullptr);
    EXPECT_STREQ(flagged->texture->name, "f1");
    mSet->Clear();
}

TEST_F(UVAnimations, MutatedUvaFilesAreReadSafely)
{
    Declare("ROCK_WO", "rock.dff");
    Container("ROCK_WO", "LOAD_UVA", 1);
    UVAnimDescription wave;
    wave.name = "wave";
    wave.keys = {{0, 0, {1, 0, 0, 1, 0, 0}}, {0, 1, {1, 0, 0, 1, 1, 0.5f}}};
    std::string base = UvaBytes(false) + Str(UVAnimWriter::Dictionary({wave})) + std::string(16, '\x7f');
    std::mt19937 random(45);
    for (int32_t round = 0; round < 300; ++round)
    {
        std::string bytes = base;
        for (int32_t c = 1 + int32_t(random() % 3); c > 0; --c)
            bytes[random() % bytes.size()] = char(random());
        if (random() % 5 == 0)
            bytes.resize(random() % bytes.size());
        WriteFile("rock.uva", bytes);
        EXPECT_EQ(LoadUVAnimations("ROCK_WO"), 1);
    }
}

} // namespace
} // namespace renderertest
