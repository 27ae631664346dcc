// GameSaveManager: the game's saves (profiles, checkpoints, the save list). Made at start-up
// and released at shut-down; until saves are written it holds none.
#pragma once

#include "hbmemory.h"

#include <cstdint>

class GameSaveManager : public HbAllocated
{
public:
    /// The manager, made on first use.
    static GameSaveManager* Instance();
    /// The manager when it exists, else null.
    static GameSaveManager* Existing();
    /// Destroys the manager; a later Instance makes a new one.
    static void Release();

    /// Saves listed.
    int32_t GetSaveCount() const { return 0; }

    /// The checkpoint of the sector just entered, and its restore on a retry; 1 done. Until
    /// saves are written the checkpoint is only counted.
    int32_t SaveCheckpoint() { return ++mCheckpoints > 0 ? 1 : 0; }
    int32_t RestoreCheckpoint() { return mCheckpoints > 0 ? 1 : 0; }
    int32_t GetCheckpointCount() const { return mCheckpoints; }

private:
    GameSaveManager() = default;
    int32_t mCheckpoints = 0;
};
