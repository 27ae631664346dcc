// Internals of our Direct3D 9 layer: the concrete objects behind the interfaces (device, Direct3D object,
// surfaces, textures, buffers, declarations, shaders, swap chains) and their shared plumbing. Private to
// platform/d3d9.
#pragma once

#include "d3d9_local.h"

#include <array>
#include <map>
#include <memory>
#include <thread>
#include <unordered_set>
#include <vector>

namespace d3d9
{

// ---- Object plumbing -----------------------------------------------------------------------------------------

/// What a reference can be forwarded to: surfaces of a container count on the container.
class RefTarget
{
public:
    virtual ULONG addRef() = 0;
    virtual ULONG release() = 0;

protected:
    virtual ~RefTarget() = default;
};

/// Reference counting and the log name of every object behind an interface.
template <class Interface> class Object : public Interface, public RefTarget
{
public:
    Object() { registerObject(static_cast<Interface*>(this)); }
    ~Object() override { unregisterObject(static_cast<Interface*>(this)); }

    ULONG AddRef() override
    {
        trace("AddRef", static_cast<Interface*>(this));
        return addRef();
    }
    ULONG Release() override
    {
        trace("Release", static_cast<Interface*>(this));
        return release();
    }
    ULONG addRef() override { return ++mRefs; }
    ULONG release() override
    {
        ULONG left = --mRefs;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    ULONG mRefs = 1;
};

/// Pool accounting and the device link of every object a device creates.
class DeviceChild
{
public:
    virtual ~DeviceChild() = default;
    /// The device is going away: free OpenGL objects; later calls fail.
    virtual void deviceGone() = 0;

    Device* mDevice = nullptr;
    D3DPOOL mPool = D3DPOOL_SCRATCH;
    uint64_t mBytes = 0;
    /// Counted against Reset: default-pool resources and additional swap chains.
    bool mBlocksReset = false;
};

template <class Interface> class Resource : public Object<Interface>, public DeviceChild
{
public:
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    DWORD SetPriority(DWORD priority) override
    {
        DWORD old = mPriority;
        mPriority = priority;
        return old;
    }
    DWORD GetPriority() override { return mPriority; }
    void PreLoad() override {}

protected:
    DWORD mPriority = 0;
};

// ---- Surfaces -------------------------------------------------------------------------------------------------

class TextureStore;
class Pipeline;
struct VertexLayout;

class Surface final : public Resource<IDirect3DSurface9>
{
public:
    /// container: where references go (a texture, swap chain or the device), or null for a standalone surface.
    Surface(Device* device, const D3DSURFACE_DESC& desc, const FormatInfo& format, RefTarget* container);
    ~Surface() override;

    ULONG addRef() override;
    ULONG release() override;

    D3DRESOURCETYPE GetType() override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    void deviceGone() override;

    HRESULT lock(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
    HRESULT unlock();
    /// Gives the surface an OpenGL image of its own (standalone and swap-chain surfaces).
    bool createGl();
    /// Changes size and format in place (swap-chain surfaces across Reset), dropping the OpenGL image.
    void recreate(const D3DSURFACE_DESC& desc, const FormatInfo& format);
    void attachGl(const GlImage& image) { mGl = image; }
    bool hasGl() const { return mGl.texture != 0; }
    bool hasCpu() const { return mPool != D3DPOOL_DEFAULT || mLockableDefault; }
    bool isRenderTarget() const { return (mDesc.Usage & D3DUSAGE_RENDERTARGET) != 0; }
    bool isDepth() const { return mFormat->depth; }
    RECT bounds() const { return {0, 0, LONG(mDesc.Width), LONG(mDesc.Height)}; }
    /// Makes the CPU copy current (reading OpenGL when it holds newer contents).
    bool ensureCpu();
    /// Sends a rectangle of the CPU copy to OpenGL.
    void uploadRect(const RECT& rect);
    /// OpenGL now holds newer contents than the CPU copy.
    void noteGlWrite();
    BYTE* bitsAt(LONG x, LONG y);

    D3DSURFACE_DESC mDesc;
    const FormatInfo* mFormat;
    RefTarget* mContainer;
    TextureStore* mTexture = nullptr; ///< the texture this is a level of, if any
    UINT mLevel = 0;
    GlImage mGl;
    bool mOwnsGl = false;
    bool mLockableDefault = false; ///< a default-pool surface the caller may lock (dynamic, lockable targets)
    std::vector<BYTE> mBits;
    UINT mPitch = 0;
    bool mCpuValid = true;
    bool mLocked = false;
    /// Unlocked on another thread: OpenGL gets the CPU copy at the next sampling.
    bool mUploadPending = false;
    RECT mLockRect{};
    DWORD mLockFlags = 0;
};

/// Inside the surface and, for compressed formats, on whole blocks.
bool surfaceRectValid(const RECT& rect, const Surface& surface);

// ---- Textures -----------------------------------------------------------------------------------------------

/// What textures and cube textures share: levels, faces, the OpenGL texture, automatic mipmaps, palettes.
class TextureStore
{
public:
    HRESULT create(Device* device, RefTarget* container, UINT width, UINT height, UINT levels, DWORD usage,
                   const FormatInfo& format, D3DPOOL pool, bool cube, bool autoGen);
    void destroy();
    Surface* surface(UINT face, UINT level) const { return mSurfaces[face * mLevels + level].get(); }
    /// Brings OpenGL up to date for sampling: levels written on other threads, palette changes and pending
    /// mip generation.
    void prepareForSampling();
    void noteLevelWritten(UINT level);
    uint64_t bytes() const;

    Device* mDevice = nullptr;
    const FormatInfo* mFormat = nullptr;
    UINT mWidth = 0;
    UINT mHeight = 0;
    UINT mLevels = 0; ///< levels that exist
    UINT mFaces = 1;
    DWORD mUsage = 0;
    D3DPOOL mPool = D3DPOOL_MANAGED;
    bool mAutoGen = false;
    bool mMipsDirty = false;
    D3DTEXTUREFILTERTYPE mAutoGenFilter = D3DTEXF_LINEAR;
    DWORD mLod = 0;
    uint32_t mGlTexture = 0;
    UINT mPaletteUsed = 0; ///< palette number and its serial at the last palettised upload
    uint64_t mPaletteSerial = 0;
    std::vector<std::unique_ptr<Surface>> mSurfaces;
};

class Texture final : public Resource<IDirect3DTexture9>
{
public:
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override;
    DWORD SetLOD(DWORD lod) override;
    DWORD GetLOD() override;
    HRESULT SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) override;
    D3DTEXTUREFILTERTYPE GetAutoGenFilterType() override;
    void GenerateMipSubLevels() override;
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;
    HRESULT AddDirtyRect(const RECT* rect) override;
    void deviceGone() override { mStore.destroy(); }
    ~Texture() override;

    TextureStore mStore;
};

class CubeTexture final : public Resource<IDirect3DCubeTexture9>
{
public:
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_CUBETEXTURE; }
    DWORD GetLevelCount() override;
    DWORD SetLOD(DWORD lod) override;
    DWORD GetLOD() override;
    HRESULT SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) override;
    D3DTEXTUREFILTERTYPE GetAutoGenFilterType() override;
    void GenerateMipSubLevels() override;
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(D3DCUBEMAP_FACES face, UINT level) override;
    HRESULT AddDirtyRect(D3DCUBEMAP_FACES face, const RECT* rect) override;
    void deviceGone() override { mStore.destroy(); }
    ~CubeTexture() override;

