// The campaign map: which path pieces show for which open missions, the entrance that holds the
// runners back until the paths have drawn themselves, the runners' steps, hiding and showing
// round an overlay, the release of every item, and a frame of updates that allocates nothing.
#include "mocampaignmap.h"
#include "ui_fixture.h"
#include "w2dframedpanel.h"
#include "w2dsurface.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, size_t),
                                                         void (*onFree)(const volatile void*)) __attribute__((weak));

namespace uitest
{
namespace
{

const int64_t kT0 = Ticks(50.0);

// The pieces' own rectangles, as the map lays them out.
struct Rect
{
    float x, y, w, h;
};
const Rect kPieceRects[MoCampaignMap::kPathPieces] = {
    {0.150941f, 0.154705f, 0.0625f, 0.0625f}, {0.150941f, 0.197767f, 0.0625f, 0.047f},
    {0.272963f, 0.259968f, 0.02325f, 0.06f},  {0.290842f, 0.258373f, 0.0625f, 0.0625f},
    {0.290842f, 0.23f, 0.0625f, 0.035997f},   {0.290842f, 0.161085f, 0.0625f, 0.0785f},
    {0.340297f, 0.15949f, 0.0625f, 0.082f},   {0.379901f, 0.15949f, 0.0625f, 0.082f},
    {0.425693f, 0.1594f, 0.0625f, 0.083f},    {0.471485f, 0.15949f, 0.0625f, 0.082f},
    {0.509852f, 0.15949f, 0.0625f, 0.082f},   {0.549456f, 0.15949f, 0.0625f, 0.082f},
    {0.58906f, 0.15949f, 0.0625f, 0.082f},    {0.628664f, 0.15949f, 0.0625f, 0.082f},
    {0.668268f, 0.15949f, 0.0625f, 0.082f},   {0.707872f, 0.15949f, 0.0625f, 0.082f},
    {0.753663f, 0.1594f, 0.0625f, 0.083f},    {0.799455f, 0.15949f, 0.0625f, 0.082f},
    {0.839059f, 0.15949f, 0.0625f, 0.082f},   {0.887327f, 0.161085f, 0.0625f, 0.0785f},
    {0.887327f, 0.22489f, 0.0625f, 0.0625f},  {0.887327f, 0.264753f, 0.0625f, 0.0625f},
    {0.887327f, 0.304616f, 0.0625f, 0.0625f}, {0.887327f, 0.344479f, 0.0625f, 0.0625f},
    {0.887327f, 0.393939f, 0.0625f, 0.0625f}, {0.850248f, 0.393939f, 0.0461f, 0.0624f},
};

Rgba ColourOf(W2dGenericItem* item)
{
    Rgba c = {1, 2, 3, 4};
    item->GetCornerColours(&c, &c, &c, &c);
    return c;
}

CampaignProgress Progress(std::initializer_list<int32_t> openMissions)
{
    CampaignProgress progress;
    for (int32_t mission : openMissions)
        progress.open[mission - 1] = 1;
    return progress;
}

class CampaignMap : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        mClocks->SetReal(kT0);
        mSurfacesBefore = Screen()->GetCount();
        mPathsBefore = W2dSurfacePathCache::GetCount();
        mMap = new MoCampaignMap();
        mMap->Build(nullptr);
    }

    void TearDown() override
    {
        delete mMap;
        UiTest::TearDown();
    }

    /// The map's frame at the seconds after the entrance began.
    void Frame(double at)
    {
        mClocks->SetReal(kT0 + Ticks(at));
        mMap->Update();
    }

    /// Frames every step seconds from one time up to another; the time after the last.
    double Run(double from, double to, double step = 0.05)
    {
        double at = from;
        for (; at <= to + 1e-9; at += step)
            Frame(at);
        return at;
    }

    std::vector<int32_t> Hidden() const
    {
        std::vector<int32_t> hidden;
        for (int32_t i = 0; i < MoCampaignMap::kPathPieces; ++i)
            if (mMap->GetPathPiece(i)->IsHidden())
                hidden.push_back(i);
        return hidden;
    }

