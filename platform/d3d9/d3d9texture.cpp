// Textures and cube textures of our Direct3D 9 layer: creation rules (sizes, levels, pools, usages, caps), their
// level surfaces, automatic mip levels and palettised uploads.
#include "d3d9objects_local.h"

#include <algorithm>

namespace d3d9
{
namespace
{

bool isPow2(UINT value)
{
    return value && !(value & (value - 1));
}

UINT fullChain(UINT width, UINT height)
{
    UINT levels = 1;
    for (UINT size = std::max(width, height); size > 1; size >>= 1)
        ++levels;
    return levels;
}

struct TexturePlan
{
    const FormatInfo* format = nullptr;
    UINT levels = 0;
    bool autoGen = false;
    bool noAutoGen = false; ///< automatic mipmaps were asked for and are not available
};

/// The platform's rules for a new texture; D3DERR_INVALIDCALL when they are broken.
HRESULT planTexture(Device& device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                    bool cube, TexturePlan& plan)
{
    const D3DCAPS9& caps = device.mCaps;
    plan.format = findFormat(format);
    if (!plan.format || width == 0 || height == 0 || width > caps.MaxTextureWidth || height > caps.MaxTextureHeight)
        return D3DERR_INVALIDCALL;
    constexpr DWORD allowed = D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DYNAMIC |
                              D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_DMAP | D3DUSAGE_SOFTWAREPROCESSING;
    if (usage & ~allowed)
        return D3DERR_INVALIDCALL;
    bool target = usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL);
    if ((usage & D3DUSAGE_RENDERTARGET) && (usage & D3DUSAGE_DEPTHSTENCIL))
        return D3DERR_INVALIDCALL;
    if (target && pool != D3DPOOL_DEFAULT)
        return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED)
        return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_AUTOGENMIPMAP) && (pool == D3DPOOL_SYSTEMMEM || pool == D3DPOOL_SCRATCH))
        return D3DERR_INVALIDCALL;
    if (plan.format->depth != bool(usage & D3DUSAGE_DEPTHSTENCIL) || (plan.format->depth && cube))
        return D3DERR_INVALIDCALL;
    if (plan.format->compressed && (width % 4 || height % 4))
        return D3DERR_INVALIDCALL;
    D3DRESOURCETYPE type = cube ? D3DRTYPE_CUBETEXTURE : D3DRTYPE_TEXTURE;
    DWORD checked = usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DYNAMIC);
    if (pool != D3DPOOL_SCRATCH &&
        device.mD3d->checkFormat(device.mAdapter, device.displayFormat(), checked, type, format) != D3D_OK)
        return D3DERR_INVALIDCALL;

    UINT maxLevels = fullChain(width, height);
    if (usage & D3DUSAGE_AUTOGENMIPMAP)
    {
        if (levels > 1)
            return D3DERR_INVALIDCALL;
        plan.autoGen = device.mD3d->checkFormat(device.mAdapter, device.displayFormat(),
                                                checked | D3DUSAGE_AUTOGENMIPMAP, type, format) == D3D_OK;
        plan.noAutoGen = !plan.autoGen;
        levels = plan.autoGen ? 0 : levels;
    }
    if (levels > maxLevels)
        return D3DERR_INVALIDCALL;
    plan.levels = levels == 0 ? maxLevels : levels;

    if (pool != D3DPOOL_SCRATCH)
    {
        bool pow2 = isPow2(width) && isPow2(height);
        if (cube && (caps.TextureCaps & D3DPTEXTURECAPS_CUBEMAP_POW2) && !pow2)
            return D3DERR_INVALIDCALL;
        if (!cube && (caps.TextureCaps & D3DPTEXTURECAPS_POW2) && !pow2)
        {
            bool conditional = caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL;
            if (!conditional || plan.levels > 1)
                return D3DERR_INVALIDCALL;
        }
        if ((caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) && width != height)
            return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

} // namespace

// ---- The shared store ---------------------------------------------------------------------------------------------

