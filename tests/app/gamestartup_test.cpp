// The game starting headless with its real services: the permanent group loads from its pack
// while the loading screen redraws once per file opened, the language choice is entered, a
// quit request ends the game through the orderly shut-down and the exit list empties.
#include "gameprofile.h"
#include "gameservices.h"
#include "gameservicesdefaults.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "groupwriter.h"
#include "hbclock.h"
#include "hbexitlist.h"
#include "hbfile.h"
#include "hbpack.h"
#include "renderer_fixture.h"
#include "resourcegroups.h"
#include "tsactortyperegistry.h"
#include "weaponshoot.h"
#include "weapontables.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace
{
int gOpens = 0;
int32_t gFramesAtLoad = -1;
int gOpensAtLoad = 0;
int32_t gFramesAfterLoad = -1;
int gOpensAfterLoad = 0;

void CountOpen(const char*)
{
    ++gOpens;
}

void Observe(const char* step)
{
    const std::string name = step;
    if (name == "ResourceGroupLoad")
    {
        gFramesAtLoad = HbRealClock::Instance()->mFrameCount;
        gOpensAtLoad = gOpens;
    }
    else if (name == "WShadows::Init")
    {
        gFramesAfterLoad = HbRealClock::Instance()->mFrameCount;
        gOpensAfterLoad = gOpens;
    }
}

class GameStartUp : public renderertest::RendererTest
{
};

TEST_F(GameStartUp, PermanentLoadsFromItsPackWithRedrawsThenQuitShutsDownInOrder)
{
    // The bindings file allows the loading ticks; the permanent group's script runs three
    // scripts of its own, all inside its pack.
    ASSERT_EQ(GroupWriter::WriteText("commands.scr", "allowLoadingTick\r\n"), 1);
    ASSERT_EQ(GroupWriter::WritePack("PERMANENT.PAK", {{"PERMANENT.scr", "execute one.scr\r\nexecute two.scr\r\n"
                                                                         "execute three.scr\r\n"},
                                                       {"one.scr", ""},
                                                       {"two.scr", ""},
                                                       {"three.scr", ""}}),
              1);
    GameServicesInstallDefaults();
    GameServicesTable().observe = Observe;
    ResourceGroupResetLayers();
    HbRealClock::Instance();
    gOpens = 0;
    HbFileNameHook = CountOpen;

    GameStateManager* manager = GameStateManager::Instance();
    manager->Initialise();
    HbFileNameHook = nullptr;
    GameServicesTable().observe = nullptr;

    ASSERT_GE(gFramesAtLoad, 0);
    // The pack, PERMANENT.scr and its three scripts, each opened once and each drawing one frame.
    EXPECT_EQ(gOpensAfterLoad - gOpensAtLoad, 5);
    EXPECT_EQ(gFramesAfterLoad - gFramesAtLoad, 5);
    ResourceGroup* permanent = ResourceGroupFind("PERMANENT");
    ASSERT_NE(permanent, nullptr);
    EXPECT_EQ(permanent->packMounted, 1);
    ASSERT_NE(manager->GetCurrentState(), nullptr);
    EXPECT_EQ(manager->GetCurrentState()->GetId(), kGameStateChooseLanguage);
    EXPECT_EQ(manager->GetCurrentState()->IsEntered(), 1);
    EXPECT_EQ(HbFileBeforeOpenHook, nullptr);

    // The weapons: both classes creatable by scripts, the display's reader,
    // and the difficulty and unlimited ammunition read from the profile.
    TsActorTypeRegistry* types = TsActorTypeRegistry::Instance();
    EXPECT_NE(types->FindByName("WeaponShoot"), nullptr);
    EXPECT_NE(types->FindByName("WeaponContact"), nullptr);
    EXPECT_NE(dynamic_cast<WeaponHudAccess*>(HeroHudAccess::Get()), nullptr);
    {
        auto* gun = new WeaponShoot();
        gun->AddRef();
        gun->mBaseHitRadius = 10.0f;
        gun->mMagazineSize = 30;
        manager->GetProfile()->missionTable.words[MissionTable::kDifficulty] = 0;
        gun->OnAmmunitionLoaded();
        EXPECT_EQ(gun->mHit.hitRadius, 20.0f);
        manager->GetProfile()->unlimitedAmmo = 1;
        gun->LoadAmmunitionData();
        EXPECT_EQ(gun->mMagazine, 30);
        EXPECT_EQ(gun->mStock, -1);
        manager->GetProfile()->unlimitedAmmo = 0;
        gun->Release();
    }

    manager->GetProfile()->quitRequest = 1;
    EXPECT_EQ(manager->Tick(), 0);
    EXPECT_EQ(manager->Shutdown(), 1);
    EXPECT_EQ(ResourceGroupFind("PERMANENT"), nullptr);
    EXPECT_EQ(HbPackSet::Instance()->GetMountedCount(), 0);

    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            HbExitList::RunAll();
            std::exit(HbExitList::Count() == 0 && !GameStateManager::Existing() ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), "");
    GameServicesTable() = GameServicesLeast();
}
} // namespace
