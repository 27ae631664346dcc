// Test helpers for the file layer: a temporary directory of the test's own, raw
// file access, archives built with the project's own writer, and a fixture that
// leaves the pack set and the file hooks as it found them.
#pragma once

#include "hbfile.h"
#include "hbpack.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace hbtest
{

/// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir
{
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "hbfile_test_XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back(0);
        if (::mkdtemp(buffer.data()))
            mPath = buffer.data();
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!mPath.empty())
            std::filesystem::remove_all(mPath, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return mPath; }
    std::string operator/(const std::string& name) const { return mPath + "/" + name; }

private:
    std::string mPath;
};

inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    if (!bytes.empty())
    {
        EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    }
    std::fclose(f);
}

inline std::string ReadBytes(const std::string& path)
{
    std::string bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0)
        bytes.append(buffer, n);
    std::fclose(f);
    return bytes;
}

using Entries = std::vector<std::pair<std::string, std::string>>;

/// Writes an archive of the entries with HbPackArchive's own writer.
inline bool WritePack(const std::string& path, const Entries& entries)
{
    HbPackArchive writer;
    if (!writer.Open(path.c_str(), "wb"))
        return false;
    bool ok = true;
    for (const auto& [name, data] : entries)
        ok = ok && writer.AddEntry(name, data.data(), data.size()) == 1;
    writer.Close();
    return ok;
}

/// Reads an open file to its end in one-byte items.
inline std::string ReadAll(HbFile* file)
{
    std::string bytes;
    char c = 0;
    while (HbFileRead(&c, 1, 1, file) == 1)
        bytes += c;
    return bytes;
}

/// Starts and ends with no archive mounted, archives disabled, no fallback and
/// no hooks, so tests neither see nor leave global file-layer state.
class PackSetTest : public ::testing::Test
{
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }

    static HbPackSet& Set() { return *HbPackSet::Instance(); }

    /// Mounts archives with packs enabled, the way a resource group does.
    void EnablePacks(int32_t fallback)
    {
        Set().SetEnabled(1);
        Set().SetDiskFallback(fallback);
    }

    TempDir mDir;

private:
    static void Reset()
    {
        HbPackSet* set = HbPackSet::Instance();
        ASSERT_NE(set, nullptr);
        while (set->GetMountedCount() > 0)
            set->Unmount(nullptr);
        set->SetEnabled(0);
        set->SetDiskFallback(0);
        if (!set->IsExcluded("x.sav"))
            set->AddExcludedExtension("sav");
        HbFileBeforeOpenHook = nullptr;
        HbFileNameHook = nullptr;
        HbFileAfterOpenHook = nullptr;
        HbFileBeforeCloseHook = nullptr;
    }
};

} // namespace hbtest
