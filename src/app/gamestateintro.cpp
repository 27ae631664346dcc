// GameState_Intro: the pictures of the logo sequence, its steps three seconds apart on the real
// clock, the title screen with its blinking prompt, and "START".
#include "gamestateintro.h"

#include "gamemenu.h"
#include "gameservices.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "hbcommand.h"
#include "hbinputaction.h"
#include "hbinputmanager.h"
#include "resourcegroups.h"
#include "tsfmod.h"
#include "tssoundmodule.h"
#include "w2ditemeffect.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <initializer_list>

HB_DEFINE_CLASS_DESC(GameState_Intro, GameState);

namespace
{
enum EffectKind : int32_t
{
    kNoEffect,
    kFade,
    kSlideIn,
};

struct PictureDesc
{
    const char* texture;
    int32_t layer;
    float width, height;
    float x, y;
    bool positioned;
    bool shown;
    EffectKind effect;
    Rgba fadeFrom;
    Vector slideFrom;
};

constexpr Rgba kClear = {255, 255, 255, 0};
constexpr Rgba kDark = {0, 0, 0, 0};
constexpr Rgba kWhite = {255, 255, 255, 255};
constexpr Rgba kBlack = {0, 0, 0, 255};
constexpr Vector kNowhere = {0.0f, 0.0f, 0.0f};

constexpr PictureDesc kPictures[GameState_Intro::kPictureCount] = {
    {"FE_LOGO_TALMERIC_TEX", 0, 0.25f, 0.25f, 0.382f, 0.274f, true, true, kNoEffect, {}, kNowhere},
    {"FE_TITLE_TALMERIC_TEX", 0, 0.5f, 0.125f, 0.249f, 0.539f, true, true, kNoEffect, {}, kNowhere},
    {"FE_LOGO_ORV_TEX", 1, 0.25f, 0.25f, 0.175f, 0.399f, true, false, kFade, kClear, kNowhere},
    {"FE_LOGO_ORV_BLUE_TEX", 0, 0.25f, 0.25f, 0.175f, 0.399f, true, false, kSlideIn, {}, {-0.25f, 0.399f, 0.0f}},
    {"FE_LOGO_ORV_BLUE02_TEX", 0, 0.5f, 0.25f, 0.306f, 0.399f, true, false, kSlideIn, {}, {0.306f, 1.0f, 0.0f}},
    {"FE_LOGO_ORV_BLUE03_TEX", 0, 0.125f, 0.25f, 0.683f, 0.399f, true, false, kSlideIn, {}, {0.683f, 1.0f, 0.0f}},
    {"FE_LOGO_ORV_BLUE04_TEX", 0, 0.0625f, 0.25f, 0.793f, 0.399f, true, false, kSlideIn, {}, {-0.0625f, 0.399f, 0.0f}},
    {"FE_LOGO_ORV_TEXT_TEX", 0, 0.5f, 0.0625f, 0.399f, 0.6f, true, false, kFade, kDark, kNowhere},
    {"FE_LOGO_CORVANE_TEX", -1, 0.41666666f, 0.41666666f, 0.26f, 0.02f, true, false, kNoEffect, {}, kNowhere},
    {"FE_LOGO_CORVANE_TITLE1_TEX", 0, 0.5f, 0.0625f, 0.197f, 0.384f, true, false, kNoEffect, {}, kNowhere},
    {"FE_LOGO_CORVANE_TITLE2_TEX", 1, 0.25f, 0.0625f, 0.633f, 0.384f, true, false, kNoEffect, {}, kNowhere},
    {"FE_LOGO_ENGINE_TEX", -1, 0.5f, 0.25f, 0.273f, 0.509f, true, false, kNoEffect, {}, kNowhere},
    {"FE_LOGO_ENGINE_TITLE1_TEX", 0, 0.5f, 0.125f, 0.167f, 0.759f, true, false, kNoEffect, {}, kNowhere},
    {"FE_LOGO_ENGINE_TITLE2_TEX", 0, 0.25f, 0.125f, 0.666f, 0.759f, true, false, kNoEffect, {}, kNowhere},
    {"FE_TITLE_TEX", 0, 1.0f, 1.0f, 0.0f, 0.0f, true, false, kNoEffect, {}, kNowhere},
    {"", -100, 1.0f, 1.0f, 0.0f, 0.0f, false, true, kNoEffect, {}, kNowhere},
    {"FE_LOGO_FMOD_TEX", 100, 1.0f, 0.5f, 0.0f, 0.25f, true, true, kFade, kDark, kNowhere},
};

constexpr int32_t kMakerPieces[] = {GameState_Intro::kMakerLogo, GameState_Intro::kMakerBar1,
                                    GameState_Intro::kMakerBar2, GameState_Intro::kMakerBar3,
                                    GameState_Intro::kMakerBar4, GameState_Intro::kMakerLettering};
constexpr int32_t kPublisher[] = {GameState_Intro::kPublisherLogo, GameState_Intro::kPublisherTitle};
constexpr int32_t kEngineAndEditor[] = {GameState_Intro::kEngineLogo,   GameState_Intro::kEngineTitle1,
                                        GameState_Intro::kEngineTitle2, GameState_Intro::kEditorLogo,
                                        GameState_Intro::kEditorTitle1, GameState_Intro::kEditorTitle2};
// What Leave releases after the background and the prompt, in its order.
constexpr int32_t kReleaseOrder[] = {
    GameState_Intro::kMakerLogo,     GameState_Intro::kMakerBar1,      GameState_Intro::kMakerBar2,
    GameState_Intro::kMakerBar3,     GameState_Intro::kMakerBar4,      GameState_Intro::kMakerLettering,
    GameState_Intro::kPublisherLogo, GameState_Intro::kPublisherTitle, GameState_Intro::kTitle,
    GameState_Intro::kEngineLogo,    GameState_Intro::kEngineTitle1,   GameState_Intro::kEngineTitle2,
    GameState_Intro::kEditorLogo,    GameState_Intro::kEditorTitle1,   GameState_Intro::kEditorTitle2,
    GameState_Intro::kSoundLogo};

constexpr double kFadeSeconds = 0.5;
constexpr double kFadeDelaySeconds = 1.0;
constexpr double kSlideSeconds = 0.2;
constexpr double kBlinkSeconds = 0.7;
constexpr double kScreenFadeSeconds = 1.0;

// Cleared by Enter: the first Update takes its time as the previous step's.
int32_t sStepTimerArmed = 0;

int64_t Ticks(double seconds)
{
    return int64_t(seconds * double(HbPerformanceFrequency()));
}

int64_t Now()
{
    HbRealClock* clock = HbRealClock::Instance();
    return clock ? clock->mCurrentTime : 0;
}

void FadeInScreen()
{
    if (GameStateManager* manager = GameStateManager::Existing())
        manager->FadeIn(Ticks(kScreenFadeSeconds), 1);
}

void Log(const char* text)
{
    HbCommandDebugOutput(text);
    HbCommandDebugOutput("\n");
}
} // namespace

