// Benchmark: the renderer's frame. A scene of 100 box clumps over a 1,000-sector floor world,
// drawn by the renderer's 3D pass (sky, world, effect groups, render lists, transparent layer)
// against the engine's bare world render of the same world with the same clumps added to it, on
// the offscreen driver at 640 x 480; whole frames (clear, update, 3D pass, present) per second;
// and the engine's frame through our Direct3D 9 layer against the same draws, states and textures
// sent straight to OpenGL on the same context, whose frames must match pixel for pixel.
#include "benchsupport.h"
#include "benchwindow.h"
#include "camera.h"
#include "clump.h"
#include "d3d9device.h"
#include "d3d9testhooks.h"
#include "frame.h"
#include "geometry.h"
#include "hbapplication.h"
#include "hbresource.h"
#include "levelwriter.h"
#include "material.h"
#include "stream.h"
#include "w3dcamera.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "win32.h"
#include "wlightfield.h"
#include "world.h"
#include "worldwriter.h"
#include "wrenderer.h"
#include "wrenderitem.h"
#include "wscene.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace
{


constexpr int kTilesX = 40;
constexpr int kTilesZ = 25; // 1,000 sectors
constexpr float kTile = 10.0f;
constexpr int kClumps = 100;

/// Plane nodes halving the tile range along its longer side, down to one tile per leaf.
int32_t BuildTree(WorldDescription& d, int x0, int x1, int z0, int z1)
{
    const int32_t index = int32_t(d.nodes.size());
    d.nodes.emplace_back();
    if (x1 - x0 == 1 && z1 - z0 == 1)
    {
        d.nodes[index].leaf = z0 * kTilesX + x0;
        return index;
    }
    const bool alongX = x1 - x0 >= z1 - z0;
    const int mid = alongX ? (x0 + x1) / 2 : (z0 + z1) / 2;
    const float value = mid * kTile;
    const int32_t left = alongX ? BuildTree(d, x0, mid, z0, z1) : BuildTree(d, x0, x1, z0, mid);
    const int32_t right = alongX ? BuildTree(d, mid, x1, z0, z1) : BuildTree(d, x0, x1, mid, z1);
    WorldDescription::Node& node = d.nodes[index];
    node.axis = alongX ? 0 : 8;
    node.value = node.leftExtent = node.rightExtent = value;
    node.left = left;
    node.right = right;
    return index;
}

World* MakeFloor()
{
    WorldDescription d;
    d.format = kGeometryPositions | kGeometryPrelit;
    GeometryDescription::Material plain;
    plain.colour = {255, 255, 255, 255};
    d.materials = {plain};
    d.listEntries = {0};
    for (int z = 0; z < kTilesZ; ++z)
        for (int x = 0; x < kTilesX; ++x)
        {
            const float x0 = x * kTile, z0 = z * kTile, x1 = x0 + kTile, z1 = z0 + kTile;
            WorldDescription::Leaf leaf;
            leaf.positions = {x0, 0, z0, x1, 0, z0, x0, 0, z1, x1, 0, z1};
            const uint8_t shade = uint8_t((x + z) % 2 ? 90 : 160);
            leaf.prelit.assign(4, {shade, shade, shade, 255});
            leaf.triangles = {{0, 2, 1, 0}, {1, 2, 3, 0}};
            leaf.tightBox = {x0, -1, z0, x1, 1, z1};
            d.leaves.push_back(leaf);
        }
    BuildTree(d, 0, kTilesX, 0, kTilesZ);
    d.box = {kTilesX * kTile, 1, kTilesZ * kTile, 0, -1, 0};
    std::vector<uint8_t> bytes = WorldWriter::Write(d);
    MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
    Stream* in = Stream::Open(kStreamMemory, kStreamRead, &block);
    World* world = nullptr;
    if (in && Stream::FindChunk(in, 11, nullptr, nullptr))
        world = World::StreamRead(in);
    if (in)
        Stream::Close(in, nullptr);
    return world;
}

/// A unit box of 12 triangles on a frame of its own.
Clump* MakeBox(Material* material)
{
    Geometry* geometry = Geometry::Create(8, 12, kGeometryPositions);
    MorphTarget& target = geometry->morphTargets[0];
    for (int i = 0; i < 8; ++i)
        target.positions[i] = {float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1)};
    static const uint16_t kFaces[12][3] = {{0, 1, 2}, {1, 3, 2}, {4, 6, 5}, {5, 6, 7}, {0, 4, 1}, {1, 4, 5},
                                           {2, 3, 6}, {3, 7, 6}, {0, 2, 4}, {2, 6, 4}, {1, 5, 3}, {3, 5, 7}};
    for (int i = 0; i < 12; ++i)
    {
        Geometry::SetTriangleVertices(geometry, &geometry->triangles[i], kFaces[i][0], kFaces[i][1], kFaces[i][2]);
        Geometry::SetTriangleMaterial(geometry, &geometry->triangles[i], material);
    }
    MorphTarget::CalcBoundingSphere(&target, &target.boundingSphere);
    Geometry::Unlock(geometry);
    Clump* clump = Clump::Create();
    clump->frame = Frame::Create();
    Atomic* atomic = Atomic::Create();
    Atomic::SetFrame(atomic, clump->frame);
    Atomic::SetGeometry(atomic, geometry, 0);
    Geometry::Destroy(geometry);
    Clump::AddAtomic(clump, atomic);
    return clump;
}

