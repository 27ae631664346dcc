// World chunk writer: the byte layout the engine's world reader takes, written field by
// field in little-endian order, the tree depth first, left child before right.
#include "worldwriter.h"

#include "chunk.h"
#include "writerbytes_local.h"

#include <algorithm>
#include <cstring>

namespace
{

constexpr uint32_t kChunkWorld = 11;
constexpr uint32_t kChunkLeaf = 9;
constexpr uint32_t kChunkPlane = 10;
constexpr uint32_t kNativeFlag = 0x1000000;
constexpr uint32_t kNormalsFlag = 0x10;
constexpr uint32_t kPrelitFlag = 0x8;
constexpr uint32_t kExtentsFlag = 0x40000000;
/// Leaf triangles are stored as four 16-bit words from this version on.
constexpr uint32_t kPlainTrianglesVersion = 0x36002;

using Bytes = WriterBytes;

int32_t VertexCount(const WorldDescription::Leaf& leaf)
{
    return leaf.numVertices >= 0 ? leaf.numVertices : int32_t(leaf.positions.size() / 3);
}

int32_t TriangleCount(const WorldDescription::Leaf& leaf)
{
    return leaf.numTriangles >= 0 ? leaf.numTriangles : int32_t(leaf.triangles.size());
}

/// min xyz, max xyz.
std::array<float, 6> TightBox(const WorldDescription::Leaf& leaf)
{
    std::array<float, 6> box = {0, 0, 0, 0, 0, 0};
    if (leaf.tightBox.size() == 6)
    {
        std::copy(leaf.tightBox.begin(), leaf.tightBox.end(), box.begin());
        return box;
    }
    for (size_t i = 0; i + 2 < leaf.positions.size(); i += 3)
        for (size_t k = 0; k < 3; ++k)
        {
            float c = leaf.positions[i + k];
            box[k] = i == 0 ? c : std::min(box[k], c);
            box[3 + k] = i == 0 ? c : std::max(box[3 + k], c);
        }
    return box;
}

std::vector<uint8_t> LeafChunk(const WorldDescription& w, const WorldDescription::Leaf& leaf)
{
    const uint32_t v = w.version;
    Bytes s;
    s.U32(leaf.materialBase);
    s.U32(uint32_t(TriangleCount(leaf)));
    s.U32(uint32_t(VertexCount(leaf)));
    for (float f : TightBox(leaf))
        s.Real(f);
    s.U32(0); // reserved
    s.U32(0);
    if (!(w.format & kNativeFlag))
    {
        for (float f : leaf.positions)
            s.Real(f);
        if (w.format & kNormalsFlag)
            for (const auto& n : leaf.normals)
                s.out.insert(s.out.end(), n.begin(), n.end());
        if (w.format & kPrelitFlag)
            for (const auto& c : leaf.prelit)
                s.out.insert(s.out.end(), c.begin(), c.end());
        for (const auto& set : leaf.texCoords)
            for (float f : set)
                s.Real(f);
        for (const auto& t : leaf.triangles)
        {
            if (v >= kPlainTrianglesVersion)
            {
                s.U16(t.v0);
                s.U16(t.v1);
                s.U16(t.v2);
                s.U16(t.material);
            }
            else
            {
                s.U32(uint32_t(t.v0) << 16 | t.material);
                s.U32(uint32_t(t.v2) << 16 | t.v1);
            }
        }
    }
    Bytes body;
    body.Chunk(kChunkStruct, s.out, v);
    body.Chunk(kChunkExtension, leaf.extension, v);
    Bytes chunk;
    chunk.Chunk(kChunkLeaf, body.out, v);
    return chunk.out;
}

std::vector<uint8_t> NodeChunk(const WorldDescription& w, int32_t index)
{
    const WorldDescription::Node& node = w.nodes[size_t(index)];
    if (node.leaf >= 0)
        return LeafChunk(w, w.leaves[size_t(node.leaf)]);
    auto isLeaf = [&](int32_t child) { return w.nodes[size_t(child)].leaf >= 0 ? 1u : 0u; };
    Bytes s;
    s.U32(node.axis);
    s.Real(node.value);
    s.U32(isLeaf(node.left));
    s.U32(isLeaf(node.right));
    s.Real(node.leftExtent);
    s.Real(node.rightExtent);
    Bytes body;
    body.Chunk(kChunkStruct, s.out, w.version);
    body.Append(NodeChunk(w, node.left));
    body.Append(NodeChunk(w, node.right));
    Bytes chunk;
    chunk.Chunk(kChunkPlane, body.out, w.version);
    return chunk.out;
}

} // namespace

uint32_t WorldDescription::StoredFormat() const
{
    return format | uint32_t(numTexCoordSets & 0xFF) << 16 | (planeExtents ? kExtentsFlag : 0);
}

std::vector<uint8_t> WorldWriter::Write(const WorldDescription& w)
{
    const uint32_t v = w.version;
    uint32_t triangles = 0, vertices = 0, planes = 0;
    for (const auto& leaf : w.leaves)
    {
        triangles += uint32_t(TriangleCount(leaf));
        vertices += uint32_t(VertexCount(leaf));
    }
    for (const auto& node : w.nodes)
        planes += node.leaf < 0 ? 1 : 0;
    bool rootIsLeaf = w.nodes.empty() || w.nodes[0].leaf >= 0;

    Bytes s;
    s.U32(rootIsLeaf ? 1 : 0);
    for (float f : w.origin)
        s.Real(-f);
    if (v == 0x34000)
        for (int i = 0; i < 3; ++i)
            s.Real(1.0f); // surface properties, not kept
    s.U32(triangles);
    s.U32(vertices);
    s.U32(planes);
    s.U32(uint32_t(w.leaves.size()));
    s.U32(0); // collision sector size
    s.U32(w.StoredFormat());
    if (v != 0x34000)
    {
        std::array<float, 6> box = {0, 0, 0, 0, 0, 0}; // max, min
        if (w.box.size() == 6)
            std::copy(w.box.begin(), w.box.end(), box.begin());
        else
            for (size_t i = 0; i < w.leaves.size(); ++i)
            {
                std::array<float, 6> t = TightBox(w.leaves[i]);
                for (size_t k = 0; k < 3; ++k)
                {
                    box[k] = i == 0 ? t[3 + k] : std::max(box[k], t[3 + k]);
                    box[3 + k] = i == 0 ? t[k] : std::min(box[3 + k], t[k]);
                }
            }
        for (float f : box)
            s.Real(f);
    }
    Bytes body;
    body.Chunk(kChunkStruct, s.out, v);
    body.Append(GeometryWriter::WriteMaterialList(w.materials, w.listEntries, v));
    if (w.nodes.empty())
    {
        if (!w.leaves.empty())
            body.Append(LeafChunk(w, w.leaves[0]));
    }
    else
        body.Append(NodeChunk(w, 0));
    body.Chunk(kChunkExtension, w.extension, v);
    Bytes chunk;
    chunk.Chunk(kChunkWorld, body.out, v);
    return chunk.out;
}
