#include "walkermodel.h"

#include "animation.h"
#include "animationwriter.h"
#include "clump.h"
#include "clumpwriter.h"
#include "geometry.h"
#include "hbchunkstream.h"
#include "hierarchy.h"
#include "hierarchywriter.h"
#include "rdanim.h"
#include "rdanimmotor.h"
#include "rdmodel.h"
#include "rdskeleton.h"
#include "skinwriter.h"
#include "stream.h"
#include "w3danimobject.h"
#include "wrenderitem.h"

#include <cmath>

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

Clump* ReadClump(const std::vector<uint8_t>& written)
{
    std::vector<uint8_t> bytes = written;
    MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
    Stream* stream = Stream::Open(kStreamMemory, kStreamRead, &block);
    Clump* clump = nullptr;
    if (stream && Stream::FindChunk(stream, RdModel::kClumpChunk, nullptr, nullptr))
        clump = Clump::StreamRead(stream);
    if (stream)
        Stream::Close(stream, nullptr);
    return clump;
}

ClumpDescription Chain()
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
    return c;
}

/// The arrow: base corners on the root bone, the tip half on the pelvis (one unit up at rest).
GeometryDescription Arrow(const uint8_t colour[3])
{
    GeometryDescription d;
    d.format = kGeometryPositions | kGeometryPrelit;
    d.numVertices = 3;
    d.triangles = {{0, 2, 1, 0}};
    const float y = WalkerModel::kBodyLift;
    d.targets.push_back({{0, y, 0, 60.0f},
                         {-WalkerModel::kArrowHalf, y, -WalkerModel::kArrowBack, WalkerModel::kArrowHalf, y,
                          -WalkerModel::kArrowBack, 0, y, WalkerModel::kArrowTip},
                         {}});
    d.prelit.assign(3, {colour[0], colour[1], colour[2], 255});
    d.materials = {GeometryDescription::Material{}};
    d.listEntries = {0};
    SkinDescription skin;
    skin.boneCount = 4;
    skin.boneIndices = {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 1, 0, 0}};
    skin.weights = {{1, 0, 0, 0}, {1, 0, 0, 0}, {0.5f, 0.5f, 0, 0}};
    for (int bone = 0; bone < 4; ++bone)
        skin.inverseMatrices.push_back({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, -float(bone), 0});
    d.extension = SkinWriter::Current(skin);
    return d;
}

/// The clump's frame, then the chain of four bones with the triangle's atomic on the head.
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

W3dAnimObject* WalkerModel::CreateSkinned(const std::vector<SkeletonProfileRow>* profiles, const uint8_t colour[3],
                                          int32_t* built)
{
    if (built)
        *built = 0;
    W3dAnimObject* model = W3dAnimObject::Create();
    if (!model)
        return nullptr;
    auto* skeleton = new RdSkeleton();
    HbMChunkStream stream(
        new VectorStreamBuf(SkeletonWriter::Bytes({"DummyRootBone", "Pelvis", "Upper_Torso", "Head"}, profiles)));
    skeleton->Read(&stream);
    model->GetMotor().SetSkeleton(skeleton);
    ClumpDescription c = Chain();
    c.geometries = {Arrow(colour)};
    ClumpDescription::Atomic a;
    a.frame = 1;
    c.atomics.push_back(a);
    auto* rdModel = new RdModel();
    const int clumpTaken = rdModel->SetClump(ReadClump(ClumpWriter::Write(c)));
    const int modelAdded = model->GetMotor().AddModel(rdModel);
    if (built)
        *built = clumpTaken == 1 && modelAdded == 1 ? 1 : 0;
    // Drawn as a model read from its description is.
    model->SetFlags(model->GetFlags() | W3dNode::kVisible);
    RenderItemList::Build(model, static_cast<Clump*>(model->GetEngineObject()));
    return model;
}

W3dAnimObject* WalkerModel::Create(const std::vector<SkeletonProfileRow>* profiles, int32_t* built)
{
    return CreateWithBones(profiles, {"DummyRootBone", "Pelvis", "Upper_Torso", "Head"}, built);
}

W3dAnimObject* WalkerModel::CreateWithBones(const std::vector<SkeletonProfileRow>* profiles,
                                            const std::vector<std::string>& bones, int32_t* built)
{
    if (built)
        *built = 0;
    if (bones.size() != 4)
        return nullptr;
    W3dAnimObject* model = W3dAnimObject::Create();
    if (!model)
        return nullptr;
    auto* skeleton = new RdSkeleton();
    HbMChunkStream stream(new VectorStreamBuf(SkeletonWriter::Bytes(bones, profiles)));
    skeleton->Read(&stream);
    model->GetMotor().SetSkeleton(skeleton);
    auto* rdModel = new RdModel();
    const int clumpTaken = rdModel->SetClump(ChainClump());
    const int modelAdded = model->GetMotor().AddModel(rdModel);
    if (built)
        *built = clumpTaken == 1 && modelAdded == 1 ? 1 : 0;
    return model;
}

std::vector<uint8_t> WalkerModel::AnimationBytes(Vector rootMove, float rootYaw, float boneDegrees, float duration)
{
    const float rootHalf = rootYaw * 3.14159265f / 360.0f;
    const float boneHalf = boneDegrees * 3.14159265f / 360.0f;
    std::vector<AnimationKeyRow> rows;
    rows.push_back({0, 0.0f, {0, 0, 0, 1}, {0, 0, 0}});
    rows.push_back({0, duration, {0, std::sin(rootHalf), 0, std::cos(rootHalf)}, {rootMove.x, rootMove.y, rootMove.z}});
    for (int node = 1; node < 4; ++node)
        for (float time : {0.0f, duration})
            rows.push_back({node, time, {std::sin(boneHalf), 0, 0, std::cos(boneHalf)}, {0, 1, 0}});
    return AnimationWriter::StdAnimation(rows, duration);
}

RdAnimation* WalkerModel::ReadAnimation(std::vector<uint8_t> bytes, const char* name, const char* file, int32_t* setUp)
{
    MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
    Stream* stream = Stream::Open(kStreamMemory, kStreamRead, &block);
    uint32_t size = 0;
    Animation* animation = nullptr;
    if (stream && Stream::FindChunk(stream, Animation::kChunkType, &size, nullptr))
        animation = Animation::StreamRead(stream, size);
    if (stream)
        Stream::Close(stream, nullptr);
    auto* resource = new RdAnimation();
    const int32_t answer = resource->Setup(animation, name, file);
    if (setUp)
        *setUp = answer;
    return resource;
}
