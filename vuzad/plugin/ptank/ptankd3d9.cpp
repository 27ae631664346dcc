// The particle tank on Direct3D 9: capabilities and the shared index buffer, the create
// hook, the begin and end callbacks that lock the dynamic vertex buffer, the point-sprite
// property callbacks and the render hook.
#include "ptankd3d9.h"

#include "atomicnode.h"
#include "camera.h"
#include "clump.h"
#include "d3d9device.h"
#include "d3d9renderstate.h"
#include "d3d9vertexbuffer.h"
#include "device.h"
#include "engine.h"
#include "frame.h"
#include "geometry.h"
#include "material.h"
#include "ptank.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace
{
constexpr uint32_t kPointSpriteMask = 0xCEF7FFEC;

struct State
{
    float maxPointSize = 1.0f;
    bool perVertexPointSize = false;
    IDirect3DIndexBuffer9* indices = nullptr;
    int32_t indexCapacity = 0;
    bool pointSprites = false;
    IDirect3DVertexBuffer9* buffer = nullptr;
    UINT baseVertex = 0;
    bool locked = false; ///< the last begin callback's lock succeeded
};
State sState;

constexpr PTankPlatform kPlatform = {nullptr, PTankD3D9::Create, PTank::Instance, PTankD3D9::Render};

DWORD FloatBits(float f)
{
    DWORD d;
    std::memcpy(&d, &f, sizeof(d));
    return d;
}

Material* FirstMaterial(const Atomic* atomic)
{
    const Geometry* g = atomic->geometry;
    return g && g->materials.count > 0 ? g->materials.materials[0] : nullptr;
}

// Grows the shared buffer to six indices per particle; a smaller tank keeps the larger one.
// The capacity asked for is kept when the buffer cannot be made, so the next attempt makes
// one large enough for every tank created so far.
void EnsureIndices(int32_t maxCount)
{
    int64_t wanted = 6 * int64_t(maxCount);
    if (sState.indexCapacity >= wanted)
    {
        if (sState.indices)
            return;
        wanted = sState.indexCapacity;
    }
    if (sState.indices)
        D3D9Device::ReleaseObject(sState.indices);
    sState.indices = nullptr;
    sState.indexCapacity = int32_t(wanted);
    if (wanted == 0 || wanted > INT32_MAX / 2)
        return;
    IDirect3DIndexBuffer9* buffer = nullptr;
    if (!D3D9Device::CreateIndexBuffer(UINT(wanted), &buffer) || !buffer)
        return;
    void* data = nullptr;
    if (FAILED(buffer->Lock(0, 0, &data, 0)) || !data)
    {
        D3D9Device::ReleaseObject(buffer);
        return;
    }
    auto* out = static_cast<uint16_t*>(data);
    for (int64_t i = 0; i < wanted / 6; ++i, out += 6)
    {
        // Indices wrap at 16 bits; every draw starts its particles at a new base vertex.
        const uint16_t b = uint16_t(4 * i);
        out[0] = b;
        out[1] = uint16_t(b + 1);
        out[2] = uint16_t(b + 2);
        out[3] = b;
        out[4] = uint16_t(b + 2);
        out[5] = uint16_t(b + 3);
    }
    buffer->Unlock();
    sState.indices = buffer;
}

void LockVertices(PTankInstanceDesc* desc, UINT stride, UINT count, int32_t colourAt, int32_t normalAt, int32_t texAt)
{
    void* data = nullptr;
    sState.locked =
        count > 0 && D3D9DynamicVertexBuffer::Lock(stride, count, &sState.buffer, &data, &sState.baseVertex) && data;
    if (!sState.locked)
    {
        sState.buffer = nullptr;
        return;
    }
    auto* v = static_cast<char*>(data);
    const int32_t s = int32_t(stride);
    if (desc->wantPositions)
        desc->positions = {v, s};
    if (desc->wantNormals && normalAt >= 0)
        desc->normals = {v + normalAt, s};
    if (desc->wantColours && colourAt >= 0)
        desc->colours = {v + colourAt, s};
    if (desc->wantTexCoords && texAt >= 0)
        desc->texCoords = {v + texAt, s};
}

template <bool kSize, bool kCentre> void Points(const PTankSlot* out, int32_t count, const PTankData* d)
{
    const PTankSlot& pos = d->slots[kPTankSlotPosition];
    const PTankSlot& size = d->slots[kPTankSlotSize];
    const int32_t sizeAt = (d->format.dataFlags & kPTankNormal) ? 24 : 12;
    char* v = static_cast<char*>(out->data);
    for (int32_t i = 0; i < count; ++i, v += out->stride)
    {
        float p[3];
        std::memcpy(p, static_cast<const char*>(pos.data) + std::ptrdiff_t(i) * pos.stride, sizeof(p));
        if constexpr (kCentre)
        {
            p[0] += d->centre.x;
            p[1] += d->centre.y;
        }
        std::memcpy(v, p, sizeof(p));
        if constexpr (kSize)
            std::memcpy(v + sizeAt, static_cast<const char*>(size.data) + std::ptrdiff_t(i) * size.stride, 4);
    }
}
} // namespace

