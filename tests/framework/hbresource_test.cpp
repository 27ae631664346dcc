// Tests of the resource manager: type keys, loading through resource streams
// from the disk and from pack archives, shared objects and clones, the weak
// cache, declared paths, factory identifiers, and what failures leave behind.
#include "hbengine_fixture.h"
#include "hbfile_fixture.h"
#include "hbresource.h"
#include "hbsavefile.h"
#include "hbstream.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using hbtest::NullEngine;
using hbtest::PackSetTest;
using hbtest::WriteBytes;
using hbtest::WritePack;

constexpr uint32_t kSampleChunk = 0x5E5E;

/// A resource whose file is one framework chunk holding an int32 and a
/// string. Prototypes of type RTST are cloned; those of SRTST are shared.
class Sample : public HbRoot
{
public:
    explicit Sample(bool shared) : mShared(shared) { ++sMade; }
    ~Sample() override { ++sDestroyed; }

    int Load(HbStream* stream, const char* name) override
    {
        ++sLoads;
        HbResourceStream* resource = HbResourceStream::From(stream);
        if (!resource || !resource->FindChunk(kSampleChunk, 0, 0))
            return 0;
        int ok = resource->ReadInt32(number) && HbReadCString(resource, text);
        resource->LeaveChunk();
        loadedAs = name;
        return ok;
    }
    int CloneInto(HbRoot** target) override
    {
        if (sFailClone)
            return 0;
        auto* copy = static_cast<Sample*>(*target);
        copy->number = number;
        copy->text = text;
        return 1;
    }
    int IsShared() const override { return mShared ? 1 : 0; }

    int32_t number = 0;
    std::string text;
    std::string loadedAs;

    static inline int sMade = 0;
    static inline int sDestroyed = 0;
    static inline int sLoads = 0;
    static inline bool sFailClone = false;
    static inline bool sFailCreate = false;

private:
    bool mShared;
};

HbRoot* CreateCloned()
{
    return Sample::sFailCreate ? nullptr : new Sample(false);
}

HbRoot* CreateShared()
{
    return new Sample(true);
}

/// The file bytes of a sample: its chunk written by the framework's own writer.
std::string SampleFile(int32_t number, const char* text)
{
    HbMemoryStreamBuf* buffer = new HbMemoryStreamBuf(256);
    EXPECT_EQ(buffer->Open(), 1);
    HbMChunkStream stream(buffer);
    stream.BeginChunk(kSampleChunk, 0, 0, 1);
    stream.WriteInt32(number);
    HbWriteCStringToStream(&stream, text);
    uint32_t size = stream.EndChunk();
    return std::string(reinterpret_cast<const char*>(buffer->GetData()), kHbChunkHeaderSize + size);
}

class ResourceManagerTest : public PackSetTest
{
protected:
    void SetUp() override
    {
        PackSetTest::SetUp();
        ASSERT_TRUE(mEngine.Started());
        Manager().RegisterType("RTST", CreateCloned);
        Manager().RegisterType("SRTST", CreateShared);
        Sample::sMade = Sample::sDestroyed = Sample::sLoads = 0;
        Sample::sFailClone = Sample::sFailCreate = false;
    }
    void TearDown() override
    {
        // Forget what the test declared, so that tests do not see each other.
        for (const std::string& id : mDeclared)
            while (Manager().GetPathCount(id.c_str()) > 0)
                Manager().RemovePath(id.c_str());
        PackSetTest::TearDown();
    }

    static HbResourceManager& Manager() { return *HbResourceManager::Instance(); }

    /// Writes a sample file and declares it for the identifier.
    std::string Declare(const char* id, const char* file, int32_t number, const char* text = "t")
    {
        std::string path = mDir / file;
        WriteBytes(path, SampleFile(number, text));
        Manager().AddPath(id, path.c_str());
        mDeclared.push_back(id);
        return path;
    }

    NullEngine mEngine;
    std::vector<std::string> mDeclared;
};

// ---- Type keys --------------------------------------------------------------------------------

