// The main menu driven frame by frame through the game manager with injected menu keys: a visit's
// fresh campaign, the two-second hold, the hidden series that unlocks and locks the cheats, the
// sector launchers, the difficulty entries and every switch the state makes; every page opened
// without texts, font or pictures and with texts the font cannot show; a device lost mid-frame.
#include "fontwriter.h"
#include "framecheck.h"
#include "frontend_fixture.h"
#include "gamemenu.h"
#include "gamesavemanager.h"
#include "gamestatemainmenu.h"
#include "hbclock.h"
#include "hbcommand.h"
#include "hbinputmanager.h"
#include "hbresource.h"
#include "resourcegroups.h"
#include "scenariocommands.h"
#include "tsfmod.h"
#include "w2dgraphicmenu.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"
#include "win32keyboard.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fetest
{
namespace
{

const char* const kTitleMusic = "Z_TITLE_STDSB";
const char* const kLock = "SD_I_SELECT_S2DSB";
const char* const kUnlock = "SD_I_SELECT_WEAPON_S2DSB";
const int64_t kT0 = uitest::Ticks(100.0);

std::string LabelOf(W2dMenu* menu)
{
    auto* text = menu ? HbCastTo<W2dTextGraphicItem>(menu->GetLabel()) : nullptr;
    return text ? text->GetText() : std::string("?");
}

W2dMenu* Entry(W2dMenu* menu, const std::string& label)
{
    for (int32_t i = 0; menu && i < menu->GetEntryCount(); ++i)
        if (LabelOf(menu->GetEntry(i)) == label)
            return menu->GetEntry(i);
    return nullptr;
}

std::vector<std::string> Labels(W2dMenu* menu)
{
    std::vector<std::string> labels;
    for (int32_t i = 0; menu && i < menu->GetEntryCount(); ++i)
        labels.push_back(LabelOf(menu->GetEntry(i)));
    return labels;
}

/// A console command that keeps the lines it was given.
class Recorder : public HbCommand
{
public:
    explicit Recorder(const char* name) : HbCommand(name, "") {}
    int Execute(const HbCommandArgs& args, int32_t) override
    {
        std::string line;
        for (int32_t i = 0; i < args.GetCount(); ++i)
            line += (i ? " " : "") + args.GetToken(i);
        lines.push_back(line);
        return 1;
    }
    std::vector<std::string> lines;
};

class MainMenu : public FrontEndTest
{
protected:
    void SetUp() override
    {
        FrontEndTest::SetUp();
        mClocks->SetReal(kT0);
        DeclareTexts();
        std::ofstream("FRONTEND.scr").put('\n');
        ResourceGroupResetLayers();
        mSounds = std::make_unique<uitest::Sounds>(std::initializer_list<const char*>{kTitleMusic, kLock, kUnlock});
        ASSERT_TRUE(mSounds->Started());
        mInput = std::make_unique<uitest::InjectedInput>();
        HbInputManager* input = HbInputManager::Instance();
        input->PushCommandContext("Menu");
        const std::pair<const char*, const char*> bindings[] = {
            {"MENU_NEXT", "VK_DOWN"},  {"MENU_PREVIOUS", "VK_UP"},      {"MENU_CHOOSE", "VK_RETURN"},
            {"MENU_UP", "VK_BACK"},    {"MENU_NEXT_VALUE", "VK_RIGHT"}, {"MENU_PREVIOUS_VALUE", "VK_LEFT"},
            {"MENU_ESC", "VK_ESCAPE"},
        };
        for (const auto& [action, key] : bindings)
            ASSERT_TRUE(mInput->Bind(action, key));
        input->PopCommandContext("Menu");

        mMenu = new GameState_MainMenu();
        mMenu->SetProfile(mProfile);
        for (int32_t id : {12, 11, 6, 10, 7, 17, 18})
        {
            auto* target = new BareState(id);
            mTargets.push_back(target);
            mMenu->AddTransition(target, 0);
            target->AddTransition(mMenu, 0);
        }
        mMenu->AddTransition(mMenu, 0);
        mManager->SetCurrentState(mMenu);
    }

    void TearDown() override
    {
        GameState* current = mManager->GetCurrentState();
        if (current && current->IsEntered())
            current->Leave();
        mManager->SetCurrentState(nullptr);
        delete mMenu; // and every target
        ResourceGroupUnloadAll();
        mInput.reset();
        mSounds.reset();
        HbResourceManager* manager = HbResourceManager::Instance();
        while (manager->GetPathCount(W2dMenu::kMenuFont) > 0)
            manager->RemovePath(W2dMenu::kMenuFont);
        FrontEndTest::TearDown();
    }

    /// The menus' label font: the glyphs written as a font file of the test's own.
    static void MenuFont(const std::string& name, const std::vector<OutlineGlyph>& glyphs)
    {
        std::filesystem::create_directories("fonts");
        ASSERT_TRUE(FontWriter::WriteText("fonts/" + name + ".met", FontWriter::Metrics3(name, glyphs)));
        HbResourceManager::Instance()->AddPath(W2dMenu::kMenuFont, ("fonts\\" + name + ".met").c_str());
    }

public:
    virtual void DeclareTexts()
    {
        Texts({"TX_MENU_MAIN_NEW_TXT", "TX_MENU_MAIN_LOAD_TXT", "TX_MENU_MAIN_OPTIONS_TXT", "TX_MENU_MAIN_QUIT_TXT",
               "TX_MENU_DIFFICULTY_EASY_TXT", "TX_MENU_DIFFICULTY_NORMAL_TXT", "TX_MENU_DIFFICULTY_HARD_TXT",
               "TX_MENU_CONFIRM_NO_TXT", "TX_MENU_CONFIRM_YES_TXT"});
    }

    /// One game-manager tick at the time (seconds after kT0) with the keys held for it.
    void Frame(double at, std::initializer_list<uint8_t> keys = {})
    {
        fmod3test::SetUpdateStep(std::max(0.0, at - mLastFrame));
        mLastFrame = at;
        mClocks->SetReal(kT0 + uitest::Ticks(at));
        for (uint8_t key : keys)
            mInput->Press(key);
        mManager->Tick();
        for (uint8_t key : keys)
            mInput->Lift(key);
    }

    static uint8_t KeyOf(MainMenuPress press) { return press == kMainMenuPressNextValue ? VK_RIGHT : VK_LEFT; }

    /// The hidden series pressed on frames 0.1 s apart from the time; the time after it.
    double PressSeries(double at)
    {
        for (MainMenuPress press : kMainMenuCheatSequence)
        {
            Frame(at, {KeyOf(press)});
            at += 0.1;
        }
        return at;
    }

    /// Ticks until the menu has been open for a while after the hold; the time after it.
    double OpenMenu(double from)
    {
        for (double at = from; at < 2.5; at += 0.1)
            Frame(at);
        return 2.5;
    }

    /// Enters the visit at kT0 and runs its first frame.
    void Visit()
    {
        mClocks->SetReal(kT0);
        mMenu->Enter();
        Frame(0.0);
    }

    std::unique_ptr<uitest::Sounds> mSounds;
    std::unique_ptr<uitest::InjectedInput> mInput;
    double mLastFrame = 0.0;
    GameState_MainMenu* mMenu = nullptr;
    std::vector<BareState*> mTargets;
};

TEST_F(MainMenu, EnteringFromTheGameOverLocksTheCheatsAndAVisitStartsAFreshCampaign)
{
    mProfile->cheatsUnlocked = 1;
    mProfile->godMode = 1;
    mProfile->unlimitedAmmo = 1;
    mProfile->missionTable.words[MissionTable::kDifficulty] = 2;
    mProfile->missionTable.words[0] = 3;
    mProfile->prefs.shootHelper = 1;
    mProfile->heroGroup = GameProfile::kBonusHeroGroup;
    mProfile->labelRequest = mProfile->gameOverRequest = mProfile->worldResetRequest = 1;
    mProfile->newMission = mProfile->missionEndRequest = mProfile->loadRequest = 1;
    mProfile->campaignComplete = mProfile->forwardEntry = 1;
    ASSERT_EQ(GameSaveManager::Instance()->SaveCheckpoint(), 1);

    mClocks->SetReal(kT0);
    mMenu->Enter();
    EXPECT_EQ(mProfile->cheatsUnlocked, 0);
    EXPECT_EQ(mProfile->godMode, 0);
    EXPECT_EQ(mProfile->unlimitedAmmo, 0);
    EXPECT_EQ(mProfile->missionTable.words[MissionTable::kDifficulty], 1);
    EXPECT_EQ(mProfile->missionTable.words[0], 0);
    EXPECT_EQ(mProfile->prefs.shootHelper, 0);
    EXPECT_EQ(GameSaveManager::Instance()->GetStream(), nullptr) << "the checkpoint is dropped";
    ASSERT_EQ(ResourceGroupLayer(2)->GetCount(), 1);
    EXPECT_EQ(static_cast<ResourceGroup*>(ResourceGroupLayer(2)->GetHead()->value)->name, "FRONTEND");
    EXPECT_GE(TsFModFindChannelBySoundName(kTitleMusic), 0) << "the title music plays";
    EXPECT_EQ(HbInputManager::Instance()->GetCommandContextName(), "Menu");
    EXPECT_EQ(Labels(mMenu->GetRootMenu()),
              (std::vector<std::string>{"TX_MENU_MAIN_NEW_TXT", "TX_MENU_MAIN_LOAD_TXT", "TX_MENU_MAIN_OPTIONS_TXT",
                                        "TX_MENU_MAIN_QUIT_TXT"}));
    EXPECT_EQ(Labels(Entry(mMenu->GetRootMenu(), "TX_MENU_MAIN_NEW_TXT")),
              (std::vector<std::string>{"TX_MENU_DIFFICULTY_EASY_TXT", "TX_MENU_DIFFICULTY_NORMAL_TXT",
                                        "TX_MENU_DIFFICULTY_HARD_TXT"}));
    W2dMenu* options = Entry(mMenu->GetRootMenu(), "TX_MENU_MAIN_OPTIONS_TXT");
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->GetEntryCount(), 3) << "no cheats page";

    // The requests wait for the first update of the visit.
    EXPECT_EQ(mProfile->labelRequest, 1);
    Frame(0.0);
    for (int32_t word :
         {mProfile->labelRequest, mProfile->gameOverRequest, mProfile->worldResetRequest, mProfile->newMission,
          mProfile->missionEndRequest, mProfile->loadRequest, mProfile->campaignComplete, mProfile->forwardEntry})
        EXPECT_EQ(word, 0);
    EXPECT_EQ(mProfile->heroGroup, GameProfile::kMainHeroGroup);

    // The title slides down into place in one second; the background covers the screen below it.
    Vector at{};
    mMenu->GetTitle()->GetPosition(&at);
    EXPECT_NEAR(at.y, -0.25f, 1e-4f);
    Frame(0.5);
    mMenu->GetTitle()->GetPosition(&at);
    EXPECT_NEAR(at.y, (-0.25f + 0.021f) / 2.0f, 1e-3f);
    Frame(1.1);
    mMenu->GetTitle()->GetPosition(&at);
    EXPECT_NEAR(at.y, 0.021f, 1e-4f);
    EXPECT_EQ(mMenu->GetBackground()->GetPriority(), -100);
    EXPECT_EQ(mMenu->GetTitle()->GetPriority(), 2);

    // Leaving takes the menus, the pictures and the context away; the group stays.
    mMenu->Leave();
    EXPECT_EQ(mMenu->GetRootMenu(), nullptr);
    EXPECT_EQ(mMenu->GetTitle(), nullptr);
    EXPECT_EQ(mMenu->AreMenusBuilt(), 0);
    EXPECT_NE(HbInputManager::Instance()->GetCommandContextName(), "Menu");
    EXPECT_EQ(ResourceGroupLayer(2)->GetCount(), 1);
}

TEST_F(MainMenu, MenuInputWaitsTwoSecondsWhileTheSeriesIsWatchedFromTheFirstFrame)
{
    Visit();
    W2dMenu* root = mMenu->GetRootMenu();
    const auto first = kMainMenuCheatSequence[0];
    Frame(0.1, {KeyOf(first)});
    EXPECT_EQ(mMenu->GetSequenceProgress(), 1);
    for (double at : {0.5, 1.0, 2.0})
    {
        Frame(at, {VK_DOWN});
        EXPECT_EQ(root->GetCurrentEntry(), root->GetEntry(0)) << at;
        EXPECT_EQ(root->GetState(), W2dMenu::kOpening) << at;
        EXPECT_EQ(root->GetStateTime(), kT0 + uitest::Ticks(at)) << "the wipe waits";
    }
    const double at = OpenMenu(2.1);
    ASSERT_EQ(root->GetState(), W2dMenu::kOpen);
    Frame(at, {VK_DOWN});
    EXPECT_EQ(root->GetCurrentEntry(), root->GetEntry(1));
}

TEST_F(MainMenu, AWrongPressOrEscapeClearsTheSeries)
{
    Visit();
    const uint8_t right = KeyOf(kMainMenuCheatSequence[0]);
    const uint8_t wrong = right == VK_RIGHT ? VK_LEFT : VK_RIGHT;
    double at = 0.1;
    auto press = [&](std::initializer_list<uint8_t> keys)
    {
        Frame(at, keys);
        at += 0.1;
        return mMenu->GetSequenceProgress();
    };
    for (int32_t i = 0; i < 4; ++i)
        ASSERT_EQ(press({KeyOf(kMainMenuCheatSequence[i])}), i + 1);
    const uint8_t fifthWrong = KeyOf(kMainMenuCheatSequence[4]) == VK_RIGHT ? VK_LEFT : VK_RIGHT;
    EXPECT_EQ(press({fifthWrong}), 0) << "a wrong press";
    EXPECT_EQ(press({right}), 1) << "starts again at the first";
    EXPECT_EQ(press({}), 1) << "a frame without a value press keeps it";
    EXPECT_EQ(press({VK_ESCAPE}), 0);
    EXPECT_EQ(press({wrong}), 0);
    EXPECT_EQ(press({VK_ESCAPE, right}), 1) << "cleared, then the first press of the frame";
    EXPECT_EQ(mProfile->cheatsUnlocked, 0);
}

TEST_F(MainMenu, TheSeriesUnlocksTheCheatsOnReentryAndLocksThemAgain)
{
    Visit();
    mSounds->Clear();
    double at = PressSeries(0.1);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kUnlock});
    EXPECT_EQ(mManager->GetCurrentState(), mMenu);
    EXPECT_TRUE(mMenu->IsEntered());
    EXPECT_EQ(mProfile->cheatsUnlocked, 1);
    W2dMenu* root = mMenu->GetRootMenu();
    EXPECT_EQ(LabelOf(root->GetEntry(0)), "DEBUG");
    W2dMenu* options = Entry(root, "TX_MENU_MAIN_OPTIONS_TXT");
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(LabelOf(options->GetEntry(3)), "Cheats");
    EXPECT_EQ(Labels(options->GetEntry(3)), (std::vector<std::string>{"", "GOD"}))
        << "the unlimited choice's text is not among this test's texts";
    mProfile->godMode = 1;

    // The re-entry's first update resets the campaign but keeps the cheats.
    Frame(at);
    EXPECT_EQ(mProfile->cheatsUnlocked, 1);
    EXPECT_EQ(mProfile->godMode, 1);
    mSounds->Clear();
    PressSeries(at + 0.1);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kLock});
    EXPECT_EQ(mProfile->cheatsUnlocked, 0);
    EXPECT_EQ(LabelOf(mMenu->GetRootMenu()->GetEntry(0)), "TX_MENU_MAIN_NEW_TXT");
    EXPECT_EQ(Entry(mMenu->GetRootMenu(), "TX_MENU_MAIN_OPTIONS_TXT")->GetEntryCount(), 3);
}

