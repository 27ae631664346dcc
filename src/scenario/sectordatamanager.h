// SectorDataManager: in memory only, what each sector looked like when the player left it
// (saved script actors, respawn marks, running scenario effects, enabled one-shot event
// boxes), put back when he returns; and the mission snapshot of the last sector entry (the
// objectives' states and the global logical inventory) that a load request rolls back to.
#pragma once

#include "hbmemory.h"
#include "matrix.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class StringHashMap;
class MissionManager;
class YoEBox;

class SectorDataManager : public HbAllocated
{
public:
    /// Names written into a record must be shorter than this.
    static constexpr size_t kNameCapacity = 60;
    /// Box-flag words a record holds.
    static constexpr int32_t kBoxWords = 32;

    /// What a saved actor was.
    struct ActorDatas
    {
        Vector position = {0, 0, 0};
        Vector direction = {0, 0, 1};
        std::string behaviour;
        std::string className;
        std::string dataName;
        int32_t active = 0;
    };
    /// The state of a respawn mark.
    struct MarkData
    {
        int32_t unlimited = 0;
        int64_t delay = 0;
        int32_t remainingUses = 0;
        int32_t lock = 0;
    };
    struct SectorData
    {
        std::map<std::string, ActorDatas> actors;
        int32_t boxWords = 0;
        uint32_t boxBits[kBoxWords] = {};
        std::map<std::string, MarkData> marks;
        /// Effect-table index -> 1 when the effect was still running.
        std::map<int32_t, int32_t> effects;
    };
    /// One objective action's entry in the mission snapshot.
    struct ObjectiveState
    {
        int32_t objective;
        int32_t action;
        int32_t active;
        int32_t done;
    };

    /// The manager, made on first use; the exit list destroys it.
    static SectorDataManager* Instance();
    /// The manager when it exists, else null.
    static SectorDataManager* Existing();

    /// Forgets every sector and both snapshots.
    void ClearAll();
    int32_t GetSectorCount() const { return static_cast<int32_t>(mSectors.size()); }
    /// The stored record, or null.
    const SectorData* FindSector(const char* name) const;

    // ---- Leaving and entering a sector -----------------------------------------------------------
    /// 0 done; 1 a pass failed; 3 no event-box set; 4 too many boxes to keep their flags.
    int32_t StoreSector(const char* name);
    /// The same with the given event-box set in place of the script world's.
    int32_t StoreSector(const char* name, const YoEBox* boxes);
    int32_t HasSector(const char* name) const;
    /// The four restores in order, with the script world's event-box set.
    void RestoreSector(const char* name);
    /// 0 done; 2 no set; 3 unknown sector; 4 the set's box-word count differs from the record's.
    int32_t RestoreEventBoxBits(const char* name, YoEBox* boxes);
    /// 0 done; 2 the mark walk did not complete; 3 unknown sector.
    int32_t RestoreMarkStates(const char* name);
    /// 0 done; 2 a script object could not be made or the pass failed; 3 unknown sector.
    int32_t RestoreActors(const char* name);
    /// 0 done; 3 unknown sector.
    int32_t RestoreFxStates(const char* name);

    // ---- The mission snapshot --------------------------------------------------------------------
    /// The current profile's objectives' states; 0.
    int32_t SaveObjectiveActions();
    /// 0 done; 3 an objective of the snapshot no longer exists (earlier entries stay applied).
    int32_t RestoreObjectiveActions();
    /// The same on the given missions.
    int32_t SaveObjectiveActions(const MissionManager* missions);
    int32_t RestoreObjectiveActions(MissionManager* missions);
    const std::vector<ObjectiveState>& GetObjectiveStates() const { return mObjectives; }
    /// The snapshot of a logical inventory, and its copy back (the map emptied first). 0.
    int32_t StoreLogicalInventory(const StringHashMap& inventory);
    int32_t CopyLogicalInventory(StringHashMap& inventory) const;

    ~SectorDataManager();

private:
    SectorDataManager() = default;
    static void DestroyInstance();
    int32_t StoreActors(SectorData& sector);
    static int32_t StoreEventBoxBits(SectorData& sector, const YoEBox* boxes);

    std::map<std::string, std::unique_ptr<SectorData>> mSectors;
    std::vector<ObjectiveState> mObjectives;
    std::vector<std::pair<std::string, int32_t>> mInventory;
};
