// YoScenaricDataBase: a level's marks and paths by name. The actor layer's database class
// derives from it and reads the level's file.
#pragma once

#include "hbhashmap.h"
#include "hbroot.h"

#include <cstdint>
#include <string>

class HbMChunkStream;
class YoScenaricMark;
class YoScenaricPath;

class YoScenaricDataBase : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    YoScenaricDataBase() = default;
    /// Releases every mark and path.
    ~YoScenaricDataBase() override;

    static constexpr uint32_t kChunkId = 4160;
    static constexpr uint32_t kMarkSection = 1;
    static constexpr uint32_t kPathSection = 2;

    /// The "YDB" layout: the outer chunk (4160, 0, 0), then the marks section (4160, 1, 0) and
    /// the paths section (4160, 2, 0), each counting its entries in its value word; an entry
    /// is a resource identifier, then the object's data. A later mark or path of a name
    /// replaces the earlier one. 1, or 0 when the outer chunk is missing, a count passes what
    /// its section holds, or an entry's data is cut short.
    int Load(HbStream* stream, const char* name) override;
    std::string GetTypeKey() const override { return "YDB"; }
    int IsShared() const override { return 0; }
    int32_t Read(HbMChunkStream* stream);
    /// A dump of the objects in memory, not the layout Read takes: the outer chunk and the two
    /// sections with the value 1, every mark as "_TSMARK" then its Write, every path as
    /// "_TSPATH" then its Write (its bound marks, no names). 1, or 0 when a write failed.
    int WriteChunks(HbMChunkStream* stream) override;

    /// Stores the mark under its name with one reference. 0 when the name is taken (the map
    /// keeps the first; the caller still owns the mark).
    int32_t AddMark(YoScenaricMark* mark);
    /// The same for a path.
    int32_t AddPath(YoScenaricPath* path);
    /// The mark of that name or null; the last successful name is cached.
    YoScenaricMark* FindMark(const char* name);
    YoScenaricPath* FindPath(const char* name) const;
    /// Look-ups FindMark made in the map (the cache spares them).
    int32_t GetMarkLookupCount() const { return mMarkLookups; }

    const StringHashMap& GetMarkMap() const { return mMarks; }
    const StringHashMap& GetPathMap() const { return mPaths; }

    /// Raised once the marks were fitted to the difficulty, so that entering the level again
    /// with the same database does not fit them twice.
    int32_t IsDifficultyApplied() const { return mDifficultyApplied; }
    void SetDifficultyApplied() { mDifficultyApplied = 1; }

private:
    int32_t ReadSection(HbMChunkStream* stream, uint32_t section, uint32_t count);
    /// Stores under the name with one reference, releasing an object stored there before.
    int32_t Replace(StringHashMap& map, const std::string& name, HbRoot* object);

    StringHashMap mMarks{17, 10};
    StringHashMap mPaths{17, 10};
    YoScenaricMark* mLastMark = nullptr;
    std::string mLastName;
    int32_t mMarkLookups = 0;
    int32_t mDifficultyApplied = 0;
};
