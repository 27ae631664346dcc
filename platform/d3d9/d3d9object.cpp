// The Direct3D object of our layer: adapters, display modes, format checks, capabilities and device creation,
// all answered from the adapter configuration (d3d9testhooks.h).
#include "d3d9objects_local.h"

#include <algorithm>
#include <cstring>

namespace
{

bool contains(const std::vector<D3DFORMAT>& formats, D3DFORMAT format)
{
    return std::find(formats.begin(), formats.end(), format) != formats.end();
}

bool isBumpFormat(D3DFORMAT format)
{
    return format == D3DFMT_V8U8 || format == D3DFMT_L6V5U5 || format == D3DFMT_X8L8V8U8 || format == D3DFMT_Q8W8V8U8 ||
           format == D3DFMT_V16U16 || format == D3DFMT_CxV8U8;
}

void copyText(char* out, size_t size, const std::string& text)
{
    size_t length = std::min(size - 1, text.size());
    std::memcpy(out, text.data(), length);
    out[length] = 0;
}

} // namespace

IDirect3D9* Direct3DCreate9(UINT sdkVersion)
{
    d3d9::trace("Direct3DCreate9", sdkVersion);
    HRESULT ignored;
    if ((sdkVersion != 31 && sdkVersion != D3D_SDK_VERSION) || d3d9::takeFault(d3d9test::Fault::Create9, &ignored))
        return nullptr;
    if (!d3d9::glStartVideo())
        return nullptr;
    return new d3d9::Direct3D(d3d9::configuredAdapters());
}

namespace d3d9
{

Direct3D::Direct3D(std::vector<d3d9test::AdapterConfig> adapters)
    : mAdapters(std::move(adapters)), mHeldModes(mAdapters.size(), D3DDISPLAYMODE{})
{
}

Direct3D::~Direct3D() = default;

bool Direct3D::validAdapter(UINT adapter, D3DDEVTYPE type) const
{
    return adapter < mAdapters.size() && type == D3DDEVTYPE_HAL && mAdapters[adapter].hal;
}

D3DDISPLAYMODE Direct3D::currentMode(UINT adapter) const
{
    return mHeldModes[adapter].Width != 0 ? mHeldModes[adapter] : mAdapters[adapter].desktop;
}

UINT Direct3D::GetAdapterCount()
{
    trace("GetAdapterCount");
    return UINT(mAdapters.size());
}

HRESULT Direct3D::GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* identifier)
{
    trace("GetAdapterIdentifier", adapter, Hex{flags});
    if (adapter >= mAdapters.size() || !identifier)
        return D3DERR_INVALIDCALL;
    const d3d9test::AdapterConfig& config = mAdapters[adapter];
    *identifier = D3DADAPTER_IDENTIFIER9{};
    copyText(identifier->Driver, sizeof(identifier->Driver), config.driver);
    copyText(identifier->Description, sizeof(identifier->Description), config.description);
    copyText(identifier->DeviceName, sizeof(identifier->DeviceName), config.deviceName);
    identifier->VendorId = config.vendorId;
    identifier->DeviceId = config.deviceId;
    identifier->WHQLLevel = (flags & D3DENUM_WHQL_LEVEL) ? 1 : 0;
    return D3D_OK;
}

UINT Direct3D::GetAdapterModeCount(UINT adapter, D3DFORMAT format)
{
    trace("GetAdapterModeCount", adapter, format);
    if (adapter >= mAdapters.size())
        return 0;
    const auto& modes = mAdapters[adapter].modes;
    return UINT(std::count_if(modes.begin(), modes.end(), [&](const D3DDISPLAYMODE& m) { return m.Format == format; }));
}

HRESULT Direct3D::EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out)
{
    trace("EnumAdapterModes", adapter, format, mode);
    if (adapter >= mAdapters.size() || !out)
        return D3DERR_INVALIDCALL;
    UINT seen = 0;
    for (const D3DDISPLAYMODE& candidate : mAdapters[adapter].modes)
        if (candidate.Format == format && seen++ == mode)
        {
            *out = candidate;
            return D3D_OK;
        }
    return D3DERR_INVALIDCALL;
}

HRESULT Direct3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* out)
{
    trace("GetAdapterDisplayMode", adapter);
    if (adapter >= mAdapters.size() || !out)
        return D3DERR_INVALIDCALL;
    *out = currentMode(adapter);
    return D3D_OK;
}