HRESULT TextureStore::create(Device* device, RefTarget* container, UINT width, UINT height, UINT levels, DWORD usage,
                             const FormatInfo& format, D3DPOOL pool, bool cube, bool autoGen)
{
    mDevice = device;
    mFormat = &format;
    mWidth = width;
    mHeight = height;
    mLevels = levels;
    mFaces = cube ? 6 : 1;
    mUsage = autoGen ? usage : usage & ~D3DUSAGE_AUTOGENMIPMAP;
    mPool = pool;
    mAutoGen = autoGen;
    if (pool == D3DPOOL_DEFAULT || pool == D3DPOOL_MANAGED)
    {
        device->makeCurrent();
        mGlTexture = glNewTexture(device->mGl, format, width, height, levels, cube);
        if (!mGlTexture)
            return D3DERR_OUTOFVIDEOMEMORY;
    }
    bool lockableDefault = pool == D3DPOOL_DEFAULT && (usage & D3DUSAGE_DYNAMIC);
    for (UINT face = 0; face < mFaces; ++face)
        for (UINT level = 0; level < levels; ++level)
        {
            D3DSURFACE_DESC desc{format.format,
                                 D3DRTYPE_SURFACE,
                                 mUsage,
                                 pool,
                                 D3DMULTISAMPLE_NONE,
                                 0,
                                 std::max(width >> level, 1u),
                                 std::max(height >> level, 1u)};
            auto surface = std::make_unique<Surface>(device, desc, format, container);
            surface->mTexture = this;
            surface->mLevel = level;
            surface->mLockableDefault = lockableDefault;
            if (mGlTexture)
                surface->attachGl({mGlTexture, cube ? kGlCubeFacePositiveX + face : kGlTexture2D, int(level)});
            mSurfaces.push_back(std::move(surface));
        }
    return D3D_OK;
}

void TextureStore::destroy()
{
    if (mDevice && mGlTexture)
    {
        mDevice->makeCurrent();
        glDeleteTexture(mGlTexture);
    }
    mGlTexture = 0;
    for (auto& surface : mSurfaces)
        surface->deviceGone();
    mDevice = nullptr;
}

uint64_t TextureStore::bytes() const
{
    uint64_t total = 0;
    for (UINT level = 0; level < mLevels; ++level)
        total += uint64_t(rowBytes(*mFormat, std::max(mWidth >> level, 1u))) *
                 rowCount(*mFormat, std::max(mHeight >> level, 1u));
    return total * mFaces;
}

void TextureStore::noteLevelWritten(UINT level)
{
    if (level == 0 && mAutoGen)
        mMipsDirty = true;
}

void TextureStore::prepareForSampling()
{
    if (!mDevice || !mGlTexture)
        return;
    for (const std::unique_ptr<Surface>& level : mSurfaces)
        if (level->mUploadPending)
        {
            level->mUploadPending = false;
            level->uploadRect(level->bounds());
        }
    if (mFormat->upload == Upload::Palette)
    {
        uint64_t serial = 0;
        mDevice->paletteFor(mDevice->mCurrentPalette, &serial);
        if (mPaletteUsed != mDevice->mCurrentPalette || mPaletteSerial != serial)
        {
            UINT uploaded = mAutoGen ? 1 : mLevels;
            for (UINT face = 0; face < mFaces; ++face)
                for (UINT level = 0; level < uploaded; ++level)
                {
                    Surface* level0 = surface(face, level);
                    level0->ensureCpu();
                    level0->uploadRect(level0->bounds());
                }
            if (mAutoGen)
                mMipsDirty = true;
        }
    }
    if (mAutoGen && mMipsDirty)
    {
        mDevice->makeCurrent();
        glGenerateMips(mGlTexture, mFaces == 6);
        mMipsDirty = false;
    }
}

TextureStore* textureStore(IDirect3DBaseTexture9* texture)
{
    if (!texture)
        return nullptr;
    switch (texture->GetType())
    {
    case D3DRTYPE_TEXTURE:
        return &static_cast<Texture*>(static_cast<IDirect3DTexture9*>(texture))->mStore;
    case D3DRTYPE_CUBETEXTURE:
        return &static_cast<CubeTexture*>(static_cast<IDirect3DCubeTexture9*>(texture))->mStore;
    default:
        return nullptr;
    }
}

// ---- Creation -----------------------------------------------------------------------------------------------------

