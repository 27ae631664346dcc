// The save and load screen: its items, the step sequence (list, choose, question, perform, not
// done, end), the cards of the carousel, the load and the save through the save manager, and the
// wait that shows a result.
#include "gamestatesaveload.h"

#include "boardcontrol.h"
#include "gamekeyhintbar.h"
#include "gamemenu.h"
#include "gameprofile.h"
#include "gameservices.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "mosavepicture.h"
#include "w2dgraphicmenu.h"
#include "w2dlistgraphiccontainer.h"
#include "w2dsaveslotmenu.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <cstdio>

namespace
{
// The state whose cards the carousel's callbacks reach; set while it is entered.
GameState_SaveLoad* gActive = nullptr;
int32_t gChosenStamp = 0;
GameWaitStepFn gWaitStep = nullptr;

constexpr int32_t kTheme = 4;
constexpr float kCardWidth = 0.21875f;
constexpr float kCardGap = 0.27875f;
constexpr float kCardY = 0.29375f;

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

CachedAction gMenuUp{"MENU_UP"};

int32_t OnYes(void* state)
{
    if (auto* owner = static_cast<GameState_SaveLoad*>(state))
        owner->Answer(1);
    return 1;
}

int32_t OnNo(void* state)
{
    if (auto* owner = static_cast<GameState_SaveLoad*>(state))
        owner->Answer(0);
    return 1;
}

/// The card's picture: the last of missions 2 to 7 whose result is 1, else the first.
int32_t PictureIndex(const MissionTable& missions)
{
    int32_t index = 0;
    for (int32_t i = 1; i <= 6; ++i)
        if (missions.words[i] == 1)
            index = i;
    return index;
}

int64_t SecondsToTicks(double seconds)
{
    return static_cast<int64_t>(seconds * static_cast<double>(HbPerformanceFrequency()));
}
} // namespace

GameState_SaveLoad::GameState_SaveLoad() : GameState(kGameStateSaveLoad) {}

GameState_SaveLoad::~GameState_SaveLoad()
{
    // A graph deleted while the screen is up takes its items with it.
    ReleaseItems();
    if (gActive == this)
        gActive = nullptr;
}

int32_t GameState_SaveLoad::Mode() const
{
    GameProfile* profile = GetProfile();
    return profile ? profile->saveLoadMode : 0;
}

// ---- Enter and leave -------------------------------------------------------------------------------

void GameState_SaveLoad::Enter()
{
    GameState::Enter();
    ReleaseItems();
    for (StepEntry& entry : mSteps)
        entry = StepEntry();
    mSteps[kStepList] = {kStepChoose, kStepEnd};
    mSteps[kStepConfirmOverwrite] = {kStepPerform, kStepBackToCards};
    mSteps[kStepPerform] = {kStepEnd, kStepNotDone};
    mSteps[kStepNotDone] = {kStepEnd, kStepList};
    mStep = kStepList;
    gActive = this;

    MenuCreateFullScreenPicture(&mBackground, "FE_INTRO_TEX");
    BuildMessageList();

    mYesNo = new W2dGraphicMenu(nullptr);
    if (mYesNo)
    {
        mYesNo->AddRef();
        MenuBuildBegin(mYesNo, {0.8f, 0.0625f, 0.0f});
        MenuAddEntry("TX_MENU_CONFIRM_NO_TXT", OnNo, this);
        MenuAddEntry("TX_MENU_CONFIRM_YES_TXT", OnYes, this);
        MenuBuildEnd();
        mYesNo->SetPosition({0.1f, 0.36f, 0.0f});
        mYesNo->SetStep({0.0f, 0.0625f, 0.0f});
        mYesNo->SetProperty(1, MenuEntryHighlight);
        mYesNo->SetProperty(0, MenuEntryDim);
        mYesNo->BuildFrame(2);
        mYesNo->HandleInput();
        mYesNo->Hide();
    }
    mYesNoCurrent = mYesNo;

    mCarousel = new W2dSaveSlotMenu(nullptr);
    if (mCarousel)
    {
        mCarousel->AddRef();
        const float step = kCardWidth + kCardGap;
        mCarousel->SetStep({step, 0.0f, 0.0f});
        // The current card, one step right of the first place, sits centred.
        mCarousel->SetPosition({0.5f - kCardWidth * 0.5f - step, kCardY, 0.0f});
    }

    mLastResult = 0;
    gChosenStamp = 0;
    mNewProfile = 0;
    mAnswer = -1;
    if (HbInputManager* input = HbInputManager::Instance())
        input->PushCommandContext("Menu");
}

