// Tests of key conditions (the action states, multiple clicks on the real
// clock) and of input actions (chords, once-per-frame evaluation, limits).
#include "hbinput_fixture.h"
#include "hbkeycondition.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

using hbtest::InputFixture;

// One character per frame: '1' the key is down (0x80), '0' up, 'h' only bit 4
// set (down), 't' only the toggle bit set (up).
uint8_t ByteOf(char c)
{
    switch (c)
    {
    case '1':
        return 0x80;
    case 'h':
        return 0x10;
    case 't':
        return 0x01;
    default:
        return 0;
    }
}

TEST(HbKeyCondition, EachStateAnswersFrameByFrame)
{
    const struct
    {
        int32_t kind;
        const char* keys;
        const char* expected;
    } cases[] = {
        // A click needs the key seen up first, then fires once per press.
        {kHbStateClick, "1101101", "0001001"},
        {kHbStateClick, "0h0t1", "01001"},
        // A release needs the key seen down first.
        {kHbStateReleased, "0011010", "0000101"},
        {kHbStateDown, "01t0h", "01001"},
        {kHbStateUp, "0110", "1001"},
        // The toggle flips at each release after a press and is reported every frame.
        {kHbStateToggled, "0101100110", "0011100001"},
        {9, "0101", "0000"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string("kind ") + std::to_string(c.kind) + " keys " + c.keys);
        HbKeyCondition condition(5, c.kind);
        std::string got;
        for (const char* key = c.keys; *key; ++key)
            got += condition.Evaluate(ByteOf(*key)) ? '1' : '0';
        EXPECT_EQ(got, c.expected);
    }
}

class HbMultiClick : public InputFixture
{
protected:
    /// After the given seconds the key goes down (the answer) and up again.
    int Tap(HbKeyCondition& condition, double after)
    {
        Win32TestAdvancePerformanceCounter(static_cast<int64_t>(after * hbtest::kCounterFrequency));
        HbRealClock::Instance()->Tick();
        int fired = condition.Evaluate(0x80);
        condition.Evaluate(0);
        return fired;
    }
};

TEST_F(HbMultiClick, TwoOrThreePressesEachWithinPointFourSecondsOfTheLast)
{
    const struct
    {
        int32_t kind;
        std::vector<double> gaps; ///< seconds before each press
        const char* expected;
    } cases[] = {
        {kHbStateDoubleClick, {0, 0.39}, "01"},
        {kHbStateDoubleClick, {0, 0.41}, "00"},
        // A success empties the history: the next pair starts afresh.
        {kHbStateDoubleClick, {0, 0.3, 0.3, 0.3}, "0101"},
        {kHbStateTripleClick, {0, 0.3, 0.3}, "001"},
        // Measured press to press, not from the first: 0.7 s in all still counts.
        {kHbStateTripleClick, {0, 0.35, 0.35}, "001"},
        {kHbStateTripleClick, {0, 0.3, 0.5}, "000"},
        // The history keeps the newest three presses: a stale one does not block.
        {kHbStateTripleClick, {0, 1.0, 0.3, 0.3}, "0001"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.expected);
        HbKeyCondition condition(5, c.kind);
        condition.Evaluate(0);
        std::string got;
        for (double gap : c.gaps)
            got += Tap(condition, gap) ? '1' : '0';
        EXPECT_EQ(got, c.expected);
        EXPECT_LE(condition.GetPressTimes().GetCount(), HbKeyCondition::kHistoryLength);
    }
}

TEST_F(HbMultiClick, HoldingAfterADoubleClickAndResettingFireNothingMore)
{
    HbKeyCondition condition(5, kHbStateDoubleClick);
    condition.Evaluate(0);
    Tap(condition, 0);
    Win32TestAdvancePerformanceCounter(hbtest::kCounterFrequency / 10);
    HbRealClock::Instance()->Tick();
    EXPECT_EQ(condition.Evaluate(0x80), 1);
    EXPECT_EQ(condition.Evaluate(0x80), 0); // held
    EXPECT_EQ(condition.GetPressTimes().GetCount(), 0);

    condition.Evaluate(0);
    Tap(condition, 0.1);
    condition.Reset();
    EXPECT_EQ(condition.GetPressTimes().GetCount(), 0);
    condition.Evaluate(0);
    EXPECT_EQ(Tap(condition, 0.1), 0);
}

