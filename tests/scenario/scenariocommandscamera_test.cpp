// The camera commands over the wall level with the stage's two cameras: the shot each kind and
// form of ShotCmd stores, the lines it refuses, cutting to a shot and back, the follow camera's
// framings, the clip planes by sector and the fog; and a level script that plays a shot over a
// small world of its own, drawn at its start, middle and end, before the follow camera takes over.
#include "camera.h"
#include "collisiontreewriter.h"
#include "frame.h"
#include "framecheck.h"
#include "gameprofile.h"
#include "gamestate.h"
#include "gamestatemanager.h"
#include "geometry.h"
#include "hbclock.h"
#include "hbcommand.h"
#include "ingamecamera.h"
#include "renderer_fixture.h"
#include "scenariocamera.h"
#include "scenariolevel_fixture.h"
#include "scenarioslots.h"
#include "scene_fixture.h"
#include "splinecurve.h"
#include "splinedbwriter.h"
#include "tscameraregistry.h"
#include "tssplinedatabase.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "world.h"
#include "worldwriter.h"
#include "wrenderer.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <random>

namespace scenarictest
{
namespace
{
constexpr int kDone = HbCommandManager::kDone;
constexpr int kFailed = HbCommandManager::kFailed;

/// A stage whose level script's CreateCameras makes the in-game cameras.
class CameraStage : public GameState
{
public:
    CameraStage() : GameState(kGameStateStage) {}
    void Leave() override {}
    void Update() override {}
    void CreateCameras() override { InGameCamerasCreate(); }
};

/// A straight open spline of four evenly spaced points from a to b.
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
    entry.value = int32_t(std::lround(std::hypot(b.x - a.x, b.y - a.y, b.z - a.z)));
    return entry;
}

class CameraCommands : public ScenarioLevelTest
{
protected:
    void SetUp() override
    {
        ScenarioLevelTest::SetUp();
        if (HasFatalFailure())
            return;
        GameStateManager::Instance()->SetCurrentState(nullptr);
        delete mState;
        mState = new CameraStage();
        mState->SetProfile(mProfile);
        GameStateManager::Instance()->SetCurrentState(mState);
        CameraShotsReset();
        // Splines 0 and 1 for the shots; the level script loads them by id.
        const std::vector<uint8_t> bytes = SplineDbWriter::Write(
            {Straight(0, {-200, 100, -500}, {200, 100, -500}), Straight(1, {-200, 0, 0}, {200, 0, 0})});
        const std::string path = mDirectory + "/level.sdb";
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        Declare("LEVEL_SDB", path);
        ASSERT_EQ(mWorld->LoadCinematicSplines("LEVEL_SDB"), 1);
    }
    void TearDown() override
    {
        for (int32_t* id : {&mProfile->followCamera, &mProfile->secondCamera})
            if (*id >= 0)
            {
                TsCameraRegistry::RemoveCamera(*id);
                *id = -1;
            }
        CameraShotsFree();
        mWorld->LoadCinematicSplines("NO_SUCH_SDB");
        ScenarioLevelTest::TearDown();
    }

