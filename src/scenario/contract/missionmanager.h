// MissionManager: the missions and objectives a player profile carries, filled by the mission
// file the scenario layer runs; and MissionServices, the hooks through which the missions reach
// the layers above (marks, actors' scripts, the head-up display, the markers, the sector).
#pragma once

#include "hbmemory.h"
#include "objective.h"

#include <cstdint>
#include <string>

/// Filled by the scenario layer at start-up; a null entry does nothing (or finds nothing).
struct MissionServices
{
    /// The scenario mark's position: 1 and out filled, or 0 when there is no such mark.
    int32_t (*findMark)(const char* name, float out[3]) = nullptr;
    /// Calls initObjectiveFromObjectiveManager with the argument on the named actor, when it exists.
    void (*initActor)(const char* actorName, const char* argument) = nullptr;
    /// Logs the localized text on the in-game head-up display.
    void (*showText)(const char* textId) = nullptr;
    /// A new marker playing the signaletic effect of that id, or null.
    MissionMarker* (*createMarker)(int32_t effectId) = nullptr;
    /// The current game state's profile's sector id; empty without one.
    std::string (*profileSector)() = nullptr;
};

class MissionManager : public HbAllocated
{
public:
    /// The size of the objective table.
    static constexpr int32_t kMaxObjectives = 20;
    /// The size of an objective's action table.
    static constexpr int32_t kMaxActions = Objective::kMaxActions;
    /// Signaletic ids from this one up make no marker.
    static constexpr int32_t kMaxEffectId = 60;

    MissionManager() = default;
    MissionManager(const MissionManager&) = delete;
    MissionManager& operator=(const MissionManager&) = delete;
    /// Releases the objectives.
    virtual ~MissionManager();

    // ---- Services and program-wide state ---------------------------------------------------
    static void SetServices(const MissionServices& services);
    static const MissionServices& Services();
    /// The sector entered last.
    static const std::string& CurrentSector();
    /// The world part of the sector for which a mission file ran last; empty after a reset.
    static const std::string& MissionWorld();

    // ---- The table ---------------------------------------------------------------------------
    /// Releases every objective and empties the table.
    virtual void Clear();
    /// Clear, and forgets the mission world so the next mission file runs: the front end calls
    /// it when a mission starts or ends.
    virtual void Reset();
    /// The mission's number as its file declares it (1-based); 0 when none was declared.
    virtual int32_t GetMissionNumber() const { return mNumber; }
    const std::string& GetTitleText() const { return mTitleText; }
    /// Objectives held.
    virtual int32_t GetObjectiveCount() const;
    /// The objective in the slot, or null for an empty slot or an index out of the table.
    virtual Objective* GetObjective(int32_t index) const;
    /// Stores the objective at its id with one reference (releasing what was there); 0 for an
    /// id outside 0 to 19.
    int32_t SetObjective(Objective* objective);
    /// Its done flag; 0 out of range or for an empty slot.
    int32_t IsObjectiveDone(int32_t index) const
    {
        Objective* objective = GetObjective(index);
        return objective ? objective->IsDone() : 0;
    }

    // ---- Running the mission -----------------------------------------------------------------
    /// Runs the mission file (by resource id) once per world of the profile's sector: 1 when
    /// it ran or had already run for this world, 0 when the file is unknown or failed.
    virtual int32_t RunMissionFile(const char* resourceId);
    /// The sector was entered: every marker goes, then the sector's actions read their points
    /// again and show their markers or tell their actors.
    virtual void OnEnterSector(const char* sectorId);
    /// 0 done; 1 the objective is not active; 2 no such action; 3 no such objective (negative
    /// indexes too). A finished objective is told to every objective.
    virtual int32_t CompleteAction(int32_t objectiveIndex, int32_t actionIndex);
    /// Of the objectives of the sector, in table order, the first action whose actor name (or,
    /// for one without an actor, mark name) equals the name: (objective index, action index)
    /// and 1, or 0 when none.
    virtual int32_t FindActionByName(const char* sector, const char* name, int32_t* objective, int32_t* action) const;

    // ---- Walking -----------------------------------------------------------------------------
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
    /// The same for every action of every objective.
    int32_t ForEachObjectiveAction(Objective::ActionFunction function, void* data) const;
    /// The same, for the objectives whose sector is exactly the given one.
    int32_t ForEachSectorObjectiveAction(const char* sector, Objective::ActionFunction function, void* data) const;

    // ---- Mission files: the mission and objective under construction ------------------------
    /// Null outside a mission file run (and after EndCreateMission).
    static MissionManager* Building();
    static void SetBuilding(MissionManager* missions);
    /// The objective under construction (one reference held), or null.
    static Objective* BuildingObjective();
    /// Takes a reference on the new one and releases the old one.
    static void SetBuildingObjective(Objective* objective);
    /// The id new actions take; -1 for none. Below -1 counts as -1.
    static int32_t SignaleticEffectId();
    static void SetSignaleticEffectId(int32_t id);

    int32_t mNumber = 0;
    std::string mTitleText;

private:
    Objective* mObjectives[kMaxObjectives] = {};
};
