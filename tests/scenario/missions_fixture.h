// Fixture of the mission and event-box kind tests: the scenaric module's world, a profile held
// by an in-mission state, resource files declared in a temporary folder, a level's marks, and
// mission services that record texts and markers instead of drawing them.
#pragma once

#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbfile_fixture.h"
#include "hbresource.h"
#include "missionmanager.h"
#include "scenaricmodule_fixture.h"
#include "scenariodbwriter.h"
#include "tsmarksystem.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace missiontest
{
class Stage : public GameState
{
public:
    explicit Stage(int32_t id = kGameStateStage) : GameState(id) {}
    void Leave() override {}
    void Update() override {}
    StringHashMap* GetSectorLogicalInventory() override { return GetId() == kGameStateStage ? &mInventory : nullptr; }
    StringHashMap mInventory{17, 10};
};

/// What the fake services saw: texts shown, markers shown and hidden, actors told.
struct Record
{
    std::vector<std::string> texts;
    std::vector<std::string> markers;
    std::vector<std::string> actors;
    std::map<std::string, std::vector<float>> marks;
    std::string sector;
    int32_t liveMarkers = 0;
};

inline Record& Seen()
{
    static Record record;
    return record;
}

/// A marker that notes "show <effect> x" and "hide <effect>".
class FakeMarker : public MissionMarker
{
public:
    explicit FakeMarker(int32_t effect) : mEffect(effect) { ++Seen().liveMarkers; }
    ~FakeMarker() override { --Seen().liveMarkers; }
    int32_t Show(const float point[3]) override
    {
        Seen().markers.push_back("show " + std::to_string(mEffect) + " " + std::to_string(int(point[0])));
        return 1;
    }
    int32_t Hide() override
    {
        Seen().markers.push_back("hide " + std::to_string(mEffect));
        return 1;
    }
    int32_t GetWorldPosition(float*) const override { return 0; }
    int32_t mEffect;
};

inline MissionServices FakeServices()
{
    MissionServices services;
    services.findMark = [](const char* name, float out[3]) -> int32_t
    {
        auto found = Seen().marks.find(name);
        if (found == Seen().marks.end())
            return 0;
        for (int i = 0; i < 3; ++i)
            out[i] = found->second[size_t(i)];
        return 1;
    };
    services.initActor = [](const char* actor, const char* argument)
    { Seen().actors.push_back(std::string(actor) + "(" + argument + ")"); };
    services.showText = [](const char* id) { Seen().texts.push_back(id); };
    services.createMarker = [](int32_t effect) -> MissionMarker* { return new FakeMarker(effect); };
    services.profileSector = []() { return Seen().sector; };
    return services;
}

class MissionTest : public scenarictest::ScenaricTest
{
protected:
    void SetUp() override
    {
        ScenaricTest::SetUp();
        mSaved = MissionManager::Services();
        Seen() = Record();
        MissionManager::SetServices(FakeServices());
        mProfile = new GameProfile();
        mProfile->AddRef();
        mStage.SetProfile(mProfile);
        GameStateManager::Instance()->SetCurrentState(&mStage);
        mProfile->GetMissions().Reset();
    }
    void TearDown() override
    {
        mProfile->GetMissions().Reset();
        GameStateManager::Instance()->SetCurrentState(nullptr);
        MissionManager::SetServices(mSaved);
        mProfile->Release();
        for (const std::string& id : mDeclared)
            HbResourceManager::Instance()->RemovePath(id.c_str());
        ScenaricTest::TearDown();
    }

    void Declare(const std::string& id, const std::string& text, const char* extension)
    {
        const std::string path = mDir / (id + extension);
        hbtest::WriteBytes(path, text);
        HbResourceManager::Instance()->AddPath(id.c_str(), path.c_str());
        mDeclared.push_back(id);
    }
    /// Declares the mission file and runs it for the sector.
    int32_t RunMission(const std::string& lines, const std::string& sector = "W1L1S01")
    {
        Declare("MISSION_OBJECTIVES_SCR", lines, ".scr");
        Seen().sector = sector;
        mProfile->sectorId = sector;
        return Missions().RunMissionFile("MISSION_OBJECTIVES_SCR");
    }
    /// A python module "fx" in sys.modules with the integer constants given.
    void FxModule(const std::string& assignments)
    {
        ASSERT_EQ(
            Exec("import sys, types\n_fx = types.ModuleType('fx')\n" + assignments + "\nsys.modules['fx'] = _fx\n"),
            "");
    }
    MissionManager& Missions() { return mProfile->GetMissions(); }

    MissionServices mSaved;
    GameProfile* mProfile = nullptr;
    Stage mStage;
    hbtest::TempDir mDir;
    std::vector<std::string> mDeclared;
};
} // namespace missiontest
