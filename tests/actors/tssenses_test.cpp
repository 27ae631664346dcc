// The senses over the script world's wall level: sight by table, angle, classes and line;
// facing from element frames or the node; the line of fire through shoot-through surfaces
// to walls and actors; the camera view with its margin; the contextual action; the hooks and
// the skills functions.
#include "tssenses.h"

#include "camera.h"
#include "collisiontreewriter.h"
#include "frame.h"
#include "hbinput_fixture.h"
#include "hbinputmanager.h"
#include "script_fixture.h"
#include "scripteventid.h"
#include "scriptworld_fixture.h"
#include "tsactorlayer.h"
#include "w3dcamera.h"
#include "w3dcollision.h"
#include "w3dframe.h"
#include "w3dlevel.h"
#include "watomicowner.h"
#include "world.h"
#include "worldwriter.h"
#include "wscene.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace
{
using scriptworldtest::FakeActor;
using scriptworldtest::ScriptWorldTest;

/// Walls across z at the given depths, x in [-1000, 1000], y in [-200, 400], facing -z, each
/// with its material colour.
World* MakeCrossWalls(const std::vector<std::pair<float, std::array<uint8_t, 4>>>& walls)
{
    WorldDescription d;
    WorldDescription::Leaf leaf;
    std::vector<std::array<uint16_t, 3>> triangles;
    for (size_t i = 0; i < walls.size(); ++i)
    {
        GeometryDescription::Material material;
        material.colour = walls[i].second;
        d.materials.push_back(material);
        d.listEntries.push_back(int32_t(i));
        const auto base = uint16_t(leaf.positions.size() / 3);
        const float z = walls[i].first;
        leaf.positions.insert(leaf.positions.end(),
                              {-1000, -200, z, 1000, -200, z, -1000, 400, z, 1000, 400, z});
        for (std::array<uint16_t, 3> t : {std::array<uint16_t, 3>{0, 2, 1}, std::array<uint16_t, 3>{1, 2, 3}})
        {
            triangles.push_back({uint16_t(base + t[0]), uint16_t(base + t[1]), uint16_t(base + t[2])});
            leaf.triangles.push_back(
                {uint16_t(base + t[0]), uint16_t(base + t[1]), uint16_t(base + t[2]), uint16_t(i)});
        }
    }
    leaf.extension = CollisionTreeWriter::WriteExtension(
        CollisionTreeWriter::WritePluginData(CollisionTreeWriter::Build(leaf.positions, triangles, 4)));
    d.leaves.push_back(leaf);
    d.box = {1000, 400, 1000, -1000, -200, -1000};
    return renderertest::ReadWorldChunk(WorldWriter::Write(d));
}

Vector AtAngle(float degrees, float distance)
{
    const float r = degrees * 3.14159265f / 180.0f;
    return {500.0f + distance * std::sin(r), 0.0f, distance * std::cos(r)};
}

class Senses : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        if (HasFatalFailure())
            return;
        // The fixture's wall stands in the plane x = 0; the observer looks along +z beside it.
        mObserver = Listed("observer", {500, 0, 0});
    }
    /// A lit, standing target.
    FakeActor* Target(Vector at, Placement placement = kInScene)
    {
        FakeActor* target = Listed("target", at, HeroEnemyFamily, placement);
        target->mVisibilityClass = 0;
        target->mPostureClass = 0;
        return target;
    }
    FakeActor* mObserver = nullptr;
};

TEST_F(Senses, SightFollowsTheTableByAngleAndClasses)
{
    struct Case
    {
        float angle;
        float distance;
        int32_t visibility;
        int32_t seen;
    } cases[] = {
        {0, 1999, 0, 1},  {0, 2001, 0, 0},   {25, 999, 0, 1}, {25, 1001, 0, 0}, {-25, 999, 0, 1},
        {0, 100, 4, 0},   {0, 1999, 5, 1},   {0, 100, 6, 0},  {0, 100, -1, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.angle << " deg, " << c.distance << ", class " << c.visibility);
        FakeActor* target = Target(AtAngle(c.angle, c.distance));
        target->mVisibilityClass = c.visibility;
        EXPECT_EQ(TsActorSeesActor(mObserver, target), c.seen);
        mWorld->RemoveActor(target);
    }
    FakeActor* near = Target({500, 0, 100});
    near->mPostureClass = 7;
    EXPECT_EQ(TsActorSeesActor(mObserver, near), 0) << "a posture class outside the table";
    near->mPostureClass = 0;
    mObserver->mSightMultiplier = 0.0f;
    EXPECT_EQ(TsActorSeesActor(mObserver, near), 0) << "multiplier 0 sees nothing";
}

