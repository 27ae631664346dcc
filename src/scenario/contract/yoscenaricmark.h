// YoScenaricMark and YoScenaricPath: a named, oriented place of a level's scenario data and
// an ordered list of them. The actor layer derives the mark kinds and reads them.
#pragma once

#include "hbgrowarray.h"
#include "hbroot.h"
#include "matrix.h"

#include <cstdint>
#include <string>
#include <vector>

class HbMChunkStream;

class YoScenaricMark : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Kinds whose marks a path files in a list of their own.
    static constexpr int32_t kAlarmKind = 5;
    static constexpr int32_t kAmbushKind = 6;
    static constexpr int32_t kSearchKind = 11;
    static constexpr int32_t kRespawnKind = 13;

    /// Empty name, identity matrix, not locked, not held.
    YoScenaricMark();

    /// Marks never load from files of their own: the database's stream fills them. 1.
    int Load(HbStream* stream, const char* name) override;
    std::string GetTypeKey() const override { return "YOSCENARICMARK"; }
    int IsShared() const override { return 0; }

    /// The mark's data from the database's stream: the name, then the matrix (subclasses
    /// read their own fields after). 1, or 0 when the stream ended first.
    virtual int32_t ReadData(HbMChunkStream* stream);
    /// The kind number (0 here).
    virtual int32_t GetKind() const { return 0; }
    /// The string "_YOSCENARICMARK", the name and the matrix (a kind's own values are not
    /// written). 1, or 0 when a write failed.
    int32_t Write(HbStream* stream) const;

    /// Free: not held and not locked.
    bool IsFree() const { return mHeld == 0 && mLockCount <= 0; }
    const Vector& GetPosition() const { return mMatrix.pos; }

    std::string mName;
    Matrix mMatrix;
    int32_t mLockCount = 0;
    int32_t mHeld = 0;
};

class YoScenaricPath : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr uint32_t kNamesChunk = 4128;

    YoScenaricPath() = default;
    /// Releases the bound marks.
    ~YoScenaricPath() override;

    int Load(HbStream* stream, const char* name) override;
    std::string GetTypeKey() const override { return "YOSCENARICPATH"; }
    int IsShared() const override { return 0; }

    /// The name, then the chunk (4128, 0, 1) whose value counts the mark names it holds. 1,
    /// or 0 when the chunk is missing, its count passes what the chunk holds or a string is
    /// cut short.
    virtual int32_t ReadData(HbMChunkStream* stream);
    /// Binds a mark (one reference); marks of the alarm, ambush, search and respawn kinds go
    /// into their list too. Null is ignored.
    void AddMark(YoScenaricMark* mark);
    /// The chunk (4128, 0, 1) holding, for every bound mark, "_YOSCENARICPATH" and the mark's
    /// Write; the names are not written. 1, or 0 when a write failed.
    int32_t Write(HbMChunkStream* stream) const;

    std::string mName;
    std::vector<std::string> mMarkNames;
    HbPtrArray mMarks;
    HbPtrArray mAlarmMarks;
    HbPtrArray mAmbushMarks;
    HbPtrArray mSearchMarks;
    HbPtrArray mRespawnMarks;
};

/// Bytes the stream still holds before the innermost chunk it reads ends (or the data ends).
int64_t YoStreamRemaining(HbMChunkStream* stream);
