// Light nodes (the four kinds, shared copies, placement, joining the level's world) and light
// fields (packing, loading and its refusals, trilinear sampling, per-node lighting).
#include "frame.h"
#include "hbresource.h"
#include "levelwriter.h"
#include "light.h"
#include "scene_fixture.h"
#include "stream.h"
#include "w3dlevel.h"
#include "w3dlight.h"
#include "wlightfield.h"
#include "world.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace renderertest
{
namespace
{
/// The light field read from the bytes through an engine memory stream; null when refused.
WLightFieldManager* ReadField(const std::vector<uint8_t>& bytes)
{
    MemoryBlock block{const_cast<uint8_t*>(bytes.data()), uint32_t(bytes.size())};
    Stream* in = Stream::Open(kStreamMemory, kStreamRead, &block);
    if (!in)
        return nullptr;
    WLightFieldManager* field = WLightFieldManager::Create();
    field->AddRef();
    const int32_t loaded = field->LoadFromEngineStream(in);
    Stream::Close(in, nullptr);
    if (!loaded)
    {
        EXPECT_FALSE(field->HasSamples());
        field->Release();
        return nullptr;
    }
    return field;
}

/// Two grid points along x, 100 apart: the first lit along x with ambient 0.2, the second
/// along y with ambient 0.6.
LightFieldDescription TwoPoints()
{
    LightFieldDescription d;
    d.min = {0, 0, 0};
    d.max = {100, 0, 0};
    d.step = 100;
    d.records = {{1, 0, 0, 0.5f, 0.5f, 0.5f, 0.2f, 0.2f, 0.2f}, {0, 1, 0, 0.9f, 0.9f, 0.9f, 0.6f, 0.6f, 0.6f}};
    return d;
}

constexpr uint8_t kRed[3] = {200, 0, 0};

using LightNodes = SceneTest;

TEST_F(LightNodes, EachFactoryMakesItsEngineLightLightingAtomicsOnlyOnAFrameOfItsOwn)
{
    const struct
    {
        const char* key;
        int32_t type;
        float radius;
    } kinds[] = {{"W3DDIRECTIONALLIGHT", 1, 0.0f},
                 {"W3DAMBIENTLIGHT", 2, 0.0f},
                 {"W3DPOINTLIGHT", 128, 1000000.0f},
                 {"W3DSPOTLIGHT", 130, 0.0f}};
    for (const auto& kind : kinds)
    {
        ASSERT_NE(HbResourceManager::Instance()->FindType(kind.key), nullptr) << kind.key;
        HbRoot* made = HbResourceManager::Instance()->FindType(kind.key)();
        auto* light = HbCastTo<W3dLight>(made);
        ASSERT_NE(light, nullptr) << kind.key;
        ASSERT_NE(light->GetLight(), nullptr);
        EXPECT_EQ(Light::GetType(light->GetLight()), kind.type) << kind.key;
        EXPECT_EQ(light->GetLight()->object.flags, kLightLightsAtomics) << kind.key;
        EXPECT_EQ(light->GetLight()->radius, kind.radius) << kind.key;
        ASSERT_NE(light->GetEngineFrame(), nullptr);
        EXPECT_EQ(light->GetLight()->object.frame, light->GetEngineFrame());
        EXPECT_EQ(light->GetTypeKey(), kind.key);
        EXPECT_EQ(light->GetBoundingSphere()->radius, 100.0f);
        light->Release();
    }
    EXPECT_EQ(W3dLight::CreateOfKey("W3DSUNLIGHT"), nullptr);
}

TEST_F(LightNodes, CopiesShareTheLightWhichOutlivesTheFirstNode)
{
    W3dLight* first = W3dLight::CreateOfKey("W3DPOINTLIGHT");
    HbRoot* second = W3dLight::CreateOfKey("W3DPOINTLIGHT");
    first->AddRef();
    second->AddRef();
    ASSERT_EQ(first->CloneInto(&second), 1);
    auto* copy = static_cast<W3dLight*>(second);
    EXPECT_EQ(copy->GetLight(), first->GetLight());
    EXPECT_EQ(copy->GetEngineFrame(), first->GetEngineFrame());
    first->Release();
    // The light lives on with its last user (the sanitizers see a use after free otherwise).
    const float red[4] = {1, 0, 0, 1};
    copy->SetColor(red);
    EXPECT_EQ(copy->GetLight()->colour.green, 0.0f);
    copy->Release();
}

TEST_F(LightNodes, APlacementKeepsTheAtRowAndRebuildsAnOrthonormalFrame)
{
    W3dLight* light = W3dLight::CreateOfKey("W3DDIRECTIONALLIGHT");
    light->AddRef();
    LevelDescription::Light entry;
    entry.colour = {0.25f, 0.5f, 0.75f, 1.0f};
    entry.matrix = {5, 0, 0, 0, 7, 0, 0, -2, 0, 10, 20, 30}; // a scaled frame looking down
    std::vector<uint8_t> bytes;
    for (float v : entry.colour)
        bytes.insert(bytes.end(), reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 4);
    for (float v : entry.matrix)
        bytes.insert(bytes.end(), reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 4);
    ChunkBytes memory(bytes);
    ASSERT_EQ(light->ReadChunks(memory.Stream()), 1);
    EXPECT_EQ(light->GetLight()->colour.blue, 0.75f);
    const Matrix& m = light->GetEngineFrame()->modelling;
    EXPECT_NEAR(m.at.y, -1.0f, 1e-5f);
    EXPECT_NEAR(m.right.x * m.right.x + m.right.y * m.right.y + m.right.z * m.right.z, 1.0f, 1e-4f);
    EXPECT_NEAR(m.right.x * m.at.x + m.right.y * m.at.y + m.right.z * m.at.z, 0.0f, 1e-4f);
    EXPECT_NEAR(m.up.x * m.at.x + m.up.y * m.at.y + m.up.z * m.at.z, 0.0f, 1e-4f);
    EXPECT_EQ(m.pos.z, 30.0f);
    ChunkBytes shortData(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 40));
    EXPECT_EQ(light->ReadChunks(shortData.Stream()), 0) << "a placement cut short is refused";
    light->Release();
}

TEST_F(LightNodes, ALightUnderTheSceneRootJoinsAndLeavesTheLevelsMainWorld)
{
    World* world = ReadWorldChunk(WallWorldBytes(10.0f, kRed));
    ASSERT_NE(world, nullptr);
    W3dLevel* level = W3dLevel::Create();
    level->AddRef();
    level->SetMainWorld(world);
    auto* scene = new WScene();
    scene->SetLevel(level);
    W3dLight* light = W3dLight::CreateOfKey("W3DPOINTLIGHT");
    scene->GetRoot()->AttachChild(light);
    EXPECT_EQ(Light::GetWorld(light->GetLight()), world);
    light->AddRef();
    scene->GetRoot()->RemoveChild(light);
    EXPECT_EQ(Light::GetWorld(light->GetLight()), nullptr);
    light->Release();
    delete scene;
    level->Release();
    World::Destroy(world);
}

using LightFields = SceneTest;

TEST_F(LightFields, ComponentsPackToTenBitsWithinTheirRanges)
{
    const struct
    {
        float value;
        uint32_t direction, colour;
    } cases[] = {{1.0f, 1023, 1023}, {-1.0f, 0, 512}, {1.7f, 1023, 1023}, {-0.4f, 307, 512},
                 {0.0f, 512, 512},   {-3.0f, 0, 512}, {0.5f, 768, 768}};
    for (const auto& c : cases)
    {
        EXPECT_EQ(WLightFieldManager::PackDirection(c.value), c.direction) << c.value;
        EXPECT_EQ(WLightFieldManager::PackColor(c.value), c.colour) << c.value;
    }
    EXPECT_FLOAT_EQ(WLightFieldManager::Decode(1023), 1.0f);
    EXPECT_FLOAT_EQ(WLightFieldManager::Decode(512), 0.0f);
    EXPECT_NEAR(WLightFieldManager::Decode(0), -1.002f, 1e-3f);
}

TEST_F(LightFields, AGridIsCheckedAgainstItsChunkBeforeAnythingIsAllocated)
{
    const std::vector<uint8_t> good = LightFieldWriter::Write(TwoPoints());
    WLightFieldManager* field = ReadField(good);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->GetCount(0), 2);
    EXPECT_EQ(field->GetCount(1), 1);
    ASSERT_NE(field->GetAmbientLight(), nullptr);
    ASSERT_NE(field->GetDirectionalLight(), nullptr);
    EXPECT_EQ(field->GetAmbientLight()->GetLight()->object.flags, kLightLightsAtomics);
    field->Release();

    // A wide stride and a skip are honoured.
    LightFieldDescription padded = TwoPoints();
    padded.stride = 64;
    padded.skip = 8;
    field = ReadField(LightFieldWriter::Write(padded));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->GetPacked(1, 0, 0)[0], (512u << 20) | (1023u << 10) | 512u);
    field->Release();

    const struct
    {
        const char* name;
        void (*change)(LightFieldDescription&);
    } refusals[] = {
        {"step 0", [](LightFieldDescription& d) { d.step = 0; }},
        {"negative step", [](LightFieldDescription& d) { d.step = -100; }},
        {"min above max", [](LightFieldDescription& d) { d.min[0] = 200; }},
        {"span not whole cells", [](LightFieldDescription& d) { d.max[0] = 150; }},
        {"stride below 48", [](LightFieldDescription& d) { d.stride = 40; }},
        {"wrong magic", [](LightFieldDescription& d) { d.magic = "LSD\x1B"; }},
        {"a 10^4-cube grid in the chunk of two records",
         [](LightFieldDescription& d)
         {
             d.max = {9999, 9999, 9999};
             d.step = 1;
         }},
        {"a grid of extreme bounds",
         [](LightFieldDescription& d)
         {
             d.min = {INT32_MIN, INT32_MIN, INT32_MIN};
             d.max = {INT32_MAX, INT32_MAX, INT32_MAX};
         }},
        {"a third record missing", [](LightFieldDescription& d) { d.max[1] = 100; }},
    };
    for (const auto& r : refusals)
    {
        LightFieldDescription d = TwoPoints();
        r.change(d);
        EXPECT_EQ(ReadField(LightFieldWriter::Write(d)), nullptr) << r.name;
    }
    std::vector<uint8_t> skipPast = LightFieldWriter::Write(TwoPoints());
    const uint32_t hugeSkip = 0x7FFFFFF0u;
    std::memcpy(skipPast.data() + 12 + 44, &hugeSkip, 4);
    EXPECT_EQ(ReadField(skipPast), nullptr) << "a skip past the chunk";
}