    void MakeCameras()
    {
        mState->CreateCameras();
        ASSERT_GE(mProfile->followCamera, 0);
        ASSERT_GE(mProfile->secondCamera, 0);
    }
    GeScenaricCamera* Second()
    {
        return HbCastTo<GeScenaricCamera>(TsCameraRegistry::GetCamera(mProfile->secondCamera));
    }
    CameraFollow* Follow() { return HbCastTo<CameraFollow>(TsCameraRegistry::GetCamera(mProfile->followCamera)); }
};

// ---- ShotCmd ----------------------------------------------------------------------------------------

TEST_F(CameraCommands, ShotCmdStoresEachKindsShot)
{
    struct Case
    {
        const char* line;
        int32_t slot, mode, eyeKind, targetKind, upKind;
        Vector up;
        int32_t path, second;
        float shotReal;
        float viewWidth;
        /// Target kinds 0 and 3 / 2: the direction; the side factor; the height offset.
        Vector direction;
        float side;
        /// The roll at progress 0.5 of the shot's curve (up kind 2).
        float roll;
    };
    const Vector Y = {0, 1, 0};
    const Case cases[] = {
        // The key curve needs form 2: form 1 reads its keys as nothing and keeps the world's up.
        {"ShotCmd 1 3 0 0 1 0 18 7.5 2 0 0 100 30", 3, 2, 1, 1, 1, Y, 0, -1, 7.5f, 1.0f, {}, 0, 0},
        {"ShotCmd 2 3 0 0 1 0 18 7.5 0", 3, 2, 1, 1, 0, Y, 0, -1, 7.5f, 1.0f, {}, 0, 0},
        {"ShotCmd 2 4 0 0 1 0 18 7.5 2 0 0 100 30", 4, 2, 1, 1, 2, Y, 0, -1, 7.5f, 1.0f, {}, 0, 15},
        {"ShotCmd 2 5 1 0 1 0 1 24 2.5 2 0 10 100 10", 5, 3, 1, 1, 2, Y, 0, 1, 2.5f, 0.75f, {}, 0, 10},
        {"ShotCmd 4 6 2 1 2 3 0 0 5 18 9 0 0 2", 6, 4, 0, 0, 1, {0, 0, 1}, -1, -1, 9, 1.0f, {0, 0, -1}, 0, 0},
        {"ShotCmd 3 6 2 1 2 3 0 0 5 18 9 0 0 2", 6, 4, 0, 0, 1, Y, -1, -1, 9, 1.0f, {0, 0, -1}, 0, 0},
        {"ShotCmd 4 7 3 1 2 3 80 0.5 36 4 3 0 0", 7, 4, 0, 2, 1, {1, 0, 0}, -1, -1, 4, 0.5f, {}, 0, 0},
        {"ShotCmd 0 8 4 0 1 6.5 0 18 0", 8, 1, 1, 1, 1, Y, -1, -1, 0, 1.0f, {}, 0, 0},
        {"ShotCmd 4 9 5 1 2 3 0 5 0 18 0 0 3", 9, 0, 0, 0, 1, {0, 0, 1}, -1, -1, 0, 1.0f, {0, -1, 0}, 0, 0},
        {"ShotCmd 3 10 6 0 1 0 18 1 2 0 0 100 30 7", 10, 2, 1, 3, 2, Y, 0, -1, 1, 1.0f, {}, 7, 15},
        {"ShotCmd 2 10 6 0 1 0 18 1 2 0 0 100 30 7", 10, 2, 1, 3, 2, Y, 0, -1, 1, 1.0f, {}, 0, 15},
        {"ShotCmd 1 11 6 0 1 0 18 1 2 0 0 100 30 7", 11, 2, 1, 3, 1, Y, 0, -1, 1, 1.0f, {}, 0, 0},
        {"ShotCmd 3 12 7 0 1 0 1 18 1 1 50 20 9", 12, 3, 1, 3, 2, Y, 0, 1, 1, 1.0f, {}, 9, 20},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.line);
        CameraShotsReset();
        ASSERT_EQ(Run(c.line), kDone);
        const CameraShot* shot = CameraShotSlots::Get(c.slot);
        ASSERT_NE(shot, nullptr);
        EXPECT_EQ(shot->slot, c.slot);
        EXPECT_EQ(shot->mode, c.mode);
        EXPECT_EQ(shot->eyeKind, c.eyeKind);
        EXPECT_EQ(shot->targetKind, c.targetKind);
        EXPECT_EQ(shot->upKind, c.upKind);
        if (c.upKind == CameraShot::kUpVector)
        {
            EXPECT_NEAR(shot->up.x, c.up.x, 1e-5f);
            EXPECT_NEAR(shot->up.y, c.up.y, 1e-5f);
            EXPECT_NEAR(shot->up.z, c.up.z, 1e-5f);
        }
        if (c.upKind == CameraShot::kUpCurve)
            EXPECT_NEAR(CameraShotCurveValue(shot->curve, 50.0f), c.roll, 1e-4f);
        else
            EXPECT_EQ(CameraShotCurveCount(), 0) << "no curve built";
        EXPECT_EQ(shot->path.GetIndex(), c.path);
        EXPECT_EQ(shot->secondPath.GetIndex(), c.second);
        EXPECT_EQ(shot->shotReal, c.shotReal);
        EXPECT_NEAR(shot->viewWidth, c.viewWidth, 1e-5f);
        EXPECT_NEAR(shot->viewHeight, c.viewWidth * 2.0f / 3.0f, 1e-5f);
        if (c.targetKind == CameraShot::kTargetDirection)
        {
            EXPECT_NEAR(shot->targetDirection.x, c.direction.x, 1e-5f);
            EXPECT_NEAR(shot->targetDirection.y, c.direction.y, 1e-5f);
            EXPECT_NEAR(shot->targetDirection.z, c.direction.z, 1e-5f);
        }
        EXPECT_EQ(shot->sideFactor, c.side);
        if (c.eyeKind == CameraShot::kEyePoint)
        {
            EXPECT_EQ(shot->eyePoint.x, 1.0f);
            EXPECT_EQ(shot->eyePoint.z, 3.0f);
        }
        else
            EXPECT_EQ(shot->eyeSpline.GetIndex(), 0);
    }
    // The details of kinds 3 and 4.
    CameraShotsReset();
    ASSERT_EQ(Run("ShotCmd 4 7 3 1 2 3 80 0.5 36 4 3 0 0"), kDone);
    EXPECT_EQ(CameraShotSlots::Get(7)->heightOffset, 80.0f);
    EXPECT_EQ(CameraShotSlots::Get(7)->leadFactor, 0.5f);
    ASSERT_EQ(Run("ShotCmd 0 8 4 0 1 6.5 0 18 0"), kDone);
    EXPECT_EQ(CameraShotSlots::Get(8)->duration, 6.5f);
    EXPECT_EQ(CameraShotSlots::Get(8)->eyeSplineMode, 0);
    EXPECT_EQ(CameraShotSlots::Get(8)->targetSpline.GetIndex(), 1);
}

