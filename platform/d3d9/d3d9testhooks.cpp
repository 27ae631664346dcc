// Test hooks of our Direct3D 9 layer: the adapter configuration, fault injection, the call log, object names and
// inspection of what reached OpenGL.
#define GL_GLEXT_PROTOTYPES 1
#include "d3d9pipeline_local.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <unordered_map>

namespace d3d9
{
namespace
{

struct FaultPlan
{
    HRESULT result = D3D_OK;
    UINT skip = 0;
    UINT count = 0;
};

std::map<d3d9test::Fault, FaultPlan> sFaults;
std::vector<d3d9test::Call> sLog;
std::unordered_map<const void*, UINT> sIds;
UINT sNextId = 1;
std::vector<d3d9test::AdapterConfig> sAdapters;
bool sAdaptersSet = false;

} // namespace

void pushCall(const char* name, std::string args)
{
    sLog.push_back({name, std::move(args)});
}

bool takeFaultPlanned(d3d9test::Fault site, HRESULT* result)
{
    auto found = sFaults.find(site);
    if (found == sFaults.end() || found->second.count == 0)
        return false;
    FaultPlan& plan = found->second;
    if (plan.skip > 0)
    {
        --plan.skip;
        return false;
    }
    --plan.count;
    *result = plan.result;
    return true;
}

void registerObjectNamed(const void* object)
{
    sIds[object] = sNextId++;
}

void unregisterObjectNamed(const void* object)
{
    sIds.erase(object);
}

const std::vector<d3d9test::AdapterConfig>& configuredAdapters()
{
    if (!sAdaptersSet)
    {
        sAdapters = {d3d9test::DefaultAdapter()};
        sAdaptersSet = true;
    }
    return sAdapters;
}

// ---- Log formatting -----------------------------------------------------------------------------------------------

void appendArg(std::string& out, uint64_t value)
{
    out += std::to_string(value);
}
void appendArg(std::string& out, int64_t value)
{
    out += std::to_string(value);
}

void appendArg(std::string& out, double value)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%g", value);
    out += text;
}

void appendArg(std::string& out, Hex value)
{
    char text[24];
    std::snprintf(text, sizeof(text), "0x%llX", static_cast<unsigned long long>(value.value));
    out += text;
}

void appendArg(std::string& out, const char* text)
{
    out += text ? text : "null";
}

void appendArg(std::string& out, const RECT* rect)
{
    if (!rect)
    {
        out += "null";
        return;
    }
    out += "{" + std::to_string(rect->left) + " " + std::to_string(rect->top) + " " + std::to_string(rect->right) +
           " " + std::to_string(rect->bottom) + "}";
}

void appendArg(std::string& out, const POINT* point)
{
    if (!point)
    {
        out += "null";
        return;
    }
    out += "{" + std::to_string(point->x) + " " + std::to_string(point->y) + "}";
}

void appendArg(std::string& out, const D3DRECT* rect)
{
    if (!rect)
    {
        out += "null";
        return;
    }
    out += "{" + std::to_string(rect->x1) + " " + std::to_string(rect->y1) + " " + std::to_string(rect->x2) + " " +
           std::to_string(rect->y2) + "}";
}

void appendArg(std::string& out, const void* object)
{
    out += d3d9test::ObjectName(object);
}

} // namespace d3d9

