// The pause menu over the stage: it stops the current camera and pushes "Menu" while open, and
// either way back (escape, or back-up from the root) gives both back; back-up inside a
// confirmation page only returns to the root. Retry restarts the hero when there is one and has
// the manager enter the stage again with the checkpoint to load; abort raises the world reset.
// The open menu is drawn and read back against a reference.
#include "fontwriter.h"
#include "framecheck.h"
#include "gamestatestagemenu.h"
#include "playstates_fixture.h"
#include "tscamera.h"
#include "tscameraregistry.h"
#include "w2dgraphicmenu.h"
#include "w2dmenu.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <cmath>

namespace fetest
{
namespace
{

const char* const kOpenSound = "SD_I_PAUSE_S2DSB";
const char* const kCloseSound = "SD_I_MENU_PAUSE_OFF_S2DSB";

int gRestarts = 0;
int32_t gHasHero = 0;

class PauseMenu : public PlayStates
{
protected:
    void SetUp() override
    {
        PlayStates::SetUp();
        if (HasFatalFailure())
            return;
        UseSounds({kOpenSound, kCloseSound});
        HbInputManager* input = HbInputManager::Instance();
        input->PushCommandContext("Menu");
        ASSERT_TRUE(mInput->Bind("MENU_ESC", "VK_ESCAPE"));
        input->PopCommandContext("Menu");
        DeclareTexts();
        gRestarts = 0;
        gHasHero = 0;
        GameServices& services = GameServicesTable();
        services.heroRestart = [] { ++gRestarts; };
        services.scriptHasHero = [] { return gHasHero; };

        // The stage's camera, active and current.
        mRenderer->SetScene(new WScene());
        TsCamera* camera = TsCamera::Create();
        ASSERT_NE(camera, nullptr);
        mCamera = TsCameraRegistry::AddCamera(camera, mRenderer->GetScene());
        TsCameraRegistry::ActivateCamera(mCamera);
        TsCameraRegistry::SetCurrentCamera(mCamera);

        mStage = Root(new Target(kGameStateStage));
        mPause = Make(new GameState_StageMenu());
        mStage->AddTransition(mPause, 1);
        mStage->AddTransition(mStage, 0);
        mPause->AddTransition(mStage, 0);
        mStage->Enter();
        mManager->SetCurrentState(mStage);
    }

    void TearDown() override
    {
        // The cameras go while the renderer they draw with is still there.
        TsCameraRegistry::Reset();
        if (mRenderer)
            mRenderer->ReleaseScene();
        PlayStates::TearDown();
    }

    virtual void DeclareTexts()
    {
        Texts({"TX_MENU_PAUSE_CONTINUE_TXT", "TX_MENU_PAUSE_RETRY_TXT", "TX_MENU_PAUSE_NO_TXT", "TX_MENU_PAUSE_YES_TXT",
               "TX_MENU_MAIN_OPTIONS_TXT", "TX_MENU_ABORT_MISSION_TXT", "TX_MENU_CONFIRM_NO_TXT",
               "TX_MENU_CONFIRM_YES_TXT"});
    }

    /// The stage pauses, as its "ESC" does; the menu opens over the next frames.
    void Pause()
    {
        ASSERT_EQ(mStage->SwitchTo(kGameStateStageMenu), 1);
        for (int i = 0; i < 10; ++i)
            Frame(mAt += 0.1);
    }

    /// A menu key, then frames for the menu to move.
    void Press(uint8_t key)
    {
        Frame(mAt += 0.1, {key});
        for (int i = 0; i < 6; ++i)
            Frame(mAt += 0.1);
    }

    bool Paused() const { return mStage->IsSuspended() && mPause->GetRootMenu(); }

    Target* mStage = nullptr;
    GameState_StageMenu* mPause = nullptr;
    int32_t mCamera = -1;
    double mAt = 0.0;
};

TEST_F(PauseMenu, WhileOpenTheCameraRestsAndMenuInputRulesAndEitherWayBackGivesBothBack)
{
    struct Way
    {
        uint8_t key;
        const char* name;
    };
    int resumes = 0;
    for (const Way& way : {Way{VK_ESCAPE, "MENU_ESC"}, Way{VK_BACK, "MENU_UP at the root"}})
    {
        SCOPED_TRACE(way.name);
        mSounds->Clear();
        Pause();
        ASSERT_TRUE(Paused());
        EXPECT_EQ(mPause->GetCurrentMenu(), mPause->GetRootMenu());
        EXPECT_EQ(ContextName(), "Menu");
        EXPECT_EQ(mPause->GetSavedCameraId(), mCamera);
        EXPECT_EQ(TsCameraRegistry::GetActiveCount(), 0) << "the camera stops placing itself";
        EXPECT_EQ(TsCameraRegistry::GetInactiveCount(), 1);
        EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kOpenSound});

