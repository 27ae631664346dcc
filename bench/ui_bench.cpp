// Benchmark: 300 picture items with two effects each (a move-and-back and a position fade), updated
// and drawn per frame, against the same 300 surfaces drawn through a list without items. On the
// offscreen driver at 640 x 480.
#include "benchsupport.h"
#include "benchwindow.h"
#include "camera.h"
#include "hbclock.h"
#include "w2ditemeffect.h"
#include "w2dsurface.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dsurfacelist.h"
#include "wrenderer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{

constexpr int kItems = 300;

struct Bench
{
    WRenderer* renderer = nullptr;
    W2dSurfaceList* itemList = nullptr;
    W2dSurfaceList* plainList = nullptr;
    std::vector<W2dPictureItem*> items;
};
Bench gBench;

float Column(int i)
{
    return 0.04f * float(i % 25);
}

float Row(int i)
{
    return 0.08f * float(i / 25);
}

bool Start()
{
    if (!BenchOpenWindow("UiBench", "ui bench"))
        return false;
    Bench& b = gBench;
    b.renderer = WRenderer::Instance();
    if (!b.renderer || !b.renderer->Start(BenchWindowState()))
        return false;
    b.itemList = new W2dSurfaceList(b.renderer->GetMainCamera());
    b.plainList = new W2dSurfaceList(b.renderer->GetMainCamera());
    const Vector offset = {0.0f, 0.02f, 0.0f};
    const Vector fadeFrom = {0.0f, 0.7f, 0.0f}, fadeTo = {0.0f, 0.95f, 0.0f};
    const int64_t halfPeriod = HbPerformanceFrequency();
    for (int i = 0; i < kItems; ++i)
    {
        auto* item = new W2dPictureItem("", -1.0f, b.itemList);
        item->AddRef();
        item->Create();
        item->SetSize({0.03f, 0.06f, 0.0f});
        item->SetPosition({Column(i), Row(i), 0.0f});
        item->SetColour({255, 255, 255, 255});
        item->Show();
        auto* move = new W2dMoveAndBackEffect(&offset, halfPeriod);
        item->AddEffect(move);
        move->Begin(item);
        auto* fade = new W2dPositionFadeEffect(&fadeFrom, &fadeTo);
        item->AddEffect(fade);
        fade->Begin(item);
        b.items.push_back(item);
        b.plainList->Insert(new W2dTexturedSurface(nullptr, Column(i), Row(i), 0.03f, 0.06f, 0));
    }
    return true;
}

void Stop()
{
    Bench& b = gBench;
    for (W2dPictureItem* item : b.items)
    {
        item->Release();
        item->HbRoot::Release();
    }
    delete b.itemList;
    delete b.plainList;
    if (b.renderer)
        WRenderer::DestroyInstance();
}

/// One frame of the real clock, as the application's tick would give.
void NextFrame()
{
    HbRealClock::Instance()->mCurrentTime += HbPerformanceFrequency() / 60;
}

void DrawList(W2dSurfaceList* list)
{
    Camera* camera = gBench.renderer->GetMainCamera();
    Camera::BeginUpdate(camera);
    list->Render();
    Camera::EndUpdate(camera);
}

void BM_ItemsUpdatedAndDrawn(benchmark::State& state)
{
    for (auto _ : state)
    {
        NextFrame();
        for (W2dPictureItem* item : gBench.items)
            item->Update();
        DrawList(gBench.itemList);
    }
}
BENCHMARK(BM_ItemsUpdatedAndDrawn)
    ->Name("UI/300 items with 2 effects, updated and drawn")
    ->Unit(benchmark::kMicrosecond);

void BM_ItemsUpdated(benchmark::State& state)
{
    for (auto _ : state)
    {
        NextFrame();
        for (W2dPictureItem* item : gBench.items)
            item->Update();
    }
}
BENCHMARK(BM_ItemsUpdated)->Name("UI/300 items with 2 effects, updated only")->Unit(benchmark::kMicrosecond);

void BM_SurfacesDrawn(benchmark::State& state)
{
    for (auto _ : state)
        DrawList(gBench.plainList);
}
BENCHMARK(BM_SurfacesDrawn)->Name("UI/300 surfaces drawn without items")->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!Start())
    {
        std::fprintf(stderr, "the renderer could not start\n");
        Stop();
        return 1;
    }
    // The first frames compile the device's shaders and fault in its buffers: not measured.
    for (int i = 0; i < 20; ++i)
    {
        DrawList(gBench.itemList);
        DrawList(gBench.plainList);
    }
    int result = BenchRunWithRatios(
        argc, argv,
        {{"items updated and drawn / surfaces drawn", "UI/300 items with 2 effects, updated and drawn",
          "UI/300 surfaces drawn without items"},
         {"item updates / surfaces drawn", "UI/300 items with 2 effects, updated only",
          "UI/300 surfaces drawn without items"}},
        "each item's frame runs its two effects (a move along y read back from its surface, and an alpha from "
        "its height written to its four corners) before the list draws it; CPU time of the main thread, outside "
        "the offscreen GL driver's threads");
    Stop();
    return result;
}
