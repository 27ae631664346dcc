// A level's animated content end to end, everything read from one pack archive through the
// framework's file layer: the first script starts a microthread that the script world's frame
// loop steps and that prints into the script log; a skeleton and a skinned model come in as
// SKL and MDL resources, the model's texture as a PNG from the level's textures folder; an ANM
// resource plays through a channel on the model and its events reach a receiving node; the
// model posed by the animation's first frame is drawn through the software skin path and read
// back against a CPU reference.
#include "scriptworld_fixture.h"

#include "animationwriter.h"
#include "clump.h"
#include "clumpwriter.h"
#include "geometry.h"
#include "hbpack.h"
#include "hbresource.h"
#include "hierarchy.h"
#include "image.h"
#include "material.h"
#include "pngimage.h"
#include "raster.h"
#include "rasterreadback.h"
#include "hbclock.h"
#include "rdanim.h"
#include "rdanimchannel.h"
#include "rdeventmanager.h"
#include "rdmodel.h"
#include "rdnameidtable.h"
#include "rdskeleton.h"
#include "scripteventid.h"
#include "skeletonwriter.h"
#include "skin.h"
#include "skinwriter.h"
#include "texture.h"
#include "animation.h"
#include "camera.h"
#include "engine.h"
#include "frame.h"
#include "framecheck.h"
#include "world.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{

constexpr int kSize = 64;
constexpr float kDepth = 2.0f;
constexpr float kHeadX = 0.8f;

using scriptworldtest::FakeActor;
using scriptworldtest::ScriptWorldTest;

/// A 32-bit PNG of one colour, made by the engine's own writer.
std::string PngBytes(int32_t width, int32_t height)
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

/// Bones "Pelvis" (the hierarchy's root) and "Head" under the clump's frame; a textured,
/// skinned triangle on the pelvis, its material's texture "skin".
std::vector<uint8_t> ManMdl()
{
    ClumpDescription c;
    c.frames.resize(3);
    c.frames[0].rows = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, kDepth}; // in front of an identity camera
    c.frames[1].parent = 0;
    c.frames[1].extension = SkinWriter::FrameHierarchy(10, {{10, 0}, {11, kHierarchyPop}});
    c.frames[2].parent = 1;
    c.frames[2].rows[10] = 1.0f;
    c.frames[2].extension = SkinWriter::FrameNode(11);
    GeometryDescription g;
    g.format = kGeometryPositions | kGeometryTextured | kGeometryPrelit;
    g.numVertices = 3;
    g.prelit = {{255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}};
    g.triangles = {{0, 1, 2, 0}};
    g.targets.push_back({{0, 0.5f, 0, 1.0f}, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {}});
    g.texCoords = {{0, 0, 1, 0, 0, 1}};
    GeometryDescription::Material material;
    material.texture = "skin";
    g.materials = {material};
    g.listEntries = {0};
    SkinDescription skin;
    skin.boneCount = 2;
    skin.boneIndices = {{0, 0, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 0}};
    skin.weights = {{1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}};
    skin.inverseMatrices = {{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, -1, 0}};
    g.extension = SkinWriter::Current(skin);
    c.geometries = {g};
    ClumpDescription::Atomic a;
    a.frame = 1;
    c.atomics.push_back(a);
    return ClumpWriter::Write(c);
}

/// One second, the pelvis walking 100 units forward, the head held kHeadX to the side of
/// where the model has it.
std::vector<uint8_t> WalkAnm()
{
    std::vector<AnimationKeyRow> rows;
    for (int node = 0; node < 2; ++node)
        for (float t : {0.0f, 1.0f})
            rows.push_back(
                {node, t, {0, 0, 0, 1}, {node == 0 ? 0.0f : kHeadX, node == 0 ? 0.0f : 1.0f, node == 0 ? 100.0f * t : 0.0f}});
    return AnimationWriter::StdAnimation(rows, 1.0f);
}

struct Point
{
    double x, y;
};

double Cross(Point a, Point b, Point p)
{
    return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
}

