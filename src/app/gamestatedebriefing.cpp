// GameState_Debriefing: the mission's results entered into the profile, the rows and their
// reveal a row every 1.7 s, scrolling, the save question and the darkened hand-over.
#include "gamestatedebriefing.h"

#include "boardcontrol.h"
#include "gameinputaction.h"
#include "gamekeyhintbar.h"
#include "gamemenu.h"
#include "gameprofile.h"
#include "gameservices.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "hbinputmanager.h"
#include "missionmanager.h"
#include "resourcegroups.h"
#include "tsfmod.h"
#include "tssoundmodule.h"
#include "w2dframedpanel.h"
#include "w2dgraphicmenu.h"
#include "w2ditemeffect.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <cstdio>
#include <string>

HB_DEFINE_CLASS_DESC(GameState_Debriefing, GameState);

namespace
{
constexpr float kFirstRowY = 0.37f;
constexpr float kDescriptionOffset = 0.09375f;
constexpr float kMarkX = 0.690594f;
constexpr float kMarkOffset = 0.016507f;
constexpr int32_t kMoveDown = 2;
constexpr int32_t kMoveUp = 3;
constexpr Rgba kDoneMark = {194, 255, 0, 255};
constexpr Rgba kWhite = {255, 255, 255, 255};
const char* const kFont = "ID_ARIAL_BLACK_FONT";
const char* const kFinishedSound = "SD_I_OBJECTIVE_FINISHED_S2DSB";
const char* const kNewSound = "SD_I_OBJECTIVE_NEW_S2DSB";

// The main objectives of the mission being debriefed: secondary ones are numbered after them.
int32_t gMainCount = 0;

GameInputAction gChoose{"MENU_CHOOSE"};
GameInputAction gUp{"MENU_UP"};
GameInputAction gNext{"MENU_NEXT"};
GameInputAction gPrevious{"MENU_PREVIOUS"};

int64_t Now()
{
    HbRealClock* clock = HbRealClock::Instance();
    return clock ? clock->mCurrentTime : 0;
}

int64_t StepTicks()
{
    return int64_t(GameState_Debriefing::kStepSeconds * double(HbPerformanceFrequency()));
}

template <class Item> Item* Held(Item* item)
{
    if (item)
        item->AddRef();
    return item;
}

W2dTextGraphicItem* MakeText(int32_t layer, const Vector& size, float charHeight, const std::string& text)
{
    auto* item = Held(new W2dTextGraphicItem(kFont, nullptr));
    if (!item)
        return nullptr;
    item->SetPriority(layer);
    item->Create();
    item->SetSize(size);
    item->SetJustify(0);
    item->SetCharHeight(charHeight);
    item->SetText(text.c_str());
    item->Show();
    return item;
}

W2dPictureItem* MakePicture(const char* textureId, int32_t layer, const Vector& size, const Vector& position)
{
    auto* picture = Held(new W2dPictureItem(textureId, -1.0f, nullptr));
    if (!picture)
        return nullptr;
    picture->SetPriority(layer);
    picture->Create();
    picture->SetSize(size);
    picture->SetPosition(position);
    picture->Show();
    return picture;
}

W2dFramedPanel* MakePanel(W2dGenericItem* content, const Vector& position, const Vector& size)
{
    auto* panel = Held(new W2dFramedPanel());
    if (!panel)
        return nullptr;
    if (!content || !panel->Build(position, content, 1, &size))
    {
        panel->HbRoot::Release();
        return nullptr;
    }
    panel->Create();
    panel->Show();
    return panel;
}

/// The list's four effects: faded out above the window and below it, and the moves by a row down
/// and up, waiting until a step starts them.
void AttachListEffects(W2dGenericItem* item, bool firstRow)
{
    if (!item)
        return;
    const Vector topFrom = {0.0f, 0.265f, 0.0f}, topTo = {0.0f, 0.215f, 0.0f};
    const Vector bottomFrom = {0.0f, 0.65f, 0.0f}, bottomTo = {0.0f, 0.69f, 0.0f};
    const Vector down = {0.0f, GameState_Debriefing::kRowStep, 0.0f};
    const Vector up = {0.0f, -GameState_Debriefing::kRowStep, 0.0f};
    const int64_t move = int64_t(0.27 * double(HbPerformanceFrequency()));
    W2dItemEffect* effects[4] = {new W2dPositionFadeEffect(&topFrom, &topTo),
                                 new W2dPositionFadeEffect(&bottomFrom, &bottomTo), new W2dMoveByEffect(&down, move),
                                 new W2dMoveByEffect(&up, move)};
    for (W2dItemEffect* effect : effects)
        if (effect)
        {
            item->AddEffect(effect);
            effect->Begin(item);
        }
    item->SetEffectActive(kMoveDown, 0);
    item->SetEffectActive(kMoveUp, 0);
    if (firstRow)
    {
        Vector at;
        item->GetPosition(&at);
        const Vector from = {-0.25f, at.y, at.z};
        if (auto* slide = new W2dSlideInEffect(int64_t(0.5 * double(HbPerformanceFrequency())), &from, item))
            item->AddEffect(slide);
    }
}

bool ItemMoving(W2dGenericItem* item)
{
    if (!item)
        return false;
    for (int32_t effect : {kMoveDown, kMoveUp})
        if (item->IsEffectActive(effect) && item->GetEffect(effect) && item->GetEffect(effect)->IsRunning())
            return true;
    return false;
}

std::string MissionText(const char* format, int32_t number)
{
    if (number < 1 || number > MissionTable::kMissions)
        return std::string();
    char id[40];
    std::snprintf(id, sizeof(id), format, number);
    return GetLocalizedText(id);
}

int32_t CountMain(Objective* objective, void* count)
{
    if (objective->GetCategory() == 0)
        ++*static_cast<int32_t*>(count);
    return 1;
}

struct Tally
{
    bool mainDone = true;
    bool allDone = true;
};

int32_t TallyObjective(Objective* objective, void* data)
{
    auto* tally = static_cast<Tally*>(data);
    if (!objective->IsDone())
    {
        tally->allDone = false;
        if (objective->GetCategory() == 0)
            tally->mainDone = false;
    }
    return 1;
}

int32_t CollectObjective(Objective* objective, void* list)
{
    static_cast<std::vector<Objective*>*>(list)->push_back(objective);
    return 1;
}
} // namespace