HRESULT Direct3D::checkType(UINT adapter, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat, BOOL windowed) const
{
    const d3d9test::AdapterConfig& config = mAdapters[adapter];
    if (!contains(config.displayFormats, adapterFormat))
        return D3DERR_NOTAVAILABLE;
    if (windowed && adapterFormat == D3DFMT_A2R10G10B10)
        return D3DERR_NOTAVAILABLE;
    if (backBufferFormat == D3DFMT_UNKNOWN)
        return windowed ? D3D_OK : D3DERR_INVALIDCALL;
    bool compatible = backBufferFormat == adapterFormat ||
                      (adapterFormat == D3DFMT_X8R8G8B8 && backBufferFormat == D3DFMT_A8R8G8B8) ||
                      (adapterFormat == D3DFMT_X1R5G5B5 && backBufferFormat == D3DFMT_A1R5G5B5);
    if (!compatible || !contains(config.renderTargetFormats, backBufferFormat))
        return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT Direct3D::checkFormat(UINT adapter, D3DFORMAT adapterFormat, DWORD usage, D3DRESOURCETYPE resourceType,
                              D3DFORMAT format) const
{
    const d3d9test::AdapterConfig& config = mAdapters[adapter];
    if (!contains(config.displayFormats, adapterFormat))
        return D3DERR_INVALIDCALL;
    if (resourceType == D3DRTYPE_VERTEXBUFFER)
        return format == D3DFMT_VERTEXDATA ? D3D_OK : D3DERR_NOTAVAILABLE;
    if (resourceType == D3DRTYPE_INDEXBUFFER)
        return format == D3DFMT_INDEX16 || format == D3DFMT_INDEX32 ? D3D_OK : D3DERR_NOTAVAILABLE;

    constexpr DWORD known = D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DYNAMIC | D3DUSAGE_AUTOGENMIPMAP |
                            D3DUSAGE_QUERY_LEGACYBUMPMAP | D3DUSAGE_QUERY_SRGBREAD | D3DUSAGE_QUERY_FILTER |
                            D3DUSAGE_QUERY_SRGBWRITE | D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING |
                            D3DUSAGE_QUERY_VERTEXTEXTURE | D3DUSAGE_QUERY_WRAPANDMIP;
    if (usage & ~known)
        return D3DERR_NOTAVAILABLE;

    bool ok = false;
    if (usage & D3DUSAGE_DEPTHSTENCIL)
        ok = contains(config.depthStencilFormats, format) &&
             (resourceType == D3DRTYPE_SURFACE || resourceType == D3DRTYPE_TEXTURE);
    else if (usage & D3DUSAGE_RENDERTARGET)
        ok = contains(config.renderTargetFormats, format) &&
             (resourceType == D3DRTYPE_SURFACE || resourceType == D3DRTYPE_TEXTURE ||
              (resourceType == D3DRTYPE_CUBETEXTURE && contains(config.cubeTextureFormats, format)));
    else if (resourceType == D3DRTYPE_TEXTURE)
        ok = contains(config.textureFormats, format);
    else if (resourceType == D3DRTYPE_CUBETEXTURE)
        ok = contains(config.cubeTextureFormats, format) && (config.caps.TextureCaps & D3DPTEXTURECAPS_CUBEMAP);
    else if (resourceType == D3DRTYPE_SURFACE)
        ok = contains(config.textureFormats, format) || contains(config.renderTargetFormats, format);

    const FormatInfo* info = findFormat(format);
    if (ok && (usage & D3DUSAGE_AUTOGENMIPMAP))
        ok = (config.caps.Caps2 & D3DCAPS2_CANAUTOGENMIPMAP) && contains(config.autoGenMipmapFormats, format) &&
             resourceType != D3DRTYPE_SURFACE;
    if (ok && (usage & D3DUSAGE_DYNAMIC))
        ok = (config.caps.Caps2 & D3DCAPS2_DYNAMICTEXTURES) != 0;
    if (ok && (usage & (D3DUSAGE_QUERY_SRGBREAD | D3DUSAGE_QUERY_SRGBWRITE | D3DUSAGE_QUERY_VERTEXTEXTURE)))
        ok = false;
    if (ok && (usage & D3DUSAGE_QUERY_FILTER))
        ok = info && !info->depth;
    if (ok && (usage & D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING))
        ok = contains(config.renderTargetFormats, format);
    if (ok && (usage & D3DUSAGE_QUERY_LEGACYBUMPMAP))
        ok = isBumpFormat(format);
    return ok ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D::checkDepthMatch(UINT adapter, D3DFORMAT adapterFormat, D3DFORMAT renderTargetFormat,
                                  D3DFORMAT depthStencilFormat) const
{
    const d3d9test::AdapterConfig& config = mAdapters[adapter];
    if (!contains(config.displayFormats, adapterFormat))
        return D3DERR_INVALIDCALL;
    if (!contains(config.renderTargetFormats, renderTargetFormat) ||
        !contains(config.depthStencilFormats, depthStencilFormat))
        return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT Direct3D::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat,
                                  BOOL windowed)
{
    trace("CheckDeviceType", adapter, type, adapterFormat, backBufferFormat, windowed);
    if (adapter >= mAdapters.size())
        return D3DERR_INVALIDCALL;
    if (!validAdapter(adapter, type))
        return D3DERR_NOTAVAILABLE;
    return checkType(adapter, adapterFormat, backBufferFormat, windowed);
}

HRESULT Direct3D::CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                    D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat)
{
    trace("CheckDeviceFormat", adapter, type, adapterFormat, Hex{usage}, resourceType, checkFormat);
    if (adapter >= mAdapters.size())
        return D3DERR_INVALIDCALL;
    if (!validAdapter(adapter, type))
        return D3DERR_NOTAVAILABLE;
    return this->checkFormat(adapter, adapterFormat, usage, resourceType, checkFormat);
}

HRESULT Direct3D::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat, BOOL windowed,
                                             D3DMULTISAMPLE_TYPE multiSample, DWORD* qualityLevels)
{
    trace("CheckDeviceMultiSampleType", adapter, type, surfaceFormat, windowed, multiSample);
    if (adapter >= mAdapters.size())
        return D3DERR_INVALIDCALL;
    if (!validAdapter(adapter, type) || multiSample != D3DMULTISAMPLE_NONE)
        return D3DERR_NOTAVAILABLE;
    if (qualityLevels)
        *qualityLevels = 1;
    return D3D_OK;
}

