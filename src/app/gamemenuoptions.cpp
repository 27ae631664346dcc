// The options pages and their callbacks: the preferences applied on every change, and a new
// video mode kept only once the player confirms it within the countdown.
#include "gamemenuoptions.h"

#include "gamemenu.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "w2dmenu.h"
#include "w2dtextgraphicitem.h"
#include "wrenderer.h"

#include <cstdio>
#include <string>

namespace
{
// The value column of a choice or slider, as a part of the label layout's width.
constexpr float kVideoValueWidth = 0.2857143f;
constexpr float kValueWidth = 0.25641024f;

struct Options
{
    bool textsLooked = false;
    std::string no;
    std::string yes;
    /// The confirmation page of the last options built, with one reference, and its title.
    W2dMenu* confirmPage = nullptr;
    std::string savedTitle;
    int32_t confirmed = 0;
    WDisplaySettings previous = {0, 0, 0, WDisplaySettings::kDepthNotSet};
    WDisplaySettings selected = {0, 0, 0, WDisplaySettings::kDepthNotSet};
};

Options& Globals()
{
    static Options options;
    return options;
}

void SetConfirmPage(W2dMenu* page)
{
    Options& options = Globals();
    if (page)
        page->AddRef();
    if (options.confirmPage)
        options.confirmPage->Release();
    options.confirmPage = page;
}

W2dTextGraphicItem* TitleOf(W2dMenu* page)
{
    return page ? HbCastTo<W2dTextGraphicItem>(page->GetTitle()) : nullptr;
}

/// The saved title followed by the seconds in brackets.
void ShowCountdown(W2dMenu* page, int32_t seconds)
{
    W2dTextGraphicItem* title = TitleOf(page);
    if (!title)
        return;
    char suffix[32];
    std::snprintf(suffix, sizeof(suffix), " ( %d )", seconds);
    title->SetText((Globals().savedTitle + suffix).c_str());
}

void ShowSavedTitle(W2dMenu* page)
{
    if (W2dTextGraphicItem* title = TitleOf(page))
        title->SetText(Globals().savedTitle.c_str());
}

/// Only the countdown's page is answered: a page of menus since cleared is not.
W2dMenu* CountdownPage(void* page)
{
    W2dMenu* held = Globals().confirmPage;
    return held && held == page ? held : nullptr;
}

void SelectPrevious()
{
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->SelectVideoMode(Globals().previous);
}

Vector Scaled(const Vector& layout, float part)
{
    return {layout.x * part, layout.y, layout.z};
}
} // namespace