/// A frame node carrying a clump on its frame.
class ClumpNode : public W3dFrame
{
public:
    static ClumpNode* Make(Clump* clump)
    {
        auto* node = new ClumpNode();
        node->mClump = clump;
        Frame::AddChild(node->GetEngineFrame(), clump->frame);
        RenderItemList::Build(node, clump);
        return node;
    }
    Clump* mClump = nullptr;
};

struct Bench
{
    WRenderer* renderer = nullptr;
    World* world = nullptr;
    W3dLevel* level = nullptr;
    WScene* scene = nullptr;
    W3dCamera* camera = nullptr;
    Material* material = nullptr;
    std::vector<ClumpNode*> nodes;
    std::vector<Clump*> bareClumps; ///< the same boxes added to the world for the bare render
};
Bench gBench;

bool Start()
{
    Bench& b = gBench;
    if (!BenchStartRenderer("RendererBench", "renderer bench", b.renderer))
        return false;
    b.world = MakeFloor();
    if (!b.world)
        return false;
    b.level = W3dLevel::Create();
    b.level->AddRef();
    b.level->SetMainWorld(b.world);
    b.scene = new WScene();
    b.renderer->SetScene(b.scene);
    b.scene->SetLevel(b.level);
    b.camera = W3dCamera::Create();
    b.camera->AddRef();
    b.scene->GetRoot()->AttachChild(b.camera);
    b.renderer->SetCamera(b.camera);
    // Above the floor's middle, looking down the z axis at a slant.
    const Vector right = {1, 0, 0};
    const Vector position = {kTilesX * kTile / 2, 40, -20};
    Frame* frame = b.camera->GetEngineFrame();
    Frame::Rotate(frame, &right, 25.0f, kCombineReplace);
    Frame::Translate(frame, &position, kCombinePostConcat);
    b.camera->SetFarClipPlane(400.0f);
    b.material = Material::Create();
    for (int i = 0; i < kClumps; ++i)
    {
        const Vector at = {float(i % 10) * 38.0f + 10, 0.0f, float(i / 10) * 24.0f + 5};
        ClumpNode* node = ClumpNode::Make(MakeBox(b.material));
        node->AddRef();
        Frame::Translate(node->GetEngineFrame(), &at, kCombineReplace);
        b.scene->GetRoot()->AttachChild(node);
        b.renderer->AddToRenderLists(node, 0);
        b.nodes.push_back(node);
        Clump* bare = MakeBox(b.material);
        Frame::Translate(bare->frame, &at, kCombineReplace);
        b.bareClumps.push_back(bare);
    }
    // Frames first: geometry is instanced and shaders are built on the first draws, which no
    // timed run should pay.
    for (int i = 0; i < 30; ++i)
    {
        b.renderer->BeginFrame();
        b.renderer->UpdateFrame();
        b.renderer->RenderScene();
        b.renderer->EndFrame();
    }
    return true;
}

