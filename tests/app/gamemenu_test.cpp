// The menu description and the options pages: the references a description leaves, the options
// tree (the same in game and out of it, the cheats page only once earned), the video mode's timed
// confirmation on the fake clock, and the message line's bounded formatting.
#include "frontend_fixture.h"
#include "gamemenu.h"
#include "gamemenuoptions.h"
#include "hbclock.h"
#include "mocircularmenu.h"
#include "w2dgraphicchoicemenu.h"
#include "w2dgraphicmenu.h"
#include "w2dgraphicslidermenu.h"
#include "w2dtextgraphicitem.h"
#include "wrenderer.h"

#include <string>

namespace fetest
{
namespace
{

const Vector kLayout = {1.0f, 0.0625f, 0.0f};

std::string TextOf(W2dGenericItem* item)
{
    auto* text = HbCastTo<W2dTextGraphicItem>(item);
    return text ? text->GetText() : std::string("?");
}

/// The tree as text: each entry's label, "~" for a slider, "<n>" for a choice of n values, its title
/// in brackets when it differs from the label, then its entries in braces.
std::string Dump(W2dMenu* menu)
{
    std::string out;
    for (int32_t i = 0; i < menu->GetEntryCount(); ++i)
    {
        W2dMenu* entry = menu->GetEntry(i);
        if (i)
            out += ",";
        out += TextOf(entry->GetLabel());
        if (HbCastTo<W2dGraphicSliderMenu>(entry))
            out += "~";
        if (auto* choice = HbCastTo<W2dGraphicChoiceMenu>(entry))
            out += "<" + std::to_string(choice->GetChoiceCount()) + ">";
        if (entry->GetTitle() && TextOf(entry->GetTitle()) != TextOf(entry->GetLabel()))
            out += "[" + TextOf(entry->GetTitle()) + "]";
        if (entry->GetEntryCount())
            out += "{" + Dump(entry) + "}";
    }
    return out;
}

/// Every menu below the root is held by its parent's list, plus one reference per entry of its own
/// (each entry holds its parent); the options keep one more on the video confirmation page, whose
/// countdown may outlive the menus.
void ExpectHeldOnlyByTheTree(W2dMenu* menu)
{
    for (int32_t i = 0; i < menu->GetEntryCount(); ++i)
    {
        W2dMenu* entry = menu->GetEntry(i);
        const int32_t kept = TextOf(entry->GetLabel()) == "TX_MENU_VIDEO_APPLY_TXT" ? 1 : 0;
        EXPECT_EQ(entry->GetRefCount(), 1 + entry->GetEntryCount() + kept) << TextOf(entry->GetLabel());
        ExpectHeldOnlyByTheTree(entry);
    }
}

class MenuOptions : public FrontEndTest
{
protected:
    void SetUp() override
    {
        FrontEndTest::SetUp();
        Texts({"TX_MENU_MAIN_OPTIONS_TXT", "TX_MENU_VIDEO_OPTIONS_TXT", "TX_MENU_VIDEO_RESOLUTION_TXT",
               "TX_MENU_VIDEO_COLOR_TXT", "TX_MENU_VIDEO_FULLSCREEN_TXT", "TX_MENU_VIDEO_APPLY_TXT", "TX_CONFIRM_TXT",
               "TX_MENU_PAUSE_NO_TXT", "TX_MENU_PAUSE_YES_TXT", "TX_MENU_OPTIONS_CONTROLS_TXT",
               "TX_MENU_OPTIONS_AXE_X_TXT", "TX_MENU_OPTIONS_AXE_Y_TXT", "TX_MENU_OPTIONS_MOUSE_TXT",
               "TX_MENU_OPTIONS_AUDIO_TXT", "TX_MENU_OPTIONS_SOUND_TXT", "TX_MENU_OPTIONS_MUSIC_TXT",
               "TX_MENU_CHEAT_UNLIMITED_TXT"});
        mClocks->SetReal(uitest::Ticks(50.0));
    }

    void TearDown() override
    {
        for (W2dGraphicMenu* root : mRoots)
        {
            root->Clear();
            root->Release();
        }
        MenuOptionsRelease();
        FrontEndTest::TearDown();
    }

    /// The options described under a root of their own, as a state's menu build does.
    W2dGraphicMenu* Build(int32_t inGame)
    {
        auto* root = new W2dGraphicMenu(nullptr);
        root->AddRef();
        mRoots.push_back(root);
        MenuBuildBegin(root, kLayout);
        MenuBuildOptions(mState, root, kLayout, inGame);
        MenuBuildEnd();
        return root;
    }

