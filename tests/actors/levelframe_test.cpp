// One whole frame of the renderer over a level read from a pack archive: standard particles
// drawn as a particle atomic from a custom render callback, a character's silhouette projected
// onto the level's floor, and two 2D surfaces half way through their fades, read back against
// a reference worked out on the processor.
#include "collisiontreewriter.h"
#include "framecheck.h"
#include "levelwriter.h"
#include "renderer_fixture.h"
#include "worldwriter.h"

#include "camera.h"
#include "clump.h"
#include "frame.h"
#include "geometry.h"
#include "hbclock.h"
#include "hbpack.h"
#include "hbresource.h"
#include "image.h"
#include "material.h"
#include "pngimage.h"
#include "prtstd.h"
#include "prtstdclass.h"
#include "prtstdemitter.h"
#include "prtstdproperty.h"
#include "raster.h"
#include "w2dimagesurface.h"
#include "w2dsurfacelist.h"
#include "w3dcamera.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "wrenderer.h"
#include "wscene.h"
#include "wshadows.h"
#include "wvectorutil.h"
#include "wviewport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>

namespace renderertest
{
namespace
{

constexpr int32_t kSize = 128;
/// Half the side of the square the camera sees, looking straight down.
constexpr float kView = 20.0f;
/// Half the side of the floor: the clear colour shows around it.
constexpr float kFloor = 16.0f;
constexpr uint8_t kFloorColour[3] = {180, 150, 90};
constexpr uint32_t kClear = 0xFF203040u;

uint32_t Argb(uint32_t r, uint32_t g, uint32_t b)
{
    return 0xFF000000u | r << 16 | g << 8 | b;
}

/// A prelit floor at y = 0 over x, z in [-kFloor, kFloor] of 2 x 2 quads facing up, with its
/// collision tree; its material's green byte leaves the shadow tag (0x40) clear.
std::vector<uint8_t> FloorWorldBytes()
{
    WorldDescription d;
    d.format = kGeometryPositions | kGeometryPrelit;
    GeometryDescription::Material material;
    material.colour = {255, 0x30, 255, 255};
    d.materials = {material};
    d.listEntries = {0};
    WorldDescription::Leaf leaf;
    std::vector<std::array<uint16_t, 3>> triangles;
    constexpr int32_t kCells = 2;
    for (int32_t j = 0; j <= kCells; ++j)
        for (int32_t i = 0; i <= kCells; ++i)
        {
            leaf.positions.push_back(-kFloor + 2.0f * kFloor * float(i) / kCells);
            leaf.positions.push_back(0.0f);
            leaf.positions.push_back(-kFloor + 2.0f * kFloor * float(j) / kCells);
            leaf.prelit.push_back({kFloorColour[0], kFloorColour[1], kFloorColour[2], 255});
        }
    for (int32_t j = 0; j < kCells; ++j)
        for (int32_t i = 0; i < kCells; ++i)
        {
            const uint16_t a = uint16_t(j * (kCells + 1) + i), b = uint16_t(a + 1), c = uint16_t(a + kCells + 1),
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
    d.box = {kFloor, 1, kFloor, -kFloor, -1, -kFloor};
    return WorldWriter::Write(d);
}

/// The character: a flat square of half side a at height h over the clump's frame, seen from
/// both sides.
Clump* MakeSquareClump(float a, float h)
{
    Clump* clump = Clump::Create();
    clump->frame = Frame::Create();
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
    Frame::AddChild(clump->frame, frame);
    Atomic::SetFrame(atomic, frame);
    Atomic::SetGeometry(atomic, geometry, 0);
    Geometry::Destroy(geometry);
    Clump::AddAtomic(clump, atomic);
    return clump;
}

/// A property table of the standard ids with their minimum sizes.
template <typename Property> PrtStdPropertyTable* Table(const std::vector<int32_t>& ids)
{
    std::vector<int32_t> sizes;
    for (int32_t id : ids)
        sizes.push_back(Property::MinimumSize(id));
    return PrtStdPropertyTable::Create(int32_t(ids.size()), ids.data(), sizes.data());
}

struct Dot
{
    float x, z;
    Rgba colour;
};
/// Particles drawn 4 units wide at height 10, clear of the shadow.
constexpr float kDotHalf = 2.0f;
constexpr float kDotHeight = 10.0f;
const Dot kDots[] = {{8, 8, {230, 40, 40, 255}}, {11, -7, {40, 200, 60, 255}}, {-6, 9, {50, 80, 240, 255}}};

/// The silhouette of the square (half side 4, 18 over its frame at kCharacter) falls along the
/// fixed light (0.1, -0.9, 0.1): 2 units towards +x and +z.
constexpr Vector kCharacter = {-8.0f, 0.0f, -8.0f};
constexpr float kShadowMin[2] = {-10.0f, -10.0f};
constexpr float kShadowMax[2] = {-2.0f, -2.0f};
constexpr float kShadowStrength = 0.5f;

/// The 2D surfaces: screen rectangles (from the top left, in fractions), colours and fade
/// durations; the frame is drawn half a second after both started fading in.
struct Panel
{
    const char* id;
    float x, y, width, height;
    uint32_t colour;
    double seconds;
};
const Panel kPanels[] = {{"E_TEAL_TEX", 0.0625f, 0.0625f, 0.25f, 0.1875f, 0xFF28C8DCu, 1.0},
                         {"E_GOLD_TEX", 0.5625f, 0.6875f, 0.375f, 0.25f, 0xFFF0C828u, 2.0}};
constexpr double kFadeElapsed = 0.5;

void DrawParticles(void* atomic)
{
    auto* a = static_cast<Atomic*>(atomic);
    a->renderCallback(a);
}

class LevelFrame : public RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        d3d9test::AdapterConfig adapter = Adapter();
        adapter.modes.push_back({kSize, kSize, 60, D3DFMT_X8R8G8B8});
        WriteFile("vprefs.dat", PrefsBytes(1, kSize, kSize, 1, 1.0f));
        mRenderer = Started({adapter});
        if (HasFatalFailure())
            return;
        mRenderer->BeginFrame();
        mRenderer->EndFrame(); // the preferences apply at the end of the first frame

        HbPackArchive writer;
        ASSERT_NE(writer.Open("end.pak", "wb"), nullptr);
        LevelDescription level;
        level.worlds = {"E_FLOOR_WW"};
        for (const auto& [id, path, bytes] : {std::tuple{"E_FLOOR_WW", "levels\\end\\floor.bsp", FloorWorldBytes()},
                                              std::tuple{"E_END_WL", "levels\\end\\end.wl", LevelWriter::Write(level)}})
        {
            ASSERT_EQ(writer.AddEntry(path, bytes.data(), bytes.size()), 1) << path;
            Declare(id, path);
        }
        writer.Close();
        HbPackSet* packs = HbPackSet::Instance();
        ASSERT_EQ(packs->Mount("end.pak"), 1);
        packs->SetEnabled(1);
        packs->SetDiskFallback(1); // the surfaces' textures are loose files
        for (const Panel& panel : kPanels)
            Texture(panel.id, panel.colour);
    }

