// Benchmarks: 300 picture items with two effects each (a move-and-back and a position fade), updated
// and drawn per frame, against the same 300 surfaces drawn through a list without items; and a menu of
// 20 entries with its key-hint theme on the bar, updated and drawn per frame, against its surfaces
// drawn alone. On the offscreen driver at 640 x 480.
#include "benchsupport.h"
#include "benchwindow.h"
#include "boardcontrol.h"
#include "camera.h"
#include "hbclock.h"
#include "w2dgraphiccontainer.h"
#include "w2ditemeffect.h"
#include "w2dmenu.h"
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
constexpr int kMenuEntries = 20;
constexpr int kThemeId = 2;

struct Bench
{
    WRenderer* renderer = nullptr;
    W2dSurfaceList* itemList = nullptr;
    W2dSurfaceList* plainList = nullptr;
    std::vector<W2dPictureItem*> items;
    W2dSurfaceList* menuList = nullptr;
    W2dMenu* menu = nullptr;
    BoardControl* bar = nullptr;
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

bool StartMenu();

bool Start()
{
    Bench& b = gBench;
    if (!BenchStartRenderer("UiBench", "ui bench", b.renderer))
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
    return StartMenu();
}

void Lit(W2dGenericItem* item)
{
    item->SetColour({255, 255, 255, 255});
}

void Dim(W2dGenericItem* item)
{
    item->SetColour({128, 128, 128, 255});
}

W2dPictureItem* MenuPicture(float width, float height)
{
    auto* picture = new W2dPictureItem("", -1.0f, gBench.menuList);
    picture->AddRef();
    picture->Create();
    picture->SetSize({width, height, 0.0f});
    return picture;
}

/// A root of 20 entries, each with a picture label, and a theme of two key pictures pushed on the bar
/// while the menu is shown; all of it in a list of its own.
bool StartMenu()
{
    Bench& b = gBench;
    b.menuList = new W2dSurfaceList(b.renderer->GetMainCamera());
    b.bar = new BoardControl();
    auto* theme = new BoardControlTheme();
    b.bar->RegisterTheme(kThemeId, theme);
    b.bar->BuildTheme(kThemeId);
    for (int i = 0; i < 2; ++i)
    {
        W2dPictureItem* key = MenuPicture(0.045f, 0.06f);
        key->SetPosition({0.05f + 0.45f * float(i), 0.87f, 0.0f});
        theme->GetContainer()->AddChild(key);
        key->HbRoot::Release();
    }
    b.menu = new W2dMenu(nullptr);
    b.menu->AddRef();
    for (int i = 0; i < kMenuEntries; ++i)
    {
        auto* entry = new W2dMenu(b.menu);
        W2dPictureItem* label = MenuPicture(0.3f, 0.035f);
        entry->SetLabel(label);
        label->HbRoot::Release();
        b.menu->AddEntry(entry);
    }
    b.menu->SetProperty(0, Dim);
    b.menu->SetProperty(1, Lit);
    b.menu->SetPosition({0.1f, 0.05f, 0.0f});
    b.menu->SetStep({0.0f, 0.04f, 0.0f});
    b.menu->SetBoardControl(b.bar);
    b.menu->SetBoardThemeId(kThemeId);
    b.menu->Show();
    return b.bar->GetTopThemeId() == kThemeId;
}

void Stop()
{
    Bench& b = gBench;
    if (b.menu)
    {
        b.menu->Clear();
        b.menu->Release();
    }
    if (b.bar)
    {
        b.bar->DestroyAll();
        delete b.bar;
    }
    delete b.menuList;
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

void BM_MenuUpdatedAndDrawn(benchmark::State& state)
{
    for (auto _ : state)
    {
        NextFrame();
        gBench.bar->Update();
        gBench.menu->HandleInput();
        DrawList(gBench.menuList);
    }
}
BENCHMARK(BM_MenuUpdatedAndDrawn)
    ->Name("UI/menu of 20 entries with its key-hint theme, updated and drawn")
    ->Unit(benchmark::kMicrosecond);

void BM_MenuSurfacesDrawn(benchmark::State& state)
{
    for (auto _ : state)
        DrawList(gBench.menuList);
}
BENCHMARK(BM_MenuSurfacesDrawn)->Name("UI/the menu's surfaces drawn alone")->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (!BenchStartOffscreen(Start, Stop))
        return 1;
    // The first frames compile the device's shaders and fault in its buffers: not measured.
    for (int i = 0; i < 20; ++i)
    {
        DrawList(gBench.itemList);
        DrawList(gBench.plainList);
        DrawList(gBench.menuList);
    }
    int result = BenchRunWithRatios(
        argc, argv,
        {{"items updated and drawn / surfaces drawn", "UI/300 items with 2 effects, updated and drawn",
          "UI/300 surfaces drawn without items"},
         {"item updates / surfaces drawn", "UI/300 items with 2 effects, updated only",
          "UI/300 surfaces drawn without items"},
         {"menu updated and drawn / its surfaces drawn",
          "UI/menu of 20 entries with its key-hint theme, updated and drawn", "UI/the menu's surfaces drawn alone"}},
        "each item's frame runs its two effects (a move along y read back from its surface, and an alpha from "
        "its height written to its four corners) before the list draws it; the menu's frame reads the four menu "
        "actions, lays its 20 labels out and gives each its colour callback, and the bar updates its theme; CPU time "
        "of the main thread, outside "
        "the offscreen GL driver's threads");
    Stop();
    return result;
}
