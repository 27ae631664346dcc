// Inside the Direct3D 9 driver: the engine's render-state record that the render-state cache
// and the engine's render-state codes share.
#pragma once

#include "d3d9.h"

#include <cstdint>

struct Raster;

constexpr uint32_t kD3D9FilterNearest = 1;
constexpr uint32_t kD3D9FilterLinear = 2;
constexpr uint32_t kD3D9NumEngineFilters = 7;
constexpr uint32_t kD3D9FogLinear = 1;
constexpr uint32_t kD3D9NumFogTypes = 4;

/// What the engine asked of one texture stage.
struct D3D9StageRecord
{
    Raster* raster;                 ///< bound raster, or null
    IDirect3DBaseTexture9* texture; ///< the Direct3D texture bound with it
    DWORD addressU;
    DWORD addressV;
    uint32_t filter; ///< engine filter mode 0-6
    DWORD border;
    DWORD maxAnisotropy;
};

struct D3D9EngineStates
{
    D3D9StageRecord stages[8];
    bool zTest;
    bool zWrite;
    DWORD shadeMode;
    DWORD srcBlend;
    DWORD destBlend;
    bool vertexAlpha;
    bool textureAlpha; ///< the stage-0 raster has alpha
    bool fogOn;
    DWORD fogColour;
    uint32_t fogType; ///< engine fog type 0-3
    float fogDensity;
    DWORD cullMode;
    bool stencilOn;
    DWORD stencilFail;
    DWORD stencilZFail;
    DWORD stencilPass;
    DWORD stencilFunc;
    DWORD stencilRef;
    DWORD stencilMask;
    DWORD stencilWriteMask;
    DWORD alphaFunc;
    bool alphaTestActive; ///< the alpha function is not ALWAYS
};

struct D3D9FilterPair
{
    DWORD minMag;
    DWORD mip;
};

D3D9EngineStates& D3D9EngineState();
/// The sampler filters of an engine filter mode (below kD3D9NumEngineFilters).
D3D9FilterPair D3D9EngineFilter(uint32_t filter);
/// Alpha blending is on while vertex alpha or texture alpha is; turning it on sets the alpha
/// test to the alpha function's activity, turning it off clears the test.
void D3D9SetBlending(bool vertexAlpha, bool textureAlpha);
/// FOGTABLEMODE and FOGVERTEXMODE for an engine fog type: table fog when the device has both
/// table and w-based fog, else vertex fog.
void D3D9SetFogModes(uint32_t fogType);