/// The walk's first frame on the CPU: the pelvis's vertices where the model has them, the
/// head's moved by kHeadX; seen by a camera at the origin looking along z with a view window
/// of 1 (x mirrored), pixels within a tenth of a unit of an edge taken from the actual frame.
std::vector<uint32_t> Reference(const std::vector<uint32_t>& actual, uint32_t colour, uint32_t background)
{
    const Point v[3] = {{0, 0}, {1, 0}, {kHeadX, 1}};
    std::vector<uint32_t> frame(size_t(kSize) * kSize, background);
    for (int py = 0; py < kSize; ++py)
        for (int px = 0; px < kSize; ++px)
        {
            const Point p = {(1.0 - px / (kSize / 2.0)) * kDepth, (1.0 - py / (kSize / 2.0)) * kDepth};
            const double d0 = Cross(v[0], v[1], p), d1 = Cross(v[1], v[2], p), d2 = Cross(v[2], v[0], p);
            const bool inside = (d0 >= 0 && d1 >= 0 && d2 >= 0) || (d0 <= 0 && d1 <= 0 && d2 <= 0);
            double nearest = 1e9;
            for (int e = 0; e < 3; ++e)
            {
                const Point a = v[e], b = v[(e + 1) % 3];
                const double dx = b.x - a.x, dy = b.y - a.y;
                const double t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
                nearest = std::min(nearest, std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy));
            }
            const size_t i = size_t(py) * kSize + size_t(px);
            if (nearest < 0.1)
                frame[i] = actual[i];
            else if (inside)
                frame[i] = colour;
        }
    return frame;
}

/// The script: a microthread that prints one line each time the level's frame timer lets it
/// through, three times, then ends.
const char* kStartLevel = "import uthread\r\n"
                          "gate = uthread.semaphore(0)\r\n"
                          "def walker():\r\n"
                          "    for n in range(1, 4):\r\n"
                          "        gate.claim()\r\n"
                          "        print('walker step %d' % n)\r\n"
                          "    return 'done'\r\n"
                          "worker = uthread.thread(walker)\r\n"
                          "results = []\r\n"
                          "def tick(*args):\r\n"
                          "    gate.release()\r\n"
                          "    results.append(worker.step())\r\n";

/// A node receiving animation events, recording each id.
class Receiver : public HbRoot, public RdEventReceiverOwner
{
public:
    Receiver()
    {
        mEventReceiver = [](int32_t id, void* data) { static_cast<Receiver*>(data)->ids.push_back(id); };
        mEventReceiverData = this;
    }
    std::vector<int32_t> ids;
};

class AnimLevel : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        HbPackArchive writer;
        ASSERT_NE(writer.Open("b1.pak", "wb"), nullptr);
        const std::vector<uint8_t> mdl = ManMdl(), anm = WalkAnm();
        const std::vector<SkeletonProfileRow> profiles = {{"HEAD", {"Head"}}};
        const std::vector<uint8_t> skl = SkeletonWriter::Bytes({"Pelvis", "Head"}, &profiles);
        const std::string png = PngBytes(8, 4);
        ASSERT_EQ(writer.AddEntry("levels\\b1\\start_level.py", kStartLevel, std::string(kStartLevel).size()), 1);
        ASSERT_EQ(writer.AddEntry("levels\\b1\\man.mdl", mdl.data(), mdl.size()), 1);
        ASSERT_EQ(writer.AddEntry("levels\\b1\\man.skl", skl.data(), skl.size()), 1);
        ASSERT_EQ(writer.AddEntry("levels\\b1\\walk.anm", anm.data(), anm.size()), 1);
        ASSERT_EQ(writer.AddEntry("levels\\b1\\textures\\skin.png", png.data(), png.size()), 1);
        writer.Close();
        HbPackSet* packs = HbPackSet::Instance();
        ASSERT_EQ(packs->Mount("b1.pak"), 1);
        packs->SetEnabled(1);
        std::remove("b1.pak"); // nothing may come from the loose file system
        Declare("START_PY", "levels\\b1\\start_level.py");
        Declare("B1_MAN_MDL", "levels\\b1\\man.mdl");
        Declare("B1_MAN_SKL", "levels\\b1\\man.skl");
        Declare("B1_WALK_ANM", "levels\\b1\\walk.anm");
    }
    void TearDown() override
    {
        for (const char* id : mIds)
            HbResourceManager::Instance()->RemovePath(id);
        HbPackSet* packs = HbPackSet::Instance();
        while (packs->GetMountedCount() > 0)
            packs->Unmount(nullptr);
        packs->SetEnabled(0);
        ScriptWorldTest::TearDown();
    }
    void Declare(const char* id, const char* path)
    {
        HbResourceManager::Instance()->AddPath(id, path);
        mIds.push_back(id);
    }

    std::vector<const char*> mIds;
};

