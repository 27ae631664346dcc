// The in-game head-up display: its items as built, the life cycle in and out of play, the alarm, the
// boss gauge, the message box, the health display with its hit markers and near-death sound, the
// ammunition display and the cross-hair, read through a test hero behind the gameplay contract.
#include "boardcontroltheme_ingame.h"
#include "herohudaccess.h"
#include "scriptworldmanager.h"
#include "tsactor.h"
#include "tsinventory.h"
#include "tsweaponcontact.h"
#include "tsweaponshoot.h"
#include "framecheck.h"
#include "ui_fixture.h"
#include "w2dlistgraphiccontainer.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dtextgraphicitem.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace uitest
{
namespace
{

const char* const kNearDeath = "SD_I_NEAR_DEATH_S2DSB";
const char* const kTextsOn = "SD_I_TEXTS_ON_S2DSB";
const char* const kTextsOff = "SD_I_TEXTS_OFF_S2DSB";

/// The hero as the gameplay layer will report it; a hit is seen for one frame, as the hero resets it.
class TestHero : public HeroHudAccess
{
public:
    HbRoot* GetItemInHand(HbRoot*) override { return item; }
    int32_t GetHitPoints(HbRoot*) override { return hitPoints; }
    int32_t GetMaxHitPoints(HbRoot*) override { return maxHitPoints; }
    int32_t GetLastHitDirection(HbRoot*) override { return hit; }
    int32_t GetHeroStateId(HbRoot*) override { return state; }
    int32_t GetWeaponDisplayData(HbRoot* weapon, WeaponDisplayData* out) override
    {
        if (!useData || weapon != dataWeapon)
            return 0;
        *out = data;
        return 1;
    }

    TsInventoryItem* item = nullptr;
    int32_t hitPoints = 100;
    int32_t maxHitPoints = 100;
    int32_t hit = kNoHit;
    int32_t state = 0;
    bool useData = false;
    HbRoot* dataWeapon = nullptr;
    WeaponDisplayData data;
};

int32_t InPlay()
{
    return 1;
}

bool Shown(W2dGenericItem* item)
{
    return item && !item->IsHidden();
}

Rgba Colour(W2dGenericItem* item)
{
    Rgba c[4];
    item->GetCornerColours(&c[0], &c[1], &c[2], &c[3]);
    return c[0];
}

::testing::AssertionResult Near(W2dGenericItem* item, float x, float y, float w, float h)
{
    Vector p = {}, s = {};
    item->GetPosition(&p);
    item->GetSize(&s);
    if (std::fabs(p.x - x) > 1e-4f || std::fabs(p.y - y) > 1e-4f || std::fabs(s.x - w) > 1e-4f ||
        std::fabs(s.y - h) > 1e-4f)
        return ::testing::AssertionFailure() << "at (" << p.x << ", " << p.y << ") size (" << s.x << ", " << s.y
                                             << ")";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Is(const Rgba& c, int r, int g, int b, int a)
{
    if (c.red == r && c.green == g && c.blue == b && c.alpha == a)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << int(c.red) << ", " << int(c.green) << ", " << int(c.blue) << ", "
                                         << int(c.alpha) << ")";
}

class InGameDisplay : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        const char* textures[] = {"FE_FRONT_01_TEX", "FE_FRONT_HURT_TEX", "FE_FRONT_DEATH_TEX", "FE_FRONT_02_TEX",
                                  "FE_GREEN_TEX",    "FE_HIT_TEX",        "FE_CHARGER_TEX",     "FE_BULLET_TEX",
                                  "FE_POINT_SIGHT_TEX", "FE_SIGHT_TEX",   "FE_RIFLE_TEX",       "FE_KNIFE_TEX",
                                  "BOSS_X_TEX",      "BOSS_Y_TEX"};
        for (const char* id : textures)
            mResources->SolidTexture(id, 8, 8, 0xFF40C060u);
        mResources->Text("INTERFACE_ICONES_DE_JEU_1_1_TXT", "Look");
        mResources->Text("FRONTEND_BOARDCONTROL_USE_TXT", "Use");
        mResources->Text("INTERFACE_ICONES_DE_JEU_2_1_TXT", "Take");
        mResources->Text("OBJECTIVE_TXT", "Find the key");
        mSounds = std::make_unique<Sounds>(std::initializer_list<const char*>{kNearDeath, kTextsOn, kTextsOff});
        ASSERT_TRUE(mSounds->Started());
        mClocks->SetGame(Ticks(100.0));
        mClocks->SetReal(Ticks(100.0));

        mWorld = std::make_unique<ScriptWorldManager>();
        mHeroActor = new TsActor();
        mWorld->SetHero(mHeroActor);
        HeroHudAccess::Install(&mHero);
        BoardControlTheme_InGame::SetLevelCheck(InPlay);

        mTheme = new BoardControlTheme_InGame();
        mTheme->AddRef();
        ASSERT_EQ(mTheme->Build(), 1);
        mTheme->Hide(); // as the bar builds a theme
    }

    void TearDown() override
    {
        mTheme->Release();
        mTheme->HbRoot::Release();
        mHero.item = nullptr;
        for (TsInventoryItem* item : mItems)
            item->Release();
        BoardControlTheme_InGame::SetLevelCheck(nullptr);
        HeroHudAccess::Install(nullptr);
        mWorld->SetHero(nullptr);
        mWorld.reset();
        mSounds.reset();
        UiTest::TearDown();
    }

    /// Game and real time move on together, then one update.
    void Frame(double seconds = 0.0)
    {
        mClocks->AdvanceGame(Ticks(seconds));
        mClocks->AdvanceReal(Ticks(seconds));
        mTheme->Update();
        mHero.hit = HeroHudAccess::kNoHit;
    }

    /// A hit taken now, seen by the display in the next frame.
    void Hit(int32_t hitPoints, int32_t direction)
    {
        mHero.hitPoints = hitPoints;
        mHero.hit = direction;
    }

    /// An inventory item for the actor with the icon texture; held by the test.
    TsInventoryItem* Item(TsActor* actor, const char* icon)
    {
        auto* item = new TsInventoryItem();
        item->AddRef();
        item->SetActor(actor);
        item->mTexts[1] = icon;
        mItems.push_back(item);
        return item;
    }

    /// Whether the picture draws the texture of the identifier (textures are shared by identifier).
    ::testing::AssertionResult Draws(W2dPictureItem* picture, const char* textureId)
    {
        auto* reference = new W2dPictureItem(textureId, -1.0f, nullptr);
        reference->AddRef();
        reference->Create();
        ::Texture* expected = reference->GetSurface() ? reference->GetSurface()->GetTexture() : nullptr;
        ::Texture* actual = picture->GetSurface() ? picture->GetSurface()->GetTexture() : nullptr;
        reference->Release();
        reference->HbRoot::Release();
        if (expected && actual == expected)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "not " << textureId;
    }

    int ShownBullets() const
    {
        int n = 0;
        for (int i = 0; i < BoardControlTheme_InGame::kBullets; ++i)
            n += Shown(mTheme->GetBulletIcon(i));
        return n;
    }
    int ShownMagazines() const
    {
        int n = 0;
        for (int i = 0; i < BoardControlTheme_InGame::kMagazines; ++i)
            n += Shown(mTheme->GetMagazineIcon(i));
        return n;
    }
    int ShownMarkers() const
    {
        int n = 0;
        for (int ring = 0; ring < 3; ++ring)
            for (int d = 0; d < 4; ++d)
                n += Shown(mTheme->GetHitMarker(ring, d));
        return n;
    }

    std::unique_ptr<Sounds> mSounds;
    std::unique_ptr<ScriptWorldManager> mWorld;
    TsActor* mHeroActor = nullptr;
    TestHero mHero;
    BoardControlTheme_InGame* mTheme = nullptr;
    std::vector<TsInventoryItem*> mItems;
};

TEST_F(InGameDisplay, BuildMakesEveryItemAsTheLayoutSays)
{
    struct Row
    {
        W2dGenericItem* item;
        float x, y, w, h;
        int r, g, b, a;
        bool shown;
        int effects;
    };
    // A theme just built, as the bar builds it before its first hide.
    auto* t = new BoardControlTheme_InGame();
    t->AddRef();
    ASSERT_EQ(t->Build(), 1);
    const Row rows[] = {
        {t->GetFace(), 0.062f, -0.216f, 0.25f, 0.125f, 255, 255, 255, 255, true, 2},
        {t->GetHealthGauge(), 0.122201f, 0.086101f - 0.25f, 0.162598f, 0.0625f, 255, 255, 255, 255, true, 2},
        {t->GetLaggingGauge(), 0.122201f, 0.086101f - 0.25f, 0.162598f, 0.0625f, 255, 128, 153, 150, true, 2},
        {t->GetAlarmIndicator(), -0.0625f, 0.137f, 0.0625f, 0.0625f, 255, 255, 255, 255, true, 2},
        {t->GetBossGauge(), 0.122201f, 0.9f, 0.162598f, 0.0625f, 255, 255, 255, 255, false, 0},
        {t->GetMagazineIcon(4), 0.867f, 0.1f + 4 * 0.03125f, 0.0625f, 0.0625f, 255, 255, 255, 255, true, 2},
        {t->GetBulletIcon(31), 0.916f, 0.114f + 31 * 0.008f, 0.025f, 0.008f, 255, 255, 255, 255, true, 2},
        {t->GetSightCentre(), 0.5f - 0.015625f, 0.5f - 0.015625f, 0.03125f, 0.03125f, 248, 230, 127, 100, false, 0},
        {t->GetMessageFrame(), 0.1f, 0.7f, 0.8f, 0.1625f, 0, 0, 0, 150, true, 0},
        {t->GetHintCaption(), 0.284851f, 0.811802f, 0.378188f, 0.023453f, 252, 196, 121, 255, true, 0},
        {t->GetWeaponIcon(), 1.25f, 0.08f, 0.25f, 0.0625f, 255, 255, 255, 255, true, 3},
        {t->GetHitMarker(0, 0), 0.422f, 0.083f, 0.125f, 0.0625f, 255, 255, 255, 255, true, 0},
        {t->GetHitMarker(1, 1), 0.85f + 0.0625f, 0.4375f + 0.03125f, 0.03125f, 0.0625f, 255, 255, 255, 255, true, 0},
        {t->GetHitMarker(2, 3), 0.0875f - 0.03125f - 0.015625f, 0.4375f + 0.03125f + 0.015625f, 0.015625f,
         0.03125f, 255, 255, 255, 255, true, 0},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.item->GetName() + " row " + std::to_string(&row - rows));
        ASSERT_NE(row.item, nullptr);
        EXPECT_TRUE(Near(row.item, row.x, row.y, row.w, row.h));
        EXPECT_TRUE(Is(Colour(row.item), row.r, row.g, row.b, row.a));
        EXPECT_EQ(Shown(row.item), row.shown);
        EXPECT_EQ(row.item->GetEffectCount(), row.effects);
    }
    // Fades attached inactive, the count icons' entry fades stopped at white.
    EXPECT_EQ(t->GetFace()->IsEffectActive(1), 0);
    EXPECT_EQ(t->GetAlarmIndicator()->IsEffectActive(0), 0);
    EXPECT_EQ(t->GetBulletIcon(0)->IsEffectStopped(0), 1);
    EXPECT_EQ(t->GetBulletIcon(0)->IsEffectActive(1), 0);
    EXPECT_EQ(t->GetWeaponIcon()->IsEffectActive(2), 0);
    EXPECT_EQ(t->GetHintText(2), "Use");
    EXPECT_EQ(t->GetMessageList()->GetLifetime(), 4.0f);
    EXPECT_FLOAT_EQ(t->GetLaggingValue(), 1.0f);
    EXPECT_EQ(t->Build(), 0);
    EXPECT_EQ(t->Release(), 1);
    EXPECT_EQ(t->GetFace(), nullptr);
    t->HbRoot::Release();
}

