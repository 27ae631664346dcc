// The skin plug-in: its attach, its engine open and close, and the geometry and atomic
// extensions.
#pragma once

#include <cstdint>

struct Hierarchy;
struct Skin;

/// The geometry extension: the geometry's skin, or null.
struct SkinGeometryExtension
{
    Skin* skin;
};

/// The atomic extension: the hierarchy that drives the atomic's skin (not owned), or null.
struct SkinAtomicExtension
{
    Hierarchy* hierarchy;
};

/// A geometry's skin; its record comes with the skins themselves.
struct Skin
{
    static constexpr int32_t kPluginId = 278;

    /// Registers the engine plug-in (no block) and the atomic and geometry extensions,
    /// stopping at the first refusal; only between Engine::Init and Engine::Open. 1, or 0.
    static int32_t Attach();
    /// -1 before Attach.
    static int32_t GetAtomicOffset();
    static int32_t GetGeometryOffset();
};

struct SkinPlugin
{
    /// Engine open and close (Engine::Start and Engine::Stop). The skin pipeline needs the
    /// device; until it exists the open only counts.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    static int32_t GetOpenCount();
};
