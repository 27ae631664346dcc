// The skin pipeline's node: instance data for skinned atomics, the choice between hardware
// and processor skinning, the per-frame blend into the instance's own static buffer or into
// the driver's rotating dynamic buffers, and the fixed-function draw.
#include "skinpipeline.h"

#include "skind3d9_local.h"

#include "atomicnode.h"
#include "clump.h"
#include "cpufeature.h"
#include "d3d9device.h"
#include "d3d9renderstate.h"
#include "d3d9vertexbuffer.h"
#include "engine.h"
#include "frame.h"
#include "geometry.h"
#include "hierarchy.h"
#include "instancedata.h"
#include "matrix.h"
#include "pipeline.h"
#include "resourcearena.h"
#include "skin.h"
#include "vertexdeclaration.h"

#include <algorithm>
#include <cstring>

namespace
{

/// How an instance keeps its vertices.
enum SkinMode : uint8_t
{
    kModeStatic = 1,  ///< one stream in the instance's own static buffer (blended in place when skinned)
    kModeRingTwo = 2, ///< blended positions and normals from the rotating buffers, the rest static
    kModeRingOne = 3, ///< every component from the rotating buffers each frame
};

NodeDefinition sDefinition = {
    "D3D9SkinAtomicAllInOne.node",
    SkinPipeline::RenderAtomic,
    nullptr,
    nullptr,
    SkinPipeline::NodeInit,
    nullptr,
    nullptr,
    nullptr,
    0,
    nullptr,
    nullptr,
    0,
    nullptr,
    int32_t(sizeof(SkinNodeData)),
    0,
    0,
};

// Whether the node holds the vertex-shader path; without it nothing is built for hardware.
bool sShaderPath = false;

const D3DCAPS9& Caps()
{
    static const D3DCAPS9 kNone{};
    const D3DCAPS9* caps = D3D9Device::GetCaps();
    return caps ? *caps : kNone;
}

Skin* SkinOf(const Atomic* atomic)
{
    return atomic->geometry ? SkinGeometry::GetSkin(atomic->geometry) : nullptr;
}

bool Blended(const Atomic* atomic)
{
    const Skin* skin = SkinOf(atomic);
    return skin && skin->data && !skin->hardwareSkinned && SkinAtomic::GetSkinHierarchy(atomic) &&
           atomic->geometry->numVertices <= skin->vertexCount;
}

bool HasStaticRest(const Geometry* g)
{
    return (g->flags & kGeometryPrelit && g->prelit) || (g->numTexCoordSets > 0 && g->texCoords[0]);
}

SkinMode ChooseMode(const Atomic* atomic)
{
    if (!Blended(atomic) || SkinPipeline::UseStaticVertexBuffer(atomic))
        return kModeStatic;
    // Two streams need the stream offsets: a base vertex would move both streams at once.
    if ((Caps().DevCaps2 & D3DDEVCAPS2_STREAMOFFSET) && HasStaticRest(atomic->geometry))
        return kModeRingTwo;
    return kModeRingOne;
}

struct Layout
{
    SkinMode mode;
    uint32_t strides[2];
    uint16_t normalOffset;
    uint16_t prelitOffset;
    uint16_t texOffset[kGeometryMaxTexCoordSets];
    uint16_t restStream; ///< the stream of prelit colours and coordinates
    D3DVERTEXELEMENT9 elements[3 + kGeometryMaxTexCoordSets + 1];
};

Layout MakeLayout(const Geometry* g, SkinMode mode)
{
    Layout l{};
    l.mode = mode;
    int32_t n = 0;
    l.elements[n++] = {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0};
    l.strides[0] = 12;
    if (g->flags & kGeometryNormals)
    {
        l.normalOffset = 12;
        l.elements[n++] = {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0};
        l.strides[0] = 24;
    }
    l.restStream = mode == kModeRingTwo ? 1 : 0;
    uint32_t& rest = l.strides[l.restStream];
    if (g->flags & kGeometryPrelit)
    {
        l.prelitOffset = uint16_t(rest);
        l.elements[n++] = {l.restStream, uint16_t(rest), D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0};
        rest += 4;
    }
    for (int32_t s = 0; s < g->numTexCoordSets && s < kGeometryMaxTexCoordSets; ++s)
    {
        l.texOffset[s] = uint16_t(rest);
        l.elements[n++] = {l.restStream, uint16_t(rest), D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, uint8_t(s)};
        rest += 8;
    }
    l.elements[n] = {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0};
    return l;
}

// Positions and normals of the rest pose (morph target 0).
void WriteShape(const Geometry* g, const Layout& l, uint8_t* data)
{
    const MorphTarget& t = g->morphTargets[0];
    VertexDeclaration::WriteVectors(D3DDECLTYPE_FLOAT3, data, t.positions, g->numVertices, int32_t(l.strides[0]));
    if (l.normalOffset && t.normals)
        VertexDeclaration::WriteVectors(D3DDECLTYPE_FLOAT3, data + l.normalOffset, t.normals, g->numVertices,
                                        int32_t(l.strides[0]));
}

void WriteRest(const Geometry* g, const Layout& l, InstanceHeader* header, uint8_t* data)
{
    const int32_t stride = int32_t(l.strides[l.restStream]);
    if ((g->flags & kGeometryPrelit) && g->prelit)
    {
        InstanceMesh* meshes = InstanceHeader::Meshes(header);
        for (uint32_t m = 0; m < header->meshCount; ++m)
        {
            InstanceMesh& mesh = meshes[m];
            if (mesh.minimumVertex + mesh.vertexCount > uint32_t(g->numVertices))
                continue;
            mesh.vertexAlpha = uint32_t(VertexDeclaration::WriteColors(
                data + l.prelitOffset + size_t(mesh.minimumVertex) * size_t(stride),
                reinterpret_cast<const uint8_t*>(g->prelit + mesh.minimumVertex), int32_t(mesh.vertexCount), stride));
        }
    }
    for (int32_t s = 0; s < g->numTexCoordSets && s < kGeometryMaxTexCoordSets; ++s)
        if (g->texCoords[s])
            VertexDeclaration::WriteTexCoords(D3DDECLTYPE_FLOAT2, data + l.texOffset[s], g->texCoords[s],
                                              g->numVertices, stride);
}

bool LockOwn(InstanceStream& s, uint32_t vertices, uint8_t** out)
{
    void* p = nullptr;
    if (FAILED(s.vertexBuffer->Lock(s.offset, s.stride * vertices, &p, D3DLOCK_NOSYSLOCK)) || !p)
        return false;
    *out = static_cast<uint8_t*>(p);
    return true;
}

// Fills the skin's per-instance decisions; whether it is to be skinned in hardware.
bool DecideSkin(Atomic* atomic)
{
    Skin* skin = SkinOf(atomic);
    if (!skin)
        return false;
    skin->bonesPerBatch = skin->splitMeshCount > 0 ? skin->splitBoneLimit : skin->usedBoneCount;
    return sShaderPath && skin->data && atomic->geometry->numVertices <= skin->vertexCount &&
           SkinAtomic::GetSkinHierarchy(atomic) && SkinPipeline::CanSkinInHardware(atomic);
}

SkinMode ModeOf(const InstanceHeader* header)
{
    if (header->streams[0].managed)
        return kModeStatic;
    return header->streams[1].vertexBuffer ? kModeRingTwo : kModeRingOne;
}

// Set on data made for skinning in a vertex shader.
constexpr uint32_t kBuiltForHardware = 1;

// How an atomic's vertices are laid out and skinned: 0 in a vertex shader, else its mode.
int32_t WayOf(const Atomic* atomic, bool hardware)
{
    return hardware ? 0 : int32_t(ChooseMode(atomic));
}

int32_t WayOf(const InstanceHeader* header)
{
    return (header->pipelineFlags & kBuiltForHardware) ? 0 : int32_t(ModeOf(header));
}

int32_t Instance(void* object, InstanceHeader* header, int32_t)
{
    auto* atomic = static_cast<Atomic*>(object);
    Geometry* g = atomic->geometry;
    if (!g || (g->flags & kGeometryNative) || !g->morphTargets || !g->morphTargets[0].positions)
        return 0;
    Skin* skin = SkinOf(atomic);
    if (skin)
    {
        skin->hardwareSkinned = DecideSkin(atomic) ? 1 : 0;
        if (skin->hardwareSkinned)
        {
            header->pipelineFlags |= kBuiltForHardware;
            return SkinInstanceHardware(atomic, header);
        }
    }
    const Layout l = MakeLayout(g, ChooseMode(atomic));
    header->totalVertexCount = uint32_t(g->numVertices);
    if (!D3D9Device::CreateVertexDeclaration(l.elements, &header->vertexDeclaration))
        return 0;
    InstanceStream* streams = header->streams;
    for (int i = 0; i < 2; ++i)
        streams[i].stride = l.strides[i];
    const UINT vertices = header->totalVertexCount;
    InstanceMesh* meshes = InstanceHeader::Meshes(header);
    uint8_t* data = nullptr;
    if (l.mode == kModeStatic)
    {
        UINT offset = 0;
        if (!D3D9VertexBuffer::Create(l.strides[0], l.strides[0] * vertices, &streams[0].vertexBuffer, &offset))
            return 0;
        streams[0].offset = offset;
        streams[0].managed = 1;
        for (uint32_t m = 0; m < header->meshCount; ++m)
            meshes[m].baseIndex = offset / l.strides[0] + meshes[m].minimumVertex;
        if (!LockOwn(streams[0], vertices, &data))
            return 0;
        WriteShape(g, l, data);
        WriteRest(g, l, header, data);
        streams[0].vertexBuffer->Unlock();
        return 1;
    }
    // The first stream comes from the rotating buffers at draw time.
    streams[0].dynamicLock = 1;
    if (l.mode == kModeRingTwo)
    {
        UINT offset = 0;
        if (!D3D9VertexBuffer::Create(l.strides[1], l.strides[1] * vertices, &streams[1].vertexBuffer, &offset))
            return 0;
        streams[1].offset = offset;
        streams[1].managed = 1;
        header->useOffsets = 1;
        for (uint32_t m = 0; m < header->meshCount; ++m)
            meshes[m].baseIndex = meshes[m].minimumVertex;
        if (!LockOwn(streams[1], vertices, &data))
            return 0;
        WriteRest(g, l, header, data);
        streams[1].vertexBuffer->Unlock();
    }
    return 1;
}

// Positions and normals blended for this frame into the locked vertices.
void Blend(Atomic* atomic, Skin* skin, uint8_t* data, uint32_t stride, bool normals)
{
    Hierarchy* hierarchy = SkinAtomic::GetSkinHierarchy(atomic);
    const int32_t sse = CpuFeature::GetEngineSse();
    const Matrix* palette = sse ? SkinPipeline::BuildPaletteSSE(atomic, skin, hierarchy)
                                : SkinPipeline::BuildPaletteX87(atomic, skin, hierarchy);
    if (!palette)
        return;
    const Geometry* g = atomic->geometry;
    const SkinBlendStreams streams = {g->morphTargets[0].positions,
                                      normals ? g->morphTargets[0].normals : nullptr,
                                      skin->vertexBoneIndices,
                                      skin->vertexWeights,
                                      g->numVertices,
                                      data,
                                      stride};
    const SkinBlendCase blendCase = SkinBlend::Choose(skin);
    SkinBlend::Get(blendCase, sse)(streams, palette, skin->usedBoneCount > 0 ? skin->usedBones[0] : 0);
}

void RenderFixedFunction(const SkinNodeData* callbacks, ResourceEntry* entry, Atomic* atomic)
{
    callbacks->lighting(atomic);
    const Matrix* world = atomic->object.frame ? Frame::GetWorldMatrix(atomic->object.frame) : nullptr;
    D3D9Device::SetWorldTransform(world);
    DWORD lighting = 0;
    D3D9RenderState::GetRenderState(D3DRS_LIGHTING, &lighting);
    DWORD normalise = 0;
    if (lighting)
    {
        if (SkinPlugin::GetCaps().hardwareVertexProcessing)
            normalise = 1;
        else if (world && !(world->flags & (kMatrixNormal | kMatrixIdentity)))
            for (const Vector* row : {&world->right, &world->up, &world->at})
            {
                const float l = row->x * row->x + row->y * row->y + row->z * row->z;
                if (l > 1.1f || l < 0.9f)
                    normalise = 1;
            }
    }
    D3D9RenderState::SetRenderState(D3DRS_NORMALIZENORMALS, normalise);
    // The geometry's flags, not the lighting flag: the render callback reads prelit and
    // colour modulation from them and takes lighting from the device state itself.
    callbacks->render(entry, atomic, kInstanceAtomic, atomic->geometry->flags);
}

} // namespace

