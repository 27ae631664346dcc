// The material-effect renderers on Direct3D 9: bump maps (pixel shader or two passes over
// processor-shifted coordinates), environment maps (pixel shader, one fixed-function pass or
// an additive pass) and dual textures (one pass from the table below, or two passes).
#include "matfx.h"

#include "camera.h"
#include "d3d9device.h"
#include "d3d9raster.h"
#include "d3d9renderstate.h"
#include "d3d9vertexbuffer.h"
#include "device.h"
#include "engine.h"
#include "frame.h"
#include "geometry.h"
#include "light.h"
#include "material.h"
#include "matfxd3d9_local.h"
#include "matrix.h"
#include "raster.h"
#include "texture.h"
#include "vector.h"
#include "vertexdeclaration.h"

#include <cmath>
#include <cstring>

namespace
{

using matfx::Stage;
using matfx::StageBoth;

/// Vertices one mesh can have (16-bit indices).
constexpr uint32_t kMaxVertices = 65536;

// ---- The dual-texture table ------------------------------------------------------------------------------

constexpr DWORD K = kMatFxKeep;
constexpr uint8_t kColour = 0, kAlpha = 1;
constexpr DWORD kTexAlpha = D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE;

// Engine blend codes.
constexpr int32_t kBlendZero = 1, kBlendOne = 2, kBlendSrcColour = 3, kBlendSrcAlpha = 5, kBlendInvSrcAlpha = 6,
                  kBlendDestColour = 9;

// Each row: the blend pair, what its single pass needs beyond two stages, whether the
// three-stage form applies, the stage operations with a base (the dual texture on stage 1),
// those without one (the dual texture on stage 0) and the texture factor set without a base.
const MatFxDualRow kDualTable[] = {
    {kBlendDestColour,
     kBlendZero,
     0,
     1,
     {{1, kColour, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, K},
      {1, kAlpha, D3DTOP_SELECTARG2, K, D3DTA_CURRENT, K}},
     {{0, kColour, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, K},
      {0, kAlpha, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, K}},
     0},
    {kBlendZero,
     kBlendSrcColour,
     0,
     1,
     {{1, kColour, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, K},
      {1, kAlpha, D3DTOP_SELECTARG2, K, D3DTA_CURRENT, K}},
     {{0, kColour, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, K},
      {0, kAlpha, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, K}},
     0},
    {kBlendSrcAlpha,
     kBlendInvSrcAlpha,
     kMatFxNeedsThreeStages,
     1,
     {{1, kColour, D3DTOP_BLENDTEXTUREALPHA, D3DTA_TEXTURE, D3DTA_CURRENT, K},
      {1, kAlpha, D3DTOP_BLENDTEXTUREALPHA, D3DTA_TEXTURE, D3DTA_CURRENT, K}},
     {{0, kColour, D3DTOP_BLENDTEXTUREALPHA, D3DTA_TEXTURE, D3DTA_TFACTOR, K},
      {0, kAlpha, D3DTOP_BLENDTEXTUREALPHA, D3DTA_TEXTURE, D3DTA_TFACTOR, K},
      {1, kColour, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_CURRENT, K},
      {1, kAlpha, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_CURRENT, K}},
     0xFFFFFFFF},
    {kBlendDestColour,
     kBlendSrcColour,
     kMatFxNeedsModulate2x,
     1,
     {{1, kColour, D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_CURRENT, K},
      {1, kAlpha, D3DTOP_SELECTARG2, K, D3DTA_CURRENT, K}},
     {{0, kColour, D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, K},
      {0, kAlpha, D3DTOP_SELECTARG2, K, D3DTA_DIFFUSE, K}},
     0},
    {kBlendOne,
     kBlendOne,
     kMatFxNeedsMultiplyAdd,
     0,
     {{1, kColour, D3DTOP_MULTIPLYADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_CURRENT},
      {1, kAlpha, D3DTOP_SELECTARG2, K, D3DTA_CURRENT, K}},
     {{0, kColour, D3DTOP_SELECTARG1, D3DTA_TEXTURE, K, K},
      {0, kAlpha, D3DTOP_SELECTARG2, K, D3DTA_DIFFUSE, K},
      {1, kColour, D3DTOP_ADD, D3DTA_DIFFUSE, D3DTA_CURRENT, K},
      {1, kAlpha, D3DTOP_SELECTARG2, K, D3DTA_CURRENT, K}},
     0},
    {kBlendZero,
     kBlendSrcAlpha,
     0,
     1,
     {{1, kColour, D3DTOP_MODULATE, kTexAlpha, D3DTA_CURRENT, K}, {1, kAlpha, D3DTOP_SELECTARG2, K, D3DTA_CURRENT, K}},
     {{0, kColour, D3DTOP_MODULATE, kTexAlpha, D3DTA_DIFFUSE, K}, {0, kAlpha, D3DTOP_SELECTARG2, K, D3DTA_DIFFUSE, K}},
     0},
};

/// The pairs whose second pass turns alpha testing off.
const int32_t kModulatingPairs[][2] = {
    {kBlendDestColour, kBlendZero}, {kBlendZero, kBlendSrcColour}, {kBlendDestColour, kBlendSrcColour}};

// ---- Small helpers ----------------------------------------------------------------------------------------

MatFxState& S()
{
    return MatFxModule();
}

bool Palettised(const Texture* texture)
{
    return texture && texture->raster && (Raster::FormatFlags(texture->raster) & kRasterFormatPal8);
}

// Two palettised textures cannot be sampled together: the second one is converted.
void ConvertIfBothPalettised(Texture* base, Texture* other)
{
    if (base && other && base != other && Palettised(base) && Palettised(other))
        D3D9Raster::ConvertToSupportedFormat(other->raster);
}

bool RasterAlpha(const Texture* texture)
{
    return texture && texture->raster && D3D9Raster::GetAlphaFlag(texture->raster);
}

void ClearStage(uint32_t stage)
{
    D3D9RenderState::SetTexture(static_cast<const Texture*>(nullptr), stage);
    matfx::TransformOff(stage);
    D3D9RenderState::SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, stage);
}

