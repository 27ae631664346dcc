// Builds collision trees over triangles and writes them as the collision plug-in's data
// (chunk 44, and the older layout the engine still converts), for the sample content and
// the tests: the engine itself reads trees but never builds them.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

struct CollisionTreeDescription
{
    struct Node
    {
        uint8_t type;   ///< 0xFF: a split; else a leaf's triangle count
        uint16_t index; ///< the split's index, or the leaf's first position
    };
    struct Split
    {
        uint8_t axis; ///< byte offset of the coordinate: 0 x, 4 y, 8 z
        Node left;
        float leftValue; ///< largest coordinate of a left triangle on the axis
        Node right;
        float rightValue; ///< smallest coordinate of a right triangle on the axis
    };

    uint32_t flags = 1; ///< bit 0: the map is written
    std::array<float, 3> min = {};
    std::array<float, 3> max = {};
    uint32_t numTriangles = 0;
    std::vector<Split> splits; ///< split 0 is the root
    /// Position to triangle index. Always filled by the builder; without flag bit 0 the
    /// owner's triangles must be stored in this order instead.
    std::vector<uint16_t> map;
};

struct CollisionTreeWriter
{
    /// A tree over the triangles (3 vertex indices each) of the positions (3 reals per
    /// vertex): median splits on the longest axis of the triangles' centres until a leaf
    /// holds at most maxLeafTriangles (1 to 239), so leaves form contiguous runs, split
    /// values bound their children exactly and the depth stays near log2 of the count.
    static CollisionTreeDescription Build(const std::vector<float>& positions,
                                          const std::vector<std::array<uint16_t, 3>>& triangles,
                                          int32_t maxLeafTriangles = 8);
    /// The chunk 44 with its header and struct chunk.
    static std::vector<uint8_t> WriteChunk(const CollisionTreeDescription& tree);
    /// The plug-in data of a sector or geometry: the version word, then chunk 44.
    static std::vector<uint8_t> WritePluginData(const CollisionTreeDescription& tree);
    /// The older layout's plug-in data: leaf count, triangle count, split records, leaf
    /// words in walk order and the map (always present there).
    static std::vector<uint8_t> WriteOldPluginData(const CollisionTreeDescription& tree);
    /// Plug-in data as a sub-chunk of an extension chunk (plug-in id 285 and its header).
    static std::vector<uint8_t> WriteExtension(const std::vector<uint8_t>& pluginData);
};