TEST_F(Senses, UnlimitedRangeStillNeedsAFreeLineAndAPlacedTarget)
{
    const float unlimited[5] = {-1, -1, -1, -1, -1};
    for (int32_t band = 0; band < 4; ++band)
        mObserver->SetVisibilityDistances(band, 0, unlimited);
    FakeActor* far = Target({500, 0, 40000});
    EXPECT_EQ(TsActorSeesActor(mObserver, far), 1);
    FakeActor* walled = Target({-500, 0, 500});
    EXPECT_EQ(TsActorSightLineBlocked(mObserver, walled), 1);
    EXPECT_EQ(TsActorSeesActor(mObserver, walled), 0) << "the wall stands between";
    FakeActor* unplaced = Target({500, 0, 100}, kOutside);
    EXPECT_EQ(TsActorSeesActor(mObserver, unplaced), 0) << "a node in no scene has no distance";

    // The target's sight point is its first element frame: one across the wall hides it.
    FakeActor* beside = Target({500, 0, 500});
    EXPECT_EQ(TsActorSeesActor(mObserver, beside), 1);
    ::Frame* element = ::Frame::Create();
    const Vector across = {-1000, 0, 0};
    ::Frame::Translate(element, &across, 0);
    ::Frame::AddChild(beside->mNode->GetEngineFrame(), element);
    beside->mNode->GetShootCollisionSet().AddElementFrame(element);
    EXPECT_EQ(TsActorSeesActor(mObserver, beside), 0);
    beside->mNode->GetShootCollisionSet().Clear();
    ::Frame::RemoveChild(element);
    ::Frame::Destroy(element);
}

TEST_F(Senses, FacingComesFromTheFirstElementFrameElseTheNode)
{
    FakeActor* ahead = Target({500, 0, 1500});
    FakeActor* behind = Target({500, 0, -1500});
    ::Frame* node = mObserver->mNode->GetEngineFrame();
    const Vector up = {0, 1, 0};
    ::Frame::Rotate(node, &up, 180.0f, 1);
    EXPECT_EQ(TsActorSeesActor(mObserver, behind), 1) << "no element frames: the node's facing";
    EXPECT_EQ(TsActorSeesActor(mObserver, ahead), 0);

    ::Frame* element = ::Frame::Create();
    ::Frame::Rotate(element, &up, 180.0f, 0);
    ::Frame::AddChild(node, element);
    mObserver->mNode->GetShootCollisionSet().AddElementFrame(element);
    EXPECT_EQ(TsActorSeesActor(mObserver, ahead), 1) << "the element frame turns the view back";
    EXPECT_EQ(TsActorSeesActor(mObserver, behind), 0);
    mObserver->mNode->GetShootCollisionSet().Clear();
    ::Frame::RemoveChild(element);
    ::Frame::Destroy(element);
}

TEST_F(Senses, HiddenTargetsAreNeitherSeenNorShootable)
{
    FakeActor* target = Target({500, 0, 300});
    int32_t flags = -1;
    float fraction = -1.0f;
    ASSERT_EQ(TsActorSeesActor(mObserver, target), 1);
    target->mNode->Hide();
    EXPECT_EQ(TsActorSeesActor(mObserver, target), 0);
    EXPECT_EQ(TsCanShootActor(mObserver, target, &flags, &fraction), 0);
    EXPECT_EQ(flags, 0);
    EXPECT_EQ(fraction, 1.0f);
    // Across the wall the line is blocked, but a hidden target is not tested at all.
    FakeActor* walled = Target({-500, 0, 0});
    walled->mNode->Hide();
    EXPECT_EQ(TsCanShootActor(mObserver, walled, &flags, &fraction), 0);
}