TEST(HbResourceManager, TypeKeyIsTheTextAfterTheLastInnerUnderscore)
{
    struct Case
    {
        const char* id;
        const char* key; ///< null: none
    } cases[] = {
        {"FE_LOADING_SCREEN_TEX", "TEX"},
        {"SD_H_HIT_S3DSB", "S3DSB"},
        {"A_B_", "B_"},
        {"_TEX", "TEX"},
        {"NOKEY", nullptr},
        {"NOKEY_", nullptr},
        {"_", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases)
    {
        const char* key = HbResourceManager::GetTypeKey(c.id);
        if (c.key)
            EXPECT_STREQ(key, c.key) << c.id;
        else
            EXPECT_EQ(key, nullptr) << c.id;
    }
    EXPECT_EQ(HbResourceManager::GetTypeKey(nullptr), nullptr);
}

// ---- Loading and the cache -----------------------------------------------------------------------

TEST_F(ResourceManagerTest, ClonesForEachCallerOfACachedPrototype)
{
    Declare("R_ONE_RTST", "one.bin", 41, "hello");
    auto* first = static_cast<Sample*>(Manager().GetResource("R_ONE_RTST"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->number, 41);
    EXPECT_EQ(first->text, "hello");
    EXPECT_EQ(first->loadedAs, "R_ONE_RTST");
    EXPECT_EQ(first->GetStatus(), kHbStatusReady);
    EXPECT_EQ(Sample::sLoads, 1);
    first->AddRef(); // the owner of the prototype, as a resource group

    auto* a = static_cast<Sample*>(Manager().GetResource("R_ONE_RTST"));
    auto* b = static_cast<Sample*>(Manager().GetResource("R_ONE_RTST"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_NE(a, first);
    EXPECT_EQ(a->number, 41);
    EXPECT_EQ(b->text, "hello");
    EXPECT_EQ(a->GetStatus(), kHbStatusReady);
    EXPECT_EQ(Sample::sLoads, 1) << "clones read no file";
    EXPECT_EQ(Manager().FindRecord("R_ONE_RTST")->object.GetObject(), first);

    Sample::sFailClone = true;
    int destroyed = Sample::sDestroyed;
    EXPECT_EQ(Manager().GetResource("R_ONE_RTST"), nullptr);
    EXPECT_EQ(Sample::sDestroyed, destroyed + 1) << "the failed clone is destroyed";

    delete a;
    delete b;
    first->Release();
}

TEST_F(ResourceManagerTest, SharedObjectIsHandedOutItself)
{
    Declare("R_TWO_SRTST", "two.bin", 7);
    HbRoot* first = Manager().GetResource("R_TWO_SRTST");
    ASSERT_NE(first, nullptr);
    first->AddRef();
    EXPECT_EQ(Manager().GetResource("R_TWO_SRTST"), first);
    EXPECT_EQ(Sample::sMade, 1);
    first->Release();
}

TEST_F(ResourceManagerTest, DestroyedCacheIsLoadedAgain)
{
    Declare("R_THREE_SRTST", "three.bin", 3);
    HbRoot* first = Manager().GetResource("R_THREE_SRTST");
    ASSERT_NE(first, nullptr);
    first->AddRef();
    first->Release();
    HbRoot* again = Manager().GetResource("R_THREE_SRTST");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Sample::sLoads, 2);
    EXPECT_EQ(static_cast<Sample*>(again)->number, 3);
    delete again;
}

// Objects come out at count 0, owned by the caller: its one Release deletes them,
// whatever kind they are. A leak here also fails the run under LeakSanitizer.
TEST_F(ResourceManagerTest, ACallerReleasesWhatItGotAndNothingIsLeft)
{
    Declare("R_OWN_RTST", "own.bin", 5);
    Declare("R_OWN_SRTST", "ownshared.bin", 6);
    HbRoot* prototype = Manager().GetResource("R_OWN_RTST");
    ASSERT_NE(prototype, nullptr);
    HbRoot* clone = Manager().GetResource("R_OWN_RTST");
    HbRoot* made = Manager().GetResource("_OWN_RTST");
    HbRoot* shared = Manager().GetResource("R_OWN_SRTST");
    ASSERT_NE(clone, nullptr);
    ASSERT_NE(made, nullptr);
    ASSERT_NE(shared, nullptr);
    for (HbRoot* object : {clone, made, shared, prototype})
    {
        EXPECT_EQ(object->GetRefCount(), 0);
        int destroyed = Sample::sDestroyed;
        EXPECT_EQ(object->Release(), 0);
        EXPECT_EQ(Sample::sDestroyed, destroyed + 1);
    }
    EXPECT_EQ(Manager().FindRecord("R_OWN_SRTST")->object.IsValid(), 0) << "the cache forgets it";
    EXPECT_EQ(Manager().FindRecord("R_OWN_RTST")->object.IsValid(), 0);
}

TEST_F(ResourceManagerTest, LoadsFromAMountedPackArchive)
{
    std::string pack = mDir / "group.pak";
    ASSERT_TRUE(WritePack(pack, {{"data\\inpack.bin", SampleFile(99, "packed")}}));
    EnablePacks(0);
    ASSERT_EQ(Set().Mount(pack.c_str()), 1);
    Manager().AddPath("R_PACK_SRTST", "data\\inpack.bin");
    mDeclared.push_back("R_PACK_SRTST");
    auto* sample = static_cast<Sample*>(Manager().GetResource("R_PACK_SRTST"));
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(sample->number, 99);
    EXPECT_EQ(sample->text, "packed");
    delete sample;
}

TEST_F(ResourceManagerTest, LaterDeclarationsHideEarlierOnes)
{
    Declare("R_LVL_SRTST", "shared.bin", 1);
    Declare("R_LVL_SRTST", "level.bin", 2);
    EXPECT_EQ(Manager().GetPathCount("R_LVL_SRTST"), 2);
    EXPECT_EQ(std::string(Manager().GetPath("R_LVL_SRTST")), mDir / "level.bin");

    auto* level = static_cast<Sample*>(Manager().GetResource("R_LVL_SRTST"));
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->number, 2);
    delete level;

    Manager().RemovePath("R_LVL_SRTST");
    EXPECT_EQ(Manager().FindRecord("R_LVL_SRTST"), nullptr) << "its object is dead";
    EXPECT_EQ(std::string(Manager().GetPath("R_LVL_SRTST")), mDir / "shared.bin");
    auto* shared = static_cast<Sample*>(Manager().GetResource("R_LVL_SRTST"));
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->number, 1);

    // A record whose object lives is kept.
    Manager().RemovePath("R_LVL_SRTST");
    EXPECT_EQ(Manager().FindRecord("R_LVL_SRTST")->object.GetObject(), shared);
    EXPECT_STREQ(Manager().GetPath("R_LVL_SRTST"), "");
    EXPECT_EQ(Manager().GetPathCount("R_LVL_SRTST"), 0);
    delete shared;
}

TEST_F(ResourceManagerTest, FactoryIdentifiersMakeFreshObjectsWithoutRecords)
{
    int32_t records = Manager().GetRecordCount();
    HbRoot* a = Manager().GetResource("_X_RTST");
    HbRoot* b = Manager().GetResource("_X_RTST");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->GetStatus(), kHbStatusReady);
    EXPECT_EQ(Sample::sLoads, 0);
    EXPECT_EQ(Manager().GetRecordCount(), records);
    delete a;
    delete b;
}

