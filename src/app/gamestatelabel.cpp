// GameState_Label: which sector's pages, when they are shown and paged, the half-second wait
// after the last one, and where the state goes next.
#include "gamestatelabel.h"

#include "boardcontrol.h"
#include "gameinputaction.h"
#include "gamekeyhintbar.h"
#include "gamemenu.h"
#include "gameprofile.h"
#include "gameservices.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "hbinputmanager.h"
#include "resourcegroups.h"
#include "w2dlabel.h"
#include "w2dsurfacegraphicitem.h"

HB_DEFINE_CLASS_DESC(GameState_Label, GameState);

namespace
{
constexpr int32_t kLabelTheme = 3;
const char* const kLabelContext = "Label";

int32_t gShown = 0;
int32_t gActive = 0;

GameInputAction gNext{"LABEL_NEXT"};

int64_t Now()
{
    HbRealClock* clock = HbRealClock::Instance();
    return clock ? clock->mCurrentTime : 0;
}

bool ShowFirstPage()
{
    LabelList* labels = LabelList::Instance();
    return labels && labels->ShowFirst();
}

void UpdatePage()
{
    if (LabelList* labels = LabelList::Instance())
        labels->UpdateCurrent();
}
} // namespace

GameState_Label::GameState_Label() : GameState(kGameStateLabel) {}

GameState_Label::~GameState_Label()
{
    MenuReleaseItem(mBackground);
}

int32_t GameState_Label::IsShown()
{
    return gShown;
}

int32_t GameState_Label::IsActive()
{
    return gActive;
}

std::string GameState_Label::GroupName(const std::string& sector) const
{
    GameProfile* profile = GetProfile();
    return sector + "label" + (profile && profile->labelAfterMission ? "end" : "");
}

void GameState_Label::MakeBackground(bool lit)
{
    MenuReleaseItem(mBackground);
    auto* background = new W2dPictureItem("FE_MAP_BACK_TEX", -1.0f, nullptr);
    if (!background)
        return;
    background->AddRef();
    mBackground = background;
    background->SetPriority(-10000);
    background->Create();
    background->SetSize({1.0f, 1.0f, 0.0f});
    background->SetPosition({0.0f, 0.0f, 0.0f});
    background->Show();
    background->SetColour(lit ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 0, 255});
}

void GameState_Label::Enter()
{
    // Marked entered, or the manager takes the state for a placeholder.
    GameState::Enter();
    mEndTime = 0;
    GameProfile* profile = GetProfile();
    if (!profile)
    {
        gActive = 0;
        return;
    }
    mLabelSector = profile->labelAfterMission ? profile->lastMissionSector : profile->sectorId;
    if (!profile->forwardEntry && !profile->labelAfterMission)
    {
        // A backward change shows nothing: the first update starts the stage.
        gActive = 0;
        gShown = 0;
        return;
    }
    gActive = 1;
    ResourceGroupLoad(GroupName(mLabelSector).c_str(), 2);
    gShown = ShowFirstPage() ? 1 : 0;
    MakeBackground(gShown && profile->forwardEntry);
    if (HbInputManager* input = HbInputManager::Instance())
        input->PushCommandContext(kLabelContext);
    if (BoardControl* bar = GameKeyHintBar())
        bar->PushTheme(kLabelTheme);
}

void GameState_Label::Update()
{
    GameServices& services = GameServicesTable();
    services.rendererBeginFrame();
    services.rendererEndFrame();
    GameProfile* profile = GetProfile();
    if (!profile)
        return;

    if (gShown && profile->forwardEntry)
    {
        if (mEndTime == 0)
        {
            if (gNext.IsTriggered())
            {
                LabelList* labels = LabelList::Instance();
                if (!labels || !labels->ShowNext())
                    mEndTime = Now();
            }
            UpdatePage();
            return;
        }
        const auto wait = int64_t(kEndWaitSeconds * double(HbPerformanceFrequency()));
        if (Now() - mEndTime < wait)
        {
            UpdatePage();
            return;
        }
    }

    if (profile->labelAfterMission)
    {
        if (profile->worldResetRequest)
        {
            profile->worldResetRequest = 0;
            SwitchTo(kGameStateDebriefing);
        }
        else
            GoOnToNextSector();
        return;
    }
    if (GameStateManager* manager = GameStateManager::Existing())
        manager->StartLoadingScreen();
    profile->RequestStage(mLabelSector.c_str(), "");
}

void GameState_Label::GoOnToNextSector()
{
    GameProfile* profile = GetProfile();
    if (LabelList* labels = LabelList::Instance())
        labels->Clear();
    MenuReleaseItem(mBackground);
    ResourceGroupUnload(GroupName(mLabelSector).c_str());
    profile->labelAfterMission = 0;

    mLabelSector = profile->sectorId;
    mEndTime = 0;
    ResourceGroupLoad(GroupName(mLabelSector).c_str(), 2);
    gShown = ShowFirstPage() ? 1 : 0;
    MakeBackground(gShown && profile->forwardEntry);
}

void GameState_Label::Leave()
{
    GameProfile* profile = GetProfile();
    // Cleaned once: a second leave finds nothing of the first visit to release.
    if (gActive)
    {
        if (HbInputManager* input = HbInputManager::Instance())
            input->PopCommandContext(kLabelContext);
        if (BoardControl* bar = GameKeyHintBar())
            bar->PopTheme(kLabelTheme);
        MenuReleaseItem(mBackground);
        if (LabelList* labels = LabelList::Instance())
            labels->Clear();
        ResourceGroupUnload(GroupName(mLabelSector).c_str());
    }
    if (profile)
        profile->labelAfterMission = 0;
    mEndTime = 0;
    gActive = 0;
}
