// Tests of console commands: tokenizing and its limits, registration, the
// results of ExecuteLine, the help listing, and command scripts.
#include "hbcommand.h"
#include "hbfile_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{

using hbtest::PackSetTest;
using hbtest::TempDir;
using hbtest::WriteBytes;
using hbtest::WritePack;

std::vector<std::string> Tokens(const HbCommandArgs& args)
{
    std::vector<std::string> tokens;
    for (int32_t i = 0; i < args.GetCount(); ++i)
        tokens.push_back(args.GetToken(i));
    return tokens;
}

/// Records the tokens after its name; fails when given no argument at all.
class RecordCommand : public HbCommand
{
public:
    explicit RecordCommand(const char* name = "zzRecord") : HbCommand(name, "records") {}
    int Execute(const HbCommandArgs& args, int32_t reserved) override
    {
        EXPECT_EQ(reserved, 0);
        if (args.GetCount() < 2)
            return 0;
        std::string line;
        for (int32_t i = 1; i < args.GetCount(); ++i)
            line += (i > 1 ? " " : "") + args.GetToken(i);
        lines.push_back(line);
        return 1;
    }
    std::vector<std::string> lines;
};

HbCommandManager& Manager()
{
    return *HbCommandManager::Instance();
}

// ---- Tokenizing -----------------------------------------------------------------------

TEST(HbCommandArgs, SplitsAtBlanksAndTabsOnly)
{
    struct Case
    {
        const char* line;
        std::vector<std::string> tokens;
    } cases[] = {
        {"  SetHbInt32\tFOO   12  ", {"SetHbInt32", "FOO", "12"}},
        {"say \"a b\"", {"say", "\"a", "b\""}},
        {"a#b # c", {"a#b", "#", "c"}},
        {"\t \t", {}},
        {"", {}},
        {"x\x01y", {"x\x01y"}},
    };
    HbCommandArgs args;
    for (const Case& c : cases)
    {
        EXPECT_EQ(args.Tokenize(c.line), 1) << c.line;
        EXPECT_EQ(Tokens(args), c.tokens) << c.line;
    }
    EXPECT_EQ(args.GetToken(-1), "");
    EXPECT_EQ(args.GetToken(HbCommandArgs::kMaxTokens), "");
}

TEST(HbCommandArgs, LongLinesAreCutToFiftyTokensOf127Characters)
{
    HbCommandArgs args;
    std::string line;
    for (int i = 0; i < 60; ++i)
        line += "t" + std::to_string(i) + " ";
    EXPECT_EQ(args.Tokenize(line.c_str()), 0);
    EXPECT_EQ(args.GetCount(), 50);
    EXPECT_EQ(args.GetToken(49), "t49");

    std::string longToken(500, 'k');
    EXPECT_EQ(args.Tokenize(("cmd " + longToken + " after").c_str()), 0);
    ASSERT_EQ(args.GetCount(), 3);
    EXPECT_EQ(args.GetToken(1), std::string(127, 'k'));
    EXPECT_EQ(args.GetToken(2), "after");
    // Strings past the new count keep what the longer line left.
    EXPECT_EQ(args.GetToken(3), "t3");
}

// ---- Registry ---------------------------------------------------------------------------

TEST(HbCommandManager, FirstRegistrationOfANameWins)
{
    RecordCommand first("zzTwice");
    {
        RecordCommand second("zzTwice");
        EXPECT_EQ(Manager().FindCommand("zzTwice"), &first);
        EXPECT_EQ(Manager().ExecuteLine("zzTwice a"), HbCommandManager::kDone);
        EXPECT_EQ(first.lines.size(), 1u);
        EXPECT_TRUE(second.lines.empty());
        EXPECT_EQ(Manager().FindCommand("ZZTWICE"), nullptr); // names are case-sensitive
    }
    // A destroyed command removes the entry of its name, whoever holds it.
    EXPECT_EQ(Manager().FindCommand("zzTwice"), nullptr);
}

TEST(HbCommandManager, ExecuteLineAnswersDoneFailedOrUnknown)
{
    RecordCommand record;
    EXPECT_EQ(Manager().ExecuteLine("zzRecord x  y"), HbCommandManager::kDone);
    EXPECT_EQ(record.lines, (std::vector<std::string>{"x y"}));
    EXPECT_EQ(Manager().ExecuteLine("zzRecord"), HbCommandManager::kFailed);
    EXPECT_EQ(Manager().ExecuteLine("zzNoSuchCommand"), HbCommandManager::kUnknown);
    EXPECT_EQ(Manager().ExecuteLine(""), HbCommandManager::kUnknown);
    EXPECT_EQ(Manager().ExecuteLine(" \t "), HbCommandManager::kUnknown);
    EXPECT_EQ(Manager().ExecuteLine(nullptr), HbCommandManager::kUnknown);
    EXPECT_EQ(Manager().ExecuteLine("help"), HbCommandManager::kDone);
    EXPECT_EQ(Manager().ExecuteLine("help all"), HbCommandManager::kDone);
    EXPECT_EQ(Manager().ExecuteLine("help a b"), HbCommandManager::kFailed);
    EXPECT_EQ(Manager().ExecuteLine("execute"), HbCommandManager::kDone);
}

