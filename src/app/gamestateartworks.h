// GameState_Artworks: the artwork viewer the mission selection pushes over itself for a mission
// whose objectives were all completed: the mission's artwork pages, paged on the player's command.
#pragma once

#include "gamestate.h"

#include <string>

class W2dPictureItem;

class GameState_Artworks : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_Artworks();
    ~GameState_Artworks() override;
    /// Loads "<sector>artwork" into layer 0, shows its first page over the backdrop and pushes the
    /// "Label" context and key-hint theme 7.
    void Enter() override;
    /// Pops the input, drops the backdrop and the pages and unloads the group named at Enter.
    void Leave() override;
    /// A 2D frame; "LABEL_NEXT" pages on (back to the map after the last page), "LABEL_ESC" goes
    /// back at once.
    void Update() override;

    const std::string& GetGroup() const { return mGroup; }
    W2dPictureItem* GetBackground() const { return mBackground; }

private:
    W2dPictureItem* mBackground = nullptr;
    std::string mGroup;
};
