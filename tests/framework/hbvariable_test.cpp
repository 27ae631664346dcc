// Tests of typed variables: the first set wins, typed readers, the SetHb*
// commands, and real values printed in the "C" convention under any locale.
#include "hbcommand.h"
#include "hbfile_fixture.h"
#include "hblocale_fixture.h"
#include "hbvariable.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{

class HbVariableTest : public ::testing::Test
{
protected:
    void SetUp() override { HbVariableClearAllForTest(); }
    void TearDown() override { HbVariableClearAllForTest(); }

    static int Run(const char* line) { return HbCommandManager::Instance()->ExecuteLine(line); }
};

std::string ValueOf(const char* name, int32_t* type = nullptr)
{
    const HbVariable* variable = HbLookupVariable(name);
    if (!variable)
        return "<none>";
    if (type)
        *type = variable->type;
    return variable->value;
}

TEST_F(HbVariableTest, CommandsSetEachNameOnceWithItsTypedText)
{
    struct Step
    {
        const char* line;
        int result;
    } steps[] = {
        {"SetHbInt32 FOO 12", 0},        {"SetHbInt32 FOO 13", 0},
        {"SetHbString S x", 0},          {"SetHbBool S TRUE", 0},
        {"SetHbBool MODE_PAL true", 0},  {"SetHbBool MODE_PAL 1", 0},
        {"SetHbBool MODE_PAL FALSE", 0}, {"SetHbBool ON TRUE", 0},
        {"SetHbReal R 1.5", 0},          {"SetHbReal R2 -0.25e1", 0},
        {"SetHbInt32 TEXT abc", 0},      {"SetHbInt32 BIG 99999999999", 0},
        {"SetHbInt32 NEG -7", 0},        {"SetHbString NAME", 1},
        {"SetHbReal A 1 2", 1},          {"SetHbBool", 1},
    };
    for (const Step& step : steps)
        EXPECT_EQ(Run(step.line), step.result) << step.line;

    struct Expect
    {
        const char* name;
        const char* value;
        int32_t type;
    } expects[] = {
        {"FOO", "12", kHbVariableInt32}, {"S", "x", kHbVariableString},           {"MODE_PAL", "0", kHbVariableBool},
        {"ON", "1", kHbVariableBool},    {"R", "1.500000", kHbVariableReal},      {"R2", "-2.500000", kHbVariableReal},
        {"TEXT", "0", kHbVariableInt32}, {"BIG", "2147483647", kHbVariableInt32}, {"NEG", "-7", kHbVariableInt32},
    };
    for (const Expect& e : expects)
    {
        int32_t type = 0;
        EXPECT_EQ(ValueOf(e.name, &type), e.value) << e.name;
        EXPECT_EQ(type, e.type) << e.name;
    }
    EXPECT_EQ(HbFindVariable("NAME"), 0);
    EXPECT_EQ(HbFindVariable("A"), 0);
}

TEST_F(HbVariableTest, ReadersAnswerOnlyForTheirOwnType)
{
    EXPECT_EQ(HbSetStringVariable("PYTHON_ROOT_PATH", "scripts\\"), 1);
    EXPECT_EQ(HbSetStringVariable("PYTHON_ROOT_PATH", "other"), 0);
    EXPECT_EQ(HbSetBoolVariable("USEENGINEFREELISTS", 1), 1);
    EXPECT_EQ(HbSetRealVariable("USEENGINEFREELISTS", 2.0f), 0); // any type blocks the name
    EXPECT_EQ(HbSetInt32Variable("COUNT", 5), 1);

    std::string text = "untouched";
    int32_t flag = -1;
    EXPECT_EQ(HbGetStringVariable("PYTHON_ROOT_PATH", text), 1);
    EXPECT_EQ(text, "scripts\\");
    EXPECT_EQ(HbGetBoolVariable("USEENGINEFREELISTS", flag), 1);
    EXPECT_EQ(flag, 1);

    text = "untouched";
    flag = -1;
    EXPECT_EQ(HbGetStringVariable("COUNT", text), 0);
    EXPECT_EQ(HbGetBoolVariable("COUNT", flag), 0);
    EXPECT_EQ(HbGetBoolVariable("PYTHON_ROOT_PATH", flag), 0);
    EXPECT_EQ(HbGetStringVariable("MISSING", text), 0);
    EXPECT_EQ(HbGetBoolVariable("MISSING", flag), 0);
    EXPECT_EQ(text, "untouched");
    EXPECT_EQ(flag, -1);
    EXPECT_EQ(HbFindVariable("COUNT"), 1);
    EXPECT_EQ(HbFindVariable("count"), 0);
    EXPECT_EQ(HbVariableStore::Instance()->Find("COUNT"), 1);
}

TEST_F(HbVariableTest, RealsPrintWithADecimalPointUnderAnyLocale)
{
    hbtest::CommaLocale locale;
    ASSERT_TRUE(locale.InEffect()) << "no locale with a decimal comma could be made (localedef, package locales)";
    char probe[32];
    std::snprintf(probe, sizeof(probe), "%f", 1.5);
    EXPECT_STREQ(probe, "1,500000"); // the process locale is in effect
    EXPECT_EQ(HbSetRealVariable("R", 1.5f), 1);
    EXPECT_EQ(Run("SetHbReal Q 2.25"), 0);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(ValueOf("R"), "1.500000");
    EXPECT_EQ(ValueOf("Q"), "2.250000");
}

} // namespace
