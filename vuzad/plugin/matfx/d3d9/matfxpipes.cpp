// The material-effect pipelines on Direct3D 9: creation at engine start (pipelines, device
// capabilities, pixel shaders), the instance callbacks, the per-object render callback that
// dispatches each mesh by its material's effect kind, and the plain renderer.
#include "matfx.h"

#include "atomicnode.h"
#include "clump.h"
#include "d3d9device.h"
#include "d3d9renderstate.h"
#include "d3dx9.h"
#include "frame.h"
#include "geometry.h"
#include "material.h"
#include "matfxd3d9_local.h"
#include "matrix.h"
#include "pipeline.h"
#include "sectornode.h"
#include "texture.h"
#include "world.h"
#include "worldd3d9.h"

#include <cmath>
#include <cstring>

namespace
{

MatFxState sState{};

constexpr const char* kAtomicNodeName = "D3D9AtomicAllInOne.node";
constexpr const char* kSectorNodeName = "D3D9WorldSectorAllInOne.node";

// A copy of the all-in-one pipeline of one object type whose node renders through us. The
// node's own instance callback goes to previous.
Pipeline* CreatePipeline(NodeDefinition* definition, InstanceCallback instance, InstanceCallback* previous)
{
    Pipeline* pipeline = Pipeline::Create();
    if (!pipeline)
        return nullptr;
    pipeline->pluginId = MatFx::kPluginId;
    NodeDefinition* const chain[] = {definition, nullptr};
    if (!Pipeline::Lock(pipeline) || !Pipeline::AppendNodes(pipeline, nullptr, chain) || !Pipeline::Unlock(pipeline))
    {
        Pipeline::Destroy(pipeline);
        return nullptr;
    }
    PipelineNode* node = Pipeline::FindNode(pipeline, definition->name, nullptr, nullptr);
    if (!node)
    {
        Pipeline::Destroy(pipeline);
        return nullptr;
    }
    *previous = AllInOneNode::GetInstanceCallback(node);
    AllInOneNode::SetInstanceCallback(node, instance);
    AllInOneNode::SetRenderCallback(node, MatFx::RenderCallback);
    return pipeline;
}

void ReadCaps()
{
    MatFxDeviceCaps& caps = sState.caps;
    caps = {};
    const D3DCAPS9* d = D3D9Device::GetCaps();
    if (!d)
        return;
    caps.blendStages = int32_t(d->MaxTextureBlendStages);
    if (caps.blendStages < 2)
    {
        // One stage: every multi-texture effect takes its passes; nothing is left to check.
        sState.modulate2x = kMatFxRefused;
        sState.addEnv = kMatFxRefused;
        return;
    }
    caps.multiTexture = d->MaxSimultaneousTextures > 1 ? 1 : 0;
    caps.multiplyAdd = (d->TextureOpCaps & D3DTEXOPCAPS_MULTIPLYADD) ? 1 : 0;
    caps.modulate2x = (d->TextureOpCaps & D3DTEXOPCAPS_MODULATE2X) ? 1 : 0;
}

void CreateShaders()
{
    const D3DCAPS9* d = D3D9Device::GetCaps();
    if (!d || d->PixelShaderVersion < D3DPS_VERSION(1, 1))
        return;
    for (int32_t i = 0; i < kMatFxShaderCount; ++i)
    {
        const char* text = kMatFxPixelShaderText[i];
        ID3DXBuffer* tokens = nullptr;
        if (D3DXAssembleShader(text, UINT(std::strlen(text)), nullptr, nullptr, 0, &tokens, nullptr) >= 0 && tokens)
            D3D9Device::CreatePixelShader(static_cast<const DWORD*>(tokens->GetBufferPointer()), &sState.shaders[i]);
        if (tokens)
            tokens->Release();
    }
}

// Whether a mesh of the header is bump-mapped: its vertices then need tangents.
bool WantsTangents(InstanceHeader* header)
{
    if (!sState.shaders[kMatFxShaderBump])
        return false;
    const InstanceMesh* meshes = InstanceHeader::Meshes(header);
    for (uint32_t m = 0; m < header->meshCount; ++m)
    {
        const int32_t kind = MatFx::GetKind(meshes[m].material);
        if (kind == kMatFxBumpMap || kind == kMatFxBumpEnvMap)
            return true;
    }
    return false;
}

bool Lit()
{
    DWORD lighting = 0;
    D3D9RenderState::GetRenderState(D3DRS_LIGHTING, &lighting);
    return lighting != 0;
}

void RenderUnlit(InstanceHeader* header)
{
    D3D9RenderState::SetTexture(static_cast<const Texture*>(nullptr), 0);
    D3D9RenderState::SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000000);
    matfx::StageBoth(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_TFACTOR);
    InstanceMesh* meshes = InstanceHeader::Meshes(header);
    for (uint32_t m = 0; m < header->meshCount; ++m)
        MatFx::DrawMesh(header, &meshes[m]);
}

} // namespace

