// Resource groups over temp-dir content made by the group writer: layers and their limits,
// exact release of what a group made, packs mounted and unmounted, script modules, ids and
// name parts, textures by id; the game's console commands; mutated scripts and packs.
#include "gamecommands.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "groupwriter.h"
#include "hbcommand.h"
#include "hbfile.h"
#include "hbpack.h"
#include "hbresource.h"
#include "hbuserfolder.h"
#include "image.h"
#include "pngimage.h"
#include "raster.h"
#include "renderer_fixture.h"
#include "resourcegroups.h"
#include "scriptinterpreter.h"
#include "texture.h"
#include "wrenderer.h"
#include "wscene.h"
#include "wtexturemanager.h"

#include <Python.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace
{
int gThings = 0;

// A resource of the tests' own type: counts the live ones and remembers its file's text.
class GroupThing : public HbRoot
{
public:
    GroupThing() { ++gThings; }
    ~GroupThing() override { --gThings; }
    int Load(HbStream*, const char*) override { return 1; }
    int IsShared() const override { return 1; }
};
HB_REGISTER_RESOURCE_TYPE(GroupThing, "THING");

std::string gLongPath;

// Adds the long path to the group being loaded.
class AddLongPathCommand : public HbCommand
{
public:
    AddLongPathCommand() : HbCommand("test_add_long_path", "") {}
    int Execute(const HbCommandArgs&, int32_t) override
    {
        ResourceGroupAddResource("LONG_PY", gLongPath.c_str());
        return 1;
    }
} sAddLongPathCommand;

using Resources = std::vector<GroupWriter::Resource>;

std::string PngBytes(int32_t side)
{
    Image* image = Image::Create(side, side, 32);
    Image::AllocatePixels(image);
    for (int32_t y = 0; y < side; ++y)
        for (int32_t x = 0; x < side; ++x)
        {
            uint8_t* p = image->pixels + y * image->stride + 4 * x;
            p[0] = 250, p[1] = 250, p[2] = 250, p[3] = 255;
        }
    Png::WriteImage(image, "scratch.png");
    Image::Destroy(image);
    std::ifstream in("scratch.png", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::remove("scratch.png");
    return bytes;
}

class ResourceGroups : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        Started();
        ResourceGroupResetLayers();
        GameCommandsReset();
        gThings = 0;
    }
    void TearDown() override
    {
        ResourceGroupUnloadAll();
        while (HbPackSet::Instance()->GetMountedCount() > 0)
            HbPackSet::Instance()->Unmount();
        HbPackSet::Instance()->SetEnabled(0);
        HbPackSet::Instance()->SetDiskFallback(0);
        if (ScriptInterpreter::IsStarted())
            ScriptInterpreter::Stop();
        GameCommandsReset();
        RendererTest::TearDown();
    }

    /// A group of n things, its script on the disk.
    static void DiskGroup(const std::string& name, int n)
    {
        Resources resources;
        for (int i = 0; i < n; ++i)
        {
            const std::string file = name + "_" + std::to_string(i) + ".thing";
            GroupWriter::WriteText(file, "thing");
            resources.push_back({name + std::to_string(i) + "_THING", file});
        }
        ASSERT_EQ(GroupWriter::WriteText(name + ".scr", GroupWriter::Script(resources)), 1);
    }

    static std::vector<std::string> Layer(int32_t layer)
    {
        std::vector<std::string> names;
        for (HbPtrListNode* node = ResourceGroupLayer(layer)->GetHead(); node; node = node->next)
            names.push_back(static_cast<ResourceGroup*>(node->value)->name);
        return names;
    }
};

TEST_F(ResourceGroups, OneGroupLayersUnloadTheirGroupBeforeAnyOtherCheck)
{
    DiskGroup("W3L1S01", 2);
    DiskGroup("FRONTEND", 1);
    DiskGroup("PERMANENT", 1);

    EXPECT_EQ(ResourceGroupLoad("W3L1S01", 2), 0);
    EXPECT_EQ(gThings, 2);
    EXPECT_EQ(ResourceGroupLoad("FRONTEND", 2), 0);
    EXPECT_EQ(Layer(2), std::vector<std::string>{"FRONTEND"});
    EXPECT_EQ(gThings, 1);
    EXPECT_EQ(ResourceGroupFind("W3L1S01"), nullptr);

    EXPECT_EQ(ResourceGroupLoad("FRONTEND", 2), 4);
    EXPECT_EQ(Layer(2), std::vector<std::string>{"FRONTEND"});
    EXPECT_EQ(gThings, 1);

    EXPECT_EQ(ResourceGroupLoad("PERMANENT", 0), 0);
    EXPECT_EQ(ResourceGroupLoad("PERMANENT", 2), 4);
    EXPECT_TRUE(Layer(2).empty());
    EXPECT_EQ(Layer(0), std::vector<std::string>{"PERMANENT"});
    EXPECT_EQ(gThings, 1);

    EXPECT_EQ(ResourceGroupUnload("NOT_LOADED"), 2);
    EXPECT_EQ(ResourceGroupLoad("PERMANENT", 3), 2);
    // The mode stays 3 after a group; a loose line outside a load only registers its path.
    EXPECT_EQ(GameCommandsGetAddResourceMode(), 3);
    HbCommandManager::Instance()->ExecuteLine("add_ressource LOOSE_THING loose.thing");
    EXPECT_STREQ(HbResourceManager::Instance()->GetPath("LOOSE_THING"), "loose.thing");
    EXPECT_EQ(gThings, 1);
    HbResourceManager::Instance()->RemovePath("LOOSE_THING");
}

