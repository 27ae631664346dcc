// Item effects on the settable real clock, each as a table of (time -> what the item shows).
#include "ui_fixture.h"
#include "w2ditemeffect.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <vector>

namespace uitest
{
namespace
{

// Far from 0, so that effects whose last time starts at 0 see a long wait before the first step.
const int64_t kT0 = Ticks(1000.0);

class Effects : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        mResources->SolidTexture("UI_RED_TEX", 4, 4, 0xFFC82828u);
        mClocks->SetReal(kT0);
    }

    void TearDown() override
    {
        for (W2dGenericItem* item : mItems)
        {
            item->Release();
            item->HbRoot::Release();
        }
        UiTest::TearDown();
    }

    /// A shown picture held by the test, at the position and size.
    template <typename T = W2dPictureItem> T* Picture(Vector at, Vector size)
    {
        T* item = new T("UI_RED_TEX", -1.0f, nullptr);
        Keep(item);
        item->SetSize(size);
        item->SetPosition(at);
        item->Show();
        return item;
    }

    void Keep(W2dSurfaceGraphicItem* item)
    {
        item->AddRef();
        EXPECT_EQ(item->Create(), 1);
        mItems.push_back(item);
    }

    /// The real clock at kT0 + seconds, then one Update of the item.
    void At(double seconds, W2dGenericItem* item)
    {
        mClocks->SetReal(kT0 + Ticks(seconds));
        item->Update();
    }

    static Vector Position(W2dGenericItem* item)
    {
        Vector at;
        item->GetPosition(&at);
        return at;
    }

    static Rgba Colour(W2dGenericItem* item)
    {
        Rgba c[4];
        item->GetCornerColours(&c[0], &c[1], &c[2], &c[3]);
        EXPECT_TRUE(c[0].alpha == c[3].alpha && c[0].red == c[3].red) << "one colour on every corner";
        return c[0];
    }

    std::vector<W2dGenericItem*> mItems;
};

TEST_F(Effects, BlinkShowsOnTheFirstUpdateThenTogglesStrictlyAfterEachPeriod)
{
    auto* item = Picture({0.1f, 0.1f, 0}, {0.1f, 0.1f, 0});
    item->Hide();
    item->AddEffect(new W2dBlinkEffect(Ticks(0.5)));
    struct Step
    {
        double time;
        int32_t hidden;
    };
    for (const Step& step : {Step{0.0, 0}, Step{0.5, 0}, Step{0.5000001, 1}, Step{1.0, 1}, Step{1.0000002, 0}})
    {
        At(step.time, item);
        EXPECT_EQ(item->IsHidden(), step.hidden) << step.time;
        EXPECT_EQ(item->GetSurface()->IsVisible(), 1 - step.hidden) << step.time;
    }

    // Period 0 toggles on every Update that sees the clock move.
    auto* fast = Picture({0.1f, 0.1f, 0}, {0.1f, 0.1f, 0});
    fast->Hide();
    auto* blink = new W2dBlinkEffect(Ticks(0.5));
    fast->AddEffect(blink);
    blink->SetPeriod(0);
    int32_t expected = 0;
    for (int64_t tick = 1; tick <= 4; ++tick)
    {
        mClocks->SetReal(kT0 + tick);
        fast->Update();
        EXPECT_EQ(fast->IsHidden(), expected) << tick;
        expected ^= 1;
    }
}

TEST_F(Effects, ColourFadeHoldsThroughItsDelayEndsExactlyOnItsColourAndRestartsFromTheStart)
{
    auto* item = Picture({0.1f, 0.1f, 0}, {0.1f, 0.1f, 0});
    const Rgba from = {0, 0, 0, 0}, to = {200, 100, 50, 255};
    auto* fade = new W2dColourFadeEffect(Ticks(1.0), &from, &to, Ticks(0.5));
    item->AddEffect(fade);
    fade->Begin(item);
    struct Step
    {
        double time;
        Rgba colour;
        int32_t running;
    };
    const Step steps[] = {
        {0.0, from, 1},               // records its start
        {0.25, from, 1},              // inside the delay
        {0.5, from, 1},               // the delay's last instant
        {1.0, {100, 50, 25, 127}, 1}, // half way, truncated
        {1.5, to, 0},                 // ends exactly on the end colour
        {3.0, to, 0},
    };
    for (const Step& step : steps)
    {
        At(step.time, item);
        Rgba c = Colour(item);
        EXPECT_EQ(c.red, step.colour.red) << step.time;
        EXPECT_EQ(c.green, step.colour.green) << step.time;
        EXPECT_EQ(c.blue, step.colour.blue) << step.time;
        EXPECT_EQ(c.alpha, step.colour.alpha) << step.time;
        EXPECT_EQ(fade->IsRunning(), step.running) << step.time;
    }
    item->RestartEffects();
    EXPECT_EQ(Colour(item).alpha, 0);
    EXPECT_EQ(fade->IsRunning(), 1);
    // Stop jumps to the end colour.
    item->StopAllEffects();
    EXPECT_EQ(Colour(item).red, 200);
    EXPECT_EQ(fade->IsRunning(), 0);
}

