// Instance data: creation of the index side and the draw records, destruction of the device
// objects, the index helpers of meshes, and the default fixed-function render callback.
#include "instancedata.h"

#include "camera.h"
#include "clump.h"
#include "d3d9device.h"
#include "d3d9raster.h"
#include "d3d9renderstate.h"
#include "d3d9vertexbuffer.h"
#include "engine.h"
#include "geometry.h"
#include "material.h"
#include "memory.h"
#include "pipeline.h"
#include "resourcearena.h"
#include "texture.h"
#include "world.h"
#include "world_local.h"
#include "worldd3d9.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{

constexpr uint32_t kInstanceHint = 0x3050D;

// Engine primitive types.
constexpr int32_t kPrimLineList = 1;
constexpr int32_t kPrimPolyLine = 2;
constexpr int32_t kPrimTriList = 3;
constexpr int32_t kPrimTriStrip = 4;
constexpr int32_t kPrimTriFan = 5;
constexpr int32_t kPrimPointList = 6;

size_t BlockSize(uint32_t meshCount)
{
    return sizeof(InstanceHeader) + size_t(meshCount) * sizeof(InstanceMesh);
}

uint32_t PrimitiveCount(uint32_t primitiveType, uint32_t n)
{
    // Empty meshes draw nothing: the strip and fan forms would otherwise go negative.
    switch (primitiveType)
    {
    case D3DPT_LINELIST:
        return n / 2;
    case D3DPT_LINESTRIP:
        return n >= 1 ? n - 1 : 0;
    case D3DPT_TRIANGLELIST:
        return n / 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return n >= 2 ? n - 2 : 0;
    default:
        return 0;
    }
}

bool Degenerate(uint16_t a, uint16_t b, uint16_t c)
{
    return a == b || b == c || a == c;
}

// Triangles a strip holds once the degenerate ones are left out: what a conversion writes.
uint32_t StripTriangles(const uint16_t* strip, uint32_t length)
{
    uint32_t count = 0;
    for (uint32_t i = 0; i + 2 < length; ++i)
        if (!Degenerate(strip[i], strip[i + 1], strip[i + 2]))
            ++count;
    return count;
}

void Sort3(const uint16_t* t, uint16_t* out)
{
    out[0] = t[0];
    out[1] = t[1];
    out[2] = t[2];
    if (out[0] > out[1])
        std::swap(out[0], out[1]);
    if (out[1] > out[2])
        std::swap(out[1], out[2]);
    if (out[0] > out[1])
        std::swap(out[0], out[1]);
}

InstanceHeader* HeaderOf(ResourceEntry* entry)
{
    return static_cast<InstanceHeader*>(ResourceEntry::Data(entry));
}

// Stage set-ups of the lit path; the first mesh compares with kSetupNone and always sets.
constexpr int32_t kSetupNone = -1;
constexpr int32_t kSetupTexture = 1;
constexpr int32_t kSetupFactor = 2;

