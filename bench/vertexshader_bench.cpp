// Generated vertex shaders: cache look-ups over 256 resident descriptors against a plain
// scan of the same keys, and the generation and assembly of one descriptor.
#include "benchsupport.h"
#include "d3dx9.h"
#include "vertexshader.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace
{

VertexShaderDescriptor Descriptor(int i)
{
    return {uint8_t(i & 0x33), uint8_t(((i >> 2) & 3) << 4), kVsNormals, uint8_t((i >> 6) & 3)};
}

void UseModel20()
{
    D3DCAPS9 caps{};
    caps.VertexShaderVersion = 0xFFFE0200;
    caps.MaxVertexShaderConst = 256;
    VertexShaderCache::ReadCaps(&caps);
}

// Look-ups in a scattered order, so the most-recently-used entry rarely answers.
std::vector<VertexShaderDescriptor> Probes()
{
    std::vector<VertexShaderDescriptor> probes;
    for (int i = 0; i < 256; ++i)
        probes.push_back(Descriptor((i * 101) % 256));
    return probes;
}

void BM_CacheFind(benchmark::State& state)
{
    UseModel20();
    VertexShaderCache::Close();
    VertexShaderRegisters registers{};
    // Without a device every entry caches null: the look-up is what is measured.
    for (int i = 0; i < 256; ++i)
    {
        VertexShaderDescriptor d = Descriptor(i);
        VertexShaderCache::Find(&d, &registers);
    }
    std::vector<VertexShaderDescriptor> probes = Probes();
    for (auto _ : state)
    {
        for (const VertexShaderDescriptor& d : probes)
            benchmark::DoNotOptimize(VertexShaderCache::Find(&d, &registers));
    }
    state.SetItemsProcessed(state.iterations() * int64_t(probes.size()));
    VertexShaderCache::Close();
}

void BM_ArrayScan(benchmark::State& state)
{
    struct Entry
    {
        uint32_t key;
        VertexShaderRegisters registers;
    };
    std::vector<Entry> entries;
    for (int i = 0; i < 256; ++i)
        entries.push_back({Descriptor(i).Key(), {}});
    std::vector<VertexShaderDescriptor> probes = Probes();
    VertexShaderRegisters registers{};
    for (auto _ : state)
    {
        for (const VertexShaderDescriptor& d : probes)
        {
            uint32_t key = d.Key();
            for (const Entry& e : entries)
            {
                if (e.key == key)
                {
                    registers = e.registers;
                    break;
                }
            }
            benchmark::DoNotOptimize(registers);
        }
    }
    state.SetItemsProcessed(state.iterations() * int64_t(probes.size()));
}

void BM_GenerateAndAssemble(benchmark::State& state)
{
    UseModel20();
    // Skinned by two bones, three point lights, linear fog, material colour.
    const VertexShaderDescriptor d{0x30, 0x10, kVsNormals | kVsMaterialColour | (2 << 1), 1};
    VertexShaderRegisters registers{};
    std::string text;
    for (auto _ : state)
    {
        VertexShader::GenerateText(&d, &registers, &text);
        ID3DXBuffer* tokens = nullptr;
        D3DXAssembleShader(text.c_str(), UINT(text.size()), nullptr, nullptr, D3DXSHADER_SKIPOPTIMIZATION, &tokens,
                           nullptr);
        if (tokens)
            tokens->Release();
    }
}

} // namespace

BENCHMARK(BM_CacheFind)->Name("VertexShaderCache/find256");
BENCHMARK(BM_ArrayScan)->Name("VertexShaderCache/scan256");
BENCHMARK(BM_GenerateAndAssemble)->Name("VertexShader/generateAndAssemble")->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    return BenchRunWithRatios(argc, argv, {{"cache find / plain scan", "VertexShaderCache/find256",
                                            "VertexShaderCache/scan256"}});
}
