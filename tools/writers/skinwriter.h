// Writes the skin plug-in's sub-chunks (type 278) for a geometry's or an atomic's extension
// chunk, in each layout the engine reads (the current one, the older one, the atomic-side
// one and the native one), and the hierarchy plug-in's frame sub-chunks (type 286), so that
// tests and the sample content can build skinned models with ClumpWriter.
//
// Typical use (a skinned model): give every bone frame of the ClumpDescription its
// FrameNode sub-chunk and the skeleton's root frame a FrameHierarchy one (its node table in
// depth-first order, ids matching the bone frames), put SkinWriter::Current of the skin in
// the geometry's extension, and write the clump. Each function returns the sub-chunk with
// its own 12-byte header, ready to be appended to an extension byte vector.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

struct SkinDescription
{
    int32_t boneCount = 0; ///< 1..255
    /// Per vertex: up to four bones and their weights (unused slots weight 0).
    std::vector<std::array<uint8_t, 4>> boneIndices;
    std::vector<std::array<float, 4>> weights;
    /// Per bone: the inverse of its rest-pose matrix, rows right, up, at, position.
    std::vector<std::array<float, 12>> inverseMatrices;
    /// Current layout only. Empty: the distinct bones of non-zero weights, ascending.
    std::vector<uint8_t> usedBones;
    /// Current layout only: 1..4; 0 takes the highest weight slot any vertex uses.
    int32_t maxWeights = 0;
    /// Split data (current layout only); no mesh runs: none.
    uint32_t splitBoneLimit = 0;
    std::vector<uint8_t> boneRemap;                 ///< boneCount bytes when mesh runs exist
    std::vector<std::array<uint8_t, 2>> meshRuns;   ///< per mesh {first run, run count}
    std::vector<std::array<uint8_t, 2>> boneRuns;   ///< {first bone, bone count}
};

/// One entry of a hierarchy's node table.
struct HierarchyNodeDescription
{
    int32_t nodeId;
    uint32_t flags; ///< 1 pop, 2 push
};

struct SkinWriter
{
    static constexpr uint32_t kSkinPluginId = 278;
    static constexpr uint32_t kHierarchyPluginId = 286;

    /// The current layout, byte for byte what the engine's skin writer produces.
    static std::vector<uint8_t> Current(const SkinDescription& skin, uint32_t version = 0x36003);
    /// The older layout: no used-bone list, no split data, 4 unused bytes before each matrix.
    static std::vector<uint8_t> Older(const SkinDescription& skin, uint32_t version = 0x36003);
    /// The atomic-side layout (an atomic's extension): 12 unused bytes before each matrix.
    static std::vector<uint8_t> AtomicSide(const SkinDescription& skin, uint32_t version = 0x36003);
    /// The native layout of a native geometry: a struct chunk of the given version holding
    /// the platform id and the bone count.
    static std::vector<uint8_t> Native(int32_t boneCount, uint32_t platformId = 9, uint32_t chunkVersion = 0x36003,
                                       uint32_t version = 0x36003);

    /// A bone frame's node id (no table).
    static std::vector<uint8_t> FrameNode(int32_t nodeId, uint32_t version = 0x36003);
    /// A skeleton root frame: its own node id and the hierarchy's node table (node index i
    /// for entry i), hierarchy flags and the stored keyframe size.
    static std::vector<uint8_t> FrameHierarchy(int32_t nodeId, const std::vector<HierarchyNodeDescription>& nodes,
                                               uint32_t hierarchyFlags = 0, int32_t keyFrameSize = 36,
                                               uint32_t version = 0x36003);

    /// The 16 words of an engine matrix from its 12 row reals (flags word 0).
    static std::array<float, 16> MatrixWords(const std::array<float, 12>& rows);
};
