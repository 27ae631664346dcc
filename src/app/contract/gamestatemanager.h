// GameStateManager: the game manager. It owns the state graph and the player profile, ticks
// the current state once per frame and serves the profile's requests, and offers the rest of
// the game the current state, the level handle, the fades and the cinematic request. Its
// start-up, frame and shut-down are the game application's (they call every layer); the
// operations below are what the layers under the game use.
#pragma once

#include "hbmemory.h"

#include <cstdint>
#include <string>

class GameProfile;
class GameState;
class HbHandlePtr;
class W2dBlendedPictureItem;
class W2dFadingSurface;
class W2dSpinEffect;
class W2dSurface;

/// The one timed action: a start time of 0 means none. Whoever starts it writes the record.
struct GameTimedAction
{
    int64_t start = 0;
    int64_t duration = 0;
    void (*perTick)(void* argument) = nullptr;
    void* perTickArgument = nullptr;
    void (*completion)(void* argument) = nullptr;
    void* completionArgument = nullptr;
};

class GameStateManager : public HbAllocated
{
public:
    /// The manager, made on first use; the exit list destroys it.
    static GameStateManager* Instance();
    /// The manager when it exists, else null.
    static GameStateManager* Existing();

    // ---- Start-up, frame and shut-down (the game application) ---------------------------------
    /// The main initialisation: 0 without a readable "gprefs.dat", else 1.
    int32_t Initialise();
    /// One frame: 1 to go on, 0 at the end of the game.
    int32_t Tick();
    /// The orderly shut-down; 1.
    int32_t Shutdown();
    /// The sixteen states and their transitions, state 9 current and entered, then the
    /// profile, held by the manager and handed to state 9.
    void BuildStates();

    // ---- For the whole game ---------------------------------------------------------------------
    /// The state switched to during this frame when there is one, else the current state;
    /// null before the graph exists.
    GameState* GetCurrentState() const;
    /// Fills the handle with the current stage level (null without one); returns it.
    HbHandlePtr* GetLevelHandle(HbHandlePtr* handle) const;
    /// Puts the overlay on the 2D list (once), then fades it from opaque (at once with
    /// restart) to clear over the duration in counter ticks. Nothing without an overlay.
    void FadeIn(int64_t duration, int32_t restart);
    /// Puts the overlay on the 2D list (once), then fades it from clear (at once with restart)
    /// to opaque; it stays on the list.
    void FadeOut(int64_t duration, int32_t restart);
    W2dFadingSurface* GetFadeOverlay() const { return mFadeOverlay; }
    int32_t IsFadingOut() const { return mFadeOut; }
    /// Names the video, its skippable flag and the state after it in the current profile and
    /// raises the cinematic request, served at this frame's end.
    void RequestCinematic(const char* video, int32_t skippable, int32_t nextState);
    /// Takes the loading picture off the 2D list and releases it.
    void RemoveExtraItems();

    // ---- The loading screen (the game application builds these) ---------------------------------
    /// Loads the loading group ("loading", or the world part of a first sector) into layer 0 and
    /// puts the full-screen picture, still hidden, on the 2D list.
    void StartLoadingScreen();
    /// Takes icon and picture away, clears the file-open hook and, with a profile, unloads the
    /// loading group.
    void StopLoadingScreen();
    /// One redraw from inside a load, after allowLoadingTick and never nested.
    void LoadingTick();
    void ShowLoadingPicture(const char* textureId);
    void CreateLoadingIcon();
    const std::string& GetLoadingGroup() const { return mLoadingGroup; }
    W2dSurface* GetLoadingPicture() const { return mLoadingPicture; }
    W2dBlendedPictureItem* GetLoadingIcon() const { return mLoadingIcon; }

    GameProfile* GetProfile() const { return mProfile; }
    GameTimedAction& GetTimedAction() { return mTimedAction; }

    /// For tests and the shut-down: the graph and profile the manager holds, set directly.
    void SetCurrentState(GameState* state) { mCurrentState = state; }
    void SetProfile(GameProfile* profile);

    ~GameStateManager();

private:
    GameStateManager();
    static void DestroyInstance();
    void CreateFadeOverlay();
    void ServeRequests();

    std::string mLoadingGroup;
    GameState* mCurrentState = nullptr;
    GameProfile* mProfile = nullptr;
    W2dFadingSurface* mFadeOverlay = nullptr;
    int32_t mFadeOut = 0;
    W2dSurface* mLoadingPicture = nullptr;
    W2dSpinEffect* mSpinEffect = nullptr;
    W2dBlendedPictureItem* mLoadingIcon = nullptr;
    int32_t mIconCreated = 0;
    GameTimedAction mTimedAction;
};