TEST_F(InGameDisplay, PlayGatesShowAndTheLinkedObjectHidesTheDisplayAndStopsTheNearDeathSound)
{
    BoardControlTheme_InGame::SetLevelCheck([]() -> int32_t { return 0; });
    EXPECT_EQ(mTheme->Show(), 0);
    Frame();
    EXPECT_EQ(mTheme->GetState() & BoardControlTheme::kShown, 0u);

    BoardControlTheme_InGame::SetLevelCheck(InPlay);
    mHero.hitPoints = 10;
    Frame();
    EXPECT_NE(mTheme->GetState() & BoardControlTheme::kShown, 0u);
    EXPECT_TRUE(Shown(mTheme->GetFace()));
    EXPECT_NE(mTheme->GetNearDeathChannel(), -1);

    TsActor* linked = new TsActor();
    linked->AddRef();
    mHeroActor->mLinkedObject = linked;
    Frame();
    EXPECT_EQ(mTheme->GetState() & BoardControlTheme::kShown, 0u);
    EXPECT_FALSE(Shown(mTheme->GetFace()));
    EXPECT_EQ(mTheme->GetNearDeathChannel(), -1);
    mHeroActor->mLinkedObject = nullptr;
    linked->Release();
    Frame();
    EXPECT_TRUE(Shown(mTheme->GetFace()));
}

