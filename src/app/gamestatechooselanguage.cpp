// GameState_ChooseLanguage: the flag wheel over a black screen, and the hand-over that loads the
// chosen language for good, builds the key-hint themes and starts the intro.
#include "gamestatechooselanguage.h"

#include "boardcontrol.h"
#include "gamekeyhintbar.h"
#include "gameloadingscreen.h"
#include "gamemenu.h"
#include "gameprofile.h"
#include "gameservices.h"
#include "gamestatemanager.h"
#include "hbcommand.h"
#include "hbfile.h"
#include "hbinputmanager.h"
#include "mocircularmenu.h"
#include "resourcegroups.h"
#include "w2dsurface.h"
#include "w2dsurfacelist.h"
#include "wrenderer.h"

HB_DEFINE_CLASS_DESC(GameState_ChooseLanguage, GameState);

const char* const GameState_ChooseLanguage::kFlagTextures[kFlagCount] = {
    "FE_FLAG_UK_TEX", "FE_FLAG_FR_TEX", "FE_FLAG_DE_TEX", "FE_FLAG_SP_TEX", "FE_FLAG_IT_TEX"};
const char* const GameState_ChooseLanguage::kLanguageGroups[kFlagCount] = {"UK", "FR", "DE", "SP", "IT"};

namespace
{
constexpr const char kMenuContext[] = "Menu";
constexpr float kFlagWidth = 0.15f;
// The key-hint themes the front end uses, built once the language's texts are there.
constexpr int32_t kThemes[] = {2, 4, 8, 5, 3, 6, 7};

// The chosen language outlives the state: the callbacks write it, the next Update reads it.
std::string sChosenLanguage;
int32_t sLanguageChosen = 0;

// Every flag's choose callback refuses (0), so the wheel asks for nothing more this frame.
template <int32_t kFlag> int32_t ChooseFlag(void*)
{
    sChosenLanguage = GameState_ChooseLanguage::kLanguageGroups[kFlag];
    sLanguageChosen = 1;
    return 0;
}

constexpr W2dMenuCallback kChooseFlag[GameState_ChooseLanguage::kFlagCount] = {
    ChooseFlag<0>, ChooseFlag<1>, ChooseFlag<2>, ChooseFlag<3>, ChooseFlag<4>};

W2dSurfaceList* SurfaceList()
{
    WRenderer* renderer = WRenderer::Existing();
    return renderer ? renderer->GetSurfaceList() : nullptr;
}

void Log(const char* text)
{
    HbCommandDebugOutput(text);
    HbCommandDebugOutput("\n");
}
} // namespace

GameState_ChooseLanguage::GameState_ChooseLanguage() : GameState(kGameStateChooseLanguage) {}

GameState_ChooseLanguage::~GameState_ChooseLanguage()
{
    GameState_ChooseLanguage::Leave();
}

const std::string& GameState_ChooseLanguage::GetChosenLanguage()
{
    return sChosenLanguage;
}

int32_t GameState_ChooseLanguage::IsLanguageChosen()
{
    return sLanguageChosen;
}

void GameState_ChooseLanguage::Enter()
{
    sChosenLanguage.clear();
    sLanguageChosen = 0;
    mWheel = nullptr;
    mInputMenu = nullptr;
    ResourceGroupLoad("LANGUAGE", 2);
    Log("Preloading LANGAGE Done");
    GameState::Enter();

    if (auto* background = new W2dTexturedSurface("", 0.0f, 0.0f, 1.0f, 1.0f, -100))
    {
        background->AddRef();
        const Rgba black = {0, 0, 0, 255};
        background->SetColor(&black, &black, &black, &black);
        if (W2dSurfaceList* list = SurfaceList())
            list->Insert(background);
        mBackground = background;
    }
    BuildWheel();
    if (HbInputManager* input = HbInputManager::Instance())
        mMenuPushed = input->PushCommandContext(kMenuContext);
}

void GameState_ChooseLanguage::BuildWheel()
{
    auto* wheel = new MoCircularMenu(nullptr);
    if (!wheel)
        return;
    wheel->AddRef();
    for (int32_t flag = 0; flag < kFlagCount; ++flag)
        MenuCreateCircularItem(wheel, kFlagTextures[flag], kFlagWidth, kChooseFlag[flag], this, CircularItemFocusOn);
    wheel->SetPosition({0.7f, 0.4f, 0.0f});
    wheel->SetStep({0.0f, 0.05f, 0.0f});
    mWheel = wheel;
    mInputMenu = wheel;
}

void GameState_ChooseLanguage::Update()
{
    if (sLanguageChosen)
    {
        HandOver();
        return;
    }
    GameServices& services = GameServicesTable();
    services.rendererBeginFrame();
    services.rendererEndFrame();
    if (!mInputMenu)
        return;
    // The wheel stays held whatever its handler answers; only the receiver of input follows it.
    if (W2dMenu* next = mInputMenu->HandleInput())
        mInputMenu = next;
}

void GameState_ChooseLanguage::HandOver()
{
    if (mWheel)
        mWheel->Hide();
    if (mBackground)
        mBackground->SetVisible(0);
    if (HbInputManager* input = HbInputManager::Instance(); input && mMenuPushed)
        input->PopCommandContext(kMenuContext);
    mMenuPushed = 0;
    Leave();
    if (GameProfile* profile = GetProfile())
        profile->prefs.Apply();
    ResourceGroupUnload("LANGUAGE");
    if (GameStateManager* manager = GameStateManager::Existing())
        manager->StartLoadingScreen();
    HbFileBeforeOpenHook = LoadingTickHook;
    // The language stays loaded for the rest of the run.
    ResourceGroupLoad(sChosenLanguage.c_str(), 0);
    if (BoardControl* bar = GameKeyHintBar())
        for (int32_t theme : kThemes)
            bar->BuildTheme(theme);
    SwitchTo(kGameStateIntro);
}

void GameState_ChooseLanguage::Leave()
{
    mInputMenu = nullptr;
    if (MoCircularMenu* wheel = mWheel)
    {
        mWheel = nullptr;
        wheel->Clear();
        wheel->Release();
    }
    if (W2dTexturedSurface* background = mBackground)
    {
        mBackground = nullptr;
        if (W2dSurfaceList* list = SurfaceList())
            list->Remove(background);
        background->Release();
    }
    // Left some other way than the hand-over: the wheel's context goes with it.
    if (HbInputManager* input = HbInputManager::Instance(); input && mMenuPushed)
        input->PopCommandContext(kMenuContext);
    mMenuPushed = 0;
}
