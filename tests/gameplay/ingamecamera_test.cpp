// The follow camera over the script world's level: its lens and shake, the presets, zoom and
// stick rates, the aim turn, the camera actions and the pad's turn behind, the per-frame law
// under fixed inputs, obstacles of worlds made by the writers, the stage's camera creation, and
// long runs of random input that must leave every value finite.
#include "ingamecamera.h"

#include "camera.h"
#include "collisiontreewriter.h"
#include "frame.h"
#include "framecheck.h"
#include "gameplay_fixture.h"
#include "geometry.h"
#include "scenariocamera.h"
#include "scriptworld_fixture.h"
#include "shoothelper.h"
#include "tscameraregistry.h"
#include "tsdummyactor.h"
#include "w3dcollision.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "watomicowner.h"
#include "world.h"
#include "worldwriter.h"
#include "wrenderer.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <set>
#include <string>

namespace
{
using gameplaytest::GameClock;

constexpr float kPi = 3.14159265f;

/// The input and services the camera reads, as the test sets them.
struct FakeInput
{
    int32_t pad = 0;
    float stick[2] = {0.0f, 0.0f};
    std::set<std::string> actions;
    int32_t hasTarget = 0;
    Vector target = {0, 0, 0};
    int32_t moveState = 0;
};
FakeInput gInput;

CameraFollowHooks FakeHooks()
{
    CameraFollowHooks hooks;
    hooks.padPresent = [] { return gInput.pad; };
    hooks.stick = [](int32_t, float out[2])
    {
        out[0] = gInput.stick[0];
        out[1] = gInput.stick[1];
    };
    hooks.action = [](const char* name) { return gInput.actions.count(name) ? 1 : 0; };
    hooks.target = [](Vector* out)
    {
        *out = gInput.target;
        return gInput.hasTarget;
    };
    hooks.moveState = [](TsActor*) { return gInput.moveState; };
    return hooks;
}

/// An axis-aligned rectangle of the world, drawn and collided on both faces.
struct Quad
{
    std::array<Vector, 4> corners; ///< in order around the rectangle
    std::array<uint8_t, 4> colour;
};

/// A wall across z at depth z: x in [x0, x1], y in [y0, y1].
Quad WallZ(float z, float x0, float x1, float y0, float y1, std::array<uint8_t, 4> colour)
{
    return {{Vector{x0, y0, z}, Vector{x1, y0, z}, Vector{x1, y1, z}, Vector{x0, y1, z}}, colour};
}
Quad WallX(float x, float z0, float z1, float y0, float y1, std::array<uint8_t, 4> colour)
{
    return {{Vector{x, y0, z0}, Vector{x, y0, z1}, Vector{x, y1, z1}, Vector{x, y1, z0}}, colour};
}
Quad Ceiling(float y, float half, std::array<uint8_t, 4> colour)
{
    return {{Vector{-half, y, -half}, Vector{half, y, -half}, Vector{half, y, half}, Vector{-half, y, half}}, colour};
}

/// A prelit world of the quads with its collision tree, read back through the engine.
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

bool Finite(const Vector& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

float Length(const Vector& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

class FollowCamera : public scriptworldtest::ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        if (HasFatalFailure())
            return;
        gInput = FakeInput{};
        const CameraFollowHooks hooks = FakeHooks();
        CameraFollowSetHooks(&hooks);
        // No obstacles unless a test puts a world in.
        mLevel->SetMainWorld(nullptr);
        mHero = new TsDummyActor();
        mHero->AddRef();
        Place({0, 0, 0});
        NewCamera();
    }
    void TearDown() override
    {
        if (mCamera)
            mCamera->Release();
        if (mHero)
            mHero->Release();
        for (World* world : mWorlds)
            World::Destroy(world);
        CameraFollowSetHooks(nullptr);
        SetShootHelperOptions(1);
        mLevel->SetMainWorld(mWallWorld);
        ScriptWorldTest::TearDown();
    }

    static void SetShootHelperOptions(int32_t on) { SetCameraShootHelper(on); }

    /// A fresh follow camera following the hero.
    void NewCamera()
    {
        if (mCamera)
            mCamera->Release();
        mCamera = CameraFollow::Create();
        ASSERT_NE(mCamera, nullptr);
        mCamera->AddRef();
        CameraFollowPlacement follow;
        follow.actor = mHero;
        mCamera->SetPlacement(&follow);
    }
    void Place(Vector p)
    {
        if (mHero)
            mHero->SetPosition(&p);
    }
    /// The hero turned about the Y axis by the degrees from facing +z.
    void Face(float degrees)
    {
        ::Frame* frame = mHero->GetNode()->GetEngineFrame();
        const Vector position = *mHero->GetNode()->GetWorldPosition();
        const Vector axis = {0, 1, 0};
        ::Frame::Rotate(frame, &axis, degrees, kCombineReplace);
        ::Frame::Translate(frame, &position, kCombinePostConcat);
    }
    Vector Facing()
    {
        const Matrix* m = ::Frame::GetWorldMatrix(mHero->GetNode()->GetEngineFrame());
        return m->at;
    }
    void Step(float dt)
    {
        mClock.Step(dt);
        mCamera->ApplyPlacement();
    }
    void Run(float seconds, float dt = 1.0f / 60.0f)
    {
        for (int32_t i = 0; i < int32_t(std::lround(seconds / dt)); ++i)
            Step(dt);
    }
    int32_t Act(int32_t action, uint32_t given = 0, Vector direction = {0, 0, 0}, float pitch = 0, float distance = 0,
                float height = 0, float duration = 0)
    {
        CameraFollowPlacement a;
        a.kind = CameraFollowPlacement::kAction;
        a.action = action;
        a.given = given;
        a.direction[0] = direction.x;
        a.direction[1] = direction.y;
        a.direction[2] = direction.z;
        a.pitch = pitch;
        a.distance = distance;
        a.height = height;
        a.duration = duration;
        return mCamera->Action(a);
    }
    /// Zoomed in with no action left running.
    void ZoomSettled(int32_t preset = 2)
    {
        mCamera->SetPreset(preset);
        Run(2.0f);
        ASSERT_EQ(CameraFollowGetModule().zoomed, 1);
        ASSERT_EQ(CameraFollowGetModule().action, 0);
    }
    World* AddWorld(const std::vector<Quad>& quads)
    {
        World* world = MakeWorld(quads);
        EXPECT_NE(world, nullptr);
        mWorlds.push_back(world);
        mLevel->SetMainWorld(world);
        return world;
    }
    const CameraFollowState& S() const { return mCamera->GetState(); }

    GameClock mClock;
    TsDummyActor* mHero = nullptr;
    CameraFollow* mCamera = nullptr;
    std::vector<World*> mWorlds;
};

// ---- Lens and shake ------------------------------------------------------------------------------------

TEST_F(FollowCamera, TheLensOfA36By24Frame)
{
    EXPECT_EQ(mCamera->GetFocalLength(), 18.0f) << "at construction";
    const struct
    {
        float focal;
        float width, height;
    } cases[] = {{18, 1.0f, 0.6667f}, {36, 0.5f, 0.3333f}, {100, 0.18f, 0.12f}, {0, 0.18f, 0.12f}, {-5, 0.18f, 0.12f}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.focal);
        mCamera->SetFocalLength(c.focal);
        EXPECT_NEAR(mCamera->GetViewWindow().x, c.width, 1e-4f);
        EXPECT_NEAR(mCamera->GetViewWindow().y, c.height, 1e-4f);
    }
}

