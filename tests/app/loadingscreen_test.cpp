// The loading screen: no redraws before allowLoadingTick, then one frame per file opened
// (never nested), the group of the sector being launched, and a dark picture when its
// texture is missing.
#include "gamecommands.h"
#include "gameloadingscreen.h"
#include "gameprofile.h"
#include "gamestatemanager.h"
#include "groupwriter.h"
#include "hbclock.h"
#include "hbcommand.h"
#include "hbfile.h"
#include "hbpack.h"
#include "raster.h"
#include "renderer_fixture.h"
#include "resourcegroups.h"
#include "w2dsurface.h"
#include "w2dsurfacegraphicitem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
int gOpens = 0;
void CountOpen(const char*)
{
    ++gOpens;
}

class LoadingScreen : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        Started();
        ResourceGroupResetLayers();
        GameCommandsReset();
        mManager = GameStateManager::Instance();
        gOpens = 0;
        HbFileNameHook = CountOpen;
    }
    void TearDown() override
    {
        HbFileNameHook = nullptr;
        mManager->StopLoadingScreen();
        mManager->SetProfile(nullptr);
        ResourceGroupUnloadAll();
        GameCommandsReset();
        RendererTest::TearDown();
    }

    /// A group whose script runs n empty scripts of its own: n + 1 files opened.
    static void Group(const std::string& name, int files)
    {
        std::string text;
        for (int i = 0; i < files; ++i)
        {
            GroupWriter::WriteText(name + "_" + std::to_string(i) + ".scr", "");
            text += "execute " + name + "_" + std::to_string(i) + ".scr\r\n";
        }
        GroupWriter::WriteText(name + ".scr", text);
    }

    static int32_t Frames() { return HbRealClock::Instance()->mFrameCount; }

    GameStateManager* mManager = nullptr;
};

TEST_F(LoadingScreen, RedrawsOnlyAfterAllowLoadingTickOneFramePerFileOpened)
{
    Group("loading", 0);
    Group("PERMANENT", 5);
    mManager->StartLoadingScreen();
    HbFileBeforeOpenHook = LoadingTickHook;
    ASSERT_NE(mManager->GetLoadingPicture(), nullptr);
    EXPECT_EQ(mManager->GetLoadingPicture()->IsVisible(), 0);
    int32_t before = Frames();
    gOpens = 0;
    ResourceGroupLoad("PERMANENT", 0);
    EXPECT_GT(gOpens, 0);
    EXPECT_EQ(Frames(), before);
    EXPECT_EQ(mManager->GetLoadingPicture()->IsVisible(), 0);
    EXPECT_EQ(mManager->GetLoadingIcon(), nullptr);
    ResourceGroupUnload("PERMANENT");

    HbCommandManager::Instance()->ExecuteLine("allowLoadingTick");
    before = Frames();
    gOpens = 0;
    ResourceGroupLoad("PERMANENT", 0);
    // Every open redraws once; the icon's own opens inside the first redraw do not.
    ASSERT_NE(mManager->GetLoadingIcon(), nullptr);
    EXPECT_EQ(gOpens, 6);
    EXPECT_EQ(Frames() - before, 6);
    EXPECT_EQ(mManager->GetLoadingPicture()->IsVisible(), 1);
    // The icon texture is missing: hidden, redraws go on.
    EXPECT_NE(mManager->GetLoadingIcon()->IsHidden(), 0);

    mManager->StopLoadingScreen();
    EXPECT_EQ(mManager->GetLoadingPicture(), nullptr);
    EXPECT_EQ(HbFileBeforeOpenHook, nullptr);
    // No profile yet: the start-up's loading group stays.
    EXPECT_NE(ResourceGroupFind("loading"), nullptr);
}

TEST_F(LoadingScreen, TheFirstSectorOfAWorldShowsTheWorldsGroupAndAMissingPictureIsDark)
{
    auto* profile = new GameProfile();
    mManager->SetProfile(profile);
    Group("W3", 0);
    Group("loading", 0);
    struct Case
    {
        const char* sector;
        const char* group;
    };
    for (const Case& c : {Case{"W3L1S01", "W3"}, Case{"W3L1S02", "loading"}, Case{"W3", "loading"}})
    {
        profile->sectorId = c.sector;
        mManager->StartLoadingScreen();
        EXPECT_EQ(mManager->GetLoadingGroup(), c.group) << c.sector;
        EXPECT_NE(ResourceGroupFind(c.group), nullptr) << c.sector;
        W2dSurface* picture = mManager->GetLoadingPicture();
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->IsInserted(), 1);
        Rgba corners[4];
        picture->GetColor(&corners[0], &corners[1], &corners[2], &corners[3]);
        for (const Rgba& corner : corners)
            EXPECT_TRUE(corner.red == 0 && corner.green == 0 && corner.blue == 0 && corner.alpha == 255);
        // With a profile the stop unloads the loading group.
        mManager->StopLoadingScreen();
        EXPECT_EQ(ResourceGroupFind(c.group), nullptr) << c.sector;
        EXPECT_TRUE(mManager->GetLoadingGroup().empty());
    }
}
} // namespace
