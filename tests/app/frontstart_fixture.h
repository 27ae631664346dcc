// The first two front-end states under test: a started renderer, the game manager initialised
// on the least service table (real frames, the game's key-hint bar), a keyboard bound by the
// game's own binding script, the performance counter moved by hand frame by frame, and solid
// textures of the test's own.
#pragma once

#include "boardcontrol.h"
#include "gamecommands.h"
#include "gamekeyhintbar.h"
#include "gameprofile.h"
#include "gameservices.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "groupwriter.h"
#include "hbclock.h"
#include "hbinputmanager.h"
#include "renderer_fixture.h"
#include "resourcegroups.h"
#include "uisupport.h"
#include "w2dsurfacelist.h"
#include "win32.h"
#include "win32keyboard.h"
#include "win32testhooks.h"
#include "wrenderer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace frontstart
{

/// The five flags' colours (0xAARRGGBB), on 8 x 4 textures, in the wheel's order.
constexpr uint32_t kFlagColours[5] = {0xFFC02020u, 0xFF20C040u, 0xFF2040E0u, 0xFFE0C020u, 0xFFC020C0u};
constexpr const char* kFlagTextureIds[5] = {"FE_FLAG_UK_TEX", "FE_FLAG_FR_TEX", "FE_FLAG_DE_TEX", "FE_FLAG_SP_TEX",
                                            "FE_FLAG_IT_TEX"};

/// MENU_* in "Menu" and START in "Default", held-key actions so a press counts in its frame.
constexpr const char kBindings[] = "CreateControler 0 Keyboard\r\n"
                                   "SetCommandContext Menu\r\n"
                                   "bind Keyboard MENU_CHOOSE VK_RETURN DOWN\r\n"
                                   "bind Keyboard MENU_NEXT_VALUE VK_RIGHT DOWN\r\n"
                                   "bind Keyboard MENU_PREVIOUS_VALUE VK_LEFT DOWN\r\n"
                                   "SetCommandContext Default\r\n"
                                   "bind Keyboard START VK_SPACE DOWN\r\n";

class FrontStart : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        ASSERT_NE(Started(), nullptr);
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        Win32TestSetPerformanceCounter(now.QuadPart);
        HbRealClock::Instance()->Tick();
        mResources = std::make_unique<uitest::Resources>();
        for (int i = 0; i < 5; ++i)
            mResources->SolidTexture(kFlagTextureIds[i], 8, 4, kFlagColours[i]);

        GameServicesTable() = GameServicesLeast();
        GameServices& services = GameServicesTable();
        services.rendererBeginFrame = [] { WRenderer::Existing()->BeginFrame(); };
        services.rendererEndFrame = [] { WRenderer::Existing()->EndFrame(); };
        // The game's own key-hint bar, its themes made at start-up and dropped at shut-down.
        services.boardCreateThemes = [] { GameKeyHintBar()->CreateThemes(); };
        services.boardDestroyAll = [] { GameKeyHintBar()->DestroyAll(); };
        HbInputManager::Instance()->Reset();
        GameCommandsReset();
        ResourceGroupResetLayers();
        GroupWriter::WriteText("commands.scr", kBindings);
        for (const char* group : {"LANGUAGE", "INTRO", "loading", "UK", "FR", "DE", "SP", "IT"})
            GroupWriter::WriteText(std::string(group) + ".scr", "");
        mManager = GameStateManager::Instance();
        mManager->Initialise();
        ASSERT_NE(mManager->GetCurrentState(), nullptr);
        mProfile = mManager->GetProfile();
    }

    void TearDown() override
    {
        mManager->StopLoadingScreen();
        mManager->Shutdown();
        GameKeyHintBar()->DestroyAll();
        ResourceGroupUnloadAll();
        HbInputManager::Instance()->Reset();
        GameCommandsReset();
        mResources.reset();
        RendererTest::TearDown();
    }

    /// One frame of the game loop after the seconds passed, with the keys held during it.
    void Frame(double seconds = 1.0 / 60.0, std::initializer_list<uint8_t> keys = {})
    {
        for (uint8_t key : keys)
            Win32TestKeyEvent(key, true);
        Win32TestAdvancePerformanceCounter(uitest::Ticks(seconds));
        HbRealClock::Instance()->Tick();
        mManager->Tick();
        for (uint8_t key : keys)
            Win32TestKeyEvent(key, false);
    }

public:
    static std::vector<std::string> Layer(int32_t layer)
    {
        std::vector<std::string> names;
        for (HbPtrListNode* node = ResourceGroupLayer(layer)->GetHead(); node; node = node->next)
            names.push_back(static_cast<ResourceGroup*>(node->value)->name);
        return names;
    }

protected:
    int32_t Current() const
    {
        GameState* state = mManager->GetCurrentState();
        return state ? state->GetId() : 0;
    }

    static int32_t SurfaceCount() { return WRenderer::Existing()->GetSurfaceList()->GetCount(); }

    GameStateManager* mManager = nullptr;
    GameProfile* mProfile = nullptr;
    std::unique_ptr<uitest::Resources> mResources;
};

} // namespace frontstart
