// Tests of the engine's string functions: ASCII case folding, null arguments, the
// searches and the formatting entries.
#include "stringfunctions.h"

#include <gtest/gtest.h>

namespace
{

TEST(StringFunctionsTest, CaseFoldingIsAsciiOnlyAndNullSafe)
{
    const StringFunctions* s = StringFunctions::Defaults();
    EXPECT_EQ(s->stricmp("Tex", "tEX"), 0);
    EXPECT_LT(s->stricmp("a", "B"), 0);
    EXPECT_GT(s->stricmp("abd", "ABC"), 0);
    EXPECT_LT(s->stricmp("ab", "abc"), 0);
    EXPECT_EQ(s->stricmp(nullptr, "x"), 0);

    char text[] = "MiXed \xC4 1";
    EXPECT_STREQ(s->strupr(text), "MIXED \xC4 1");
    EXPECT_STREQ(s->strlwr(text), "mixed \xC4 1");
    EXPECT_EQ(s->strupr(nullptr), nullptr);

    EXPECT_EQ(s->strchr("abc", 0), nullptr) << "the terminator is never found";
    EXPECT_STREQ(s->strchr("abcb", 'b'), "bcb");
    EXPECT_STREQ(s->strrchr("abcb", 'b'), "b");

    char buffer[32];
    EXPECT_EQ(s->sprintf(buffer, "%s-%d", "frame", 7), 7);
    int n = 0;
    EXPECT_EQ(s->sscanf("id 42", "id %d", &n), 1);
    EXPECT_EQ(n, 42);
}

} // namespace
