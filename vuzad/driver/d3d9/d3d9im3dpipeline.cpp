// Immediate-mode instance and submit nodes on Direct3D 9: the batch's vertex format and
// states, the small path, the shared index buffer with its running offset, and drawing
// straight from the caller's memory when the buffers fail.
#include "d3d9im3dpipeline.h"

#include "d3d9driver_local.h"
#include "d3d9renderstate.h"
#include "d3d9vertexbuffer.h"
#include "im3d.h"
#include "pipeline.h"

#include <cstring>
#include <initializer_list>

namespace
{

// ---- Resources -------------------------------------------------------------------------------------

constexpr UINT kIndexBufferBytes = SubmitNoLightNode::kIndexBufferIndices * sizeof(uint16_t);
constexpr UINT kIndexLimit = 65536; ///< an offset plus count reaching this starts the buffer again
/// The small path copies the named vertices when there are at most this many indices.
constexpr int32_t kSmallIndexCount = 8;

constexpr D3DVERTEXELEMENT9 kElementsA[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    {0, 24, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
    {0, 28, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END(),
};
constexpr D3DVERTEXELEMENT9 kElementsB[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
    {0, 16, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END(),
};
constexpr D3DVERTEXELEMENT9 kElementsC[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
    D3DDECL_END(),
};

struct TexturedVertex
{
    float x, y, z;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(TexturedVertex) == 24, "declaration B");

struct PlainVertex
{
    float x, y, z;
    uint32_t colour;
};
static_assert(sizeof(PlainVertex) == 16, "declaration C");

struct Resources
{
    IDirect3DIndexBuffer9* indices;
    UINT indexOffset;
    IDirect3DVertexDeclaration9* full;     ///< A: the batch's own 36-byte vertices
    IDirect3DVertexDeclaration9* textured; ///< B
    IDirect3DVertexDeclaration9* plain;    ///< C
};

Resources sResources = {};
const Im3dBatch* sCurrentBatch = nullptr;

IDirect3DDevice9* Device()
{
    return D3D9State().device;
}

D3DPRIMITIVETYPE DeviceType(int32_t type)
{
    static constexpr D3DPRIMITIVETYPE kTypes[] = {D3DPT_LINELIST, D3DPT_LINESTRIP, D3DPT_TRIANGLELIST,
                                                  D3DPT_TRIANGLESTRIP, D3DPT_TRIANGLEFAN};
    return kTypes[type - kIm3dLineList];
}

int32_t PrimitiveCount(int32_t type, int32_t n)
{
    switch (type)
    {
    case kIm3dLineList:
        return n / 2;
    case kIm3dPolyLine:
        return n - 1;
    case kIm3dTriList:
        return n / 3;
    default:
        return n - 2;
    }
}

// ---- The batch ----------------------------------------------------------------------------------------

void CopyVertex(uint8_t* out, const Im3dVertex& in, bool textured)
{
    if (textured)
    {
        const TexturedVertex v = {in.x, in.y, in.z, in.colour, in.u, in.v};
        std::memcpy(out, &v, sizeof v);
    }
    else
    {
        const PlainVertex v = {in.x, in.y, in.z, in.colour};
        std::memcpy(out, &v, sizeof v);
    }
}

void SetStates(const Im3dBatch& batch, IDirect3DVertexDeclaration9* declaration)
{
    D3D9RenderState::SetVertexAlphaEnable(!(batch.flags & kIm3dNoAlphaBlend));
    D3D9Device::SetWorldTransform(batch.matrix);
    D3D9RenderState::SetRenderState(D3DRS_LIGHTING, FALSE);
    D3D9RenderState::SetRenderState(D3DRS_NORMALIZENORMALS, FALSE);
    D3D9RenderState::SetRenderState(D3DRS_CLIPPING, (batch.flags & kIm3dNoClip) ? FALSE : TRUE);
    if (D3D9RenderState::GetStageRaster(0))
    {
        D3D9RenderState::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        D3D9RenderState::SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        D3D9RenderState::SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    }
    else
    {
        D3D9RenderState::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        D3D9RenderState::SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
        D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    }
    if (declaration)
        D3D9Device::SetVertexDeclaration(declaration);
    D3D9Device::SetVertexShader(nullptr);
    D3D9Device::SetPixelShader(nullptr);
}

/// Room in the rotating buffers for count vertices of the stride, with the vertices copied in
/// (the named ones in index order when picks is given). False when the lock fails.
bool FillVertices(const Im3dBatch& batch, const uint16_t* picks, UINT count, UINT stride, bool textured,
                  IDirect3DVertexBuffer9** buffer, UINT* base)
{
    void* data = nullptr;
    if (!D3D9DynamicVertexBuffer::Lock(stride, count, buffer, &data, base))
        return false;
    auto* out = static_cast<uint8_t*>(data);
    for (UINT i = 0; i < count; ++i)
        CopyVertex(out + size_t(i) * stride, batch.vertices[picks ? picks[i] : i], textured);
    return D3D9DynamicVertexBuffer::Unlock(*buffer) != 0;
}

/// The indices at the running offset, or at 0 after a discard when they would reach the end.
bool FillIndices(const uint16_t* indices, UINT count, UINT* start)
{
    UINT offset = sResources.indexOffset;
    DWORD flags = D3DLOCK_NOOVERWRITE;
    if (offset + count >= kIndexLimit)
    {
        offset = 0;
        flags = D3DLOCK_DISCARD;
    }
    void* data = nullptr;
    if (FAILED(sResources.indices->Lock(offset * sizeof(uint16_t), count * sizeof(uint16_t), &data, flags)))
        return false;
    std::memcpy(data, indices, count * sizeof(uint16_t));
    if (FAILED(sResources.indices->Unlock()))
        return false;
    *start = offset;
    return true;
}

bool DrawIndexed(const Im3dBatch& batch, const Im3dRenderRequest& request, UINT stride, bool textured)
{
    D3DPRIMITIVETYPE type = DeviceType(request.primitiveType);
    UINT count = UINT(request.numIndices);
    UINT primitives = UINT(PrimitiveCount(request.primitiveType, request.numIndices));
    IDirect3DVertexBuffer9* buffer = nullptr;
    UINT base = 0;
    if (request.numIndices <= int32_t(batch.numVertices) && request.numIndices <= kSmallIndexCount)
    {
        if (!FillVertices(batch, request.indices, count, stride, textured, &buffer, &base))
            return false;
        D3D9Device::SetStreamSource(0, buffer, 0, stride);
        D3D9RenderState::Flush();
        return SUCCEEDED(Device()->DrawPrimitive(type, base, primitives));
    }
    if (!sResources.indices || count > SubmitNoLightNode::kIndexBufferIndices)
        return false;
    UINT start = 0;
    if (!FillVertices(batch, nullptr, batch.numVertices, stride, textured, &buffer, &base) ||
        !FillIndices(request.indices, count, &start))
        return false;
    D3D9Device::SetIndices(sResources.indices);
    D3D9Device::SetStreamSource(0, buffer, 0, stride);
    D3D9RenderState::Flush();
    HRESULT result = Device()->DrawIndexedPrimitive(type, INT(base), 0, batch.numVertices, start, primitives);
    sResources.indexOffset = start + count;
    return SUCCEEDED(result);
}

/// The batch's own 36-byte vertices (and indices) straight from memory.
bool DrawFromMemory(const Im3dBatch& batch, const Im3dRenderRequest& request)
{
    if (!sResources.full)
        return false;
    D3D9Device::SetVertexDeclaration(sResources.full);
    D3D9Device::SetStreamSource(0, nullptr, 0, 0);
    D3D9Device::SetIndices(nullptr);
    D3D9RenderState::Flush();
    D3DPRIMITIVETYPE type = DeviceType(request.primitiveType);
    if (request.indices)
        return SUCCEEDED(Device()->DrawIndexedPrimitiveUP(
            type, 0, batch.numVertices, UINT(PrimitiveCount(request.primitiveType, request.numIndices)),
            request.indices, D3DFMT_INDEX16, batch.vertices, sizeof(Im3dVertex)));
    return SUCCEEDED(Device()->DrawPrimitiveUP(type, UINT(PrimitiveCount(request.primitiveType, request.numIndices)),
                                               batch.vertices, sizeof(Im3dVertex)));
}

// ---- Node bodies ------------------------------------------------------------------------------------

int32_t InstanceBody(PipelineNode*, const NodeExecutionParameters* parameters)
{
    sCurrentBatch = static_cast<const Im3dBatch*>(parameters->data);
    return 1;
}

int32_t SubmitBody(PipelineNode*, const NodeExecutionParameters* parameters)
{
    const Im3dBatch* batch = sCurrentBatch;
    const auto* request = static_cast<const Im3dRenderRequest*>(parameters->data);
    if (!batch || !request || !Device() || request->primitiveType < kIm3dLineList ||
        request->primitiveType > kIm3dTriFan)
        return 0;
    bool textured = (batch->flags & kIm3dTextured) != 0;
    IDirect3DVertexDeclaration9* declaration = textured ? sResources.textured : sResources.plain;
    UINT stride = textured ? UINT(sizeof(TexturedVertex)) : UINT(sizeof(PlainVertex));
    SetStates(*batch, declaration);
    if (batch->numVertices == 0 || !batch->vertices)
        return 1;

    bool indexed = request->indices && request->numIndices > 0;
    int32_t count = indexed ? request->numIndices : int32_t(batch->numVertices);
    // An index past the batch would read past the caller's vertices: nothing is drawn.
    for (int32_t i = 0; indexed && i < count; ++i)
        if (request->indices[i] >= batch->numVertices)
            return 0;
    if (PrimitiveCount(request->primitiveType, count) <= 0)
        return 1;

    bool drawn = false;
    if (declaration && indexed)
        drawn = DrawIndexed(*batch, *request, stride, textured);
    else if (declaration)
    {
        IDirect3DVertexBuffer9* buffer = nullptr;
        UINT base = 0;
        if (FillVertices(*batch, nullptr, batch->numVertices, stride, textured, &buffer, &base))
        {
            D3D9Device::SetStreamSource(0, buffer, 0, stride);
            D3D9RenderState::Flush();
            drawn = SUCCEEDED(Device()->DrawPrimitive(DeviceType(request->primitiveType), base,
                                                      UINT(PrimitiveCount(request->primitiveType, count))));
        }
    }
    Im3dRenderRequest plain = *request;
    if (!indexed)
        plain.indices = nullptr, plain.numIndices = count;
    return (drawn || DrawFromMemory(*batch, plain)) ? 1 : 0;
}

/// A definition with only a name and a body.
NodeDefinition BodyOnly(const char* name, NodeBody body)
{
    NodeDefinition definition = {};
    definition.name = name;
    definition.body = body;
    return definition;
}

NodeDefinition sInstanceDefinition = BodyOnly("Im3DInstance.node", InstanceBody);
NodeDefinition sSubmitDefinition = BodyOnly("D3D9SubmitNoLight.node", SubmitBody);

NodeDefinition* InstanceDefinition()
{
    return &sInstanceDefinition;
}

NodeDefinition* SubmitDefinition()
{
    return &sSubmitDefinition;
}

const Im3dDeviceNodes kDeviceNodes = {InstanceDefinition, SubmitDefinition, SubmitNoLightNode::CreateResources,
                                      SubmitNoLightNode::ReleaseResources};

} // namespace

// ---- The instance node ------------------------------------------------------------------------------

NodeDefinition* ImmInstanceNode::GetDefinition()
{
    return &sInstanceDefinition;
}

const Im3dBatch* ImmInstanceNode::GetCurrentBatch()
{
    return sCurrentBatch;
}

// ---- The submit node ----------------------------------------------------------------------------------

NodeDefinition* SubmitNoLightNode::GetDefinition()
{
    return &sSubmitDefinition;
}

int32_t SubmitNoLightNode::CreateResources()
{
    IDirect3DDevice9* device = Device();
    if (device && sResources.indices)
        return 1;
    bool hardware = (D3D9State().caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) != 0;
    if (!device ||
        FAILED(device->CreateIndexBuffer(kIndexBufferBytes, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, D3DFMT_INDEX16,
                                         hardware ? D3DPOOL_DEFAULT : D3DPOOL_SYSTEMMEM, &sResources.indices, nullptr)))
    {
        ReleaseResources();
        return 0;
    }
    sResources.indexOffset = 0;
    D3D9Device::CreateVertexDeclaration(kElementsA, &sResources.full);
    D3D9Device::CreateVertexDeclaration(kElementsB, &sResources.textured);
    D3D9Device::CreateVertexDeclaration(kElementsC, &sResources.plain);
    return 1;
}

int32_t SubmitNoLightNode::ReleaseResources()
{
    // A binding holds its own reference: the default-pool buffer would outlive its release and
    // block a Reset, and the shared declaration cache would keep a pointer the unbinding frees.
    D3D9BindingCache* bindings = D3D9Device::GetBindings();
    if (Device() && sResources.indices && bindings->indices == sResources.indices)
        D3D9Device::SetIndices(nullptr);
    for (IDirect3DVertexDeclaration9* declaration : {sResources.full, sResources.textured, sResources.plain})
        if (Device() && declaration && bindings->declaration == declaration)
            D3D9Device::SetVertexDeclaration(nullptr);
    int32_t result = 0;
    if (sResources.indices)
        result = int32_t(sResources.indices->Release());
    for (IDirect3DVertexDeclaration9* declaration : {sResources.full, sResources.textured, sResources.plain})
        if (declaration)
            result = int32_t(D3D9Device::DestroyVertexDeclaration(declaration));
    sResources = {};
    return result;
}

UINT SubmitNoLightNode::GetIndexOffset()
{
    return sResources.indexOffset;
}

void SubmitNoLightNode::SetIndexOffset(UINT offset)
{
    sResources.indexOffset = offset;
}

IDirect3DIndexBuffer9* SubmitNoLightNode::GetIndexBuffer()
{
    return sResources.indices;
}

const Im3dDeviceNodes* SubmitNoLightNode::DeviceNodes()
{
    return &kDeviceNodes;
}