GameState_Debriefing::GameState_Debriefing() : GameState(kGameStateDebriefing) {}

GameState_Debriefing::~GameState_Debriefing()
{
    ReleaseItems();
}

MissionManager* GameState_Debriefing::Missions() const
{
    if (mMissions)
        return mMissions;
    GameProfile* profile = GetProfile();
    return profile ? &profile->GetMissions() : nullptr;
}

// ---- Enter ------------------------------------------------------------------------------------------

void GameState_Debriefing::Enter()
{
    ResourceGroupLoad("FRONTEND", 2);
    ReleaseItems();
    mBackground = MakePicture("FE_INTRO_TEX", -100, {1.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 0.0f});
    if (mBackground)
        mBackground->SetColour(kWhite);

    MissionManager* missions = Missions();
    gMainCount = 0;
    if (missions)
        missions->ForEachObjective(CountMain, &gMainCount);
    BuildRows(missions);
    EnterResults(missions);
    BuildLastRow();
    BuildTitleAndArrows();
    mOverlay = MakePicture("INVALID_RESOURCE_ID", 150, {1.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 0.0f});
    if (mOverlay)
    {
        mOverlay->SetColour({0, 0, 0, 0});
        mOverlay->Hide();
    }

    mAnswered = 0;
    mSaveChosen = 0;
    mStepTime = Now();
    BuildSaveQuestion();
    mRevealing = 1;
    mScrollIndex = 0;
    if (BoardControl* bar = GameKeyHintBar())
        bar->PushTheme(3);
    if (HbInputManager* input = HbInputManager::Instance())
        input->PushCommandContext("Menu");
    mFirstUpdateDone = 0;
    mMusicChannel = TsFModPlaySoundAt("VICTORY_MUSIC_STDSB", nullptr);
}