TEST_F(CameraCommands, ShotCmdRefusesLinesItCannotHoldAndReadsMissingTokensAsZero)
{
    ASSERT_EQ(Run("ShotCmd 4 6 2 1 2 3 0 0 5 18 9 0 0 2"), kDone);
    const CameraShot* before = CameraShotSlots::Get(6);
    const struct
    {
        const char* line;
        const char* why;
    } refused[] = {
        {"ShotCmd 4 6 2 1 2 3 0 0 5 0 9 0 0 2", "focal length 0"},
        {"ShotCmd 4 6 2 1 2 3 0 0 5 -18 9 0 0 2", "negative focal length"},
        {"ShotCmd 2 6 0 0 1 0 18 7.5 3 0 0 100 30", "three keys, two given"},
        {"ShotCmd 2 6 0 0 1 0 18 7.5 -1", "negative key count"},
        {"ShotCmd 3 6 6 0 1 0 18 1 1 0 0", "no target word after the keys"},
        {"ShotCmd 4 50 2 1 2 3 0 0 5 18 9 0 0 2", "slot 50"},
        {"ShotCmd 4 -1 2 1 2 3 0 0 5 18 9 0 0 2", "slot -1"},
    };
    for (const auto& r : refused)
    {
        EXPECT_EQ(Run(r.line), kFailed) << r.why;
        EXPECT_EQ(CameraShotSlots::Get(6), before) << r.why;
    }
    EXPECT_EQ(CameraShotCurveCount(), 0);
    // Kinds outside 0-7 are ignored.
    EXPECT_EQ(Run("ShotCmd 4 6 8 1 2 3 0 0 5 18 9 0 0 2"), kDone);
    EXPECT_EQ(CameraShotSlots::Get(6), before);

    // A shorter line after a longer one: its missing up vector reads 0 (the world's up), not the
    // tokens the longer line left behind.
    ASSERT_EQ(Run("ShotCmd 4 6 2 1 2 3 0 0 5 18"), kDone);
    EXPECT_NEAR(CameraShotSlots::Get(6)->up.y, 1.0f, 1e-6f);
    EXPECT_EQ(CameraShotSlots::Get(6)->shotReal, 0.0f);
    // Spline numbers the level's database lacks give no spline.
    ASSERT_EQ(Run("ShotCmd 0 2 0 40 1 99 18 1 0"), kDone);
    EXPECT_EQ(CameraShotSlots::Get(2)->eyeSpline.GetIndex(), -1);
    EXPECT_EQ(CameraShotSlots::Get(2)->path.GetIndex(), -1);

    // The twelfth key curve of a stage is refused with its line.
    for (int32_t i = 0; i < kCameraShotCurveMax; ++i)
        ASSERT_EQ(Run("ShotCmd 2 " + std::to_string(i) + " 0 0 1 0 18 1 1 0 5"), kDone);
    EXPECT_EQ(Run("ShotCmd 2 20 0 0 1 0 18 1 1 0 5"), kFailed);
    EXPECT_EQ(CameraShotSlots::Get(20), nullptr);
}

