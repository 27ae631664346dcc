// Tests of the input manager: binding scripts with controllers, contexts and
// bind lines; the context stack; action look-up; the console commands; bound
// commands; a failing key state; DirectInput missing.
#include "hbcontroller.h"
#include "hbinput_fixture.h"
#include "hbmemoryhook.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using hbtest::CountingCommand;
using hbtest::InputFixture;

using HbInputManagerTest = InputFixture;

TEST_F(HbInputManagerTest, ABindingScriptBuildsPerContextTables)
{
    RunBindings("CreateControler 0 Keyboard\n"
                "CreateControler 1 Mouse\n"
                "SetCommandContext Menu\n"
                "bind Keyboard MENU_CHOOSE VK_RETURN CLICK\n"
                "bind Keyboard MENU_UP VK_ESCAPE CLICK\n"
                "bind Keyboard START VK_RETURN CLICK\n"
                "SetCommandContext Game\n"
                "bind Keyboard JUMP VK_SPACE CLICK\n"
                "bind Keyboard START VK_RETURN CLICK\n"
                "bind Keyboard WALK VK_W+VK_LSHIFT DOWN\n"
                "bind Mouse FIRE VK_LBUTTON DOWN\n"
                "bind Joystick LOOK VK_L DOWN\n"
                "bind Keyboard SNEAK VK_S PRESSED\n");
    HbController* keyboard = Manager().GetController(kHbControllerKeyboard);
    HbController* mouse = Manager().GetController(kHbControllerMouse);
    ASSERT_NE(keyboard, nullptr);
    ASSERT_NE(mouse, nullptr);
    EXPECT_EQ(Manager().GetContextNameCount(), 2);
    EXPECT_EQ(Manager().GetCommandContextName(), "Game");
    EXPECT_EQ(keyboard->GetTableCount(), 2);
    EXPECT_EQ(keyboard->GetTableSize(0), 3); // Menu: MENU_CHOOSE, MENU_UP, START
    EXPECT_EQ(keyboard->GetTableSize(1), 3); // Game: JUMP, START, WALK
    EXPECT_EQ(mouse->GetTableSize(0), 0);
    EXPECT_EQ(mouse->GetTableSize(1), 1);
    EXPECT_EQ(Manager().FindAction("LOOK"), nullptr);  // no such controller: nothing bound
    EXPECT_EQ(Manager().FindAction("SNEAK"), nullptr); // no such state

    // The context the script left current is live at once. Polled clicks must
    // have been asked while their key was up.
    Frame();
    EXPECT_EQ(Triggered("START"), 0);
    EXPECT_EQ(Triggered("JUMP"), 0);
    Key(VK_RETURN, true);
    Key(VK_SPACE, true);
    Key('W', true);
    Frame();
    EXPECT_EQ(Triggered("START"), 1);
    EXPECT_EQ(Triggered("JUMP"), 1);
    EXPECT_EQ(Triggered("MENU_CHOOSE"), 0);
    EXPECT_EQ(Triggered("WALK"), 0); // a chord holds only with all its keys
    Key(VK_LSHIFT, true);
    Frame();
    EXPECT_EQ(Triggered("WALK"), 1);
    EXPECT_EQ(Triggered("START"), 0); // held: no second click
}