TEST_F(MainMenu, TheDebugPageLaunchesSectorsByConsoleLine)
{
    Visit();
    PressSeries(0.1);
    W2dMenu* debug = Entry(mMenu->GetRootMenu(), "DEBUG");
    ASSERT_NE(debug, nullptr);
    EXPECT_EQ(Labels(debug),
              (std::vector<std::string>{"W1", "W2", "W3", "W4", "W7", "W8", "W9", "Video Intro", "Video Outro"}));
    int32_t launchers = 0;
    for (int32_t w = 0; w < 7; ++w)
        for (int32_t l = 0; l < debug->GetEntry(w)->GetEntryCount(); ++l)
            launchers += debug->GetEntry(w)->GetEntry(l)->GetEntryCount();
    EXPECT_EQ(launchers, 39);
    EXPECT_EQ(Labels(Entry(debug, "W8")), (std::vector<std::string>{"W8L1", "W8L2"}));
    W2dMenu* level = Entry(Entry(debug, "W7"), "W7L1");
    EXPECT_EQ(Labels(level), (std::vector<std::string>{"W7L1S1", "W7L1S2", "W7L1S3", "W7L1S5"}));
    W2dMenu* launcher = Entry(level, "W7L1S5");
    ASSERT_NE(launcher, nullptr);

    // The lines the launchers send, seen in place of the scenario command.
    HbCommandManager* commands = HbCommandManager::Instance();
    ASSERT_GT(ScenarioCommandsRegisteredCount(), 0);
    HbCommand* scenario = commands->FindCommand("launch_sector");
    ASSERT_NE(scenario, nullptr);
    commands->Unregister("launch_sector");
    {
        Recorder command("launch_sector");
        launcher->Notify(W2dMenu::kChoose);
        Entry(Entry(Entry(debug, "W1"), "W1L1"), "W1L1S1")->Notify(W2dMenu::kChoose);
        EXPECT_EQ(command.lines, (std::vector<std::string>{"launch_sector 0 W7 L1 S05", "launch_sector 0 W1 L1 S01"}));
    }
    ASSERT_EQ(commands->Register("launch_sector", scenario), 1);
    EXPECT_EQ(mProfile->labelRequest, 0);
    Frame(1.5);
    EXPECT_EQ(mManager->GetCurrentState(), mMenu);

    // The scenario command sets the sector and raises the label request, which takes the main
    // menu to the label state at the frame's end; the launcher makes it a forward entry.
    const std::string before = mProfile->sectorId;
    mProfile->labelAfterMission = 1;
    mProfile->forwardEntry = 0;
    launcher->Notify(W2dMenu::kChoose);
    EXPECT_EQ(mProfile->sectorId, "W7L1S05");
    EXPECT_EQ(mProfile->lastMissionSector, before);
    EXPECT_EQ(mProfile->startMark, "");
    EXPECT_EQ(mProfile->labelRequest, 1);
    EXPECT_EQ(mProfile->forwardEntry, 1);
    EXPECT_EQ(mProfile->labelAfterMission, 0);
    Frame(1.6);
    EXPECT_EQ(mManager->GetCurrentState()->GetId(), kGameStateLabel);
}

