// The material-effects plug-in: its attach, its engine open and close, and the material,
// atomic and world-sector extensions.
#pragma once

#include <cstdint>

struct MatFxMaterialData;

/// The material extension: the material's effect record, null while it has no effect.
struct MatFxMaterialExtension
{
    MatFxMaterialData* data;
};

/// The atomic and world-sector extension: set when the object uses effects.
struct MatFxObjectFlag
{
    int32_t enabled;
};

struct MatFx
{
    static constexpr int32_t kPluginId = 288;

    /// Registers the engine plug-in (no block) and the three extensions, stopping at the
    /// first refusal; only between Engine::Init and Engine::Open. 1, or 0.
    static int32_t Attach();
    /// Engine open and close (Engine::Start and Engine::Stop). The effect pipelines need the
    /// device; until they exist the open only counts.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    static int32_t GetOpenCount();
    /// -1 before Attach.
    static int32_t GetMaterialOffset();
    static int32_t GetAtomicOffset();
    static int32_t GetSectorOffset();
};
