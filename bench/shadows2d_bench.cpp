// Benchmark: shadows and 2D surfaces. Ten projected shadows (silhouette, then projection onto
// a 20,000-triangle collision floor) against ten blob shadows, per shadow; and 200 textured
// surfaces drawn through a surface list against the same quads filled directly with the 2D
// toolkit. On the offscreen driver at 640 x 480.
#include "benchsupport.h"
#include "benchwindow.h"
#include "brush2d.h"
#include "camera.h"
#include "clump.h"
#include "collisiontreewriter.h"
#include "frame.h"
#include "geometry.h"
#include "hbapplication.h"
#include "material.h"
#include "path2d.h"
#include "stream.h"
#include "texture.h"
#include "toolkit2d.h"
#include "w2dsurface.h"
#include "w2dsurfacelist.h"
#include "win32.h"
#include "world.h"
#include "worldwriter.h"
#include "wrenderer.h"
#include "wshadows.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{


constexpr int kCells = 100; // 2 x 100 x 100 = 20,000 triangles
constexpr float kSize = 500.0f;
constexpr int kShadows = 10;
constexpr int kSurfaces = 200;

World* MakeFloor()
{
    WorldDescription d;
    d.materials = {GeometryDescription::Material{}};
    d.listEntries = {0};
    WorldDescription::Leaf leaf;
    std::vector<std::array<uint16_t, 3>> triangles;
    for (int j = 0; j <= kCells; ++j)
        for (int i = 0; i <= kCells; ++i)
        {
            leaf.positions.push_back(-kSize + 2.0f * kSize * float(i) / kCells);
            leaf.positions.push_back(0.0f);
            leaf.positions.push_back(-kSize + 2.0f * kSize * float(j) / kCells);
        }
    for (int j = 0; j < kCells; ++j)
        for (int i = 0; i < kCells; ++i)
        {
            uint16_t a = uint16_t(j * (kCells + 1) + i), b = uint16_t(a + 1), c = uint16_t(a + kCells + 1),
                     e = uint16_t(c + 1);
            leaf.triangles.push_back({a, c, b, 0});
            leaf.triangles.push_back({b, c, e, 0});
            triangles.push_back({a, c, b});
            triangles.push_back({b, c, e});
        }
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
    d.leaves.push_back(leaf);
    d.box = {kSize, 1, kSize, -kSize, -1, -kSize};
    std::vector<uint8_t> bytes = WorldWriter::Write(d);
    MemoryBlock block{bytes.data(), uint32_t(bytes.size())};
    Stream* stream = Stream::Open(kStreamMemory, kStreamRead, &block);
    World* world = nullptr;
    if (stream && Stream::FindChunk(stream, 11, nullptr, nullptr))
        world = World::StreamRead(stream);
    if (stream)
        Stream::Close(stream, nullptr);
    return world;
}

/// A box-like clump: a flat square of half side 20 at height 30.
Clump* MakeClump(Material* material, float x, float z)
{
    Clump* clump = Clump::Create();
    Frame* root = Frame::Create();
    clump->frame = root;
    Geometry* geometry = Geometry::Create(4, 2, kGeometryPositions);
    MorphTarget& target = geometry->morphTargets[0];
    target.positions[0] = {-20, 30, -20};
    target.positions[1] = {20, 30, -20};
    target.positions[2] = {-20, 30, 20};
    target.positions[3] = {20, 30, 20};
    Geometry::SetTriangleVertices(geometry, &geometry->triangles[0], 0, 1, 2);
    Geometry::SetTriangleVertices(geometry, &geometry->triangles[1], 2, 1, 3);
    Geometry::SetTriangleMaterial(geometry, &geometry->triangles[0], material);
    Geometry::SetTriangleMaterial(geometry, &geometry->triangles[1], material);
    MorphTarget::CalcBoundingSphere(&target, &target.boundingSphere);
    Geometry::Unlock(geometry);
    Atomic* atomic = Atomic::Create();
    Frame* frame = Frame::Create();
    Frame::AddChild(root, frame);
    Atomic::SetFrame(atomic, frame);
    Atomic::SetGeometry(atomic, geometry, 0);
    Geometry::Destroy(geometry);
    Clump::AddAtomic(clump, atomic);
    const Vector at = {x, 0.0f, z};
    Frame::Translate(root, &at, kCombineReplace);
    return clump;
}