TEST_F(InGameDisplay, TheAlarmBlinksBetweenWhiteAndRedAndSlidesInOnce)
{
    Frame();
    mTheme->SetAlarm(1);
    W2dPictureItem* alarm = mTheme->GetAlarmIndicator();
    EXPECT_EQ(alarm->IsEffectActive(0), 1);
    Frame(0.2);
    Vector moved = {};
    alarm->GetPosition(&moved);
    mTheme->SetAlarm(1); // no second slide-in: the item is not put back to its start
    Vector after = {};
    alarm->GetPosition(&after);
    EXPECT_FLOAT_EQ(after.x, moved.x);

    Frame(0.4); // the first phase change: red
    EXPECT_TRUE(Is(Colour(alarm), 234, 83, 42, 255));
    Frame(0.51); // back to white
    EXPECT_TRUE(Is(Colour(alarm), 255, 255, 255, 255));
    Frame(0.25);
    EXPECT_TRUE(Is(Colour(alarm), 245, 169, 149, 255));
    Frame(0.26);
    EXPECT_TRUE(Is(Colour(alarm), 234, 83, 42, 255));

    mTheme->SetAlarm(0);
    EXPECT_EQ(mTheme->GetAlarmMode(), 1);
    EXPECT_EQ(alarm->IsEffectActive(0), 0);
}

