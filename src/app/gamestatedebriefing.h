// GameState_Debriefing: the end of a mission. Its results go into the profile's mission table,
// then a list of rows (one per objective, a last one with the mission's name and mark) is
// revealed a row at a time; the player may scroll it, then answers whether to save, and the
// state hands over to the save and load state, the mission selection or the closing video.
#pragma once

#include "gamestate.h"

#include <cstdint>
#include <vector>

class MissionManager;
class W2dFramedPanel;
class W2dGenericItem;
class W2dGraphicMenu;
class W2dPictureItem;
class W2dTextGraphicItem;

class GameState_Debriefing : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Seconds between two reveal steps, and of the darkening before the hand-over.
    static constexpr double kStepSeconds = 1.7;
    /// The distance between two rows.
    static constexpr float kRowStep = 0.45f;

    /// One objective's row.
    struct Row
    {
        W2dTextGraphicItem* heading = nullptr;
        W2dFramedPanel* headingPanel = nullptr;
        W2dTextGraphicItem* description = nullptr;
        W2dFramedPanel* descriptionPanel = nullptr;
        W2dPictureItem* mark = nullptr;
        int32_t done = 0;
    };

    GameState_Debriefing();
    ~GameState_Debriefing() override;
    /// Enters the results, builds the list, the title, the arrows, the overlay and the save
    /// question, and starts the victory music.
    void Enter() override;
    /// Releases everything and resets the missions.
    void Leave() override;
    void Update() override;

    /// The missions read instead of the profile's (null: the profile's again); the caller keeps them
    /// alive until the state has left.
    void UseMissions(MissionManager* missions) { mMissions = missions; }

    // Inspection.
    int32_t GetRowCount() const { return int32_t(mRows.size()); }
    const Row& GetRow(int32_t index) const { return mRows[size_t(index)]; }
    W2dFramedPanel* GetNamePanel() const { return mNamePanel; }
    W2dTextGraphicItem* GetName() const { return mName; }
    W2dPictureItem* GetOverallMark() const { return mOverallMark; }
    W2dFramedPanel* GetTitlePanel() const { return mTitlePanel; }
    W2dPictureItem* GetArrow(int32_t lower) const { return lower ? mLowerArrow : mUpperArrow; }
    W2dPictureItem* GetOverlay() const { return mOverlay; }
    W2dPictureItem* GetBackground() const { return mBackground; }
    W2dGraphicMenu* GetSaveMenu() const { return mSaveRoot; }
    W2dGraphicMenu* GetCurrentMenu() const { return mSaveCurrent; }
    int32_t GetScrollIndex() const { return mScrollIndex; }
    int32_t IsRevealing() const { return mRevealing; }
    int32_t IsMenuShown() const { return mMenuShown; }
    int32_t IsAnswered() const { return mAnswered; }
    int32_t IsSaveChosen() const { return mSaveChosen; }
    int32_t GetMusicChannel() const { return mMusicChannel; }
    /// 1 while one of the rows' moves (up or down by a row) runs.
    int32_t IsMoving() const;

    /// The save question's answers (context: the state): answered now, with or without a save.
    static int32_t OnSaveYes(void* state);
    static int32_t OnSaveNo(void* state);

private:
    MissionManager* Missions() const;
    void EnterResults(MissionManager* missions);
    void BuildRows(MissionManager* missions);
    void BuildLastRow();
    void BuildTitleAndArrows();
    void BuildSaveQuestion();
    void Answer(int32_t save);
    /// Every item that moves with the list: the rows' panels and marks, then the last row's.
    template <class F> void ForEachListItem(F function) const;
    void MoveList(int32_t effect);
    void ShowList(bool shown);
    void PlayRowSound(int32_t row);
    void HandOver();
    void ReleaseItems();

    MissionManager* mMissions = nullptr;
    W2dPictureItem* mBackground = nullptr;
    int64_t mStepTime = 0;
    std::vector<Row> mRows;
    int32_t mScrollIndex = 0;
    W2dFramedPanel* mNamePanel = nullptr;
    W2dTextGraphicItem* mName = nullptr;
    W2dPictureItem* mOverallMark = nullptr;
    int32_t mComplete = 0;
    W2dFramedPanel* mTitlePanel = nullptr;
    W2dTextGraphicItem* mTitle = nullptr;
    W2dPictureItem* mUpperArrow = nullptr;
    W2dPictureItem* mLowerArrow = nullptr;
    W2dGraphicMenu* mSaveCurrent = nullptr;
    W2dGraphicMenu* mSaveRoot = nullptr;
    int32_t mMenuShown = 0;
    int32_t mMusicChannel = -1;
    W2dPictureItem* mOverlay = nullptr;
    int32_t mAnswered = 0;
    int32_t mSaveChosen = 0;
    int32_t mRevealing = 0;
    int32_t mFirstUpdateDone = 0;
};
