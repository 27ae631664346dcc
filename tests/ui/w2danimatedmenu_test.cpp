// Valued and animated menus: value actions stepping the current entry's valued label (after a
// navigation step of the same frame), the valued labels' bounds, the three-row window of an animated
// menu and the blend of a move.
#include "ui_fixture.h"
#include "w2danimatedmenu.h"
#include "w2dsurfacegraphicitem.h"
#include "win32keyboard.h"

#include <cmath>
#include <memory>
#include <vector>

namespace uitest
{
namespace
{

const int64_t kT0 = Ticks(500.0);

int32_t Count(void* context)
{
    ++*static_cast<int*>(context);
    return 1;
}

void MarkCurrent(W2dGenericItem* item)
{
    item->SetColour({255, 0, 0, 255});
}
void MarkNext(W2dGenericItem* item)
{
    item->SetColour({0, 255, 0, 255});
}
void MarkPrevious(W2dGenericItem* item)
{
    item->SetColour({0, 0, 255, 255});
}

class AnimatedMenus : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        mClocks->SetReal(kT0);
        mResources->SolidTexture("UI_LABEL_TEX", 4, 4, 0xFF40A0E0u);
        mInput = std::make_unique<InjectedInput>();
        ASSERT_TRUE(mInput->Bind("MENU_NEXT", "VK_DOWN"));
        ASSERT_TRUE(mInput->Bind("MENU_PREVIOUS", "VK_UP"));
        ASSERT_TRUE(mInput->Bind("MENU_NEXT_VALUE", "VK_RIGHT"));
        ASSERT_TRUE(mInput->Bind("MENU_PREVIOUS_VALUE", "VK_LEFT"));
        mInput->Frame();
    }

    void TearDown() override
    {
        for (W2dMenu* menu : mMenus)
        {
            menu->Clear();
            menu->Release();
        }
        mInput.reset();
        UiTest::TearDown();
    }

    template <class Menu> Menu* Make(W2dMenu* parent)
    {
        auto* menu = new Menu(parent);
        menu->AddRef();
        mMenus.push_back(menu);
        if (parent)
            parent->AddEntry(menu);
        return menu;
    }

    /// An entry of the parent labelled with the item (the entry takes its own reference).
    W2dMenu* Entry(W2dMenu* parent, W2dGenericItem* label)
    {
        W2dMenu* menu = Make<W2dMenu>(parent);
        menu->SetLabel(label);
        label->HbRoot::Release();
        return menu;
    }

    /// A created, hidden picture with one reference of the caller's.
    static W2dPictureItem* Picture()
    {
        auto* label = new W2dPictureItem("UI_LABEL_TEX", -1.0f, nullptr);
        label->AddRef();
        label->Create();
        label->SetSize({0.3f, 0.05f, 0.0f});
        label->Hide();
        return label;
    }

    W2dRealValuedMenuLabel* RealLabel(float value)
    {
        auto* label = new W2dRealValuedMenuLabel(kW2dStandardFont, nullptr);
        label->AddRef();
        label->SetRange(0.0f, 1.0f, 0.25f);
        label->SetValue(value);
        return label;
    }

    W2dMenu* Frame(W2dMenu* receiver, std::initializer_list<uint8_t> keys = {})
    {
        for (uint8_t key : keys)
            mInput->Press(key);
        mInput->Frame();
        W2dMenu* next = receiver->HandleInput();
        for (uint8_t key : keys)
            mInput->Lift(key);
        return next;
    }

    std::unique_ptr<InjectedInput> mInput;
    std::vector<W2dMenu*> mMenus;
};