TEST_F(MainMenu, ADifficultyIsStoredAndTheIntroVideoLeadsToTheMissionSelection)
{
    const int32_t difficulties[] = {0, 1, 2};
    const char* const entries[] = {"TX_MENU_DIFFICULTY_EASY_TXT", "TX_MENU_DIFFICULTY_NORMAL_TXT",
                                   "TX_MENU_DIFFICULTY_HARD_TXT"};
    for (int32_t i = 0; i < 3; ++i)
    {
        mManager->SetCurrentState(mMenu);
        Visit();
        EXPECT_EQ(mProfile->missionTable.words[MissionTable::kDifficulty], 1) << "each visit starts at normal";
        W2dMenu* entry = Entry(Entry(mMenu->GetRootMenu(), "TX_MENU_MAIN_NEW_TXT"), entries[i]);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->Notify(W2dMenu::kChoose), 0);
        EXPECT_EQ(mProfile->missionTable.words[MissionTable::kDifficulty], difficulties[i]);
        EXPECT_EQ(mProfile->cinematicRequest, 1);
        EXPECT_EQ(mProfile->cinematicVideo, "FE_VIDEO_INTRO_VID");
        EXPECT_EQ(mProfile->cinematicSkippable, 1);
        EXPECT_EQ(mProfile->stateAfterCinematic, kGameStateSelectMission);
        Frame(0.1);
        EXPECT_EQ(mManager->GetCurrentState()->GetId(), kGameStateCinematic);
        EXPECT_FALSE(mMenu->IsEntered());
        mManager->GetCurrentState()->Leave();
    }
}

