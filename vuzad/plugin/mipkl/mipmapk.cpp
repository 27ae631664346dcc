// Mipmap K values measured over clumps and worlds.
#include "mipmapk.h"

#include "camera.h"
#include "clump.h"
#include "frame.h"
#include "geometry.h"
#include "material.h"
#include "mathsqrt.h"
#include "memory.h"
#include "mipmapkl.h"
#include "raster.h"
#include "texture.h"
#include "world.h"

#include <cmath>

namespace
{
constexpr uint32_t kPositionsHint = 0x10198;
constexpr uint32_t kWorldNative = 0x1000000;
constexpr uint32_t kWorldTextured = 0x4;
constexpr uint32_t kWorldTextured2 = 0x80;

struct Pass
{
    Clump* clump;
    World* world;
    Texture* texture;
    float sum;
    int32_t count;
    float screenScale;
};

bool UsesTexture(const Material* material, const Texture* texture)
{
    return material && material->texture == texture;
}

void AddTriangle(const TexCoords* uv, const Vector* p, uint16_t i0, uint16_t i1, uint16_t i2, Pass* pass)
{
    const Raster* raster = pass->texture->raster;
    const float texels = raster ? float(raster->width) * float(raster->height) : 0.0f;
    const float at = std::fabs((uv[i1].u - uv[i0].u) * (uv[i2].v - uv[i0].v) -
                               (uv[i2].u - uv[i0].u) * (uv[i1].v - uv[i0].v)) /
                     2 * texels;
    const Vector a = {p[i1].x - p[i0].x, p[i1].y - p[i0].y, p[i1].z - p[i0].z};
    const Vector b = {p[i2].x - p[i0].x, p[i2].y - p[i0].y, p[i2].z - p[i0].z};
    const Vector c = {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    const float aw = Math::Sqrt(c.x * c.x + c.y * c.y + c.z * c.z) / 2;
    if (!(aw > 0) || !(at > 1))
        return;
    pass->sum += Math::Sqrt(aw * pass->screenScale / at);
    ++pass->count;
}

Atomic* AtomicCallback(Atomic* atomic, void* data)
{
    auto* pass = static_cast<Pass*>(data);
    Geometry* g = atomic->geometry;
    if (!g || (g->flags & kGeometryNative) || g->numMorphTargets <= 0 || !g->texCoords[0] || g->numVertices <= 0)
        return atomic;
    const Vector* model = g->morphTargets[0].positions;
    if (!model)
        return atomic;
    auto* world = static_cast<Vector*>(Memory::Allocate(sizeof(Vector) * size_t(g->numVertices), kPositionsHint));
    if (!world)
        return atomic;
    Frame* frame = atomic->object.frame;
    if (frame)
        Vector::TransformPoints(world, model, g->numVertices, Frame::GetWorldMatrix(frame));
    else
        for (int32_t i = 0; i < g->numVertices; ++i)
            world[i] = model[i];
    for (int32_t i = 0; i < g->numTriangles; ++i)
    {
        const Triangle& t = g->triangles[i];
        if (t.material < 0 || t.material >= g->materials.count ||
            !UsesTexture(g->materials.materials[t.material], pass->texture))
            continue;
        if (t.vertex[0] >= g->numVertices || t.vertex[1] >= g->numVertices || t.vertex[2] >= g->numVertices)
            continue;
        AddTriangle(g->texCoords[0], world, t.vertex[0], t.vertex[1], t.vertex[2], pass);
    }
    Memory::Free(world);
    return atomic;
}

WorldSector* SectorCallback(WorldSector* sector, void* data)
{
    auto* pass = static_cast<Pass*>(data);
    const auto* triangles = static_cast<const Triangle*>(sector->triangles);
    const auto* uv = static_cast<const TexCoords*>(sector->texCoords[0]);
    if (!triangles || !uv || !sector->positions)
        return sector;
    const MaterialList& list = pass->world->materials;
    for (int32_t i = 0; i < sector->numTriangles; ++i)
    {
        const Triangle& t = triangles[i];
        const int32_t m = int32_t(sector->materialBase) + t.material;
        if (t.material < 0 || m >= list.count || !UsesTexture(list.materials[m], pass->texture))
            continue;
        if (t.vertex[0] >= sector->numVertices || t.vertex[1] >= sector->numVertices ||
            t.vertex[2] >= sector->numVertices)
            continue;
        AddTriangle(uv, sector->positions, t.vertex[0], t.vertex[1], t.vertex[2], pass);
    }
    return sector;
}

Texture* Measure(Texture* texture, void* data)
{
    auto* pass = static_cast<Pass*>(data);
    pass->texture = texture;
    pass->sum = 0;
    pass->count = 0;
    if (pass->clump)
        Clump::ForAllAtomics(pass->clump, AtomicCallback, pass);
    else
        World::ForAllSectors(pass->world, SectorCallback, pass);
    if (pass->count > 0)
        MipmapKL::SetTextureK(texture, -std::log2(pass->sum / float(pass->count)));
    return texture;
}

// Pixels per unit of area on the view plane at distance 1.
bool ScreenScale(const Camera* camera, float* scale)
{
    const Raster* raster = camera ? camera->frameBuffer : nullptr;
    const float window = 4 * camera->viewWindow.x * camera->viewWindow.y;
    if (!raster || !(window > 0))
        return false;
    *scale = float(raster->width) * float(raster->height) / window;
    return true;
}

void Run(Pass* pass, Camera* camera)
{
    TextureDictionary* dictionary = TextureDictionary::GetCurrent();
    if (!dictionary || !camera || !ScreenScale(camera, &pass->screenScale))
        return;
    TextureDictionary::ForAllTextures(dictionary, Measure, pass);
}
} // namespace

void MipmapK::ComputeClump(Clump* clump, Camera* camera)
{
    if (!clump)
        return;
    Pass pass = {clump, nullptr, nullptr, 0, 0, 0};
    Run(&pass, camera);
}

void MipmapK::ComputeWorld(World* world, Camera* camera)
{
    if (!world || (world->formatFlags & kWorldNative) || !(world->formatFlags & (kWorldTextured | kWorldTextured2)))
        return;
    Pass pass = {nullptr, world, nullptr, 0, 0, 0};
    Run(&pass, camera);
}
