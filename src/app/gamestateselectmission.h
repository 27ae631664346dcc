// GameState_SelectMission: the campaign map, where the player picks the next mission. Seven
// missions, each open once the missions it depends on have a result; the selection moves between
// open ones with the four menu directions. A first choose shows the mission's story, a second
// launches it through the label state, after the bonus-hero question when the campaign was
// completed above easy. A marker beside a mission whose objectives were all completed opens the
// artworks; back asks before returning to the main menu.
#pragma once

#include "gamestate.h"

#include <cstdint>
#include <string>

struct CampaignProgress;
class MoCampaignMap;
class W2dGraphicMenu;

/// One mission of the campaign (index = mission number - 1).
struct MissionRecord
{
    /// Mission-table words that must all be nonzero for the mission to be open; -1 = none.
    int32_t prerequisites[3];
    /// The mission table's campaign word must be at least this.
    int32_t minimumProgress;
    /// The mission's first sector.
    std::string sectorId;
    int32_t open;
    /// The mission reached going up, right, down and left; -1 = none.
    int32_t neighbours[4];
};

/// One of the seven records (refilled by every Enter), or null for an index outside them.
const MissionRecord* SelectMissionRecord(int32_t index);

/// Seconds after Enter and Resume during which the map takes no input.
inline constexpr double kSelectMissionInputDelaySeconds = 1.0;

class GameState_SelectMission : public GameState
{
    HB_DECLARE_CLASS_DESC();

public:
    enum Direction : int32_t
    {
        kUp = 0,
        kRight = 1,
        kDown = 2,
        kLeft = 3,
    };

    GameState_SelectMission();
    ~GameState_SelectMission() override;

    /// Sounds stopped, the loading screen gone, the records filled, the map built, the open
    /// missions decided (the highest open one current), the map shown, the "Menu" context.
    void Enter() override;
    /// The map and the menus released, the context and key-hint theme popped, the profile's
    /// world-reset request cleared.
    void Leave() override;
    /// The artworks were pushed: the map hidden.
    void Suspend() override;
    /// Back from the artworks: the input delay again, the map shown, the title music.
    void Resume() override;
    /// The switch to the label state when asked, one frame, the map's animations, then the input
    /// after the delay: the confirmation menus, the launch, the directions, choose and back.
    void Update() override;

    /// 1 when the selection moved to the open neighbour in the direction, else 0.
    int32_t MoveSelection(int32_t direction);
    /// The console line "set_sector 0 <world> <level> <sector> ", then the profile starts a new
    /// mission going forward with its missions reset.
    void LaunchMission(const std::string& sectorId);
    void SelectMarker();
    void DeselectMarker();

    void BuildBackMenu();
    void BuildHeroMenu();
    void ReleaseBackMenu();
    void ReleaseHeroMenu();
    void CloseBackMenu();
    /// Set by the bonus-hero question: the next Update switches to the label state.
    void RequestLabel() { mGoToLabel = 1; }

    // Inspection.
    MoCampaignMap* GetMap() const { return mMap; }
    int32_t GetCurrent() const { return mCurrent; }
    int32_t IsDetailsShown() const { return mDetailsShown; }
    int32_t IsMarkerSelected() const { return mMarkerSelected; }
    int32_t IsLaunching() const { return mLaunching; }
    int32_t IsBackMenuOpen() const { return mBackMenuOpen; }
    W2dGraphicMenu* GetBackMenu() const { return mBackMenuCurrent; }
    W2dGraphicMenu* GetHeroMenu() const { return mHeroMenuCurrent; }

private:
    void HandleBackMenu();
    void HandleLaunching();
    void HandleDirections();
    void HandleChoose();
    void HandleUp();
    /// The display's view of the campaign from the records and the profile's mission table.
    void ReadProgress(CampaignProgress* progress) const;
    int32_t SecondValue(int32_t mission) const;
    /// Builds a confirmation menu with its two entries and title into the fields.
    W2dGraphicMenu* BuildConfirmation(const char* titleId, int32_t (*onNo)(void*), int32_t (*onYes)(void*),
                                      int32_t back);
    static void ReleaseMenu(W2dGraphicMenu*& current, W2dGraphicMenu*& root);

    MoCampaignMap* mMap = nullptr;
    int32_t mCurrent = 0;
    int32_t mDetailsShown = 0;
    W2dGraphicMenu* mBackMenuCurrent = nullptr;
    W2dGraphicMenu* mBackMenuRoot = nullptr;
    int32_t mBackMenuOpen = 0;
    W2dGraphicMenu* mHeroMenuCurrent = nullptr;
    W2dGraphicMenu* mHeroMenuRoot = nullptr;
    int32_t mLaunching = 0;
    int32_t mGoToLabel = 0;
    int32_t mMarkerSelected = 0;
    int32_t mJustEntered = 0;
};

// ---- Menu callbacks (context: the state) ------------------------------------------------------------

/// Switches to the main menu; 0.
int32_t MenuOnBackToMainMenu(void* state);
/// Closes the back menu; 1.
int32_t MenuOnCloseBackMenu(void* state);
/// The main or the bonus hero, then the label state next frame with the missions reset; 1.
int32_t MenuOnPlayMainHero(void* state);
int32_t MenuOnPlayBonusHero(void* state);
