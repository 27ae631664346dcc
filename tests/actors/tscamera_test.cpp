// The game's camera node, its sample rings and the camera registry over a started renderer.
#include "frame.h"
#include "hbclock.h"
#include "scriptworld_fixture.h"
#include "tscamera.h"
#include "tscameraregistry.h"
#include "wrenderer.h"
#include "wscene.h"

#include <gtest/gtest.h>

namespace
{
using namespace scriptworldtest;

class Cameras : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        TsCameraRegistry::Reset();
    }
    void TearDown() override
    {
        TsCameraRegistry::Clear();
        ScriptWorldTest::TearDown();
    }

    static const Matrix& World(TsCamera* camera) { return *Frame::GetWorldMatrix(camera->GetEngineFrame()); }

    void Advance(double seconds)
    {
        HbGameClock::Instance()->mGameTime += int64_t(seconds * double(HbPerformanceFrequency()) + 0.5);
    }
};

void ExpectRows(const Matrix& m, Vector right, Vector up, Vector at, Vector pos)
{
    const std::pair<const Vector*, Vector> rows[] = {{&m.right, right}, {&m.up, up}, {&m.at, at}, {&m.pos, pos}};
    for (const auto& [row, expected] : rows)
    {
        EXPECT_NEAR(row->x, expected.x, 1e-5f);
        EXPECT_NEAR(row->y, expected.y, 1e-5f);
        EXPECT_NEAR(row->z, expected.z, 1e-5f);
    }
}