TEST_F(ResourceManagerTest, FailuresLeaveNoRecordBehind)
{
    WriteBytes(mDir / "empty.bin", "");
    Manager().AddPath("R_BAD_RTST", (mDir / "empty.bin").c_str());
    Manager().AddPath("R_GONE_RTST", (mDir / "missing.bin").c_str());
    mDeclared = {"R_BAD_RTST", "R_GONE_RTST"};
    int32_t records = Manager().GetRecordCount();

    struct Case
    {
        const char* id;
        const char* why;
    } cases[] = {
        {"", "empty identifier"},
        {"NOKEY", "no type key"},
        {"R_X_UNKNOWNKEY", "type not registered"},
        {"R_NOPATH_RTST", "no declared path"},
        {"R_GONE_RTST", "file does not open"},
        {"R_BAD_RTST", "Load fails"},
    };
    for (const Case& c : cases)
    {
        int made = Sample::sMade;
        int destroyed = Sample::sDestroyed;
        EXPECT_EQ(Manager().GetResource(c.id), nullptr) << c.why;
        EXPECT_EQ(Manager().FindRecord(c.id), nullptr) << c.why;
        EXPECT_EQ(Sample::sMade - made, Sample::sDestroyed - destroyed) << c.why << ": every object made is gone";
    }
    EXPECT_EQ(Sample::sLoads, 1);
    EXPECT_EQ(Manager().GetRecordCount(), records);

    // Only a create function that fails leaves its record (with the function).
    Sample::sFailCreate = true;
    EXPECT_EQ(Manager().GetResource("R_NULL_RTST"), nullptr);
    ASSERT_NE(Manager().FindRecord("R_NULL_RTST"), nullptr);
    EXPECT_EQ(Manager().FindRecord("R_NULL_RTST")->create, &CreateCloned);
    Manager().RemovePath("R_NULL_RTST");
    EXPECT_EQ(Manager().FindRecord("R_NULL_RTST"), nullptr);
}

TEST_F(ResourceManagerTest, RegisteringAKeyAgainReplacesItsFunction)
{
    Manager().RegisterType("RTST", CreateShared);
    HbRoot* object = Manager().GetResource("_Y_RTST");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->IsShared(), 1);
    delete object;
    EXPECT_EQ(Manager().FindType("RTST"), &CreateShared);
}

TEST(HbResourceManager, ResourceStreamNeedsAStartedEngine)
{
    hbtest::TempDir dir;
    WriteBytes(dir / "x.bin", "abc");
    HbResourceStream stream;
    EXPECT_EQ(stream.Open((dir / "x.bin").c_str(), "rb"), 0);
    EXPECT_EQ(stream.GetFile(), nullptr) << "nothing stays open";
    EXPECT_EQ(stream.GetEngineStream(), nullptr);
}

} // namespace