TEST(HbCommandManager, AFailedCommandRunsItsHelpLine)
{
    HbCommand* help = Manager().FindCommand("help");
    ASSERT_NE(help, nullptr);
    Manager().Unregister("help");
    {
        RecordCommand spy("help");
        RecordCommand record;
        EXPECT_EQ(Manager().ExecuteLine("zzRecord"), HbCommandManager::kFailed);
        EXPECT_EQ(spy.lines, (std::vector<std::string>{"zzRecord"}));
    }
    EXPECT_EQ(Manager().Register("help", help), 1);
}

TEST(HbCommandManager, HelpListsTheMatchingNames)
{
    RecordCommand alpha("zzListAlpha");
    RecordCommand beta("zzListBeta");
    struct Case
    {
        const char* pattern;
        std::vector<std::string> mustHave;
        std::vector<std::string> mustLack;
    } cases[] = {
        {"zzList", {"zzListAlpha", "zzListBeta"}, {"help", "execute"}},
        {"Alpha", {"zzListAlpha"}, {"zzListBeta"}},
        {"zzListBeta", {"zzListBeta"}, {"zzListAlpha"}},
        {"all", {"zzListAlpha", "help", "execute", "SetHbReal"}, {}},
        {"", {"zzListBeta", "help"}, {}},
        {"alpha", {}, {"zzListAlpha"}},
    };
    for (const Case& c : cases)
    {
        HbStringArray names;
        Manager().ListMatching(c.pattern, names);
        std::vector<std::string> listed;
        for (int32_t i = 0; i < names.GetCount(); ++i)
            listed.push_back(names[i]);
        for (const std::string& name : c.mustHave)
            EXPECT_NE(std::find(listed.begin(), listed.end(), name), listed.end()) << c.pattern << " " << name;
        for (const std::string& name : c.mustLack)
            EXPECT_EQ(std::find(listed.begin(), listed.end(), name), listed.end()) << c.pattern << " " << name;
    }
}

// ---- Scripts -------------------------------------------------------------------------------

TEST(HbCommandScript, CrlfCommentsTabsAndNestedScriptsRunEachCommandOnce)
{
    TempDir dir;
    RecordCommand record;
    std::string nested = dir / "nested.scr";
    WriteBytes(nested, "zzRecord nested\n");
    WriteBytes(dir / "main.scr", "zzRecord one\r\n"
                                 "   # indented comment\r\n"
                                 "\t zzRecord\ttwo  2\r\n"
                                 "#execute " +
                                     nested +
                                     "\r\n"
                                     "\r\n\r\n"
                                     "execute " +
                                     nested +
                                     "\r\n"
                                     "zzRecord three # not a comment\r\n"
                                     "execute\r\n"
                                     "execute " +
                                     dir / "missing.scr" +
                                     "\r\n"
                                     "zzRecord caf\xC3\xA9\r\n"
                                     "zzRecord four");
    EXPECT_EQ(Manager().ExecuteLine(("execute " + dir / "main.scr").c_str()), HbCommandManager::kDone);
    EXPECT_EQ(record.lines,
              (std::vector<std::string>{"one", "two 2", "nested", "three # not a comment", "caf\xC3\xA9", "four"}));
}

TEST(HbCommandScript, AScriptAlreadyRunningIsRefusedAndTheCallerGoesOn)
{
    TempDir dir;
    RecordCommand record;
    // Two self-calls would otherwise run the script about 2^32 times.
    std::string self = dir / "self.scr";
    WriteBytes(self, "zzRecord self\nexecute " + self + "\nexecute " + self + "\nzzRecord after\n");
    EXPECT_EQ(Manager().ExecuteLine(("execute " + self).c_str()), HbCommandManager::kDone);
    EXPECT_EQ(record.lines, (std::vector<std::string>{"self", "after"}));

    // A cycle through another script, naming the first in another case and with
    // the other separator, is refused where it comes back.
    record.lines.clear();
    std::string a = dir / "a.scr", b = dir / "b.scr";
    std::string aOtherName = a;
    std::replace(aOtherName.begin(), aOtherName.end(), '/', '\\');
    aOtherName.replace(aOtherName.size() - 5, 5, "A.SCR");
    WriteBytes(a, "zzRecord a\nexecute " + b + "\nzzRecord a done\n");
    WriteBytes(b, "zzRecord b\nexecute " + aOtherName + "\nzzRecord b done\n");
    EXPECT_EQ(HbExecuteScript(a.c_str()), 1);
    EXPECT_EQ(record.lines, (std::vector<std::string>{"a", "b", "b done", "a done"}));
}