TEST_F(FollowCamera, AShakeFadesOutAndEndsWhenItsFadeReachesItsLimit)
{
    // Channels 0 and 2 end when e^(8 t) reaches 20, channel 1 at 10.
    const struct
    {
        int32_t channel;
        double end;
    } cases[] = {{0, std::log(20.0) / 8.0}, {1, std::log(10.0) / 8.0}, {2, std::log(20.0) / 8.0}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.channel);
        CameraFollowPlacement shake;
        shake.kind = CameraFollowPlacement::kShake;
        shake.shake = {c.channel, 1, 1.5f, 15.0f, 8.0f, 0.0f};
        mCamera->SetPlacement(&shake);
        ASSERT_EQ(mCamera->IsShaking(c.channel), 1);
        double t = 0.0;
        const double dt = 1.0 / 120.0;
        while (mCamera->IsShaking(c.channel) && t < 2.0)
        {
            Step(float(dt));
            t += dt;
        }
        EXPECT_GE(t, c.end - 1e-3);
        EXPECT_LT(t, c.end + dt + 1e-3);
    }
    EXPECT_NEAR(std::log(20.0) / 8.0, 0.374, 0.001);
}

TEST_F(FollowCamera, AShakeTurnsTheFrameBySineInRadiansOverItsFade)
{
    Run(0.5f);
    CameraFollowPlacement shake;
    shake.kind = CameraFollowPlacement::kShake;
    shake.shake = {0, 1, 1.5f, 15.0f, 8.0f, 0.0f};
    mCamera->SetPlacement(&shake);
    Step(0.05f);
    // Channel 0 pitches the frame about its own X axis.
    const double expected = 1.5 * std::sin(15.0 * 0.05) / std::exp(8.0 * 0.05);
    const Matrix* m = ::Frame::GetWorldMatrix(mCamera->GetEngineFrame());
    const Vector& at = S().pivotAt;
    const float cosine = m->at.x * at.x + m->at.y * at.y + m->at.z * at.z;
    EXPECT_NEAR(std::acos(std::min(1.0f, cosine)) * 180.0f / kPi, std::fabs(expected), 0.02);

    // Channel 2 lifts the frame only by values above 0.5.
    shake.shake = {2, 1, 0.4f, 15.0f, 8.0f, 0.0f};
    mCamera->SetPlacement(&shake);
    Step(0.05f);
    EXPECT_NEAR(::Frame::GetWorldMatrix(mCamera->GetEngineFrame())->pos.y, S().position.y, 1e-3f);
    shake.shake = {2, 1, 40.0f, 15.0f, 8.0f, 0.0f};
    mCamera->SetPlacement(&shake);
    Step(0.05f);
    const float lift = float(40.0 * std::sin(0.75) / std::exp(0.4));
    EXPECT_NEAR(::Frame::GetWorldMatrix(mCamera->GetEngineFrame())->pos.y, S().position.y + lift, 0.05f);
}

TEST_F(FollowCamera, ShakeRequestsThatWouldNeverEndOrHaveNoChannelAreRefused)
{
    const struct
    {
        CameraShakeRequest request;
        int32_t answer;
    } cases[] = {{{0, 1, 1.5f, 15, 0.0f, 0}, 0}, {{1, 1, 1.5f, 15, -2.0f, 0}, 0}, {{3, 1, 1.5f, 15, 8, 0}, 0},
                 {{-1, 1, 1.5f, 15, 8, 0}, 0},   {{0, 1, NAN, 15, 8, 0}, 0},      {{2, 1, 1.5f, 15, 8, INFINITY}, 0},
                 {{0, 1, 1.5f, 15, 8, 0}, 1}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.request.channel);
        EXPECT_EQ(mCamera->Shake(c.request), c.answer);
        if (c.request.channel >= 0 && c.request.channel < 3)
            EXPECT_EQ(mCamera->IsShaking(c.request.channel), c.answer);
    }
    // on = 0 switches a running channel off.
    EXPECT_EQ(mCamera->Shake({0, 0, 0, 0, 0, 0}), 1);
    EXPECT_EQ(mCamera->IsShaking(0), 0);
}

// ---- Presets, zoom and stick rates ---------------------------------------------------------------------

TEST_F(FollowCamera, EachPresetSetsItsDistanceHeightAndZoom)
{
    const struct
    {
        int32_t preset;
        float distance, height, maxHeight;
        int32_t zoomed;
        Vector offset;
    } cases[] = {
        {1, 250, 130, 180, 0, {0, 0, 0}},      {2, 200, 180, 181, 1, {0, 0, 0}}, {3, 200, 140, 141, 1, {0, 0, 0}},
        {4, 250, 90, 140, 0, {0, 0, 0}},       {5, 250, 80, 180, 0, {0, 0, 0}},  {6, 250, 130, 180, 0, {0, 0, 0}},
        {7, 100, 180, 181, 1, {-35, -30, 40}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.preset);
        NewCamera();
        mCamera->SetPreset(c.preset);
        EXPECT_EQ(CameraFollowGetModule().preset, c.preset);
        EXPECT_EQ(S().distance, c.distance);
        EXPECT_EQ(S().distanceTarget, c.distance);
        EXPECT_EQ(S().height, c.height);
        EXPECT_EQ(S().maxHeight, c.maxHeight);
        EXPECT_EQ(CameraFollowGetModule().zoomed, c.zoomed);
        EXPECT_EQ(S().pivotOffset.x, c.offset.x);
        EXPECT_EQ(S().pivotOffset.z, c.offset.z);
        EXPECT_EQ(S().strafeOn, c.zoomed ? 0 : 1);
        EXPECT_EQ(CameraFollowGetModule().action, c.zoomed ? 7 : 0) << "zooming in starts the aim turn";
    }
    // Preset 5: the stick lets go and the camera drifts by its biases.
    NewCamera();
    mCamera->SetPreset(5);
    EXPECT_EQ(S().stickYaw, 0);
    EXPECT_EQ(S().stickPitch, 0);
    EXPECT_EQ(S().pitchBias, 0.2f);
    EXPECT_EQ(S().yawBias, 1.0f);
    EXPECT_EQ(S().heightRate, 2.0f);
    EXPECT_EQ(S().focalTarget, 27.0f);
}