    TextureStore mStore;
};

/// The store behind either kind of texture, or null.
TextureStore* textureStore(IDirect3DBaseTexture9* texture);

// ---- Buffers --------------------------------------------------------------------------------------------------

/// What vertex and index buffers share: bytes, the OpenGL buffer and the lock rules.
class BufferStore
{
public:
    HRESULT lock(Device* device, UINT offset, UINT size, void** data, DWORD flags);
    HRESULT unlock(Device* device);
    void release();

    // What every draw reads comes first, beside the index ranges; lock bookkeeping after them.
    UINT mSize = 0;
    uint32_t mGlBuffer = 0;
    uint8_t mRangeNext = 0;
    uint8_t mRangeLast = 0; ///< the slot found or filled last
    std::vector<BYTE> mBytes;

    /// Smallest and largest index of a range of an index buffer, kept until the next write so that drawing
    /// the same range again does not read its indices again.
    struct IndexRange
    {
        uint32_t start = 0; ///< ranges are only kept once they are known to lie inside the buffer's bytes
        uint32_t count = 0; ///< 0: the slot is empty
        uint32_t smallest = 0;
        uint32_t largest = 0;
    };
    std::array<IndexRange, 8> mRanges{};

    std::vector<BYTE> mSpare; ///< the other store of DISCARD locks
    DWORD mUsage = 0;
    D3DPOOL mPool = D3DPOOL_MANAGED;
    UINT mLocks = 0;
    UINT mDirtyBegin = 0;
    UINT mDirtyEnd = 0;
    bool mDiscard = false;

};