int32_t MenuBuildOptions(GameState* state, W2dMenu*, const Vector& layout, int32_t)
{
    Options& options = Globals();
    if (!options.textsLooked)
    {
        options.no = GetLocalizedText("TX_MENU_PAUSE_NO_TXT");
        options.yes = GetLocalizedText("TX_MENU_PAUSE_YES_TXT");
        options.textsLooked = true;
    }
    const char* const noYes[2] = {options.no.c_str(), options.yes.c_str()};
    const Vector videoValue = Scaled(layout, kVideoValueWidth);
    const Vector value = Scaled(layout, kValueWidth);
    GameProfile* profile = state ? state->GetProfile() : nullptr;
    WRenderer* renderer = WRenderer::Existing();

    MenuAddSubMenu("TX_MENU_MAIN_OPTIONS_TXT", 4, "", nullptr);

    MenuAddSubMenu("TX_MENU_VIDEO_OPTIONS_TXT", 2, "", OnVideoMenuOpen);
    W2dMenu* videoPage = MenuBuildCurrent();
    if (renderer)
    {
        WVideoModeList& modes = renderer->GetVideoModes();
        MenuAddNamedSlider("Gamma", value, &renderer->GetPrefs().wantedGamma, OnOptionChanged, state, 0.6f, 2.5f, 0.1f);
        const char* sizes[WVideoModeList::kCapacity];
        for (int32_t i = 0; i < modes.sizeCount; ++i)
            sizes[i] = modes.sizeNames[i];
        MenuAddChoice("TX_MENU_VIDEO_RESOLUTION_TXT", sizes, modes.sizeCount, videoValue, &modes.currentSize, nullptr,
                      nullptr, nullptr, nullptr);
        const char* depths[WVideoModeList::kCapacity];
        for (int32_t i = 0; i < modes.depthCount; ++i)
            depths[i] = modes.depthNames[i];
        MenuAddChoice("TX_MENU_VIDEO_COLOR_TXT", depths, modes.depthCount, videoValue, &modes.currentDepth, nullptr,
                      nullptr, nullptr, nullptr);
        MenuAddChoice("TX_MENU_VIDEO_FULLSCREEN_TXT", noYes, 2, videoValue, &modes.fullScreen, nullptr, nullptr,
                      nullptr, nullptr);
    }
    MenuAddSubMenu("TX_MENU_VIDEO_APPLY_TXT", 4, "TX_CONFIRM_TXT", OnVideoApply);
    W2dMenu* page = MenuBuildCurrent();
    MenuAddEntry("TX_MENU_PAUSE_NO_TXT", OnConfirmNo, page);
    MenuAddEntry("TX_MENU_PAUSE_YES_TXT", OnConfirmYes, page);
    SetConfirmPage(page);
    if (W2dTextGraphicItem* title = TitleOf(page))
    {
        options.savedTitle = title->GetText();
        ShowCountdown(page, kVideoConfirmSeconds);
    }
    page->SetCallback(OnVideoConfirmClose, page, W2dMenu::kBack);
    MenuBuildPop();
    videoPage->SetCallback(OnVideoPageCheck, videoPage, W2dMenu::kConfirm);
    MenuBuildPop();

    MenuAddSubMenu("TX_MENU_OPTIONS_CONTROLS_TXT", 2, "", nullptr);
    if (profile)
    {
        GamePrefs& prefs = profile->prefs;
        MenuAddChoice("TX_MENU_OPTIONS_AXE_X_TXT", noYes, 2, value, &prefs.invertX, nullptr, nullptr, OnOptionChanged,
                      state);
        MenuAddChoice("TX_MENU_OPTIONS_AXE_Y_TXT", noYes, 2, value, &prefs.invertY, nullptr, nullptr, OnOptionChanged,
                      state);
        MenuAddSlider("TX_MENU_OPTIONS_MOUSE_TXT", value, &prefs.mouseSensitivity, OnOptionChanged, state, 0.0f, 3.0f,
                      0.1f);
    }
    MenuBuildPop();

    MenuAddSubMenu("TX_MENU_OPTIONS_AUDIO_TXT", 2, "", nullptr);
    if (profile)
    {
        GamePrefs& prefs = profile->prefs;
        MenuAddSlider("TX_MENU_OPTIONS_SOUND_TXT", value, &prefs.soundVolume, OnOptionChanged, state, 0.0f, 1.0f, 0.1f);
        MenuAddSlider("TX_MENU_OPTIONS_MUSIC_TXT", value, &prefs.musicVolume, OnOptionChanged, state, 0.0f, 1.0f, 0.1f);
    }
    MenuBuildPop();

    if (profile && (profile->cheatsUnlocked || profile->missionTable.words[MissionTable::kCompletedDifficulty] > 0))
    {
        MenuAddNamedSubMenu("Cheats", 2, nullptr);
        MenuAddChoice("TX_MENU_CHEAT_UNLIMITED_TXT", noYes, 2, value, &profile->unlimitedAmmo, nullptr, nullptr,
                      OnOptionChanged, state);
        if (profile->cheatsUnlocked)
            MenuAddNamedChoice("GOD", noYes, 2, value, &profile->godMode, nullptr, nullptr, OnOptionChanged, state);
        MenuBuildPop();
    }

    MenuBuildPop();
    return 1;
}

