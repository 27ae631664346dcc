// SectorDataManager: the stored state of the sectors the player left and the mission snapshot
// of the last sector entry. The scenario layer stores and restores sectors through it; until
// then nothing is stored and clearing has nothing to drop.
#pragma once

#include "hbmemory.h"

#include <cstdint>

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
    int32_t GetSectorCount() const { return mSectorCount; }

private:
    SectorDataManager() = default;
    static void DestroyInstance();

    int32_t mSectorCount = 0;
};
