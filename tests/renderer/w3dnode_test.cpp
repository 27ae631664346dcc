// Scene-graph nodes: the node tree moving the engine frames, reference counts across
// AddChild and RemoveChild, scene entry parents first and exit children first, attachments,
// Show and Hide with their shadows, placement, and the frame node pool.
#include "frame.h"
#include "scene_fixture.h"
#include "w3dnode.h"
#include "wrenderitem.h"
#include "wscene.h"
#include "wshadows.h"

#include <gtest/gtest.h>

namespace renderertest
{
namespace
{

using Nodes = SceneTest;

// A reference-counted object that notes its destruction.
class Attachment : public HbRoot
{
public:
    explicit Attachment(bool* destroyed) : mDestroyed(destroyed) {}
    ~Attachment() override { *mDestroyed = true; }

private:
    bool* mDestroyed;
};

std::vector<W3dNode*> Children(const W3dNode* node)
{
    std::vector<W3dNode*> children;
    for (HbPtrListNode* n = node->GetChildren().GetHead(); n; n = n->next)
        children.push_back(static_cast<W3dNode*>(n->value));
    return children;
}

TEST_F(Nodes, TheNodeTreeMovesTheEngineFrames)
{
    W3dFrame* root = W3dFrame::Create();
    W3dFrame* child = W3dFrame::Create();
    W3dFrame* bone = W3dFrame::Create();
    root->AttachChild(bone);

    Vector at = {5, 0, 0};
    root->SetWorldPosition(&at);
    child->SetWorldPosition(&at); // 5 units on from its own origin
    root->AddChild(child, bone->GetEngineFrame());
    EXPECT_EQ(child->GetEngineFrame()->parent, bone->GetEngineFrame()) << "hung under the frame given";
    EXPECT_EQ(child->GetParent(), root) << "the node tree keeps the node as parent";
    EXPECT_NEAR(child->GetWorldPosition()->x, 10.0f, 1e-5f);

    Vector moved = {0, 0, 3};
    root->SetWorldPosition(&moved);
    EXPECT_NEAR(child->GetWorldPosition()->x, 5.0f, 1e-5f) << "the child follows its parent's frame";
    EXPECT_NEAR(child->GetWorldPosition()->z, 3.0f, 1e-5f);
    const Vector* position = child->GetWorldPosition();
    Vector there = {1, 1, 1};
    child->SetWorldPosition(&there);
    EXPECT_EQ(child->GetWorldPosition(), position);
    EXPECT_NEAR(position->y, 1.0f, 1e-5f) << "the position pointer follows the frame";

    root->RemoveChild(child); // the last reference: deleted, its frame off the bone first
    EXPECT_EQ(Children(root), std::vector<W3dNode*>{bone});
    root->Release();
}

TEST_F(Nodes, AddChildAndRemoveChildCountReferences)
{
    W3dFrame* a = W3dFrame::Create();
    W3dFrame* b = W3dFrame::Create();
    W3dFrame* child = W3dFrame::Create();
    child->AddRef(); // the test's own reference

    a->AttachChild(child);
    EXPECT_EQ(child->GetRefCount(), 2);
    a->AttachChild(child);
    EXPECT_EQ(child->GetRefCount(), 2) << "the same parent again changes nothing";
    EXPECT_EQ(Children(a).size(), 1u);

    b->AttachChild(child);
    EXPECT_EQ(child->GetRefCount(), 2) << "moving keeps the count";
    EXPECT_TRUE(Children(a).empty());
    EXPECT_EQ(child->GetParent(), b);
    EXPECT_EQ(child->GetEngineFrame()->parent, b->GetEngineFrame());

    a->RemoveChild(child);
    EXPECT_EQ(child->GetParent(), b) << "a child of another parent is left alone";
    EXPECT_EQ(child->GetRefCount(), 2);

    b->RemoveChild(child);
    EXPECT_EQ(child->GetRefCount(), 1);
    EXPECT_EQ(child->GetEngineFrame()->parent, nullptr);
    child->Release();
    a->Release();
    b->Release();
}

TEST_F(Nodes, ScenesAreEnteredParentsFirstAndLeftChildrenFirst)
{
    WScene scene;
    LoggingNode* root = LoggingNode::Make("root");
    LoggingNode* a = LoggingNode::Make("a");
    LoggingNode* b = LoggingNode::Make("b");
    LoggingNode* c = LoggingNode::Make("c");
    a->AddRef(); // the test's, so that a and its subtree outlive their removal
    root->AddToScene(&scene);
    EXPECT_EQ(SceneLog(), std::vector<std::string>{"+root"});
    SceneLog().clear();

    b->AttachChild(c);
    a->AttachChild(b);
    EXPECT_TRUE(SceneLog().empty()) << "no scene above: nothing entered";
    EXPECT_EQ(c->GetScene(), nullptr);

    root->AttachChild(a);
    EXPECT_EQ(SceneLog(), (std::vector<std::string>{"+a", "+b", "+c"}));
    EXPECT_EQ(c->GetScene(), &scene);
    SceneLog().clear();

    root->AttachChild(a);
    EXPECT_TRUE(SceneLog().empty()) << "no second entry";

    root->RemoveChild(a);
    EXPECT_EQ(SceneLog(), (std::vector<std::string>{"-c", "-b", "-a"}));
    EXPECT_EQ(b->GetScene(), nullptr);
    SceneLog().clear();

    root->RemoveFromScene();
    EXPECT_EQ(SceneLog(), std::vector<std::string>{"-root"});
    root->Release();
    a->Release();
}

TEST_F(Nodes, ForAllChildrenMayRemoveTheCurrentChild)
{
    W3dFrame* parent = W3dFrame::Create();
    std::vector<W3dFrame*> made;
    for (int i = 0; i < 4; ++i)
    {
        made.push_back(W3dFrame::Create());
        parent->AttachChild(made.back());
    }
    int visited = 0;
    struct Walk
    {
        W3dNode* parent;
        int* visited;
    } walk = {parent, &visited};
    EXPECT_EQ(parent->ForAllChildren(
                  [](W3dNode* child, void* user) -> int32_t
                  {
                      auto* w = static_cast<Walk*>(user);
                      ++*w->visited;
                      w->parent->RemoveChild(child);
                      return 1;
                  },
                  &walk),
              1);
    EXPECT_EQ(visited, 4);
    EXPECT_TRUE(Children(parent).empty());

    parent->AttachChild(W3dFrame::Create());
    parent->AttachChild(W3dFrame::Create());
    visited = 0;
    EXPECT_EQ(parent->ForAllChildren(
                  [](W3dNode*, void* user) -> int32_t
                  {
                      ++*static_cast<int*>(user);
                      return 0;
                  },
                  &visited),
              0);
    EXPECT_EQ(visited, 1) << "a zero answer stops the walk";
    parent->Release(); // its destructor detaches and releases the two children
}

TEST_F(Nodes, RemovalReleasesOneReferenceOnEachAttachment)
{
    W3dFrame* parent = W3dFrame::Create();
    W3dFrame* child = W3dFrame::Create();
    parent->AttachChild(child);
    bool ownedGone = false, sharedGone = false;
    auto* owned = new Attachment(&ownedGone);
    auto* shared = new Attachment(&sharedGone);
    shared->AddRef(); // an effect list holds it too
    ASSERT_EQ(child->AddAttachment(owned), 1);
    ASSERT_EQ(child->AddAttachment(shared), 1);
    child->AddRef();

    parent->RemoveChild(child);
    EXPECT_TRUE(ownedGone) << "the node's was the only reference";
    EXPECT_FALSE(sharedGone) << "held elsewhere: not deleted under its holder";
    EXPECT_EQ(shared->GetRefCount(), 1);
    EXPECT_EQ(child->GetAttachments().GetCount(), 0);
    shared->Release();
    EXPECT_TRUE(sharedGone);
    child->Release();
    parent->Release();
}

TEST_F(Nodes, ShowAndHideTheSubtreeWithItsShadows)
{
    W3dFrame* root = W3dFrame::Create();
    W3dFrame* child = W3dFrame::Create();
    root->AttachChild(child);
    WShadowDesc desc = {};
    desc.visible = 1;
    int32_t rootShadow = WShadows::Add(&desc);
    int32_t childShadow = WShadows::Add(&desc);
    ASSERT_GE(rootShadow, 0);
    EXPECT_EQ(childShadow, rootShadow + 1);
    root->SetShadowId(rootShadow);
    child->SetShadowId(childShadow);
    EXPECT_EQ(root->GetFlags(), uint32_t(W3dNode::kVisible | W3dNode::kReadyToDraw));

    root->Hide();
    EXPECT_EQ(child->GetFlags() & W3dNode::kVisible, 0u);
    EXPECT_EQ(WShadows::GetVisible(rootShadow), 0);
    EXPECT_EQ(WShadows::GetVisible(childShadow), 0);
    EXPECT_EQ(WShadows::GetCount(), 2) << "hiding keeps the records";

    root->Show();
    EXPECT_NE(child->GetFlags() & W3dNode::kVisible, 0u);
    EXPECT_EQ(WShadows::GetVisible(childShadow), 1);

    EXPECT_EQ(WShadows::Remove(rootShadow), 0);
    EXPECT_EQ(WShadows::Remove(rootShadow), WShadows::kUnknownId);
    EXPECT_EQ(WShadows::SetVisible(-1, 1), WShadows::kUnknownId);
    desc.radius = 0.0f;
    int32_t again = WShadows::Add(&desc);
    EXPECT_EQ(again, childShadow + 1) << "ids are not reused";
    EXPECT_EQ(WShadows::GetDesc(again)->radius, WShadows::kDefaultRadius);
    WShadows::Remove(childShadow);
    WShadows::Remove(again);
    root->Release();
}

TEST_F(Nodes, ItemLightingFollowsTheNodeOrItsParent)
{
    LoggingNode* parent = LoggingNode::Make("parent");
    LoggingNode* child = LoggingNode::Make("child");
    Clump* clump = MakeClump({nullptr, nullptr});
    child->SetClump(clump);
    RenderItemList::Build(child, clump);
    parent->SetFlags(parent->GetFlags() | W3dNode::kLitByField);
    WScene scene;
    parent->AddToScene(&scene);
    parent->AttachChild(child); // entering the scene refreshes the items' lighting
    for (int32_t i = 0; i < child->GetRenderItems().GetCount(); ++i)
        EXPECT_EQ(static_cast<TRenderDataItem*>(child->GetRenderItems()[i])->lit, 1);
    parent->SetFlags(parent->GetFlags() & ~uint32_t(W3dNode::kLitByField));
    child->RefreshItemLighting();
    EXPECT_EQ(static_cast<TRenderDataItem*>(child->GetRenderItems()[0])->lit, 0);
    parent->RemoveFromScene();
    parent->Release();
}

TEST_F(Nodes, FrameNodesComeFromAPoolOf150ThenTheHeap)
{
    // The framework's module start-up makes the pool; a first node makes it as well.
    ASSERT_EQ(W3dFrame::sClassPool.Create(), 1);
    HbPerClassFreeList* pool = W3dFrame::sClassPool.Get();
    ASSERT_NE(pool, nullptr);
    int32_t before = pool->GetUsedCount();
    std::vector<W3dFrame*> nodes;
    for (int32_t i = before; i < W3dFrame::kPoolSize + 2; ++i)
        nodes.push_back(W3dFrame::Create());
    EXPECT_EQ(pool->GetUsedCount(), W3dFrame::kPoolSize);
    EXPECT_FALSE(pool->Contains(nodes.back())) << "beyond the pool: the heap";
    EXPECT_TRUE(pool->Contains(nodes.front()));
    EXPECT_EQ(nodes.front()->GetBoundingSphere()->radius, 100.0f);
    for (W3dFrame* node : nodes)
        node->Release();
    EXPECT_EQ(pool->GetUsedCount(), before);
}

} // namespace
} // namespace renderertest
