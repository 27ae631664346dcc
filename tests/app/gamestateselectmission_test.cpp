// The mission selection driven frame by frame through the game manager with injected menu keys:
// which missions the results open, the input delay after Enter and Resume, the moves between
// labels and markers, the story and the launch into the label state, the bonus-hero question,
// the artworks pushed from a marker, and the confirmation before the main menu; every visit
// leaves nothing on the screen.
#include "boardcontrol.h"
#include "frontend_fixture.h"
#include "gamekeyhintbar.h"
#include "gamestateselectmission.h"
#include "hbcommand.h"
#include "hbinputmanager.h"
#include "mocampaignmap.h"
#include "tsfmod.h"
#include "w2dframedpanel.h"
#include "w2dgraphicmenu.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"
#include "win32keyboard.h"

#include <memory>
#include <string>
#include <vector>

namespace fetest
{
namespace
{

const char* const kTitleMusic = "Z_TITLE_STDSB";
const int64_t kT0 = uitest::Ticks(200.0);

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

class SelectMission : public FrontEndTest
{
protected:
    void SetUp() override
    {
        FrontEndTest::SetUp();
        mClocks->SetReal(kT0);
        GameKeyHintBar()->CreateThemes();
        mSounds = std::make_unique<uitest::Sounds>(std::initializer_list<const char*>{kTitleMusic});
        ASSERT_TRUE(mSounds->Started());
        mInput = std::make_unique<uitest::InjectedInput>();
        HbInputManager* input = HbInputManager::Instance();
        input->PushCommandContext("Menu");
        const std::pair<const char*, const char*> bindings[] = {
            {"MENU_NEXT", "VK_DOWN"}, {"MENU_PREVIOUS", "VK_UP"},      {"MENU_CHOOSE", "VK_RETURN"},
            {"MENU_UP", "VK_BACK"},   {"MENU_NEXT_VALUE", "VK_RIGHT"}, {"MENU_PREVIOUS_VALUE", "VK_LEFT"},
        };
        for (const auto& [action, key] : bindings)
            ASSERT_TRUE(mInput->Bind(action, key));
        input->PopCommandContext("Menu");

        mSelect = new GameState_SelectMission();
        mSelect->SetProfile(mProfile);
        for (int32_t id : {kGameStateMainMenu, kGameStateStage, kGameStateCinematic, kGameStateLabel})
        {
            auto* target = new BareState(id);
            mSelect->AddTransition(target, 0);
            target->AddTransition(mSelect, 0);
        }
        mArtworks = new BareState(kGameStateArtworks);
        mSelect->AddTransition(mArtworks, 1);
        mArtworks->AddTransition(mSelect, 0);
        mManager->SetCurrentState(mSelect);
        // The lines are seen in place of the scenario command, which comes back at the end.
        HbCommandManager* commands = HbCommandManager::Instance();
        mScenarioSetSector = commands->FindCommand("set_sector");
        commands->Unregister("set_sector");
        mSetSector = std::make_unique<Recorder>("set_sector");
        mSurfacesBefore = SurfaceCount();
    }

    void TearDown() override
    {
        if (mSelect->GetMap() && mSelect->GetMap()->GetBackground())
            mSelect->Leave();
        mManager->SetCurrentState(nullptr);
        delete mSelect; // and every target
        mSetSector.reset();
        if (mScenarioSetSector)
            HbCommandManager::Instance()->Register("set_sector", mScenarioSetSector);
        mInput.reset();
        mSounds.reset();
        FrontEndTest::TearDown();
    }

    /// One game-manager tick at the time (seconds after kT0) with the keys held for it.
    void Frame(double at, std::initializer_list<uint8_t> keys = {})
    {
        mClocks->SetReal(kT0 + uitest::Ticks(at));
        for (uint8_t key : keys)
            mInput->Press(key);
        mManager->Tick();
        for (uint8_t key : keys)
            mInput->Lift(key);
    }

    /// Keys one after another, each followed by frames that let the menus' wipes finish; the time
    /// after them.
    double Keys(double at, std::initializer_list<uint8_t> keys)
    {
        for (uint8_t key : keys)
        {
            Frame(at, {key});
            at += 0.05;
            for (int i = 0; i < 8; ++i, at += 0.05)
                Frame(at);
        }
        return at;
    }

    /// Frames for half a second from the time; the time after them.
    double Wait(double at)
    {
        for (int i = 0; i < 10; ++i, at += 0.05)
            Frame(at);
        return at;
    }

    /// A campaign whose missions (numbered from 1) have results, entered at kT0 with its first frame.
    void Visit(std::initializer_list<int32_t> results, std::initializer_list<int32_t> succeeded = {})
    {
        mProfile->missionTable.Reset();
        for (int32_t mission : results)
            mProfile->missionTable.words[mission - 1] = 1;
        for (int32_t mission : succeeded)
            mProfile->missionTable.SetSecondValue(mission - 1, 1);
        mClocks->SetReal(kT0);
        mManager->SetCurrentState(mSelect);
        mSelect->Enter();
        Frame(0.0);
    }

