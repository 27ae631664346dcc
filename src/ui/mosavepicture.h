// MoSavePicture: one card of the save carousel: the picture of the mission reached, the save's name, its
// difficulty and its play time, each in a framed panel.
#pragma once

#include "w2dgraphiccontainer.h"

#include <cstdint>

class W2dFramedPanel;
class W2dPictureItem;
class W2dTextGraphicItem;

class MoSavePicture : public W2dGraphicContainer
{
    HB_DECLARE_CLASS_DESC();

public:
    /// A container of that name with no parts.
    explicit MoSavePicture(const char* name);

    /// The container's release, then the card's own references.
    int32_t Release() override;
    /// Every child gets the colours with each channel raised to at least 50.
    int32_t SetCornerColours(const Rgba& c0, const Rgba& c1, const Rgba& c2, const Rgba& c3) override;

    /// Builds the card once (1 again afterwards); 0 for a mission outside the table or when the card
    /// cannot be created.
    virtual int32_t Build(int32_t mission);
    virtual int32_t SetName(const char* text);
    /// Hours, minutes and seconds of the counter ticks; "9999:59:59" from 9999 hours on.
    virtual int32_t SetPlayTime(int64_t ticks);
    /// 0 easy, 1 normal, 2 hard; 0 for anything else or before the card is built.
    virtual int32_t SetDifficulty(int32_t difficulty);
    /// Shows or hides the mission picture; 0 without one.
    virtual int32_t ShowHighlight(int32_t flag);

    W2dPictureItem* GetPicture() const { return mPicture; }
    W2dTextGraphicItem* GetNameText() const { return mName; }
    W2dGenericItem* GetSpare() const { return mSpare; }
    W2dTextGraphicItem* GetPlayTimeText() const { return mPlayTime; }
    W2dFramedPanel* GetDifficultyPanel() const { return mDifficultyPanel; }

    static constexpr int32_t kMissionCount = 7;

private:
    W2dPictureItem* mPicture = nullptr;
    W2dTextGraphicItem* mName = nullptr;
    W2dGenericItem* mSpare = nullptr;
    W2dTextGraphicItem* mPlayTime = nullptr;
    W2dFramedPanel* mPicturePanel = nullptr;
    W2dFramedPanel* mPlayTimePanel = nullptr;
    W2dFramedPanel* mNamePanel = nullptr;
    W2dFramedPanel* mDifficultyPanel = nullptr;
};