TEST_F(HbInputManagerTest, ContextsArePushedAndPoppedOnlyFromTheTop)
{
    RunBindings("CreateControler 0 Keyboard\n"
                "CreateControler 3 Mouse\n"
                "SetCommandContext MENU\n"
                "bind Keyboard OK VK_RETURN DOWN\n"
                "SetCommandContext GAME\n"
                "bind Keyboard OK2 VK_RETURN DOWN\n");
    ASSERT_EQ(Manager().PopCommandContext("GAME"), 1);
    ASSERT_EQ(Manager().PopCommandContext("MENU"), 1);
    EXPECT_EQ(Manager().GetCommandContextName(), "Default");

    ASSERT_EQ(Manager().PushCommandContext("MENU"), 1);
    ASSERT_EQ(Manager().PushCommandContext("GAME"), 1);
    EXPECT_EQ(Manager().PopCommandContext("MENU"), 0);
    EXPECT_EQ(Manager().GetCommandContextName(), "GAME");
    EXPECT_EQ(Manager().PopCommandContext("GAME"), 1);
    EXPECT_EQ(Manager().GetCommandContextName(), "MENU");
    EXPECT_EQ(Manager().GetSlotController(0)->GetContext(), 0);
    EXPECT_EQ(Manager().GetSlotController(3)->GetContext(), 0);

    Key(VK_RETURN, true);
    Frame();
    EXPECT_EQ(Triggered("OK"), 1);
    // Popping the last context leaves none: nothing fires.
    EXPECT_EQ(Manager().PopCommandContext("MENU"), 1);
    EXPECT_EQ(Manager().GetSlotController(0)->GetContext(), -1);
    Frame();
    EXPECT_EQ(Triggered("OK"), 0);
    EXPECT_EQ(Triggered("OK2"), 0);
    EXPECT_EQ(Manager().PopCommandContext("MENU"), 0);
    EXPECT_EQ(Manager().PopCommandContext("NEVER"), 0);

    // The same context pushed twice needs two pops.
    Manager().PushCommandContext("GAME");
    Manager().PushCommandContext("GAME");
    EXPECT_EQ(Manager().PopCommandContext("GAME"), 1);
    EXPECT_EQ(Manager().GetCommandContextName(), "GAME");
    EXPECT_EQ(Manager().GetContextNameCount(), 2);
}

TEST_F(HbInputManagerTest, TheDefaultContextIsCurrentWhileTheStackIsEmpty)
{
    RunBindings("CreateControler 0 Keyboard\n"
                "SetCommandContext Menu\n"
                "bind Keyboard MENU_CHOOSE VK_RETURN CLICK\n"
                "SetCommandContext Default\n"
                "bind Keyboard START VK_RETURN CLICK\n");
    ASSERT_EQ(Manager().PopCommandContext("Default"), 1);
    ASSERT_EQ(Manager().PopCommandContext("Menu"), 1);
    EXPECT_EQ(Manager().GetContextDepth(), 0);
    EXPECT_EQ(Manager().GetCommandContextName(), kHbDefaultCommandContext);
    EXPECT_EQ(Manager().GetCurrentContext(), 1);
    EXPECT_EQ(Manager().GetSlotController(0)->GetContext(), 1);

    // Clicks are polled with the key up, then with it down.
    auto pressReturn = [&]
    {
        Key(VK_RETURN, false);
        Frame();
        Triggered("START");
        Triggered("MENU_CHOOSE");
        Key(VK_RETURN, true);
        Frame();
    };
    // With nothing pushed, what was bound in the default context fires, and only that.
    pressReturn();
    EXPECT_EQ(Triggered("START"), 1);
    EXPECT_EQ(Triggered("MENU_CHOOSE"), 0);

    // A pushed context replaces it until popped; a controller made meanwhile reads the top.
    Manager().PushCommandContext("Menu");
    ASSERT_EQ(Manager().CreateController(1, "Mouse"), 1);
    EXPECT_EQ(Manager().GetSlotController(1)->GetContext(), 0);
    pressReturn();
    EXPECT_EQ(Triggered("START"), 0);
    EXPECT_EQ(Triggered("MENU_CHOOSE"), 1);
    ASSERT_EQ(Manager().PopCommandContext("Menu"), 1);
    EXPECT_EQ(Manager().GetSlotController(1)->GetContext(), 1);
    pressReturn();
    EXPECT_EQ(Triggered("START"), 1);

    // The stack empty never pops: the default context is not on it.
    EXPECT_EQ(Manager().PopCommandContext("Default"), 0);
}

TEST_F(HbInputManagerTest, FindActionAsksTheSlotsInOrderAndComparesExactly)
{
    dinput8test::AttachPad();
    RunBindings("CreateControler 2 Paddle1\n"
                "CreateControler 0 Keyboard\n"
                "SetCommandContext Game\n"
                "bind Paddle1 JUMP SCE_PADRdown CLICK\n"
                "bind Keyboard JUMP VK_SPACE CLICK\n"
                "bind Keyboard fire VK_F CLICK\n");
    HbInputAction* jump = Manager().FindAction("JUMP");
    ASSERT_NE(jump, nullptr);
    EXPECT_EQ(jump, Manager().GetController(kHbControllerKeyboard)->FindAction("JUMP"));
    EXPECT_NE(jump, Manager().GetController(kHbControllerPad1)->FindAction("JUMP"));
    EXPECT_EQ(Manager().FindAction("FIRE"), nullptr);
    EXPECT_NE(Manager().FindAction("fire"), nullptr);
}