TEST_F(MainMenu, TheQuitPageClosesOnNoAndEndsTheGameOnYes)
{
    Visit();
    double at = OpenMenu(0.1);
    W2dMenu* root = mMenu->GetRootMenu();
    W2dMenu* quit = Entry(root, "TX_MENU_MAIN_QUIT_TXT");
    ASSERT_NE(quit, nullptr);
    // Walks the menus with one key per frame, then lets the wipes finish.
    auto keys = [&](std::initializer_list<uint8_t> presses)
    {
        for (uint8_t key : presses)
        {
            Frame(at, {key});
            at += 0.05;
            for (int i = 0; i < 6; ++i, at += 0.05)
                Frame(at);
        }
    };
    keys({VK_UP, VK_RETURN});
    ASSERT_EQ(mMenu->GetCurrentMenu(), quit);
    keys({VK_RETURN});
    EXPECT_EQ(mMenu->GetCurrentMenu(), root) << "no closes the page";
    EXPECT_EQ(mProfile->quitRequest, 0);
    keys({VK_RETURN, VK_DOWN});
    ASSERT_EQ(mMenu->GetCurrentMenu(), quit);
    mClocks->SetReal(kT0 + uitest::Ticks(at));
    mInput->Press(VK_RETURN);
    EXPECT_EQ(mManager->Tick(), 0) << "yes ends the game at the frame's end";
    mInput->Lift(VK_RETURN);
    EXPECT_EQ(mProfile->quitRequest, 1);
}

TEST_F(MainMenu, EveryStateTheMainMenuSwitchesToIsADeclaredTransition)
{
    // The game's own graph declares exactly these, none of them as an overlay.
    mManager->BuildStates();
    GameState* language = mManager->GetCurrentState();
    GameState* main = language->FindTransition(kGameStateIntro)->target->FindTransition(kGameStateMainMenu)->target;
    std::vector<int32_t> declared;
    for (int32_t t = 0; t < main->GetTransitionCount(); ++t)
    {
        declared.push_back(main->GetTransition(t)->target->GetId());
        EXPECT_EQ(main->GetTransition(t)->overlay, 0);
    }
    std::sort(declared.begin(), declared.end());
    EXPECT_EQ(declared, (std::vector<int32_t>{1, 6, 7, 10, 11, 12, 17, 18}));
    language->Leave();
    delete language;
    mManager->SetCurrentState(mMenu);

    // Each one is walked from a visit: the menu's own routes inside its frames, then the rest.
    struct Walk
    {
        int32_t id;
        void (*route)(MainMenu*);
    };
    const Walk walks[] = {
        {11,
         [](MainMenu* t)
         {
             const double at = t->OpenMenu(0.1);
             t->Frame(at, {VK_DOWN});
             t->Frame(at + 0.1, {VK_RETURN});
         }},
        {17,
         [](MainMenu* t)
         {
             MenuOnVideoIntro(nullptr);
             t->Frame(0.1);
         }},
        {18,
         [](MainMenu* t)
         {
             t->mProfile->labelRequest = 1;
             t->Frame(0.1);
         }},
        {1, [](MainMenu* t) { t->PressSeries(0.1); }},
        {12, [](MainMenu* t) { t->mMenu->SwitchTo(kGameStateSelectMission); }},
        {6, [](MainMenu* t) { t->mMenu->SwitchTo(kGameStateStage); }},
        {10, [](MainMenu* t) { t->mMenu->SwitchTo(kGameStateCredits); }},
        {7, [](MainMenu* t) { t->mMenu->SwitchTo(kGameStateIntro); }},
    };
    for (const Walk& walk : walks)
    {
        SCOPED_TRACE(walk.id);
        mManager->SetCurrentState(mMenu);
        Visit();
        walk.route(this);
        GameState* now = mMenu->GetPending() ? mMenu->GetPending() : mManager->GetCurrentState();
        ASSERT_EQ(now->GetId(), walk.id);
        EXPECT_TRUE(now->IsEntered());
        if (walk.id == kGameStateSaveLoad)
        {
            EXPECT_EQ(mProfile->saveLoadMode, 1);
            EXPECT_EQ(mProfile->saveLoadWord, kGameStateSelectMission);
        }
        if (walk.id != kGameStateMainMenu)
        {
            EXPECT_FALSE(mMenu->IsEntered());
            EXPECT_EQ(mMenu->GetRootMenu(), nullptr);
            EXPECT_NE(HbInputManager::Instance()->GetCommandContextName(), "Menu");
        }
        else
        {
            EXPECT_TRUE(mMenu->IsEntered());
            mMenu->Leave();
        }
        mProfile->labelRequest = 0;
        mProfile->cinematicRequest = 0;
    }
}