void MenuOptionsRelease()
{
    Options& options = Globals();
    if (GameStateManager* manager = GameStateManager::Existing())
    {
        GameTimedAction& action = manager->GetTimedAction();
        if (action.start && action.perTick == OnVideoConfirmTick)
        {
            action = GameTimedAction();
            if (!options.confirmed)
                SelectPrevious();
        }
    }
    SetConfirmPage(nullptr);
}

// ---- The pages' callbacks ---------------------------------------------------------------------------

int32_t OnOptionChanged(void* state)
{
    auto* owner = static_cast<GameState*>(state);
    if (owner && owner->GetProfile())
        owner->GetProfile()->prefs.Apply();
    return 1;
}

void OnVideoMenuOpen(W2dGenericItem*)
{
    if (GameStateManager* manager = GameStateManager::Instance())
        manager->GetTimedAction() = GameTimedAction();
    if (WRenderer* renderer = WRenderer::Existing())
    {
        renderer->FindCurrentVideoMode();
        renderer->GetDisplaySettings(&Globals().previous);
    }
}

int32_t OnVideoPageCheck(void*)
{
    Options& options = Globals();
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->GetDisplaySettings(&options.selected);
    return options.selected == options.previous ? 0 : 1;
}

void OnVideoApply(W2dGenericItem* label)
{
    Options& options = Globals();
    W2dMenu* page = options.confirmPage;
    if (!page || page->GetLabel() != label)
        return;
    if (WRenderer* renderer = WRenderer::Existing())
        renderer->SelectVideoMode(options.selected);
    if (GameStateManager* manager = GameStateManager::Instance())
    {
        GameTimedAction& action = manager->GetTimedAction();
        HbRealClock* clock = HbRealClock::Instance();
        action.start = clock ? clock->mCurrentTime : 0;
        action.duration = kVideoConfirmSeconds * HbPerformanceFrequency();
        action.perTick = OnVideoConfirmTick;
        action.perTickArgument = page;
        action.completion = OnVideoConfirmTimeout;
        action.completionArgument = page;
    }
    options.confirmed = 0;
}

void OnVideoConfirmTick(void* page)
{
    W2dMenu* held = CountdownPage(page);
    GameStateManager* manager = GameStateManager::Existing();
    HbRealClock* clock = HbRealClock::Instance();
    if (!held || !manager || !clock)
        return;
    const GameTimedAction& action = manager->GetTimedAction();
    const int64_t remaining = (action.start + action.duration - clock->mCurrentTime) / HbPerformanceFrequency();
    ShowCountdown(held, int32_t(remaining) + 1);
}

void OnVideoConfirmTimeout(void* page)
{
    Globals().confirmed = 0;
    if (W2dMenu* held = CountdownPage(page))
        OnConfirmNo(held);
}

int32_t OnConfirmYes(void* page)
{
    Globals().confirmed = 1;
    if (auto* menu = static_cast<W2dMenu*>(page))
        menu->mBackRequested = 1;
    return 1;
}

int32_t OnConfirmNo(void* page)
{
    Globals().confirmed = 0;
    if (auto* menu = static_cast<W2dMenu*>(page))
    {
        menu->mBackRequested = 1;
        ShowSavedTitle(menu);
    }
    return 1;
}

int32_t OnVideoConfirmClose(void* page)
{
    // The page closes on an answer as well as on the timeout: a countdown left running would
    // answer a later confirmation with "no" the moment it opened.
    if (GameStateManager* manager = GameStateManager::Existing())
    {
        GameTimedAction& action = manager->GetTimedAction();
        if (action.perTick == OnVideoConfirmTick && action.perTickArgument == page)
            action = GameTimedAction();
    }
    if (!Globals().confirmed)
        SelectPrevious();
    return 1;
}