TEST_F(InGameDisplay, TheBossGaugeKeepsItsFirstPictureAndHidesAtZero)
{
    Frame();
    mTheme->DrawBossHitPoints("BOSS_X_TEX", 0.5f);
    mTheme->DrawBossHitPoints("BOSS_Y_TEX", 0.25f);
    ASSERT_NE(mTheme->GetBossPicture(), nullptr);
    EXPECT_EQ(mTheme->GetBossPicture()->GetTextureId(), "BOSS_X_TEX");
    EXPECT_FLOAT_EQ(mTheme->GetBossGauge()->GetValue(), 0.25f);
    EXPECT_TRUE(Shown(mTheme->GetBossGauge()));
    mTheme->DrawBossHitPoints("BOSS_Y_TEX", 0.0f);
    EXPECT_FALSE(Shown(mTheme->GetBossGauge()));
    EXPECT_FALSE(Shown(mTheme->GetBossPicture()));
    mTheme->DrawBossHitPoints("BOSS_Y_TEX", 0.3f);
    EXPECT_TRUE(Shown(mTheme->GetBossGauge()));
    EXPECT_TRUE(Shown(mTheme->GetBossPicture()));
    mTheme->Reset();
    EXPECT_EQ(mTheme->GetBossPicture(), nullptr);
}

TEST_F(InGameDisplay, AMessageSizesTheBoxByItsLinesAndReplacesTheOneBefore)
{
    Frame();
    mSounds->Clear();
    mTheme->LogMessage("one\ntwo\nthree");
    W2dTimedListGraphicContainer* list = mTheme->GetMessageList();
    ASSERT_EQ(list->GetChildCount(), 1);
    Vector size = {};
    list->GetSize(&size);
    EXPECT_NEAR(size.y, 0.12f, 1e-5f);
    EXPECT_FLOAT_EQ(list->GetLifetime(), 6.0f);
    Vector frame = {};
    mTheme->GetMessageFrame()->GetSize(&frame);
    EXPECT_NEAR(frame.x, 0.8f, 1e-5f);
    EXPECT_NEAR(frame.y, 0.13f, 1e-5f);

    mTheme->LogMessageFromResource("OBJECTIVE_TXT");
    ASSERT_EQ(list->GetChildCount(), 1);
    EXPECT_EQ(HbCastTo<W2dTextGraphicItem>(list->GetChild(0))->GetText(), "Find the key");
    mTheme->LogMessageFromResource("NO_SUCH_TXT");
    EXPECT_EQ(list->GetChildCount(), 1);
    Frame();
    EXPECT_TRUE(Shown(mTheme->GetMessageFrame()));

    mSounds->Clear();
    mTheme->ClearMessages();
    EXPECT_EQ(list->GetChildCount(), 0);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kTextsOff});
    Frame();
    EXPECT_FALSE(Shown(mTheme->GetMessageFrame()));
}