/// Bytes behind an engine callback stream that tells its length and records the largest read.
struct ShortFile
{
    std::vector<uint8_t> bytes;
    size_t position = 0;
    uint32_t largestRead = 0;

    static uint32_t Read(void* data, void* buffer, uint32_t length)
    {
        auto* f = static_cast<ShortFile*>(data);
        f->largestRead = std::max(f->largestRead, length);
        const size_t n = std::min(size_t(length), f->bytes.size() - f->position);
        std::memcpy(buffer, f->bytes.data() + f->position, n);
        f->position += n;
        return uint32_t(n);
    }
    static int32_t Skip(void* data, uint32_t length)
    {
        auto* f = static_cast<ShortFile*>(data);
        if (length > f->bytes.size() - f->position)
            return 0;
        f->position += length;
        return 1;
    }
    static int64_t Remaining(void* data)
    {
        auto* f = static_cast<ShortFile*>(data);
        return int64_t(f->bytes.size() - f->position);
    }
};

TEST_F(LightFields, AGridPastWhatTheStreamHoldsIsRefusedBeforeItsRecordsAreRead)
{
    // Two records on the stream, but a chunk that claims 256 MB and a grid of a million points
    // that would fit it.
    LightFieldDescription d = TwoPoints();
    d.max = {100 * 999999, 0, 0};
    ShortFile file;
    file.bytes = LightFieldWriter::Write(d);
    const uint32_t claimed = 1u << 28;
    std::memcpy(file.bytes.data() + 4, &claimed, 4);
    StreamCallbacks callbacks{nullptr, ShortFile::Read, nullptr, ShortFile::Skip, &file, ShortFile::Remaining};
    Stream* in = Stream::Open(kStreamCustom, kStreamRead, &callbacks);
    ASSERT_NE(in, nullptr);
    WLightFieldManager* field = WLightFieldManager::Create();
    field->AddRef();
    EXPECT_EQ(field->LoadFromEngineStream(in), 0);
    EXPECT_LE(file.largestRead, 64u) << "only the chunk and grid headers were read";
    EXPECT_FALSE(field->HasSamples());
    field->Release();
    Stream::Close(in, nullptr);
}