TEST_F(FollowCamera, PresetsAreGatedByTheRunningAction)
{
    // The current preset again changes nothing.
    mCamera->EditState().distance = 123.0f;
    mCamera->SetPreset(1);
    EXPECT_EQ(S().distance, 123.0f);

    // During action 1, preset 4 is only recorded; preset 2 ends the action and zooms.
    NewCamera();
    ASSERT_EQ(Act(1, CameraFollowPlacement::kGivenDirection, {1, 0, 0}), 1);
    mCamera->SetPreset(4);
    EXPECT_EQ(CameraFollowGetModule().preset, 4);
    EXPECT_EQ(S().height, 130.0f);
    EXPECT_EQ(CameraFollowGetModule().action, 1);
    mCamera->SetPreset(2);
    EXPECT_EQ(S().height, 180.0f);
    EXPECT_EQ(CameraFollowGetModule().zoomed, 1);
    EXPECT_EQ(CameraFollowGetModule().action, 7);

    // During action 4, preset 3 takes no effect; preset 5 ends the action.
    NewCamera();
    ASSERT_EQ(Act(4, CameraFollowPlacement::kGivenDistance, {}, 0, 400), 1);
    mCamera->SetPreset(3);
    EXPECT_EQ(S().height, 130.0f);
    EXPECT_EQ(CameraFollowGetModule().zoomed, 0);
    EXPECT_EQ(CameraFollowGetModule().action, 4);
    mCamera->SetPreset(5);
    EXPECT_EQ(CameraFollowGetModule().action, 0);
    EXPECT_EQ(S().height, 80.0f);
}

TEST_F(FollowCamera, TheZoomValueGivesTheZoomedLensAndTheStickRates)
{
    const struct
    {
        int32_t pad;
        float zoom;
        int32_t preset;
        float focal, pitchRate, yawRate;
    } cases[] = {
        {0, 100, 2, 100, 75 * 0.27f, 125 * 0.27f},
        {1, 100, 2, 100, 0.7f * 0.27f, -3 * 0.27f},
        {0, 0, 2, 27, 75, 125},
        {1, 0, 2, 27, 0.7f, -3},
        {0, 50, 4, 63.5f, 75, 125},
        {1, 50, 4, 63.5f, 1.0f, -4},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "pad " << c.pad << " zoom " << c.zoom << " preset " << c.preset);
        NewCamera();
        gInput.pad = c.pad;
        CameraFollowPlacement zoom;
        zoom.kind = CameraFollowPlacement::kZoom;
        zoom.zoom = c.zoom;
        mCamera->SetPlacement(&zoom);
        mCamera->SetPreset(c.preset);
        EXPECT_NEAR(CameraFollowGetModule().zoomedFocal, c.focal, 1e-4f);
        EXPECT_NEAR(CameraFollowGetModule().pitchRate, c.pitchRate, 1e-4f);
        EXPECT_NEAR(CameraFollowGetModule().yawRate, c.yawRate, 1e-4f);
        EXPECT_EQ(S().focalTarget, c.preset == 2 ? c.focal : 27.0f);
        EXPECT_EQ(S().autoBehind, c.preset == 4 ? c.pad : 0);
    }
    // A new zoom value while zoomed changes the rates at once.
    CameraFollowPlacement zoom;
    zoom.kind = CameraFollowPlacement::kZoom;
    zoom.zoom = 100;
    gInput.pad = 0;
    mCamera->SetPreset(3);
    mCamera->SetPlacement(&zoom);
    EXPECT_NEAR(CameraFollowGetModule().yawRate, 125 * 0.27f, 1e-4f);
}

TEST_F(FollowCamera, TheLensEasesToTheZoomedFocalLength)
{
    CameraFollowPlacement zoom;
    zoom.kind = CameraFollowPlacement::kZoom;
    zoom.zoom = 100;
    mCamera->SetPlacement(&zoom);
    mCamera->SetPreset(2);
    // The lens is set only while the eased value is more than 0.2 from its target, so it stops
    // within one frame's step beyond that.
    Run(3.0f);
    EXPECT_NEAR(mCamera->GetFocalLength(), 100.0f, 0.25f);
    mCamera->SetPreset(1);
    Run(3.0f);
    EXPECT_NEAR(mCamera->GetFocalLength(), 27.0f, 0.25f);
}

// ---- The aim turn --------------------------------------------------------------------------------------

TEST_F(FollowCamera, ZoomingInOnAnEnemyRaisesItsPointAndPitchesTowardIt)
{
    SetShootHelperOptions(1);
    gInput.hasTarget = 1;
    gInput.target = {150, 50, 0}; // 150 units to the hero's side
    mCamera->SetPreset(2);
    // Raised by 35 x (1 - 22500 / 40000); the eye is 180 above the hero.
    const float raised = 50.0f + 35.0f * (1.0f - 22500.0f / 40000.0f);
    EXPECT_NEAR(S().aimTurnPoint.y, raised, 1e-4f);
    const float d = std::sqrt(150.0f * 150.0f + (180.0f - raised) * (180.0f - raised));
    EXPECT_NEAR(S().pitchTarget, std::asin((180.0f - raised) / d) * 180.0f / kPi, 1e-3f);
    EXPECT_EQ(CameraFollowGetModule().action, 7);
    EXPECT_EQ(S().stickYaw, 0);
    EXPECT_EQ(S().stickPitch, 0);
    EXPECT_EQ(S().turnRate, 20.0f);
    EXPECT_EQ(S().pitchRate, 18.0f);
    EXPECT_NEAR(S().turnTarget.x, 1.0f, 1e-5f);

    // The turn arrives and its end gives the stick back.
    Run(2.0f);
    EXPECT_NEAR(S().direction.x, 1.0f, 1e-3f);
    EXPECT_EQ(CameraFollowGetModule().action, 0);
    EXPECT_EQ(S().stickYaw, 1);
    EXPECT_EQ(S().turnRate, 7.0f);
    EXPECT_EQ(S().hasAimPoint, 0);

    // An enemy above the eye gives a negative pitch.
    NewCamera();
    gInput.target = {0, 400, 300};
    mCamera->SetPreset(2);
    EXPECT_LT(S().pitchTarget, 0.0f);
}