// ---- LaunchShotCmd --------------------------------------------------------------------------------

TEST_F(CameraCommands, LaunchShotCmdCutsToAShotAndBackToTheFollowCamera)
{
    MakeCameras();
    EXPECT_EQ(TsCameraRegistry::GetCurrentCameraId(), mProfile->followCamera);
    ASSERT_EQ(Run("ShotCmd 0 2 4 0 1 4 1 18 0"), kDone);
    CameraShot* shot = CameraShotSlots::Get(2);

    ASSERT_EQ(Run("LaunchShotCmd 0 1 2 50 25"), kDone);
    EXPECT_EQ(TsCameraRegistry::GetCurrentCameraId(), mProfile->secondCamera);
    EXPECT_EQ(Second()->GetShot(), shot);
    EXPECT_EQ(shot->startProgress, 0.5f);
    EXPECT_EQ(shot->secondStart, 0.25f);
    const int32_t active = TsCameraRegistry::GetActiveCount();
    EXPECT_EQ(active, 1) << "the follow camera rests";

    // The shot already playing on the current second camera is left alone.
    shot->startProgress = 0.9f;
    ASSERT_EQ(Run("LaunchShotCmd 0 1 2 10 10"), kDone);
    EXPECT_EQ(shot->startProgress, 0.9f);
    // Lines of another form, other modes and empty slots change nothing.
    for (const char* line : {"LaunchShotCmd 1 0", "LaunchShotCmd 0 2", "LaunchShotCmd 0 1 30 0 0"})
    {
        EXPECT_EQ(Run(line), kDone) << line;
        EXPECT_EQ(TsCameraRegistry::GetCurrentCameraId(), mProfile->secondCamera) << line;
    }

    ASSERT_EQ(Run("LaunchShotCmd 0 0"), kDone);
    EXPECT_EQ(TsCameraRegistry::GetCurrentCameraId(), mProfile->followCamera);
    EXPECT_EQ(TsCameraRegistry::GetActiveCount(), 1);
    // Once the follow camera is current the same shot starts again from the new values.
    ASSERT_EQ(Run("LaunchShotCmd 0 1 2 10 10"), kDone);
    EXPECT_EQ(shot->startProgress, 0.1f);
    EXPECT_EQ(TsCameraRegistry::GetCurrentCameraId(), mProfile->secondCamera);
}

// ---- ScenaricCamera ---------------------------------------------------------------------------------

TEST_F(CameraCommands, ScenaricCameraHandsTheFollowCameraAFramingOfAMarkOrAnActor)
{
    MakeCameras();
    EXPECT_EQ(Run("ScenaricCamera 0 6 0 1 nowhere 0 0 0 0 0 0 0 0 0 0"), kFailed);
    EXPECT_EQ(CameraFollowGetModule().action, 0);

    // The mark "drop" stands at (50, 0, 60) facing -x.
    ASSERT_EQ(Run("ScenaricCamera 0 6 0 1 drop 1 20 1 400 1 150 0 0 0 0"), kDone);
    EXPECT_EQ(CameraFollowGetModule().action, 6);
    const CameraFollowState& s = Follow()->GetState();
    EXPECT_EQ(s.targetKind, CameraFollowPlacement::kTargetPoint);
    EXPECT_EQ(s.targetPoint.x, 50.0f);
    EXPECT_EQ(s.targetPoint.z, 60.0f);
    EXPECT_EQ(s.pitchTarget, 20.0f);
    EXPECT_EQ(s.distanceTarget, 400.0f);

    // With a form above 0 an actor of a slot takes the mark's place.
    TsActor* actor = Create("framed");
    ASSERT_NE(actor, nullptr);
    ScenarioActorSlots::Set(5, actor);
    ASSERT_EQ(Run("ScenaricCamera 0 0 0"), kDone);
    ASSERT_EQ(Run("ScenaricCamera 1 6 0 1 drop 0 0 0 0 0 0 0 0 1 5"), kDone);
    EXPECT_EQ(Follow()->GetState().targetKind, CameraFollowPlacement::kTargetActor);
    ASSERT_EQ(Run("ScenaricCamera 0 0 0"), kDone);
    EXPECT_EQ(CameraFollowGetModule().action, 0);

    // Without a current camera the mark is not framed.
    EXPECT_EQ(TsCameraRegistry::RemoveCamera(mProfile->followCamera), 0);
    mProfile->followCamera = -1;
    ASSERT_EQ(TsCameraRegistry::GetCurrentCameraId(), -1);
    EXPECT_EQ(Run("ScenaricCamera 0 6 0 1 drop 0 0 0 0 0 0 0 0 0 0"), kFailed);
}