Texture* FirstTexture(Clump* clump)
{
    Texture* found = nullptr;
    Clump::ForAllAtomics(
        clump,
        [](Atomic* a, void* data) -> Atomic*
        {
            if (a->geometry && a->geometry->materials.count > 0)
                *static_cast<Texture**>(data) = a->geometry->materials.materials[0]->texture;
            return a;
        },
        &found);
    return found;
}

TEST_F(AnimLevel, ScriptModelSkeletonAndAnimationFromOnePackPlayTogether)
{
    // The first script and its microthread, stepped by a frame timer of the world.
    mWorld->ImportScriptResource("START_PY");
    ASSERT_EQ(Eval("worker.__class__.__name__"), "'uthread'") << LogText();
    FakeActor* owner = Listed("O", {0, 0, 0});
    Listed("C", {10, 0, 0});
    Register(owner, kEventTimer1, "tick", 0.1f, 0.1f);

    // The skeleton and the model; the model's texture from the level's textures folder.
    auto* skeleton = HbCastTo<RdSkeleton>(HbResourceManager::Instance()->GetResource("B1_MAN_SKL"));
    ASSERT_NE(skeleton, nullptr);
    skeleton->AddRef();
    ASSERT_EQ(skeleton->GetBoneCount(), 2);
    auto* model = HbCastTo<RdModel>(HbResourceManager::Instance()->GetResource("B1_MAN_MDL"));
    ASSERT_NE(model, nullptr);
    model->AddRef();
    ASSERT_NE(model->GetHierarchy(), nullptr);
    model->BindSkeleton(skeleton);
    EXPECT_EQ(model->GetHierarchy()->nodes[0].nodeId, NameIdTable::Bones()->FindIdByName("Pelvis"));
    EXPECT_EQ(model->GetHierarchy()->nodes[1].nodeId, NameIdTable::Bones()->FindIdByName("Head"));
    Texture* texture = FirstTexture(model->GetClump());
    ASSERT_NE(texture, nullptr) << "skin.png from levels\\b1\\textures";
    ASSERT_NE(texture->raster, nullptr);
    EXPECT_EQ(texture->raster->width, 8);
    EXPECT_EQ(texture->raster->height, 4);
    Clump::ForAllAtomics(
        model->GetClump(),
        [](Atomic* a, void* h) -> Atomic*
        {
            EXPECT_EQ(SkinAtomic::GetSkinHierarchy(a), h);
            return a;
        },
        model->GetHierarchy());

    // The walk through a channel on the model; its events reach the node.
    auto* walk = HbCastTo<RdAnimation>(HbResourceManager::Instance()->GetResource("B1_WALK_ANM"));
    ASSERT_NE(walk, nullptr);
    walk->AddRef();
    EXPECT_FLOAT_EQ(walk->GetRootSpeed(), 100.0f);
    ASSERT_EQ(walk->GetEventSet()->Add({0.2f, NameIdTable::Events()->FindIdByName("EVENTID_STRIKE")}), 1);
    ASSERT_EQ(walk->GetEventSet()->Add({0.6f, 21}), 1);
    auto* node = new Receiver();
    node->AddRef();
    auto* channel = new RdAnimChannel(1, walk, 0.0f, HbGameClock::Instance()->mGameTime);
    channel->AddRef();
    channel->SetLoop(1);
    channel->Attach(model->GetHierarchy(), HbGameClock::Instance()->mGameTime);
    ASSERT_NE(channel->GetHierarchy(), nullptr);
    RdEventManager::Register(channel->GetHierarchy(), walk->GetEventSet(), node);

    for (int frame = 0; frame < 9; ++frame) // 1.35 s
    {
        Frame(0.15f);
        channel->Update(HbGameClock::Instance()->mGameTime);
    }

    EXPECT_EQ(node->ids, (std::vector<int32_t>{13, 21, 13})) << "0.2 and 0.6 s, then 0.2 s into the second cycle";
    EXPECT_NEAR(channel->GetTime(), 0.35f, 1e-4f);
    const std::string log = LogText();
    EXPECT_NE(log.find("walker step 1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("walker step 3\n"), std::string::npos) << log;
    EXPECT_EQ(Eval("results[2]"), "'done'") << "the microthread ended on its third step";

    // The walk's first frame drawn through the software skin path.
    const SkinDeviceCaps deviceCaps = SkinPlugin::GetCaps();
    SkinDeviceCaps caps = deviceCaps;
    caps.hardwareSkinning = 0;
    SkinPlugin::SetCaps(caps);
    Hierarchy* h = model->GetHierarchy();
    ASSERT_EQ(AnimInterpolator::SetAnimation(h->interpolator, walk->GetAnimation()), 1);
    ASSERT_EQ(Hierarchy::UpdateMatrices(h), 1);
    Camera* camera = Camera::Create();
    ASSERT_NE(camera, nullptr);
    camera->frameBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeCamera);
    camera->zBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeZBuffer);
    FrameObject::SetFrame(&camera->object, ::Frame::Create());
    const Vector2 window = {1.0f, 1.0f};
    Camera::SetViewWindow(camera, &window);
    Camera::SetNearClipPlane(camera, 0.1f);
    Camera::SetFarClipPlane(camera, 10.0f);
    World::AddCamera(mWallWorld, camera);
    ::Frame::SyncDirtyList();
    const Rgba background = {0x20, 0x30, 0x40, 0xFF};
    ASSERT_EQ(Camera::Clear(camera, &background, kCameraClearImage | kCameraClearZ), camera);
    ASSERT_EQ(Camera::BeginUpdate(camera), camera);
    Engine::Current()->device.setRenderState(20, 1); // no culling
    EXPECT_EQ(Clump::Render(model->GetClump()), model->GetClump());
    ASSERT_EQ(Camera::EndUpdate(camera), camera);
    const std::vector<uint32_t> frame = framecheck::ReadRaster(camera->frameBuffer);
    ASSERT_FALSE(frame.empty()) << "the frame buffer locks for reading";
    const uint32_t clear = 0xFF203040u;
    // White prelit vertices under the one-colour texture: the texture's colour.
    const uint32_t skinColour = 0xFFC8285Au;
    EXPECT_EQ(framecheck::CheckFrame("anim_level_walk", kSize, kSize, frame, Reference(frame, skinColour, clear), 2), "");
    EXPECT_GT(std::count(frame.begin(), frame.end(), skinColour), 60) << "the triangle's inside";
    Clump::ForAllAtomics(
        model->GetClump(),
        [](Atomic* a, void*) -> Atomic*
        {
            const Skin* skin = SkinGeometry::GetSkin(a->geometry);
            EXPECT_NE(skin, nullptr);
            if (skin)
                EXPECT_EQ(skin->hardwareSkinned, 0) << "blended on the CPU";
            return a;
        },
        nullptr);
    SkinPlugin::SetCaps(deviceCaps);
    World::RemoveCamera(mWallWorld, camera);
    ::Frame* cameraFrame = camera->object.frame;
    FrameObject::SetFrame(&camera->object, nullptr);
    ::Frame::Destroy(cameraFrame);
    Raster::Destroy(camera->frameBuffer);
    Raster::Destroy(camera->zBuffer);
    camera->frameBuffer = camera->zBuffer = nullptr;
    Camera::Destroy(camera);

    channel->Release();
    EXPECT_EQ(RdEventManager::GetCount(), 0);
    node->Release();
    walk->Release();
    model->Release();
    skeleton->Release();
}

} // namespace
