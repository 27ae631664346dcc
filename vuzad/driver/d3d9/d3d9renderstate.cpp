// The render-state cache: Direct3D render, texture-stage and sampler states compared with what
// the device holds, the texture bound to each stage, the alpha-blending rule, and the defaults
// and the restore after a Reset.
#include "d3d9renderstate.h"

#include "d3d9driver_local.h"
#include "d3d9renderstate_local.h"
#include "d3d9raster.h"
#include "texture.h"

#include <cstring>
#include <iterator>

namespace
{

// A value the cache wants, and whether it is queued for the next flush. A state whose value
// is unknown matches no value, so that every value (all bits set included) is sent after an
// Open or a Reset.
struct Wanted
{
    DWORD value;
    bool known;
    bool queued;
};

struct Sent
{
    DWORD value;
    bool known;
};

struct StagePair
{
    uint8_t stage;
    uint8_t type;
};

struct Caches
{
    Wanted render[D3D9RenderState::kNumRenderStates];
    Sent renderDevice[D3D9RenderState::kNumRenderStates];
    uint16_t renderQueue[D3D9RenderState::kNumRenderStates];
    uint32_t renderQueued;
    Wanted stage[D3D9RenderState::kNumStages][D3D9RenderState::kNumStageStates];
    Sent stageDevice[D3D9RenderState::kNumStages][D3D9RenderState::kNumStageStates];
    StagePair stageQueue[D3D9RenderState::kNumStages * D3D9RenderState::kNumStageStates];
    uint32_t stageQueued;
    Sent sampler[D3D9RenderState::kNumStages][D3D9RenderState::kNumSamplerStates];
};

Caches sCaches;
D3D9EngineStates sEngine;

IDirect3DDevice9* Device()
{
    return D3D9State().device;
}

void MakeUnknown()
{
    for (Wanted& w : sCaches.render)
        w = {D3D9RenderState::kUnknown, false, false};
    for (Sent& s : sCaches.renderDevice)
        s = {D3D9RenderState::kUnknown, false};
    for (auto& stage : sCaches.stage)
        for (Wanted& w : stage)
            w = {D3D9RenderState::kUnknown, false, false};
    for (auto& stage : sCaches.stageDevice)
        for (Sent& s : stage)
            s = {D3D9RenderState::kUnknown, false};
    for (auto& sampler : sCaches.sampler)
        for (Sent& s : sampler)
            s = {D3D9RenderState::kUnknown, false};
    sCaches.renderQueued = 0;
    sCaches.stageQueued = 0;
}

DWORD Bits(float value)
{
    DWORD bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The Direct3D object a raster shows as a texture: textures and camera textures only.
IDirect3DBaseTexture9* TextureOf(Raster* raster)
{
    if (!raster)
        return nullptr;
    Raster* top = raster->parent ? raster->parent : raster;
    switch (top->type)
    {
    case kRasterTypeNormal:
    case kRasterTypeTexture:
    case kRasterTypeCameraTexture:
        return static_cast<IDirect3DBaseTexture9*>(D3D9Raster::Extension(top)->object);
    default:
        return nullptr;
    }
}

bool HasAlpha(Raster* raster)
{
    if (!raster)
        return false;
    Raster* top = raster->parent ? raster->parent : raster;
    return D3D9Raster::Extension(top)->alpha != 0;
}

void SendFilter(uint32_t stage, uint32_t filter)
{
    D3D9FilterPair pair = D3D9EngineFilter(filter);
    D3D9RenderState::SetSamplerState(stage, D3DSAMP_MINFILTER, pair.minMag);
    D3D9RenderState::SetSamplerState(stage, D3DSAMP_MAGFILTER, pair.minMag);
    D3D9RenderState::SetSamplerState(stage, D3DSAMP_MIPFILTER, pair.mip);
}

// Nothing bound on any stage, on the device and in the records.
void UnbindStages()
{
    for (uint32_t stage = 0; stage < D3D9RenderState::kNumStages; ++stage)
    {
        if (Device())
            Device()->SetTexture(stage, nullptr);
        sEngine.stages[stage].raster = nullptr;
        sEngine.stages[stage].texture = nullptr;
    }
    sEngine.textureAlpha = false;
}

void SetStageOperations()
{
    D3D9RenderState::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    for (uint32_t stage = 1; stage < D3D9RenderState::kNumStages; ++stage)
    {
        D3D9RenderState::SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
        D3D9RenderState::SetTextureStageState(stage, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    }
}

void SetLightingDefaults()
{
    const D3DCAPS9& caps = D3D9State().caps;
    D3D9RenderState::SetRenderState(D3DRS_LIGHTING, FALSE);
    D3D9RenderState::SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    D3D9RenderState::SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    D3D9RenderState::SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
    D3D9RenderState::SetRenderState(D3DRS_DITHERENABLE, caps.RasterCaps & D3DPRASTERCAPS_DITHER);
    D3D9RenderState::SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    D3D9RenderState::SetRenderState(D3DRS_LOCALVIEWER, FALSE);
    D3D9RenderState::SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFF);
    D3D9RenderState::SetRenderState(D3DRS_NORMALIZENORMALS, FALSE);
}

void SetStencilStates()
{
    D3D9RenderState::SetRenderState(D3DRS_STENCILENABLE, sEngine.stencilOn);
    D3D9RenderState::SetRenderState(D3DRS_STENCILFAIL, sEngine.stencilFail);
    D3D9RenderState::SetRenderState(D3DRS_STENCILZFAIL, sEngine.stencilZFail);
    D3D9RenderState::SetRenderState(D3DRS_STENCILPASS, sEngine.stencilPass);
    D3D9RenderState::SetRenderState(D3DRS_STENCILFUNC, sEngine.stencilFunc);
    D3D9RenderState::SetRenderState(D3DRS_STENCILREF, sEngine.stencilRef);
    D3D9RenderState::SetRenderState(D3DRS_STENCILMASK, sEngine.stencilMask);
    D3D9RenderState::SetRenderState(D3DRS_STENCILWRITEMASK, sEngine.stencilWriteMask);
}

void SetDepthStates()
{
    D3D9RenderState::SetRenderState(D3DRS_ZWRITEENABLE, sEngine.zWrite);
    D3D9RenderState::SetRenderState(D3DRS_ZFUNC, sEngine.zTest ? D3DCMP_LESSEQUAL : D3DCMP_ALWAYS);
    D3D9RenderState::SetRenderState(D3DRS_ZENABLE, sEngine.zTest || sEngine.zWrite);
}

void SetStageSamplers(uint32_t stage)
{
    const D3D9StageRecord& record = sEngine.stages[stage];
    SendFilter(stage, record.filter);
    D3D9RenderState::SetSamplerState(stage, D3DSAMP_ADDRESSU, record.addressU);
    D3D9RenderState::SetSamplerState(stage, D3DSAMP_ADDRESSV, record.addressV);
    D3D9RenderState::SetSamplerState(stage, D3DSAMP_BORDERCOLOR, record.border);
    D3D9RenderState::SetSamplerState(stage, D3DSAMP_MAXANISOTROPY, record.maxAnisotropy);
}

} // namespace

// ---- Shared with the engine codes --------------------------------------------------------------

D3D9EngineStates& D3D9EngineState()
{
    return sEngine;
}

D3D9FilterPair D3D9EngineFilter(uint32_t filter)
{
    static constexpr D3D9FilterPair kFilters[] = {
        {D3DTEXF_NONE, D3DTEXF_NONE},    {D3DTEXF_POINT, D3DTEXF_NONE},   {D3DTEXF_LINEAR, D3DTEXF_NONE},
        {D3DTEXF_POINT, D3DTEXF_POINT},  {D3DTEXF_LINEAR, D3DTEXF_POINT}, {D3DTEXF_POINT, D3DTEXF_LINEAR},
        {D3DTEXF_LINEAR, D3DTEXF_LINEAR},
    };
    return filter < std::size(kFilters) ? kFilters[filter] : kFilters[0];
}

void D3D9SetBlending(bool vertexAlpha, bool textureAlpha)
{
    bool before = sEngine.vertexAlpha || sEngine.textureAlpha;
    sEngine.vertexAlpha = vertexAlpha;
    sEngine.textureAlpha = textureAlpha;
    bool now = vertexAlpha || textureAlpha;
    if (now == before)
        return;
    D3D9RenderState::SetRenderState(D3DRS_ALPHABLENDENABLE, now);
    D3D9RenderState::SetRenderState(D3DRS_ALPHATESTENABLE, now && sEngine.alphaTestActive);
}

void D3D9SetFogModes(uint32_t fogType)
{
    static constexpr DWORD kFogModes[] = {D3DFOG_NONE, D3DFOG_LINEAR, D3DFOG_EXP, D3DFOG_EXP2};
    DWORD mode = kFogModes[fogType < std::size(kFogModes) ? fogType : 0];
    constexpr DWORD kTableAndW = D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_WFOG;
    bool table = (D3D9State().caps.RasterCaps & kTableAndW) == kTableAndW;
    D3D9RenderState::SetRenderState(D3DRS_FOGTABLEMODE, table ? mode : D3DFOG_NONE);
    D3D9RenderState::SetRenderState(D3DRS_FOGVERTEXMODE, table ? D3DFOG_NONE : mode);
}

// ---- Direct3D states ---------------------------------------------------------------------------

int32_t D3D9RenderState::SetRenderState(uint32_t state, DWORD value)
{
    if (state >= kNumRenderStates)
        return 0;
    Wanted& w = sCaches.render[state];
    if (w.known && w.value == value)
        return 1;
    w.value = value;
    w.known = true;
    if (!w.queued)
    {
        w.queued = true;
        sCaches.renderQueue[sCaches.renderQueued++] = uint16_t(state);
    }
    return 1;
}

int32_t D3D9RenderState::GetRenderState(uint32_t state, DWORD* value)
{
    if (state >= kNumRenderStates)
        return 0;
    *value = sCaches.render[state].value;
    return 1;
}

int32_t D3D9RenderState::SetTextureStageState(uint32_t stage, uint32_t type, DWORD value)
{
    if (stage >= kNumStages || type >= kNumStageStates)
        return 0;
    Wanted& w = sCaches.stage[stage][type];
    if (w.known && w.value == value)
        return 1;
    w.value = value;
    w.known = true;
    if (!w.queued)
    {
        w.queued = true;
        sCaches.stageQueue[sCaches.stageQueued++] = {uint8_t(stage), uint8_t(type)};
    }
    return 1;
}

int32_t D3D9RenderState::GetTextureStageState(uint32_t stage, uint32_t type, DWORD* value)
{
    if (stage >= kNumStages || type >= kNumStageStates)
        return 0;
    *value = sCaches.stage[stage][type].value;
    return 1;
}

int32_t D3D9RenderState::SetSamplerState(uint32_t sampler, uint32_t type, DWORD value)
{
    if (sampler >= kNumStages || type >= kNumSamplerStates || !Device())
        return 0;
    Sent& s = sCaches.sampler[sampler][type];
    if (s.known && s.value == value)
        return 1;
    s = {value, true};
    Device()->SetSamplerState(sampler, D3DSAMPLERSTATETYPE(type), value);
    return 1;
}

void D3D9RenderState::Flush()
{
    IDirect3DDevice9* device = Device();
    for (uint32_t i = 0; i < sCaches.renderQueued; ++i)
    {
        uint16_t state = sCaches.renderQueue[i];
        Wanted& w = sCaches.render[state];
        w.queued = false;
        Sent& s = sCaches.renderDevice[state];
        if (s.known && s.value == w.value)
            continue;
        s = {w.value, true};
        if (device)
            device->SetRenderState(D3DRENDERSTATETYPE(state), w.value);
    }
    sCaches.renderQueued = 0;
    for (uint32_t i = 0; i < sCaches.stageQueued; ++i)
    {
        StagePair pair = sCaches.stageQueue[i];
        Wanted& w = sCaches.stage[pair.stage][pair.type];
        w.queued = false;
        Sent& s = sCaches.stageDevice[pair.stage][pair.type];
        if (s.known && s.value == w.value)
            continue;
        s = {w.value, true};
        if (device)
            device->SetTextureStageState(pair.stage, D3DTEXTURESTAGESTATETYPE(pair.type), w.value);
    }
    sCaches.stageQueued = 0;
}

uint32_t D3D9RenderState::NumQueued()
{
    return sCaches.renderQueued + sCaches.stageQueued;
}

// ---- Textures ----------------------------------------------------------------------------------

int32_t D3D9RenderState::SetRaster(Raster* raster, uint32_t stage)
{
    if (stage >= kNumStages)
        return 0;
    if (stage == 0)
        D3D9SetBlending(sEngine.vertexAlpha, HasAlpha(raster));
    D3D9StageRecord& record = sEngine.stages[stage];
    IDirect3DBaseTexture9* texture = TextureOf(raster);
    // The texture object is compared too: the device's binding keeps it alive, so a raster
    // record reused for another texture is never taken for the one still bound.
    if (raster == record.raster && texture == record.texture)
        return 1;
    record.raster = raster;
    record.texture = texture;
    if (IDirect3DDevice9* device = Device())
    {
        device->SetTexture(stage, texture);
        Raster* top = raster ? (raster->parent ? raster->parent : raster) : nullptr;
        if (top && D3D9Raster::Extension(top)->palette)
            device->SetCurrentTexturePalette(D3D9Raster::Extension(top)->palette->number);
    }
    return 1;
}

int32_t D3D9RenderState::SetTexture(const Texture* texture, uint32_t stage)
{
    return texture ? SetTexture(texture->raster, texture->filterAddressing, stage) : SetTexture(nullptr, 0, stage);
}

int32_t D3D9RenderState::SetTexture(Raster* raster, uint32_t filterAddressing, uint32_t stage)
{
    if (stage >= kNumStages)
        return 0;
    if (!raster)
        return SetRaster(nullptr, stage);
    uint32_t filter = filterAddressing & 0xFF;
    if (filter >= kD3D9NumEngineFilters)
        return 0;
    D3D9StageRecord& record = sEngine.stages[stage];
    DWORD addressU = (filterAddressing >> 8) & 0x0F;
    DWORD addressV = (filterAddressing >> 12) & 0x0F;
    if (addressU != record.addressU)
    {
        record.addressU = addressU;
        SetSamplerState(stage, D3DSAMP_ADDRESSU, addressU);
    }
    if (addressV != record.addressV)
    {
        record.addressV = addressV;
        SetSamplerState(stage, D3DSAMP_ADDRESSV, addressV);
    }
    if (filter != record.filter)
    {
        record.filter = filter;
        SendFilter(stage, filter);
    }
    return SetRaster(raster, stage);
}

Raster* D3D9RenderState::GetStageRaster(uint32_t stage)
{
    return stage < kNumStages ? sEngine.stages[stage].raster : nullptr;
}

// ---- Blending -----------------------------------------------------------------------------------

int32_t D3D9RenderState::SetSourceBlend(int32_t blend)
{
    if (blend < int32_t(D3DBLEND_ZERO) || blend > int32_t(D3DBLEND_SRCALPHASAT))
        return 0;
    sEngine.srcBlend = DWORD(blend);
    return SetRenderState(D3DRS_SRCBLEND, DWORD(blend));
}

int32_t D3D9RenderState::SetDestBlend(int32_t blend)
{
    if (blend < int32_t(D3DBLEND_ZERO) || blend > int32_t(D3DBLEND_SRCALPHASAT))
        return 0;
    sEngine.destBlend = DWORD(blend);
    return SetRenderState(D3DRS_DESTBLEND, DWORD(blend));
}

void D3D9RenderState::SetVertexAlphaEnable(bool on)
{
    D3D9SetBlending(on, sEngine.textureAlpha);
}

bool D3D9RenderState::GetVertexAlphaEnable()
{
    return sEngine.vertexAlpha;
}

// ---- Lifetime ----------------------------------------------------------------------------------

void D3D9RenderState::Open()
{
    MakeUnknown();
    const D3DCAPS9& caps = D3D9State().caps;
    D3D9EngineStates& e = sEngine;
    e = D3D9EngineStates{};

    SetRenderState(D3DRS_FOGENABLE, FALSE);
    e.fogOn = false;
    e.fogType = kD3D9FogLinear;
    D3D9SetFogModes(e.fogType);
    e.fogDensity = 1.0f;
    e.fogColour = 0;

    e.shadeMode = D3DSHADE_GOURAUD;
    SetRenderState(D3DRS_SHADEMODE, e.shadeMode);
    e.zTest = e.zWrite = true;
    SetDepthStates();

    e.stencilOn = false;
    e.stencilFail = e.stencilZFail = e.stencilPass = D3DSTENCILOP_KEEP;
    e.stencilFunc = D3DCMP_ALWAYS;
    e.stencilRef = 0;
    e.stencilMask = e.stencilWriteMask = 0xFFFFFFFF;
    SetStencilStates();

    UnbindStages();
    uint32_t filter = (caps.TextureFilterCaps & D3DPTFILTERCAPS_MINFLINEAR) ? kD3D9FilterLinear : kD3D9FilterNearest;
    for (uint32_t stage = 0; stage < kNumStages; ++stage)
    {
        e.stages[stage] = {nullptr, nullptr, D3DTADDRESS_WRAP, D3DTADDRESS_WRAP, filter, 0xFF000000, 1};
        SetStageSamplers(stage);
    }

    e.srcBlend = D3DBLEND_SRCALPHA;
    e.destBlend = D3DBLEND_INVSRCALPHA;
    SetRenderState(D3DRS_SRCBLEND, e.srcBlend);
    SetRenderState(D3DRS_DESTBLEND, e.destBlend);
    e.alphaFunc = D3DCMP_GREATER;
    e.alphaTestActive = true;
    SetRenderState(D3DRS_ALPHAFUNC, e.alphaFunc);
    SetRenderState(D3DRS_ALPHAREF, 0);
    SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    e.vertexAlpha = e.textureAlpha = false;
    e.cullMode = D3DCULL_CW;
    SetRenderState(D3DRS_CULLMODE, e.cullMode);

    SetStageOperations();
    SetLightingDefaults();
    D3D9Device::ForgetMaterial();
    Flush();
}

void D3D9RenderState::Restore()
{
    // The device lost every state: what the engine last asked for is sent again.
    Wanted fogStart = sCaches.render[D3DRS_FOGSTART];
    Wanted fogEnd = sCaches.render[D3DRS_FOGEND];
    Wanted alphaRef = sCaches.render[D3DRS_ALPHAREF];
    MakeUnknown();
    D3D9EngineStates& e = sEngine;

    SetRenderState(D3DRS_FOGDENSITY, Bits(e.fogDensity));
    SetRenderState(D3DRS_FOGENABLE, e.fogOn);
    D3D9SetFogModes(e.fogType);
    SetRenderState(D3DRS_FOGCOLOR, e.fogColour);
    if (fogStart.known)
        SetRenderState(D3DRS_FOGSTART, fogStart.value);
    if (fogEnd.known)
        SetRenderState(D3DRS_FOGEND, fogEnd.value);
    SetRenderState(D3DRS_SHADEMODE, e.shadeMode);
    SetDepthStates();
    SetStencilStates();

    UnbindStages();
    for (uint32_t stage = 0; stage < kNumStages; ++stage)
        SetStageSamplers(stage);

    SetRenderState(D3DRS_SRCBLEND, e.srcBlend);
    SetRenderState(D3DRS_DESTBLEND, e.destBlend);
    SetRenderState(D3DRS_ALPHAFUNC, e.alphaFunc);
    if (alphaRef.known)
        SetRenderState(D3DRS_ALPHAREF, alphaRef.value);
    SetRenderState(D3DRS_ALPHABLENDENABLE, e.vertexAlpha);
    SetRenderState(D3DRS_ALPHATESTENABLE, e.vertexAlpha && e.alphaTestActive);
    SetRenderState(D3DRS_CULLMODE, e.cullMode);

    SetStageOperations();
    SetLightingDefaults();
    // The device's material went with the Reset, and the states the material set-up sends
    // were just put back to their defaults: the next set-up must send its material again.
    D3D9Device::ForgetMaterial();
    Flush();
}