void GameState_SaveLoad::BuildMessageList()
{
    MenuReleaseItem(mMessages);
    mMessages = new W2dMessageList("");
    if (!mMessages)
        return;
    mMessages->AddRef();
    mMessages->SetReversed(0);
    mMessages->SetPosition({0.1f, 0.8375f, 0.0f});
    mMessages->SetSize({0.8f, 0.1875f, 0.0f});
    mMessages->Create();
    mMessages->SetJustify(0);
    mMessages->SetTextSize(0.04f);
    const Rgba white = {255, 255, 255, 255};
    mMessages->SetStartColour(white);
    mMessages->SetEndColour(white);
}

void GameState_SaveLoad::Leave()
{
    if (HbInputManager* input = HbInputManager::Instance())
        input->PopCommandContext("Menu");
    PopTheme();
    ReleaseItems();
    if (GameProfile* profile = GetProfile())
        profile->writeFile = 0;
    mSaves.clear();
    if (gActive == this)
        gActive = nullptr;
}

void GameState_SaveLoad::ReleaseItems()
{
    mYesNoCurrent = nullptr;
    if (W2dGraphicMenu* menu = mYesNo)
    {
        mYesNo = nullptr;
        menu->Clear();
        menu->Release();
    }
    if (W2dSaveSlotMenu* carousel = mCarousel)
    {
        mCarousel = nullptr;
        carousel->Clear();
        carousel->Release();
    }
    MenuReleaseItem(mMessages);
    MenuReleaseItem(mBackground);
    MenuReleaseItem(mProfileCard);
    mMessage.clear();
}

// ---- Messages and questions --------------------------------------------------------------------------

void GameState_SaveLoad::ShowMessage(const char* textId)
{
    mMessage = textId;
    if (!mMessages)
        return;
    mMessages->RemoveAllChildren();
    mMessages->AddMessage(MessageFormat(GetLocalizedText(textId), 0, 0, 0, nullptr).c_str());
}

void GameState_SaveLoad::ClearMessage()
{
    mMessage.clear();
    if (mMessages)
        mMessages->RemoveAllChildren();
}

void GameState_SaveLoad::PushTheme()
{
    if (mThemePushed)
        return;
    if (BoardControl* bar = GameKeyHintBar(); bar && bar->PushTheme(kTheme))
        mThemePushed = 1;
}

void GameState_SaveLoad::PopTheme()
{
    if (!mThemePushed)
        return;
    mThemePushed = 0;
    if (BoardControl* bar = GameKeyHintBar())
        bar->PopTheme(kTheme);
}

void GameState_SaveLoad::Ask()
{
    PushTheme();
    mSteps[kStepQuestion] = mSteps[mStep];
    mStep = kStepQuestion;
    mAnswer = -1;
    if (mYesNo)
    {
        // "No" first: a stray choose press keeps what is there.
        mYesNo->SetCurrentIndex(0);
        mYesNo->Show();
    }
    mYesNoCurrent = mYesNo;
}

// ---- Cards ---------------------------------------------------------------------------------------------