    std::vector<int32_t> RunnerPieces() const
    {
        return {mMap->GetRunner(0).piece, mMap->GetRunner(1).piece, mMap->GetRunner(2).piece};
    }

    /// The pieces drawn smaller than their own rectangle (lit by a runner).
    std::vector<int32_t> LitPieces() const
    {
        std::vector<int32_t> lit;
        for (int32_t i = 0; i < MoCampaignMap::kPathPieces; ++i)
        {
            Vector size;
            mMap->GetPathPiece(i)->GetSize(&size);
            if (size.x < kPieceRects[i].w * 0.9f)
                lit.push_back(i);
        }
        return lit;
    }

    int32_t mSurfacesBefore = 0;
    int32_t mPathsBefore = 0;
    MoCampaignMap* mMap = nullptr;
};

TEST_F(CampaignMap, PathPiecesShowOnlyForTheGroupsWhoseMissionsAreOpen)
{
    auto range = [](int32_t from, int32_t to)
    {
        std::vector<int32_t> pieces;
        for (int32_t i = from; i <= to; ++i)
            pieces.push_back(i);
        return pieces;
    };
    const struct
    {
        CampaignProgress progress;
        std::vector<int32_t> hidden;
    } cases[] = {
        {Progress({1}), range(0, 25)},
        {Progress({1, 2, 3, 4}), range(9, 25)},
        {Progress({1, 2, 3, 4, 5, 6}), range(17, 25)},
        {Progress({1, 2, 3}), range(2, 25)},
        {Progress({1, 2, 3, 4, 5, 6, 7}), {}},
        // Mission 7 open without 5 and 6: only its own group.
        {Progress({1, 7}), range(0, 16)},
    };
    for (const auto& c : cases)
    {
        mMap->ReleaseAll();
        mMap->Build(nullptr);
        mMap->EnterDisplay(c.progress, 0);
        EXPECT_EQ(Hidden(), c.hidden);
        // An overlay hides everything; coming back shows the same groups again.
        mMap->HideAll();
        EXPECT_EQ(Hidden(), range(0, 25));
        EXPECT_TRUE(mMap->GetBackground()->IsHidden());
        mMap->ShowAll(c.progress, 0);
        EXPECT_EQ(Hidden(), c.hidden);
    }
}

