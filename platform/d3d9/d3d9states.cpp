// Device state of our Direct3D 9 layer: defaults, and the Set/Get calls for render, texture-stage and sampler
// states, transforms, lights, material, clip planes, palettes, bindings and shader constants. Every setter stores
// its value and marks a dirty group; bindings hold references on what they bind.
#include "d3d9objects_local.h"

#include <algorithm>
#include <cstring>

namespace d3d9
{
namespace
{

DWORD floatBits(float value)
{
    DWORD bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

D3DMATRIX identity()
{
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

bool validTransform(DWORD state)
{
    return state == D3DTS_VIEW || state == D3DTS_PROJECTION || (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) ||
           (state >= D3DTS_WORLD && state < D3D9_TRANSFORM_COUNT);
}

/// Render states whose values the uniform block carries.
bool feedsUniforms(D3DRENDERSTATETYPE state)
{
    switch (state)
    {
    case D3DRS_AMBIENT:
    case D3DRS_FOGCOLOR:
    case D3DRS_FOGSTART:
    case D3DRS_FOGEND:
    case D3DRS_FOGDENSITY:
    case D3DRS_TEXTUREFACTOR:
    case D3DRS_ALPHAREF:
    case D3DRS_POINTSIZE:
    case D3DRS_POINTSIZE_MIN:
    case D3DRS_POINTSIZE_MAX:
    case D3DRS_POINTSCALE_A:
    case D3DRS_POINTSCALE_B:
    case D3DRS_POINTSCALE_C:
        return true;
    default:
        return false;
    }
}

/// Stage states whose values the uniform block carries.
bool feedsUniforms(D3DTEXTURESTAGESTATETYPE type)
{
    return type == D3DTSS_CONSTANT || (type >= D3DTSS_BUMPENVMAT00 && type <= D3DTSS_BUMPENVMAT11) ||
           type == D3DTSS_BUMPENVLSCALE || type == D3DTSS_BUMPENVLOFFSET;
}

/// The bit of Device::mTransformsChanged a transform state feeds, 0 for those drawing never reads.
uint32_t transformBit(DWORD state)
{
    if (state >= D3DTS_WORLD && state < D3DTS_WORLD + 8)
        return 1u << (state - D3DTS_WORLD);
    if (state == D3DTS_VIEW)
        return 1u << 8;
    if (state == D3DTS_PROJECTION)
        return 1u << 9;
    if (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7)
        return 1u << (10 + state - D3DTS_TEXTURE0);
    return 0;
}

/// Swaps a bound object, taking a reference on the new one before letting go of the old.
template <class T> void rebind(T*& slot, T* value)
{
    if (value)
        value->addRef();
    if (slot)
        slot->release();
    slot = value;
}

RefTarget* textureRefs(IDirect3DBaseTexture9* texture)
{
    if (!texture)
        return nullptr;
    if (texture->GetType() == D3DRTYPE_TEXTURE)
        return static_cast<Texture*>(static_cast<IDirect3DTexture9*>(texture));
    return static_cast<CubeTexture*>(static_cast<IDirect3DCubeTexture9*>(texture));
}

} // namespace

int samplerSlot(DWORD sampler)
{
    if (sampler < 16)
        return int(sampler);
    if (sampler >= D3DDMAPSAMPLER && sampler <= D3DVERTEXTEXTURESAMPLER3)
        return int(sampler - D3DDMAPSAMPLER + 16);
    return -1;
}

// ---- Bindings and defaults ----------------------------------------------------------------------------------------

void Device::unbindAll()
{
    for (auto& texture : mTextures)
    {
        if (RefTarget* refs = textureRefs(texture))
            refs->release();
        texture = nullptr;
    }
    for (StreamBinding& stream : mStreams)
    {
        rebind(stream.buffer, static_cast<VertexBuffer*>(nullptr));
        stream = StreamBinding{};
    }
    rebind(mIndices, static_cast<IndexBuffer*>(nullptr));
    rebind(mDeclaration, static_cast<VertexDeclaration*>(nullptr));
    rebind(mVertexShader, static_cast<VertexShader*>(nullptr));
    rebind(mPixelShader, static_cast<PixelShader*>(nullptr));
    for (Surface*& target : mRenderTargets)
    {
        if (target && target->mContainer != this)
            target->release();
        target = nullptr;
    }
    if (mDepthStencil && mDepthStencil->mContainer != this)
        mDepthStencil->release();
    mDepthStencil = nullptr;
}

void Device::resetState()
{
    unbindAll();
    bool depth = mAutoDepth != nullptr;
    auto& rs = mRenderStates;
    rs.fill(0);
    rs[D3DRS_ZENABLE] = depth ? D3DZB_TRUE : D3DZB_FALSE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_LASTPIXEL] = TRUE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_FOGSTART] = floatBits(0.0f);
    rs[D3DRS_FOGEND] = floatBits(1.0f);
    rs[D3DRS_FOGDENSITY] = floatBits(1.0f);
    rs[D3DRS_STENCILFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILMASK] = 0xFFFFFFFF;
    rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_CLIPPING] = TRUE;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_COLORVERTEX] = TRUE;
    rs[D3DRS_LOCALVIEWER] = TRUE;
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs[D3DRS_POINTSIZE] = floatBits(1.0f);
    rs[D3DRS_POINTSIZE_MIN] = floatBits(1.0f);
    rs[D3DRS_POINTSCALE_A] = floatBits(1.0f);
    rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    rs[D3DRS_DEBUGMONITORTOKEN] = 0xBAADCAFE;
    rs[D3DRS_POINTSIZE_MAX] = floatBits(mCaps.MaxPointSize);
    rs[D3DRS_COLORWRITEENABLE] = 0xF;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_POSITIONDEGREE] = 3;
    rs[D3DRS_NORMALDEGREE] = 1;
    rs[D3DRS_MINTESSELLATIONLEVEL] = floatBits(1.0f);
    rs[D3DRS_MAXTESSELLATIONLEVEL] = floatBits(1.0f);
    rs[D3DRS_ADAPTIVETESS_Z] = floatBits(1.0f);
    rs[D3DRS_CCW_STENCILFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_COLORWRITEENABLE1] = 0xF;
    rs[D3DRS_COLORWRITEENABLE2] = 0xF;
    rs[D3DRS_COLORWRITEENABLE3] = 0xF;
    rs[D3DRS_BLENDFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;

    for (DWORD stage = 0; stage < D3D9_MAX_TEXTURE_STAGES; ++stage)
    {
        auto& ts = mStageStates[stage];
        ts.fill(0);
        ts[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        ts[D3DTSS_TEXCOORDINDEX] = stage;
        ts[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
    for (auto& sampler : mSamplerStates)
    {
        sampler.fill(0);
        sampler[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        sampler[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        sampler[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        sampler[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        sampler[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        sampler[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        sampler[D3DSAMP_MAXANISOTROPY] = 1;
    }
    std::fill(mTransforms.begin(), mTransforms.end(), identity());
    mMaterial = D3DMATERIAL9{};
    mLights.clear();
    mClipPlanes = {};
    std::fill(mVsConstF.begin(), mVsConstF.end(), 0.0f);
    std::fill(mVsConstI.begin(), mVsConstI.end(), 0);
    std::fill(mVsConstB.begin(), mVsConstB.end(), FALSE);
    std::fill(mPsConstF.begin(), mPsConstF.end(), 0.0f);
    std::fill(mPsConstI.begin(), mPsConstI.end(), 0);
    std::fill(mPsConstB.begin(), mPsConstB.end(), FALSE);
    mFvf = 0;
    // Palettes live with the device's video memory and are set again after a reset.
    mPalettes.clear();
    mCurrentPalette = 0;

    Surface* backBuffer = mImplicit->mBackBuffer.get();
    mRenderTargets[0] = backBuffer;
    mDepthStencil = mAutoDepth.get();
    mViewport = {0, 0, backBuffer->mDesc.Width, backBuffer->mDesc.Height, 0.0f, 1.0f};
    mScissor = backBuffer->bounds();
    mDirty = DirtyAll;
    mTransformsChanged = ~0u;
    mVsConstDirtyBegin = 0;
    mVsConstDirtyEnd = kShaderConstantsF;
    ++mPsConstSerial;
}

// ---- Render, texture-stage and sampler states -------------------------------------------------------------------

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    trace("SetRenderState", state, value);
    if (state >= mRenderStates.size())
        return D3DERR_INVALIDCALL;
    // Drawing rebuilds what depends on a group only when a value really changed.
    if (mRenderStates[state] == value)
        return D3D_OK;
    mRenderStates[state] = value;
    mDirty |= DirtyRenderState | (feedsUniforms(state) ? DirtyUniformStates : 0u);
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value)
{
    trace("GetRenderState", state);
    if (!value || state >= mRenderStates.size())
        return D3DERR_INVALIDCALL;
    *value = mRenderStates[state];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value)
{
    trace("SetTextureStageState", stage, type, value);
    if (stage >= D3D9_MAX_TEXTURE_STAGES || type == 0 || type >= D3D9_TEXTURESTAGESTATE_COUNT)
        return D3DERR_INVALIDCALL;
    if (mStageStates[stage][type] == value)
        return D3D_OK;
    mStageStates[stage][type] = value;
    mDirty |= DirtyStageState | (feedsUniforms(type) ? DirtyStageUniforms : 0u);
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value)
{
    trace("GetTextureStageState", stage, type);
    if (!value || stage >= D3D9_MAX_TEXTURE_STAGES || type == 0 || type >= D3D9_TEXTURESTAGESTATE_COUNT)
        return D3DERR_INVALIDCALL;
    *value = mStageStates[stage][type];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value)
{
    trace("SetSamplerState", sampler, type, value);
    int slot = samplerSlot(sampler);
    if (slot < 0 || type == 0 || type >= D3D9_SAMPLERSTATE_COUNT)
        return D3DERR_INVALIDCALL;
    // The engine sends addressing 0 for a texture whose U and V modes differ: 0 names no mode, so the mode
    // set before stays.
    if ((type == D3DSAMP_ADDRESSU || type == D3DSAMP_ADDRESSV || type == D3DSAMP_ADDRESSW) && value == 0)
        return D3D_OK;
    if (mSamplerStates[size_t(slot)][type] == value)
        return D3D_OK;
    mSamplerStates[size_t(slot)][type] = value;
    mDirty |= DirtySamplerState;
    return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value)
{
    trace("GetSamplerState", sampler, type);
    int slot = samplerSlot(sampler);
    if (!value || slot < 0 || type == 0 || type >= D3D9_SAMPLERSTATE_COUNT)
        return D3DERR_INVALIDCALL;
    *value = mSamplerStates[size_t(slot)][type];
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture)
{
    trace("SetTexture", stage, texture);
    int slot = samplerSlot(stage);
    if (slot < 0)
        return D3DERR_INVALIDCALL;
    TextureStore* store = textureStore(texture);
    if (texture &&
        (!store || store->mDevice != this || store->mPool == D3DPOOL_SYSTEMMEM || store->mPool == D3DPOOL_SCRATCH))
        return D3DERR_INVALIDCALL;
    if (mTextures[size_t(slot)] == texture)
        return D3D_OK;
    if (RefTarget* refs = textureRefs(texture))
        refs->addRef();
    if (RefTarget* old = textureRefs(mTextures[size_t(slot)]))
        old->release();
    mTextures[size_t(slot)] = texture;
    mDirty |= DirtyTextures;
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture)
{
    trace("GetTexture", stage);
    int slot = samplerSlot(stage);
    if (!texture || slot < 0)
        return D3DERR_INVALIDCALL;
    *texture = mTextures[size_t(slot)];
    if (RefTarget* refs = textureRefs(*texture))
        refs->addRef();
    return D3D_OK;
}

HRESULT Device::ValidateDevice(DWORD* passes)
{
    trace("ValidateDevice");
    if (!passes)
        return D3DERR_INVALIDCALL;
    HRESULT result;
    if (takeFault(d3d9test::Fault::ValidateDevice, &result))
        return result;
    // Every stage operation, argument and filter the caps report is available in one pass; what lies outside
    // them (an unknown operation, more stages than the caps allow) is refused as the platform's drivers do.
    for (DWORD stage = 0; stage < D3D9_MAX_TEXTURE_STAGES; ++stage)
    {
        const auto& ts = mStageStates[stage];
        if (ts[D3DTSS_COLOROP] == D3DTOP_DISABLE)
            break;
        if (stage >= mCaps.MaxTextureBlendStages || ts[D3DTSS_COLOROP] > D3DTOP_LERP || ts[D3DTSS_COLOROP] == 0)
            return D3DERR_UNSUPPORTEDCOLOROPERATION;
        if (ts[D3DTSS_ALPHAOP] > D3DTOP_LERP || ts[D3DTSS_ALPHAOP] == 0)
            return D3DERR_UNSUPPORTEDALPHAOPERATION;
    }
    *passes = 1;
    return D3D_OK;
}

// ---- Transforms, lights, material, clip planes --------------------------------------------------------------------

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix)
{
    trace("SetTransform", state);
    if (!matrix || !validTransform(state))
        return D3DERR_INVALIDCALL;
    if (std::memcmp(&mTransforms[state], matrix, sizeof(D3DMATRIX)) == 0)
        return D3D_OK;
    mTransforms[state] = *matrix;
    mTransformsChanged |= transformBit(state);
    mDirty |= DirtyTransform;
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix)
{
    trace("GetTransform", state);
    if (!matrix || !validTransform(state))
        return D3DERR_INVALIDCALL;
    *matrix = mTransforms[state];
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material)
{
    trace("SetMaterial");
    if (!material)
        return D3DERR_INVALIDCALL;
    if (std::memcmp(&mMaterial, material, sizeof(D3DMATERIAL9)) == 0)
        return D3D_OK;
    mMaterial = *material;
    mDirty |= DirtyMaterial;
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* material)
{
    trace("GetMaterial");
    if (!material)
        return D3DERR_INVALIDCALL;
    *material = mMaterial;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light)
{
    trace("SetLight", index, light ? DWORD(light->Type) : 0u);
    if (!light || light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL)
        return D3DERR_INVALIDCALL;
    D3DLIGHT9& slot = mLights[index].light;
    if (std::memcmp(&slot, light, sizeof(D3DLIGHT9)) == 0)
        return D3D_OK;
    slot = *light;
    mDirty |= DirtyLighting;
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT9* light)
{
    trace("GetLight", index);
    auto found = mLights.find(index);
    if (!light || found == mLights.end())
        return D3DERR_INVALIDCALL;
    *light = found->second.light;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable)
{
    trace("LightEnable", index, enable);
    auto found = mLights.find(index);
    if (found == mLights.end())
    {
        // Enabling a light never set gives it the platform's default: white, directional, along +z.
        LightSlot slot{};
        slot.light.Type = D3DLIGHT_DIRECTIONAL;
        slot.light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
        slot.light.Direction = {0.0f, 0.0f, 1.0f};
        found = mLights.emplace(index, slot).first;
    }
    if (found->second.enabled == (enable != FALSE))
        return D3D_OK;
    found->second.enabled = enable != FALSE;
    mDirty |= DirtyLighting;
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable)
{
    trace("GetLightEnable", index);
    auto found = mLights.find(index);
    if (!enable || found == mLights.end())
        return D3DERR_INVALIDCALL;
    *enable = found->second.enabled ? TRUE : FALSE;
    return D3D_OK;
}

HRESULT Device::SetClipPlane(DWORD index, const float* plane)
{
    trace("SetClipPlane", index);
    if (!plane || index >= std::min<DWORD>(mCaps.MaxUserClipPlanes, kMaxClipPlanes))
        return D3DERR_INVALIDCALL;
    if (std::equal(plane, plane + 4, mClipPlanes[index].begin()))
        return D3D_OK;
    std::copy(plane, plane + 4, mClipPlanes[index].begin());
    mDirty |= DirtyClipPlanes;
    return D3D_OK;
}

HRESULT Device::GetClipPlane(DWORD index, float* plane)
{
    trace("GetClipPlane", index);
    if (!plane || index >= std::min<DWORD>(mCaps.MaxUserClipPlanes, kMaxClipPlanes))
        return D3DERR_INVALIDCALL;
    std::copy(mClipPlanes[index].begin(), mClipPlanes[index].end(), plane);
    return D3D_OK;
}

// ---- Palettes -----------------------------------------------------------------------------------------------------

const PALETTEENTRY* Device::paletteFor(UINT number, uint64_t* serial) const
{
    if (number < mPalettes.size() && mPalettes[number].set)
    {
        *serial = mPalettes[number].serial;
        return mPalettes[number].entries.data();
    }
    *serial = 0;
    return nullptr;
}

HRESULT Device::SetPaletteEntries(UINT paletteNumber, const PALETTEENTRY* entries)
{
    trace("SetPaletteEntries", paletteNumber);
    if (!entries || paletteNumber > 0xFFFF)
        return D3DERR_INVALIDCALL;
    // Without alpha in palettes the platform insists on opaque entries.
    if (!(mCaps.TextureCaps & D3DPTEXTURECAPS_ALPHAPALETTE))
        for (int i = 0; i < 256; ++i)
            if (entries[i].peFlags != 0xFF)
                return D3DERR_INVALIDCALL;
    if (paletteNumber >= mPalettes.size())
        mPalettes.resize(paletteNumber + 1);
    Palette& palette = mPalettes[paletteNumber];
    std::copy(entries, entries + 256, palette.entries.begin());
    palette.serial = ++mPaletteSerial;
    palette.set = true;
    mDirty |= DirtyPalette;
    return D3D_OK;
}

HRESULT Device::GetPaletteEntries(UINT paletteNumber, PALETTEENTRY* entries)
{
    trace("GetPaletteEntries", paletteNumber);
    if (!entries || paletteNumber >= mPalettes.size() || !mPalettes[paletteNumber].set)
        return D3DERR_INVALIDCALL;
    std::copy(mPalettes[paletteNumber].entries.begin(), mPalettes[paletteNumber].entries.end(), entries);
    return D3D_OK;
}

HRESULT Device::SetCurrentTexturePalette(UINT paletteNumber)
{
    trace("SetCurrentTexturePalette", paletteNumber);
    if (paletteNumber >= mPalettes.size() || !mPalettes[paletteNumber].set)
        return D3DERR_INVALIDCALL;
    mCurrentPalette = paletteNumber;
    mDirty |= DirtyPalette;
    return D3D_OK;
}

HRESULT Device::GetCurrentTexturePalette(UINT* paletteNumber)
{
    trace("GetCurrentTexturePalette");
    if (!paletteNumber)
        return D3DERR_INVALIDCALL;
    *paletteNumber = mCurrentPalette;
    return D3D_OK;
}

// ---- Vertex input and shaders -------------------------------------------------------------------------------------

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration)
{
    trace("SetVertexDeclaration", declaration);
    auto* object = static_cast<VertexDeclaration*>(declaration);
    if (object && object->mDevice != this)
        return D3DERR_INVALIDCALL;
    if (object == mDeclaration && mFvf == 0)
        return D3D_OK;
    rebind(mDeclaration, object);
    mFvf = 0;
    mDirty |= DirtyDeclaration;
    return D3D_OK;
}

HRESULT Device::GetVertexDeclaration(IDirect3DVertexDeclaration9** declaration)
{
    trace("GetVertexDeclaration");
    if (!declaration)
        return D3DERR_INVALIDCALL;
    *declaration = mDeclaration;
    if (mDeclaration)
        mDeclaration->addRef();
    return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf)
{
    trace("SetFVF", Hex{fvf});
    if (!mDeclaration && fvf == mFvf)
        return D3D_OK;
    rebind(mDeclaration, static_cast<VertexDeclaration*>(nullptr));
    mFvf = fvf;
    mDirty |= DirtyDeclaration;
    return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* fvf)
{
    trace("GetFVF");
    if (!fvf)
        return D3DERR_INVALIDCALL;
    *fvf = mFvf;
    return D3D_OK;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* shader)
{
    trace("SetVertexShader", shader);
    auto* object = static_cast<VertexShader*>(shader);
    if (object && object->mDevice != this)
        return D3DERR_INVALIDCALL;
    if (object == mVertexShader)
        return D3D_OK;
    rebind(mVertexShader, object);
    mDirty |= DirtyShaders;
    return D3D_OK;
}

HRESULT Device::GetVertexShader(IDirect3DVertexShader9** shader)
{
    trace("GetVertexShader");
    if (!shader)
        return D3DERR_INVALIDCALL;
    *shader = mVertexShader;
    if (mVertexShader)
        mVertexShader->addRef();
    return D3D_OK;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* shader)
{
    trace("SetPixelShader", shader);
    auto* object = static_cast<PixelShader*>(shader);
    if (object && object->mDevice != this)
        return D3DERR_INVALIDCALL;
    if (object == mPixelShader)
        return D3D_OK;
    rebind(mPixelShader, object);
    mDirty |= DirtyShaders;
    return D3D_OK;
}

HRESULT Device::GetPixelShader(IDirect3DPixelShader9** shader)
{
    trace("GetPixelShader");
    if (!shader)
        return D3DERR_INVALIDCALL;
    *shader = mPixelShader;
    if (mPixelShader)
        mPixelShader->addRef();
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride)
{
    trace("SetStreamSource", stream, buffer, offset, stride);
    auto* object = static_cast<VertexBuffer*>(buffer);
    if (stream >= std::min<UINT>(mCaps.MaxStreams, kMaxStreams) || (object && object->mDevice != this))
        return D3DERR_INVALIDCALL;
    if (offset != 0 && (!(mCaps.DevCaps2 & D3DDEVCAPS2_STREAMOFFSET) || offset % 4 != 0))
        return D3DERR_INVALIDCALL;
    StreamBinding& binding = mStreams[stream];
    if (binding.buffer == object && binding.offset == offset && binding.stride == stride)
        return D3D_OK;
    rebind(binding.buffer, object);
    binding.offset = offset;
    binding.stride = stride;
    mDirty |= DirtyStreams;
    return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset, UINT* stride)
{
    trace("GetStreamSource", stream);
    if (!buffer || !offset || !stride || stream >= kMaxStreams)
        return D3DERR_INVALIDCALL;
    const StreamBinding& binding = mStreams[stream];
    *buffer = binding.buffer;
    if (binding.buffer)
        binding.buffer->addRef();
    *offset = binding.offset;
    *stride = binding.stride;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* indices)
{
    trace("SetIndices", indices);
    auto* object = static_cast<IndexBuffer*>(indices);
    if (object == mIndices)
        return D3D_OK;
    if (object && object->mDevice != this)
        return D3DERR_INVALIDCALL;
    rebind(mIndices, object);
    mDirty |= DirtyIndices;
    return D3D_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer9** indices)
{
    trace("GetIndices");
    if (!indices)
        return D3DERR_INVALIDCALL;
    *indices = mIndices;
    if (mIndices)
        mIndices->addRef();
    return D3D_OK;
}

// ---- Shader constants ---------------------------------------------------------------------------------------------

namespace
{

/// Stores constants; true in `changed` only when a value differs from what was stored.
template <class T>
HRESULT setConstants(std::vector<T>& store, UINT width, UINT start, const T* data, UINT count, uint32_t& dirty,
                     bool* changed = nullptr)
{
    if (!data || (uint64_t(start) + count) * width > store.size())
        return D3DERR_INVALIDCALL;
    auto at = store.begin() + ptrdiff_t(start) * width;
    if (std::equal(data, data + size_t(count) * width, at))
        return D3D_OK;
    std::copy(data, data + size_t(count) * width, at);
    dirty |= DirtyShaderConstants;
    if (changed)
        *changed = true;
    return D3D_OK;
}

template <class T> HRESULT getConstants(const std::vector<T>& store, UINT width, UINT start, T* data, UINT count)
{
    if (!data || (uint64_t(start) + count) * width > store.size())
        return D3DERR_INVALIDCALL;
    std::copy(store.begin() + ptrdiff_t(start) * width, store.begin() + ptrdiff_t(start + count) * width, data);
    return D3D_OK;
}

} // namespace

HRESULT Device::SetVertexShaderConstantF(UINT start, const float* data, UINT count4)
{
    trace("SetVertexShaderConstantF", start, count4);
    if (uint64_t(start) + count4 > mCaps.MaxVertexShaderConst)
        return D3DERR_INVALIDCALL;
    bool changed = false;
    HRESULT result = setConstants(mVsConstF, 4, start, data, count4, mDirty, &changed);
    if (changed)
    {
        // Only the registers set are sent again.
        mVsConstDirtyBegin = std::min(mVsConstDirtyBegin, start);
        mVsConstDirtyEnd = std::max(mVsConstDirtyEnd, start + count4);
    }
    return result;
}

HRESULT Device::GetVertexShaderConstantF(UINT start, float* data, UINT count4)
{
    trace("GetVertexShaderConstantF", start, count4);
    return getConstants(mVsConstF, 4, start, data, count4);
}

HRESULT Device::SetVertexShaderConstantI(UINT start, const int* data, UINT count4)
{
    trace("SetVertexShaderConstantI", start, count4);
    return setConstants(mVsConstI, 4, start, data, count4, mDirty);
}

HRESULT Device::SetVertexShaderConstantB(UINT start, const BOOL* data, UINT count)
{
    trace("SetVertexShaderConstantB", start, count);
    return setConstants(mVsConstB, 1, start, data, count, mDirty);
}

HRESULT Device::SetPixelShaderConstantF(UINT start, const float* data, UINT count4)
{
    trace("SetPixelShaderConstantF", start, count4);
    bool changed = false;
    HRESULT result = setConstants(mPsConstF, 4, start, data, count4, mDirty, &changed);
    if (changed)
        ++mPsConstSerial;
    return result;
}

HRESULT Device::GetPixelShaderConstantF(UINT start, float* data, UINT count4)
{
    trace("GetPixelShaderConstantF", start, count4);
    return getConstants(mPsConstF, 4, start, data, count4);
}

HRESULT Device::SetPixelShaderConstantI(UINT start, const int* data, UINT count4)
{
    trace("SetPixelShaderConstantI", start, count4);
    return setConstants(mPsConstI, 4, start, data, count4, mDirty);
}

HRESULT Device::SetPixelShaderConstantB(UINT start, const BOOL* data, UINT count)
{
    trace("SetPixelShaderConstantB", start, count);
    return setConstants(mPsConstB, 1, start, data, count, mDirty);
}

} // namespace d3d9
