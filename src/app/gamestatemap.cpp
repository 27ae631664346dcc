// GameState_Map: the map view's life over the stage's visits and openings, its input context
// and key hints, and the cross-hair given back to the head-up display on the way out.
#include "gamestatemap.h"

#include "boardcontrol.h"
#include "boardcontroltheme_ingame.h"
#include "gameinputaction.h"
#include "gamekeyhintbar.h"
#include "gameprofile.h"
#include "gameservices.h"
#include "hbinputmanager.h"
#include "mapview.h"
#include "tsfmod.h"
#include "tssoundmodule.h"
#include "w2dsurfacelist.h"
#include "wrenderer.h"

HB_DEFINE_CLASS_DESC(GameState_Map, GameState);

namespace
{
constexpr int32_t kMapTheme = 6;
const char* const kMapContext = "Map";

GameInputAction gBack{"MAP_BACK"};
GameInputAction gEscape{"MAP_ESC"};

W2dSurfaceList* SurfaceList()
{
    WRenderer* renderer = WRenderer::Existing();
    return renderer ? renderer->GetSurfaceList() : nullptr;
}

/// The head-up display's cross-hair comes back only when it was showing before the map.
void RestoreSight()
{
    BoardControl* bar = GameKeyHintBar();
    BoardControlTheme* theme = bar ? bar->GetTheme(BoardControlTheme_InGame::kThemeId) : nullptr;
    auto* inGame = theme ? HbCastTo<BoardControlTheme_InGame>(theme) : nullptr;
    if (inGame && inGame->IsSightShown())
        inGame->ShowSight();
}
} // namespace

GameState_Map::GameState_Map() : GameState(kGameStateMap) {}

GameState_Map::~GameState_Map()
{
    DropMapView();
}

MissionManager* GameState_Map::Missions() const
{
    GameProfile* profile = GetProfile();
    return profile ? &profile->GetMissions() : nullptr;
}

void GameState_Map::BuildMapView()
{
    DropMapView();
    auto* view = new MapView();
    if (!view)
        return;
    view->AddRef();
    mMapView = view;
    view->Build(Missions());
    if (W2dSurfaceList* list = SurfaceList())
        list->Insert(view);
    view->Refresh(Missions());
}

void GameState_Map::DropMapView()
{
    MapView* view = mMapView;
    if (!view)
        return;
    mMapView = nullptr;
    if (W2dSurfaceList* list = SurfaceList())
        list->Remove(view);
    view->Release();
}

void GameState_Map::OpenInput()
{
    if (HbInputManager* input = HbInputManager::Instance())
        input->PushCommandContext(kMapContext);
    if (BoardControl* bar = GameKeyHintBar())
        bar->PushTheme(kMapTheme);
}

void GameState_Map::CloseInput()
{
    if (BoardControl* bar = GameKeyHintBar(); bar && bar->GetTopThemeId() == kMapTheme)
        bar->PopTheme(kMapTheme);
    if (HbInputManager* input = HbInputManager::Instance(); input && input->GetCommandContextName() == kMapContext)
        input->PopCommandContext(kMapContext);
}

void GameState_Map::Enter()
{
    GameState::Enter();
    BuildMapView();
    TsFModPlaySoundAt("SD_I_PAUSE_S2DSB", nullptr);
    OpenInput();
}

void GameState_Map::Resume()
{
    GameState::Resume();
    if (mMapView)
        mMapView->Refresh(Missions());
    TsFModPlaySoundAt("SD_I_PAUSE_S2DSB", nullptr);
    OpenInput();
}

void GameState_Map::Suspend()
{
    GameState::Suspend();
    if (mMapView)
        mMapView->Close();
    CloseInput();
    TsFModPlaySoundAt("SD_I_MENU_PAUSE_OFF_S2DSB", nullptr);
    RestoreSight();
}

void GameState_Map::Leave()
{
    CloseInput();
    DropMapView();
    TsFModPlaySoundAt("SD_I_MENU_PAUSE_OFF_S2DSB", nullptr);
    RestoreSight();
    mEntered = 0;
}

void GameState_Map::Update()
{
    // Both are read every frame, so neither keeps a press for a later one.
    int32_t back = gBack.IsTriggered();
    const int32_t escape = gEscape.IsTriggered();
    if (mMapView)
        mMapView->HandleInput();
    else
        back = 1;
    GameServices& services = GameServicesTable();
    services.rendererBeginFrame();
    services.rendererEndFrame();
    if (back || escape)
        SwitchTo(kGameStateStage);
}