TEST_F(ResourceGroups, UnloadReleasesExactlyTheRecordedResourcesAndUnmountsThePack)
{
    // Two groups share nothing; the packed one reads its script and files from its archive.
    const Resources resources = {{"PK0_THING", "data\\pk0.thing"},
                                 {"PK_SOUND_STDSB", "data\\music.ogg"},
                                 {"FE_MAIN_WHITE", "textures\\white.png"}};
    ASSERT_EQ(GroupWriter::WritePack("packed.PAK", {{"packed.scr", GroupWriter::Script(resources)},
                                                    {"data\\pk0.thing", "thing"},
                                                    {"textures\\white.png", PngBytes(4)}}),
              1);
    DiskGroup("loose", 3);

    ASSERT_EQ(ResourceGroupLoad("loose", 0), 0);
    EXPECT_EQ(ResourceGroupFind("loose")->packMounted, 0);
    EXPECT_EQ(ResourceGroupFind("loose")->resources.GetCount(), 3);
    ASSERT_EQ(ResourceGroupLoad("packed", 0), 0);
    ResourceGroup* packed = ResourceGroupFind("packed");
    ASSERT_NE(packed, nullptr);
    EXPECT_EQ(packed->packMounted, 1);
    EXPECT_EQ(HbPackSet::Instance()->GetMountedCount(), 1);
    // The streamed sound is registered only; the id without a type key still made a record.
    EXPECT_EQ(packed->resources.GetCount(), 2);
    EXPECT_STREQ(HbResourceManager::Instance()->GetPath("PK_SOUND_STDSB"), "data\\music.ogg");
    EXPECT_EQ(gThings, 4);

    // A texture id without "_TEX" resolves by its id from the group's archive.
    Texture* white = WTextureManager::Instance()->GetTexture("FE_MAIN_WHITE");
    ASSERT_NE(white, nullptr);
    EXPECT_EQ(white->raster->width, 4);
    Texture::Destroy(white);

    EXPECT_EQ(ResourceGroupUnload("packed"), 0);
    EXPECT_EQ(gThings, 3);
    EXPECT_EQ(HbPackSet::Instance()->GetMountedCount(), 0);
    EXPECT_EQ(HbResourceManager::Instance()->GetPathCount("PK0_THING"), 0);
    EXPECT_EQ(HbResourceManager::Instance()->GetPathCount("FE_MAIN_WHITE"), 0);
    EXPECT_EQ(HbResourceManager::Instance()->GetPathCount("loose0_THING"), 1);
    EXPECT_EQ(ResourceGroupUnloadAll(), 0);
    EXPECT_EQ(gThings, 0);
    for (int32_t layer = 0; layer < kResourceLayerCount; ++layer)
        EXPECT_TRUE(Layer(layer).empty());
}