void GameState_Debriefing::EnterResults(MissionManager* missions)
{
    Tally tally;
    if (missions)
        missions->ForEachObjective(TallyObjective, &tally);
    mComplete = tally.mainDone ? 1 : 0;
    GameProfile* profile = GetProfile();
    const int32_t number = missions ? missions->GetMissionNumber() : 0;
    // A mission whose file gave no number 1 to 7 has no place in the table: nothing is entered.
    if (!profile || number < 1 || number > MissionTable::kMissions)
        return;
    if (tally.mainDone)
        profile->SetMissionResult(number - 1, 1);
    if (tally.allDone)
    {
        profile->missionTable.words[14] += 1;
        profile->missionTable.SetSecondValue(number - 1, 1);
    }
}

void GameState_Debriefing::BuildRows(MissionManager* missions)
{
    std::vector<Objective*> objectives;
    if (missions)
        missions->ForEachObjective(CollectObjective, &objectives);
    std::string prefix = GetLocalizedText("TX_WX_OBJECTIVES_TXT");
    // The text ends in the place of the number; an empty text stays empty.
    if (!prefix.empty())
        prefix.pop_back();

    mRows.reserve(objectives.size());
    for (size_t i = 0; i < objectives.size(); ++i)
    {
        const Objective* objective = objectives[i];
        const float y = kFirstRowY + kRowStep * float(i);
        const bool first = i == 0;
        Row row;
        row.done = objective->IsDone();
        const int32_t number = objective->GetId() - (objective->GetCategory() == 1 ? gMainCount : 0);
        row.heading = MakeText(98, {0.35f, 0.0625f, 0.0f}, 0.04f, prefix + " " + std::to_string(number));
        if (row.heading)
            row.heading->SetColour({59, 201, 92, 255});
        row.headingPanel = MakePanel(row.heading, {0.325f, y, 0.0f}, {0.35f, 0.0625f, 0.0f});
        row.description =
            MakeText(98, {0.65625f, 0.15625f, 0.0f}, 0.04f, GetLocalizedText(objective->GetDescriptionText().c_str()));
        row.descriptionPanel =
            MakePanel(row.description, {0.15625f, y + kDescriptionOffset, 0.0f}, {0.6875f, 0.25f, 0.0f});
        row.mark = MakePicture(row.done ? "FE_COMPLETE_TEX" : "FE_FAIL_TEX", 100, {0.0625f, 0.0625f, 0.0f},
                               {kMarkX, y + kMarkOffset, 0.0f});
        if (row.mark && row.done)
            row.mark->SetColour(kDoneMark);
        AttachListEffects(row.headingPanel, first);
        AttachListEffects(row.descriptionPanel, first);
        AttachListEffects(row.mark, first);
        mRows.push_back(row);
    }
}

void GameState_Debriefing::BuildLastRow()
{
    MissionManager* missions = Missions();
    const int32_t number = missions ? missions->GetMissionNumber() : 0;
    const float y = kRowStep * float(mRows.size()) + kDescriptionOffset + kFirstRowY;
    const bool first = mRows.empty();
    mName = MakeText(98, {0.25f, 0.0625f, 0.0f}, 0.04f, MissionText("TX_MISSION%d_NAME_TXT", number));
    if (mName)
    {
        mName->SetColour({252, 196, 121, 255});
        mName->SetPosition({0.3625f, y, 0.0f});
    }
    mNamePanel = MakePanel(mName, {0.3625f, y, 0.0f}, {0.25f, 0.0625f, 0.0f});
    mOverallMark = MakePicture(mComplete ? "FE_COMPLETE_TEX" : "FE_FAIL_TEX", 100, {0.0625f, 0.0625f, 0.0f},
                               {kMarkX, y + kMarkOffset, 0.0f});
    if (mOverallMark && mComplete)
        mOverallMark->SetColour(kDoneMark);
    AttachListEffects(mNamePanel, first);
    AttachListEffects(mOverallMark, first);
}

