// An effect with a group-1 and a group-2 class drawn by the renderer's frame into a 64 x 64
// window and compared with a reference computed here from the camera's view window.
#include "fx_fixture.h"
#include "renderer_fixture.h"

#include "framecheck.h"
#include "fxcontext.h"
#include "kemitter.h"
#include "kfxmanagerimp.h"
#include "kparticle.h"
#include "raster.h"
#include "w3dcamera.h"
#include "w3dframe.h"
#include "wrenderer.h"
#include "wscene.h"
#include "wviewport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace
{
using fxtest::ParseBody;

class EffectFrame : public renderertest::RendererTest
{
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        d3d9test::AdapterConfig adapter = renderertest::Adapter();
        adapter.modes.push_back({64, 64, 60, D3DFMT_X8R8G8B8});
        renderertest::WriteFile("vprefs.dat", renderertest::PrefsBytes(1, 64, 64, 1, 1.0f));
        ASSERT_NE(Started({adapter}), nullptr);
        KfxSetSharedSeed(1);
    }
    void TearDown() override
    {
        KfxManager::Install(nullptr);
        mManager.Shutdown();
        RendererTest::TearDown();
    }


    KfxManagerImp mManager;
};

TEST_F(EffectFrame, BothGroupsDrawnThroughTheRenderersFrame)
{
    WRenderer* renderer = WRenderer::Instance();
    renderer->BeginFrame();
    renderer->EndFrame();
    auto* scene = new WScene();
    renderer->SetScene(scene);
    W3dCamera* camera = W3dCamera::Create();
    ASSERT_NE(camera, nullptr);
    camera->AddRef();
    scene->GetRoot()->AttachChild(camera);
    renderer->SetCamera(camera);
    camera->SetClearColor({0x20, 0x30, 0x40, 0xFF});

    // One opaque particle per class, facing the camera: a red quad of size 4 at depth 5
    // before the characters and a blue one of size 1.6 at depth 4 after them.
    const char* bodies[2] = {"Group BEFORECHARACTER MaxPrt 1 PrtLife 100 SrcBlend vzBLENDONE DstBlend vzBLENDZERO "
                             "SECTION EMT { SIZE { X 4 Y 4 } COLOR { X 255 Y 0 Z 0 } }",
                             "Group AFTERCHARACTER MaxPrt 1 PrtLife 100 SrcBlend vzBLENDONE DstBlend vzBLENDZERO "
                             "SECTION EMT { SIZE { X 1.6 Y 1.6 } COLOR { X 0 Y 0 Z 255 } }"};
    mManager.SetDefinitionCount(2);
    for (int32_t i = 0; i < 2; ++i)
    {
        mManager.LoadDefinition(i, "FX");
        auto parsed = ParseBody(bodies[i]);
        ASSERT_EQ(parsed.result, 1) << parsed.report;
        auto* c = new KEmitterClass();
        ASSERT_TRUE(c->Build(*parsed.def));
        mManager.GetDefinition(i)->AddClass(c);
    }
    mManager.AssignRenderLists();
    KfxManager::Install(&mManager);
    FxContext context;
    context.position[2] = 5;
    ASSERT_EQ(KfxManager::PlayOneShot(0, &context), 1);
    context.position[2] = 4;
    ASSERT_EQ(KfxManager::PlayOneShot(1, &context), 1);

    for (int32_t frame = 0; frame < 2; ++frame)
    {
        ASSERT_EQ(renderer->BeginFrame(), 1);
        renderer->UpdateFrame();
        renderer->RenderScene();
        renderer->EndFrame();
    }
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> pixels = ReadViewport(&width, &height);
    ASSERT_EQ(width, 64);
    ASSERT_EQ(height, 64);

    // The view window is kAspect wide and 1 high at distance 1.
    auto colourAt = [&](float px, float py) -> uint32_t
    {
        const float u = std::fabs(1.0f - px / (width / 2.0f)) * W3dCamera::kAspect;
        const float v = std::fabs(1.0f - py / (height / 2.0f));
        if (u <= 0.8f / 4.0f && v <= 0.8f / 4.0f)
            return 0xFF0000FFu;
        if (u <= 2.0f / 5.0f && v <= 2.0f / 5.0f)
            return 0xFFFF0000u;
        return 0xFF203040u;
    };
    // Edges are the device's to rasterise.
    const std::vector<uint32_t> expected =
        framecheck::EdgeTolerantReference(width, height, pixels, colourAt, {-0.6f, 0.6f});
    EXPECT_EQ(framecheck::CheckFrame("fx_effect_groups", width, height, pixels, expected, 3), "");

    KfxManager::Install(nullptr);
    mManager.Shutdown();
    renderer->SetCamera(nullptr);
    renderer->ReleaseScene();
    camera->Release();
}

} // namespace
