// GameState_GameOver: the lost mission's screen: why it was lost (the hero dead, or alive with
// the mission failed), retry the sector from its checkpoint, or quit to the mission selection
// dropping the level.
#pragma once

#include "gamestate.h"

#include <cstdint>

class W2dBlendedPictureItem;
class W2dGraphicMenu;
class W2dTextGraphicItem;

class GameState_GameOver : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_GameOver();
    ~GameState_GameOver() override;
    /// Loads "gameover" into layer 2, builds the menu, shows the picture and the text of the
    /// loss and pushes the "Menu" context.
    void Enter() override;
    /// Drops the screen; after a quit also the hero and level groups; unloads "gameover" and
    /// starts the loading screen for what comes next.
    void Leave() override;
    /// A 2D frame and the menu's input.
    void Update() override;

    /// Retry and quit (with its confirmation page) as a framed menu, shown.
    void BuildMenu();

    W2dGraphicMenu* GetRootMenu() const { return mRootMenu; }
    W2dGraphicMenu* GetCurrentMenu() const { return mCurrentMenu; }
    W2dBlendedPictureItem* GetPicture() const { return mPicture; }
    W2dTextGraphicItem* GetMessage() const { return mMessage; }
    int32_t IsMenuBuilt() const { return mMenuBuilt; }

private:
    void ReleaseItems();

    W2dBlendedPictureItem* mPicture = nullptr;
    W2dGraphicMenu* mCurrentMenu = nullptr;
    W2dGraphicMenu* mRootMenu = nullptr;
    int32_t mMenuBuilt = 0;
    W2dTextGraphicItem* mMessage = nullptr;
};

/// The quit page's yes (context: the state): the world reset raised, "FRONTEND" loaded into
/// layer 2, on to the mission selection; 0.
int32_t GameOverOnQuit(void* state);
