// Targets and surface transfers of our Direct3D 9 layer: render-target and depth bindings, viewport and scissor,
// Clear, ColorFill, StretchRect, UpdateSurface and GetRenderTargetData.
#include "d3d9objects_local.h"

#include <algorithm>
#include <cstring>

namespace d3d9
{
namespace
{

RECT intersect(const RECT& a, const RECT& b)
{
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

bool empty(const RECT& rect)
{
    return rect.left >= rect.right || rect.top >= rect.bottom;
}

/// Swaps a bound target; surfaces the device owns (back buffer, automatic depth) hold no reference on it.
void rebindSurface(Device& device, Surface*& slot, Surface* value)
{
    if (value && value->mContainer != &device)
        value->addRef();
    if (slot && slot->mContainer != &device)
        slot->release();
    slot = value;
}

} // namespace

// ---- Targets --------------------------------------------------------------------------------------------------------

HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9* surface)
{
    trace("SetRenderTarget", index, surface);
    Surface* target = asSurface(surface);
    if (index >= std::min<DWORD>(mCaps.NumSimultaneousRTs, kMaxRenderTargets) || (index == 0 && !target))
        return D3DERR_INVALIDCALL;
    if (target && (!target->isRenderTarget() || target->mDevice != this || !target->hasGl()))
        return D3DERR_INVALIDCALL;
    rebindSurface(*this, mRenderTargets[index], target);
    if (index == 0)
    {
        // A new first target brings a viewport and scissor rectangle covering all of it.
        mViewport = {0, 0, target->mDesc.Width, target->mDesc.Height, 0.0f, 1.0f};
        mScissor = target->bounds();
        mDirty |= DirtyViewport;
    }
    mDirty |= DirtyTargets;
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** surface)
{
    trace("GetRenderTarget", index);
    if (!surface || index >= kMaxRenderTargets)
        return D3DERR_INVALIDCALL;
    *surface = mRenderTargets[index];
    if (!*surface)
        return D3DERR_NOTFOUND;
    mRenderTargets[index]->addRef();
    return D3D_OK;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* surface)
{
    trace("SetDepthStencilSurface", surface);
    Surface* depth = asSurface(surface);
    if (depth && (!(depth->mDesc.Usage & D3DUSAGE_DEPTHSTENCIL) || depth->mDevice != this || !depth->hasGl()))
        return D3DERR_INVALIDCALL;
    rebindSurface(*this, mDepthStencil, depth);
    mDirty |= DirtyTargets;
    return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** surface)
{
    trace("GetDepthStencilSurface");
    if (!surface)
        return D3DERR_INVALIDCALL;
    *surface = mDepthStencil;
    if (!mDepthStencil)
        return D3DERR_NOTFOUND;
    mDepthStencil->addRef();
    return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport)
{
    trace("SetViewport", viewport ? viewport->X : 0, viewport ? viewport->Y : 0, viewport ? viewport->Width : 0,
          viewport ? viewport->Height : 0);
    if (!viewport || viewport->Width == 0 || viewport->Height == 0)
        return D3DERR_INVALIDCALL;
    const D3DSURFACE_DESC& target = mRenderTargets[0]->mDesc;
    if (uint64_t(viewport->X) + viewport->Width > target.Width ||
        uint64_t(viewport->Y) + viewport->Height > target.Height)
        return D3DERR_INVALIDCALL;
    mViewport = *viewport;
    mDirty |= DirtyViewport;
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport)
{
    trace("GetViewport");
    if (!viewport)
        return D3DERR_INVALIDCALL;
    *viewport = mViewport;
    return D3D_OK;
}

HRESULT Device::SetScissorRect(const RECT* rect)
{
    trace("SetScissorRect", rect);
    if (!rect)
        return D3DERR_INVALIDCALL;
    mScissor = *rect;
    mDirty |= DirtyViewport;
    return D3D_OK;
}

HRESULT Device::GetScissorRect(RECT* rect)
{
    trace("GetScissorRect");
    if (!rect)
        return D3DERR_INVALIDCALL;
    *rect = mScissor;
    return D3D_OK;
}

// ---- Clear --------------------------------------------------------------------------------------------------------

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil)
{
    trace("Clear", count, rects, Hex{flags}, Hex{color}, z, stencil);
    if (flags == 0 || (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)))
        return D3DERR_INVALIDCALL;
    if ((count == 0) != (rects == nullptr))
        return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_ZBUFFER) && !mDepthStencil)
        return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_STENCIL) && (!mDepthStencil || !mDepthStencil->mFormat->stencil))
        return D3DERR_INVALIDCALL;
    // A lost device takes drawing calls and does nothing with them.
    if (mLoss != Loss::Operational)
        return D3D_OK;

    RECT area{LONG(mViewport.X), LONG(mViewport.Y), LONG(mViewport.X + mViewport.Width),
              LONG(mViewport.Y + mViewport.Height)};
    if (mRenderStates[D3DRS_SCISSORTESTENABLE])
        area = intersect(area, mScissor);
    GlTarget target;
    for (UINT i = 0; i < kMaxRenderTargets; ++i)
        target.colour[i] = mRenderTargets[i] ? &mRenderTargets[i]->mGl : nullptr;
    target.depth = mDepthStencil ? &mDepthStencil->mGl : nullptr;
    target.depthHasStencil = mDepthStencil && mDepthStencil->mFormat->stencil;
    float colour[4];
    colourToFloats(color, colour);
    float depth = std::clamp(z, 0.0f, 1.0f);

    makeCurrent();
    for (DWORD i = 0; i < std::max<DWORD>(count, 1); ++i)
    {
        RECT rect = area;
        if (rects)
            rect = intersect(area, RECT{rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2});
        if (!empty(rect))
            glClearTarget(mGl, target, rect, flags, colour, depth, stencil);
    }
    if (flags & D3DCLEAR_TARGET)
        for (Surface* surface : mRenderTargets)
            if (surface)
                surface->noteGlWrite();
    return D3D_OK;
}

