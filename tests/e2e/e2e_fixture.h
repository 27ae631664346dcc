// The end-to-end tests' fixture: the content set made once per test process, a fresh copy of it
// per run, the set's own drive file with the trace and frames sent beside the copy.
#pragma once

#include "contentset.h"
#include "gamerun.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
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

/// A PNG the game saved, as 0xFFRRGGBB top row first; empty when it cannot be read.
inline std::vector<uint32_t> ReadPng(const fs::path& path, int* width, int* height)
{
    std::vector<uint32_t> pixels;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return pixels;
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr))
        return pixels;
    *width = int(image.width);
    *height = int(image.height);
    for (size_t i = 0; i + 3 < bytes.size(); i += 4)
        pixels.push_back(0xFF000000u | uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2]);
    return pixels;
}

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