TEST_F(FollowCamera, TheAimTurnGivesUpAfterTwoSeconds)
{
    SetShootHelperOptions(1);
    gInput.hasTarget = 1;
    gInput.target = {150, 50, 0};
    mCamera->SetPreset(2);
    mCamera->EditState().turnRate = 0.3f; // too slow to arrive
    Run(1.9f);
    EXPECT_EQ(S().hasAimPoint, 1);
    EXPECT_TRUE(S().transitions & CameraFollow::kTurn);
    Run(0.2f);
    EXPECT_EQ(S().hasAimPoint, 0);
    EXPECT_FALSE(S().transitions & CameraFollow::kTurn);
}

TEST_F(FollowCamera, ZoomingWithoutATargetStepsThePitch)
{
    const struct
    {
        int32_t option, hasTarget;
        Vector target;
    } cases[] = {
        {0, 1, {150, 50, 0}}, // the option off
        {1, 0, {150, 50, 0}}, // no target found
        {1, 1, {0, 145, 0}},  // the raised point sits at the eye: no direction, no 0 / 0
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.option << c.hasTarget);
        NewCamera();
        SetShootHelperOptions(c.option);
        gInput.hasTarget = c.hasTarget;
        gInput.target = c.target;
        mCamera->EditState().pitch = 10.0f;
        mCamera->SetPreset(2);
        EXPECT_EQ(S().pitchTarget, 10.0f - 13.6f);
        EXPECT_FALSE(S().transitions & CameraFollow::kTurn);
        EXPECT_EQ(S().hasAimPoint, 0);
        // Zooming out while the turn runs: 13.6 above where the turn was going.
        mCamera->SetPreset(1);
        EXPECT_NEAR(S().pitchTarget, 10.0f, 1e-4f);
        EXPECT_EQ(CameraFollowGetModule().action, 7);
        Run(1.0f);
        EXPECT_TRUE(std::isfinite(S().pitch));
        EXPECT_EQ(CameraFollowGetModule().action, 0);
    }
    // Steps clamp to the pitch limits.
    NewCamera();
    mCamera->EditState().pitch = -55.0f;
    mCamera->SetPreset(2);
    EXPECT_EQ(S().pitchTarget, -60.0f);
}

// ---- Camera actions ------------------------------------------------------------------------------------

TEST_F(FollowCamera, ActionsAreIgnoredOrFailByTheirRules)
{
    using P = CameraFollowPlacement;
    const struct
    {
        const char* name;
        bool zoomed;
        int32_t action;
        uint32_t given;
        int32_t answer, running;
    } cases[] = {
        {"zoomed, action 1", true, 1, P::kGivenPitch, 1, 0},
        {"zoomed, action 4", true, 4, P::kGivenPitch, 1, 4},
        {"action 0 with none running", false, 0, 0, 1, 0},
        {"action 2 without a duration", false, 2, P::kGivenPitch, 0, 0},
        {"action 2 with a duration", false, 2, P::kGivenPitch | P::kGivenDuration, 1, 2},
        {"action 6 without a target", false, 6, P::kGivenPitch, 0, 0},
        {"action 3", false, 3, P::kGivenPitch, 1, 3},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        NewCamera();
        if (c.zoomed)
            ZoomSettled();
        const float pitchTarget = S().pitchTarget;
        EXPECT_EQ(Act(c.action, c.given, {}, 33.0f, 0, 0, 1.0f), c.answer);
        EXPECT_EQ(CameraFollowGetModule().action, c.running);
        EXPECT_EQ(S().pitchTarget, c.running ? 33.0f : pitchTarget);
    }
    // Without a follow camera nothing answers.
    mCamera->Release();
    mCamera = nullptr;
    CameraFollowPlacement record;
    record.kind = CameraFollowPlacement::kAction;
    record.action = 1;
    EXPECT_EQ(CameraFollowAction(record), 0);
    EXPECT_EQ(CameraFollowSetPreset(2), 0);
}

TEST_F(FollowCamera, Action5PlacesAtOnceAndEnds)
{
    using P = CameraFollowPlacement;
    ASSERT_EQ(Act(5, P::kGivenDirection | P::kGivenPitch | P::kGivenDistance | P::kGivenHeight, {-2, 5, 0}, 25.0f,
                  120.0f, 60.0f),
              1);
    EXPECT_EQ(CameraFollowGetModule().action, 0);
    EXPECT_EQ(S().direction.x, -1.0f);
    EXPECT_EQ(S().direction.y, 0.0f);
    EXPECT_EQ(S().pitch, 25.0f);
    EXPECT_EQ(S().currentDistance, 120.0f);
    EXPECT_EQ(S().currentHeight, 60.0f);
    EXPECT_EQ(S().transitions, 0u);
}

TEST_F(FollowCamera, Action1TurnsAndEndsWithItsTransitionsOrTheStick)
{
    using P = CameraFollowPlacement;
    ASSERT_EQ(Act(1, P::kGivenDirection | P::kGivenDistance, {1, 0, 0}, 0, 400.0f), 1);
    EXPECT_EQ(S().stickYaw, 0);
    EXPECT_EQ(S().transitions, uint32_t(CameraFollow::kTurn | CameraFollow::kDistance));
    Run(0.2f);
    EXPECT_EQ(CameraFollowGetModule().action, 1);
    Run(4.0f);
    EXPECT_EQ(CameraFollowGetModule().action, 0) << "both transitions ended";
    EXPECT_NEAR(S().direction.x, 1.0f, 1e-3f);
    EXPECT_EQ(S().stickYaw, 1);
    EXPECT_EQ(S().distance, 250.0f) << "the preset applies again";

    ASSERT_EQ(Act(1, P::kGivenDirection, {-1, 0, 0}), 1);
    gInput.stick[0] = 0.5f;
    Step(1.0f / 60.0f);
    EXPECT_EQ(CameraFollowGetModule().action, 0) << "the stick ends it";
}

TEST_F(FollowCamera, Action2LastsItsDurationAfterItsTransitions)
{
    using P = CameraFollowPlacement;
    ASSERT_EQ(Act(2, P::kGivenPitch | P::kGivenDuration, {}, 30.0f, 0, 0, 1.0f), 1);
    // The pitch arrives within 0.1 in about 1.4 s at 7 %.
    float t = 0.0f;
    while (S().transitions && t < 5.0f)
    {
        Step(1.0f / 60.0f);
        t += 1.0f / 60.0f;
    }
    ASSERT_EQ(S().transitions, 0u);
    Run(0.9f);
    EXPECT_EQ(CameraFollowGetModule().action, 2);
    Run(0.2f);
    EXPECT_EQ(CameraFollowGetModule().action, 0);
    EXPECT_EQ(S().stickPitch, 1);
}

