// The hero actor: light level and visibility class, the fading light boost, headings and
// camera-relative directions over a script world; the arrow actions over injected keys.
#include "frame.h"
#include "hbclock.h"
#include "hbinput_fixture.h"
#include "herostatemachine.h"
#include "scriptworld_fixture.h"
#include "tscamera.h"
#include "tscameraregistry.h"
#include "tsheroactor.h"
#include "w3danimobject.h"
#include "w3dlevel.h"
#include "wscene.h"
#include "wvectorutil.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
using namespace scriptworldtest;

class Hero : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        mHero = new TsHeroActor();
        mHero->AddRef();
        mHero->SetModel(W3dAnimObject::Create());
        HbGameClock::Instance()->mStepSeconds = 1.0f;
    }
    void TearDown() override
    {
        TsCameraRegistry::Clear();
        mHero->Release();
        mLevel->SetLightField(nullptr, nullptr);
        ScriptWorldTest::TearDown();
    }
    void SetMeanLight(float mean)
    {
        float* samples = mHero->GetNode()->GetLightDirectionalColor();
        for (int i = 0; i < 4; ++i)
            samples[i] = mean;
    }

    TsHeroActor* mHero = nullptr;
};

TEST_F(Hero, LightLevelAndVisibilityClass)
{
    EXPECT_NE(mHero->GetStateMachine(), nullptr);
    EXPECT_EQ(mHero->GetStateMachine()->GetHero(), mHero);
    mHero->Update();
    EXPECT_EQ(mHero->mLightLevel, 1.0f) << "no light field: full light";
    EXPECT_EQ(mHero->mVisibilityClass, 0);
    EXPECT_EQ(mHero->GetStateMachine()->GetStepCount(), 1);

    mLevel->SetLightField("_HERO_LF", nullptr);
    ASSERT_NE(mLevel->GetLightField(), nullptr);
    const struct
    {
        float mean, light;
        int32_t visibility;
    } rows[] = {{0.1f, 0.0f, 2},       {0.2f, 0.0f, 2}, {0.4f, 0.2857143f, 2}, {0.55f, 0.5f, 1},
                {0.7f, 0.7142857f, 0}, {0.9f, 1.0f, 0}, {1.5f, 1.0f, 0}};
    for (const auto& row : rows)
    {
        SetMeanLight(row.mean);
        mHero->UpdateLightLevel();
        EXPECT_NEAR(mHero->mLightLevel, row.light, 1e-5f) << row.mean;
        EXPECT_EQ(mHero->mVisibilityClass, row.visibility) << row.mean;
    }
}

TEST_F(Hero, LightBoostFadesAndNeverComesBack)
{
    mLevel->SetLightField("_HERO_LF", nullptr);
    SetMeanLight(0.9f);
    mHero->mLightBoost = 1.5f;
    HbGameClock::Instance()->mStepSeconds = 0.5f;
    mHero->UpdateLightLevel();
    EXPECT_EQ(mHero->mVisibilityClass, 3);
    EXPECT_FLOAT_EQ(mHero->mLightLevel, 1.5f);
    EXPECT_NEAR(mHero->mLightBoost, 1.4f, 1e-6f) << "0.2 a second";
    for (int i = 0; i < 2; ++i)
        mHero->UpdateLightLevel();
    EXPECT_NEAR(mHero->mLightBoost, 1.2f, 1e-5f);
    EXPECT_EQ(mHero->mVisibilityClass, 3);
    // Faded below the lit area's level, it goes on falling until it is gone.
    for (int i = 0; i < 6; ++i)
        mHero->UpdateLightLevel();
    EXPECT_EQ(mHero->mVisibilityClass, 0);
    EXPECT_NEAR(mHero->mLightBoost, 0.6f, 1e-5f);
    for (int i = 0; i < 6; ++i)
        mHero->UpdateLightLevel();
    EXPECT_EQ(mHero->mLightBoost, -1.0f);
    SetMeanLight(0.2f);
    mHero->UpdateLightLevel();
    EXPECT_EQ(mHero->mLightLevel, 0.0f) << "no boost back in the dark";
    EXPECT_EQ(mHero->mVisibilityClass, 2);
}

TEST_F(Hero, HeadingsTakeTheShortWay)
{
    const Vector start = VectorFromHeading(6.2f);
    mHero->SetMoveDirection(&start);
    EXPECT_NEAR(mHero->mTargetHeading, 6.2f, 1e-5f);

    // Across the 0 / 2 pi seam the target steps forward.
    Vector raw = VectorFromHeading(0.1f);
    raw = {raw.x * 0.5f, 0.0f, raw.z * 0.5f};
    mHero->ApplyMoveInput(&raw, 1.0f / 60.0f, 10.0f);
    const float step = 0.1f + 2.0f * 3.14159265f - 6.2f;
    EXPECT_NEAR(mHero->mTargetHeading - 6.2f, step, 1e-4f);
    EXPECT_NEAR(mHero->mHeadingStep, step, 1e-4f);
    EXPECT_EQ(mHero->mTurns, 1);
    EXPECT_NEAR(mHero->mInputStrength, 0.5f, 1e-6f);
    // A turn rate of 10 over 1/60 s covers a tenth of the gap.
    EXPECT_NEAR(mHero->mSmoothedHeading, 6.2f + 0.1f * step, 1e-4f);
    const Vector smoothed = VectorFromHeading(mHero->mSmoothedHeading);
    EXPECT_NEAR(mHero->mSmoothedDirection.x, smoothed.x, 1e-6f);

    // No input: strength 0, directions kept.
    const Vector before = mHero->mMoveDirection;
    const Vector none = {0.0005f, 0.0f, -0.0005f};
    mHero->ApplyMoveInput(&none, 1.0f / 60.0f, 10.0f);
    EXPECT_EQ(mHero->mInputStrength, 0.0f);
    EXPECT_EQ(mHero->mPreviousInputStrength, 0.5f);
    EXPECT_EQ(mHero->mMoveDirection.x, before.x);
}

