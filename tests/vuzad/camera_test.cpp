// Tests of cameras: defaults and settings, the z mapping, the view matrix, frustum corners,
// planes and box rebuilt from the frame for both projections, the sphere test, and the
// begin-update, end-update, clear and show calls to the device.
#include "camera.h"
#include "engine.h"
#include "error.h"
#include "frame.h"
#include "testdevice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{

constexpr float kTolerance = 2e-4f; // the side-plane normals come from the table inverse square root

int32_t TakeError()
{
    Error e;
    Error::Get(&e);
    return e.code;
}

void ExpectNear(const Vector& v, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

// ---- The device's side of the updates -----------------------------------------------------------

struct DeviceCall
{
    int32_t slot;
    void* out;
    void* in;
    int32_t number;
    Rgba colour;
    void* currentCamera; ///< the engine's current camera when the call came
};

std::vector<DeviceCall> sCalls;
bool sRefuse = false;

template <int32_t Slot> int32_t Record(void* out, void* in, int32_t number)
{
    DeviceCall call = {Slot, out, in, number, {}, Engine::Current()->currentCamera};
    if (Slot == kStdCameraClear)
        call.colour = *static_cast<Rgba*>(in);
    sCalls.push_back(call);
    return sRefuse ? 0 : 1;
}

int32_t CreateRaster(void*, void*, int32_t)
{
    return 1;
}

class Cameras : public EngineFixture
{
protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        sCalls.clear();
        sRefuse = false;
        TestDevice::slots = {
            {kStdCameraBeginUpdate, Record<kStdCameraBeginUpdate>},
            {kStdCameraEndUpdate, Record<kStdCameraEndUpdate>},
            {kStdCameraClear, Record<kStdCameraClear>},
            {kStdRasterShowRaster, Record<kStdRasterShowRaster>},
            {kStdRasterCreate, CreateRaster},
        };
        StartEngine();
        mCamera = Camera::Create();
        ASSERT_NE(mCamera, nullptr);
        mFrame = Frame::Create();
    }

    void TearDown() override
    {
        Camera::Destroy(mCamera);
        Frame::Destroy(mFrame);
        EngineFixture::TearDown();
    }

    // Hangs the camera on its frame and synchronises.
    void Sync()
    {
        if (!mCamera->object.frame)
            FrameObject::SetFrame(&mCamera->object, mFrame);
        Frame::SyncDirtyList();
    }

    Camera* mCamera = nullptr;
    Frame* mFrame = nullptr;
};

TEST_F(Cameras, ANewCameraHasTheDefaults)
{
    EXPECT_EQ(mCamera->object.type, Camera::kObjectType);
    EXPECT_EQ(mCamera->object.frame, nullptr);
    EXPECT_EQ(mCamera->projection, kCameraPerspective);
    EXPECT_EQ(mCamera->viewWindow.x, 1.0f);
    EXPECT_EQ(mCamera->viewWindow.y, 1.0f);
    EXPECT_EQ(mCamera->recipViewWindow.x, 1.0f);
    EXPECT_EQ(mCamera->viewOffset.x, 0.0f);
    EXPECT_EQ(mCamera->nearPlane, 0.05f);
    EXPECT_EQ(mCamera->farPlane, 10.0f);
    EXPECT_EQ(mCamera->fogPlane, 5.0f);
    EXPECT_EQ(mCamera->frameBuffer, nullptr);
    EXPECT_EQ(mCamera->zBuffer, nullptr);
    EXPECT_EQ(mCamera->beginUpdate, Camera::DefaultBeginUpdate);
    EXPECT_EQ(mCamera->endUpdate, Camera::DefaultEndUpdate);
}

// z scale x d + z shift lands just inside the device's near z, and likewise for far, with
// d = 1 / near and c = 1 / far for perspective, near and far for parallel.
TEST_F(Cameras, ZScaleAndShiftMapNearAndFarInsideTheDeviceRange)
{
    const struct
    {
        int32_t projection;
        float nearPlane, farPlane;
        float zScale, zShift;
    } cases[] = {
        {kCameraPerspective, 0.05f, 10.0f, 0.9998f / (0.1f - 20.0f), 1.00492f},
        {kCameraPerspective, 1.0f, 100.0f, 0.9998f / (0.01f - 1.0f), 1.0100f},
        {kCameraParallel, 0.05f, 10.0f, 0.9998f / (10.0f - 0.05f), -0.0049246f},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.projection);
        ASSERT_EQ(Camera::SetProjection(mCamera, c.projection), mCamera);
        Camera::SetNearClipPlane(mCamera, c.nearPlane);
        Camera::SetFarClipPlane(mCamera, c.farPlane);
        EXPECT_NEAR(mCamera->zScale, c.zScale, 1e-5f);
        EXPECT_NEAR(mCamera->zShift, c.zShift, 1e-4f);
        bool perspective = c.projection == kCameraPerspective;
        float d = perspective ? 1 / c.nearPlane : c.nearPlane;
        float f = perspective ? 1 / c.farPlane : c.farPlane;
        EXPECT_NEAR(mCamera->zScale * d + mCamera->zShift, 0.0001f, 1e-5f);
        EXPECT_NEAR(mCamera->zScale * f + mCamera->zShift, 0.9999f, 1e-5f);
    }
}