class VertexBuffer final : public Resource<IDirect3DVertexBuffer9>
{
public:
    ~VertexBuffer() override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;
    void deviceGone() override { mStore.release(); }

    BufferStore mStore;
    DWORD mFvf = 0;
};

class IndexBuffer final : public Resource<IDirect3DIndexBuffer9>
{
public:
    ~IndexBuffer() override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) override;
    void deviceGone() override { mStore.release(); }

    D3DFORMAT mFormat = D3DFMT_INDEX16; ///< beside the store's fields a draw reads
    BufferStore mStore;
};

// ---- Declarations and shaders -------------------------------------------------------------------------------

class VertexDeclaration final : public Object<IDirect3DVertexDeclaration9>, public DeviceChild
{
public:
    ~VertexDeclaration() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    HRESULT GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) override;
    void deviceGone() override {}

    std::vector<D3DVERTEXELEMENT9> mElements; ///< with the end marker
    std::unique_ptr<VertexLayout> mLayout;    ///< what drawing reads; null without a position
};

/// A shader's token stream, kept until drawing translates it.
template <class Interface> class Shader final : public Object<Interface>, public DeviceChild
{
public:
    ~Shader() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    HRESULT GetFunction(void* data, UINT* sizeInBytes) override;
    void deviceGone() override {}

    std::vector<DWORD> mTokens; ///< version token through the end token
    uint64_t mSerial = 0;       ///< names the shader in program keys; never reused, unlike its address
};
using VertexShader = Shader<IDirect3DVertexShader9>;
using PixelShader = Shader<IDirect3DPixelShader9>;

/// Checks a shader token stream (version, then tokens up to 0x0000FFFF) and copies it; false when malformed.
bool copyShaderTokens(const DWORD* function, bool pixel, std::vector<DWORD>& out);

// ---- Swap chains ----------------------------------------------------------------------------------------------

class SwapChain final : public Object<IDirect3DSwapChain9>, public DeviceChild
{
public:
    /// implicit: the device's own chain, whose references count on the device.
    SwapChain(Device* device, bool implicit);
    ~SwapChain() override;

    ULONG addRef() override;
    ULONG release() override;

    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride, const RGNDATA* dirtyRegion,
                    DWORD flags) override;
    HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** backBuffer) override;
    HRESULT GetDisplayMode(D3DDISPLAYMODE* mode) override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    HRESULT GetPresentParameters(D3DPRESENT_PARAMETERS* presentParameters) override;
    void deviceGone() override;

    /// (Re)makes the back buffer for the present parameters.
    HRESULT build(const D3DPRESENT_PARAMETERS& presentParameters);
    HRESULT present();

    bool mImplicit;
    D3DPRESENT_PARAMETERS mParameters{};
    std::unique_ptr<Surface> mBackBuffer;
    void* mWindow = nullptr; ///< SDL_Window shown by Present, or null
};

// ---- The Direct3D object --------------------------------------------------------------------------------------

class Direct3D final : public Object<IDirect3D9>
{
public:
    explicit Direct3D(std::vector<d3d9test::AdapterConfig> adapters);
    ~Direct3D() override;

