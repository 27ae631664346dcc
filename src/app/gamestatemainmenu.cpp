// The main menu: its visit (a fresh campaign each time), its menu tree with the debug page of
// sector launchers, its callbacks and the hidden series that locks or unlocks the cheats.
#include "gamestatemainmenu.h"

#include "gamekeyhintbar.h"
#include "gamemenu.h"
#include "gamemenuoptions.h"
#include "gameprofile.h"
#include "gamesavemanager.h"
#include "gameservices.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "hbcommand.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "resourcegroups.h"
#include "tssoundmodule.h"
#include "w2dgraphicmenu.h"
#include "w2ditemeffect.h"
#include "w2dsurfacegraphicitem.h"

#include <array>
#include <string>
#include <utility>

HB_DEFINE_CLASS_DESC(GameState_MainMenu, GameState);

namespace
{
// Outlive the visits: the first update of a visit resets the profile, and a completed hidden
// series is taken up by the next Enter.
int32_t gFirstUpdate = 0;
int32_t gUnlock = 0;

const Vector kLayout = {1.0f, 0.0625f, 0.0f};

/// The debug page's launchers, in menu order: the world and level pages they sit on, the label
/// (the sector number without its leading zero) and the sector launched.
struct Launcher
{
    const char* world;
    const char* level;
    const char* label;
    const char* sector;
};

constexpr Launcher kLaunchers[] = {
    {"W1", "W1L1", "W1L1S1", "W1L1S01"}, {"W1", "W1L1", "W1L1S2", "W1L1S02"}, {"W1", "W1L1", "W1L1S3", "W1L1S03"},
    {"W1", "W1L1", "W1L1S4", "W1L1S04"}, {"W1", "W1L1", "W1L1S5", "W1L1S05"}, {"W1", "W1L1", "W1L1S6", "W1L1S06"},
    {"W2", "W2L1", "W2L1S1", "W2L1S01"}, {"W2", "W2L1", "W2L1S2", "W2L1S02"}, {"W2", "W2L1", "W2L1S3", "W2L1S03"},
    {"W2", "W2L1", "W2L1S4", "W2L1S04"}, {"W2", "W2L1", "W2L1S5", "W2L1S05"}, {"W2", "W2L1", "W2L1S6", "W2L1S06"},
    {"W2", "W2L2", "W2L2S1", "W2L2S01"}, {"W3", "W3L1", "W3L1S1", "W3L1S01"}, {"W3", "W3L1", "W3L1S2", "W3L1S02"},
    {"W3", "W3L1", "W3L1S3", "W3L1S03"}, {"W3", "W3L1", "W3L1S4", "W3L1S04"}, {"W3", "W3L1", "W3L1S5", "W3L1S05"},
    {"W3", "W3L1", "W3L1S6", "W3L1S06"}, {"W4", "W4L1", "W4L1S1", "W4L1S01"}, {"W4", "W4L1", "W4L1S2", "W4L1S02"},
    {"W4", "W4L1", "W4L1S3", "W4L1S03"}, {"W4", "W4L1", "W4L1S4", "W4L1S04"}, {"W7", "W7L1", "W7L1S1", "W7L1S01"},
    {"W7", "W7L1", "W7L1S2", "W7L1S02"}, {"W7", "W7L1", "W7L1S3", "W7L1S03"}, {"W7", "W7L1", "W7L1S5", "W7L1S05"},
    {"W7", "W7L2", "W7L2S1", "W7L2S01"}, {"W7", "W7L2", "W7L2S2", "W7L2S02"}, {"W8", "W8L1", "W8L1S1", "W8L1S01"},
    {"W8", "W8L1", "W8L1S2", "W8L1S02"}, {"W8", "W8L1", "W8L1S3", "W8L1S03"}, {"W8", "W8L1", "W8L1S4", "W8L1S04"},
    {"W8", "W8L1", "W8L1S5", "W8L1S05"}, {"W8", "W8L2", "W8L2S1", "W8L2S01"}, {"W8", "W8L2", "W8L2S2", "W8L2S02"},
    {"W8", "W8L2", "W8L2S5", "W8L2S05"}, {"W9", "W9L1", "W9L1S1", "W9L1S01"}, {"W9", "W9L1", "W9L1S2", "W9L1S02"},
};
constexpr size_t kLauncherCount = sizeof(kLaunchers) / sizeof(kLaunchers[0]);
static_assert(kLauncherCount == 39);

/// One choose callback per sector, each knowing its own id.
template <size_t I> int32_t SectorLaunchCallback(void*)
{
    return MenuLaunchSector(kLaunchers[I].sector);
}

template <size_t... I> constexpr auto LaunchCallbacks(std::index_sequence<I...>)
{
    return std::array<W2dMenuCallback, sizeof...(I)>{SectorLaunchCallback<I>...};
}

const auto kLaunchCallbacks = LaunchCallbacks(std::make_index_sequence<kLauncherCount>{});

GameProfile* CurrentProfile()
{
    GameStateManager* manager = GameStateManager::Existing();
    GameState* state = manager ? manager->GetCurrentState() : nullptr;
    return state ? state->GetProfile() : nullptr;
}

GameProfile* ProfileOf(void* state)
{
    auto* owner = static_cast<GameState*>(state);
    return owner ? owner->GetProfile() : nullptr;
}

int32_t ChooseDifficulty(void* state, int32_t difficulty)
{
    GameProfile* profile = CurrentProfile();
    if (!profile)
        profile = ProfileOf(state);
    if (profile)
        profile->missionTable.words[MissionTable::kDifficulty] = difficulty;
    if (GameStateManager* manager = GameStateManager::Existing())
        manager->RequestCinematic("FE_VIDEO_INTRO_VID", 1, kGameStateSelectMission);
    return 0;
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

CachedAction gNextValue{"MENU_NEXT_VALUE"};
CachedAction gPreviousValue{"MENU_PREVIOUS_VALUE"};
CachedAction gEscape{"MENU_ESC"};

W2dPictureItem* MakePicture(const char* textureId, int32_t layer, const Vector& size, const Vector& position)
{
    auto* picture = new W2dPictureItem(textureId, -1.0f, nullptr);
    if (!picture)
        return nullptr;
    picture->AddRef();
    picture->SetPriority(layer);
    picture->Create();
    picture->SetSize(size);
    picture->SetPosition(position);
    picture->Show();
    return picture;
}
} // namespace

GameState_MainMenu::GameState_MainMenu() : GameState(kGameStateMainMenu) {}

GameState_MainMenu::~GameState_MainMenu()
{
    // A graph deleted while the menu is shown takes its items with it.
    ReleaseItems();
}

// ---- The visit --------------------------------------------------------------------------------------

void GameState_MainMenu::Enter()
{
    GameProfile* profile = GetProfile();
    if (profile)
    {
        profile->missionTable.Reset();
        profile->prefs.ApplyDifficulty(profile->missionTable.words[MissionTable::kDifficulty]);
    }
    mCurrentMenu = nullptr;
    mRootMenu = nullptr;
    mBackground = nullptr;
    mTitle = nullptr;
    if (gUnlock)
    {
        gUnlock = 0;
        if (profile)
            profile->cheatsUnlocked = profile->cheatsUnlocked == 0 ? 1 : 0;
    }
    else if (profile)
    {
        profile->godMode = 0;
        profile->unlimitedAmmo = 0;
        profile->cheatsUnlocked = 0;
    }
    ResourceGroupLoad("FRONTEND", 2);
    TsFModPlaySoundAt("Z_TITLE_STDSB", nullptr);
    GameState::Enter();
    BuildMenus();

    mBackground = MakePicture("FE_INTRO_TEX", -100, {1.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 0.0f});
    mTitle = MakePicture("FE_INTRO_TITLE_TEX", 2, {1.0f, 0.25f, 0.0f}, {0.0f, 0.021f, 0.0f});
    if (mTitle)
    {
        const Vector start = {0.0f, -0.25f, 0.0f};
        if (auto* slide = new W2dSlideInEffect(HbPerformanceFrequency(), &start, mTitle))
            mTitle->AddEffect(slide);
        mTitle->StartEffects();
    }

    HbRealClock* clock = HbRealClock::Instance();
    mEnterTime = clock ? clock->mCurrentTime : 0;
    if (GameSaveManager* saves = GameSaveManager::Existing())
        saves->Release();
    if (profile)
        profile->GetMissions().Reset();
    for (int32_t& slot : mSequence)
        slot = 0;
    if (HbInputManager* input = HbInputManager::Instance())
        input->PushCommandContext("Menu");
    gFirstUpdate = 1;
}

void GameState_MainMenu::BuildMenus()
{
    mRootMenu = new W2dGraphicMenu(nullptr);
    if (!mRootMenu)
        return;
    mRootMenu->AddRef();
    mCurrentMenu = mRootMenu;
    MenuBuildBegin(mRootMenu, kLayout);

    GameProfile* profile = GetProfile();
    if (profile && profile->cheatsUnlocked)
    {
        MenuAddNamedSubMenu("DEBUG", -1, nullptr);
        const char* world = nullptr;
        const char* level = nullptr;
        for (size_t i = 0; i < kLauncherCount; ++i)
        {
            const Launcher& launcher = kLaunchers[i];
            if (!level || std::string(level) != launcher.level)
            {
                if (level)
                    MenuBuildPop();
                if (!world || std::string(world) != launcher.world)
                {
                    if (world)
                        MenuBuildPop();
                    MenuAddNamedSubMenu(launcher.world, -1, nullptr);
                    world = launcher.world;
                }
                MenuAddNamedSubMenu(launcher.level, -1, nullptr);
                level = launcher.level;
            }
            MenuAddNamedEntry(launcher.label, kLaunchCallbacks[i], nullptr);
        }
        MenuBuildPop();
        MenuBuildPop();
        MenuAddNamedEntry("Video Intro", MenuOnVideoIntro, nullptr);
        MenuAddNamedEntry("Video Outro", MenuOnVideoOutro, nullptr);
        MenuBuildPop();
    }

    MenuAddSubMenu("TX_MENU_MAIN_NEW_TXT", 4, "TX_MENU_DIFFICULTY_TXT", nullptr);
    MenuAddEntry("TX_MENU_DIFFICULTY_EASY_TXT", MenuOnDifficultyEasy, this);
    MenuAddEntry("TX_MENU_DIFFICULTY_NORMAL_TXT", MenuOnDifficultyNormal, this);
    MenuAddEntry("TX_MENU_DIFFICULTY_HARD_TXT", MenuOnDifficultyHard, this);
    MenuBuildPop();
    MenuAddEntry("TX_MENU_MAIN_LOAD_TXT", MenuOnLoadGame, this);
    MenuBuildOptions(this, mRootMenu, kLayout, 0);
    mRootMenu->SetBoardThemeId(5);
    MenuAddSubMenu("TX_MENU_MAIN_QUIT_TXT", -1, "", nullptr);
    MenuAddEntry("TX_MENU_CONFIRM_NO_TXT", MenuOnConfirmNo, MenuBuildCurrent());
    MenuAddEntry("TX_MENU_CONFIRM_YES_TXT", MenuOnQuitGame, this);
    MenuBuildPop();
    MenuBuildEnd();

    mRootMenu->SetPosition({0.0f, 0.359f, 0.0f});
    mRootMenu->SetStep({0.0f, 0.0625f, 0.0f});
    mRootMenu->BuildFrame(2);
    mRootMenu->SetProperty(1, MenuEntryHighlight);
    mRootMenu->SetProperty(0, MenuEntryDim);
    mRootMenu->SetBoardControl(GameKeyHintBar());
    mRootMenu->Show();
    mRootMenu->HandleInput();
    mRootMenu->Hide();
    mMenusBuilt = 1;
}

void GameState_MainMenu::Update()
{
    GameProfile* profile = GetProfile();
    if (gFirstUpdate)
    {
        gFirstUpdate = 0;
        if (profile)
        {
            profile->missionTable.Reset();
            profile->SelectMainHero();
            profile->gameOverRequest = 0;
            profile->newMission = 0;
            profile->missionEndRequest = 0;
            profile->loadRequest = 0;
            profile->campaignComplete = 0;
            profile->labelRequest = 0;
            profile->forwardEntry = 0;
            profile->worldResetRequest = 0;
        }
    }
    GameServices& services = GameServicesTable();
    services.rendererBeginFrame();
    services.rendererEndFrame();
    if (mTitle)
        mTitle->Update();

    if (mCurrentMenu)
    {
        HbRealClock* clock = HbRealClock::Instance();
        const int64_t now = clock ? clock->mCurrentTime : 0;
        const auto hold = int64_t(double(HbPerformanceFrequency()) * kMainMenuInputHoldSeconds);
        if (now - mEnterTime <= hold)
        {
            // The opening wipe starts only once the hold is over.
            mCurrentMenu->SetState(W2dMenu::kOpening);
        }
        else
        {
            W2dMenu* next = mCurrentMenu->HandleInput();
            // A callback may have left the state (the load entry): nothing of the visit is left.
            if (!IsEntered() || GetPending())
                return;
            if (mMenusBuilt)
            {
                // Only framed menus are in the tree; anything else hands input back to the root.
                auto* framed = next ? HbCastTo<W2dGraphicMenu>(next) : nullptr;
                mCurrentMenu = framed ? framed : mRootMenu;
            }
        }
    }
    WatchSequence();
}

void GameState_MainMenu::WatchSequence()
{
    if (gEscape.IsTriggered())
        for (int32_t& slot : mSequence)
            slot = 0;
    const int32_t next = gNextValue.IsTriggered();
    const int32_t previous = gPreviousValue.IsTriggered();
    if (!next && !previous)
        return;
    int32_t position = 0;
    while (position < kMainMenuCheatSequenceLength && mSequence[position])
        ++position;
    if (position == kMainMenuCheatSequenceLength)
        return;
    const bool match = kMainMenuCheatSequence[position] == kMainMenuPressNextValue ? next != 0 : previous != 0;
    if (!match)
    {
        for (int32_t& slot : mSequence)
            slot = 0;
        return;
    }
    mSequence[position] = 1;
    if (position < kMainMenuCheatSequenceLength - 1)
        return;
    GameProfile* profile = GetProfile();
    TsFModPlaySoundAt(profile && profile->cheatsUnlocked ? "SD_I_SELECT_S2DSB" : "SD_I_SELECT_WEAPON_S2DSB", nullptr);
    for (int32_t& slot : mSequence)
        slot = 0;
    gUnlock = 1;
    SwitchTo(kGameStateMainMenu);
}

void GameState_MainMenu::Leave()
{
    if (HbInputManager* input = HbInputManager::Instance())
        input->PopCommandContext("Menu");
    ReleaseItems();
    MenuOptionsRelease();
    mMenusBuilt = 0;
}

void GameState_MainMenu::ReleaseItems()
{
    MenuReleaseItem(mBackground);
    MenuReleaseItem(mTitle);
    mCurrentMenu = nullptr;
    if (W2dGraphicMenu* root = mRootMenu)
    {
        root->Clear();
        root->Release();
        mRootMenu = nullptr;
    }
}

int32_t GameState_MainMenu::GetSequenceProgress() const
{
    int32_t count = 0;
    while (count < kMainMenuCheatSequenceLength && mSequence[count])
        ++count;
    return count;
}

// ---- Menu callbacks ---------------------------------------------------------------------------------

int32_t MenuOnDifficultyEasy(void* state)
{
    return ChooseDifficulty(state, 0);
}

int32_t MenuOnDifficultyNormal(void* state)
{
    return ChooseDifficulty(state, 1);
}

int32_t MenuOnDifficultyHard(void* state)
{
    return ChooseDifficulty(state, 2);
}

int32_t MenuOnVideoIntro(void*)
{
    if (GameStateManager* manager = GameStateManager::Existing())
        manager->RequestCinematic("FE_VIDEO_INTRO_VID", 1, kGameStateMainMenu);
    return 0;
}

int32_t MenuOnVideoOutro(void*)
{
    if (GameStateManager* manager = GameStateManager::Existing())
        manager->RequestCinematic("FE_VIDEO_OUTRO_VID", 1, kGameStateMainMenu);
    return 0;
}

int32_t MenuOnLoadGame(void* state)
{
    auto* owner = static_cast<GameState*>(state);
    if (!owner)
        return 0;
    if (GameProfile* profile = owner->GetProfile())
    {
        profile->saveLoadMode = 1;
        profile->saveLoadWord = kGameStateSelectMission;
    }
    owner->SwitchTo(kGameStateSaveLoad);
    return 0;
}

int32_t MenuLaunchSector(const char* sectorId)
{
    const std::string line = "launch_sector 0 " + GroupNameGetWorldPart(sectorId) + " " +
                             GroupNameGetLevelPart(sectorId) + " " + GroupNameGetSectorPart(sectorId) + " ";
    // Whatever the command answers: without a label request the menu simply stays.
    if (HbCommandManager* commands = HbCommandManager::Instance())
        commands->ExecuteLine(line.c_str());
    if (GameProfile* profile = CurrentProfile())
    {
        profile->labelAfterMission = 0;
        profile->forwardEntry = 1;
        profile->GetMissions().Reset();
    }
    return 0;
}