void GameState_Debriefing::BuildTitleAndArrows()
{
    MissionManager* missions = Missions();
    const int32_t number = missions ? missions->GetMissionNumber() : 0;
    mTitle = MakeText(98, {0.5625f, 0.09375f, 0.0f}, 0.05f, MissionText("TX_MISSION%d_TITLE_TXT", number));
    mTitlePanel = MakePanel(mTitle, {0.21875f, 0.083f, 0.0f}, {0.5625f, 0.09375f, 0.0f});
    if (mTitlePanel)
    {
        const Vector from = {-0.5625f, 0.083f, 0.0f};
        if (auto* slide = new W2dSlideInEffect(int64_t(0.5 * double(HbPerformanceFrequency())), &from, mTitlePanel))
            mTitlePanel->AddEffect(slide);
    }

    const Rgba clear = {255, 255, 255, 0};
    const int64_t fade = int64_t(0.5 * double(HbPerformanceFrequency()));
    mUpperArrow = MakePicture("FE_HIT_TEX", 100, {0.0625f, 0.0625f, 0.0f}, {0.45297f, 0.188198f, 0.0f});
    mLowerArrow = MakePicture("FE_HIT_TEX", 100, {0.0625f, 0.0625f, 0.0f}, {0.45297f, 0.9125f, 0.0f});
    if (mLowerArrow)
    {
        Vector2 c[4];
        mLowerArrow->GetCornerUVs(&c[0], &c[1], &c[2], &c[3]);
        mLowerArrow->SetCornerUVs(c[2].x, c[2].y, c[3].x, c[3].y, c[0].x, c[0].y, c[1].x, c[1].y);
    }
    // Each arrow fades in when its effect restarts: a step or a scroll makes it flash.
    for (W2dPictureItem* arrow : {mUpperArrow, mLowerArrow})
        if (arrow)
            if (auto* effect = new W2dColourFadeEffect(fade, &clear, &kWhite, 0))
            {
                arrow->AddEffect(effect);
                effect->Begin(arrow);
            }
}

void GameState_Debriefing::BuildSaveQuestion()
{
    auto* root = Held(new W2dGraphicMenu(nullptr));
    if (!root)
        return;
    mSaveRoot = root;
    MenuBuildBegin(root, {0.8f, 0.0625f, 0.0f});
    MenuAddEntry("TX_MENU_CONFIRM_YES_TXT", OnSaveYes, this);
    MenuAddSubMenu("TX_MENU_CONFIRM_NO_TXT", 4, "TX_NOT_SAVE_TXT", nullptr);
    MenuAddEntry("TX_MENU_CONFIRM_NO_TXT", MenuOnConfirmNo, MenuBuildCurrent());
    MenuAddEntry("TX_MENU_CONFIRM_YES_TXT", OnSaveNo, this);
    MenuBuildPop();
    MenuBuildEnd();
    root->SetTitleText("TX_SAVE_TXT", {0.8f, 0.0625f, 0.0f});
    root->SetPosition({0.1f, 0.36f, 0.0f});
    root->SetStep({0.0f, 0.0625f, 0.0f});
    root->SetProperty(1, MenuEntryHighlight);
    root->SetProperty(0, MenuEntryDim);
    root->BuildFrame(0);
    root->Show();
    root->HandleInput();
    root->SetBoardControl(GameKeyHintBar());
    root->SetBoardThemeId(4);
    mSaveCurrent = root;
    root->Hide();
    mMenuShown = 0;
}

// ---- The answers ------------------------------------------------------------------------------------

