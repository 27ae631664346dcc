// Standard particles drawn: an emitter's particles, emitted where and in the colour asked,
// go through its tank onto the camera's raster.
#include "prtstd_fixture.h"

#include "camera.h"
#include "framecheck.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace
{

constexpr int kSize = 64;
constexpr float kDepth = 2.0f;

struct Dot
{
    Vector position;
    Rgba colour;
};

// Quads of size 1 at depth 2 through a view window of 1: a pixel and a half is left to
// the rasteriser at every edge.
std::vector<uint32_t> Reference(const std::vector<Dot>& dots, const std::vector<uint32_t>& actual)
{
    std::vector<uint32_t> frame(size_t(kSize) * kSize, 0xFF203040u);
    const float edge = 1.5f * kDepth / (kSize / 2);
    for (int py = 0; py < kSize; ++py)
        for (int px = 0; px < kSize; ++px)
        {
            // The engine's view is mirrored in x.
            const float x = (1.0f - (float(px) + 0.5f) / (kSize / 2)) * kDepth;
            const float y = (1.0f - (float(py) + 0.5f) / (kSize / 2)) * kDepth;
            const size_t i = size_t(py) * kSize + size_t(px);
            for (const Dot& d : dots)
            {
                const float dx = std::fabs(x - d.position.x), dy = std::fabs(y - d.position.y);
                if ((std::fabs(dx - 0.5f) < edge && dy < 0.5f + edge) || (std::fabs(dy - 0.5f) < edge && dx < 0.5f + edge))
                    frame[i] = actual[i];
                else if (dx < 0.5f && dy < 0.5f)
                    frame[i] = 0xFF000000u | uint32_t(d.colour.red) << 16 | uint32_t(d.colour.green) << 8 | d.colour.blue;
            }
        }
    return frame;
}

class ParticleDraw : public plugintest::PrtStdTest
{
protected:
    void SetUp() override
    {
        PrtStdTest::SetUp();
        DestroyWindow(mWindow);
        mWindow = MakeWindow(kSize, kSize);
    }

    void TearDown() override
    {
        if (mCamera && Engine::Current() && Engine::Current()->state == kEngineStarted)
        {
            FrameObject::SetFrame(&mCamera->object, nullptr);
            Frame::Destroy(mCameraFrame);
            DestroyCamera(mCamera);
        }
        PrtStdTest::TearDown();
    }

    void Start()
    {
        StartPlugins();
        mCamera = Camera::Create();
        mCamera->frameBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeCamera);
        mCamera->zBuffer = Raster::Create(kSize, kSize, 0, kRasterTypeZBuffer);
        mCameraFrame = Frame::Create();
        FrameObject::SetFrame(&mCamera->object, mCameraFrame);
        const Vector2 window = {1.0f, 1.0f};
        Camera::SetViewWindow(mCamera, &window);
        Camera::SetNearClipPlane(mCamera, 0.1f);
        Camera::SetFarClipPlane(mCamera, 10.0f);
        Frame::SyncDirtyList();
    }

    Camera* mCamera = nullptr;
    Frame* mCameraFrame = nullptr;
};

TEST_F(ParticleDraw, EmittedParticlesAreDrawnThroughTheEmittersTank)
{
    Start();
    Atomic* a = ParticleAtomic(EmitterClass({1, 6, 2}), ParticleClass({0, 1}), 8);
    ASSERT_NE(a, nullptr);
    PrtStdEmitter* e = PrtStdAtomic::GetEmitters(a);
    PrtStdEmitterStd* s = PrtStdEmitter::GetStandard(e);
    s->maxParticles = 8;
    s->emitCount = 1;
    s->life = 100;
    PrtStdEmitter::GetTankBlock(e)->vertexAlpha = 0;
    auto* colour = static_cast<float*>(PrtStdEmitter::GetProperty(e, PrtStdEmitterProperty::kColourId));
    const std::vector<Dot> dots = {
        {{-1.0f, 0.8f, kDepth}, {230, 40, 40, 255}},
        {{0.9f, 0.6f, kDepth}, {40, 200, 60, 255}},
        {{0.0f, -1.0f, kDepth}, {50, 80, 240, 255}},
    };
    for (const Dot& d : dots)
    {
        s->emitPosition = d.position;
        const float c[4] = {float(d.colour.red), float(d.colour.green), float(d.colour.blue), 255.0f};
        std::memcpy(colour, c, sizeof c);
        ASSERT_TRUE(Step(a, 0.01f));
    }
    ASSERT_EQ(e->activeCount, 3);

    const Rgba background = {0x20, 0x30, 0x40, 0xFF};
    ASSERT_EQ(Camera::Clear(mCamera, &background, kCameraClearImage | kCameraClearZ), mCamera);
    ASSERT_EQ(Camera::BeginUpdate(mCamera), mCamera);
    Engine::Current()->device.setRenderState(kRenderStateCullMode, 1);
    EXPECT_EQ(a->renderCallback(a), a);
    ASSERT_EQ(Camera::EndUpdate(mCamera), mCamera);
    ASSERT_EQ(Camera::ShowRaster(mCamera, nullptr, 0), mCamera);
    const std::vector<uint32_t> frame = ReadOpaquePixels(mCamera->frameBuffer, kSize, kSize);
    ASSERT_EQ(frame.size(), size_t(kSize) * kSize);
    EXPECT_EQ(framecheck::CheckFrame("prtstd_emitted_particles", kSize, kSize, frame, Reference(dots, frame), 2), "");
}

} // namespace