        Press(way.key);
        EXPECT_FALSE(mStage->IsSuspended());
        EXPECT_EQ(mStage->resumes, ++resumes);
        EXPECT_EQ(mPause->GetRootMenu(), nullptr);
        EXPECT_EQ(mPause->IsMenuActive(), 0);
        EXPECT_NE(ContextName(), "Menu");
        EXPECT_EQ(TsCameraRegistry::GetActiveCount(), 1);
        EXPECT_EQ(TsCameraRegistry::GetCurrentCameraId(), mCamera);
        EXPECT_EQ(mSounds->Played(), (std::vector<std::string>{kOpenSound, kCloseSound}));
    }

    // Back-up inside the retry page goes back to the root, and only there closes the menu.
    Pause();
    Press(VK_DOWN);
    Press(VK_RETURN);
    ASSERT_NE(mPause->GetCurrentMenu(), mPause->GetRootMenu()) << "the retry page is open";
    Press(VK_BACK);
    EXPECT_TRUE(Paused());
    EXPECT_EQ(mPause->GetCurrentMenu(), mPause->GetRootMenu());
    Press(VK_BACK);
    EXPECT_FALSE(mStage->IsSuspended());
}

TEST_F(PauseMenu, ContinueGoesBackWithoutARequest)
{
    Pause();
    Press(VK_RETURN);
    EXPECT_FALSE(mStage->IsSuspended());
    EXPECT_EQ(mStage->enters, 1);
    EXPECT_EQ(mProfile->stageRequest, 0);
    EXPECT_EQ(mProfile->worldResetRequest, 0);
}

TEST_F(PauseMenu, RetryEntersTheStageAgainToLoadItsCheckpointRestartingAHeroOnlyWhenThereIsOne)
{
    for (int32_t hero : {1, 0})
    {
        SCOPED_TRACE(hero ? "with a hero" : "without a hero");
        gHasHero = hero;
        gRestarts = 0;
        const int enters = mStage->enters;
        mProfile->stageEntered = 1;
        mProfile->loadRequest = 0;
        Pause();
        Press(VK_DOWN);
        Press(VK_RETURN);
        // The page opens on "No", which keeps the menu open on the root.
        Press(VK_RETURN);
        ASSERT_TRUE(Paused());
        EXPECT_EQ(mPause->GetCurrentMenu(), mPause->GetRootMenu());
        // Retry is still the root's current entry.
        Press(VK_RETURN);
        Press(VK_DOWN);
        Frame(mAt += 0.1, {VK_RETURN});
        EXPECT_EQ(gRestarts, hero);
        EXPECT_EQ(mProfile->loadRequest, 1);
        EXPECT_EQ(mProfile->stageEntered, 0);
        EXPECT_FALSE(mStage->IsSuspended());
        EXPECT_EQ(mPause->GetRootMenu(), nullptr);
        EXPECT_NE(mManager->GetLoadingPicture(), nullptr) << "the loading screen is up";
        // The stage request is served in the next frame: the stage is entered again.
        Frame(mAt += 0.1);
        EXPECT_EQ(mStage->enters, enters + 1);
        EXPECT_EQ(mProfile->stageRequest, 0);
        mManager->StopLoadingScreen();
    }
}

TEST_F(PauseMenu, AbortRaisesTheWorldResetAndOnlyThePauseMenuAnswersIt)
{
    EXPECT_EQ(PauseMenuOnAbort(nullptr), 1) << "no pause menu over the stage";
    EXPECT_EQ(mProfile->worldResetRequest, 0);

    Pause();
    Press(VK_UP); // the last entry: abort
    Press(VK_RETURN);
    Press(VK_DOWN);
    Frame(mAt += 0.1, {VK_RETURN});
    EXPECT_EQ(mProfile->worldResetRequest, 1);
    EXPECT_FALSE(mStage->IsSuspended());
    EXPECT_EQ(mPause->GetRootMenu(), nullptr);
}