int32_t GameState_Debriefing::OnSaveYes(void* state)
{
    if (auto* owner = static_cast<GameState_Debriefing*>(state))
        owner->Answer(1);
    return 0;
}

int32_t GameState_Debriefing::OnSaveNo(void* state)
{
    if (auto* owner = static_cast<GameState_Debriefing*>(state))
        owner->Answer(0);
    return 0;
}

void GameState_Debriefing::Answer(int32_t save)
{
    mAnswered = 1;
    mStepTime = Now();
    mSaveChosen = save;
}

// ---- The frame --------------------------------------------------------------------------------------

template <class F> void GameState_Debriefing::ForEachListItem(F function) const
{
    for (const Row& row : mRows)
    {
        function(row.headingPanel);
        function(row.descriptionPanel);
        function(row.mark);
    }
    function(mNamePanel);
    function(mOverallMark);
}

int32_t GameState_Debriefing::IsMoving() const
{
    bool moving = false;
    ForEachListItem([&moving](W2dGenericItem* item) { moving = moving || ItemMoving(item); });
    return moving ? 1 : 0;
}

void GameState_Debriefing::MoveList(int32_t effect)
{
    ForEachListItem(
        [effect](W2dGenericItem* item)
        {
            if (item)
                item->RestartEffect(effect);
        });
}

void GameState_Debriefing::ShowList(bool shown)
{
    auto apply = [shown](W2dGenericItem* item)
    {
        if (!item)
            return;
        if (shown)
            item->Show();
        else
            item->Hide();
    };
    ForEachListItem(apply);
    apply(mTitlePanel);
    apply(mUpperArrow);
    apply(mLowerArrow);
}

void GameState_Debriefing::PlayRowSound(int32_t row)
{
    const bool done = row < GetRowCount() ? mRows[size_t(row)].done != 0 : mComplete != 0;
    TsFModPlaySoundAt(done ? kFinishedSound : kNewSound, nullptr);
}

void GameState_Debriefing::Update()
{
    GameServices& services = GameServicesTable();
    services.rendererBeginFrame();
    services.rendererEndFrame();
    const int64_t now = Now();
    if (!mFirstUpdateDone)
    {
        mFirstUpdateDone = 1;
        mStepTime = now;
        PlayRowSound(0);
        return;
    }

    ForEachListItem(
        [](W2dGenericItem* item)
        {
            if (item)
                item->Update();
        });
    for (const Row& row : mRows)
        for (W2dGenericItem* text :
             {static_cast<W2dGenericItem*>(row.heading), static_cast<W2dGenericItem*>(row.description)})
            if (text)
                text->Update();
    if (mTitlePanel)
        mTitlePanel->Update();

    const int32_t rows = GetRowCount();
    if (mRevealing)
    {
        if (gChoose.IsTriggered())
            mRevealing = 0;
        else if (!IsMoving() && now - mStepTime > StepTicks())
        {
            if (mScrollIndex < rows)
            {
                ++mScrollIndex;
                MoveList(kMoveUp);
                if (mLowerArrow)
                    mLowerArrow->RestartEffect(0);
                mStepTime = now;
                PlayRowSound(mScrollIndex);
            }
            else
                mRevealing = 0;
        }
    }
    else if (mAnswered)
    {
        const int64_t elapsed = now - mStepTime;
        if (elapsed > StepTicks())
        {
            HandOver();
            return;
        }
        if (mOverlay)
        {
            const double fraction = double(elapsed) / double(StepTicks());
            const double alpha = fraction > 1.0 ? 255.0 : fraction * 255.0;
            mOverlay->SetColour({0, 0, 0, uint8_t(alpha < 0.0 ? 0.0 : alpha)});
            mOverlay->Show();
        }
    }
    else if (mMenuShown)
    {
        W2dMenu* next = mSaveCurrent ? mSaveCurrent->HandleInput() : nullptr;
        auto* framed = next ? HbCastTo<W2dGraphicMenu>(next) : nullptr;
        mSaveCurrent = framed ? framed : mSaveRoot;
        if (!mAnswered && mSaveCurrent == mSaveRoot && gUp.IsTriggered())
        {
            if (mSaveRoot)
                mSaveRoot->Hide();
            mMenuShown = 0;
            ShowList(true);
        }
    }
    else if (gChoose.IsTriggered())
    {
        ShowList(false);
        if (mSaveRoot)
            mSaveRoot->Show();
        mSaveCurrent = mSaveRoot;
        mMenuShown = 1;
    }
    else if (!IsMoving())
    {
        if (gPrevious.IsTriggered() && mScrollIndex > 0)
        {
            --mScrollIndex;
            if (mUpperArrow)
                mUpperArrow->RestartEffect(0);
            MoveList(kMoveDown);
        }
        else if (gNext.IsTriggered() && mScrollIndex < rows)
        {
            ++mScrollIndex;
            if (mLowerArrow)
                mLowerArrow->RestartEffect(0);
            MoveList(kMoveUp);
        }
    }

    // The arrows belong to the list: they stay away while the save question covers it.
    if (!mMenuShown)
    {
        if (mUpperArrow)
        {
            if (mScrollIndex > 0)
                mUpperArrow->Show();
            else
                mUpperArrow->Hide();
            mUpperArrow->Update();
        }
        if (mLowerArrow)
        {
            if (mScrollIndex < rows)
                mLowerArrow->Show();
            else
                mLowerArrow->Hide();
            mLowerArrow->Update();
        }
    }
}