    std::vector<int32_t> OpenMissions() const
    {
        std::vector<int32_t> open;
        for (int32_t i = 0; i < 7; ++i)
            if (SelectMissionRecord(i)->open)
                open.push_back(i + 1);
        return open;
    }

    /// The selection: the current mission's number, negative while its marker is selected.
    int32_t Selection() const
    {
        const int32_t mission = mSelect->GetCurrent() + 1;
        return mSelect->IsMarkerSelected() ? -mission : mission;
    }

    MoCampaignMap* Map() const { return mSelect->GetMap(); }

    std::unique_ptr<uitest::Sounds> mSounds;
    std::unique_ptr<uitest::InjectedInput> mInput;
    std::unique_ptr<Recorder> mSetSector;
    HbCommand* mScenarioSetSector = nullptr;
    GameState_SelectMission* mSelect = nullptr;
    BareState* mArtworks = nullptr;
    int32_t mSurfacesBefore = 0;
};

TEST_F(SelectMission, TheResultsOpenMissionsAndTheHighestOpenOneIsSelected)
{
    struct Case
    {
        std::initializer_list<int32_t> results;
        std::vector<int32_t> open;
        int32_t selected;
    };
    const Case cases[] = {
        {{}, {1}, 1},
        {{1, 2}, {1, 2, 3, 4}, 4},
        {{1, 2, 3}, {1, 2, 3, 4}, 4},
        {{1, 2, 3, 4}, {1, 2, 3, 4, 5, 6}, 6},
        // Each mission asks for its own prerequisites only.
        {{3, 4}, {1, 5, 6}, 6},
        {{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6, 7}, 7},
    };
    for (const Case& c : cases)
    {
        Visit(c.results);
        EXPECT_EQ(OpenMissions(), c.open);
        EXPECT_EQ(Selection(), c.selected);
        EXPECT_FALSE(Map()->GetPicture(c.selected - 1)->IsHidden());
        EXPECT_FALSE(Map()->GetTitle(c.selected - 1)->IsHidden());
        EXPECT_EQ(HbInputManager::Instance()->GetCommandContextName(), "Menu");
        EXPECT_EQ(GameKeyHintBar()->GetTopThemeId(), MoCampaignMap::kKeyHintTheme);
        mSelect->Leave();
        EXPECT_EQ(SurfaceCount(), mSurfacesBefore) << "the visit leaves nothing on the screen";
        EXPECT_NE(GameKeyHintBar()->GetTopThemeId(), MoCampaignMap::kKeyHintTheme);
    }
    EXPECT_EQ(SelectMissionRecord(4)->sectorId, "W7L1S01");
    EXPECT_EQ(SelectMissionRecord(7), nullptr);
    EXPECT_EQ(SelectMissionRecord(-1), nullptr);
}

TEST_F(SelectMission, AFreshCampaignRefusesEveryDirection)
{
    Visit({});
    double at = 1.1;
    for (uint8_t key : {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT})
    {
        Frame(at += 0.1, {key});
        EXPECT_EQ(Selection(), 1) << int(key);
    }
    for (int32_t direction = 0; direction < 4; ++direction)
        EXPECT_EQ(mSelect->MoveSelection(direction), 0) << direction;
    EXPECT_FALSE(Map()->GetTitle(0)->IsHidden());
}

TEST_F(SelectMission, InputWaitsASecondAfterEnterAndAfterComingBackFromTheArtworks)
{
    Visit({1, 2, 3, 4}, {6});
    Frame(0.5, {VK_UP});
    Frame(0.9, {VK_BACK});
    EXPECT_EQ(Selection(), 6);
    EXPECT_EQ(mSelect->IsBackMenuOpen(), 0) << "back waits too";
    Frame(1.05, {VK_UP});
    EXPECT_EQ(Selection(), 5);
    Frame(1.1, {VK_DOWN});
    Frame(1.2, {VK_LEFT});
    ASSERT_EQ(Selection(), -6);

    // Choose on the marker: the sector is named but no mission starts; the artworks cover the map.
    mProfile->newMission = 1;
    Frame(1.3, {VK_RETURN});
    EXPECT_EQ(mSetSector->lines, std::vector<std::string>{"set_sector 0 W8 L1 S01"});
    EXPECT_EQ(mProfile->newMission, 0);
    EXPECT_EQ(mProfile->forwardEntry, 0);
    ASSERT_NE(mSelect->GetOverlayState(), nullptr);
    EXPECT_EQ(mSelect->GetOverlayState()->GetId(), kGameStateArtworks);
    EXPECT_EQ(mSelect->IsSuspended(), 1);
    EXPECT_TRUE(Map()->GetBackground()->IsHidden());
    EXPECT_TRUE(Map()->GetNamePanel(0)->IsHidden());
    EXPECT_TRUE(Map()->GetMarker(5)->IsHidden());
    EXPECT_TRUE(Map()->GetPathPiece(0)->IsHidden());

    Frame(2.0);
    TsFModStopAllChannels();
    mArtworks->SwitchTo(kGameStateSelectMission);
    EXPECT_GE(TsFModFindChannelBySoundName(kTitleMusic), 0) << "the title music again";
    Frame(3.0);
    EXPECT_EQ(Current(), kGameStateSelectMission);
    EXPECT_FALSE(Map()->GetBackground()->IsHidden());
    EXPECT_FALSE(Map()->GetMarker(5)->IsHidden());
    EXPECT_FALSE(Map()->GetTitle(5)->IsHidden());
    EXPECT_TRUE(Map()->GetPathPiece(17)->IsHidden()) << "mission 7 is closed";
    Frame(3.9, {VK_RIGHT});
    EXPECT_EQ(Selection(), -6);
    Frame(4.05, {VK_RIGHT});
    EXPECT_EQ(Selection(), 6);
}

TEST_F(SelectMission, MarkersSitLeftOfTheirLabels)
{
    Visit({1, 2, 3, 4}, {1, 6});
    struct Step
    {
        uint8_t key;
        int32_t selection; ///< negative: on the marker
    };
    const Step steps[] = {
        {VK_LEFT, -6},                 // a mission with its objectives done: left lands on the marker
        {VK_LEFT, 4},                  // and again on the left neighbour's label
        {VK_RIGHT, -6},                // right onto such a mission lands on its marker
        {VK_RIGHT, 6},                 // then on its label
        {VK_LEFT, -6},  {VK_DOWN, -6}, // no mission below: the marker is selected again
        {VK_UP, 5},                    // a move leaves the marker
        {VK_LEFT, 3},                  // without a marker, left just moves
        {VK_LEFT, 1},   {VK_RIGHT, 3}, {VK_LEFT, 1},
        {VK_UP, 1},     {VK_LEFT, -1}, {VK_LEFT, -1}, // no left neighbour: the marker again
        {VK_RIGHT, 1},
    };
    double at = 1.0;
    for (const Step& step : steps)
    {
        Frame(at += 0.1, {step.key});
        EXPECT_EQ(Selection(), step.selection) << "after the step to " << step.selection;
    }
    const Rgba white = {255, 255, 255, 255};
    Rgba colour = {};
    Map()->GetMarker(0)->GetCornerColours(&colour, &colour, &colour, &colour);
    EXPECT_EQ(colour.green, white.green);
    Frame(at += 0.1, {VK_LEFT});
    Map()->GetMarker(0)->GetCornerColours(&colour, &colour, &colour, &colour);
    EXPECT_EQ((std::vector<int>{colour.red, colour.green, colour.blue}), (std::vector<int>{255, 0, 0}));
}

TEST_F(SelectMission, TheSecondChooseLaunchesTheMissionIntoTheLabelState)
{
    mProfile->worldResetRequest = 1;
    Visit({1});
    ASSERT_EQ(Selection(), 2);
    Frame(1.1, {VK_RETURN});
    EXPECT_EQ(mSelect->IsDetailsShown(), 1);
    EXPECT_FALSE(Map()->GetStory(1)->IsHidden());
    // Back leaves the story, not the map.
    Frame(1.2, {VK_BACK});
    EXPECT_EQ(mSelect->IsDetailsShown(), 0);
    EXPECT_TRUE(Map()->GetStory(1)->IsHidden());
    EXPECT_EQ(mSelect->IsBackMenuOpen(), 0);
    // Directions are ignored while the story shows.
    Frame(1.3, {VK_RETURN});
    Frame(1.4, {VK_UP});
    EXPECT_EQ(Selection(), 2);

    Frame(1.5, {VK_RETURN});
    EXPECT_EQ(mSelect->IsLaunching(), 1);
    EXPECT_EQ(mSetSector->lines, std::vector<std::string>{"set_sector 0 W2 L1 S01"});
    EXPECT_EQ(mProfile->newMission, 1);
    EXPECT_EQ(mProfile->forwardEntry, 1);
    EXPECT_TRUE(Map()->GetStory(1)->IsHidden());
    EXPECT_TRUE(Map()->GetTitle(1)->IsHidden());
    EXPECT_TRUE(Map()->GetTitlePanel()->IsHidden());
    EXPECT_EQ(Current(), kGameStateSelectMission);

    // Without a campaign completed above easy, the next frame goes on without a question.
    Frame(1.6);
    EXPECT_EQ(Current(), kGameStateLabel);
    EXPECT_EQ(mSetSector->lines.size(), 2u);
    EXPECT_EQ(mProfile->heroGroup, GameProfile::kMainHeroGroup);
    EXPECT_EQ(mProfile->worldResetRequest, 0);
    EXPECT_EQ(SurfaceCount(), mSurfacesBefore);
    EXPECT_NE(HbInputManager::Instance()->GetCommandContextName(), "Menu");
}

TEST_F(SelectMission, AfterACampaignCompletedAboveEasyTheHeroIsAskedFor)
{
    struct Case
    {
        std::initializer_list<uint8_t> answer;
        const char* hero;
    };
    for (const Case& c :
         {Case{{VK_RETURN}, GameProfile::kMainHeroGroup}, Case{{VK_DOWN, VK_RETURN}, GameProfile::kBonusHeroGroup}})
    {
        mProfile->heroGroup = "OTHER";
        Visit({1, 2, 3, 4, 5, 6, 7});
        mProfile->missionTable.words[MissionTable::kCompletedDifficulty] = 2;
        Frame(1.1, {VK_RETURN});
        Frame(1.2, {VK_RETURN});
        ASSERT_EQ(mSelect->IsLaunching(), 1);
        double at = Wait(1.3);
        ASSERT_NE(mSelect->GetHeroMenu(), nullptr);
        EXPECT_EQ(Current(), kGameStateSelectMission) << "the question waits for an answer";

        // Back cancels to the map; the question comes again on the next launch.
        Frame(at += 0.1, {VK_BACK});
        EXPECT_EQ(mSelect->IsLaunching(), 0);
        EXPECT_EQ(mSelect->IsDetailsShown(), 0);
        EXPECT_FALSE(Map()->GetTitle(6)->IsHidden());
        EXPECT_FALSE(Map()->GetTitlePanel()->IsHidden());
        Frame(at += 0.1, {VK_RETURN});
        Frame(at += 0.1, {VK_RETURN});
        at = Wait(at + 0.1);
        EXPECT_EQ(mSetSector->lines.back(), "set_sector 0 W9 L1 S01");
        at = Keys(at, c.answer);
        EXPECT_EQ(Current(), kGameStateLabel) << c.hero;
        EXPECT_EQ(mProfile->heroGroup, c.hero);
        EXPECT_EQ(SurfaceCount(), mSurfacesBefore);
    }
}

TEST_F(SelectMission, BackAsksBeforeReturningToTheMainMenu)
{
    Visit({1});
    double at = Keys(1.1, {VK_BACK});
    EXPECT_EQ(mSelect->IsBackMenuOpen(), 1);
    ASSERT_NE(mSelect->GetBackMenu(), nullptr);
    EXPECT_TRUE(Map()->GetTitlePanel()->IsHidden());
    EXPECT_TRUE(Map()->GetTitle(1)->IsHidden());
    EXPECT_EQ(GameKeyHintBar()->GetTopThemeId(), 4);

    // Back again, or its no entry, closes it; the map's title comes back.
    at = Keys(at, {VK_BACK});
    EXPECT_EQ(mSelect->IsBackMenuOpen(), 0);
    EXPECT_FALSE(Map()->GetTitlePanel()->IsHidden());
    EXPECT_FALSE(Map()->GetTitle(1)->IsHidden());
    at = Keys(at, {VK_BACK, VK_RETURN});
    EXPECT_EQ(mSelect->IsBackMenuOpen(), 0);
    EXPECT_EQ(Current(), kGameStateSelectMission);
    EXPECT_EQ(Selection(), 2) << "the map takes input again";
    Frame(at, {VK_UP});
    EXPECT_EQ(Selection(), 1);

    at = Keys(at + 0.1, {VK_BACK, VK_DOWN, VK_RETURN});
    EXPECT_EQ(Current(), kGameStateMainMenu);
    EXPECT_EQ(GameKeyHintBar()->GetStackDepth(), 0) << "no key hints left behind";
    EXPECT_EQ(SurfaceCount(), mSurfacesBefore);
    EXPECT_EQ(mSelect->GetBackMenu(), nullptr);
    EXPECT_NE(GameKeyHintBar()->GetTopThemeId(), MoCampaignMap::kKeyHintTheme);
}

TEST_F(SelectMission, AGraphDeletedWhileTheMapShowsTakesItsItemsAlong)
{
    Visit({1, 2});
    Keys(1.1, {VK_BACK});
    mManager->SetCurrentState(nullptr);
    delete mSelect;
    mSelect = new GameState_SelectMission();
    EXPECT_EQ(SurfaceCount(), mSurfacesBefore);
}

} // namespace
} // namespace fetest
