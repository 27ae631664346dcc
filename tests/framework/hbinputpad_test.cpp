// Tests of the pad controller on injected pads: the accepted identities, the
// sticks through their dead zone, button names driving actions, rumble on the
// real clock, and input lost and found again.
#include "hbinput_fixture.h"
#include "hbpadcontroller.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

using dinput8test::RumbleCall;
using hbtest::InputFixture;

constexpr DWORD kEscape = 0x7834BB08;

/// The raw axis value (0..65535) that reads as about v on a stick (-128..128).
LONG AxisFor(float v)
{
    return static_cast<LONG>(std::lround((v / 128.0f + 1.0f) / 0.000030520372f));
}

class HbPadTest : public InputFixture
{
protected:
    /// A first pad on slot 2 with the bindings, read once.
    void OpenPad(const std::string& bindings = "", const dinput8test::PadDesc& desc = {})
    {
        mPadId = dinput8test::AttachPad(desc);
        RunBindings("CreateControler 2 Paddle1\n"
                    "SetCommandContext Game\n" +
                    bindings);
        mPad = static_cast<HbPadController*>(Manager().GetController(kHbControllerPad1));
        ASSERT_NE(mPad, nullptr);
        Frame();
    }

    std::vector<RumbleCall> Motors() const { return dinput8test::RumbleLog(); }

    uint32_t mPadId = 0;
    HbPadController* mPad = nullptr;
};

TEST_F(HbPadTest, OnlyTheTwoAcceptedProductIdentitiesAreOpened)
{
    const struct
    {
        uint16_t vendor;
        uint16_t product;
        bool opened;
    } cases[] = {{0x6666, 0x0667, true}, {0x3427, 0x1190, true}, {0x045E, 0x028E, false}, {0x0667, 0x6666, false}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.vendor);
        Manager().Reset();
        dinput8test::UseSource(dinput8test::Source::Injected);
        dinput8test::PadDesc desc;
        desc.vendor = c.vendor;
        desc.product = c.product;
        dinput8test::AttachPad(desc);
        EXPECT_EQ(HbCommandManager::Instance()->ExecuteLine("CreateControler 0 Paddle1"), HbCommandManager::kDone);
        EXPECT_EQ(Manager().GetSlotController(0) != nullptr, c.opened);
        EXPECT_EQ(Manager().IsPadPresent(), c.opened ? 1 : 0);
    }
    // A second pad opens the first accepted device too, and does not count as the first pad.
    Manager().Reset();
    dinput8test::AttachPad();
    EXPECT_EQ(Manager().CreateController(1, "Paddle2"), 1);
    EXPECT_EQ(Manager().GetSlotKind(1), kHbControllerPad2);
    EXPECT_EQ(static_cast<HbPadController*>(Manager().GetSlotController(1))->GetPadIndex(), 1);
    EXPECT_EQ(Manager().IsPadPresent(), 0);
}

TEST_F(HbPadTest, SticksReadZeroInsideTheDeadZoneAndFullScaleBeyondIt)
{
    OpenPad();
    const struct
    {
        float x;
        float y;
        float expectedX;
        float expectedY;
    } cases[] = {
        {0, 0, 0, 0},
        {40, 0, 8.0f / 63, 0},
        {100, -20, 1, 0},
        {-128, -128, -1, 1}, // stick up reads positive
        {-50, 50, -18.0f / 63, -18.0f / 63},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.x);
        dinput8test::SetPadAxes(mPadId, AxisFor(c.x), AxisFor(c.y), AxisFor(-c.x), AxisFor(c.y));
        Frame();
        float left[2] = {};
        float right[2] = {};
        EXPECT_EQ(Manager().GetControllerAxis(kHbControllerPad1, 1, left), 1);
        EXPECT_EQ(Manager().GetControllerAxis(kHbControllerPad1, 2, right), 1);
        EXPECT_NEAR(left[0], c.expectedX, 1e-3);
        EXPECT_NEAR(left[1], c.expectedY, 1e-3);
        EXPECT_NEAR(right[0], -c.expectedX, 1e-3);
        EXPECT_NEAR(mPad->GetStick(1)->GetRaw(0), c.x, 0.01);
    }
    float out[2] = {5, 5};
    EXPECT_EQ(Manager().GetControllerAxis(kHbControllerPad1, 3, out), 0);
    EXPECT_EQ(out[0], 0.0f);
    EXPECT_EQ(mPad->SetAxisDeadZone(3, 0, 1, 2), 0);
    EXPECT_EQ(mPad->SetAxisInverted(1, 2, 1), 0);
    EXPECT_EQ(mPad->GetStick(0), nullptr);
}