void DisableStage1()
{
    D3D9RenderState::SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    D3D9RenderState::SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

void Stage(uint32_t stage, DWORD op, DWORD arg1, DWORD arg2, bool alpha)
{
    D3D9RenderState::SetTextureStageState(stage, alpha ? D3DTSS_ALPHAOP : D3DTSS_COLOROP, op);
    if (arg1 != DWORD(-1))
        D3D9RenderState::SetTextureStageState(stage, alpha ? D3DTSS_ALPHAARG1 : D3DTSS_COLORARG1, arg1);
    D3D9RenderState::SetTextureStageState(stage, alpha ? D3DTSS_ALPHAARG2 : D3DTSS_COLORARG2, arg2);
}

void ApplySetup(int32_t setup, int32_t last)
{
    const bool lastTextureFactor = last == (kSetupTexture | kSetupFactor);
    if (setup & kSetupTexture)
    {
        if (last == kSetupNone || !(last & kSetupTexture))
        {
            Stage(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, false);
            Stage(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, true);
        }
        if (setup & kSetupFactor)
        {
            Stage(1, D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_TFACTOR, false);
            Stage(1, D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_TFACTOR, true);
        }
        else if (lastTextureFactor)
            DisableStage1();
        return;
    }
    if (setup & kSetupFactor)
    {
        Stage(0, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TFACTOR, false);
        Stage(0, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TFACTOR, true);
    }
    else
    {
        Stage(0, D3DTOP_SELECTARG2, DWORD(-1), D3DTA_DIFFUSE, false);
        Stage(0, D3DTOP_SELECTARG2, DWORD(-1), D3DTA_DIFFUSE, true);
    }
    if (lastTextureFactor)
        DisableStage1();
}

void DrawMesh(const InstanceHeader* header, const InstanceMesh& mesh)
{
    if (mesh.primitiveCount == 0)
        return;
    IDirect3DDevice9* device = D3D9Device::GetDevice();
    if (!device)
        return;
    if (header->indexBuffer)
        device->DrawIndexedPrimitive(D3DPRIMITIVETYPE(header->primitiveType), INT(mesh.baseIndex), 0, mesh.vertexCount,
                                     mesh.startIndex, mesh.primitiveCount);
    else
        device->DrawPrimitive(D3DPRIMITIVETYPE(header->primitiveType), mesh.baseIndex, mesh.primitiveCount);
}

bool HasTextureBit(uint32_t flags)
{
    return flags & (kGeometryTextured | kGeometryTextured2);
}

DWORD Argb(const Rgba& c)
{
    return DWORD(c.alpha) << 24 | DWORD(c.red) << 16 | DWORD(c.green) << 8 | DWORD(c.blue);
}

void RenderUnlit(InstanceHeader* header, uint32_t flags)
{
    DWORD dither = 0, shade = 0;
    D3D9RenderState::GetRenderState(D3DRS_DITHERENABLE, &dither);
    D3D9RenderState::GetRenderState(D3DRS_SHADEMODE, &shade);
    D3D9RenderState::SetVertexAlphaEnable(false);
    D3D9RenderState::SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000000);
    D3D9RenderState::SetRenderState(D3DRS_DITHERENABLE, 0);
    D3D9RenderState::SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
    D3D9RenderState::SetTexture(static_cast<const Texture*>(nullptr), 0);

    bool textured = false;
    InstanceMesh* meshes = InstanceHeader::Meshes(header);
    for (uint32_t m = 0; m < header->meshCount; ++m)
    {
        const InstanceMesh& mesh = meshes[m];
        const Texture* texture = mesh.material ? mesh.material->texture : nullptr;
        if (HasTextureBit(flags) && texture && D3D9Raster::GetAlphaFlag(texture->raster))
        {
            D3D9RenderState::SetTexture(texture, 0);
            if (!textured)
                D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
            textured = true;
        }
        else if (textured)
        {
            D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
            D3D9RenderState::SetTexture(static_cast<const Texture*>(nullptr), 0);
            textured = false;
        }
        D3D9Device::SetVertexShader(mesh.vertexShader);
        D3D9RenderState::Flush();
        DrawMesh(header, mesh);
    }
    D3D9RenderState::SetRenderState(D3DRS_DITHERENABLE, dither);
    D3D9RenderState::SetRenderState(D3DRS_SHADEMODE, shade);
}

void RenderLitOrPrelit(InstanceHeader* header, uint32_t flags, bool lighting)
{
    bool vertexAlpha = D3D9RenderState::GetVertexAlphaEnable();
    int32_t last = kSetupNone;
    InstanceMesh* meshes = InstanceHeader::Meshes(header);
    for (uint32_t m = 0; m < header->meshCount; ++m)
    {
        const InstanceMesh& mesh = meshes[m];
        const Material* material = mesh.material;
        static const Rgba kWhite = {255, 255, 255, 255};
        const Rgba& colour = material ? material->colour : kWhite;

        const bool wantAlpha = colour.alpha != 255 || mesh.vertexAlpha;
        if (wantAlpha != vertexAlpha)
        {
            D3D9RenderState::SetVertexAlphaEnable(wantAlpha);
            vertexAlpha = wantAlpha;
        }

        int32_t setup = 0;
        if (lighting)
        {
            static const SurfaceProperties kDefaultSurface = {1.0f, 1.0f, 1.0f};
            const SurfaceProperties& s = material ? material->surface : kDefaultSurface;
            const D3D9SurfaceProperties properties = {s.ambient, s.specular, s.diffuse};
            D3D9Device::SetSurfaceProperties(&properties, &colour, flags);
        }
        else if ((flags & kGeometryModulateMaterialColor) && Argb(colour) != 0xFFFFFFFF)
        {
            D3D9RenderState::SetRenderState(D3DRS_TEXTUREFACTOR, Argb(colour));
            setup |= kSetupFactor;
        }

        if (HasTextureBit(flags) && material && material->texture)
        {
            D3D9RenderState::SetTexture(material->texture, 0);
            setup |= kSetupTexture;
        }
        else
            D3D9RenderState::SetTexture(static_cast<const Texture*>(nullptr), 0);

        if (setup != last)
        {
            ApplySetup(setup, last);
            last = setup;
        }
        D3D9Device::SetVertexShader(mesh.vertexShader);
        D3D9RenderState::Flush();
        DrawMesh(header, mesh);
    }
    if (last == (kSetupTexture | kSetupFactor))
        DisableStage1();
}

} // namespace

