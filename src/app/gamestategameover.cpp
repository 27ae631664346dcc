// GameState_GameOver: its menu, the picture and text of the loss, and the leave that keeps the
// level for a retry and drops it after a quit.
#include "gamestategameover.h"

#include "boardcontrol.h"
#include "gamekeyhintbar.h"
#include "gamemenu.h"
#include "gameprofile.h"
#include "gameservices.h"
#include "gamestatemanager.h"
#include "hbinputmanager.h"
#include "herohudaccess.h"
#include "kfxmanager.h"
#include "resourcegroups.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsfmod.h"
#include "tssoundmodule.h"
#include "w2dgraphicmenu.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

HB_DEFINE_CLASS_DESC(GameState_GameOver, GameState);

namespace
{
const char* const kGroup = "gameover";
constexpr int32_t kInGameTheme = 1;

/// The script world's hero is dead when the hero reader gives it no hit points left; without a
/// hero there is nobody alive to show.
bool HeroIsDead()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    HbRoot* hero = world ? world->GetHero() : nullptr;
    return HeroHudAccess::Get()->GetHitPoints(hero) <= 0;
}
} // namespace

GameState_GameOver::GameState_GameOver() : GameState(kGameStateGameOver) {}

GameState_GameOver::~GameState_GameOver()
{
    ReleaseItems();
}

void GameState_GameOver::Enter()
{
    ResourceGroupLoad(kGroup, 2);
    GameState::Enter();
    BuildMenu();

    const bool dead = HeroIsDead();
    MenuReleaseItem(mPicture);
    MenuCreateFullScreenPicture(&mPicture, dead ? "FE_GAMEOVER_TEX" : "FE_GAMEOVER_VOZUV_TEX");
    MenuReleaseItem(mMessage);
    if (auto* message = new W2dTextGraphicItem("ID_ARIAL_BLACK_FONT", nullptr))
    {
        message->AddRef();
        mMessage = message;
        message->SetPriority(100);
        message->Create();
        message->SetSize({0.8f, 0.03f, 0.0f});
        message->SetCharHeight(0.06f);
        message->SetJustify(0);
        message->SetPosition({0.1f, 0.3f, 0.0f});
        message->Show();
        message->SetColour({255, 255, 255, 255});
        const char* text = dead ? "TX_MENU_GAMEOVER_HERO_IS_DEAD_TXT" : "TX_MENU_GAMEOVER_VOZUV_TXT";
        message->SetText(GetLocalizedText(text).c_str());
    }
    if (HbInputManager* input = HbInputManager::Instance())
        input->PushCommandContext("Menu");
}

void GameState_GameOver::BuildMenu()
{
    auto* root = new W2dGraphicMenu(nullptr);
    if (!root)
        return;
    root->AddRef();
    mRootMenu = root;
    mCurrentMenu = root;
    MenuBuildBegin(root, {0.5f, 0.03f, 0.0f});
    MenuAddEntry("TX_MENU_PAUSE_CONTINUE_TXT", MenuOnRestartSector, this);
    MenuAddSubMenu("TX_MENU_PAUSE_QUIT_TXT", 4, "", nullptr);
    MenuAddEntry("TX_MENU_PAUSE_NO_TXT", MenuOnConfirmNo, MenuBuildCurrent());
    MenuAddEntry("TX_MENU_PAUSE_YES_TXT", GameOverOnQuit, this);
    MenuBuildPop();
    MenuBuildEnd();
    root->SetPosition({0.3125f, 0.775f, 0.0f});
    root->SetStep({0.0f, 0.05f, 0.0f});
    root->SetBoardControl(GameKeyHintBar());
    root->SetBoardThemeId(5);
    root->BuildFrame(0);
    root->SetProperty(1, MenuFocusOn);
    root->SetProperty(0, MenuFocusOff);
    root->Show();
    root->HandleInput();
    mMenuBuilt = 1;
}

void GameState_GameOver::Update()
{
    GameServices& services = GameServicesTable();
    services.rendererBeginFrame();
    services.rendererEndFrame();
    if (!mCurrentMenu)
        return;
    W2dMenu* next = mCurrentMenu->HandleInput();
    // The quit entry has left the state: nothing of the screen is left.
    if (!IsEntered() || GetPending())
        return;
    if (mMenuBuilt)
    {
        auto* framed = next ? HbCastTo<W2dGraphicMenu>(next) : nullptr;
        mCurrentMenu = framed ? framed : mRootMenu;
    }
}

void GameState_GameOver::ReleaseItems()
{
    mCurrentMenu = nullptr;
    if (W2dGraphicMenu* root = mRootMenu)
    {
        mRootMenu = nullptr;
        root->Clear();
        root->Release();
    }
    mMenuBuilt = 0;
    MenuReleaseItem(mMessage);
    MenuReleaseItem(mPicture);
}

void GameState_GameOver::Leave()
{
    if (HbInputManager* input = HbInputManager::Instance())
        input->PopCommandContext("Menu");
    TsFModStopAllChannels();
    ReleaseItems();

    GameProfile* profile = GetProfile();
    if (profile && profile->worldResetRequest)
    {
        GameServices& services = GameServicesTable();
        ResourceGroupUnload(profile->heroGroup.c_str());
        services.animSetFreeAll();
        if (BoardControl* bar = GameKeyHintBar())
            bar->ReleaseTheme(kInGameTheme);
        const std::string level =
            GroupNameGetWorldPart(profile->sectorId.c_str()) + GroupNameGetLevelPart(profile->sectorId.c_str());
        ResourceGroupUnload(level.c_str());
        KfxManager::ForEachEmitterReset();
    }
    ResourceGroupUnload(kGroup);
    if (GameStateManager* manager = GameStateManager::Existing())
        manager->StartLoadingScreen();
}

int32_t GameOverOnQuit(void* state)
{
    auto* owner = static_cast<GameState*>(state);
    if (!owner)
        return 0;
    if (GameProfile* profile = owner->GetProfile())
        profile->worldResetRequest = 1;
    ResourceGroupLoad("FRONTEND", 2);
    owner->SwitchTo(kGameStateSelectMission);
    return 0;
}
