// The UV-animation plug-in: its attach, its engine open and close, and the material
// extension that holds a material's UV interpolators.
#pragma once

#include <cstdint>

struct AnimInterpolator;
struct Matrix;

constexpr int32_t kUVAnimMaxInterpolators = 8;
constexpr int32_t kUVAnimChannels = 2;

/// The material extension: up to eight playing UV animations and the two channel matrices
/// they drive; all null for a material without UV animation.
struct UVAnimMaterialExtension
{
    AnimInterpolator* interpolators[kUVAnimMaxInterpolators];
    Matrix* channels[kUVAnimChannels];
};

struct UVAnim
{
    static constexpr int32_t kPluginId = 309;

    /// Registers the engine plug-in (no block) and the material extension; only between
    /// Engine::Init and Engine::Open. 1, or 0 when a registration was refused.
    static int32_t Attach();
    /// Engine open and close (Engine::Start and Engine::Stop); they count nested opens.
    static void* EngineOpen(void* engine, int32_t offset, int32_t size);
    static void* EngineClose(void* engine, int32_t offset, int32_t size);
    static int32_t GetOpenCount();
    /// -1 before Attach.
    static int32_t GetMaterialOffset();
};
