// Vertex-element encoders on 10,000 vertices: the packed normal and texture-coordinate forms
// and colours against the plain float copy of the same vectors, and a full refill of a
// morphing mesh's interpolated positions and normals.
#include "benchsupport.h"
#include "geometry.h"
#include "vector.h"
#include "vertexdeclaration.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace
{

constexpr int32_t kVertices = 10000;

std::vector<Vector> Normals()
{
    std::vector<Vector> out(kVertices);
    for (int32_t i = 0; i < kVertices; ++i)
    {
        const float a = float(i) * 0.001f;
        out[size_t(i)] = {std::cos(a) * 0.6f, std::sin(a) * 0.6f, 0.8f};
    }
    return out;
}

void WriteVectors(benchmark::State& state, int32_t type, int32_t stride)
{
    std::vector<Vector> normals = Normals();
    std::vector<uint8_t> stream(size_t(kVertices) * size_t(stride));
    for (auto _ : state)
    {
        VertexDeclaration::WriteVectors(type, stream.data(), normals.data(), kVertices, stride);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kVertices);
}

void BM_Float3(benchmark::State& state)
{
    WriteVectors(state, D3DDECLTYPE_FLOAT3, 12);
}

void BM_Dec3n(benchmark::State& state)
{
    WriteVectors(state, D3DDECLTYPE_DEC3N, 4);
}

void BM_TexCoords(benchmark::State& state)
{
    std::vector<TexCoords> coordinates(kVertices);
    for (int32_t i = 0; i < kVertices; ++i)
        coordinates[size_t(i)] = {float(i % 100) / 100.0f, float(i % 37) / 37.0f};
    const int32_t type = int32_t(state.range(0));
    std::vector<uint8_t> stream(size_t(kVertices) * 8);
    for (auto _ : state)
    {
        VertexDeclaration::WriteTexCoords(type, stream.data(), coordinates.data(), kVertices,
                                          VertexDeclaration::GetTypeSize(type));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kVertices);
}

void BM_Colours(benchmark::State& state)
{
    std::vector<uint8_t> colours(size_t(kVertices) * 4, 200);
    std::vector<uint8_t> stream(size_t(kVertices) * 4);
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(VertexDeclaration::WriteColors(stream.data(), colours.data(), kVertices, 4));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kVertices);
}

// What a morphing mesh rewrites each frame: positions as floats and normals packed.
void BM_MorphRefill(benchmark::State& state)
{
    std::vector<Vector> a = Normals(), b = Normals();
    for (Vector& v : b)
        v.z = -v.z;
    std::vector<uint8_t> stream(size_t(kVertices) * 16);
    for (auto _ : state)
    {
        VertexDeclaration::WriteInterpolatedVectors(D3DDECLTYPE_FLOAT3, stream.data(), a.data(), b.data(), 0.25f,
                                                    kVertices, 16);
        VertexDeclaration::WriteInterpolatedVectors(D3DDECLTYPE_DEC3N, stream.data() + 12, a.data(), b.data(), 0.25f,
                                                    kVertices, 16);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kVertices);
}

} // namespace

BENCHMARK(BM_Float3)->Name("VertexDeclaration/float3");
BENCHMARK(BM_Dec3n)->Name("VertexDeclaration/dec3n");
BENCHMARK(BM_TexCoords)->Name("VertexDeclaration/texcoordsFloat2")->Arg(D3DDECLTYPE_FLOAT2);
BENCHMARK(BM_TexCoords)->Name("VertexDeclaration/texcoordsUshort2n")->Arg(D3DDECLTYPE_USHORT2N);
BENCHMARK(BM_Colours)->Name("VertexDeclaration/colours");
BENCHMARK(BM_MorphRefill)->Name("VertexDeclaration/morphRefill");

int main(int argc, char** argv)
{
    return BenchRunWithRatios(
        argc, argv,
        {{"DEC3N normals / float copy", "VertexDeclaration/dec3n", "VertexDeclaration/float3"},
         {"USHORT2N coordinates / float copy", "VertexDeclaration/texcoordsUshort2n/11",
          "VertexDeclaration/texcoordsFloat2/1"},
         {"morph refill / float copy", "VertexDeclaration/morphRefill", "VertexDeclaration/float3"}});
}
