// A mission played over a small world: a walker with a model of the writers crosses the wall
// world's floor into an event box whose command completes an objective; the whole frame (the
// world from above, the head-up display over it) shows the objective's message once against a
// reference painted here, the objective's flags change and the sector data's mission snapshot
// records it. Markers stand at their marks while their actions are to do.
#include "boardcontrol.h"
#include "boardcontroltheme_ingame.h"
#include "camera.h"
#include "clumpwriter.h"
#include "eventboxwriter.h"
#include "frame.h"
#include "framecheck.h"
#include "geometry.h"
#include "hbresource.h"
#include "missions_fixture.h"
#include "sectordatamanager.h"
#include "tseventboxes.h"
#include "tsmarksystem.h"
#include "uisupport.h"
#include "w2dlistgraphiccontainer.h"
#include "w2dtextgraphicitem.h"
#include "w3dcamera.h"
#include "w3dframe.h"
#include "wrenderer.h"
#include "wscene.h"
#include "wvectorutil.h"

namespace
{
using namespace missiontest;

constexpr uint32_t kClear = 0xFF2040A0u;
constexpr float kView = 240.0f; ///< half the picture's width in world units
/// The camera's centre stands this far off the walker's line, which keeps him clear of the
/// display's items.
constexpr float kSideways = 75.0f;
constexpr float kWalkerHalf = 12.0f;
constexpr uint32_t kWalkerColour = 0xFF30E060u;

/// The walker's model: a prelit box 24 units square about his feet.
std::vector<uint8_t> WalkerBytes()
{
    GeometryDescription g;
    GeometryDescription::MorphTarget target;
    const float h = kWalkerHalf, top = 20.0f;
    target.positions = {-h, top, -h, h, top, -h, -h, top, h, h, top, h, -h, 0, -h, h, 0, -h, -h, 0, h, h, 0, h};
    g.triangles = {{0, 2, 1, 0}, {1, 2, 3, 0}, {4, 5, 6, 0}, {5, 7, 6, 0}, {0, 1, 4, 0}, {1, 5, 4, 0},
                   {2, 6, 3, 0}, {3, 6, 7, 0}, {0, 4, 2, 0}, {2, 4, 6, 0}, {1, 3, 5, 0}, {3, 7, 5, 0}};
    g.numVertices = 8;
    target.sphere = {0, top / 2, 0, std::sqrt(2 * h * h + top * top / 4) + 0.01f};
    g.format = kGeometryPositions | kGeometryPrelit;
    g.prelit.assign(8, {uint8_t(kWalkerColour >> 16), uint8_t(kWalkerColour >> 8), uint8_t(kWalkerColour), 255});
    g.targets = {target};
    g.materials = {GeometryDescription::Material{}};
    g.listEntries = {0};
    ClumpDescription c;
    c.frames = {ClumpDescription::Frame{}};
    c.geometries = {g};
    c.atomics = {ClumpDescription::Atomic{}};
    return ClumpWriter::Write(c);
}

class MissionBox : public MissionTest
{
protected:
    void SetUp() override
    {
        MissionTest::SetUp();
        // The game's own services: the display, the marks and the markers.
        MissionManager::SetServices(mSaved);
        TsEventBoxesInstall(mWorld);
        mResources.Text("TX_DOOR_TXT", "I");
        mResources.Text("TX_DONE_TXT", "II");
        mResources.InkFont(kW2dStandardFont);
        BoardControlTheme_InGame::CreateTheme(&mBar);
        BoardControlTheme_InGame::SetLevelCheck([]() -> int32_t { return 1; });
        mTheme = BoardControlTheme_InGame::Find();
        ASSERT_NE(mTheme, nullptr);
        ASSERT_EQ(mTheme->Build(), 1);
    }
    void TearDown() override
    {
        if (mCamera)
        {
            WRenderer::Instance()->SetCamera(nullptr);
            WRenderer::Instance()->ReleaseScene();
            mScene->GetRoot()->RemoveChild(mCamera);
            mCamera->Release();
        }
        mWorld->SetHero(nullptr);
        mBar.DestroyAll();
        BoardControlTheme_InGame::SetGameBoardControl(nullptr);
        BoardControlTheme_InGame::SetLevelCheck(nullptr);
        SectorDataManager::Instance()->ClearAll();
        MissionTest::TearDown();
    }