void Stop()
{
    Bench& b = gBench;
    if (b.renderer)
    {
        b.renderer->SetCamera(nullptr);
        b.renderer->ReleaseScene();
    }
    for (ClumpNode* node : b.nodes)
    {
        Clump* clump = node->mClump;
        if (clump->frame->parent)
            Frame::RemoveChild(clump->frame);
        node->Release();
        Clump::Destroy(clump);
    }
    for (Clump* clump : b.bareClumps)
        Clump::Destroy(clump);
    if (b.camera)
        b.camera->Release();
    if (b.level)
        b.level->Release();
    if (b.world)
        World::Destroy(b.world);
    if (b.material)
        Material::Destroy(b.material);
    WRenderer::DestroyInstance();
}

void BM_RendererPass(benchmark::State& state)
{
    Bench& b = gBench;
    // Each frame is presented: without it the device's queue of work only grows.
    for (auto _ : state)
    {
        b.renderer->BeginFrame();
        b.renderer->UpdateFrame();
        b.renderer->RenderScene();
        b.renderer->EndFrame();
    }
}
BENCHMARK(BM_RendererPass)->Name("Frame/renderer frame")->Unit(benchmark::kMicrosecond);

void BM_BareWorldRender(benchmark::State& state)
{
    Bench& b = gBench;
    for (Clump* clump : b.bareClumps)
        World::AddClump(b.world, clump);
    Camera* camera = b.camera->GetCamera();
    Camera* main = b.renderer->GetMainCamera();
    const Rgba black = {0, 0, 0, 255};
    for (auto _ : state)
    {
        Camera::Clear(camera, &black, kCameraClearImage | kCameraClearZ);
        if (Camera::BeginUpdate(camera))
        {
            World::Render(b.world);
            Camera::EndUpdate(camera);
        }
        Camera::ShowRaster(main, BenchWindowState().window, 0);
    }
    for (Clump* clump : b.bareClumps)
        World::RemoveClump(b.world, clump);
}
BENCHMARK(BM_BareWorldRender)->Name("Frame/bare world frame")->Unit(benchmark::kMicrosecond);

void BM_WholeFrame(benchmark::State& state)
{
    Bench& b = gBench;
    for (auto _ : state)
    {
        b.renderer->BeginFrame();
        b.renderer->UpdateFrame();
        b.renderer->RenderScene();
        b.renderer->EndFrame();
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
/// The engine's frame of the world with the boxes added to it: clear and draw, no present.
void EngineFrame(Camera* camera)
{
    const Rgba black = {0, 0, 0, 255};
    Camera::Clear(camera, &black, kCameraClearImage | kCameraClearZ);
    if (Camera::BeginUpdate(camera))
    {
        World::Render(gBench.world);
        Camera::EndUpdate(camera);
    }
}

/// The device's current render target as 32-bit pixels; false when it cannot be read.
bool ReadTarget(IDirect3DDevice9* device, std::vector<uint32_t>& pixels)
{
    IDirect3DSurface9* target = nullptr;
    IDirect3DSurface9* copy = nullptr;
    bool ok = false;
    D3DSURFACE_DESC desc{};
    if (SUCCEEDED(device->GetRenderTarget(0, &target)) && SUCCEEDED(target->GetDesc(&desc)) &&
        SUCCEEDED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                      &copy, nullptr)) &&
        SUCCEEDED(device->GetRenderTargetData(target, copy)))
    {
        D3DLOCKED_RECT locked{};
        if (SUCCEEDED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY)))
        {
            pixels.resize(size_t(desc.Width) * desc.Height);
            for (UINT y = 0; y < desc.Height; ++y)
                std::memcpy(&pixels[size_t(y) * desc.Width], static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch,
                            desc.Width * 4);
            copy->UnlockRect();
            ok = true;
        }
    }
    if (copy)
        copy->Release();
    if (target)
        target->Release();
    return ok;
}

