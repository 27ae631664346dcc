// The scene's update list (compaction, the 500 cap, changes during the walk, nodes that leave or
// die while listed), its level (bind and unbind, the same level again), and camera nodes (view
// window, fog states, the colour they clear to, joining the level's world).
#include "camera.h"
#include "engine.h"
#include "framecheck.h"
#include "raster.h"
#include "rasterreadback.h"
#include "scene_fixture.h"
#include "w3dcamera.h"
#include "w3dlevel.h"
#include "world.h"
#include "wrenderer.h"
#include "wrenderitem.h"
#include "wrenderlist.h"
#include "wscene.h"
#include "wviewport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace renderertest
{
namespace
{

/// A node that counts its updates and may act during one.
class UpdatingNode : public W3dFrame
{
public:
    static UpdatingNode* Make()
    {
        auto* node = new UpdatingNode();
        node->AddRef();
        return node;
    }
    void Update() override
    {
        ++updates;
        if (onUpdate)
            onUpdate();
    }
    int32_t updates = 0;
    std::function<void()> onUpdate;
};

class Scenes : public SceneTest
{
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        mScene = new WScene();
        mScene->AddRef();
    }
    void TearDown() override
    {
        if (mScene)
            mScene->Release();
        for (UpdatingNode* node : mNodes)
            node->Release();
        SceneTest::TearDown();
    }
    UpdatingNode* Updating()
    {
        mNodes.push_back(UpdatingNode::Make());
        return mNodes.back();
    }

    WScene* mScene = nullptr;
    std::vector<UpdatingNode*> mNodes;
};

TEST_F(Scenes, TheUpdateListHolds500AndReclaimsEmptiedSlotsOnTheNextWalk)
{
    std::vector<UpdatingNode*> nodes;
    for (uint32_t i = 0; i < WScene::kMaxUpdatables; ++i)
    {
        nodes.push_back(Updating());
        ASSERT_EQ(mScene->AddUpdatable(nodes.back()), 1);
    }
    UpdatingNode* extra = Updating();
    EXPECT_EQ(mScene->AddUpdatable(extra), 0) << "the 501st";
    EXPECT_EQ(mScene->RemoveUpdatable(nodes[10]), 1);
    EXPECT_EQ(mScene->RemoveUpdatable(nodes[10]), 0) << "no longer listed";
    EXPECT_EQ(mScene->GetUpdateCount(), WScene::kMaxUpdatables) << "the slot is only emptied";
    EXPECT_EQ(mScene->AddUpdatable(extra), 0);

    mScene->Update();
    EXPECT_EQ(mScene->GetUpdateCount(), WScene::kMaxUpdatables - 1);
    EXPECT_EQ(mScene->GetUpdatable(10), nodes.back()) << "the last used slot moved into the empty one";
    for (uint32_t i = 0; i < WScene::kMaxUpdatables; ++i)
        EXPECT_EQ(nodes[i]->updates, i == 10 ? 0 : 1) << i;
    EXPECT_EQ(mScene->AddUpdatable(extra), 1);
}

TEST_F(Scenes, TheWalkSeesRemovalsAndAdditionsMadeDuringIt)
{
    UpdatingNode* a = Updating();
    UpdatingNode* b = Updating();
    UpdatingNode* c = Updating();
    UpdatingNode* late = Updating();
    a->onUpdate = [&]
    {
        mScene->RemoveUpdatable(b);
        mScene->AddUpdatable(late);
        a->onUpdate = nullptr;
    };
    mScene->AddUpdatable(a);
    mScene->AddUpdatable(b);
    mScene->AddUpdatable(c);
    mScene->AddUpdatable(a); // twice: two updates
    mScene->Update();
    EXPECT_EQ(a->updates, 2);
    EXPECT_EQ(b->updates, 0) << "removed before its turn";
    EXPECT_EQ(c->updates, 1);
    EXPECT_EQ(late->updates, 1) << "added during the walk, updated in it";
    EXPECT_EQ(mScene->GetUpdateCount(), 4u);
}

TEST_F(Scenes, ANodeLeavesTheUpdateListWhenItLeavesTheSceneOrDies)
{
    // The scene holds no reference on listed nodes: without this a dead node is updated.
    W3dLevel* level = W3dLevel::Create();
    mScene->SetLevel(level);
    UpdatingNode* leaving = Updating();
    mScene->GetRoot()->AttachChild(leaving);
    mScene->AddUpdatable(leaving);
    mScene->GetRoot()->RemoveChild(leaving);
    mScene->Update();
    EXPECT_EQ(leaving->updates, 0);
    EXPECT_EQ(mScene->GetUpdateCount(), 0u);

    auto* dying = UpdatingNode::Make();
    mScene->AddUpdatable(dying);
    mScene->AddUpdatable(dying);
    dying->Release(); // destroyed while listed twice
    mScene->Update(); // the sanitizers catch a call into the dead node
    EXPECT_EQ(mScene->GetUpdateCount(), 0u);

    // A scene that goes first leaves no pointer behind in its nodes.
    UpdatingNode* survivor = Updating();
    mScene->AddUpdatable(survivor);
    mScene->Release();
    mScene = nullptr;
}

TEST_F(Scenes, SettingALevelBindsItOnceAndNullUnbindsAndReleasesIt)
{
    WRenderer* renderer = WRenderer::Instance();
    W3dLevel* level = W3dLevel::Create();
    level->AddRef(); // the test's
    LoggingNode* object = LoggingNode::Make("object");
    object->SetClump(MakeClump({nullptr}));
    RenderItemList::Build(object, object->GetClump());
    level->AddObject(object);
    LoggingNode* light = LoggingNode::Make("light");
    level->AddLight(light);
    LoggingNode* child = LoggingNode::Make("child");
    mScene->GetRoot()->AttachChild(child);

    mScene->SetLevel(level);
    EXPECT_EQ(level->GetRefCount(), 2);
    EXPECT_EQ(SceneLog(), (std::vector<std::string>{"+child", "+light"})) << "the tree first, then the lights";
    EXPECT_EQ(renderer->GetRenderList(WRenderer::kTransparentLayer)->GetCount(), 1)
        << "the level's objects are listed with layer 5, opaque items too";
    EXPECT_EQ(light->GetParent(), mScene->GetRoot());
    SceneLog().clear();
    mScene->SetLevel(level);
    EXPECT_TRUE(SceneLog().empty()) << "the current level again: nothing";
    EXPECT_EQ(level->GetRefCount(), 2);

    mScene->SetLevel(nullptr);
    // The tree leaves (the root's children in list order, the light bound last first); the
    // level's unbinding then finds its light already out of the scene.
    EXPECT_EQ(SceneLog(), (std::vector<std::string>{"-light", "-child"}));
    EXPECT_EQ(level->GetRefCount(), 1);
    EXPECT_EQ(renderer->GetRenderList(WRenderer::kTransparentLayer)->GetCount(), 0);
    EXPECT_EQ(light->GetParent(), nullptr);
    EXPECT_EQ(mScene->GetMainWorld(), nullptr);
    level->Release();
}

// ---- Camera nodes ---------------------------------------------------------------------------------------------

TEST_F(Scenes, CamerasStartWithTheirDefaultsAndWidenTheViewWindow)
{
    W3dCamera* node = W3dCamera::Create();
    ASSERT_NE(node, nullptr);
    node->AddRef();
    Camera* camera = node->GetCamera();
    WViewport* viewport = WRenderer::Instance()->GetViewport();
    EXPECT_EQ(camera->frameBuffer, viewport->GetFrameBuffer());
    EXPECT_EQ(camera->zBuffer, viewport->GetDepthRaster());
    EXPECT_EQ(viewport->GetRefCount(), 2) << "the renderer's and the camera's";
    EXPECT_FLOAT_EQ(camera->nearPlane, 1.0f);
    EXPECT_FLOAT_EQ(camera->farPlane, 10000.0f);
    EXPECT_FLOAT_EQ(camera->fogPlane, 1000.0f);
    EXPECT_EQ(node->GetBoundingSphere()->radius, 100.0f);
    EXPECT_EQ(node->GetEngineFrame(), camera->object.frame);

    const struct
    {
        Vector2 size;
        Vector2 window;
    } cases[] = {{{1, 1}, {1.333333f, 1}}, {{0.5f, 0.5f}, {0.6666665f, 0.5f}}, {{2, 1}, {2.666666f, 1}}};
    for (const auto& c : cases)
    {
        node->SetViewWindow(c.size);
        EXPECT_FLOAT_EQ(camera->viewWindow.x, c.window.x);
        EXPECT_FLOAT_EQ(camera->viewWindow.y, c.window.y);
        EXPECT_FLOAT_EQ(node->GetViewWindow().x, c.size.x);
    }
    node->SetFogDistance(250.0f);
    EXPECT_FLOAT_EQ(camera->fogPlane, 250.0f);
    node->Release();
    EXPECT_EQ(viewport->GetRefCount(), 1);
}

TEST_F(Scenes, ApplyFogSendsOnlyTheStatesItsTypeUses)
{
    W3dCamera* node = W3dCamera::Create();
    node->AddRef();
    auto state = [](int32_t code)
    {
        intptr_t value = -1;
        Engine::Current()->device.getRenderState(code, &value);
        return value;
    };
    auto set = [](int32_t code, intptr_t value) { Engine::Current()->device.setRenderState(code, value); };
    node->SetFogColor({0x10, 0x20, 0x30, 0x40});
    EXPECT_EQ(node->GetFogColorPacked(), 0x40102030u);

    set(kRenderStateFog, 1);
    node->ApplyFog();
    EXPECT_EQ(state(kRenderStateFog), 0) << "fog off";

    node->SetFogEnabled(1);
    const struct
    {
        int32_t type;
        bool density;
    } cases[] = {{1, false}, {2, true}, {3, true}};
    for (const auto& c : cases)
    {
        const float marker = 0.5f;
        set(kRenderStateFogDensity, reinterpret_cast<intptr_t>(&marker));
        node->SetFogType(c.type);
        node->SetFogDensity(0.25f);
        node->ApplyFog();
        EXPECT_EQ(state(kRenderStateFog), 1);
        EXPECT_EQ(state(kRenderStateFogType), c.type);
        EXPECT_EQ(uint32_t(state(kRenderStateFogColour)), 0x40102030u);
        float density = 0;
        uint32_t bits = uint32_t(state(kRenderStateFogDensity));
        std::memcpy(&density, &bits, sizeof(density));
        EXPECT_FLOAT_EQ(density, c.density ? 0.25f : 0.5f) << c.type;
    }
    node->Release();
}

TEST_F(Scenes, ACameraClearsToItsFogColourWhileFogIsOnElseToItsClearColour)
{
    W3dCamera* node = W3dCamera::Create();
    node->AddRef();
    WRenderer* renderer = WRenderer::Instance();
    renderer->SetCamera(node);
    node->SetClearColor({0x80, 0x40, 0x20, 0xFF});
    node->SetFogColor({0x10, 0x90, 0x30, 0xFF});
    Raster* raster = renderer->GetViewport()->GetFrameBuffer();
    for (int32_t fog : {0, 1})
    {
        node->SetFogEnabled(fog);
        ASSERT_EQ(renderer->BeginFrame(), 1);
        const std::vector<uint32_t> pixels = framecheck::ReadRaster(raster);
        ASSERT_FALSE(pixels.empty()) << "the frame buffer locks for reading";
        renderer->EndFrame();
        const std::vector<uint32_t> expected(pixels.size(), fog ? 0xFF109030u : 0xFF804020u);
        EXPECT_EQ(framecheck::CheckFrame(fog ? "renderer_camera_clear_fog" : "renderer_camera_clear", raster->width,
                                         raster->height, pixels, expected, 0),
                  "");
    }
    renderer->SetCamera(nullptr);
    node->Release();
}

} // namespace
} // namespace renderertest
