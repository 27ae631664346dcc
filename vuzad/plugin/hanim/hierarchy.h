// The hierarchical-animation plug-in: its attach, its engine open and close, and the frame
// extension that gives every frame a node id and the root frame its hierarchy.
#pragma once

#include <cstdint>

struct Frame;
struct Hierarchy;

/// The frame extension.
struct HierarchyFrameExtension
{
    int32_t nodeId;       ///< -1: none
    Hierarchy* hierarchy; ///< only on the root frame of a hierarchy
};

/// A skeleton's animation state; its record comes with the hierarchies themselves.
struct Hierarchy
{
    static constexpr int32_t kPluginId = 286;

    /// Registers the engine plug-in (no block) and the frame extension; only between
    /// Engine::Init and Engine::Open. 1, or 0 when a registration was refused.
    static int32_t Attach();
    /// -1 before Attach.
    static int32_t GetFrameOffset();
    static HierarchyFrameExtension* GetFrameExtension(Frame* frame);
};

struct HierarchyPlugin
{
    /// Engine open and close (Engine::Start and Engine::Stop); they count nested opens.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    static int32_t GetOpenCount();
};
