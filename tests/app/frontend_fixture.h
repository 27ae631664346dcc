// The front-end tests' fixtures, all on a started renderer (640 x 480, or a square screen of the
// test's size), resources of the test's own, the least service table with the game's own
// key-hint bar and the game manager.
// - FrontEndTest: the manager left bare, the clocks set by the test, and a bare state holding a
//   fresh profile: menus and states built and driven one by one.
// - FrontStart: the manager initialised on that table with real frames, a keyboard bound by the
//   game's own binding script, the performance counter moved by hand frame by frame and the
//   flags' solid textures: the first states as the running game takes them.
#pragma once

#include "boardcontrol.h"
#include "camera.h"
#include "d3d9device.h"
#include "d3d9testhooks.h"
#include "fmod3testhooks.h"
#include "gamecommands.h"
#include "gamekeyhintbar.h"
#include "gameprofile.h"
#include "gameservices.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "groupwriter.h"
#include "hbclock.h"
#include "hbinputmanager.h"
#include "raster.h"
#include "rasterreadback.h"
#include "resourcegroups.h"
#include "tsfmod.h"
#include "ui_fixture.h"
#include "win32.h"
#include "win32keyboard.h"
#include "win32testhooks.h"

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace fetest
{

/// A state that does nothing of its own.
class BareState : public GameState
{
public:
    explicit BareState(int32_t id) : GameState(id) {}
    void Leave() override { ++leaves; }
    void Update() override {}
    int leaves = 0;
};

class FrontEndBase : public uitest::UiTest
{
protected:
    void SetUp() override
    {
        // The user-interface fixture's start, on a screen of the test's size when it asks for one.
        RendererTest::SetUp();
        if (mScreenSize > 0)
        {
            HbWindowState& window = Window();
            window.requestedWidth = window.clientWidth = mScreenSize;
            window.requestedHeight = window.clientHeight = mScreenSize;
        }
        mRenderer = Started();
        ASSERT_NE(mRenderer, nullptr);
        mClocks = std::make_unique<uitest::Clocks>();
        mResources = std::make_unique<uitest::Resources>();
        GameServicesTable() = GameServicesLeast();
        GameServices& services = GameServicesTable();
        // The game's own key-hint bar, its themes made at start-up and dropped at shut-down.
        services.boardCreateThemes = [] { GameKeyHintBar()->CreateThemes(); };
        // The sound layer is worked every frame, its timeline moved by the frame's own time.
        services.soundUpdate = [] { TsFModUpdate(); };
        fmod3test::SetUpdateStep(0.0);
        services.boardDestroyAll = [] { GameKeyHintBar()->DestroyAll(); };
        mManager = GameStateManager::Instance();
    }

    void TearDown() override
    {
        fmod3test::SetUpdateStep(-1.0);
        // The bar outlives the test; its themes do not.
        GameKeyHintBar()->DestroyAll();
        UiTest::TearDown();
    }

    /// States draw their frames for real.
    static void RealFrames()
    {
        sLoseMidFrame = false;
        GameServices& services = GameServicesTable();
        services.rendererBeginFrame = []
        {
            WRenderer::Existing()->BeginFrame();
            if (sLoseMidFrame)
            {
                sLoseMidFrame = false;
                d3d9test::LoseDevice(D3D9Device::GetDevice());
            }
        };
        services.rendererEndFrame = [] { WRenderer::Existing()->EndFrame(); };
    }

    /// The device is lost in the next real frame, once it has been cleared.
    static void LoseDeviceInNextFrame() { sLoseMidFrame = true; }
    /// The frame run with the lost device allowed to reset: "" when the frame took the device
    /// back (one Reset), drew and presented, else what it did not do.
    template <class RunFrame> static std::string RecoveringFrame(RunFrame runFrame)
    {
        IDirect3DDevice9* device = D3D9Device::GetDevice();
        if (!device || device->TestCooperativeLevel() != D3DERR_DEVICELOST)
            return "the device was not lost";
        d3d9test::MakeDeviceResettable(device);
        d3d9test::ClearCallLog();
        d3d9test::EnableCallLog(true);
        runFrame();
        d3d9test::EnableCallLog(false);
        size_t draws = 0;
        for (const d3d9test::Call& call : d3d9test::CallLog())
            draws += call.name.rfind("Draw", 0) == 0 ? 1 : 0;
        std::string missing;
        if (d3d9test::CountCalls("Reset") != 1)
            missing += " one Reset";
        if (draws == 0)
            missing += " a draw";
        if (d3d9test::CountCalls("Present") != 1)
            missing += " one Present";
        if (device->TestCooperativeLevel() != D3D_OK)
            missing += " a working device";
        d3d9test::ClearCallLog();
        return missing.empty() ? missing : "the frame lacked" + missing;
    }

    /// The screen's last frame as drawn, top row first as 0xFFRRGGBB; empty when it cannot be read.
    std::vector<uint32_t> ReadScreen(int32_t* width, int32_t* height) const
    {
        Camera* camera = Screen()->GetCamera();
        Raster* raster = camera ? camera->frameBuffer : nullptr;
        if (!raster)
            return {};
        std::vector<uint32_t> pixels = framecheck::ReadRaster(raster);
        if (!pixels.empty())
        {
            *width = raster->width;
            *height = raster->height;
        }
        return pixels;
    }

    /// Text resources whose text is their own id, so labels show which id they came from.
    void Texts(std::initializer_list<const char*> ids)
    {
        for (const char* id : ids)
            mResources->Text(id, id);
    }

    int32_t Current() const
    {
        GameState* state = mManager->GetCurrentState();
        return state ? state->GetId() : 0;
    }

    int32_t SurfaceCount() const { return Screen()->GetCount(); }

public:
    /// The names of the groups of the layer, in order.
    static std::vector<std::string> Layer(int32_t layer)
    {
        std::vector<std::string> names;
        for (HbPtrListNode* node = ResourceGroupLayer(layer)->GetHead(); node; node = node->next)
            names.push_back(static_cast<ResourceGroup*>(node->value)->name);
        return names;
    }

    /// Square screen side in pixels; 0 for the renderer fixture's 640 x 480.
    int32_t mScreenSize = 0;
    GameStateManager* mManager = nullptr;

private:
    static inline bool sLoseMidFrame = false;
};

class FrontEndTest : public FrontEndBase
{
protected:
    void SetUp() override
    {
        FrontEndBase::SetUp();
        if (HasFatalFailure())
            return;
        mProfile = new GameProfile();
        mProfile->AddRef();
        mManager->SetProfile(mProfile);
        mState = new BareState(4);
        mState->SetProfile(mProfile);
    }

    void TearDown() override
    {
        delete mState;
        mManager->SetCurrentState(nullptr);
        mManager->GetTimedAction() = GameTimedAction();
        mManager->SetProfile(nullptr);
        if (mProfile)
            mProfile->Release();
        FrontEndBase::TearDown();
    }

public:
    GameProfile* mProfile = nullptr;
    BareState* mState = nullptr;
};

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

class FrontStart : public FrontEndBase
{
protected:
    void SetUp() override
    {
        FrontEndBase::SetUp();
        if (HasFatalFailure())
            return;
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        Win32TestSetPerformanceCounter(now.QuadPart);
        HbRealClock::Instance()->Tick();
        for (int i = 0; i < 5; ++i)
            mResources->SolidTexture(kFlagTextureIds[i], 8, 4, kFlagColours[i]);
        RealFrames();
        HbInputManager::Instance()->Reset();
        GameCommandsReset();
        ResourceGroupResetLayers();
        GroupWriter::WriteText("commands.scr", Bindings());
        for (const char* group : {"LANGUAGE", "INTRO", "loading", "UK", "FR", "DE", "SP", "IT"})
            GroupWriter::WriteText(std::string(group) + ".scr", "");
        mManager->Initialise();
        ASSERT_NE(mManager->GetCurrentState(), nullptr);
        mProfile = mManager->GetProfile();
    }

    void TearDown() override
    {
        mManager->StopLoadingScreen();
        mManager->Shutdown();
        ResourceGroupUnloadAll();
        HbInputManager::Instance()->Reset();
        GameCommandsReset();
        FrontEndBase::TearDown();
    }

    /// The binding script the start-up runs.
    virtual const char* Bindings() const { return kBindings; }

    /// One frame of the game loop after the seconds passed, with the keys held during it.
    void Frame(double seconds = 1.0 / 60.0, std::initializer_list<uint8_t> keys = {})
    {
        for (uint8_t key : keys)
            Win32TestKeyEvent(key, true);
        fmod3test::SetUpdateStep(seconds);
        Win32TestAdvancePerformanceCounter(uitest::Ticks(seconds));
        HbRealClock::Instance()->Tick();
        mManager->Tick();
        for (uint8_t key : keys)
            Win32TestKeyEvent(key, false);
    }

    GameProfile* mProfile = nullptr;
};

} // namespace fetest