GameState_Intro::GameState_Intro() : GameState(kGameStateIntro) {}

GameState_Intro::~GameState_Intro()
{
    ReleaseItems();
}

W2dPictureItem* GameState_Intro::GetPicture(int32_t picture) const
{
    return picture >= 0 && picture < kPictureCount ? mPictures[picture] : nullptr;
}

void GameState_Intro::Enter()
{
    mStep = 0;
    mStepStarted = 0;
    ResourceGroupLoad("INTRO", 2);
    Log("Preloading INTRO Done");
    if (GameStateManager* manager = GameStateManager::Existing())
    {
        manager->StopLoadingScreen();
        manager->RemoveExtraItems();
    }
    GameState::Enter();
    MakePictures();
    MakePrompt();
    TsFModPlaySoundAt("Z_TITLE_STDSB", nullptr);
    sStepTimerArmed = 0;
}

void GameState_Intro::MakePictures()
{
    for (int32_t i = 0; i < kPictureCount; ++i)
    {
        const PictureDesc& desc = kPictures[i];
        auto* picture = new W2dPictureItem(desc.texture, -1.0f, nullptr);
        if (!picture)
            continue;
        picture->AddRef();
        mPictures[i] = picture;
        picture->SetPriority(desc.layer);
        picture->Create();
        picture->SetSize({desc.width, desc.height, 0.0f});
        if (desc.positioned)
            picture->SetPosition({desc.x, desc.y, 0.0f});
        if (desc.shown)
            picture->Show();
        else
            picture->Hide();
        // Faded pictures wear the fade's start colour, so they stay unseen until it runs.
        if (desc.effect == kFade)
            picture->SetColour(desc.fadeFrom);
        W2dItemEffect* effect = nullptr;
        if (desc.effect == kFade)
            effect = new W2dColourFadeEffect(Ticks(kFadeSeconds), &desc.fadeFrom, &kWhite, Ticks(kFadeDelaySeconds));
        else if (desc.effect == kSlideIn)
            effect = new W2dSlideInEffect(Ticks(kSlideSeconds), &desc.slideFrom, picture);
        if (effect)
        {
            picture->AddEffect(effect);
            effect->Begin(picture);
            picture->StopEffects();
        }
    }
    if (W2dPictureItem* background = mPictures[kBackground])
        background->SetColour(kBlack);
}

void GameState_Intro::MakePrompt()
{
    auto* prompt = new W2dTextGraphicItem("ID_ARIAL_BLACK_FONT", nullptr);
    if (!prompt)
        return;
    prompt->AddRef();
    mPrompt = prompt;
    prompt->SetPriority(102);
    prompt->Create();
    prompt->SetSize({1.0f, 0.1f, 0.0f});
    prompt->SetJustify(0);
    prompt->SetPosition({0.0f, 0.9f, 0.0f});
    prompt->SetCharHeight(0.05f);
    prompt->SetText(GetLocalizedText("TX_DEMO_ENTER_TXT").c_str());
    prompt->SetColour(kWhite);
    prompt->Show();
    if (auto* blink = new W2dBlinkEffect(Ticks(kBlinkSeconds)))
    {
        blink->AddRef();
        mBlink = blink;
        prompt->AddEffect(blink);
    }
    prompt->StopEffects();
    prompt->Hide();
}

