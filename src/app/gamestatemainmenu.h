// GameState_MainMenu: the title menu. A full-screen background, a title sliding in from the top
// and a framed menu (new game with its difficulty, load, options, quit; with the cheats unlocked
// also a page of sector launchers and the two videos). Every visit starts a fresh campaign, and a
// hidden series of value presses locks or unlocks the cheats.
#pragma once

#include "gamestate.h"

#include <cstdint>

class W2dGraphicMenu;
class W2dPictureItem;

/// The presses of the hidden series, in the order they must come.
enum MainMenuPress : int32_t
{
    kMainMenuPressNextValue = 0,     ///< "MENU_NEXT_VALUE"
    kMainMenuPressPreviousValue = 1, ///< "MENU_PREVIOUS_VALUE"
};

/// The hidden series: the same at every run.
inline constexpr int32_t kMainMenuCheatSequenceLength = 6;
inline constexpr MainMenuPress kMainMenuCheatSequence[kMainMenuCheatSequenceLength] = {
    kMainMenuPressPreviousValue, kMainMenuPressPreviousValue, kMainMenuPressNextValue,
    kMainMenuPressPreviousValue, kMainMenuPressNextValue,     kMainMenuPressNextValue,
};

/// Seconds after Enter during which the menu stays closed to input.
inline constexpr double kMainMenuInputHoldSeconds = 2.0;

class GameState_MainMenu : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_MainMenu();
    ~GameState_MainMenu() override;

    /// A fresh mission table, the cheats kept only across the hidden series' re-entry, the
    /// "FRONTEND" group in layer 2, the title music, the menus, the pictures, the "Menu" context.
    void Enter() override;
    /// The context popped, the pictures and the menus released.
    void Leave() override;
    /// The profile reset on the first update of a visit, one frame drawn, the title's slide, the
    /// menu's input after the hold, then the hidden series.
    void Update() override;

    /// Describes the menu tree (Enter calls it).
    void BuildMenus();

    // Inspection.
    W2dGraphicMenu* GetRootMenu() const { return mRootMenu; }
    W2dGraphicMenu* GetCurrentMenu() const { return mCurrentMenu; }
    W2dPictureItem* GetBackground() const { return mBackground; }
    W2dPictureItem* GetTitle() const { return mTitle; }
    int32_t GetSequenceProgress() const;
    int32_t AreMenusBuilt() const { return mMenusBuilt; }

private:
    void WatchSequence();
    /// The pictures and the menus, taken away and released.
    void ReleaseItems();

    W2dPictureItem* mBackground = nullptr;
    W2dPictureItem* mTitle = nullptr;
    /// The menu taking input: the root or one of its sub-menus (no reference of its own).
    W2dGraphicMenu* mCurrentMenu = nullptr;
    W2dGraphicMenu* mRootMenu = nullptr;
    int64_t mEnterTime = 0;
    int32_t mSequence[kMainMenuCheatSequenceLength] = {};
    int32_t mMenusBuilt = 0;
};

// ---- Menu callbacks (context: the state unless said otherwise) ------------------------------------

/// Difficulty 0, 1 or 2 in the profile's mission table, then the intro video before the mission
/// selection; 0.
int32_t MenuOnDifficultyEasy(void* state);
int32_t MenuOnDifficultyNormal(void* state);
int32_t MenuOnDifficultyHard(void* state);
/// The videos of the debug page, back to the main menu after them; 0.
int32_t MenuOnVideoIntro(void* context);
int32_t MenuOnVideoOutro(void* context);
/// The save-and-load state in load mode, coming back to the mission selection; 0.
int32_t MenuOnLoadGame(void* state);
/// The launcher of a sector by its id ("W1L1S01"): the console line "launch_sector 0 W1 L1 S01 ",
/// then the current profile enters the sector going forward, with its missions reset; 0.
int32_t MenuLaunchSector(const char* sectorId);
