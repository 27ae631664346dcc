// The animated model node: its description read from the data manager (skeleton, model, light
// field, shadow, collision and hit spheres), entering and leaving the world (shadow, render
// list, update list), nodes on bones, the ready flag its motor sets and the events it receives,
// the motor's bone box, and the model drawn skinned from render list 1; on a skinned model made
// by the writers.
#include "scene_fixture.h"

#include "animation.h"
#include "animationwriter.h"
#include "camera.h"
#include "clump.h"
#include "clumpwriter.h"
#include "engine.h"
#include "frame.h"
#include "framecheck.h"
#include "geometry.h"
#include "hbclock.h"
#include "hbdatamanager.h"
#include "hbresource.h"
#include "hierarchy.h"
#include "raster.h"
#include "rasterreadback.h"
#include "rdanim.h"
#include "rdanimchannel.h"
#include "rdmodel.h"
#include "rdnameidtable.h"
#include "rdskeleton.h"
#include "skeletonwriter.h"
#include "skin.h"
#include "skinwriter.h"
#include "stream.h"
#include "w3danimobject.h"
#include "watomicowner.h"
#include "wrenderitem.h"
#include "wrenderlist.h"
#include "wscene.h"
#include "wshadows.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace
{

using renderertest::SceneTest;

void WriteBytes(const char* path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

/// The clump's frame, "Pelvis" (the hierarchy's root) at its origin and "Head" one unit up;
/// a skinned triangle on the pelvis: vertex 0 on the pelvis, vertex 1 shared half and half,
/// vertex 2 on the head.
std::vector<uint8_t> ManMdl()
{
    ClumpDescription c;
    c.frames.resize(3);
    c.frames[1].parent = 0;
    c.frames[1].extension = SkinWriter::FrameHierarchy(10, {{10, 0}, {11, kHierarchyPop}});
    c.frames[2].parent = 1;
    c.frames[2].rows[10] = 1.0f;
    c.frames[2].extension = SkinWriter::FrameNode(11);
    GeometryDescription g;
    g.format = kGeometryPositions | kGeometryPrelit;
    g.numVertices = 3;
    g.prelit = {{255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}};
    g.triangles = {{0, 1, 2, 0}};
    g.targets.push_back({{0.5f, 0.5f, 0, 1.0f}, {0, 0, 0, 1, 0, 0, 0.5f, 1, 0}, {}});
    g.materials = {GeometryDescription::Material{}};
    g.listEntries = {0};
    SkinDescription skin;
    skin.boneCount = 2;
    skin.boneIndices = {{0, 0, 0, 0}, {0, 1, 0, 0}, {1, 0, 0, 0}};
    skin.weights = {{1, 0, 0, 0}, {0.5f, 0.5f, 0, 0}, {1, 0, 0, 0}};
    skin.inverseMatrices = {{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, -1, 0}};
    g.extension = SkinWriter::Current(skin);
    c.geometries = {g};
    ClumpDescription::Atomic a;
    a.frame = 1;
    c.atomics.push_back(a);
    return ClumpWriter::Write(c);
}

/// One second holding the pelvis at rest and the head one unit up, turned by headTurn about z.
RdAnimation* HeadTurn(float headTurn)
{
    const float half = headTurn * 3.14159265f / 360.0f;
    std::vector<AnimationKeyRow> rows;
    for (float t : {0.0f, 1.0f})
    {
        rows.push_back({0, t, {0, 0, 0, 1}, {0, 0, 0}});
        rows.push_back({1, t, {0, 0, std::sin(half), std::cos(half)}, {0, 1, 0}});
    }
    std::vector<uint8_t> bytes = AnimationWriter::StdAnimation(rows, 1.0f);
    MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
    Stream* stream = Stream::Open(kStreamMemory, kStreamRead, &block);
    uint32_t size = 0;
    Animation* animation = nullptr;
    if (stream && Stream::FindChunk(stream, Animation::kChunkType, &size, nullptr))
        animation = Animation::StreamRead(stream, size);
    if (stream)
        Stream::Close(stream, nullptr);
    auto* resource = new RdAnimation();
    EXPECT_EQ(resource->Setup(animation, "TURN", "turn.anm"), 1);
    return resource;
}

int32_t BoneId(const char* name)
{
    return NameIdTable::Bones()->FindIdByName(name);
}

class AnimObjectTest : public SceneTest
{
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        if (HasFatalFailure())
            return;
        const std::vector<SkeletonProfileRow> profiles = {{"HEAD", {"Head"}}};
        WriteBytes("man.skl", SkeletonWriter::Bytes({"Pelvis", "Head"}, &profiles));
        WriteBytes("man.mdl", ManMdl());
        HbResourceManager::Instance()->AddPath("T_MAN_SKL", "man.skl");
        HbResourceManager::Instance()->AddPath("T_MAN_MDL", "man.mdl");
        ASSERT_EQ(HbDataManager::Create(), 1);
        mScene = new WScene();
        mScene->AddRef();
    }
    void TearDown() override
    {
        for (W3dNode* node : mNodes)
            node->Release();
        if (mScene)
            mScene->Release();
        HbDataManager::Destroy();
        HbResourceManager::Instance()->RemovePath("T_MAN_SKL");
        HbResourceManager::Instance()->RemovePath("T_MAN_MDL");
        SceneTest::TearDown();
    }

    /// The container "MAN" with the skeleton and the model, then what fill adds.
    void Describe(const std::function<void(TDataManagerContainer&)>& fill)
    {
        auto* container = new TDataManagerContainer("MAN");
        container->SetString("SKELETON", "T_MAN_SKL");
        container->SetString("LOD", "T_MAN_MDL");
        if (fill)
            fill(*container);
        ASSERT_EQ(HbDataManager::Root()->AttachChild(container), 1);
    }

    W3dAnimObject* Node(const char* modelId = "MAN")
    {
        W3dAnimObject* node = W3dAnimObject::Create();
        EXPECT_NE(node, nullptr);
        node->AddRef();
        mNodes.push_back(node);
        EXPECT_EQ(node->LoadDescription(modelId), 1);
        return node;
    }

    static std::vector<Atomic*> Atomics(W3dAnimObject* node)
    {
        std::vector<Atomic*> atomics;
        node->ForAllAtomics(
            [](W3dNode*, Atomic* atomic, void* data) -> int32_t
            {
                static_cast<std::vector<Atomic*>*>(data)->push_back(atomic);
                return 1;
            },
            &atomics);
        return atomics;
    }

    WScene* mScene = nullptr;
    std::vector<W3dNode*> mNodes;
};

void SphereKeys(TDataManagerContainer& c, const char* prefix, bool withZ = true)
{
    const std::string p = prefix;
    c.SetString((p + "_BONE").c_str(), "Head");
    c.SetReal((p + "_RADIUS").c_str(), 0.25f);
    c.SetReal((p + "_POS_X").c_str(), 0.1f);
    c.SetReal((p + "_POS_Y").c_str(), 0.2f);
    if (withZ)
        c.SetReal((p + "_POS_Z").c_str(), 0.3f);
}

struct DescriptionCase
{
    const char* name;
    std::function<void(TDataManagerContainer&)> fill;
    uint32_t shadowBits;
    bool lit;
    bool collideable;
    bool headSphere;
};

TEST_F(AnimObjectTest, DescriptionKeysSetFlagsAtomicsAndSpheres)
{
    const DescriptionCase cases[] = {
        {"no further keys", nullptr, 0, false, true, false},
        {"STATIC, lit with a reference bone, not collideable, head sphere",
         [](TDataManagerContainer& c)
         {
             c.SetString("SHADOW_TYPE", "STATIC");
             c.SetInteger("LIGHTFIELD", 1);
             c.SetString("LIGHTFIELD_REF_BONE", "Head");
             c.SetInteger("IS_GEOMETRY_COLLIDEABLE", 0);
             SphereKeys(c, "HEADSHOOT_SPHERE");
         },
         W3dNode::kStaticShadow, true, false, true},
        {"DYNAMIC, LIGHTFIELD 0",
         [](TDataManagerContainer& c)
         {
             c.SetString("SHADOW_TYPE", "DYNAMIC");
             c.SetInteger("LIGHTFIELD", 0);
         },
         W3dNode::kDynamicShadow, false, true, false},
        {"lower-case static sets no shadow", [](TDataManagerContainer& c) { c.SetString("SHADOW_TYPE", "static"); }, 0,
         false, true, false},
        {"head sphere without POS_Z", [](TDataManagerContainer& c) { SphereKeys(c, "HEADSHOOT_SPHERE", false); }, 0,
         false, true, false},
        {"head sphere with a position given as an integer",
         [](TDataManagerContainer& c)
         {
             SphereKeys(c, "HEADSHOOT_SPHERE");
             c.SetInteger("HEADSHOOT_SPHERE_POS_X", 1);
         },
         0, false, true, false},
        {"head sphere on a bone no table holds",
         [](TDataManagerContainer& c)
         {
             SphereKeys(c, "HEADSHOOT_SPHERE");
             c.SetString("HEADSHOOT_SPHERE_BONE", "NoSuchBone");
         },
         0, false, true, false},
    };
    for (const DescriptionCase& tc : cases)
    {
        SCOPED_TRACE(tc.name);
        HbDataManager::Destroy();
        ASSERT_EQ(HbDataManager::Create(), 1);
        Describe(tc.fill);
        W3dAnimObject* node = Node();
        ASSERT_NE(node->GetMotor().GetModel(), nullptr);
        EXPECT_EQ(node->GetName(), "MAN");
        const uint32_t flags = node->GetFlags();
        EXPECT_EQ(flags & (W3dNode::kStaticShadow | W3dNode::kDynamicShadow), tc.shadowBits);
        EXPECT_EQ((flags & W3dNode::kLitByField) != 0, tc.lit);
        EXPECT_NE(flags & W3dNode::kVisible, 0u);
        EXPECT_EQ(flags & W3dNode::kReadyToDraw, 0u) << "not ready before the motor plays";
        const std::vector<Atomic*> atomics = Atomics(node);
        ASSERT_EQ(atomics.size(), 1u);
        EXPECT_EQ((atomics[0]->geometry->flags & kGeometryLight) != 0, tc.lit);
        EXPECT_EQ((atomics[0]->object.flags & kAtomicCollisionTest) != 0, tc.collideable);
        EXPECT_EQ(AtomicOwner::GetOwner(atomics[0]), node);
        ASSERT_EQ(node->GetRenderItems().GetCount(), 1);
        EXPECT_EQ(static_cast<TRenderDataItem*>(node->GetRenderItems()[0])->atomic, atomics[0]);

        Frame* head = node->GetMotor().GetBoneFrame(BoneId("Head"));
        ASSERT_NE(head, nullptr);
        EXPECT_EQ(node->GetLightingFrame(), tc.lit ? head : node->GetEngineFrame());
        const ShootSphere& sphere = node->GetHeadSphere();
        EXPECT_EQ(sphere.enabled, tc.headSphere ? 1 : 0);
        EXPECT_EQ(node->GetHeartSphere().enabled, 0);
        if (tc.headSphere)
        {
            EXPECT_FLOAT_EQ(sphere.radius, 0.25f);
            EXPECT_FLOAT_EQ(sphere.radiusSquared, 0.0625f);
            EXPECT_EQ(sphere.boneFrame, head);
            EXPECT_EQ(sphere.ownFrame->parent, head);
            const Vector headAt = Frame::GetWorldMatrix(head)->pos;
            const Vector centre = sphere.GetWorldCentre();
            EXPECT_NEAR(centre.x, headAt.x + 0.1f, 1e-5f);
            EXPECT_NEAR(centre.y, headAt.y + 0.2f, 1e-5f);
            EXPECT_NEAR(centre.z, headAt.z + 0.3f, 1e-5f);
        }
    }
}

TEST_F(AnimObjectTest, WithoutAContainerTheNodeIsNamedVisibleAndEmpty)
{
    W3dAnimObject* node = Node("NOBODY");
    EXPECT_EQ(node->GetName(), "NOBODY");
    EXPECT_NE(node->GetFlags() & W3dNode::kVisible, 0u);
    EXPECT_EQ(node->GetMotor().GetModel(), nullptr);
    EXPECT_EQ(node->GetEngineObject(), nullptr);
    EXPECT_EQ(node->GetRenderItems().GetCount(), 0);
    EXPECT_EQ(node->GetBoundingSphere()->radius, 0.0f);
    EXPECT_EQ(node->GetRenderLayer(), 1);
}

TEST_F(AnimObjectTest, EnteringTheWorldRegistersShadowRenderListAndUpdateAndLeavingUndoesThem)
{
    WRenderer* renderer = WRenderer::Existing();
    ASSERT_NE(renderer, nullptr);
    Describe([](TDataManagerContainer& c) { c.SetString("SHADOW_TYPE", "DYNAMIC"); });
    W3dAnimObject* node = Node();
    Describe(nullptr); // the same model without a shadow type
    W3dAnimObject* plain = Node();
    const int32_t shadows = WShadows::GetCount();
    WRenderList* list = renderer->GetRenderList(1);
    const int32_t listed = list->GetCount();

    node->AddToScene(mScene);
    plain->AddToScene(mScene);
    EXPECT_EQ(WShadows::GetCount(), shadows + 1) << "only the node with a shadow type";
    EXPECT_EQ(plain->GetShadowId(), -1);
    const WShadowDesc* desc = WShadows::GetDesc(node->GetShadowId());
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(desc->kind, WShadowDesc::kProjected);
    EXPECT_FLOAT_EQ(desc->strength, 0.3f);
    EXPECT_EQ(desc->clump, node->GetEngineObject());
    EXPECT_EQ(desc->lightDirection, &node->GetLightDirection());
    EXPECT_EQ(desc->groundVector, &node->GetShadowVector());
    EXPECT_EQ(desc->visible, 1);
    const Sphere& bounds = node->GetMotor().GetModel()->GetBoundingSphere();
    EXPECT_EQ(desc->offset.y, bounds.centre.y);
    EXPECT_GT(bounds.radius, 0.0f);
    EXPECT_FLOAT_EQ(desc->radius, bounds.radius * 1.1f) << "the shadow service's margin";
    EXPECT_EQ(node->GetMotor().GetModel()->mInUse, 1);
    EXPECT_EQ(list->GetCount(), listed + 2);
    auto* item = static_cast<TRenderDataItem*>(node->GetRenderItems()[0]);
    EXPECT_EQ(item->list, 1);
    ASSERT_EQ(mScene->GetUpdateCount(), 2u);
    EXPECT_EQ(mScene->GetUpdatable(0), node);

    node->RemoveFromScene();
    EXPECT_EQ(WShadows::GetCount(), shadows);
    EXPECT_EQ(node->GetShadowId(), -1);
    EXPECT_EQ(item->list, -1);
    EXPECT_EQ(list->GetCount(), listed + 1);
    mScene->Update();
    EXPECT_EQ(mScene->GetUpdateCount(), 1u);
    EXPECT_EQ(mScene->GetUpdatable(0), plain);
    plain->RemoveFromScene();
    EXPECT_EQ(list->GetCount(), listed);
}

TEST_F(AnimObjectTest, TheFirstUpdateWithAChannelMakesTheNodeReadyAndItsEventsReachTheReceiver)
{
    Describe(nullptr);
    W3dAnimObject* node = Node();
    std::vector<int32_t> events;
    node->mEventReceiver = [](int32_t id, void* data) { static_cast<std::vector<int32_t>*>(data)->push_back(id); };
    node->mEventReceiverData = &events;
    node->AddToScene(mScene);
    mScene->Update();
    EXPECT_EQ(node->GetFlags() & W3dNode::kReadyToDraw, 0u) << "no channel yet";
    RdAnimation* turn = HeadTurn(90.0f);
    ASSERT_EQ(turn->GetEventSet()->Add({0.2f, 21}), 1);
    ASSERT_NE(node->GetMotor().PlayAnim(turn, 1, 0.0f), nullptr);
    EXPECT_EQ(node->GetFlags() & W3dNode::kReadyToDraw, 0u) << "set by the update, not by playing";
    HbGameClock* clock = HbGameClock::Instance();
    const float stepSeconds = clock->mStepSeconds;
    clock->mStepSeconds = 0.3f;
    clock->mGameTime += int64_t(0.3 * double(HbPerformanceFrequency()));
    mScene->Update();
    clock->mStepSeconds = stepSeconds;
    EXPECT_NE(node->GetFlags() & W3dNode::kReadyToDraw, 0u);
    EXPECT_EQ(events, std::vector<int32_t>{21});
    node->RemoveFromScene();
}

TEST_F(AnimObjectTest, ASecondNodeOnABoneReleasesTheFirst)
{
    Describe(nullptr);
    W3dAnimObject* node = Node();
    const int32_t head = BoneId("Head");
    W3dFrame* first = W3dFrame::Create();
    W3dFrame* second = W3dFrame::Create();
    first->AddRef();
    second->AddRef();
    mNodes.push_back(first);
    mNodes.push_back(second);

    EXPECT_EQ(node->AttachNode(nullptr, head), nullptr);
    EXPECT_EQ(node->AttachNode(first, BoneId("Upper_Torso")), nullptr) << "a bone the model lacks";
    EXPECT_EQ(node->AttachNode(first, head), first);
    Frame* headFrame = node->GetMotor().GetBoneFrame(head);
    EXPECT_EQ(first->GetParent(), node);
    EXPECT_EQ(first->GetEngineFrame()->parent, headFrame);
    EXPECT_GT(first->GetRefCount(), 1);

    EXPECT_EQ(node->AttachNode(second, head), second);
    EXPECT_EQ(first->GetRefCount(), 1) << "both of the node's references given back";
    EXPECT_EQ(first->GetParent(), nullptr);
    EXPECT_EQ(first->GetEngineFrame()->parent, nullptr);
    EXPECT_EQ(node->GetAttachedNode(head), second);
    EXPECT_EQ(second->GetEngineFrame()->parent, headFrame);

    EXPECT_EQ(node->DetachNode(first), 0);
    EXPECT_EQ(node->DetachNode(second), 1);
    EXPECT_EQ(second->GetRefCount(), 1);
    EXPECT_EQ(node->GetAttachedNode(head), nullptr);
    EXPECT_EQ(node->DetachNode(second), 0) << "an empty map";

    // A node destroyed with a node on a bone gives it back.
    EXPECT_EQ(node->AttachNode(first, head), first);
    mNodes.erase(mNodes.begin());
    node->Release();
    EXPECT_EQ(first->GetRefCount(), 1);
    EXPECT_EQ(first->GetEngineFrame()->parent, nullptr);
}

/// The min and max corners of a box atomic's vertices.
void Corners(Atomic* box, Vector* low, Vector* high)
{
    const MorphTarget& target = box->geometry->morphTargets[0];
    *low = *high = target.positions[0];
    for (int32_t v = 1; v < box->geometry->numVertices; ++v)
    {
        const Vector& p = target.positions[v];
        *low = {std::fmin(low->x, p.x), std::fmin(low->y, p.y), std::fmin(low->z, p.z)};
        *high = {std::fmax(high->x, p.x), std::fmax(high->y, p.y), std::fmax(high->z, p.z)};
    }
}

void DestroyBox(Atomic* box)
{
    Frame* frame = box->object.frame;
    Atomic::Destroy(box);
    if (frame)
        Frame::Destroy(frame);
}

TEST_F(AnimObjectTest, BoneBoxHoldsTheSkinnedVerticesTheBoneMovesInItsSpace)
{
    Describe(nullptr);
    W3dAnimObject* node = Node();
    RdAnimMotor& motor = node->GetMotor();
    RdAnimation* turn = HeadTurn(90.0f);
    ASSERT_NE(motor.PlayAnim(turn, 1, 0.0f), nullptr);
    node->Update();

    EXPECT_EQ(motor.BuildBoneBox(BoneId("Upper_Torso"), nullptr, nullptr), nullptr);
    // The head's vertex stays at (0.5, 0, 0) in the head's space; the shared one is half
    // turned with the head: (1, 1, 0) in the world, (0, -1, 0) for the head. The pelvis's own
    // vertex plays no part.
    Atomic* box = motor.BuildBoneBox(BoneId("Head"), nullptr, nullptr);
    ASSERT_NE(box, nullptr);
    Vector low, high;
    Corners(box, &low, &high);
    EXPECT_NEAR(high.x, 0.5f, 1e-5f);
    EXPECT_NEAR(high.y, 0.0f, 1e-5f);
    EXPECT_NEAR(low.x, 0.0f, 1e-5f);
    EXPECT_NEAR(low.y, -1.0f, 1e-5f);
    EXPECT_NEAR(low.z, 0.0f, 1e-5f);
    EXPECT_NEAR(high.z, 0.0f, 1e-5f);
    DestroyBox(box);

    const Vector grow = {0.1f, 0.2f, 0.3f}, shift = {1, 0, -1};
    box = motor.BuildBoneBox(BoneId("Head"), &grow, &shift);
    ASSERT_NE(box, nullptr);
    Corners(box, &low, &high);
    EXPECT_NEAR(high.x, 1.6f, 1e-5f);
    EXPECT_NEAR(low.x, 0.9f, 1e-5f);
    EXPECT_NEAR(high.y, 0.2f, 1e-5f);
    EXPECT_NEAR(low.y, -1.2f, 1e-5f);
    EXPECT_NEAR(high.z, -0.7f, 1e-5f);
    EXPECT_NEAR(low.z, -1.3f, 1e-5f);
    DestroyBox(box);
}

struct Point
{
    double x, y;
};

double Cross(Point a, Point b, Point p)
{
    return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
}

constexpr int kSize = 64;
constexpr float kDepth = 2.0f;

/// The triangle (world x, y at depth kDepth) seen by a camera at the origin looking along z
/// with a view window of 1 (x mirrored); pixels within a tenth of a unit of an edge are taken
/// from the actual frame.
std::vector<uint32_t> Reference(const Point v[3], const std::vector<uint32_t>& actual, uint32_t colour,
                                uint32_t background)
{
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

/// Render list 1 drawn through a 64 x 64 camera at the origin, read back.
std::vector<uint32_t> DrawListOne(WRenderList* list)
{
    std::vector<uint32_t> frame;
    Camera* camera = Camera::Create();
    if (!camera)
        return frame;
    camera->frameBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeCamera);
    camera->zBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeZBuffer);
    FrameObject::SetFrame(&camera->object, ::Frame::Create());
    const Vector2 window = {1.0f, 1.0f};
    Camera::SetViewWindow(camera, &window);
    Camera::SetNearClipPlane(camera, 0.1f);
    Camera::SetFarClipPlane(camera, 10.0f);
    const Rgba background = {0x20, 0x30, 0x40, 0xFF};
    Camera::Clear(camera, &background, kCameraClearImage | kCameraClearZ);
    if (Camera::BeginUpdate(camera))
    {
        Engine::Current()->device.setRenderState(20, 1); // no culling
        list->Render();
        Camera::EndUpdate(camera);
    }
    frame = framecheck::ReadRaster(camera->frameBuffer);
    ::Frame* cameraFrame = camera->object.frame;
    FrameObject::SetFrame(&camera->object, nullptr);
    ::Frame::Destroy(cameraFrame);
    Raster::Destroy(camera->frameBuffer);
    Raster::Destroy(camera->zBuffer);
    camera->frameBuffer = camera->zBuffer = nullptr;
    Camera::Destroy(camera);
    return frame;
}

