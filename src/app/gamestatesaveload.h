// GameState_SaveLoad: the screen on which the player picks a save to load or a place to save. The
// saves are a carousel of cards; questions go through a message line and a yes/no menu; the load
// or save is done by the save manager, its result shown for 4 s, and the state then hands over to
// the state its caller named in the profile.
#pragma once

#include "gamesavemanager.h"
#include "gamestate.h"

#include <cstdint>
#include <string>
#include <vector>

class MoSavePicture;
class W2dBlendedPictureItem;
class W2dGraphicMenu;
class W2dMessageList;
class W2dSaveSlotMenu;

class GameState_SaveLoad : public GameState
{
public:
    /// The steps of the state's own sequence.
    enum Step : int32_t
    {
        kStepQuestion = 1,
        kStepChoose = 2,
        kStepList = 3,
        kStepConfirmOverwrite = 4,
        kStepPerform = 11,
        kStepNotDone = 13,
        kStepEnd = 14,
        kStepBackToCards = 15,
    };
    /// The profile's save-and-load mode.
    enum Mode : int32_t
    {
        kModeLoad = 1,
        kModeSave = 2,
    };
    /// How long a result stays on the screen, input closed.
    static constexpr float kResultSeconds = 4.0f;

    GameState_SaveLoad();
    ~GameState_SaveLoad() override;

    /// The step table, the background, the message line, the yes/no menu and the carousel, the
    /// "Menu" context; the sequence starts by listing the saves.
    void Enter() override;
    /// The context popped, every item released, the write-file flag and the save list cleared.
    void Leave() override;
    /// One drawn frame, then the current step.
    void Update() override;

    /// The one-line message area under the cards.
    void BuildMessageList();
    /// The chosen save loaded into the profile (its preferences applied); 1 on success. The result
    /// is shown for 4 s either way.
    int32_t Load();
    /// A checkpoint and, with the profile's write-file flag, the profile's save file; 1 on
    /// success. The result is shown for 4 s either way.
    int32_t Save();

    /// The carousel's choose callback's work on this state (SaveCardChosen); record is null for the
    /// new-file card. 1, or 0 without a profile.
    int32_t CardChosen(const SaveHeader* record);
    /// The yes/no menu's answer to the question on screen (its two callbacks).
    void Answer(int32_t yes) { mAnswer = yes; }

    // Inspection.
    int32_t GetStep() const { return mStep; }
    int32_t GetLastResult() const { return mLastResult; }
    int32_t GetNewProfileFlag() const { return mNewProfile; }
    int32_t IsThemePushed() const { return mThemePushed; }
    const std::vector<SaveHeader>& GetSaveList() const { return mSaves; }
    W2dSaveSlotMenu* GetCarousel() const { return mCarousel; }
    W2dGraphicMenu* GetYesNoMenu() const { return mYesNo; }
    W2dMessageList* GetMessageLine() const { return mMessages; }
    MoSavePicture* GetProfileCard() const { return mProfileCard; }
    W2dBlendedPictureItem* GetBackground() const { return mBackground; }
    /// The text id of the message on the line (empty after a clear).
    const std::string& GetMessage() const { return mMessage; }

private:
    struct StepEntry
    {
        int32_t yes = 0;
        int32_t no = 0;
    };

    int32_t Mode() const;
    void ShowMessage(const char* textId);
    void ClearMessage();
    /// Question on screen: theme 4 pushed, step 1 takes the current step's answers.
    void Ask();
    void PushTheme();
    void PopTheme();
    void AddCard(const SaveHeader* record);
    void UpdateProfileCard();
    /// "Profile<n>" from the number of listed saves plus 1, the first such name no save has.
    std::string NewProfileName() const;
    /// To the state that switched here, or the main menu when that is not a declared target.
    void SwitchBack();
    void ReleaseItems();

    int32_t mStep = kStepList;
    StepEntry mSteps[16];
    W2dSaveSlotMenu* mCarousel = nullptr;
    W2dBlendedPictureItem* mBackground = nullptr;
    W2dMessageList* mMessages = nullptr;
    MoSavePicture* mProfileCard = nullptr;
    int32_t mLastResult = 0;
    int32_t mNewProfile = 0;
    int32_t mThemePushed = 0;
    std::vector<SaveHeader> mSaves;
    W2dGraphicMenu* mYesNo = nullptr;
    /// The yes/no menu taking input (no reference of its own).
    W2dGraphicMenu* mYesNoCurrent = nullptr;
    int32_t mAnswer = -1;
    std::string mMessage;
};

// ---- Callbacks and helpers ----------------------------------------------------------------------

/// The choose callback of every card (argument: the card's save header record, null for the
/// new-file card); 1, or 0 without effect when the current state is not the save-and-load state
/// with a profile.
int32_t SaveCardChosen(void* record);
/// The real-clock stamp of the save chosen in the carousel.
int32_t SaveLoadChosenStamp();

/// Called before each frame WaitSeconds draws, so that a clock under a test's or the drive mode's
/// hand moves on; null (the real counter moves by itself) by default.
using GameWaitStepFn = void (*)();
void GameWaitSetStep(GameWaitStepFn step);
/// Blocks the caller while the screen keeps being drawn: ticks the real clock, then draws frames,
/// ticking the real clock after each, until the seconds have passed since the first tick (or the
/// clock has stood still for 1000 frames, which only a stopped counter does). No input is read and
/// no state is ticked. The ticks that passed.
int64_t WaitSeconds(float seconds);
