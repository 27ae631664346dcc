// Collision tree builder and writer: median splits over triangle centres, written field by
// field in little-endian order.
#include "collisiontreewriter.h"

#include "chunk.h"
#include "writerbytes_local.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace
{

constexpr uint32_t kCollisionChunk = 44;
constexpr uint32_t kCollisionPlugin = 285;
constexpr uint8_t kSplit = 0xFF;

using Bytes = WriterBytes;

class Builder
{
public:
    Builder(const std::vector<float>& positions, const std::vector<std::array<uint16_t, 3>>& triangles, int32_t maxLeaf,
            CollisionTreeDescription* tree)
        : mPositions(positions), mTriangles(triangles), mMaxLeaf(std::clamp(maxLeaf, 1, 0xEF)), mTree(tree)
    {
    }

    CollisionTreeDescription::Node Node(int32_t first, int32_t count)
    {
        if (count <= mMaxLeaf)
            return {uint8_t(count), uint16_t(first)};
        auto index = uint16_t(mTree->splits.size());
        mTree->splits.emplace_back();
        int32_t axis = LongestAxis(first, count);
        auto begin = mTree->map.begin() + first;
        int32_t half = count / 2;
        std::nth_element(begin, begin + half, begin + count,
                         [&](uint16_t a, uint16_t b) { return Centre(a, axis) < Centre(b, axis); });
        float leftValue = -std::numeric_limits<float>::max(), rightValue = std::numeric_limits<float>::max();
        for (int32_t p = first; p < first + count; ++p)
            for (uint16_t v : mTriangles[mTree->map[size_t(p)]])
            {
                float c = Coordinate(v, axis);
                if (p < first + half)
                    leftValue = std::max(leftValue, c);
                else
                    rightValue = std::min(rightValue, c);
            }
        CollisionTreeDescription::Node left = Node(first, half);
        CollisionTreeDescription::Node right = Node(first + half, count - half);
        mTree->splits[index] = {uint8_t(4 * axis), left, leftValue, right, rightValue};
        return {kSplit, index};
    }

private:
    float Coordinate(uint16_t vertex, int32_t axis) const { return mPositions[3 * size_t(vertex) + size_t(axis)]; }
    float Centre(uint16_t triangle, int32_t axis) const
    {
        const auto& t = mTriangles[triangle];
        return Coordinate(t[0], axis) + Coordinate(t[1], axis) + Coordinate(t[2], axis);
    }
    int32_t LongestAxis(int32_t first, int32_t count) const
    {
        float lo[3], hi[3];
        for (int32_t a = 0; a < 3; ++a)
        {
            lo[a] = std::numeric_limits<float>::max();
            hi[a] = -lo[a];
        }
        for (int32_t p = first; p < first + count; ++p)
            for (int32_t a = 0; a < 3; ++a)
            {
                float c = Centre(mTree->map[size_t(p)], a);
                lo[a] = std::min(lo[a], c);
                hi[a] = std::max(hi[a], c);
            }
        int32_t best = 0;
        for (int32_t a = 1; a < 3; ++a)
            if (hi[a] - lo[a] > hi[best] - lo[best])
                best = a;
        return best;
    }

    const std::vector<float>& mPositions;
    const std::vector<std::array<uint16_t, 3>>& mTriangles;
    int32_t mMaxLeaf;
    CollisionTreeDescription* mTree;
};

void WriteSplit(Bytes& b, const CollisionTreeDescription::Split& s, bool olderLeftAxis)
{
    b.out.push_back(uint8_t(s.axis | (olderLeftAxis ? 1 : 0)));
    b.out.push_back(s.left.type);
    b.U16(s.left.index);
    b.Real(s.leftValue);
    b.out.push_back(s.axis);
    b.out.push_back(s.right.type);
    b.U16(s.right.index);
    b.Real(s.rightValue);
}

} // namespace