    void TearDown() override
    {
        if (mRenderer)
        {
            if (mCallback >= 0)
                mRenderer->RemoveCustomRenderCallback(mCallback);
            if (mRenderer->GetSurfaceList())
                mRenderer->GetSurfaceList()->RemoveAll();
            if (mShadow >= 0)
                WShadows::Remove(mShadow);
            WShadows::DetachWorld();
            mRenderer->SetCamera(nullptr);
            mRenderer->ReleaseScene();
        }
        if (mCamera)
            mCamera->Release();
        if (mLevel)
            mLevel->Release();
        if (mParticles)
            Atomic::Destroy(mParticles);
        if (mEmitterClass)
            PrtStdEmitterClass::Destroy(mEmitterClass);
        if (mParticleClass)
            PrtStdParticleClass::Destroy(mParticleClass);
        if (mCharacter)
            Clump::Destroy(mCharacter);
        for (const std::string& id : mIds)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        HbPackSet* packs = HbPackSet::Instance();
        while (packs->GetMountedCount() > 0)
            packs->Unmount(nullptr);
        packs->SetEnabled(0);
        packs->SetDiskFallback(0);
        RendererTest::TearDown();
    }

    void Declare(const char* id, const char* path)
    {
        HbResourceManager::Instance()->AddPath(id, path);
        mIds.push_back(id);
    }

    /// A 4 x 4 PNG of one colour, declared under the id.
    void Texture(const char* id, uint32_t colour)
    {
        Image* image = Image::Create(4, 4, 32);
        Image::AllocatePixels(image);
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 4; ++x)
            {
                uint8_t* p = image->pixels + y * image->stride + 4 * x;
                p[0] = uint8_t(colour >> 16), p[1] = uint8_t(colour >> 8), p[2] = uint8_t(colour);
                p[3] = uint8_t(colour >> 24);
            }
        const std::string path = std::string(id) + ".png";
        ASSERT_EQ(Png::WriteImage(image, path.c_str()), image);
        Image::Destroy(image);
        Declare(id, path.c_str());
    }

