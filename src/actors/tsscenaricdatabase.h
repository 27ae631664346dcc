// TsScenaricDataBase: the level's scenario database ("SCE"), read from one chunk stream: the
// marks of every kind and the paths, section by section.
#pragma once

#include "yoscenaricdatabase.h"

#include <cstdint>

class HbMChunkStream;

class TsScenaricDataBase : public YoScenaricDataBase
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr uint32_t kChunkId = 5440;
    /// The sections in the order they are looked for.
    static constexpr uint32_t kSectionOrder[] = {9, 10, 1, 11, 13, 14, 15, 16, 17, 18, 2};
    static constexpr uint32_t kPathSection = 2;

    TsScenaricDataBase() = default;

    /// 1, or 0 when the outer chunk is missing, a count passes what its section holds, or an
    /// entry's data is cut short.
    int Load(HbStream* stream, const char* name) override;
    std::string GetTypeKey() const override { return "SCE"; }
    int IsShared() const override { return 1; }

    int32_t LoadFromChunks(HbMChunkStream* stream);
    /// Entries dropped because their identifier made no object of the section's class.
    int32_t GetRejectedCount() const { return mRejected; }

private:
    int32_t ReadSection(HbMChunkStream* stream, uint32_t section, uint32_t count);
    int32_t mRejected = 0;
};