CollisionTreeDescription CollisionTreeWriter::Build(const std::vector<float>& positions,
                                                    const std::vector<std::array<uint16_t, 3>>& triangles,
                                                    int32_t maxLeafTriangles)
{
    CollisionTreeDescription tree;
    tree.numTriangles = uint32_t(triangles.size());
    tree.map.resize(triangles.size());
    for (size_t i = 0; i < triangles.size(); ++i)
        tree.map[i] = uint16_t(i);
    tree.min = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
                std::numeric_limits<float>::max()};
    tree.max = {-tree.min[0], -tree.min[1], -tree.min[2]};
    for (const auto& t : triangles)
        for (uint16_t v : t)
            for (size_t a = 0; a < 3; ++a)
            {
                tree.min[a] = std::min(tree.min[a], positions[3 * size_t(v) + a]);
                tree.max[a] = std::max(tree.max[a], positions[3 * size_t(v) + a]);
            }
    if (triangles.empty())
        tree.min = tree.max = {0, 0, 0};
    Builder builder(positions, triangles, maxLeafTriangles, &tree);
    builder.Node(0, int32_t(triangles.size()));
    return tree;
}

std::vector<uint8_t> CollisionTreeWriter::WriteChunk(const CollisionTreeDescription& tree)
{
    size_t structSize = 36 + 16 * tree.splits.size() + ((tree.flags & 1) ? 2 * size_t(tree.numTriangles) : 0);
    Bytes b;
    b.Header(kCollisionChunk, structSize + 12);
    b.Header(1, structSize);
    b.U32(tree.flags);
    for (float c : tree.min)
        b.Real(c);
    for (float c : tree.max)
        b.Real(c);
    b.U32(tree.numTriangles);
    b.U32(uint32_t(tree.splits.size()));
    for (const auto& s : tree.splits)
        WriteSplit(b, s, false);
    if (tree.flags & 1)
        for (uint32_t p = 0; p < tree.numTriangles; ++p)
            b.U16(p < tree.map.size() ? tree.map[p] : uint16_t(p));
    return b.out;
}

std::vector<uint8_t> CollisionTreeWriter::WritePluginData(const CollisionTreeDescription& tree)
{
    Bytes b;
    b.U32(kLibraryVersion);
    std::vector<uint8_t> chunk = WriteChunk(tree);
    b.out.insert(b.out.end(), chunk.begin(), chunk.end());
    return b.out;
}

std::vector<uint8_t> CollisionTreeWriter::WriteOldPluginData(const CollisionTreeDescription& tree)
{
    Bytes b;
    b.U32(uint32_t(tree.splits.size() + 1));
    b.U32(tree.numTriangles);
    for (const auto& s : tree.splits)
    {
        uint32_t leftKind = s.left.type == kSplit ? 2 : 1, rightKind = s.right.type == kSplit ? 2 : 1;
        b.U32(rightKind | leftKind << 8 | uint32_t(s.axis) << 16);
        uint32_t leftIndex = s.left.type == kSplit ? s.left.index : 0;
        uint32_t rightIndex = s.right.type == kSplit ? s.right.index : 0;
        b.U32(rightIndex | leftIndex << 16);
        b.Real(s.leftValue);
        b.Real(s.rightValue);
    }
    if (tree.splits.empty())
        b.U32(tree.numTriangles << 16);
    else
    {
        // Leaf words in the order of a walk that takes the left child first. Descriptions
        // made broken on purpose are written as far as they can be walked.
        std::vector<CollisionTreeDescription::Node> stack = {{kSplit, 0}};
        std::vector<bool> seen(tree.splits.size());
        size_t leaves = 0;
        while (!stack.empty())
        {
            CollisionTreeDescription::Node node = stack.back();
            stack.pop_back();
            if (node.type == kSplit)
            {
                if (node.index >= tree.splits.size() || seen[node.index])
                    continue;
                seen[node.index] = true;
                stack.push_back(tree.splits[node.index].right);
                stack.push_back(tree.splits[node.index].left);
            }
            else if (leaves++ <= tree.splits.size())
                b.U32(uint32_t(node.type) << 16 | node.index);
        }
        // The layout holds one word per leaf of a whole tree, broken or not.
        for (; leaves <= tree.splits.size(); ++leaves)
            b.U32(0);
    }
    for (uint32_t p = 0; p < tree.numTriangles; ++p)
        b.U32(p < tree.map.size() ? tree.map[p] : p);
    return b.out;
}

std::vector<uint8_t> CollisionTreeWriter::WriteExtension(const std::vector<uint8_t>& pluginData)
{
    Bytes b;
    b.Header(kCollisionPlugin, pluginData.size());
    b.out.insert(b.out.end(), pluginData.begin(), pluginData.end());
    return b.out;
}
