// Skin and hierarchy sub-chunk writer: the byte layouts the skin and hierarchy plug-ins'
// stream readers take, written field by field in little-endian order.
#include "skinwriter.h"

#include "writerbytes_local.h"

#include <algorithm>

namespace
{

using Bytes = WriterBytes;

int32_t MaxWeights(const SkinDescription& skin)
{
    int32_t most = 1;
    for (const auto& w : skin.weights)
        while (most < 4 && w[size_t(most)] != 0.0f)
            ++most;
    return most;
}

std::vector<uint8_t> UsedBones(const SkinDescription& skin)
{
    if (!skin.usedBones.empty())
        return skin.usedBones;
    std::vector<uint8_t> used;
    for (size_t v = 0; v < skin.weights.size() && v < skin.boneIndices.size(); ++v)
        for (size_t k = 0; k < 4; ++k)
            if (skin.weights[v][k] != 0.0f && std::find(used.begin(), used.end(), skin.boneIndices[v][k]) == used.end())
                used.push_back(skin.boneIndices[v][k]);
    std::sort(used.begin(), used.end());
    return used;
}

void Vertices(Bytes& b, const SkinDescription& skin)
{
    for (const auto& i : skin.boneIndices)
        b.U32(uint32_t(i[0]) | uint32_t(i[1]) << 8 | uint32_t(i[2]) << 16 | uint32_t(i[3]) << 24);
    for (const auto& w : skin.weights)
        for (float f : w)
            b.Real(f);
}

void Matrices(Bytes& b, const SkinDescription& skin, size_t unusedBefore)
{
    for (const auto& m : skin.inverseMatrices)
    {
        for (size_t i = 0; i < unusedBefore; ++i)
            b.out.push_back(0);
        for (float f : SkinWriter::MatrixWords(m))
            b.Real(f);
    }
}

std::vector<uint8_t> Wrap(uint32_t type, const Bytes& body, uint32_t version)
{
    Bytes chunk;
    chunk.Chunk(type, body.out, version);
    return chunk.out;
}

} // namespace

std::array<float, 16> SkinWriter::MatrixWords(const std::array<float, 12>& rows)
{
    std::array<float, 16> words{};
    for (size_t r = 0; r < 4; ++r)
        for (size_t c = 0; c < 3; ++c)
            words[r * 4 + c] = rows[r * 3 + c];
    return words;
}

std::vector<uint8_t> SkinWriter::Current(const SkinDescription& skin, uint32_t version)
{
    const std::vector<uint8_t> used = UsedBones(skin);
    const int32_t maxWeights = skin.maxWeights > 0 ? skin.maxWeights : MaxWeights(skin);
    Bytes b;
    b.U32(uint32_t(maxWeights) << 16 | uint32_t(used.size() & 0xFF) << 8 | uint32_t(skin.boneCount & 0xFF));
    b.out.insert(b.out.end(), used.begin(), used.end());
    Vertices(b, skin);
    Matrices(b, skin, 0);
    b.U32(skin.splitBoneLimit);
    b.U32(uint32_t(skin.meshRuns.size()));
    b.U32(uint32_t(skin.boneRuns.size()));
    if (!skin.meshRuns.empty())
    {
        b.out.insert(b.out.end(), skin.boneRemap.begin(), skin.boneRemap.end());
        for (const auto& r : skin.meshRuns)
            b.out.insert(b.out.end(), r.begin(), r.end());
        for (const auto& r : skin.boneRuns)
            b.out.insert(b.out.end(), r.begin(), r.end());
    }
    return Wrap(kSkinPluginId, b, version);
}

std::vector<uint8_t> SkinWriter::Older(const SkinDescription& skin, uint32_t version)
{
    Bytes b;
    b.U32(uint32_t(skin.boneCount & 0xFF)); // byte 2 = 0 marks the layout
    Vertices(b, skin);
    Matrices(b, skin, 4);
    return Wrap(kSkinPluginId, b, version);
}

std::vector<uint8_t> SkinWriter::AtomicSide(const SkinDescription& skin, uint32_t version)
{
    Bytes b;
    b.U32(uint32_t(skin.boneCount));
    b.U32(0);
    Vertices(b, skin);
    Matrices(b, skin, 12);
    return Wrap(kSkinPluginId, b, version);
}

std::vector<uint8_t> SkinWriter::Native(int32_t boneCount, uint32_t platformId, uint32_t chunkVersion,
                                        uint32_t version)
{
    Bytes s;
    s.U32(platformId);
    s.U32(uint32_t(boneCount));
    Bytes b;
    b.Chunk(kChunkStruct, s.out, chunkVersion);
    return Wrap(kSkinPluginId, b, version);
}

std::vector<uint8_t> SkinWriter::FrameNode(int32_t nodeId, uint32_t version)
{
    Bytes b;
    b.U32(0x100);
    b.U32(uint32_t(nodeId));
    b.U32(0);
    return Wrap(kHierarchyPluginId, b, version);
}

std::vector<uint8_t> SkinWriter::FrameHierarchy(int32_t nodeId, const std::vector<HierarchyNodeDescription>& nodes,
                                                uint32_t hierarchyFlags, int32_t keyFrameSize, uint32_t version)
{
    Bytes b;
    b.U32(0x100);
    b.U32(uint32_t(nodeId));
    b.U32(uint32_t(nodes.size()));
    b.U32(hierarchyFlags);
    b.U32(uint32_t(keyFrameSize));
    for (size_t i = 0; i < nodes.size(); ++i)
    {
        b.U32(uint32_t(nodes[i].nodeId));
        b.U32(uint32_t(i));
        b.U32(nodes[i].flags);
    }
    return Wrap(kHierarchyPluginId, b, version);
}