TEST_F(HbInputManagerTest, ConsoleCommandsCheckTheirArguments)
{
    HbCommandManager* commands = HbCommandManager::Instance();
    const struct
    {
        const char* line;
        int expected;
    } lines[] = {
        {"CreateControler 4 Keyboard", HbCommandManager::kFailed},
        {"CreateControler 0 Joystick", HbCommandManager::kFailed},
        {"CreateControler 00 Keyboard", HbCommandManager::kFailed},
        {"CreateControler -1 Keyboard", HbCommandManager::kFailed},
        {"CreateControler 0", HbCommandManager::kFailed},
        {"CreateControler 0 Keyboard extra", HbCommandManager::kFailed},
        {"CreateControler 1 Paddle1", HbCommandManager::kDone}, // no pad: the slot stays empty
        {"CreateControler 2 Keyboard", HbCommandManager::kDone},
        {"SetCommandContext", HbCommandManager::kFailed},
        {"SetCommandContext A B", HbCommandManager::kFailed},
        {"SetCommandContext A", HbCommandManager::kDone},
    };
    for (const auto& l : lines)
        EXPECT_EQ(commands->ExecuteLine(l.line), l.expected) << l.line;
    EXPECT_EQ(Manager().GetSlotController(1), nullptr);
    EXPECT_EQ(Manager().GetSlotKind(1), kHbControllerNone);
    EXPECT_EQ(Manager().IsPadPresent(), 0);
    EXPECT_EQ(Manager().GetSlotKind(2), kHbControllerKeyboard);
    EXPECT_EQ(Manager().GetCommandContextName(), "A");

    // A controller already in the slot is replaced, and cached actions must be looked up again.
    uint32_t counter = HbInputManager::BindingCounter();
    EXPECT_EQ(commands->ExecuteLine("CreateControler 2 Mouse"), HbCommandManager::kDone);
    EXPECT_EQ(Manager().GetSlotKind(2), kHbControllerMouse);
    EXPECT_EQ(Manager().FindControllerKind("Mouse"), kHbControllerMouse);
    EXPECT_EQ(Manager().FindControllerKind("Keyboard"), kHbControllerNone);
    EXPECT_NE(HbInputManager::BindingCounter(), counter);

    const char* states[] = {"", "CLICK", "DBL_CLICK", "TRPL_CLICK", "RELEASED", "DOWN", "UP", "TOGGLED"};
    for (int32_t id = 1; id <= 7; ++id)
        EXPECT_EQ(Manager().GetActionStateId(states[id]), id);
    EXPECT_EQ(Manager().GetActionStateId("click"), 0);
}

TEST_F(HbInputManagerTest, BindingNeedsACurrentContextAndRaisesTheCounter)
{
    ASSERT_EQ(Manager().CreateController(0, "Keyboard"), 1);
    EXPECT_EQ(Manager().Bind(kHbControllerKeyboard, "A", "VK_A", kHbStateDown, nullptr), 0);
    EXPECT_EQ(Manager().BindFromText("Keyboard", "A", "VK_A", "DOWN"), 0);
    Manager().PushCommandContext("Game");
    uint32_t counter = HbInputManager::BindingCounter();
    EXPECT_EQ(Manager().BindFromText("Keyboard", "A", "VK_A", "DOWN"), 1);
    EXPECT_EQ(HbInputManager::BindingCounter(), counter + 1);
    EXPECT_EQ(Manager().Bind(kHbControllerMouse, "B", "VK_LBUTTON", kHbStateDown, nullptr), 0);
}

CountingCommand gQuickSave("zzQuickSave");

