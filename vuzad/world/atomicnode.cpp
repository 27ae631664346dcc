// The atomic all-in-one pipeline node: its body, the default instance, re-instance and
// lighting callbacks.
#include "atomicnode.h"

#include "clump.h"
#include "d3d9device.h"
#include "d3d9renderstate.h"
#include "d3d9vertexbuffer.h"
#include "engine.h"
#include "frame.h"
#include "geometry.h"
#include "light.h"
#include "matrix.h"
#include "pipeline.h"
#include "resourcearena.h"
#include "vertexdeclaration.h"
#include "world.h"
#include "worldd3d9.h"

#include <algorithm>
#include <cstring>

namespace
{

enum ElementKind
{
    kPosition,
    kNormal,
    kPrelit,
    kTexCoord,
    kTangent,
};

struct Element
{
    ElementKind kind;
    int32_t set; ///< texture-coordinate set
    uint16_t stream;
    uint16_t offset;
    uint8_t type;
    uint8_t usage;
    uint16_t lockBit; ///< 0 for tangents, which follow the positions and coordinates
};

struct Layout
{
    Element elements[4 + kGeometryMaxTexCoordSets];
    int32_t count = 0;
    int32_t numStreams = 1;
    uint32_t strides[2] = {0, 0};
};

NodeDefinition sDefinition = {
    "D3D9AtomicAllInOne.node",
    AtomicAllInOneNode::Body,
    nullptr,
    nullptr,
    AtomicAllInOneNode::Init,
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

const D3DCAPS9& Caps()
{
    static const D3DCAPS9 kNone{};
    const D3DCAPS9* caps = D3D9Device::GetCaps();
    return caps ? *caps : kNone;
}

uint8_t PackedVectorType()
{
    return (Caps().DeclTypes & D3DDTCAPS_DEC3N) ? D3DDECLTYPE_DEC3N : D3DDECLTYPE_FLOAT3;
}

bool HasTexCoords(const Geometry* g)
{
    return g->numTexCoordSets > 0 && g->texCoords[0];
}

// The streams and elements of a geometry, as the build lays them out.
Layout MakeLayout(const Atomic* atomic, const Geometry* g)
{
    uint32_t vsFlags = VertexShaderFlags::Get(g);
    Layout layout;
    const bool hardware = Caps().DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    const bool singleStreamPipeline = atomic->pipeline && atomic->pipeline->pluginId == kSingleStreamPipelinePluginId;
    if ((g->numMorphTargets > 1 || (vsFlags & 0xFFF)) && hardware && !singleStreamPipeline)
    {
        layout.numStreams = 2;
        if (g->numMorphTargets > 1)
            vsFlags |= kVsFlagPositions | kVsFlagNormals;
    }
    auto add = [&](ElementKind kind, int32_t set, uint32_t bit, uint8_t type, uint8_t usage, uint16_t lockBit,
                   int32_t forcedStream = -1)
    {
        const uint16_t stream = forcedStream >= 0                             ? uint16_t(forcedStream)
                                : (layout.numStreams == 1 || (vsFlags & bit)) ? 0
                                                                              : 1;
        layout.elements[layout.count++] = {kind, set, stream, uint16_t(layout.strides[stream]), type, usage, lockBit};
        layout.strides[stream] += uint32_t(VertexDeclaration::GetTypeSize(type));
    };
    add(kPosition, 0, kVsFlagPositions, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, kGeometryLockPositions);
    if (g->flags & kGeometryNormals)
        add(kNormal, 0, kVsFlagNormals, PackedVectorType(), D3DDECLUSAGE_NORMAL, kGeometryLockNormals);
    if (g->flags & kGeometryPrelit)
        add(kPrelit, 0, kVsFlagPrelit, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, kGeometryLockPrelit);
    for (int32_t n = 0; n < g->numTexCoordSets && n < kGeometryMaxTexCoordSets; ++n)
        add(kTexCoord, n, kVsFlagTexCoords0 << n, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, uint16_t(0x10 << n));
    if ((vsFlags & kVsFlagTangents) && HasTexCoords(g))
        add(kTangent, 0, 0, PackedVectorType(), D3DDECLUSAGE_TANGENT, 0, (vsFlags & 0xFFE) ? 0 : layout.numStreams - 1);
    if (layout.numStreams == 2 && layout.strides[1] == 0)
        layout.numStreams = 1;
    return layout;
}

void GiveBack(InstanceHeader* header)
{
    for (InstanceStream& s : header->streams)
    {
        // A dynamic buffer is given back by its owner even when a lost device took it.
        if (s.managed && s.vertexBuffer)
            D3D9VertexBuffer::Destroy(s.stride, s.stride * header->totalVertexCount, s.vertexBuffer, s.offset);
        else if (!s.managed)
            D3D9DynamicVertexBuffer::Destroy(&s.vertexBuffer);
        s = {};
    }
    if (header->vertexDeclaration)
        D3D9Device::DestroyVertexDeclaration(header->vertexDeclaration);
    header->vertexDeclaration = nullptr;
}

bool MakeDeclaration(const Layout& layout, InstanceHeader* header)
{
    D3DVERTEXELEMENT9 elements[4 + kGeometryMaxTexCoordSets + 1];
    int32_t n = 0;
    for (int32_t i = 0; i < layout.count; ++i)
    {
        const Element& e = layout.elements[i];
        elements[n++] = {e.stream, e.offset, e.type, 0, e.usage, uint8_t(e.kind == kTexCoord ? e.set : 0)};
    }
    std::sort(elements, elements + n,
              [](const D3DVERTEXELEMENT9& a, const D3DVERTEXELEMENT9& b)
              { return a.Stream != b.Stream ? a.Stream < b.Stream : a.Offset < b.Offset; });
    elements[n] = {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0};
    return D3D9Device::CreateVertexDeclaration(elements, &header->vertexDeclaration) != 0;
}

bool MakeBuffers(const Layout& layout, InstanceHeader* header)
{
    const bool streamOffsets = Caps().DevCaps2 & D3DDEVCAPS2_STREAMOFFSET;
    for (int32_t i = 0; i < layout.numStreams; ++i)
    {
        InstanceStream& s = header->streams[i];
        s.stride = layout.strides[i];
        const UINT size = s.stride * header->totalVertexCount;
        if (size == 0)
            continue;
        if (layout.numStreams == 1 || (i == 1 && streamOffsets))
        {
            UINT offset = 0;
            if (!D3D9VertexBuffer::Create(s.stride, size, &s.vertexBuffer, &offset))
                return false;
            s.offset = offset;
            s.managed = 1;
        }
        else
        {
            if (!D3D9DynamicVertexBuffer::Create(size, &s.vertexBuffer))
                return false;
            s.managed = 0;
        }
    }
    return true;
}

// Rebuilds the layout of existing data from its declaration-independent parts: the
// refill writes the same elements the build laid out.
struct Fill
{
    Geometry* g;
    Atomic* atomic;
    InstanceHeader* header;
    Layout layout;
    uint8_t* data[2] = {nullptr, nullptr};
    uint16_t lockBits;

    uint8_t* At(const Element& e) { return data[e.stream] ? data[e.stream] + e.offset : nullptr; }
};

bool Lock(InstanceStream& s, uint32_t totalVertices, DWORD flags, uint8_t** out)
{
    void* p = nullptr;
    const UINT size = s.stride * totalVertices;
    const HRESULT hr =
        s.managed ? s.vertexBuffer->Lock(s.offset, size, &p, flags) : s.vertexBuffer->Lock(0, size, &p, flags);
    if (FAILED(hr) || !p)
        return false;
    *out = static_cast<uint8_t*>(p);
    return true;
}

void WriteElements(Fill& f)
{
    Geometry* g = f.g;
    const Interpolator& in = f.atomic->interpolator;
    int32_t s = 0, e = 0;
    if (g->numMorphTargets > 1 && in.startTarget < g->numMorphTargets && in.endTarget < g->numMorphTargets &&
        in.startTarget >= 0 && in.endTarget >= 0)
    {
        s = in.startTarget;
        e = in.endTarget;
    }
    const MorphTarget& from = g->morphTargets[s];
    const MorphTarget& to = g->morphTargets[e];
    const float t = in.position * in.recipTime;
    const int32_t count = g->numVertices;
    const bool normals = g->flags & kGeometryNormals;

    for (int32_t i = 0; i < f.layout.count; ++i)
    {
        const Element& el = f.layout.elements[i];
        uint8_t* at = f.At(el);
        if (!at)
            continue;
        const int32_t stride = int32_t(f.header->streams[el.stream].stride);
        switch (el.kind)
        {
        case kPosition:
        case kNormal:
        {
            const bool isPosition = el.kind == kPosition;
            const Vector* a = isPosition ? from.positions : from.normals;
            const Vector* b = isPosition ? to.positions : to.normals;
            if (!a || !b || (!isPosition && !normals))
                break;
            if (s != e && t != 0.0f)
                VertexDeclaration::WriteInterpolatedVectors(el.type, at, a, b, t, count, stride);
            else if (f.lockBits & el.lockBit)
                VertexDeclaration::WriteVectors(el.type, at, a, count, stride);
            break;
        }
        case kPrelit:
            if ((f.lockBits & kGeometryLockPrelit) && g->prelit)
            {
                InstanceMesh* meshes = InstanceHeader::Meshes(f.header);
                for (uint32_t m = 0; m < f.header->meshCount; ++m)
                {
                    InstanceMesh& mesh = meshes[m];
                    if (mesh.minimumVertex + mesh.vertexCount > uint32_t(count))
                        continue;
                    mesh.vertexAlpha = uint32_t(
                        VertexDeclaration::WriteColors(at + size_t(mesh.minimumVertex) * size_t(stride),
                                                       reinterpret_cast<const uint8_t*>(g->prelit + mesh.minimumVertex),
                                                       int32_t(mesh.vertexCount), stride));
                }
            }
            break;
        case kTexCoord:
            if ((f.lockBits & el.lockBit) && g->texCoords[el.set])
                VertexDeclaration::WriteTexCoords(el.type, at, g->texCoords[el.set], count, stride);
            break;
        case kTangent:
            if ((f.lockBits & 0x0FFE) && from.positions && HasTexCoords(g))
                VertexDeclaration::WriteTangents(el.type, at, from.positions, g->texCoords[0], f.header, stride);
            break;
        }
    }
}

World* CurrentWorld()
{
    Engine* engine = Engine::Current();
    return engine ? static_cast<World*>(engine->currentWorld) : nullptr;
}

float LengthSquared(const Vector& v)
{
    return v.x * v.x + v.y * v.y + v.z * v.z;
}

bool MeshesHaveIndices(const MeshHeader* header)
{
    if (header->flags & kMeshHeaderUnindexed)
        return true;
    const Mesh* meshes = MeshHeader::Meshes(header);
    for (uint32_t m = 0; m < header->numMeshes; ++m)
        if (meshes[m].numIndices > 0 && !meshes[m].indices)
            return false;
    return true;
}

} // namespace

NodeDefinition* AtomicAllInOneNode::GetDefinition()
{
    return &sDefinition;
}

int32_t AtomicAllInOneNode::Init(PipelineNode* node)
{
    auto* data = static_cast<AllInOneNodeData*>(node->privateData);
    data->instance = Instance;
    data->reinstance = Reinstance;
    data->lighting = SetupLightingD3D9;
    data->render = AllInOneNode::DefaultRender;
    return 1;
}

int32_t AtomicAllInOneNode::Instance(void* object, InstanceHeader* header, int32_t reinstance)
{
    auto* atomic = static_cast<Atomic*>(object);
    Geometry* g = atomic->geometry;
    // A native geometry read from a stream keeps no vertex arrays to build from; one made
    // native by Atomic::Instance still has them, and builds again after a lock or a reset.
    if (!g || !g->morphTargets || !g->morphTargets[0].positions)
        return 0;

    Fill f{g, atomic, header, MakeLayout(atomic, g), {nullptr, nullptr}, 0};
    DWORD flags[2] = {D3DLOCK_NOSYSLOCK, D3DLOCK_NOSYSLOCK};
    bool lock[2] = {false, false};
    if (!reinstance)
    {
        GiveBack(header);
        header->totalVertexCount = uint32_t(g->numVertices);
        if (f.layout.numStreams == 2)
            InstanceList::AddGeometry(g);
        for (int32_t i = 0; i < f.layout.count; ++i)
        {
            const Element& e = f.layout.elements[i];
            header->streams[e.stream].geometryFlags |= e.lockBit;
        }
        if (!MakeDeclaration(f.layout, header) || !MakeBuffers(f.layout, header))
            return 0;
        const bool twoStreams = f.layout.numStreams == 2;
        InstanceMesh* meshes = InstanceHeader::Meshes(header);
        for (uint32_t m = 0; m < header->meshCount; ++m)
        {
            const InstanceStream& s0 = header->streams[0];
            meshes[m].baseIndex = twoStreams ? meshes[m].minimumVertex
                                             : (s0.stride ? s0.offset / s0.stride : 0) + meshes[m].minimumVertex;
            meshes[m].vertexAlpha = 0;
        }
        if (twoStreams)
            header->useOffsets = (Caps().DevCaps2 & D3DDEVCAPS2_STREAMOFFSET) ? 1 : 0;
        f.lockBits = 0xFFFF;
        for (int i = 0; i < 2; ++i)
            lock[i] = header->streams[i].vertexBuffer != nullptr;
    }
    else
    {
        f.lockBits = g->lockedSinceInstance;
        for (int i = 0; i < 2; ++i)
        {
            const InstanceStream& s = header->streams[i];
            if (!s.vertexBuffer || !(f.lockBits == kGeometryLockAll || (s.geometryFlags & f.lockBits)))
                continue;
            lock[i] = true;
            if (!s.managed)
                flags[i] = D3DLOCK_NOSYSLOCK | D3DLOCK_DISCARD;
        }
        // A discarded dynamic stream loses all it held: every element of it is written.
        for (int i = 0; i < 2; ++i)
            if (lock[i] && !header->streams[i].managed)
                f.lockBits |= header->streams[i].geometryFlags;
    }

    bool ok = true;
    for (int i = 0; i < 2 && ok; ++i)
        if (lock[i])
            ok = Lock(header->streams[i], header->totalVertexCount, flags[i], &f.data[i]);
    if (ok)
        WriteElements(f);
    for (int i = 0; i < 2; ++i)
        if (f.data[i])
            header->streams[i].vertexBuffer->Unlock();
    return ok ? 1 : 0;
}

int32_t AtomicAllInOneNode::Reinstance(void* object, ResourceEntry* entry, InstanceCallback instance)
{
    auto* atomic = static_cast<Atomic*>(object);
    Geometry* g = atomic->geometry;
    InstanceHeader* header = InstanceData::Header(entry);
    if (g->numMorphTargets == 1)
        return instance(atomic, header, 1) ? 1 : 0;
    if ((atomic->interpolator.flags & kInterpolatorMorphUpdate) || g->lockedSinceInstance)
    {
        const uint16_t saved = g->lockedSinceInstance;
        g->lockedSinceInstance |= kGeometryLockPositions | kGeometryLockNormals;
        const int32_t ok = Instance(atomic, header, 1);
        g->lockedSinceInstance = saved;
        if (!ok)
            return 0;
    }
    return 1;
}

void AtomicAllInOneNode::SetupLightingD3D9(void* object)
{
    auto* atomic = static_cast<Atomic*>(object);
    const Geometry* g = atomic->geometry;
    World* world = CurrentWorld();
    if (!(g->flags & kGeometryLight) || !world)
    {
        D3D9Lights::Apply(0);
        return;
    }
    float* ambient = D3D9Lights::Ambient();
    ambient[0] = ambient[1] = ambient[2] = 0.0f;
    ambient[3] = 1.0f;
    const bool normals = g->flags & kGeometryNormals;
    int32_t used = 0;
    for (ListLink* link = world->globalLights.next; link != &world->globalLights; link = link->next)
    {
        Light* light = Light::FromWorldLink(link);
        if (!(light->object.flags & kLightLightsAtomics))
            continue;
        if (Light::GetType(light) == kLightDirectional)
        {
            if (!normals)
                continue;
            D3D9Lights::AddDirectional(light);
        }
        else
        {
            ambient[0] += light->colour.red;
            ambient[1] += light->colour.green;
            ambient[2] += light->colour.blue;
        }
        used = 1;
    }
    D3D9RenderState::SetRenderState(D3DRS_AMBIENT, used ? 0xFFFFFFFF : 0);

    if (normals)
    {
        Engine* engine = Engine::Current();
        const uint32_t stamp = ++engine->lightFrame;
        const Sphere* sphere = Atomic::GetWorldBoundingSphere(atomic);
        for (ListLink* t = atomic->sectorTies.next; t != &atomic->sectorTies; t = t->next)
        {
            WorldSector* sector = SectorTie::FromObjectLink(t)->sector;
            for (ListLink* l = sector->lightTies.next; l != &sector->lightTies; l = l->next)
            {
                auto* light = static_cast<Light*>(SectorTie::FromSectorLink(l)->object);
                if (light->lightStamp == stamp || !(light->object.flags & kLightLightsAtomics))
                    continue;
                light->lightStamp = stamp;
                if (!light->object.frame)
                    continue;
                const Vector& p = Frame::GetWorldMatrix(light->object.frame)->pos;
                const Vector d = {p.x - sphere->centre.x, p.y - sphere->centre.y, p.z - sphere->centre.z};
                const float reach = light->radius + sphere->radius;
                if (reach * reach > LengthSquared(d))
                    used |= D3D9Lights::AddLocal(light);
            }
        }
    }
    D3D9Lights::Apply(used);
}

int32_t AtomicAllInOneNode::Body(PipelineNode* node, const NodeExecutionParameters* parameters)
{
    auto* atomic = static_cast<Atomic*>(parameters->data);
    Geometry* g = atomic->geometry;
    if (!g || g->numVertices == 0 || !g->meshHeader || g->meshHeader->numMeshes == 0)
        return 1;
    const AllInOneNodeData* callbacks = static_cast<const AllInOneNodeData*>(node->privateData);

    const bool shared = (g->flags & kGeometryNative) || g->numMorphTargets == 1;
    ResourceEntry** reference = shared ? &g->instanceData : &atomic->instanceData;
    void* owner = shared ? static_cast<void*>(g) : static_cast<void*>(atomic);
    ResourceEntry* entry = *reference;

    if (entry && InstanceData::Header(entry)->serialNumber == g->meshHeader->serialNumber)
    {
        if (g->lockedSinceInstance || g->numMorphTargets > 1)
        {
            if (!callbacks->reinstance(atomic, entry, callbacks->instance))
            {
                ResourceArena::Free(entry);
                return 0;
            }
            atomic->interpolator.flags &= ~kInterpolatorMorphUpdate;
            g->lockedSinceInstance = 0;
        }
        ResourceArena::Use(entry);
    }
    else
    {
        if (entry)
            ResourceArena::Free(entry);
        // A native geometry whose native data was never read has meshes without indices:
        // there is nothing to build instance data from.
        if (!MeshesHaveIndices(g->meshHeader))
            return 0;
        entry = InstanceData::Create(atomic, owner, kInstanceAtomic, reference, g->meshHeader, callbacks->instance,
                                     (g->flags & kGeometryInstanceOnly) ? 1 : 0);
        if (!entry)
            return 0;
        g->lockedSinceInstance = 0;
    }
    if (g->flags & kGeometryInstanceOnly)
        return 1;

    callbacks->lighting(atomic);

    const Matrix* world = atomic->object.frame ? Frame::GetWorldMatrix(atomic->object.frame) : nullptr;
    D3D9Device::SetWorldTransform(world);

    DWORD lighting = 0;
    D3D9RenderState::GetRenderState(D3DRS_LIGHTING, &lighting);
    DWORD normalise = 0;
    if (lighting && world && !(world->flags & (kMatrixNormal | kMatrixIdentity)))
    {
        for (const Vector* row : {&world->right, &world->up, &world->at})
        {
            const float l = LengthSquared(*row);
            if (l > 1.1f || l < 0.9f)
                normalise = 1;
        }
    }
    D3D9RenderState::SetRenderState(D3DRS_NORMALIZENORMALS, normalise);

    callbacks->render(entry, atomic, kInstanceAtomic, g->flags);
    return 1;
}
