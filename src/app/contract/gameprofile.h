// GameProfile: the one record of the player's game, handed from state to state: what to play
// next, the requests raised for the game manager and the stage, cheats, play time, the
// campaign's mission table, the preferences, the missions and the global logical inventory.
#pragma once

#include "gameprefs.h"
#include "hbhashmap.h"
#include "hbptr.h"
#include "hbroot.h"
#include "missionmanager.h"

#include <cstdint>
#include <string>

class HbSaveFile;

/// Campaign progress: words 0-6 the results of missions 1-7 (0 not done), 7-13 a second value
/// per mission, 14 a campaign word, 15 the difficulty (0, 1 or 2), 16 the difficulty at which
/// the campaign was completed.
struct MissionTable
{
    static constexpr int32_t kWords = 17;
    static constexpr int32_t kMissions = 7;
    static constexpr int32_t kDifficulty = 15;
    static constexpr int32_t kCompletedDifficulty = 16;

    MissionTable() { Reset(); }
    /// Words 0-14 and 16 to 0, the difficulty to 1.
    void Reset();
    /// Index 0-6 sets word 7 + index; other indexes do nothing.
    void SetSecondValue(int32_t index, int32_t value);
    /// The 17 words in the order 0, 7, 1, 8, ..., 6, 13, 14, 15, 16; 0 as soon as a step fails.
    int32_t Write(HbSaveFile* stream) const;
    int32_t Read(HbSaveFile* stream);
    /// The word stored at a position of that order.
    static int32_t StreamOrder(int32_t position);

    int32_t words[kWords];
};

class GameProfile : public HbRoot
{
public:
    static constexpr const char* kDefaultStartMark = "MK_HERO_START01";
    /// The mark prefix the scenario uses.
    static constexpr const char* kStartMarkPrefix = "MK_HERO_START";
    static constexpr const char* kMainHeroGroup = "HERO";
    static constexpr const char* kBonusHeroGroup = "HERO_BONUS";
    static constexpr const char* kNoProfileName = "No Profile";

    GameProfile();
    ~GameProfile() override;

    /// Seconds played: game-clock ticks since the play start over the counter frequency, plus
    /// the seconds played before.
    double GetPlayTime() const;
    /// Takes the sector id unless it is empty; the start mark becomes the default one for a
    /// new mission, else the given one unless empty; raises the stage request.
    void RequestStage(const char* sectorId, const char* startMark);
    void SelectMainHero() { heroGroup = kMainHeroGroup; }
    void SelectBonusHero() { heroGroup = kBonusHeroGroup; }
    int32_t IsMainHero() const { return heroGroup == kMainHeroGroup ? 1 : 0; }
    /// Stores a mission's result: 0 for an index outside 0-6 (nothing stored); 1 otherwise.
    /// A table already full stores nothing and clears campaign-complete; the result that fills
    /// it raises campaign-complete and copies the difficulty to word 16.
    int32_t SetMissionResult(int32_t index, int32_t value);

    const HbHandlePtr& GetLevelHandle() const { return levelHandle; }
    MissionManager& GetMissions() { return missions; }

    std::string sectorId;
    std::string lastMissionSector;
    std::string startMark = kDefaultStartMark;
    HbHandlePtr levelHandle;
    std::string heroGroup = kMainHeroGroup;
    int32_t stageRequest = 0;
    int32_t saveLoadWord = 0;
    int32_t labelRequest = 0;
    int32_t forwardEntry = 0;
    int32_t unlimitedAmmo = 0;
    int32_t godMode = 0;
    int32_t cheatsUnlocked = 0;
    int32_t gameOverRequest = 0;
    std::string missionEndText;
    int32_t worldResetRequest = 0;
    int32_t quitRequest = 0;
    int32_t newMission = 0;
    int32_t missionEndRequest = 0;
    int32_t labelAfterMission = 0;
    int32_t pauseLabelRequest = 0;
    int64_t playStart = 0;
    int32_t secondsBefore = 0;
    std::string profileName = kNoProfileName;
    GamePrefs prefs;
    MissionTable missionTable;
    int32_t stageEntered = 0;
    int32_t saveLoadSlot = -1;
    int32_t saveLoadMode = 0;
    std::string saveKey;
    int32_t writeFile = 0;
    int32_t newGame = 0;
    int32_t loadRequest = 0;
    int32_t campaignComplete = 0;
    /// Logical items by name.
    StringHashMap globalInventory{17, 10};
    MissionManager missions;
    int32_t followCamera = -1;
    int32_t secondCamera = -1;
    std::string cinematicVideo;
    int32_t cinematicRequest = 0;
    int32_t cinematicSkippable = 0;
    int32_t stateAfterCinematic = 0;
};