TEST_F(CampaignMap, TheEntranceFadesThePathsInOneAfterAnotherAndHoldsTheRunnersUntilItEnds)
{
    mMap->EnterDisplay(Progress({1, 2, 3, 4, 5, 6, 7}), 0);
    // Every piece starts clear; piece k (from 1) waits k tenths, then fades in over k tenths.
    EXPECT_EQ(ColourOf(mMap->GetPathPiece(0)).alpha, 0);
    EXPECT_EQ(ColourOf(mMap->GetPathPiece(25)).alpha, 0);
    Run(0.0, 0.25);
    EXPECT_EQ(ColourOf(mMap->GetPathPiece(0)).alpha, 100);
    EXPECT_EQ(ColourOf(mMap->GetPathPiece(2)).alpha, 0);
    Run(0.3, 5.1);
    EXPECT_GT(ColourOf(mMap->GetPathPiece(25)).alpha, 0);
    EXPECT_LT(ColourOf(mMap->GetPathPiece(25)).alpha, 100);
    EXPECT_EQ(RunnerPieces(), (std::vector<int32_t>{1, 10, 17})) << "no step while the last piece fades";
    EXPECT_TRUE(LitPieces().empty());

    // The entrance ends at 5.2 s: each runner lights its piece and moves on by one.
    double first = 5.15;
    for (; first < 5.5 && RunnerPieces()[0] == 1; first += 0.05)
        Frame(first);
    first -= 0.05;
    EXPECT_GE(first, 5.2 - 0.06);
    EXPECT_LE(first, 5.25 + 0.01);
    EXPECT_EQ(RunnerPieces(), (std::vector<int32_t>{2, 11, 18}));
    EXPECT_EQ(LitPieces(), (std::vector<int32_t>{1, 10, 17}));
    Vector size, position;
    W2dPictureItem* lit = mMap->GetPathPiece(10);
    lit->GetSize(&size);
    lit->GetPosition(&position);
    EXPECT_NEAR(size.x, 0.0625f * 0.75f, 1e-6);
    EXPECT_NEAR(size.y, 0.082f * 0.75f, 1e-6);
    // Shrunk about its centre, opaque.
    EXPECT_NEAR(position.x, 0.509852f + 0.0625f * 0.125f, 1e-6);
    EXPECT_NEAR(position.y, 0.15949f + 0.082f * 0.125f, 1e-6);
    EXPECT_EQ(ColourOf(lit).alpha, 255);
    EXPECT_EQ(ColourOf(mMap->GetPathPiece(9)).alpha, 100);

    // A step needs more than 0.15 s since the last.
    Frame(first + 0.14);
    EXPECT_EQ(RunnerPieces(), (std::vector<int32_t>{2, 11, 18}));
    Frame(first + 0.16);
    EXPECT_EQ(RunnerPieces(), (std::vector<int32_t>{3, 12, 19}));
    EXPECT_EQ(LitPieces(), (std::vector<int32_t>{2, 11, 18}));
    // Round the end and back to the start: every piece left behind has its own rectangle and colour.
    double at = first + 0.16;
    for (int32_t i = 0; i < 30; ++i)
        Frame(at += 0.16);
    EXPECT_EQ(RunnerPieces(), (std::vector<int32_t>{7, 16, 23}));
    EXPECT_EQ(LitPieces(), (std::vector<int32_t>{6, 15, 22}));
    for (int32_t i = 0; i < MoCampaignMap::kPathPieces; ++i)
    {
        if (i == 6 || i == 15 || i == 22)
            continue;
        mMap->GetPathPiece(i)->GetPosition(&position);
        EXPECT_NEAR(position.x, kPieceRects[i].x, 1e-6) << i;
        EXPECT_NEAR(position.y, kPieceRects[i].y, 1e-6) << i;
        EXPECT_EQ(ColourOf(mMap->GetPathPiece(i)).alpha, 100) << i;
    }
}

TEST_F(CampaignMap, TheStoryStopsTheEntranceSoTheRunnersStartAtOnceAndHiddenPiecesStayHidden)
{
    mMap->EnterDisplay(Progress({1, 2}), 0);
    Run(0.0, 1.0);
    EXPECT_EQ(RunnerPieces(), (std::vector<int32_t>{1, 10, 17}));
    mMap->ShowDetails(0);
    EXPECT_FALSE(mMap->GetStory(0)->IsHidden());
    EXPECT_EQ(ColourOf(mMap->GetPathPiece(25)).alpha, 100) << "stopped at its final colour";
    Frame(1.05);
    EXPECT_EQ(RunnerPieces(), (std::vector<int32_t>{2, 11, 18}));
    EXPECT_TRUE(mMap->GetPathPiece(10)->IsHidden());
    EXPECT_FALSE(mMap->GetPathPiece(1)->IsHidden());
    mMap->HideDetails(0);
    EXPECT_TRUE(mMap->GetStory(0)->IsHidden());
}