MatFxState& MatFxModule()
{
    return sState;
}

// ---- Module ----------------------------------------------------------------------------------------------

int32_t MatFx::CreatePipelines()
{
    sState = {};
    sState.atomicPipeline =
        CreatePipeline(AtomicAllInOneNode::GetDefinition(), AtomicInstanceCallback, &sState.atomicInstance);
    sState.sectorPipeline =
        CreatePipeline(WorldSectorAllInOneNode::GetDefinition(), SectorInstanceCallback, &sState.sectorInstance);
    ReadCaps();
    CreateShaders();
    return 1;
}

int32_t MatFx::DestroyPipelines()
{
    Pipeline::Destroy(sState.atomicPipeline);
    Pipeline::Destroy(sState.sectorPipeline);
    for (IDirect3DPixelShader9*& shader : sState.shaders)
        if (shader)
        {
            D3D9Device::ReleaseObject(shader);
            shader = nullptr;
        }
    sState = {};
    return 1;
}

Pipeline* MatFx::GetAtomicPipeline()
{
    return sState.atomicPipeline;
}

Pipeline* MatFx::GetSectorPipeline()
{
    return sState.sectorPipeline;
}

const MatFxDeviceCaps& MatFxD3D9::GetCaps()
{
    return sState.caps;
}

IDirect3DPixelShader9* MatFxD3D9::GetPixelShader(int32_t shader)
{
    return shader >= 0 && shader < kMatFxShaderCount ? sState.shaders[shader] : nullptr;
}

MatFxValidation MatFxD3D9::GetModulate2xValidation()
{
    return sState.modulate2x;
}

MatFxValidation MatFxD3D9::GetAddEnvValidation()
{
    return sState.addEnv;
}

int32_t MatFxD3D9::ChooseBumpShader(bool environment, int32_t coefficientByte, bool frameBufferAlpha,
                                    bool environmentAlpha)
{
    if (!environment || coefficientByte == 0)
        return kMatFxShaderBump;
    if (frameBufferAlpha)
        return environmentAlpha ? kMatFxShaderBumpEnvAlpha : kMatFxShaderBumpEnvOpaque;
    return kMatFxShaderBumpEnv;
}

int32_t MatFxD3D9::ChooseEnvShader(bool base, bool environmentAlpha, bool frameBufferAlpha, bool opaque)
{
    if (!environmentAlpha || !(frameBufferAlpha || opaque))
        return kMatFxShaderNone;
    return base ? kMatFxShaderEnv : kMatFxShaderEnvNoBase;
}

int32_t MatFxD3D9::CoefficientByte(float coefficient)
{
    // Coefficients above 1 would wrap as a byte.
    if (!(coefficient > 0.0f))
        return 0;
    if (coefficient >= 1.0f)
        return 255;
    return int32_t(std::lround(coefficient * 255.0f));
}

// ---- Instancing -----------------------------------------------------------------------------------------

int32_t MatFx::AtomicInstanceCallback(void* object, InstanceHeader* header, int32_t reinstance)
{
    auto* atomic = static_cast<Atomic*>(object);
    if (!reinstance && atomic->geometry && WantsTangents(header))
        VertexShaderFlags::Set(atomic->geometry, VertexShaderFlags::Get(atomic->geometry) | kVsFlagTangents);
    return sState.atomicInstance ? sState.atomicInstance(object, header, reinstance) : 0;
}

