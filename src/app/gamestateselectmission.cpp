// The mission selection: the campaign's seven missions, which of them are open, the selection's
// moves between missions and markers, the story, the launch with the bonus-hero question, and the
// confirmation before going back to the main menu.
#include "gamestateselectmission.h"

#include "boardcontrol.h"
#include "gamekeyhintbar.h"
#include "gamemenu.h"
#include "gameprofile.h"
#include "gameservices.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "hbcommand.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "mocampaignmap.h"
#include "resourcegroups.h"
#include "tsfmod.h"
#include "tssoundmodule.h"
#include "w2dgraphicmenu.h"

HB_DEFINE_CLASS_DESC(GameState_SelectMission, GameState);

namespace
{
constexpr int32_t kCampaignWord = 14;
constexpr int32_t kSecondValues = MissionTable::kMissions;
const char* const kTitleMusic = "Z_TITLE_STDSB";
const Vector kMenuLayout = {0.8f, 0.0625f, 0.0f};

// Outlive the visits.
MissionRecord gRecords[MoCampaignMap::kMissions];
int64_t gInputDelayStart = 0;

struct RecordValues
{
    const char* sector;
    int32_t prerequisites[3];
    int32_t neighbours[4];
};

const RecordValues kRecordValues[MoCampaignMap::kMissions] = {
    {"W1L1S01", {-1, -1, -1}, {-1, 2, 1, -1}}, {"W2L1S01", {0, -1, -1}, {0, 3, -1, -1}},
    {"W3L1S01", {1, -1, -1}, {-1, 4, 3, 0}},   {"W4L1S01", {1, -1, -1}, {2, 5, -1, 1}},
    {"W7L1S01", {2, 3, -1}, {-1, -1, 5, 2}},   {"W8L1S01", {2, 3, -1}, {4, -1, 6, 3}},
    {"W9L1S01", {4, 5, -1}, {5, -1, -1, -1}},
};

void FillRecords()
{
    for (int32_t i = 0; i < MoCampaignMap::kMissions; ++i)
    {
        MissionRecord& record = gRecords[i];
        for (int32_t& prerequisite : record.prerequisites)
            prerequisite = -1;
        record.minimumProgress = 0;
        record.open = 0;
        const RecordValues& values = kRecordValues[i];
        record.sectorId = values.sector;
        for (int32_t k = 0; k < 3; ++k)
            record.prerequisites[k] = values.prerequisites[k];
        for (int32_t k = 0; k < 4; ++k)
            record.neighbours[k] = values.neighbours[k];
    }
}

/// An action looked up by name again only when the bindings have changed; not fired while no
/// action has the name.
struct CachedAction
{
    const char* name;
    HbInputAction* action = nullptr;
    uint32_t counter = 0;
    bool looked = false;

    int32_t IsTriggered()
    {
        HbInputManager* input = HbInputManager::Instance();
        if (!input)
            return 0;
        const uint32_t now = HbInputManager::BindingCounter();
        if (!looked || counter != now)
        {
            action = input->FindAction(name);
            counter = now;
            looked = true;
        }
        return action ? action->IsTriggered() : 0;
    }
};

CachedAction gUp{"MENU_UP"};
CachedAction gChoose{"MENU_CHOOSE"};
CachedAction gPrevious{"MENU_PREVIOUS"};
CachedAction gNext{"MENU_NEXT"};
CachedAction gNextValue{"MENU_NEXT_VALUE"};
CachedAction gPreviousValue{"MENU_PREVIOUS_VALUE"};

/// The actions of one frame, each read once.
struct Pressed
{
    int32_t up, choose, previous, next, nextValue, previousValue;
};

Pressed ReadActions()
{
    return {gUp.IsTriggered(),   gChoose.IsTriggered(),    gPrevious.IsTriggered(),
            gNext.IsTriggered(), gNextValue.IsTriggered(), gPreviousValue.IsTriggered()};
}

int64_t RealNow()
{
    HbRealClock* clock = HbRealClock::Instance();
    return clock ? clock->mCurrentTime : 0;
}

GameState_SelectMission* SelectionOf(void* context)
{
    return static_cast<GameState_SelectMission*>(context);
}

/// The hero menu's entries: the hero chosen, then the label state on the next frame.
int32_t PlayWithHero(void* context, bool bonus)
{
    GameState_SelectMission* state = SelectionOf(context);
    if (!state)
        return 1;
    GameProfile* profile = state->GetProfile();
    if (profile)
    {
        if (bonus)
            profile->SelectBonusHero();
        else
            profile->SelectMainHero();
    }
    GameStateManager* manager = GameStateManager::Existing();
    GameState* current = manager ? manager->GetCurrentState() : nullptr;
    auto* selection = current ? HbCastTo<GameState_SelectMission>(current) : nullptr;
    (selection ? selection : state)->RequestLabel();
    if (profile)
        profile->GetMissions().Clear();
    return 1;
}
} // namespace