namespace d3d9test
{
using namespace d3d9;

// ---- Adapters -----------------------------------------------------------------------------------------------------

namespace
{

D3DCAPS9 defaultCaps()
{
    D3DCAPS9 caps{};
    caps.DeviceType = D3DDEVTYPE_HAL;
    caps.Caps2 =
        D3DCAPS2_CANAUTOGENMIPMAP | D3DCAPS2_DYNAMICTEXTURES | D3DCAPS2_FULLSCREENGAMMA | D3DCAPS2_CANMANAGERESOURCE;
    caps.PresentationIntervals = D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_IMMEDIATE;
    caps.DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_EXECUTEVIDEOMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                   D3DDEVCAPS_TLVERTEXVIDEOMEMORY | D3DDEVCAPS_TEXTURESYSTEMMEMORY | D3DDEVCAPS_TEXTUREVIDEOMEMORY |
                   D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_CANRENDERAFTERFLIP | D3DDEVCAPS_DRAWPRIMITIVES2 |
                   D3DDEVCAPS_DRAWPRIMITIVES2EX | D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION |
                   D3DDEVCAPS_PUREDEVICE;
    caps.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW |
                             D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_CLIPTLVERTS | D3DPMISCCAPS_TSSARGTEMP |
                             D3DPMISCCAPS_BLENDOP | D3DPMISCCAPS_SEPARATEALPHABLEND;
    caps.RasterCaps = D3DPRASTERCAPS_DITHER | D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGVERTEX |
                      D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_MIPMAPLODBIAS | D3DPRASTERCAPS_FOGRANGE |
                      D3DPRASTERCAPS_ANISOTROPY | D3DPRASTERCAPS_ZFOG | D3DPRASTERCAPS_COLORPERSPECTIVE |
                      D3DPRASTERCAPS_SCISSORTEST | D3DPRASTERCAPS_SLOPESCALEDEPTHBIAS | D3DPRASTERCAPS_DEPTHBIAS;
    caps.ZCmpCaps = D3DPCMPCAPS_ALL;
    caps.AlphaCmpCaps = D3DPCMPCAPS_ALL;
    caps.SrcBlendCaps = 0x3FFF;
    caps.DestBlendCaps = 0x3FFF;
    caps.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB |
                     D3DPSHADECAPS_ALPHAGOURAUDBLEND | D3DPSHADECAPS_FOGGOURAUD;
    caps.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_ALPHAPALETTE |
                       D3DPTEXTURECAPS_PROJECTED | D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_MIPMAP |
                       D3DPTEXTURECAPS_MIPCUBEMAP;
    DWORD filters = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MINFANISOTROPIC |
                    D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT |
                    D3DPTFILTERCAPS_MAGFLINEAR | D3DPTFILTERCAPS_MAGFANISOTROPIC;
    caps.TextureFilterCaps = filters;
    caps.CubeTextureFilterCaps = filters;
    caps.VolumeTextureFilterCaps = filters;
    caps.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                              D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_INDEPENDENTUV | D3DPTADDRESSCAPS_MIRRORONCE;
    caps.VolumeTextureAddressCaps = caps.TextureAddressCaps;
    caps.LineCaps =
        D3DLINECAPS_TEXTURE | D3DLINECAPS_ZTEST | D3DLINECAPS_BLEND | D3DLINECAPS_ALPHACMP | D3DLINECAPS_FOG;
    caps.MaxTextureWidth = 4096;
    caps.MaxTextureHeight = 4096;
    caps.MaxVolumeExtent = 256;
    caps.MaxTextureRepeat = 8192;
    caps.MaxTextureAspectRatio = 4096;
    caps.MaxAnisotropy = 16;
    caps.MaxVertexW = 1e10f;
    caps.GuardBandLeft = -8192;
    caps.GuardBandTop = -8192;
    caps.GuardBandRight = 8192;
    caps.GuardBandBottom = 8192;
    caps.StencilCaps = D3DSTENCILCAPS_ALL | D3DSTENCILCAPS_TWOSIDED;
    caps.FVFCaps = 8 | D3DFVFCAPS_PSIZE;
    caps.TextureOpCaps = D3DTEXOPCAPS_ALL;
    caps.MaxTextureBlendStages = 8;
    caps.MaxSimultaneousTextures = 8;
    caps.VertexProcessingCaps = D3DVTXPCAPS_TEXGEN | D3DVTXPCAPS_MATERIALSOURCE7 | D3DVTXPCAPS_DIRECTIONALLIGHTS |
                                D3DVTXPCAPS_POSITIONALLIGHTS | D3DVTXPCAPS_LOCALVIEWER;
    caps.MaxActiveLights = 8;
    caps.MaxUserClipPlanes = 6;
    caps.MaxVertexBlendMatrices = 4;
    caps.MaxVertexBlendMatrixIndex = 0;
    caps.MaxPointSize = 64.0f;
    caps.MaxPrimitiveCount = 0xFFFFF;
    caps.MaxVertexIndex = 0xFFFFFF;
    caps.MaxStreams = 16;
    caps.MaxStreamStride = 255;
    caps.VertexShaderVersion = D3DVS_VERSION(2, 0);
    caps.MaxVertexShaderConst = 256;
    caps.PixelShaderVersion = D3DPS_VERSION(1, 3); // the pixel shaders the layer translates
    caps.PixelShader1xMaxValue = 8.0f;
    caps.DevCaps2 = D3DDEVCAPS2_STREAMOFFSET | D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES |
                    D3DDEVCAPS2_VERTEXELEMENTSCANSHARESTREAMOFFSET;
    caps.NumberOfAdaptersInGroup = 1;
    caps.DeclTypes = D3DDTCAPS_UBYTE4 | D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N | D3DDTCAPS_USHORT2N |
                     D3DDTCAPS_USHORT4N | D3DDTCAPS_UDEC3 | D3DDTCAPS_DEC3N | D3DDTCAPS_FLOAT16_2 | D3DDTCAPS_FLOAT16_4;
    caps.NumSimultaneousRTs = 4;
    caps.StretchRectFilterCaps =
        D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    caps.VS20Caps = {0, 0, 12, 1};
    caps.PS20Caps = {0, 0, 12, 0, 64};
    caps.MaxVShaderInstructionsExecuted = 65535;
    caps.MaxPShaderInstructionsExecuted = 512;
    return caps;
}

} // namespace

AdapterConfig DefaultAdapter()
{
    AdapterConfig adapter;
    adapter.description = "OpenGL 3.3 display adapter";
    adapter.driver = "d3d9gl";
    adapter.deviceName = "\\\\.\\DISPLAY1";
    adapter.desktop = {640, 480, 60, D3DFMT_X8R8G8B8};
    glDesktopMode(&adapter.desktop);
    const std::pair<UINT, UINT> sizes[] = {{640, 480}, {800, 600}, {1024, 768}};
    for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5})
    {
        for (auto [width, height] : sizes)
            adapter.modes.push_back({width, height, 60, format});
        bool desktopListed =
            std::any_of(sizes, sizes + 3,
                        [&](const auto& size)
                        { return size.first == adapter.desktop.Width && size.second == adapter.desktop.Height; });
        if (!desktopListed)
            adapter.modes.push_back({adapter.desktop.Width, adapter.desktop.Height, 60, format});
    }
    adapter.caps = defaultCaps();
    adapter.textureFormats = backingColourFormats();
    adapter.cubeTextureFormats = adapter.textureFormats;
    adapter.renderTargetFormats = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5,
                                   D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,
                                   D3DFMT_A8B8G8R8, D3DFMT_X8B8G8R8, D3DFMT_A2R10G10B10};
    adapter.depthStencilFormats = backingDepthFormats();
    adapter.autoGenMipmapFormats = {D3DFMT_A8R8G8B8,    D3DFMT_X8R8G8B8, D3DFMT_R5G6B5,   D3DFMT_X1R5G5B5,
                                    D3DFMT_A1R5G5B5,    D3DFMT_A4R4G4B4, D3DFMT_A8B8G8R8, D3DFMT_X8B8G8R8,
                                    D3DFMT_A2R10G10B10, D3DFMT_A8,       D3DFMT_P8,       D3DFMT_L8,
                                    D3DFMT_A8L8};
    adapter.displayFormats = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A2R10G10B10};
    return adapter;
}

