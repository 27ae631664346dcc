// Tests of the text-to-real parser, the sine and cosine tables and the helpers.
#include "hblocale_fixture.h"
#include "hbmath.h"
#include "matrix.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <string>

namespace
{

TEST(HbStrToD, ParsesTheCasesOfTheGame)
{
    struct Case
    {
        const char* text;
        double value;
        size_t consumed;
    } cases[] = {
        {"  +3.25e2", 325.0, 9}, {"-.5", -0.5, 3},   {"1e", 1.0, 2},      {"abc", 0.0, 0},
        {"-", -0.0, 1},          {"2.5E-1", 0.25, 6}, {"\t\n7x", 7.0, 3}, {"1.5", 1.5, 3},
        {"12e+1", 120.0, 5},     {"\xA0" "4", 4.0, 2},
    };
    for (const Case& c : cases)
    {
        const char* end = nullptr;
        double v = HbStrToD(c.text, &end);
        EXPECT_DOUBLE_EQ(v, c.value) << c.text;
        EXPECT_EQ(static_cast<size_t>(end - c.text), c.consumed) << c.text;
    }
    EXPECT_TRUE(std::signbit(HbStrToD("-", nullptr)));
}

TEST(HbStrToD, HugeExponentsStayBoundedAndNeverGiveNaN)
{
    EXPECT_EQ(HbAtoF("0e-999"), 0.0);
    EXPECT_EQ(HbAtoF("0e999999999"), 0.0);
    EXPECT_TRUE(std::isinf(HbAtoF("1e999999999")));
    EXPECT_EQ(HbAtoF("1e-999999999"), 0.0);
    // Hundreds of digits: a finite value or infinity, never NaN.
    std::string manyNines(400, '9');
    EXPECT_TRUE(std::isinf(HbAtoF(manyNines.c_str())));
    EXPECT_NEAR(HbAtoF((manyNines + "e-398").c_str()), 100.0, 1e-9);
    EXPECT_EQ(HbAtoF(("0." + std::string(400, '0') + "1").c_str()), 0.0);
    const char* text = "5e99999999999999999999rest";
    const char* end = nullptr;
    HbStrToD(text, &end);
    EXPECT_STREQ(end, "rest");
}

TEST(HbStrToD, IgnoresTheProcessLocale)
{
    hbtest::CommaLocale locale;
    ASSERT_TRUE(locale.InEffect()) << "no locale with a decimal comma could be made (localedef, package locales)";
    ASSERT_EQ(std::strtod("1,25", nullptr), 1.25) << "the process locale is in effect";
    EXPECT_DOUBLE_EQ(HbAtoF("1.25"), 1.25);
    const char* end = nullptr;
    EXPECT_DOUBLE_EQ(HbStrToD("2,5", &end), 2.0);
    EXPECT_STREQ(end, ",5");
}

TEST(HbSinCos, TablesAndIndices)
{
    HbBuildSinCosTables();
    ASSERT_TRUE(HbSinCosTablesReady());
    EXPECT_FLOAT_EQ(HbCosTable()[0], 1.0f);
    EXPECT_FLOAT_EQ(HbSinTable()[0], 0.0f);
    EXPECT_NEAR(HbCosTable()[900], 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(HbSinTable()[900], 1.0f);
    EXPECT_NEAR(HbSinTable()[2700], -1.0f, 1e-6f);
    EXPECT_EQ(HbCosTable() + 3600, HbSinTable());

    struct Case
    {
        float degrees;
        int index;
    } cases[] = {{360.0f, 0}, {0.05f, 0}, {-90.0f, 2700}, {-5.0f, 3550}, {90.0f, 900}, {719.9f, 3599}, {NAN, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(HbSinCosIndex(c.degrees), c.index) << c.degrees;
}

Matrix Identity()
{
    Matrix m{};
    m.right = {1, 0, 0};
    m.up = {0, 1, 0};
    m.at = {0, 0, 1};
    m.flags = kMatrixOrthonormal | kMatrixIdentity;
    return m;
}

TEST(MatrixRotateAxisDegrees, RotatesFromTheTablesAndCombines)
{
    Vector z = {0, 0, 5}; // not unit: the axis is normalised first
    Matrix m = Identity();
    ASSERT_EQ(MatrixRotateAxisDegrees(&m, &z, 90.0f, 0), &m);
    EXPECT_NEAR(m.right.x, 0.0f, 1e-4f);
    EXPECT_NEAR(m.right.y, 1.0f, 1e-4f);
    EXPECT_EQ(m.flags & kMatrixOrthonormal, kMatrixOrthonormal);

    // -90 degrees uses entry 2700 and undoes the turn when applied after it.
    ASSERT_EQ(MatrixRotateAxisDegrees(&m, &z, -90.0f, 2), &m);
    EXPECT_NEAR(m.right.x, 1.0f, 1e-4f);
    EXPECT_NEAR(m.right.y, 0.0f, 1e-4f);

    // Pre- and post-multiplying differ once a translation is involved.
    Matrix pre = Identity();
    pre.pos = {1, 0, 0};
    pre.flags = kMatrixOrthonormal;
    Matrix post = pre;
    MatrixRotateAxisDegrees(&pre, &z, 90.0f, 1);
    MatrixRotateAxisDegrees(&post, &z, 90.0f, 2);
    EXPECT_NEAR(pre.pos.x, 1.0f, 1e-4f); // rotation first, then the translation
    EXPECT_NEAR(post.pos.y, 1.0f, 1e-4f); // the translated point is turned too

    Matrix before = post;
    EXPECT_EQ(MatrixRotateAxisDegrees(&post, &z, 45.0f, 3), nullptr);
    EXPECT_EQ(std::memcmp(&before, &post, sizeof post), 0);
}

TEST(HbMathHelpers, DistanceAndClamp)
{
    float a[3] = {1, 2, 3};
    float b[3] = {4, 6, 3};
    EXPECT_FLOAT_EQ(VectorDistanceSquared(a, b), 25.0f);
    EXPECT_FLOAT_EQ(ClampMax(3.0f, 2.0f), 2.0f);
    EXPECT_FLOAT_EQ(ClampMax(1.0f, 2.0f), 1.0f);
}

} // namespace
