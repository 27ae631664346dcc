// The device of our Direct3D 9 layer: creation, present parameters, Reset and the device-loss cycle, scenes,
// presentation and swap chains, and the bookkeeping of the resources it created.
#include "d3d9pipeline_local.h"

#include <algorithm>

namespace d3d9
{
namespace
{

const GlContext* sCurrentContext = nullptr;

/// The adapter format a full-screen back-buffer format runs in.
D3DFORMAT displayFormatFor(D3DFORMAT backBuffer)
{
    if (backBuffer == D3DFMT_A8R8G8B8)
        return D3DFMT_X8R8G8B8;
    if (backBuffer == D3DFMT_A1R5G5B5)
        return D3DFMT_X1R5G5B5;
    return backBuffer;
}

} // namespace

// ---- Creation and destruction -------------------------------------------------------------------------------

Device::Device(Direct3D* d3d, UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags)
    : mD3d(d3d), mAdapter(adapter), mType(type), mFocusWindow(focusWindow), mBehavior(behaviorFlags)
{
    mD3d->addRef();
    mD3d->GetDeviceCaps(adapter, type, &mCaps);
    mTransforms.resize(D3D9_TRANSFORM_COUNT);
    mVsConstF.resize(kShaderConstantsF * 4);
    mVsConstI.resize(kShaderConstantsIB * 4);
    mVsConstB.resize(kShaderConstantsIB);
    mPsConstF.resize(kShaderConstantsF * 4);
    mPsConstI.resize(kShaderConstantsIB * 4);
    mPsConstB.resize(kShaderConstantsIB);
}

HRESULT Device::start(D3DPRESENT_PARAMETERS* presentParameters)
{
    D3DPRESENT_PARAMETERS parameters = *presentParameters;
    HRESULT result = validatePresent(parameters, false);
    if (FAILED(result))
        return result;
    HWND window = parameters.hDeviceWindow ? parameters.hDeviceWindow : mFocusWindow;
    if (!glOpen(window, parameters.BackBufferWidth, parameters.BackBufferHeight, mGl))
        return D3DERR_NOTAVAILABLE;
    sCurrentContext = &mGl;
    mPipeline = std::make_unique<Pipeline>(*this);
    mImplicit = std::make_unique<SwapChain>(this, true);
    result = mImplicit->build(parameters);
    if (SUCCEEDED(result))
        result = buildImplicitSurfaces(parameters);
    if (FAILED(result))
        return result;
    if (!parameters.Windowed)
        mD3d->mHeldModes[mAdapter] = {parameters.BackBufferWidth, parameters.BackBufferHeight,
                                      parameters.FullScreen_RefreshRateInHz,
                                      displayFormatFor(parameters.BackBufferFormat)};
    glSetSwapInterval(parameters.PresentationInterval);
    resetState();
    *presentParameters = parameters;
    return D3D_OK;
}

Device::~Device()
{
    if (mGl.context)
    {
        makeCurrent();
        unbindAll();
        std::vector<DeviceChild*> children(mChildren.begin(), mChildren.end());
        for (DeviceChild* child : children)
        {
            child->deviceGone();
            child->mDevice = nullptr;
        }
        mChildren.clear();
        mAutoDepth.reset();
        mImplicit.reset();
        mPipeline.reset();
    }
    mD3d->mHeldModes[mAdapter] = D3DDISPLAYMODE{};
    if (sCurrentContext == &mGl)
        sCurrentContext = nullptr;
    glClose(mGl);
    mD3d->release();
}

void Device::makeCurrent()
{
    if (sCurrentContext != &mGl)
    {
        glMakeCurrent(mGl);
        sCurrentContext = &mGl;
    }
}

D3DFORMAT Device::displayFormat() const
{
    return mD3d->currentMode(mAdapter).Format;
}

// ---- Resource bookkeeping -----------------------------------------------------------------------------------

void Device::track(DeviceChild* child)
{
    mChildren.insert(child);
    if (child->mPool == D3DPOOL_DEFAULT)
        mDefaultBytes += child->mBytes;
    else if (child->mPool == D3DPOOL_MANAGED)
        mManagedBytes += child->mBytes;
}

void Device::untrack(DeviceChild* child)
{
    if (mChildren.erase(child) == 0)
        return;
    if (child->mPool == D3DPOOL_DEFAULT)
        mDefaultBytes -= child->mBytes;
    else if (child->mPool == D3DPOOL_MANAGED)
        mManagedBytes -= child->mBytes;
}

UINT Device::blocksResetCount() const
{
    return UINT(std::count_if(mChildren.begin(), mChildren.end(),
                              [](const DeviceChild* child) { return child->mBlocksReset; }));
}

HRESULT Device::reserveMemory(D3DPOOL pool, uint64_t bytes)
{
    if (pool == D3DPOOL_DEFAULT && mDefaultBytes + bytes > adapter().textureMemory)
        return D3DERR_OUTOFVIDEOMEMORY;
    return D3D_OK;
}

UINT Device::GetAvailableTextureMem()
{
    trace("GetAvailableTextureMem");
    uint64_t used = mDefaultBytes + mManagedBytes;
    uint64_t total = adapter().textureMemory;
    return used >= total ? 0 : UINT(total - used);
}

HRESULT Device::EvictManagedResources()
{
    trace("EvictManagedResources");
    return D3D_OK;
}

// ---- Present parameters -------------------------------------------------------------------------------------

HRESULT Device::validatePresent(D3DPRESENT_PARAMETERS& parameters, bool additional)
{
    HWND window = parameters.hDeviceWindow ? parameters.hDeviceWindow : mFocusWindow;
    if (!window)
        return D3DERR_INVALIDCALL;
    if (parameters.SwapEffect < D3DSWAPEFFECT_DISCARD || parameters.SwapEffect > D3DSWAPEFFECT_COPY)
        return D3DERR_INVALIDCALL;
    if (parameters.BackBufferCount > 3)
        return D3DERR_INVALIDCALL;
    if (parameters.BackBufferCount == 0)
        parameters.BackBufferCount = 1;
    if (parameters.SwapEffect == D3DSWAPEFFECT_COPY && parameters.BackBufferCount > 1)
        return D3DERR_INVALIDCALL;
    if (parameters.MultiSampleType != D3DMULTISAMPLE_NONE)
        return D3DERR_INVALIDCALL;

    const d3d9test::AdapterConfig& config = adapter();
    D3DFORMAT adapterFormat;
    if (parameters.Windowed)
    {
        if (parameters.FullScreen_RefreshRateInHz != 0)
            return D3DERR_INVALIDCALL;
        UINT interval = parameters.PresentationInterval;
        if (interval != D3DPRESENT_INTERVAL_DEFAULT && interval != D3DPRESENT_INTERVAL_ONE &&
            interval != D3DPRESENT_INTERVAL_IMMEDIATE)
            return D3DERR_INVALIDCALL;
        UINT clientWidth = 0, clientHeight = 0;
        if (parameters.BackBufferWidth == 0 || parameters.BackBufferHeight == 0)
            glClientSize(window, config, &clientWidth, &clientHeight);
        if (parameters.BackBufferWidth == 0)
            parameters.BackBufferWidth = std::max(clientWidth, 1u);
        if (parameters.BackBufferHeight == 0)
            parameters.BackBufferHeight = std::max(clientHeight, 1u);
        adapterFormat = config.desktop.Format;
        if (parameters.BackBufferFormat == D3DFMT_UNKNOWN)
            parameters.BackBufferFormat = adapterFormat;
        if (mD3d->checkType(mAdapter, adapterFormat, parameters.BackBufferFormat, TRUE) != D3D_OK)
            return D3DERR_INVALIDCALL;
    }
    else
    {
        if (additional || parameters.BackBufferFormat == D3DFMT_UNKNOWN)
            return D3DERR_INVALIDCALL;
        adapterFormat = displayFormatFor(parameters.BackBufferFormat);
        bool modeExists = std::any_of(config.modes.begin(), config.modes.end(),
                                      [&](const D3DDISPLAYMODE& mode)
                                      {
                                          return mode.Width == parameters.BackBufferWidth &&
                                                 mode.Height == parameters.BackBufferHeight &&
                                                 mode.Format == adapterFormat &&
                                                 (parameters.FullScreen_RefreshRateInHz == 0 ||
                                                  mode.RefreshRate == parameters.FullScreen_RefreshRateInHz);
                                      });
        if (!modeExists || mD3d->checkType(mAdapter, adapterFormat, parameters.BackBufferFormat, FALSE) != D3D_OK)
            return D3DERR_INVALIDCALL;
        UINT interval = parameters.PresentationInterval;
        if (interval != D3DPRESENT_INTERVAL_DEFAULT && !(interval & config.caps.PresentationIntervals))
            return D3DERR_INVALIDCALL;
    }
    if (!additional && parameters.EnableAutoDepthStencil)
    {
        D3DFORMAT depth = parameters.AutoDepthStencilFormat;
        if (mD3d->checkFormat(mAdapter, adapterFormat, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, depth) != D3D_OK ||
            mD3d->checkDepthMatch(mAdapter, adapterFormat, parameters.BackBufferFormat, depth) != D3D_OK)
            return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT Device::buildImplicitSurfaces(const D3DPRESENT_PARAMETERS& parameters)
{
    if (!parameters.EnableAutoDepthStencil)
    {
        mAutoDepth.reset();
        return D3D_OK;
    }
    const FormatInfo* format = findFormat(parameters.AutoDepthStencilFormat);
    if (!format)
        return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc{parameters.AutoDepthStencilFormat,
                         D3DRTYPE_SURFACE,
                         D3DUSAGE_DEPTHSTENCIL,
                         D3DPOOL_DEFAULT,
                         D3DMULTISAMPLE_NONE,
                         0,
                         parameters.BackBufferWidth,
                         parameters.BackBufferHeight};
    if (!mAutoDepth)
        mAutoDepth = std::make_unique<Surface>(this, desc, *format, this);
    else
        mAutoDepth->recreate(desc, *format);
    return mAutoDepth->createGl() ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
}

// ---- Loss, Reset, scenes, presentation ----------------------------------------------------------------------

HRESULT Device::TestCooperativeLevel()
{
    trace("TestCooperativeLevel");
    switch (mLoss)
    {
    case Loss::Lost:
        return D3DERR_DEVICELOST;
    case Loss::NotReset:
        return D3DERR_DEVICENOTRESET;
    case Loss::Operational:
        break;
    }
    return D3D_OK;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* presentParameters)
{
    trace("Reset", presentParameters ? presentParameters->BackBufferWidth : 0,
          presentParameters ? presentParameters->BackBufferHeight : 0,
          presentParameters ? presentParameters->BackBufferFormat : D3DFMT_UNKNOWN,
          presentParameters ? presentParameters->Windowed : 0);
    if (!presentParameters)
        return D3DERR_INVALIDCALL;
    HRESULT result;
    if (takeFault(d3d9test::Fault::Reset, &result))
    {
        if (mLoss != Loss::Lost)
            mLoss = Loss::NotReset;
        return result;
    }
    if (mLoss == Loss::Lost)
        return D3DERR_DEVICELOST;
    // A failed Reset leaves the device waiting for another one.
    mLoss = Loss::NotReset;
    if (blocksResetCount() > 0)
        return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS parameters = *presentParameters;
    result = validatePresent(parameters, false);
    if (FAILED(result))
        return result;

    makeCurrent();
    unbindAll();
    mInScene = false;
    result = mImplicit->build(parameters);
    if (SUCCEEDED(result))
        result = buildImplicitSurfaces(parameters);
    if (FAILED(result))
        return result;
    mD3d->mHeldModes[mAdapter] =
        parameters.Windowed
            ? D3DDISPLAYMODE{}
            : D3DDISPLAYMODE{parameters.BackBufferWidth, parameters.BackBufferHeight,
                             parameters.FullScreen_RefreshRateInHz, displayFormatFor(parameters.BackBufferFormat)};
    glResizeOwnWindow(mGl, parameters.BackBufferWidth, parameters.BackBufferHeight);
    glSetSwapInterval(parameters.PresentationInterval);
    resetState();
    mLoss = Loss::Operational;
    *presentParameters = parameters;
    return D3D_OK;
}

HRESULT Device::BeginScene()
{
    trace("BeginScene");
    if (mInScene)
        return D3DERR_INVALIDCALL;
    mInScene = true;
    return D3D_OK;
}

HRESULT Device::EndScene()
{
    trace("EndScene");
    if (!mInScene)
        return D3DERR_INVALIDCALL;
    mInScene = false;
    return D3D_OK;
}

HRESULT Device::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                        const RGNDATA* dirtyRegion)
{
    trace("Present", sourceRect, destRect, static_cast<const void*>(destWindowOverride));
    return mImplicit->present();
}

HRESULT Device::GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** backBuffer)
{
    trace("GetBackBuffer", swapChain, index, type);
    if (!backBuffer || swapChain != 0 || index != 0 || type != D3DBACKBUFFER_TYPE_MONO)
        return D3DERR_INVALIDCALL;
    mImplicit->mBackBuffer->addRef();
    *backBuffer = mImplicit->mBackBuffer.get();
    return D3D_OK;
}

void Device::SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp)
{
    trace("SetGammaRamp", swapChain, Hex{flags});
    if (ramp && swapChain == 0)
        mGamma = *ramp;
}