// ---- Every way out of the main menu comes back ------------------------------------------------------------

/// The front end as the game starts it, with every menu key bound.
class MainMenuWalk : public FrontStart
{
protected:
    const char* Bindings() const override
    {
        return "CreateControler 0 Keyboard\r\n"
               "SetCommandContext Menu\r\n"
               "bind Keyboard MENU_CHOOSE VK_RETURN DOWN\r\n"
               "bind Keyboard MENU_NEXT VK_DOWN DOWN\r\n"
               "bind Keyboard MENU_PREVIOUS VK_UP DOWN\r\n"
               "bind Keyboard MENU_UP VK_BACK DOWN\r\n"
               "SetCommandContext Default\r\n"
               "bind Keyboard START VK_SPACE DOWN\r\n";
    }

    GameState_MainMenu* Menu() const { return dynamic_cast<GameState_MainMenu*>(mManager->GetCurrentState()); }

    /// A key pressed for one frame, then half a second for the menus to move.
    void Press(uint8_t key)
    {
        Frame(1.0 / 60.0, {key});
        for (int i = 0; i < 5; ++i)
            Frame(0.1);
    }

    /// Frames until the main menu is current and open again, past its input hold; false when it
    /// is not back within ten seconds.
    bool BackAtTheMainMenu()
    {
        for (int i = 0; i < 100 && Current() != kGameStateMainMenu; ++i)
            Frame(0.1);
        if (Current() != kGameStateMainMenu)
            return false;
        for (int i = 0; i < 30; ++i)
            Frame(0.1);
        return Menu() && Menu()->GetRootMenu()->GetState() == W2dMenu::kOpen;
    }
};

TEST_F(MainMenuWalk, EveryEntryAndEveryOptionsPageComesBackToAnOpenMainMenu)
{
    Frame(1.0 / 60.0, {VK_RETURN});
    Frame();
    ASSERT_EQ(Current(), kGameStateIntro);
    Frame(1.0 / 60.0, {VK_SPACE});
    ASSERT_TRUE(BackAtTheMainMenu());
    ASSERT_EQ(Menu()->GetRootMenu()->GetEntryCount(), 4) << "new game, load, options, quit";

    // New game at each difficulty opens the campaign map after the intro video; the map's back
    // confirmation returns to the main menu. Load goes to the save screen, which has nothing to
    // load and goes back.
    for (int difficulty = 0; difficulty < 3; ++difficulty)
    {
        SCOPED_TRACE(testing::Message() << "new game, difficulty " << difficulty);
        Press(VK_RETURN);
        for (int i = 0; i < difficulty; ++i)
            Press(VK_DOWN);
        Frame(1.0 / 60.0, {VK_RETURN});
        std::vector<int32_t> visited;
        for (int i = 0; i < 40 && Current() != kGameStateSelectMission; ++i)
        {
            if (visited.empty() || visited.back() != Current())
                visited.push_back(Current());
            Frame(0.1);
        }
        ASSERT_EQ(Current(), kGameStateSelectMission);
        EXPECT_NE(std::find(visited.begin(), visited.end(), kGameStateCinematic), visited.end()) << "the intro video";
        EXPECT_EQ(mProfile->missionTable.words[MissionTable::kDifficulty], difficulty);
        // Past the map's input hold, back, then the confirmation's yes.
        for (int i = 0; i < 15; ++i)
            Frame(0.1);
        Press(VK_BACK);
        EXPECT_EQ(Current(), kGameStateSelectMission) << "back asks first";
        Press(VK_DOWN);
        Press(VK_RETURN);
        EXPECT_TRUE(BackAtTheMainMenu());
    }
    {
        SCOPED_TRACE("load game");
        Press(VK_DOWN);
        Frame(1.0 / 60.0, {VK_RETURN});
        for (int i = 0; i < 20 && Current() == kGameStateMainMenu; ++i)
            Frame(0.1);
        EXPECT_EQ(Current(), kGameStateSaveLoad);
        EXPECT_TRUE(BackAtTheMainMenu());
    }

    // Options: each page opens and backs out to the options, which back out to the root.
    {
        SCOPED_TRACE("options");
        W2dMenu* root = Menu()->GetRootMenu();
        Press(VK_DOWN);
        Press(VK_DOWN);
        Press(VK_RETURN);
        W2dMenu* options = Menu()->GetCurrentMenu();
        ASSERT_NE(options, root);
        ASSERT_GE(options->GetEntryCount(), 3) << "video, controls, audio";
        // Backing out opens a menu at its first entry.
        for (int32_t page = 0; page < options->GetEntryCount(); ++page)
        {
            SCOPED_TRACE(page);
            for (int32_t i = 0; i < page; ++i)
                Press(VK_DOWN);
            Press(VK_RETURN);
            EXPECT_EQ(Menu()->GetCurrentMenu(), options->GetEntry(page));
            Press(VK_BACK);
            EXPECT_EQ(Menu()->GetCurrentMenu(), options);
        }
        Press(VK_BACK);
        EXPECT_EQ(Menu()->GetCurrentMenu(), root);
        EXPECT_EQ(Current(), kGameStateMainMenu);
    }

    // Quit, then no: the page closes and the game goes on.
    Press(VK_UP);
    Press(VK_RETURN);
    W2dMenu* quit = Menu()->GetCurrentMenu();
    ASSERT_NE(quit, Menu()->GetRootMenu());
    Press(VK_RETURN);
    EXPECT_EQ(Menu()->GetCurrentMenu(), Menu()->GetRootMenu());
    EXPECT_EQ(mProfile->quitRequest, 0);
    EXPECT_EQ(Current(), kGameStateMainMenu);
}

/// The main menu with nothing of its own: no texts, no label font, no pictures or tiles.
class MainMenuBare : public MainMenu
{
public:
    void DeclareTexts() override {}

