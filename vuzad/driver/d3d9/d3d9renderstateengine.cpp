// The engine's render-state codes (the device record's set and get entries) on the
// render-state cache: texture, addressing, filtering, z-buffer, blending, fog, culling,
// stencil and alpha test.
#include "camera.h"
#include "d3d9driver_local.h"
#include "d3d9renderstate.h"
#include "d3d9renderstate_local.h"

#include <cstring>

namespace
{

constexpr DWORD kFogCaps = D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE;

DWORD Bits(float value)
{
    DWORD bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

bool InRange(intptr_t value, intptr_t low, intptr_t high)
{
    return value >= low && value <= high;
}

int32_t SetAddress(D3DSAMPLERSTATETYPE type, intptr_t value)
{
    if (!InRange(value, D3DTADDRESS_WRAP, D3DTADDRESS_BORDER))
        return 0;
    D3D9StageRecord& stage = D3D9EngineState().stages[0];
    (type == D3DSAMP_ADDRESSU ? stage.addressU : stage.addressV) = DWORD(value);
    D3D9RenderState::SetSamplerState(0, type, DWORD(value));
    return 1;
}

int32_t SetFilter(intptr_t value)
{
    if (!InRange(value, 0, kD3D9NumEngineFilters - 1))
        return 0;
    D3D9FilterPair pair = D3D9EngineFilter(uint32_t(value));
    D3D9EngineState().stages[0].filter = uint32_t(value);
    D3D9RenderState::SetSamplerState(0, D3DSAMP_MINFILTER, pair.minMag);
    D3D9RenderState::SetSamplerState(0, D3DSAMP_MAGFILTER, pair.minMag);
    D3D9RenderState::SetSamplerState(0, D3DSAMP_MIPFILTER, pair.mip);
    return 1;
}

void SetZ(bool test, bool write)
{
    D3D9EngineStates& e = D3D9EngineState();
    e.zTest = test;
    e.zWrite = write;
    D3D9RenderState::SetRenderState(D3DRS_ZFUNC, test ? D3DCMP_LESSEQUAL : D3DCMP_ALWAYS);
    D3D9RenderState::SetRenderState(D3DRS_ZWRITEENABLE, write);
    D3D9RenderState::SetRenderState(D3DRS_ZENABLE, test || write);
}

int32_t SetFogType(intptr_t value)
{
    if (!InRange(value, 0, kD3D9NumFogTypes - 1))
        return 0;
    D3D9EngineStates& e = D3D9EngineState();
    if (uint32_t(value) != e.fogType)
    {
        e.fogType = uint32_t(value);
        D3D9SetFogModes(e.fogType);
    }
    // Outside a camera's update there is no camera to take the planes from: the planes last
    // sent stay.
    const Camera* camera = D3D9State().currentCamera;
    if (value == kD3D9FogLinear && camera)
    {
        D3D9RenderState::SetRenderState(D3DRS_FOGSTART, Bits(camera->fogPlane));
        D3D9RenderState::SetRenderState(D3DRS_FOGEND, Bits(camera->farPlane));
    }
    return 1;
}

int32_t SetStencil(D3DRENDERSTATETYPE state, DWORD* field, intptr_t value, intptr_t low, intptr_t high)
{
    if (!InRange(value, low, high))
        return 0;
    *field = DWORD(value);
    D3D9RenderState::SetRenderState(state, DWORD(value));
    return 1;
}

} // namespace

int32_t D3D9Device::SetEngineRenderState(int32_t code, intptr_t value)
{
    D3D9EngineStates& e = D3D9EngineState();
    switch (code)
    {
    case kRenderStateTextureRaster:
        return D3D9RenderState::SetRaster(reinterpret_cast<Raster*>(value), 0);
    case kRenderStateTextureAddress:
        if (!InRange(value, D3DTADDRESS_WRAP, D3DTADDRESS_BORDER))
            return 0;
        SetAddress(D3DSAMP_ADDRESSU, value);
        return SetAddress(D3DSAMP_ADDRESSV, value);
    case kRenderStateTextureAddressU:
        return SetAddress(D3DSAMP_ADDRESSU, value);
    case kRenderStateTextureAddressV:
        return SetAddress(D3DSAMP_ADDRESSV, value);
    case kRenderStateTexturePerspective:
        return value != 0 ? 1 : 0;
    case kRenderStateZTest:
        SetZ(value != 0, e.zWrite);
        return 1;
    case kRenderStateShadeMode:
        if (!InRange(value, D3DSHADE_FLAT, D3DSHADE_GOURAUD))
            return 0;
        e.shadeMode = DWORD(value);
        return D3D9RenderState::SetRenderState(D3DRS_SHADEMODE, e.shadeMode);
    case kRenderStateZWrite:
        SetZ(e.zTest, value != 0);
        return 1;
    case kRenderStateTextureFilter:
        return SetFilter(value);
    case kRenderStateSourceBlend:
        return InRange(value, D3DBLEND_ZERO, D3DBLEND_SRCALPHASAT) ? D3D9RenderState::SetSourceBlend(int32_t(value)) : 0;
    case kRenderStateDestBlend:
        return InRange(value, D3DBLEND_ZERO, D3DBLEND_SRCALPHASAT) ? D3D9RenderState::SetDestBlend(int32_t(value)) : 0;
    case kRenderStateVertexAlpha:
        D3D9RenderState::SetVertexAlphaEnable(value != 0);
        return 1;
    case kRenderStateBorderColour:
        e.stages[0].border = DWORD(value);
        D3D9RenderState::SetSamplerState(0, D3DSAMP_BORDERCOLOR, DWORD(value));
        return 1;
    case kRenderStateFog:
        // A device without vertex or table fog cannot fog: turning it on is ignored.
        if (value != 0 && !(D3D9State().caps.RasterCaps & kFogCaps))
            return 1;
        e.fogOn = value != 0;
        return D3D9RenderState::SetRenderState(D3DRS_FOGENABLE, e.fogOn);
    case kRenderStateFogColour:
        e.fogColour = DWORD(value);
        return D3D9RenderState::SetRenderState(D3DRS_FOGCOLOR, e.fogColour);
    case kRenderStateFogType:
        return SetFogType(value);
    case kRenderStateFogDensity: {
        const auto* density = reinterpret_cast<const float*>(value);
        if (!density)
            return 0;
        if (*density != e.fogDensity)
        {
            e.fogDensity = *density;
            D3D9RenderState::SetRenderState(D3DRS_FOGDENSITY, Bits(e.fogDensity));
        }
        return 1;
    }
    case kRenderStateCullMode:
        if (!InRange(value, D3DCULL_NONE, D3DCULL_CCW))
            return 0;
        e.cullMode = DWORD(value);
        return D3D9RenderState::SetRenderState(D3DRS_CULLMODE, e.cullMode);
    case kRenderStateStencil:
        e.stencilOn = value != 0;
        return D3D9RenderState::SetRenderState(D3DRS_STENCILENABLE, e.stencilOn);
    case kRenderStateStencilFail:
        return SetStencil(D3DRS_STENCILFAIL, &e.stencilFail, value, D3DSTENCILOP_KEEP, D3DSTENCILOP_DECR);
    case kRenderStateStencilZFail:
        return SetStencil(D3DRS_STENCILZFAIL, &e.stencilZFail, value, D3DSTENCILOP_KEEP, D3DSTENCILOP_DECR);
    case kRenderStateStencilPass:
        return SetStencil(D3DRS_STENCILPASS, &e.stencilPass, value, D3DSTENCILOP_KEEP, D3DSTENCILOP_DECR);
    case kRenderStateStencilFunction:
        return SetStencil(D3DRS_STENCILFUNC, &e.stencilFunc, value, D3DCMP_NEVER, D3DCMP_ALWAYS);
    case kRenderStateStencilReference:
        return SetStencil(D3DRS_STENCILREF, &e.stencilRef, value & 0xFFFFFFFF, 0, UINT32_MAX);
    case kRenderStateStencilMask:
        return SetStencil(D3DRS_STENCILMASK, &e.stencilMask, value & 0xFFFFFFFF, 0, UINT32_MAX);
    case kRenderStateStencilWriteMask:
        return SetStencil(D3DRS_STENCILWRITEMASK, &e.stencilWriteMask, value & 0xFFFFFFFF, 0, UINT32_MAX);
    case kRenderStateAlphaFunction: {
        if (!InRange(value, D3DCMP_NEVER, D3DCMP_ALWAYS))
            return 0;
        e.alphaFunc = DWORD(value);
        e.alphaTestActive = e.alphaFunc != D3DCMP_ALWAYS;
        D3D9RenderState::SetRenderState(D3DRS_ALPHAFUNC, e.alphaFunc);
        if (e.vertexAlpha || e.textureAlpha)
            D3D9RenderState::SetRenderState(D3DRS_ALPHATESTENABLE, e.alphaTestActive);
        return 1;
    }
    case kRenderStateAlphaReference:
        return D3D9RenderState::SetRenderState(D3DRS_ALPHAREF, DWORD(value));
    default:
        return 0;
    }
}

int32_t D3D9Device::GetEngineRenderState(int32_t code, intptr_t* value)
{
    const D3D9EngineStates& e = D3D9EngineState();
    const D3D9StageRecord& stage = e.stages[0];
    switch (code)
    {
    case kRenderStateTextureRaster:
        *value = reinterpret_cast<intptr_t>(stage.raster);
        return 1;
    case kRenderStateTextureAddress:
        // One value only when both directions agree.
        *value = stage.addressU == stage.addressV ? intptr_t(stage.addressU) : 0;
        return stage.addressU == stage.addressV ? 1 : 0;
    case kRenderStateTextureAddressU:
        *value = intptr_t(stage.addressU);
        return 1;
    case kRenderStateTextureAddressV:
        *value = intptr_t(stage.addressV);
        return 1;
    case kRenderStateZTest:
        *value = e.zTest;
        return 1;
    case kRenderStateShadeMode:
        *value = intptr_t(e.shadeMode);
        return 1;
    case kRenderStateZWrite:
        *value = e.zWrite;
        return 1;
    case kRenderStateTextureFilter:
        *value = intptr_t(stage.filter);
        return 1;
    case kRenderStateSourceBlend:
        *value = intptr_t(e.srcBlend);
        return 1;
    case kRenderStateDestBlend:
        *value = intptr_t(e.destBlend);
        return 1;
    case kRenderStateVertexAlpha:
        *value = e.vertexAlpha;
        return 1;
    case kRenderStateBorderColour:
        *value = intptr_t(stage.border);
        return 1;
    case kRenderStateFog:
        *value = e.fogOn;
        return 1;
    case kRenderStateFogColour:
        *value = intptr_t(e.fogColour);
        return 1;
    case kRenderStateFogType:
        *value = intptr_t(e.fogType);
        return 1;
    case kRenderStateFogDensity:
        // The real's bits in the low four bytes, as the device holds it.
        *value = intptr_t(Bits(e.fogDensity));
        return 1;
    case kRenderStateCullMode:
        *value = intptr_t(e.cullMode);
        return 1;
    case kRenderStateStencil:
        *value = e.stencilOn;
        return 1;
    case kRenderStateStencilFail:
        *value = intptr_t(e.stencilFail);
        return 1;
    case kRenderStateStencilZFail:
        *value = intptr_t(e.stencilZFail);
        return 1;
    case kRenderStateStencilPass:
        *value = intptr_t(e.stencilPass);
        return 1;
    case kRenderStateStencilFunction:
        *value = intptr_t(e.stencilFunc);
        return 1;
    case kRenderStateStencilReference:
        *value = intptr_t(e.stencilRef);
        return 1;
    case kRenderStateStencilMask:
        *value = intptr_t(e.stencilMask);
        return 1;
    case kRenderStateStencilWriteMask:
        *value = intptr_t(e.stencilWriteMask);
        return 1;
    case kRenderStateAlphaFunction:
        *value = intptr_t(e.alphaFunc);
        return 1;
    case kRenderStateAlphaReference: {
        DWORD ref = 0;
        D3D9RenderState::GetRenderState(D3DRS_ALPHAREF, &ref);
        *value = intptr_t(ref);
        return 1;
    }
    default:
        *value = 0;
        return 0;
    }
}