namespace
{

template <class Concrete, class Interface>
HRESULT createTexture(Device& device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                      bool cube, Interface** out)
{
    TexturePlan plan;
    HRESULT result = planTexture(device, width, height, levels, usage, format, pool, cube, plan);
    if (FAILED(result))
        return result;
    auto* texture = new Concrete;
    texture->mDevice = &device;
    texture->mPool = pool;
    texture->mBlocksReset = pool == D3DPOOL_DEFAULT;
    result = texture->mStore.create(&device, texture, width, height, plan.levels, usage, *plan.format, pool, cube,
                                    plan.autoGen);
    texture->mBytes = texture->mStore.bytes();
    if (SUCCEEDED(result))
        result = device.reserveMemory(pool, texture->mBytes);
    if (FAILED(result))
    {
        texture->mStore.destroy();
        texture->mDevice = nullptr;
        texture->release();
        return result;
    }
    device.track(texture);
    *out = texture;
    return plan.noAutoGen ? D3DOK_NOAUTOGEN : D3D_OK;
}

} // namespace

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** texture, void** sharedHandle)
{
    trace("CreateTexture", width, height, levels, Hex{usage}, format, pool);
    if (!texture || sharedHandle)
        return D3DERR_INVALIDCALL;
    *texture = nullptr;
    HRESULT result;
    if (takeFault(d3d9test::Fault::CreateResource, &result))
        return result;
    return createTexture<Texture>(*this, width, height, levels, usage, format, pool, false, texture);
}

HRESULT Device::CreateCubeTexture(UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DCubeTexture9** texture, void** sharedHandle)
{
    trace("CreateCubeTexture", edgeLength, levels, Hex{usage}, format, pool);
    if (!texture || sharedHandle)
        return D3DERR_INVALIDCALL;
    *texture = nullptr;
    HRESULT result;
    if (takeFault(d3d9test::Fault::CreateResource, &result))
        return result;
    if (!(mCaps.TextureCaps & D3DPTEXTURECAPS_CUBEMAP))
        return D3DERR_INVALIDCALL;
    return createTexture<CubeTexture>(*this, edgeLength, edgeLength, levels, usage, format, pool, true, texture);
}

// ---- Texture ------------------------------------------------------------------------------------------------------

namespace
{

/// The levels a caller sees: only the top one when the device makes the others.
UINT visibleLevels(const TextureStore& store)
{
    return store.mAutoGen ? 1 : store.mLevels;
}

DWORD setLod(TextureStore& store, DWORD lod)
{
    DWORD old = store.mLod;
    if (store.mPool == D3DPOOL_MANAGED)
        store.mLod = std::min(lod, store.mLevels - 1);
    return old;
}

HRESULT setAutoGenFilter(TextureStore& store, D3DTEXTUREFILTERTYPE filter)
{
    if (filter == D3DTEXF_NONE || filter > D3DTEXF_LINEAR)
        return D3DERR_INVALIDCALL;
    store.mAutoGenFilter = filter;
    return D3D_OK;
}

void generateMips(TextureStore& store)
{
    if (store.mAutoGen)
    {
        store.mMipsDirty = true;
        store.prepareForSampling();
    }
}

HRESULT levelDesc(TextureStore& store, UINT level, D3DSURFACE_DESC* desc)
{
    if (!desc || level >= visibleLevels(store))
        return D3DERR_INVALIDCALL;
    *desc = store.surface(0, level)->mDesc;
    return D3D_OK;
}

HRESULT levelSurface(TextureStore& store, UINT face, UINT level, IDirect3DSurface9** out)
{
    if (!out || face >= store.mFaces || level >= visibleLevels(store))
        return D3DERR_INVALIDCALL;
    Surface* surface = store.surface(face, level);
    surface->addRef();
    *out = surface;
    return D3D_OK;
}

} // namespace

Texture::~Texture()
{
    if (mDevice)
        mDevice->untrack(this);
    mStore.destroy();
}

DWORD Texture::GetLevelCount()
{
    trace("Texture::GetLevelCount", static_cast<IDirect3DTexture9*>(this));
    return visibleLevels(mStore);
}