const MissionRecord* SelectMissionRecord(int32_t index)
{
    return index >= 0 && index < MoCampaignMap::kMissions ? &gRecords[index] : nullptr;
}

GameState_SelectMission::GameState_SelectMission() : GameState(kGameStateSelectMission) {}

GameState_SelectMission::~GameState_SelectMission()
{
    // A graph deleted while the map is shown takes its items with it.
    delete mMap;
    ReleaseMenu(mBackMenuCurrent, mBackMenuRoot);
    ReleaseMenu(mHeroMenuCurrent, mHeroMenuRoot);
}

// ---- The visit --------------------------------------------------------------------------------------

void GameState_SelectMission::Enter()
{
    // Marked entered, or the manager takes the state for a placeholder.
    GameState::Enter();
    mJustEntered = 1;
    TsFModStopAllChannels();
    if (GameStateManager* manager = GameStateManager::Existing())
    {
        manager->StopLoadingScreen();
        manager->RemoveExtraItems();
    }

    mBackMenuOpen = 0;
    mLaunching = 0;
    mGoToLabel = 0;
    mMarkerSelected = 0;
    mDetailsShown = 0;
    if (mMap)
        mMap->ReleaseAll();
    ReleaseMenu(mBackMenuCurrent, mBackMenuRoot);
    ReleaseMenu(mHeroMenuCurrent, mHeroMenuRoot);
    mCurrent = 0;

    FillRecords();
    if (!mMap)
        mMap = new MoCampaignMap();
    if (mMap)
        mMap->Build(GameKeyHintBar());

    const GameProfile* profile = GetProfile();
    for (int32_t i = 0; i < MoCampaignMap::kMissions; ++i)
    {
        MissionRecord& record = gRecords[i];
        int32_t open = profile && profile->missionTable.words[kCampaignWord] >= record.minimumProgress ? 1 : 0;
        for (int32_t word : record.prerequisites)
            if (word != -1 &&
                (!profile || word < 0 || word >= MissionTable::kWords || !profile->missionTable.words[word]))
                open = 0;
        record.open = open;
        if (open)
            mCurrent = i;
    }

    if (mMap)
    {
        CampaignProgress progress;
        ReadProgress(&progress);
        mMap->EnterDisplay(progress, mCurrent);
    }
    TsFModPlaySoundAt(kTitleMusic, nullptr);
    if (HbInputManager* input = HbInputManager::Instance())
        input->PushCommandContext("Menu");
}

void GameState_SelectMission::ReadProgress(CampaignProgress* progress) const
{
    const GameProfile* profile = GetProfile();
    for (int32_t i = 0; i < MoCampaignMap::kMissions; ++i)
    {
        progress->open[i] = gRecords[i].open;
        progress->succeeded[i] = SecondValue(i) ? 1 : 0;
        progress->done[i] = profile && profile->missionTable.words[i] ? 1 : 0;
    }
}