TEST_F(InGameDisplay, AMessageLoggedWhileHiddenAppearsWhenTheDisplayIsNextShown)
{
    // Before the first show, as objective texts during stage entry.
    mTheme->LogMessage("Reach the gate");
    EXPECT_EQ(mTheme->GetMessageList()->GetChildCount(), 0);
    Frame();
    ASSERT_EQ(mTheme->GetMessageList()->GetChildCount(), 1);
    EXPECT_EQ(HbCastTo<W2dTextGraphicItem>(mTheme->GetMessageList()->GetChild(0))->GetText(), "Reach the gate");
    // Hidden under another theme: the message up goes, the newest hidden one waits.
    mTheme->Hide();
    mTheme->LogMessage("first");
    mTheme->LogMessage("second");
    EXPECT_EQ(mTheme->GetMessageList()->GetChildCount(), 0);
    mTheme->Show();
    ASSERT_EQ(mTheme->GetMessageList()->GetChildCount(), 1);
    EXPECT_EQ(HbCastTo<W2dTextGraphicItem>(mTheme->GetMessageList()->GetChild(0))->GetText(), "second");
}

TEST_F(InGameDisplay, AHitFromTheLeftSpreadsTheMarkersAndTheLaggingGaugeFollowsAtTheEnd)
{
    Frame();
    EXPECT_EQ(ShownMarkers(), 0);
    EXPECT_TRUE(Draws(mTheme->GetFace(), "FE_FRONT_01_TEX"));
    Hit(50, HeroHudAccess::kHitLeft);
    Frame(0.01);
    EXPECT_EQ(ShownMarkers(), 1);
    EXPECT_TRUE(Is(Colour(mTheme->GetHitMarker(0, 3)), 255, 255, 255, 255));
    EXPECT_TRUE(Draws(mTheme->GetFace(), "FE_FRONT_HURT_TEX"));
    EXPECT_FLOAT_EQ(mTheme->GetHealthGauge()->GetValue(), 0.5f);
    EXPECT_FLOAT_EQ(mTheme->GetLaggingGauge()->GetValue(), 1.0f);

    const struct
    {
        double at;
        int markers;
    } steps[] = {{0.39, 1}, {0.41, 2}, {0.51, 3}, {0.74, 3}, {0.76, 0}};
    double now = 0.0;
    for (const auto& step : steps)
    {
        Frame(step.at - now);
        now = step.at;
        SCOPED_TRACE(step.at);
        EXPECT_EQ(ShownMarkers(), step.markers);
        for (int ring = 0; ring < step.markers; ++ring)
            EXPECT_TRUE(Shown(mTheme->GetHitMarker(ring, 3)));
    }
    EXPECT_FLOAT_EQ(mTheme->GetLaggingValue(), 0.5f);
    Frame();
    EXPECT_FLOAT_EQ(mTheme->GetLaggingGauge()->GetValue(), 0.5f);
}

TEST_F(InGameDisplay, ASecondHitRestartsAtTheInnerRingOnItsSide)
{
    Frame();
    Hit(80, HeroHudAccess::kHitTop);
    Frame();
    Frame(0.3);
    Hit(60, HeroHudAccess::kHitRight);
    Frame();
    EXPECT_EQ(mTheme->GetShownHitDirection(), HeroHudAccess::kHitRight);
    EXPECT_EQ(ShownMarkers(), 1);
    EXPECT_TRUE(Shown(mTheme->GetHitMarker(0, 1)));
    EXPECT_TRUE(Is(Colour(mTheme->GetHitMarker(0, 1)), 255, 255, 255, 255));
    Frame(0.2); // alpha falls with the time since this hit
    EXPECT_TRUE(Is(Colour(mTheme->GetHitMarker(0, 1)), 255, 255, 255, 187));
}

