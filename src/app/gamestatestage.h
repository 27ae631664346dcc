// GameState_Stage: the level being played, and StageLevel, the object the profile's level
// handle holds while a sector's level script runs.
#pragma once

#include "gamestate.h"
#include "hbhashmap.h"

#include <string>

class StageLevel : public HbRoot
{
public:
    /// Ends the running level and removes the level callbacks.
    ~StageLevel() override;
    /// Registers the level callbacks, resets the scenario commands' look-ups and starts the
    /// level script (from the loaded groups; the sector id is not used); 1.
    int32_t Load(const char* sectorId);
    int32_t IsLoaded() const { return mLoaded; }
    void SetLoaded(int32_t loaded) { mLoaded = loaded; }

private:
    int32_t mLoaded = 0;
};

class GameState_Stage : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    GameState_Stage();
    void Enter() override;
    void Resume() override;
    void Suspend() override;
    void Leave() override;
    void Update() override;
    void UpdateUnderOverlay() override;

    /// The follow and scenario cameras, made when the level script asks.
    void CreateCameras() override;
    StringHashMap* GetSectorLogicalInventory() override { return &mSectorInventory; }

    void RequestSave() { mSaveRequest = 1; }
    void SetInventoryLocked(int32_t locked) { mInventoryLocked = locked; }
    int32_t GetFrameCounter() const { return mFrameCounter; }
    int32_t GetDeferredStageRequest() const { return mDeferredStageRequest; }
    const std::string& GetSectorName() const { return mSectorName; }
    /// 1 from an entry that found the sector damaged until the leave: the first frame goes back
    /// to the main menu.
    int32_t IsRefused() const { return mRefused; }

private:
    /// Says why the sector cannot be played and sends the stage back to the main menu.
    void Refuse(const std::string& fault);

    int32_t mFrameCounter = 0;
    int32_t mRefused = 0;
    int32_t mSaveRequest = 0;
    int32_t mDeferredStageRequest = 0;
    std::string mSectorName;
    int32_t mInventoryLocked = 0;
    /// Logical items of the sector by name.
    StringHashMap mSectorInventory{17, 10};
};

/// Raised at stage entry when a new mission starts; cleared once the hero has left its first state.
int32_t StageMissionStarting();
/// The frame of play's world update and 3D pass, shared with the inventory overlay.
void StageUpdateWorld();
void StageRenderScene();
