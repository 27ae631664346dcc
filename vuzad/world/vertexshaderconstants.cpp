// The constants generated vertex shaders read: the world matrix and object space, the light
// block, the material colour, the fog constants and the world-view-projection matrix; and the
// drawing of one instanced mesh with its shader.
#include "vertexshader.h"

#include "camera.h"
#include "d3d9device.h"
#include "d3d9renderstate.h"
#include "d3dx9.h"
#include "engine.h"
#include "instancedata.h"
#include "material.h"
#include "matrix.h"
#include "vector.h"
#include "vertexshader_local.h"

#include <cmath>
#include <cstring>

namespace
{

// One set: the current world matrix and what is derived from it, each computed at most once
// per world matrix (the view-projection once per camera update).
struct WorldState
{
    const Matrix* world = nullptr;
    D3DXMATRIX world4x4{};
    bool haveInverse = false;
    bool orthonormal = true; ///< no world matrix counts as orthonormal
    Matrix inverse{};
    D3DXMATRIX inverse4x4{};
    bool haveNormal = false;
    D3DXMATRIX normal4x4{};
    bool haveViewProjection = false;
    D3DXMATRIX viewProjection{};
};

WorldState sWorld;

bool IsIdentity()
{
    return !sWorld.world || (sWorld.world->flags & kMatrixIdentity);
}

void Identity(D3DXMATRIX* m)
{
    std::memset(m, 0, sizeof(*m));
    m->m[0][0] = m->m[1][1] = m->m[2][2] = m->m[3][3] = 1.0f;
}

void Widen(const Matrix& in, D3DXMATRIX* out)
{
    const Vector* rows[4] = {&in.right, &in.up, &in.at, &in.pos};
    for (int r = 0; r < 4; ++r)
    {
        out->m[r][0] = rows[r]->x;
        out->m[r][1] = rows[r]->y;
        out->m[r][2] = rows[r]->z;
        out->m[r][3] = r == 3 ? 1.0f : 0.0f;
    }
}

const D3DXMATRIX& Inverse()
{
    if (sWorld.haveInverse)
        return sWorld.inverse4x4;
    sWorld.haveInverse = true;
    if (IsIdentity())
    {
        Identity(&sWorld.inverse4x4);
        return sWorld.inverse4x4;
    }
    const Matrix& w = *sWorld.world;
    Matrix& inv = sWorld.inverse;
    if (sWorld.orthonormal)
    {
        // Transposed rotation, translation -R^T p.
        inv.right = {w.right.x, w.up.x, w.at.x};
        inv.up = {w.right.y, w.up.y, w.at.y};
        inv.at = {w.right.z, w.up.z, w.at.z};
        inv.pos = {-(w.pos.x * w.right.x + w.pos.y * w.right.y + w.pos.z * w.right.z),
                   -(w.pos.x * w.up.x + w.pos.y * w.up.y + w.pos.z * w.up.z),
                   -(w.pos.x * w.at.x + w.pos.y * w.at.y + w.pos.z * w.at.z)};
        inv.flags = kMatrixOrthonormal;
    }
    else
        Matrix::Invert(&inv, &w);
    Widen(inv, &sWorld.inverse4x4);
    return sWorld.inverse4x4;
}

const D3DXMATRIX& NormalMatrix()
{
    const D3DXMATRIX& inverse = Inverse();
    if (sWorld.orthonormal)
        return inverse;
    if (!sWorld.haveNormal)
    {
        Matrix orthonormal{};
        Matrix::Orthonormalize(&orthonormal, &sWorld.inverse);
        Widen(orthonormal, &sWorld.normal4x4);
        sWorld.haveNormal = true;
    }
    return sWorld.normal4x4;
}

HRESULT Upload(UINT start, const float* data, UINT count)
{
    IDirect3DDevice9* device = D3D9Device::GetDevice();
    return device ? device->SetVertexShaderConstantF(start, data, count) : D3DERR_INVALIDCALL;
}

// Registers the descriptor's lights take after c4.
int32_t LightRegisters(const VertexShaderDescriptor& d)
{
    return 2 * d.Directional() + (d.Points() + 3) / 4 + 2 * d.Points() + (d.Spots() + 3) / 4 + 4 * d.Spots();
}

void Set4(float* r, float x, float y, float z, float w)
{
    r[0] = x;
    r[1] = y;
    r[2] = z;
    r[3] = w;
}

} // namespace

// ---- World matrix and object space ---------------------------------------------------------

void VertexShader::SetWorldMatrix(const Matrix* matrix)
{
    sWorld.world = matrix;
    sWorld.haveInverse = false;
    sWorld.haveNormal = false;
    sWorld.orthonormal = !matrix || (matrix->flags & kMatrixIdentity) ||
                         (matrix->flags & kMatrixOrthonormal) == kMatrixOrthonormal;
    if (matrix)
        Widen(*matrix, &sWorld.world4x4);
    else
        Identity(&sWorld.world4x4);
}

