// GameState_Inventory: the weapon wheel held open over a running mission. Eight weapon slots
// around the screen centre, one picked by the pad's stick; closing the wheel changes the hero's
// weapon to the one picked. The state is persistent: the first opening builds the wheel, later
// ones show it again, and the stage's leave takes it down.
#pragma once

#include "gamestate.h"

#include <cstdint>
#include <string>

class TsActor;
class W2dBlendedPictureItem;
class W2dPictureItem;
class W2dTextGraphicItem;

/// The slot the stick's direction (x, y, up positive, any length) points at: the first of slots
/// 6, 2, 4, 0, 5, 3, 1, 7 whose direction lies within 0.47 on both axes of the normalised
/// vector; 8 for a zero vector or when none does. The wheel asks only for pushes of 0.97 or more.
int32_t InventoryStickSlot(float x, float y);
/// The ammunition text of the hero's weapon of that name: the rounds in hand and in the spare
/// magazines, "999" for an unlimited stock, "0" for a weapon not carried or not a firearm.
std::string InventoryCountText(TsActor* hero, const char* weaponName);

class GameState_Inventory : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr int32_t kSlots = 8;
    static constexpr int32_t kNoSlot = 8;
    /// Seconds a selection is kept after the stick comes back.
    static constexpr double kHoldSeconds = 1.0;

    GameState_Inventory();
    ~GameState_Inventory() override;
    /// The first opening: the wheel built, the carried weapons shown, the hero told.
    void Enter() override;
    /// A later opening: the carried weapons and their counts as they are now.
    void Resume() override;
    /// Closing: the wheel hidden; a weapon picked that is not in hand becomes the hero's.
    void Suspend() override;
    /// The stage leaves: the wheel released; the next opening enters again.
    void Leave() override;
    /// The stick's pick, the world going on under the wheel, and the close once "INVENTORY_OPEN"
    /// stops firing.
    void Update() override;

    int32_t GetSelectedSlot() const { return mSelected; }
    int32_t IsOwned(int32_t slot) const { return InSlots(slot) ? mOwned[slot] : 0; }
    W2dBlendedPictureItem* GetSpoke(int32_t slot) const { return InSlots(slot) ? mSpokes[slot] : nullptr; }
    W2dPictureItem* GetPicture(int32_t slot) const { return InSlots(slot) ? mPictures[slot] : nullptr; }
    W2dTextGraphicItem* GetLabel(int32_t slot) const { return InSlots(slot) ? mLabels[slot] : nullptr; }
    W2dTextGraphicItem* GetCounter(int32_t slot) const { return InSlots(slot) ? mCounters[slot] : nullptr; }
    W2dPictureItem* GetMarker(int32_t slot) const { return InSlots(slot) ? mMarkers[slot] : nullptr; }
    W2dPictureItem* GetIndicator() const { return mIndicator; }

private:
    static bool InSlots(int32_t slot) { return slot >= 0 && slot < kSlots; }
    void Build();
    void RefreshOwned();
    void ReleaseItems();
    void HideItems();
    void Select(float x, float y);

    W2dBlendedPictureItem* mSpokes[kSlots] = {};
    W2dPictureItem* mPictures[kSlots] = {};
    W2dTextGraphicItem* mLabels[kSlots] = {};
    W2dTextGraphicItem* mCounters[kSlots] = {};
    int32_t mOwned[kSlots] = {};
    W2dPictureItem* mMarkers[kSlots] = {};
    W2dPictureItem* mIndicator = nullptr;
    int32_t mSelected = kNoSlot;
    int64_t mSelectionTime = 0;
};