void GameState_Debriefing::HandOver()
{
    GameProfile* profile = GetProfile();
    if (!profile)
        return;
    profile->newGame = 0;
    profile->writeFile = 1;
    profile->saveLoadMode = 2;
    profile->saveLoadWord = kGameStateSelectMission;
    GameStateManager* manager = GameStateManager::Existing();
    if (!profile->campaignComplete)
    {
        SwitchTo(mSaveChosen ? kGameStateSaveLoad : kGameStateSelectMission);
        return;
    }
    // The last mission: the closing video first, then the save or the credits.
    profile->campaignComplete = 0;
    if (mSaveChosen)
        profile->saveLoadWord = kGameStateCredits;
    if (manager)
        manager->RequestCinematic("FE_VIDEO_OUTRO_VID", 1, mSaveChosen ? kGameStateSaveLoad : kGameStateCredits);
}

// ---- Leave ------------------------------------------------------------------------------------------

void GameState_Debriefing::ReleaseItems()
{
    mSaveCurrent = nullptr;
    if (W2dGraphicMenu* root = mSaveRoot)
    {
        mSaveRoot = nullptr;
        root->Clear();
        root->Release();
    }
    mMenuShown = 0;
    MenuReleaseItem(mBackground);
    MenuReleaseItem(mOverlay);
    for (Row& row : mRows)
    {
        MenuReleaseItem(row.headingPanel);
        MenuReleaseItem(row.descriptionPanel);
        MenuReleaseItem(row.heading);
        MenuReleaseItem(row.description);
        MenuReleaseItem(row.mark);
    }
    mRows.clear();
    MenuReleaseItem(mNamePanel);
    MenuReleaseItem(mName);
    MenuReleaseItem(mOverallMark);
    MenuReleaseItem(mTitlePanel);
    MenuReleaseItem(mTitle);
    MenuReleaseItem(mUpperArrow);
    MenuReleaseItem(mLowerArrow);
}

void GameState_Debriefing::Leave()
{
    if (HbInputManager* input = HbInputManager::Instance())
        input->PopCommandContext("Menu");
    if (BoardControl* bar = GameKeyHintBar())
        bar->PopTheme(3);
    if (mMusicChannel >= 0)
        TsFModStopChannel(mMusicChannel);
    mMusicChannel = -1;
    ReleaseItems();
    if (MissionManager* missions = Missions())
        missions->Reset();
}
