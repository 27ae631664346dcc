// 2D drawing of the Direct3D 9 driver: vertex room in the own buffer or the rotating buffers,
// the sub-raster offset, the 2D states, and the four entries of the device record.
#include "d3d9im2d.h"

#include "camera.h"
#include "d3d9driver_local.h"
#include "d3d9renderstate.h"
#include "d3d9vertexbuffer.h"
#include "device.h"
#include "raster.h"

#include <cstring>

namespace
{

constexpr UINT kStride = sizeof(Im2DVertex);
constexpr DWORD kUsage = D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC | D3DUSAGE_DONOTCLIP;
constexpr DWORD kAppendLock = D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK;
constexpr DWORD kDiscardLock = D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK;
constexpr UINT kOwnBufferMemory = 0x800000;

constexpr D3DVERTEXELEMENT9 kElements[] = {
    {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
    {0, 16, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
    {0, 20, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END(),
};

struct State
{
    IDirect3DVertexDeclaration9* declaration;
    IDirect3DIndexBuffer9* indices;
    int32_t nextIndex;
    bool ownBuffer;
    IDirect3DVertexBuffer9* own;
    IDirect3DVertexBuffer9* inUse; ///< the buffer the last vertices went to
    UINT position;                 ///< the vertex they start at
};

State s2D;

IDirect3DDevice9* Device()
{
    return D3D9State().device;
}

D3DPRIMITIVETYPE DeviceType(int32_t type)
{
    static constexpr D3DPRIMITIVETYPE kTypes[] = {D3DPT_LINELIST, D3DPT_LINESTRIP, D3DPT_TRIANGLELIST,
                                                  D3DPT_TRIANGLESTRIP, D3DPT_TRIANGLEFAN};
    return kTypes[type - kIm2DLineList];
}

bool ValidType(int32_t type)
{
    return type >= kIm2DLineList && type <= kIm2DTriFan;
}

int32_t PrimitiveCount(int32_t type, int32_t n)
{
    switch (type)
    {
    case kIm2DLineList:
        return n / 2;
    case kIm2DPolyLine:
        return n - 1;
    case kIm2DTriList:
        return n / 3;
    case kIm2DTriStrip:
    case kIm2DTriFan:
        return n - 2;
    default:
        return 0;
    }
}

// Where the vertices land: the current camera's frame buffer, or for the primitive entry the
// current raster context when no camera is being rendered.
const Raster* Target(bool contextAllowed)
{
    const Camera* camera = D3D9State().currentCamera;
    if (camera)
        return camera->frameBuffer;
    return contextAllowed ? Raster::GetCurrentContext() : nullptr;
}

// Room for count vertices; null when none could be had.
Im2DVertex* Reserve(int32_t count)
{
    UINT bytes = UINT(count) * kStride;
    void* data = nullptr;
    if (s2D.ownBuffer)
    {
        DWORD flags = kAppendLock;
        if (s2D.position + UINT(count) > UINT(D3D9Im2D::kOwnBufferVertices))
        {
            s2D.position = 0;
            flags = kDiscardLock;
        }
        if (FAILED(s2D.own->Lock(s2D.position * kStride, bytes, &data, flags)))
            return nullptr;
        s2D.inUse = s2D.own;
        return static_cast<Im2DVertex*>(data);
    }
    IDirect3DVertexBuffer9* buffer = nullptr;
    UINT base = 0;
    if (!D3D9DynamicVertexBuffer::Lock(kStride, UINT(count), &buffer, &data, &base))
        return nullptr;
    s2D.inUse = buffer;
    s2D.position = base;
    return static_cast<Im2DVertex*>(data);
}

void Unlock()
{
    s2D.inUse->Unlock();
}

void Copy(Im2DVertex* out, const Im2DVertex& in, const Raster* target)
{
    *out = in;
    if (target)
    {
        out->x += float(target->offsetX);
        out->y += float(target->offsetY);
    }
}

void SetStates()
{
    D3D9Device::SetVertexDeclaration(s2D.declaration);
    D3D9Device::SetVertexShader(nullptr);
    D3D9Device::SetPixelShader(nullptr);
    D3D9RenderState::SetRenderState(D3DRS_CLIPPING, FALSE);
    D3D9RenderState::SetRenderState(D3DRS_LIGHTING, FALSE);
    D3D9RenderState::SetVertexColourStage();
    D3D9Device::SetStreamSource(0, s2D.inUse, 0, kStride);
    D3D9RenderState::Flush();
}

int32_t DrawList(D3DPRIMITIVETYPE type, int32_t numVertices, int32_t primitives)
{
    Unlock();
    SetStates();
    HRESULT result = Device()->DrawPrimitive(type, s2D.position, UINT(primitives));
    s2D.position += UINT(numVertices);
    return SUCCEEDED(result) ? 1 : 0;
}

// The named vertices as a plain list; every index below numVertices.
int32_t DrawPicked(D3DPRIMITIVETYPE type, const Im2DVertex* vertices, const int32_t* picks, int32_t count,
                   int32_t primitives, const Raster* target)
{
    Im2DVertex* out = Reserve(count);
    if (!out)
        return 0;
    for (int32_t i = 0; i < count; ++i)
        Copy(&out[i], vertices[picks[i]], target);
    return DrawList(type, count, primitives);
}

bool Ready()
{
    return Device() && s2D.declaration;
}

} // namespace

// ---- Entries ----------------------------------------------------------------------------------------------

int32_t D3D9Im2D::Line(void* vertices, int32_t numVertices, int32_t first, int32_t second)
{
    const Raster* target = Target(false);
    if (!Ready() || !target || !vertices || first < 0 || second < 0 || first >= numVertices ||
        second >= numVertices)
        return 0;
    const int32_t picks[] = {first, second};
    return DrawPicked(D3DPT_LINELIST, static_cast<const Im2DVertex*>(vertices), picks, 2, 1, target);
}

int32_t D3D9Im2D::Triangle(void* vertices, int32_t numVertices, int32_t first, int32_t second, int32_t third)
{
    const Raster* target = Target(false);
    const int32_t picks[] = {first, second, third};
    if (!Ready() || !target || !vertices)
        return 0;
    for (int32_t pick : picks)
        if (pick < 0 || pick >= numVertices)
            return 0;
    return DrawPicked(D3DPT_TRIANGLELIST, static_cast<const Im2DVertex*>(vertices), picks, 3, 1, target);
}

int32_t D3D9Im2D::Primitive(int32_t type, void* vertices, int32_t numVertices)
{
    const Raster* target = Target(true);
    if (!Ready() || !vertices || !ValidType(type))
        return 0;
    int32_t primitives = PrimitiveCount(type, numVertices);
    if (primitives <= 0)
        return 0;
    Im2DVertex* out = Reserve(numVertices);
    if (!out)
        return 0;
    const auto* in = static_cast<const Im2DVertex*>(vertices);
    for (int32_t i = 0; i < numVertices; ++i)
        Copy(&out[i], in[i], target);
    return DrawList(DeviceType(type), numVertices, primitives);
}

int32_t D3D9Im2D::IndexedPrimitive(int32_t type, void* vertices, int32_t numVertices, const uint16_t* indices,
                                   int32_t numIndices)
{
    const Raster* target = Target(false);
    if (!Ready() || !target || !vertices || !indices || !ValidType(type) || numVertices <= 0)
        return 0;
    int32_t primitives = PrimitiveCount(type, numIndices);
    if (primitives <= 0)
        return 0;
    // An index past the caller's vertices would read beyond its array.
    for (int32_t i = 0; i < numIndices; ++i)
        if (indices[i] >= numVertices)
            return 0;
    const auto* in = static_cast<const Im2DVertex*>(vertices);
    if (numVertices >= numIndices)
    {
        Im2DVertex* out = Reserve(numIndices);
        if (!out)
            return 0;
        for (int32_t i = 0; i < numIndices; ++i)
            Copy(&out[i], in[indices[i]], target);
        return DrawList(DeviceType(type), numIndices, primitives);
    }
    if (!s2D.indices || numIndices > kMaxIndices)
        return 0;
    Im2DVertex* out = Reserve(numVertices);
    if (!out)
        return 0;
    for (int32_t i = 0; i < numVertices; ++i)
        Copy(&out[i], in[i], target);
    Unlock();
    void* data = nullptr;
    DWORD flags = kAppendLock;
    if (s2D.nextIndex + numIndices > kMaxIndices)
    {
        s2D.nextIndex = 0;
        flags = kDiscardLock;
    }
    UINT base = s2D.position;
    s2D.position += UINT(numVertices);
    if (FAILED(s2D.indices->Lock(UINT(s2D.nextIndex) * 2, UINT(numIndices) * 2, &data, flags)))
        return 0;
    std::memcpy(data, indices, size_t(numIndices) * 2);
    s2D.indices->Unlock();
    SetStates();
    D3D9Device::SetIndices(s2D.indices);
    HRESULT result = Device()->DrawIndexedPrimitive(DeviceType(type), INT(base), 0, UINT(numVertices),
                                                    UINT(s2D.nextIndex), UINT(primitives));
    s2D.nextIndex += numIndices;
    return SUCCEEDED(result) ? 1 : 0;
}

// ---- Lifetime ----------------------------------------------------------------------------------------------------

int32_t D3D9Im2D::Open()
{
    IDirect3DDevice9* device = Device();
    s2D = State{};
    if (!device)
        return 0;
    bool hardware = D3D9State().caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    if (!hardware && device->GetAvailableTextureMem() > kOwnBufferMemory &&
        SUCCEEDED(device->CreateVertexBuffer(kOwnBufferBytes, kUsage, 0, D3DPOOL_DEFAULT, &s2D.own, nullptr)) &&
        s2D.own)
    {
        s2D.ownBuffer = true;
        s2D.position = 0;
    }
    if (FAILED(device->CreateIndexBuffer(kMaxIndices * 2, kUsage, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &s2D.indices,
                                         nullptr)) ||
        !s2D.indices || !D3D9Device::CreateVertexDeclaration(kElements, &s2D.declaration))
    {
        Close();
        return 0;
    }
    s2D.nextIndex = 0;
    return 1;
}

void D3D9Im2D::Close()
{
    if (s2D.declaration)
        D3D9Device::DestroyVertexDeclaration(s2D.declaration);
    if (s2D.ownBuffer && s2D.own)
        s2D.own->Release();
    if (s2D.indices)
        s2D.indices->Release();
    s2D = State{};
}

bool D3D9Im2D::HasOwnBuffer()
{
    return s2D.ownBuffer;
}