uint32_t D3D9PrimitiveType(int32_t engineType)
{
    switch (engineType)
    {
    case kPrimLineList:
        return D3DPT_LINELIST;
    case kPrimPolyLine:
        return D3DPT_LINESTRIP;
    case kPrimTriList:
        return D3DPT_TRIANGLELIST;
    case kPrimTriStrip:
        return D3DPT_TRIANGLESTRIP;
    case kPrimTriFan:
        return D3DPT_TRIANGLEFAN;
    case kPrimPointList:
        return D3DPT_POINTLIST;
    default:
        return 0;
    }
}

// ---- Mesh index helpers ---------------------------------------------------------------------------

int32_t Mesh::StripToList(uint16_t* destination, const uint16_t* strip, int32_t length, uint16_t offset)
{
    int32_t written = 0;
    for (int32_t i = 0; i + 2 < length; ++i)
    {
        const uint16_t a = strip[i], b = strip[i + 1], c = strip[i + 2];
        if (Degenerate(a, b, c))
            continue;
        const uint16_t first = (i & 1) ? c : a, last = (i & 1) ? a : c;
        destination[written++] = uint16_t(first - offset);
        destination[written++] = uint16_t(b - offset);
        destination[written++] = uint16_t(last - offset);
    }
    return written;
}

int32_t Mesh::CompareTriangles(const uint16_t* a, const uint16_t* b)
{
    uint16_t sa[3], sb[3];
    Sort3(a, sa);
    Sort3(b, sb);
    for (int i = 0; i < 3; ++i)
        if (sa[i] != sb[i])
            return int32_t(sa[i]) - int32_t(sb[i]);
    return 0;
}

void Mesh::SortTriangles(uint16_t* indices, int32_t count)
{
    std::qsort(indices, size_t(count / 3), 3 * sizeof(uint16_t),
               [](const void* a, const void* b)
               { return Mesh::CompareTriangles(static_cast<const uint16_t*>(a), static_cast<const uint16_t*>(b)); });
}

void Mesh::GetIndexRange(const uint16_t* indices, int32_t count, uint32_t* range, uint32_t* minimum)
{
    if (count <= 0)
    {
        *range = 0;
        *minimum = 0;
        return;
    }
    uint16_t low = indices[0], high = indices[0];
    for (int32_t i = 1; i < count; ++i)
    {
        low = std::min(low, indices[i]);
        high = std::max(high, indices[i]);
    }
    *minimum = low;
    *range = uint32_t(high - low) + 1;
}

// ---- Instance data ----------------------------------------------------------------------------------

InstanceHeader* InstanceData::Header(ResourceEntry* entry)
{
    return HeaderOf(entry);
}

