// The animated model node: bone attachments, the event receiver and a description without a
// container.
#include "anim_fixture.h"
#include "frame.h"
#include "w3danimobject.h"
#include "w3dframe.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
using animtest::AnimTest;

/// Bones 0 to 9 as plain frames under the node's own frame.
class BonedNode : public W3dAnimObject
{
public:
    BonedNode()
    {
        for (Frame*& bone : mBones)
            Frame::AddChild(GetEngineFrame(), bone = Frame::Create());
    }
    ~BonedNode() override
    {
        DetachAllNodes();
        for (Frame* bone : mBones)
        {
            Frame::RemoveChild(bone);
            Frame::Destroy(bone);
        }
    }
    Frame* GetBoneFrame(int32_t boneId) override { return boneId >= 0 && boneId < 10 ? mBones[boneId] : nullptr; }
    Frame* mBones[10] = {};
};

using W3dAnimObjectTest = AnimTest;

TEST_F(W3dAnimObjectTest, BonesHoldOneNodeEach)
{
    auto* model = new BonedNode();
    model->AddRef();
    W3dFrame* first = W3dFrame::Create();
    W3dFrame* second = W3dFrame::Create();
    first->AddRef();
    second->AddRef();

    EXPECT_EQ(model->AttachNode(first, 3), first);
    EXPECT_EQ(first->GetRefCount(), 3) << "the test, the tree and the bone";
    EXPECT_EQ(first->GetParent(), model);
    EXPECT_EQ(first->GetEngineFrame()->parent, model->mBones[3]);
    EXPECT_EQ(model->AttachNode(second, 3), second);
    EXPECT_EQ(model->GetAttachedNode(3), second);
    EXPECT_EQ(first->GetRefCount(), 1) << "the first node was detached and released";
    EXPECT_EQ(first->GetParent(), nullptr);

    EXPECT_EQ(model->AttachNode(first, 42), nullptr) << "no such bone";
    EXPECT_EQ(model->AttachNode(nullptr, 3), nullptr);
    EXPECT_EQ(model->DetachNode(first), 0);
    EXPECT_EQ(model->DetachNode(nullptr), 0);
    EXPECT_EQ(model->DetachNode(second), 1);
    EXPECT_EQ(model->GetAttachedNode(3), nullptr);
    EXPECT_EQ(second->GetRefCount(), 1);

    model->AttachNode(first, 1);
    model->AttachNode(second, 2);
    model->DetachAllNodes();
    EXPECT_EQ(first->GetRefCount(), 1);
    EXPECT_EQ(second->GetRefCount(), 1);
    first->Release();
    second->Release();
    model->Release();
}

TEST_F(W3dAnimObjectTest, EventsAndABareDescription)
{
    auto* model = new W3dAnimObject();
    model->AddRef();
    EXPECT_EQ(model->GetRenderLayer(), 1);
    EXPECT_EQ(model->GetEngineFrame(), model->GetMotor().GetRootFrame()->parent);
    model->DeliverEvent(5); // no receiver: nothing happens
    std::vector<int32_t> events;
    model->mEventReceiver = [](int32_t id, void* data) { static_cast<std::vector<int32_t>*>(data)->push_back(id); };
    model->mEventReceiverData = &events;
    model->DeliverEvent(5);
    EXPECT_EQ(events, std::vector<int32_t>{5});

    model->SetFlags(model->GetFlags() & ~W3dNode::kVisible);
    EXPECT_EQ(model->LoadDescription("NO_SUCH_MODEL"), 1);
    EXPECT_EQ(model->GetName(), "NO_SUCH_MODEL");
    EXPECT_TRUE(model->GetFlags() & W3dNode::kVisible);
    EXPECT_EQ(model->GetMotor().GetSkeleton(), nullptr);
    model->Release();
}
} // namespace