void SetAdapters(std::vector<AdapterConfig> adapters)
{
    gHooks.registry = true;
    sAdapters = std::move(adapters);
    sAdaptersSet = true;
}

void ResetAll()
{
    sAdaptersSet = false;
    sAdapters.clear();
    ClearFaults();
    ClearCallLog();
    gHooks.callLog = false;
    gHooks.registry = true;
    gHooks.glChecks = true;
}

void SetDesktopMode(IDirect3D9* d3d, UINT adapter, const D3DDISPLAYMODE& mode)
{
    auto* object = static_cast<Direct3D*>(d3d);
    if (adapter < object->mAdapters.size())
        object->mAdapters[adapter].desktop = mode;
}

// ---- Faults and loss ----------------------------------------------------------------------------------------------

void FailNext(Fault site, HRESULT result, UINT count, UINT skip)
{
    sFaults[site] = {result, skip, count};
    gHooks.faults = true;
}

void ClearFaults()
{
    sFaults.clear();
    gHooks.faults = false;
}

void LoseDevice(IDirect3DDevice9* device)
{
    static_cast<Device*>(device)->mLoss = Loss::Lost;
}

void MakeDeviceResettable(IDirect3DDevice9* device)
{
    auto* object = static_cast<Device*>(device);
    if (object->mLoss == Loss::Lost)
        object->mLoss = Loss::NotReset;
}