void GameState_SaveLoad::AddCard(const SaveHeader* record)
{
    GameProfile* profile = GetProfile();
    if (!mCarousel || !profile)
        return;
    auto* card = new MoSavePicture("");
    if (!card)
        return;
    card->AddRef();
    if (record)
    {
        card->Build(PictureIndex(record->missions));
        card->SetName(record->profileName.c_str());
        card->SetPlayTime(SecondsToTicks(record->playSeconds));
        card->ShowHighlight(1);
        card->SetDifficulty(record->missions.words[MissionTable::kDifficulty]);
    }
    else
    {
        card->Build(0);
        card->SetName(GetLocalizedText("TX_MENU_SAVE_NEW_FILE_TXT").c_str());
        card->SetPlayTime(SecondsToTicks(profile->GetPlayTime()));
        card->SetDifficulty(profile->missionTable.words[MissionTable::kDifficulty]);
    }
    // A plain menu entry carries the card: a carousel's own Clear would take the shared arrows
    // away with every card removed.
    if (auto* entry = new W2dMenu(mCarousel))
    {
        entry->AddRef();
        entry->SetLabel(card);
        entry->SetCallback(SaveCardChosen, const_cast<SaveHeader*>(record), W2dMenu::kChoose);
        mCarousel->AddEntry(entry);
        entry->Release();
    }
    card->HbRoot::Release();
}

void GameState_SaveLoad::UpdateProfileCard()
{
    GameProfile* profile = GetProfile();
    if (!profile)
        return;
    if (mProfileCard)
    {
        mProfileCard->SetName(profile->profileName.c_str());
        mProfileCard->Show();
        return;
    }
    mProfileCard = new MoSavePicture("");
    if (!mProfileCard)
        return;
    mProfileCard->AddRef();
    mProfileCard->Build(PictureIndex(profile->missionTable));
    Vector size = {kCardWidth, 0.0f, 0.0f};
    mProfileCard->GetSize(&size);
    size.x = kCardWidth;
    mProfileCard->SetSize(size);
    mProfileCard->SetPosition({0.5f - kCardWidth * 0.5f, kCardY, 0.0f});
    mProfileCard->ShowHighlight(1);
    mProfileCard->SetName(profile->profileName.c_str());
    mProfileCard->SetDifficulty(profile->missionTable.words[MissionTable::kDifficulty]);
    mProfileCard->SetPlayTime(SecondsToTicks(profile->GetPlayTime()));
    mProfileCard->Show();
}

int32_t GameState_SaveLoad::CardChosen(const SaveHeader* record)
{
    GameProfile* profile = GetProfile();
    if (!profile)
        return 0;
    if (Mode() == kModeLoad && record)
    {
        profile->sectorId.clear();
        profile->saveKey = record->fileName;
        profile->profileName = record->profileName;
        profile->secondsBefore = record->playSeconds;
        gChosenStamp = record->stamp;
    }
    else if (Mode() == kModeSave && record)
    {
        if (mStep == kStepChoose)
        {
            mStep = kStepConfirmOverwrite;
            mNewProfile = 0;
        }
        // The current profile takes the name of the save it will overwrite.
        profile->saveKey = record->fileName;
        profile->profileName = record->profileName;
        gChosenStamp = record->stamp;
    }
    if (mStep == kStepChoose)
    {
        mNewProfile = 1;
        mStep = kStepPerform;
    }
    return 1;
}

std::string GameState_SaveLoad::NewProfileName() const
{
    GameSaveManager* saves = GameSaveManager::Instance();
    for (size_t number = mSaves.size() + 1;; ++number)
    {
        char name[32];
        std::snprintf(name, sizeof(name), "%s%zu", "Profile", number);
        // Taken when a listed save has the name or any file (even one that does not decode) has
        // its file name: that file would be overwritten.
        bool taken = false;
        for (const SaveHeader& save : mSaves)
            taken = taken || save.profileName == name;
        int32_t hasData = 0;
        taken = taken || (saves && saves->FindSave(GameSaveManager::MakeFileName(name).c_str(), -1, &hasData));
        if (!taken)
            return name;
    }
}

// ---- Load and save ---------------------------------------------------------------------------------------