TEST_F(Cameras, PlacementBuildsTheFrame)
{
    TsCamera* camera = TsCamera::Create();
    ASSERT_NE(camera, nullptr);
    camera->AddRef();
    EXPECT_NEAR(camera->GetViewWindow().x, 0.5f, 1e-6f);

    const Vector p = {10, 20, 30};
    Vector direction = {0, 0, 5};
    TsCameraPlacement placement = {&p, &direction};
    camera->SetPlacement(&placement);
    camera->ApplyPlacement();
    ExpectRows(World(camera), {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, p);

    direction = {2, 0, 0};
    camera->SetPlacement(&placement);
    camera->ApplyPlacement();
    ExpectRows(World(camera), {0, 0, -1}, {0, 1, 0}, {1, 0, 0}, p);

    // A vertical direction takes x as right; a zero one changes nothing.
    direction = {0, -1, 0};
    camera->SetPlacement(&placement);
    camera->ApplyPlacement();
    ExpectRows(World(camera), {1, 0, 0}, {0, 0, 1}, {0, -1, 0}, p);
    direction = {0, 0, 0};
    const Vector q = {1, 1, 1};
    placement.position = &q;
    camera->SetPlacement(&placement);
    camera->ApplyPlacement();
    ExpectRows(World(camera), {1, 0, 0}, {0, 0, 1}, {0, -1, 0}, p);
    camera->Release();
}

TEST_F(Cameras, IdsCurrentCameraAndPlacementUpdates)
{
    TsCamera* cameras[5] = {};
    for (TsCamera*& camera : cameras)
        ASSERT_NE(camera = TsCamera::Create(), nullptr);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(TsCameraRegistry::AddCamera(cameras[i], mScene), i);
    EXPECT_EQ(cameras[0]->GetParent(), mScene->GetRoot());
    EXPECT_EQ(TsCameraRegistry::RemoveCamera(1), 0);
    EXPECT_EQ(TsCameraRegistry::RemoveCamera(0), 0);
    EXPECT_EQ(TsCameraRegistry::RemoveCamera(0), -1);
    EXPECT_EQ(TsCameraRegistry::AddCamera(cameras[3], mScene), 1);
    EXPECT_EQ(TsCameraRegistry::AddCamera(cameras[4], mScene), 0);
    EXPECT_EQ(TsCameraRegistry::GetCamera(2), cameras[2]);
    EXPECT_EQ(TsCameraRegistry::GetCamera(7), nullptr);

    // Current camera and the renderer's view.
    EXPECT_EQ(TsCameraRegistry::GetCurrentCameraId(), -1);
    EXPECT_EQ(TsCameraRegistry::GetCurrentCameraNode(), nullptr);
    TsCameraRegistry::SetCurrentCamera(2);
    EXPECT_EQ(TsCameraRegistry::GetCurrentCameraId(), 2);
    EXPECT_EQ(TsCameraRegistry::GetCurrentCameraNode(), cameras[2]->GetEngineFrame());
    EXPECT_EQ(WRenderer::Instance()->GetCamera().GetObject(), cameras[2]);
    TsCameraRegistry::SetCurrentCamera(9);
    EXPECT_EQ(TsCameraRegistry::GetCurrentCameraId(), 2) << "an unknown id keeps the current camera";

    // Only active cameras are placed.
    const Vector p = {5, 0, 0};
    const Vector forward = {0, 0, 1};
    TsCameraPlacement placement = {&p, &forward};
    TsCameraRegistry::SetCameraPlacement(2, &placement);
    TsCameraRegistry::SetCameraPlacement(1, &placement);
    TsCameraRegistry::ActivateCamera(1);
    EXPECT_EQ(TsCameraRegistry::GetActiveCount(), 1);
    TsCameraRegistry::UpdateActiveCameras();
    EXPECT_EQ(World(cameras[3]).pos.x, 5.0f);
    EXPECT_EQ(World(cameras[2]).pos.x, 0.0f);
    TsCameraRegistry::DeactivateCamera(1);
    TsCameraRegistry::DeactivateCamera(1);
    EXPECT_EQ(TsCameraRegistry::GetActiveCount(), 0);
    EXPECT_EQ(TsCameraRegistry::GetInactiveCount(), 3);

    // Removing the current camera leaves none, in the registry and in the renderer.
    cameras[2]->AddRef();
    EXPECT_EQ(TsCameraRegistry::RemoveCamera(2), 0);
    EXPECT_EQ(TsCameraRegistry::GetCurrentCameraId(), -1);
    EXPECT_EQ(TsCameraRegistry::GetCurrentCameraNode(), nullptr);
    EXPECT_EQ(WRenderer::Instance()->GetCamera().GetObject(), nullptr);
    EXPECT_EQ(cameras[2]->GetParent(), nullptr);
    cameras[2]->Release();

    // Reset releases the rest and starts the ids again.
    TsCameraRegistry::Reset();
    EXPECT_EQ(TsCameraRegistry::GetInactiveCount(), 0);
    TsCamera* fresh = TsCamera::Create();
    EXPECT_EQ(TsCameraRegistry::AddCamera(fresh, mScene), 0);
}

TEST_F(Cameras, SampleRingsAverageOverTime)
{
    TsSampleRing::Sample storage[8];
    TsSampleRing ring;
    ring.Init(storage, 8);
    ring.Fill(3.0f);
    for (float span : {1.0f / 60.0f, 0.05f, 8.0f / 60.0f})
        EXPECT_NEAR(ring.GetAverage(span), 3.0f, 1e-4f) << span;

    ring.Fill(0.0f);
    Advance(1.0 / 30.0);
    ring.Push(1.0f, 0);
    EXPECT_NEAR(storage[1].value, 2.0f, 1e-4f) << "a per-frame amount over two frames";
    EXPECT_NEAR(storage[1].duration, 1.0f / 30.0f, 1e-6f);
    Advance(1.0 / 30.0);
    ring.Push(1.0f, 1);
    EXPECT_NEAR(storage[2].value, 1.0f, 1e-6f);
    // Over 1/20 s: all of the newest (1.0 in 1/30 s) and half of the one before (2.0).
    EXPECT_NEAR(ring.GetAverage(0.05f), (1.0f + 1.0f) / 3.0f, 1e-4f);
    // A span past every sample averages over their total time.
    const float total = 2.0f / 30.0f + 6.0f / 60.0f;
    EXPECT_NEAR(ring.GetAverage(10.0f), (1.0f + 2.0f) / 60.0f / total, 1e-4f);

    TsSampleRing::Sample x[4], y[4], z[4];
    TsVectorSampleRing vector;
    vector.Init(x, y, z, 4);
    vector.Fill({1, 2, 3});
    Vector average;
    vector.GetAverage(&average, 4.0f / 60.0f);
    EXPECT_NEAR(average.z, 3.0f, 1e-4f);
    vector.Clear();
    vector.GetAverage(&average, 4.0f / 60.0f);
    EXPECT_EQ(average.y, 0.0f);
    EXPECT_EQ(vector.mRings[0].GetCount(), 4) << "Clear keeps the storage";
    vector.Reset();
    EXPECT_EQ(vector.mRings[0].GetCount(), 0);
    EXPECT_EQ(vector.mRings[0].GetAverage(1.0f), 0.0f);
}
} // namespace