void BM_EngineAndLayerFrame(benchmark::State& state)
{
    Bench& b = gBench;
    IDirect3DDevice9* device = D3D9Device::GetDevice();
    for (Clump* clump : b.bareClumps)
        World::AddClump(b.world, clump);
    Camera* camera = b.camera->GetCamera();
    for (auto _ : state)
    {
        EngineFrame(camera);
        d3d9test::Finish(device);
    }
    for (Clump* clump : b.bareClumps)
        World::RemoveClump(b.world, clump);
}
BENCHMARK(BM_EngineAndLayerFrame)->Name("Draw/engine and layer")->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_StraightGlFrame(benchmark::State& state)
{
    Bench& b = gBench;
    IDirect3DDevice9* device = D3D9Device::GetDevice();
    for (Clump* clump : b.bareClumps)
        World::AddClump(b.world, clump);
    Camera* camera = b.camera->GetCamera();
    // One engine frame is captured as the layer sends it; its draws are then sent straight to OpenGL.
    d3d9test::BeginCapture(device);
    EngineFrame(camera);
    d3d9test::Capture* capture = d3d9test::EndCapture(device);
    std::vector<uint32_t> layerFrame, directFrame;
    bool read = ReadTarget(device, layerFrame);
    d3d9test::DrawCaptured(device, capture, 0xFF000000, 1.0f);
    read = read && ReadTarget(device, directFrame);
    const d3d9test::CaptureSummary summary = d3d9test::Summarise(capture);
    if (!read)
        state.SkipWithError("the frames could not be read back");
    else if (!summary.complete)
        state.SkipWithError("the frame uses state the straight sender does not send");
    else if (layerFrame != directFrame)
        state.SkipWithError("the straight frame differs from the layer's");
    else
        for (auto _ : state)
        {
            d3d9test::DrawCaptured(device, capture, 0xFF000000, 1.0f);
            d3d9test::Finish(device);
        }
    state.counters["draws"] = summary.draws;
    state.counters["triangles"] = summary.primitives;
    d3d9test::FreeCapture(device, capture);
    for (Clump* clump : b.bareClumps)
        World::RemoveClump(b.world, clump);
}
BENCHMARK(BM_StraightGlFrame)->Name("Draw/straight OpenGL")->Unit(benchmark::kMicrosecond)->UseRealTime();

BENCHMARK(BM_WholeFrame)->Name("Frame/whole frame 640x480")->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- Light-field lighting ----------------------------------------------------------------------------

constexpr int kLitNodes = 500;
constexpr int kGrid[3] = {20, 5, 20};
constexpr int kGridStep = 100;

/// The light-field record of grid point (i, j, k): direction, directional and ambient colour.
void GridRecord(int i, int j, int k, float* r)
{
    r[0] = std::sin(i * 0.3f), r[1] = -1.0f, r[2] = std::cos(k * 0.2f);
    for (int c = 0; c < 3; ++c)
    {
        r[3 + c] = 0.3f + 0.02f * float((i + j + c) % 10);
        r[6 + c] = 0.2f + 0.03f * float((k + j + c) % 10);
    }
}

/// Where node n stands: spread over the grid, off the grid points.
Vector LitPosition(int n)
{
    return {float((n * 37) % 1900) + 13.0f, float((n * 11) % 400) + 7.0f, float((n * 53) % 1900) + 29.0f};
}

void BM_LightFieldNodes(benchmark::State& state)
{
    Bench& b = gBench;
    LightFieldDescription d;
    d.max = {(kGrid[0] - 1) * kGridStep, (kGrid[1] - 1) * kGridStep, (kGrid[2] - 1) * kGridStep};
    d.step = kGridStep;
    for (int i = 0; i < kGrid[0]; ++i)
        for (int j = 0; j < kGrid[1]; ++j)
            for (int k = 0; k < kGrid[2]; ++k)
            {
                std::array<float, 9> r;
                GridRecord(i, j, k, r.data());
                d.records.push_back(r);
            }
    const std::vector<uint8_t> bytes = LightFieldWriter::Write(d);
    const std::string path = "renderer_bench_grid.lf";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    HbResourceManager::Instance()->AddPath("BENCH_GRID_LF", path.c_str());
    b.level->SetLightField("BENCH_GRID_LF", b.scene);
    std::vector<W3dFrame*> nodes;
    for (int n = 0; n < kLitNodes; ++n)
    {
        W3dFrame* node = W3dFrame::Create();
        node->SetFlags(node->GetFlags() | W3dNode::kLitByField);
        const Vector at = LitPosition(n);
        Frame::Translate(node->GetEngineFrame(), &at, kCombineReplace);
        node->AddRef();
        b.scene->GetRoot()->AttachChild(node);
        nodes.push_back(node);
    }
    int32_t stamp = 0;
    for (auto _ : state)
    {
        ++stamp;
        for (W3dFrame* node : nodes)
            node->UpdateLighting(stamp);
    }
    benchmark::DoNotOptimize(nodes[0]->GetLightAmbientColor()[0]);
    for (W3dFrame* node : nodes)
    {
        b.scene->GetRoot()->RemoveChild(node);
        node->Release();
    }
    b.level->SetLightField(nullptr, b.scene);
    HbResourceManager::Instance()->RemovePath("BENCH_GRID_LF");
    std::remove(path.c_str());
}
BENCHMARK(BM_LightFieldNodes)->Name("Light field/500 lit nodes sampled")->Unit(benchmark::kMicrosecond);