TEST_F(InGameDisplay, TheNearDeathSoundPlaysOnceBelowAFifth)
{
    Frame();
    mSounds->Clear();
    mHero.hitPoints = 19;
    Frame();
    Frame();
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kNearDeath});
    EXPECT_NE(mTheme->GetNearDeathChannel(), -1);
    mHero.hitPoints = 20;
    Frame();
    EXPECT_EQ(mTheme->GetNearDeathChannel(), -1);
    // A hero without a maximum counts as spent instead of dividing by zero.
    mHero.maxHitPoints = 0;
    Frame();
    EXPECT_FLOAT_EQ(mTheme->GetHealthGauge()->GetValue(), 0.0f);
    EXPECT_NE(mTheme->GetNearDeathChannel(), -1);
}

TEST_F(InGameDisplay, FiveQuietSecondsFadeTheHealthGroupAndAimingBringsItBack)
{
    Frame();
    Frame(4.9);
    EXPECT_EQ(mTheme->IsHealthFaded(), 0);
    Frame(0.2);
    EXPECT_EQ(mTheme->IsHealthFaded(), 1);
    EXPECT_EQ(mTheme->GetFace()->IsEffectActive(1), 1);
    Frame(1.1);
    EXPECT_EQ(Colour(mTheme->GetFace()).alpha, 0);
    mHero.state = 10;
    Frame();
    EXPECT_EQ(mTheme->IsHealthFaded(), 0);
    EXPECT_EQ(mTheme->GetFace()->IsEffectActive(1), 0);
    EXPECT_TRUE(Is(Colour(mTheme->GetFace()), 255, 255, 255, 255));
}

TEST_F(InGameDisplay, TheCountsFollowTheFirearmAndAContactWeaponKeepsOnlyItsIcon)
{
    auto* rifle = new TsWeaponShoot();
    rifle->mMagazineSize = 8;
    rifle->SetAmmo(32); // 8 in the weapon, 3 full magazines
    TsInventoryItem* rifleItem = Item(rifle, "FE_RIFLE_TEX");
    mHero.item = rifleItem;
    Frame();
    Frame();
    EXPECT_EQ(ShownBullets(), 8);
    EXPECT_EQ(ShownMagazines(), 3);
    EXPECT_TRUE(Shown(mTheme->GetWeaponIcon()));
    EXPECT_TRUE(Draws(mTheme->GetWeaponIcon(), "FE_RIFLE_TEX"));
    --rifle->mMagazine; // one shot
    mTheme->OnAmmoChanged();
    Frame();
    EXPECT_EQ(ShownBullets(), 7);

    auto* knife = new TsWeaponContact();
    mHero.item = Item(knife, "FE_KNIFE_TEX");
    Frame();
    EXPECT_EQ(ShownBullets(), 0);
    EXPECT_EQ(ShownMagazines(), 0);
    EXPECT_TRUE(Shown(mTheme->GetWeaponIcon()));
    EXPECT_TRUE(Draws(mTheme->GetWeaponIcon(), "FE_KNIFE_TEX"));

    mHero.item = Item(new TsActor(), "FE_KNIFE_TEX"); // not a weapon
    Frame();
    EXPECT_FALSE(Shown(mTheme->GetWeaponIcon()));
    mHero.item = nullptr;
    Frame();
    EXPECT_FALSE(Shown(mTheme->GetWeaponIcon()));
}

TEST_F(InGameDisplay, TheCountsAreBoundedWhateverTheWeaponReports)
{
    auto* gun = new TsWeaponShoot();
    mHero.item = Item(gun, "FE_RIFLE_TEX");
    mHero.useData = true;
    mHero.dataWeapon = gun;
    const struct
    {
        int rounds, size, magazines, bullets, shownMagazines;
    } cases[] = {{-1, 30, 2, 30, 2}, {0, 8, 4, 0, 4}, {40, 40, 7, 32, 5}, {5, 8, -1, 5, 5}, {-1, 50, 0, 32, 0}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.rounds << " " << c.size << " " << c.magazines);
        mHero.data.rounds = c.rounds;
        mHero.data.magazineSize = c.size;
        mHero.data.magazines = c.magazines;
        Frame();
        EXPECT_EQ(ShownBullets(), c.bullets);
        EXPECT_EQ(ShownMagazines(), c.shownMagazines);
    }
}