TEST_F(Effects, SlideInMovesToItsTargetAndSnapsThereAtTheEndOrOnStop)
{
    auto* item = Picture({0.5f, 0.5f, 0}, {0.2f, 0.1f, 0});
    const Vector start = {0.1f, 0.3f, 0};
    auto* slide = new W2dSlideInEffect(Ticks(1.0), &start, item);
    EXPECT_FLOAT_EQ(Position(item).x, 0.1f); // moved to the start at once
    item->AddEffect(slide);
    struct Step
    {
        double time;
        float x, y;
        int32_t running;
    };
    for (const Step& step : {Step{0.0, 0.1f, 0.3f, 1}, Step{0.5, 0.3f, 0.4f, 1}, Step{0.999, 0.4996f, 0.4998f, 1},
                             Step{1.0, 0.5f, 0.5f, 0}})
    {
        At(step.time, item);
        EXPECT_NEAR(Position(item).x, step.x, 1e-5f) << step.time;
        EXPECT_NEAR(Position(item).y, step.y, 1e-5f) << step.time;
        EXPECT_EQ(slide->IsRunning(), step.running) << step.time;
    }
    Vector size;
    item->GetSize(&size);
    EXPECT_FLOAT_EQ(size.x, 0.2f);

    item->RestartEffects();
    EXPECT_FLOAT_EQ(Position(item).x, 0.1f);
    At(2.0, item);
    At(2.25, item);
    item->StopAllEffects();
    EXPECT_FLOAT_EQ(Position(item).x, 0.5f);
    EXPECT_FLOAT_EQ(Position(item).y, 0.5f);
}

TEST_F(Effects, PositionFadeSetsAlphaFromTheItemsHeightAndActsOncePerFrame)
{
    const Vector from = {0, 0.7f, 0}, to = {0.9f, 0.9f, 0.5f};
    struct Case
    {
        float y;
        int32_t alpha;
    };
    for (const Case& c :
         {Case{0.6f, 255}, Case{0.7f, 0}, Case{0.75f, 191}, Case{0.8f, 127}, Case{0.9f, 0}, Case{0.95f, 0}})
    {
        auto* item = Picture({0.2f, c.y, 0}, {0.1f, 0.05f, 0});
        item->SetColour({10, 20, 30, 99});
        auto* fade = new W2dPositionFadeEffect(&from, &to);
        item->AddEffect(fade);
        fade->Begin(item);
        item->Update();
        Rgba colour = Colour(item);
        EXPECT_EQ(colour.alpha, c.alpha) << c.y;
        EXPECT_EQ(colour.red, 10);
        item->RestartEffects();
        EXPECT_EQ(Colour(item).alpha, 99) << "the saved alpha comes back";
    }

    // Two fades on one item: only the first acts in a frame.
    const Vector wideFrom = {0, 0.0f, 0}, wideTo = {0, 1.0f, 0};
    auto* item = Picture({0.2f, 0.8f, 0}, {0.1f, 0.05f, 0});
    item->AddEffect(new W2dPositionFadeEffect(&from, &to));
    item->AddEffect(new W2dPositionFadeEffect(&wideFrom, &wideTo));
    item->Update();
    EXPECT_EQ(Colour(item).alpha, 127);
    item->Update();
    EXPECT_EQ(Colour(item).alpha, 127);

    // Before the first fade's start the second one decides: a line fading out at the top and in at
    // the bottom is transparent down there.
    const Vector outFrom = {0, 0.17f, 0}, outTo = {0, -0.03f, 0}, inFrom = {0, 0.7f, 0}, inTo = {0, 0.9f, 0};
    auto* line = Picture({0.0f, 0.8f, 0}, {0.1f, 0.05f, 0});
    line->SetColour({255, 255, 255, 255});
    line->AddEffect(new W2dPositionFadeEffect(&outFrom, &outTo));
    line->AddEffect(new W2dPositionFadeEffect(&inFrom, &inTo));
    line->Update();
    EXPECT_EQ(Colour(line).alpha, 127);
    line->SetPosition({0.0f, 0.07f, 0});
    line->Update();
    EXPECT_EQ(Colour(line).alpha, 127) << "inside the fade-out the first fade decides";
}

