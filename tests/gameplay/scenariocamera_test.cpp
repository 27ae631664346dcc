// The scenario camera over the script world's level: timed and held shots, the key curves and
// the roll they give, the shot slots with their limits, the progress along one and two paths
// driven by the hero, the four kinds of target over splines of the spline database, shots freed
// under a playing camera, and the stage's creation of the camera.
#include "scenariocamera.h"

#include "frame.h"
#include "gameplay_fixture.h"
#include "hero.h"
#include "scriptworld_fixture.h"
#include "splinecurve.h"
#include "splinedbwriter.h"
#include "stream.h"
#include "tscameraregistry.h"
#include "tsdummyactor.h"
#include "tssplinedatabase.h"
#include "w3dframe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{
using gameplaytest::GameClock;

float Dot(const Vector& a, const Vector& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vector Unit(Vector v)
{
    const float l = std::sqrt(Dot(v, v));
    return {v.x / l, v.y / l, v.z / l};
}

/// A straight open spline of four evenly spaced points from a to b, with its length.
SplineDbEntry Straight(int32_t slot, Vector a, Vector b)
{
    SplineDbEntry entry;
    entry.slot = slot;
    entry.name = "line" + std::to_string(slot);
    for (int32_t i = 0; i < 4; ++i)
    {
        const float t = float(i) / 3.0f;
        entry.points.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t});
    }
    const Vector d = {b.x - a.x, b.y - a.y, b.z - a.z};
    entry.value = int32_t(std::lround(std::sqrt(Dot(d, d))));
    return entry;
}

class ScenaricCameraTest : public scriptworldtest::ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        if (HasFatalFailure())
            return;
        CameraShotsReset();
        mHero = new TsDummyActor();
        mHero->AddRef();
        mWorld->SetHero(mHero);
        mCamera = GeScenaricCamera::Create();
        ASSERT_NE(mCamera, nullptr);
        mCamera->AddRef();
        // Paths along +x: 0 from 0 to 300, 1 from -300 to 300, 2 along -x from 300 to 0; 3 as 0
        // moved 100 along +z; 4 a path of no length.
        std::vector<SplineDbEntry> entries = {
            Straight(0, {0, 0, 0}, {300, 0, 0}), Straight(1, {-300, 0, 0}, {300, 0, 0}),
            Straight(2, {300, 0, 0}, {0, 0, 0}), Straight(3, {0, 0, 100}, {300, 0, 100}),
            Straight(4, {0, 0, 0}, {300, 0, 0}),
        };
        entries[4].value = 0;
        std::vector<uint8_t> bytes = SplineDbWriter::Write(entries);
        mSplines = new TsSplineDataBase();
        mSplines->AddRef();
        MemoryBlock block = {bytes.data(), uint32_t(bytes.size())};
        Stream* stream = Stream::Open(kStreamMemory, kStreamRead, &block);
        ASSERT_NE(stream, nullptr);
        ASSERT_EQ(mSplines->LoadFromEngineStream(stream, "TEST_SDB"), 1);
        Stream::Close(stream, nullptr);
    }
    void TearDown() override
    {
        CameraShotsFree();
        if (mCamera)
            mCamera->Release();
        mWorld->SetHero(nullptr);
        if (mHero)
            mHero->Release();
        if (mSplines)
            mSplines->Release();
        ScriptWorldTest::TearDown();
    }

    /// A new shot in the slot: eye at the point, looking along +z, held.
    CameraShot* NewShot(int32_t slot = 0)
    {
        auto* shot = new CameraShot();
        shot->targetDirection = {0, 0, 1};
        EXPECT_EQ(CameraShotSlots::Set(shot, slot), 1);
        return shot;
    }
    void Play(const CameraShot* shot)
    {
        ScenaricCameraPlacement play;
        play.value = shot;
        mCamera->SetPlacement(&play);
    }
    void Run(float seconds, float dt = 1.0f / 60.0f)
    {
        for (int32_t i = 0; i < int32_t(std::lround(seconds / dt)); ++i)
        {
            mClock.Step(dt);
            mCamera->ApplyPlacement();
        }
    }
    void PlaceHero(Vector p, float yawDegrees)
    {
        ::Frame* frame = mHero->GetNode()->GetEngineFrame();
        const Vector axis = {0, 1, 0};
        ::Frame::Rotate(frame, &axis, yawDegrees, kCombineReplace);
        ::Frame::Translate(frame, &p, kCombinePostConcat);
    }
    const Matrix& View() { return *::Frame::GetWorldMatrix(mCamera->GetEngineFrame()); }

    GameClock mClock;
    TsDummyActor* mHero = nullptr;
    GeScenaricCamera* mCamera = nullptr;
    TsSplineDataBase* mSplines = nullptr;
};