// ---- Clip planes and fog -----------------------------------------------------------------------------

TEST_F(CameraCommands, SetCameraParamsSetsBothFarPlanesBelowTheSectorsLimit)
{
    MakeCameras();
    const struct
    {
        const char* sector;
        const char* line;
        int answer;
        float far;
    } cases[] = {
        {"W1L1S01", "SetCameraParams 0 13999 0", kDone, 14000}, {"W1L1S01", "SetCameraParams 0 14000 0", kFailed, 0},
        {"W2L2S01", "SetCameraParams 0 20000 0", kDone, 30000}, {"W2L1S01", "SetCameraParams 0 29999 0", kDone, 30000},
        {"W2L2S01", "SetCameraParams 0 30000 0", kFailed, 0},   {"W1L1S01", "SetCameraParams 0 100", kDone, 0},
        {"W1L1S01", "SetCameraParams 1 100 0", kDone, 0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.sector) + " " + c.line);
        mProfile->sectorId = c.sector;
        for (TsCamera* camera : {static_cast<TsCamera*>(Follow()), static_cast<TsCamera*>(Second())})
        {
            camera->SetNearClipPlane(7.0f);
            camera->SetFarClipPlane(5000.0f);
        }
        EXPECT_EQ(Run(c.line), c.answer);
        for (TsCamera* camera : {static_cast<TsCamera*>(Follow()), static_cast<TsCamera*>(Second())})
        {
            EXPECT_EQ(camera->GetCamera()->farPlane, c.far > 0 ? c.far : 5000.0f);
            EXPECT_EQ(camera->GetCamera()->nearPlane, c.far > 0 ? 1.0f : 7.0f);
        }
    }
}

TEST_F(CameraCommands, SetFogParamsSetsTheFogOfBothCameras)
{
    MakeCameras();
    ASSERT_EQ(Run("SetFogParams 0 0 1 10 20 30 255 500 900"), kDone);
    for (TsCamera* camera : {static_cast<TsCamera*>(Follow()), static_cast<TsCamera*>(Second())})
    {
        EXPECT_EQ(camera->IsFogEnabled(), 1);
        EXPECT_EQ(camera->GetFogType(), 1);
        EXPECT_EQ(camera->GetFogColor().red, 10);
        EXPECT_EQ(camera->GetFogColor().blue, 30);
        EXPECT_EQ(camera->GetFogDistance(), 500.0f);
        EXPECT_EQ(camera->GetFogEnd(), 900.0f);
    }
    ASSERT_EQ(Run("SetFogParams 0 2 1 1 2 3 4 0.002 0"), kDone);
    EXPECT_EQ(Second()->GetFogType(), 3);
    EXPECT_FLOAT_EQ(Second()->GetFogDensity(), 0.002f);
    EXPECT_EQ(Second()->GetFogDistance(), 500.0f) << "the exponential modes leave the distance";
    // Off: only the switch.
    ASSERT_EQ(Run("SetFogParams 0 0 0 99 99 99 99 1 1"), kDone);
    EXPECT_EQ(Follow()->IsFogEnabled(), 0);
    EXPECT_EQ(Follow()->GetFogColor().red, 1);
    // Lines of the wrong length or form change nothing.
    ASSERT_EQ(Run("SetFogParams 0 0 1 10 20 30 255 500"), kDone);
    ASSERT_EQ(Run("SetFogParams 1 0 1 10 20 30 255 500 900"), kDone);
    EXPECT_EQ(Follow()->IsFogEnabled(), 0);
}

// ---- Lines of any tokens --------------------------------------------------------------------------

