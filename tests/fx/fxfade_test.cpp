// Object fades: the opacity falls with the game time while the node draws from its fade
// layer, the end callback runs once and the node returns to its normal layer; zero
// durations, destroyed objects, objects that cannot fade, and the clearing of every fade.
#include "scene_fixture.h"
#include "scriptworld_fixture.h"

#include "fxfade.h"
#include "fxservices.h"
#include "hbclock.h"
#include "hbptr.h"
#include "wrenderer.h"
#include "wrenderitem.h"
#include "wrenderlist.h"
#include "wscene.h"

#include <gtest/gtest.h>

namespace scriptworldtest
{
namespace
{
using renderertest::LoggingNode;

int32_t gEnded = 0;
void CountEnd(void* user)
{
    ++gEnded;
    EXPECT_EQ(user, &gEnded);
}

class FadeTest : public ScriptWorldTest
{
protected:
    void SetUp() override
    {
        ScriptWorldTest::SetUp();
        gEnded = 0;
    }
    void TearDown() override
    {
        FxFadeClearAll();
        for (LoggingNode* node : mNodes)
        {
            if (node->GetParent())
                node->GetParent()->RemoveChild(node);
            node->Release();
        }
        ScriptWorldTest::TearDown();
    }

    /// A one-triangle node in layer `layer` (fading in `fadeLayer`), in the scene or not.
    LoggingNode* Node(int32_t layer, int32_t fadeLayer, bool inScene = true)
    {
        LoggingNode* node = LoggingNode::Make("piece");
        node->SetClump(renderertest::MakeClump({nullptr}));
        RenderItemList::Build(node, node->GetClump());
        node->SetRenderLayer(layer);
        node->SetFadeRenderLayer(fadeLayer);
        node->AddRef();
        mNodes.push_back(node);
        if (inScene)
        {
            mScene->GetRoot()->AttachChild(node);
            WRenderer::Existing()->AddToRenderLists(node, layer);
        }
        return node;
    }
    static int32_t Listed(int32_t layer) { return WRenderer::Existing()->GetRenderList(layer)->GetCount(); }
    static float Alpha(W3dNode* node) { return node->GetFadeFunction()(nullptr, node->GetFadeUserData()); }
    /// Game time forward, then one fade step.
    void Step(float seconds)
    {
        HbGameClock::Instance()->mGameTime += int64_t(double(seconds) * double(HbPerformanceFrequency()) + 0.5);
        FxServicesTick();
    }

    std::vector<LoggingNode*> mNodes;
};

TEST_F(FadeTest, OpacityFallsFromTheFadeLayerThenTheNodeReturns)
{
    LoggingNode* node = Node(2, 3);
    ASSERT_EQ(Listed(2), 1);
    HbHandlePtr handle(node);
    ASSERT_EQ(FxFadeStart(handle, 1.0f, CountEnd, &gEnded), 1);
    EXPECT_EQ(Listed(2), 0);
    EXPECT_EQ(Listed(3), 1);
    EXPECT_FLOAT_EQ(Alpha(node), 1.0f);
    Step(0.25f);
    EXPECT_FLOAT_EQ(Alpha(node), 0.75f);
    Step(0.75f);
    EXPECT_EQ(FxFadeCount(), 1) << "a progress of exactly 1 goes on";
    EXPECT_EQ(gEnded, 0);
    Step(0.05f);
    EXPECT_EQ(gEnded, 1);
    EXPECT_EQ(FxFadeCount(), 0);
    EXPECT_EQ(node->GetFadeFunction(), nullptr);
    EXPECT_EQ(Listed(3), 0);
    EXPECT_EQ(Listed(2), 1);
    Step(1.0f);
    EXPECT_EQ(gEnded, 1) << "once";
}

TEST_F(FadeTest, EndingCases)
{
    // Duration 0: done at the first step, back in its layer.
    LoggingNode* quick = Node(2, 3);
    ASSERT_EQ(FxFadeStart(HbHandlePtr(quick), 0.0f, CountEnd, &gEnded), 1);
    // Normal layer none: out of every list afterwards, but the callback still runs.
    LoggingNode* debris = Node(W3dNode::kNoRenderLayer, 4);
    ASSERT_EQ(FxFadeStart(HbHandlePtr(debris), 1.0f, CountEnd, &gEnded), 1);
    EXPECT_EQ(Listed(4), 1);
    // Destroyed while fading.
    LoggingNode* doomed = Node(2, 3);
    ASSERT_EQ(FxFadeStart(HbHandlePtr(doomed), 5.0f, CountEnd, &gEnded), 1);
    doomed->GetParent()->RemoveChild(doomed);
    std::erase(mNodes, doomed);
    doomed->Release();

    Step(0.1f);
    EXPECT_EQ(gEnded, 2) << "the quick and the destroyed";
    EXPECT_EQ(quick->GetFadeFunction(), nullptr);
    Step(1.0f);
    EXPECT_EQ(gEnded, 3);
    EXPECT_EQ(FxFadeCount(), 0);
    EXPECT_EQ(Listed(2), 1) << "the quick one";
    EXPECT_EQ(Listed(3) + Listed(4), 0);
}

TEST_F(FadeTest, ObjectsThatCannotFadeEndAtOnce)
{
    LoggingNode* outside = Node(2, 3, false);
    LoggingNode* noFade = Node(2, W3dNode::kNoRenderLayer);
    EXPECT_EQ(FxFadeStart(HbHandlePtr(outside), 1.0f, CountEnd, &gEnded), 0);
    EXPECT_EQ(FxFadeStart(HbHandlePtr(noFade), 1.0f, CountEnd, &gEnded), 0);
    EXPECT_EQ(FxFadeStart(HbHandlePtr(), 1.0f, CountEnd, &gEnded), 0);
    EXPECT_EQ(FxFadeStart(HbHandlePtr(), 1.0f, nullptr, nullptr), 0);
    EXPECT_EQ(gEnded, 3);
    EXPECT_EQ(FxFadeCount(), 0);
    EXPECT_EQ(Listed(2), 1);
    EXPECT_EQ(noFade->GetFadeFunction(), nullptr);
}

TEST_F(FadeTest, ClearAllDropsFadesWithoutCallbacks)
{
    LoggingNode* a = Node(2, 3);
    LoggingNode* b = Node(1, 4);
    ASSERT_EQ(FxFadeStart(HbHandlePtr(a), 1.0f, CountEnd, &gEnded), 1);
    ASSERT_EQ(FxFadeStart(HbHandlePtr(b), 1.0f, CountEnd, &gEnded), 1);
    FxServicesStageLeave();
    EXPECT_EQ(FxFadeCount(), 0);
    EXPECT_EQ(gEnded, 0);
    EXPECT_EQ(a->GetFadeFunction(), nullptr) << "no hook on a dropped record";
    EXPECT_EQ(b->GetFadeFunction(), nullptr);
    EXPECT_EQ(Listed(2), 1);
    EXPECT_EQ(Listed(1), 1);
    EXPECT_EQ(Listed(3) + Listed(4), 0);

    // More fades than the pool holds take the heap.
    for (int i = 0; i < 101; ++i)
        ASSERT_EQ(FxFadeStart(HbHandlePtr(a), 1.0f, nullptr, nullptr), 1);
    EXPECT_EQ(FxFadeCount(), 101);
    Step(2.0f);
    EXPECT_EQ(FxFadeCount(), 0);
}
} // namespace
} // namespace scriptworldtest
