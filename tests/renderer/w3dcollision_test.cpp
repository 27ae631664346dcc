// Node collision sets and queries: volumes of the three kinds joining and leaving the main
// world once, collision masks, the sets of a node hung under a node in a scene, the line
// test's nearest hit with filters and ignored nodes, the bullet test's direct hits and
// grazes, the sphere-segment test, the sector queries and the box collision atomic.
#include "collisiontreewriter.h"
#include "frame.h"
#include "geometry.h"
#include "material.h"
#include "scene_fixture.h"
#include "w3dcollision.h"
#include "w3dlevel.h"
#include "w3dnode.h"
#include "watomicowner.h"
#include "world.h"
#include "worldwriter.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <cmath>

namespace renderertest
{
namespace
{

// A floor at y = 0 over x, z in [-100, 100], facing up, in two leaves split at x = 0: the
// left one's triangles take material 0 (green 0x10), the right one's material 1 (0x20).
World* MakeFloorWorld()
{
    WorldDescription d;
    d.materials = {{{200, 0x10, 0, 255}}, {{0, 0x20, 200, 255}}};
    d.listEntries = {0, 1};
    for (int32_t side = 0; side < 2; ++side)
    {
        float x0 = side ? 0.0f : -100.0f, x1 = side ? 100.0f : 0.0f;
        WorldDescription::Leaf leaf;
        leaf.positions = {x0, 0, -100, x0, 0, 100, x1, 0, -100, x1, 0, 100};
        uint16_t material = uint16_t(side);
        leaf.triangles = {{0, 1, 2, material}, {2, 1, 3, material}};
        std::vector<std::array<uint16_t, 3>> triangles = {{0, 1, 2}, {2, 1, 3}};
        leaf.extension = CollisionTreeWriter::WriteExtension(
            CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
        d.leaves.push_back(leaf);
    }
    WorldDescription::Node plane;
    plane.axis = 0;
    plane.value = 0.0f;
    plane.leftExtent = 0.0f;
    plane.rightExtent = 0.0f;
    plane.left = 1;
    plane.right = 2;
    WorldDescription::Node left, right;
    left.leaf = 0;
    right.leaf = 1;
    d.nodes = {plane, left, right};
    d.box = {100, 1, 100, -100, -1, -100};

    return ReadWorldChunk(WorldWriter::Write(d));
}

const float kUnitBox[6] = {1, 1, 1, -1, -1, -1};

class Collisions : public SceneTest
{
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        mWorld = MakeFloorWorld();
        ASSERT_NE(mWorld, nullptr);
        mLevel = W3dLevel::Create();
        mLevel->AddRef();
        mLevel->SetMainWorld(mWorld);
        mScenePtr = new WScene();
        mScenePtr->AddRef();
        mScenePtr->SetLevel(mLevel);
    }
    void TearDown() override
    {
        if (mScenePtr)
            mScenePtr->Release();
        if (mLevel)
            mLevel->Release();
        if (mWorld)
            World::Destroy(mWorld);
        SceneTest::TearDown();
    }

    // A box collision atomic moved to the position.
    static Atomic* Box(const float box[6], Vector at = {0, 0, 0})
    {
        Atomic* atomic = CreateBoxGeometry(box);
        Frame::Translate(atomic->object.frame, &at, kCombineReplace);
        return atomic;
    }

    World* mWorld = nullptr;
    W3dLevel* mLevel = nullptr;
    WScene* mScenePtr = nullptr;
    /// The scene whose level's main world the volumes join.
    WScene& Scene() { return *mScenePtr; }
};

TEST_F(Collisions, VolumesOfTheThreeKindsJoinAndLeaveTheWorldOnce)
{
    Frame* sphereFrame = Frame::Create();
    W3dCollisionNode* sphere =
        W3dCollisionNode::CreateForFrame(sphereFrame, W3dCollisionNode::NewSphere({{0, 0, 0}, 5}), &Scene());
    EXPECT_EQ(sphere->kind, uint32_t(W3dCollisionNode::kFrameSphere));

    Atomic* boxAtomic = Box(kUnitBox);
    W3dCollisionNode* box = W3dCollisionNode::CreateForAtomic(boxAtomic, &Scene());
    EXPECT_EQ(box->kind, uint32_t(W3dCollisionNode::kAtomic | W3dCollisionNode::kOwnsFrame));
    EXPECT_EQ(box->sphere, &boxAtomic->boundingSphere);
    EXPECT_EQ(Atomic::GetWorld(boxAtomic), mWorld);

    LoggingNode* node = LoggingNode::Make("model");
    node->SetClump(MakeClump({nullptr, nullptr}));
    node->AddRef(); // the test's
    W3dCollisionNode* whole = W3dCollisionNode::CreateForNode(node, nullptr);
    EXPECT_EQ(node->GetRefCount(), 2) << "the volume holds a reference";
    EXPECT_EQ(whole->frame, node->GetClump()->frame) << "placed by the engine object's frame";
    for (Atomic* atomic : Atomics(node->GetClump()))
        EXPECT_EQ(Atomic::GetWorld(atomic), nullptr) << "no scene given: not in the world";
    whole->AddToWorld(&Scene());
    whole->AddToWorld(&Scene());
    for (Atomic* atomic : Atomics(node->GetClump()))
        EXPECT_EQ(Atomic::GetWorld(atomic), mWorld);
    whole->RemoveFromWorld(nullptr);
    EXPECT_EQ(whole->inWorld, 1) << "removing with no scene does nothing";
    whole->RemoveFromWorld(&Scene());
    for (Atomic* atomic : Atomics(node->GetClump()))
        EXPECT_EQ(Atomic::GetWorld(atomic), nullptr);

    W3dCollisionTree tree;
    tree.SetRoot(sphere);
    sphere->AddChild(box);
    sphere->AddChild(whole);
    EXPECT_EQ(whole->depth, 1);
    EXPECT_EQ(box->tree, &tree);
    Vector moved = {0, 10, 0};
    Frame::Translate(sphereFrame, &moved, kCombineReplace);
    const Sphere* world = sphere->GetWorldSphere();
    EXPECT_NEAR(world->centre.y, 10.0f, 1e-5f);
    EXPECT_EQ(world->radius, 5.0f);

    tree.RemoveFromWorld(&Scene());
    EXPECT_EQ(Atomic::GetWorld(boxAtomic), nullptr);
    tree.Clear(); // the subtree destroyed, the node released
    EXPECT_EQ(tree.GetRoot(), nullptr);
    EXPECT_EQ(node->GetRefCount(), 1);
    node->Release();
}

TEST_F(Collisions, MasksSetTheCollisionFlagAndTheMaterialGreenByte)
{
    Atomic* boxAtomic = Box(kUnitBox);
    W3dCollisionNode* box = W3dCollisionNode::CreateForAtomic(boxAtomic, nullptr);
    boxAtomic->object.flags = kAtomicRender;
    Material* material = boxAtomic->geometry->materials.materials[0];
    material->colour.green = 0x01;

    box->AddMask(0x20);
    EXPECT_EQ(boxAtomic->object.flags, kAtomicCollisionTest) << "collision on, never drawn";
    EXPECT_EQ(material->colour.green, 0x21);
    EXPECT_EQ(box->mask, 0x20);

    W3dCollisionTree tree;
    tree.SetRoot(box);
    tree.SetEnabled(0);
    EXPECT_EQ(boxAtomic->object.flags & kAtomicCollisionTest, 0) << "disabled: mask 0";
    EXPECT_EQ(tree.IsEnabled(), 0);
    tree.SetEnabled(1);
    EXPECT_EQ(boxAtomic->object.flags & kAtomicCollisionTest, kAtomicCollisionTest);
    EXPECT_EQ(material->colour.green, 0x21);

    LoggingNode* node = LoggingNode::Make("model");
    node->SetClump(MakeClump({nullptr, nullptr}));
    node->AddRef(); // the test's
    W3dCollisionNode* whole = W3dCollisionNode::CreateForNode(node, nullptr);
    whole->AddMask(0x40);
    for (Atomic* atomic : Atomics(node->GetClump()))
    {
        EXPECT_EQ(atomic->object.flags & (kAtomicCollisionTest | kAtomicRender), kAtomicCollisionTest);
        EXPECT_EQ(atomic->geometry->materials.materials[0]->colour.green & 0x40, 0x40);
    }
    W3dCollisionNode::DestroySubtree(whole);
    node->Release();
}

TEST_F(Collisions, SetsJoinTheWorldOnlyForTheNodeHungUnderASceneNode)
{
    LoggingNode* root = LoggingNode::Make("root");
    root->AddToScene(&Scene());
    W3dFrame* child = W3dFrame::Create();
    W3dFrame* grandchild = W3dFrame::Create();
    Atomic* childBox = Box(kUnitBox);
    Atomic* grandchildBox = Box(kUnitBox);
    child->GetMoveCollisionSet().SetRoot(W3dCollisionNode::CreateForAtomic(childBox, nullptr));
    grandchild->GetShootCollisionSet().SetRoot(W3dCollisionNode::CreateForAtomic(grandchildBox, nullptr));
    child->AttachChild(grandchild);

    root->AttachChild(child);
    EXPECT_EQ(Atomic::GetWorld(childBox), mWorld);
    EXPECT_EQ(Atomic::GetWorld(grandchildBox), nullptr) << "a descendant's sets stay out";
    EXPECT_EQ(grandchild->GetScene(), &Scene());

    child->AddRef();
    root->RemoveChild(child);
    EXPECT_EQ(Atomic::GetWorld(childBox), nullptr);
    child->Release(); // destroys the sets with the volumes and their atomics
    root->RemoveFromScene();
    root->Release();
}

// Keeps static triangles only.
int32_t StaticOnly(const W3dCollisionResult* candidate)
{
    return candidate->kind == W3dCollisionResult::kStaticTriangle;
}

TEST_F(Collisions, TheLineTestFindsTheNearestAcceptedHit)
{
    // A box owned by a node, above the left half of the floor at y 2 to 4.
    const float raised[6] = {-45, 4, -45, -55, 2, -55};
    Atomic* boxAtomic = Box(raised);
    W3dFrame* owner = W3dFrame::Create();
    AtomicOwner::Get(boxAtomic)->owner = owner;
    World::AddAtomic(mWorld, boxAtomic);
    Frame::SyncDirtyList();

    Vector start = {-50, 10, -50}, end = {-50, -10, -50};
    W3dCollisionResult result;
    ASSERT_EQ(CollisionTestLineEx(mWorld, mWorld, &start, &end, nullptr, nullptr, &result, nullptr), 1);
    EXPECT_EQ(result.kind, W3dCollisionResult::kAtomicTriangle);
    EXPECT_NEAR(result.distance, 0.3f, 1e-4f) << "the box top is nearer than the floor";
    EXPECT_EQ(result.hitNode, owner);
    EXPECT_NEAR(result.normal.y, 1.0f, 1e-5f);

    const struct
    {
        const char* name;
        W3dCollisionFilter filter;
        const W3dNode* ignore;
        bool ownerless;
    } floorCases[] = {
        {"a filter that keeps static triangles", StaticOnly, nullptr, false},
        {"the owner ignored", nullptr, owner, false},
        {"an atomic without an owner", nullptr, nullptr, true},
    };
    for (const auto& c : floorCases)
    {
        AtomicOwner::Get(boxAtomic)->owner = c.ownerless ? nullptr : owner;
        ASSERT_EQ(CollisionTestLineEx(mWorld, mWorld, &start, &end, c.ignore, nullptr, &result, c.filter), 1) << c.name;
        EXPECT_EQ(result.kind, W3dCollisionResult::kStaticTriangle) << c.name;
        EXPECT_NEAR(result.distance, 0.5f, 1e-4f) << c.name;
        EXPECT_EQ(result.color[1], 0x10) << c.name << ": the left leaf's material";
        EXPECT_EQ(result.hitNode, nullptr) << c.name;
    }

    Vector rightStart = {50, 10, 50}, rightEnd = {50, -10, 50};
    ASSERT_EQ(CollisionTestLineEx(nullptr, mWorld, &rightStart, &rightEnd, nullptr, nullptr, &result, nullptr), 1);
    EXPECT_EQ(result.color[1], 0x20) << "the right leaf's material";
    Vector upStart = {50, -10, 50}, upEnd = {50, 10, 50};
    EXPECT_EQ(CollisionTestLineEx(nullptr, mWorld, &upStart, &upEnd, nullptr, nullptr, &result, nullptr), 0)
        << "the floor's back face";
    EXPECT_EQ(result.distance, FLT_MAX);

    World::RemoveAtomic(mWorld, boxAtomic);
    W3dCollisionNode::DestroySubtree(W3dCollisionNode::CreateForAtomic(boxAtomic, nullptr));
    owner->Release();
}

int32_t RejectAll(const W3dCollisionResult*)
{
    return 0;
}

TEST_F(Collisions, CollideSegmentTellsDirectHitsFromGrazes)
{
    Frame* rootFrame = Frame::Create();
    W3dCollisionTree tree;
    W3dCollisionNode* root =
        W3dCollisionNode::CreateForFrame(rootFrame, W3dCollisionNode::NewSphere({{0, 0, 0}, 50}), nullptr);
    W3dCollisionNode* box = W3dCollisionNode::CreateForAtomic(Box(kUnitBox), nullptr);
    tree.SetRoot(root);
    root->AddChild(box);
    // The line runs on by the radius of the box's sphere (the engine's, about sqrt 3).
    const float radius = Atomic::GetWorldBoundingSphere(box->atomic)->radius;
    EXPECT_NEAR(radius, std::sqrt(3.0f), 0.01f);
    const float pushed = 20.0f + radius;

    const struct
    {
        const char* name;
        float x;
        float margin;
        W3dCollisionFilter filter;
        int32_t hit;
        int32_t hitType;
        float distance;
        float endZ;
    } cases[] = {
        {"through the box", 0.0f, 0.0f, nullptr, 1, W3dCollisionQuery::kDirectHit, 9.0f / pushed, 10.0f + radius},
        {"a rejected triangle", 0.0f, 0.0f, RejectAll, 0, W3dCollisionQuery::kNoHit, 1.05f, 10.0f},
        {"past it, within the margin", 3.0f, 2.0f, nullptr, 1, W3dCollisionQuery::kGraze, std::sqrt(109.0f) / pushed,
         10.0f},
        {"past it, beyond the margin", 3.0f, 0.5f, nullptr, 0, W3dCollisionQuery::kNoHit, 1.05f, 10.0f},
        {"inside the sphere, no margin: no graze", 1.5f, 0.0f, nullptr, 0, W3dCollisionQuery::kNoHit, 1.05f, 10.0f},
        {"far from the root sphere", 80.0f, 5.0f, nullptr, 0, W3dCollisionQuery::kNoHit, 1.05f, 10.0f},
    };
    for (const auto& c : cases)
    {
        W3dCollisionQuery query;
        query.filter = c.filter;
        Vector segment[2] = {{c.x, 0, -10}, {c.x, 0, 10}};
        EXPECT_EQ(tree.CollideSegment(&query, segment, c.margin), c.hit) << c.name;
        EXPECT_EQ(query.hitType, c.hitType) << c.name;
        EXPECT_NEAR(query.distance, c.distance, 1e-4f) << c.name;
        EXPECT_NEAR(segment[1].z, c.endZ, 1e-4f) << c.name;
        if (c.hit)
        {
            EXPECT_EQ(query.hitVolume, box) << c.name;
        }
        if (c.hitType == W3dCollisionQuery::kDirectHit)
        {
            EXPECT_NEAR(query.normal.z, -1.0f, 1e-5f) << c.name;
            EXPECT_EQ(query.kind, W3dCollisionResult::kAtomicTriangle);
        }
        if (c.hitType == W3dCollisionQuery::kGraze)
        {
            EXPECT_NEAR(query.bestCosine, 10.0f / std::sqrt(109.0f), 1e-4f) << c.name;
        }
    }

    // An inner volume only steers: hit there, but its leaf child misses.
    W3dCollisionTree steering;
    W3dCollisionNode* outer = W3dCollisionNode::CreateForAtomic(Box(kUnitBox), nullptr);
    Frame* farFrame = Frame::Create();
    W3dCollisionNode* far =
        W3dCollisionNode::CreateForFrame(farFrame, W3dCollisionNode::NewSphere({{0, 500, 0}, 1}), nullptr);
    steering.SetRoot(outer);
    outer->AddChild(far);
    W3dCollisionQuery query;
    Vector segment[2] = {{0, 0, -10}, {0, 0, 10}};
    EXPECT_EQ(steering.CollideSegment(&query, segment, 0.0f), 0);
}

TEST_F(Collisions, SphereSegmentCases)
{
    const Sphere unit = {{0, 0, 0}, 1};
    const struct
    {
        const char* name;
        Sphere sphere;
        Vector start, end;
        float margin;
        bool meets;
    } cases[] = {
        {"starts inside, pointing away", unit, {0, 0, 0.5f}, {0, 0, 10}, 0, true},
        {"ends inside", unit, {0, 0, -10}, {0, 0.5f, 0}, 0, true},
        {"passes nearer than the radius", unit, {-5, 0.5f, 0}, {5, 0.5f, 0}, 0, true},
        {"passes farther", unit, {-5, 2, 0}, {5, 2, 0}, 0, false},
        {"passes within the margin", unit, {-5, 2, 0}, {5, 2, 0}, 1.5f, true},
        {"nearest point beyond the end", {{10, 0, 0}, 1}, {-5, 0, 0}, {5, 0, 0}, 0, false},
        {"nearest point before the start", {{-10, 0, 0}, 1}, {-5, 0, 0}, {5, 0, 0}, 0, false},
    };
    for (const auto& c : cases)
    {
        Vector segment[2] = {c.start, c.end};
        Vector d = {c.end.x - c.start.x, c.end.y - c.start.y, c.end.z - c.start.z};
        float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
        d = {d.x / length, d.y / length, d.z / length};
        EXPECT_EQ(SphereIntersectsSegment(&c.sphere, &d, segment, c.margin), c.meets) << c.name;
    }
}

TEST_F(Collisions, SectorQueries)
{
    Vector left = {-50, 0, 0}, right = {50, 0, 0};
    WorldSector* leftSector = LevelFindSectorAtPoint(mWorld, &left);
    WorldSector* rightSector = LevelFindSectorAtPoint(mWorld, &right);
    ASSERT_NE(leftSector, nullptr);
    ASSERT_NE(rightSector, nullptr);
    EXPECT_NE(leftSector, rightSector);
    EXPECT_EQ(CollisionTriangleGetMaterialColor(leftSector, 1).green, 0x10);
    EXPECT_EQ(CollisionTriangleGetMaterialColor(rightSector, 0).green, 0x20);
    EXPECT_EQ(LevelFindSectorAtPoint(nullptr, &left), nullptr);
    Vector outside = {500, 0, 0};
    EXPECT_EQ(LevelFindSectorAtPoint(mWorld, &outside), rightSector) << "outside: the partition's sector";

    HbPtrArray sectors;
    Sphere middle = {{0, 0, 0}, 10};
    LevelCollectSectorsInSphere(&sectors, mWorld, &middle);
    EXPECT_EQ(sectors.GetCount(), 2);
    sectors.RemoveAll();
    Sphere leftOnly = {{-50, 0, 0}, 5};
    LevelCollectSectorsInSphere(&sectors, mWorld, &leftOnly);
    ASSERT_EQ(sectors.GetCount(), 1);
    EXPECT_EQ(sectors[0], leftSector);
}

TEST_F(Collisions, BoxGeometryHas24VerticesAnd12OutwardTriangles)
{
    const float box[6] = {2, 3, 4, -1, -2, -3};
    Atomic* atomic = CreateBoxGeometry(box);
    ASSERT_NE(atomic, nullptr);
    Geometry* geometry = atomic->geometry;
    EXPECT_EQ(geometry->numVertices, 24);
    EXPECT_EQ(geometry->numTriangles, 12);
    EXPECT_EQ(atomic->object.flags & (kAtomicCollisionTest | kAtomicRender), kAtomicCollisionTest);
    ASSERT_EQ(geometry->materials.count, 1);
    const Material* material = geometry->materials.materials[0];
    EXPECT_EQ(material->surface.ambient, 0.4f);
    EXPECT_EQ(material->surface.specular, 0.0f);
    EXPECT_EQ(material->surface.diffuse, 0.7f);
    EXPECT_EQ(material->colour.red | material->colour.green | material->colour.blue | material->colour.alpha, 0);

    const Vector faceNormals[6] = {{0, 1, 0}, {1, 0, 0}, {0, -1, 0}, {-1, 0, 0}, {0, 0, -1}, {0, 0, 1}};
    const MorphTarget& target = geometry->morphTargets[0];
    for (int32_t f = 0; f < 6; ++f)
    {
        const Triangle& first = geometry->triangles[2 * f];
        const Triangle& second = geometry->triangles[2 * f + 1];
        EXPECT_EQ(first.vertex[0], 4 * f);
        EXPECT_EQ(first.vertex[1], 4 * f + 1);
        EXPECT_EQ(first.vertex[2], 4 * f + 2);
        EXPECT_EQ(second.vertex[0], 4 * f + 3);
        EXPECT_EQ(second.vertex[1], 4 * f + 2);
        EXPECT_EQ(second.vertex[2], 4 * f + 1);
        for (const Triangle* t : {&first, &second})
        {
            const Vector& a = target.positions[t->vertex[0]];
            const Vector& b = target.positions[t->vertex[1]];
            const Vector& c = target.positions[t->vertex[2]];
            Vector u = {b.x - a.x, b.y - a.y, b.z - a.z}, v = {c.x - a.x, c.y - a.y, c.z - a.z};
            Vector n = {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
            const Vector& want = faceNormals[f];
            EXPECT_GT(n.x * want.x + n.y * want.y + n.z * want.z, 0.0f) << "face " << f << " faces out";
        }
        for (int32_t v = 0; v < 4; ++v)
        {
            const Vector& n = target.normals[4 * f + v];
            EXPECT_EQ(n.x, faceNormals[f].x);
            EXPECT_EQ(n.y, faceNormals[f].y);
            EXPECT_EQ(n.z, faceNormals[f].z);
        }
    }
    const Sphere& sphere = target.boundingSphere;
    for (int32_t v = 0; v < 24; ++v)
    {
        const Vector& p = target.positions[v];
        float dx = p.x - sphere.centre.x, dy = p.y - sphere.centre.y, dz = p.z - sphere.centre.z;
        EXPECT_LE(std::sqrt(dx * dx + dy * dy + dz * dz), sphere.radius + 1e-3f);
    }
    W3dCollisionNode::DestroySubtree(W3dCollisionNode::CreateForAtomic(atomic, nullptr));
}

} // namespace
} // namespace renderertest