TEST_F(HbPadTest, ButtonNamesDriveActions)
{
    OpenPad("bind Paddle1 JUMP SCE_PADRdown CLICK\n"
            "bind Paddle1 MENU SCE_PADstart+SCE_PADselect DOWN\n"
            "bind Paddle1 NOPE SCE_PADcircle DOWN\n");
    EXPECT_EQ(Manager().FindAction("NOPE"), nullptr);
    EXPECT_EQ(mPad->GetButtonBit(2), 14);
    EXPECT_EQ(mPad->GetButtonBit(16), -1);
    EXPECT_EQ(Triggered("JUMP"), 0);
    dinput8test::SetPadButton(mPadId, 2, true);
    dinput8test::SetPadButton(mPadId, 11, true);
    Frame();
    EXPECT_EQ(Triggered("JUMP"), 1);
    EXPECT_EQ(Triggered("MENU"), 0);
    EXPECT_EQ(mPad->GetButtons()[2], 0xF0);
    dinput8test::SetPadButton(mPadId, 8, true);
    Frame();
    EXPECT_EQ(Triggered("JUMP"), 0);
    EXPECT_EQ(Triggered("MENU"), 1);
}

TEST_F(HbPadTest, RumbleNeedsVibrationOnAndEndsOnTheRealClock)
{
    OpenPad();
    ASSERT_NE(mPad->GetEffect(3), nullptr);
    ASSERT_NE(mPad->GetEffect(4), nullptr);
    dinput8test::ClearLogs();
    EXPECT_EQ(Manager().SetControllerVibration(kHbControllerPad1, 3, 1.0f), 0);
    EXPECT_EQ(Manager().SetControllerVibration2(kHbControllerPad1, 3, 1.0f, 1.0f), 0);
    EXPECT_TRUE(Motors().empty());
    EXPECT_EQ(mPad->GetEffect(3)->GetValue(), 0);

    mPad->SetVibrationEnabled(1);
    EXPECT_EQ(Manager().SetControllerVibration2(kHbControllerPad1, 5, 1.0f, 1.0f), 0);
    // A duration of seven seconds is taken as five.
    int64_t start = HbRealClock::Instance()->mCurrentTime;
    EXPECT_EQ(Manager().SetControllerVibration2(kHbControllerPad1, 3, -0.5f, 7.0f), 1);
    HbPadEffect* strong = mPad->GetEffect(3);
    EXPECT_EQ(strong->GetValue(), 127);
    EXPECT_EQ(strong->IsUntimed(), 0);
    EXPECT_EQ(strong->GetEndTime(), start + 5 * hbtest::kCounterFrequency);
    ASSERT_FALSE(Motors().empty());
    EXPECT_EQ(Motors().back(), (RumbleCall{mPadId, 32636, 0, 1000}));
    ASSERT_FALSE(dinput8test::EscapeLog().empty());
    EXPECT_EQ(dinput8test::EscapeLog().back().command, kEscape);
    EXPECT_EQ(dinput8test::EscapeLog().back().input, (std::vector<uint8_t>{1, 0, 0, 0}));

    // The light motor follows effect 4's strength.
    EXPECT_EQ(Manager().SetControllerVibration(kHbControllerPad1, 4, 1.0f), 1);
    EXPECT_EQ(Motors().back(), (RumbleCall{mPadId, 32636, 65535, 1000}));
    EXPECT_EQ(dinput8test::EscapeLog().back().input, (std::vector<uint8_t>{0, 0, 0, 0}));

    Frame(4.9);
    EXPECT_EQ(strong->IsUntimed(), 0);
    Frame(0.2);
    EXPECT_EQ(strong->IsUntimed(), 1);
    EXPECT_EQ(strong->GetValue(), 0);
    EXPECT_EQ(Motors().back(), (RumbleCall{mPadId, 0, 65535, 1000}));

    // Switching vibration off stops both motors and refuses further rumble.
    mPad->SetVibrationEnabled(0);
    EXPECT_EQ(Motors().back(), (RumbleCall{mPadId, 0, 0, 0}));
    EXPECT_EQ(mPad->IsVibrationEnabled(), 0);
    EXPECT_EQ(Manager().SetControllerVibration(kHbControllerPad1, 4, 1.0f), 0);
}