TEST_F(CameraCommands, RandomCameraLinesKeepTheScenarioCameraFinite)
{
    MakeCameras();
    ASSERT_EQ(Run("ShotCmd 2 0 4 0 1 1 1 18 0"), kDone);
    // The hero that the shots of the paths and of the hero's targets follow, for the second half.
    TsActor* hero = Create("walker");
    ASSERT_NE(hero, nullptr);
    const Vector place = {30, 0, -40};
    hero->SetPosition(&place);
    // Each line starts as its command expects, so that the tokens after reach the shots.
    const char* const commands[] = {"ShotCmd",       "ShotCmd",         "ShotCmd",      "LaunchShotCmd",
                                    "LaunchShotCmd", "SetCameraParams", "SetFogParams", "ScenaricCamera"};
    const char* const tokens[] = {"0",   "1",   "2",    "3",   "4",          "5",           "6",    "7",
                                  "8",   "-1",  "49",   "50",  "18",         "0.5",         "1e30", "-1e30",
                                  "nan", "inf", "text", "100", "2147483647", "-2147483648", "drop", "0.0001"};
    std::mt19937 random(20260);
    int32_t launched = 0;
    HbGameClock* clock = HbGameClock::Instance();
    for (int32_t line = 0; line < 1500; ++line)
    {
        const std::string command = commands[random() % std::size(commands)];
        std::string text = command;
        if (command == "ShotCmd")
            text += " " + std::to_string(random() % 5) + " " + std::to_string(random() % 4) + " " +
                    std::to_string(random() % 9);
        else if (command == "LaunchShotCmd")
            text += " 0 " + std::to_string(random() % 2) + " " + std::to_string(random() % 4);
        const int32_t count = int32_t(random() % 30);
        for (int32_t i = 0; i < count; ++i)
            text += std::string(" ") + tokens[random() % std::size(tokens)];
        SCOPED_TRACE(text);
        if (line == 750)
            mWorld->SetHero(hero);
        Run(text);
        clock->mStepSeconds = 1.0f / 30.0f;
        clock->mGameTime += HbPerformanceFrequency() / 30;
        TsCameraRegistry::UpdateActiveCameras();
        launched += TsCameraRegistry::GetCurrentCameraId() == mProfile->secondCamera ? 1 : 0;
        GeScenaricCamera* second = Second();
        ASSERT_NE(second, nullptr);
        second->ApplyPlacement();
        const Matrix* view = ::Frame::GetWorldMatrix(second->GetEngineFrame());
        ASSERT_TRUE(std::isfinite(second->GetProgress()));
        for (const Vector& v : {view->right, view->up, view->at, view->pos})
            ASSERT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
    }
    EXPECT_GT(launched, 300) << "frames the shots played";
    mWorld->SetHero(nullptr);
    clock->mGameTime = 0;
    clock->mStepSeconds = 0.0f;
}

// ---- A level script plays a shot ---------------------------------------------------------------------

/// An axis-aligned rectangle of the world, drawn and collided on both faces.
struct Quad
{
    std::array<Vector, 4> corners;
    std::array<uint8_t, 4> colour;
};

World* MakeWorld(const std::vector<Quad>& quads)
{
    WorldDescription d;
    d.format = kGeometryPositions | kGeometryPrelit;
    WorldDescription::Leaf leaf;
    std::vector<std::array<uint16_t, 3>> triangles;
    for (size_t i = 0; i < quads.size(); ++i)
    {
        GeometryDescription::Material material;
        material.colour = {255, 0, 255, 255};
        d.materials.push_back(material);
        d.listEntries.push_back(int32_t(i));
        const auto base = uint16_t(leaf.positions.size() / 3);
        for (const Vector& c : quads[i].corners)
        {
            leaf.positions.insert(leaf.positions.end(), {c.x, c.y, c.z});
            leaf.prelit.push_back(quads[i].colour);
        }
        const std::array<uint16_t, 3> faces[] = {{0, 1, 2}, {0, 2, 3}, {0, 2, 1}, {0, 3, 2}};
        for (const auto& t : faces)
        {
            triangles.push_back({uint16_t(base + t[0]), uint16_t(base + t[1]), uint16_t(base + t[2])});
            leaf.triangles.push_back(
                {uint16_t(base + t[0]), uint16_t(base + t[1]), uint16_t(base + t[2]), uint16_t(i)});
        }
    }
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
    d.leaves.push_back(leaf);
    d.box = {1000, 1000, 1000, -1000, -1000, -1000};
    return renderertest::ReadWorldChunk(WorldWriter::Write(d));
}