// ---- Call log -----------------------------------------------------------------------------------------------------

void EnableCallLog(bool on)
{
    gHooks.callLog = on;
    gHooks.registry = true;
}
void ClearCallLog()
{
    sLog.clear();
}
const std::vector<Call>& CallLog()
{
    return sLog;
}

size_t CountCalls(std::string_view name)
{
    return size_t(std::count_if(sLog.begin(), sLog.end(), [&](const Call& call) { return call.name == name; }));
}

std::vector<std::string> CallArgs(std::string_view name)
{
    std::vector<std::string> out;
    for (const Call& call : sLog)
        if (call.name == name)
            out.push_back(call.args);
    return out;
}

std::string ObjectName(const void* object)
{
    if (!object)
        return "null";
    auto found = sIds.find(object);
    return found == sIds.end() ? "ptr" : "#" + std::to_string(found->second);
}

// ---- Inspection ---------------------------------------------------------------------------------------------------

ULONG RefCount(IUnknownD3D* object)
{
    auto* target = dynamic_cast<RefTarget*>(object);
    if (!target)
        return 0;
    target->addRef();
    return target->release();
}

UINT DefaultPoolResources(IDirect3DDevice9* device)
{
    return static_cast<Device*>(device)->blocksResetCount();
}

bool ReadTexels(IDirect3DBaseTexture9* texture, UINT face, UINT level, std::vector<float>& rgba, UINT* width,
                UINT* height)
{
    TextureStore* store = textureStore(texture);
    if (!store || !store->mDevice || face >= store->mFaces || level >= store->mLevels || !store->mGlTexture)
        return false;
    store->mDevice->makeCurrent();
    store->prepareForSampling();
    Surface* surface = store->surface(face, level);
    *width = surface->mDesc.Width;
    *height = surface->mDesc.Height;
    return glReadTexels(surface->mGl, *store->mFormat, *width, *height, rgba);
}

bool ReadBuffer(IDirect3DResource9* buffer, std::vector<BYTE>& bytes)
{
    BufferStore* store = nullptr;
    Device* device = nullptr;
    if (buffer->GetType() == D3DRTYPE_VERTEXBUFFER)
    {
        auto* vertices = static_cast<VertexBuffer*>(static_cast<IDirect3DVertexBuffer9*>(buffer));
        store = &vertices->mStore;
        device = vertices->mDevice;
    }
    else if (buffer->GetType() == D3DRTYPE_INDEXBUFFER)
    {
        auto* indices = static_cast<IndexBuffer*>(static_cast<IDirect3DIndexBuffer9*>(buffer));
        store = &indices->mStore;
        device = indices->mDevice;
    }
    if (!store || !device || !store->mGlBuffer)
        return false;
    device->makeCurrent();
    bytes.resize(store->mSize);
    glBufferRead(store->mGlBuffer, store->mSize, bytes.data());
    return true;
}