struct Bench
{
    WRenderer* renderer = nullptr;
    World* world = nullptr;
    Material* material = nullptr;
    std::vector<Clump*> clumps;
    std::vector<int32_t> projected, blobs;
    W2dSurfaceList* list = nullptr;
    Path2d* quad = nullptr;
};
Bench gBench;

bool Start()
{
    Bench& b = gBench;
    if (!BenchStartRenderer("ShadowBench", "shadow bench", b.renderer))
        return false;
    b.world = MakeFloor();
    if (!b.world)
        return false;
    b.material = Material::Create();
    WShadows::AttachWorlds(b.world, b.world);
    const Vector up = {0.0f, 1.0f, 0.0f};
    static const Vector sGround = up;
    for (int i = 0; i < kShadows; ++i)
    {
        Clump* clump = MakeClump(b.material, -400.0f + 80.0f * float(i), 0.0f);
        b.clumps.push_back(clump);
        WShadowDesc desc = {};
        desc.clump = clump;
        desc.radius = 40.0f;
        desc.strength = 0.5f;
        desc.groundVector = &sGround;
        desc.kind = WShadowDesc::kProjected;
        desc.visible = 0;
        b.projected.push_back(WShadows::Add(&desc));
        desc.kind = WShadowDesc::kBlob;
        b.blobs.push_back(WShadows::Add(&desc));
    }
    // Surfaces: a grid of 20 x 10 small quads.
    b.list = new W2dSurfaceList(b.renderer->GetMainCamera());
    for (int i = 0; i < kSurfaces; ++i)
        b.list->Insert(new W2dTexturedSurface(nullptr, 0.05f * float(i % 20), 0.1f * float(i / 20), 0.04f, 0.08f, 0));
    b.quad = Path2d::Create();
    Path2d::AddRectangle(b.quad, 0.0f, 0.0f, 0.04f, 0.08f);
    return true;
}

void Stop()
{
    Bench& b = gBench;
    if (b.list)
    {
        b.list->RemoveAll();
        delete b.list;
    }
    if (b.quad)
        Path2d::Destroy(b.quad);
    for (int32_t id : b.projected)
        WShadows::Remove(id);
    for (int32_t id : b.blobs)
        WShadows::Remove(id);
    WShadows::DetachWorld();
    for (Clump* clump : b.clumps)
        Clump::Destroy(clump);
    if (b.world)
        World::Destroy(b.world);
    if (b.material)
        Material::Destroy(b.material);
    if (b.renderer)
        WRenderer::DestroyInstance();
}

void ShowOnly(const std::vector<int32_t>& shown, const std::vector<int32_t>& hidden)
{
    for (int32_t id : shown)
        WShadows::SetVisible(id, 1);
    for (int32_t id : hidden)
        WShadows::SetVisible(id, 0);
}

void PrepareMainCamera()
{
    Camera* camera = gBench.renderer->GetMainCamera();
    static bool placed = false;
    if (placed)
        return;
    placed = true;
    const Vector right = {1, 0, 0};
    const Vector position = {0, 300, -300};
    Frame* frame = camera->object.frame;
    Frame::Rotate(frame, &right, 45.0f, kCombineReplace);
    Frame::Translate(frame, &position, kCombinePostConcat);
    Camera::SetFarClipPlane(camera, 2000.0f);
}