TEST_F(AnimatedMenus, ValueActionsStepTheCurrentEntrysValuedLabelAfterTheFramesNavigation)
{
    W2dValuedMenu* menu = Make<W2dValuedMenu>(nullptr);
    W2dRealValuedMenuLabel* volume = RealLabel(0.5f);
    W2dRealValuedMenuLabel* music = RealLabel(1.0f);
    Entry(menu, volume);
    Entry(menu, music);
    auto* plain = new W2dPictureItem("UI_NONE_TEX", -1.0f, nullptr);
    plain->AddRef();
    Entry(menu, plain);
    int inputs = 0;
    menu->SetInputCallback(Count, &inputs);
    EXPECT_EQ(menu->GetNextValueAction(), "MENU_NEXT_VALUE");
    EXPECT_EQ(menu->GetPreviousValueAction(), "MENU_PREVIOUS_VALUE");

    struct Step
    {
        std::initializer_list<uint8_t> keys;
        float volume, music;
        int inputs;
    };
    const Step steps[] = {
        {{VK_RIGHT}, 0.75f, 1.0f, 1},          // volume up
        {{VK_RIGHT}, 1.0f, 1.0f, 2},           // to its maximum
        {{VK_RIGHT}, 1.0f, 1.0f, 3},           // at the maximum: nothing moves, the callback still runs
        {{VK_DOWN, VK_LEFT}, 1.0f, 0.75f, 5},  // navigation first, then the new current entry's value
        {{VK_LEFT}, 1.0f, 0.5f, 6},            //
        {{VK_DOWN, VK_RIGHT}, 1.0f, 0.5f, 8},  // onto the plain label: nothing to step
        {{VK_UP, VK_RIGHT}, 1.0f, 0.75f, 10},  // back onto music, stepped up
        {{VK_LEFT, VK_RIGHT}, 1.0f, 1.0f, 11}, // both value actions: next wins
    };
    int frame = 0;
    for (const Step& step : steps)
    {
        EXPECT_EQ(Frame(menu, step.keys), menu) << frame;
        EXPECT_FLOAT_EQ(volume->GetValue(), step.volume) << frame;
        EXPECT_FLOAT_EQ(music->GetValue(), step.music) << frame;
        EXPECT_EQ(inputs, step.inputs) << frame;
        ++frame;
    }
    // The operations answer whether anything moved.
    EXPECT_EQ(menu->NextValue(), 0);
    EXPECT_EQ(menu->PreviousValue(), 1);
}

TEST_F(AnimatedMenus, ValuedLabelsStayWithinTheirBounds)
{
    auto* label = new W2dStringValuedMenuLabel(kW2dStandardFont, nullptr);
    label->AddRef();
    EXPECT_EQ(label->Increase(), 0) << "an empty list";
    label->AddValue("low");
    label->AddValue("high");
    label->SetIndex(7);
    EXPECT_EQ(label->GetIndex(), 1);
    EXPECT_EQ(label->Increase(), 0);
    EXPECT_EQ(label->Decrease(), 1);
    EXPECT_EQ(label->GetIndex(), 1) << "taken over only by Apply";
    label->Apply();
    EXPECT_EQ(label->GetIndex(), 0);
    EXPECT_EQ(label->Decrease(), 0);
    EXPECT_TRUE(HbClassDesc::IsKindOf(label, &W2dValuedMenuLabel::sClassDesc));
    label->HbRoot::Release();

    W2dRealValuedMenuLabel* real = RealLabel(0.9f);
    real->SetRange(1.0f, 0.2f, 0.5f);
    EXPECT_FLOAT_EQ(real->GetValue(), 0.9f);
    EXPECT_EQ(real->Increase(), 1);
    real->Apply();
    EXPECT_FLOAT_EQ(real->GetValue(), 1.0f) << "a step past the bound stops at it";
    real->HbRoot::Release();
}