TEST_F(Effects, SpinTurnsBy360DegreesPerPeriodInSixtyFourBitTicks)
{
    auto* item = Picture<W2dBlendedPictureItem>({0.4f, 0.4f, 0}, {0.2f, 0.2f, 0});
    item->SetRotation(10.0f);
    auto* spin = new W2dSpinEffect(Ticks(1.0));
    item->AddEffect(spin);
    spin->Begin(item);
    struct Step
    {
        double time;
        float rotation;
    };
    // 300 s at 10 MHz is 3e9 ticks: times 360 it needs 64 bits.
    for (const Step& step : {Step{0.25, 100.0f}, Step{0.5, 190.0f}, Step{1.0, 10.0f}, Step{301.0, 10.0f}})
    {
        At(step.time, item);
        EXPECT_NEAR(item->GetRotation(), step.rotation, 1e-3f) << step.time;
    }
    item->RestartEffects();
    EXPECT_FLOAT_EQ(item->GetRotation(), 10.0f);

    // A period of 0 or less does not turn (and divides by nothing).
    for (int64_t period : {int64_t(0), int64_t(-5)})
    {
        auto* still = Picture<W2dBlendedPictureItem>({0.4f, 0.4f, 0}, {0.2f, 0.2f, 0});
        still->SetRotation(45.0f);
        auto* none = new W2dSpinEffect(period);
        still->AddEffect(none);
        none->Begin(still);
        At(400.0, still);
        EXPECT_FLOAT_EQ(still->GetRotation(), 45.0f) << period;
    }
}

TEST_F(Effects, MoveByEndsAtStartPlusOffsetWhichStartsTheNextRun)
{
    auto* item = Picture({0.1f, 0.5f, 0}, {0.1f, 0.1f, 0});
    const Vector offset = {0.2f, -0.1f, 0};
    auto* move = new W2dMoveByEffect(&offset, Ticks(1.0));
    item->AddEffect(move);
    move->Begin(item);
    struct Step
    {
        double time;
        float x, y;
        int32_t running;
    };
    for (const Step& step : {Step{0.0, 0.1f, 0.5f, 1}, Step{0.5, 0.2f, 0.45f, 1}, Step{1.0, 0.3f, 0.4f, 0}})
    {
        At(step.time, item);
        EXPECT_NEAR(Position(item).x, step.x, 1e-5f) << step.time;
        EXPECT_NEAR(Position(item).y, step.y, 1e-5f) << step.time;
        EXPECT_EQ(move->IsRunning(), step.running) << step.time;
    }
    EXPECT_EQ(item->RestartEffect(0), 1);
    At(2.0, item);
    At(2.5, item);
    EXPECT_NEAR(Position(item).x, 0.4f, 1e-5f);
    At(3.0, item);
    EXPECT_NEAR(Position(item).x, 0.5f, 1e-5f);
    EXPECT_EQ(item->AreEffectsStopped(), 1);
}

TEST_F(Effects, MoveAndBackGoesOutAndBackEachHalfPeriodAndStartsOverAfterIt)
{
    auto* item = Picture({0.5f, 0.2f, 0}, {0.1f, 0.1f, 0});
    const Vector offset = {0, 0.2f, 0};
    auto* move = new W2dMoveAndBackEffect(&offset, Ticks(1.0));
    item->AddEffect(move);
    move->Begin(item);
    struct Step
    {
        double time;
        float y;
    };
    // Fractions of the half period are taken as reals: an integer quotient would never move.
    for (const Step& step :
         {Step{0.0, 0.2f}, Step{0.5, 0.3f}, Step{1.0, 0.4f}, Step{1.5, 0.3f}, Step{2.0, 0.3f}, Step{2.25, 0.25f}})
    {
        At(step.time, item);
        EXPECT_NEAR(Position(item).y, step.y, 1e-5f) << step.time;
    }
    item->RestartEffects();
    EXPECT_NEAR(Position(item).y, 0.2f, 1e-6f);
}