    /// Opens each page of the menu below the depth with the menu keys, frames drawn, walks it
    /// and goes back; the time after it.
    double Walk(W2dMenu* menu, int depth, double at)
    {
        auto key = [&](uint8_t press)
        {
            Frame(at, {press});
            for (int i = 0; i < 6; ++i)
                Frame(at += 0.05);
            at += 0.05;
        };
        for (int32_t i = 0; i < menu->GetEntryCount(); ++i)
        {
            W2dMenu* page = menu->GetEntry(i);
            if (page->GetEntryCount() == 0 || depth >= 2)
                continue;
            SCOPED_TRACE(testing::Message() << "depth " << depth << ", entry " << i);
            menu->SetCurrentIndex(i);
            key(VK_RETURN);
            EXPECT_EQ(mMenu->GetCurrentMenu(), page);
            ++mPagesOpened;
            at = Walk(page, depth + 1, at);
            key(VK_BACK);
            EXPECT_EQ(mMenu->GetCurrentMenu(), menu);
        }
        return at;
    }

    /// The cheats unlocked by the series, the menu opened again after its hold, every page
    /// walked with real frames; the pages opened.
    int32_t WalkEveryPage()
    {
        RealFrames();
        Visit();
        // The series re-enters the menu, whose input waits again.
        double at = PressSeries(0.1);
        for (const double end = at + 2.5; at < end; at += 0.1)
            Frame(at);
        W2dGraphicMenu* root = mMenu->GetRootMenu();
        EXPECT_EQ(root->GetState(), W2dMenu::kOpen);
        EXPECT_EQ(root->GetEntryCount(), 5) << "the debug page first, the cheats unlocked";
        Walk(root, 0, at);
        return mPagesOpened;
    }

    int32_t mPagesOpened = 0;
};

// Debug, new game, options and quit; the seven worlds; video, controls, audio and cheats.
constexpr int32_t kPagesToDepthTwo = 4 + 7 + 4;

TEST_F(MainMenuBare, EveryPageOpensAndDrawsWithoutItsTextsFontOrPictures)
{
    EXPECT_EQ(WalkEveryPage(), kPagesToDepthTwo);
    EXPECT_EQ(mManager->GetCurrentState(), mMenu);
    // A picture without its texture is its colour, white, and a text without its font draws
    // nothing: the full-screen backdrop and the white tiles and rows over it fill the last frame
    // with white, over the renderer's black clear.
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> actual = ReadScreen(&width, &height);
    ASSERT_EQ(actual.size(), size_t(640 * 480));
    EXPECT_EQ(framecheck::CheckFrame("app_main_menu_bare", width, height, actual,
                                     uitest::Reference(width, height, 0xFFFFFFFFu).pixels, 3),
              "");
}

/// The main menu with texts no font fully draws: empty, control bytes, single bytes above 127,
/// multi-byte sequences, a long line and printf specifiers, in a font of capitals only.
class MainMenuOddTexts : public MainMenuBare
{
public:
    void DeclareTexts() override
    {
        const std::string odd[] = {"",
                                   "\x01\x02\x1b",
                                   "Caf\xe9 \xff\xfe",
                                   "\xc3\x89T\xc3\x89 \xe2\x82\xac",
                                   std::string(500, 'W'),
                                   "%s%n%d%%"};
        const char* const ids[] = {
            "TX_CONFIRM_TXT",          "TX_MENU_CHEAT_UNLIMITED_TXT",   "TX_MENU_CONFIRM_NO_TXT",
            "TX_MENU_CONFIRM_YES_TXT", "TX_MENU_DIFFICULTY_EASY_TXT",   "TX_MENU_DIFFICULTY_HARD_TXT",
            "TX_MENU_DIFFICULTY_NORMAL_TXT", "TX_MENU_DIFFICULTY_TXT",  "TX_MENU_MAIN_LOAD_TXT",
            "TX_MENU_MAIN_NEW_TXT",    "TX_MENU_MAIN_OPTIONS_TXT",      "TX_MENU_MAIN_QUIT_TXT",
            "TX_MENU_OPTIONS_AUDIO_TXT", "TX_MENU_OPTIONS_AXE_X_TXT",   "TX_MENU_OPTIONS_AXE_Y_TXT",
            "TX_MENU_OPTIONS_CONTROLS_TXT", "TX_MENU_OPTIONS_MOUSE_TXT", "TX_MENU_OPTIONS_MUSIC_TXT",
            "TX_MENU_OPTIONS_SOUND_TXT", "TX_MENU_VIDEO_APPLY_TXT",     "TX_MENU_VIDEO_COLOR_TXT",
            "TX_MENU_VIDEO_FULLSCREEN_TXT", "TX_MENU_VIDEO_OPTIONS_TXT", "TX_MENU_VIDEO_RESOLUTION_TXT"};
        size_t next = 0;
        for (const char* id : ids)
            mResources->Text(id, odd[next++ % std::size(odd)]);
        // Capitals only, each a triangle of ink.
        std::vector<OutlineGlyph> glyphs;
        for (uint32_t code = 'A'; code <= 'Z'; ++code)
            glyphs.push_back({code,
                              {{OutlineOp::MoveTo, {0, 0}},
                               {OutlineOp::LineTo, {0.6f, 0}},
                               {OutlineOp::LineTo, {0.3f, 0.7f}},
                               {OutlineOp::Close, {}}},
                              0.7f});
        MenuFont("Capitals", glyphs);
    }
};

TEST_F(MainMenuOddTexts, EveryPageOpensAndDrawsWithTextsItsFontCannotShow)
{
    EXPECT_EQ(WalkEveryPage(), kPagesToDepthTwo);
    EXPECT_EQ(mManager->GetCurrentState(), mMenu);
}

// ---- Drawing ------------------------------------------------------------------------------------------------

constexpr uint32_t kBackdrop = 0xFF305070u;
constexpr uint32_t kTitleColour = 0xFFB08030u;
constexpr uint32_t kBorder = 0xFF203060u;
constexpr uint32_t kShadow = 0xFF802020u;
constexpr uint32_t kRow = 0xFFE8E8D0u;
constexpr uint32_t kClear = 0xFF000000u;