TEST_F(Cameras, AnInvalidProjectionChangesNothing)
{
    float zScale = mCamera->zScale;
    EXPECT_EQ(Camera::SetProjection(mCamera, 3), nullptr);
    EXPECT_EQ(TakeError(), kErrBadArgument);
    EXPECT_EQ(mCamera->projection, kCameraPerspective);
    EXPECT_EQ(mCamera->zScale, zScale);
    EXPECT_EQ(Camera::SetProjection(mCamera, 0), nullptr);
}

TEST_F(Cameras, SettersMarkTheFrameOnlyWhenThereIsOne)
{
    Vector2 window = {2.0f, 0.5f};
    EXPECT_EQ(Camera::SetViewWindow(mCamera, &window), mCamera);
    EXPECT_EQ(mCamera->recipViewWindow.x, 0.5f);
    EXPECT_EQ(mCamera->recipViewWindow.y, 2.0f);
    EXPECT_TRUE(ListLink::IsEmpty(&Engine::Current()->dirtyFrames)) << "no frame: nothing marked";

    Sync();
    EXPECT_EQ(Frame::IsDirty(mFrame), 0);
    Vector2 offset = {0.25f, 0.0f};
    Camera::SetViewOffset(mCamera, &offset);
    EXPECT_NE(Frame::IsDirty(mFrame), 0);
    Frame::SyncDirtyList();
    Camera::SetFarClipPlane(mCamera, 20.0f);
    EXPECT_NE(Frame::IsDirty(mFrame), 0);
}

// A perspective camera at the origin looking along +z with a 1 x 1 view window.
TEST_F(Cameras, PerspectiveFrustumFromTheFrame)
{
    Sync();
    const Vector* c = mCamera->frustumCorners;
    ExpectNear(c[0], 0.05f, 0.05f, 0.05f);
    ExpectNear(c[1], -0.05f, 0.05f, 0.05f);
    ExpectNear(c[2], -0.05f, -0.05f, 0.05f);
    ExpectNear(c[3], 0.05f, -0.05f, 0.05f);
    ExpectNear(c[4], 10, 10, 10);
    ExpectNear(c[6], -10, -10, 10);

    const FrustumPlane* p = mCamera->frustumPlanes;
    ExpectNear(p[kFrustumFar].normal, 0, 0, 1);
    EXPECT_NEAR(p[kFrustumFar].distance, 10.0f, 1e-5f);
    ExpectNear(p[kFrustumNear].normal, 0, 0, -1);
    EXPECT_NEAR(p[kFrustumNear].distance, -0.05f, 1e-6f);
    const float s = std::sqrt(0.5f);
    ExpectNear(p[2].normal, -s, 0, -s, kTolerance); // the -x side
    ExpectNear(p[3].normal, 0, s, -s, kTolerance);  // +y
    ExpectNear(p[4].normal, s, 0, -s, kTolerance);  // +x
    ExpectNear(p[5].normal, 0, -s, -s, kTolerance); // -y
    for (int i = 2; i < 6; ++i)
        EXPECT_NEAR(p[i].distance, 0.0f, 1e-6f);
    EXPECT_EQ(p[2].positiveX, 0);
    EXPECT_EQ(p[2].positiveZ, 0);
    EXPECT_EQ(p[4].positiveX, 1);
    EXPECT_EQ(p[4].positiveZ, 0);

    ExpectNear(mCamera->frustumBox.sup, 10, 10, 10);
    ExpectNear(mCamera->frustumBox.inf, -10, -10, 0.05f);
}