TEST_F(FollowCamera, Action6FollowsItsTargetUntilTheTargetGoes)
{
    auto* enemy = new TsDummyActor();
    enemy->AddRef();
    const Vector at = {-500, 0, 0};
    enemy->SetPosition(&at);
    CameraFollowPlacement a;
    a.kind = CameraFollowPlacement::kAction;
    a.action = 6;
    a.targetKind = CameraFollowPlacement::kTargetActor;
    a.targetActor = enemy;
    ASSERT_EQ(mCamera->Action(a), 1);
    Run(2.0f);
    EXPECT_NEAR(S().direction.x, -1.0f, 1e-3f);
    EXPECT_EQ(CameraFollowGetModule().action, 6);
    enemy->Release();
    Step(1.0f / 60.0f);
    EXPECT_EQ(CameraFollowGetModule().action, 0);
    EXPECT_EQ(S().stickYaw, 1);

    // A point target.
    a.targetKind = CameraFollowPlacement::kTargetPoint;
    a.targetPoint[0] = 0;
    a.targetPoint[2] = -300;
    ASSERT_EQ(mCamera->Action(a), 1);
    Run(2.0f);
    EXPECT_NEAR(S().direction.z, -1.0f, 1e-3f);
}

TEST_F(FollowCamera, CameraBehindTurnsToTheHerosFacingOnAPad)
{
    gInput.pad = 1;
    Face(90.0f);
    const Vector facing = Facing();
    ASSERT_GT(std::fabs(facing.x), 0.99f);
    ASSERT_EQ(Act(1, CameraFollowPlacement::kGivenDirection, {0, 0, -1}), 1);
    gInput.actions = {"CAMERA_BEHIND"};
    Step(1.0f / 60.0f);
    gInput.actions.clear();
    EXPECT_EQ(CameraFollowGetModule().action, 0) << "a running action 1 ends";
    EXPECT_NEAR(S().storedFacing.x, facing.x, 1e-4f);
    EXPECT_GT(S().behindTimer, 0.6f);
    EXPECT_GT(S().pitchBackTimer, 0.6f);
    Run(0.6f);
    EXPECT_NEAR(S().direction.x, facing.x, 0.03f);

    // Zoomed, only the pitch goes back; without a pad nothing happens.
    NewCamera();
    ZoomSettled();
    gInput.actions = {"CAMERA_BEHIND"};
    Step(1.0f / 60.0f);
    EXPECT_EQ(S().behindTimer, 0.0f);
    EXPECT_GT(S().pitchBackTimer, 0.6f);
    gInput.pad = 0;
    NewCamera();
    Step(1.0f / 60.0f);
    EXPECT_EQ(S().pitchBackTimer, 0.0f);
}

// ---- The per-frame law ---------------------------------------------------------------------------------

TEST_F(FollowCamera, SmoothedValuesMoveTheirRateTimesTheFrameShare)
{
    // At 30 frames per second a rate of 7 % covers 14 % of the gap: 300 -> 250 gives 293.
    Step(1.0f / 30.0f);
    EXPECT_NEAR(S().currentDistance, 293.0f, 1e-3f);
    // The height at 20 %: 180 -> 130 covers 40 %.
    EXPECT_NEAR(S().currentHeight, 160.0f, 1e-3f);
    // At 60 frames per second, half as much.
    NewCamera();
    Step(1.0f / 60.0f);
    EXPECT_NEAR(S().currentDistance, 296.5f, 1e-3f);
}

TEST_F(FollowCamera, StickInputTurnsAndPitchesTheCamera)
{
    // The mouse: yaw speed 0.41 x 125 x (-x) reached at once (rate 100), pitch 75 x y.
    gInput.stick[0] = -0.2f;
    gInput.stick[1] = 0.1f;
    const float pitch = S().pitch;
    Step(1.0f / 60.0f);
    EXPECT_NEAR(S().yawSpeed, 0.41f * 125.0f * 0.2f, 1e-4f);
    EXPECT_NEAR(S().pitch, pitch + 7.5f, 1e-4f);
    const float turned = std::atan2(S().direction.x, S().direction.z) * 180.0f / kPi;
    EXPECT_NEAR(turned, 0.41f * 125.0f * 0.2f, 1e-3f);

    // The pad's stick (x, -y) eases in at 50 % of the gap per sixtieth, out at 8.5 %.
    NewCamera();
    gInput.pad = 1;
    mCamera->SetPreset(4); // the pad's rates
    mCamera->SetPreset(1);
    gInput.stick[0] = 0.5f;
    gInput.stick[1] = 0.0f;
    const float expected[] = {-0.41f, -0.615f, -0.7175f};
    for (float e : expected)
    {
        Step(1.0f / 60.0f);
        EXPECT_NEAR(S().yawSpeed, e, 1e-4f);
    }
    gInput.stick[0] = 0.0f;
    Step(1.0f / 60.0f);
    EXPECT_NEAR(S().yawSpeed, -0.7175f * (1.0f - 0.085f), 1e-4f);
    // Twice the frame time, twice the stick.
    NewCamera();
    mCamera->SetPreset(4);
    mCamera->SetPreset(1);
    gInput.stick[1] = -0.5f;
    const float before = S().pitch;
    Step(1.0f / 30.0f);
    EXPECT_NEAR(S().pitch, before + 1.0f * 0.5f * 2.0f, 1e-4f);
}

TEST_F(FollowCamera, ATeleportJumpsTheLookPointAndSmallMovesAreSmoothed)
{
    Run(2.0f);
    ASSERT_NEAR(S().lookPoint.x, 0.0f, 1e-3f);
    Place({400, 0, 0});
    Step(1.0f / 60.0f);
    EXPECT_EQ(S().lookPoint.x, 400.0f);
    EXPECT_NEAR(S().lookPoint.y, S().currentHeight, 1e-3f);

    // 200 units is no teleport: the mean of the last 0.15 s moves a ninth of the way per frame.
    Place({600, 0, 0});
    Step(1.0f / 60.0f);
    EXPECT_NEAR(S().lookPoint.x, 400.0f + 200.0f / 9.0f, 0.01f);
}