/// The open menu on a 128 x 128 screen over flat-coloured pictures and tiles, its labels in a font
/// whose letters have width but no ink, so the frame and the rows are what shows.
class MainMenuDrawn : public MainMenu
{
public:
    MainMenuDrawn() { mScreenSize = 128; }

    void DeclareTexts() override
    {
        mResources->Text("TX_MENU_MAIN_NEW_TXT", "Start a new campaign");
        mResources->Text("TX_MENU_MAIN_LOAD_TXT", "Load a game");
        mResources->Text("TX_MENU_MAIN_OPTIONS_TXT", "Options");
        mResources->Text("TX_MENU_MAIN_QUIT_TXT", "Quit");
        mResources->Text("TX_MENU_CONFIRM_NO_TXT", "No");
        mResources->Text("TX_MENU_CONFIRM_YES_TXT", "Yes");
        std::vector<OutlineGlyph> glyphs;
        for (uint32_t code = 32; code < 127; ++code)
            glyphs.push_back({code, {}, 0.5f});
        MenuFont("Blank", glyphs);
        mResources->SolidTexture("FE_INTRO_TEX", 8, 8, kBackdrop);
        mResources->SolidTexture("FE_INTRO_TITLE_TEX", 8, 8, kTitleColour);
        for (const char* id : {"FE_MAIN_BORDER_TEX", "FE_MAIN_BORDER_CORNER_TEX"})
            mResources->SolidTexture(id, 4, 4, kBorder);
        for (const char* id : {"FE_MAIN_BORDER_SHADOW_TEX", "FE_MAIN_CORNER_SHADOW_TEX", "FE_MAIN_ANGLE_SHADOW_TEX"})
            mResources->SolidTexture(id, 4, 4, kShadow);
        mResources->SolidTexture("FE_MAIN_WHITE_BACKGROUND_TEX", 4, 4, kRow);
    }

    void TearDown() override
    {
        MainMenu::TearDown();
        HbResourceManager* manager = HbResourceManager::Instance();
        while (manager->GetPathCount(W2dMenu::kMenuFont) > 0)
            manager->RemovePath(W2dMenu::kMenuFont);
    }
    virtual uint32_t RowColour() const { return kRow; }
    /// What the labels show over the rows, under the border; the rectangles whose edges are left
    /// to the device go to the list.
    virtual void PaintLabels(uitest::Reference&, std::vector<std::vector<float>>&) const {}

    /// The open menu as a frame: the backdrop, the title in place, the menu as wide as the
    /// frame's rows, on the tile grid, centred with its four rows between the borders. The
    /// rectangles' edges are taken from the actual frame.
    std::vector<uint32_t> OpenMenuReference(int32_t width, int32_t height, const std::vector<uint32_t>& actual) const
    {
        W2dGraphicMenu* root = mMenu->GetRootMenu();
        const float u = 0.03125f;
        const float w = root->GetWidth();
        const float x = (1.0f - w) / 2.0f, y = (1.0f - 4.0f * 0.0625f) / 2.0f;
        const int32_t columns = int32_t(std::lround(w / u)) + 2;
        const float left = x - u;

        uitest::Reference expected(width, height, kClear);
        std::vector<std::vector<float>> rects;
        auto fill = [&](float rx, float ry, float rw, float rh, uint32_t colour)
        {
            expected.Fill(rx, ry, rw, rh, colour & 0xFFFFFF);
            rects.push_back({rx, ry, rw, rh});
        };
        fill(0.0f, 0.0f, 1.0f, 1.0f, kBackdrop);
        fill(0.0f, 0.021f, 1.0f, 0.25f, kTitleColour);
        for (int r = 0; r < 4; ++r)
            fill(left + u, r == 0 ? y - u / 2 : y + 0.0625f * float(r), w, r == 0 ? 0.078125f : 0.0625f, RowColour());
        PaintLabels(expected, rects);
        for (int i = 0; i < columns; ++i)
        {
            fill(left + u * float(i), y - u, u, u, kBorder);
            fill(left + u * float(i), y + 8 * u, u, u, kBorder);
        }
        for (int j = 0; j < 8; ++j)
        {
            fill(left, y + u * float(j), u, u, kBorder);
            fill(left + u * float(columns - 1), y + u * float(j), u, u, kBorder);
        }
        for (const auto& r : rects)
            expected.IgnoreEdges(r[0], r[1], r[2], r[3], actual);
        return expected.pixels;
    }
};

TEST_F(MainMenuDrawn, TheOpenMenuIsItsFrameTilesAndRowsOverTheBackgroundAndTitle)
{
    Visit();
    OpenMenu(0.1);
    W2dGraphicMenu* root = mMenu->GetRootMenu();
    ASSERT_EQ(root->GetState(), W2dMenu::kOpen);
    int32_t width = 0, height = 0;
    std::vector<uint32_t> actual = uitest::DrawSurfaces(Screen(), kClear, &width, &height);
    ASSERT_EQ(width, 128);
    ASSERT_EQ(height, 128);

    // The widest text of the tree is a root label: the menu is as wide as the frame's rows.
    ASSERT_GT(root->GetWidth(), 0.3f);
    EXPECT_FLOAT_EQ(root->GetWidth(), root->GetCommonWidth());
    EXPECT_EQ(framecheck::CheckFrame("app_main_menu", width, height, actual, OpenMenuReference(width, height, actual), 3),
              "");
}