void RunShadows(benchmark::State& state, const std::vector<int32_t>& shown, const std::vector<int32_t>& hidden)
{
    Bench& b = gBench;
    PrepareMainCamera();
    ShowOnly(shown, hidden);
    Camera* camera = b.renderer->GetMainCamera();
    const Rgba grey = {160, 160, 160, 255};
    Camera::Clear(camera, &grey, kCameraClearImage | kCameraClearZ);
    for (auto _ : state)
        WShadows::RenderAll(camera);
    state.counters["per shadow"] = benchmark::Counter(double(kShadows), benchmark::Counter::kIsIterationInvariantRate |
                                                                            benchmark::Counter::kInvert);
}

void BM_ProjectedShadows(benchmark::State& state)
{
    RunShadows(state, gBench.projected, gBench.blobs);
}
BENCHMARK(BM_ProjectedShadows)->Name("Shadows/10 projected")->Unit(benchmark::kMicrosecond);

void BM_BlobShadows(benchmark::State& state)
{
    RunShadows(state, gBench.blobs, gBench.projected);
}
BENCHMARK(BM_BlobShadows)->Name("Shadows/10 blobs")->Unit(benchmark::kMicrosecond);

void BM_SurfaceList(benchmark::State& state)
{
    Camera* camera = gBench.renderer->GetMainCamera();
    for (auto _ : state)
    {
        Camera::BeginUpdate(camera);
        gBench.list->Render();
        Camera::EndUpdate(camera);
    }
}
BENCHMARK(BM_SurfaceList)->Name("Surfaces/200 through the list")->Unit(benchmark::kMicrosecond);

void BM_DirectFill(benchmark::State& state)
{
    Camera* camera = gBench.renderer->GetMainCamera();
    Brush2d* brush = W2dSurface::GetBrush();
    const Rgba white = {255, 255, 255, 255};
    const Vector2 uv[4] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    for (auto _ : state)
    {
        Camera::BeginUpdate(camera);
        Device2d::SetCamera(camera);
        Transform2d::Push();
        Transform2d::SetIdentity();
        Transform2d::Scale(camera->viewWindow.x / camera->viewWindow.y, 1.0f);
        for (int i = 0; i < kSurfaces; ++i)
        {
            Brush2d::SetColors(brush, &white, &white, &white, &white);
            Brush2d::SetUVs(brush, &uv[0], &uv[1], &uv[2], &uv[3]);
            Transform2d::Push();
            Transform2d::Translate(0.05f * float(i % 20), 1.0f - 0.1f * float(i / 20) - 0.08f);
            Path2d::FillAllWithBrush(gBench.quad, brush);
            Transform2d::Pop();
        }
        Transform2d::Pop();
        Camera::EndUpdate(camera);
    }
}
BENCHMARK(BM_DirectFill)->Name("Surfaces/200 filled directly")->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartOffscreen(Start, Stop))
        return 1;
    // The first frames compile the device's shaders and fault in its buffers: not measured.
    {
        Camera* camera = gBench.renderer->GetMainCamera();
        for (int i = 0; i < 20; ++i)
        {
            Camera::BeginUpdate(camera);
            gBench.list->Render();
            Camera::EndUpdate(camera);
            ShowOnly(i % 2 ? gBench.projected : gBench.blobs, i % 2 ? gBench.blobs : gBench.projected);
            PrepareMainCamera();
            WShadows::RenderAll(camera);
        }
    }
    int result = BenchRunWithRatios(
        argc, argv,
        {{"10 projected / 10 blob shadows", "Shadows/10 projected", "Shadows/10 blobs"},
         {"surface list / direct fill", "Surfaces/200 through the list", "Surfaces/200 filled directly"}},
        "projected shadows draw each model's silhouette into its own raster and collect the ground triangles "
        "in a box around it from a 20,000-triangle collision floor; blobs draw one quad each; the surface list "
        "adds its state saving, visibility tests and brush set-up per surface over the toolkit's own fill; CPU "
        "time of the main thread, outside the offscreen GL driver's threads");
    Stop();
    return result;
}