TEST_F(FollowCamera, TheLookPointIsTheTimeWeightedMeanOfItsLastTenthsOfASecond)
{
    Run(2.0f);
    // One frame of 0.05 s at x = 30: a third of the 0.15 s.
    Place({30, 0, 0});
    Step(0.05f);
    EXPECT_NEAR(S().lookPoint.x, 10.0f, 1e-3f);
    // One longer frame covers the whole span.
    Step(0.1f);
    EXPECT_NEAR(S().lookPoint.x, 30.0f, 1e-3f);
    // Frames of no time change nothing.
    Place({60, 0, 0});
    Step(0.0f);
    EXPECT_NEAR(S().lookPoint.x, 30.0f, 1e-3f);
}

TEST_F(FollowCamera, TheAimPointLeadsAMovingActor)
{
    // A steady walk of 2 units a frame: the look-ahead's 0.8 s mean settles to this frame's
    // motion x 0.4 x lag, scaled by lag / 200.
    float x = 0.0f;
    for (int32_t i = 0; i < 180; ++i)
    {
        x += 2.0f;
        Place({x, 0, 0});
        Step(1.0f / 60.0f);
    }
    const float motion = S().lookPoint.x - S().previousLookPoint.x;
    const float lag = x - S().lookPoint.x;
    EXPECT_NEAR(motion, 2.0f, 1e-3f);
    EXPECT_NEAR(lag, 2.0f * 4.0f, 0.01f) << "the mean of the last nine places";
    EXPECT_NEAR(S().aimPoint.x - S().lookPoint.x, motion * 0.4f * lag * lag / 200.0f, 1e-3f);
}

TEST_F(FollowCamera, AutoBehindTurnsBackWhileTheActorKeepsMoving)
{
    gInput.pad = 1;
    mCamera->SetPreset(4);
    mCamera->SetPreset(1);
    ASSERT_EQ(S().autoBehind, 1);
    Face(180.0f);
    float z = 0.0f;
    for (int32_t i = 0; i < 60; ++i)
    {
        z -= 2.0f;
        Place({0, 0, z});
        Step(1.0f / 60.0f);
    }
    EXPECT_NEAR(S().direction.z, 1.0f, 1e-4f) << "not before a second of motion";
    for (int32_t i = 0; i < 240; ++i)
    {
        z -= 2.0f;
        Place({0, 0, z});
        Step(1.0f / 60.0f);
    }
    EXPECT_LT(S().direction.z, -0.9f) << "turned around behind the hero";
}

TEST_F(FollowCamera, NoFollowedActorLooksAtTheOrigin)
{
    Place({100, 0, 50});
    Run(1.0f);
    mHero->Release();
    mHero = nullptr;
    Run(1.0f);
    EXPECT_EQ(mCamera->GetFollowed(), nullptr);
    EXPECT_NEAR(S().lookPoint.x, 0.0f, 1e-3f);
    EXPECT_NEAR(S().lookPoint.y, S().currentHeight, 1e-3f);
    EXPECT_TRUE(Finite(S().position));
    EXPECT_TRUE(Finite(S().aimPoint));
}

// ---- Obstacles ----------------------------------------------------------------------------------------

TEST_F(FollowCamera, AWallBehindTheHeroShortensTheDistanceAtOnceAndItGrowsBackSlowly)
{
    Run(3.0f, 1.0f / 30.0f);
    ASSERT_NEAR(S().placedDistance, 250.0f, 0.1f);
    AddWorld({WallZ(-100, -500, 500, -200, 600, {200, 40, 40, 255})});
    Step(1.0f / 30.0f);
    EXPECT_LT(S().placedDistance, 100.0f) << "in at once";
    EXPECT_GT(S().position.z, -100.0f) << "in front of the wall";
    EXPECT_GT(S().push.z, 0.0f) << "pushed off the wall's face";

    mLevel->SetMainWorld(nullptr);
    Run(0.2f, 1.0f / 30.0f);
    EXPECT_LT(S().placedDistance, 150.0f) << "out slowly";
    Run(0.5f, 1.0f / 30.0f);
    const float middle = S().placedDistance;
    EXPECT_GT(middle, 100.0f);
    Run(2.0f, 1.0f / 30.0f);
    EXPECT_GT(S().placedDistance, middle);
    EXPECT_NEAR(S().placedDistance, 250.0f, 0.5f);
}

TEST_F(FollowCamera, AnActorInTheWayShortensTheDistanceButTheFollowedOneDoesNot)
{
    // A world far off, so that the scene has a main world for the actors' volumes.
    AddWorld({WallZ(900, 800, 900, 0, 10, {90, 90, 90, 255})});
    auto giveBox = [&](W3dNode* node, const float box[6])
    {
        Atomic* atomic = CreateBoxGeometry(box);
        ASSERT_NE(atomic, nullptr);
        AtomicOwner::Get(atomic)->owner = node;
        node->GetMoveCollisionSet().SetRoot(W3dCollisionNode::CreateForAtomic(atomic, nullptr));
        mScene->GetRoot()->AttachChild(node);
        ::Frame::SyncDirtyList();
    };
    // The hero's own volumes (here a pack on his back, across the camera's segment) must not
    // count as obstacles.
    const float body[6] = {30, 200, -40, -30, 100, -60};
    giveBox(mHero->GetNode(), body);
    Run(2.0f, 1.0f / 30.0f);
    EXPECT_NEAR(S().placedDistance, 250.0f, 0.5f);

    scriptworldtest::FakeActor* blocker = Make("blocker", {0, 0, 0}, HeroEnemyFamily, kOutside);
    const float box[6] = {60, 400, -100, -60, 0, -130};
    giveBox(blocker->mNode, box);
    Step(1.0f / 30.0f);
    EXPECT_LT(S().placedDistance, 100.0f);
    EXPECT_GT(S().position.z, -100.0f);
    mScene->GetRoot()->RemoveChild(blocker->mNode);
    mScene->GetRoot()->RemoveChild(mHero->GetNode());
}

TEST_F(FollowCamera, NearTheHeroTheCameraRisesAndMayLookUpLess)
{
    Run(2.0f, 1.0f / 30.0f);
    EXPECT_EQ(S().rise, 0.0f);
    EXPECT_EQ(S().pitchLow, -60.0f);
    AddWorld({WallZ(-80, -500, 500, -200, 600, {200, 40, 40, 255})});
    mCamera->EditState().pitch = -59.0f;
    Step(1.0f / 30.0f);
    const float d = S().placedDistance;
    ASSERT_LT(d, 150.0f);
    const float w = 1.0f - d / 150.0f;
    EXPECT_NEAR(S().rise, w * std::fabs(180.0f + 20.0f - 130.0f), 1e-3f);
    EXPECT_NEAR(S().pitchLow, std::max(-60.0f, (1.0f - w) * -90.0f), 1e-3f);
    EXPECT_GE(S().pitch, S().pitchLow);
    // Preset 4's maximum height is still above its height; preset 2's zoom is not: 181 > 180.
    mLevel->SetMainWorld(nullptr);
    Run(3.0f, 1.0f / 30.0f);
    EXPECT_EQ(S().rise, 0.0f);
    EXPECT_EQ(S().pitchLow, -60.0f);
}