DWORD Texture::SetLOD(DWORD lod)
{
    return setLod(mStore, lod);
}
DWORD Texture::GetLOD()
{
    return mStore.mLod;
}
HRESULT Texture::SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter)
{
    return setAutoGenFilter(mStore, filter);
}
D3DTEXTUREFILTERTYPE Texture::GetAutoGenFilterType()
{
    return mStore.mAutoGenFilter;
}

void Texture::GenerateMipSubLevels()
{
    trace("Texture::GenerateMipSubLevels", static_cast<IDirect3DTexture9*>(this));
    generateMips(mStore);
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc)
{
    trace("Texture::GetLevelDesc", static_cast<IDirect3DTexture9*>(this), level);
    return levelDesc(mStore, level, desc);
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface)
{
    trace("Texture::GetSurfaceLevel", static_cast<IDirect3DTexture9*>(this), level);
    return levelSurface(mStore, 0, level, surface);
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags)
{
    trace("Texture::LockRect", static_cast<IDirect3DTexture9*>(this), level, rect, Hex{flags});
    if (level >= visibleLevels(mStore))
        return D3DERR_INVALIDCALL;
    return mStore.surface(0, level)->lock(locked, rect, flags);
}

HRESULT Texture::UnlockRect(UINT level)
{
    trace("Texture::UnlockRect", static_cast<IDirect3DTexture9*>(this), level);
    if (level >= visibleLevels(mStore))
        return D3DERR_INVALIDCALL;
    return mStore.surface(0, level)->unlock();
}

HRESULT Texture::AddDirtyRect(const RECT* rect)
{
    trace("Texture::AddDirtyRect", static_cast<IDirect3DTexture9*>(this), rect);
    return D3D_OK;
}

// ---- Cube texture -------------------------------------------------------------------------------------------------

CubeTexture::~CubeTexture()
{
    if (mDevice)
        mDevice->untrack(this);
    mStore.destroy();
}

DWORD CubeTexture::GetLevelCount()
{
    trace("CubeTexture::GetLevelCount", static_cast<IDirect3DCubeTexture9*>(this));
    return visibleLevels(mStore);
}

DWORD CubeTexture::SetLOD(DWORD lod)
{
    return setLod(mStore, lod);
}
DWORD CubeTexture::GetLOD()
{
    return mStore.mLod;
}
HRESULT CubeTexture::SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter)
{
    return setAutoGenFilter(mStore, filter);
}
D3DTEXTUREFILTERTYPE CubeTexture::GetAutoGenFilterType()
{
    return mStore.mAutoGenFilter;
}

void CubeTexture::GenerateMipSubLevels()
{
    trace("CubeTexture::GenerateMipSubLevels", static_cast<IDirect3DCubeTexture9*>(this));
    generateMips(mStore);
}

HRESULT CubeTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc)
{
    trace("CubeTexture::GetLevelDesc", static_cast<IDirect3DCubeTexture9*>(this), level);
    return levelDesc(mStore, level, desc);
}

HRESULT CubeTexture::GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface)
{
    trace("CubeTexture::GetCubeMapSurface", static_cast<IDirect3DCubeTexture9*>(this), face, level);
    return levelSurface(mStore, face, level, surface);
}

HRESULT CubeTexture::LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags)
{
    trace("CubeTexture::LockRect", static_cast<IDirect3DCubeTexture9*>(this), face, level, rect, Hex{flags});
    if (face >= 6 || level >= visibleLevels(mStore))
        return D3DERR_INVALIDCALL;
    return mStore.surface(face, level)->lock(locked, rect, flags);
}

HRESULT CubeTexture::UnlockRect(D3DCUBEMAP_FACES face, UINT level)
{
    trace("CubeTexture::UnlockRect", static_cast<IDirect3DCubeTexture9*>(this), face, level);
    if (face >= 6 || level >= visibleLevels(mStore))
        return D3DERR_INVALIDCALL;
    return mStore.surface(face, level)->unlock();
}

HRESULT CubeTexture::AddDirtyRect(D3DCUBEMAP_FACES face, const RECT* rect)
{
    trace("CubeTexture::AddDirtyRect", static_cast<IDirect3DCubeTexture9*>(this), face, rect);
    return D3D_OK;
}

} // namespace d3d9