// ---- Engine open and close ----------------------------------------------------------------------

void* PTankD3D9::Open(void* engine, int32_t offset, int32_t)
{
    static_cast<PTankEngineBlock*>(Engine::Block(static_cast<Engine*>(engine), offset))->openCount++;
    if (const D3DCAPS9* caps = D3D9Device::GetCaps())
    {
        sState.maxPointSize = caps->MaxPointSize;
        sState.perVertexPointSize = (caps->FVFCaps & 0x100000) != 0;
    }
    return engine;
}

void* PTankD3D9::Close(void* engine, int32_t offset, int32_t)
{
    auto* block = static_cast<PTankEngineBlock*>(Engine::Block(static_cast<Engine*>(engine), offset));
    if (block->openCount > 0)
        block->openCount--;
    if (sState.indices)
        D3D9Device::ReleaseObject(sState.indices);
    sState.indices = nullptr;
    sState.indexCapacity = 0;
    sState.buffer = nullptr;
    sState.locked = false;
    return engine;
}

// ---- Platform hooks -----------------------------------------------------------------------------

const PTankPlatform* PTankD3D9::Platform()
{
    return &kPlatform;
}

int32_t PTankD3D9::Create(Atomic* atomic, PTankData* data, int32_t maxCount, uint32_t dataFlags, int32_t platformFlags)
{
    uint32_t flags = (dataFlags & kPTankNormal)
                         ? kGeometryPositions | kGeometryNormals | kGeometryLight | kGeometryModulateMaterialColor
                         : kGeometryPositions;
    if (dataFlags & (kPTankColour | kPTankVertexColours | kPTankConstantVertexColours))
        flags |= kGeometryPrelit;
    const uint32_t refused = sState.perVertexPointSize ? kPointSpriteMask & ~kPTankSize : kPointSpriteMask;
    const bool points = (platformFlags & 1) && sState.maxPointSize > 1.0f && !(dataFlags & refused);
    if (!points)
        flags |= kGeometryTextured;

    Geometry* g = Geometry::CreateEmptyWithRadius(1.0f);
    if (!g)
        return 0;
    g->flags = flags;
    Material* material = Material::Create();
    if (!material)
    {
        Geometry::Destroy(g);
        return 0;
    }
    material->surface = {0.3f, 1.0f, 1.0f};
    Triangle scratch{};
    const bool listed = Geometry::SetTriangleMaterial(g, &scratch, material) != nullptr;
    Material::Destroy(material);
    if (!listed)
    {
        Geometry::Destroy(g);
        return 0;
    }
    Atomic::SetGeometry(atomic, g, 0);
    Geometry::Destroy(g);

    if (!points)
        EnsureIndices(maxCount);
    data->colour = {0, 0, 0, 255};

    PTank::SetCallbacks(atomic);
    PTankCallbacks& c = PTank::Get(atomic)->callbacks;
    c.end = End;
    if (!points)
    {
        c.begin = BeginQuads;
        return 1;
    }
    c.begin = BeginPointSprites;
    if (c.position == PTankCallback::QuadSize)
        c.position = PointSize;
    else if (c.position == PTankCallback::QuadSizeCentre)
        c.position = PointSizeCentre;
    else if (c.position == PTankCallback::QuadConstant)
        c.position = Point;
    else if (c.position == PTankCallback::QuadConstantCentre)
        c.position = PointCentre;
    if (c.normal == PTankCallback::Normal)
        c.normal = PointNormal;
    if (c.colour == PTankCallback::Colour)
        c.colour = PointColour;
    return 1;
}