int32_t MatFx::SectorInstanceCallback(void* object, InstanceHeader* header, int32_t reinstance)
{
    auto* sector = static_cast<WorldSector*>(object);
    if (WantsTangents(header))
        VertexShaderFlags::Set(sector, VertexShaderFlags::Get(sector) | kVsFlagTangents);
    return sState.sectorInstance ? sState.sectorInstance(object, header, reinstance) : 0;
}

// ---- Rendering ------------------------------------------------------------------------------------------

void MatFx::RenderCallback(ResourceEntry* entry, void* object, int32_t objectType, uint32_t flags)
{
    InstanceHeader* header = InstanceData::Header(entry);
    AllInOneNode::SetClippingByFrustum(object, objectType);
    sState.objectMatrix = nullptr;
    if (objectType == kInstanceAtomic && static_cast<Atomic*>(object)->object.frame)
        sState.objectMatrix = Frame::GetWorldMatrix(static_cast<Atomic*>(object)->object.frame);

    if (header->indexBuffer)
        D3D9Device::SetIndices(header->indexBuffer);
    D3D9StreamDescriptor streams{};
    for (int i = 0; i < 2; ++i)
        streams.streams[i] = {header->streams[i].vertexBuffer, header->streams[i].offset, header->streams[i].stride, 0};
    D3D9Device::SetStreams(&streams, int32_t(header->useOffsets));
    D3D9Device::SetVertexDeclaration(header->vertexDeclaration);

    const bool lighting = Lit();
    if (!lighting && !(flags & kGeometryPrelit))
    {
        RenderUnlit(header);
        sState.objectMatrix = nullptr;
        return;
    }
    InstanceMesh* meshes = InstanceHeader::Meshes(header);
    for (uint32_t m = 0; m < header->meshCount; ++m)
    {
        InstanceMesh* mesh = &meshes[m];
        Material* material = mesh->material;
        static const Rgba kWhite = {255, 255, 255, 255};
        const Rgba& colour = material ? material->colour : kWhite;
        const bool alpha = mesh->vertexAlpha || colour.alpha != 255;
        if (alpha != D3D9RenderState::GetVertexAlphaEnable())
            D3D9RenderState::SetVertexAlphaEnable(alpha);
        if (lighting)
        {
            static const SurfaceProperties kDefaultSurface = {1.0f, 1.0f, 1.0f};
            const SurfaceProperties& s = material ? material->surface : kDefaultSurface;
            const D3D9SurfaceProperties properties = {s.ambient, s.specular, s.diffuse};
            D3D9Device::SetSurfaceProperties(&properties, &colour, flags);
        }
        Texture* base = material ? material->texture : nullptr;
        MatFxMaterialData* data = MatFx::GetData(material);
        const int32_t kind = data ? data->kind : kMatFxNone;
        switch (kind)
        {
        case kMatFxBumpMap:
            RenderBumpMap(header, mesh, flags, base, &data->slots[0].bump, nullptr);
            break;
        case kMatFxEnvMap:
            RenderEnvMap(header, mesh, flags, 0, base, data->slots[0].env.texture);
            break;
        case kMatFxBumpEnvMap:
            RenderBumpMap(header, mesh, flags, base, &data->slots[0].bump, data->slots[1].env.texture);
            break;
        case kMatFxDual:
            RenderDual(header, mesh, flags, base, data->slots[0].dual.texture);
            break;
        case kMatFxDualUVTransform:
            RenderDual(header, mesh, flags, base, data->slots[1].dual.texture);
            break;
        default:
            RenderPlain(header, mesh, flags, base);
            break;
        }
    }
    // The matrix belongs to the object's frame, which may not outlive this draw.
    sState.objectMatrix = nullptr;
}

void MatFx::RenderPlain(InstanceHeader* header, InstanceMesh* mesh, uint32_t flags, Texture* base)
{
    bool transform = false;
    if (matfx::HasTexCoords(flags))
    {
        MatFxMaterialData* data = GetData(mesh->material);
        if (data && data->kind == kMatFxUVTransform)
            transform = matfx::SetUVTransform(0, data->slots[0].uv.baseTransform);
        matfx::PlainStage0(base);
    }
    else
        matfx::PlainStage0(nullptr);
    DrawMesh(header, mesh);
    if (transform)
        matfx::TransformOff(0);
}

