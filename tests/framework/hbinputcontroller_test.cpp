// Tests of the controller base (binding rules, per-context tables, context ids
// without a table, a second binding script), the keyboard's and mouse's key
// names, axis elements, and the mouse's movement, wheel and buttons.
#include "hbaxiselement.h"
#include "hbinput_fixture.h"
#include "hbkeyboardcontroller.h"
#include "hbmousecontroller.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace
{

using hbtest::InputFixture;

class HbControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mKeyboard = new HbKeyboardController();
        mKeyboard->AddRef();
        mKeyboard->SetKeyStates(mKeys, sizeof mKeys);
        mKeyboard->BeginBindings();
    }
    void TearDown() override { mKeyboard->Release(); }

    /// Compiles the tables for the count of contexts and makes one current.
    void Compile(int32_t contexts, int32_t current)
    {
        mKeyboard->SetContextCount(contexts);
        mKeyboard->EndBindings();
        mKeyboard->SetContext(current);
    }

    uint8_t mKeys[256] = {};
    HbKeyboardController* mKeyboard = nullptr;
};

TEST_F(HbControllerTest, BindRefusesBadKeyTextsAndConflicts)
{
    const struct
    {
        const char* keys;
        int32_t state;
    } refused[] = {
        {"", kHbStateDown},
        {"VK_NOPE", kHbStateDown},
        {"VK_A+VK_NOPE", kHbStateDown}, // refused as a whole
        {"VK_A+", kHbStateDown},
        {"vk_a", kHbStateDown},          // names are case-sensitive
        {"VK_A+VK_B", kHbStateReleased}, // a release watches one key
        {"VK_A+VK_B+VK_C+VK_D", kHbStateDown},
        {"VK_KANA+VK_HANGUL", kHbStateDown}, // one key under two names
    };
    for (const auto& r : refused)
    {
        SCOPED_TRACE(r.keys);
        EXPECT_EQ(mKeyboard->Bind("act", r.keys, r.state, 0, nullptr), 0);
    }
    EXPECT_TRUE(mKeyboard->GetBindingMap().IsEmpty());

    uint32_t bindings = HbController::GetBindingCount();
    ASSERT_EQ(mKeyboard->Bind("act", "VK_A+VK_B+VK_C", kHbStateDown, 0, nullptr), 1);
    int32_t conflicts = HbController::GetConflictCount();
    EXPECT_EQ(mKeyboard->Bind("act", "VK_Z", kHbStateDown, 0, nullptr), 0);
    EXPECT_EQ(HbController::GetConflictCount(), conflicts + 1);
    // Another context only adds the context; its keys are ignored; a third is refused.
    EXPECT_EQ(mKeyboard->Bind("act", "VK_NOPE", kHbStateDown, 1, nullptr), 1);
    EXPECT_EQ(mKeyboard->Bind("act", "VK_A", kHbStateDown, 2, nullptr), 0);
    EXPECT_EQ(HbController::GetBindingCount(), bindings + 2);

    Compile(3, 1);
    HbInputAction* action = mKeyboard->FindAction("act");
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->GetConditionCount(), 3);
    EXPECT_EQ(mKeyboard->GetTableSize(0), 1);
    EXPECT_EQ(mKeyboard->GetTableSize(1), 1);
    EXPECT_EQ(mKeyboard->GetTableSize(2), 0);
}

TEST_F(HbControllerTest, OnlyTheCurrentContextsActionsFireAndFindActionWaitsForTheTables)
{
    HbInputAction* found = nullptr;
    ASSERT_EQ(mKeyboard->Bind("menu", "VK_RETURN", kHbStateDown, 0, nullptr), 1);
    ASSERT_EQ(mKeyboard->Bind("game", "VK_RETURN", kHbStateDown, 1, nullptr), 1);
    EXPECT_EQ(mKeyboard->FindAction("menu"), nullptr);
    Compile(2, 0);
    found = mKeyboard->FindAction("game");
    ASSERT_NE(found, nullptr);
    mKeys[VK_RETURN] = 0x80;
    for (int32_t current : {0, 1, 0})
    {
        mKeyboard->SetContext(current);
        mKeyboard->Update();
        EXPECT_EQ(mKeyboard->FindAction("menu")->IsTriggered(), current == 0 ? 1 : 0);
        EXPECT_EQ(found->IsTriggered(), current == 1 ? 1 : 0);
    }
}