// ---- ColorFill ------------------------------------------------------------------------------------------------------

HRESULT Device::ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color)
{
    trace("ColorFill", surface, rect, Hex{color});
    Surface* target = asSurface(surface);
    if (!target || target->mDevice != this || target->mPool != D3DPOOL_DEFAULT || !target->hasGl() ||
        target->isDepth() || target->mLocked)
        return D3DERR_INVALIDCALL;
    RECT area = rect ? *rect : target->bounds();
    if (!surfaceRectValid(area, *target))
        return D3DERR_INVALIDCALL;
    float colour[4];
    colourToFloats(color, colour);
    makeCurrent();
    if (target->mFormat->renderable)
    {
        GlTarget gl;
        gl.colour[0] = &target->mGl;
        glClearTarget(mGl, gl, area, D3DCLEAR_TARGET, colour, 1.0f, 0);
        target->noteGlWrite();
        return D3D_OK;
    }
    // Formats OpenGL cannot draw into are filled in the CPU copy and uploaded.
    if (!target->mFormat->encode || target->mFormat->compressed)
        return D3DERR_INVALIDCALL;
    target->ensureCpu();
    std::vector<BYTE> pixel(target->mFormat->bytes);
    target->mFormat->encode(colour, pixel.data());
    for (LONG y = area.top; y < area.bottom; ++y)
        for (LONG x = area.left; x < area.right; ++x)
            std::memcpy(target->bitsAt(x, y), pixel.data(), pixel.size());
    target->uploadRect(area);
    if (target->mTexture)
        target->mTexture->noteLevelWritten(target->mLevel);
    return D3D_OK;
}

// ---- StretchRect ----------------------------------------------------------------------------------------------------