int32_t GameState_SelectMission::SecondValue(int32_t mission) const
{
    const GameProfile* profile = GetProfile();
    if (!profile || mission < 0 || mission >= MissionTable::kMissions)
        return 0;
    return profile->missionTable.words[kSecondValues + mission];
}

void GameState_SelectMission::Suspend()
{
    GameState::Suspend();
    if (mMap)
        mMap->HideAll();
}

void GameState_SelectMission::Resume()
{
    mJustEntered = 1;
    GameState::Resume();
    if (mMap)
    {
        CampaignProgress progress;
        ReadProgress(&progress);
        mMap->ShowAll(progress, mCurrent);
    }
    TsFModPlaySoundAt(kTitleMusic, nullptr);
}

void GameState_SelectMission::Leave()
{
    if (mMap)
        mMap->ReleaseAll();
    ReleaseMenu(mBackMenuCurrent, mBackMenuRoot);
    ReleaseMenu(mHeroMenuCurrent, mHeroMenuRoot);
    if (HbInputManager* input = HbInputManager::Instance())
        input->PopCommandContext("Menu");
    if (BoardControl* bar = GameKeyHintBar())
        bar->PopTheme(MoCampaignMap::kKeyHintTheme);
    if (GameProfile* profile = GetProfile())
        profile->worldResetRequest = 0;
}

// ---- The frame ----------------------------------------------------------------------------------------

void GameState_SelectMission::Update()
{
    if (mGoToLabel)
    {
        SwitchTo(kGameStateLabel);
        return;
    }
    GameServices& services = GameServicesTable();
    services.rendererBeginFrame();
    services.rendererEndFrame();
    if (mMap)
        mMap->Update();

    const int64_t now = RealNow();
    if (mJustEntered)
    {
        mJustEntered = 0;
        gInputDelayStart = now;
    }
    if (now - gInputDelayStart < int64_t(kSelectMissionInputDelaySeconds * double(HbPerformanceFrequency())))
        return;

    if (mBackMenuOpen)
    {
        HandleBackMenu();
        return;
    }
    if (mLaunching)
    {
        HandleLaunching();
        return;
    }
    const Pressed pressed = ReadActions();
    if (!mDetailsShown)
    {
        if (pressed.previous || pressed.next)
        {
            // Up first, then down, each on its own press.
            for (int32_t direction : {int32_t(kUp), int32_t(kDown)})
            {
                if (!(direction == kUp ? pressed.previous : pressed.next))
                    continue;
                if (mMarkerSelected)
                {
                    DeselectMarker();
                    if (!MoveSelection(direction))
                        SelectMarker();
                }
                else
                {
                    MoveSelection(direction);
                }
            }
        }
        if (pressed.nextValue)
        {
            // The marker lies left of its label: going right reaches the marker before the label.
            if (mMarkerSelected)
                DeselectMarker();
            else if (MoveSelection(kRight) && SecondValue(mCurrent))
                SelectMarker();
        }
        if (pressed.previousValue)
        {
            if (!SecondValue(mCurrent))
            {
                MoveSelection(kLeft);
            }
            else if (mMarkerSelected)
            {
                DeselectMarker();
                if (!MoveSelection(kLeft))
                    SelectMarker();
            }
            else
            {
                SelectMarker();
            }
        }
    }
    if (pressed.choose)
        HandleChoose();
    else if (pressed.up)
        HandleUp();
}

void GameState_SelectMission::HandleChoose()
{
    const MissionRecord& record = gRecords[mCurrent];
    if (!record.open)
        return;
    if (!mDetailsShown)
    {
        if (mMarkerSelected)
        {
            // The artworks of a completed mission: the sector names them, no mission starts.
            LaunchMission(record.sectorId);
            if (GameProfile* profile = GetProfile())
            {
                profile->newMission = 0;
                profile->forwardEntry = 0;
            }
            SwitchTo(kGameStateArtworks);
            return;
        }
        mDetailsShown = 1;
        if (mMap)
            mMap->ShowDetails(mCurrent);
        return;
    }
    if (mMap)
    {
        mMap->ShowStory(mCurrent, 0);
        mMap->StopPicture(mCurrent);
    }
    LaunchMission(record.sectorId);
    mLaunching = 1;
    if (mMap)
    {
        mMap->ShowTitlePanel(0);
        mMap->ShowOnlyTitle(-1);
    }
}

