// The render-state cache of the Direct3D 9 driver: Direct3D render, texture-stage and sampler
// states compared against what the device was last sent (render and stage states queued and
// sent by one flush before each draw, sampler states sent at once), the texture bound to each
// stage, and the alpha-blending rule that couples vertex alpha with the stage-0 texture.
// The engine's own render-state codes (D3D9Device::SetEngineRenderState) are built on it.
#pragma once

#include "d3d9.h"

#include <cstdint>

struct Raster;
struct Texture;

struct D3D9RenderState
{
    static constexpr uint32_t kNumRenderStates = 210;
    static constexpr uint32_t kNumStages = 8;
    static constexpr uint32_t kNumStageStates = 33;
    static constexpr uint32_t kNumSamplerStates = 14;
    /// What a state reads as while the device's value is not known.
    static constexpr DWORD kUnknown = 0xFFFFFFFF;

    // ---- Direct3D states ------------------------------------------------------------------------

    /// Stores the value and queues the state when it differs from the wanted value; a state
    /// number outside the cache is ignored (0), else 1.
    static int32_t SetRenderState(uint32_t state, DWORD value);
    /// The wanted value (kUnknown while unknown); 0 for a state number outside the cache.
    static int32_t GetRenderState(uint32_t state, DWORD* value);
    /// As SetRenderState, for stage < 8 and type < 33.
    static int32_t SetTextureStageState(uint32_t stage, uint32_t type, DWORD value);
    static int32_t GetTextureStageState(uint32_t stage, uint32_t type, DWORD* value);
    /// Sent at once when the value differs from the last one sent; sampler < 8, type < 14.
    static int32_t SetSamplerState(uint32_t sampler, uint32_t type, DWORD value);
    /// Sends every queued render state, then every queued stage state, that differs from what
    /// the device holds. Every drawing path calls it right before its draw call.
    static void Flush();
    /// States queued and not yet flushed (render states + stage states).
    static uint32_t NumQueued();

    // ---- Textures -------------------------------------------------------------------------------

    /// Binds a texture's raster (or nothing) to a stage. filterAddressing is the engine
    /// texture's word: filter mode in bits 0-7, address U in bits 8-11, V in bits 12-15; a
    /// changed filter or address is sent as the stage's sampler states first. 0 for a stage
    /// outside 0-7 or an unknown filter mode, else 1.
    static int32_t SetTexture(Raster* raster, uint32_t filterAddressing, uint32_t stage);
    /// An engine texture (its raster and word), or null for nothing; as above.
    static int32_t SetTexture(const Texture* texture, uint32_t stage);
    /// Binds a raster's Direct3D texture (or nothing) to a stage with its palette; on stage 0
    /// its alpha decides texture alpha. 0 for a stage outside 0-7.
    static int32_t SetRaster(Raster* raster, uint32_t stage);
    /// The raster bound to a stage, or null.
    static Raster* GetStageRaster(uint32_t stage);

    // ---- Blending --------------------------------------------------------------------------------

    /// Engine blend codes equal the Direct3D ones (1-11); 0 for another value.
    static int32_t SetSourceBlend(int32_t blend);
    static int32_t SetDestBlend(int32_t blend);
    static void SetVertexAlphaEnable(bool on);
    static bool GetVertexAlphaEnable();

    // ---- Lifetime --------------------------------------------------------------------------------

    /// At device start: every cache unknown, then the engine's defaults, flushed.
    static void Open();
    /// After a Reset: every cache unknown, then the engine's current values, flushed.
    static void Restore();
};