HRESULT Device::StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                            const RECT* destRect, D3DTEXTUREFILTERTYPE filter)
{
    trace("StretchRect", source, sourceRect, dest, destRect, filter);
    Surface* from = asSurface(source);
    Surface* to = asSurface(dest);
    if (!from || !to || from == to || from->mDevice != this || to->mDevice != this)
        return D3DERR_INVALIDCALL;
    // Both sides live in video memory. A destination texture without render-target usage is accepted too: the
    // engine copies its back buffer into such camera textures.
    if (from->mPool != D3DPOOL_DEFAULT || to->mPool != D3DPOOL_DEFAULT || !from->hasGl() || !to->hasGl() ||
        from->mLocked || to->mLocked)
        return D3DERR_INVALIDCALL;
    if (filter > D3DTEXF_LINEAR)
        return D3DERR_INVALIDCALL;
    RECT fromArea = sourceRect ? *sourceRect : from->bounds();
    RECT toArea = destRect ? *destRect : to->bounds();
    bool depth = from->isDepth() || to->isDepth();
    if (depth)
    {
        if (from->mDesc.Format != to->mDesc.Format || sourceRect || destRect || from->mDesc.Width != to->mDesc.Width ||
            from->mDesc.Height != to->mDesc.Height)
            return D3DERR_INVALIDCALL;
    }
    else if (!from->mFormat->renderable || !to->mFormat->renderable)
        return D3DERR_INVALIDCALL;
    if (!surfaceRectValid(fromArea, *from) || !surfaceRectValid(toArea, *to))
        return D3DERR_INVALIDCALL;
    if (mLoss != Loss::Operational)
        return D3D_OK;
    makeCurrent();
    glBlit(mGl, from->mGl, fromArea, to->mGl, toArea, depth, filter == D3DTEXF_LINEAR);
    to->noteGlWrite();
    return D3D_OK;
}

// ---- UpdateSurface and GetRenderTargetData -------------------------------------------------------------------------

HRESULT Device::UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                              const POINT* destPoint)
{
    trace("UpdateSurface", source, sourceRect, dest, destPoint);
    Surface* from = asSurface(source);
    Surface* to = asSurface(dest);
    if (!from || !to || from->mDevice != this || to->mDevice != this)
        return D3DERR_INVALIDCALL;
    if (from->mPool != D3DPOOL_SYSTEMMEM || to->mPool != D3DPOOL_DEFAULT || !to->hasGl() ||
        from->mDesc.Format != to->mDesc.Format || from->isDepth() || from->mLocked || to->mLocked)
        return D3DERR_INVALIDCALL;
    RECT fromArea = sourceRect ? *sourceRect : from->bounds();
    POINT at = destPoint ? *destPoint : POINT{0, 0};
    RECT toArea{at.x, at.y, at.x + (fromArea.right - fromArea.left), at.y + (fromArea.bottom - fromArea.top)};
    if (!surfaceRectValid(fromArea, *from) || !surfaceRectValid(toArea, *to))
        return D3DERR_INVALIDCALL;

    makeCurrent();
    const FormatInfo& format = *to->mFormat;
    // Keep a CPU copy current where one is read later: lockable surfaces and palettised ones (re-uploaded when
    // the palette changes).
    if (to->hasCpu() || format.upload == Upload::Palette)
    {
        to->ensureCpu();
        UINT rows = rowCount(format, UINT(toArea.bottom - toArea.top));
        UINT bytes = rowBytes(format, UINT(toArea.right - toArea.left));
        for (UINT row = 0; row < rows; ++row)
            std::memcpy(to->bitsAt(toArea.left, toArea.top) + size_t(row) * to->mPitch,
                        from->bitsAt(fromArea.left, fromArea.top) + size_t(row) * from->mPitch, bytes);
        to->uploadRect(toArea);
    }
    else
    {
        uint64_t serial = 0;
        const PALETTEENTRY* palette = paletteFor(mCurrentPalette, &serial);
        glUpload(mGl, to->mGl, format, toArea, from->bitsAt(fromArea.left, fromArea.top), from->mPitch, palette);
        to->noteGlWrite();
    }
    if (to->mTexture)
        to->mTexture->noteLevelWritten(to->mLevel);
    return D3D_OK;
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* dest)
{
    trace("GetRenderTargetData", renderTarget, dest);
    Surface* from = asSurface(renderTarget);
    Surface* to = asSurface(dest);
    if (!from || !to || from->mDevice != this || to->mDevice != this)
        return D3DERR_INVALIDCALL;
    if (!from->isRenderTarget() || !from->hasGl() || !from->mFormat->renderable || to->mPool != D3DPOOL_SYSTEMMEM ||
        from->mDesc.Format != to->mDesc.Format || from->mDesc.Width != to->mDesc.Width ||
        from->mDesc.Height != to->mDesc.Height || to->mLocked)
        return D3DERR_INVALIDCALL;
    if (mLoss != Loss::Operational)
        return D3DERR_DEVICELOST;
    makeCurrent();
    glReadImage(mGl, from->mGl, *from->mFormat, from->bounds(), to->mBits.data(), to->mPitch);
    return D3D_OK;
}

} // namespace d3d9