    static W2dMenu* Find(W2dMenu* menu, const std::string& label)
    {
        for (int32_t i = 0; i < menu->GetEntryCount(); ++i)
        {
            W2dMenu* entry = menu->GetEntry(i);
            if (TextOf(entry->GetLabel()) == label)
                return entry;
            if (W2dMenu* below = Find(entry, label))
                return below;
        }
        return nullptr;
    }

    std::vector<W2dGraphicMenu*> mRoots;
};

TEST_F(MenuOptions, TheTreeIsTheSameFromTheMainAndThePauseMenuAndHeldOnlyByItself)
{
    W2dGraphicMenu* main = Build(0);
    ExpectHeldOnlyByTheTree(main);
    W2dGraphicMenu* pause = Build(1);
    ExpectHeldOnlyByTheTree(pause);
    // The fixture's adapter has two full-screen sizes and two depths.
    const std::string expected = "TX_MENU_MAIN_OPTIONS_TXT{"
                                 "TX_MENU_VIDEO_OPTIONS_TXT{Gamma~,TX_MENU_VIDEO_RESOLUTION_TXT<2>,"
                                 "TX_MENU_VIDEO_COLOR_TXT<2>,TX_MENU_VIDEO_FULLSCREEN_TXT<2>,"
                                 "TX_MENU_VIDEO_APPLY_TXT[TX_CONFIRM_TXT ( 9 )]{TX_MENU_PAUSE_NO_TXT,"
                                 "TX_MENU_PAUSE_YES_TXT}},"
                                 "TX_MENU_OPTIONS_CONTROLS_TXT{TX_MENU_OPTIONS_AXE_X_TXT<2>,"
                                 "TX_MENU_OPTIONS_AXE_Y_TXT<2>,TX_MENU_OPTIONS_MOUSE_TXT~},"
                                 "TX_MENU_OPTIONS_AUDIO_TXT{TX_MENU_OPTIONS_SOUND_TXT~,TX_MENU_OPTIONS_MUSIC_TXT~}}";
    EXPECT_EQ(Dump(main), expected);
    EXPECT_EQ(Dump(pause), expected);

    // Labels are the menus' font in their resting grey, hidden until a menu shows them.
    W2dMenu* audio = Find(main, "TX_MENU_OPTIONS_AUDIO_TXT");
    ASSERT_NE(audio, nullptr);
    W2dGenericItem* label = audio->GetLabel();
    EXPECT_TRUE(label->IsHidden());
    Rgba c[4];
    label->GetCornerColours(&c[0], &c[1], &c[2], &c[3]);
    for (const Rgba& corner : c)
        EXPECT_TRUE(corner.red == 183 && corner.green == 183 && corner.blue == 183 && corner.alpha == 255);
    EXPECT_EQ(label->GetEffectCount(), 1) << "the pulse";
}

TEST_F(MenuOptions, TheCheatsPageShowsOnlyWhenUnlockedOrWithTheCampaignComplete)
{
    struct Case
    {
        int32_t unlocked;
        int32_t completedAt;
        const char* cheats;
    };
    const Case cases[] = {
        {0, 0, nullptr},
        {0, 2, "Cheats{TX_MENU_CHEAT_UNLIMITED_TXT<2>}"},
        {1, 0, "Cheats{TX_MENU_CHEAT_UNLIMITED_TXT<2>,GOD<2>}"},
        {1, 1, "Cheats{TX_MENU_CHEAT_UNLIMITED_TXT<2>,GOD<2>}"},
    };
    for (const Case& c : cases)
    {
        mProfile->cheatsUnlocked = c.unlocked;
        mProfile->missionTable.words[MissionTable::kCompletedDifficulty] = c.completedAt;
        W2dMenu* options = Build(0)->GetEntry(0);
        ASSERT_NE(options, nullptr);
        W2dMenu* last = options->GetEntry(options->GetEntryCount() - 1);
        const std::string dump = TextOf(last->GetLabel()) + "{" + Dump(last) + "}";
        if (c.cheats)
            EXPECT_EQ(dump, c.cheats) << c.unlocked << " " << c.completedAt;
        else
            EXPECT_EQ(options->GetEntryCount(), 3) << dump;
    }
}

TEST_F(MenuOptions, ChangesGoToTheProfilesPreferences)
{
    W2dGraphicMenu* root = Build(0);
    auto* invertY = HbCastTo<W2dGraphicChoiceMenu>(Find(root, "TX_MENU_OPTIONS_AXE_Y_TXT"));
    auto* music = HbCastTo<W2dGraphicSliderMenu>(Find(root, "TX_MENU_OPTIONS_MUSIC_TXT"));
    ASSERT_NE(invertY, nullptr);
    ASSERT_NE(music, nullptr);
    EXPECT_EQ(TextOf(invertY->GetChoice(0)), "TX_MENU_PAUSE_NO_TXT");
    EXPECT_EQ(TextOf(invertY->GetChoice(1)), "TX_MENU_PAUSE_YES_TXT");
    static float sMusic = -1.0f;
    sMusic = -1.0f;
    GameServicesTable().soundApplyVolumes = [](float musicVolume, float) { sMusic = musicVolume; };
    mProfile->prefs.musicVolume = 0.25f;
    // A change runs the applying callback with the state, which reads the profile's words.
    EXPECT_EQ(music->Notify(W2dMenu::kChoose), 1);
    EXPECT_FLOAT_EQ(sMusic, 0.25f);
    mProfile->prefs.invertY = 1;
    sMusic = -1.0f;
    EXPECT_EQ(invertY->Notify(W2dMenu::kChoose), 1);
    EXPECT_FLOAT_EQ(sMusic, 0.25f);
}

TEST_F(MenuOptions, TheVideoConfirmationCountsDownAndUndoesAnUnconfirmedMode)
{
    W2dGraphicMenu* root = Build(0);
    W2dMenu* video = Find(root, "TX_MENU_VIDEO_OPTIONS_TXT");
    W2dMenu* page = Find(root, "TX_MENU_VIDEO_APPLY_TXT");
    ASSERT_NE(video, nullptr);
    ASSERT_NE(page, nullptr);
    WVideoModeList& modes = mRenderer->GetVideoModes();
    WDisplaySettings present{};
    mRenderer->GetDisplaySettings(&present);

    struct Answer
    {
        const char* name;
        int32_t (*answer)(void*); ///< null: the time runs out
        bool kept;
    };
    const Answer answers[] = {{"timeout", nullptr, false}, {"no", OnConfirmNo, false}, {"yes", OnConfirmYes, true}};
    for (const Answer& a : answers)
    {
        SCOPED_TRACE(a.name);
        const int64_t t0 = mClocks->Real();
        OnVideoMenuOpen(video->GetLabel());
        // The present mode chosen again is refused.
        EXPECT_EQ(OnVideoPageCheck(video), 0);
        modes.currentSize = (modes.currentSize + 1) % modes.sizeCount;
        ASSERT_EQ(OnVideoPageCheck(video), 1);
        WDisplaySettings chosen{};
        mRenderer->GetDisplaySettings(&chosen);

        OnVideoApply(page->GetLabel());
        EXPECT_EQ(mRenderer->GetRequested(), chosen);
        const GameTimedAction& action = mManager->GetTimedAction();
        EXPECT_EQ(action.start, t0);
        EXPECT_EQ(action.duration, 9 * HbPerformanceFrequency());

        std::vector<std::string> titles;
        const int32_t frames = a.answer ? 3 : 19;
        for (int32_t frame = 1; frame <= frames; ++frame)
        {
            mClocks->SetReal(t0 + uitest::Ticks(0.5 * frame));
            mManager->Tick();
            titles.push_back(TextOf(page->GetTitle()));
        }
        if (a.answer)
        {
            EXPECT_EQ(titles, (std::vector<std::string>{"TX_CONFIRM_TXT ( 9 )", "TX_CONFIRM_TXT ( 9 )",
                                                        "TX_CONFIRM_TXT ( 8 )"}));
            EXPECT_EQ(a.answer(page), 1);
        }
        else
        {
            // 0.5 s to 9 s in half seconds, whole remaining seconds + 1; then the time is out.
            std::vector<std::string> expected;
            for (int32_t frame = 1; frame <= 18; ++frame)
                expected.push_back("TX_CONFIRM_TXT ( " + std::to_string((18 - frame) / 2 + 1) + " )");
            expected.push_back("TX_CONFIRM_TXT");
            EXPECT_EQ(titles, expected);
            EXPECT_EQ(mManager->GetTimedAction().start, 0);
        }
        EXPECT_EQ(page->mBackRequested, 1) << "the page closes";
        page->mBackRequested = 0;
        EXPECT_EQ(OnVideoConfirmClose(page), 1);
        EXPECT_EQ(mRenderer->GetRequested(), a.kept ? chosen : present);
        mClocks->SetReal(t0 + uitest::Ticks(20.0));
    }
}

TEST_F(MenuOptions, LeavingTheMenusMidCountdownStopsItAndUndoesTheMode)
{
    W2dGraphicMenu* root = Build(0);
    W2dMenu* page = Find(root, "TX_MENU_VIDEO_APPLY_TXT");
    WDisplaySettings present{};
    mRenderer->GetDisplaySettings(&present);
    OnVideoMenuOpen(nullptr);
    WVideoModeList& modes = mRenderer->GetVideoModes();
    modes.fullScreen = 1 - modes.fullScreen;
    ASSERT_EQ(OnVideoPageCheck(nullptr), 1);
    OnVideoApply(page->GetLabel());
    ASSERT_NE(mManager->GetTimedAction().start, 0);

    root->Clear();
    MenuOptionsRelease();
    EXPECT_EQ(mManager->GetTimedAction().start, 0);
    EXPECT_EQ(mRenderer->GetRequested(), present);
    // Past the countdown's end nothing fires on the cleared page or changes the mode again.
    modes.fullScreen = 1 - modes.fullScreen;
    WDisplaySettings other{};
    mRenderer->GetDisplaySettings(&other);
    mRenderer->SelectVideoMode(other);
    mClocks->SetReal(mClocks->Real() + uitest::Ticks(10.0));
    mManager->Tick();
    EXPECT_EQ(mManager->GetTimedAction().start, 0);
    EXPECT_EQ(mRenderer->GetRequested(), other);
}

TEST_F(MenuOptions, AnAnsweredConfirmationStopsItsCountdownSoTheNextOneWaitsItsNineSeconds)
{
    W2dGraphicMenu* root = Build(0);
    W2dMenu* video = Find(root, "TX_MENU_VIDEO_OPTIONS_TXT");
    W2dMenu* page = Find(root, "TX_MENU_VIDEO_APPLY_TXT");
    ASSERT_NE(page, nullptr);
    WVideoModeList& modes = mRenderer->GetVideoModes();
    for (int32_t (*answer)(void*) : {OnConfirmYes, OnConfirmNo})
    {
        const int64_t t0 = mClocks->Real();
        OnVideoMenuOpen(video->GetLabel());
        modes.currentSize = (modes.currentSize + 1) % modes.sizeCount;
        ASSERT_EQ(OnVideoPageCheck(video), 1);
        OnVideoApply(page->GetLabel());
        mClocks->SetReal(t0 + uitest::Ticks(1.0));
        mManager->Tick();
        answer(page);
        page->mBackRequested = 0;
        OnVideoConfirmClose(page);
        EXPECT_EQ(mManager->GetTimedAction().start, 0) << "stopped as the page closes";
        // The player stays in the options past the nine seconds.
        mClocks->SetReal(t0 + uitest::Ticks(12.0));
        mManager->Tick();
        EXPECT_EQ(page->mBackRequested, 0);
    }

    // The next confirmation keeps its mode until it is answered or its own time runs out.
    const int64_t t0 = mClocks->Real();
    OnVideoMenuOpen(video->GetLabel());
    modes.currentSize = (modes.currentSize + 1) % modes.sizeCount;
    ASSERT_EQ(OnVideoPageCheck(video), 1);
    WDisplaySettings chosen{};
    mRenderer->GetDisplaySettings(&chosen);
    OnVideoApply(page->GetLabel());
    mClocks->SetReal(t0 + uitest::Ticks(0.5));
    mManager->Tick();
    EXPECT_EQ(page->mBackRequested, 0);
    EXPECT_EQ(mRenderer->GetRequested(), chosen);
    EXPECT_EQ(TextOf(page->GetTitle()), "TX_CONFIRM_TXT ( 9 )");
}

TEST(MessageFormat, OnlyTwoIntegersAndATextInThatOrderAreFilledIn)
{
    struct Case
    {
        const char* format;
        int32_t count;
        const char* shown;
    };
    const Case cases[] = {
        {"Saved %d of %d in %s", 3, "Saved 7 of -2 in slot"},
        {"%d free", 1, "7 free"},
        {"%d%d", 2, "7-2"},
        {"100%% done", 0, "100% done"},
        {"No values", 3, "No values"},
        {"%s%s%n", 3, "%s%s%n"},
        {"%s first", 3, "%s first"},
        {"%d more than given %d", 1, "%d more than given %d"},
        {"%x", 3, "%x"},
        {"%d %d %s %d", 3, "%d %d %s %d"},
        {"%5d", 3, "%5d"},
        {"trailing %", 3, "trailing %"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MessageFormat(c.format, c.count, 7, -2, "slot"), c.shown) << c.format;
}

TEST_F(MenuOptions, TheMessageLineShowsALocalizedTextLiterallyUnlessItsSpecifiersFit)
{
    mResources->Text("TX_M5_1_2_TXT", "%s%s%n");
    mResources->Text("TX_M6_0_8_TXT", "Slot %d of %d: %s");
    auto* line = new W2dTextGraphicItem(W2dMenu::kMenuFont, nullptr);
    line->AddRef();
    line->Create();
    MessageBoxShow(line, "TX_M5_1_2_TXT");
    EXPECT_EQ(line->GetText(), "%s%s%n");
    MessageBoxShow(line, "TX_M6_0_8_TXT", 3, 2, 5, "Profile1");
    EXPECT_EQ(line->GetText(), "Slot 2 of 5: Profile1");
    MessageBoxClear(line);
    EXPECT_EQ(line->GetText(), " ");
    line->Release();
    line->HbRoot::Release();
}

TEST_F(MenuOptions, ADescriptionLeftWithPushedMenusDropsTheirReferencesAtItsEnd)
{
    auto* root = new W2dGraphicMenu(nullptr);
    root->AddRef();
    mRoots.push_back(root);
    MenuBuildBegin(root, kLayout);
    EXPECT_EQ(MenuBuildPop(), 0) << "the root is not popped";
    ASSERT_EQ(MenuBuildPushSubMenu("outer"), 1);
    W2dMenu* outer = MenuBuildCurrent();
    ASSERT_EQ(MenuAddNamedSubMenu("inner", -1, nullptr), 1);
    MenuAddNamedEntry("leaf", nullptr, nullptr);
    MenuBuildEnd();
    EXPECT_EQ(MenuBuildCurrent(), nullptr);
    EXPECT_EQ(Dump(root), "outer{inner{leaf}}");
    EXPECT_NE(outer, root);
    ExpectHeldOnlyByTheTree(root);
}

int32_t gChosen = 0;

int32_t Choose(void* argument)
{
    gChosen = int32_t(reinterpret_cast<intptr_t>(argument));
    return 1;
}

TEST_F(MenuOptions, CircularEntriesAreSizedPicturesLitWhenCurrentAndChosenWithTheirArgument)
{
    mResources->SolidTexture("UI_FLAG_A_TEX", 64, 32, 0xFF2040C0u);
    mResources->SolidTexture("UI_FLAG_B_TEX", 64, 32, 0xFFC04020u);
    auto* wheel = new MoCircularMenu(nullptr);
    wheel->AddRef();
    W2dAnimatedMenu* a =
        MenuCreateCircularItem(wheel, "UI_FLAG_A_TEX", 0.15f, Choose, reinterpret_cast<void*>(1), CircularItemFocusOn);
    W2dAnimatedMenu* b =
        MenuCreateCircularItem(wheel, "UI_FLAG_B_TEX", 0.15f, Choose, reinterpret_cast<void*>(2), CircularItemFocusOn);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(wheel->GetEntryCount(), 2);
    EXPECT_EQ(a->GetRefCount(), 1) << "held by the wheel only";
    Vector size{};
    a->GetLabel()->GetSize(&size);
    EXPECT_FLOAT_EQ(size.x, 0.15f);
    EXPECT_NEAR(size.y, 0.15f * 0.5f * 640.0f / 480.0f, 1e-5f) << "the texture's aspect on the screen";
    // A missing picture leaves the entry square rather than the size of the screen.
    W2dAnimatedMenu* missing = MenuCreateCircularItem(wheel, "UI_FLAG_MISSING_TEX", 0.15f, Choose, nullptr,
                                                      CircularItemFocusOn);
    ASSERT_NE(missing, nullptr);
    missing->GetLabel()->GetSize(&size);
    EXPECT_FLOAT_EQ(size.x, 0.15f);
    EXPECT_FLOAT_EQ(size.y, 0.15f);

    wheel->Layout();
    auto colour = [](W2dMenu* entry)
    {
        Rgba c[4];
        entry->GetLabel()->GetCornerColours(&c[0], &c[1], &c[2], &c[3]);
        return int(c[0].red) * 1000 + int(c[0].alpha);
    };
    EXPECT_EQ(colour(a), 255255) << "the current entry";
    EXPECT_EQ(colour(b), 150150);
    gChosen = 0;
    EXPECT_EQ(b->Notify(W2dMenu::kChoose), 1);
    EXPECT_EQ(gChosen, 2);
    wheel->Clear();
    wheel->Release();
}

} // namespace
} // namespace fetest
