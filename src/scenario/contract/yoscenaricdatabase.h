// YoScenaricDataBase: a level's marks and paths by name. The actor layer's database class
// derives from it and reads the level's file.
#pragma once

#include "hbhashmap.h"
#include "hbroot.h"

#include <cstdint>
#include <string>

class YoScenaricMark;
class YoScenaricPath;

class YoScenaricDataBase : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    YoScenaricDataBase() = default;
    /// Releases every mark and path.
    ~YoScenaricDataBase() override;

    std::string GetTypeKey() const override { return "YDB"; }
    int IsShared() const override { return 0; }

    /// Stores the mark under its name with one reference. 0 when the name is taken (the map
    /// keeps the first; the caller still owns the mark).
    int32_t AddMark(YoScenaricMark* mark);
    /// The same for a path.
    int32_t AddPath(YoScenaricPath* path);
    /// The mark of that name or null; the last successful name is cached.
    YoScenaricMark* FindMark(const char* name);
    YoScenaricPath* FindPath(const char* name) const;

    const StringHashMap& GetMarkMap() const { return mMarks; }
    const StringHashMap& GetPathMap() const { return mPaths; }

    /// Raised once the marks were fitted to the difficulty, so that entering the level again
    /// with the same database does not fit them twice.
    int32_t IsDifficultyApplied() const { return mDifficultyApplied; }
    void SetDifficultyApplied() { mDifficultyApplied = 1; }

private:
    StringHashMap mMarks{17, 10};
    StringHashMap mPaths{17, 10};
    YoScenaricMark* mLastMark = nullptr;
    std::string mLastName;
    int32_t mDifficultyApplied = 0;
};
