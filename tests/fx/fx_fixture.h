// Shared helpers of the effect tests: script text written to a file of the test's own and
// read back through the file layer.
#pragma once

#include "hbfile.h"
#include "hbfile_fixture.h"
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

} // namespace fxtest