int32_t GameState_SaveLoad::Load()
{
    GameProfile* profile = GetProfile();
    GameSaveManager* saves = GameSaveManager::Instance();
    if (!profile || !saves)
        return 0;
    const char* key = profile->saveKey.c_str();
    int32_t hasData = 0;
    SaveHeader header;
    const bool chosen = saves->FindSave(key, profile->saveLoadSlot, &hasData) && hasData &&
                        saves->ReadSaveHeader(key, header, profile->saveLoadSlot) && header.stamp == gChosenStamp;
    if (!chosen)
    {
        // The save changed or went since the list was read.
        ShowMessage("TX_PCM6_0_7_TXT");
        WaitSeconds(kResultSeconds);
        return 0;
    }
    const int32_t loaded = saves->LoadProfile(key);
    ShowMessage(loaded ? "TX_M6_0_8_TXT" : "TX_PCM6_0_7_TXT");
    WaitSeconds(kResultSeconds);
    if (!loaded)
        return 0;
    const SaveHeader& record = saves->GetHeader();
    profile->sectorId.clear();
    HbGameClock* clock = HbGameClock::Instance();
    profile->playStart = clock ? clock->mLastCounterValue : 0;
    profile->secondsBefore = record.playSeconds;
    const int32_t reserved = profile->prefs.reserved;
    profile->prefs = record.prefs;
    profile->prefs.reserved = reserved;
    profile->prefs.Apply();
    profile->missionTable = record.missions;
    GameSaveManager::RestoreMissions(record, profile->GetMissions());
    return 1;
}

int32_t GameState_SaveLoad::Save()
{
    GameProfile* profile = GetProfile();
    GameSaveManager* saves = GameSaveManager::Instance();
    int32_t result = saves ? saves->SaveCheckpoint() : 0;
    if (result && profile && profile->writeFile)
        result = saves->SaveCurrentProfile();
    ShowMessage(result ? "TX_M5_1_3_TXT" : "TX_PCM5_0_9_TXT");
    WaitSeconds(kResultSeconds);
    return result;
}

// ---- The frame ---------------------------------------------------------------------------------------------

void GameState_SaveLoad::SwitchBack()
{
    GameState* previous = GetPrevious();
    if (previous && SwitchTo(previous->GetId()))
        return;
    // Never left without a way out.
    SwitchTo(kGameStateMainMenu);
}