void MatFx::DrawMesh(InstanceHeader* header, InstanceMesh* mesh)
{
    if (D3D9Device::GetBindings()->pixelShader)
        D3D9Device::SetPixelShader(nullptr);
    D3D9Device::SetVertexShader(mesh->vertexShader);
    D3D9RenderState::Flush();
    matfx::Draw(header, mesh, mesh->baseIndex);
}

// ---- Stage helpers --------------------------------------------------------------------------------------

namespace matfx
{

void Stage(uint32_t stage, bool alpha, DWORD op, DWORD arg1, DWORD arg2, DWORD arg0)
{
    D3D9RenderState::SetTextureStageState(stage, alpha ? D3DTSS_ALPHAOP : D3DTSS_COLOROP, op);
    if (arg1 != kMatFxKeep)
        D3D9RenderState::SetTextureStageState(stage, alpha ? D3DTSS_ALPHAARG1 : D3DTSS_COLORARG1, arg1);
    if (arg2 != kMatFxKeep)
        D3D9RenderState::SetTextureStageState(stage, alpha ? D3DTSS_ALPHAARG2 : D3DTSS_COLORARG2, arg2);
    if (arg0 != kMatFxKeep)
        D3D9RenderState::SetTextureStageState(stage, alpha ? D3DTSS_ALPHAARG0 : D3DTSS_COLORARG0, arg0);
}

void StageBoth(uint32_t stage, DWORD op, DWORD arg1, DWORD arg2)
{
    Stage(stage, false, op, arg1, arg2);
    Stage(stage, true, op, arg1, arg2);
}

void Apply(const MatFxStageOp* ops, int32_t count)
{
    for (int32_t i = 0; i < count && ops[i].op; ++i)
        Stage(ops[i].stage, ops[i].alpha != 0, ops[i].op, ops[i].arg1, ops[i].arg2, ops[i].arg0);
}

void PlainStage0(Texture* base)
{
    D3D9RenderState::SetTexture(base, 0);
    if (base)
        StageBoth(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    else
        StageBoth(0, D3DTOP_SELECTARG2, kMatFxKeep, D3DTA_DIFFUSE);
}

bool SetUVTransform(uint32_t stage, const Matrix* m)
{
    // A missing matrix (no animation node drives that channel) is the identity.
    if (!m || (m->flags & kMatrixIdentity))
        return false;
    // Two coordinates widen to (u, v, 1, 0): the translation goes into the third row.
    const float t[16] = {m->right.x, m->right.y, 0, 0, m->up.x, m->up.y, 0, 0, m->pos.x, m->pos.y, 1, 0, 0, 0, 0, 1};
    D3D9Device::SetTransform(D3DTS_TEXTURE0 + stage, t);
    D3D9RenderState::SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    return true;
}

void TransformOff(uint32_t stage)
{
    D3D9RenderState::SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
}

void Draw(const InstanceHeader* header, const InstanceMesh* mesh, UINT baseVertex)
{
    if (mesh->primitiveCount == 0)
        return;
    IDirect3DDevice9* device = D3D9Device::GetDevice();
    if (!device)
        return;
    if (header->indexBuffer)
        device->DrawIndexedPrimitive(D3DPRIMITIVETYPE(header->primitiveType), INT(baseVertex), 0, mesh->vertexCount,
                                     mesh->startIndex, mesh->primitiveCount);
    else
        device->DrawPrimitive(D3DPRIMITIVETYPE(header->primitiveType), baseVertex, mesh->primitiveCount);
}

bool ValidateOnePass()
{
    IDirect3DDevice9* device = D3D9Device::GetDevice();
    if (!device)
        return false;
    D3D9RenderState::Flush();
    DWORD passes = 0;
    return SUCCEEDED(device->ValidateDevice(&passes)) && passes == 1;
}

bool HasTexCoords(uint32_t flags)
{
    return flags & (kGeometryTextured | kGeometryTextured2);
}

} // namespace matfx
