// The hierarchical-animation plug-in's attach and frame extension.
#include "hierarchy.h"

#include "engine.h"
#include "frame.h"

namespace
{
// A refused registration leaves the offset of an earlier one in place.
int32_t Keep(int32_t* slot, int32_t offset)
{
    if (offset >= 0)
        *slot = offset;
    return offset;
}

int32_t sOpenCount = 0;
int32_t sFrameOffset = -1;

HierarchyFrameExtension* Extension(void* frame, int32_t offset)
{
    return reinterpret_cast<HierarchyFrameExtension*>(static_cast<char*>(frame) + offset);
}

void* FrameExtInit(void* object, int32_t offset, int32_t)
{
    *Extension(object, offset) = HierarchyFrameExtension{-1, nullptr};
    return object;
}

// No hierarchy can be built yet, so a frame never owns one: the copy keeps the node id only.
void* FrameExtCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    Extension(destination, offset)->nodeId = Extension(const_cast<void*>(source), offset)->nodeId;
    return destination;
}
} // namespace

void* HierarchyPlugin::EngineOpen(void* engine, int32_t, int32_t)
{
    ++sOpenCount;
    return engine;
}

void* HierarchyPlugin::EngineClose(void* engine, int32_t, int32_t)
{
    if (sOpenCount > 0)
        --sOpenCount;
    return engine;
}

int32_t HierarchyPlugin::GetOpenCount()
{
    return sOpenCount;
}

int32_t Hierarchy::Attach()
{
    if (Engine::RegisterPlugin(0, kPluginId, HierarchyPlugin::EngineOpen, HierarchyPlugin::EngineClose) < 0)
        return 0;
    int32_t offset = Keep(&sFrameOffset, Frame::RegisterPlugin(int32_t(sizeof(HierarchyFrameExtension)), kPluginId,
                                                               FrameExtInit, FrameExtInit, FrameExtCopy));
    return offset >= 0 ? 1 : 0;
}

int32_t Hierarchy::GetFrameOffset()
{
    return sFrameOffset;
}

HierarchyFrameExtension* Hierarchy::GetFrameExtension(Frame* frame)
{
    return Extension(frame, sFrameOffset);
}
