// GameState_Intro: the logo sequence (publisher, maker, graphics engine and editor, sound
// library) as timed pictures, ending on the title screen; "START" leaves for the main menu at
// any moment.
#pragma once

#include "gamestate.h"

#include <cstdint>

class HbInputAction;
class W2dBlinkEffect;
class W2dPictureItem;
class W2dTextGraphicItem;

class GameState_Intro : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The pictures, in the order Enter makes them.
    enum Picture : int32_t
    {
        kPublisherLogo,
        kPublisherTitle,
        kMakerLogo,
        kMakerBar1,
        kMakerBar2,
        kMakerBar3,
        kMakerBar4,
        kMakerLettering,
        kEditorLogo,
        kEditorTitle1,
        kEditorTitle2,
        kEngineLogo,
        kEngineTitle1,
        kEngineTitle2,
        kTitle,
        kBackground,
        kSoundLogo,
        kPictureCount
    };
    /// The step of the title screen, after the last logo.
    static constexpr int32_t kTitleStep = 100;
    /// Seconds a step waits after the previous one.
    static constexpr double kStepSeconds = 3.0;

    GameState_Intro();
    ~GameState_Intro() override;
    /// Loads "INTRO", takes the loading screen away, makes the pictures and the prompt and
    /// starts the title music.
    void Enter() override;
    /// Releases every picture, stops every sound channel and unloads "INTRO".
    void Leave() override;
    /// "START" leaves for the main menu; otherwise one step of the sequence at most, once its
    /// predecessor is more than three seconds old.
    void Update() override;

    int32_t GetStep() const { return mStep; }
    int32_t IsStepStarted() const { return mStepStarted; }
    /// Null outside the state.
    W2dPictureItem* GetPicture(int32_t picture) const;
    W2dTextGraphicItem* GetPrompt() const { return mPrompt; }

private:
    void MakePictures();
    void MakePrompt();
    void ReleaseItems();
    void RunStep();
    /// The items whose effects need their per-frame step.
    void UpdateItems();
    int32_t StartPressed();

    W2dPictureItem* mPictures[kPictureCount] = {};
    W2dTextGraphicItem* mPrompt = nullptr;
    W2dBlinkEffect* mBlink = nullptr;
    int32_t mStep = 0;
    int32_t mStepStarted = 0;
    int64_t mLastStepTime = 0;
    HbInputAction* mStart = nullptr;
    uint32_t mStartBindings = 0;
};