TEST_F(HbInputManagerTest, ABoundCommandRunsWhenItsActionFiresAndNotWhenTheKeyStateFails)
{
    RunBindings("CreateControler 0 Keyboard\n"
                "SetCommandContext Game\n"
                "bind Keyboard zzQuickSave VK_F5 CLICK\n");
    gQuickSave.runs = 0;
    Frame();
    Key(VK_F1 + 4, true);
    Frame();
    EXPECT_EQ(gQuickSave.runs, 1);
    Frame();
    EXPECT_EQ(gQuickSave.runs, 1);

    Key(VK_F1 + 4, false);
    Frame();
    Key(VK_F1 + 4, true);
    Win32TestSetFault(Win32Fault::KeyboardState, true);
    EXPECT_EQ(Frame(), 0);
    EXPECT_EQ(gQuickSave.runs, 1);
    Win32TestSetFault(Win32Fault::KeyboardState, false);
    EXPECT_EQ(Frame(), 1);
    EXPECT_EQ(gQuickSave.runs, 2);
}

int gAllocations = 0;

TEST_F(HbInputManagerTest, AFrameOfBoundActionsAllocatesNothing)
{
    RunBindings("CreateControler 0 Keyboard\n"
                "SetCommandContext Game\n"
                "bind Keyboard zzQuickSave VK_F5 CLICK\n");
    Frame();
    gAllocations = 0;
    HbSetAllocationHook([] { ++gAllocations; });
    Frame();
    Frame();
    HbSetAllocationHook(nullptr);
    EXPECT_EQ(gAllocations, 0);
}

/// Replaces the keyboard while the keyboard is dispatching it.
class ReplaceKeyboardCommand : public HbCommand
{
public:
    ReplaceKeyboardCommand() : HbCommand("zzReplaceKeyboard", "") {}
    int Execute(const HbCommandArgs&, int32_t) override
    {
        ++runs;
        return HbCommandManager::Instance()->ExecuteLine("CreateControler 0 Keyboard") == HbCommandManager::kDone;
    }
    int runs = 0;
};
ReplaceKeyboardCommand gReplaceKeyboard;

TEST_F(HbInputManagerTest, ACommandMayReplaceTheControllerThatRunsIt)
{
    RunBindings("CreateControler 0 Keyboard\n"
                "SetCommandContext Game\n"
                "bind Keyboard zzReplaceKeyboard VK_R DOWN\n"
                "bind Keyboard zzQuickSave VK_R DOWN\n");
    gReplaceKeyboard.runs = 0;
    HbController* before = Manager().GetSlotController(0);
    Key('R', true);
    Frame();
    EXPECT_EQ(gReplaceKeyboard.runs, 1);
    EXPECT_NE(Manager().GetSlotController(0), nullptr);
    EXPECT_NE(Manager().GetSlotController(0), before);
    EXPECT_EQ(Manager().FindAction("zzReplaceKeyboard"), nullptr); // the new keyboard has no bindings
}

TEST_F(HbInputManagerTest, WithoutDirectInputOnlyTheKeyboardWorks)
{
    dinput8test::AttachPad();
    dinput8test::SetFault(dinput8test::Fault::Create, true);
    RunBindings("CreateControler 0 Keyboard\n"
                "CreateControler 1 Mouse\n"
                "CreateControler 2 Paddle1\n"
                "SetCommandContext Game\n"
                "bind Keyboard JUMP VK_SPACE DOWN\n");
    EXPECT_EQ(Manager().GetDirectInput(), nullptr);
    EXPECT_EQ(Manager().GetMouseDevice(), nullptr);
    EXPECT_EQ(Manager().GetSlotController(2), nullptr);
    EXPECT_EQ(Manager().IsPadPresent(), 0);
    dinput8test::MouseMotion(300, 300);
    Key(VK_SPACE, true);
    EXPECT_EQ(Frame(), 1);
    EXPECT_EQ(Triggered("JUMP"), 1);
    float axis[2] = {1, 1};
    EXPECT_EQ(Manager().GetControllerAxis(kHbControllerMouse, 0, axis), 1);
    EXPECT_EQ(axis[0], 0.0f);
    EXPECT_EQ(axis[1], 0.0f);
}

} // namespace
