// GameState_PauseLabel: the sector's "labelmiddle" group loaded for one showing, its pages over
// a full-screen backdrop, and everything dropped again on the way back to the stage.
#include "gamestatepauselabel.h"

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

HB_DEFINE_CLASS_DESC(GameState_PauseLabel, GameState);

namespace
{
constexpr int32_t kLabelTheme = 5;
const char* const kLabelContext = "Label";

GameInputAction gNext{"LABEL_NEXT"};

std::string GroupName(const std::string& sector)
{
    return sector + "labelmiddle";
}
} // namespace

GameState_PauseLabel::GameState_PauseLabel() : GameState(kGameStatePauseLabel) {}

GameState_PauseLabel::~GameState_PauseLabel()
{
    MenuReleaseItem(mBackground);
}

void GameState_PauseLabel::Enter()
{
    // The base entry marks the state entered: the manager sends a state never entered back to
    // the main menu as one still to be built.
    GameState::Enter();
    GameProfile* profile = GetProfile();
    mSector = profile ? profile->sectorId : std::string();
    // Pages of the middle of a sector stay out of the one-group layers the stage holds.
    ResourceGroupLoad(GroupName(mSector).c_str(), 0);
    LabelList* labels = LabelList::Instance();
    mHasLabels = labels && labels->ShowFirst() ? 1 : 0;

    MenuReleaseItem(mBackground);
    if (auto* background = new W2dPictureItem("FE_MAP_BACK_TEX", -1.0f, nullptr))
    {
        background->AddRef();
        mBackground = background;
        background->SetPriority(-10000);
        background->Create();
        background->SetSize({1.0f, 1.0f, 0.0f});
        background->SetPosition({0.0f, 0.0f, 0.0f});
        background->Show();
        if (!mHasLabels)
            background->SetColour({0, 0, 0, 255});
    }
    if (HbInputManager* input = HbInputManager::Instance())
        input->PushCommandContext(kLabelContext);
    if (BoardControl* bar = GameKeyHintBar())
        bar->PushTheme(kLabelTheme);
}

void GameState_PauseLabel::Update()
{
    if (!mHasLabels)
    {
        SwitchTo(kGameStateStage);
        return;
    }
    GameServices& services = GameServicesTable();
    services.rendererBeginFrame();
    services.rendererEndFrame();
    LabelList* labels = LabelList::Instance();
    if (gNext.IsTriggered() && (!labels || !labels->ShowNext()))
    {
        SwitchTo(kGameStateStage);
        return;
    }
    if (labels)
        labels->UpdateCurrent();
}

void GameState_PauseLabel::Leave()
{
    if (HbInputManager* input = HbInputManager::Instance())
        input->PopCommandContext(kLabelContext);
    if (BoardControl* bar = GameKeyHintBar())
        bar->PopTheme(kLabelTheme);
    MenuReleaseItem(mBackground);
    if (LabelList* labels = LabelList::Instance())
        labels->Clear();
    ResourceGroupUnload(GroupName(mSector).c_str());
    if (GameProfile* profile = GetProfile())
        profile->pauseLabelRequest = 0;
}