void BM_PlainTrilinear(benchmark::State& state)
{
    std::vector<float> grid(size_t(kGrid[0]) * kGrid[1] * kGrid[2] * 9);
    for (int i = 0; i < kGrid[0]; ++i)
        for (int j = 0; j < kGrid[1]; ++j)
            for (int k = 0; k < kGrid[2]; ++k)
                GridRecord(i, j, k, &grid[((size_t(i) * kGrid[1] + j) * kGrid[2] + k) * 9]);
    std::vector<Vector> positions;
    for (int n = 0; n < kLitNodes; ++n)
        positions.push_back(LitPosition(n));
    float out[9] = {};
    for (auto _ : state)
    {
        for (const Vector& p : positions)
        {
            const float c[3] = {p.x, p.y, p.z};
            int cell[3], next[3];
            float f[3];
            for (int a = 0; a < 3; ++a)
            {
                const float g = c[a] / kGridStep;
                cell[a] = int(g);
                f[a] = g - float(cell[a]);
                next[a] = std::min(cell[a] + 1, kGrid[a] - 1);
            }
            for (float& v : out)
                v = 0.0f;
            for (int corner = 0; corner < 8; ++corner)
            {
                const int a = corner >> 2 & 1, bb = corner >> 1 & 1, cc = corner & 1;
                const float w = (a ? f[0] : 1 - f[0]) * (bb ? f[1] : 1 - f[1]) * (cc ? f[2] : 1 - f[2]);
                const float* r =
                    &grid[((size_t(a ? next[0] : cell[0]) * kGrid[1] + (bb ? next[1] : cell[1])) * kGrid[2] +
                           (cc ? next[2] : cell[2])) *
                          9];
                for (int v = 0; v < 9; ++v)
                    out[v] += w * r[v];
            }
            const float length = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]);
            out[0] /= length, out[1] /= length, out[2] /= length;
            benchmark::DoNotOptimize(out);
        }
    }
}
BENCHMARK(BM_PlainTrilinear)->Name("Light field/500 plain trilinear blends")->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartOffscreen(Start, Stop))
        return 1;
    int result = BenchRunWithRatios(
        argc, argv,
        {{"renderer frame / bare world frame", "Frame/renderer frame", "Frame/bare world frame"},
         {"engine and layer / straight OpenGL, same frame", "Draw/engine and layer", "Draw/straight OpenGL"},
         {"lit nodes / plain blends", "Light field/500 lit nodes sampled", "Light field/500 plain trilinear blends"}},
        "both clear, draw the same 1,000-sector world and 100 boxes through the same device and present; the "
        "ratio is what the renderer's frame (update, render lists with their frustum tests, effect groups, "
        "state saving) costs over the engine's own walk; the CPU column is the main thread's time, outside the "
        "offscreen GL driver's rasteriser threads; the whole frame in real time gives frames per second; the "
        "engine's frame (clear, world and boxes, no present) is compared with its own draws captured and sent "
        "straight to OpenGL on the same context, with only the state that differs between draws, after checking "
        "that both frames match pixel for pixel. 500 lit nodes each sample the packed light field (8 samples "
        "decoded through the table) and load the result into its two lights, against the same trilinear blend "
        "over a grid of plain floats that lights nothing");
    Stop();
    return result;
}