    UINT GetAdapterCount() override;
    HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier) override;
    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override;
    HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) override;
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* out) override;
    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat,
                            BOOL windowed) override;
    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                              D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) override;
    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat, BOOL windowed,
                                       D3DMULTISAMPLE_TYPE multiSample, DWORD* qualityLevels) override;
    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT renderTargetFormat,
                                   D3DFORMAT depthStencilFormat) override;
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* presentParameters, IDirect3DDevice9** device) override;

    // The checks without logging, for the device's own validation.
    HRESULT checkType(UINT adapter, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat, BOOL windowed) const;
    HRESULT checkFormat(UINT adapter, D3DFORMAT adapterFormat, DWORD usage, D3DRESOURCETYPE resourceType,
                        D3DFORMAT format) const;
    HRESULT checkDepthMatch(UINT adapter, D3DFORMAT adapterFormat, D3DFORMAT renderTargetFormat,
                            D3DFORMAT depthStencilFormat) const;
    D3DDISPLAYMODE currentMode(UINT adapter) const;
    bool validAdapter(UINT adapter, D3DDEVTYPE type) const;

    std::vector<d3d9test::AdapterConfig> mAdapters;
    std::vector<D3DDISPLAYMODE> mHeldModes; ///< full-screen mode held by a device, Width 0 when none
};

// ---- The device -------------------------------------------------------------------------------------------------

enum class Loss
{
    Operational,
    Lost,
    NotReset,
};

/// Dirty bits: which groups of state changed since drawing last looked.
enum Dirty : uint32_t
{
    DirtyRenderState = 1u << 0,
    DirtyStageState = 1u << 1,
    DirtySamplerState = 1u << 2,
    DirtyTransform = 1u << 3,
    DirtyLighting = 1u << 4,
    DirtyMaterial = 1u << 5,
    DirtyTextures = 1u << 6,
    DirtyStreams = 1u << 7,
    DirtyIndices = 1u << 8,
    DirtyDeclaration = 1u << 9,
    DirtyShaders = 1u << 10,
    DirtyShaderConstants = 1u << 11,
    DirtyTargets = 1u << 12,
    DirtyViewport = 1u << 13,
    DirtyClipPlanes = 1u << 14,
    DirtyPalette = 1u << 15,
    DirtyUniformStates = 1u << 16, ///< a render state the uniform block carries (colours, fog, points, alpha ref)
    DirtyStageUniforms = 1u << 17, ///< a stage's constant or bump-mapping values
    DirtyAll = 0xFFFFFFFFu,
};

/// Sampler and texture slots: 16 pixel samplers, the displacement-map sampler and 4 vertex samplers.
constexpr UINT kSamplerSlots = 21;
constexpr UINT kMaxStreams = 16;
constexpr UINT kMaxRenderTargets = 4;
constexpr UINT kShaderConstantsF = 256;
constexpr UINT kShaderConstantsIB = 16;
constexpr UINT kMaxClipPlanes = 6;

struct StreamBinding
{
    VertexBuffer* buffer = nullptr;
    UINT offset = 0;
    UINT stride = 0;
};

struct LightSlot
{
    D3DLIGHT9 light;
    bool enabled = false;
};

struct Palette
{
    std::array<PALETTEENTRY, 256> entries{};
    uint64_t serial = 0;
    bool set = false;
};

class Device final : public Object<IDirect3DDevice9>
{
public:
    Device(Direct3D* d3d, UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags);
    ~Device() override;
    /// Opens OpenGL and builds the implicit swap chain; the result of CreateDevice.
    HRESULT start(D3DPRESENT_PARAMETERS* presentParameters);

