// Benchmark: the bump vertices a bump-mapped mesh computes on the processor each time it is
// drawn, for a 64 x 64 grid (4096 vertices, 7938 triangles) read back from its instance
// stream, with tangents in the stream and with tangents found from the triangles, against a
// plain loop that copies the same vertices into the bump format without shifting them.
// Prints vertices per second (items) and the ratios.
#include "benchd3d9.h"
#include "benchsupport.h"
#include "d3d9device.h"
#include "d3d9vertexbuffer.h"
#include "engine.h"
#include "frame.h"
#include "instancedata.h"
#include "material.h"
#include "matfx.h"
#include "matfxd3d9.h"
#include "win32.h"
#include "world.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

constexpr int32_t kSide = 64;
constexpr int32_t kVertices = kSide * kSide;

struct Vertex
{
    float p[3], n[3], uv[2], t[3];
};

/// One mesh of instance data over the grid, with or without tangents in its stream.
struct Grid
{
    std::vector<Vertex> vertices;
    std::vector<uint16_t> indices;
    std::vector<uint8_t> block;
    IDirect3DVertexBuffer9* buffer = nullptr;
    IDirect3DIndexBuffer9* indexBuffer = nullptr;
    IDirect3DVertexDeclaration9* declaration = nullptr;
    UINT stride = 0, offset = 0;

    Grid(bool tangents, Material* material)
    {
        for (int32_t y = 0; y < kSide; ++y)
            for (int32_t x = 0; x < kSide; ++x)
            {
                const float u = float(x) / (kSide - 1), v = float(y) / (kSide - 1);
                vertices.push_back(
                    {{u * 4 - 2, v * 4 - 2, 0.1f * float((x * 7 + y * 3) % 5)}, {0, 0, -1}, {u, v}, {1, 0, 0}});
            }
        for (int32_t y = 0; y + 1 < kSide; ++y)
            for (int32_t x = 0; x + 1 < kSide; ++x)
            {
                const uint16_t a = uint16_t(y * kSide + x), b = uint16_t(a + 1), c = uint16_t(a + kSide),
                               d = uint16_t(c + 1);
                indices.insert(indices.end(), {a, b, c, b, d, c});
            }
        stride = tangents ? 44 : 32;
        std::vector<D3DVERTEXELEMENT9> e = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                            {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
                                            {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0}};
        if (tangents)
            e.push_back({0, 32, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_TANGENT, 0});
        e.push_back({0xFF, 0, D3DDECLTYPE_UNUSED, 0, 0, 0});
        D3D9Device::CreateVertexDeclaration(e.data(), &declaration);
        D3D9VertexBuffer::Create(stride, stride * kVertices, &buffer, &offset);
        void* p = nullptr;
        if (buffer && SUCCEEDED(buffer->Lock(offset, stride * kVertices, &p, 0)))
        {
            for (size_t i = 0; i < vertices.size(); ++i)
                std::memcpy(static_cast<uint8_t*>(p) + i * stride, &vertices[i], stride);
            buffer->Unlock();
        }
        D3D9Device::CreateIndexBuffer(UINT(indices.size()), &indexBuffer);
        if (indexBuffer && SUCCEEDED(indexBuffer->Lock(0, 0, &p, 0)))
        {
            std::memcpy(p, indices.data(), indices.size() * 2);
            indexBuffer->Unlock();
        }
        block.assign(sizeof(InstanceHeader) + sizeof(InstanceMesh), 0);
        InstanceHeader* header = Header();
        header->meshCount = 1;
        header->indexBuffer = indexBuffer;
        header->primitiveType = D3DPT_TRIANGLELIST;
        header->streams[0] = {buffer, offset, stride, 0, 1, 0};
        header->vertexDeclaration = declaration;
        InstanceMesh* mesh = Mesh();
        mesh->indexCount = uint32_t(indices.size());
        mesh->material = material;
        mesh->baseIndex = stride ? offset / stride : 0;
        mesh->vertexCount = kVertices;
        mesh->primitiveCount = uint32_t(indices.size() / 3);
    }

