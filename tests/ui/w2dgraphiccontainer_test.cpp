// Graphic containers: children by reference and by name, moving, sizing and fitting, and the life
// operations reaching every child.
#include "ui_fixture.h"
#include "w2dgraphiccontainer.h"
#include "w2ditemeffect.h"
#include "w2dsurfacegraphicitem.h"

#include <cmath>

namespace uitest
{
namespace
{

/// A base item held by the test, at a position and size.
W2dGenericItem* Child(const char* name, Vector at, Vector size)
{
    auto* item = new W2dGenericItem(name);
    item->AddRef();
    item->SetPosition(at);
    item->SetSize(size);
    return item;
}

Vector PositionOf(W2dGenericItem* item)
{
    Vector v;
    item->GetPosition(&v);
    return v;
}

Vector SizeOf(W2dGenericItem* item)
{
    Vector v;
    item->GetSize(&v);
    return v;
}

TEST(W2dGraphicContainer, NamesRefuseDuplicatesButNotEmptyOnesAndRemovalReleasesTheChild)
{
    W2dGraphicContainer container;
    W2dGenericItem* a = Child("", {}, {});
    W2dGenericItem* b = Child("", {}, {});
    W2dGenericItem* title = Child("title", {}, {});
    W2dGenericItem* twin = Child("title", {}, {});
    EXPECT_EQ(container.AddChild(a), 1);
    EXPECT_EQ(container.AddChild(b), 1);
    EXPECT_EQ(container.AddChild(title), 1);
    EXPECT_EQ(container.AddChild(twin), 0);
    EXPECT_EQ(twin->GetRefCount(), 1);
    EXPECT_EQ(title->GetRefCount(), 2);
    EXPECT_EQ(container.GetChildCount(), 3);
    EXPECT_EQ(container.GetChild(2), title);
    EXPECT_EQ(container.GetChild(3), nullptr);

    container.Create();
    EXPECT_EQ(title->IsReleased(), 0);
    EXPECT_EQ(container.RemoveChildByName("title"), 2);
    EXPECT_EQ(title->IsReleased(), 1);
    EXPECT_EQ(title->GetRefCount(), 1);
    EXPECT_EQ(container.RemoveChildByName("title"), -1);
    EXPECT_EQ(container.RemoveChild(twin), -1);
    EXPECT_EQ(container.RemoveChild(a), 0);
    EXPECT_EQ(container.GetChild(0), b);
    // Destroying the container drops its references without releasing the children.
    {
        auto* holder = new W2dGraphicContainer();
        holder->AddChild(twin);
        holder->Create();
        holder->HbRoot::Release();
    }
    EXPECT_EQ(twin->IsReleased(), 0);
    EXPECT_EQ(twin->GetRefCount(), 1);
    for (W2dGenericItem* item : {a, title, twin})
        item->HbRoot::Release();
    container.Clear();
    EXPECT_EQ(container.GetChildCount(), 0);
    EXPECT_EQ(b->IsReleased(), 1);
    EXPECT_EQ(b->GetRefCount(), 1);
    b->HbRoot::Release();
}

TEST(W2dGraphicContainer, MovingTheContainerMovesItsChildrenByTheDisplacement)
{
    W2dGraphicContainer container;
    container.SetPosition({0.1f, 0.1f, 0.0f});
    W2dGenericItem* child = Child("", {0.2f, 0.3f, 0.0f}, {0.1f, 0.1f, 1.0f});
    container.AddChild(child);
    container.SetPosition({0.5f, 0.5f, 0.0f});
    EXPECT_NEAR(PositionOf(child).x, 0.6f, 1e-6f);
    EXPECT_NEAR(PositionOf(child).y, 0.7f, 1e-6f);
    EXPECT_NEAR(PositionOf(&container).x, 0.5f, 1e-6f);

    // Width and height reach only the children.
    container.SetWidth(0.3f);
    container.SetHeight(0.2f);
    EXPECT_FLOAT_EQ(SizeOf(child).x, 0.3f);
    EXPECT_FLOAT_EQ(SizeOf(child).y, 0.2f);
    EXPECT_FLOAT_EQ(SizeOf(&container).x, 1.0f);
    child->HbRoot::Release();
    container.RemoveAllChildren();
}

TEST(W2dGraphicContainer, AFittedContainerTakesItsChildrensExtentAndScalesThemWithItsSize)
{
    W2dGraphicContainer named("list"), unnamed;
    EXPECT_FLOAT_EQ(SizeOf(&named).x, 0.0f);
    EXPECT_FLOAT_EQ(SizeOf(&named).z, 0.0f);
    EXPECT_FLOAT_EQ(SizeOf(&unnamed).x, 1.0f);

    W2dGraphicContainer container("list");
    container.SetPosition({0.1f, 0.1f, 0.0f});
    W2dGenericItem* a = Child("", {0.1f, 0.1f, 0.0f}, {0.2f, 0.1f, 1.0f});
    W2dGenericItem* b = Child("", {0.4f, 0.1f, 0.0f}, {0.1f, 0.4f, 1.0f});
    container.AddChild(a);
    container.AddChild(b);
    // Without the flag, SetSize leaves the children alone.
    container.SetSize({2.0f, 2.0f, 2.0f});
    EXPECT_FLOAT_EQ(SizeOf(a).x, 0.2f);
    container.SetFlag(W2dGraphicContainer::kFitToChildren);
    EXPECT_EQ(container.GetFlags(), 2u);
    Vector size = SizeOf(&container);
    EXPECT_NEAR(size.x, 0.4f, 1e-6f);
    EXPECT_NEAR(size.y, 0.4f, 1e-6f);
    EXPECT_NEAR(size.z, 1.0f, 1e-6f);
    // Any flag set refits.
    b->SetSize({0.1f, 0.5f, 1.0f});
    container.SetFlag(4);
    EXPECT_NEAR(SizeOf(&container).y, 0.5f, 1e-6f);
    container.ClearFlag(4);
    EXPECT_EQ(container.GetFlags(), 2u);

    // Scaled per axis from the container's position: x doubles, y halves.
    container.SetSize({0.8f, 0.25f, 1.0f});
    EXPECT_NEAR(SizeOf(b).x, 0.2f, 1e-6f);
    EXPECT_NEAR(SizeOf(b).y, 0.25f, 1e-6f);
    EXPECT_NEAR(PositionOf(b).x, 0.7f, 1e-6f);
    EXPECT_NEAR(PositionOf(b).y, 0.1f, 1e-6f);
    EXPECT_NEAR(SizeOf(&container).x, 0.8f, 1e-6f);

    // A zero old or new component does not scale that axis (no infinite factor, no NaN).
    container.SetSize({0.0f, 0.5f, 1.0f});
    container.SetSize({0.4f, 0.5f, 1.0f});
    for (W2dGenericItem* child : {a, b})
    {
        Vector at = PositionOf(child), extent = SizeOf(child);
        for (float v : {at.x, at.y, extent.x, extent.y})
            EXPECT_TRUE(std::isfinite(v));
    }
    EXPECT_NEAR(SizeOf(b).x, 0.2f, 1e-6f);
    EXPECT_NEAR(SizeOf(b).y, 0.5f, 1e-6f);

    container.RemoveAllChildren();
    container.FitToChildren();
    EXPECT_EQ(SizeOf(&container).x, 0.0f);
    EXPECT_EQ(SizeOf(&container).z, 0.0f);
    a->HbRoot::Release();
    b->HbRoot::Release();
}

TEST(W2dGraphicContainer, LifeOperationsAndEffectsReachEveryChild)
{
    W2dGraphicContainer container;
    W2dGenericItem* a = Child("a", {}, {});
    W2dGenericItem* b = Child("b", {}, {});
    container.AddChild(a);
    container.AddChild(b);
    container.Create();
    container.Show();
    EXPECT_EQ(a->IsHidden(), 0);
    EXPECT_EQ(b->IsReleased(), 0);
    auto* blink = new W2dBlinkEffect(0);
    b->AddEffect(blink);
    EXPECT_EQ(container.AreChildEffectsStopped(), 0);
    container.Update(); // the blink's first toggle shows b again
    EXPECT_EQ(b->IsHidden(), 0);
    container.Hide();
    EXPECT_EQ(a->IsHidden(), 1);
    EXPECT_EQ(b->IsHidden(), 1);
    b->StopAllEffects();
    EXPECT_EQ(container.AreChildEffectsStopped(), 1);
    container.Release();
    EXPECT_EQ(a->IsReleased(), 1);
    EXPECT_EQ(b->GetEffectCount(), 0);
    EXPECT_EQ(container.GetChildCount(), 2);
    container.RemoveAllChildren();
    a->HbRoot::Release();
    b->HbRoot::Release();
}

using Containers = UiTest;

TEST_F(Containers, ColoursAndReleaseReachTheChildrensSurfaces)
{
    mResources->SolidTexture("UI_RED_TEX", 4, 4, 0xFFC82828u);
    int32_t before = Screen()->GetCount();
    W2dGraphicContainer container;
    for (int i = 0; i < 2; ++i)
    {
        auto* picture = new W2dPictureItem("UI_RED_TEX", -1.0f, nullptr);
        container.AddChild(picture);
    }
    container.Create();
    EXPECT_EQ(Screen()->GetCount(), before + 2);
    const Rgba c0 = {1, 2, 3, 4}, c1 = {5, 6, 7, 8}, c2 = {9, 10, 11, 12}, c3 = {13, 14, 15, 16};
    EXPECT_EQ(container.SetCornerColours(c0, c1, c2, c3), 1);
    for (int i = 0; i < 2; ++i)
    {
        Rgba got[4];
        container.GetChild(i)->GetCornerColours(&got[0], &got[1], &got[2], &got[3]);
        EXPECT_EQ(got[0].red, 1);
        EXPECT_EQ(got[3].alpha, 16);
    }
    container.Release();
    EXPECT_EQ(Screen()->GetCount(), before);
    container.Create();
    EXPECT_EQ(Screen()->GetCount(), before + 2);
    // Clear releases the children and drops them: their surfaces leave with them.
    container.Clear();
    EXPECT_EQ(Screen()->GetCount(), before);
}

} // namespace
} // namespace uitest