TEST_F(FollowCamera, TheStrafeOffsetStopsShortOfASideWall)
{
    const struct
    {
        bool wall;
        float low, high;
    } cases[] = {{false, 79.9f, 80.1f}, {true, 30.0f, 40.0f}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.wall);
        NewCamera();
        mLevel->SetMainWorld(nullptr);
        if (c.wall)
            AddWorld({WallX(40, -500, 500, -200, 600, {40, 40, 200, 255})});
        gInput.actions = {"CAMERA_STRAF_LEFT"};
        Run(3.0f, 1.0f / 30.0f);
        gInput.actions.clear();
        EXPECT_NEAR(S().strafe, 80.0f, 0.01f);
        // The pivot's right is +x while the camera looks along +z.
        EXPECT_GT(S().position.x, c.low);
        EXPECT_LT(S().position.x, c.high);
        if (c.wall)
            EXPECT_NEAR(S().position.x, 80.0f * 40.0f / 98.0f, 0.5f);
    }
    // Released, the offset eases back and snaps to 0.
    Run(3.0f, 1.0f / 30.0f);
    EXPECT_EQ(S().strafe, 0.0f);
}

TEST_F(FollowCamera, ALowCeilingOverACrouchingHeroLowersTheLookAndTheNearClip)
{
    AddWorld({Ceiling(100, 40, {60, 160, 60, 255})});
    Run(2.0f, 1.0f / 30.0f);
    const float nearClip = mCamera->GetCamera()->nearPlane;
    EXPECT_EQ(nearClip, 1.0f);
    gInput.moveState = 3;
    Run(2.0f, 1.0f / 30.0f);
    EXPECT_EQ(S().headBlocked, 1);
    EXPECT_EQ(mCamera->GetCamera()->nearPlane, 5.0f);
    EXPECT_NEAR(S().headDrop, 130.0f - 95.0f, 0.1f);
    EXPECT_NEAR(S().lookPoint.y, 95.0f, 0.5f);
    EXPECT_EQ(S().rise, 0.0f);
    EXPECT_EQ(S().pitchLow, -60.0f);

    gInput.moveState = 0;
    Run(2.0f, 1.0f / 30.0f);
    EXPECT_EQ(S().headBlocked, 0);
    EXPECT_EQ(mCamera->GetCamera()->nearPlane, nearClip);
    EXPECT_EQ(S().headDrop, 0.0f);
}

// ---- The stage's cameras --------------------------------------------------------------------------------

TEST_F(FollowCamera, TheStageMakesAnActiveCurrentFollowCameraOnTheHero)
{
    mCamera->Release();
    mCamera = nullptr;
    Place({50, 0, -70});
    mWorld->SetHero(mHero);
    InGameCamerasCreate();
    const int32_t id = TsCameraRegistry::GetCurrentCameraId();
    ASSERT_GE(id, 0);
    auto* camera = HbCastTo<CameraFollow>(TsCameraRegistry::GetCamera(id));
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(CameraFollowGetCurrent(), camera);
    EXPECT_EQ(camera->GetFollowed(), mHero);
    mClock.Step(1.0f / 60.0f);
    TsCameraRegistry::UpdateActiveCameras();
    EXPECT_NEAR(camera->GetState().lookPoint.x, 50.0f, 1e-3f);
    EXPECT_EQ(TsCameraRegistry::RemoveCamera(id), 0);
    EXPECT_EQ(CameraFollowGetCurrent(), nullptr);
    // The scenario camera the stage makes beside it goes too.
    for (int32_t other = 0; other < 16; ++other)
        if (HbCastTo<GeScenaricCamera>(TsCameraRegistry::GetCamera(other)))
            EXPECT_EQ(TsCameraRegistry::RemoveCamera(other), 0);
}

// ---- The drawn frame ----------------------------------------------------------------------------------

/// The colour the ray from the origin along the direction meets first among the quads beyond
/// the near distance, or none (0).
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
        // Depth along the view is what the near plane clips; the ray's at component is 1.
        if (su < 0.0f || su > 1.0f || sv < 0.0f || sv > 1.0f || t < nearest)
            continue;
        best = t;
        colour = 0xFF000000u | uint32_t(q.colour[0]) << 16 | uint32_t(q.colour[1]) << 8 | q.colour[2];
    }
    return colour;
}