void Device::GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp)
{
    trace("GetGammaRamp", swapChain);
    if (ramp && swapChain == 0)
        *ramp = mGamma;
}

// ---- Queries ------------------------------------------------------------------------------------------------

HRESULT Device::GetDirect3D(IDirect3D9** d3d)
{
    trace("GetDirect3D");
    if (!d3d)
        return D3DERR_INVALIDCALL;
    mD3d->addRef();
    *d3d = mD3d;
    return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps)
{
    trace("GetDeviceCaps");
    if (!caps)
        return D3DERR_INVALIDCALL;
    *caps = mCaps;
    return D3D_OK;
}

HRESULT Device::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode)
{
    trace("GetDisplayMode", swapChain);
    if (!mode || swapChain != 0)
        return D3DERR_INVALIDCALL;
    *mode = mD3d->currentMode(mAdapter);
    return D3D_OK;
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters)
{
    trace("GetCreationParameters");
    if (!parameters)
        return D3DERR_INVALIDCALL;
    *parameters = {mAdapter, mType, mFocusWindow, mBehavior};
    return D3D_OK;
}

// ---- Swap chains --------------------------------------------------------------------------------------------

HRESULT Device::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* presentParameters, IDirect3DSwapChain9** swapChain)
{
    trace("CreateAdditionalSwapChain",
          presentParameters ? static_cast<const void*>(presentParameters->hDeviceWindow) : nullptr);
    if (!presentParameters || !swapChain)
        return D3DERR_INVALIDCALL;
    *swapChain = nullptr;
    HRESULT result;
    if (takeFault(d3d9test::Fault::CreateResource, &result))
        return result;
    if (!mImplicit->mParameters.Windowed)
        return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS parameters = *presentParameters;
    result = validatePresent(parameters, true);
    if (FAILED(result))
        return result;
    uint64_t bytes = uint64_t(parameters.BackBufferWidth) * parameters.BackBufferHeight *
                     findFormat(parameters.BackBufferFormat)->bytes;
    result = reserveMemory(D3DPOOL_DEFAULT, bytes);
    if (FAILED(result))
        return result;
    makeCurrent();
    auto* chain = new SwapChain(this, false);
    chain->mPool = D3DPOOL_DEFAULT;
    chain->mBytes = bytes;
    chain->mBlocksReset = true;
    result = chain->build(parameters);
    if (FAILED(result))
    {
        chain->release();
        return result;
    }
    track(chain);
    *presentParameters = parameters;
    *swapChain = chain;
    return D3D_OK;
}

