// Objective: one objective of a mission as the display and the front end read it: its slot, whether
// it is current and done, its category and sector, and the texts shown for it. The scenario layer's
// mission files fill them.
#pragma once

#include "hbroot.h"

#include <cstdint>
#include <string>
#include <vector>

/// Where one of an objective's actions takes place in the world.
struct ObjectiveMarker
{
    float x;
    float y;
    float z;
};

class Objective : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    Objective() = default;

    int32_t GetId() const { return mId; }
    int32_t IsActive() const { return mActive; }
    int32_t IsDone() const { return mDone; }
    int32_t GetCategory() const { return mCategory; }
    const std::string& GetSector() const { return mSector; }
    /// Text id shown when the objective is done; empty for none.
    const std::string& GetCompletionText() const { return mCompletionText; }
    /// Text id of the description in the front end's lists; empty for none.
    const std::string& GetDescriptionText() const { return mDescriptionText; }

    int32_t mId = 0;
    int32_t mActive = 0;
    int32_t mDone = 0;
    int32_t mCategory = 0;
    std::string mSector;
    std::string mCompletionText;
    std::string mDescriptionText;
    /// One record per objective action; none for an objective without a place.
    std::vector<ObjectiveMarker> mMarkers;
};