    ~Grid()
    {
        if (buffer)
            D3D9VertexBuffer::Destroy(stride, stride * kVertices, buffer, offset);
        if (indexBuffer)
            D3D9Device::ReleaseObject(indexBuffer);
        if (declaration)
            D3D9Device::DestroyVertexDeclaration(declaration);
    }

    bool Ready() const { return buffer && indexBuffer && declaration; }
    InstanceHeader* Header() { return reinterpret_cast<InstanceHeader*>(block.data()); }
    InstanceMesh* Mesh() { return InstanceHeader::Meshes(Header()); }
};

Material* sMaterial = nullptr;
Grid* sTangents = nullptr;
Grid* sTriangles = nullptr;

void Compute(benchmark::State& state, Grid* grid)
{
    std::vector<MatFxBumpVertex> out(kVertices);
    if (!grid->Ready())
    {
        state.SkipWithError("the instance data could not be made");
        return;
    }
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(MatFx::ComputeBumpVertices(grid->Header(), grid->Mesh(), out.data()));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kVertices);
}

void BM_Tangents(benchmark::State& state)
{
    Compute(state, sTangents);
}
BENCHMARK(BM_Tangents)->Name("BumpVertices/tangents")->Unit(benchmark::kMicrosecond);

void BM_Triangles(benchmark::State& state)
{
    Compute(state, sTriangles);
}
BENCHMARK(BM_Triangles)->Name("BumpVertices/triangles")->Unit(benchmark::kMicrosecond);

// The same vertices copied into the bump format, coordinates unshifted.
void BM_Copy(benchmark::State& state)
{
    const std::vector<Vertex>& in = sTangents->vertices;
    std::vector<MatFxBumpVertex> out(kVertices);
    for (auto _ : state)
    {
        for (size_t i = 0; i < in.size(); ++i)
        {
            const Vertex& v = in[i];
            out[i] = {v.p[0], v.p[1], v.p[2], v.n[0], v.n[1], v.n[2], 0xFFFFFFFF, v.uv[0], v.uv[1], v.uv[0], v.uv[1]};
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kVertices);
}
BENCHMARK(BM_Copy)->Name("BumpVertices/copy")->Unit(benchmark::kMicrosecond);

bool AttachMatFx()
{
    return World::Attach() && MatFx::Attach();
}

} // namespace

int main(int argc, char** argv)
{
    if (BenchStartD3D9Engine("MatFxBench", "material effects benchmark", 640, 480, 0, AttachMatFx))
        return 1;
    sMaterial = Material::Create();
    MatFx::SetEffects(sMaterial, kMatFxBumpMap);
    Frame* light = Frame::Create();
    const Vector at = {3, 4, -5};
    Frame::Translate(light, &at, 0);
    MatFxBumpSlot& bump = MatFx::GetData(sMaterial)->slots[0].bump;
    bump.frame = light;
    bump.bumpiness = 1.0f;
    bump.invWidth = 1.0f / 256;
    int result = 1;
    {
        Grid tangents(true, sMaterial), triangles(false, sMaterial);
        sTangents = &tangents;
        sTriangles = &triangles;
        result = BenchRunWithRatios(
            argc, argv,
            {{"bump vertices, tangents from the stream / plain copy", "BumpVertices/tangents", "BumpVertices/copy"},
             {"bump vertices, tangents from the triangles / plain copy", "BumpVertices/triangles", "BumpVertices/copy"},
             {"tangents from the triangles / from the stream", "BumpVertices/triangles", "BumpVertices/tangents"}},
            "4096 vertices per mesh; the ratios are CPU time per vertex");
    }
    Material::Destroy(sMaterial);
    Frame::Destroy(light);
    BenchStopD3D9Engine();
    return result;
}
