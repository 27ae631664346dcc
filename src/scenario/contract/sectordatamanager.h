// SectorDataManager: the stored state of the sectors the player left and the mission snapshot
// of the last sector entry. The scenario layer stores and restores sectors through it; until
// then nothing is stored and clearing has nothing to drop.
#pragma once

#include "hbmemory.h"

#include <cstdint>
#include <string>
#include <vector>

class StringHashMap;

class SectorDataManager : public HbAllocated
{
public:
    /// The manager, made on first use; the exit list destroys it.
    static SectorDataManager* Instance();
    /// The manager when it exists, else null.
    static SectorDataManager* Existing();

    /// Drops every stored sector and the snapshot.
    void ClearAll();
    /// Stored sectors.
    int32_t GetSectorCount() const { return static_cast<int32_t>(mSectors.size()); }

    // ---- Stage entry and leave (the scenario layer fills in what a sector keeps) --------------
    /// Stores the state of the sector being left under its name.
    virtual void StoreSector(const char* name);
    /// 1 when a state is stored under the name.
    int32_t HasSector(const char* name) const;
    /// Restores what was stored for the sector; nothing for a sector never left.
    virtual void RestoreSector(const char* name);
    /// The snapshot of the objectives' action states at the sector's entry, and its restore.
    virtual void SaveObjectiveActions() {}
    virtual void RestoreObjectiveActions() {}
    /// The profile's global logical inventory kept at the sector's entry, and given back.
    virtual void StoreLogicalInventory(const StringHashMap& inventory);
    virtual void CopyLogicalInventory(StringHashMap& inventory) const;
    virtual ~SectorDataManager() = default;

private:
    SectorDataManager() = default;
    static void DestroyInstance();

    std::vector<std::string> mSectors;
};
