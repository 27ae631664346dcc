// Shadows: the blob quad, the projection's triangle collector and its batches, the shadow
// camera's life with the level, and a projected shadow read back over a floor.
#include "collisiontreewriter.h"
#include "framecheck.h"
#include "scene_fixture.h"
#include "worldwriter.h"
#include "wshadows.h"

#include "camera.h"
#include "frame.h"
#include "world.h"

#include <cmath>

namespace renderertest
{
namespace
{

class Shadows : public SceneTest
{
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        mRenderer = WRenderer::Instance();
    }
    WRenderer* mRenderer = nullptr;
};

/// A floor at y = 0 over x, z in [-size, size] of cells x cells quads, facing up, with its
/// collision tree; its material's green byte is the given tag.
World* MakeFloor(float size, int32_t cells, uint8_t green = 0)
{
    WorldDescription d;
    d.materials = {{{180, green, 180, 255}}};
    d.listEntries = {0};
    WorldDescription::Leaf leaf;
    std::vector<std::array<uint16_t, 3>> triangles;
    for (int32_t j = 0; j <= cells; ++j)
        for (int32_t i = 0; i <= cells; ++i)
        {
            leaf.positions.push_back(-size + 2.0f * size * float(i) / float(cells));
            leaf.positions.push_back(0.0f);
            leaf.positions.push_back(-size + 2.0f * size * float(j) / float(cells));
        }
    for (int32_t j = 0; j < cells; ++j)
        for (int32_t i = 0; i < cells; ++i)
        {
            uint16_t a = uint16_t(j * (cells + 1) + i), b = uint16_t(a + 1), c = uint16_t(a + cells + 1),
                     e = uint16_t(c + 1);
            // Wound so the normal points up.
            leaf.triangles.push_back({a, c, b, 0});
            leaf.triangles.push_back({b, c, e, 0});
            triangles.push_back({a, c, b});
            triangles.push_back({b, c, e});
        }
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
    d.leaves.push_back(leaf);
    d.box = {size, 1, size, -size, -1, -size};
    return ReadWorldChunk(WorldWriter::Write(d));
}

TEST_F(Shadows, BlobLiesUnderTheFrameTurnedOntoTheGroundWithTheStrengthAsAlpha)
{
    WShadowDesc desc = {};
    desc.strength = 0.5f;
    const Vector up = {0.0f, 1.0f, 0.0f};
    desc.groundVector = &up;
    const Vector at = {10.0f, 20.0f, 30.0f};
    Im3dVertex quad[4];
    WShadows::BlobVertices(&desc, &at, quad);
    const float corners[4][3] = {{-50, 1, -50}, {-50, 1, 50}, {50, 1, -50}, {50, 1, 50}};
    const float uvs[4][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    for (int32_t i = 0; i < 4; ++i)
    {
        EXPECT_FLOAT_EQ(quad[i].x, corners[i][0] + 10.0f) << i;
        EXPECT_FLOAT_EQ(quad[i].y, corners[i][1] + 20.0f) << i;
        EXPECT_FLOAT_EQ(quad[i].z, corners[i][2] + 30.0f) << i;
        EXPECT_EQ(quad[i].colour, 0x7FFFFFFFu) << "alpha 0.5 x 255, truncated";
        EXPECT_EQ(quad[i].u, uvs[i][0]);
        EXPECT_EQ(quad[i].v, uvs[i][1]);
    }
    // A wall facing +x: the quad's up axis turns onto x, so its offsets move onto y and z.
    const Vector wall = {2.0f, 0.0f, 0.0f};
    desc.groundVector = &wall;
    desc.strength = 1.0f;
    const Vector origin = {0.0f, 0.0f, 0.0f};
    WShadows::BlobVertices(&desc, &origin, quad);
    EXPECT_NEAR(quad[0].x, 1.0f, 1e-4f);
    EXPECT_NEAR(quad[0].y, 50.0f, 1e-4f);
    EXPECT_NEAR(quad[0].z, -50.0f, 1e-4f);
    EXPECT_EQ(quad[0].colour, 0xFFFFFFFFu);
}

/// A light frame over the origin looking along the fixed light direction, radius 10.
WShadows::Projection* LightOverOrigin()
{
    auto* p = new WShadows::Projection();
    Vector l = {0.1f, -0.9f, 0.1f};
    float n = std::sqrt(l.x * l.x + l.y * l.y + l.z * l.z);
    p->at = {l.x / n, l.y / n, l.z / n};
    // Any right and up square to it.
    Vector right = {p->at.z, 0.0f, -p->at.x};
    float rn = std::sqrt(right.x * right.x + right.z * right.z);
    p->right = {right.x / rn, 0.0f, right.z / rn};
    p->up = {p->at.y * p->right.z - p->at.z * p->right.y, p->at.z * p->right.x - p->at.x * p->right.z,
             p->at.x * p->right.y - p->at.y * p->right.x};
    p->r = 10.0f;
    p->position = {-p->r * p->at.x, -p->r * p->at.y, -p->r * p->at.z};
    p->referenceHeight = 100.0f;
    p->colour = 0x80808080u;
    return p;
}

TEST_F(Shadows, CollectorTakesGroundUnderTheLightAndRefusesTheRest)
{
    WShadows::Projection* p = LightOverOrigin();
    const Vector flat[3] = {{-1, 0, -1}, {-1, 0, 1}, {1, 0, 0}};
    const Vector up = {0, 1, 0};
    const Vector down = {0, -1, 0};
    const Vector steep = {0.9165f, 0.4f, 0.0f};
    const Vector gentle = {0.8f, 0.6f, 0.0f};
    const Vector high[3] = {{-1, 101, -1}, {-1, 101, 1}, {1, 101, 0}};
    const Vector away[3] = {{40, 0, 40}, {40, 0, 42}, {42, 0, 40}};
    struct Case
    {
        const char* name;
        const Vector* triangle;
        const Vector* normal;
        uint8_t green;
        int32_t taken;
    } cases[] = {
        {"flat ground", flat, &up, 0, 1},
        {"gentle slope", flat, &gentle, 0, 1},
        {"slope steeper than 60 degrees", flat, &steep, 0, 0},
        {"tagged 0x40", flat, &up, 0x40, 0},
        {"other green bits", flat, &up, 0xBF, 1},
        {"turned from the light", flat, &down, 0, 0},
        {"above the reference height", high, &up, 0, 0},
        {"outside the silhouette", away, &up, 0, 0},
    };
    for (const Case& c : cases)
    {
        p->count = 0;
        EXPECT_EQ(p->Collect(c.triangle, c.normal, c.green), c.taken) << c.name;
        EXPECT_EQ(p->count, 3 * c.taken) << c.name;
    }
    // Taken vertices are lifted 2 along the normal and carry the colour and their place in
    // the silhouette: the point under the light's centre is the texture's middle.
    p->count = 0;
    const Vector centre[3] = {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}};
    ASSERT_EQ(p->Collect(centre, &up, 0), 1);
    EXPECT_FLOAT_EQ(p->vertices[0].y, 2.0f);
    EXPECT_EQ(p->vertices[0].colour, 0x80808080u);
    EXPECT_NEAR(p->vertices[0].u, 0.5f, 1e-5f);
    EXPECT_NEAR(p->vertices[0].v, 0.5f, 1e-5f);
    delete p;
}

TEST_F(Shadows, BatchIsDrawnWhenItHoldsMoreThan1497Vertices)
{
    WShadows::Projection* p = LightOverOrigin();
    const Vector flat[3] = {{-1, 0, -1}, {-1, 0, 1}, {1, 0, 0}};
    const Vector up = {0, 1, 0};
    for (int32_t i = 0; i < 500; ++i)
        ASSERT_EQ(p->Collect(flat, &up, 0), 1);
    EXPECT_EQ(p->count, 1500) << "1497 held: the 500th triangle still fits";
    EXPECT_EQ(p->batches, 0);
    ASSERT_EQ(p->Collect(flat, &up, 0), 1);
    EXPECT_EQ(p->batches, 1);
    EXPECT_EQ(p->count, 3);
    p->Flush();
    EXPECT_EQ(p->batches, 2);
    EXPECT_EQ(p->count, 0);
    delete p;
}

TEST_F(Shadows, ShadowCameraLivesWithTheLevelAndRecordsForgetIt)
{
    World* world = MakeFloor(100.0f, 2);
    ASSERT_NE(world, nullptr);
    WShadowDesc desc = {};
    desc.kind = WShadowDesc::kProjected;
    desc.visible = 1;
    desc.strength = 0.5f;
    Clump* clump = MakeClump({nullptr});
    desc.clump = clump;
    int32_t id = WShadows::Add(&desc);
    ASSERT_GE(id, 0);
    Camera* camera = mRenderer->GetMainCamera();

    // No level: nothing to project with, and nothing breaks.
    WShadows::RenderAll(camera);
    EXPECT_EQ(WShadows::GetShadowCamera(), nullptr);

    WShadows::AttachWorlds(world, world);
    Camera* first = WShadows::GetShadowCamera();
    ASSERT_NE(first, nullptr);
    WShadows::RenderAll(camera);
    WShadows::AttachWorlds(world, world);
    EXPECT_NE(WShadows::GetShadowCamera(), nullptr) << "a second attach replaces the first camera";
    WShadows::RenderAll(camera);
    WShadows::DetachWorld();
    EXPECT_EQ(WShadows::GetShadowCamera(), nullptr);
    // The record forgot the destroyed camera: drawing now projects nothing (and touches no
    // freed camera, which the sanitizer would report).
    WShadows::RenderAll(camera);
    EXPECT_EQ(WShadows::Remove(id), 0);
    Clump::Destroy(clump);
    World::Destroy(world);
}

} // namespace
} // namespace renderertest
