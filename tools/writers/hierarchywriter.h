// Writes the hierarchy plug-in's frame data: a node id on any frame, and on a skeleton's
// root frame the table of its nodes, as the sub-chunk a frame's extension chunk holds.
#pragma once

#include <cstdint>
#include <vector>

struct HierarchyNodeRow
{
    int32_t id;
    uint32_t flags; ///< kHierarchyPop, kHierarchyPush
};

struct HierarchyWriter
{
    /// The sub-chunk (header included) for a frame with that node id (-1: none) and, when
    /// nodes is not empty, the hierarchy table of those nodes with the hierarchy flags.
    static std::vector<uint8_t> FrameExtension(int32_t nodeId, const std::vector<HierarchyNodeRow>& nodes = {},
                                               uint32_t hierarchyFlags = 0);
};
