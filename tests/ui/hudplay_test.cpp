// The head-up display over a level: the hero's firearm, set up by script, fires at a guard; the
// shot's noise reaches the guard in range and not the one far off; the display counts the rounds
// down shot by shot, then shows the hit the hero takes back; the frame is read back.
#include "boardcontroltheme_ingame.h"
#include "frame.h"
#include "framecheck.h"
#include "hbclock.h"
#include "herohudaccess.h"
#include "script_fixture.h"
#include "scripteventid.h"
#include "scriptworld_fixture.h"
#include "tsfmod_fixture.h"
#include "tsinventory.h"
#include "tstrigger.h"
#include "tsweaponscript.h"
#include "tsweaponshoot.h"
#include "uisupport.h"
#include "w2dsurfacegraphicitem.h"
#include "w2dsurfacelist.h"
#include "w3dobject.h"
#include "wrenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

namespace
{
using namespace scriptworldtest;

/// The gameplay weapon's shot: a round leaves the magazine and the target loses hit points.
class TestRifle : public TsWeaponShoot
{
public:
    void Shoot() override
    {
        --mMagazine;
        if (target)
            target->mHitPoints -= 25;
        BoardControlTheme_InGame::OnAmmoChanged(nullptr);
    }
    TsActor* target = nullptr;
};

class PlayHero : public HeroHudAccess
{
public:
    HbRoot* GetItemInHand(HbRoot*) override { return item; }
    int32_t GetHitPoints(HbRoot* hero) override { return static_cast<TsActor*>(hero)->mHitPoints; }
    int32_t GetMaxHitPoints(HbRoot* hero) override { return static_cast<TsActor*>(hero)->mMaxHitPoints; }
    int32_t GetLastHitDirection(HbRoot*) override { return std::exchange(hit, kNoHit); }
    TsInventoryItem* item = nullptr;
    int32_t hit = kNoHit;
};

int32_t InPlay()
{
    return 1;
}

class HudInPlay : public soundtest::SoundTest
{
protected:
    void SetUp() override
    {
        SoundTest::SetUp();
        ASSERT_EQ(TriggerManager::Create(), 1);
        TriggerManager::Install(mWorld);
        for (PyMethodDef* def = TsWeaponScriptFunctions(); def->ml_name; ++def)
        {
            PyObject* function = PyCFunction_New(def, nullptr);
            PyDict_SetItemString(scripttest::MainDict(), def->ml_name, function);
            Py_XDECREF(function);
        }
        mResources = std::make_unique<uitest::Resources>();
        const char* textures[] = {"FE_FRONT_01_TEX", "FE_FRONT_HURT_TEX", "FE_FRONT_DEATH_TEX", "FE_FRONT_02_TEX",
                                  "FE_GREEN_TEX",    "FE_HIT_TEX",        "FE_CHARGER_TEX",     "FE_BULLET_TEX",
                                  "FE_POINT_SIGHT_TEX", "FE_SIGHT_TEX",   "FE_RIFLE_TEX"};
        for (const char* id : textures)
            mResources->SolidTexture(id, 8, 8, 0xFF3080E0u);
        HeroHudAccess::Install(&mAccess);
        BoardControlTheme_InGame::SetLevelCheck(InPlay);
    }
    void TearDown() override
    {
        mBar.DestroyAll();
        BoardControlTheme_InGame::SetGameBoardControl(nullptr);
        BoardControlTheme_InGame::SetLevelCheck(nullptr);
        HeroHudAccess::Install(nullptr);
        if (mItem)
            mItem->Release();
        TriggerManager::Free();
        while (mWorld->GetActors().GetHead())
            mWorld->RemoveActor(static_cast<TsActor*>(mWorld->GetActors().GetHead()->value));
        mWorld->SetHero(nullptr);
        mResources.reset();
        SoundTest::TearDown();
    }

    int ShownBullets(BoardControlTheme_InGame* theme) const
    {
        int n = 0;
        for (int i = 0; i < BoardControlTheme_InGame::kBullets; ++i)
            n += theme->GetBulletIcon(i)->IsHidden() ? 0 : 1;
        return n;
    }