TEST_F(Hero, CameraRelativeDirections)
{
    const Vector forward = {0, 0, 1};
    Vector out = {9, 9, 9};
    EXPECT_EQ(mHero->GetCameraHeadingVector(&out), 0) << "no current camera";
    EXPECT_EQ(out.x, 9.0f);
    EXPECT_EQ(mHero->CameraToWorldDirection(&forward, &out), 0);
    EXPECT_EQ(out.z, 1.0f);

    TsCamera* camera = TsCamera::Create();
    ASSERT_NE(camera, nullptr);
    const int32_t id = TsCameraRegistry::AddCamera(camera, mScene);
    const Vector p = {0, 0, 0};
    const Vector along = {3, -1, 0};
    TsCameraPlacement placement = {&p, &along};
    TsCameraRegistry::SetCameraPlacement(id, &placement);
    TsCameraRegistry::ActivateCamera(id);
    TsCameraRegistry::UpdateActiveCameras();
    TsCameraRegistry::SetCurrentCamera(id);
    ASSERT_EQ(mHero->GetCameraHeadingVector(&out), 1);
    EXPECT_NEAR(out.x, 1.0f, 1e-5f);
    EXPECT_NEAR(out.z, 0.0f, 1e-5f);
    EXPECT_EQ(mHero->CameraToWorldDirection(&forward, &out), 1);
    EXPECT_NEAR(out.x, 1.0f, 1e-5f);
    EXPECT_NEAR(out.z, 0.0f, 1e-5f);
    const Vector right = {1, 0, 0};
    mHero->CameraToWorldDirection(&right, &out);
    EXPECT_NEAR(out.x, 0.0f, 1e-5f);
    EXPECT_NEAR(out.z, 1.0f, 1e-5f);
}

/// Keys injected into the input manager, with the renderer fixture's application window.
class HeroInput : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        Win32TestUseScript();
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        Win32TestSetPerformanceCounter(now.QuadPart);
        dinput8test::UseSource(dinput8test::Source::Injected);
        Window().active = 1;
        Manager().Reset();
        HbRealClock::Instance()->Tick();
    }
    void TearDown() override
    {
        Manager().Reset();
        Win32TestUseRealPerformanceCounter();
        ScriptWorldTest::TearDown();
    }
    static HbInputManager& Manager() { return *HbInputManager::Instance(); }
    void RunBindings(const std::string& lines)
    {
        hbtest::WriteBytes("hero_bindings.scr", lines);
        EXPECT_EQ(Manager().ExecuteBindingFile("hero_bindings.scr"), 1);
    }
    void Frame()
    {
        Win32TestAdvancePerformanceCounter(hbtest::kCounterFrequency / 60);
        HbRealClock::Instance()->Tick();
        Manager().Update();
    }
    static void Key(uint8_t virtualKey, bool down) { Win32TestKeyEvent(virtualKey, down); }
};

TEST_F(HeroInput, ArrowActionsFollowRebinding)
{
    RunBindings("CreateControler 0 Keyboard\n"
                "SetCommandContext Game\n"
                "bind Keyboard WIN_LEFT_ARROW VK_LEFT DOWN\n"
                "bind Keyboard WIN_UP_ARROW VK_UP DOWN\n"
                "bind Keyboard WIN_DOWN_ARROW VK_DOWN DOWN\n");
    auto* hero = new TsHeroActor();
    hero->AddRef();
    Key(VK_LEFT, true);
    Key(VK_RIGHT, true);
    Key(VK_UP, true);
    Key(VK_DOWN, true);
    Frame();
    hero->ReadMoveInput(1.0f / 60.0f, 10.0f);
    EXPECT_NEAR(hero->mMoveDirection.x, -0.7071068f, 1e-5f) << "no right arrow bound yet";
    EXPECT_NEAR(hero->mMoveDirection.z, 0.7071068f, 1e-5f) << "up beats down";

    // A new binding raises the counter: the hero finds the arrows again.
    RunBindings("SetCommandContext Game\n"
                "bind Keyboard WIN_RIGHT_ARROW VK_RIGHT DOWN\n");
    Key(VK_UP, false);
    Key(VK_DOWN, false);
    Frame();
    hero->ReadMoveInput(1.0f / 60.0f, 10.0f);
    EXPECT_EQ(hero->mMoveDirection.x, 1.0f) << "right beats left";
    EXPECT_EQ(hero->mMoveDirection.z, 0.0f);
    EXPECT_EQ(hero->mInputStrength, 1.0f);

    Key(VK_LEFT, false);
    Key(VK_RIGHT, false);
    Frame();
    hero->ReadMoveInput(1.0f / 60.0f, 10.0f);
    EXPECT_EQ(hero->mInputStrength, 0.0f);
    EXPECT_EQ(hero->mMoveDirection.x, 1.0f);
    hero->Release();
}
} // namespace
