// The game manager's fades on a started renderer: the overlay is listed once however often a
// fade starts, leaves the 2D list after a finished fade-in and stays after a fade-out.
#include "gameservices.h"
#include "gamestatemanager.h"
#include "hbclock.h"
#include "renderer_fixture.h"
#include "resourcegroups.h"
#include "w2dimagesurface.h"
#include "w2dsurfacelist.h"

#include <gtest/gtest.h>

namespace
{
class GameFade : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        mRenderer = Started();
        GameServicesTable() = GameServicesLeast();
        mManager = GameStateManager::Instance();
        mManager->Initialise();
        ASSERT_NE(mManager->GetFadeOverlay(), nullptr);
    }
    void TearDown() override
    {
        mManager->Shutdown();
        ResourceGroupUnloadAll(); // the language choice's group: the least table unloads nothing
        RendererTest::TearDown();
    }

    int Listed() const
    {
        int count = 0;
        W2dSurfaceList* list = mRenderer->GetSurfaceList();
        for (int32_t i = 0; i < list->GetCount(); ++i)
            count += list->GetAt(i) == mManager->GetFadeOverlay() ? 1 : 0;
        return count;
    }
    // Two ticks of the real clock later, the overlay's drawing brings its level up to date.
    void FinishFade()
    {
        W2dFadingSurface* overlay = mManager->GetFadeOverlay();
        HbRealClock::Instance()->mCurrentTime += 2;
        overlay->UpdateLevel();
        ASSERT_TRUE(overlay->IsFadeDone());
    }

    WRenderer* mRenderer = nullptr;
    GameStateManager* mManager = nullptr;
};

TEST_F(GameFade, FadeInIsListedOnceAndLeavesTheListWhenDone)
{
    EXPECT_EQ(Listed(), 0) << "made hidden and off the list";
    for (int frame = 0; frame < 3; ++frame)
        mManager->FadeIn(1, 1);
    EXPECT_EQ(Listed(), 1);
    EXPECT_EQ(mManager->IsFadingOut(), 0);
    mManager->Tick();
    EXPECT_EQ(Listed(), 1) << "still fading";
    FinishFade();
    EXPECT_EQ(mManager->GetFadeOverlay()->GetLevel(), 0.0f);
    mManager->Tick();
    EXPECT_EQ(Listed(), 0);
}

TEST_F(GameFade, FadeOutStaysOnTheListOpaque)
{
    mManager->FadeOut(1, 1);
    mManager->FadeOut(1, 0);
    EXPECT_EQ(Listed(), 1);
    EXPECT_EQ(mManager->IsFadingOut(), 1);
    FinishFade();
    mManager->Tick();
    EXPECT_EQ(Listed(), 1);
    EXPECT_EQ(mManager->GetFadeOverlay()->GetLevel(), 1.0f);
}
} // namespace