TEST_F(InGameDisplay, HideAmmoGivesOneEmptyFrameThenTheIconSlidesIn)
{
    auto* rifle = new TsWeaponShoot();
    rifle->mMagazineSize = 8;
    rifle->SetAmmo(8);
    mHero.item = Item(rifle, "FE_RIFLE_TEX");
    Frame();
    Frame(1.0);
    mTheme->HideAmmo();
    EXPECT_FALSE(Shown(mTheme->GetWeaponIcon()));
    Frame(0.02);
    EXPECT_FALSE(Shown(mTheme->GetWeaponIcon()));
    EXPECT_EQ(ShownBullets(), 0);
    Vector start = {};
    mTheme->GetWeaponIcon()->GetPosition(&start);
    EXPECT_FLOAT_EQ(start.x, 1.25f);
    Frame(0.02);
    EXPECT_TRUE(Shown(mTheme->GetWeaponIcon()));
    EXPECT_EQ(ShownBullets(), 8);
    Frame(0.25);
    Vector sliding = {};
    mTheme->GetWeaponIcon()->GetPosition(&sliding);
    EXPECT_LT(sliding.x, 1.25f);
    EXPECT_GT(sliding.x, 0.67f);
    EXPECT_EQ(Colour(mTheme->GetBulletIcon(0)).alpha, 0); // the counts wait 0.5 s
}

TEST_F(InGameDisplay, TheSightSegmentsOpenByTheSpreadAndAContactWeaponHidesTheSight)
{
    mTheme->SetSightSpread(0.02f);
    const float top = 0.5f - 1.0f / 30.0f - 0.06f;
    const float bottom = 0.5f - 1.0f / 30.0f + 0.06f;
    const float h = 0.05f * 640.0f / 480.0f;
    EXPECT_TRUE(Near(mTheme->GetSightSegment(BoardControlTheme_InGame::kUpperLeft), 0.43f, top, 0.05f, h));
    EXPECT_TRUE(Near(mTheme->GetSightSegment(BoardControlTheme_InGame::kUpperRight), 0.52f, top, 0.05f, h));
    EXPECT_TRUE(Near(mTheme->GetSightSegment(BoardControlTheme_InGame::kLowerLeft), 0.43f, bottom, 0.05f, h));
    EXPECT_TRUE(Near(mTheme->GetSightSegment(BoardControlTheme_InGame::kLowerRight), 0.52f, bottom, 0.05f, h));

    auto* rifle = new TsWeaponShoot();
    rifle->mWeaponData[1] = 1;
    rifle->mWeaponData[2] = 0;
    mHero.item = Item(rifle, "FE_RIFLE_TEX");
    Frame();
    mTheme->ShowSight();
    EXPECT_EQ(mTheme->IsSightShown(), 1);
    EXPECT_TRUE(Shown(mTheme->GetSightSegment(0)));
    EXPECT_FALSE(Shown(mTheme->GetSightCentre()));
    // Kept across Hide: showing again brings the cross-hair back.
    mTheme->Hide();
    EXPECT_FALSE(Shown(mTheme->GetSightSegment(0)));
    mTheme->Show();
    EXPECT_TRUE(Shown(mTheme->GetSightSegment(0)));

    mHero.item = Item(new TsWeaponContact(), "FE_KNIFE_TEX");
    mTheme->ShowSight();
    EXPECT_EQ(mTheme->IsSightShown(), 0);
    EXPECT_FALSE(Shown(mTheme->GetSightSegment(0)));
}