TEST_F(AnimatedMenus, StepsStampMovesAndTheWindowShowsTheCurrentEntryBetweenItsNeighbours)
{
    W2dAnimatedMenu* menu = Make<W2dAnimatedMenu>(nullptr);
    EXPECT_EQ(menu->GetState(), W2dMenu::kOpen) << "open from construction";
    EXPECT_EQ(menu->IsMoving(), 0);
    EXPECT_EQ(menu->IsMoveBackward(), 1);
    menu->SetProperty(1, MarkCurrent);
    menu->SetProperty(2, MarkNext);
    menu->SetProperty(3, MarkPrevious);
    menu->SetPosition({0.1f, 0.2f, 0.0f});
    menu->SetStep({0.0f, 0.25f, 0.0f});
    std::vector<W2dGenericItem*> labels;
    for (int i = 0; i < 4; ++i)
    {
        W2dPictureItem* label = Picture();
        labels.push_back(label);
        Entry(menu, label);
    }
    mClocks->SetReal(kT0 + Ticks(2.0));
    menu->SetCurrentIndex(1);
    EXPECT_EQ(menu->IsMoving(), 1) << "setting an index above 0 steps forward";
    EXPECT_EQ(menu->IsMoveBackward(), 0);
    EXPECT_EQ(menu->GetMoveStart(), kT0 + Ticks(2.0));

    menu->Show();
    const W2dItemCallback expected[3] = {MarkPrevious, MarkCurrent, MarkNext};
    for (int row = 0; row < 3; ++row)
    {
        W2dGenericItem* label = labels[size_t(row)];
        EXPECT_FALSE(label->IsHidden()) << row;
        Vector at;
        label->GetPosition(&at);
        EXPECT_FLOAT_EQ(at.x, 0.1f) << row;
        EXPECT_FLOAT_EQ(at.y, 0.2f + 0.25f * float(row)) << row;
        EXPECT_EQ(label->GetUpdateCallback(), expected[row]) << row;
    }
    EXPECT_TRUE(labels[3]->IsHidden());

    // With the first current the window starts at the last entry.
    mClocks->AdvanceReal(Ticks(1.0));
    menu->Previous();
    EXPECT_EQ(menu->IsMoveBackward(), 1);
    EXPECT_EQ(menu->GetMoveStart(), kT0 + Ticks(3.0));
    menu->Layout();
    EXPECT_FALSE(labels[3]->IsHidden());
    EXPECT_TRUE(labels[2]->IsHidden());
    Vector at;
    labels[3]->GetPosition(&at);
    EXPECT_FLOAT_EQ(at.y, 0.2f);
}

TEST_F(AnimatedMenus, OneEntrySitsInTheCurrentRow)
{
    W2dAnimatedMenu* menu = Make<W2dAnimatedMenu>(nullptr);
    menu->SetProperty(1, MarkCurrent);
    menu->SetStep({0.0f, 0.25f, 0.0f});
    W2dPictureItem* label = Picture();
    Entry(menu, label);
    menu->Layout();
    Vector at;
    label->GetPosition(&at);
    EXPECT_FLOAT_EQ(at.y, 0.25f);
    EXPECT_EQ(label->GetUpdateCallback(), MarkCurrent);
    EXPECT_FALSE(label->IsHidden());
}

TEST_F(AnimatedMenus, InterpolatePositionBlendsOverTheMoveAndEndsExactly)
{
    W2dAnimatedMenu* menu = Make<W2dAnimatedMenu>(nullptr);
    menu->SetMoveDuration(Ticks(0.4));
    mClocks->SetReal(kT0);
    menu->Next();
    const Vector from = {0.1f, 0.2f, 0.3f};
    const Vector to = {0.7f, -0.4f, 0.31f};
    struct Case
    {
        double seconds;
        Vector expected;
    };
    const Case cases[] = {
        {-0.1, from},
        {0.0, from},
        {0.2, {0.4f, -0.1f, 0.305f}},
        {0.4, to},
        {5.0, to},
    };
    for (const Case& c : cases)
    {
        mClocks->SetReal(kT0 + Ticks(c.seconds));
        Vector out = {9.0f, 9.0f, 9.0f};
        EXPECT_EQ(menu->InterpolatePosition(&out, from, to), &out);
        EXPECT_NEAR(out.x, c.expected.x, 1e-5f) << c.seconds;
        EXPECT_NEAR(out.y, c.expected.y, 1e-5f) << c.seconds;
        EXPECT_NEAR(out.z, c.expected.z, 1e-5f) << c.seconds;
        if (c.seconds >= 0.4)
        {
            EXPECT_TRUE(out.x == to.x && out.y == to.y && out.z == to.z) << "exactly the end";
        }
    }
    // A move of no duration is at its end, not NaN.
    menu->SetMoveDuration(0);
    mClocks->SetReal(kT0);
    Vector out;
    menu->InterpolatePosition(&out, from, to);
    EXPECT_TRUE(out.x == to.x && out.y == to.y && out.z == to.z);
}

} // namespace
} // namespace uitest