TEST(HbCommandScript, AScriptMayRunAnotherMoreThanOnce)
{
    TempDir dir;
    RecordCommand record;
    std::string main = dir / "main.scr", part = dir / "part.scr";
    WriteBytes(part, "zzRecord part\n");
    WriteBytes(main, "execute " + part + "\nexecute " + part + "\nzzRecord end\n");
    EXPECT_EQ(HbExecuteScript(main.c_str()), 1);
    EXPECT_EQ(record.lines, (std::vector<std::string>{"part", "part", "end"}));
}

TEST(HbCommandScript, AChainOfScriptsStopsAtTheNestingLimit)
{
    TempDir dir;
    RecordCommand record;
    constexpr int kScripts = kHbMaxScriptDepth + 8;
    for (int i = 0; i < kScripts; ++i)
        WriteBytes(dir / ("s" + std::to_string(i) + ".scr"), "zzRecord " + std::to_string(i) + "\nexecute " +
                                                                 dir / ("s" + std::to_string(i + 1) + ".scr") + "\n");
    EXPECT_EQ(HbExecuteScript((dir / "s0.scr").c_str()), 1);
    ASSERT_EQ(record.lines.size(), static_cast<size_t>(kHbMaxScriptDepth));
    EXPECT_EQ(record.lines.back(), std::to_string(kHbMaxScriptDepth - 1));
    record.lines.clear();
    std::string last = std::to_string(kScripts - 1);
    EXPECT_EQ(HbExecuteScript((dir / ("s" + last + ".scr")).c_str()), 1) << "the stack is empty again";
    EXPECT_EQ(record.lines, (std::vector<std::string>{last}));
}

TEST(HbCommandScript, DistinctScriptsThatRunEachOtherStopAtTheLineBudget)
{
    TempDir dir;
    RecordCommand record;
    // Ten scripts of ten lines, each running the nine others: unbounded, about e * 9! runs.
    constexpr int kScripts = 10;
    auto name = [&](int i) { return dir / ("m" + std::to_string(i) + ".scr"); };
    for (int i = 0; i < kScripts; ++i)
    {
        std::string text = "zzRecord " + std::to_string(i) + "\n";
        for (int j = 0; j < kScripts; ++j)
            if (j != i)
                text += "execute " + name(j) + "\n";
        WriteBytes(name(i), text);
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(HbExecuteScript(name(0).c_str()), 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_LT(record.lines.size(), static_cast<size_t>(kHbMaxScriptLines));
    EXPECT_GT(record.lines.size(), static_cast<size_t>(kScripts));
    EXPECT_NE(said.find(name(0)), std::string::npos) << said;
    EXPECT_EQ(said.find("stopped"), said.rfind("stopped")) << "said once: " << said;

    // The next outermost call has the whole budget again.
    record.lines.clear();
    WriteBytes(name(1), "zzRecord alone\n");
    EXPECT_EQ(HbExecuteScript(name(1).c_str()), 1);
    EXPECT_EQ(record.lines, (std::vector<std::string>{"alone"}));
}

TEST(HbCommandScript, ForEachTextLineSplitsAtControlBytesAndStopsOnRequest)
{
    TempDir dir;
    std::string path = dir / "lines.txt";
    WriteBytes(path, std::string("a b\x01"
                                 "c\td\0e\rf\n\n  g",
                                 16));
    struct Collect
    {
        std::vector<std::string> lines;
        size_t stopAfter = 100;
    } collect;
    HbTextLineWalker walker;
    walker.context = &collect;
    walker.callback = [](const char* line, HbTextLineWalker* w) -> int
    {
        auto* c = static_cast<Collect*>(w->context);
        c->lines.push_back(line);
        return c->lines.size() < c->stopAfter ? 1 : 0;
    };
    EXPECT_EQ(HbForEachTextLine(path.c_str(), &walker), 0);
    EXPECT_EQ(collect.lines, (std::vector<std::string>{"a b", "c\td", "e", "f", "g"}));

    collect.lines.clear();
    collect.stopAfter = 2;
    EXPECT_EQ(HbForEachTextLine(path.c_str(), &walker), 0);
    EXPECT_EQ(collect.lines.size(), 2u);

    EXPECT_EQ(HbForEachTextLine((dir / "missing.txt").c_str(), &walker), 1);
    WriteBytes(dir / "empty.txt", "");
    collect.lines.clear();
    EXPECT_EQ(HbForEachTextLine((dir / "empty.txt").c_str(), &walker), 0);
    EXPECT_TRUE(collect.lines.empty());
}

TEST_F(PackSetTest, ScriptsRunFromAMountedArchive)
{
    RecordCommand record;
    ASSERT_TRUE(WritePack(mDir / "s.pak", {{"scripts\\boot.scr", "zzRecord packed\r\nexecute scripts\\two.scr\r\n"},
                                           {"scripts\\two.scr", "zzRecord second"}}));
    ASSERT_EQ(Set().Mount((mDir / "s.pak").c_str()), 1);
    EnablePacks(0);
    EXPECT_EQ(Manager().ExecuteLine("execute scripts\\boot.scr"), HbCommandManager::kDone);
    EXPECT_EQ(record.lines, (std::vector<std::string>{"packed", "second"}));
}

} // namespace