// ---- Progress of timed and held shots ---------------------------------------------------------------

TEST_F(ScenaricCameraTest, ATimedShotRunsItsDurationAndHoldsItsEnd)
{
    const struct
    {
        int32_t mode;
        float duration, seconds, progress;
    } cases[] = {
        {CameraShot::kTimed, 4.0f, 2.0f, 0.5f}, {CameraShot::kTimed, 4.0f, 4.0f, 1.0f},
        {CameraShot::kTimed, 4.0f, 6.0f, 1.0f}, {CameraShot::kTimed, 0.0f, 0.5f, 1.0f},
        {CameraShot::kHeld, 4.0f, 2.0f, 0.0f},  {CameraShot::kHeldStill, 4.0f, 2.0f, 0.0f},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.mode << " " << c.duration << " " << c.seconds);
        CameraShot* shot = NewShot();
        shot->mode = c.mode;
        shot->duration = c.duration;
        Play(shot);
        Run(c.seconds);
        EXPECT_NEAR(mCamera->GetProgress(), c.progress, 1e-4f);
    }
    // A shot of no duration on a frame of no time ends at once, with no undefined division.
    CameraShot* shot = NewShot();
    shot->mode = CameraShot::kTimed;
    Play(shot);
    mCamera->ApplyPlacement();
    EXPECT_EQ(mCamera->GetProgress(), 1.0f);
}

// ---- Key curves and the roll ----------------------------------------------------------------------------

TEST_F(ScenaricCameraTest, KeyCurvesReadTheirKeys)
{
    const struct
    {
        std::vector<float> times, values;
        float at, expected;
    } cases[] = {
        {{50}, {12}, 0, 12},
        {{0, 100}, {0, 30}, 50, 15},
        {{0, 100}, {0, 30}, -10, 0},
        {{0, 100}, {0, 30}, 120, 30},
        {{40, 40}, {5, 9}, 40, 5},
        {{40, 40}, {5, 9}, 41, 9},
        {{0, 50, 100}, {10, 20, 30}, 50, 0},
        // Four or more keys: the spline passes through each value at its time.
        {{0, 20, 60, 100}, {0, 10, -20, 40}, 20, 10},
        {{0, 20, 60, 100}, {0, 10, -20, 40}, 60, -20},
        {{0, 20, 60, 100}, {0, 10, -20, 40}, 150, 40},
        {{0, 20, 60, 100}, {0, 10, -20, 40}, -5, 0},
        // Two keys at one time inside the curve: no division by their zero gap.
        {{0, 30, 30, 100}, {0, 10, 20, 40}, 30, 10},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.times.size() << " keys at " << c.at);
        CameraShotsReset();
        const int32_t index = CameraShotCurveAdd(int32_t(c.times.size()), c.times.data(), c.values.data());
        ASSERT_EQ(index, 0);
        const float value = CameraShotCurveValue(index, c.at);
        EXPECT_TRUE(std::isfinite(value));
        EXPECT_NEAR(value, c.expected, 0.05f);
    }
    EXPECT_EQ(CameraShotCurveValue(1, 50.0f), 0.0f) << "no curve of that index";
    EXPECT_EQ(CameraShotCurveValue(-1, 50.0f), 0.0f);
}

TEST_F(ScenaricCameraTest, TheCurveTableHoldsElevenCurvesAStage)
{
    const float times[] = {0, 100}, values[] = {0, 30};
    for (int32_t i = 0; i < kCameraShotCurveMax; ++i)
        EXPECT_EQ(CameraShotCurveAdd(2, times, values), i);
    EXPECT_EQ(CameraShotCurveAdd(2, times, values), -1);
    EXPECT_EQ(CameraShotCurveAdd(0, times, values), -1);
    EXPECT_EQ(CameraShotCurveCount(), kCameraShotCurveMax);
    CameraShotsReset();
    EXPECT_EQ(CameraShotCurveCount(), 0);
    EXPECT_EQ(CameraShotCurveAdd(2, times, values), 0);
}