TEST_F(MainMenuDrawn, ADeviceLostMidFrameComesBackAndTheNextFrameDrawsTheOpenMenuAgain)
{
    RealFrames();
    Visit();
    const double at = OpenMenu(0.1);
    ASSERT_EQ(mMenu->GetRootMenu()->GetState(), W2dMenu::kOpen);
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> before = ReadScreen(&width, &height);
    ASSERT_EQ(width, 128);
    EXPECT_EQ(framecheck::CheckFrame("app_main_menu_before_loss", width, height, before,
                                     OpenMenuReference(width, height, before), 3),
              "");

    LoseDeviceInNextFrame();
    Frame(at + 0.1);
    Frame(at + 0.2);
    EXPECT_EQ(RecoveringFrame([&] { Frame(at + 0.3); }), "");
    const std::vector<uint32_t> after = ReadScreen(&width, &height);
    ASSERT_EQ(width, 128);
    EXPECT_EQ(framecheck::CheckFrame("app_main_menu_after_loss", width, height, after,
                                     OpenMenuReference(width, height, after), 3),
              "");

    // The menu still answers: the quit page opens.
    double t = at + 0.4;
    for (uint8_t key : {VK_UP, VK_RETURN})
    {
        Frame(t, {key});
        for (int i = 0; i < 6; ++i)
            Frame(t += 0.05);
    }
    auto* quit = static_cast<W2dGraphicMenu*>(Entry(mMenu->GetRootMenu(), "Quit"));
    ASSERT_EQ(mMenu->GetCurrentMenu(), quit);
    ASSERT_EQ(quit->GetState(), W2dMenu::kOpen);

    // The quit page is narrower than the main menu: its rows stop at its own right edge, so the
    // tile beyond that edge shows the backdrop down the whole page.
    ASSERT_LT(quit->GetWidth(), quit->GetCommonWidth());
    const std::vector<uint32_t> page = ReadScreen(&width, &height);
    ASSERT_EQ(width, 128);
    const float u = 0.03125f;
    const Vector origin = quit->GetPosition();
    const int32_t px = int32_t((origin.x + quit->GetWidth() + u + u / 2) * 128.0f);
    for (int32_t py = int32_t(origin.y * 128.0f); py < int32_t((origin.y + 0.1875f) * 128.0f); ++py)
        EXPECT_EQ(page[size_t(py) * 128 + size_t(px)] & 0xF0F0F0u, kBackdrop & 0xF0F0F0u)
            << "at (" << px << ", " << py << ")";
}
/// The open menu with its labels in a font whose letters are boxes of ink, on dark rows.
class MainMenuInked : public MainMenuDrawn
{
public:
    static constexpr uint32_t kDarkRow = 0xFF203040u;

    void DeclareTexts() override
    {
        mResources->Text("TX_MENU_MAIN_NEW_TXT", "NEW GAME");
        mResources->Text("TX_MENU_MAIN_LOAD_TXT", "LOAD");
        mResources->Text("TX_MENU_MAIN_OPTIONS_TXT", "OPTIONS");
        mResources->Text("TX_MENU_MAIN_QUIT_TXT", "QUIT");
        mResources->InkFont(W2dMenu::kMenuFont);
        mResources->SolidTexture("FE_INTRO_TEX", 8, 8, kBackdrop);
        mResources->SolidTexture("FE_INTRO_TITLE_TEX", 8, 8, kTitleColour);
        for (const char* id : {"FE_MAIN_BORDER_TEX", "FE_MAIN_BORDER_CORNER_TEX"})
            mResources->SolidTexture(id, 4, 4, kBorder);
        for (const char* id : {"FE_MAIN_BORDER_SHADOW_TEX", "FE_MAIN_CORNER_SHADOW_TEX", "FE_MAIN_ANGLE_SHADOW_TEX"})
            mResources->SolidTexture(id, 4, 4, kShadow);
        mResources->SolidTexture("FE_MAIN_WHITE_BACKGROUND_TEX", 4, 4, kDarkRow);
    }

    uint32_t RowColour() const override { return kDarkRow; }

    /// Every label's letters in its row: centred across the menu, as high as the label's text is
    /// now, shifted down by half of what the pulse took off and centred in the row, in the
    /// label's colour. The rows' places come from the menu, never from the labels.
    void PaintLabels(uitest::Reference& expected, std::vector<std::vector<float>>& rects) const override
    {
        W2dGraphicMenu* root = mMenu->GetRootMenu();
        const Vector at = root->GetPosition();
        const float rowHeight = 0.0625f, fullHeight = 0.05f;
        for (int32_t i = 0; i < root->GetEntryCount(); ++i)
        {
            auto* label = HbCastTo<W2dTextGraphicItem>(root->GetEntry(i)->GetLabel());
            if (!label)
                continue;
            float h = 0.0f;
            label->GetCharHeight(&h);
            Rgba c[4];
            label->GetCornerColours(&c[0], &c[1], &c[2], &c[3]);
            const std::string text = label->GetText();
            const float advance = h * uitest::kInkFontWidth;
            const float left = at.x + (root->GetWidth() - float(text.size()) * advance) / 2.0f;
            const float top = at.y + rowHeight * float(i) + (fullHeight - h) / 2.0f + (rowHeight - h) / 2.0f;
            const uint32_t rgb = uint32_t(c[0].red) << 16 | uint32_t(c[0].green) << 8 | c[0].blue;
            for (size_t k = 0; k < text.size(); ++k)
                if (text[k] != ' ')
                {
                    expected.Fill(left + float(k) * advance, top, advance, h, rgb, c[0].alpha);
                    rects.push_back({left + float(k) * advance, top, advance, h});
                }
        }
    }
};

TEST_F(MainMenuInked, TheLitLabelStaysInItsRowWhileItPulses)
{
    Visit();
    W2dGraphicMenu* root = mMenu->GetRootMenu();
    double at = 0.0;
    int32_t frames = 0;
    while (root->GetState() != W2dMenu::kOpen && frames++ < 600)
        Frame(at += 1.0 / 60.0);
    ASSERT_EQ(root->GetState(), W2dMenu::kOpen);
    const std::vector<int32_t> checked = {1, 6, 60};
    for (int32_t frame = 1; frame <= checked.back(); ++frame)
    {
        Frame(at += 1.0 / 60.0);
        if (std::find(checked.begin(), checked.end(), frame) == checked.end())
            continue;
        SCOPED_TRACE(testing::Message() << frame << " frames after the menu opened");
        int32_t width = 0, height = 0;
        std::vector<uint32_t> actual = uitest::DrawSurfaces(Screen(), kClear, &width, &height);
        ASSERT_EQ(width, 128);
        float h = 0.0f;
        HbCastTo<W2dTextGraphicItem>(root->GetEntry(0)->GetLabel())->GetCharHeight(&h);
        if (frame == checked.back())
            EXPECT_LT(h, 0.049f) << "the pulse has shrunk the lit label";
        EXPECT_EQ(framecheck::CheckFrame("app_main_menu_inked_" + std::to_string(frame), width, height, actual,
                                         OpenMenuReference(width, height, actual), 3),
                  "");
    }
}
} // namespace
} // namespace fetest
