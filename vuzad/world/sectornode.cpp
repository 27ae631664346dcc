// The world-sector all-in-one pipeline node: its body, the sector instance callback that
// lays out and fills the one managed stream, and the sector lighting callback.
#include "sectornode.h"

#include "d3d9device.h"
#include "d3d9renderstate.h"
#include "d3d9vertexbuffer.h"
#include "engine.h"
#include "geometry.h"
#include "light.h"
#include "pipeline.h"
#include "resourcearena.h"
#include "vertexdeclaration.h"
#include "world.h"
#include "worldd3d9.h"

#include <cstring>

namespace
{

NodeDefinition sDefinition = {
    "D3D9WorldSectorAllInOne.node",
    WorldSectorAllInOneNode::Body,
    nullptr,
    nullptr,
    WorldSectorAllInOneNode::Init,
    nullptr,
    nullptr,
    nullptr,
    0,
    nullptr,
    nullptr,
    0,
    nullptr,
    int32_t(sizeof(AllInOneNodeData)),
    0,
    0,
};

/// Requests in a sector's vertex-shader flags word.
constexpr uint32_t kSectorWantsTangents = 0x10000;

// Content-mask bits of the sector stream: the lock bits of the elements it holds.
constexpr uint16_t kSectorMaskPositions = 0x2;
constexpr uint16_t kSectorMaskNormals = 0x4;
constexpr uint16_t kSectorMaskPrelit = 0x8;
constexpr uint16_t kSectorMaskTexCoords0 = 0x10;
constexpr uint16_t kSectorMaskTexCoords1 = 0x20;

enum ElementKind
{
    kPosition,
    kNormal,
    kPrelit,
    kTexCoords0,
    kTexCoords1,
    kTangent,
};

struct Element
{
    ElementKind kind;
    uint16_t offset;
    uint8_t type;
    uint8_t usage;
    uint8_t usageIndex;
};

struct Layout
{
    Element elements[6];
    int32_t count = 0;
    uint32_t stride = 0;
    uint16_t mask = 0;
};

uint8_t PackedVectorType()
{
    const D3DCAPS9* caps = D3D9Device::GetCaps();
    return caps && (caps->DeclTypes & D3DDTCAPS_DEC3N) ? D3DDECLTYPE_DEC3N : D3DDECLTYPE_FLOAT3;
}

Layout MakeLayout(uint32_t worldFlags, uint32_t vertexShaderFlags)
{
    Layout layout;
    auto add = [&](ElementKind kind, uint8_t type, uint8_t usage, uint8_t usageIndex, uint16_t mask)
    {
        layout.elements[layout.count++] = {kind, uint16_t(layout.stride), type, usage, usageIndex};
        layout.stride += uint32_t(VertexDeclaration::GetTypeSize(type));
        layout.mask |= mask;
    };
    add(kPosition, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0, kSectorMaskPositions);
    if (worldFlags & kGeometryNormals)
        add(kNormal, PackedVectorType(), D3DDECLUSAGE_NORMAL, 0, kSectorMaskNormals);
    if (worldFlags & kGeometryPrelit)
        add(kPrelit, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0, kSectorMaskPrelit);
    if (worldFlags & (kGeometryTextured | kGeometryTextured2))
        add(kTexCoords0, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0, kSectorMaskTexCoords0);
    if (worldFlags & kGeometryTextured2)
        add(kTexCoords1, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 1, kSectorMaskTexCoords1);
    if (vertexShaderFlags & kSectorWantsTangents)
        add(kTangent, PackedVectorType(), D3DDECLUSAGE_TANGENT, 0, 0);
    return layout;
}

/// The world whose format the sector is drawn with: the current one, else the one that
/// holds it.
World* SectorWorld(const WorldSector* sector)
{
    Engine* engine = Engine::Current();
    if (engine && engine->currentWorld)
        return static_cast<World*>(engine->currentWorld);
    return WorldSector::GetWorld(sector);
}

void GiveBack(InstanceHeader* header)
{
    InstanceStream& s = header->streams[0];
    if (s.vertexBuffer)
        D3D9VertexBuffer::Destroy(s.stride, s.stride * header->totalVertexCount, s.vertexBuffer, s.offset);
    s = {};
    if (header->vertexDeclaration)
        D3D9Device::DestroyVertexDeclaration(header->vertexDeclaration);
    header->vertexDeclaration = nullptr;
}

void Fill(const Layout& layout, const World* world, WorldSector* sector, InstanceHeader* header, uint8_t* data)
{
    const int32_t count = sector->numVertices;
    const int32_t stride = int32_t(layout.stride);
    InstanceMesh* meshes = InstanceHeader::Meshes(header);
    for (uint32_t m = 0; m < header->meshCount; ++m)
        meshes[m].vertexAlpha = 0;
    // Elements whose arrays a sector lacks stay zero rather than keep what the pool held.
    std::memset(data, 0, size_t(stride) * size_t(count));
    const auto* set1 = static_cast<const TexCoords*>(sector->texCoords[1]);
    const auto* set0 = static_cast<const TexCoords*>(sector->texCoords[0]);
    for (int32_t i = 0; i < layout.count; ++i)
    {
        const Element& e = layout.elements[i];
        uint8_t* at = data + e.offset;
        switch (e.kind)
        {
        case kPosition:
            VertexDeclaration::WriteVectors(e.type, at, sector->positions, count, stride);
            break;
        case kNormal:
            if (sector->normals)
                VertexDeclaration::WriteCompressedNormals(e.type, at, static_cast<const int8_t*>(sector->normals),
                                                          count, stride);
            break;
        case kPrelit:
            if (!sector->prelit)
                break;
            for (uint32_t m = 0; m < header->meshCount; ++m)
            {
                InstanceMesh& mesh = meshes[m];
                if (uint64_t(mesh.minimumVertex) + mesh.vertexCount > uint64_t(count))
                    continue;
                mesh.vertexAlpha = uint32_t(VertexDeclaration::WriteColors(
                    at + size_t(mesh.minimumVertex) * size_t(stride),
                    static_cast<const uint8_t*>(sector->prelit) + size_t(mesh.minimumVertex) * 4,
                    int32_t(mesh.vertexCount), stride));
            }
            break;
        case kTexCoords0:
            if (set0)
                VertexDeclaration::WriteTexCoords(e.type, at, set0, count, stride);
            break;
        case kTexCoords1:
            if (set1)
                VertexDeclaration::WriteTexCoords(e.type, at, set1, count, stride);
            break;
        case kTangent:
        {
            const TexCoords* coordinates = (world->formatFlags & kGeometryTextured2) && set1 ? set1 : set0;
            if (coordinates)
                VertexDeclaration::WriteTangents(e.type, at, sector->positions, coordinates, header, stride);
            break;
        }
        }
    }
}

} // namespace

