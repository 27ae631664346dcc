// MissionManager: the missions and objectives a player profile carries. The scenario layer
// fills it from mission files; until then a profile's missions hold no objective.
#pragma once

#include "hbmemory.h"

#include <cstdint>

class MissionManager : public HbAllocated
{
public:
    /// The size of the objective table.
    static constexpr int32_t kMaxObjectives = 20;

    MissionManager() = default;
    MissionManager(const MissionManager&) = delete;
    MissionManager& operator=(const MissionManager&) = delete;
    virtual ~MissionManager() = default;

    /// Drops every objective.
    virtual void Clear() {}
    /// Objectives held.
    virtual int32_t GetObjectiveCount() const { return 0; }
};
