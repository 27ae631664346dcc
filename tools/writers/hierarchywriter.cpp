// The hierarchy plug-in's frame data.
#include "hierarchywriter.h"

#include "writerbytes_local.h"

namespace
{
constexpr uint32_t kHierarchyPluginId = 286;
constexpr uint32_t kHierarchyStreamVersion = 0x100;
/// The stored size of a standard keyframe.
constexpr uint32_t kStoredKeyFrameSize = 36;
} // namespace

std::vector<uint8_t> HierarchyWriter::FrameExtension(int32_t nodeId, const std::vector<HierarchyNodeRow>& nodes,
                                                     uint32_t hierarchyFlags)
{
    WriterBytes body;
    body.U32(kHierarchyStreamVersion);
    body.U32(uint32_t(nodeId));
    body.U32(uint32_t(nodes.size()));
    if (!nodes.empty())
    {
        body.U32(hierarchyFlags);
        body.U32(kStoredKeyFrameSize);
        for (size_t i = 0; i < nodes.size(); ++i)
        {
            body.U32(uint32_t(nodes[i].id));
            body.U32(uint32_t(i));
            body.U32(nodes[i].flags);
        }
    }
    WriterBytes chunk;
    chunk.Chunk(kHierarchyPluginId, body.out);
    return chunk.out;
}
