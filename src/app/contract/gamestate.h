// GameState: one node of the game's state graph, with its declared transitions, the switch
// protocol (leave or suspend the old state, enter or resume the new one, the new one pending
// until the game manager's tick ends) and the profile handed from state to state.
#pragma once

#include "hbgrowarray.h"
#include "hbmemory.h"
#include "hbroot.h"

#include <cstdint>

class GameProfile;
class HbHandlePtr;
class StringHashMap;

/// The state ids the game uses (2, 3, 14 and 15 are not used).
enum GameStateId : int32_t
{
    kGameStateMainMenu = 1,
    kGameStateStageMenu = 4,
    kGameStateGameOver = 5,
    kGameStateStage = 6,
    kGameStateIntro = 7,
    kGameStateInventory = 8,
    kGameStateChooseLanguage = 9,
    kGameStateCredits = 10,
    kGameStateSaveLoad = 11,
    kGameStateSelectMission = 12,
    kGameStateDebriefing = 13,
    kGameStateMap = 16,
    kGameStateCinematic = 17,
    kGameStateLabel = 18,
    kGameStatePauseLabel = 19,
    kGameStateArtworks = 20,
};

class GameState;

/// A declared switch: the target, and whether it is pushed as an overlay over the source.
struct GameStateTransition : HbAllocated
{
    GameStateTransition(GameState* to, int32_t asOverlay) : target(to), overlay(asOverlay) {}
    GameState* target;
    int32_t overlay;
};

class GameState : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    explicit GameState(int32_t id);
    /// Deletes every state reachable from this one through the transitions, each once.
    ~GameState() override;

    // ---- Lifecycle (the states' own work goes into the overrides) ----------------------------
    /// Clears pending and the overlay entry; entered 1, suspended 0.
    virtual void Enter();
    /// Clears pending; suspended 0.
    virtual void Resume();
    /// Clears pending; suspended 1.
    virtual void Suspend();
    virtual void Leave() = 0;
    /// Fills the handle with the profile's level handle (a new reference), or clears it
    /// without a profile; returns the handle.
    virtual HbHandlePtr* GetLevelHandle(HbHandlePtr* handle);
    /// The target of the overlay entry, or null.
    virtual GameState* GetOverlayState();
    /// One frame of the state.
    virtual void Update() = 0;
    /// Ticks the overlay pushed on this state (overlays may stack).
    virtual void UpdateUnderOverlay();
    /// The in-game cameras the level script asks for; nothing outside the stage.
    virtual void CreateCameras() {}
    /// The sector logical inventory (item name to count) of the in-mission state; null for
    /// every other state.
    virtual StringHashMap* GetSectorLogicalInventory() { return nullptr; }

    // ---- The graph --------------------------------------------------------------------------
    /// Appends a declared transition; a target may repeat and may be this state. 1, or 0
    /// when out of memory.
    int32_t AddTransition(GameState* target, int32_t overlay);
    /// The first declared transition to a state of that id, or null.
    GameStateTransition* FindTransition(int32_t id) const;
    /// Switches along the declared transition to the id (the old state leaves or is
    /// suspended, the target is entered or resumed, the profile goes with it). 1 done; an id
    /// this state has not declared changes nothing, is logged and gives 0.
    int32_t SwitchTo(int32_t id);
    /// Once per frame on the game manager's current state: clears pending, then updates
    /// this state or, while suspended, its overlay.
    void Tick();
    /// Releases the profile held, takes a reference on the new one (null allowed); 1.
    int32_t SetProfile(GameProfile* profile);

    int32_t GetId() const { return mId; }
    GameProfile* GetProfile() const { return mProfile; }
    GameState* GetPending() const { return mPending; }
    GameState* GetPrevious() const { return mPrevious; }
    int32_t IsEntered() const { return mEntered; }
    int32_t IsSuspended() const { return mSuspended; }
    int32_t IsPersistent() const { return mPersistent; }
    void SetPersistent(int32_t persistent) { mPersistent = persistent; }
    int32_t GetTransitionCount() const { return mTransitions.GetCount(); }
    /// The declared transition at a position in declaration order, or null.
    const GameStateTransition* GetTransition(int32_t index) const;

protected:
    GameStateTransition* mOverlayEntry = nullptr;
    int32_t mEntered = 0;
    GameState* mPrevious = nullptr;
    GameProfile* mProfile = nullptr;
    int32_t mDestroying = 0;
    GameState* mPending = nullptr;
    int32_t mPersistent = 0;
    int32_t mId;
    HbPtrArray mTransitions;
    int32_t mSuspended = 0;
};
