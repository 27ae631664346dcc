// The first sector's content: the level's world from boxes (ground, walls, a building with a
// door opening, a ladder, cover), its level, navigation graph, scenario databases, event boxes,
// mission file and level script.
#pragma once

#include <string>

/// Where the hero starts (on the ground: y is the ground's height there).
constexpr float kLevelHeroStart[3] = {0.0f, 0.0f, -600.0f};
/// The place of the first objective, the yard before the building.
constexpr float kLevelObjective[3] = {0.0f, 0.0f, -300.0f};
/// Where the mission ends, inside the building past its door.
constexpr float kLevelExit[3] = {0.0f, 0.0f, 500.0f};
/// The guards' patrol marks (x, z on the ground), walked in a loop.
constexpr float kLevelPatrol[4][2] = {{0.0f, -50.0f}, {600.0f, -250.0f}, {700.0f, 1000.0f}, {-700.0f, 1000.0f}};

std::string LevelWorldBytes();
std::string LevelBytes();
/// The rifle the hero and the guards hold: a clump whose first frames lead to its muzzle.
std::string LevelRifleModelBytes();
std::string LevelNavigationBytes();
std::string LevelScenarioBytes();
std::string LevelMarkDatabaseBytes();
std::string LevelEventBoxBytes();

extern const char kLevelMissionFile[];
/// The headless run of the first mission (drive/mission.txt): from the language choice to the
/// debriefing, the stage played by a fixed input trace.
extern const char kLevelDrive[];
extern const char kLevelScript[];