HRESULT Direct3D::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                         D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat)
{
    trace("CheckDepthStencilMatch", adapter, type, adapterFormat, renderTargetFormat, depthStencilFormat);
    if (adapter >= mAdapters.size())
        return D3DERR_INVALIDCALL;
    if (!validAdapter(adapter, type))
        return D3DERR_NOTAVAILABLE;
    return checkDepthMatch(adapter, adapterFormat, renderTargetFormat, depthStencilFormat);
}

HRESULT Direct3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps)
{
    trace("GetDeviceCaps", adapter, type);
    if (adapter >= mAdapters.size() || !caps)
        return D3DERR_INVALIDCALL;
    if (!validAdapter(adapter, type))
        return D3DERR_NOTAVAILABLE;
    *caps = mAdapters[adapter].caps;
    caps->DeviceType = type;
    caps->AdapterOrdinal = adapter;
    caps->MasterAdapterOrdinal = adapter;
    return D3D_OK;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                               D3DPRESENT_PARAMETERS* presentParameters, IDirect3DDevice9** device)
{
    trace("CreateDevice", adapter, type, static_cast<const void*>(focusWindow), Hex{behaviorFlags});
    if (!device || !presentParameters)
        return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (adapter >= mAdapters.size())
        return D3DERR_INVALIDCALL;
    if (!validAdapter(adapter, type))
        return D3DERR_NOTAVAILABLE;
    HRESULT result;
    if (takeFault(d3d9test::Fault::CreateDevice, &result))
        return result;

    const D3DCAPS9& caps = mAdapters[adapter].caps;
    DWORD processing = behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                        D3DCREATE_MIXED_VERTEXPROCESSING);
    bool hardware = processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        processing != D3DCREATE_MIXED_VERTEXPROCESSING)
        return D3DERR_INVALIDCALL;
    if (hardware && !(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT))
        return D3DERR_INVALIDCALL;
    if ((behaviorFlags & D3DCREATE_PUREDEVICE) &&
        (processing != D3DCREATE_HARDWARE_VERTEXPROCESSING || !(caps.DevCaps & D3DDEVCAPS_PUREDEVICE)))
        return D3DERR_INVALIDCALL;

    auto* created = new Device(this, adapter, type, focusWindow, behaviorFlags);
    result = created->start(presentParameters);
    if (FAILED(result))
    {
        created->release();
        return result;
    }
    *device = created;
    return D3D_OK;
}

} // namespace d3d9
