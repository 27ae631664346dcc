// GameState_Label: the label pages between sectors: the closing pages of the sector just ended,
// then the opening pages of the next one, then the stage; at a mission's end the debriefing.
#pragma once

#include "gamestate.h"

#include <cstdint>
#include <string>

class W2dPictureItem;

class GameState_Label : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Seconds the last page stays after "LABEL_NEXT" passed it.
    static constexpr double kEndWaitSeconds = 0.5;

    GameState_Label();
    ~GameState_Label() override;
    /// After a forward sector change or at a mission's end: the label group of the sector loaded
    /// into layer 2, its first page over the backdrop, the "Label" context and key-hint theme 3.
    /// Otherwise nothing is loaded or shown.
    void Enter() override;
    /// Cleans up what Enter loaded, once; clears the label-after-mission word and the end time.
    void Leave() override;
    /// Pages on "LABEL_NEXT"; half a second after the last page (or at once without pages) on to
    /// the next sector's pages, the debriefing or the stage.
    void Update() override;

    /// The group of the sector's label pages: "<sector>label", with "end" after it while the
    /// profile's label-after-mission word is set.
    std::string GroupName(const std::string& sector) const;

    const std::string& GetLabelSector() const { return mLabelSector; }
    int64_t GetEndTime() const { return mEndTime; }
    W2dPictureItem* GetBackground() const { return mBackground; }
    /// 1 when the first page of the group shown was found.
    static int32_t IsShown();
    /// 1 while a group loaded by Enter waits for Leave.
    static int32_t IsActive();

private:
    void MakeBackground(bool lit);
    void GoOnToNextSector();

    W2dPictureItem* mBackground = nullptr;
    std::string mLabelSector;
    int64_t mEndTime = 0;
};