HRESULT Device::GetSwapChain(UINT index, IDirect3DSwapChain9** swapChain)
{
    trace("GetSwapChain", index);
    if (!swapChain || index != 0)
        return D3DERR_INVALIDCALL;
    mImplicit->addRef();
    *swapChain = mImplicit.get();
    return D3D_OK;
}

UINT Device::GetNumberOfSwapChains()
{
    trace("GetNumberOfSwapChains");
    return 1;
}

SwapChain::SwapChain(Device* device, bool implicit) : mImplicit(implicit)
{
    mDevice = device;
}

SwapChain::~SwapChain()
{
    if (mDevice)
    {
        mDevice->makeCurrent();
        if (!mImplicit)
            mDevice->untrack(this);
    }
    mBackBuffer.reset();
}

ULONG SwapChain::addRef()
{
    return mImplicit && mDevice ? mDevice->addRef() : Object::addRef();
}

ULONG SwapChain::release()
{
    return mImplicit && mDevice ? mDevice->release() : Object::release();
}

void SwapChain::deviceGone()
{
    if (mBackBuffer)
        mBackBuffer->deviceGone();
    mWindow = nullptr;
}

HRESULT SwapChain::build(const D3DPRESENT_PARAMETERS& presentParameters)
{
    mParameters = presentParameters;
    const FormatInfo* format = findFormat(presentParameters.BackBufferFormat);
    if (!format)
        return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc{presentParameters.BackBufferFormat,
                         D3DRTYPE_SURFACE,
                         D3DUSAGE_RENDERTARGET,
                         D3DPOOL_DEFAULT,
                         D3DMULTISAMPLE_NONE,
                         0,
                         presentParameters.BackBufferWidth,
                         presentParameters.BackBufferHeight};
    RefTarget* container = mImplicit ? static_cast<RefTarget*>(mDevice) : this;
    if (!mBackBuffer)
        mBackBuffer = std::make_unique<Surface>(mDevice, desc, *format, container);
    else
        mBackBuffer->recreate(desc, *format);
    mBackBuffer->mLockableDefault = (presentParameters.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0;
    mWindow = mImplicit ? mDevice->mGl.window : glWindowForHandle(presentParameters.hDeviceWindow);
    return mBackBuffer->createGl() ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
}

HRESULT SwapChain::present()
{
    HRESULT result;
    if (takeFault(d3d9test::Fault::Present, &result))
        return result;
    if (!mDevice)
        return D3DERR_INVALIDCALL;
    if (mDevice->mLoss != Loss::Operational)
        return D3DERR_DEVICELOST;
    mDevice->makeCurrent();
    glPresent(mDevice->mGl, mWindow, mBackBuffer->mGl, mBackBuffer->mDesc.Width, mBackBuffer->mDesc.Height);
    return D3D_OK;
}

HRESULT SwapChain::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                           const RGNDATA* dirtyRegion, DWORD flags)
{
    trace("SwapChain::Present", static_cast<IDirect3DSwapChain9*>(this), sourceRect, destRect, Hex{flags});
    return present();
}

