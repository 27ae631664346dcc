// The walker, its weapons and its animations.
#include "walker_fixture.h"

#include "animationwriter.h"
#include "clump.h"
#include "clumpwriter.h"
#include "geometry.h"
#include "hbchunkstream.h"
#include "hbresource.h"
#include "hierarchy.h"
#include "hierarchywriter.h"
#include "rdanimmotor.h"
#include "rdmodel.h"
#include "rdskeleton.h"
#include "skeletonwriter.h"
#include "stream.h"
#include "w3danimobject.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace walkertest
{
namespace
{
GeometryDescription Triangle()
{
    GeometryDescription d;
    d.format = kGeometryPositions;
    d.numVertices = 3;
    d.triangles = {{0, 1, 2, 0}};
    d.targets.push_back({{0, 0, 0, 30.0f}, {-30, 0, 0, 30, 0, 0, 0, 30, 0}, {}});
    d.materials = {GeometryDescription::Material{}};
    d.listEntries = {0};
    return d;
}

/// The clump's frame, then a chain of four bones.
Clump* ChainClump()
{
    ClumpDescription c;
    c.frames.resize(5);
    for (int i = 1; i < 5; ++i)
    {
        c.frames[i].parent = i - 1;
        c.frames[i].rows[10] = i == 1 ? 0.0f : 1.0f;
    }
    c.frames[1].extension = HierarchyWriter::FrameExtension(1, {{1, 0}, {2, 0}, {3, 0}, {4, kHierarchyPop}}, 0);
    for (int i = 2; i < 5; ++i)
        c.frames[i].extension = HierarchyWriter::FrameExtension(i);
    c.geometries = {Triangle()};
    ClumpDescription::Atomic a;
    a.frame = 4;
    c.atomics.push_back(a);
    std::vector<uint8_t> bytes = ClumpWriter::Write(c);
    MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
    Stream* stream = Stream::Open(kStreamMemory, kStreamRead, &block);
    Clump* clump = nullptr;
    if (stream && Stream::FindChunk(stream, RdModel::kClumpChunk, nullptr, nullptr))
        clump = Clump::StreamRead(stream);
    if (stream)
        Stream::Close(stream, nullptr);
    return clump;
}
} // namespace

Walker* MakeWalker()
{
    W3dAnimObject* model = W3dAnimObject::Create();
    if (!model)
        return nullptr;
    auto* skeleton = new RdSkeleton();
    const std::vector<SkeletonProfileRow> profiles = {{"HIGH_PART", {"Upper_Torso", "Head"}}};
    HbMChunkStream stream(
        new VectorStreamBuf(SkeletonWriter::Bytes({"DummyRootBone", "Pelvis", "Upper_Torso", "Head"}, &profiles)));
    skeleton->Read(&stream);
    model->GetMotor().SetSkeleton(skeleton);
    auto* rdModel = new RdModel();
    EXPECT_EQ(rdModel->SetClump(ChainClump()), 1);
    EXPECT_EQ(model->GetMotor().AddModel(rdModel), 1);
    auto* walker = new Walker();
    walker->AddRef();
    walker->SetModel(model);
    return walker;
}

Animations::~Animations()
{
    HbResourceManager* manager = HbResourceManager::Instance();
    for (RdAnimation* animation : mHeld)
        animation->Release();
    for (const std::string& id : mIds)
        manager->RemovePath(id.c_str());
}

RdAnimation* Animations::Add(const std::string& id, Vector rootMove, float duration, float degrees)
{
    const float half = degrees * 3.14159265f / 360.0f;
    std::vector<AnimationKeyRow> rows;
    rows.push_back({0, 0.0f, {0, 0, 0, 1}, {0, 0, 0}});
    rows.push_back({0, duration, {0, 0, 0, 1}, {rootMove.x, rootMove.y, rootMove.z}});
    for (int node = 1; node < 4; ++node)
        for (float time : {0.0f, duration})
            rows.push_back({node, time, {std::sin(half), 0, 0, std::cos(half)}, {0, 1, 0}});
    const std::vector<uint8_t> bytes = AnimationWriter::StdAnimation(rows, duration);
    const std::string path = id + ".anm";
    if (FILE* file = std::fopen(path.c_str(), "wb"))
    {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    HbResourceManager* manager = HbResourceManager::Instance();
    manager->AddPath(id.c_str(), path.c_str());
    mIds.push_back(id);
    auto* animation = HbCastTo<RdAnimation>(manager->GetResource(id.c_str()));
    if (!animation)
        return nullptr;
    animation->AddRef();
    mHeld.push_back(animation);
    return animation;
}

} // namespace walkertest