void VertexShader::ForgetViewProjection()
{
    sWorld.haveViewProjection = false;
}

void VertexShader::GetWorldViewProjection(float* out16)
{
    if (!sWorld.haveViewProjection)
    {
        D3DXMATRIX view, projection;
        D3D9Device::GetTransform(D3DTS_VIEW, &view.m[0][0]);
        D3D9Device::GetTransform(D3DTS_PROJECTION, &projection.m[0][0]);
        D3DXMatrixMultiply(&sWorld.viewProjection, &view, &projection);
        sWorld.haveViewProjection = true;
    }
    D3DXMATRIX* out = reinterpret_cast<D3DXMATRIX*>(out16);
    if (sWorld.world)
        D3DXMatrixMultiplyTranspose(out, &sWorld.world4x4, &sWorld.viewProjection);
    else
        D3DXMatrixTranspose(out, &sWorld.viewProjection);
}

void VertexShader::UpdateInverseWorldMatrix(float* out16)
{
    std::memcpy(out16, &Inverse(), sizeof(D3DXMATRIX));
}

void VertexShader::DirectionToObjectSpace(Vector* out, const Vector* direction)
{
    if (IsIdentity())
    {
        *out = *direction;
        return;
    }
    D3DXVECTOR3 v{};
    v.x = direction->x;
    v.y = direction->y;
    v.z = direction->z;
    D3DXVec3TransformNormal(&v, &v, &NormalMatrix());
    *out = {v.x, v.y, v.z};
}

void VertexShader::PointToObjectSpace(Vector* out, const Vector* point)
{
    if (IsIdentity())
    {
        *out = *point;
        return;
    }
    D3DXVECTOR3 v{};
    v.x = point->x;
    v.y = point->y;
    v.z = point->z;
    D3DXVec3TransformCoord(&v, &v, &Inverse());
    *out = {v.x, v.y, v.z};
}

