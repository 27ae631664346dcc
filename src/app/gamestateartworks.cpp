// GameState_Artworks: the mission's artwork group loaded for one visit, its pages over a
// full-screen backdrop, and everything unloaded on the way back to the mission selection.
#include "gamestateartworks.h"

#include "boardcontrol.h"
#include "gameinputaction.h"
#include "gamekeyhintbar.h"
#include "gamemenu.h"
#include "gameprofile.h"
#include "gameservices.h"
#include "hbinputmanager.h"
#include "resourcegroups.h"
#include "w2dlabel.h"
#include "w2dsurfacegraphicitem.h"

HB_DEFINE_CLASS_DESC(GameState_Artworks, GameState);

namespace
{
constexpr int32_t kArtworkTheme = 7;
const char* const kLabelContext = "Label";

GameInputAction gNext{"LABEL_NEXT"};
GameInputAction gEscape{"LABEL_ESC"};
} // namespace

GameState_Artworks::GameState_Artworks() : GameState(kGameStateArtworks) {}

GameState_Artworks::~GameState_Artworks()
{
    MenuReleaseItem(mBackground);
}

void GameState_Artworks::Enter()
{
    // The base entry marks the state entered: the manager sends a state never entered back to
    // the main menu as one still to be built.
    GameState::Enter();
    GameProfile* profile = GetProfile();
    mGroup = (profile ? profile->sectorId : std::string()) + "artwork";
    ResourceGroupLoad(mGroup.c_str(), 0);

    MenuReleaseItem(mBackground);
    if (auto* background = new W2dPictureItem("FE_MAP_BACK_ART", -1.0f, nullptr))
    {
        background->AddRef();
        mBackground = background;
        background->SetPriority(-10000);
        background->Create();
        background->SetSize({1.0f, 1.0f, 0.0f});
        background->SetPosition({0.0f, 0.0f, 0.0f});
        background->Show();
    }
    if (ArtworkList* artworks = ArtworkList::Instance())
        artworks->ShowFirst();
    if (HbInputManager* input = HbInputManager::Instance())
        input->PushCommandContext(kLabelContext);
    if (BoardControl* bar = GameKeyHintBar())
        bar->PushTheme(kArtworkTheme);
}

void GameState_Artworks::Update()
{
    GameServices& services = GameServicesTable();
    services.rendererBeginFrame();
    services.rendererEndFrame();
    // Both are read every frame; pressed together, the page turns.
    const int32_t next = gNext.IsTriggered();
    const int32_t escape = gEscape.IsTriggered();
    ArtworkList* artworks = ArtworkList::Instance();
    if (next)
    {
        if (!artworks || !artworks->ShowNext())
        {
            SwitchTo(kGameStateSelectMission);
            return;
        }
    }
    else if (escape)
    {
        SwitchTo(kGameStateSelectMission);
        return;
    }
    if (artworks)
        artworks->UpdateCurrent();
}

void GameState_Artworks::Leave()
{
    if (HbInputManager* input = HbInputManager::Instance())
        input->PopCommandContext(kLabelContext);
    if (BoardControl* bar = GameKeyHintBar())
        bar->PopTheme(kArtworkTheme);
    MenuReleaseItem(mBackground);
    if (ArtworkList* artworks = ArtworkList::Instance())
        artworks->Clear();
    ResourceGroupUnload(mGroup.c_str());
}