// ---- Instancing callbacks -----------------------------------------------------------------------

void PTankD3D9::BeginQuads(PTankInstanceDesc* desc, Atomic* atomic, PTankData* data, int32_t count, uint32_t)
{
    Geometry* g = atomic->geometry;
    const Material* material = FirstMaterial(atomic);
    if (material && material->texture)
        g->flags |= kGeometryTextured;
    else
        g->flags &= ~kGeometryTextured;
    desc->wantPositions = 1;
    desc->wantNormals = (g->flags & kGeometryNormals) ? 1 : 0;
    desc->wantColours = (g->flags & kGeometryPrelit) ? 1 : 0;
    desc->wantTexCoords = (g->flags & kGeometryTextured) ? 1 : 0;
    const int32_t colourAt = desc->wantNormals ? 24 : 12;
    const int32_t texAt = colourAt + (desc->wantColours ? 4 : 0);
    const UINT stride = UINT(texAt + (desc->wantTexCoords ? 8 : 0));

    const uint32_t f = data->format.dataFlags;
    if (f & kPTankConstantMatrix)
    {
        desc->axisA = data->matrix.right;
        desc->axisB = data->matrix.up;
    }
    else
    {
        Vector a = {-1, 0, 0}, b = {0, 1, 0};
        const auto* camera = static_cast<Camera*>(Engine::Current()->currentCamera);
        if (camera && camera->object.frame)
        {
            const Matrix* m = Frame::GetWorldMatrix(camera->object.frame);
            a = {-m->right.x, -m->right.y, -m->right.z};
            b = m->up;
        }
        if (f & kPTankConstantRotation)
        {
            const float c = std::cos(data->rotation), s = std::sin(data->rotation);
            const Vector a2 = {c * a.x - s * b.x, c * a.y - s * b.y, c * a.z - s * b.z};
            const Vector b2 = {s * a.x + c * b.x, s * a.y + c * b.y, s * a.z + c * b.z};
            a = a2;
            b = b2;
        }
        desc->axisA = a;
        desc->axisB = b;
    }
    LockVertices(desc, stride, UINT(count) * 4, colourAt, 12, texAt);
    sState.pointSprites = false;
}

void PTankD3D9::BeginPointSprites(PTankInstanceDesc* desc, Atomic* atomic, PTankData* data, int32_t count, uint32_t)
{
    Geometry* g = atomic->geometry;
    g->flags &= ~kGeometryTextured;
    desc->wantPositions = 1;
    desc->wantNormals = (g->flags & kGeometryNormals) ? 1 : 0;
    desc->wantColours = (g->flags & kGeometryPrelit) ? 1 : 0;
    const int32_t sizeBytes = (data->format.dataFlags & kPTankSize) ? 4 : 0;
    const int32_t colourAt = (desc->wantNormals ? 24 : 12) + sizeBytes;
    const UINT stride = UINT(colourAt + (desc->wantColours ? 4 : 0));
    LockVertices(desc, stride, UINT(count), colourAt, 12, -1);
    sState.pointSprites = true;
}

void PTankD3D9::End(PTankInstanceDesc*, Atomic*, PTankData*, int32_t, uint32_t)
{
    if (sState.locked && sState.buffer)
        sState.locked = D3D9DynamicVertexBuffer::Unlock(sState.buffer) != 0;
}

void PTankD3D9::Point(const PTankSlot* out, const Vector*, const Vector*, int32_t count, const PTankData* d)
{
    Points<false, false>(out, count, d);
}

void PTankD3D9::PointCentre(const PTankSlot* out, const Vector*, const Vector*, int32_t count, const PTankData* d)
{
    Points<false, true>(out, count, d);
}

void PTankD3D9::PointSize(const PTankSlot* out, const Vector*, const Vector*, int32_t count, const PTankData* d)
{
    Points<true, false>(out, count, d);
}

void PTankD3D9::PointSizeCentre(const PTankSlot* out, const Vector*, const Vector*, int32_t count, const PTankData* d)
{
    Points<true, true>(out, count, d);
}

