// The skin pipeline's hardware half: the vertex layout of a geometry blended in a vertex
// shader (packed normals, blend weights and remapped bone indices in the types the device
// takes), and the draw that uploads the palette as constants and hands each mesh to a
// generated shader.
#include "skinpipeline.h"

#include "skind3d9_local.h"

#include "atomicnode.h"
#include "clump.h"
#include "d3d9device.h"
#include "d3d9renderstate.h"
#include "d3d9vertexbuffer.h"
#include "device.h"
#include "frame.h"
#include "geometry.h"
#include "hierarchy.h"
#include "material.h"
#include "skin.h"
#include "vertexdeclaration.h"
#include "vertexshader.h"
#include "worldd3d9.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace
{

const D3DCAPS9& Caps()
{
    static const D3DCAPS9 kNone{};
    const D3DCAPS9* caps = D3D9Device::GetCaps();
    return caps ? *caps : kNone;
}

// ---- Layout -----------------------------------------------------------------------------------

struct Element
{
    uint16_t stream;
    uint16_t offset;
    uint8_t type;
    bool present;
};

struct Layout
{
    int32_t numStreams = 1;
    uint32_t strides[2] = {0, 0};
    Element position{}, normal{}, tangent{}, prelit{}, weights{}, indices{};
    Element texCoords[kGeometryMaxTexCoordSets]{};
    D3DVERTEXELEMENT9 elements[8 + kGeometryMaxTexCoordSets]{};
    int32_t count = 0;
};

uint8_t PackedVectorType()
{
    return (Caps().DeclTypes & D3DDTCAPS_DEC3N) ? D3DDECLTYPE_DEC3N : D3DDECLTYPE_FLOAT3;
}

bool HasTexCoords(const Geometry* g)
{
    return g->numTexCoordSets > 0 && g->texCoords[0];
}

Layout MakeLayout(const Geometry* g, const Skin* skin)
{
    const uint32_t vsFlags = VertexShaderFlags::Get(g);
    Layout l;
    // Components another plug-in rewrites every frame go to a stream of their own.
    l.numStreams = (vsFlags & 0xFFF) ? 2 : 1;
    const int32_t last = l.numStreams - 1;
    auto add = [&](Element* e, uint32_t bit, uint8_t type, uint8_t usage, uint8_t index, int32_t forced = -1)
    {
        const uint16_t stream = forced >= 0 ? uint16_t(forced) : (l.numStreams == 1 || (vsFlags & bit)) ? 0 : 1;
        *e = {stream, uint16_t(l.strides[stream]), type, true};
        l.elements[l.count++] = {stream, e->offset, type, 0, usage, index};
        l.strides[stream] += uint32_t(VertexDeclaration::GetTypeSize(type));
    };
    add(&l.position, kVsFlagPositions, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
    if (g->flags & kGeometryNormals)
        add(&l.normal, kVsFlagNormals, PackedVectorType(), D3DDECLUSAGE_NORMAL, 0);
    if ((vsFlags & kVsFlagTangents) && HasTexCoords(g))
        add(&l.tangent, 0, PackedVectorType(), D3DDECLUSAGE_TANGENT, 0, (vsFlags & 0xFFE) ? 0 : last);
    if (g->flags & kGeometryPrelit)
        add(&l.prelit, kVsFlagPrelit, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    for (int32_t s = 0; s < g->numTexCoordSets && s < kGeometryMaxTexCoordSets; ++s)
    {
        const uint8_t type = g->texCoords[s]
                                 ? uint8_t(VertexDeclaration::ChooseTexCoordType(g->texCoords[s], g->numVertices))
                                 : uint8_t(D3DDECLTYPE_FLOAT2);
        add(&l.texCoords[s], kVsFlagTexCoords0 << s, type, D3DDECLUSAGE_TEXCOORD, uint8_t(s));
    }
    const uint32_t declTypes = Caps().DeclTypes;
    const int32_t weightType = SkinPipeline::ChooseWeightType(skin->maxWeights, declTypes);
    if (weightType != D3DDECLTYPE_UNUSED)
        add(&l.weights, 0, uint8_t(weightType), D3DDECLUSAGE_BLENDWEIGHT, 0, last);
    add(&l.indices, 0, uint8_t(SkinPipeline::ChooseIndexType(skin->maxWeights, declTypes)), D3DDECLUSAGE_BLENDINDICES,
        0, last);
    std::sort(l.elements, l.elements + l.count,
              [](const D3DVERTEXELEMENT9& a, const D3DVERTEXELEMENT9& b)
              { return a.Stream != b.Stream ? a.Stream < b.Stream : a.Offset < b.Offset; });
    l.elements[l.count] = {0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0};
    return l;
}

bool MakeBuffers(const Layout& l, Geometry* g, InstanceHeader* header)
{
    const bool streamOffsets = Caps().DevCaps2 & D3DDEVCAPS2_STREAMOFFSET;
    InstanceMesh* meshes = InstanceHeader::Meshes(header);
    for (int32_t i = 0; i < l.numStreams; ++i)
    {
        InstanceStream& s = header->streams[i];
        s.stride = l.strides[i];
        const UINT size = s.stride * header->totalVertexCount;
        // One stream, or the static second stream a stream offset can place: a range of a
        // shared static buffer. The per-frame stream, or any stream without stream offsets:
        // a dynamic buffer of the instance's own.
        if (l.numStreams == 1 || (i == 1 && streamOffsets))
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
            s.offset = 0;
            s.managed = 0;
        }
    }
    header->useOffsets = l.numStreams == 2 && streamOffsets ? 1 : 0;
    const uint32_t shift = l.numStreams == 1 ? header->streams[0].offset / header->streams[0].stride : 0;
    for (uint32_t m = 0; m < header->meshCount; ++m)
        meshes[m].baseIndex = meshes[m].minimumVertex + shift;
    if (l.numStreams == 2)
        InstanceList::AddGeometry(g);
    return true;
}

bool Lock(InstanceStream& s, uint32_t vertices, uint8_t** out)
{
    void* p = nullptr;
    const UINT size = s.stride * vertices;
    const HRESULT hr = s.managed ? s.vertexBuffer->Lock(s.offset, size, &p, D3DLOCK_NOSYSLOCK)
                                 : s.vertexBuffer->Lock(0, size, &p, D3DLOCK_DISCARD);
    if (FAILED(hr) || !p)
        return false;
    *out = static_cast<uint8_t*>(p);
    return true;
}

// Every component of every vertex, weights and remapped bone indices included.
void WriteAll(Atomic* atomic, Skin* skin, const Layout& l, InstanceHeader* header, uint8_t* const data[2])
{
    Geometry* g = atomic->geometry;
    const int32_t count = g->numVertices;
    const MorphTarget& t = g->morphTargets[0];
    auto at = [&](const Element& e) { return data[e.stream] + e.offset; };
    auto stride = [&](const Element& e) { return int32_t(header->streams[e.stream].stride); };

    VertexDeclaration::WriteVectors(D3DDECLTYPE_FLOAT3, at(l.position), t.positions, count, stride(l.position));
    if (l.normal.present && t.normals)
        VertexDeclaration::WriteVectors(l.normal.type, at(l.normal), t.normals, count, stride(l.normal));
    if (l.tangent.present)
        VertexDeclaration::WriteTangents(l.tangent.type, at(l.tangent), t.positions, g->texCoords[0], header,
                                         stride(l.tangent));
    if (l.prelit.present && g->prelit)
    {
        InstanceMesh* meshes = InstanceHeader::Meshes(header);
        for (uint32_t m = 0; m < header->meshCount; ++m)
        {
            InstanceMesh& mesh = meshes[m];
            if (mesh.minimumVertex + mesh.vertexCount > uint32_t(count))
                continue;
            mesh.vertexAlpha = uint32_t(
                VertexDeclaration::WriteColors(at(l.prelit) + size_t(mesh.minimumVertex) * size_t(stride(l.prelit)),
                                               reinterpret_cast<const uint8_t*>(g->prelit + mesh.minimumVertex),
                                               int32_t(mesh.vertexCount), stride(l.prelit)));
        }
    }
    for (int32_t s = 0; s < g->numTexCoordSets && s < kGeometryMaxTexCoordSets; ++s)
        if (l.texCoords[s].present && g->texCoords[s])
            VertexDeclaration::WriteTexCoords(l.texCoords[s].type, at(l.texCoords[s]), g->texCoords[s], count,
                                              stride(l.texCoords[s]));
    if (l.weights.present)
    {
        // A first weight above 1 means the first bone alone; the shader sums every weight, so
        // the skin itself is made to say so.
        for (int32_t v = 0; v < skin->vertexCount; ++v)
        {
            float* w = skin->vertexWeights + 4 * v;
            if (w[0] > 1.0f)
                w[0] = 1.0f, w[1] = w[2] = w[3] = 0.0f;
        }
        VertexDeclaration::WriteWeights(l.weights.type, at(l.weights), skin->vertexWeights, count, stride(l.weights));
    }
    uint8_t remap[256];
    const Hierarchy* hierarchy = SkinAtomic::GetSkinHierarchy(atomic);
    SkinPipeline::BuildBoneRemap(skin, hierarchy ? hierarchy->nodeCount : 0, SkinPlugin::GetCaps().hardwareBoneLimit,
                                 remap);
    VertexDeclaration::WriteBoneIndices(l.indices.type, at(l.indices),
                                        reinterpret_cast<const uint8_t*>(skin->vertexBoneIndices), remap, count,
                                        stride(l.indices));
}

// ---- Drawing ----------------------------------------------------------------------------------

constexpr int32_t kConstantFile = 256;

// c0-c3 and the lights from c4; the colours as gathered, and scaled for the current material.
float sConstants[kConstantFile][4];
float sScaled[kConstantFile][4];

void DrawMeshWithShader(const InstanceHeader* header, const InstanceMesh* mesh, const VertexShaderDescriptor*,
                        const VertexShaderRegisters*)
{
    VertexShader::DrawMesh(header, mesh);
}

void EndNothing(const Atomic*) {}

struct BoneUpload
{
    IDirect3DDevice9* device;
    const float* palette;
    int32_t base;
    int32_t nodes;
    int32_t maxConstants;

    // count bones from node first into the registers from base + offset; bones without a
    // node or beyond the constant file are left out.
    void Send(int32_t offset, int32_t first, int32_t count) const
    {
        count = std::min({count, nodes - first, (maxConstants - base - offset) / 3});
        if (first < 0 || count <= 0)
            return;
        device->SetVertexShaderConstantF(UINT(base + offset), palette + 12 * first, UINT(3 * count));
    }
};

// Runs of consecutive bone numbers of the used-bone list; byPosition places a bone at its
// position in the list, else at its number.
void SendUsedRuns(const BoneUpload& up, const Skin* skin, bool byPosition)
{
    const int32_t used = skin->usedBoneCount;
    for (int32_t i = 0; i < used;)
    {
        int32_t j = i;
        while (j + 1 < used && skin->usedBones[j + 1] == skin->usedBones[j] + 1)
            ++j;
        const int32_t first = skin->usedBones[i];
        up.Send(3 * (byPosition ? i : first), first, j - i + 1);
        i = j + 1;
    }
}

void SendSplitRuns(const BoneUpload& up, const Skin* skin, uint32_t mesh)
{
    if (int32_t(mesh) >= skin->splitMeshCount || !skin->meshRuns || !skin->boneRuns)
        return;
    const int32_t firstRun = skin->meshRuns[2 * mesh], runs = skin->meshRuns[2 * mesh + 1];
    for (int32_t r = firstRun; r < firstRun + runs && r < skin->splitRunCount; ++r)
    {
        const int32_t first = skin->boneRuns[2 * r], count = skin->boneRuns[2 * r + 1];
        for (int32_t b = first; b < first + count && b < skin->boneCount; ++b)
            if (skin->splitBlock[b] != 0xFF)
                up.Send(3 * skin->splitBlock[b], b, 1);
    }
}

} // namespace

// ---- Choices ----------------------------------------------------------------------------------

int32_t SkinPipeline::ChooseWeightType(int32_t maxWeights, uint32_t declTypes)
{
    struct Choice
    {
        uint32_t cap;
        int32_t type;
    };
    static const Choice kTwo[] = {{D3DDTCAPS_USHORT2N, D3DDECLTYPE_USHORT2N},
                                  {D3DDTCAPS_SHORT2N, D3DDECLTYPE_SHORT2N},
                                  {D3DDTCAPS_DEC3N, D3DDECLTYPE_DEC3N},
                                  {D3DDTCAPS_UBYTE4N, D3DDECLTYPE_UBYTE4N}};
    static const Choice kThree[] = {{D3DDTCAPS_DEC3N, D3DDECLTYPE_DEC3N},
                                    {D3DDTCAPS_USHORT4N, D3DDECLTYPE_USHORT4N},
                                    {D3DDTCAPS_SHORT4N, D3DDECLTYPE_SHORT4N},
                                    {D3DDTCAPS_UBYTE4N, D3DDECLTYPE_UBYTE4N}};
    static const Choice kFour[] = {{D3DDTCAPS_USHORT4N, D3DDECLTYPE_USHORT4N},
                                   {D3DDTCAPS_SHORT4N, D3DDECLTYPE_SHORT4N},
                                   {D3DDTCAPS_UBYTE4N, D3DDECLTYPE_UBYTE4N}};
    if (maxWeights <= 1)
        return D3DDECLTYPE_UNUSED;
    const Choice* list = maxWeights == 2 ? kTwo : maxWeights == 3 ? kThree : kFour;
    const int32_t n = maxWeights >= 4 ? 3 : 4;
    for (int32_t i = 0; i < n; ++i)
        if (declTypes & list[i].cap)
            return list[i].type;
    return D3DDECLTYPE_D3DCOLOR; // every device reads colours
}

int32_t SkinPipeline::ChooseIndexType(int32_t maxWeights, uint32_t declTypes)
{
    if (maxWeights < 3)
        return D3DDECLTYPE_SHORT2;
    return (declTypes & D3DDTCAPS_UBYTE4) ? D3DDECLTYPE_UBYTE4 : D3DDECLTYPE_SHORT4;
}

void SkinPipeline::BuildBoneRemap(const Skin* skin, int32_t nodeCount, int32_t boneLimit, uint8_t* remap)
{
    std::memset(remap, 0, 256);
    auto slot = [](int32_t s) { return s >= 0 && 3 * s <= 255 ? uint8_t(3 * s) : uint8_t(0); };
    if (skin->splitMeshCount > 0 && skin->splitBlock)
    {
        for (int32_t b = 0; b < skin->boneCount && b < 256; ++b)
            if (skin->splitBlock[b] != 0xFF)
                remap[b] = slot(skin->splitBlock[b]);
    }
    else if (nodeCount > boneLimit)
    {
        for (int32_t i = 0; i < skin->usedBoneCount; ++i)
            remap[skin->usedBones[i]] = slot(i);
    }
    else
        for (int32_t b = 0; b < 256; ++b)
            remap[b] = slot(b);
}

int32_t SkinPipeline::CountBoneRegisters(const Skin* skin, int32_t nodeCount, int32_t boneLimit)
{
    if (skin->splitMeshCount > 0 || nodeCount > boneLimit)
        return 3 * skin->bonesPerBatch;
    return 3 * std::min(nodeCount, 256);
}

namespace
{

bool DropOneLight(VertexShaderDescriptor* d)
{
    if (d->spotsAndSets & 0x0F)
        --d->spotsAndSets;
    else if (d->lights & 0xF0)
        d->lights = uint8_t(d->lights - 0x10);
    else if (d->lights & 0x0F)
        --d->lights;
    else if (d->fogAndEffect & 3)
        d->fogAndEffect &= uint8_t(~3u);
    else
        return false;
    return true;
}

} // namespace

void SkinPipeline::FitDescriptor(VertexShaderDescriptor* descriptor, int32_t boneRegisters, int32_t maxConstants)
{
    // The light counts go in the order the generator packs them; with nothing left the
    // shader is taken as it is rather than looping for ever.
    while (maxConstants < VertexShader::CountConstants(descriptor) + boneRegisters && DropOneLight(descriptor))
    {
    }
}

void SkinPipeline::BeginShaderDescriptor(const Atomic* atomic, VertexShaderDescriptor* d)
{
    *d = {};
    const Geometry* g = atomic->geometry;
    d->spotsAndSets = uint8_t(std::clamp(g->numTexCoordSets, 0, 15) << 4);
    if (g->flags & kGeometryPrelit)
        d->flags |= kVsPrelit;
    if (g->flags & kGeometryNormals)
        d->flags |= kVsNormals;
    if (g->flags & kGeometryModulateMaterialColor)
        d->flags |= kVsMaterialColour;
    intptr_t fog = 0, type = 0;
    if (D3D9Device::GetEngineRenderState(kRenderStateFog, &fog) && fog &&
        D3D9Device::GetEngineRenderState(kRenderStateFogType, &type) && type >= 1 && type <= 3)
        d->fogAndEffect = uint8_t(type);
}

// ---- Node hooks --------------------------------------------------------------------------------

void SkinFillShaderPath(SkinNodeData* data)
{
    data->beginDescriptor = SkinPipeline::BeginShaderDescriptor;
    data->lightingConstants = VertexShader::GatherLights;
    data->findShader = VertexShaderCache::Lookup;
    data->renderMesh = DrawMeshWithShader;
    data->end = EndNothing;
}

int32_t SkinInstanceHardware(Atomic* atomic, InstanceHeader* header)
{
    Geometry* g = atomic->geometry;
    Skin* skin = SkinGeometry::GetSkin(g);
    const Layout l = MakeLayout(g, skin);
    header->totalVertexCount = uint32_t(g->numVertices);
    if (!D3D9Device::CreateVertexDeclaration(l.elements, &header->vertexDeclaration))
        return 0;
    if (!MakeBuffers(l, g, header))
        return 0;
    uint8_t* data[2] = {nullptr, nullptr};
    for (int32_t i = 0; i < l.numStreams; ++i)
        if (!Lock(header->streams[i], header->totalVertexCount, &data[i]))
        {
            if (i == 1)
                header->streams[0].vertexBuffer->Unlock();
            return 0;
        }
    WriteAll(atomic, skin, l, header, data);
    for (int32_t i = 0; i < l.numStreams; ++i)
        header->streams[i].vertexBuffer->Unlock();
    return 1;
}

void SkinRenderHardware(const SkinNodeData* callbacks, ResourceEntry* entry, Atomic* atomic)
{
    IDirect3DDevice9* device = D3D9Device::GetDevice();
    if (!device)
        return;
    InstanceHeader* header = InstanceData::Header(entry);
    const Skin* skin = SkinGeometry::GetSkin(atomic->geometry);
    const Hierarchy* hierarchy = SkinAtomic::GetSkinHierarchy(atomic);
    const SkinDeviceCaps& caps = SkinPlugin::GetCaps();

    VertexShaderDescriptor gathered;
    callbacks->beginDescriptor(atomic, &gathered);
    gathered.flags = uint8_t((gathered.flags & ~0x0Eu) | (uint32_t(std::clamp(skin->maxWeights, 1, 4)) << 1));

    D3D9RenderState::SetRenderState(D3DRS_CLIPPING, 1);
    VertexShader::SetWorldMatrix(atomic->object.frame ? Frame::GetWorldMatrix(atomic->object.frame) : nullptr);
    VertexShader::GetWorldViewProjection(sConstants[0]);
    device->SetVertexShaderConstantF(0, sConstants[0], 4);
    float(*end)[4] = callbacks->lightingConstants(atomic, kInstanceAtomic, sConstants + 4, &gathered);
    const int32_t lightRegisters = int32_t(std::clamp<std::ptrdiff_t>(end - (sConstants + 4), 1, kConstantFile - 4));

    const BoneUpload up = {device, SkinPipeline::BuildPaletteHardware(SkinPlugin::GetPalette(), atomic, skin), 0,
                           std::min(hierarchy->nodeCount, 256), std::min(caps.maxVertexShaderConstants, kConstantFile)};
    if (!up.palette)
        return;
    const int32_t boneRegisters = SkinPipeline::CountBoneRegisters(skin, hierarchy->nodeCount, caps.hardwareBoneLimit);
    const bool split = skin->splitMeshCount > 0 && skin->splitBlock;

    if (header->indexBuffer)
        D3D9Device::SetIndices(header->indexBuffer);
    D3D9StreamDescriptor streams{};
    for (int i = 0; i < 2; ++i)
        streams.streams[i] = {header->streams[i].vertexBuffer, header->streams[i].offset, header->streams[i].stride, 0};
    D3D9Device::SetStreams(&streams, int32_t(header->useOffsets));
    D3D9Device::SetVertexDeclaration(header->vertexDeclaration);

    int32_t boneBase = -1, colourRegister = -1, fogRegister = -1;
    uint32_t colourSent = 0, lightKey = 0;
    float ambient = -1.0f, diffuse = -1.0f;
    InstanceMesh* meshes = InstanceHeader::Meshes(header);
    for (uint32_t m = 0; m < header->meshCount; ++m)
    {
        InstanceMesh& mesh = meshes[m];
        Material* material = mesh.material;
        static const Rgba kWhite = {255, 255, 255, 255};
        const Rgba& colour = material ? material->colour : kWhite;
        D3D9RenderState::SetVertexAlphaEnable(colour.alpha < 255 || mesh.vertexAlpha);

        // Lights give way to the bones, in the generator's order of its light counts.
        VertexShaderDescriptor d = gathered;
        SkinPipeline::FitDescriptor(&d, boneRegisters, up.maxConstants);
        VertexShaderRegisters registers{};
        mesh.vertexShader = callbacks->findShader(material, &d, &registers);
        if (!mesh.vertexShader)
            continue;

        const float a = material ? material->surface.ambient : 1.0f;
        const float f = material ? material->surface.diffuse : 1.0f;
        if (a != ambient || f != diffuse || d.Key() != lightKey)
        {
            std::memcpy(sScaled, sConstants + 4, sizeof(float[4]) * size_t(lightRegisters));
            VertexShader::ScaleLightColors(sScaled, &d, a, f);
            ambient = a;
            diffuse = f;
            lightKey = d.Key();
        }
        // The colour goes again when it differs, not only when its register moves: meshes of
        // one shader share the register.
        uint32_t packed;
        std::memcpy(&packed, &colour, sizeof(packed));
        if (registers.materialColour != colourRegister || packed != colourSent)
        {
            VertexShader::SetColorConstant(&colour.red, &registers);
            colourRegister = registers.materialColour;
            colourSent = packed;
        }
        if (registers.fog != fogRegister)
        {
            VertexShader::SetFogConstants(&d, &registers);
            fogRegister = registers.fog;
        }

        BoneUpload bones = up;
        bones.base = registers.bones;
        if (split)
            SendSplitRuns(bones, skin, m);
        else if (registers.bones != boneBase)
        {
            if (hierarchy->nodeCount > caps.hardwareBoneLimit)
                SendUsedRuns(bones, skin, true);
            else if (skin->usedBoneCount < hierarchy->nodeCount)
                SendUsedRuns(bones, skin, false);
            else
                bones.Send(0, 0, bones.nodes);
        }
        boneBase = registers.bones;
        callbacks->renderMesh(header, &mesh, &d, &registers);
    }
    callbacks->end(atomic);
}