void GameState_SaveLoad::Update()
{
    GameServices& services = GameServicesTable();
    services.rendererBeginFrame();
    services.rendererEndFrame();
    GameProfile* profile = GetProfile();
    const int32_t mode = Mode();

    switch (mStep)
    {
    case kStepQuestion:
    {
        if (mCarousel)
            mCarousel->Hide();
        int32_t answer = -1;
        if (gMenuUp.IsTriggered())
            answer = 0;
        else if (mYesNoCurrent)
        {
            mAnswer = -1;
            W2dMenu* next = mYesNoCurrent->HandleInput();
            auto* framed = next ? HbCastTo<W2dGraphicMenu>(next) : nullptr;
            mYesNoCurrent = framed ? framed : mYesNo;
            answer = mAnswer;
        }
        if (answer < 0)
            break;
        if (mYesNo)
            mYesNo->Hide();
        mStep = answer ? mSteps[kStepQuestion].yes : mSteps[kStepQuestion].no;
        PopTheme();
        break;
    }
    case kStepChoose:
        if (mYesNo)
            mYesNo->Hide();
        if (gMenuUp.IsTriggered())
        {
            if (profile)
                profile->saveLoadWord = kGameStateSelectMission;
            if (mCarousel)
                mCarousel->Hide();
            mStep = kStepNotDone;
            break;
        }
        if (mCarousel)
            mCarousel->HandleInput();
        break;
    case kStepList:
    {
        // The cards go before the records they point at.
        if (mCarousel)
            mCarousel->RemoveAllEntries();
        mSaves.clear();
        if (GameSaveManager* saves = GameSaveManager::Instance())
            saves->ListSaves(mSaves, profile ? profile->saveLoadSlot : -1);
        if (mSaves.empty() && mode == kModeLoad)
        {
            ShowMessage("TX_PCM6_0_2_TXT");
            WaitSeconds(kResultSeconds);
            mStep = kStepEnd;
            break;
        }
        for (const SaveHeader& save : mSaves)
            AddCard(&save);
        if (mode == kModeSave)
            AddCard(nullptr);
        ClearMessage();
        if (mCarousel)
            mCarousel->Show();
        PushTheme();
        ShowMessage("TX_MENU_SAVE_LOAD_SELECT_TXT");
        mStep = kStepChoose;
        break;
    }
    case kStepConfirmOverwrite:
        ShowMessage("TX_M5_1_2_TXT");
        Ask();
        break;
    case kStepPerform:
        PopTheme();
        if (mCarousel)
            mCarousel->Hide();
        if (mYesNo)
            mYesNo->Hide();
        if (mode == kModeLoad)
            mLastResult = Load();
        else
        {
            if (mNewProfile && profile)
                profile->profileName = NewProfileName();
            UpdateProfileCard();
            mLastResult = Save();
        }
        if (mLastResult)
            mStep = kStepEnd;
        else
        {
            mStep = kStepNotDone;
            if (mProfileCard)
                mProfileCard->Hide();
        }
        break;
    case kStepNotDone:
        if (mLastResult == 1)
        {
            mStep = kStepEnd;
            break;
        }
        ShowMessage(mode == kModeLoad ? "TX_M6_0_9_TXT" : "TX_M5_1_4_TXT");
        Ask();
        break;
    case kStepEnd:
    {
        if (mode == kModeLoad)
        {
            // A load that was not done always goes back to the caller.
            if (mLastResult == 0)
            {
                SwitchBack();
                return;
            }
            if (profile)
                profile->loadRequest = 1;
        }
        const int32_t next = profile ? profile->saveLoadWord : 0;
        if (next == 0)
            SwitchBack();
        else if (next == kGameStateStage)
            profile->RequestStage("", "");
        else if (!SwitchTo(next))
            SwitchBack();
        return;
    }
    case kStepBackToCards:
        ShowMessage("TX_MENU_SAVE_LOAD_SELECT_TXT");
        PushTheme();
        if (mCarousel)
            mCarousel->Show();
        mStep = kStepChoose;
        break;
    default:
        // A step without actions would hold the screen for ever.
        mStep = kStepEnd;
        break;
    }
}

// ---- Callbacks and the wait ------------------------------------------------------------------------------

int32_t SaveCardChosen(void* record)
{
    GameStateManager* manager = GameStateManager::Existing();
    GameState* current = manager ? manager->GetCurrentState() : nullptr;
    if (!gActive || current != gActive || !current->GetProfile())
        return 0;
    return gActive->CardChosen(static_cast<const SaveHeader*>(record));
}

int32_t SaveLoadChosenStamp()
{
    return gChosenStamp;
}

void GameWaitSetStep(GameWaitStepFn step)
{
    gWaitStep = step;
}

int64_t WaitSeconds(float seconds)
{
    HbRealClock* clock = HbRealClock::Instance();
    if (!clock)
        return 0;
    GameServices& services = GameServicesTable();
    clock->Tick();
    const int64_t start = clock->mCurrentTime;
    const int64_t wanted = SecondsToTicks(seconds);
    int64_t elapsed = 0;
    int32_t still = 0;
    while (elapsed < wanted && still < 1000)
    {
        if (gWaitStep)
            gWaitStep();
        services.rendererBeginFrame();
        services.rendererEndFrame();
        const int64_t before = clock->mCurrentTime;
        clock->Tick();
        still = clock->mCurrentTime == before ? still + 1 : 0;
        elapsed = clock->mCurrentTime - start;
    }
    return elapsed;
}