TEST_F(ScenaricCameraTest, TheRollCurveTurnsTheFrameAboutTheView)
{
    const float times[] = {0, 100}, values[] = {0, 30};
    CameraShot* shot = NewShot();
    shot->mode = CameraShot::kTimed;
    shot->duration = 4.0f;
    shot->upKind = CameraShot::kUpCurve;
    shot->curve = CameraShotCurveAdd(2, times, values);
    Play(shot);
    Run(2.0f);
    EXPECT_NEAR(mCamera->GetRoll(), 15.0f, 0.01f);
    // Looking along +z the unrolled up is +y and right +x; -15 degrees about the view tilts up
    // toward the right.
    const Matrix& m = View();
    EXPECT_NEAR(m.up.y, std::cos(15.0f * 3.14159265f / 180.0f), 1e-3f);
    EXPECT_NEAR(m.up.x, std::sin(15.0f * 3.14159265f / 180.0f), 1e-3f);
    EXPECT_NEAR(m.at.z, 1.0f, 1e-4f);
    // An index that names no curve rolls nothing.
    shot->curve = 7;
    Run(0.1f);
    EXPECT_EQ(mCamera->GetRoll(), 0.0f);
    EXPECT_NEAR(View().up.y, 1.0f, 1e-4f);
}

// ---- Slots ---------------------------------------------------------------------------------------------

TEST_F(ScenaricCameraTest, SlotsHoldTheirShotsAndRefuseOtherIndices)
{
    for (const int32_t slot : {0, 49})
    {
        CameraShot* shot = NewShot(slot);
        EXPECT_EQ(CameraShotSlots::Get(slot), shot);
        EXPECT_EQ(shot->slot, slot);
    }
    for (const int32_t slot : {-1, 50})
    {
        EXPECT_EQ(CameraShotSlots::Set(new CameraShot(), slot), 0) << slot;
        EXPECT_EQ(CameraShotSlots::Get(slot), nullptr) << slot;
    }
    EXPECT_EQ(CameraShotSlots::Set(nullptr, 3), 0);
    EXPECT_EQ(CameraShotSlots::Get(3), nullptr);

    // A new shot in a slot frees the old one; a camera playing it goes back to the default.
    CameraShot* old = CameraShotSlots::Get(0);
    old->eyePoint = {5, 6, 7};
    Play(old);
    Run(0.1f);
    CameraShot* replacement = NewShot(0);
    EXPECT_EQ(CameraShotSlots::Get(0), replacement);
    EXPECT_EQ(mCamera->GetShot(), CameraShotSlots::GetDefaultShot());
    Run(0.1f);
    EXPECT_NEAR(View().at.x, 1.0f, 1e-4f) << "the default shot looks along +x";
    EXPECT_NEAR(mCamera->GetCamera()->viewWindow.y, 0.8f, 1e-4f);

    Play(replacement);
    CameraShotsFree();
    EXPECT_EQ(CameraShotSlots::Get(0), nullptr);
    EXPECT_EQ(CameraShotSlots::Get(49), nullptr);
    EXPECT_EQ(mCamera->GetShot(), CameraShotSlots::GetDefaultShot());
    Run(0.1f);
}

// ---- Paths ---------------------------------------------------------------------------------------------