    /// The messages the display holds now.
    std::vector<std::string> Messages() const
    {
        std::vector<std::string> texts;
        W2dTimedListGraphicContainer* list = mTheme->GetMessageList();
        for (int32_t i = 0; list && i < list->GetChildCount(); ++i)
            texts.push_back(HbCastTo<W2dTextGraphicItem>(list->GetChild(i))->GetText());
        return texts;
    }

    /// One frame of the game as the player sees it: the scene from a parallel camera looking
    /// straight down on the point (kView either side across), then the display over it; read
    /// back. view: the camera's world matrix.
    std::vector<uint32_t> DrawFrame(Vector centre, Matrix* view, int32_t* width, int32_t* height)
    {
        WRenderer* renderer = WRenderer::Instance();
        if (!mCamera)
        {
            // The scene stays the renderer's until the end: what enters it meanwhile is drawn.
            renderer->SetScene(mScene);
            mCamera = W3dCamera::Create();
            EXPECT_NE(mCamera, nullptr);
            if (!mCamera)
                return {};
            mCamera->AddRef();
            mScene->GetRoot()->AttachChild(mCamera);
            renderer->SetCamera(mCamera);
            mCamera->SetClearColor({uint8_t(kClear >> 16), uint8_t(kClear >> 8), uint8_t(kClear), 0xFF});
        }
        ::Frame* eye = mCamera->GetEngineFrame();
        ::Frame::SetIdentity(eye);
        const Vector down = {0.0f, -1.0f, 0.0f};
        FrameLookAlong(eye, &down);
        const Vector above = {centre.x, 2000.0f, centre.z};
        ::Frame::Translate(eye, &above, kCombinePostConcat);
        Camera* engine = mCamera->GetCamera();
        Camera::SetProjection(engine, kCameraParallel);
        ReadViewport(width, height);
        const Vector2 window = {kView, kView * float(*height) / float(std::max(*width, 1))};
        Camera::SetViewWindow(engine, &window);
        Camera::SetNearClipPlane(engine, 1.0f);
        Camera::SetFarClipPlane(engine, 5000.0f);
        for (int32_t frame = 0; frame < 2; ++frame)
        {
            EXPECT_EQ(renderer->BeginFrame(), 1);
            renderer->UpdateFrame();
            renderer->RenderScene();
            renderer->EndFrame();
        }
        ::Frame::SyncDirtyList();
        *view = *::Frame::GetWorldMatrix(eye);
        return ReadViewport(width, height);
    }