// The view matrix takes the view window's corners to the corners of the unit square:
// (+x, +y) to (0, 0) and (-x, -y) to (1, 1), after division by depth for perspective.
TEST_F(Cameras, TheViewMatrixMapsTheWindowOntoTheUnitSquare)
{
    Vector axis = {0, 1, 0};
    Frame::Rotate(mFrame, &axis, 30.0f, kCombineReplace);
    Vector position = {1, 2, 3};
    Frame::Translate(mFrame, &position, kCombinePostConcat);
    Vector2 window = {0.75f, 0.5f};
    Camera::SetViewWindow(mCamera, &window);
    const float expected[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int32_t projection : {kCameraPerspective, kCameraParallel})
    {
        SCOPED_TRACE(projection);
        Camera::SetProjection(mCamera, projection);
        Sync();
        for (int k = 0; k < 8; ++k)
        {
            Vector v;
            Vector::TransformPoint(&v, &mCamera->frustumCorners[k], &mCamera->viewMatrix);
            float depth = k < 4 ? mCamera->nearPlane : mCamera->farPlane;
            EXPECT_NEAR(v.z, depth, 1e-4f);
            float w = projection == kCameraPerspective ? v.z : 1.0f;
            EXPECT_NEAR(v.x / w, expected[k % 4][0], 1e-4f) << "corner " << k;
            EXPECT_NEAR(v.y / w, expected[k % 4][1], 1e-4f) << "corner " << k;
        }
    }
}

TEST_F(Cameras, ParallelFrustumWithAnOffset)
{
    Camera::SetProjection(mCamera, kCameraParallel);
    Vector2 window = {2.0f, 1.0f};
    Vector2 offset = {0.5f, 0.25f};
    Camera::SetViewWindow(mCamera, &window);
    Camera::SetViewOffset(mCamera, &offset);
    Camera::SetNearClipPlane(mCamera, 1.0f);
    Camera::SetFarClipPlane(mCamera, 5.0f);
    Sync();
    const Vector* c = mCamera->frustumCorners;
    // The offset is measured at distance 1 and shears the box along depth.
    ExpectNear(c[0], 2, 1, 1);
    ExpectNear(c[2], -2, -1, 1);
    ExpectNear(c[4], 2 - 0.5f * (1 - 5), 1 + 0.25f * (1 - 5), 5);
    const FrustumPlane* p = mCamera->frustumPlanes;
    for (int axis = 0; axis < 3; ++axis)
    {
        EXPECT_EQ((&p[4].normal.x)[axis], -(&p[2].normal.x)[axis]);
        EXPECT_EQ((&p[5].normal.x)[axis], -(&p[3].normal.x)[axis]);
    }
    // Every corner lies on (or inside) every plane.
    for (int k = 0; k < 8; ++k)
        for (int i = 0; i < 6; ++i)
        {
            const FrustumPlane& plane = p[i];
            const Vector& v = c[k];
            EXPECT_LE(plane.normal.x * v.x + plane.normal.y * v.y + plane.normal.z * v.z - plane.distance, 1e-4f);
        }
}

TEST_F(Cameras, SphereTests)
{
    Sync();
    const struct
    {
        const char* name;
        Sphere sphere;
        int32_t result;
    } cases[] = {
        {"well inside", {{0, 0, 5}, 1}, kFrustumInside},
        {"crossing the far plane", {{0, 0, 10}, 1}, kFrustumBoundary},
        {"radius 0 on the far plane", {{0, 0, 10}, 0}, kFrustumInside},
        {"radius 0 on the near plane", {{0, 0, 0.05f}, 0}, kFrustumInside},
        {"just beyond the far plane", {{0, 0, 11.5f}, 1}, kFrustumOutside},
        {"behind the camera", {{0, 0, -2}, 1}, kFrustumOutside},
        {"beyond a side while crossing the near plane", {{-3, 0, 0.05f}, 1}, kFrustumOutside},
        {"crossing a side", {{5, 0, 5}, 0.5f}, kFrustumBoundary},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Camera::FrustumTestSphere(mCamera, &c.sphere), c.result) << c.name;
}