TEST_F(FollowCamera, TheFrameShowsTheHeroInFrontOfTheWallBehindHim)
{
    constexpr std::array<uint8_t, 4> kWall = {200, 40, 40, 255};
    constexpr std::array<uint8_t, 4> kHero = {40, 200, 60, 255};
    constexpr uint32_t kClear = 0xFF203040u;
    // A wall some way behind him, and one so near that the camera comes close and rises.
    for (const float depth : {-100.0f, -45.0f})
    {
        SCOPED_TRACE(depth);
        NewCamera();
        // The hero: an upright figure just ahead of his place, where the camera's segments, which
        // run back from the look point, never meet it.
        const std::vector<Quad> quads = {
            WallZ(depth, -600, 600, -200, 800, kWall),
            Quad{{Vector{-600, -1, -600}, Vector{600, -1, -600}, Vector{600, -1, 600}, Vector{-600, -1, 600}},
                 {110, 110, 120, 255}},
            WallZ(20, -25, 25, 0, 170, kHero),
        };
        AddWorld(quads);
        const int32_t id = TsCameraRegistry::AddCamera(mCamera, mScene);
        ASSERT_GE(id, 0);
        TsCameraRegistry::ActivateCamera(id);
        TsCameraRegistry::SetCurrentCamera(id);
        mCamera->SetClearColor({0x20, 0x30, 0x40, 0xFF});
        for (int32_t i = 0; i < 60; ++i)
        {
            mClock.Step(1.0f / 30.0f);
            TsCameraRegistry::UpdateActiveCameras();
        }
        ASSERT_LT(S().placedDistance, -depth);
        ASSERT_GT(S().position.z, depth);

        WRenderer* renderer = WRenderer::Instance();
        for (int32_t frame = 0; frame < 2; ++frame)
        {
            ASSERT_EQ(renderer->BeginFrame(), 1);
            renderer->UpdateFrame();
            renderer->RenderScene();
            renderer->EndFrame();
        }
        int32_t width = 0, height = 0;
        const std::vector<uint32_t> pixels = ReadViewport(&width, &height);
        ASSERT_EQ(pixels.size(), size_t(width) * size_t(height));
        ASSERT_GT(width, 0);

        // Rays through the engine camera's view window at distance 1; the picture is mirrored in x
        // against the camera's right vector.
        const Matrix* view = ::Frame::GetWorldMatrix(mCamera->GetEngineFrame());
        const Camera* camera = mCamera->GetCamera();
        auto colourAt = [&](float px, float py) -> uint32_t
        {
            const float sx = -(px / float(width) * 2.0f - 1.0f) * camera->viewWindow.x;
            const float sy = -(py / float(height) * 2.0f - 1.0f) * camera->viewWindow.y;
            const Vector ray = {view->at.x + sx * view->right.x + sy * view->up.x,
                                view->at.y + sx * view->right.y + sy * view->up.y,
                                view->at.z + sx * view->right.z + sy * view->up.z};
            const uint32_t colour = FirstQuadColour(quads, view->pos, ray, camera->nearPlane);
            return colour ? colour : kClear;
        };
        const std::vector<uint32_t> expected =
            framecheck::EdgeTolerantReference(width, height, pixels, colourAt, {-1.0f, 0.0f, 1.0f});
        EXPECT_EQ(framecheck::CheckFrame("follow-camera-wall-" + std::to_string(int(-depth)), width, height, pixels,
                                         expected, 6),
                  "");
        const uint32_t wall = 0xFF000000u | 200u << 16 | 40u << 8 | 40u;
        const uint32_t hero = 0xFF000000u | 40u << 16 | 200u << 8 | 60u;
        EXPECT_EQ(std::count(pixels.begin(), pixels.end(), wall), 0) << "never the wall";
        EXPECT_GT(std::count(pixels.begin(), pixels.end(), hero), width * height / 50) << "the hero in the frame";
        EXPECT_EQ(TsCameraRegistry::RemoveCamera(id), 0);
    }
}

// ---- Random input --------------------------------------------------------------------------------------

TEST_F(FollowCamera, RandomInputLeavesEveryValueFinite)
{
    mLevel->SetMainWorld(mWallWorld);
    SetShootHelperOptions(1);
    std::mt19937 random(82);
    auto uniform = [&](float a, float b) { return std::uniform_real_distribution<float>(a, b)(random); };
    auto chance = [&](float p) { return uniform(0.0f, 1.0f) < p; };
    const float steps[] = {0.0f, 1.0f / 60.0f, 1.0f / 30.0f, 0.1f, 0.5f};
    auto check = [&](int32_t frame)
    {
        const CameraFollowState& s = S();
        const Vector vectors[] = {s.direction, s.lookPoint,  s.aimPoint, s.position,   s.pivotAt,
                                  s.pivotUp,   s.pivotRight, s.push,     s.turnTarget, s.storedFacing};
        for (const Vector& v : vectors)
            ASSERT_TRUE(Finite(v)) << "frame " << frame;
        const float values[] = {s.distance,
                                s.currentDistance,
                                s.placedDistance,
                                s.currentHeight,
                                s.pitch,
                                s.pitchTarget,
                                s.pitchLow,
                                s.yawSpeed,
                                s.strafe,
                                s.currentFocal,
                                s.headDrop,
                                s.rise,
                                s.freeFraction,
                                s.lookSpeedSeconds,
                                s.behindTimer,
                                s.pitchBackTimer,
                                mCamera->GetFocalLength()};
        for (float v : values)
            ASSERT_TRUE(std::isfinite(v)) << "frame " << frame;
        const Matrix* m = ::Frame::GetWorldMatrix(mCamera->GetEngineFrame());
        ASSERT_TRUE(Finite(m->at) && Finite(m->pos) && Finite(m->up) && Finite(m->right)) << "frame " << frame;
    };
    for (int32_t frame = 0; frame < 10000; ++frame)
    {
        gInput.pad = frame / 2500 % 2;
        gInput.stick[0] = chance(0.5f) ? uniform(-3.0f, 3.0f) : 0.0f;
        gInput.stick[1] = chance(0.5f) ? uniform(-3.0f, 3.0f) : 0.0f;
        gInput.actions.clear();
        for (const char* name : {"CAMERA_BEHIND", "CAMERA_STRAF_LEFT", "CAMERA_STRAF_RIGHT"})
            if (chance(0.05f))
                gInput.actions.insert(name);
        gInput.moveState = chance(0.1f) ? 3 : 0;
        gInput.hasTarget = chance(0.5f) ? 1 : 0;
        gInput.target = {uniform(-300, 300), uniform(-100, 300), uniform(-300, 300)};
        if (chance(0.01f))
            Place({uniform(-3000, 3000), uniform(-100, 100), uniform(-3000, 3000)});
        else if (mHero)
        {
            const Vector p = *mHero->GetNode()->GetWorldPosition();
            Place({p.x + uniform(-5, 5), p.y, p.z + uniform(-5, 5)});
        }
        if (chance(0.02f))
            mCamera->SetPreset(int32_t(uniform(0, 9)));
        if (chance(0.02f))
        {
            CameraFollowPlacement a;
            a.kind = CameraFollowPlacement::kAction;
            a.action = int32_t(uniform(0, 8));
            a.given = uint32_t(uniform(0, 32));
            a.direction[0] = uniform(-1, 1);
            a.direction[2] = uniform(-1, 1);
            a.pitch = uniform(-90, 90);
            a.distance = uniform(0, 500);
            a.height = uniform(0, 300);
            a.duration = uniform(0, 3);
            a.targetKind = int32_t(uniform(0, 3));
            a.targetActor = mHero;
            a.targetPoint[0] = uniform(-500, 500);
            mCamera->Action(a);
        }
        if (chance(0.01f))
        {
            CameraFollowPlacement z;
            z.kind = CameraFollowPlacement::kZoom;
            z.zoom = uniform(0, 100);
            mCamera->SetPlacement(&z);
        }
        if (chance(0.02f))
        {
            CameraFollowPlacement shake;
            shake.kind = CameraFollowPlacement::kShake;
            shake.shake = {int32_t(uniform(0, 3)), 1, uniform(-5, 5), uniform(0, 100), uniform(-1, 10), uniform(0, 1)};
            mCamera->SetPlacement(&shake);
        }
        if (frame == 6000 && mHero)
        {
            mHero->Release();
            mHero = nullptr;
        }
        Step(steps[random() % std::size(steps)]);
        check(frame);
        if (HasFatalFailure())
            return;
    }
}

} // namespace