int32_t GameState_Intro::StartPressed()
{
    const uint32_t bindings = HbInputManager::BindingCounter();
    if (!mStart || bindings != mStartBindings)
    {
        HbInputManager* input = HbInputManager::Instance();
        mStart = input ? input->FindAction("START") : nullptr;
        mStartBindings = bindings;
    }
    return mStart && mStart->IsTriggered() ? 1 : 0;
}

void GameState_Intro::Update()
{
    if (StartPressed())
    {
        SwitchTo(kGameStateMainMenu);
        return;
    }
    GameServices& services = GameServicesTable();
    services.rendererBeginFrame();
    services.rendererEndFrame();
    UpdateItems();
    if (mStep == kTitleStep)
        return;
    const int64_t now = Now();
    if (!sStepTimerArmed)
    {
        mLastStepTime = now;
        sStepTimerArmed = 1;
    }
    if (now - mLastStepTime <= Ticks(kStepSeconds))
        return;
    mLastStepTime = now;
    RunStep();
}

void GameState_Intro::UpdateItems()
{
    for (int32_t piece : kMakerPieces)
        if (mPictures[piece])
            mPictures[piece]->Update();
    if (mPrompt)
        mPrompt->Update();
    for (int32_t picture : {kTitle, kSoundLogo})
        if (mPictures[picture])
            mPictures[picture]->Update();
}

void GameState_Intro::RunStep()
{
    auto show = [this](std::initializer_list<int32_t> pictures, bool shown)
    {
        for (int32_t picture : pictures)
            if (W2dPictureItem* item = mPictures[picture])
            {
                if (shown)
                    item->Show();
                else
                    item->Hide();
            }
    };
    auto showAll = [&show](const auto& pictures, bool shown)
    {
        for (int32_t picture : pictures)
            show({picture}, shown);
    };
    auto setBackground = [this](const Rgba& colour)
    {
        if (W2dPictureItem* background = mPictures[kBackground])
            background->SetColour(colour);
    };

    switch (mStep)
    {
    case 0:
        showAll(kMakerPieces, false);
        show({kPublisherLogo}, true);
        show({kTitle}, false);
        showAll(kEngineAndEditor, false);
        mStep = 1;
        break;
    case 1:
        showAll(kPublisher, false);
        showAll(kMakerPieces, true);
        if (!mStepStarted)
        {
            FadeInScreen();
            for (int32_t piece : kMakerPieces)
                if (mPictures[piece])
                    mPictures[piece]->StartEffects();
            mStepStarted = 1;
        }
        show({kTitle}, false);
        showAll(kEngineAndEditor, false);
        if (!mPictures[kMakerLogo] || mPictures[kMakerLogo]->AreEffectsStopped())
        {
            mStep = 2;
            mStepStarted = 0;
        }
        break;
    case 2:
        // The only white screen of the sequence.
        setBackground(kWhite);
        showAll(kMakerPieces, false);
        show({kTitle}, false);
        show({kEngineLogo, kEngineTitle1, kEngineTitle2}, true);
        if (!mStepStarted)
        {
            FadeInScreen();
            mStepStarted = 1;
        }
        show({kEditorLogo}, true);
        showAll(kPublisher, false);
        show({kEditorTitle1, kEditorTitle2}, true);
        mStep = 3;
        mStepStarted = 0;
        break;
    case 3:
        setBackground(kBlack);
        showAll(kEngineAndEditor, false);
        showAll(kPublisher, false);
        if (!mStepStarted)
        {
            FadeInScreen();
            mStepStarted = 1;
            show({kSoundLogo}, true);
            if (mPictures[kSoundLogo])
                mPictures[kSoundLogo]->StartEffects();
        }
        if (!mPictures[kSoundLogo] || mPictures[kSoundLogo]->AreEffectsStopped())
        {
            mStep = 4;
            mStepStarted = 0;
        }
        break;
    case 4:
        show({kBackground}, false);
        showAll(kEngineAndEditor, false);
        showAll(kMakerPieces, false);
        showAll(kPublisher, false);
        show({kSoundLogo}, false);
        show({kTitle}, true);
        if (mPrompt)
        {
            mPrompt->Show();
            mPrompt->StartEffects();
        }
        if (!mStepStarted)
        {
            FadeInScreen();
            mStepStarted = 1;
        }
        mStep = kTitleStep;
        break;
    default:
        break;
    }
}

void GameState_Intro::ReleaseItems()
{
    MenuReleaseItem(mPictures[kBackground]);
    if (W2dBlinkEffect* blink = mBlink)
    {
        mBlink = nullptr;
        blink->Release();
    }
    MenuReleaseItem(mPrompt);
    for (int32_t picture : kReleaseOrder)
        MenuReleaseItem(mPictures[picture]);
}

void GameState_Intro::Leave()
{
    ReleaseItems();
    mStart = nullptr;
    TsFModStopAllChannels();
    ResourceGroupUnload("INTRO");
}