TEST_F(Senses, TheLineOfFirePassesShootThroughSurfacesAndNamesWhatBlocksIt)
{
    World* walls = MakeCrossWalls({{300, {0, 0, 0x20, 255}}, {600, {0, 0, 0x41, 255}}});
    ASSERT_NE(walls, nullptr);
    mLevel->SetMainWorld(walls);
    FakeActor* beforeWall = Target({500, 0, 500});
    FakeActor* pastWall = Target({500, 0, 900});
    int32_t flags = -1;
    float fraction = -1.0f;
    EXPECT_EQ(TsCanShootActor(mObserver, beforeWall, &flags, &fraction), 0) << "the 0x20 surface lets it through";
    EXPECT_EQ(flags, 0);
    EXPECT_EQ(fraction, 1.0f);
    EXPECT_EQ(TsCanShootActor(mObserver, pastWall, &flags, &fraction), 1);
    EXPECT_EQ(flags, 0x41) << "the surface's collision flags";
    EXPECT_NEAR(fraction, 600.0f / 900.0f, 1e-3f);

    // An actor's collision box in the way: its family bits.
    FakeActor* blocker = Listed("blocker", {500, 0, 250}, 0x300, kOutside);
    const float box[6] = {520, 150, 270, 480, 50, 230};
    Atomic* atomic = CreateBoxGeometry(box);
    ASSERT_NE(atomic, nullptr);
    AtomicOwner::Get(atomic)->owner = blocker->mNode;
    blocker->mNode->GetMoveCollisionSet().SetRoot(W3dCollisionNode::CreateForAtomic(atomic, nullptr));
    mScene->GetRoot()->AttachChild(blocker->mNode);
    ::Frame::SyncDirtyList();
    EXPECT_EQ(TsCanShootActor(mObserver, beforeWall, &flags, &fraction), 1);
    EXPECT_EQ(flags, 0x300);
    EXPECT_NEAR(fraction, 230.0f / 500.0f, 1e-3f);
    EXPECT_EQ(TsCanShootActor(blocker, beforeWall, &flags, &fraction), 0) << "the shooter's own body is ignored";

    // An aim frame takes the place of the node raised by 100: one beyond the wall.
    mScene->GetRoot()->RemoveChild(blocker->mNode);
    ::Frame* aim = ::Frame::Create();
    const Vector beyond = {0, 100, 200};
    ::Frame::Translate(aim, &beyond, 0);
    ::Frame::AddChild(beforeWall->mNode->GetEngineFrame(), aim);
    beforeWall->mNode->GetShootCollisionSet().SetAimFrame(aim);
    EXPECT_EQ(TsCanShootActor(mObserver, beforeWall, &flags, &fraction), 1);
    EXPECT_EQ(flags, 0x41);
    EXPECT_NEAR(fraction, 600.0f / 700.0f, 1e-3f);
    beforeWall->mNode->GetShootCollisionSet().Clear();
    ::Frame::RemoveChild(aim);
    ::Frame::Destroy(aim);
    mLevel->SetMainWorld(mWallWorld);
    World::Destroy(walls);
}

TEST_F(Senses, TheSkillsFunctionsCheckTheirActors)
{
    TsActorsInstall(mWorld);
    mWorld->StartScripting();
    FakeActor* target = Target({500, 0, 500});
    PyDict_SetItemString(scripttest::MainDict(), "observer", mObserver->GetScriptObject());
    PyDict_SetItemString(scripttest::MainDict(), "target", target->GetScriptObject());
    ASSERT_EQ(Exec("import skills"), "");
    EXPECT_EQ(Eval("skills.DoesActorCanShootActor(observer, target)"), "(0, 1.0)");
    EXPECT_EQ(Eval("skills.DoesActorSeesActor(observer, target)"), "1");
    mObserver->mActive = 0;
    EXPECT_EQ(Eval("skills.DoesActorSeesActor(observer, target)"), "0") << "a disabled observer";
    mObserver->mActive = 1;
    mObserver->mNode->Hide();
    EXPECT_EQ(Eval("skills.DoesActorSeesActor(observer, target)"), "0") << "a hidden observer";
    EXPECT_EQ(Eval("skills.DoesActorSeesActor('nobody', target)"),
              "!TypeError: This object is not an actor (parameter 1)");
    EXPECT_EQ(Eval("skills.DoesActorCanShootActor(observer, 'nobody')"), "!TypeError: This object is not an actor");
    EXPECT_EQ(Eval("skills.DoesActorSeesActor(observer)"),
              "!TypeError: DoesActorSeesActor() takes exactly 2 arguments (1 given)");
}

