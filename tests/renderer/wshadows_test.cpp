// Shadows: the blob quad, the projection's triangle collector and its batches, the shadow
// camera's life with the level, and a projected shadow read back over a floor.
#include "collisiontreewriter.h"
#include "framecheck.h"
#include "scene_fixture.h"
#include "worldwriter.h"
#include "wshadows.h"

#include "camera.h"
#include "frame.h"
#include "geometry.h"
#include "material.h"
#include "raster.h"
#include "rasterreadback.h"
#include "world.h"
#include "wvectorutil.h"

#include <algorithm>
#include <cstring>

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

/// A clump of one flat square of half side a, at height h over its frame, drawn from both sides.
Clump* MakeSquareClump(float a, float h)
{
    Clump* clump = Clump::Create();
    Frame* root = Frame::Create();
    clump->frame = root;
    Geometry* geometry = Geometry::Create(4, 4, kGeometryPositions);
    MorphTarget& target = geometry->morphTargets[0];
    target.positions[0] = {-a, h, -a};
    target.positions[1] = {a, h, -a};
    target.positions[2] = {-a, h, a};
    target.positions[3] = {a, h, a};
    const uint16_t sides[4][3] = {{0, 1, 2}, {2, 1, 3}, {0, 2, 1}, {2, 3, 1}};
    Material* material = Material::Create();
    for (int32_t t = 0; t < 4; ++t)
    {
        Geometry::SetTriangleVertices(geometry, &geometry->triangles[t], sides[t][0], sides[t][1], sides[t][2]);
        Geometry::SetTriangleMaterial(geometry, &geometry->triangles[t], material);
    }
    Material::Destroy(material);
    MorphTarget::CalcBoundingSphere(&target, &target.boundingSphere);
    Geometry::Unlock(geometry);
    Atomic* atomic = Atomic::Create();
    Frame* frame = Frame::Create();
    Frame::AddChild(root, frame);
    Atomic::SetFrame(atomic, frame);
    Atomic::SetGeometry(atomic, geometry, 0);
    Geometry::Destroy(geometry);
    Clump::AddAtomic(clump, atomic);
    return clump;
}

TEST_F(Shadows, ProjectedShadowDarkensTheFloorUnderTheModelAlongTheLight)
{
    World* floor = MakeFloor(100.0f, 4);
    ASSERT_NE(floor, nullptr);
    // A square of side 8 at height 18: the light (0.1, -0.9, 0.1) lays its shadow 2 units
    // towards +x and +z, over x and z in [-2, 6].
    Clump* clump = MakeSquareClump(4.0f, 18.0f);
    WShadowDesc desc = {};
    desc.clump = clump;
    desc.radius = 20.0f;
    desc.strength = 0.5f;
    desc.kind = WShadowDesc::kProjected;
    desc.visible = 1;
    const int32_t id = WShadows::Add(&desc);
    ASSERT_GE(id, 0);
    WShadows::AttachWorlds(floor, floor);

    // The main camera looks straight down on the floor, 40 x 30 units in view.
    Camera* camera = mRenderer->GetMainCamera();
    Frame* eye = camera->object.frame;
    const Vector down = {0.0f, -1.0f, 0.0f};
    FrameLookAlong(eye, &down);
    const Vector height = {0.0f, 50.0f, 0.0f};
    Frame::Translate(eye, &height, kCombinePostConcat);
    Camera::SetProjection(camera, kCameraParallel);
    const Vector2 window = {20.0f, 15.0f};
    Camera::SetViewWindow(camera, &window);
    Camera::SetNearClipPlane(camera, 1.0f);
    Camera::SetFarClipPlane(camera, 200.0f);
    const Rgba grey = {160, 160, 160, 255};
    ASSERT_NE(Camera::Clear(camera, &grey, kCameraClearImage | kCameraClearZ), nullptr);
    WShadows::RenderAll(camera);

    Raster* raster = camera->frameBuffer;
    const std::vector<uint32_t> actual = framecheck::ReadRaster(raster);
    ASSERT_FALSE(actual.empty()) << "the frame buffer locks for reading";

    // The picture is mirrored in x against the camera's right vector; its top is along up.
    const Matrix* view = Frame::GetWorldMatrix(eye);
    const int32_t width = raster->width, rows = raster->height;
    std::vector<uint32_t> expected(actual.size());
    const uint32_t shadowed = 0xFF000000u | 0x4F4F4Fu; // 160 x (1 - 128 / 255)
    for (int32_t y = 0; y < rows; ++y)
        for (int32_t x = 0; x < width; ++x)
        {
            const float sx = -((float(x) + 0.5f) / float(width) * 2.0f - 1.0f) * window.x;
            const float sy = -((float(y) + 0.5f) / float(rows) * 2.0f - 1.0f) * window.y;
            const float wx = view->pos.x + sx * view->right.x + sy * view->up.x;
            const float wz = view->pos.z + sx * view->right.z + sy * view->up.z;
            const size_t i = size_t(y) * size_t(width) + size_t(x);
            const float edge = std::min(std::min(std::fabs(wx + 2.0f), std::fabs(wx - 6.0f)),
                                        std::min(std::fabs(wz + 2.0f), std::fabs(wz - 6.0f)));
            const bool inside = wx > -2.0f && wx < 6.0f && wz > -2.0f && wz < 6.0f;
            // The silhouette's texels are about a fifth of a unit: its edge is soft.
            expected[i] = edge < 0.5f ? actual[i] : inside ? shadowed : 0xFFA0A0A0u;
        }
    EXPECT_EQ(framecheck::CheckFrame("renderer_projected_shadow", width, rows, actual, expected, 3), "");

    WShadows::DetachWorld();
    EXPECT_EQ(WShadows::Remove(id), 0);
    Clump::Destroy(clump);
    World::Destroy(floor);
}

} // namespace
} // namespace renderertest