    /// The level from the pack bound to a new scene, with the shadows' camera in its world and
    /// a camera node looking straight down on the floor from 50 up, 2 kView across.
    void BindLevel()
    {
        mLevel = HbCastTo<W3dLevel>(HbResourceManager::Instance()->GetResource("E_END_WL"));
        ASSERT_NE(mLevel, nullptr);
        mLevel->AddRef();
        ASSERT_NE(mLevel->GetMainWorld(), nullptr);
        auto* scene = new WScene();
        mRenderer->SetScene(scene);
        scene->SetLevel(mLevel);
        WShadows::AttachWorld();
        ASSERT_NE(WShadows::GetShadowCamera(), nullptr);

        mCamera = W3dCamera::Create();
        ASSERT_NE(mCamera, nullptr);
        mCamera->AddRef();
        scene->GetRoot()->AttachChild(mCamera);
        mRenderer->SetCamera(mCamera);
        mCamera->SetClearColor({0x20, 0x30, 0x40, 0xFF});
        Camera* camera = mCamera->GetCamera();
        Frame* eye = mCamera->GetEngineFrame();
        const Vector down = {0.0f, -1.0f, 0.0f};
        FrameLookAlong(eye, &down);
        const Vector height = {0.0f, 50.0f, 0.0f};
        Frame::Translate(eye, &height, kCombinePostConcat);
        Camera::SetProjection(camera, kCameraParallel);
        const Vector2 window = {kView, kView};
        Camera::SetViewWindow(camera, &window);
        Camera::SetNearClipPlane(camera, 1.0f);
        Camera::SetFarClipPlane(camera, 200.0f);
    }

    /// An emitter of standard particles holding the dots, drawn by a custom render callback.
    void EmitParticles()
    {
        PrtStdPropertyTable* table = Table<PrtStdEmitterProperty>(
            {PrtStdEmitterProperty::kStandardId, PrtStdEmitterProperty::kTankId, PrtStdEmitterProperty::kColourId});
        mEmitterClass = PrtStdEmitterClass::Create();
        PrtStdParticleClass::SetPropertyTable(mEmitterClass, table);
        PrtStdPropertyTable::Destroy(table);
        PrtStdEmitterStd::SetCallbacks(mEmitterClass);
        table = Table<PrtStdParticleProperty>({PrtStdParticleProperty::kStandardId, PrtStdParticleProperty::kPositionId});
        mParticleClass = PrtStdParticleClass::Create();
        PrtStdParticleClass::SetPropertyTable(mParticleClass, table);
        PrtStdPropertyTable::Destroy(table);
        PrtStdParticleStd::SetCallbacks(mParticleClass);

        mParticles = PrtStdAtomic::Create(mEmitterClass, nullptr);
        ASSERT_NE(mParticles, nullptr);
        PrtStdEmitter* emitter = PrtStdAtomic::GetEmitters(mParticles);
        PrtStdEmitter::SetParticleClass(emitter, mParticleClass, 8);
        PrtStdEmitterStd* standard = PrtStdEmitter::GetStandard(emitter);
        standard->maxParticles = 8;
        standard->emitCount = 1;
        standard->life = 100;
        standard->size = {2 * kDotHalf, 2 * kDotHalf};
        PrtStdEmitter::GetTankBlock(emitter)->vertexAlpha = 0;
        auto* colour = static_cast<float*>(PrtStdEmitter::GetProperty(emitter, PrtStdEmitterProperty::kColourId));
        for (const Dot& dot : kDots)
        {
            standard->emitPosition = {dot.x, kDotHeight, dot.z};
            const float c[4] = {float(dot.colour.red), float(dot.colour.green), float(dot.colour.blue), 255.0f};
            std::memcpy(colour, c, sizeof c);
            PrtStdUpdateData step{0.01f};
            ASSERT_EQ(PrtStdAtomic::UpdateEmitters(mParticles, &step), mParticles);
        }
        ASSERT_EQ(emitter->activeCount, 3);
        mCallback = mRenderer->AddCustomRenderCallback(DrawParticles, mParticles);
        ASSERT_GE(mCallback, 0);
    }

    std::vector<uint32_t> ReadFrame()
    {
        int32_t width = 0, height = 0;
        std::vector<uint32_t> pixels = ReadViewport(&width, &height);
        EXPECT_EQ(width, kSize);
        EXPECT_EQ(height, kSize);
        return pixels;
    }

    WRenderer* mRenderer = nullptr;
    W3dLevel* mLevel = nullptr;
    W3dCamera* mCamera = nullptr;
    Clump* mCharacter = nullptr;
    int32_t mShadow = -1;
    PrtStdEmitterClass* mEmitterClass = nullptr;
    PrtStdParticleClass* mParticleClass = nullptr;
    Atomic* mParticles = nullptr;
    int32_t mCallback = -1;
    std::vector<std::string> mIds;
};

