// The scenario level fixture.
#include "scenariolevel_fixture.h"

#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "hbcommand.h"
#include "hbresource.h"
#include "scenariocommands.h"
#include "scenariodbwriter.h"
#include "scenarioslots.h"
#include "sectordatamanager.h"
#include "tsmarksystem.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace scenarictest
{
namespace
{
class BareStage : public GameState
{
public:
    BareStage() : GameState(kGameStateStage) {}
    void Leave() override {}
    void Update() override {}
};

ScenarioMarkEntry Mark(const std::string& id, const std::string& name, Vector at,
                       std::vector<ScenarioValue> extras = {})
{
    ScenarioMarkEntry mark;
    mark.identifier = id;
    mark.name = name;
    mark.SetPosition(at.x, at.y, at.z);
    mark.extras = std::move(extras);
    return mark;
}

std::vector<ScenarioSection> Sections()
{
    ScenarioMarkEntry drop = Mark("M_DROP_ATTACKMARK", "drop", {50, 0, 60});
    drop.matrix = {0, 0, 1, 0, 1, 0, -1, 0, 0, 50, 0, 60};
    return {
        {1, {drop, Mark("M_GA_ATTACKMARK", "gate_a", {0, 0, 0}), Mark("M_GB_ATTACKMARK", "gate_b", {10, 0, 0})}},
        {17,
         {Mark("M_R1_RESPAWNMARK", "r_one", {-300, 0, 0}, ScenarioDbWriter::Respawn(0, 0, 2.0f, 3)),
          Mark("M_R2_RESPAWNMARK", "r_two", {300, 0, 0}, ScenarioDbWriter::Respawn(0, 1, 5.0f, 0))}},
        {2, {}, {{"P_GATE_YOSCENARICPATH", "gate", {"gate_a", "gate_b"}}}},
    };
}

const char* const kClasses = "class Data:\n"
                             "    def __init__(self, name):\n"
                             "        self.__name__ = name\n"
                             "class Saved:\n"
                             "    def __init__(self, name, data):\n"
                             "        self.actorName = name\n"
                             "        self.data = Data(data)\n"
                             "        self.currentBehaviourGenericName = None\n"
                             "        CreateActor(self, 9001)\n"
                             "        SetFamily(self, 32)\n"
                             "        note('made %s %s %s' % (type(self).__name__, name, data))\n"
                             "    def main(self, behaviour):\n"
                             "        self.currentBehaviourGenericName = behaviour\n"
                             "        note('main %s %s' % (self.actorName, behaviour))\n"
                             "    def delete(self):\n"
                             "        note('delete ' + self.actorName)\n"
                             "        globals().pop(self.actorName, None)\n"
                             "        DeleteActor(self)\n"
                             "    def DropObject(self, at, facing, value):\n"
                             "        note('drop %s %s %s %d' % (self.actorName, xyz(at), xyz(facing), value))\n"
                             "    def setEnemy(self, other):\n"
                             "        note('enemy %s %s' % (self.actorName, other.actorName))\n"
                             "    def setActorPathFromScenaric(self, a, b):\n"
                             "        note('path %s [%s] [%s]' % (self.actorName, a, b))\n"
                             "    def addWantedBhvCallBackFromScenaric(self, a, b):\n"
                             "        note('callback %s [%s] [%s]' % (self.actorName, a, b))\n"
                             "class ClassDoor(Saved): pass\n"
                             "class ClassBonusObject(Saved): pass\n"
                             "class ClassGardWithGraph(Saved): pass\n"
                             "class ClassExplosiveObject(Saved): pass\n"
                             "class ClassMobileDof(Saved): pass\n"
                             "class Directing:\n"
                             "    def __init__(self):\n"
                             "        self.actorName = 'Director'\n"
                             "        CreateActor(self, 9001)\n"
                             "    def activateAlarm(self, on):\n"
                             "        note('alarm %d' % on)\n"
                             "    def setRespawnBuffer(self, n):\n"
                             "        note('buffer %d' % n)\n"
                             "    def setSectorMusic(self, a, b, c, d):\n"
                             "        note('music [%s] [%s] [%s] [%s]' % (a, b, c, d))\n";
} // namespace

void ScenarioLevelTest::SetUp()
{
    ScenaricTest::SetUp();
    ASSERT_GT(ScenarioCommandsRegisteredCount(), 40);
    ScenarioLookupsReset();
    std::string pattern = (std::filesystem::temp_directory_path() / "scenariolevel_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    mDirectory = pattern;
    TsMarkSystemInstall(mWorld);
    const std::vector<ScenarioSection> sections = Sections();
    const std::string path = mDirectory + "/LEVEL_SCE.sce";
    const std::vector<uint8_t> bytes = ScenarioDbWriter::Bytes(sections);
    ASSERT_FALSE(bytes.empty());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    Declare("LEVEL_SCE", path);
    for (const ScenarioSection& section : sections)
    {
        for (const ScenarioMarkEntry& mark : section.marks)
            Declare(mark.identifier, path);
        for (const ScenarioPathEntry& p : section.paths)
            Declare(p.identifier, path);
    }
    ASSERT_EQ(mWorld->LoadScenaricData("LEVEL_SCE"), 1);
    ASSERT_NE(TsGetMarkSystem()->FindMark("r_two"), nullptr);
    ASSERT_EQ(Exec(kClasses), "");

    mProfile = new GameProfile();
    mProfile->AddRef();
    mProfile->sectorId = "W1L1S01";
    mState = new BareStage();
    mState->SetProfile(mProfile);
    GameStateManager::Instance()->SetCurrentState(mState);
    Notes();
}

void ScenarioLevelTest::TearDown()
{
    ScenarioCommandsLevelEnd();
    ScenarioGetHeroHooks() = ScenarioHeroHooks{};
    if (SectorDataManager* sectors = SectorDataManager::Existing())
        sectors->ClearAll();
    GameStateManager::Instance()->SetCurrentState(nullptr);
    delete mState;
    if (mProfile)
        mProfile->Release();
    mWorld->SetScene(nullptr);
    for (const std::string& id : mIds)
        HbResourceManager::Instance()->RemovePath(id.c_str());
    std::filesystem::remove_all(mDirectory);
    ScenaricTest::TearDown();
}

int ScenarioLevelTest::Run(const std::string& line)
{
    return HbCommandManager::Instance()->ExecuteLine(line.c_str());
}

std::vector<std::string> ScenarioLevelTest::Notes()
{
    std::vector<std::string> notes;
    notes.swap(scriptworldtest::Log());
    return notes;
}

void ScenarioLevelTest::Declare(const std::string& id, const std::string& path)
{
    HbResourceManager::Instance()->AddPath(id.c_str(), path.c_str());
    mIds.push_back(id);
}
} // namespace scenarictest
