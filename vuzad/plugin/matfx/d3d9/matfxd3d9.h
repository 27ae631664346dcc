// The Direct3D 9 side of material effects as data: the device capabilities read at engine
// start, the single-pass checks, the pixel shaders, the bump vertex, the dual-texture table and
// the shader choices. The drawing entry points are declared with the plug-in (matfx.h).
#pragma once

#include "d3d9.h"
#include "matfxshaders.h"

#include <cstdint>

struct IDirect3DPixelShader9;

/// The fixed-function vertex the bump passes draw: position, normal, diffuse colour, the
/// first texture coordinates and the shifted ones.
struct MatFxBumpVertex
{
    float x, y, z;
    float nx, ny, nz;
    uint32_t colour;
    float u0, v0;
    float u1, v1;
};
static_assert(sizeof(MatFxBumpVertex) == 44, "the bump vertex format is 44 bytes");
constexpr DWORD kMatFxBumpFvf = 0x252;

struct MatFxDeviceCaps
{
    int32_t blendStages;  ///< the device's texture blend stages
    int32_t multiTexture; ///< more than one texture sampled at once
    int32_t multiplyAdd;  ///< MULTIPLYADD among the texture operations
    int32_t modulate2x;   ///< MODULATE2X, until its single pass fails validation
};

/// A single-pass set-up as the device's validation judged it.
enum MatFxValidation : int32_t
{
    kMatFxNotValidated = 0,
    kMatFxValidated = 1,
    kMatFxRefused = 2,
};

/// One texture-stage operation: stage, colour or alpha, the operation and its arguments
/// (kMatFxKeep leaves an argument as it is). op 0 ends a list.
struct MatFxStageOp
{
    uint8_t stage;
    uint8_t alpha;
    uint8_t op;
    DWORD arg1;
    DWORD arg2;
    DWORD arg0;
};
constexpr DWORD kMatFxKeep = 0xFFFFFFFF;

/// What a dual pair needs beyond two blend stages for its single pass.
constexpr uint32_t kMatFxNeedsThreeStages = 0x1;
constexpr uint32_t kMatFxNeedsModulate2x = 0x2;
constexpr uint32_t kMatFxNeedsMultiplyAdd = 0x4;

/// One blend pair of the dual-texture single pass.
struct MatFxDualRow
{
    int32_t source;
    int32_t dest;
    uint32_t needs;
    /// With three stages stage 0 only selects the base and stage 2 modulates by the diffuse
    /// colour at the end.
    int32_t threeStageForm;
    MatFxStageOp withBase[3]; ///< the dual texture on stage 1
    MatFxStageOp noBase[4];   ///< the dual texture on stage 0
    DWORD noBaseFactor;       ///< the texture factor set without a base, 0 for none
};

struct MatFxD3D9
{
    static const MatFxDeviceCaps& GetCaps();
    /// Null while closed or on a device below pixel shader 1.1.
    static IDirect3DPixelShader9* GetPixelShader(int32_t shader);
    static MatFxValidation GetModulate2xValidation();
    static MatFxValidation GetAddEnvValidation();

    /// The row of a blend pair, or null for a pair the single pass does not handle.
    static const MatFxDualRow* FindDualRow(int32_t source, int32_t dest);
    /// The pairs whose second pass turns alpha testing off.
    static bool IsModulatingPair(int32_t source, int32_t dest);

    /// The bump pass's shader: E or F (by the environment's alpha) with frame-buffer alpha,
    /// else D, when an environment is given with a non-zero coefficient byte; else A.
    static int32_t ChooseBumpShader(bool environment, int32_t coefficientByte, bool frameBufferAlpha,
                                    bool environmentAlpha);
    /// The environment pass's shader, B over a base or C without, when the environment has
    /// alpha and (frame-buffer alpha, or an opaque mesh and base); else none.
    static int32_t ChooseEnvShader(bool base, bool environmentAlpha, bool frameBufferAlpha, bool opaque);
    /// round(coefficient x 255), clamped to 0..255.
    static int32_t CoefficientByte(float coefficient);
};
