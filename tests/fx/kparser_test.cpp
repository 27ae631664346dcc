// The effect-script tokeniser: token boundaries, comments, ends of file, the brace tests and
// their reports, the value readers and the direction matrices behind orientations.
#include "fx_fixture.h"

#include "hbfile_fixture.h"
#include "hbpack.h"
#include "kparser.h"
#include "matrix.h"
#include "quat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace
{
using fxtest::Script;
using fxtest::Tokens;
using Strings = std::vector<std::string>;

TEST(KParser, TokensAreRunsBetweenBlanksWithCommentsOnlyWhereATokenBegins)
{
    struct Case
    {
        const char* name;
        std::string text;
        Strings tokens;
    };
    const Case cases[] = {
        {"brace glued to a word", "SIZE{ X 1 }", {"SIZE{", "X", "1", "}"}},
        {"hash inside a token", "abc#def ghi", {"abc#def", "ghi"}},
        {"comment line", "  # remark { }\nX", {"X"}},
        {"comment after a token", "X # remark\nY", {"X", "Y"}},
        {"last token without a line feed", "{ V 20", {"{", "V", "20"}},
        {"end inside a comment", "A B\n# not closed", {"A", "B"}},
        {"CR LF like LF", "A\r\nB\r\n\r\n{\r\n}\r\n", {"A", "B", "{", "}"}},
        {"tabs", "\tA\t\tB\t", {"A", "B"}},
        {"empty file", "", {}},
        {"only blanks and comments", " \n# x\n\t\r\n#", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Tokens(c.text), c.tokens) << c.name;

    const std::string longToken(100000, 'k');
    EXPECT_EQ(Tokens("a " + longToken + " b"), (Strings{"a", longToken, "b"}));
}

TEST(KParser, TheEndOfFileLeavesTheCurrentTokenAndReadsNoStaleByte)
{
    Script script("LAST");
    ASSERT_EQ(script.Parser().ReadToken(), 1);
    EXPECT_EQ(script.Parser().ReadToken(), 0);
    EXPECT_EQ(script.Parser().ReadToken(), 0);
    EXPECT_EQ(script.Parser().GetToken(), "LAST");
}

TEST(KParser, ScriptsInsideAPackArchiveReadTheSameAsLooseFiles)
{
    hbtest::TempDir dir;
    const std::string pack = dir / "FX.PAK";
    ASSERT_TRUE(hbtest::WritePack(pack, {{"fx\\smoke.txt", "{ MaxPrt 7 }\r\n# end"}}));
    HbPackSet* set = HbPackSet::Instance();
    set->SetEnabled(1);
    ASSERT_EQ(set->Mount(pack.c_str()), 1);
    HbFile* file = HbFileOpen("fx\\smoke.txt", "rt");
    ASSERT_NE(file, nullptr);
    ASSERT_NE(file->archive, nullptr);
    {
        KParser parser(file);
        Strings tokens;
        while (parser.ReadToken())
            tokens.push_back(parser.GetToken());
        EXPECT_EQ(tokens, (Strings{"{", "MaxPrt", "7", "}"}));
    }
    HbFileClose(file);
    set->Unmount(pack.c_str());
    set->SetEnabled(0);
}

TEST(KParser, BraceTestsAndTheirReports)
{
    struct Case
    {
        const char* text;
        int32_t result;
        const char* name;
        const char* report;
    };
    const Case named[] = {
        {"VALUE {", 1, "VALUE", ""},
        {"{", 1, "", ""},
        {"VALUE x", 0, "VALUE", "ERROR ON : x : Open token { missing \n\n"},
        {"VALUE", 0, "VALUE", ""},
        {"", 0, "", ""},
    };
    for (const Case& c : named)
    {
        Script script(c.text);
        std::string name = "unchanged";
        EXPECT_EQ(script.Parser().ExpectOpenNamed(name), c.result) << c.text;
        if (c.result)
        {
            EXPECT_EQ(name, c.name) << c.text;
        }
        EXPECT_EQ(script.Parser().GetLastReport(), c.report) << c.text;
    }

    Script glued("SIZE{ }");
    EXPECT_EQ(glued.Parser().ExpectOpen(), 0);
    EXPECT_EQ(glued.Parser().GetLastReport(), "ERROR ON : SIZE{ : Open token { missing \n\n");
    ASSERT_EQ(glued.Parser().ReadToken(), 1);
    EXPECT_EQ(glued.Parser().IsClose(), 1);
    EXPECT_EQ(glued.Parser().ExpectClose(), 1);

    Script notClose("x");
    notClose.Parser().ReadToken();
    EXPECT_EQ(notClose.Parser().ExpectClose(), 0);
    EXPECT_EQ(notClose.Parser().GetLastReport(), "ERROR ON : x : Close token } missing \n\n");
    notClose.Parser().ReportExpected("", "/A/B");
    EXPECT_EQ(notClose.Parser().GetLastReport(), "ERROR ON : x\nPARSER EXPECTED : /A/B\n");
    EXPECT_EQ(notClose.Parser().GetReportCount(), 2);
}

TEST(KParser, ReportsAreWrittenToTheLogFile)
{
    hbtest::TempDir dir;
    const std::string path = dir / "fx.log";
    HbFile* log = HbFileOpen(path.c_str(), "w");
    ASSERT_NE(log, nullptr);
    KParser::SetLogFile(log);
    {
        Script script("SIZE{");
        script.Parser().ExpectOpen();
        script.Parser().ReportExpected("", "/A");
    }
    KParser::SetLogFile(nullptr);
    {
        Script quiet("x");
        quiet.Parser().ExpectOpen();
    }
    HbFileClose(log);
    EXPECT_EQ(hbtest::ReadBytes(path),
              "ERROR ON : SIZE{ : Open token { missing \n\nERROR ON : SIZE{\nPARSER EXPECTED : /A\n");
}

TEST(KParser, ValueReadersTakeTheirSelectorsOnly)
{
    Script script("A 5 X 2.5 V abc Z");
    KParser& p = script.Parser();
    float v3[3] = {9, 9, 9};
    float angle = 0;
    float scalar = 9;
    ASSERT_EQ(p.ReadToken(), 1);
    EXPECT_EQ(KReadVec3(p, v3), 1);
    EXPECT_EQ(KReadScalar(p, &scalar), 1);
    EXPECT_EQ(p.GetToken(), "A");
    EXPECT_EQ(KReadVec3Angle(p, v3, &angle), 0);
    EXPECT_EQ(angle, 5.0f);
    ASSERT_EQ(p.ReadToken(), 1);
    float v2[2] = {0, 0};
    EXPECT_EQ(KReadVec2(p, v2), 0);
    EXPECT_EQ(v2[0], 2.5f);
    ASSERT_EQ(p.ReadToken(), 1);
    EXPECT_EQ(KReadVec2(p, v2), 1);
    EXPECT_EQ(KReadScalar(p, &scalar), 0);
    EXPECT_EQ(scalar, 0.0f) << "a word reads as 0";
    ASSERT_EQ(p.ReadToken(), 1);
    EXPECT_EQ(KReadVec3(p, v3), 2) << "end of file after the selector";
    EXPECT_EQ(v3[2], 9.0f);
}

Quat ReadOrientation(const std::string& text)
{
    Script script(text);
    KOrientationReader reader;
    Quat q = {9, 9, 9, 9};
    while (script.Parser().ReadToken())
        EXPECT_EQ(KReadOrientation(script.Parser(), reader, &q), 0) << text;
    return q;
}

/// The image of v under the quaternion's rotation, through its matrix rows.
Vector Rotated(const Matrix& m, Vector v)
{
    return {v.x * m.right.x + v.y * m.up.x + v.z * m.at.x, v.x * m.right.y + v.y * m.up.y + v.z * m.at.y,
            v.x * m.right.z + v.y * m.up.z + v.z * m.at.z};
}

void ExpectVector(const Vector& v, float x, float y, float z, const char* what)
{
    EXPECT_NEAR(v.x, x, 1e-5f) << what;
    EXPECT_NEAR(v.y, y, 1e-5f) << what;
    EXPECT_NEAR(v.z, z, 1e-5f) << what;
}

TEST(KParser, OrientationsTurnPlusYOntoTheDirectionAndSpinAboutIt)
{
    const Quat identity = ReadOrientation("Y 1");
    EXPECT_NEAR(identity.x, 0, 1e-6f);
    EXPECT_NEAR(identity.y, 0, 1e-6f);
    EXPECT_NEAR(identity.z, 0, 1e-6f);
    EXPECT_NEAR(std::fabs(identity.w), 1, 1e-6f);

    // X 1: the quarter turn about -Z that takes +Y to +X.
    const Quat toX = ReadOrientation("X 1");
    Vector axis;
    float degrees = 0;
    Quat copy = toX;
    Quat::GetRotation(&copy, &axis, &degrees);
    EXPECT_NEAR(degrees, 90.0f, 1e-3f);
    ExpectVector(axis, 0, 0, -1, "X 1 axis");

    // Y 1 A 90: a quarter turn about +Y; the components come one at a time into the same
    // destination, so the direction read first stays.
    copy = ReadOrientation("Y 1 A 90");
    Quat::GetRotation(&copy, &axis, &degrees);
    EXPECT_NEAR(degrees, 90.0f, 1e-3f);
    EXPECT_NEAR(std::fabs(axis.y), 1.0f, 1e-5f);

    struct Case
    {
        float direction[3];
        float angle;
        Vector up;    ///< where +Y goes
        Vector right; ///< where +X goes
    };
    const Case cases[] = {
        {{0, 1, 0}, 0, {0, 1, 0}, {1, 0, 0}},   {{0, 0, 0}, 0, {0, 1, 0}, {1, 0, 0}}, // no direction: the identity
        {{0, -1, 0}, 0, {0, -1, 0}, {1, 0, 0}},                                       // a half turn about +X
        {{0, -3, 0}, 0, {0, -1, 0}, {1, 0, 0}}, {{2, 0, 0}, 0, {1, 0, 0}, {0, -1, 0}},
        {{0, 0, 5}, 0, {0, 0, 1}, {1, 0, 0}},   {{0, 0, 0}, 90, {0, 1, 0}, {1, 0, 0}}, // nothing to spin about
    };
    for (const Case& c : cases)
    {
        Matrix m{};
        KDirectionToMatrixY(&m, c.direction, c.angle);
        ExpectVector(Rotated(m, {0, 1, 0}), c.up.x, c.up.y, c.up.z, "up");
        ExpectVector(Rotated(m, {1, 0, 0}), c.right.x, c.right.y, c.right.z, "right");
        EXPECT_NEAR(Matrix::Determinant(&m), 1.0f, 1e-5f);
    }
}

TEST(KParser, DirectionToMatrixZTurnsPlusZ)
{
    struct Case
    {
        float direction[3];
        Vector at;
        Vector right;
    };
    const Case cases[] = {
        {{0, 0, 1}, {0, 0, 1}, {1, 0, 0}},    {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}},
        {{0, 0, -1}, {0, 0, -1}, {-1, 0, 0}}, // a half turn about +Y
        {{1, 0, 0}, {1, 0, 0}, {0, 0, -1}},   {{0, 4, 0}, {0, 1, 0}, {1, 0, 0}},
    };
    for (const Case& c : cases)
    {
        Matrix m{};
        KDirectionToMatrixZ(&m, c.direction, 0);
        ExpectVector(Rotated(m, {0, 0, 1}), c.at.x, c.at.y, c.at.z, "at");
        ExpectVector(Rotated(m, {1, 0, 0}), c.right.x, c.right.y, c.right.z, "right");
        ExpectVector(Rotated(m, {0, 1, 0}), c.at.y * c.right.z - c.at.z * c.right.y,
                     c.at.z * c.right.x - c.at.x * c.right.z, c.at.x * c.right.y - c.at.y * c.right.x, "up");
    }
    // The spin turns about the direction itself: +Z spun by 90 degrees keeps +Z.
    const float z[3] = {0, 0, 1};
    Matrix spun{};
    KDirectionToMatrixZ(&spun, z, 90);
    ExpectVector(Rotated(spun, {0, 0, 1}), 0, 0, 1, "spun at");
    EXPECT_NEAR(std::fabs(Rotated(spun, {1, 0, 0}).y), 1.0f, 1e-5f);
}

} // namespace
