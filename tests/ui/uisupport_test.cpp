// The shared UI helpers themselves: clocks set by hand and put back, injected input actions.
#include "hbclock.h"
#include "hbinputmanager.h"
#include "ui_fixture.h"
#include "win32keyboard.h"

namespace uitest
{
namespace
{

TEST(UiSupportClocks, SetByHandAndPutBackAtTheEnd)
{
    int64_t real = HbRealClock::Instance()->mCurrentTime;
    int64_t game = HbGameClock::Instance()->mGameTime;
    {
        Clocks clocks;
        clocks.SetReal(Ticks(2.0));
        clocks.AdvanceReal(Ticks(0.5));
        EXPECT_EQ(HbRealClock::Instance()->mCurrentTime, 25000000);
        clocks.SetGame(Ticks(1.0));
        clocks.AdvanceGame(7);
        EXPECT_EQ(clocks.Game(), 10000007);
    }
    EXPECT_EQ(HbRealClock::Instance()->mCurrentTime, real);
    EXPECT_EQ(HbGameClock::Instance()->mGameTime, game);
}

using UiSupportInput = UiTest;

TEST_F(UiSupportInput, ABoundActionRaisesTheBindingCounterAndFiresWhileItsKeyIsDown)
{
    InjectedInput input;
    uint32_t counter = HbInputManager::BindingCounter();
    ASSERT_TRUE(input.Bind("MENU_NEXT", "VK_DOWN"));
    EXPECT_NE(HbInputManager::BindingCounter(), counter);
    EXPECT_EQ(InjectedInput::Triggered("MENU_UNBOUND"), -1);
    input.Frame();
    EXPECT_EQ(InjectedInput::Triggered("MENU_NEXT"), 0);
    input.Press(VK_DOWN);
    input.Frame();
    EXPECT_EQ(InjectedInput::Triggered("MENU_NEXT"), 1);
    input.Lift(VK_DOWN);
    input.Frame();
    EXPECT_EQ(InjectedInput::Triggered("MENU_NEXT"), 0);
}

} // namespace
} // namespace uitest
