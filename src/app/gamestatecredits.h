// GameState_Credits: the credits text, broken into lines that rise one after the other from the
// bottom of a dark screen while the end music plays; the mission selection follows when the last
// line has reached the top, or at once on "CMD_QUIT_CREDITS".
#pragma once

#include "gamestate.h"

#include <cstdint>

class W2dGraphicContainer;
class W2dPictureItem;
class W2dStepMoveEffect;

class GameState_Credits : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Where every line starts, and the height at which the line before lets the next one go.
    static constexpr float kStartY = 1.0f;
    static constexpr float kNextLineY = 0.96f;

    GameState_Credits();
    ~GameState_Credits() override;
    /// The end music, the dark backdrop, the lines (none started but the first).
    void Enter() override;
    /// Silence, and the lines, the effect and the backdrop released.
    void Leave() override;
    /// Starts the next line once the last started one has risen far enough, moves the started
    /// lines; leaves when the last line reaches the top or on the quit action (no frame then).
    void Update() override;

    int32_t GetLinesStarted() const { return mLinesStarted; }
    W2dGraphicContainer* GetLines() const { return mLines; }
    W2dPictureItem* GetBackground() const { return mBackground; }

private:
    void StartLine(int32_t index);
    void ReleaseItems();

    int32_t mLinesStarted = 0;
    W2dGraphicContainer* mLines = nullptr;
    W2dStepMoveEffect* mScroll = nullptr;
    W2dPictureItem* mBackground = nullptr;
};