    uitest::Resources mResources;
    BoardControl mBar;
    BoardControlTheme_InGame* mTheme = nullptr;
    W3dCamera* mCamera = nullptr;
};

TEST_F(MissionBox, AWalkerCrossesTheWorldIntoABoxThatCompletesAnObjectiveAndTheFrameShowsItsMessageOnce)
{
    // One objective of one action, whose own message names no text: its completion text is
    // the one message the player gets.
    ASSERT_EQ(RunMission("BeginCreateMission 1 TX_TITLE\n"
                         "CreateObjective 0 W1L1S01 1 1 TX_DESC TX_DONE_TXT\n"
                         "AddObjectiveAction 0 none none none INVALID_RESOURCE_ID\n"
                         "AddObjective\nEndCreateMission\n"),
              1);
    Missions().OnEnterSector("W1L1S01");
    EBoxEntry box;
    box.centre[0] = 100;
    box.size[0] = box.size[1] = box.size[2] = 10;
    box.mode = 2;
    box.conditions = {EBoxKinds::ObjectiveDone(0, 0)};
    box.actions = {EBoxKinds::Command(0, "SetObjective 0 0 0 0")};
    const std::vector<uint8_t> bytes = EventBoxWriter::Bytes({box});
    Declare("MISSION_YB", std::string(bytes.begin(), bytes.end()), ".yb");
    const std::vector<uint8_t> model = WalkerBytes();
    Declare("MISSION_WALKER_WO", std::string(model.begin(), model.end()), ".dff");

    // The walker carries its model over the wall world's floor.
    scriptworldtest::FakeActor* walker = Listed("walker", {0, 0, 0});
    HbRoot* body = HbResourceManager::Instance()->AcquireResource("MISSION_WALKER_WO");
    ASSERT_NE(HbCastTo<W3dNode>(body), nullptr);
    walker->GetNode()->AttachChild(HbCastTo<W3dNode>(body));
    body->Release();
    mWorld->SetHero(walker);
    ASSERT_EQ(Eval("LoadEventBoxes('MISSION_YB')"), "1");
    ASSERT_EQ(mTheme->Show(), 1);
    Frame(0.1f);
    const Vector centre = {50, 0, -kSideways};
    Matrix view;
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> before = DrawFrame(centre, &view, &width, &height);
    ASSERT_EQ(before.size(), size_t(width) * size_t(height));

    // Ten steps east; the box takes him on the last.
    Objective* objective = Missions().GetObjective(0);
    for (int32_t step = 1; step <= 10; ++step)
    {
        const Vector at = {10.0f * float(step), 0, 0};
        walker->GetNode()->SetWorldPosition(&at);
        Frame(0.1f);
        if (step < 10)
        {
            EXPECT_TRUE(Messages().empty()) << step;
            EXPECT_EQ(objective->GetAction(0)->mDone, 0) << step;
        }
    }
    EXPECT_EQ(objective->GetAction(0)->mDone, 1);
    EXPECT_EQ(objective->GetAction(0)->mActive, 0);
    EXPECT_EQ(objective->IsDone(), 1);
    EXPECT_EQ(Missions().IsObjectiveDone(0), 1);
    EXPECT_EQ(Messages(), std::vector<std::string>{"II"});
    const std::vector<uint32_t> after = DrawFrame(centre, &view, &width, &height);
    ASSERT_EQ(after.size(), before.size());

    // The world as the camera sees it: the floor (unlit) and the walker's square where he
    // stands. The display's own items are what the first frame showed over the world; the
    // message is painted here over the second.
    auto world = [&](float walkerX)
    {
        return [&, walkerX](float px, float py) -> uint32_t
        {
            const float sx = -(px / float(width) * 2.0f - 1.0f) * kView;
            const float sy = -(py / float(height) * 2.0f - 1.0f) * kView * float(height) / float(width);
            const float wx = view.pos.x + sx * view.right.x + sy * view.up.x;
            const float wz = view.pos.z + sx * view.right.z + sy * view.up.z;
            if (std::fabs(wx - walkerX) <= kWalkerHalf && std::fabs(wz) <= kWalkerHalf)
                return kWalkerColour;
            return 0xFF000000u;
        };
    };
    const std::vector<uint32_t> worldBefore =
        framecheck::EdgeTolerantReference(width, height, before, world(0.0f), {-0.6f, 0.6f});
    uitest::Reference expected(width, height, kClear);
    expected.pixels = framecheck::EdgeTolerantReference(width, height, after, world(100.0f), {-0.6f, 0.6f});
    int32_t display = 0, walkerPixels = 0;
    for (size_t i = 0; i < before.size(); ++i)
    {
        walkerPixels += worldBefore[i] == kWalkerColour ? 1 : 0;
        if (before[i] != worldBefore[i])
        {
            expected.pixels[i] = before[i];
            ++display;
        }
    }
    EXPECT_GT(walkerPixels, 200) << "the walker stands in the first frame";
    int32_t beforeInFrame = 0;
    for (int32_t py = int32_t(0.7f * float(height)) - 2; py < int32_t(0.75f * float(height)) + 2; ++py)
        for (int32_t px = 0; px < width; ++px)
            beforeInFrame +=
                before[size_t(py) * size_t(width) + size_t(px)] != worldBefore[size_t(py) * size_t(width) + size_t(px)];
    EXPECT_EQ(beforeInFrame, 0) << "nothing of the display in the message's row before the box";
    EXPECT_GT(display, 1000) << "the display's items stand over the world";
    // The message's dark frame over the floor, the two letters of ink centred in its row.
    const float frame[4] = {0.1f, 0.7f, 0.8f, 0.05f};
    const float ink[4] = {0.16f + (0.68f - 0.08f * uitest::kInkFontWidth) / 2, 0.74f, 0.08f * uitest::kInkFontWidth,
                          0.04f};
    expected.Fill(frame[0], frame[1], frame[2], frame[3], 0x000000u, 150);
    expected.Fill(ink[0], ink[1], ink[2], ink[3], 0xFCC479u);
    expected.IgnoreEdges(frame[0], frame[1], frame[2], frame[3], after);
    expected.IgnoreEdges(ink[0], ink[1], ink[2], ink[3], after);
    EXPECT_EQ(framecheck::CheckFrame("mission_box_walk_message", width, height, after, expected.pixels, 4), "");

    // Out and in again: the box runs, the action is done already and no message comes again.
    mTheme->ClearMessages();
    const Vector outside = {0, 0, 0}, inside = {100, 0, 0};
    walker->GetNode()->SetWorldPosition(&outside);
    Frame(0.1f);
    walker->GetNode()->SetWorldPosition(&inside);
    Frame(0.1f);
    EXPECT_TRUE(Messages().empty());

    // The sector data's snapshot holds the done action.
    ASSERT_EQ(SectorDataManager::Instance()->SaveObjectiveActions(), 0);
    const auto& states = SectorDataManager::Instance()->GetObjectiveStates();
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0].done, 1);

    // The walker goes: the next frame runs without it.
    mWorld->SetHero(nullptr);
    mWorld->RemoveActor(walker);
    Frame(0.1f);
}
TEST_F(MissionBox, AMarkerStandsAtItsMarkInTheLevelWhileItsActionIsToDo)
{
    ScenarioMarkEntry gate;
    gate.identifier = "MK_GATE_ATTACKMARK";
    gate.name = "MK_GATE";
    gate.SetPosition(30, 0, 40);
    const std::vector<uint8_t> marks = ScenarioDbWriter::Bytes({{1, {gate}}});
    Declare("MISSION_SCE", std::string(marks.begin(), marks.end()), ".sce");
    Declare(gate.identifier, std::string(marks.begin(), marks.end()), ".sce");
    TsMarkSystemInstall(mWorld);
    ASSERT_EQ(mWorld->LoadScenaricData("MISSION_SCE"), 1);
    FxModule("_fx.SIGNAL = 3");
    ASSERT_EQ(RunMission("BeginCreateMission 1 T\nSetSignaleticForAllObjectiveActions SIGNAL\n"
                         "CreateObjective 0 W1L1S01 1 1 D C\nAddObjectiveAction 0 MK_GATE none none TX_DOOR_TXT\n"
                         "AddObjectiveAction 1 MK_GATE none none M\nAddObjective\n"),
              1);
    ObjectiveAction* action = Missions().GetObjective(0)->GetAction(0);
    ASSERT_NE(action->GetMarker(), nullptr);
    EXPECT_EQ(action->mPoint[2], 40.0f);

    auto children = [this]()
    {
        int32_t count = 0;
        mScene->GetRoot()->ForAllChildren([](W3dNode*, void* n) -> int32_t { return ++*static_cast<int32_t*>(n), 1; },
                                          &count);
        return count;
    };
    const int32_t before = children();
    Missions().OnEnterSector("W1L1S01");
    EXPECT_EQ(children(), before + 2);
    EXPECT_EQ(action->mMarkerShown, 1);
    float at[3] = {};
    action->GetPosition(at);
    EXPECT_NEAR(at[0], 30.0f, 1e-4f);
    EXPECT_NEAR(at[2], 40.0f, 1e-4f);
    ASSERT_EQ(Missions().CompleteAction(0, 0), 0);
    EXPECT_EQ(children(), before + 1) << "a done action's marker leaves the level";

    // Without a level the markers stay as they are; the objectives going take them away.
    Frame(0.1f);
    mScene->SetLevel(nullptr);
    Missions().OnEnterSector("W1L1S01");
    EXPECT_EQ(Missions().GetObjective(0)->GetAction(1)->mMarkerShown, 1);
    Frame(0.1f);
    mScene->SetLevel(mLevel);
    Missions().Reset();
    EXPECT_EQ(children(), before);
    Frame(0.1f);
}
} // namespace