TEST_F(InGameDisplay, ResetPutsTheGroupsBackToTheirStartAndReleaseEmptiesTheTheme)
{
    Frame();
    mTheme->SetAlarm(1);
    Frame(6.0); // the health group fades and the alarm blinks
    Frame(1.5);
    ASSERT_EQ(mTheme->IsHealthFaded(), 1);
    mTheme->LogMessage("bye");
    mSounds->Clear();
    mTheme->Reset();
    EXPECT_EQ(mTheme->GetMessageList()->GetChildCount(), 0);
    EXPECT_EQ(mSounds->Played(), std::vector<std::string>{kTextsOff});
    EXPECT_EQ(mTheme->GetAlarmMode(), 1);
    EXPECT_TRUE(Is(Colour(mTheme->GetFace()), 255, 255, 255, 255));
    EXPECT_EQ(mTheme->GetFace()->IsEffectActive(1), 0);
    EXPECT_TRUE(Is(Colour(mTheme->GetLaggingGauge()), 255, 128, 153, 150));
    EXPECT_TRUE(Near(mTheme->GetFace(), 0.062f, -0.216f, 0.25f, 0.125f));
    EXPECT_TRUE(Near(mTheme->GetAlarmIndicator(), 0.074f, 0.137f, 0.0625f, 0.0625f));
    EXPECT_EQ(Colour(mTheme->GetAlarmIndicator()).alpha, 0);
    EXPECT_TRUE(Near(mTheme->GetWeaponIcon(), 1.25f, 0.08f, 0.25f, 0.0625f));
    EXPECT_EQ(mTheme->GetWeaponIcon()->IsEffectActive(2), 0);
    EXPECT_EQ(mTheme->IsHealthFaded(), 1); // kept: the next hit or aim brings the group back

    EXPECT_EQ(mTheme->Release(), 1);
    EXPECT_EQ(mTheme->GetFace(), nullptr);
    EXPECT_EQ(mTheme->GetMessageList(), nullptr);
    EXPECT_EQ(mTheme->IsBuilt(), 0);
    EXPECT_EQ(mTheme->Release(), 0);
    mTheme->SetAlarm(1); // nothing to touch before the next build
    mTheme->SetSightSpread(0.1f);
    mTheme->HideAmmo();
    EXPECT_EQ(mTheme->Build(), 1);
}

TEST_F(InGameDisplay, OnAmmoChangedFindsThemeOneOfTheGameBar)
{
    BoardControl bar;
    BoardControlTheme_InGame::CreateTheme(&bar);
    BoardControlTheme_InGame* theme = BoardControlTheme_InGame::Find(nullptr);
    ASSERT_NE(theme, nullptr);
    EXPECT_EQ(theme, bar.GetTheme(BoardControlTheme_InGame::kThemeId));
    BoardControlTheme_InGame::OnAmmoChanged(nullptr);
    bar.DestroyAll();
    BoardControlTheme_InGame::SetGameBoardControl(nullptr);
    EXPECT_EQ(BoardControlTheme_InGame::Find(nullptr), nullptr);
    BoardControlTheme_InGame::OnAmmoChanged(nullptr); // no bar: nothing happens
}

} // namespace
} // namespace uitest

namespace uitest
{
namespace
{

TEST_F(InGameDisplay, TheDisplayInPlayDrawsTheHealthGroupAndTheMarkerOfAHit)
{
    Frame();
    Frame(1.0); // the slide-ins are over
    Hit(50, HeroHudAccess::kHitTop);
    Frame(0.01);
    int32_t width = 0, height = 0;
    std::vector<uint32_t> frame = DrawSurfaces(Screen(), kClear, &width, &height);
    ASSERT_EQ(frame.size(), size_t(width) * size_t(height));

    // Every texture is the same colour, so overlaps do not matter.
    const uint32_t colour = 0x40C060u;
    Reference expected(width, height, kClear);
    // The alarm indicator waits off the screen until the alarm goes on.
    const float rects[][4] = {{0.062f, 0.034f, 0.25f, 0.125f}, {0.422f, 0.083f, 0.125f, 0.0625f}};
    for (const auto& r : rects)
        expected.Fill(r[0], r[1], r[2], r[3], colour);
    for (const auto& r : rects)
        expected.IgnoreEdges(r[0], r[1], r[2], r[3], frame);
    // The gauges lie inside the face's rectangle.
    EXPECT_EQ(framecheck::CheckFrame("ingame_display_hit", width, height, frame, expected.pixels, 8), "");
}

} // namespace
} // namespace uitest