NodeDefinition* WorldSectorAllInOneNode::GetDefinition()
{
    return &sDefinition;
}

int32_t WorldSectorAllInOneNode::Init(PipelineNode* node)
{
    auto* data = static_cast<AllInOneNodeData*>(node->privateData);
    data->instance = Instance;
    data->reinstance = nullptr;
    data->lighting = Light;
    data->render = AllInOneNode::DefaultRender;
    return 1;
}

uint32_t WorldSectorAllInOneNode::GetStride(uint32_t worldFlags, uint32_t vertexShaderFlags, uint16_t* contentMask)
{
    const Layout layout = MakeLayout(worldFlags, vertexShaderFlags);
    if (contentMask)
        *contentMask = layout.mask;
    return layout.stride;
}

int32_t WorldSectorAllInOneNode::Instance(void* object, InstanceHeader* header, int32_t)
{
    auto* sector = static_cast<WorldSector*>(object);
    const World* world = SectorWorld(sector);
    // A native world keeps no vertex arrays to build from.
    if (!world || (world->formatFlags & kGeometryNative) || !sector->positions)
        return 0;
    GiveBack(header);
    const Layout layout = MakeLayout(world->formatFlags, VertexShaderFlags::Get(sector));
    const uint32_t count = sector->numVertices;
    header->totalVertexCount = count;

    D3DVERTEXELEMENT9 elements[7];
    for (int32_t i = 0; i < layout.count; ++i)
    {
        const Element& e = layout.elements[i];
        elements[i] = {0, e.offset, e.type, 0, e.usage, e.usageIndex};
    }
    elements[layout.count] = {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0};
    if (!D3D9Device::CreateVertexDeclaration(elements, &header->vertexDeclaration))
        return 0;

    InstanceStream& s = header->streams[0];
    const UINT size = layout.stride * count;
    UINT offset = 0;
    if (!D3D9VertexBuffer::Create(layout.stride, size, &s.vertexBuffer, &offset))
    {
        s.vertexBuffer = nullptr;
        return 0;
    }
    s.offset = offset;
    s.stride = layout.stride;
    s.geometryFlags = layout.mask;
    s.managed = 1;

    header->useOffsets = 0;
    InstanceMesh* meshes = InstanceHeader::Meshes(header);
    for (uint32_t m = 0; m < header->meshCount; ++m)
        meshes[m].baseIndex = offset / layout.stride + meshes[m].minimumVertex;

    void* locked = nullptr;
    if (FAILED(s.vertexBuffer->Lock(offset, size, &locked, 0)) || !locked)
        return 0;
    Fill(layout, world, sector, header, static_cast<uint8_t*>(locked));
    s.vertexBuffer->Unlock();
    return 1;
}