void PTankD3D9::PointNormal(const PTankSlot* out, int32_t count, const PTankData* d)
{
    const PTankSlot& src = d->slots[kPTankSlotNormal];
    char* v = static_cast<char*>(out->data);
    for (int32_t i = 0; i < count; ++i, v += out->stride)
        std::memcpy(v, static_cast<const char*>(src.data) + std::ptrdiff_t(i) * src.stride, 12);
}

void PTankD3D9::PointColour(const PTankSlot* out, int32_t count, const PTankData* d)
{
    const PTankSlot& src = d->slots[kPTankSlotColour];
    char* v = static_cast<char*>(out->data);
    for (int32_t i = 0; i < count; ++i, v += out->stride)
    {
        Rgba c;
        std::memcpy(&c, static_cast<const char*>(src.data) + std::ptrdiff_t(i) * src.stride, sizeof(c));
        const uint32_t word = PTankCallback::Argb(c);
        std::memcpy(v, &word, sizeof(word));
    }
}

// ---- Drawing ------------------------------------------------------------------------------------

int32_t PTankD3D9::Render(Atomic* atomic, PTankData* data, int32_t count)
{
    IDirect3DDevice9* device = D3D9Device::GetDevice();
    const Geometry* g = atomic->geometry;
    const bool points = sState.pointSprites;
    // A failed vertex-buffer lock leaves nothing to draw, and quads cannot be drawn without
    // the shared index buffer.
    if (!device || !g || !sState.locked || !sState.buffer ||
        (!points && (!sState.indices || sState.indexCapacity < 6 * int64_t(std::min(count, kMaxQuadVertices / 4)))))
        return 0;

    DWORD fvf = D3DFVF_XYZ;
    UINT stride = 12;
    if (g->flags & kGeometryNormals)
    {
        fvf |= D3DFVF_NORMAL;
        stride += 12;
    }
    if (points && (data->format.dataFlags & kPTankSize))
    {
        fvf |= D3DFVF_PSIZE;
        stride += 4;
    }
    if (g->flags & kGeometryPrelit)
    {
        fvf |= D3DFVF_DIFFUSE;
        stride += 4;
    }
    if (!points && (g->flags & kGeometryTextured))
    {
        fvf |= D3DFVF_TEX1;
        stride += 8;
    }

    AtomicAllInOneNode::SetupLightingD3D9(atomic);
    D3D9Device::SetWorldTransform(nullptr);
    DWORD lighting = 0, shadeMode = D3DSHADE_GOURAUD;
    D3D9RenderState::GetRenderState(D3DRS_LIGHTING, &lighting);
    D3D9RenderState::GetRenderState(D3DRS_SHADEMODE, &shadeMode);
    D3D9RenderState::SetRenderState(D3DRS_NORMALIZENORMALS, 0);

    const Material* material = FirstMaterial(atomic);
    const bool textured = material && material->texture;
    const DWORD op = textured ? D3DTOP_MODULATE : D3DTOP_SELECTARG2;
    DWORD arg2 = D3DTA_DIFFUSE;
    const bool lit = lighting != 0 && lighting != D3D9RenderState::kUnknown;
    if (!lit && !(g->flags & kGeometryPrelit))
    {
        D3D9RenderState::SetRenderState(D3DRS_TEXTUREFACTOR, PTankCallback::Argb(data->colour));
        D3D9RenderState::SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
        arg2 = D3DTA_TFACTOR;
    }
    else if (!lit && (g->flags & kGeometryPrelit) &&
             !(data->format.dataFlags & (kPTankVertexColours | kPTankConstantVertexColours)))
        D3D9RenderState::SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_COLOROP, op);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_COLORARG2, arg2);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAOP, op);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAARG2, arg2);

    D3D9RenderState::SetRenderState(D3DRS_CLIPPING, 1);
    D3D9Device::SetPixelShader(nullptr);
    D3D9Device::SetVertexShader(nullptr);
    D3D9BindingCache* bindings = D3D9Device::GetBindings();
    if (bindings->vertexFormat != fvf)
    {
        // Setting a vertex format replaces the bound declaration.
        device->SetFVF(fvf);
        bindings->vertexFormat = fvf;
        bindings->declaration = D3D9Device::Unknown<IDirect3DVertexDeclaration9>();
    }
    D3D9RenderState::SetTexture(material ? material->texture : nullptr, 0);

    Engine* engine = Engine::Current();
    intptr_t savedSource = 0, savedDest = 0;
    const bool alpha = data->vertexAlpha != 0;
    if (alpha)
    {
        engine->device.getRenderState(kRenderStateSourceBlend, &savedSource);
        engine->device.getRenderState(kRenderStateDestBlend, &savedDest);
        engine->device.setRenderState(kRenderStateSourceBlend, data->sourceBlend);
        engine->device.setRenderState(kRenderStateDestBlend, data->destBlend);
        engine->device.setRenderState(kRenderStateVertexAlpha, 1);
    }
    else
        engine->device.setRenderState(kRenderStateVertexAlpha, 0);

    if (lit && material)
    {
        const D3D9SurfaceProperties surface = {material->surface.ambient, material->surface.specular,
                                               material->surface.diffuse};
        D3D9Device::SetSurfaceProperties(&surface, &material->colour, g->flags);
    }
    D3D9Device::SetStreamSource(0, sState.buffer, 0, stride);

    if (points)
    {
        D3D9RenderState::SetRenderState(D3DRS_POINTSPRITEENABLE, 1);
        D3D9RenderState::SetRenderState(D3DRS_POINTSCALEENABLE, 1);
        D3D9RenderState::SetRenderState(D3DRS_POINTSIZE, FloatBits(data->size.x));
        D3D9RenderState::SetRenderState(D3DRS_POINTSIZE_MIN, FloatBits(0.0f));
        D3D9RenderState::SetRenderState(D3DRS_POINTSIZE_MAX, FloatBits(sState.maxPointSize));
        D3D9RenderState::SetRenderState(D3DRS_POINTSCALE_A, FloatBits(0.0f));
        D3D9RenderState::SetRenderState(D3DRS_POINTSCALE_B, FloatBits(0.0f));
        D3D9RenderState::SetRenderState(D3DRS_POINTSCALE_C, FloatBits(0.5f));
        for (int32_t done = 0; done < count;)
        {
            const int32_t n = count - done < kMaxPoints ? count - done : kMaxPoints;
            D3D9RenderState::Flush();
            device->DrawPrimitive(D3DPT_POINTLIST, sState.baseVertex + UINT(done), UINT(n));
            done += n;
        }
        D3D9RenderState::SetRenderState(D3DRS_POINTSPRITEENABLE, 0);
        D3D9RenderState::SetRenderState(D3DRS_POINTSCALEENABLE, 0);
    }
    else
    {
        D3D9Device::SetIndices(sState.indices);
        int64_t base = sState.baseVertex;
        int64_t n = 4 * int64_t(count);
        while (n > kMaxQuadVertices)
        {
            D3D9RenderState::Flush();
            device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, INT(base), 0, UINT(kMaxQuadVertices), 0,
                                         UINT(kMaxQuadVertices / 2));
            base += kMaxQuadVertices;
            n -= kMaxQuadVertices;
        }
        D3D9RenderState::Flush();
        device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, INT(base), 0, UINT(n), 0, UINT(n / 2));
    }

    D3D9RenderState::SetRenderState(D3DRS_SHADEMODE, shadeMode);
    if (alpha)
    {
        engine->device.setRenderState(kRenderStateSourceBlend, savedSource);
        engine->device.setRenderState(kRenderStateDestBlend, savedDest);
    }
    return 0;
}

// ---- Inspection ---------------------------------------------------------------------------------

float PTankD3D9::GetMaxPointSize()
{
    return sState.maxPointSize;
}

bool PTankD3D9::GetPerVertexPointSize()
{
    return sState.perVertexPointSize;
}

IDirect3DIndexBuffer9* PTankD3D9::GetIndexBuffer()
{
    return sState.indices;
}

int32_t PTankD3D9::GetIndexCapacity()
{
    return sState.indexCapacity;
}

bool PTankD3D9::UsesPointSprites(Atomic* atomic)
{
    const PTankRecord* tank = PTank::Get(atomic);
    return tank && tank->callbacks.begin == BeginPointSprites;
}