TEST_F(ScenaricCameraTest, PathModesFollowTheHeroAndWeighThePathsByHisFacing)
{
    // The parameter of a path's point level with the hero along x, found on the curve itself:
    // the point the progress settles on.
    auto Level = [&](int32_t slot, float x)
    {
        const SplineCurve* curve = mSplines->GetSpline(slot)->spline;
        const bool rising = slot != 2;
        float lo = 0.0f, hi = 1.0f;
        for (int32_t i = 0; i < 40; ++i)
        {
            const float mid = 0.5f * (lo + hi);
            Vector p;
            SplineCurve::FindPosition(curve, kSplineModeUniform, mid, &p, nullptr);
            ((p.x < x) == rising ? lo : hi) = mid;
        }
        return 0.5f * (lo + hi);
    };
    const struct
    {
        const char* name;
        int32_t mode;
        int32_t path, second;
        float heroX, yaw;
        /// The progress: first x the first path's parameter + second x the second's, or fixed.
        float first, second_, fixed;
    } cases[] = {
        {"one path", CameraShot::kOnePath, 0, -1, 120, 90, 1, 0, -1},
        {"one path behind its start", CameraShot::kOnePath, 0, -1, -50, 90, 0, 0, 0},
        // Facing along the first path and against the reversed second: the first alone.
        {"facings 1 and -1", CameraShot::kTwoPaths, 0, 1, 90, 90, 1, 0, -1},
        {"facings -1 and 1", CameraShot::kTwoPaths, 0, 1, 90, -90, 0, 1, -1},
        {"facings 0 and 0", CameraShot::kTwoPaths, 0, 1, 90, 0, 0.5f, 0.5f, -1},
        // Both facings -1 weigh nothing: the paths count alike rather than divide by zero.
        {"facings -1 and -1", CameraShot::kTwoPaths, 0, 2, 90, -90, 0.5f, 0.5f, -1},
        // A path of no length never moves its parameter from the start.
        {"no length", CameraShot::kOnePath, 4, -1, 120, 90, 0, 0, 0.25f},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        PlaceHero({c.heroX, 0, 0}, c.yaw);
        CameraShot* shot = NewShot();
        shot->mode = c.mode;
        shot->path.Set(mSplines, c.path);
        shot->secondPath.Set(mSplines, c.second);
        shot->startProgress = 0.25f;
        shot->secondStart = 0.25f;
        shot->eyeKind = CameraShot::kEyeSpline;
        shot->eyeSpline.Set(mSplines, c.path);
        Play(shot);
        Run(2.0f);
        float expected = c.fixed;
        if (expected < 0.0f)
            expected =
                c.first * Level(c.path, c.heroX) + (c.second_ > 0.0f ? c.second_ * Level(c.second, c.heroX) : 0.0f);
        EXPECT_NEAR(mCamera->GetProgress(), expected, 1e-3f);
        EXPECT_TRUE(std::isfinite(View().pos.x));
    }
    // The eye rides the path at the progress: above the hero on the first case's path.
    PlaceHero({120, 0, 0}, 90);
    CameraShot* shot = NewShot();
    shot->mode = CameraShot::kOnePath;
    shot->path.Set(mSplines, 0);
    shot->eyeKind = CameraShot::kEyeSpline;
    shot->eyeSpline.Set(mSplines, 3);
    Play(shot);
    Run(2.0f);
    EXPECT_NEAR(View().pos.x, 120.0f, 0.5f);
    EXPECT_NEAR(View().pos.z, 100.0f, 0.5f);
    // The hero walks on: the progress follows him over its 0.2 s history, not at once.
    PlaceHero({210, 0, 0}, 90);
    Run(1.0f / 60.0f);
    EXPECT_GT(mCamera->GetProgress(), 0.4f);
    EXPECT_LT(mCamera->GetProgress(), 0.6f);
    Run(1.0f);
    EXPECT_NEAR(View().pos.x, 210.0f, 0.5f);
}

// ---- Targets -------------------------------------------------------------------------------------------

TEST_F(ScenaricCameraTest, TheFourTargetKindsAimTheView)
{
    // 0: a direction.
    CameraShot* shot = NewShot();
    shot->eyePoint = {0, 50, 0};
    shot->targetDirection = {0, 0, -2};
    Play(shot);
    Run(0.1f);
    EXPECT_NEAR(View().at.z, -1.0f, 1e-4f);
    EXPECT_NEAR(View().pos.y, 50.0f, 1e-4f);

    // 1: a spline's point at the progress, from the eye.
    shot = NewShot();
    shot->eyePoint = {150, 100, -200};
    shot->targetKind = CameraShot::kTargetSpline;
    shot->targetSpline.Set(mSplines, 0);
    shot->mode = CameraShot::kTimed;
    shot->duration = 4.0f;
    Play(shot);
    Run(2.0f);
    Vector want = Unit({0, -100, 200});
    EXPECT_NEAR(Dot(View().at, want), 1.0f, 1e-4f);
    // An eased sampling word of 0 reaches the same middle; another word gives no point.
    shot->targetSplineMode = 0;
    Run(1.0f / 60.0f);
    EXPECT_GT(Dot(View().at, want), 0.999f);

    // 2: the hero raised by the offset, the view easing toward him at three times the frame
    // time of the gap.
    PlaceHero({300, 0, 300}, 0);
    shot = NewShot();
    shot->targetKind = CameraShot::kTargetHero;
    shot->heightOffset = 100.0f;
    Play(shot);
    Run(1.0f / 60.0f);
    want = Unit({300, 100, 300});
    EXPECT_NEAR(Dot(View().at, want), 1.0f, 1e-4f) << "starts on the hero";
    PlaceHero({-300, 0, 300}, 0);
    Run(1.0f / 60.0f);
    const Vector toHero = Unit({-300, 100, 300});
    EXPECT_GT(Dot(View().at, want), Dot(View().at, toHero)) << "one frame later still nearer the old place";
    Run(4.0f);
    EXPECT_NEAR(Dot(View().at, toHero), 1.0f, 1e-3f);

    // 3: the hero displaced by the target spline's offset from the path at the progress.
    PlaceHero({90, 0, 0}, 90);
    shot = NewShot();
    shot->eyePoint = {-210, 0, 100};
    shot->targetKind = CameraShot::kTargetHeroAlongPaths;
    shot->targetSpline.Set(mSplines, 3);
    shot->mode = CameraShot::kOnePath;
    shot->path.Set(mSplines, 0);
    Play(shot);
    Run(1.0f);
    EXPECT_NEAR(View().at.x, 1.0f, 1e-3f) << "aims at (90, 0, 100)";
    // A side factor moves the aim across the path by the hero's side measure: 0 while he walks
    // along it, 1 once he faces across it, which moves the aim 100 further along +z.
    shot->sideFactor = 100.0f;
    Run(1.0f);
    EXPECT_NEAR(View().at.x, 1.0f, 1e-3f);
    PlaceHero({90, 0, 0}, 0);
    Run(1.0f);
    EXPECT_NEAR(Dot(View().at, Unit({300, 0, 100})), 1.0f, 1e-3f);
}

