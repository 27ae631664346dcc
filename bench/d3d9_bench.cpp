// Benchmark: the Direct3D 9 layer's drawing. CPU cost per draw of 10,000 small draws with state changes
// between them, against the same OpenGL calls made directly, and frames per second of a 640 x 480 frame of
// 1,000 lit, textured triangles; prints the time ratio at the end.
#include "benchsupport.h"
#include "d3d9testhooks.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

const HWND kWindow = reinterpret_cast<HWND>(0x1000);
constexpr UINT kDraws = 10000;

struct Bench
{
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    IDirect3DVertexBuffer9* buffer = nullptr;
    IDirect3DTexture9* textures[2] = {};

    Bench(UINT width, UINT height)
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        d3d9test::AdapterConfig adapter = d3d9test::DefaultAdapter();
        adapter.clientWidth = width;
        adapter.clientHeight = height;
        d3d9test::SetAdapters({adapter});
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS parameters{};
        parameters.Windowed = TRUE;
        parameters.SwapEffect = D3DSWAPEFFECT_COPY;
        parameters.hDeviceWindow = kWindow;
        parameters.BackBufferWidth = width;
        parameters.BackBufferHeight = height;
        parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
        parameters.EnableAutoDepthStencil = TRUE;
        parameters.AutoDepthStencilFormat = D3DFMT_D24S8;
        parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        if (!d3d || d3d->CreateDevice(0, D3DDEVTYPE_HAL, kWindow, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                                      &device) != D3D_OK)
            return;
        for (DWORD colour : {0xFFFF8040u, 0xFF4080FFu})
        {
            IDirect3DTexture9*& texture = textures[colour == 0xFFFF8040u ? 0 : 1];
            device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
            D3DLOCKED_RECT locked;
            texture->LockRect(0, &locked, nullptr, 0);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x)
                    std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + x * 4, &colour, 4);
            texture->UnlockRect(0);
        }
    }

    ~Bench()
    {
        for (IDirect3DTexture9* texture : textures)
            if (texture)
                texture->Release();
        if (buffer)
            buffer->Release();
        if (device)
            device->Release();
        if (d3d)
            d3d->Release();
    }
};

struct TlVertex
{
    float x, y, z, rhw;
    D3DCOLOR diffuse;
    float u, v;
};