UINT GlErrors()
{
    return glErrorCount();
}

void Finish(IDirect3DDevice9* device)
{
    static_cast<Device*>(device)->makeCurrent();
    glFinish();
}

void DrawDirect(IDirect3DDevice9* device, UINT count, IDirect3DTexture9* a, IDirect3DTexture9* b)
{
    auto* object = static_cast<Device*>(device);
    object->makeCurrent();
    GLuint textures[2] = {textureStore(a)->mGlTexture, textureStore(b)->mGlTexture};
    glActiveTexture(GL_TEXTURE0);
    for (UINT i = 0; i < count; ++i)
    {
        glDepthFunc(i % 2 ? GL_LESS : GL_LEQUAL);
        glBindTexture(GL_TEXTURE_2D, textures[i % 2]);
        glDrawArrays(GL_TRIANGLES, 0, 3);
    }
    // The layer's shadow of OpenGL state no longer holds.
    object->mGl.stateDirty = true;
}

struct Capture
{
    CaptureSink sink;
};

void BeginCapture(IDirect3DDevice9* device)
{
    auto* object = static_cast<Device*>(device);
    delete object->mPipeline->capture();
    object->mPipeline->setCapture(new CaptureSink());
}

Capture* EndCapture(IDirect3DDevice9* device)
{
    auto* object = static_cast<Device*>(device);
    CaptureSink* sink = object->mPipeline->capture();
    if (!sink)
        return nullptr;
    object->mPipeline->setCapture(nullptr);
    auto* capture = new Capture{std::move(*sink)};
    delete sink;
    return capture;
}

void FreeCapture(IDirect3DDevice9* device, Capture* capture)
{
    if (!capture)
        return;
    static_cast<Device*>(device)->makeCurrent();
    GLuint buffers[2] = {capture->sink.ubo, capture->sink.vsUbo};
    glDeleteBuffers(2, buffers);
    delete capture;
}

CaptureSummary Summarise(const Capture* capture)
{
    CaptureSummary summary;
    if (!capture)
        return summary;
    summary.complete = capture->sink.complete;
    for (const CapturedDraw& draw : capture->sink.draws)
    {
        ++summary.draws;
        switch (draw.mode)
        {
        case GL_TRIANGLES:
            summary.primitives += draw.count / 3;
            break;
        case GL_TRIANGLE_STRIP:
        case GL_TRIANGLE_FAN:
            summary.primitives += draw.count >= 2 ? draw.count - 2 : 0;
            break;
        case GL_LINES:
            summary.primitives += draw.count / 2;
            break;
        case GL_LINE_STRIP:
            summary.primitives += draw.count >= 1 ? draw.count - 1 : 0;
            break;
        default:
            summary.primitives += draw.count;
        }
    }
    return summary;
}

void DrawCaptured(IDirect3DDevice9* device, Capture* capture, D3DCOLOR clearColour, float clearZ)
{
    auto* object = static_cast<Device*>(device);
    if (!capture)
        return;
    object->makeCurrent();
    float colour[4];
    colourToFloats(clearColour, colour);
    object->mPipeline->replay(capture->sink, colour, clearZ);
    for (Surface* target : object->mRenderTargets)
        if (target)
            target->noteGlWrite();
    if (object->mDepthStencil)
        object->mDepthStencil->noteGlWrite();
}

void* DeviceWindow(IDirect3DDevice9* device)
{
    return static_cast<Device*>(device)->mGl.window;
}

} // namespace d3d9test
