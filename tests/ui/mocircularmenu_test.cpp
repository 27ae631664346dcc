// The language wheel: labels round the centre, a step of one slot at 180 degrees a second with input
// ignored meanwhile, a one-entry wheel, and the navigation actions that do not turn it.
#include "mocircularmenu.h"
#include "hbclock.h"
#include "ui_fixture.h"
#include "w2dsurfacegraphicitem.h"
#include "win32keyboard.h"

#include <cmath>
#include <memory>
#include <vector>

namespace uitest
{
namespace
{

constexpr float kPi = 3.14159265f;

void Lit(W2dGenericItem* item)
{
    item->SetColour({255, 255, 255, 255});
}
void Dim(W2dGenericItem* item)
{
    item->SetColour({90, 90, 90, 255});
}

class Wheel : public UiTest
{
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        mClocks->SetReal(Ticks(10.0));
        mResources->SolidTexture("UI_FLAG_TEX", 4, 4, 0xFF3060C0u);
        mInput = std::make_unique<InjectedInput>();
        ASSERT_TRUE(mInput->Bind("MENU_NEXT", "VK_DOWN"));
        ASSERT_TRUE(mInput->Bind("MENU_NEXT_VALUE", "VK_RIGHT"));
        ASSERT_TRUE(mInput->Bind("MENU_PREVIOUS_VALUE", "VK_LEFT"));
        ASSERT_TRUE(mInput->Bind("MENU_UP", "VK_ESCAPE"));
        mInput->Frame();
        mSavedStep = HbRealClock::Instance()->mLastStepSeconds;
        HbRealClock::Instance()->mLastStepSeconds = 0.1f;
    }

    void TearDown() override
    {
        if (mWheel)
        {
            mWheel->Clear();
            mWheel->Release();
        }
        HbRealClock::Instance()->mLastStepSeconds = mSavedStep;
        mInput.reset();
        UiTest::TearDown();
    }

    void Build(int count)
    {
        mWheel = new MoCircularMenu(nullptr);
        mWheel->AddRef();
        mWheel->SetProperty(1, Lit);
        mWheel->SetProperty(3, Dim);
        for (int i = 0; i < count; ++i)
        {
            auto* entry = new W2dMenu(mWheel);
            auto* label = new W2dPictureItem("UI_FLAG_TEX", -1.0f, nullptr);
            label->AddRef();
            label->Create();
            label->SetSize({0.15f, 0.1f, 0.0f});
            label->Hide();
            entry->SetLabel(label);
            label->HbRoot::Release();
            mWheel->AddEntry(entry);
            mEntries.push_back(entry);
        }
    }

    /// The centre of the entry's label.
    Vector CentreOf(int index)
    {
        Vector at, size;
        mEntries[size_t(index)]->GetLabel()->GetPosition(&at);
        mEntries[size_t(index)]->GetLabel()->GetSize(&size);
        return {at.x + size.x / 2.0f, at.y + size.y / 2.0f, 0.0f};
    }

    W2dMenu* Frame(std::initializer_list<uint8_t> keys = {})
    {
        for (uint8_t key : keys)
            mInput->Press(key);
        mInput->Frame();
        W2dMenu* next = mWheel->HandleInput();
        for (uint8_t key : keys)
            mInput->Lift(key);
        return next;
    }

    std::unique_ptr<InjectedInput> mInput;
    MoCircularMenu* mWheel = nullptr;
    std::vector<W2dMenu*> mEntries;
    float mSavedStep = 0.0f;
};

TEST_F(Wheel, LabelsSitOnTheWheelWithTheCurrentOneBelowTheCentre)
{
    Build(5);
    EXPECT_EQ(Frame(), mWheel);
    EXPECT_FLOAT_EQ(mWheel->GetStepAngle(), 72.0f);
    Vector current = CentreOf(0);
    EXPECT_NEAR(current.x, 0.5f, 1e-5f);
    EXPECT_NEAR(current.y, 0.7f, 1e-5f);
    EXPECT_EQ(mEntries[0]->GetLabel()->GetUpdateCallback(), Lit);
    // The next entry one slot further round: 0.2 from the centre, 72 degrees from the current one.
    Vector next = CentreOf(1);
    float dx = next.x - 0.5f, dy = next.y - 0.5f;
    EXPECT_NEAR(std::sqrt(dx * dx + dy * dy), 0.2f, 1e-5f);
    EXPECT_NEAR(dy, 0.2f * std::cos(72.0f * kPi / 180.0f), 1e-5f);
    EXPECT_EQ(mEntries[1]->GetLabel()->GetUpdateCallback(), Dim);
    EXPECT_FALSE(mEntries[4]->GetLabel()->IsHidden());
}

TEST_F(Wheel, AStepTurnsOneSlotInFourTenthsOfASecondAndIgnoresPressesMeanwhile)
{
    Build(5);
    Frame();
    Frame({VK_RIGHT});
    EXPECT_EQ(mWheel->GetCurrentEntry(), mEntries[1]);
    EXPECT_EQ(mWheel->IsMoving(), 1);
    // The wheel starts where it was: the new current entry is still a slot away from the bottom.
    std::vector<float> turned;
    for (int frame = 0; frame < 4; ++frame)
    {
        Frame({VK_RIGHT});
        turned.push_back(mWheel->GetTurned());
        EXPECT_EQ(mWheel->GetCurrentEntry(), mEntries[1]) << "a press during the move does nothing";
    }
    EXPECT_NEAR(turned[0], -18.0f, 1e-3f);
    EXPECT_NEAR(turned[3], -72.0f, 1e-3f) << "0.4 s at 180 degrees a second";
    Vector moving = CentreOf(1);
    EXPECT_GT(std::fabs(moving.x - 0.5f), 0.01f) << "placed before the last turn of the move";
    Frame();
    EXPECT_EQ(mWheel->IsMoving(), 0);
    Vector atRest = CentreOf(1);
    EXPECT_NEAR(atRest.x, 0.5f, 1e-4f) << "at rest on the slot";
    EXPECT_NEAR(atRest.y, 0.7f, 1e-4f);
    // Now a press is read again, backwards.
    Frame({VK_LEFT});
    EXPECT_EQ(mWheel->GetCurrentEntry(), mEntries[0]);
    EXPECT_EQ(mWheel->IsMoveBackward(), 1);
    Frame();
    EXPECT_NEAR(mWheel->GetTurned(), 18.0f, 1e-3f);
}

TEST_F(Wheel, OneEntryTurnsAFullCircleAndTheNavigationActionsDoNotTurnIt)
{
    Build(1);
    Frame({VK_DOWN});
    EXPECT_EQ(mWheel->IsMoving(), 0) << "MENU_NEXT is not the wheel's";
    EXPECT_EQ(Frame({VK_ESCAPE}), mWheel) << "a back press on the root does nothing";
    EXPECT_FLOAT_EQ(mWheel->GetStepAngle(), 360.0f);
    Frame({VK_RIGHT});
    EXPECT_EQ(mWheel->IsMoving(), 1);
    for (int frame = 0; frame < 19; ++frame)
        Frame();
    EXPECT_EQ(mWheel->IsMoving(), 1) << "1.9 s into a two-second turn";
    Frame();
    Frame();
    EXPECT_EQ(mWheel->IsMoving(), 0);
}

} // namespace
} // namespace uitest