TEST_F(ScenaricCameraTest, ShakesAndTheLensComeAsPlacements)
{
    CameraShot* shot = NewShot();
    shot->viewWidth = 1.0f;
    shot->viewHeight = 2.0f / 3.0f;
    Play(shot);
    const float focal = 36.0f;
    ScenaricCameraPlacement lens;
    lens.kind = ScenaricCameraPlacement::kFocal;
    lens.value = &focal;
    mCamera->SetPlacement(&lens);
    EXPECT_EQ(mCamera->GetFocalLength(), 36.0f);
    // The shot's window is the lens of every frame it plays.
    Run(1.0f / 60.0f);
    EXPECT_NEAR(mCamera->GetCamera()->viewWindow.y, 2.0f / 3.0f, 1e-4f);

    CameraShakeRequest shake;
    shake.channel = 1;
    shake.amplitude = 10.0f;
    shake.frequency = 20.0f;
    shake.damping = 1.0f;
    ScenaricCameraPlacement request;
    request.kind = ScenaricCameraPlacement::kShake;
    request.value = &shake;
    mCamera->SetPlacement(&request);
    EXPECT_EQ(mCamera->IsShaking(1), 1);
    Run(0.05f);
    EXPECT_GT(std::fabs(View().up.x), 0.01f) << "rolled by the shake";

    // The hero's own shake record reaches the scenario camera as well.
    HeroShake hurt;
    hurt.channel = 0;
    hurt.amplitude = 3.0f;
    hurt.frequency = 10.0f;
    hurt.damping = 2.0f;
    HeroShakeRequestPlacement sent;
    sent.shake = &hurt;
    mCamera->SetPlacement(&sent);
    EXPECT_EQ(mCamera->IsShaking(0), 1);
}

// ---- The stage ----------------------------------------------------------------------------------------

TEST_F(ScenaricCameraTest, TheStageMakesAnInactiveScenarioCameraOnTheDefaultShot)
{
    const int32_t inactive = TsCameraRegistry::GetInactiveCount();
    InGameCamerasCreate();
    EXPECT_EQ(TsCameraRegistry::GetInactiveCount(), inactive + 1);
    const int32_t follow = TsCameraRegistry::GetCurrentCameraId();
    GeScenaricCamera* made = nullptr;
    int32_t id = -1;
    for (int32_t i = 0; i < 16 && !made; ++i)
        if ((made = HbCastTo<GeScenaricCamera>(TsCameraRegistry::GetCamera(i))))
            id = i;
    ASSERT_NE(made, nullptr);
    EXPECT_NE(id, follow);
    EXPECT_EQ(made->GetShot(), CameraShotSlots::GetDefaultShot());
    EXPECT_EQ(TsCameraRegistry::RemoveCamera(id), 0);
    EXPECT_EQ(TsCameraRegistry::RemoveCamera(follow), 0);
    // The destroyed camera no longer hears of freed shots.
    NewShot(0);
    CameraShotsFree();
}
} // namespace