TEST_F(LevelFrame, LevelParticlesShadowAndFadingSurfacesDrawInOneFrame)
{
    BindLevel();
    if (HasFatalFailure())
        return;
    EmitParticles();
    if (HasFatalFailure())
        return;

    mCharacter = MakeSquareClump(4.0f, 18.0f);
    Frame::Translate(mCharacter->frame, &kCharacter, kCombineReplace);
    WShadowDesc desc = {};
    desc.clump = mCharacter;
    desc.radius = 20.0f;
    desc.strength = kShadowStrength;
    desc.kind = WShadowDesc::kProjected;
    desc.visible = 1;
    mShadow = WShadows::Add(&desc);
    ASSERT_GE(mShadow, 0);

    HbRealClock* clock = HbRealClock::Instance();
    const int64_t second = HbPerformanceFrequency();
    const int64_t start = clock->mCurrentTime;
    W2dSurfaceList* surfaces = mRenderer->GetSurfaceList();
    ASSERT_NE(surfaces, nullptr);
    for (const Panel& panel : kPanels)
    {
        auto* fade = new W2dFadingSurface(panel.id, int64_t(panel.seconds * double(second)), 0, panel.x, panel.y,
                                          panel.width, panel.height, 0);
        surfaces->Insert(fade);
        fade->Show();
    }
    clock->mCurrentTime = start + int64_t(kFadeElapsed * double(second));
    for (int32_t frame = 0; frame < 2; ++frame)
    {
        ASSERT_EQ(mRenderer->BeginFrame(), 1);
        mRenderer->UpdateFrame();
        mRenderer->RenderScene();
        mRenderer->EndFrame();
    }
    clock->mCurrentTime = start;
    const std::vector<uint32_t> pixels = ReadFrame();
    ASSERT_EQ(pixels.size(), size_t(kSize) * kSize);

    // The picture is mirrored in x against the camera's right vector; its top is along up.
    const Matrix* view = Frame::GetWorldMatrix(mCamera->GetEngineFrame());
    const uint32_t floorShadowed[3] = {
        uint32_t(kFloorColour[0] * (255 - 127) / 255), uint32_t(kFloorColour[1] * (255 - 127) / 255),
        uint32_t(kFloorColour[2] * (255 - 127) / 255)};
    auto scene = [&](float px, float py) -> uint32_t
    {
        const float sx = -(px / kSize * 2.0f - 1.0f) * kView;
        const float sy = -(py / kSize * 2.0f - 1.0f) * kView;
        const float wx = view->pos.x + sx * view->right.x + sy * view->up.x;
        const float wz = view->pos.z + sx * view->right.z + sy * view->up.z;
        for (const Dot& dot : kDots)
            if (std::fabs(wx - dot.x) < kDotHalf && std::fabs(wz - dot.z) < kDotHalf)
                return Argb(dot.colour.red, dot.colour.green, dot.colour.blue);
        if (std::fabs(wx) > kFloor || std::fabs(wz) > kFloor)
            return kClear;
        if (wx > kShadowMin[0] && wx < kShadowMax[0] && wz > kShadowMin[1] && wz < kShadowMax[1])
            return Argb(floorShadowed[0], floorShadowed[1], floorShadowed[2]);
        return Argb(kFloorColour[0], kFloorColour[1], kFloorColour[2]);
    };
    // Surfaces blend over the scene by their fade level.
    auto colourAt = [&](float px, float py) -> uint32_t
    {
        uint32_t out = scene(px, py);
        for (const Panel& panel : kPanels)
        {
            const float u = px / kSize, v = py / kSize;
            if (u < panel.x || u >= panel.x + panel.width || v < panel.y || v >= panel.y + panel.height)
                continue;
            const float level = float(kFadeElapsed / panel.seconds);
            uint32_t mixed = 0xFF000000u;
            for (int32_t shift : {16, 8, 0})
            {
                const float under = float(out >> shift & 0xFF), over = float(panel.colour >> shift & 0xFF);
                mixed |= uint32_t(std::lround(under + (over - under) * level)) << shift;
            }
            out = mixed;
        }
        return out;
    };
    // Edges are the device's to rasterise, and the silhouette's texels (a fifth of a unit) soften
    // the shadow's: pixels whose neighbourhood changes colour are taken as drawn.
    const std::vector<uint32_t> expected =
        framecheck::EdgeTolerantReference(kSize, kSize, pixels, colourAt, {-1.8f, 0.0f, 1.8f});
    EXPECT_EQ(framecheck::CheckFrame("actors_level_frame", kSize, kSize, pixels, expected, 3), "");
}

} // namespace
} // namespace renderertest