void GameState_SelectMission::HandleUp()
{
    if (mDetailsShown)
    {
        mDetailsShown = 0;
        if (mMap)
            mMap->HideDetails(mCurrent);
        return;
    }
    if (mMap)
        mMap->ShowTitlePanel(0);
    mBackMenuOpen = 1;
    if (!mBackMenuRoot)
    {
        ReleaseHeroMenu();
        BuildBackMenu();
    }
    if (mBackMenuCurrent)
        mBackMenuCurrent->Show();
    if (mMap)
        mMap->ShowOnlyTitle(-1);
    mLaunching = 0;
}

void GameState_SelectMission::HandleBackMenu()
{
    if (!mBackMenuCurrent)
    {
        ReleaseHeroMenu();
        BuildBackMenu();
        return;
    }
    if (gUp.IsTriggered())
    {
        CloseBackMenu();
        return;
    }
    W2dMenu* next = mBackMenuCurrent->HandleInput();
    // The yes entry has left the state: nothing of the visit is left.
    if (GetPending())
        return;
    mBackMenuCurrent = next ? HbCastTo<W2dGraphicMenu>(next) : mBackMenuRoot;
}

void GameState_SelectMission::HandleLaunching()
{
    const GameProfile* profile = GetProfile();
    if (!profile || profile->missionTable.words[MissionTable::kCompletedDifficulty] <= 0)
    {
        LaunchMission(gRecords[mCurrent].sectorId);
        SwitchTo(kGameStateLabel);
        return;
    }
    if (!mHeroMenuCurrent)
    {
        ReleaseBackMenu();
        BuildHeroMenu();
        return;
    }
    if (gUp.IsTriggered())
    {
        mLaunching = 0;
        mDetailsShown = 0;
        mHeroMenuCurrent->Hide();
        if (mMap)
        {
            mMap->ShowTitlePanel(1);
            mMap->ShowOnlyTitle(mCurrent);
        }
        return;
    }
    W2dMenu* next = mHeroMenuCurrent->HandleInput();
    if (GetPending())
        return;
    mHeroMenuCurrent = next ? HbCastTo<W2dGraphicMenu>(next) : mHeroMenuRoot;
}

// ---- The selection ----------------------------------------------------------------------------------

int32_t GameState_SelectMission::MoveSelection(int32_t direction)
{
    if (direction < 0 || direction > 3)
        return 0;
    const int32_t next = gRecords[mCurrent].neighbours[direction];
    if (next < 0 || next >= MoCampaignMap::kMissions || !gRecords[next].open)
        return 0;
    const int32_t from = mCurrent;
    mCurrent = next;
    if (mMap)
        mMap->MoveSelection(from, next);
    return 1;
}

void GameState_SelectMission::LaunchMission(const std::string& sectorId)
{
    const std::string line = "set_sector 0 " + GroupNameGetWorldPart(sectorId.c_str()) + " " +
                             GroupNameGetLevelPart(sectorId.c_str()) + " " + GroupNameGetSectorPart(sectorId.c_str()) +
                             " ";
    // Whatever the command answers: a refused line leaves the profile's sector as it was.
    if (HbCommandManager* commands = HbCommandManager::Instance())
        commands->ExecuteLine(line.c_str());
    if (GameProfile* profile = GetProfile())
    {
        profile->newMission = 1;
        profile->GetMissions().Clear();
        profile->forwardEntry = 1;
    }
}

void GameState_SelectMission::SelectMarker()
{
    if (mMap)
        mMap->SetMarkerSelected(mCurrent, 1);
    mMarkerSelected = 1;
}

