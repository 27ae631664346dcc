// The model resource: pruning of what no node names, node numbering, binding to a skeleton,
// one clump per user and one shared skeleton.
#include "anim_fixture.h"

#include "animation.h"
#include "clump.h"
#include "clumpwriter.h"
#include "frame.h"
#include "geometry.h"
#include "hbresource.h"
#include "hierarchy.h"
#include "hierarchywriter.h"
#include "rdmodel.h"
#include "rdprofile.h"
#include "rdskeleton.h"
#include "skeletonwriter.h"
#include "skin.h"
#include "skinwriter.h"
#include "stdkey.h"
#include "stream.h"
#include "wrenderer.h"

#include <vector>

namespace
{

using animtest::AnimTest;
using animtest::WriteText;

GeometryDescription Triangle()
{
    GeometryDescription d;
    d.format = kGeometryPositions;
    d.numVertices = 3;
    d.triangles = {{0, 1, 2, 0}};
    d.targets.push_back({{0, 0, 0, 1.0f}, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {}});
    d.materials = {GeometryDescription::Material{}};
    d.listEntries = {0};
    return d;
}

/// Frame 0 (the clump's, no id); bone frames 1 (id 10, the hierarchy), 2 (id 20) and 3
/// (id 30) under it; frame 4 without id under bone 10 holding an atomic; frame 5 without id
/// and empty under bone 30. Atomics on frames 2, 4 and 0.
ClumpDescription Model()
{
    ClumpDescription c;
    c.frames.resize(6);
    c.frames[1].parent = 0;
    c.frames[1].rows[9] = 5.0f;
    c.frames[1].extension = HierarchyWriter::FrameExtension(
        10, {{10, 0}, {20, kHierarchyPush | kHierarchyPop}, {30, kHierarchyPop}}, 0);
    c.frames[2].parent = 1;
    c.frames[2].extension = HierarchyWriter::FrameExtension(20);
    c.frames[3].parent = 1;
    c.frames[3].extension = HierarchyWriter::FrameExtension(30);
    c.frames[4].parent = 1;
    c.frames[5].parent = 3;
    c.geometries = {Triangle()};
    for (int frame : {2, 4, 0})
    {
        ClumpDescription::Atomic a;
        a.frame = frame;
        c.atomics.push_back(a);
    }
    return c;
}

/// A skinned model as content ships it: frame 0 (the clump's), bone 10 (the hierarchy's
/// root) under it and bone 11 under that; a skinned strip on bone 10 and a plain triangle on
/// bone 11.
ClumpDescription SkinnedModel()
{
    ClumpDescription c;
    c.frames.resize(3);
    c.frames[1].parent = 0;
    c.frames[1].extension = SkinWriter::FrameHierarchy(10, {{10, 0}, {11, kHierarchyPop}});
    c.frames[2].parent = 1;
    c.frames[2].rows[9] = 1.0f;
    c.frames[2].extension = SkinWriter::FrameNode(11);
    GeometryDescription strip = Triangle();
    SkinDescription skin;
    skin.boneCount = 2;
    skin.boneIndices = {{0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}};
    skin.weights = {{1, 0, 0, 0}, {1, 0, 0, 0}, {0.5f, 0.5f, 0, 0}};
    skin.inverseMatrices = {{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1, -1, 0, 0}};
    strip.extension = SkinWriter::Current(skin);
    c.geometries = {strip, Triangle()};
    for (int i : {0, 1})
    {
        ClumpDescription::Atomic a;
        a.frame = 1 + i;
        a.geometry = i;
        c.atomics.push_back(a);
    }
    return c;
}

Clump* ReadClump(std::vector<uint8_t> bytes)
{
    MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
    Stream* stream = Stream::Open(kStreamMemory, kStreamRead, &block);
    Clump* clump = nullptr;
    if (stream && Stream::FindChunk(stream, RdModel::kClumpChunk, nullptr, nullptr))
        clump = Clump::StreamRead(stream);
    if (stream)
        Stream::Close(stream, nullptr);
    return clump;
}

int CountAtomics(Clump* clump)
{
    int n = 0;
    Clump::ForAllAtomics(
        clump, [](Atomic* a, void* data) -> Atomic* { return ++*static_cast<int*>(data), a; }, &n);
    return n;
}

class RdModelTest : public AnimTest
{
};

TEST_F(RdModelTest, SetClumpPrunesWhatNoNodeNamesAndNumbersTheNodes)
{
    Clump* clump = ReadClump(ClumpWriter::Write(Model()));
    ASSERT_NE(clump, nullptr);
    ASSERT_EQ(CountAtomics(clump), 3);
    ASSERT_EQ(Frame::CountHierarchy(clump->frame), 6);
    const int32_t registered = WRenderer::GetRegisteredClumpCount();

    RdModel model;
    EXPECT_EQ(model.SetClump(nullptr), 0);
    ASSERT_EQ(model.SetClump(clump), 1);
    EXPECT_EQ(CountAtomics(clump), 1) << "the atomics on frames 4 and 0 are gone";
    EXPECT_EQ(Frame::CountHierarchy(clump->frame), 4) << "the clump's frame and the three bones stay";
    Clump::ForAllAtomics(
        clump,
        [](Atomic* a, void*) -> Atomic*
        {
            EXPECT_EQ(HierarchyFrame::GetAnimNodeId(a->object.frame), 1) << "on the bone that was id 20";
            EXPECT_TRUE(a->object.flags & kAtomicCollisionTest);
            EXPECT_FALSE(a->geometry->flags & kGeometryLight);
            return a;
        },
        nullptr);

    Hierarchy* h = model.GetHierarchy();
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(h->nodeCount, 3);
    for (int32_t i = 0; i < 3; ++i)
    {
        EXPECT_EQ(h->nodes[i].nodeId, i);
        ASSERT_NE(h->nodes[i].frame, nullptr);
        EXPECT_EQ(HierarchyFrame::GetAnimNodeId(h->nodes[i].frame), i);
    }
    EXPECT_EQ(h->flags, kHierarchyUpdateModelling);
    EXPECT_EQ(h->interpolator->apply, StdKeyFrame::Scheme()->apply) << "the standard keyframe scheme";
    EXPECT_EQ(WRenderer::GetRegisteredClumpCount(), registered + 1);
    EXPECT_GT(model.GetBoundingSphere().radius, 0.0f);
    EXPECT_EQ(model.mInUse, 1);

    // A new clump replaces the old one, which the renderer no longer measures.
    ASSERT_EQ(model.SetClump(ReadClump(ClumpWriter::Write(Model()))), 1);
    EXPECT_EQ(WRenderer::GetRegisteredClumpCount(), registered + 1);
}

struct SkinBinding
{
    Hierarchy* skinned = nullptr;
    Hierarchy* plain = nullptr;
    int skinnedCount = 0;
};

SkinBinding Binding(Clump* clump)
{
    SkinBinding b;
    Clump::ForAllAtomics(
        clump,
        [](Atomic* a, void* data) -> Atomic*
        {
            auto* out = static_cast<SkinBinding*>(data);
            if (SkinGeometry::GetSkin(a->geometry))
                out->skinned = SkinAtomic::GetSkinHierarchy(a), ++out->skinnedCount;
            else
                out->plain = SkinAtomic::GetSkinHierarchy(a);
            return a;
        },
        &b);
    return b;
}

TEST_F(RdModelTest, SkinnedAtomicsAreGivenTheModelsOwnHierarchy)
{
    const std::vector<uint8_t> mdl = ClumpWriter::Write(SkinnedModel());
    RdModel model;
    ASSERT_EQ(model.SetClump(ReadClump(mdl)), 1);
    ASSERT_NE(model.GetHierarchy(), nullptr);
    ASSERT_EQ(model.GetHierarchy()->nodeCount, 2);
    SkinBinding b = Binding(model.GetClump());
    EXPECT_EQ(b.skinnedCount, 1);
    EXPECT_EQ(b.skinned, model.GetHierarchy());
    EXPECT_EQ(b.plain, nullptr) << "an atomic without a skin is not bound";

    // A second user's clone is posed by its own hierarchy, not the one it was copied from.
    WriteText("skinned.mdl", std::string(mdl.begin(), mdl.end()));
    HbResourceManager* manager = HbResourceManager::Instance();
    manager->AddPath("A_SKINNED_MDL", "skinned.mdl");
    auto* first = HbCastTo<RdModel>(manager->GetResource("A_SKINNED_MDL"));
    auto* second = HbCastTo<RdModel>(manager->GetResource("A_SKINNED_MDL"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(first->GetHierarchy(), second->GetHierarchy());
    EXPECT_EQ(Binding(first->GetClump()).skinned, first->GetHierarchy());
    EXPECT_EQ(Binding(second->GetClump()).skinned, second->GetHierarchy());
    first->Release();
    second->Release();
    manager->RemovePath("A_SKINNED_MDL");
}

TEST_F(RdModelTest, BindSkeletonStopsAtTheSkeletonsBones)
{
    RdModel model;
    ASSERT_EQ(model.SetClump(ReadClump(ClumpWriter::Write(Model()))), 1);
    RdSkeleton skeleton;
    HbMChunkStream stream(new VectorStreamBuf(SkeletonWriter::Bytes({"Pelvis", "Head"}, nullptr)));
    skeleton.Read(&stream);
    ASSERT_EQ(skeleton.GetBoneCount(), 2);
    model.BindSkeleton(&skeleton);
    Hierarchy* h = model.GetHierarchy();
    EXPECT_EQ(h->nodes[0].nodeId, 3);
    EXPECT_EQ(h->nodes[1].nodeId, 27);
    EXPECT_EQ(h->nodes[2].nodeId, 0) << "no bone 2: id 0";
}

TEST_F(RdModelTest, TwoUsersGetTwoClumpsAndShareOneSkeleton)
{
    const std::vector<uint8_t> mdl = ClumpWriter::Write(Model());
    WriteText("man.mdl", std::string(mdl.begin(), mdl.end()));
    const std::vector<SkeletonProfileRow> profiles = {{"HEAD", {"Head"}}};
    const std::vector<uint8_t> skl = SkeletonWriter::Bytes({"Root", "Pelvis", "Head"}, &profiles);
    WriteText("man.skl", std::string(skl.begin(), skl.end()));
    WriteText("empty.mdl", "no clump here");
    HbResourceManager* manager = HbResourceManager::Instance();
    manager->AddPath("A_MAN_MDL", "man.mdl");
    manager->AddPath("A_MAN_SKL", "man.skl");
    manager->AddPath("A_EMPTY_MDL", "empty.mdl");

    auto* first = HbCastTo<RdModel>(manager->GetResource("A_MAN_MDL"));
    auto* second = HbCastTo<RdModel>(manager->GetResource("A_MAN_MDL"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_NE(first->GetClump(), second->GetClump());
    EXPECT_NE(first->GetHierarchy(), second->GetHierarchy());
    EXPECT_EQ(second->GetName(), "A_MAN_MDL");
    ASSERT_NE(second->GetHierarchy(), nullptr);
    EXPECT_EQ(second->GetHierarchy()->nodeCount, 3);
    EXPECT_EQ(CountAtomics(second->GetClump()), 1);

    auto* skeleton = HbCastTo<RdSkeleton>(manager->GetResource("A_MAN_SKL"));
    ASSERT_NE(skeleton, nullptr);
    skeleton->AddRef();
    EXPECT_EQ(manager->GetResource("A_MAN_SKL"), skeleton);
    EXPECT_EQ(skeleton->GetBoneCount(), 3);
    ASSERT_NE(skeleton->FindProfile(12), nullptr);
    EXPECT_EQ(skeleton->FindProfile(12)->mBoneCount, 1);

    EXPECT_EQ(manager->GetResource("A_EMPTY_MDL"), nullptr) << "a model without a clump fails to load";

    first->Release();
    second->Release();
    skeleton->Release();
    for (const char* id : {"A_MAN_MDL", "A_MAN_SKL", "A_EMPTY_MDL"})
        manager->RemovePath(id);
}

} // namespace
