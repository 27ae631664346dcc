// TsSplineDataBase: the level's cinematic camera splines, up to 100 numbered entries of a
// spline curve and a value, read as the resource type "SDB".
#pragma once

#include "hbroot.h"

#include <cstdint>

struct SplineCurve;
struct Stream;

struct TsSplineEntry
{
    SplineCurve* spline; ///< owned by the database
    int32_t value;       ///< kept for the camera shots that use the entry
};

class TsSplineDataBase : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr int32_t kSlotCount = 100;

    TsSplineDataBase() = default;
    /// Destroys every entry and its spline.
    ~TsSplineDataBase() override;

    /// Reads the resource's engine stream. 0 when the data begins with another word than 0
    /// or gives a negative count; otherwise 1 with every complete entry read (data that
    /// ends inside an entry is reported to the debug text). Entries without a spline chunk
    /// and slots outside 0-99 are dropped; a later entry of a slot replaces the earlier one.
    int Load(HbStream* stream, const char* name) override;
    int32_t LoadFromEngineStream(Stream* stream, const char* name);
    std::string GetTypeKey() const override { return "SDB"; }
    /// The script world holds the one database of its level.
    int IsShared() const override { return 1; }

    /// The entry in the slot, or null (also for an index outside 0-99).
    const TsSplineEntry* GetSpline(int32_t index) const;

private:
    void FreeSlot(int32_t slot);

    TsSplineEntry* mEntries[kSlotCount] = {};
};
