// MissionManager: the missions and objectives a player profile carries. The scenario layer
// fills it from mission files; until then a profile's missions hold no objective.
#pragma once

#include "hbmemory.h"
#include "objective.h"

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
    /// Drops every objective and forgets the mission: the front end calls it when a mission
    /// starts or ends.
    virtual void Reset() { Clear(); }
    /// The mission's number, 1 to 7, as its file declares it; 0 when none was declared.
    virtual int32_t GetMissionNumber() const { return 0; }
    /// Objectives held.
    virtual int32_t GetObjectiveCount() const { return 0; }
    /// Runs a mission file (by resource id) that declares the mission's objectives; 1 when read.
    virtual int32_t RunMissionFile(const char*) { return 0; }
    /// The missions are told that the sector was entered.
    virtual void OnEnterSector(const char*) {}
    /// The objective in the slot, or null for an empty slot or an index out of the table.
    virtual Objective* GetObjective(int32_t) const { return nullptr; }
    /// The size of an objective's action table.
    static constexpr int32_t kMaxActions = 15;
    /// Of the objectives of the sector, in table order, the first action of that name:
    /// (objective index, action index) and 1, or 0 when none.
    virtual int32_t FindActionByName(const char*, const char*, int32_t*, int32_t*) const { return 0; }
    /// Reports the action done, which completes the objective once all its actions are; 0
    /// for indexes outside either table (negative ones too) or an empty slot.
    virtual int32_t CompleteAction(int32_t, int32_t) { return 0; }
    /// Its done flag; 0 out of range or for an empty slot.
    int32_t IsObjectiveDone(int32_t index) const
    {
        Objective* objective = GetObjective(index);
        return objective ? objective->IsDone() : 0;
    }
    /// Calls the function on every objective held, in slot order; stops at the first 0 and
    /// answers 0, else 1.
    int32_t ForEachObjective(int32_t (*function)(Objective* objective, void* data), void* data) const
    {
        for (int32_t index = 0; index < kMaxObjectives; ++index)
            if (Objective* objective = GetObjective(index))
                if (!function(objective, data))
                    return 0;
        return 1;
    }
};