// Whether clipping can be skipped: inside every plane, touching from inside included.
TEST(CameraWhollyInside, SpheresAndBoxesAgainstSixPlanes)
{
    Camera camera = {};
    // The cube [-1, 1] on every axis.
    const Vector normals[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (int i = 0; i < 6; ++i)
        camera.frustumPlanes[i] = {normals[i], 1.0f, uint8_t(normals[i].x >= 0), uint8_t(normals[i].y >= 0),
                                   uint8_t(normals[i].z >= 0)};
    const struct
    {
        Sphere sphere;
        int32_t inside;
    } spheres[] = {
        {{{0, 0, 0}, 1.0f}, 1},    {{{0, 0, 0}, 1.01f}, 0}, {{{0.5f, 0, 0}, 0.5f}, 1},
        {{{0.5f, 0, 0}, 0.6f}, 0}, {{{0, 0, -3}, 0.1f}, 0},
    };
    for (const auto& c : spheres)
        EXPECT_EQ(Camera::SphereWhollyInside(&camera, &c.sphere), c.inside)
            << c.sphere.centre.x << " " << c.sphere.radius;
    const struct
    {
        BBox box;
        int32_t inside;
    } boxes[] = {
        {{{1, 1, 1}, {-1, -1, -1}}, 1},
        {{{0.5f, 0.5f, 0.5f}, {0, 0, 0}}, 1},
        {{{1.5f, 0.5f, 0.5f}, {0, 0, 0}}, 0},
        {{{0.5f, 0.5f, 0.5f}, {0, -1.5f, 0}}, 0},
    };
    for (const auto& c : boxes)
        EXPECT_EQ(Camera::BoxWhollyInside(&camera, &c.box), c.inside) << c.box.sup.x << " " << c.box.inf.y;
}

TEST_F(Cameras, UpdatesMakeTheCameraCurrentAroundTheDeviceCalls)
{
    Vector position = {0, 0, -5};
    Frame::Translate(mFrame, &position, kCombineReplace);
    FrameObject::SetFrame(&mCamera->object, mFrame);

    EXPECT_EQ(Camera::BeginUpdate(mCamera), mCamera);
    ASSERT_EQ(sCalls.size(), 1u);
    EXPECT_EQ(sCalls[0].slot, kStdCameraBeginUpdate);
    EXPECT_EQ(sCalls[0].in, mCamera);
    EXPECT_EQ(sCalls[0].currentCamera, mCamera);
    EXPECT_EQ(Frame::IsDirty(mFrame), 0) << "dirty frames are synchronised first";
    ExpectNear(mCamera->frustumCorners[4], 10, 10, 5);

    EXPECT_EQ(Camera::EndUpdate(mCamera), mCamera);
    EXPECT_EQ(sCalls.back().slot, kStdCameraEndUpdate);
    EXPECT_EQ(Engine::Current()->currentCamera, nullptr);

    // A refused begin leaves the camera current; a refused end leaves it current too.
    sRefuse = true;
    EXPECT_EQ(Camera::BeginUpdate(mCamera), nullptr);
    EXPECT_EQ(Engine::Current()->currentCamera, mCamera);
    EXPECT_EQ(Camera::EndUpdate(mCamera), nullptr);
    EXPECT_EQ(Engine::Current()->currentCamera, mCamera);
}

TEST_F(Cameras, ClearAndShowReachTheDevice)
{
    const Rgba colour = {10, 20, 30, 255};
    EXPECT_EQ(Camera::Clear(mCamera, &colour, kCameraClearImage | kCameraClearZ), mCamera);
    ASSERT_EQ(sCalls.size(), 1u);
    EXPECT_EQ(sCalls[0].out, mCamera);
    EXPECT_EQ(sCalls[0].number, 3);
    EXPECT_EQ(sCalls[0].colour.green, 20);
    EXPECT_EQ(sCalls[0].colour.alpha, 255);

    EXPECT_EQ(Camera::ShowRaster(mCamera, nullptr, 0), nullptr) << "no frame-buffer raster";
    mCamera->frameBuffer = Raster::Create(64, 64, 0, kRasterTypeCamera);
    ASSERT_NE(mCamera->frameBuffer, nullptr);
    EXPECT_EQ(Camera::ShowRaster(mCamera, nullptr, 1), mCamera);
    EXPECT_EQ(sCalls.back().slot, kStdRasterShowRaster);
    EXPECT_EQ(sCalls.back().in, mCamera->frameBuffer);
    EXPECT_EQ(sCalls.back().number, 1);
    sRefuse = true;
    EXPECT_EQ(Camera::Clear(mCamera, &colour, kCameraClearImage), nullptr);
    EXPECT_EQ(Camera::ShowRaster(mCamera, nullptr, 0), nullptr);
    Raster::Destroy(mCamera->frameBuffer);
}

TEST_F(Cameras, DestroyLeavesTheFrameWithoutTheCamera)
{
    FrameObject::SetFrame(&mCamera->object, mFrame);
    EXPECT_FALSE(ListLink::IsEmpty(&mFrame->objects));
    Camera::Destroy(mCamera);
    EXPECT_TRUE(ListLink::IsEmpty(&mFrame->objects));
    mCamera = Camera::Create();
}

} // namespace
