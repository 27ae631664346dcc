// GameState_PauseLabel: the current sector's label pages shown over the stage, paged with
// "LABEL_NEXT"; a fresh showing at every request, back to the stage after the last page.
#pragma once

#include "gamestate.h"

#include <string>

class W2dPictureItem;

class GameState_PauseLabel : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_PauseLabel();
    ~GameState_PauseLabel() override;
    /// Loads "<sector>labelmiddle" into layer 0, shows its first page over the backdrop (black
    /// without pages) and pushes the "Label" context and key-hint theme 5.
    void Enter() override;
    /// Pops the input, drops the backdrop and the pages, unloads the group of the sector taken at
    /// Enter and clears the profile's pause-label request.
    void Leave() override;
    /// Without pages, back to the stage at once; otherwise a 2D frame and "LABEL_NEXT" pages on,
    /// past the last page back to the stage.
    void Update() override;

    const std::string& GetSector() const { return mSector; }
    int32_t HasLabels() const { return mHasLabels; }
    W2dPictureItem* GetBackground() const { return mBackground; }

private:
    W2dPictureItem* mBackground = nullptr;
    std::string mSector;
    int32_t mHasLabels = 0;
};