TEST_F(Effects, HeightPulseShrinksAndGrowsAboutTheItemsMiddle)
{
    auto* item = Picture({0.1f, 0.3f, 0}, {0.2f, 0.4f, 0});
    item->AddEffect(new W2dHeightPulseEffect(Ticks(1.0), 0.5f, item));
    struct Step
    {
        double time;
        float height, y;
    };
    for (const Step& step : {Step{0.5, 0.3f, 0.35f}, Step{1.0, 0.2f, 0.4f}, Step{1.5, 0.3f, 0.35f},
                             Step{2.0, 0.3f, 0.35f}, Step{2.5, 0.3f, 0.35f}})
    {
        At(step.time, item);
        Vector size;
        item->GetSize(&size);
        EXPECT_NEAR(size.y, step.height, 1e-5f) << step.time;
        EXPECT_NEAR(size.x, 0.2f, 1e-6f);
        EXPECT_NEAR(Position(item).y, step.y, 1e-5f) << step.time;
    }
    item->RestartEffects();
    Vector size;
    item->GetSize(&size);
    EXPECT_FLOAT_EQ(size.y, 0.4f);
    EXPECT_FLOAT_EQ(Position(item).y, 0.3f);
}

TEST_F(Effects, TextPulseNeverFadesTheTextBelowAlphaFifty)
{
    auto* text = new W2dTextGraphicItem("FONT", nullptr);
    text->SetCharHeight(0.04f);
    Keep(text);
    text->SetPosition({0.2f, 0.5f, 0});
    text->SetColour({255, 255, 255, 255});
    text->AddEffect(new W2dTextPulseEffect(Ticks(1.0), 0.5f, text));
    struct Step
    {
        double time;
        float height;
        int32_t alpha;
    };
    for (const Step& step : {Step{0.5, 0.03f, 127}, Step{0.9, 0.022f, 50}, Step{1.1, 0.022f, 50}, Step{1.5, 0.03f, 127},
                             Step{1.99, 0.0398f, 252}})
    {
        At(step.time, text);
        float height = 0;
        text->GetCharHeight(&height);
        EXPECT_NEAR(height, step.height, 1e-5f) << step.time;
        EXPECT_NEAR(Position(text).y, 0.5f + (0.04f - step.height) * 0.5f, 1e-5f) << step.time;
        EXPECT_EQ(Colour(text).alpha, step.alpha) << step.time;
    }
    text->RestartEffects();
    float height = 0;
    text->GetCharHeight(&height);
    EXPECT_FLOAT_EQ(height, 0.04f);
}

TEST_F(Effects, OneStepMoveSharedByItemsMovesThemTogetherAndHidesWhatLeavesTheTop)
{
    auto* a = Picture({0.3f, 0.5f, 0}, {0.1f, 0.1f, 0});
    auto* b = Picture({0.3f, 0.15f, 0}, {0.1f, 0.1f, 0});
    auto* step = new W2dStepMoveEffect(Ticks(0.1), 0.0f, -0.1f, 0.0f);
    step->AddRef();
    a->AddEffect(step);
    b->AddEffect(step);
    struct Frame
    {
        double time;
        float ya, yb;
        int32_t bHidden;
    };
    for (const Frame& frame : {Frame{0.0, 0.4f, 0.05f, 0}, Frame{0.05, 0.4f, 0.05f, 0}, Frame{0.2, 0.3f, -0.05f, 1},
                               Frame{0.25, 0.3f, -0.05f, 1}, Frame{0.4, 0.2f, -0.15f, 1}})
    {
        mClocks->SetReal(kT0 + Ticks(frame.time));
        step->Tick();
        a->Update();
        b->Update();
        EXPECT_NEAR(Position(a).y, frame.ya, 1e-5f) << frame.time;
        EXPECT_NEAR(Position(b).y, frame.yb, 1e-5f) << frame.time;
        EXPECT_EQ(b->IsHidden(), frame.bHidden) << frame.time;
        EXPECT_EQ(a->IsHidden(), 0);
    }
    EXPECT_EQ(step->GetRefCount(), 3);
    step->Release();
}

} // namespace
} // namespace uitest