float VertexShader::RadiusToObjectSpace(float radius)
{
    if (IsIdentity() || sWorld.orthonormal)
        return radius;
    D3DXVECTOR3 v{};
    v.x = v.y = v.z = 0.57735026f;
    D3DXVec3TransformNormal(&v, &v, &Inverse());
    return radius * std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

// ---- Lights -----------------------------------------------------------------------------------

bool VertexShaderLightSet::Add(const VertexShaderLight* light)
{
    switch (light->type)
    {
    case kVsLightAmbient:
        ambient[0] += light->red;
        ambient[1] += light->green;
        ambient[2] += light->blue;
        return true;
    case kVsLightDirectional:
        return numDirectional < kMaxPerKind && (directional[numDirectional++] = light);
    case kVsLightPoint:
        return numPoints < kMaxPerKind && (points[numPoints++] = light);
    case kVsLightSpot:
    case kVsLightSoftSpot:
        return numSpots < kMaxPerKind && (spots[numSpots++] = light);
    default:
        return false;
    }
}

float (*VertexShaderLightSet::Write(float (*block)[4], VertexShaderDescriptor* descriptor, bool prelit) const)[4]
{
    descriptor->lights = 0;
    descriptor->spotsAndSets &= 0xF0;
    Set4(block[0], ambient[0], ambient[1], ambient[2], prelit ? 0.0f : 1.0f);
    float (*r)[4] = block + 1;

    auto direction = [](const VertexShaderLight* light, float* out) {
        Vector v;
        VertexShader::DirectionToObjectSpace(&v, &light->frame->at);
        Set4(out, v.x, v.y, v.z, 0);
    };
    auto position = [](const VertexShaderLight* light, float* out) {
        Vector v;
        VertexShader::PointToObjectSpace(&v, &light->frame->pos);
        Set4(out, v.x, v.y, v.z, 0);
    };
    auto colour = [](const VertexShaderLight* light, float* out) { Set4(out, light->red, light->green, light->blue, 0); };
    auto inverseRange = [](const VertexShaderLight* light) {
        float radius = VertexShader::RadiusToObjectSpace(light->radius);
        return radius != 0.0f ? 1.0f / radius : 0.0f;
    };

    for (int32_t i = 0; i < numDirectional; ++i)
    {
        direction(directional[i], *r++);
        colour(directional[i], *r++);
    }
    float* group = nullptr;
    for (int32_t i = 0; i < numPoints; ++i)
    {
        // A group register before every fourth light; its unused components stay as they were.
        if (i % 4 == 0)
            group = *r++;
        group[i % 4] = inverseRange(points[i]);
        position(points[i], *r++);
        colour(points[i], *r++);
    }
    for (int32_t i = 0; i < numSpots; ++i)
    {
        if (i % 4 == 0)
            group = *r++;
        group[i % 4] = inverseRange(spots[i]);
        position(spots[i], *r++);
        direction(spots[i], *r++);
        float c = spots[i]->coneCosine;
        float scale = (spots[i]->type == kVsLightSpot || c >= 0.999f) ? 999.99994f : 1.0f / (1.0f - c);
        Set4(*r++, scale, -c * scale, 0.5f, 0);
        colour(spots[i], *r++);
    }
    descriptor->lights = uint8_t(numDirectional | numPoints << 4);
    descriptor->spotsAndSets = uint8_t((descriptor->spotsAndSets & 0xF0) | numSpots);
    return r;
}

// ---- Uploads ------------------------------------------------------------------------------------

HRESULT VertexShader::ScaleLightColors(float (*block)[4], const VertexShaderDescriptor* descriptor, float ambient,
                                       float light)
{
    const VertexShaderDescriptor& d = *descriptor;
    for (int c = 0; c < 3; ++c)
        block[0][c] *= ambient;
    auto scale = [light](float* colour) {
        for (int c = 0; c < 3; ++c)
            colour[c] *= light;
    };
    int32_t r = 1;
    for (int32_t i = 0; i < d.Directional(); ++i, r += 2)
        scale(block[r + 1]);
    for (int32_t i = 0; i < d.Points(); ++i, r += 2)
    {
        if (i % 4 == 0)
            ++r;
        scale(block[r + 1]);
    }
    for (int32_t i = 0; i < d.Spots(); ++i, r += 4)
    {
        if (i % 4 == 0)
            ++r;
        scale(block[r + 3]);
    }
    return Upload(4, block[0], UINT(1 + LightRegisters(d)));
}

HRESULT VertexShader::SetColorConstant(const uint8_t* rgba, const VertexShaderRegisters* registers)
{
    // 0xFF: the shader has no material-colour register, so there is nothing to write.
    if (registers->materialColour == 0xFF)
        return D3D_OK;
    float colour[4] = {rgba[0] / 255.0f, rgba[1] / 255.0f, rgba[2] / 255.0f, rgba[3] / 255.0f};
    return Upload(registers->materialColour, colour, 1);
}

HRESULT VertexShader::SetFogConstants(const VertexShaderDescriptor* descriptor, const VertexShaderRegisters* registers)
{
    int32_t fog = descriptor->Fog();
    if (!fog || VsSettings().wFog)
        return D3D_OK;
    float constants[4] = {0, 0, 0, 1};
    if (fog == 1)
    {
        Engine* engine = Engine::Current();
        const Camera* camera = engine ? static_cast<const Camera*>(engine->currentCamera) : nullptr;
        if (!camera)
            return D3DERR_INVALIDCALL;
        float farPlane = camera->farPlane;
        float span = farPlane - camera->fogPlane;
        // Equal planes would divide by zero: the ramp shrinks to a step at the far plane.
        float least = 1e-6f * std::fmax(1.0f, std::fabs(farPlane));
        if (std::fabs(span) < least)
            span = least;
        constants[0] = -1.0f / span;
        constants[1] = farPlane / span;
    }
    else
    {
        DWORD bits = 0;
        D3D9RenderState::GetRenderState(D3DRS_FOGDENSITY, &bits);
        float density;
        std::memcpy(&density, &bits, sizeof(density));
        constants[0] = density * 1.442695f;
    }
    return Upload(registers->fog, constants, 1);
}

// ---- Drawing -------------------------------------------------------------------------------------------

void VertexShader::DrawMesh(const InstanceHeader* header, const InstanceMesh* mesh)
{
    IDirect3DDevice9* device = D3D9Device::GetDevice();
    if (!device)
        return;
    D3D9Device::SetPixelShader(nullptr);
    const Texture* texture = mesh->material ? mesh->material->texture : nullptr;
    D3D9RenderState::SetTexture(texture, 0);
    const DWORD op = texture ? D3DTOP_MODULATE : D3DTOP_SELECTARG2;
    D3D9RenderState::SetTextureStageState(0, D3DTSS_COLOROP, op);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAOP, op);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    D3D9RenderState::SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    D3D9Device::SetVertexShader(mesh->vertexShader);
    D3D9RenderState::Flush();
    if (mesh->primitiveCount == 0)
        return;
    if (header->indexBuffer)
        device->DrawIndexedPrimitive(D3DPRIMITIVETYPE(header->primitiveType), INT(mesh->baseIndex), 0,
                                     mesh->vertexCount, mesh->startIndex, mesh->primitiveCount);
    else
        device->DrawPrimitive(D3DPRIMITIVETYPE(header->primitiveType), mesh->baseIndex, mesh->primitiveCount);
}