TEST_F(LightFields, SamplesBlendTheirEightNeighboursByDistanceAndClampToTheGrid)
{
    WLightFieldManager* field = ReadField(LightFieldWriter::Write(TwoPoints()));
    ASSERT_NE(field, nullptr);
    const float a0 = WLightFieldManager::Decode(WLightFieldManager::PackColor(0.2f));
    const float a1 = WLightFieldManager::Decode(WLightFieldManager::PackColor(0.6f));
    const float d0 = WLightFieldManager::Decode(WLightFieldManager::PackColor(0.5f));
    const float d1 = WLightFieldManager::Decode(WLightFieldManager::PackColor(0.9f));

    // 25 units past the first point: three quarters of it, one quarter of the second.
    WLightFieldManager::Sample s = field->SampleAt({25, 0, 0});
    EXPECT_NEAR(s.ambientColor[0], 0.75f * a0 + 0.25f * a1, 1e-5f);
    EXPECT_NEAR(s.directionalColor[1], 0.75f * d0 + 0.25f * d1, 1e-5f);
    EXPECT_EQ(s.ambientColor[3], 1.0f);
    EXPECT_EQ(s.directionalColor[3], 1.0f);
    const float length = std::sqrt(0.75f * 0.75f + 0.25f * 0.25f);
    EXPECT_NEAR(s.direction.x, 0.75f / length, 2e-3f);
    EXPECT_NEAR(s.direction.y, 0.25f / length, 2e-3f);

    // Outside the grid: the nearest point inside (x clamps to max - 1).
    s = field->SampleAt({-500, 40, -7});
    EXPECT_NEAR(s.ambientColor[0], a0, 1e-5f);
    s = field->SampleAt({1e6f, -1e6f, 1e6f});
    EXPECT_NEAR(s.ambientColor[0], 0.01f * a0 + 0.99f * a1, 1e-5f);
    field->Release();

    // A record without a direction is lit from (0, 0.999, 0.05) with no directional colour.
    LightFieldDescription dark;
    dark.records = {{0, 0, 0, 0.8f, 0.8f, 0.8f, 0.3f, 0.3f, 0.3f}};
    field = ReadField(LightFieldWriter::Write(dark));
    ASSERT_NE(field, nullptr);
    const uint32_t* packed = field->GetPacked(0, 0, 0);
    EXPECT_EQ(packed[0], (WLightFieldManager::PackDirection(0.0f) << 20) |
                             (WLightFieldManager::PackDirection(0.999f) << 10) |
                             WLightFieldManager::PackDirection(0.05f));
    EXPECT_EQ(packed[1], (512u << 20) | (512u << 10) | 512u);
    s = field->SampleAt({0, 0, 0});
    EXPECT_GT(s.direction.y, 0.99f);
    EXPECT_GT(s.direction.z, 0.04f);
    EXPECT_EQ(s.directionalColor[0], 0.0f);
    EXPECT_NEAR(s.ambientColor[2], WLightFieldManager::Decode(WLightFieldManager::PackColor(0.3f)), 1e-6f);
    EXPECT_NEAR(field->GetMaxAmbientLuminance(), 0.3f, 1e-5f);
    field->Release();
}

