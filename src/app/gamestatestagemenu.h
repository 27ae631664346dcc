// GameState_StageMenu: the pause menu pushed over the stage: continue, retry the sector from its
// checkpoint, the options pages, abort the mission. The game under it stays frozen and drawn.
#pragma once

#include "gamestate.h"

#include <cstdint>

class W2dGraphicMenu;

class GameState_StageMenu : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_StageMenu();
    ~GameState_StageMenu() override;
    /// Builds the menu, plays the pause sound, stops the current camera from placing itself and
    /// pushes the "Menu" context. The base Enter is not run: an overlay is never entered as such.
    void Enter() override;
    /// Takes the menu down, pops "Menu" and lets the saved camera place itself again.
    void Leave() override;
    /// The in-game display, the frozen scene, then the menu's input; "MENU_ESC", or "MENU_UP" on
    /// the root, goes back to the game.
    void Update() override;

    /// Continue, retry (with its confirmation page), the options pages and abort (with its
    /// confirmation page) as a framed menu, shown.
    void BuildMenu();

    W2dGraphicMenu* GetRootMenu() const { return mRootMenu; }
    W2dGraphicMenu* GetCurrentMenu() const { return mCurrentMenu; }
    int32_t IsMenuActive() const { return mMenuActive; }
    int32_t GetSavedCameraId() const { return mSavedCamera; }

private:
    W2dGraphicMenu* mRootMenu = nullptr;
    W2dGraphicMenu* mCurrentMenu = nullptr;
    int32_t mMenuActive = 0;
    int32_t mSavedCamera = -1;
};

/// Continue (context: the pause menu state): back to the stage; 0.
int32_t PauseMenuOnContinue(void* state);
/// Retry's yes (context: the pause menu state): the hero restarted, the stage and load requests
/// raised and the stage counted as not entered, back to the stage with the loading screen up; 0.
int32_t PauseMenuOnRetry(void* state);
/// Abort's yes: the current state's overlay, when it is the pause menu, raises the world reset
/// and goes back to the stage, which ends the mission; 0, or 1 without such an overlay.
int32_t PauseMenuOnAbort(void* unused);