TEST_F(HbControllerTest, ContextIdsWithoutATableLeaveEveryActionDisabled)
{
    ASSERT_EQ(mKeyboard->Bind("a", "VK_A", kHbStateDown, 0, nullptr), 1);
    ASSERT_EQ(mKeyboard->Bind("late", "VK_B", kHbStateDown, 5, nullptr), 1); // no table for 5
    Compile(2, 0);
    EXPECT_EQ(mKeyboard->FindAction("late"), nullptr);
    mKeys['A'] = 0x80;
    for (int32_t id : {-1, 2, 5, 1000000})
    {
        SCOPED_TRACE(id);
        mKeyboard->SetContext(id);
        mKeyboard->Update();
        EXPECT_EQ(mKeyboard->FindAction("a")->IsTriggered(), 0);
    }
}

TEST_F(HbControllerTest, ASecondBindingScriptAddsToTheFirst)
{
    ASSERT_EQ(mKeyboard->Bind("a", "VK_A", kHbStateDown, 0, nullptr), 1);
    Compile(1, 0);
    HbInputAction* first = mKeyboard->FindAction("a");
    mKeyboard->BeginBindings();
    EXPECT_EQ(mKeyboard->FindAction("a"), nullptr);
    EXPECT_EQ(mKeyboard->Bind("a", "VK_A", kHbStateDown, 0, nullptr), 0); // still known: a conflict
    ASSERT_EQ(mKeyboard->Bind("b", "VK_B", kHbStateDown, 1, nullptr), 1);
    Compile(2, 0);
    EXPECT_EQ(mKeyboard->FindAction("a"), first);
    EXPECT_NE(mKeyboard->FindAction("b"), nullptr);
}

TEST(HbKeyNames, KeyboardAndMouseNameTheirVirtualKeys)
{
    Win32TestUseScript(); // the mouse asks the window system for the desktop
    HbKeyboardController keyboard;
    const struct
    {
        const char* name;
        int32_t code;
    } names[] = {{"VK_CANCEL", 3},  {"VK_KANA", 21},       {"VK_HANGEUL", 21},  {"VK_HANGUL", 21},
                 {"VK_HANJA", 25},  {"VK_KANJI", 25},      {"VK_0", 48},        {"VK_9", 57},
                 {"VK_A", 65},      {"VK_Z", 90},          {"VK_NUMPAD9", 105}, {"VK_F12", 123},
                 {"VK_RMENU", 165}, {"VK_OEM_CLEAR", 254}, {"VK_LBUTTON", -1},  {"VK_F13", -1}};
    for (const auto& n : names)
        EXPECT_EQ(keyboard.GetKeyCode(n.name), n.code) << n.name;

    HbMouseController mouse;
    EXPECT_EQ(mouse.GetKeyCode("VK_LBUTTON"), 1);
    EXPECT_EQ(mouse.GetKeyCode("VK_RBUTTON"), 2);
    EXPECT_EQ(mouse.GetKeyCode("VK_MBUTTON"), 4);
    EXPECT_EQ(mouse.GetKeyCode("VK_A"), -1);
}

// ---- Axis elements ------------------------------------------------------------------------

class FixedAxes : public HbAxisElement
{
public:
    FixedAxes() : HbAxisElement(2) {}
    float GetRaw(int32_t index) override { return index == 0 ? raw : 0.0f; }
    float raw = 0.0f;
};

TEST(HbAxisElement, TheDeadZoneMapsRawValuesOntoMinusOneToOne)
{
    FixedAxes axes;
    axes.SetRange(0, 127, 0);
    EXPECT_EQ(axes.GetRangeLow(0), 0);
    axes.SetDeadZone(0, 32, 95);
    const struct
    {
        float raw;
        float expected;
    } cases[] = {{0, 0}, {-20, 0}, {32, 0}, {40, 8.0f / 63}, {-50, -18.0f / 63}, {95, 1}, {100, 1}, {-128, -1}};
    for (const auto& c : cases)
    {
        axes.raw = c.raw;
        EXPECT_FLOAT_EQ(axes.GetAxis(0), c.expected) << c.raw;
    }
    axes.SetInverted(0, 1);
    axes.raw = 40;
    EXPECT_FLOAT_EQ(axes.GetAxis(0), -8.0f / 63);

    // Equal ends make a switch rather than a division by zero.
    axes.SetInverted(0, 0);
    axes.SetDeadZone(0, 50, 50);
    for (float raw : {50.0f, 49.0f, 51.0f, -60.0f})
    {
        axes.raw = raw;
        float got = axes.GetAxis(0);
        EXPECT_TRUE(std::isfinite(got));
        EXPECT_FLOAT_EQ(got, std::fabs(raw) > 50 ? (raw < 0 ? -1.0f : 1.0f) : 0.0f) << raw;
    }
    // Indices outside the element are ignored.
    axes.SetDeadZone(7, 1, 2);
    axes.SetInverted(-1, 1);
    EXPECT_EQ(axes.GetAxis(2), 0.0f);
    EXPECT_EQ(HbAxisElement(0).GetAxisCount(), 1);
    EXPECT_EQ(HbAxisElement(9).GetAxisCount(), 3);
}