    // Management and presentation (d3d9device.cpp).
    HRESULT TestCooperativeLevel() override;
    UINT GetAvailableTextureMem() override;
    HRESULT EvictManagedResources() override;
    HRESULT GetDirect3D(IDirect3D9** d3d) override;
    HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override;
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) override;
    HRESULT CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* presentParameters,
                                      IDirect3DSwapChain9** swapChain) override;
    HRESULT GetSwapChain(UINT index, IDirect3DSwapChain9** swapChain) override;
    UINT GetNumberOfSwapChains() override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* presentParameters) override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion) override;
    HRESULT GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** backBuffer) override;
    void SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp) override;
    void GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;

    // Resources (d3d9texture.cpp, d3d9surface.cpp, d3d9buffer.cpp, d3d9shader.cpp).
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, void** sharedHandle) override;
    HRESULT CreateCubeTexture(UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DCubeTexture9** texture, void** sharedHandle) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                               void** sharedHandle) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** buffer,
                              void** sharedHandle) override;
    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                               DWORD multisampleQuality, BOOL lockable, IDirect3DSurface9** surface,
                               void** sharedHandle) override;
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                      DWORD multisampleQuality, BOOL discard, IDirect3DSurface9** surface,
                                      void** sharedHandle) override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, void** sharedHandle) override;
    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                    IDirect3DVertexDeclaration9** declaration) override;
    HRESULT CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) override;
    HRESULT CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) override;

    // Surface transfers and targets (d3d9transfer.cpp).
    HRESULT UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                          const POINT* destPoint) override;
    HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* dest) override;
    HRESULT StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                        const RECT* destRect, D3DTEXTUREFILTERTYPE filter) override;
    HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override;
    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
    HRESULT SetScissorRect(const RECT* rect) override;
    HRESULT GetScissorRect(RECT* rect) override;

    // State (d3d9states.cpp).
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT SetMaterial(const D3DMATERIAL9* material) override;
    HRESULT GetMaterial(D3DMATERIAL9* material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override;
    HRESULT GetLight(DWORD index, D3DLIGHT9* light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT GetLightEnable(DWORD index, BOOL* enable) override;
    HRESULT SetClipPlane(DWORD index, const float* plane) override;
    HRESULT GetClipPlane(DWORD index, float* plane) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
    HRESULT ValidateDevice(DWORD* passes) override;
    HRESULT SetPaletteEntries(UINT paletteNumber, const PALETTEENTRY* entries) override;
    HRESULT GetPaletteEntries(UINT paletteNumber, PALETTEENTRY* entries) override;
    HRESULT SetCurrentTexturePalette(UINT paletteNumber) override;
    HRESULT GetCurrentTexturePalette(UINT* paletteNumber) override;
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
    HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9** declaration) override;
    HRESULT SetFVF(DWORD fvf) override;
    HRESULT GetFVF(DWORD* fvf) override;
    HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
    HRESULT GetVertexShader(IDirect3DVertexShader9** shader) override;
    HRESULT SetVertexShaderConstantF(UINT start, const float* data, UINT count4) override;
    HRESULT GetVertexShaderConstantF(UINT start, float* data, UINT count4) override;
    HRESULT SetVertexShaderConstantI(UINT start, const int* data, UINT count4) override;
    HRESULT SetVertexShaderConstantB(UINT start, const BOOL* data, UINT count) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
    HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset, UINT* stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* indices) override;
    HRESULT GetIndices(IDirect3DIndexBuffer9** indices) override;
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
    HRESULT GetPixelShader(IDirect3DPixelShader9** shader) override;
    HRESULT SetPixelShaderConstantF(UINT start, const float* data, UINT count4) override;
    HRESULT GetPixelShaderConstantF(UINT start, float* data, UINT count4) override;
    HRESULT SetPixelShaderConstantI(UINT start, const int* data, UINT count4) override;
    HRESULT SetPixelShaderConstantB(UINT start, const BOOL* data, UINT count) override;

    // Drawing (d3d9draw.cpp).
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                 UINT startIndex, UINT primitiveCount) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT primitiveCount,
                                   const void* indices, D3DFORMAT indexFormat, const void* vertices,
                                   UINT stride) override;

    // ---- Internals ----
    void makeCurrent();
    const d3d9test::AdapterConfig& adapter() const { return mD3d->mAdapters[mAdapter]; }
    D3DFORMAT displayFormat() const;
    void track(DeviceChild* child);
    void untrack(DeviceChild* child);
    UINT blocksResetCount() const;
    /// Memory check for a new default-pool resource; OUTOFVIDEOMEMORY past the adapter's texture memory.
    HRESULT reserveMemory(D3DPOOL pool, uint64_t bytes);
    /// Checks and completes present parameters (client size, desktop format) for CreateDevice, Reset and
    /// additional swap chains.
    HRESULT validatePresent(D3DPRESENT_PARAMETERS& parameters, bool additional);
    /// The state a new or reset device starts from; drops every binding.
    void resetState();
    void unbindAll();
    /// Rebuilds the implicit back buffer and depth surface for the present parameters.
    HRESULT buildImplicitSurfaces(const D3DPRESENT_PARAMETERS& parameters);
    /// A surface from an interface pointer, or null.
    static Surface* asSurface(IDirect3DSurface9* surface) { return static_cast<Surface*>(surface); }
    const PALETTEENTRY* paletteFor(UINT number, uint64_t* serial) const;

    Direct3D* mD3d;
    UINT mAdapter;
    D3DDEVTYPE mType;
    HWND mFocusWindow;
    DWORD mBehavior;
    /// OpenGL is current only on the thread that made the device.
    std::thread::id mOwnerThread = std::this_thread::get_id();
    bool onOwnerThread() const { return std::this_thread::get_id() == mOwnerThread; }
    D3DCAPS9 mCaps{};
    GlContext mGl;
    Loss mLoss = Loss::Operational;
    bool mInScene = false;
    std::unique_ptr<SwapChain> mImplicit;
    std::unique_ptr<Surface> mAutoDepth;
    std::unordered_set<DeviceChild*> mChildren;
    uint64_t mDefaultBytes = 0;
    uint64_t mManagedBytes = 0;
    uint32_t mDirty = DirtyAll;
    /// Which matrices the uniform block is built from changed since drawing last looked: bits 0-7 world 0-7,
    /// bit 8 view, bit 9 projection, bits 10-17 texture 0-7 (transformBit).
    uint32_t mTransformsChanged = ~0u;
    /// Vertex-shader float registers [begin, end) set since they were last sent to OpenGL.
    UINT mVsConstDirtyBegin = 0;
    UINT mVsConstDirtyEnd = kShaderConstantsF;
    /// Counts changes of the pixel-shader float constants, so each program is sent them once per change.
    uint64_t mPsConstSerial = 1;
    /// Draw-time OpenGL state, programs and streaming (d3d9pipeline.cpp).
    std::unique_ptr<Pipeline> mPipeline;

    // Stored state.
    std::array<DWORD, 256> mRenderStates{};
    std::array<std::array<DWORD, D3D9_TEXTURESTAGESTATE_COUNT>, D3D9_MAX_TEXTURE_STAGES> mStageStates{};
    std::array<std::array<DWORD, D3D9_SAMPLERSTATE_COUNT>, kSamplerSlots> mSamplerStates{};
    std::vector<D3DMATRIX> mTransforms;
    D3DMATERIAL9 mMaterial{};
    std::map<DWORD, LightSlot> mLights;
    std::array<std::array<float, 4>, kMaxClipPlanes> mClipPlanes{};
    D3DVIEWPORT9 mViewport{};
    RECT mScissor{};
    std::array<IDirect3DBaseTexture9*, kSamplerSlots> mTextures{};
    std::array<Surface*, kMaxRenderTargets> mRenderTargets{};
    Surface* mDepthStencil = nullptr;
    std::array<StreamBinding, kMaxStreams> mStreams{};
    IndexBuffer* mIndices = nullptr;
    VertexDeclaration* mDeclaration = nullptr;
    DWORD mFvf = 0;
    VertexShader* mVertexShader = nullptr;
    PixelShader* mPixelShader = nullptr;
    std::vector<float> mVsConstF;
    std::vector<int> mVsConstI;
    std::vector<BOOL> mVsConstB;
    std::vector<float> mPsConstF;
    std::vector<int> mPsConstI;
    std::vector<BOOL> mPsConstB;
    std::vector<Palette> mPalettes;
    UINT mCurrentPalette = 0;
    uint64_t mPaletteSerial = 0;
    D3DGAMMARAMP mGamma{};
};

/// Slot of a sampler or texture stage number (0-15, 256-260), or -1.
int samplerSlot(DWORD sampler);

template <class Interface> HRESULT Resource<Interface>::GetDevice(IDirect3DDevice9** device)
{
    trace("GetDevice", static_cast<Interface*>(this));
    if (!device || !mDevice)
        return D3DERR_INVALIDCALL;
    mDevice->addRef();
    *device = mDevice;
    return D3D_OK;
}

} // namespace d3d9
