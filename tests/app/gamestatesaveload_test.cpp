// The save and load screen driven frame by frame through the game manager with injected menu keys
// on a stepped performance counter: save mode's cards with the new-file card last and its
// "Profile" name (never one a save has), an overwrite asked and answered both ways, backing out,
// a load that restores the profile and one whose save changed since the list, load mode with no
// saves, and the wait that draws while it holds the screen.
#include "frontend_fixture.h"
#include "gamesavemanager.h"
#include "gamestatesaveload.h"
#include "hbclock.h"
#include "hbuserfolder.h"
#include "mosavepicture.h"
#include "w2dsaveslotmenu.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"
#include "win32keyboard.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fetest
{
namespace
{
namespace fs = std::filesystem;

const int64_t kT0 = uitest::Ticks(50.0);
const int64_t kFrame = uitest::Ticks(1.0 / 60.0);

int gWaitFrames = 0;
void WaitStep()
{
    ++gWaitFrames;
    Win32TestAdvancePerformanceCounter(kFrame);
}

std::string Bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class SaveLoad : public FrontEndTest
{
protected:
    void SetUp() override
    {
        FrontEndTest::SetUp();
        if (HasFatalFailure())
            return;
        Texts({"TX_MENU_CONFIRM_NO_TXT", "TX_MENU_CONFIRM_YES_TXT", "TX_MENU_SAVE_NEW_FILE_TXT"});
        GameKeyHintBar()->CreateThemes();
        HbUserFolderSet("player");
        Win32TestSetPerformanceCounter(kT0);
        HbRealClock::Instance()->Tick();
        GameWaitSetStep(WaitStep);
        gWaitFrames = 0;
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

        mCaller = new BareState(kGameStateMainMenu);
        mScreen = new GameState_SaveLoad();
        mSelect = new BareState(kGameStateSelectMission);
        mCaller->AddTransition(mScreen, 0);
        mScreen->AddTransition(mCaller, 0);
        mScreen->AddTransition(mSelect, 0);
        mSelect->AddTransition(mScreen, 0);
        mCaller->SetProfile(mProfile);
        // The saves are written with the fixture's bare state holding the profile.
        mManager->SetCurrentState(mState);
    }

    void TearDown() override
    {
        GameState* current = mManager->GetCurrentState();
        if (current && current != mState && current->IsEntered())
            current->Leave();
        mManager->SetCurrentState(nullptr);
        delete mCaller; // and the screen and the mission selection
        if (GameSaveManager* saves = GameSaveManager::Existing())
            saves->Release();
        GameWaitSetStep(nullptr);
        HbUserFolderSet(std::string());
        mInput.reset();
        Win32TestUseRealPerformanceCounter();
        FrontEndTest::TearDown();
    }

    /// A save file of a profile of that name: its play time, the missions done (counted from 1)
    /// and the difficulty.
    fs::path MakeSave(const std::string& name, int32_t seconds, std::initializer_list<int32_t> done = {},
                      int32_t difficulty = 1)
    {
        const Kept saved = CopyOf(*mProfile);
        mProfile->profileName = name;
        mProfile->secondsBefore = seconds;
        mProfile->missionTable.Reset();
        for (int32_t mission : done)
            mProfile->missionTable.words[mission - 1] = 1;
        mProfile->missionTable.words[MissionTable::kDifficulty] = difficulty;
        mProfile->prefs.musicVolume = 0.5f;
        GameSaveManager* saves = GameSaveManager::Instance();
        EXPECT_EQ(saves->SaveCheckpoint(), 1);
        EXPECT_EQ(saves->SaveCurrentProfile(), 1);
        saves->Release();
        Restore(saved);
        return fs::path("player") / GameSaveManager::MakeFileName(name.c_str());
    }

    /// The profile's fields a save carries.
    struct Kept
    {
        std::string name;
        int32_t seconds;
        MissionTable missions;
        float music;
    };
    Kept CopyOf(const GameProfile& profile)
    {
        return {profile.profileName, profile.secondsBefore, profile.missionTable, profile.prefs.musicVolume};
    }
    void Restore(const Kept& kept)
    {
        mProfile->profileName = kept.name;
        mProfile->secondsBefore = kept.seconds;
        mProfile->missionTable = kept.missions;
        mProfile->prefs.musicVolume = kept.music;
    }

    /// The caller switches to the screen in the mode, with the state to go to after it.
    void Open(int32_t mode, int32_t next, int32_t writeFile = 1)
    {
        mProfile->saveLoadMode = mode;
        mProfile->saveLoadWord = next;
        mProfile->writeFile = writeFile;
        mManager->SetCurrentState(mCaller);
        ASSERT_EQ(mCaller->SwitchTo(kGameStateSaveLoad), 1);
        mManager->SetCurrentState(mScreen);
    }

    /// One game-manager tick a sixtieth of a second on, with the keys held for it.
    void Frame(std::initializer_list<uint8_t> keys = {})
    {
        Win32TestAdvancePerformanceCounter(kFrame);
        HbRealClock::Instance()->Tick();
        for (uint8_t key : keys)
            mInput->Press(key);
        mManager->Tick();
        for (uint8_t key : keys)
            mInput->Lift(key);
    }
    /// Frames without keys for the seconds (menus open, moves end).
    void Idle(double seconds)
    {
        for (double t = 0.0; t < seconds; t += 1.0 / 60.0)
            Frame();
    }

    std::vector<std::string> CardNames() const
    {
        std::vector<std::string> names;
        W2dSaveSlotMenu* carousel = mScreen->GetCarousel();
        for (int32_t i = 0; carousel && i < carousel->GetEntryCount(); ++i)
        {
            auto* card = HbCastTo<MoSavePicture>(carousel->GetEntry(i)->GetLabel());
            names.push_back(card && card->GetNameText() ? card->GetNameText()->GetText() : "?");
        }
        return names;
    }

    /// Answers the question on screen: "no" is the current entry, "yes" one step down.
    void AnswerQuestion(bool yes)
    {
        ASSERT_EQ(mScreen->GetStep(), GameState_SaveLoad::kStepQuestion);
        Idle(0.5);
        if (yes)
        {
            Frame({VK_DOWN});
            Idle(0.2);
        }
        Frame({VK_RETURN});
    }

    std::unique_ptr<uitest::InjectedInput> mInput;
    BareState* mCaller = nullptr;
    GameState_SaveLoad* mScreen = nullptr;
    BareState* mSelect = nullptr;
};

TEST_F(SaveLoad, SaveModeWithTwoSavesShowsThreeCardsAndTheNewFileCardMakesProfile3)
{
    MakeSave("Ann", 100, {1, 2, 4});
    MakeSave("Bob", 200, {}, 2);
    mProfile->profileName = "Current";
    Open(GameState_SaveLoad::kModeSave, kGameStateSelectMission);
    EXPECT_EQ(mScreen->GetStep(), GameState_SaveLoad::kStepList);
    Frame();
    ASSERT_EQ(mScreen->GetStep(), GameState_SaveLoad::kStepChoose);
    EXPECT_EQ(CardNames(), (std::vector<std::string>{"Ann", "Bob", "TX_MENU_SAVE_NEW_FILE_TXT"}));
    EXPECT_EQ(mScreen->GetMessage(), "TX_MENU_SAVE_LOAD_SELECT_TXT");
    EXPECT_EQ(mScreen->IsThemePushed(), 1);
    EXPECT_EQ(GameKeyHintBar()->GetTopThemeId(), 4);
    // The picture of the last mission done with result 1, mission 1 not counted: missions 1, 2
    // and 4 give the fourth picture; none done, the first.
    auto card = [&](int32_t i) { return HbCastTo<MoSavePicture>(mScreen->GetCarousel()->GetEntry(i)->GetLabel()); };
    EXPECT_EQ(card(0)->GetPicture()->GetTextureId(), "FE_MISSION4_PIC_TEX");
    EXPECT_EQ(card(1)->GetPicture()->GetTextureId(), "FE_MISSION1_PIC_TEX");

    // The new-file card is one step back from the first.
    Frame({VK_LEFT});
    Idle(0.3);
    Frame({VK_RETURN});
    EXPECT_EQ(mScreen->GetStep(), GameState_SaveLoad::kStepPerform);
    EXPECT_EQ(mScreen->GetNewProfileFlag(), 1);
    gWaitFrames = 0;
    Frame();
    EXPECT_EQ(mProfile->profileName, "Profile3");
    EXPECT_TRUE(fs::exists("player/Velmoran_Profile3.sav"));
    EXPECT_EQ(mScreen->GetMessage(), "TX_M5_1_3_TXT");
    EXPECT_GE(gWaitFrames, 240) << "the result stays 4 s";
    EXPECT_EQ(mScreen->IsThemePushed(), 0);
    EXPECT_EQ(mScreen->GetStep(), GameState_SaveLoad::kStepEnd);
    Frame();
    EXPECT_EQ(Current(), kGameStateSelectMission);
    EXPECT_EQ(mProfile->writeFile, 0) << "cleared by Leave";
    EXPECT_EQ(mProfile->loadRequest, 0);
}

TEST_F(SaveLoad, ANewSaveNeverTakesTheNameOfAnExistingOne)
{
    MakeSave("Ann", 10);
    MakeSave("Profile3", 20);
    const std::string third = Bytes("player/Velmoran_Profile3.sav");
    Open(GameState_SaveLoad::kModeSave, kGameStateSelectMission);
    Frame();
    Frame({VK_LEFT});
    Idle(0.3);
    Frame({VK_RETURN});
    Frame();
    EXPECT_EQ(mProfile->profileName, "Profile4");
    EXPECT_EQ(Bytes("player/Velmoran_Profile3.sav"), third);
    EXPECT_TRUE(fs::exists("player/Velmoran_Profile4.sav"));
}

TEST_F(SaveLoad, OverwritingAsksFirstNoReturnsToTheCardsAndYesOverwrites)
{
    const fs::path ann = MakeSave("Ann", 100);
    const std::string before = Bytes(ann);
    mProfile->profileName = "Current";
    mProfile->secondsBefore = 500;
    Open(GameState_SaveLoad::kModeSave, kGameStateSelectMission);
    Frame();
    Frame({VK_RETURN});
    ASSERT_EQ(mScreen->GetStep(), GameState_SaveLoad::kStepConfirmOverwrite);
    EXPECT_EQ(mProfile->profileName, "Ann") << "the profile takes the name of the save it would overwrite";
    EXPECT_EQ(mScreen->GetNewProfileFlag(), 0);
    Frame();
    EXPECT_EQ(mScreen->GetMessage(), "TX_M5_1_2_TXT");
    EXPECT_EQ(mScreen->IsThemePushed(), 1);

    AnswerQuestion(false);
    EXPECT_EQ(mScreen->GetStep(), GameState_SaveLoad::kStepBackToCards);
    Frame();
    EXPECT_EQ(mScreen->GetStep(), GameState_SaveLoad::kStepChoose);
    EXPECT_EQ(mScreen->GetMessage(), "TX_MENU_SAVE_LOAD_SELECT_TXT");
    EXPECT_EQ(Bytes(ann), before) << "nothing saved";
    EXPECT_EQ(Current(), kGameStateSaveLoad);

    Frame({VK_RETURN});
    Frame();
    AnswerQuestion(true);
    EXPECT_EQ(mScreen->GetStep(), GameState_SaveLoad::kStepPerform);
    Frame();
    SaveHeader header;
    ASSERT_EQ(GameSaveManager::Instance()->ReadSaveHeader(ann.filename().c_str(), header, -1), 1);
    EXPECT_EQ(header.playSeconds, 500);
    Frame();
    EXPECT_EQ(Current(), kGameStateSelectMission);
}

TEST_F(SaveLoad, BackingOutAsksWhetherToGoOnAndALoadNotDoneGoesBackToTheCaller)
{
    MakeSave("Ann", 100);
    const struct
    {
        int32_t mode;
        int32_t next;
        const char* question;
        int32_t after;
    } cases[] = {
        {GameState_SaveLoad::kModeSave, kGameStateMainMenu, "TX_M5_1_4_TXT", kGameStateSelectMission},
        {GameState_SaveLoad::kModeLoad, kGameStateSelectMission, "TX_M6_0_9_TXT", kGameStateMainMenu},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.mode);
        Open(c.mode, c.next);
        Frame();
        Frame({VK_BACK});
        EXPECT_EQ(mProfile->saveLoadWord, kGameStateSelectMission);
        EXPECT_EQ(mScreen->GetStep(), GameState_SaveLoad::kStepNotDone);
        Frame();
        EXPECT_EQ(mScreen->GetMessage(), c.question);
        AnswerQuestion(true);
        Frame();
        EXPECT_EQ(Current(), c.after);
        EXPECT_EQ(mProfile->loadRequest, 0);
        mManager->GetCurrentState()->Leave();
    }
    // "No" lists the saves again.
    Open(GameState_SaveLoad::kModeSave, kGameStateSelectMission);
    Frame();
    Frame({VK_BACK});
    Frame();
    AnswerQuestion(false);
    EXPECT_EQ(mScreen->GetStep(), GameState_SaveLoad::kStepList);
    Frame();
    EXPECT_EQ(mScreen->GetStep(), GameState_SaveLoad::kStepChoose);
    EXPECT_EQ(CardNames().size(), 2u);
}

TEST_F(SaveLoad, ALoadTakesTheSaveIntoTheProfileAndAChangedSaveFails)
{
    MissionManager& missions = mProfile->GetMissions();
    auto objective = [&missions](int32_t id, int32_t done)
    {
        auto* made = new Objective();
        made->mId = id;
        made->mDone = done;
        made->AddRef();
        missions.SetObjective(made);
        made->Release();
    };
    missions.mNumber = 3;
    objective(0, 1);
    objective(3, 0);
    MakeSave("Ann", 3700, {1, 2}, 2);
    // The mission in play when the load comes: another one.
    missions.Reset();
    missions.mNumber = 5;
    objective(1, 0);
    mProfile->profileName = "Current";
    mProfile->prefs.musicVolume = 1.0f;
    Open(GameState_SaveLoad::kModeLoad, kGameStateSelectMission);
    Frame();
    EXPECT_EQ(CardNames(), std::vector<std::string>{"Ann"}) << "no new-file card when loading";
    Frame({VK_RETURN});
    EXPECT_EQ(mScreen->GetStep(), GameState_SaveLoad::kStepPerform);
    EXPECT_EQ(mProfile->saveKey, "Velmoran_Ann.sav");
    Frame();
    EXPECT_EQ(mScreen->GetMessage(), "TX_M6_0_8_TXT");
    EXPECT_EQ(mProfile->profileName, "Ann");
    EXPECT_EQ(mProfile->secondsBefore, 3700);
    EXPECT_EQ(mProfile->prefs.musicVolume, 0.5f);
    EXPECT_EQ(mProfile->missionTable.words[1], 1);
    EXPECT_EQ(mProfile->missionTable.words[MissionTable::kDifficulty], 2);
    EXPECT_EQ(missions.GetMissionNumber(), 3);
    EXPECT_EQ(missions.GetObjectiveCount(), 2);
    EXPECT_EQ(missions.IsObjectiveDone(0), 1);
    ASSERT_NE(missions.GetObjective(3), nullptr);
    EXPECT_EQ(missions.IsObjectiveDone(3), 0);
    EXPECT_EQ(missions.GetObjective(1), nullptr) << "the save's objectives, not the ones in play";
    Frame();
    EXPECT_EQ(mProfile->loadRequest, 1);
    EXPECT_EQ(Current(), kGameStateSelectMission);
    EXPECT_NE(GameSaveManager::Instance()->GetStream(), nullptr) << "the hero's part waits for the stage";
    mSelect->Leave();

    // The same save written again after the list was read: its stamp differs.
    mProfile->loadRequest = 0;
    mProfile->profileName = "Current";
    Open(GameState_SaveLoad::kModeLoad, kGameStateSelectMission);
    Frame();
    Frame({VK_RETURN});
    ASSERT_EQ(mScreen->GetStep(), GameState_SaveLoad::kStepPerform);
    mManager->SetCurrentState(mState);
    HbRealClock::Instance()->mCurrentTime += 12345;
    MakeSave("Ann", 3800);
    mManager->SetCurrentState(mScreen);
    Frame();
    EXPECT_EQ(mScreen->GetMessage(), "TX_PCM6_0_7_TXT");
    EXPECT_EQ(mScreen->GetLastResult(), 0);
    EXPECT_EQ(mProfile->secondsBefore, 3700) << "not the changed save's";
    Frame();
    EXPECT_EQ(mScreen->GetMessage(), "TX_M6_0_9_TXT");
    AnswerQuestion(true);
    Frame();
    EXPECT_EQ(Current(), kGameStateMainMenu) << "back to the caller";
    EXPECT_EQ(mProfile->loadRequest, 0);
}

TEST_F(SaveLoad, LoadModeWithoutSavesShowsItsMessageAndGoesBack)
{
    Open(GameState_SaveLoad::kModeLoad, kGameStateSelectMission);
    gWaitFrames = 0;
    Frame();
    EXPECT_EQ(mScreen->GetMessage(), "TX_PCM6_0_2_TXT");
    EXPECT_GE(gWaitFrames, 240);
    EXPECT_EQ(mScreen->GetStep(), GameState_SaveLoad::kStepEnd);
    Frame();
    EXPECT_EQ(Current(), kGameStateMainMenu);
    EXPECT_EQ(mProfile->loadRequest, 0);
    EXPECT_EQ(mScreen->GetCarousel(), nullptr) << "released by Leave";
    EXPECT_EQ(GameKeyHintBar()->GetTopThemeId(), 0);
}

TEST(WaitSeconds, DrawsUntilTheTimeHasPassedAndEndsOnAStoppedClock)
{
    static int frames;
    frames = 0;
    GameServicesTable() = GameServicesLeast();
    GameServicesTable().rendererEndFrame = [] { ++frames; };
    Win32TestSetPerformanceCounter(uitest::Ticks(10.0));
    GameWaitSetStep(WaitStep);
    const int64_t elapsed = WaitSeconds(0.5f);
    EXPECT_GE(elapsed, uitest::Ticks(0.5));
    EXPECT_LT(elapsed, uitest::Ticks(0.5) + kFrame);
    EXPECT_EQ(frames, 30);
    GameWaitSetStep(nullptr);
    frames = 0;
    EXPECT_EQ(WaitSeconds(4.0f), 0) << "a counter that does not move";
    EXPECT_EQ(frames, 1000);
    Win32TestUseRealPerformanceCounter();
    GameServicesTable() = GameServicesLeast();
}

} // namespace
} // namespace fetest
