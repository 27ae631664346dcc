// Benchmark: a group of 500 resources loaded and unloaded with the loading screen's redraw
// after every file opened (allowLoadingTick on) against the same group loaded without redraws.
// On the offscreen driver at 640 x 480.
#include "benchsupport.h"
#include "benchwindow.h"
#include "gamecommands.h"
#include "gameloadingscreen.h"
#include "gamestatemanager.h"
#include "groupwriter.h"
#include "hbcommand.h"
#include "hbfile.h"
#include "hbmoduleinit.h"
#include "hbresource.h"
#include "resourcegroups.h"
#include "wrenderer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
constexpr int kResources = 500;

// A resource read from its file (the open is what the loading screen redraws on).
class BenchThing : public HbRoot
{
public:
    int Load(HbStream*, const char*) override { return 1; }
    int IsShared() const override { return 1; }
};
HB_REGISTER_RESOURCE_TYPE(BenchThing, "BTHING");

WRenderer* gRenderer = nullptr;

bool Start()
{
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("app_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(directory);
    std::filesystem::current_path(directory);
    std::vector<GroupWriter::Resource> resources;
    for (int i = 0; i < kResources; ++i)
    {
        const std::string file = "thing" + std::to_string(i) + ".txt";
        if (!GroupWriter::WriteText(file, "thing"))
            return false;
        resources.push_back({"R" + std::to_string(i) + "_BTHING", file});
    }
    if (!GroupWriter::WriteText("BENCH.scr", GroupWriter::Script(resources)))
        return false;
    HbRunModuleInits();
    if (!BenchOpenWindow("AppBench", "app bench"))
        return false;
    gRenderer = WRenderer::Instance();
    if (!gRenderer || !gRenderer->Start(BenchWindowState()))
        return false;
    ResourceGroupResetLayers();
    GameStateManager* manager = GameStateManager::Instance();
    manager->StartLoadingScreen();
    HbFileBeforeOpenHook = LoadingTickHook;
    return true;
}

void Stop()
{
    HbFileBeforeOpenHook = nullptr;
    if (GameStateManager* manager = GameStateManager::Existing())
        manager->StopLoadingScreen();
    ResourceGroupUnloadAll();
    if (gRenderer)
        WRenderer::DestroyInstance();
    const std::filesystem::path directory = std::filesystem::current_path();
    std::filesystem::current_path(directory.parent_path());
    std::filesystem::remove_all(directory);
}

void LoadOnce()
{
    ResourceGroupLoad("BENCH", 0);
    ResourceGroupUnload("BENCH");
}

void BM_GroupWithRedraws(benchmark::State& state)
{
    HbCommandManager::Instance()->ExecuteLine("allowLoadingTick");
    for (auto _ : state)
        LoadOnce();
    GameCommandsReset();
}
BENCHMARK(BM_GroupWithRedraws)->Name("App/500-resource group, loading screen on")->Unit(benchmark::kMillisecond);

void BM_GroupWithoutRedraws(benchmark::State& state)
{
    GameCommandsReset();
    for (auto _ : state)
        LoadOnce();
}
BENCHMARK(BM_GroupWithoutRedraws)->Name("App/500-resource group, loading screen off")->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!Start())
    {
        std::fprintf(stderr, "the benchmark could not start\n");
        Stop();
        return 1;
    }
    int result = BenchRunWithRatios(
        argc, argv,
        {{"loading screen on / off", "App/500-resource group, loading screen on",
          "App/500-resource group, loading screen off"}},
        "each file opened while the group loads draws a whole frame (clear, the 2D list, present) when the loading "
        "screen may redraw; CPU time of the main thread, outside the offscreen GL driver's threads");
    Stop();
    return result;
}