HRESULT SwapChain::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** backBuffer)
{
    trace("SwapChain::GetBackBuffer", static_cast<IDirect3DSwapChain9*>(this), index, type);
    if (!backBuffer || index != 0 || type != D3DBACKBUFFER_TYPE_MONO || !mBackBuffer)
        return D3DERR_INVALIDCALL;
    mBackBuffer->addRef();
    *backBuffer = mBackBuffer.get();
    return D3D_OK;
}

HRESULT SwapChain::GetDisplayMode(D3DDISPLAYMODE* mode)
{
    trace("SwapChain::GetDisplayMode", static_cast<IDirect3DSwapChain9*>(this));
    if (!mode || !mDevice)
        return D3DERR_INVALIDCALL;
    *mode = mDevice->mD3d->currentMode(mDevice->mAdapter);
    return D3D_OK;
}

HRESULT SwapChain::GetDevice(IDirect3DDevice9** device)
{
    trace("SwapChain::GetDevice", static_cast<IDirect3DSwapChain9*>(this));
    if (!device || !mDevice)
        return D3DERR_INVALIDCALL;
    mDevice->addRef();
    *device = mDevice;
    return D3D_OK;
}

HRESULT SwapChain::GetPresentParameters(D3DPRESENT_PARAMETERS* presentParameters)
{
    trace("SwapChain::GetPresentParameters", static_cast<IDirect3DSwapChain9*>(this));
    if (!presentParameters)
        return D3DERR_INVALIDCALL;
    *presentParameters = mParameters;
    return D3D_OK;
}

} // namespace d3d9