TEST_F(Senses, TheSeeSensorRunsTheSightTestInTheFrame)
{
    TsActorsInstall(mWorld);
    ASSERT_NE(mWorld->Hooks().seesActor, nullptr);
    ASSERT_NE(mWorld->Hooks().contextAction, nullptr);
    mObserver->mSightMultiplier = 3.0f;
    Target({500, 0, 500});
    FakeActor* walled = Listed("walled", {-500, 0, 500});
    walled->mVisibilityClass = 0;
    Register(mObserver, kEventSee, "rec('see')", 0.0f);
    Frame(0.25f);
    EXPECT_EQ(Eval("log"), "[('see', ('target',))]") << "the walled actor is not seen";
}

TEST_F(Senses, TheCameraViewHasAMarginOfATenthOfARadian)
{
    W3dCamera* camera = W3dCamera::Create();
    ASSERT_NE(camera, nullptr);
    camera->SetViewWindow({0.75f, 0.5f}); // the engine's window: 1.0 x 0.5
    // Half-angles atan 1 + 0.1 = 0.885 across and atan 0.5 + 0.1 = 0.564 up and down.
    struct Case
    {
        float across;
        float up;
        float distance;
        int32_t inside;
    } cases[] = {
        {0, 0, 100, 1},     {0.86f, 0, 100, 1}, {-0.86f, 0, 100, 1}, {0.91f, 0, 100, 0}, {-0.91f, 0, 100, 0},
        {0, 0.54f, 100, 1}, {0, -0.54f, 100, 1}, {0, 0.59f, 100, 0}, {0, 0, -100, 0},    {0, 0, 0, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.across << ", " << c.up << ", " << c.distance);
        const Vector at = {c.distance * std::sin(c.across), c.distance * std::sin(c.up) * std::cos(c.across),
                           c.distance * std::cos(c.up) * std::cos(c.across)};
        FakeActor* actor = Listed("seen", at);
        EXPECT_EQ(TsIsActorInCameraFov(camera, actor), c.inside);
        mWorld->RemoveActor(actor);
    }
    // Turned to face -x, the camera sees what lies there.
    const Vector up = {0, 1, 0};
    ::Frame::Rotate(camera->GetEngineFrame(), &up, -90.0f, 0);
    EXPECT_EQ(TsIsActorInCameraFov(camera, Listed("left", {-100, 0, 0})), 1);
    EXPECT_EQ(TsIsActorInCameraFov(camera, Listed("ahead", {0, 0, 100})), 0);
    EXPECT_EQ(TsIsActorInCameraFov(camera, Listed("outside", {-100, 0, 0}, HeroEnemyFamily, kOutside)), 0);
    EXPECT_EQ(TsIsActorInCameraFov(nullptr, mObserver), 0);
    camera->Release();
}

/// Keys injected into the input manager, as the hero's input tests do.
class SensesInput : public Senses
{
protected:
    void SetUp() override
    {
        Senses::SetUp();
        if (HasFatalFailure())
            return;
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
        Senses::TearDown();
    }
    static HbInputManager& Manager() { return *HbInputManager::Instance(); }
    void InputFrame()
    {
        Win32TestAdvancePerformanceCounter(hbtest::kCounterFrequency / 60);
        HbRealClock::Instance()->Tick();
        Manager().Update();
    }
};

TEST_F(SensesInput, TheContextualActionNeedsTheKeyAndTheDistance)
{
    FakeActor* near = Target({500, 0, 100});
    FakeActor* far = Target({500, 0, 400});
    Win32TestKeyEvent('E', true);
    InputFrame();
    EXPECT_EQ(TsEventTestContextAction(mObserver, near, 200.0f * 200.0f), 0) << "not bound yet";
    hbtest::WriteBytes("senses_bindings.scr", "CreateControler 0 Keyboard\n"
                                              "SetCommandContext Game\n"
                                              "bind Keyboard CMD_CONTEXTUAL_ACTION VK_E DOWN\n");
    ASSERT_EQ(Manager().ExecuteBindingFile("senses_bindings.scr"), 1);
    InputFrame();
    EXPECT_EQ(TsEventTestContextAction(mObserver, near, 200.0f * 200.0f), 1) << "found again after the binding";
    EXPECT_EQ(TsEventTestContextAction(mObserver, far, 200.0f * 200.0f), 0);
    Win32TestKeyEvent('E', false);
    InputFrame();
    EXPECT_EQ(TsEventTestContextAction(mObserver, near, 200.0f * 200.0f), 0);
}

} // namespace
