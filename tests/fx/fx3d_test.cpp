// Debris: the rest-or-bounce rule of a piece, the pools reserved and allocated per model
// name, a box launch over a floor from its start to its removal, drawn from above and read
// back, and the module's arguments.
#include "fxlevel_fixture.h"

#include "camera.h"
#include "clumpwriter.h"
#include "framecheck.h"
#include "fx3d.h"
#include "fxbody.h"
#include "fxfade.h"
#include "hbfile_fixture.h"
#include "hbresource.h"
#include "raster.h"
#include "script_fixture.h"
#include "w3dcamera.h"
#include "wvectorutil.h"
#include "wviewport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace fxtest
{
namespace
{

/// A holder on a frame node of the test's.
class NodeHolder : public FxModelHolder
{
public:
    NodeHolder() : mFrameNode(W3dFrame::Create())
    {
        mFrameNode->AddRef();
        SetNode(mFrameNode);
        mRadius = 5.0f;
    }
    ~NodeHolder() override
    {
        mNode = nullptr;
        mFrameNode->Release();
    }
    void AddToWorld() override {}
    void RemoveFromWorld() override {}

private:
    W3dFrame* mFrameNode;
};

/// Frame nodes need the engine started.
using Fx3dBody = FxLevelTest;

TEST_F(Fx3dBody, ARestsWhenItsFallStartsBelowTheGroundElseBounces)
{
    HbGameClock* clock = HbGameClock::Instance();
    const int64_t savedStep = clock->mStep;
    Fx3dType t;
    t.restitution = 0.5f;
    Fx3dLaunch launch;
    launch.ground = 0.0f;
    struct Case
    {
        const char* name;
        float previousDy;
        int64_t step;
        int32_t state;
        float velocity[3];
    };
    // The frame was at (0, 10, 0); the new position is (3, 1, 4): D = (3, -9, 4), |D| = 10.3.
    const float length = std::sqrt(106.0f);
    const Case cases[] = {
        {"first descending frame", 0.0f, 100, FxBody::kResting, {0, 0, 0}},
        {"later in the fall",
         -1.0f,
         100,
         FxBody::kMoving,
         {3 / length * length * 0.5f / 100, 9 / length * length * 0.5f / 100, 4 / length * length * 0.5f / 100}},
        {"zero frame step", -1.0f, 0, FxBody::kMoving, {0, 0, 0}},
    };
    for (const Case& c : cases)
    {
        NodeHolder holder;
        FxBody body;
        body.holder = &holder;
        body.state = FxBody::kMoving;
        body.previousDy = c.previousDy;
        holder.GetFrame()->modelling.pos = {0, 10, 0};
        body.position[0] = 3, body.position[1] = 1, body.position[2] = 4;
        clock->mStep = c.step;
        body.Collide(5000, t, launch);
        EXPECT_EQ(body.state, c.state) << c.name;
        for (int32_t i = 0; i < 3; ++i)
            EXPECT_NEAR(body.velocity[i], c.velocity[i], 1e-5f) << c.name << " " << i;
        if (c.state == FxBody::kMoving)
        {
            EXPECT_FLOAT_EQ(body.position[1], 5.0f) << c.name << ": lifted so its bottom is on the ground";
            EXPECT_EQ(body.integrationStart, 5000) << c.name;
            EXPECT_FLOAT_EQ(body.start[1], 5.0f) << c.name;
        }
    }
    clock->mStep = savedStep;
}

/// A floor level, the module "fx3d" in __main__ and two model ids: "M_WO" (a quad of radius
/// about 7.8) and "MISSING_WO" (a file that holds no model).
class Debris : public FxLevelTest
{
protected:
    void SetUp() override
    {
        FxLevelTest::SetUp();
        ASSERT_EQ(ScriptInterpreter::Start(), 1);
        PyObject* module = PyModule_New("fx3d");
        Fx3dModuleFill(module, 0);
        PyDict_SetItemString(scripttest::MainDict(), "fx3d", module);
        Py_DECREF(module);
        Fx3dFillTypes();
        hbtest::WriteBytes(mDir / "m.dff", ModelBytes());
        hbtest::WriteBytes(mDir / "missing.dff", std::string("nothing"));
        HbResourceManager::Instance()->AddPath("M_WO", (mDir / "m.dff").c_str());
        HbResourceManager::Instance()->AddPath("MISSING_WO", (mDir / "missing.dff").c_str());
    }
    void TearDown() override
    {
        ForgetCamera();
        Fx3dFreeAll();
        HbResourceManager::Instance()->RemovePath("M_WO");
        HbResourceManager::Instance()->RemovePath("MISSING_WO");
        PyDict_DelItemString(scripttest::MainDict(), "fx3d");
        FxLevelTest::TearDown();
    }
    static std::string ModelBytes()
    {
        GeometryDescription g;
        g.numVertices = 4;
        GeometryDescription::MorphTarget target;
        target.positions = {-2.5f, -3, 0, 2.5f, -3, 0, -2.5f, 3, 0, 2.5f, 3, 0};
        target.sphere = {0, 0, 0, std::hypot(5.0f, 6.0f)};
        g.format = kGeometryPositions | kGeometryPrelit;
        g.prelit.assign(4, {230, 220, 40, 255});
        g.targets = {target};
        g.triangles = {{0, 2, 1, 0}, {1, 2, 3, 0}};
        g.materials = {GeometryDescription::Material{}};
        g.listEntries = {0};
        ClumpDescription c;
        c.frames = {ClumpDescription::Frame{}};
        c.geometries = {g};
        c.atomics = {ClumpDescription::Atomic{}};
        const std::vector<uint8_t> bytes = ClumpWriter::Write(c);
        return std::string(bytes.begin(), bytes.end());
    }
    /// One 60 Hz frame: the fades, then the debris.
    static void Frame()
    {
        Advance(HbPerformanceFrequency() / 60);
        FxFadeStep();
        Fx3dStep();
    }

    // ---- Drawn from above -------------------------------------------------------------------------

    static constexpr int32_t kWidth = 640;
    static constexpr int32_t kHeight = 480;
    /// Half the floor's height seen, in units; the width follows the window's shape.
    static constexpr float kView = 100.0f;
    static constexpr uint32_t kFloorColour = 0xFF5A5A5Au;
    static constexpr uint32_t kPieceColour = 0xFFE6DC28u;

    /// A camera node 400 above the launch, looking straight down with a parallel projection.
    void LookDown()
    {
        mCamera = W3dCamera::Create();
        ASSERT_NE(mCamera, nullptr);
        mCamera->AddRef();
        mScene->GetRoot()->AttachChild(mCamera);
        WRenderer::Instance()->SetCamera(mCamera);
        mCamera->SetClearColor({0x20, 0x30, 0x40, 0xFF});
        ::Frame* eye = mCamera->GetEngineFrame();
        const Vector down = {0.0f, -1.0f, 0.0f};
        FrameLookAlong(eye, &down);
        const Vector height = {0.0f, 400.0f, 0.0f};
        ::Frame::Translate(eye, &height, kCombinePostConcat);
        Camera* camera = mCamera->GetCamera();
        Camera::SetProjection(camera, kCameraParallel);
        const Vector2 window = {kView * kWidth / kHeight, kView};
        Camera::SetViewWindow(camera, &window);
        Camera::SetNearClipPlane(camera, 1.0f);
        Camera::SetFarClipPlane(camera, 1000.0f);
    }

    void ForgetCamera()
    {
        if (!mCamera)
            return;
        WRenderer::Instance()->SetCamera(nullptr);
        mCamera->Release();
        mCamera = nullptr;
    }

    /// The renderer's frame drawn and read back, top row first.
    static std::vector<uint32_t> DrawFrame()
    {
        WRenderer* renderer = WRenderer::Instance();
        EXPECT_EQ(renderer->BeginFrame(), 1);
        renderer->UpdateFrame();
        renderer->RenderScene();
        renderer->EndFrame();
        int32_t width = 0, height = 0;
        std::vector<uint32_t> pixels = ReadViewport(&width, &height);
        if (width != kWidth || height != kHeight)
            pixels.clear();
        return pixels;
    }

    /// The frame against the floor with each piece's quad (corners (+-2.5, +-3, 0) through its frame's
    /// world matrix) seen from above, in the prelit colours; pixels on an outline are the device's.
    void CheckFrame(const char* name, const std::vector<W3dNode*>& pieces)
    {
        const std::vector<uint32_t> pixels = DrawFrame();
        ASSERT_EQ(pixels.size(), size_t(kWidth) * kHeight);
        struct Flat
        {
            float x[4], z[4];
        };
        std::vector<Flat> quads;
        for (W3dNode* piece : pieces)
        {
            const Matrix* m = ::Frame::GetWorldMatrix(piece->GetEngineFrame());
            Flat q;
            const float corners[4][2] = {{-2.5f, -3.0f}, {2.5f, -3.0f}, {-2.5f, 3.0f}, {2.5f, 3.0f}};
            for (int k = 0; k < 4; ++k)
            {
                q.x[k] = m->pos.x + corners[k][0] * m->right.x + corners[k][1] * m->up.x;
                q.z[k] = m->pos.z + corners[k][0] * m->right.z + corners[k][1] * m->up.z;
            }
            quads.push_back(q);
        }
        auto inTriangle = [](const Flat& q, int a, int b, int c, float x, float z)
        {
            auto side = [&](int i, int j)
            { return (q.x[j] - q.x[i]) * (z - q.z[i]) - (q.z[j] - q.z[i]) * (x - q.x[i]); };
            const float s0 = side(a, b), s1 = side(b, c), s2 = side(c, a);
            return (s0 >= 0 && s1 >= 0 && s2 >= 0) || (s0 <= 0 && s1 <= 0 && s2 <= 0);
        };
        // The picture is mirrored in x against the camera's right vector; its top is along up.
        const Matrix* view = ::Frame::GetWorldMatrix(mCamera->GetEngineFrame());
        auto colourAt = [&](float px, float py) -> uint32_t
        {
            const float sx = -(px / kWidth * 2.0f - 1.0f) * kView * kWidth / kHeight;
            const float sy = -(py / kHeight * 2.0f - 1.0f) * kView;
            const float wx = view->pos.x + sx * view->right.x + sy * view->up.x;
            const float wz = view->pos.z + sx * view->right.z + sy * view->up.z;
            for (const Flat& q : quads)
                if (inTriangle(q, 0, 2, 1, wx, wz) || inTriangle(q, 1, 2, 3, wx, wz))
                    return kPieceColour;
            return kFloorColour;
        };
        const std::vector<uint32_t> expected =
            framecheck::EdgeTolerantReference(kWidth, kHeight, pixels, colourAt, {-1.5f, 0.0f, 1.5f});
        EXPECT_EQ(framecheck::CheckFrame(name, kWidth, kHeight, pixels, expected, 3), "");
        if (!quads.empty())
        {
            EXPECT_GT(std::count(pixels.begin(), pixels.end(), kPieceColour), 100) << name << ": pieces in sight";
        }
    }

    hbtest::TempDir mDir;
    W3dCamera* mCamera = nullptr;
};

TEST_F(Debris, ReservationsBecomePoolsOfAtMostFifty)
{
    ASSERT_EQ(scripttest::Exec("fx3d.Reserve(fx3d.FX3D_TYPE_BOX, ('M_WO', None))\n"
                               "fx3d.Reserve(fx3d.FX3D_TYPE_BARIL_BRIDGE, ('M_WO',))"),
              "");
    EXPECT_EQ(Fx3dReservedCount("M_WO"), 16);
    Fx3dReserve("M_WO", 64);
    Fx3dReserve("MISSING_WO", 3);
    Fx3dAllocateAll();
    EXPECT_EQ(Fx3dAllocatedCount("M_WO"), 50);
    EXPECT_EQ(Fx3dAllocatedCount("MISSING_WO"), 0) << "no model: no piece";
}

TEST_F(Debris, ModuleArgumentsAreCheckedBeforeAnythingLaunches)
{
    Fx3dReserve("M_WO", 6);
    Fx3dAllocateAll();
    const std::pair<const char*, const char*> cases[] = {
        {"fx3d.Play(4, ('M_WO',), None, 0.0, 0.0, 0.0, 0.0)", "unknown debris type 4"},
        {"fx3d.Play(-1, ('M_WO',), None, 0.0, 0.0, 0.0, 0.0)", "unknown debris type -1"},
        {"fx3d.Play(0, ('M_WO', 5), None, 0.0, 0.0, 0.0, 0.0)", "model name is not a string"},
        {"fx3d.Play(0, 'M_WO', None, 0.0, 0.0, 0.0, 0.0)", "model names are not a tuple"},
        {"fx3d.Reserve(7, ('M_WO',))", "unknown debris type 7"},
        {"fx3d.Reserve(0, (None, 1.5))", "model name is not a string"},
    };
    for (const auto& [code, text] : cases)
    {
        const std::string error = scripttest::Exec(code);
        EXPECT_NE(error.find("TypeError"), std::string::npos) << code << ": " << error;
        EXPECT_NE(error.find(text), std::string::npos) << code << ": " << error;
    }
    EXPECT_NE(scripttest::Exec("fx3d.Play(0, ('M_WO',))"), "") << "the parse error";
    EXPECT_EQ(Fx3dLaunchCount(), 0);
    EXPECT_EQ(Fx3dReservedCount("M_WO"), 6);

    ASSERT_EQ(scripttest::Exec("fx3d.Play(0, ('NEVER_WO', None), None, 0.0, 0.0, 0.0, 0.0)"), "");
    EXPECT_EQ(Fx3dLaunchCount(), 0) << "an unreserved name launches nothing";
    Fx3dReserve("MISSING_WO", 6);
    Fx3dAllocateAll();
    ASSERT_EQ(scripttest::Exec("fx3d.Play(0, ('M_WO', 'MISSING_WO'), None, 0.0, 0.0, 0.0, 0.0)"), "");
    ASSERT_EQ(Fx3dLaunchCount(), 2) << "one launch per name";
    EXPECT_EQ(Fx3dPieceCount(0), 6);
    EXPECT_EQ(Fx3dPieceCount(1), 0);
    Frame();
    EXPECT_EQ(Fx3dLaunchCount(), 1) << "a launch without pieces finishes at its first step";
    ASSERT_EQ(scripttest::Exec("fx3d.Play(0, ('M_WO',), None, 0.0, 0.0, 0.0, 0.0)"), "");
    EXPECT_EQ(Fx3dPieceCount(1), 0) << "the pool is exhausted";
}

TEST_F(Debris, BoxPiecesBounceRestFadeFromOneSecondAndGoAtTwo)
{
    ASSERT_EQ(scripttest::Exec("fx3d.Reserve(fx3d.FX3D_TYPE_BOX, ('M_WO',))"), "");
    Fx3dAllocateAll();
    ASSERT_EQ(Fx3dAllocatedCount("M_WO"), 6);
    ASSERT_EQ(scripttest::Exec("fx3d.Play(fx3d.FX3D_TYPE_BOX, ('M_WO',), None, 0.0, 0.0, 0.0, -500.0)"), "");
    ASSERT_EQ(Fx3dLaunchCount(), 1);
    ASSERT_EQ(Fx3dPieceCount(0), 6);
    EXPECT_EQ(Fx3dUsedCount("M_WO"), 6);
    std::vector<W3dNode*> nodes;
    for (int32_t i = 0; i < 6; ++i)
    {
        nodes.push_back(Fx3dPieceNode(0, i));
        EXPECT_EQ(nodes.back()->GetParent(), mScene->GetRoot()) << "hung under the scene's root";
    }
    LookDown();
    ASSERT_FALSE(HasFatalFailure());

    int32_t bounces = 0, rested = 0, frames = 0;
    std::vector<float> last(6), lowest(6, 1e9f);
    std::vector<bool> falling(6, false);
    for (int32_t i = 0; i < 6; ++i)
        last[i] = nodes[i]->GetEngineFrame()->modelling.pos.y;
    // Frames of 1/60 s (rounded down to whole ticks) until the fades start.
    for (; frames < 200 && FxFadeCount() == 0; ++frames)
    {
        Frame();
        for (int32_t i = 0; i < 6; ++i)
        {
            const float y = nodes[i]->GetEngineFrame()->modelling.pos.y;
            if (falling[i] && y > last[i])
                ++bounces;
            falling[i] = y < last[i];
            last[i] = y;
            lowest[i] = std::min(lowest[i], y);
        }
        if (frames == 20)
            CheckFrame("fx_debris_in_flight", nodes); // a third of a second in, before any fade
    }
    EXPECT_TRUE(frames == 60 || frames == 61) << frames << ": the fades start at 1 s";
    EXPECT_EQ(FxFadeCount(), 6);
    EXPECT_GE(bounces, 6) << "every piece bounces on the floor";
    for (int32_t i = 0; i < 6; ++i)
        EXPECT_GT(lowest[i], 0.0f) << "the floor found below the launch, not the given -500";
    for (; frames < 300 && Fx3dLaunchCount() > 0; ++frames)
    {
        int32_t resting = 0;
        for (int32_t i = 0; i < Fx3dPieceCount(0); ++i)
            resting += Fx3dPieceState(0, i) == FxBody::kResting;
        rested = std::max(rested, resting);
        Frame();
    }
    EXPECT_GE(rested, 1) << "pieces come to rest on the floor before they go (how many depends on the draws)";
    EXPECT_TRUE(frames >= 120 && frames <= 122) << frames << ": removed at 2 s, the launch deleted";
    EXPECT_EQ(Fx3dLaunchCount(), 0);
    EXPECT_EQ(Fx3dUsedCount("M_WO"), 0);
    for (W3dNode* node : nodes)
        EXPECT_EQ(node->GetParent(), nullptr);
    CheckFrame("fx_debris_gone", {}); // the floor alone
}

} // namespace
} // namespace fxtest