void GameState_SelectMission::DeselectMarker()
{
    if (mMap)
        mMap->SetMarkerSelected(mCurrent, 0);
    mMarkerSelected = 0;
}

// ---- The confirmation menus -------------------------------------------------------------------------

W2dGraphicMenu* GameState_SelectMission::BuildConfirmation(const char* titleId, int32_t (*onNo)(void*),
                                                           int32_t (*onYes)(void*), int32_t back)
{
    auto* menu = new W2dGraphicMenu(nullptr);
    if (!menu)
        return nullptr;
    menu->AddRef();
    MenuBuildBegin(menu, kMenuLayout);
    MenuAddEntry("TX_MENU_CONFIRM_NO_TXT", onNo, this);
    MenuAddEntry("TX_MENU_CONFIRM_YES_TXT", onYes, this);
    MenuBuildEnd();
    if (back)
    {
        menu->SetBoardControl(GameKeyHintBar());
        menu->SetBoardThemeId(4);
    }
    menu->SetTitleText(titleId, kMenuLayout);
    menu->SetPosition({0.1f, 0.3325f, 0.0f});
    menu->SetStep({0.0f, 0.0625f, 0.0f});
    menu->SetProperty(1, MenuEntryHighlight);
    menu->SetProperty(0, MenuEntryDim);
    menu->BuildFrame(0);
    return menu;
}

void GameState_SelectMission::BuildBackMenu()
{
    ReleaseBackMenu();
    W2dGraphicMenu* menu =
        BuildConfirmation("TX_MENU_COMMON_BACK_TO_MAIN_TXT", MenuOnCloseBackMenu, MenuOnBackToMainMenu, 1);
    mBackMenuCurrent = mBackMenuRoot = menu;
    if (!menu)
        return;
    menu->HandleInput();
    menu->Show();
    menu->Hide();
}

void GameState_SelectMission::BuildHeroMenu()
{
    ReleaseHeroMenu();
    W2dGraphicMenu* menu = BuildConfirmation("TX_MENU_PLAY_VOZUV_TXT", MenuOnPlayMainHero, MenuOnPlayBonusHero, 0);
    mHeroMenuCurrent = mHeroMenuRoot = menu;
    if (!menu)
        return;
    menu->Show();
    menu->HandleInput();
    menu->Hide();
}

void GameState_SelectMission::ReleaseMenu(W2dGraphicMenu*& current, W2dGraphicMenu*& root)
{
    W2dGraphicMenu* held = root;
    current = nullptr;
    root = nullptr;
    if (!held)
        return;
    // The tree goes from its top, whichever of its menus was current.
    W2dMenu* top = held;
    while (top->GetParent())
        top = top->GetParent();
    top->Clear();
    top->Release();
}

void GameState_SelectMission::ReleaseBackMenu()
{
    ReleaseMenu(mBackMenuCurrent, mBackMenuRoot);
}

void GameState_SelectMission::ReleaseHeroMenu()
{
    ReleaseMenu(mHeroMenuCurrent, mHeroMenuRoot);
}

void GameState_SelectMission::CloseBackMenu()
{
    mBackMenuOpen = 0;
    if (mBackMenuCurrent)
        mBackMenuCurrent->Hide();
    if (mMap)
    {
        mMap->ShowTitlePanel(1);
        mMap->ShowOnlyTitle(mCurrent);
    }
}

// ---- Menu callbacks ---------------------------------------------------------------------------------

int32_t MenuOnBackToMainMenu(void* state)
{
    if (GameState_SelectMission* selection = SelectionOf(state))
        selection->SwitchTo(kGameStateMainMenu);
    return 0;
}

int32_t MenuOnCloseBackMenu(void* state)
{
    if (GameState_SelectMission* selection = SelectionOf(state))
        selection->CloseBackMenu();
    return 1;
}

int32_t MenuOnPlayMainHero(void* state)
{
    return PlayWithHero(state, false);
}

int32_t MenuOnPlayBonusHero(void* state)
{
    return PlayWithHero(state, true);
}