TEST_F(HbPadTest, RumbleValuesBeyondTheRangeAreClampedAndNaNCountsAsZero)
{
    OpenPad();
    mPad->SetVibrationEnabled(1);
    constexpr int64_t kSecond = hbtest::kCounterFrequency;
    struct Case
    {
        int32_t effect;
        float strength, seconds;
        int32_t value;    // effect 3's value
        float motor;      // what the motor was given
        int64_t duration; // in counter ticks
    } cases[] = {
        {3, NAN, 1.0f, 0, 0.0f, kSecond},
        {3, 1.0f, NAN, 255, 1.0f, 0},
        {3, INFINITY, INFINITY, 255, 1.0f, 5 * kSecond},
        {3, -INFINITY, -INFINITY, 255, 1.0f, 0},
        {3, 1e30f, 1e30f, 255, 1.0f, 5 * kSecond},
        {3, -1e30f, -1e30f, 255, 1.0f, 0},
        {4, NAN, NAN, 0, 0.0f, 0},
        {4, -INFINITY, 2.0f, 0, 1.0f, 2 * kSecond},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "effect " << c.effect << " strength " << c.strength << " seconds "
                                        << c.seconds);
        int64_t now = HbRealClock::Instance()->mCurrentTime;
        EXPECT_EQ(Manager().SetControllerVibration2(kHbControllerPad1, c.effect, c.strength, c.seconds), 1);
        HbPadEffect* effect = mPad->GetEffect(c.effect);
        EXPECT_EQ(effect->GetValue(), c.value);
        EXPECT_FLOAT_EQ(effect->GetStrength(), c.motor);
        EXPECT_EQ(effect->GetEndTime(), now + c.duration);
    }
}

TEST_F(HbPadTest, APadWithoutForceFeedbackHasNoEffects)
{
    dinput8test::PadDesc desc;
    desc.forceFeedback = false;
    OpenPad("", desc);
    mPad->SetVibrationEnabled(1);
    EXPECT_EQ(mPad->GetEffect(3), nullptr);
    EXPECT_EQ(Manager().SetControllerVibration2(kHbControllerPad1, 3, 1.0f, 1.0f), 0);
    EXPECT_TRUE(Motors().empty());
}

TEST_F(HbPadTest, LostInputIsReacquiredOnceAndAnUnpluggedPadReportsNothing)
{
    OpenPad("bind Paddle1 FIRE SCE_PADR1 DOWN\n");
    dinput8test::SetPadButton(mPadId, 7, true);
    dinput8test::SetPadAxes(mPadId, AxisFor(120), AxisFor(0), AxisFor(0), AxisFor(0));
    Frame();
    EXPECT_EQ(Triggered("FIRE"), 1);

    dinput8test::LosePad(mPadId);
    EXPECT_EQ(Frame(), 1);
    EXPECT_EQ(Triggered("FIRE"), 1);

    dinput8test::DetachPad(mPadId);
    EXPECT_EQ(Frame(), 0);
    EXPECT_EQ(Triggered("FIRE"), 0);
    float left[2] = {1, 1};
    Manager().GetControllerAxis(kHbControllerPad1, 1, left);
    EXPECT_EQ(left[0], 0.0f);
    EXPECT_EQ(Frame(), 0);

    dinput8test::ReattachPad(mPadId);
    dinput8test::SetPadButton(mPadId, 7, true);
    EXPECT_EQ(Frame(), 1);
    EXPECT_EQ(Triggered("FIRE"), 1);
}

} // namespace