/// A scene whose level takes the two-point light field as a resource, and nodes to light.
class FieldLighting : public SceneTest
{
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        const std::vector<uint8_t> bytes = LightFieldWriter::Write(TwoPoints());
        WriteFile("grid.lf", std::string(bytes.begin(), bytes.end()));
        HbResourceManager::Instance()->AddPath("GRID_LF", "grid.lf");
        mLevel = W3dLevel::Create();
        mLevel->AddRef();
        mScene = new WScene();
        mScene->SetLevel(mLevel);
        mLevel->SetLightField("GRID_LF", mScene);
        ASSERT_NE(mLevel->GetLightField(), nullptr);
    }

    void TearDown() override
    {
        delete mScene;
        mLevel->Release();
        HbResourceManager::Instance()->RemovePath("GRID_LF");
        SceneTest::TearDown();
    }

    W3dLevel* mLevel = nullptr;
    WScene* mScene = nullptr;
};

TEST_F(FieldLighting, ANodeSamplesOncePerFrameAndItsChildrenTakeItsLighting)
{
    WLightFieldManager* field = mLevel->GetLightField();
    EXPECT_EQ(field->GetAmbientLight()->GetParent(), mScene->GetRoot()) << "the field's lights hang under the root";
    W3dFrame* parent = W3dFrame::Create();
    W3dFrame* child = W3dFrame::Create();
    parent->SetFlags(parent->GetFlags() | W3dNode::kLitByField);
    mScene->GetRoot()->AttachChild(parent);
    parent->AttachChild(child);
    const Vector at = {25, 0, 0};
    Frame::Translate(parent->GetEngineFrame(), &at, kCombineReplace);

    const int64_t before = field->GetSampleCount();
    parent->UpdateLighting(7);
    parent->UpdateLighting(7); // a second atomic of the node in the same frame
    EXPECT_EQ(field->GetSampleCount(), before + 1);
    const float expected = 0.75f * WLightFieldManager::Decode(WLightFieldManager::PackColor(0.2f)) +
                           0.25f * WLightFieldManager::Decode(WLightFieldManager::PackColor(0.6f));
    EXPECT_NEAR(parent->GetLightAmbientColor()[0], expected, 1e-5f);
    EXPECT_NEAR(field->GetAmbientLight()->GetLight()->colour.red, expected, 1e-5f);
    const Vector& sun = field->GetDirectionalLight()->GetEngineFrame()->modelling.at;
    EXPECT_NEAR(sun.x, parent->GetLightDirection().x, 1e-6f) << "the directional light looks along the sample";

    // Another node's sample in between: the parent's own lighting is loaded again.
    const float other[4] = {0.9f, 0.9f, 0.9f, 1.0f};
    field->Apply({0, 1, 0}, other, other);
    parent->UpdateLighting(7);
    EXPECT_NEAR(field->GetAmbientLight()->GetLight()->colour.red, expected, 1e-5f);

    child->UpdateLighting(7);
    EXPECT_EQ(field->GetSampleCount(), before + 1) << "the child takes its parent's lighting";
    EXPECT_EQ(child->GetLightAmbientColor()[0], parent->GetLightAmbientColor()[0]);
    EXPECT_EQ(child->GetLightDirection().y, parent->GetLightDirection().y);

    parent->UpdateLighting(8);
    EXPECT_EQ(field->GetSampleCount(), before + 2) << "the next frame samples again";
    mScene->GetRoot()->RemoveChild(parent);
}

TEST_F(LightFields, MutatedLightFieldsAreReadSafely)
{
    LightFieldDescription d = TwoPoints();
    d.max = {100, 100, 0};
    d.records.push_back({0, 0, 1, 1, 1, 1, 1, 1, 1});
    d.records.push_back({0, 0, -1, 0, 0, 0, 0, 0, 0});
    const std::vector<uint8_t> base = LightFieldWriter::Write(d);
    std::mt19937 random(45);
    int32_t loaded = 0;
    for (int32_t round = 0; round < 3000; ++round)
    {
        std::vector<uint8_t> bytes = base;
        const int32_t changes = 1 + int32_t(random() % 4);
        for (int32_t c = 0; c < changes; ++c)
            bytes[random() % bytes.size()] = uint8_t(random());
        if (random() % 8 == 0)
            bytes.resize(random() % bytes.size());
        if (WLightFieldManager* field = ReadField(bytes))
        {
            ++loaded;
            field->SampleAt({float(int32_t(random() % 400) - 200), 50, 0});
            field->Release();
        }
    }
    EXPECT_GT(loaded, 0);
}

} // namespace
} // namespace renderertest