/// A few-pixel triangle in a managed buffer, so fill costs nothing next to the calls.
void SmallTriangle(Bench& bench)
{
    TlVertex tri[3] = {{1, 1, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {4, 1, 0.5f, 1, 0xFFFFFFFF, 1, 0},
                       {1, 4, 0.5f, 1, 0xFFFFFFFF, 0, 1}};
    bench.device->CreateVertexBuffer(sizeof(tri), D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &bench.buffer, nullptr);
    void* data = nullptr;
    bench.buffer->Lock(0, 0, &data, 0);
    std::memcpy(data, tri, sizeof(tri));
    bench.buffer->Unlock();
    bench.device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    bench.device->SetStreamSource(0, bench.buffer, 0, sizeof(TlVertex));
    bench.device->SetRenderState(D3DRS_LIGHTING, FALSE);
}

void BM_LayerDraws(benchmark::State& state)
{
    Bench bench(64, 64);
    if (!bench.device)
    {
        state.SkipWithError("no device");
        return;
    }
    SmallTriangle(bench);
    for (auto _ : state)
    {
        for (UINT i = 0; i < kDraws; ++i)
        {
            bench.device->SetRenderState(D3DRS_ZFUNC, i % 2 ? D3DCMP_LESS : D3DCMP_LESSEQUAL);
            bench.device->SetTexture(0, bench.textures[i % 2]);
            bench.device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
        }
        d3d9test::Finish(bench.device);
    }
    bench.device->SetTexture(0, nullptr);
    bench.device->SetStreamSource(0, nullptr, 0, 0);
    state.SetItemsProcessed(int64_t(state.iterations()) * kDraws);
}
BENCHMARK(BM_LayerDraws)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DirectGlDraws(benchmark::State& state)
{
    Bench bench(64, 64);
    if (!bench.device)
    {
        state.SkipWithError("no device");
        return;
    }
    SmallTriangle(bench);
    // One layer draw leaves the program and vertex input bound; the loop then talks to OpenGL itself.
    bench.device->SetTexture(0, bench.textures[0]);
    bench.device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1);
    for (auto _ : state)
    {
        d3d9test::DrawDirect(bench.device, kDraws, bench.textures[0], bench.textures[1]);
        d3d9test::Finish(bench.device);
    }
    bench.device->SetTexture(0, nullptr);
    bench.device->SetStreamSource(0, nullptr, 0, 0);
    state.SetItemsProcessed(int64_t(state.iterations()) * kDraws);
}
BENCHMARK(BM_DirectGlDraws)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LitTexturedFrame640x480(benchmark::State& state)
{
    Bench bench(640, 480);
    if (!bench.device)
    {
        state.SkipWithError("no device");
        return;
    }
    IDirect3DDevice9* device = bench.device;
    // 1,000 triangles: a 25 x 20 grid of quads over the view, lit by a directional and a point light.
    struct Vertex
    {
        float x, y, z, nx, ny, nz, u, v;
    };
    std::vector<Vertex> vertices;
    for (int j = 0; j <= 20; ++j)
        for (int i = 0; i <= 25; ++i)
        {
            float x = -1 + 2.0f * i / 25, y = 1 - 2.0f * j / 20;
            vertices.push_back({x * 2, y * 1.5f, 2.0f + 0.3f * std::sin(float(i + j)), 0.3f * x, 0.3f * y, -1,
                                float(i) / 5, float(j) / 5});
        }
    std::vector<WORD> indices;
    for (int j = 0; j < 20; ++j)
        for (int i = 0; i < 25; ++i)
        {
            WORD a = WORD(j * 26 + i), b = WORD(a + 1), c = WORD(a + 26), d = WORD(c + 1);
            indices.insert(indices.end(), {a, b, c, b, d, c});
        }
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    device->CreateVertexBuffer(UINT(vertices.size() * sizeof(Vertex)), D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &vb,
                               nullptr);
    device->CreateIndexBuffer(UINT(indices.size() * 2), D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib,
                              nullptr);
    void* data = nullptr;
    vb->Lock(0, 0, &data, 0);
    std::memcpy(data, vertices.data(), vertices.size() * sizeof(Vertex));
    vb->Unlock();
    ib->Lock(0, 0, &data, 0);
    std::memcpy(data, indices.data(), indices.size() * 2);
    ib->Unlock();

    D3DMATRIX identity{}, projection{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1;
    projection._11 = 0.75f;
    projection._22 = 1;
    projection._33 = 10.0f / 9.5f;
    projection._34 = 1;
    projection._43 = -5.0f / 9.5f;
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    device->SetTransform(D3DTS_PROJECTION, &projection);
    D3DLIGHT9 sun{};
    sun.Type = D3DLIGHT_DIRECTIONAL;
    sun.Diffuse = {0.8f, 0.8f, 0.7f, 1};
    sun.Direction = {0.3f, -0.4f, 0.8f};
    D3DLIGHT9 lamp{};
    lamp.Type = D3DLIGHT_POINT;
    lamp.Diffuse = {0.4f, 0.5f, 1.0f, 1};
    lamp.Position = {0.5f, 0.5f, 1.0f};
    lamp.Range = 5;
    lamp.Attenuation0 = 1;
    device->SetLight(0, &sun);
    device->SetLight(1, &lamp);
    device->LightEnable(0, TRUE);
    device->LightEnable(1, TRUE);
    D3DMATERIAL9 material{};
    material.Diffuse = material.Ambient = {1, 1, 1, 1};
    device->SetMaterial(&material);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_AMBIENT, 0xFF202020);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetTexture(0, bench.textures[0]);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    device->SetStreamSource(0, vb, 0, sizeof(Vertex));
    device->SetIndices(ib);
    for (auto _ : state)
    {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, UINT(vertices.size()), 0, 1000);
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
        d3d9test::Finish(device);
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    device->SetTexture(0, nullptr);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
    vb->Release();
    ib->Release();
}
BENCHMARK(BM_LitTexturedFrame640x480)->Unit(benchmark::kMillisecond)->UseRealTime(); // fps counts wall time

} // namespace

int main(int argc, char** argv)
{
    return BenchRunWithRatios(argc, argv, {{"layer / direct OpenGL, 10,000 draws with state changes", "BM_LayerDraws",
                                            "BM_DirectGlDraws"}},
                              "fps of the lit frame is its counter above (SDL offscreen, llvmpipe unless a GPU "
                              "driver is present)");
}