    std::unique_ptr<uitest::Resources> mResources;
    PlayHero mAccess;
    TsInventoryItem* mItem = nullptr;
    BoardControl mBar;
};

TEST_F(HudInPlay, ShotsAlertTheGuardInRangeAndTheDisplayCountsRoundsAndShowsTheHitTakenBack)
{
    FakeActor* hero = Listed("hero", {0, 0, 0}, HeroFamily);
    hero->SetMaxHitPoints(100);
    mWorld->SetHero(hero);
    FakeActor* guard = Listed("guard", {100, 0, 200});
    guard->SetMaxHitPoints(100);
    FakeActor* far = Listed("far", {100, 0, 5000});
    Register(guard, kEventSound, "lambda a: note('heard guard')", 0.0f);
    Register(far, kEventSound, "lambda a: note('heard far')", 0.0f);

    auto* rifle = new TestRifle();
    W3dObject* model = W3dObject::Create();
    model->SetClump(renderertest::MakeClump({nullptr}));
    rifle->SetModel(model);
    rifle->target = guard;
    ASSERT_EQ(Exec("rifle = 'rifle'"), "");
    rifle->BindScriptObject(PyDict_GetItemString(scripttest::MainDict(), "rifle"));
    mWorld->AddActor(rifle);
    rifle->AddShotSound("SD_HIT_S2DSB");
    rifle->AddSound(TsWeapon::kEmptySounds, "SD_HIT_S2DSB");
    const int32_t shootData[3] = {7, 8, 9};
    rifle->LoadData(10, 0.5f, 1, 0.0f, 0.0f, 8, 4, 1, shootData, 1.5f, 64, 17);
    ASSERT_EQ(Exec("SetAmmoNumber(rifle, 24)"), "");
    hero->mNode->AttachChild(rifle->GetNode());
    ::Frame::SyncDirtyList();
    mItem = new TsInventoryItem();
    mItem->AddRef();
    mItem->SetActor(rifle);
    mItem->mTexts[1] = "FE_RIFLE_TEX";
    mAccess.item = mItem;

    BoardControlTheme_InGame::CreateTheme(&mBar);
    ASSERT_EQ(mBar.BuildTheme(BoardControlTheme_InGame::kThemeId), 1);
    ASSERT_EQ(mBar.PushTheme(BoardControlTheme_InGame::kThemeId), 1);
    BoardControlTheme_InGame* theme = BoardControlTheme_InGame::Find();
    ASSERT_NE(theme, nullptr);
    mBar.Update();
    EXPECT_EQ(ShownBullets(theme), 8);

    Log().clear();
    for (int shot = 1; shot <= 3; ++shot)
    {
        ASSERT_EQ(rifle->Fire(1.0f, 1), 1);
        Frame(1.0f / 60.0f);
        mBar.Update();
        EXPECT_EQ(ShownBullets(theme), 8 - shot) << shot;
    }
    EXPECT_EQ(guard->mHitPoints, 25);
    int heardGuard = int(std::count(Log().begin(), Log().end(), "heard guard"));
    EXPECT_GE(heardGuard, 1);
    EXPECT_EQ(std::count(Log().begin(), Log().end(), "heard far"), 0);

    // The guard answers from the left.
    hero->mHitPoints = 50;
    mAccess.hit = HeroHudAccess::kHitLeft;
    Tick(1.5); // the slide-ins and the weapon icon's fade-in are over
    mBar.Update();
    EXPECT_FALSE(theme->GetHitMarker(0, HeroHudAccess::kHitLeft)->IsHidden());
    EXPECT_FLOAT_EQ(theme->GetHealthGauge()->GetValue(), 0.5f);

    int32_t width = 0, height = 0;
    std::vector<uint32_t> frame = uitest::DrawSurfaces(WRenderer::Instance()->GetSurfaceList(), 0xFF000000u, &width,
                                                       &height);
    ASSERT_EQ(frame.size(), size_t(width) * size_t(height));
    uitest::Reference expected(width, height, 0xFF000000u);
    std::vector<std::array<float, 4>> rects = {{0.062f, 0.034f, 0.25f, 0.125f},
                                               {0.0875f, 0.4375f, 0.0625f, 0.125f},
                                               {0.67f, 0.08f, 0.25f, 0.0625f}};
    for (int i = 0; i < 5; ++i)
        rects.push_back({0.916f, 0.114f + float(i) * 0.008f, 0.025f, 0.008f});
    for (int k = 0; k < 2; ++k)
        rects.push_back({0.867f, 0.1f + float(k) * 0.03125f, 0.0625f, 0.0625f});
    for (const auto& r : rects)
        expected.Fill(r[0], r[1], r[2], r[3], 0x3080E0u);
    for (const auto& r : rects)
        expected.IgnoreEdges(r[0], r[1], r[2], r[3], frame);
    EXPECT_EQ(framecheck::CheckFrame("hud_in_play", width, height, frame, expected.pixels, 8), "");
}

} // namespace