TEST_F(AnimObjectTest, ListOneDrawsTheModelSkinnedByItsMotorOnceItHasPlayed)
{
    const SkinDeviceCaps deviceCaps = SkinPlugin::GetCaps();
    SkinDeviceCaps caps = deviceCaps;
    caps.hardwareSkinning = 0;
    SkinPlugin::SetCaps(caps);
    Describe(nullptr);
    W3dAnimObject* node = Node();
    const Vector at = {0, -0.5f, kDepth};
    Frame::Translate(node->GetEngineFrame(), &at, kCombineReplace);
    node->AddToScene(mScene);
    WRenderList* list = WRenderer::Existing()->GetRenderList(1);
    const uint32_t clear = 0xFF203040u;

    std::vector<uint32_t> frame = DrawListOne(list);
    ASSERT_EQ(frame.size(), size_t(kSize) * kSize);
    EXPECT_EQ(std::count(frame.begin(), frame.end(), clear), kSize * kSize) << "not ready before its motor plays";

    // The head turned a quarter about z: the head's vertex goes from (0.5, 1) to (0, 1.5),
    // the shared one half way with it, from (1, 0) to (1, 1).
    ASSERT_NE(node->GetMotor().PlayAnim(HeadTurn(90.0f), 1, 0.0f), nullptr);
    mScene->Update();
    frame = DrawListOne(list);
    ASSERT_EQ(frame.size(), size_t(kSize) * kSize);
    const Point posed[3] = {{0, -0.5}, {1, 0.5}, {0, 1.0}};
    const uint32_t white = 0xFFFFFFFFu; // white prelit vertices, unlit
    EXPECT_EQ(framecheck::CheckFrame("anim_node_posed", kSize, kSize, frame, Reference(posed, frame, white, clear), 2),
              "");
    EXPECT_GT(std::count(frame.begin(), frame.end(), white), 60) << "the triangle's inside";
    node->RemoveFromScene();
    SkinPlugin::SetCaps(deviceCaps);
}

} // namespace