Pipeline* SkinPipeline::Create()
{
    Pipeline* pipeline = Pipeline::Create();
    if (!pipeline)
        return nullptr;
    pipeline->pluginId = Skin::kPluginId;
    pipeline->pluginData = 1;
    NodeDefinition* const chain[] = {&sDefinition, nullptr};
    if (!Pipeline::Lock(pipeline) || !Pipeline::AppendNodes(pipeline, nullptr, chain) || !Pipeline::Unlock(pipeline))
    {
        Pipeline::Destroy(pipeline);
        return nullptr;
    }
    return pipeline;
}

int32_t SkinPipeline::NodeInit(PipelineNode* node)
{
    auto* data = static_cast<SkinNodeData*>(node->privateData);
    std::memset(data, 0, sizeof(*data));
    data->render = AllInOneNode::DefaultRender;
    data->lighting = AtomicAllInOneNode::SetupLightingD3D9;
    sShaderPath = SkinPlugin::GetCaps().hardwareSkinning != 0;
    if (sShaderPath)
        SkinFillShaderPath(data);
    return 1;
}

bool SkinPipeline::CanSkinInHardware(const Atomic* atomic)
{
    const SkinDeviceCaps& caps = SkinPlugin::GetCaps();
    const Skin* skin = atomic ? SkinOf(atomic) : nullptr;
    return caps.hardwareVertexProcessing && caps.hardwareSkinning && skin &&
           skin->bonesPerBatch <= caps.hardwareBoneLimit;
}