ResourceEntry* InstanceData::Create(void* object, void* owner, int32_t objectType, ResourceEntry** ownerReference,
                                    MeshHeader* meshHeader, InstanceCallback instance, int32_t keepOutsideArena)
{
    const uint32_t meshCount = meshHeader->numMeshes;
    const size_t size = BlockSize(meshCount);
    ResourceEntry* entry;
    if (keepOutsideArena)
    {
        entry = static_cast<ResourceEntry*>(Memory::Allocate(sizeof(ResourceEntry) + size, kInstanceHint));
        if (!entry)
        {
            WorldError(kErrNoMemory);
            return nullptr;
        }
        // No links: nothing evicts it. The owner and its reference stay known so that
        // freeing it clears the reference and the destroy step finds the geometry.
        entry->link = {nullptr, nullptr};
        entry->size = size;
        entry->owner = owner;
        entry->reference = ownerReference;
        entry->destroy = InstanceData::Destroy;
        if (ownerReference)
            *ownerReference = entry;
    }
    else
    {
        entry = ResourceArena::Allocate(owner, ownerReference, size, InstanceData::Destroy);
        if (!entry)
            return nullptr;
    }

    InstanceHeader* header = HeaderOf(entry);
    std::memset(header, 0, size);
    header->serialNumber = meshHeader->serialNumber;
    header->meshCount = meshCount;

    const Mesh* meshes = MeshHeader::Meshes(meshHeader);
    const int32_t engineType = MeshModule::PrimitiveType(meshHeader->flags);
    const bool indexed = !(meshHeader->flags & kMeshHeaderUnindexed);
    bool convert = false;
    uint16_t* write = nullptr;
    header->primitiveType = D3D9PrimitiveType(engineType);
    if (indexed)
    {
        uint32_t total = 0;
        for (uint32_t m = 0; m < meshCount; ++m)
            total += meshes[m].numIndices;
        if (total)
        {
            // Strips become a list when the list is shorter. The list is sized by the
            // triangles the strips really hold, so that no count from elsewhere can make
            // the conversion write past the buffer.
            if (engineType == kPrimTriStrip && (objectType == kInstanceAtomic || objectType == kInstanceSector))
            {
                uint32_t triangles = 0;
                for (uint32_t m = 0; m < meshCount; ++m)
                    triangles += StripTriangles(meshes[m].indices, meshes[m].numIndices);
                if (3 * triangles < total)
                {
                    convert = true;
                    total = 3 * triangles;
                    header->primitiveType = D3DPT_TRIANGLELIST;
                }
            }
            if (total)
            {
                if (!D3D9Device::CreateIndexBuffer(total, &header->indexBuffer))
                {
                    // Meshes without their indices would draw from nothing: fail the data.
                    ResourceArena::Free(entry);
                    return nullptr;
                }
                void* locked = nullptr;
                if (FAILED(header->indexBuffer->Lock(0, 0, &locked, 0)) || !locked)
                {
                    ResourceArena::Free(entry);
                    return nullptr;
                }
                write = static_cast<uint16_t*>(locked);
                header->totalIndexCount = total;
            }
        }
    }

    InstanceMesh* records = InstanceHeader::Meshes(header);
    uint32_t indexPosition = 0, vertexPosition = 0;
    for (uint32_t m = 0; m < meshCount; ++m)
    {
        const Mesh& mesh = meshes[m];
        InstanceMesh& record = records[m];
        if (!indexed)
        {
            record.vertexCount = mesh.numIndices;
            record.minimumVertex = vertexPosition;
            vertexPosition += mesh.numIndices;
        }
        else
            Mesh::GetIndexRange(mesh.indices, int32_t(mesh.numIndices), &record.vertexCount, &record.minimumVertex);
        record.material = mesh.material;
        uint32_t n = indexed ? 0 : record.vertexCount;
        if (write)
        {
            record.startIndex = indexPosition;
            const uint16_t base = uint16_t(record.minimumVertex);
            uint32_t written;
            if (convert)
                written = uint32_t(Mesh::StripToList(write, mesh.indices, int32_t(mesh.numIndices), base));
            else
            {
                for (uint32_t i = 0; i < mesh.numIndices; ++i)
                    write[i] = uint16_t(mesh.indices[i] - base);
                written = mesh.numIndices;
            }
            record.indexCount = written;
            if (header->primitiveType == D3DPT_TRIANGLELIST)
                Mesh::SortTriangles(write, int32_t(written));
            write += written;
            indexPosition += written;
            n = written;
        }
        record.primitiveCount = PrimitiveCount(header->primitiveType, n);
    }
    if (header->indexBuffer && header->totalIndexCount)
        header->indexBuffer->Unlock();

    if (!instance(object, header, 0))
    {
        ResourceArena::Free(entry);
        return nullptr;
    }
    return entry;
}