TEST_F(CampaignMap, TheCurrentMissionShowsItsPictureAndTitleAndTheSelectionMovesThem)
{
    CampaignProgress progress = Progress({1, 2, 3});
    progress.succeeded[2] = 1;
    progress.done[0] = progress.done[1] = 1;
    mMap->EnterDisplay(progress, 0);
    // Picture 1 is the picture panel's content: hidden with it, then shown as the current picture.
    EXPECT_FALSE(mMap->GetPicture(0)->IsHidden());
    EXPECT_FALSE(mMap->GetTitle(0)->IsHidden());
    for (int32_t i = 1; i < MoCampaignMap::kMissions; ++i)
    {
        EXPECT_TRUE(mMap->GetPicture(i)->IsHidden()) << i;
        EXPECT_TRUE(mMap->GetTitle(i)->IsHidden()) << i;
    }
    for (int32_t i = 0; i < MoCampaignMap::kMissions; ++i)
    {
        EXPECT_EQ(mMap->GetMarker(i)->IsHidden(), i != 2) << i;
        EXPECT_EQ(mMap->GetTick(i)->IsHidden(), i > 1) << i;
        EXPECT_TRUE(mMap->GetStory(i)->IsHidden()) << i;
        EXPECT_TRUE(mMap->GetName(i)->IsEffectActive(MoCampaignMap::kNamePulse) == (i == 0)) << i;
    }
    // Once their frames have faded in, open missions' names are opaque and closed ones faint.
    Run(0.0, 3.0);
    const Rgba open = ColourOf(mMap->GetName(1));
    EXPECT_EQ((std::vector<int>{open.red, open.green, open.blue, open.alpha}), (std::vector<int>{252, 196, 121, 255}));
    EXPECT_EQ(ColourOf(mMap->GetName(3)).alpha, 80);
    EXPECT_EQ(ColourOf(mMap->GetPicture(0)).alpha, 255) << "faded in";

    mMap->MoveSelection(0, 2);
    EXPECT_TRUE(mMap->GetTitle(0)->IsHidden());
    EXPECT_FALSE(mMap->GetTitle(2)->IsHidden());
    EXPECT_FALSE(mMap->GetPicture(2)->IsHidden());
    EXPECT_FALSE(mMap->GetName(0)->IsEffectActive(MoCampaignMap::kNamePulse));
    EXPECT_TRUE(mMap->GetName(2)->IsEffectActive(MoCampaignMap::kNamePulse));
    Run(3.0, 3.5);
    EXPECT_EQ(ColourOf(mMap->GetPicture(0)).alpha, 0) << "faded out";
    EXPECT_EQ(ColourOf(mMap->GetPicture(2)).alpha, 255) << "faded in";

    mMap->SetMarkerSelected(2, 1);
    const Rgba red = ColourOf(mMap->GetMarker(2));
    EXPECT_EQ((std::vector<int>{red.red, red.green, red.blue, red.alpha}), (std::vector<int>{255, 0, 0, 255}));
    mMap->SetMarkerSelected(2, 0);
    EXPECT_EQ(ColourOf(mMap->GetMarker(2)).green, 255);
}

TEST_F(CampaignMap, ReleasingTakesEveryItemOffTheScreenAndASecondReleaseDoesNothing)
{
    EXPECT_GT(Screen()->GetCount(), mSurfacesBefore + 26 + 7 * 5);
    mMap->EnterDisplay(Progress({1}), 0);
    mMap->ReleaseAll();
    EXPECT_EQ(Screen()->GetCount(), mSurfacesBefore);
    EXPECT_EQ(W2dSurfacePathCache::GetCount(), mPathsBefore) << "the runners' paths are let go";
    EXPECT_EQ(mMap->GetTitlePanel(), nullptr);
    EXPECT_EQ(mMap->GetPicture(0), nullptr);
    mMap->ReleaseAll();
    mMap->Update();
    EXPECT_EQ(Screen()->GetCount(), mSurfacesBefore);
}

// ---- Allocations ---------------------------------------------------------------------------------

std::atomic<bool> gCounting{false};
std::atomic<int> gAllocations{0};

void OnMalloc(const volatile void*, size_t)
{
    if (gCounting)
        ++gAllocations;
}

void OnFree(const volatile void*) {}

TEST_F(CampaignMap, FramesOfTheEntranceAndTheRunnersAllocateNothing)
{
    if (!__sanitizer_install_malloc_and_free_hooks)
        GTEST_SKIP() << "allocations are counted through the sanitizer's allocator";
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree) != 0;
    ASSERT_TRUE(installed);
    CampaignProgress progress = Progress({1, 2, 3, 4, 5, 6, 7});
    mMap->EnterDisplay(progress, 0);
    Frame(0.0);
    gAllocations = 0;
    gCounting = true;
    double at = 0.0;
    for (int32_t i = 0; i < 200; ++i)
    {
        Frame(at += 0.05);
        if (i == 120)
            mMap->MoveSelection(0, 1);
    }
    gCounting = false;
    EXPECT_EQ(gAllocations.load(), 0);
    EXPECT_NE(RunnerPieces(), (std::vector<int32_t>{1, 10, 17})) << "the runners ran";
}

} // namespace
} // namespace uitest