TEST_F(ResourceGroups, ScriptResourcesImportTheirModulesAndAFailingImportIsPrinted)
{
    ASSERT_EQ(ScriptInterpreter::Start(), 1);
    HbFile* errors = HbFileOpen("errors.txt", "w");
    ScriptInterpreter::SetLogFiles(nullptr, errors);
    // A path longer than 255 characters (longer than a console token: a command of the test's
    // own passes it) still names its whole module, which the interpreter already holds.
    const std::string longName = "grp_" + std::string(300, 'x');
    ASSERT_NE(PyImport_AddModule(("scripts." + longName).c_str()), nullptr);
    gLongPath = "scripts\\" + longName + ".py";
    GroupWriter::WriteText("grp_good.py", "value = 7\n");
    GroupWriter::WriteText("grp_bad.py", "raise ValueError('grp_bad fails')\n");
    GroupWriter::WriteText("scripts.scr", GroupWriter::Script({{"GOOD_PY", "grp_good.py"}, {"BAD_PY", "grp_bad.py"}}) +
                                              "test_add_long_path\r\n");
    ASSERT_EQ(ResourceGroupLoad("scripts", 0), 0);
    ScriptInterpreter::SetLogFiles(nullptr, nullptr);
    HbFileClose(errors);

    ResourceGroup* group = ResourceGroupFind("scripts");
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->resources.GetCount(), 2);
    auto* good = static_cast<ResourceRecord*>(group->resources.GetHead()->value);
    EXPECT_EQ(good->moduleName, "grp_good");
    EXPECT_NE(good->module, nullptr);
    EXPECT_EQ(static_cast<ResourceRecord*>(group->resources.GetTail()->value)->moduleName, "scripts." + longName);
    std::ifstream in("errors.txt");
    const std::string printed((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(printed.find("grp_bad fails"), std::string::npos) << printed;

    // Unloading takes the modules out of the interpreter's table.
    ASSERT_EQ(ResourceGroupUnload("scripts"), 0);
    EXPECT_EQ(PyDict_GetItemString(PyImport_GetModuleDict(), "grp_good"), nullptr);
}

TEST_F(ResourceGroups, GroupScriptsAndPacksResolveOnDiskWhateverTheirCase)
{
    ASSERT_EQ(GroupWriter::WritePack("frontend.pak", {{"frontend_a.thing", "thing"}}), 1);
    GroupWriter::WriteText("Frontend.SCR", GroupWriter::Script({{"FA_THING", "frontend_a.thing"}}));
    ASSERT_EQ(ResourceGroupLoad("FRONTEND", 2), 0);
    EXPECT_EQ(ResourceGroupFind("FRONTEND")->packMounted, 1);
    EXPECT_EQ(ResourceGroupFind("FRONTEND")->resources.GetCount(), 1);
    EXPECT_EQ(gThings, 1);
    EXPECT_EQ(ResourceGroupUnload("FRONTEND"), 0);
    EXPECT_EQ(HbPackSet::Instance()->GetMountedCount(), 0);
}

TEST(ResourceGroupNames, SectorIdsSplitIntoWorldLevelAndSectorParts)
{
    struct Case
    {
        const char* id;
        const char* world;
        const char* level;
        const char* sector;
    };
    const Case cases[] = {{"W3L1S01", "W3", "L1", "S01"},
                          {"W3L1", "W3", "L1", ""},
                          {"W3L", "W3", "", ""},
                          {"W", "", "", ""},
                          {"", "", "", ""}};
    for (const Case& c : cases)
    {
        EXPECT_EQ(GroupNameGetWorldPart(c.id), c.world) << c.id;
        EXPECT_EQ(GroupNameGetLevelPart(c.id), c.level) << c.id;
        EXPECT_EQ(GroupNameGetSectorPart(c.id), c.sector) << c.id;
    }
    EXPECT_EQ(ResourceGroupScriptName("FRONTEND"), "FRONTEND.scr");
    EXPECT_EQ(ResourceGroupPakName("FRONTEND"), "FRONTEND.PAK");
}

// Scripts and packs cut short and with bytes changed load what they can and never fail badly.
TEST_F(ResourceGroups, MutatedScriptsAndPacksLoadWithoutHarm)
{
    const Resources resources = {{"MU0_THING", "data\\mu0.thing"}, {"MU1_THING", "data\\mu1.thing"}};
    const std::string script = GroupWriter::Script(resources);
    ASSERT_EQ(GroupWriter::WritePack(
                  "clean.PAK", {{"mutant.scr", script}, {"data\\mu0.thing", "thing"}, {"data\\mu1.thing", "thing"}}),
              1);
    std::ifstream in("clean.PAK", std::ios::binary);
    const std::string pack((std::istreambuf_iterator<char>(in)), {});
    std::mt19937 random(66);
    const char noise[] = {' ', '\t', '\n', '\r', '_', '\\', '\0', 'x', static_cast<char>(0xff)};
    for (int round = 0; round < 120; ++round)
    {
        std::string bytes = round % 2 ? pack : script;
        if (round % 3 == 0)
            bytes.resize(random() % (bytes.size() + 1));
        for (int flips = 1 + random() % 4; flips > 0 && !bytes.empty(); --flips)
        {
            const size_t at = random() % bytes.size();
            bytes[at] = round % 4 < 2 ? noise[random() % sizeof(noise)] : static_cast<char>(random());
        }
        GroupWriter::WriteText(round % 2 ? "mutant.PAK" : "mutant.scr", bytes);
        ResourceGroupLoad("mutant", 2);
        EXPECT_EQ(ResourceGroupUnload("mutant"), 0) << round;
        std::remove("mutant.PAK");
        std::remove("mutant.scr");
    }
    EXPECT_EQ(HbPackSet::Instance()->GetMountedCount(), 0);
    EXPECT_EQ(gThings, 0);
}

// ---- Console commands ---------------------------------------------------------------------------

class GameCommands : public ResourceGroups
{
protected:
    static int Run(const std::string& line) { return HbCommandManager::Instance()->ExecuteLine(line.c_str()); }
};

TEST_F(GameCommands, ModesBindingAndCheats)
{
    EXPECT_EQ(Run("add_ressource_set_mode 3"), HbCommandManager::kDone);
    EXPECT_EQ(Run("add_ressource_set_mode 7"), HbCommandManager::kDone);
    EXPECT_EQ(Run("add_ressource_set_mode"), HbCommandManager::kDone);
    EXPECT_EQ(GameCommandsGetAddResourceMode(), 3);
    Run("add_ressource_set_mode 1");
    Run("add_ressource ONE_THING one.thing");
    EXPECT_EQ(HbResourceManager::Instance()->GetPathCount("ONE_THING"), 0);
    Run("add_ressource_set_mode 0");
    Run("add_ressource ONE_THING one.thing extra");
    EXPECT_EQ(HbResourceManager::Instance()->GetPathCount("ONE_THING"), 0);
    Run("add_ressource ONE_THING one.thing");
    EXPECT_EQ(HbResourceManager::Instance()->GetPathCount("ONE_THING"), 1);
    HbResourceManager::Instance()->RemovePath("ONE_THING");

    EXPECT_EQ(Run("bind Keyboard ESC KEY_ESCAPE"), HbCommandManager::kFailed);
    EXPECT_EQ(Run("bind Nothing ESC KEY_ESCAPE CLICK"), HbCommandManager::kDone);

    struct Step
    {
        const char* line;
        int32_t god;
        int32_t life;
    };
    for (const Step& step : {Step{"God 50", 1, 50}, Step{"God", 0, -1}, Step{"God", 1, -1}, Step{"God x", 1, 0}})
    {
        Run(step.line);
        EXPECT_EQ(GameCommandsGetGod(), step.god) << step.line;
        EXPECT_EQ(GameCommandsGetGodLife(), step.life) << step.line;
    }

    EXPECT_EQ(GameCommandsGetAllowLoadingTick(), 0);
    Run("allowLoadingTick");
    EXPECT_EQ(GameCommandsGetAllowLoadingTick(), 1);

    // Animated-material commands on names nobody knows do nothing.
    for (const char* line : {"AnimMatSetFrame nobody 2", "AnimMatNextFrame nobody", "AnimMatStartAutoMode nobody",
                             "AnimMatStopAutoMode nobody 1", "AnimMatSetFrame"})
        EXPECT_EQ(Run(line), HbCommandManager::kDone) << line;
}

TEST_F(GameCommands, FullAmmoTogglesTheCurrentProfilesWord)
{
    GameStateManager* manager = GameStateManager::Instance();
    struct Plain : GameState
    {
        Plain() : GameState(6) {}
        void Leave() override {}
        void Update() override {}
    } state;
    auto* profile = new GameProfile();
    profile->AddRef();
    state.SetProfile(profile);
    manager->SetCurrentState(&state);
    Run("FullAmmo");
    EXPECT_EQ(profile->unlimitedAmmo, 1);
    Run("FullAmmo");
    EXPECT_EQ(profile->unlimitedAmmo, 0);
    manager->SetCurrentState(nullptr);
    state.SetProfile(nullptr);
    profile->Release();
}

TEST_F(GameCommands, ScreenshotsTakeTheNextFreeNumbersInThePlayersFolder)
{
    WRenderer* renderer = WRenderer::Existing();
    HbUserFolderSet("player");
    // Without a scene nothing is written.
    HbCommandManager::Instance()->ExecuteLine("screenshot");
    EXPECT_FALSE(HbFileExists("player/screenshot_0.bmp"));

    auto* scene = new WScene();
    renderer->SetScene(scene);
    ASSERT_NE(renderer->GetMainCamera(), nullptr);
    std::filesystem::create_directories("player");
    GroupWriter::WriteText("player/screenshot_1.bmp", "taken");
    renderer->BeginFrame();
    renderer->EndFrame();
    HbCommandManager::Instance()->ExecuteLine("screenshot");
    HbCommandManager::Instance()->ExecuteLine("screenshot");
    renderer->ReleaseScene();
    HbUserFolderSet(std::string());

    for (const char* name : {"player/screenshot_0.bmp", "player/screenshot_2.bmp"})
    {
        std::ifstream in(name, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        ASSERT_EQ(bytes.size(), 54u + 640u * 3u * 480u) << name;
        EXPECT_EQ(bytes.substr(0, 2), "BM");
        EXPECT_EQ(static_cast<uint8_t>(bytes[28]), 24);
    }
    EXPECT_FALSE(HbFileExists("screenshot_0.bmp")) << "nothing in the working directory";
    EXPECT_EQ(GameCommandsGetScreenshotCounter(), 2);
}
} // namespace
