// Surfaces of our Direct3D 9 layer: their CPU and OpenGL copies, locks with a pitch, and the device calls that
// create standalone surfaces (render targets, depth-stencil surfaces, offscreen plain surfaces).
#include "d3d9objects_local.h"

#include <algorithm>
#include <cstring>

namespace d3d9
{

Surface::Surface(Device* device, const D3DSURFACE_DESC& desc, const FormatInfo& format, RefTarget* container)
    : mDesc(desc), mFormat(&format), mContainer(container)
{
    mDevice = device;
    mPool = desc.Pool;
    mPitch = rowBytes(format, desc.Width) + (device ? device->adapter().pitchPadding : 0);
    mCpuValid = mPool != D3DPOOL_DEFAULT;
    if (mCpuValid)
        mBits.assign(size_t(mPitch) * rowCount(format, desc.Height), 0);
}

Surface::~Surface()
{
    if (mDevice && !mContainer)
        mDevice->untrack(this);
    if (mDevice && mOwnsGl)
    {
        mDevice->makeCurrent();
        glDeleteTexture(mGl.texture);
    }
}

ULONG Surface::addRef()
{
    return mContainer ? mContainer->addRef() : Object::addRef();
}

ULONG Surface::release()
{
    return mContainer ? mContainer->release() : Object::release();
}

void Surface::deviceGone()
{
    if (mOwnsGl)
        glDeleteTexture(mGl.texture);
    mGl = GlImage{};
    mOwnsGl = false;
    mDevice = nullptr;
}

bool Surface::createGl()
{
    if (!mDevice)
        return false;
    mDevice->makeCurrent();
    mGl = {glNewTexture(mDevice->mGl, *mFormat, mDesc.Width, mDesc.Height, 1, false), kGlTexture2D, 0};
    mOwnsGl = true;
    return mGl.texture != 0;
}

void Surface::recreate(const D3DSURFACE_DESC& desc, const FormatInfo& format)
{
    if (mOwnsGl && mDevice)
    {
        mDevice->makeCurrent();
        glDeleteTexture(mGl.texture);
    }
    mGl = GlImage{};
    mOwnsGl = false;
    mDesc = desc;
    mFormat = &format;
    mPitch = rowBytes(format, desc.Width) + (mDevice ? mDevice->adapter().pitchPadding : 0);
    mBits.clear();
    mCpuValid = false;
    mLocked = false;
}

D3DRESOURCETYPE Surface::GetType()
{
    return D3DRTYPE_SURFACE;
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc)
{
    trace("Surface::GetDesc", static_cast<IDirect3DSurface9*>(this));
    if (!desc)
        return D3DERR_INVALIDCALL;
    *desc = mDesc;
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags)
{
    trace("Surface::LockRect", static_cast<IDirect3DSurface9*>(this), rect, Hex{flags});
    return lock(locked, rect, flags);
}

HRESULT Surface::UnlockRect()
{
    trace("Surface::UnlockRect", static_cast<IDirect3DSurface9*>(this));
    return unlock();
}

BYTE* Surface::bitsAt(LONG x, LONG y)
{
    if (mFormat->compressed)
        return mBits.data() + size_t(y / 4) * mPitch + size_t(x / 4) * mFormat->bytes;
    return mBits.data() + size_t(y) * mPitch + size_t(x) * mFormat->bytes;
}

bool Surface::ensureCpu()
{
    if (mCpuValid)
        return true;
    mBits.resize(size_t(mPitch) * rowCount(*mFormat, mDesc.Height));
    bool readable = mFormat->renderable || mDesc.Format == D3DFMT_D16_LOCKABLE || mDesc.Format == D3DFMT_D32F_LOCKABLE;
    if (hasGl() && readable && mDevice)
    {
        mDevice->makeCurrent();
        glReadImage(mDevice->mGl, mGl, *mFormat, bounds(), mBits.data(), mPitch);
    }
    mCpuValid = true;
    return true;
}

void Surface::uploadRect(const RECT& rect)
{
    if (!hasGl() || !mDevice)
        return;
    mDevice->makeCurrent();
    const PALETTEENTRY* palette = nullptr;
    if (mFormat->upload == Upload::Palette)
    {
        uint64_t serial = 0;
        palette = mDevice->paletteFor(mDevice->mCurrentPalette, &serial);
        if (mTexture)
        {
            mTexture->mPaletteUsed = mDevice->mCurrentPalette;
            mTexture->mPaletteSerial = serial;
        }
    }
    glUpload(mDevice->mGl, mGl, *mFormat, rect, bitsAt(rect.left, rect.top), mPitch, palette);
}

void Surface::noteGlWrite()
{
    if (mPool == D3DPOOL_DEFAULT)
        mCpuValid = false;
    if (mTexture)
        mTexture->noteLevelWritten(mLevel);
}

namespace
{

/// A lock or copy rectangle must lie inside the image; compressed ones must keep to whole blocks.
bool validRect(const RECT& rect, const D3DSURFACE_DESC& desc, const FormatInfo& format)
{
    if (rect.left < 0 || rect.top < 0 || rect.left >= rect.right || rect.top >= rect.bottom ||
        rect.right > LONG(desc.Width) || rect.bottom > LONG(desc.Height))
        return false;
    if (format.compressed)
    {
        auto aligned = [](LONG value, LONG edge) { return value % 4 == 0 || value == edge; };
        return rect.left % 4 == 0 && rect.top % 4 == 0 && aligned(rect.right, LONG(desc.Width)) &&
               aligned(rect.bottom, LONG(desc.Height));
    }
    return true;
}

} // namespace

bool surfaceRectValid(const RECT& rect, const Surface& surface)
{
    return validRect(rect, surface.mDesc, *surface.mFormat);
}

HRESULT Surface::lock(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags)
{
    if (!locked)
        return D3DERR_INVALIDCALL;
    HRESULT result;
    if (takeFault(d3d9test::Fault::Lock, &result))
        return result;
    if (mLocked || !hasCpu())
        return D3DERR_INVALIDCALL;
    if ((flags & D3DLOCK_DISCARD) && !(mDesc.Usage & D3DUSAGE_DYNAMIC))
        return D3DERR_INVALIDCALL;
    RECT area = rect ? *rect : bounds();
    if (!validRect(area, mDesc, *mFormat))
        return D3DERR_INVALIDCALL;
    bool readable = mFormat->renderable || mDesc.Format == D3DFMT_D16_LOCKABLE || mDesc.Format == D3DFMT_D32F_LOCKABLE;
    if (!mCpuValid && rect && hasGl() && readable && mDevice && !mFormat->compressed)
    {
        // Only the locked rectangle comes back from OpenGL; the CPU copy stays stale elsewhere, so OpenGL keeps
        // holding the image and the unlock sends the rectangle back.
        mBits.resize(size_t(mPitch) * rowCount(*mFormat, mDesc.Height));
        mDevice->makeCurrent();
        glReadImage(mDevice->mGl, mGl, *mFormat, area, bitsAt(area.left, area.top), mPitch);
    }
    else
        ensureCpu();
    locked->Pitch = INT(mPitch);
    locked->pBits = bitsAt(area.left, area.top);
    mLocked = true;
    mLockRect = area;
    mLockFlags = flags;
    return D3D_OK;
}

HRESULT Surface::unlock()
{
    if (!mLocked)
        return D3DERR_INVALIDCALL;
    mLocked = false;
    if (mLockFlags & D3DLOCK_READONLY)
        return D3D_OK;
    // A texture level written by another thread (a video's decode thread) waits for the
    // device's thread, whose OpenGL context it cannot use.
    if (mTexture && mDevice && hasGl() && !mDevice->onOwnerThread())
        mUploadPending = true;
    else
        uploadRect(mLockRect);
    if (mTexture)
        mTexture->noteLevelWritten(mLevel);
    return D3D_OK;
}

// ---- Device calls that create standalone surfaces -------------------------------------------------------------

namespace
{

HRESULT makeSurface(Device* device, UINT width, UINT height, D3DFORMAT format, DWORD usage, D3DPOOL pool, bool lockable,
                    IDirect3DSurface9** out)
{
    const FormatInfo* info = findFormat(format);
    if (!info)
        return D3DERR_INVALIDCALL;
    // A row, padding included, must fit the lock's pitch; a wider one would wrap the 32-bit row size.
    uint64_t units = info->compressed ? std::max<uint64_t>(1, (uint64_t(width) + 3) / 4) : width;
    if (units * info->bytes + device->adapter().pitchPadding > uint64_t(INT32_MAX))
        return pool == D3DPOOL_DEFAULT ? D3DERR_OUTOFVIDEOMEMORY : E_OUTOFMEMORY;
    D3DSURFACE_DESC desc{format, D3DRTYPE_SURFACE, usage, pool, D3DMULTISAMPLE_NONE, 0, width, height};
    auto* surface = new Surface(device, desc, *info, nullptr);
    surface->mBytes = uint64_t(rowBytes(*info, width)) * rowCount(*info, height);
    surface->mBlocksReset = pool == D3DPOOL_DEFAULT;
    surface->mLockableDefault = pool == D3DPOOL_DEFAULT && lockable;
    if (pool == D3DPOOL_DEFAULT && !surface->createGl())
    {
        surface->release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    device->track(surface);
    *out = surface;
    return D3D_OK;
}

} // namespace

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                   DWORD multisampleQuality, BOOL lockable, IDirect3DSurface9** surface,
                                   void** sharedHandle)
{
    trace("CreateRenderTarget", width, height, format, multiSample, multisampleQuality, lockable);
    if (!surface || sharedHandle)
        return D3DERR_INVALIDCALL;
    *surface = nullptr;
    HRESULT result;
    if (takeFault(d3d9test::Fault::CreateResource, &result))
        return result;
    if (width == 0 || height == 0 || multiSample != D3DMULTISAMPLE_NONE ||
        mD3d->checkFormat(mAdapter, displayFormat(), D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, format) != D3D_OK)
        return D3DERR_INVALIDCALL;
    const FormatInfo* info = findFormat(format);
    result = reserveMemory(D3DPOOL_DEFAULT, uint64_t(rowBytes(*info, width)) * height);
    if (FAILED(result))
        return result;
    return makeSurface(this, width, height, format, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, lockable, surface);
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                          DWORD multisampleQuality, BOOL discard, IDirect3DSurface9** surface,
                                          void** sharedHandle)
{
    trace("CreateDepthStencilSurface", width, height, format, multiSample, multisampleQuality, discard);
    if (!surface || sharedHandle)
        return D3DERR_INVALIDCALL;
    *surface = nullptr;
    HRESULT result;
    if (takeFault(d3d9test::Fault::CreateResource, &result))
        return result;
    if (width == 0 || height == 0 || multiSample != D3DMULTISAMPLE_NONE ||
        mD3d->checkFormat(mAdapter, displayFormat(), D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, format) != D3D_OK)
        return D3DERR_INVALIDCALL;
    const FormatInfo* info = findFormat(format);
    result = reserveMemory(D3DPOOL_DEFAULT, uint64_t(info->bytes) * width * height);
    if (FAILED(result))
        return result;
    bool lockable = format == D3DFMT_D16_LOCKABLE || format == D3DFMT_D32F_LOCKABLE;
    return makeSurface(this, width, height, format, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, lockable, surface);
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** surface, void** sharedHandle)
{
    trace("CreateOffscreenPlainSurface", width, height, format, pool);
    if (!surface || sharedHandle)
        return D3DERR_INVALIDCALL;
    *surface = nullptr;
    HRESULT result;
    if (takeFault(d3d9test::Fault::CreateResource, &result))
        return result;
    const FormatInfo* info = findFormat(format);
    if (width == 0 || height == 0 || !info || info->depth || pool == D3DPOOL_MANAGED ||
        mD3d->checkFormat(mAdapter, displayFormat(), 0, D3DRTYPE_SURFACE, format) != D3D_OK)
        return D3DERR_INVALIDCALL;
    if (info->compressed && (width % 4 || height % 4))
        return D3DERR_INVALIDCALL;
    result = reserveMemory(pool, uint64_t(rowBytes(*info, width)) * rowCount(*info, height));
    if (FAILED(result))
        return result;
    return makeSurface(this, width, height, format, 0, pool, true, surface);
}

} // namespace d3d9
