// Vertex declarations and shader objects of our Direct3D 9 layer: validation and storage of element lists and
// token streams, which drawing translates into OpenGL state and GLSL.
#include "d3d9pipeline_local.h"
#include "d3d9shadertranslate_local.h"

#include <cstring>

namespace d3d9
{

// ---- Vertex declarations ------------------------------------------------------------------------------------------

namespace
{

bool isEndMarker(const D3DVERTEXELEMENT9& element)
{
    return element.Stream == 0xFF && element.Type == D3DDECLTYPE_UNUSED;
}

} // namespace

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** declaration)
{
    trace("CreateVertexDeclaration", static_cast<const void*>(elements));
    if (!elements || !declaration)
        return D3DERR_INVALIDCALL;
    *declaration = nullptr;
    HRESULT result;
    if (takeFault(d3d9test::Fault::CreateResource, &result))
        return result;

    std::vector<D3DVERTEXELEMENT9> copy;
    for (UINT i = 0;; ++i)
    {
        if (i >= MAXD3DDECLLENGTH)
            return D3DERR_INVALIDCALL;
        const D3DVERTEXELEMENT9& element = elements[i];
        copy.push_back(element);
        if (isEndMarker(element))
            break;
        if (element.Stream >= kMaxStreams || element.Type >= D3DDECLTYPE_UNUSED ||
            element.Method > D3DDECLMETHOD_LOOKUPPRESAMPLED || element.Usage > D3DDECLUSAGE_SAMPLE ||
            element.Offset % 4 != 0)
            return D3DERR_INVALIDCALL;
        for (UINT j = 0; j < i; ++j)
            if (elements[j].Usage == element.Usage && elements[j].UsageIndex == element.UsageIndex)
                return D3DERR_INVALIDCALL;
    }
    auto* created = new VertexDeclaration;
    created->mDevice = this;
    created->mElements = std::move(copy);
    auto layout = std::make_unique<VertexLayout>();
    if (buildLayout(created->mElements.data(), *layout))
        created->mLayout = std::move(layout);
    track(created);
    *declaration = created;
    return D3D_OK;
}

VertexDeclaration::~VertexDeclaration()
{
    if (mDevice)
        mDevice->untrack(this);
}

HRESULT VertexDeclaration::GetDevice(IDirect3DDevice9** device)
{
    trace("VertexDeclaration::GetDevice", static_cast<IDirect3DVertexDeclaration9*>(this));
    if (!device || !mDevice)
        return D3DERR_INVALIDCALL;
    mDevice->addRef();
    *device = mDevice;
    return D3D_OK;
}

HRESULT VertexDeclaration::GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count)
{
    trace("VertexDeclaration::GetDeclaration", static_cast<IDirect3DVertexDeclaration9*>(this));
    if (!count)
        return D3DERR_INVALIDCALL;
    if (elements)
        std::memcpy(elements, mElements.data(), mElements.size() * sizeof(D3DVERTEXELEMENT9));
    *count = UINT(mElements.size());
    return D3D_OK;
}

// ---- Shaders ------------------------------------------------------------------------------------------------------

bool copyShaderTokens(const DWORD* function, bool pixel, std::vector<DWORD>& out)
{
    if (!function)
        return false;
    DWORD version = function[0];
    DWORD kind = pixel ? 0xFFFF0000u : 0xFFFE0000u;
    DWORD major = D3DSHADER_VERSION_MAJOR(version);
    if ((version & 0xFFFF0000u) != kind || major < 1 || major > 3)
        return false;
    // The walk stops at the end token and refuses any token that crosses it, so nothing past the caller's
    // stream is read.
    size_t count = D3D9ShaderTokenCount(function);
    if (count == 0)
        return false;
    out.assign(function, function + count);
    return true;
}

template <class Interface> Shader<Interface>::~Shader()
{
    if (mDevice)
        mDevice->untrack(this);
}

template <class Interface> HRESULT Shader<Interface>::GetDevice(IDirect3DDevice9** device)
{
    trace("Shader::GetDevice", static_cast<Interface*>(this));
    if (!device || !mDevice)
        return D3DERR_INVALIDCALL;
    mDevice->addRef();
    *device = mDevice;
    return D3D_OK;
}

template <class Interface> HRESULT Shader<Interface>::GetFunction(void* data, UINT* sizeInBytes)
{
    trace("Shader::GetFunction", static_cast<Interface*>(this));
    if (!sizeInBytes)
        return D3DERR_INVALIDCALL;
    UINT bytes = UINT(mTokens.size() * sizeof(DWORD));
    if (data)
    {
        if (*sizeInBytes < bytes)
            return D3DERR_INVALIDCALL;
        std::memcpy(data, mTokens.data(), bytes);
    }
    *sizeInBytes = bytes;
    return D3D_OK;
}

template class Shader<IDirect3DVertexShader9>;
template class Shader<IDirect3DPixelShader9>;

namespace
{

template <class Concrete, class Interface>
HRESULT createShader(Device& device, const DWORD* function, bool pixel, Interface** shader)
{
    if (!shader)
        return D3DERR_INVALIDCALL;
    *shader = nullptr;
    HRESULT result;
    if (takeFault(d3d9test::Fault::CreateResource, &result))
        return result;
    std::vector<DWORD> tokens;
    if (!copyShaderTokens(function, pixel, tokens))
        return D3DERR_INVALIDCALL;
    DWORD supported = pixel ? device.mCaps.PixelShaderVersion : device.mCaps.VertexShaderVersion;
    if ((tokens[0] & 0xFFFF) > (supported & 0xFFFF))
        return D3DERR_INVALIDCALL;
    // A stream that cannot be translated is refused now, never at a draw.
    DecodedShader decoded;
    std::string reason;
    if (!decodeShader(tokens.data(), tokens.size(), pixel, decoded, reason))
    {
        trace("CreateShader refused", reason.c_str());
        return D3DERR_INVALIDCALL;
    }
    static uint64_t serials = 0; // main thread only, as the whole layer
    auto* created = new Concrete;
    created->mDevice = &device;
    created->mSerial = ++serials;
    created->mTokens = std::move(tokens);
    device.track(created);
    *shader = created;
    return D3D_OK;
}

} // namespace

HRESULT Device::CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader)
{
    trace("CreateVertexShader", Hex{function ? function[0] : 0});
    return createShader<VertexShader>(*this, function, false, shader);
}

HRESULT Device::CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader)
{
    trace("CreatePixelShader", Hex{function ? function[0] : 0});
    return createShader<PixelShader>(*this, function, true, shader);
}

} // namespace d3d9
