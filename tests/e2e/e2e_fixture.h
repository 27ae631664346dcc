// The end-to-end tests' fixture: the content set made once per test process, a fresh copy of it
// per run, the set's own drive file with the trace and frames sent beside the copy.
#pragma once

#include "contentset.h"
#include "gamerun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace e2etest
{
namespace fs = std::filesystem;

inline fs::path gRoot;
inline fs::path gSet;

class GameRun : public ::testing::Test
{
public:
    static void SetUpTestSuite()
    {
        gRoot = fs::temp_directory_path() / ("velmoran-e2e-" + std::to_string(getpid()));
        fs::remove_all(gRoot);
        fs::create_directories(gRoot);
        gSet = gRoot / "set";
        ASSERT_EQ(ContentWrite(gSet.string()), "");
    }
    static void TearDownTestSuite() { fs::remove_all(gRoot); }

protected:
    /// A fresh copy of the set, in a folder of the test's own.
    fs::path Copy(const std::string& name)
    {
        const fs::path folder = gRoot / name;
        fs::remove_all(folder);
        fs::copy(gSet, folder, fs::copy_options::recursive);
        return folder;
    }
    /// The set's own headless drive file, its trace sent to a file beside the folder.
    static std::string Drive(const fs::path& folder)
    {
        return gamerun::ReadFile((folder / "drive" / "main-menu.txt").string()) + "trace " +
               (folder.parent_path() / (folder.filename().string() + ".trace")).string() + "\nframes " +
               (folder.parent_path() / (folder.filename().string() + "-frames")).string() + "\n";
    }
};

/// The lines of text that start with prefix.
inline std::vector<std::string> Lines(const std::string& text, const std::string& prefix)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            lines.push_back(line);
    return lines;
}

} // namespace e2etest
