// GameState_StageMenu: the pause menu's description, its frame over the frozen game, and its
// three callbacks.
#include "gamestatestagemenu.h"

#include "boardcontrol.h"
#include "boardcontroltheme_ingame.h"
#include "gameinputaction.h"
#include "gamekeyhintbar.h"
#include "gamemenu.h"
#include "gamemenuoptions.h"
#include "gameprofile.h"
#include "gameservices.h"
#include "gamestatemanager.h"
#include "hbinputmanager.h"
#include "tscameraregistry.h"
#include "tssoundmodule.h"
#include "w2dgraphicmenu.h"

HB_DEFINE_CLASS_DESC(GameState_StageMenu, GameState);

namespace
{
const char* const kContext = "Menu";
constexpr int32_t kAbortTheme = 4;

GameInputAction gEscape{"MENU_ESC"};
GameInputAction gUp{"MENU_UP"};
} // namespace

GameState_StageMenu::GameState_StageMenu() : GameState(kGameStateStageMenu) {}

GameState_StageMenu::~GameState_StageMenu()
{
    if (mRootMenu)
        Leave();
}

void GameState_StageMenu::Enter()
{
    // The base entry marks the state entered: the manager sends a state never entered back to
    // the main menu as one still to be built.
    GameState::Enter();
    mRootMenu = nullptr;
    BuildMenu();
    TsFModPlaySoundAt("SD_I_PAUSE_S2DSB", nullptr);
    mSavedCamera = TsCameraRegistry::GetCurrentCameraId();
    TsCameraRegistry::DeactivateCamera(mSavedCamera);
    if (HbInputManager* input = HbInputManager::Instance())
        input->PushCommandContext(kContext);
}

void GameState_StageMenu::BuildMenu()
{
    auto* root = new W2dGraphicMenu(nullptr);
    if (!root)
        return;
    // One reference as the root, one as the current menu.
    root->AddRef();
    root->AddRef();
    mRootMenu = root;
    mCurrentMenu = root;
    const Vector layout = {1.0f, 0.0625f, 0.0f};
    MenuBuildBegin(root, layout);
    MenuAddEntry("TX_MENU_PAUSE_CONTINUE_TXT", PauseMenuOnContinue, this);
    MenuAddSubMenu("TX_MENU_PAUSE_RETRY_TXT", -1, "", nullptr);
    MenuAddEntry("TX_MENU_PAUSE_NO_TXT", MenuOnConfirmNo, MenuBuildCurrent());
    MenuAddEntry("TX_MENU_PAUSE_YES_TXT", PauseMenuOnRetry, this);
    MenuBuildPop();
    MenuBuildOptions(this, root, layout, 1);
    MenuAddSubMenu("TX_MENU_ABORT_MISSION_TXT", kAbortTheme, "", nullptr);
    MenuAddEntry("TX_MENU_CONFIRM_NO_TXT", MenuOnConfirmNo, MenuBuildCurrent());
    MenuAddEntry("TX_MENU_CONFIRM_YES_TXT", PauseMenuOnAbort, nullptr);
    MenuBuildPop();
    MenuBuildEnd();
    root->SetPosition({0.0f, 0.359f, 0.0f});
    root->SetStep({0.0f, 0.0625f, 0.0f});
    root->SetBoardControl(GameKeyHintBar());
    root->SetBoardThemeId(kAbortTheme);
    root->BuildFrame(2);
    root->SetProperty(1, MenuFocusOn);
    root->SetProperty(0, MenuFocusOff);
    root->Show();
    root->HandleInput();
    mMenuActive = 1;
}

void GameState_StageMenu::Update()
{
    if (BoardControlTheme_InGame* inGame = BoardControlTheme_InGame::Find(GameKeyHintBar()))
        inGame->Update();
    GameServices& services = GameServicesTable();
    services.rendererBeginFrame();
    services.rendererRenderScene();
    services.rendererEndFrame();

    // Both are read every frame, so neither keeps a press for a later one.
    const int32_t escape = gEscape.IsTriggered();
    const int32_t up = gUp.IsTriggered();
    if (escape || (up && mCurrentMenu == mRootMenu))
    {
        SwitchTo(kGameStateStage);
        return;
    }
    if (!mCurrentMenu)
        return;
    W2dMenu* next = mCurrentMenu->HandleInput();
    // A callback has left the state: its menus are gone.
    if (!mMenuActive || GetPending())
        return;
    auto* framed = next ? HbCastTo<W2dGraphicMenu>(next) : nullptr;
    W2dGraphicMenu* current = framed ? framed : mRootMenu;
    if (current != mCurrentMenu)
    {
        if (current)
            current->AddRef();
        if (mCurrentMenu)
            mCurrentMenu->HbRoot::Release();
        mCurrentMenu = current;
    }
}

void GameState_StageMenu::Leave()
{
    TsFModPlaySoundAt("SD_I_MENU_PAUSE_OFF_S2DSB", nullptr);
    if (mRootMenu)
        mRootMenu->Hide();
    if (W2dGraphicMenu* current = mCurrentMenu)
    {
        mCurrentMenu = nullptr;
        current->HbRoot::Release();
    }
    if (W2dGraphicMenu* root = mRootMenu)
    {
        mRootMenu = nullptr;
        root->Clear();
        root->HbRoot::Release();
    }
    if (HbInputManager* input = HbInputManager::Instance())
        input->PopCommandContext(kContext);
    mMenuActive = 0;
    TsCameraRegistry::ActivateCamera(mSavedCamera);
}

int32_t PauseMenuOnContinue(void* state)
{
    if (auto* owner = static_cast<GameState*>(state))
        owner->SwitchTo(kGameStateStage);
    return 0;
}

int32_t PauseMenuOnRetry(void* state)
{
    auto* owner = static_cast<GameState*>(state);
    if (!owner)
        return 0;
    // Without a hero in the world there is nobody to restart; the sector still starts again.
    GameServices& services = GameServicesTable();
    if (services.scriptHasHero())
        services.heroRestart();
    if (GameProfile* profile = owner->GetProfile())
    {
        profile->stageRequest = 1;
        profile->loadRequest = 1;
        profile->stageEntered = 0;
    }
    owner->SwitchTo(kGameStateStage);
    if (GameStateManager* manager = GameStateManager::Existing())
        manager->StartLoadingScreen();
    return 0;
}

int32_t PauseMenuOnAbort(void*)
{
    GameStateManager* manager = GameStateManager::Existing();
    GameState* current = manager ? manager->GetCurrentState() : nullptr;
    GameState* overlay = current ? current->GetOverlayState() : nullptr;
    if (!overlay || !HbCastTo<GameState_StageMenu>(overlay))
        return 1;
    if (GameProfile* profile = overlay->GetProfile())
        profile->worldResetRequest = 1;
    overlay->SwitchTo(kGameStateStage);
    return 0;
}