// ---- Mouse --------------------------------------------------------------------------------

class HbMouseTest : public InputFixture
{
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        ASSERT_EQ(Manager().CreateController(0, "Mouse"), 1);
        mMouse = static_cast<HbMouseController*>(Manager().GetController(kHbControllerMouse));
        ASSERT_NE(mMouse, nullptr);
        ASSERT_NE(Manager().GetMouseDevice(), nullptr);
        Frame(); // acquires the mouse
    }

    HbMouseController* mMouse = nullptr;
};

TEST_F(HbMouseTest, MovementIsAFractionOfTheDesktopAndTheWheelADirection)
{
    dinput8test::MouseMotion(256, -192);
    dinput8test::MouseWheel(2);
    Frame();
    float axis[2] = {};
    EXPECT_EQ(Manager().GetControllerAxis(kHbControllerMouse, 0, axis), 1);
    EXPECT_FLOAT_EQ(axis[0], 0.25f);
    EXPECT_FLOAT_EQ(axis[1], -0.25f);
    float wheel = 0.0f;
    EXPECT_EQ(Manager().GetControllerValue(kHbControllerMouse, 0, &wheel), 1);
    EXPECT_EQ(wheel, 1.0f);

    // Per frame: nothing moved since.
    Frame();
    Manager().GetControllerAxis(kHbControllerMouse, 0, axis);
    EXPECT_EQ(axis[0], 0.0f);
    Manager().GetControllerValue(kHbControllerMouse, 0, &wheel);
    EXPECT_EQ(wheel, 0.0f);

    dinput8test::MouseMotion(-512, 0);
    dinput8test::MouseWheel(-1);
    mMouse->SetSensitivity(0.5f);
    EXPECT_EQ(mMouse->SetAxisInverted(0, 0, 1), 1);
    EXPECT_EQ(mMouse->SetAxisInverted(1, 0, 1), 0);
    Frame();
    Manager().GetControllerAxis(kHbControllerMouse, 0, axis);
    EXPECT_FLOAT_EQ(axis[0], 0.25f);
    Manager().GetControllerValue(kHbControllerMouse, 0, &wheel);
    EXPECT_EQ(wheel, -1.0f);
    EXPECT_EQ(Manager().GetControllerAxis(kHbControllerMouse, 1, axis), 0);
    EXPECT_EQ(axis[0], 0.0f);
    mMouse->SetSensitivity(-2.0f);
    EXPECT_EQ(mMouse->GetSensitivity(), 0.0f);
}

TEST_F(HbMouseTest, AnInactiveWindowReadsNoMovement)
{
    mApp->WindowState().active = 0;
    dinput8test::MouseMotion(100, 0);
    Frame();
    float axis[2] = {1, 1};
    Manager().GetControllerAxis(kHbControllerMouse, 0, axis);
    EXPECT_EQ(axis[0], 0.0f);
    // Movement while away is not delivered later either.
    mApp->WindowState().active = 1;
    Frame();
    Manager().GetControllerAxis(kHbControllerMouse, 0, axis);
    EXPECT_EQ(axis[0], 0.0f);
}

TEST_F(HbMouseTest, ButtonsComeFromTheKeyState)
{
    Manager().PushCommandContext("Game");
    RunBindings("bind Mouse FIRE VK_LBUTTON CLICK\n");
    Frame();
    // An action without a command steps only when game code asks it.
    EXPECT_EQ(Triggered("FIRE"), 0);
    Key(VK_LBUTTON, true);
    Frame();
    EXPECT_EQ(Triggered("FIRE"), 1);
    Frame();
    EXPECT_EQ(Triggered("FIRE"), 0);
}

} // namespace