// ---- Drawn ------------------------------------------------------------------------------------------------

constexpr uint32_t kBorder = 0xFF203060u;
constexpr uint32_t kRow = 0xFFE8E8D0u;
constexpr uint32_t kClear = 0xFF000000u;

/// The open menu on a 128 x 128 screen: its frame tiles and rows flat-coloured, the shadows
/// see-through and the labels in a font without ink.
class PauseMenuDrawn : public PauseMenu
{
public:
    PauseMenuDrawn() { mScreenSize = 128; }

protected:
    void DeclareTexts() override
    {
        mResources->Text("TX_MENU_PAUSE_CONTINUE_TXT", "Continue");
        mResources->Text("TX_MENU_PAUSE_RETRY_TXT", "Retry");
        mResources->Text("TX_MENU_MAIN_OPTIONS_TXT", "Options");
        mResources->Text("TX_MENU_ABORT_MISSION_TXT", "Abort");
        std::vector<OutlineGlyph> glyphs;
        for (uint32_t code = 32; code < 127; ++code)
            glyphs.push_back({code, {}, 0.5f});
        std::filesystem::create_directories("fonts");
        ASSERT_TRUE(FontWriter::WriteText("fonts/Blank.met", FontWriter::Metrics3("Blank", glyphs)));
        HbResourceManager::Instance()->AddPath(W2dMenu::kMenuFont, "fonts\\Blank.met");
        for (const char* id : {"FE_MAIN_BORDER_TEX", "FE_MAIN_BORDER_CORNER_TEX"})
            mResources->SolidTexture(id, 4, 4, kBorder);
        for (const char* id : {"FE_MAIN_BORDER_SHADOW_TEX", "FE_MAIN_CORNER_SHADOW_TEX", "FE_MAIN_ANGLE_SHADOW_TEX"})
            mResources->SolidTexture(id, 4, 4, 0x00FFFFFFu);
        mResources->SolidTexture("FE_MAIN_WHITE_BACKGROUND_TEX", 4, 4, kRow);
    }

    void TearDown() override
    {
        PauseMenu::TearDown();
        HbResourceManager* manager = HbResourceManager::Instance();
        while (manager->GetPathCount(W2dMenu::kMenuFont) > 0)
            manager->RemovePath(W2dMenu::kMenuFont);
    }
};

TEST_F(PauseMenuDrawn, TheOpenMenuIsItsFourRowsInsideTheirBorder)
{
    Pause();
    W2dGraphicMenu* root = mPause->GetRootMenu();
    ASSERT_NE(root, nullptr);
    ASSERT_EQ(root->GetState(), W2dMenu::kOpen);
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> actual = uitest::DrawSurfaces(Screen(), kClear, &width, &height);
    ASSERT_EQ(width, 128);

    // The menu as wide as its rows, on the tile grid, centred with its four rows between the borders.
    const float u = 0.03125f;
    const float w = root->GetWidth();
    const float x = (1.0f - w) / 2.0f, y = (1.0f - 4.0f * 0.0625f) / 2.0f;
    const int32_t columns = int32_t(std::lround(w / u)) + 2;
    const float left = x - u;
    uitest::Reference expected(width, height, kClear);
    std::vector<std::vector<float>> rects;
    auto fill = [&](float rx, float ry, float rw, float rh, uint32_t colour)
    {
        expected.Fill(rx, ry, rw, rh, colour & 0xFFFFFF);
        rects.push_back({rx, ry, rw, rh});
    };
    for (int r = 0; r < 4; ++r)
        fill(left + u, r == 0 ? y - u / 2 : y + 0.0625f * float(r), w, r == 0 ? 0.078125f : 0.0625f, kRow);
    for (int i = 0; i < columns; ++i)
    {
        fill(left + u * float(i), y - u, u, u, kBorder);
        fill(left + u * float(i), y + 8 * u, u, u, kBorder);
    }
    for (int j = 0; j < 8; ++j)
    {
        fill(left, y + u * float(j), u, u, kBorder);
        fill(left + u * float(columns - 1), y + u * float(j), u, u, kBorder);
    }
    for (const auto& r : rects)
        expected.IgnoreEdges(r[0], r[1], r[2], r[3], actual);
    EXPECT_EQ(framecheck::CheckFrame("app_pause_menu", width, height, actual, expected.pixels, 3), "");
}

} // namespace
} // namespace fetest
