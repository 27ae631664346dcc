// Benchmark: the in-game head-up display in play (a hero at half health holding a firearm, a hit
// every half second), its per-frame update and its surfaces drawn, against the same surfaces drawn
// without the update. On the offscreen driver at 640 x 480.
#include "benchsupport.h"
#include "benchwindow.h"
#include "boardcontroltheme_ingame.h"
#include "camera.h"
#include "hbclock.h"
#include "herohudaccess.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsinventory.h"
#include "tsweaponshoot.h"
#include "w2dsurfacelist.h"
#include "wrenderer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

namespace
{

class BenchHero : public HeroHudAccess
{
public:
    HbRoot* GetItemInHand(HbRoot*) override { return item; }
    int32_t GetHitPoints(HbRoot*) override { return 50; }
    int32_t GetMaxHitPoints(HbRoot*) override { return 100; }
    int32_t GetLastHitDirection(HbRoot*) override
    {
        // A hit from a new side every 30 frames.
        ++frame;
        return frame % 30 == 0 ? (frame / 30) % 4 : kNoHit;
    }
    int32_t GetHeroStateId(HbRoot*) override { return 0; }
    TsInventoryItem* item = nullptr;
    int32_t frame = 0;
};

struct Bench
{
    WRenderer* renderer = nullptr;
    ScriptWorldManager* world = nullptr;
    TsActor* hero = nullptr;
    BenchHero access;
    TsInventoryItem* item = nullptr;
    BoardControlTheme_InGame* theme = nullptr;
};
Bench gBench;

int32_t InPlay()
{
    return 1;
}

bool Start()
{
    if (!BenchOpenWindow("HudBench", "hud bench"))
        return false;
    Bench& b = gBench;
    b.renderer = WRenderer::Instance();
    if (!b.renderer || !b.renderer->Start(BenchWindowState()))
        return false;
    b.world = new ScriptWorldManager();
    b.hero = new TsActor();
    b.world->SetHero(b.hero);
    auto* rifle = new TsWeaponShoot();
    rifle->mMagazineSize = 20;
    rifle->SetAmmo(60);
    b.item = new TsInventoryItem();
    b.item->AddRef();
    b.item->SetActor(rifle);
    b.access.item = b.item;
    HeroHudAccess::Install(&b.access);
    BoardControlTheme_InGame::SetLevelCheck(InPlay);
    b.theme = new BoardControlTheme_InGame();
    b.theme->AddRef();
    if (!b.theme->Build())
        return false;
    b.theme->Hide();
    b.theme->Update();
    return true;
}

void Stop()
{
    Bench& b = gBench;
    if (b.theme)
    {
        b.theme->Release();
        b.theme->HbRoot::Release();
    }
    HeroHudAccess::Install(nullptr);
    BoardControlTheme_InGame::SetLevelCheck(nullptr);
    if (b.item)
        b.item->Release();
    if (b.world)
    {
        b.world->SetHero(nullptr);
        delete b.world;
    }
    if (b.renderer)
        WRenderer::DestroyInstance();
}

/// One frame of both clocks, as the application's tick would give.
void NextFrame()
{
    int64_t step = HbPerformanceFrequency() / 60;
    HbRealClock::Instance()->mCurrentTime += step;
    HbGameClock::Instance()->mGameTime += step;
}

void Draw()
{
    Camera* camera = gBench.renderer->GetMainCamera();
    Camera::BeginUpdate(camera);
    gBench.renderer->GetSurfaceList()->Render();
    Camera::EndUpdate(camera);
}

void BM_DisplayUpdatedAndDrawn(benchmark::State& state)
{
    for (auto _ : state)
    {
        NextFrame();
        gBench.theme->Update();
        Draw();
    }
}
BENCHMARK(BM_DisplayUpdatedAndDrawn)->Name("HUD/display updated and drawn in play")->Unit(benchmark::kMicrosecond);

void BM_SurfacesDrawn(benchmark::State& state)
{
    for (auto _ : state)
        Draw();
}
BENCHMARK(BM_SurfacesDrawn)->Name("HUD/its surfaces drawn alone")->Unit(benchmark::kMicrosecond);

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
        Draw();
    int result = BenchRunWithRatios(
        argc, argv,
        {{"display updated and drawn / its surfaces drawn", "HUD/display updated and drawn in play",
          "HUD/its surfaces drawn alone"}},
        "the display's frame reads the hero's health and weapon, sets the gauges, the face, the twelve hit markers, "
        "the 37 count icons and the alarm, runs their effects and the message list, then the list draws; CPU time of "
        "the main thread, outside the offscreen GL driver's threads");
    Stop();
    return result;
}