/// The colour the ray meets first among the quads beyond the near distance, or 0.
uint32_t FirstQuadColour(const std::vector<Quad>& quads, const Vector& origin, const Vector& ray, float nearest)
{
    float best = 1e30f;
    uint32_t colour = 0;
    for (const Quad& q : quads)
    {
        const Vector a = q.corners[0];
        const Vector u = {q.corners[1].x - a.x, q.corners[1].y - a.y, q.corners[1].z - a.z};
        const Vector v = {q.corners[3].x - a.x, q.corners[3].y - a.y, q.corners[3].z - a.z};
        const Vector n = {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
        const float denominator = n.x * ray.x + n.y * ray.y + n.z * ray.z;
        if (std::fabs(denominator) < 1e-9f)
            continue;
        const float t = (n.x * (a.x - origin.x) + n.y * (a.y - origin.y) + n.z * (a.z - origin.z)) / denominator;
        if (t <= 0.0f || t >= best)
            continue;
        const Vector p = {origin.x + ray.x * t - a.x, origin.y + ray.y * t - a.y, origin.z + ray.z * t - a.z};
        const float su = (p.x * u.x + p.y * u.y + p.z * u.z) / (u.x * u.x + u.y * u.y + u.z * u.z);
        const float sv = (p.x * v.x + p.y * v.y + p.z * v.z) / (v.x * v.x + v.y * v.y + v.z * v.z);
        if (su < 0.0f || su > 1.0f || sv < 0.0f || sv > 1.0f || t < nearest)
            continue;
        best = t;
        colour = 0xFF000000u | uint32_t(q.colour[0]) << 16 | uint32_t(q.colour[1]) << 8 | q.colour[2];
    }
    return colour;
}

TEST_F(CameraCommands, ALevelScriptPlaysAShotAlongItsSplineAndTheFollowCameraTakesOver)
{
    // Three upright panels side by side at z = 0 and a floor; the shot's eye slides along x at
    // z = -500 while it looks at a spline sliding the same way at z = 0.
    const std::vector<Quad> quads = {
        {{Vector{-300, -100, 0}, Vector{-100, -100, 0}, Vector{-100, 300, 0}, Vector{-300, 300, 0}},
         {200, 40, 40, 255}},
        {{Vector{-100, -100, 0}, Vector{100, -100, 0}, Vector{100, 300, 0}, Vector{-100, 300, 0}}, {40, 200, 60, 255}},
        {{Vector{100, -100, 0}, Vector{300, -100, 0}, Vector{300, 300, 0}, Vector{100, 300, 0}}, {40, 60, 200, 255}},
        {{Vector{-800, -100, -800}, Vector{800, -100, -800}, Vector{800, -100, 800}, Vector{-800, -100, 800}},
         {120, 120, 110, 255}},
    };
    World* world = MakeWorld(quads);
    ASSERT_NE(world, nullptr);
    World* previous = mLevel->GetMainWorld();
    mLevel->SetMainWorld(world);
    TsActor* hero = Create("walker");
    ASSERT_NE(hero, nullptr);
    const Vector start = {0, 0, -200};
    hero->SetPosition(&start);
    mWorld->SetHero(hero);

    const std::string shots = mDirectory + "/shots.scr";
    std::ofstream(shots) << "ShotCmd 0 1 4 0 1 2.0 1 18 0\nLaunchShotCmd 0 1 1 0 0\n";
    Declare("SHOTS_SCR", shots);
    ASSERT_EQ(Exec("LoadCinematicSplines('LEVEL_SDB')\nCreateCameras()\n"), "");
    // The follow camera settles behind the hero before the shot.
    HbGameClock* clock = HbGameClock::Instance();
    ASSERT_NE(clock, nullptr);
    const int64_t step = HbPerformanceFrequency() / 30;
    auto Tick = [&]
    {
        clock->mStepSeconds = 1.0f / 30.0f;
        clock->mGameTime += step;
        TsCameraRegistry::UpdateActiveCameras();
    };
    for (int32_t i = 0; i < 60; ++i)
        Tick();
    CameraFollow* follow = Follow();
    ASSERT_NE(follow, nullptr);
    const Vector before = follow->GetState().position;
    ASSERT_EQ(Exec("RunScript('SHOTS_SCR')\n"), "");
    GeScenaricCamera* second = Second();
    ASSERT_EQ(TsCameraRegistry::GetCurrentCameraId(), mProfile->secondCamera);
    second->SetClearColor({0x20, 0x30, 0x40, 0xFF});

    WRenderer* renderer = WRenderer::Instance();
    const struct
    {
        const char* name;
        int32_t frames;
        float progress;
    } moments[] = {{"start", 1, 1.0f / 60.0f}, {"middle", 29, 0.5f}, {"end", 40, 1.0f}};
    auto* splines = HbCastTo<TsSplineDataBase>(mWorld->GetCinematicSplines());
    ASSERT_NE(splines, nullptr);
    float lastX = -1e9f;
    for (const auto& moment : moments)
    {
        SCOPED_TRACE(moment.name);
        for (int32_t i = 0; i < moment.frames; ++i)
            Tick();
        const Matrix* view = ::Frame::GetWorldMatrix(second->GetEngineFrame());
        EXPECT_NEAR(second->GetProgress(), moment.progress, 1e-4f);
        Vector eye;
        SplineCurve::FindPosition(splines->GetSpline(0)->spline, kSplineModeUniform, moment.progress, &eye, nullptr);
        EXPECT_NEAR(view->pos.x, eye.x, 0.01f);
        EXPECT_NEAR(view->pos.z, -500.0f, 0.5f);
        EXPECT_GT(view->pos.x, lastX) << "moves along the spline";
        lastX = view->pos.x;
        for (int32_t frame = 0; frame < 2; ++frame)
        {
            ASSERT_EQ(renderer->BeginFrame(), 1);
            renderer->UpdateFrame();
            renderer->RenderScene();
            renderer->EndFrame();
        }
        int32_t width = 0, height = 0;
        const std::vector<uint32_t> pixels = renderertest::RendererTest::ReadViewport(&width, &height);
        ASSERT_GT(width, 0);
        const Camera* camera = second->GetCamera();
        auto colourAt = [&](float px, float py) -> uint32_t
        {
            const float sx = -(px / float(width) * 2.0f - 1.0f) * camera->viewWindow.x;
            const float sy = -(py / float(height) * 2.0f - 1.0f) * camera->viewWindow.y;
            const Vector ray = {view->at.x + sx * view->right.x + sy * view->up.x,
                                view->at.y + sx * view->right.y + sy * view->up.y,
                                view->at.z + sx * view->right.z + sy * view->up.z};
            const uint32_t colour = FirstQuadColour(quads, view->pos, ray, camera->nearPlane);
            return colour ? colour : 0xFF203040u;
        };
        const std::vector<uint32_t> expected =
            framecheck::EdgeTolerantReference(width, height, pixels, colourAt, {-1.0f, 0.0f, 1.0f});
        EXPECT_EQ(
            framecheck::CheckFrame(std::string("scenario-shot-") + moment.name, width, height, pixels, expected, 6),
            "");
    }
    EXPECT_EQ(second->GetProgress(), 1.0f);

    // Back to the follow camera: the hero did not move, so it goes on from where it rested.
    ASSERT_EQ(Run("LaunchShotCmd 0 0"), kDone);
    ASSERT_EQ(TsCameraRegistry::GetCurrentCameraId(), mProfile->followCamera);
    Tick();
    const Vector after = follow->GetState().position;
    EXPECT_LT(std::hypot(after.x - before.x, after.y - before.y, after.z - before.z), 1.0f);
    // The hero walked on 120 during a second shot: the camera eases after him, never further in a
    // frame than he went, and comes to rest behind him.
    ASSERT_EQ(Run("LaunchShotCmd 0 1 1 0 0"), kDone);
    for (int32_t i = 0; i < 70; ++i)
        Tick();
    const Vector walked = {0, 0, -80};
    hero->SetPosition(&walked);
    ASSERT_EQ(Run("LaunchShotCmd 0 0"), kDone);
    Vector last = follow->GetState().position;
    float largest = 0.0f;
    for (int32_t i = 0; i < 90; ++i)
    {
        Tick();
        const Vector p = follow->GetState().position;
        largest = std::max(largest, std::hypot(p.x - last.x, p.y - last.y, p.z - last.z));
        last = p;
    }
    EXPECT_LE(largest, 120.0f + 1.0f);
    EXPECT_NEAR(last.z - before.z, 120.0f, 2.0f);

    mWorld->SetHero(nullptr);
    mLevel->SetMainWorld(previous);
    World::Destroy(world);
    clock->mGameTime = 0;
    clock->mStepSeconds = 0.0f;
}
} // namespace
} // namespace scenarictest
