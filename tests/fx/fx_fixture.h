// Shared helpers of the effect tests: script text written to a file of the test's own and
// read back through the file layer, and blocks parsed into definitions.
#pragma once

#include "hbfile.h"
#include "hbfile_fixture.h"
#include "kemitterdef.h"
#include "kparser.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace fxtest
{

/// A script file with the text, opened in text mode, and a parser on it.
class Script
{
public:
    explicit Script(const std::string& text)
    {
        const std::string path = mDir / "script.txt";
        hbtest::WriteBytes(path, text);
        mFile = HbFileOpen(path.c_str(), "rt");
        mParser = std::make_unique<KParser>(mFile);
    }
    ~Script()
    {
        mParser.reset();
        if (mFile)
            HbFileClose(mFile);
    }
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    KParser& Parser() { return *mParser; }
    HbFile* File() { return mFile; }

private:
    hbtest::TempDir mDir;
    HbFile* mFile = nullptr;
    std::unique_ptr<KParser> mParser;
};

/// Every token of the text.
inline std::vector<std::string> Tokens(const std::string& text)
{
    Script script(text);
    std::vector<std::string> tokens;
    while (script.Parser().ReadToken())
        tokens.push_back(script.Parser().GetToken());
    return tokens;
}

struct Parsed
{
    std::unique_ptr<KEmitterDef> def;
    int32_t result = 0;
    std::string report;
    std::string token; ///< current when the parse returned
};

/// The text is a whole block, "{" first.
inline Parsed ParseBlock(const std::string& block)
{
    Script script(block);
    Parsed parsed;
    parsed.def = std::make_unique<KEmitterDef>();
    EXPECT_EQ(script.Parser().ExpectOpen(), 1) << block;
    parsed.result = parsed.def->Parse(script.Parser());
    parsed.report = script.Parser().GetLastReport();
    parsed.token = script.Parser().GetToken();
    return parsed;
}

/// "{ body }".
inline Parsed ParseBody(const std::string& body)
{
    return ParseBlock("{\n" + body + "\n}\n");
}

/// The blocks of a script file in order, as the script loader reads them: tokens outside
/// blocks are skipped, and the first block that fails ends the reading.
inline std::vector<std::unique_ptr<KEmitterDef>> ParseScript(KParser& parser)
{
    std::vector<std::unique_ptr<KEmitterDef>> defs;
    while (parser.ReadToken())
    {
        if (!parser.Is("{"))
            continue;
        auto def = std::make_unique<KEmitterDef>();
        if (!def->Parse(parser))
            break;
        defs.push_back(std::move(def));
    }
    return defs;
}

} // namespace fxtest