void DisableStage(uint32_t stage)
{
    D3D9RenderState::SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
    D3D9RenderState::SetTextureStageState(stage, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

void DrawWithShaderOff(InstanceHeader* header, InstanceMesh* mesh)
{
    MatFx::DrawMesh(header, mesh);
}

intptr_t GetEngineState(int32_t code)
{
    intptr_t value = 0;
    Engine::Current()->device.getRenderState(code, &value);
    return value;
}

void SetEngineState(int32_t code, intptr_t value)
{
    Engine::Current()->device.setRenderState(code, value);
}

DWORD GetState(uint32_t state)
{
    DWORD value = 0;
    D3D9RenderState::GetRenderState(state, &value);
    return value;
}

/// The 4 x 3 engine matrix as 16 row-major floats.
void Widen(const Matrix* m, float* out)
{
    const float r[16] = {m->right.x, m->right.y, m->right.z, 0, m->up.x,  m->up.y,  m->up.z,  0,
                         m->at.x,    m->at.y,    m->at.z,    0, m->pos.x, m->pos.y, m->pos.z, 1};
    std::memcpy(out, r, sizeof r);
}

void Multiply4(const float* a, const float* b, float* out)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
        {
            float v = 0;
            for (int k = 0; k < 4; ++k)
                v += a[r * 4 + k] * b[k * 4 + c];
            out[r * 4 + c] = v;
        }
}

// The rotation part with its right row negated and no translation.
void NegateRightClearTranslation(float* m)
{
    for (int c = 0; c < 3; ++c)
        m[c] = -m[c];
    m[12] = m[13] = m[14] = 0;
    m[3] = m[7] = m[11] = 0;
    m[15] = 1;
}

Frame* CameraFrame()
{
    Engine* engine = Engine::Current();
    const auto* camera = engine ? static_cast<const Camera*>(engine->currentCamera) : nullptr;
    return camera ? camera->object.frame : nullptr;
}

Vector Sub(const Vector& a, const Vector& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

float Dot(const Vector& a, const Vector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vector Cross(const Vector& a, const Vector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vector Normalised(const Vector& v)
{
    const float l = std::sqrt(Dot(v, v));
    return l > 0.0f ? Vector{v.x / l, v.y / l, v.z / l} : Vector{0, 0, 0};
}

// The bump light in object space: an attached directional or spot light gives its direction,
// anything else the frame's position.
Vector LightPoint(Frame* frame)
{
    Matrix inverse{};
    const Matrix* object = S().objectMatrix;
    if (object)
        Matrix::Invert(&inverse, object);
    if (!frame)
        return {0, 0, 0};
    const Matrix* world = Frame::GetWorldMatrix(frame);
    bool direction = false;
    for (ListLink* l = frame->objects.next; l != &frame->objects; l = l->next)
    {
        const FrameObject* o = FrameObject::FromLink(l);
        if (o->type == Light::kObjectType &&
            (o->subType == kLightDirectional || o->subType == kLightSpot || o->subType == kLightSoftSpot))
        {
            direction = true;
            break;
        }
    }
    Vector out{};
    if (direction)
    {
        const Vector at = {-world->at.x, -world->at.y, -world->at.z};
        if (object)
            Vector::TransformVector(&out, &at, &inverse);
        else
            out = at;
    }
    else if (object)
        Vector::TransformPoint(&out, &world->pos, &inverse);
    else
        out = world->pos;
    return out;
}

/// One element of the instance's vertices as it lies in a locked stream.
struct Element
{
    const uint8_t* base = nullptr; ///< the element of vertex 0 of the mesh
    uint32_t stride = 0;
    int32_t type = -1;
    bool Present() const { return base != nullptr; }
    const uint8_t* At(uint32_t vertex) const { return base + size_t(vertex) * stride; }
};

/// The instance's streams locked for reading while it lives.
struct StreamReader
{
    const InstanceHeader* header;
    const uint8_t* data[2] = {};
    UINT size[2] = {};

    ~StreamReader()
    {
        for (int s = 0; s < 2; ++s)
            if (data[s])
                header->streams[s].vertexBuffer->Unlock();
    }

    // The element of the usage, for vertices first .. first + count, or an absent one when it
    // is missing or would lie outside its stream.
    Element Find(const D3DVERTEXELEMENT9* elements, UINT n, BYTE usage, BYTE index, uint32_t first, uint32_t count)
    {
        for (UINT i = 0; i < n && elements[i].Stream != 0xFF; ++i)
        {
            const D3DVERTEXELEMENT9& e = elements[i];
            if (e.Usage != usage || e.UsageIndex != index || e.Stream > 1)
                continue;
            const InstanceStream& s = header->streams[e.Stream];
            if (!s.vertexBuffer || !s.stride)
                return {};
            if (!data[e.Stream])
            {
                void* p = nullptr;
                D3DVERTEXBUFFER_DESC desc{};
                if (FAILED(s.vertexBuffer->GetDesc(&desc)) ||
                    FAILED(s.vertexBuffer->Lock(0, 0, &p, D3DLOCK_READONLY)) || !p)
                    return {};
                data[e.Stream] = static_cast<const uint8_t*>(p);
                size[e.Stream] = desc.Size;
            }
            const uint64_t start =
                (header->useOffsets ? uint64_t(s.offset) : 0) + uint64_t(first) * s.stride + e.Offset;
            const uint64_t end =
                start + uint64_t(count ? count - 1 : 0) * s.stride + uint64_t(VertexDeclaration::GetTypeSize(e.Type));
            if (count == 0 || end > size[e.Stream])
                return {};
            return {data[e.Stream] + start, s.stride, e.Type};
        }
        return {};
    }
};

// The corner positions (index-list positions) of a triangle that position j belongs to.
void Corners(uint32_t primitiveType, uint32_t j, uint32_t count, uint32_t* o, uint32_t* p)
{
    switch (primitiveType)
    {
    case D3DPT_TRIANGLESTRIP:
        if (j >= 2)
        {
            *o = (j & 1) ? j - 1 : j - 2;
            *p = (j & 1) ? j - 2 : j - 1;
        }
        else if (j == 0)
        {
            *o = 1;
            *p = 2;
        }
        else
        {
            // A strip of one triangle has no fourth position.
            *o = count > 3 ? 3 : 0;
            *p = 2;
        }
        break;
    case D3DPT_TRIANGLEFAN:
        *o = j == 0 ? 1 : 0;
        *p = j == 0 ? 2 : (j + 1 < count ? j + 1 : j - 1);
        break;
    default:
    {
        const uint32_t first = j / 3 * 3;
        *o = first + (j + 1) % 3;
        *p = first + (j + 2) % 3;
        break;
    }
    }
}

} // namespace

// ---- Table lookups --------------------------------------------------------------------------------------

const MatFxDualRow* MatFxD3D9::FindDualRow(int32_t source, int32_t dest)
{
    for (const MatFxDualRow& row : kDualTable)
        if (row.source == source && row.dest == dest)
            return &row;
    return nullptr;
}

bool MatFxD3D9::IsModulatingPair(int32_t source, int32_t dest)
{
    for (const auto& pair : kModulatingPairs)
        if (pair[0] == source && pair[1] == dest)
            return true;
    return false;
}

// ---- Bump maps ------------------------------------------------------------------------------------------

int32_t MatFx::ComputeBumpVertices(InstanceHeader* header, InstanceMesh* mesh, void* vertices)
{
    MatFxEffectSlot* slot = FindSlot(GetData(mesh->material), kMatFxSlotBump);
    const uint32_t count = mesh->vertexCount;
    if (!slot || count == 0 || count > kMaxVertices || !header->vertexDeclaration)
        return 0;
    D3DVERTEXELEMENT9 elements[MAXD3DDECLLENGTH + 1];
    UINT n = 0;
    if (FAILED(header->vertexDeclaration->GetDeclaration(nullptr, &n)) || n > MAXD3DDECLLENGTH + 1 ||
        FAILED(header->vertexDeclaration->GetDeclaration(elements, &n)))
        return 0;

    StreamReader reader{header};
    const uint32_t first = mesh->baseIndex;
    const Element position = reader.Find(elements, n, D3DDECLUSAGE_POSITION, 0, first, count);
    const Element normal = reader.Find(elements, n, D3DDECLUSAGE_NORMAL, 0, first, count);
    const Element colour = reader.Find(elements, n, D3DDECLUSAGE_COLOR, 0, first, count);
    const Element uv = reader.Find(elements, n, D3DDECLUSAGE_TEXCOORD, 0, first, count);
    const Element tangent = reader.Find(elements, n, D3DDECLUSAGE_TANGENT, 0, first, count);
    if (!position.Present())
        return 0;

    auto* out = static_cast<MatFxBumpVertex*>(vertices);
    for (uint32_t v = 0; v < count; ++v)
    {
        MatFxBumpVertex& b = out[v];
        float p[3], nm[3] = {0, 0, 0}, t[2] = {0, 0};
        VertexDeclaration::ReadVector(position.type, p, position.At(v));
        if (normal.Present())
            VertexDeclaration::ReadVector(normal.type, nm, normal.At(v));
        if (uv.Present())
            VertexDeclaration::ReadTexCoord(uv.type, t, uv.At(v));
        uint32_t c = 0xFFFFFFFF;
        if (colour.Present())
            std::memcpy(&c, colour.At(v), 4);
        b = {p[0], p[1], p[2], nm[0], nm[1], nm[2], c, t[0], t[1], t[0], t[1]};
    }

    const Vector light = LightPoint(slot->bump.frame ? slot->bump.frame : CameraFrame());
    const float s = slot->bump.invWidth * slot->bump.bumpiness;
    if (tangent.Present())
    {
        for (uint32_t v = 0; v < count; ++v)
        {
            MatFxBumpVertex& b = out[v];
            float tv[3];
            VertexDeclaration::ReadVector(tangent.type, tv, tangent.At(v));
            const Vector T = {tv[0], tv[1], tv[2]}, N = {b.nx, b.ny, b.nz};
            const Vector d = Normalised(Sub(light, {b.x, b.y, b.z}));
            b.u1 = b.u0 + s * Dot(d, T);
            b.v1 = b.v0 + s * Dot(d, Cross(T, N));
        }
        return int32_t(count);
    }

    // Without tangents each vertex takes one from the first triangle it is met in.
    const uint16_t* indices = nullptr;
    uint32_t indexCount = count;
    if (header->indexBuffer)
    {
        void* p = nullptr;
        D3DINDEXBUFFER_DESC desc{};
        indexCount = mesh->indexCount;
        if (FAILED(header->indexBuffer->GetDesc(&desc)) ||
            uint64_t(mesh->startIndex + uint64_t(indexCount)) * 2 > desc.Size ||
            FAILED(header->indexBuffer->Lock(0, 0, &p, D3DLOCK_READONLY)) || !p)
            return 0;
        indices = static_cast<const uint16_t*>(p) + mesh->startIndex;
    }
    auto vertexAt = [&](uint32_t j) { return indices ? uint32_t(indices[j]) : j; };
    // One bit per vertex on the stack: the draw path allocates nothing.
    uint64_t done[(kMaxVertices + 63) / 64];
    std::memset(done, 0, (count + 63) / 64 * sizeof(uint64_t));
    for (uint32_t j = 0; j < indexCount; ++j)
    {
        const uint32_t v = vertexAt(j);
        if (v >= count || (done[v / 64] >> (v % 64) & 1))
            continue;
        done[v / 64] |= uint64_t(1) << (v % 64);
        uint32_t o = 0, q = 0;
        Corners(header->primitiveType, j, indexCount, &o, &q);
        if (o >= indexCount || q >= indexCount)
            continue;
        const uint32_t vo = vertexAt(o), vq = vertexAt(q);
        if (vo >= count || vq >= count)
            continue;
        MatFxBumpVertex& b = out[v];
        const MatFxBumpVertex &bo = out[vo], &bq = out[vq];
        const Vector p = {b.x, b.y, b.z};
        const Vector e1 = Sub({bo.x, bo.y, bo.z}, p), e2 = Sub({bq.x, bq.y, bq.z}, p);
        const float dv1 = bo.v0 - b.v0, dv2 = bq.v0 - b.v0;
        const Vector T = Normalised({e1.x * dv2 - e2.x * dv1, e1.y * dv2 - e2.y * dv1, e1.z * dv2 - e2.z * dv1});
        const Vector B = Cross(T, {b.nx, b.ny, b.nz});
        const Vector d = Normalised(Sub(light, p));
        b.u1 = b.u0 - s * Dot(T, d);
        b.v1 = b.v0 - s * Dot(B, d);
    }
    if (indices)
        header->indexBuffer->Unlock();
    return int32_t(count);
}

void MatFx::RenderBumpMap(InstanceHeader* header, InstanceMesh* mesh, uint32_t flags, Texture* base,
                          MatFxBumpSlot* bump, Texture* environment)
{
    Texture* drawn = bump->drawnTexture ? bump->drawnTexture : (RasterAlpha(base) ? base : nullptr);
    IDirect3DDevice9* device = D3D9Device::GetDevice();
    if (!drawn || !device || !matfx::HasTexCoords(flags) || mesh->vertexCount == 0)
    {
        RenderPlain(header, mesh, flags, base);
        return;
    }
    IDirect3DVertexBuffer9* buffer = nullptr;
    void* data = nullptr;
    UINT baseVertex = 0;
    if (!D3D9DynamicVertexBuffer::Lock(sizeof(MatFxBumpVertex), mesh->vertexCount, &buffer, &data, &baseVertex))
        return;
    const int32_t written = ComputeBumpVertices(header, mesh, data);
    D3D9DynamicVertexBuffer::Unlock(buffer);
    if (written == 0)
    {
        RenderPlain(header, mesh, flags, base);
        return;
    }

    // The shifted vertices go through the fixed-function pipeline in their own format.
    D3D9Device::SetStreamSource(0, buffer, 0, sizeof(MatFxBumpVertex));
    D3D9BindingCache* bindings = D3D9Device::GetBindings();
    if (bindings->vertexFormat != kMatFxBumpFvf)
    {
        device->SetFVF(kMatFxBumpFvf);
        bindings->vertexFormat = kMatFxBumpFvf;
        bindings->declaration = D3D9Device::Unknown<IDirect3DVertexDeclaration9>();
    }
    D3D9Device::SetVertexShader(nullptr);
    D3D9RenderState::SetTexture(drawn, 0);

    MatFxEffectSlot* envSlot = FindSlot(GetData(mesh->material), kMatFxSlotEnv);
    const float coefficient = envSlot ? envSlot->env.coefficient : 0.0f;
    const int32_t c = MatFxD3D9::CoefficientByte(coefficient);
    IDirect3DPixelShader9* shaderD = S().shaders[kMatFxShaderBumpEnv];
    const bool vertexAlpha = D3D9RenderState::GetVertexAlphaEnable();
    if (S().shaders[kMatFxShaderBump])
    {
        const DWORD blend = GetState(D3DRS_ALPHABLENDENABLE), test = GetState(D3DRS_ALPHATESTENABLE);
        D3D9RenderState::SetVertexAlphaEnable(false);
        D3D9RenderState::SetTexture(drawn, 1);
        D3D9RenderState::SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        D3D9RenderState::SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
        D3D9RenderState::SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
        D3D9RenderState::SetRenderState(D3DRS_ALPHATESTENABLE, 0);
        const bool withEnv = environment && shaderD && c != 0;
        const int32_t shader =
            MatFxD3D9::ChooseBumpShader(withEnv, c, envSlot && envSlot->env.frameBufferAlpha, RasterAlpha(environment));
        if (withEnv)
        {
            const float constant[4] = {coefficient, coefficient, coefficient, coefficient};
            device->SetPixelShaderConstantF(0, constant, 1);
            SetupEnvMapStage(environment, 2, envSlot->env.frame);
        }
        D3D9Device::SetPixelShader(S().shaders[shader]);
        D3D9RenderState::Flush();
        matfx::Draw(header, mesh, baseVertex);
        D3D9Device::SetPixelShader(nullptr);
        if (withEnv)
            ClearStage(2);
        D3D9RenderState::SetTexture(static_cast<const Texture*>(nullptr), 1);
        D3D9RenderState::SetRenderState(D3DRS_ALPHABLENDENABLE, blend);
        D3D9RenderState::SetRenderState(D3DRS_ALPHATESTENABLE, test);
    }
    else
    {
        // Two passes: colour x (1 - height), then colour x shifted height added.
        const intptr_t source = GetEngineState(kRenderStateSourceBlend), dest = GetEngineState(kRenderStateDestBlend);
        const DWORD test = GetState(D3DRS_ALPHATESTENABLE), zWrite = GetState(D3DRS_ZWRITEENABLE);
        if (D3D9Device::GetBindings()->pixelShader)
            D3D9Device::SetPixelShader(nullptr);
        StageBoth(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        D3D9RenderState::SetVertexAlphaEnable(true);
        D3D9RenderState::SetRenderState(D3DRS_ALPHATESTENABLE, 0);
        D3D9RenderState::SetSourceBlend(kBlendInvSrcAlpha);
        D3D9RenderState::SetDestBlend(kBlendZero);
        D3D9RenderState::Flush();
        matfx::Draw(header, mesh, baseVertex);
        D3D9RenderState::SetRenderState(D3DRS_ALPHATESTENABLE, 1);
        D3D9RenderState::SetSourceBlend(kBlendSrcAlpha);
        D3D9RenderState::SetDestBlend(kBlendOne);
        D3D9RenderState::SetRenderState(D3DRS_ZWRITEENABLE, 0);
        D3D9RenderState::SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 1);
        D3D9RenderState::Flush();
        matfx::Draw(header, mesh, baseVertex);
        D3D9RenderState::SetRenderState(D3DRS_ZWRITEENABLE, zWrite);
        D3D9RenderState::SetRenderState(D3DRS_ALPHATESTENABLE, test);
        D3D9RenderState::SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        SetEngineState(kRenderStateSourceBlend, source);
        SetEngineState(kRenderStateDestBlend, dest);
    }
    D3D9RenderState::SetVertexAlphaEnable(vertexAlpha);

    // Back to the mesh's own streams for the meshes that follow.
    D3D9StreamDescriptor streams{};
    for (int i = 0; i < 2; ++i)
        streams.streams[i] = {header->streams[i].vertexBuffer, header->streams[i].offset, header->streams[i].stride, 0};
    D3D9Device::SetStreams(&streams, int32_t(header->useOffsets));
    D3D9Device::SetVertexDeclaration(header->vertexDeclaration);
    if (environment && !shaderD)
        RenderEnvMap(header, mesh, flags, 1, base, environment);
}

// ---- Environment maps -----------------------------------------------------------------------------------

void MatFx::SetupEnvMapStage(Texture* texture, uint32_t stage, Frame* frame)
{
    D3D9RenderState::SetTexture(texture, stage);
    Frame* cameraFrame = CameraFrame();
    float camera[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    if (cameraFrame)
        Widen(Frame::GetWorldMatrix(cameraFrame), camera);
    const D3D9RasterExtension* ext = texture && texture->raster ? D3D9Raster::Extension(texture->raster) : nullptr;
    if (ext && (ext->cube & 0xF))
    {
        NegateRightClearTranslation(camera);
        D3D9RenderState::SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX,
                                              stage | D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
        D3D9RenderState::SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
        D3D9Device::SetTransform(D3DTS_TEXTURE0 + stage, camera);
        return;
    }
    static const float kScale[16] = {0.5f, 0, 0, 0, 0, -0.5f, 0, 0, 0, 0, 1, 0, 0.5f, 0.5f, 0, 0};
    float m[16];
    std::memcpy(m, kScale, sizeof m);
    if (frame)
    {
        Matrix inverse{};
        Matrix::Invert(&inverse, Frame::GetWorldMatrix(frame));
        float a[16], product[16];
        Widen(&inverse, a);
        Multiply4(a, camera, product);
        NegateRightClearTranslation(product);
        Multiply4(product, kScale, m);
    }
    D3D9RenderState::SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, stage | D3DTSS_TCI_CAMERASPACENORMAL);
    D3D9RenderState::SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    D3D9Device::SetTransform(D3DTS_TEXTURE0 + stage, m);
}

void MatFx::RenderEnvMap(InstanceHeader* header, InstanceMesh* mesh, uint32_t flags, int32_t slotIndex, Texture* base,
                         Texture* environment)
{
    Material* material = mesh->material;
    MatFxEffectSlot* slot = FindSlot(GetData(material), kMatFxSlotEnv);
    const float coefficient = slot ? slot->env.coefficient : 0.0f;
    const int32_t c = MatFxD3D9::CoefficientByte(coefficient);
    if (c == 0 || !environment || !slot)
    {
        if (slotIndex == 0)
            RenderPlain(header, mesh, flags, base);
        return;
    }
    Frame* frame = slot->env.frame;
    IDirect3DDevice9* device = D3D9Device::GetDevice();
    if (slotIndex == 0)
    {
        if (!matfx::HasTexCoords(flags))
            base = nullptr;
        matfx::PlainStage0(base);
        ConvertIfBothPalettised(base, environment);
        const bool envAlpha = RasterAlpha(environment);
        const bool fbAlpha = slot->env.frameBufferAlpha != 0;
        const bool opaque = !mesh->vertexAlpha && (!material || material->colour.alpha == 255) && !RasterAlpha(base);
        const int32_t shader = MatFxD3D9::ChooseEnvShader(base != nullptr, envAlpha, fbAlpha, opaque);
        if (shader != kMatFxShaderNone && S().shaders[shader] && device)
        {
            const float constant[4] = {coefficient, coefficient, coefficient, coefficient};
            device->SetPixelShaderConstantF(0, constant, 1);
            const uint32_t stage = base ? 1 : 0;
            SetupEnvMapStage(environment, stage, frame);
            D3D9Device::SetVertexShader(mesh->vertexShader);
            D3D9Device::SetPixelShader(S().shaders[shader]);
            D3D9RenderState::Flush();
            matfx::Draw(header, mesh, mesh->baseIndex);
            D3D9Device::SetPixelShader(nullptr);
            ClearStage(stage);
            return;
        }
        const bool stageZeroAdd = c == 255 && !base;
        const bool stageOne =
            S().caps.multiTexture && (S().caps.multiplyAdd || c == 255) && S().addEnv != kMatFxRefused;
        if (!envAlpha && (fbAlpha || opaque) && (stageZeroAdd || stageOne))
        {
            if (stageZeroAdd)
            {
                SetupEnvMapStage(environment, 0, frame);
                Stage(0, false, D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                DrawWithShaderOff(header, mesh);
                matfx::TransformOff(0);
                D3D9RenderState::SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
                return;
            }
            SetupEnvMapStage(environment, 1, frame);
            if (c == 255)
                Stage(1, false, D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_CURRENT);
            else
            {
                D3D9RenderState::SetRenderState(D3DRS_TEXTUREFACTOR, DWORD(c) * 0x01010101u);
                Stage(1, false, D3DTOP_MULTIPLYADD, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DTA_CURRENT);
            }
            Stage(1, true, D3DTOP_SELECTARG2, kMatFxKeep, D3DTA_CURRENT);
            if (S().addEnv == kMatFxNotValidated)
                S().addEnv = matfx::ValidateOnePass() ? kMatFxValidated : kMatFxRefused;
            if (S().addEnv == kMatFxValidated)
            {
                DrawWithShaderOff(header, mesh);
                ClearStage(1);
                DisableStage(1);
                return;
            }
            ClearStage(1);
            DisableStage(1);
        }
        DrawWithShaderOff(header, mesh);
    }

    // The additive pass.
    SetupEnvMapStage(environment, 0, frame);
    const bool vertexAlpha = D3D9RenderState::GetVertexAlphaEnable();
    const intptr_t source = GetEngineState(kRenderStateSourceBlend), dest = GetEngineState(kRenderStateDestBlend);
    const DWORD lighting = GetState(D3DRS_LIGHTING), zWrite = GetState(D3DRS_ZWRITEENABLE);
    const DWORD fog = GetState(D3DRS_FOGENABLE), fogColour = GetState(D3DRS_FOGCOLOR);
    D3D9RenderState::SetVertexAlphaEnable(true);
    D3D9RenderState::SetSourceBlend(kBlendSrcAlpha);
    D3D9RenderState::SetDestBlend(kBlendOne);
    if (c < 255)
    {
        D3D9RenderState::SetRenderState(D3DRS_TEXTUREFACTOR, DWORD(c) * 0x01010101u);
        StageBoth(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_TFACTOR);
    }
    else
        StageBoth(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, kMatFxKeep);
    D3D9RenderState::SetRenderState(D3DRS_LIGHTING, 0);
    D3D9RenderState::SetRenderState(D3DRS_ZWRITEENABLE, 0);
    if (fog == 1)
        D3D9RenderState::SetRenderState(D3DRS_FOGCOLOR, 0);
    DrawWithShaderOff(header, mesh);
    D3D9RenderState::SetRenderState(D3DRS_LIGHTING, lighting);
    D3D9RenderState::SetRenderState(D3DRS_ZWRITEENABLE, zWrite);
    if (fog == 1)
        D3D9RenderState::SetRenderState(D3DRS_FOGCOLOR, fogColour);
    SetEngineState(kRenderStateSourceBlend, source);
    SetEngineState(kRenderStateDestBlend, dest);
    D3D9RenderState::SetVertexAlphaEnable(vertexAlpha);
    matfx::TransformOff(0);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    StageBoth(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
}

// ---- Dual textures --------------------------------------------------------------------------------------

void MatFx::RenderDual(InstanceHeader* header, InstanceMesh* mesh, uint32_t flags, Texture* base, Texture* dual)
{
    MatFxMaterialData* data = GetData(mesh->material);
    MatFxEffectSlot* slot = FindSlot(data, kMatFxSlotDual);
    if (!dual || !slot || !matfx::HasTexCoords(flags))
    {
        RenderPlain(header, mesh, flags, base);
        return;
    }
    const MatFxUVSlot* uv = nullptr;
    if (data->kind == kMatFxDualUVTransform)
        uv = &FindSlot(data, kMatFxSlotUVTransform)->uv;
    bool transforms = false;
    matfx::PlainStage0(base);
    if (uv)
        transforms |= matfx::SetUVTransform(0, uv->baseTransform);
    ConvertIfBothPalettised(base, dual);

    const MatFxDeviceCaps& caps = S().caps;
    const int32_t source = slot->dual.sourceBlend, dest = slot->dual.destBlend;
    const MatFxDualRow* row = MatFxD3D9::FindDualRow(source, dest);
    const bool three = caps.blendStages >= 3;
    bool single = caps.multiTexture && row;
    if (single && (row->needs & kMatFxNeedsThreeStages) && base && !three)
        single = false;
    if (single && (row->needs & kMatFxNeedsModulate2x) && !caps.modulate2x)
        single = false;
    if (single && (row->needs & kMatFxNeedsMultiplyAdd) && !caps.multiplyAdd)
        single = false;
    const DWORD secondSet = (flags & kGeometryTextured2) ? 1 : 0;
    if (single)
    {
        uint32_t dualStage = 0;
        if (base)
        {
            dualStage = 1;
            D3D9RenderState::SetTexture(dual, 1);
            if (three && row->threeStageForm)
            {
                StageBoth(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, kMatFxKeep);
                StageBoth(2, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_CURRENT);
            }
            matfx::Apply(row->withBase, 3);
        }
        else
        {
            D3D9RenderState::SetTexture(dual, 0);
            if (row->noBaseFactor)
                D3D9RenderState::SetRenderState(D3DRS_TEXTUREFACTOR, row->noBaseFactor);
            matfx::Apply(row->noBase, 4);
        }
        D3D9RenderState::SetTextureStageState(dualStage, D3DTSS_TEXCOORDINDEX, secondSet);
        if (uv)
            transforms |= matfx::SetUVTransform(dualStage, uv->dualTransform);
        if ((row->needs & kMatFxNeedsModulate2x) && S().modulate2x == kMatFxNotValidated)
        {
            S().modulate2x = matfx::ValidateOnePass() ? kMatFxValidated : kMatFxRefused;
            if (S().modulate2x == kMatFxRefused)
                S().caps.modulate2x = 0;
        }
        single = !(row->needs & kMatFxNeedsModulate2x) || S().modulate2x == kMatFxValidated;
        if (single)
            DrawWithShaderOff(header, mesh);
        // Back to a plain stage 0 and nothing on the others.
        StageBoth(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        D3D9RenderState::SetTexture(static_cast<const Texture*>(nullptr), 1);
        DisableStage(1);
        DisableStage(2);
        D3D9RenderState::SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        D3D9RenderState::SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
        if (!single)
        {
            // The set-up failed validation: the base pass as it stands, then the second pass.
            matfx::PlainStage0(base);
            if (uv)
                matfx::SetUVTransform(0, uv->baseTransform);
        }
    }
    if (!single)
    {
        DrawWithShaderOff(header, mesh);
        // The second pass blends the dual texture over the base in the frame buffer.
        matfx::TransformOff(0);
        D3D9RenderState::SetTexture(dual, 0);
        StageBoth(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        if (uv)
            transforms |= matfx::SetUVTransform(0, uv->dualTransform);
        const bool vertexAlpha = D3D9RenderState::GetVertexAlphaEnable();
        const intptr_t savedSource = GetEngineState(kRenderStateSourceBlend);
        const intptr_t savedDest = GetEngineState(kRenderStateDestBlend);
        const DWORD test = GetState(D3DRS_ALPHATESTENABLE), zWrite = GetState(D3DRS_ZWRITEENABLE);
        const DWORD fog = GetState(D3DRS_FOGENABLE), fogColour = GetState(D3DRS_FOGCOLOR);
        D3D9RenderState::SetVertexAlphaEnable(true);
        if (MatFxD3D9::IsModulatingPair(source, dest))
            D3D9RenderState::SetRenderState(D3DRS_ALPHATESTENABLE, 0);
        D3D9RenderState::SetSourceBlend(source);
        D3D9RenderState::SetDestBlend(dest);
        D3D9RenderState::SetRenderState(D3DRS_ZWRITEENABLE, 0);
        if (fog == 1)
        {
            if (dest == kBlendOne)
                D3D9RenderState::SetRenderState(D3DRS_FOGCOLOR, 0);
            else if (source == kBlendDestColour || dest == kBlendSrcColour)
                D3D9RenderState::SetRenderState(D3DRS_FOGCOLOR, 0xFFFFFFFF);
        }
        D3D9RenderState::SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, secondSet);
        DrawWithShaderOff(header, mesh);
        D3D9RenderState::SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
        D3D9RenderState::SetRenderState(D3DRS_ZWRITEENABLE, zWrite);
        D3D9RenderState::SetRenderState(D3DRS_ALPHATESTENABLE, test);
        if (fog == 1)
            D3D9RenderState::SetRenderState(D3DRS_FOGCOLOR, fogColour);
        SetEngineState(kRenderStateSourceBlend, savedSource);
        SetEngineState(kRenderStateDestBlend, savedDest);
        D3D9RenderState::SetVertexAlphaEnable(vertexAlpha);
    }
    if (transforms || uv)
    {
        matfx::TransformOff(0);
        matfx::TransformOff(1);
    }
}
