// GameState_Cinematic: a cut-scene video drawn as a wide band across the screen with its
// subtitles, then the state the profile names after it.
#pragma once

#include "device.h"
#include "gamestate.h"
#include "raster.h"

#include <cstdint>

class W2dTextGraphicItem;

class GameState_Cinematic : public GameState
{
public:
    static constexpr float kBandAspect = 0.5625f;

    GameState_Cinematic();
    ~GameState_Cinematic() override;
    /// Drops the front end's group and every sound, then opens the profile's video with its
    /// subtitles; without a registered path or when the video will not open nothing plays.
    /// Pushes the "Cinematic" context. The flags stay as they are.
    void Enter() override;
    /// Nothing: the cinematic is never an overlay.
    void Resume() override;
    void Suspend() override;
    /// Closes the video and drops the subtitles; the stage's loading follows with the loading
    /// icon, anything else with the front end's group loaded again.
    void Leave() override;
    /// The video's frame with the subtitle of the moment; an ended or failed video, or a skip
    /// when the profile allows it, goes on to the state after the cinematic.
    void Update() override;

    int32_t IsPlaying() const { return mPlaying; }
    const Im2DVertex* GetQuad() const { return mQuad; }
    W2dTextGraphicItem* GetSubtitle() const { return mSubtitle; }

private:
    /// The main camera cleared, then the video band (when there is a frame) and the 2D items.
    void DrawFrame(Raster* videoFrame);
    void DrawVideo(Raster* videoFrame);
    void ShowSubtitle(float time);
    void GoOn();

    int32_t mPlaying = 0;
    Rgba mClearColour = {0, 0, 0, 255};
    W2dTextGraphicItem* mSubtitle = nullptr;
    Im2DVertex mQuad[4] = {};
};