void WorldSectorAllInOneNode::Light(void* object)
{
    auto* sector = static_cast<WorldSector*>(object);
    Engine* engine = Engine::Current();
    const World* world = engine ? static_cast<const World*>(engine->currentWorld) : nullptr;
    if (!world || !(world->formatFlags & kGeometryLight))
    {
        D3D9Lights::Apply(0);
        return;
    }
    int32_t used = D3D9Lights::SetWorldLights(kLightLightsWorld);
    const uint32_t stamp = ++engine->lightFrame;
    for (ListLink* link = sector->lightTies.next; link != &sector->lightTies; link = link->next)
    {
        auto* light = static_cast<::Light*>(SectorTie::FromSectorLink(link)->object);
        if (light->lightStamp == stamp || !(light->object.flags & kLightLightsWorld))
            continue;
        light->lightStamp = stamp;
        used |= D3D9Lights::AddLocal(light);
    }
    D3D9Lights::Apply(used);
}

int32_t WorldSectorAllInOneNode::Body(PipelineNode* node, const NodeExecutionParameters* parameters)
{
    auto* sector = static_cast<WorldSector*>(parameters->data);
    if (sector->numVertices == 0 || !sector->meshHeader || sector->meshHeader->numMeshes == 0)
        return 1;
    const auto* callbacks = static_cast<const AllInOneNodeData*>(node->privateData);
    const World* world = SectorWorld(sector);
    const uint32_t flags = world ? world->formatFlags : 0;

    ResourceEntry* entry = sector->instanceData;
    if (!(flags & kGeometryNative))
    {
        if (entry && InstanceData::Header(entry)->serialNumber == sector->meshHeader->serialNumber)
            ResourceArena::Use(entry);
        else
        {
            if (entry)
                ResourceArena::Free(entry);
            entry = InstanceData::Create(sector, sector, kInstanceSector, &sector->instanceData, sector->meshHeader,
                                         callbacks->instance, (flags & kGeometryInstanceOnly) ? 1 : 0);
            if (!entry)
                return 0;
        }
    }
    else if (!entry)
        return 0; // native data that was never read: nothing to draw from
    if (flags & kGeometryInstanceOnly)
        return 1;

    if (callbacks->lighting)
        callbacks->lighting(sector);
    D3D9Device::SetWorldTransform(nullptr);
    D3D9RenderState::SetRenderState(D3DRS_NORMALIZENORMALS, 0);
    if (callbacks->render)
        callbacks->render(entry, sector, kInstanceSector, flags);
    return 1;
}
