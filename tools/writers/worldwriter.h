// Writes world chunks from plain descriptions, for the sample content and the tests: a
// partition tree of plane nodes and leaves, each leaf with its vertex arrays, triangles
// and extension, and the world's material list.
#pragma once

#include "geometrywriter.h"

#include <array>
#include <cstdint>
#include <vector>

struct WorldDescription
{
    struct Triangle
    {
        uint16_t v0, v1, v2;
        uint16_t material; ///< relative to the leaf's material base
    };
    struct Leaf
    {
        uint32_t materialBase = 0;
        int32_t numVertices = -1;                   ///< -1: positions.size() / 3 (set it for native worlds)
        int32_t numTriangles = -1;                  ///< -1: triangles.size()
        std::vector<float> positions;               ///< 3 per vertex
        std::vector<std::array<int8_t, 4>> normals; ///< per vertex, when the format has normals
        std::vector<std::array<uint8_t, 4>> prelit; ///< per vertex, when the format has prelit colours
        std::vector<std::vector<float>> texCoords;  ///< per set, 2 per vertex
        std::vector<Triangle> triangles;
        std::vector<float> tightBox;    ///< min xyz, max xyz; empty: the box of the positions
        std::vector<uint8_t> extension; ///< raw sub-chunks of the leaf's extension chunk
    };
    /// A plane node, or a leaf when leaf is not negative.
    struct Node
    {
        int32_t leaf = -1; ///< index into leaves
        uint32_t axis = 0; ///< byte offset of the coordinate: 0 x, 4 y, 8 z
        float value = 0.0f;
        float leftExtent = 0.0f, rightExtent = 0.0f;
        int32_t left = -1, right = -1; ///< indices into nodes
    };

    /// nodes[0] is the root; empty: the root is leaves[0].
    std::vector<Node> nodes;
    std::vector<Leaf> leaves;
    /// Format flags as the engine keeps them (positions, normals, prelit, lit, ...); the
    /// texture-coordinate sets and the extents bit are added when written.
    uint32_t format = 0x2;
    int32_t numTexCoordSets = 0;
    bool planeExtents = true; ///< bit 30: planes carry their child extents
    std::array<float, 3> origin = {0, 0, 0};
    std::vector<float> box; ///< max xyz, min xyz; empty: the box of the leaves' tight boxes
    std::vector<GeometryDescription::Material> materials;
    std::vector<int32_t> listEntries; ///< the world's list as indices into materials
    std::vector<uint8_t> extension;   ///< raw sub-chunks of the world's extension chunk
    uint32_t version = 0x36003;

    /// The format word as the struct stores it.
    uint32_t StoredFormat() const;
};

struct WorldWriter
{
    /// The whole world chunk (type 11) with its header.
    static std::vector<uint8_t> Write(const WorldDescription& world);
};