// ---- Actions --------------------------------------------------------------------------------

class HbInputActionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        mAction = new HbInputAction("act", nullptr, 0);
        mAction->AddRef();
        mAction->SetKeyStates(mKeys, sizeof mKeys);
    }
    void TearDown() override { mAction->Release(); }

    HbKeyCondition* Condition(int32_t code, int32_t kind)
    {
        auto* condition = new HbKeyCondition(code, kind);
        EXPECT_EQ(mAction->AddKey(condition), 1);
        return condition;
    }

    /// A new frame for the action: enabled and due for evaluation.
    void NewFrame() { mAction->SetFlags(HbInputAction::kEnabled | HbInputAction::kNeedsEvaluation); }

    uint8_t mKeys[8] = {};
    HbInputAction* mAction = nullptr;
};

TEST_F(HbInputActionTest, AChordHoldsOnlyWithAllItsKeysDown)
{
    Condition(1, kHbStateDown);
    Condition(2, kHbStateDown);
    const struct
    {
        uint8_t first;
        uint8_t second;
        int expected;
    } frames[] = {{0, 0, 0}, {0x80, 0, 0}, {0, 0x80, 0}, {0x80, 0x80, 1}, {0x80, 0, 0}};
    for (const auto& frame : frames)
    {
        mKeys[1] = frame.first;
        mKeys[2] = frame.second;
        NewFrame();
        EXPECT_EQ(mAction->IsTriggered(), frame.expected);
    }
}

TEST_F(HbInputActionTest, ConditionsAreEvaluatedOncePerFrameAndOnlyWhileEnabled)
{
    Condition(3, kHbStateClick);
    NewFrame();
    EXPECT_EQ(mAction->IsTriggered(), 0); // sees the key up
    mKeys[3] = 0x80;
    NewFrame();
    EXPECT_EQ(mAction->IsTriggered(), 1);
    // Evaluating again would see the key held and answer 0: the frame's answer is kept.
    EXPECT_EQ(mAction->IsTriggered(), 1);
    NewFrame();
    EXPECT_EQ(mAction->IsTriggered(), 0);

    mAction->Reset();
    EXPECT_EQ(mAction->GetFlags(), HbInputAction::kNeedsEvaluation);
    EXPECT_EQ(mAction->IsTriggered(), 0);
}

TEST_F(HbInputActionTest, TheFirstConditionThatFailsStopsTheWalk)
{
    Condition(1, kHbStateDown);
    HbKeyCondition* toggle = Condition(2, kHbStateToggled);
    for (uint8_t key : {0x80, 0x00})
    {
        mKeys[2] = key;
        NewFrame();
        EXPECT_EQ(mAction->IsTriggered(), 0);
    }
    EXPECT_EQ(toggle->GetToggle(), 0); // never stepped: key 1 was up
}

TEST_F(HbInputActionTest, KeysAndContextsHaveTheirLimits)
{
    EXPECT_EQ(mAction->AddKey(nullptr), 0);
    Condition(1, kHbStateDown);
    HbKeyCondition sameKey(1, kHbStateUp);
    EXPECT_EQ(mAction->AddKey(&sameKey), 0);
    Condition(2, kHbStateDown);
    Condition(7, kHbStateDown);
    HbKeyCondition fourth(4, kHbStateDown);
    EXPECT_EQ(mAction->AddKey(&fourth), 0);
    EXPECT_EQ(mAction->GetConditionCount(), 3);

    EXPECT_EQ(mAction->AddContext(0), 0);
    EXPECT_EQ(mAction->AddContext(3), 1);
    EXPECT_EQ(mAction->AddContext(4), 0); // a third context is refused
    EXPECT_EQ(mAction->InContext(3), 1);
    EXPECT_EQ(mAction->InContext(4), 0);
}

TEST_F(HbInputActionTest, AKeyCodeBeyondTheKeyBytesReadsAsUp)
{
    Condition(200, kHbStateUp);
    NewFrame();
    EXPECT_EQ(mAction->IsTriggered(), 1);
}

} // namespace