void InstanceData::Destroy(ResourceEntry* entry)
{
    InstanceHeader* header = HeaderOf(entry);
    if (entry->owner)
    {
        const uint8_t type = *static_cast<const uint8_t*>(entry->owner);
        Geometry* geometry = nullptr;
        if (type == Atomic::kObjectType)
            geometry = static_cast<Atomic*>(entry->owner)->geometry;
        else if (type == Geometry::kObjectType)
            geometry = static_cast<Geometry*>(entry->owner);
        const bool dynamic = (header->streams[0].vertexBuffer && !header->streams[0].managed) ||
                             (header->streams[1].vertexBuffer && !header->streams[1].managed);
        if (geometry && dynamic)
            InstanceList::RemoveGeometry(geometry);
    }
    if (header->indexBuffer)
        D3D9Device::ReleaseObject(header->indexBuffer);
    header->indexBuffer = nullptr;
    if (header->vertexDeclaration)
        D3D9Device::DestroyVertexDeclaration(header->vertexDeclaration);
    header->vertexDeclaration = nullptr;
    for (InstanceStream& stream : header->streams)
    {
        // A dynamic buffer is given back by its owner even when a lost device took it.
        if (stream.managed && stream.vertexBuffer)
            D3D9VertexBuffer::Destroy(stream.stride, stream.stride * header->totalVertexCount, stream.vertexBuffer,
                                      stream.offset);
        else if (!stream.managed)
            D3D9DynamicVertexBuffer::Destroy(&stream.vertexBuffer);
        stream = {};
    }
}

// ---- The all-in-one node data -----------------------------------------------------------------------

void AllInOneNode::SetInstanceCallback(PipelineNode* node, InstanceCallback callback)
{
    static_cast<AllInOneNodeData*>(node->privateData)->instance = callback;
}

InstanceCallback AllInOneNode::GetInstanceCallback(PipelineNode* node)
{
    return static_cast<AllInOneNodeData*>(node->privateData)->instance;
}

void AllInOneNode::SetRenderCallback(PipelineNode* node, RenderCallback callback)
{
    static_cast<AllInOneNodeData*>(node->privateData)->render = callback;
}

// ---- Drawing ------------------------------------------------------------------------------------------

void AllInOneNode::SetClippingByFrustum(void* object, int32_t objectType)
{
    Engine* engine = Engine::Current();
    const Camera* camera = engine ? static_cast<const Camera*>(engine->currentCamera) : nullptr;
    bool inside = false;
    if (camera)
    {
        if (objectType == kInstanceAtomic)
            inside = Camera::SphereWhollyInside(camera, Atomic::GetWorldBoundingSphere(static_cast<Atomic*>(object)));
        else
            inside = Camera::BoxWhollyInside(camera, &static_cast<WorldSector*>(object)->box);
    }
    D3D9RenderState::SetRenderState(D3DRS_CLIPPING, inside ? 0 : 1);
}

void AllInOneNode::DefaultRender(ResourceEntry* entry, void* object, int32_t objectType, uint32_t flags)
{
    InstanceHeader* header = HeaderOf(entry);
    if (D3D9Device::GetBindings()->pixelShader)
        D3D9Device::SetPixelShader(nullptr);
    SetClippingByFrustum(object, objectType);

    if (header->indexBuffer)
        D3D9Device::SetIndices(header->indexBuffer);
    D3D9StreamDescriptor streams{};
    for (int i = 0; i < 2; ++i)
        streams.streams[i] = {header->streams[i].vertexBuffer, header->streams[i].offset, header->streams[i].stride, 0};
    D3D9Device::SetStreams(&streams, int32_t(header->useOffsets));
    D3D9Device::SetVertexDeclaration(header->vertexDeclaration);

    DWORD lighting = 0;
    D3D9RenderState::GetRenderState(D3DRS_LIGHTING, &lighting);
    if (!lighting && !(flags & kGeometryPrelit))
        RenderUnlit(header, flags);
    else
        RenderLitOrPrelit(header, flags, lighting != 0);
}
