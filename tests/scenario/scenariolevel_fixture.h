// Fixture of the scenario command and sector-data tests: the module "scenaric" over the wall
// level, a small mark database of the writers, script classes of the actor types whose calls
// are noted, a stage state holding a profile as the game manager's current state, and the
// scenario's slots and tables emptied around each test.
#pragma once

#include "scenaricmodule_fixture.h"

#include <string>
#include <vector>

class GameProfile;
class GameState;

namespace scenarictest
{
class ScenarioLevelTest : public ScenaricTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// The console's answer to the line: 0 done, 1 failed, 2 unknown.
    int Run(const std::string& line);
    /// The notes scripts made since the last call, then forgotten.
    std::vector<std::string> Notes();
    void Declare(const std::string& id, const std::string& path);

    GameProfile* mProfile = nullptr;
    GameState* mState = nullptr;
    std::string mDirectory;
    std::vector<std::string> mIds;
};
} // namespace scenarictest