bool SkinPipeline::UseStaticVertexBuffer(const Atomic* atomic)
{
    return !SkinPlugin::GetCaps().hardwareVertexProcessing || CanSkinInHardware(atomic);
}

int32_t SkinPipeline::RenderAtomic(PipelineNode* node, const NodeExecutionParameters* parameters)
{
    auto* atomic = static_cast<Atomic*>(parameters->data);
    Geometry* g = atomic->geometry;
    if (!g || g->numVertices == 0 || !g->meshHeader || g->meshHeader->numMeshes == 0)
        return 1;
    const auto* callbacks = static_cast<const SkinNodeData*>(node->privateData);

    Skin* skin = SkinOf(atomic);
    const bool hardware = DecideSkin(atomic);
    if (skin)
        skin->hardwareSkinned = hardware ? 1 : 0;
    const int32_t way = WayOf(atomic, hardware);
    const uint32_t renderFrame = Engine::Current()->renderFrame;
    bool shared = g->numMorphTargets == 1;
    // Atomics sharing a geometry may skin it differently (one bound to a skeleton, one not):
    // when the geometry's data already served another way in this render, this atomic keeps
    // data of its own instead of rebuilding the geometry's at every draw.
    if (shared && skin && g->instanceData && skin->sharedRenderFrame == renderFrame &&
        WayOf(InstanceData::Header(g->instanceData)) != way)
        shared = false;
    ResourceEntry** reference = shared ? &g->instanceData : &atomic->instanceData;
    void* owner = shared ? static_cast<void*>(g) : static_cast<void*>(atomic);
    ResourceEntry* entry = *reference;
    // Rebuilt for new meshes, edited vertices, or a change of where the vertices live or who
    // blends them (a hierarchy bound since, or other capabilities).
    if (entry && (InstanceData::Header(entry)->serialNumber != g->meshHeader->serialNumber || g->lockedSinceInstance ||
                  WayOf(InstanceData::Header(entry)) != way))
    {
        ResourceArena::Free(entry);
        entry = nullptr;
    }
    if (entry)
        ResourceArena::Use(entry);
    else
    {
        entry = InstanceData::Create(atomic, owner, kInstanceAtomic, reference, g->meshHeader, Instance, 0);
        if (!entry)
            return 0;
        g->lockedSinceInstance = 0;
    }
    if (shared && skin)
        skin->sharedRenderFrame = renderFrame;
    InstanceHeader* header = InstanceData::Header(entry);
    if (Blended(atomic))
    {
        const SkinMode mode = ModeOf(header);
        InstanceStream& s0 = header->streams[0];
        uint8_t* data = nullptr;
        if (mode == kModeStatic)
        {
            if (!LockOwn(s0, header->totalVertexCount, &data))
                return 0;
        }
        else
        {
            IDirect3DVertexBuffer9* buffer = nullptr;
            void* p = nullptr;
            UINT base = 0;
            if (!D3D9DynamicVertexBuffer::Lock(s0.stride, header->totalVertexCount, &buffer, &p, &base))
                return 0;
            data = static_cast<uint8_t*>(p);
            s0.vertexBuffer = buffer;
            s0.offset = base * s0.stride;
            s0.managed = 0;
            s0.dynamicLock = 1;
            if (!header->useOffsets)
            {
                InstanceMesh* meshes = InstanceHeader::Meshes(header);
                for (uint32_t m = 0; m < header->meshCount; ++m)
                    meshes[m].baseIndex = meshes[m].minimumVertex + base;
            }
            if (mode == kModeRingOne)
                WriteRest(g, MakeLayout(g, kModeRingOne), header, data);
        }
        Blend(atomic, skin, data, s0.stride, (g->flags & kGeometryNormals) && g->morphTargets[0].normals);
        if (mode == kModeStatic)
            s0.vertexBuffer->Unlock();
        else
            D3D9DynamicVertexBuffer::Unlock(s0.vertexBuffer);
    }
    atomic->interpolator.flags &= ~kInterpolatorMorphUpdate;
    if (g->flags & kGeometryInstanceOnly)
        return 1;
    if (skin && skin->hardwareSkinned && callbacks->beginDescriptor && SkinAtomic::GetSkinHierarchy(atomic))
        SkinRenderHardware(callbacks, entry, atomic);
    else
        RenderFixedFunction(callbacks, entry, atomic);
    return 1;
}
