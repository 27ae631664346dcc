// TsMarkSystem: the script world's holder of the level's scenario database, its marks filed
// by sector in the current level's world, and the six named mark requests.
#pragma once

#include "hbroot.h"

#include <cstdint>

class HbRoot;
class ScriptWorldManager;
class SectorObjectTables;
class TsMarkRequestRegistry;
class TsScenaricDataBase;
class W3dLevel;
class YoScenaricMark;
struct World;

class TsMarkSystem : public HbRoot
{
public:
    /// Requests are built over these names.
    static constexpr const char* kRequestNames[] = {"DistanceIn", "Visible", "NotVisible",
                                                    "Front",      "Behind",  "FrontNotVisible"};

    /// The database of that identifier over the level's world. Without such a resource the
    /// system stays empty: no tables, no requests.
    TsMarkSystem(const char* identifier, W3dLevel* level);
    ~TsMarkSystem() override;

    /// The database's mark of that name; null as well without a database.
    YoScenaricMark* FindMark(const char* name);
    /// Files the marks in the new level's world (null: none). Nothing without a database.
    void SetLevel(W3dLevel* level);
    /// Builds and registers the six requests.
    void RegisterRequests();

    TsScenaricDataBase* GetDatabase() const { return mDatabase; }
    SectorObjectTables* GetTables() const { return mTables; }
    TsMarkRequestRegistry* GetRegistry() const { return mRegistry; }
    /// The world the marks are filed in, or null.
    World* GetWorld() const;

private:
    TsScenaricDataBase* mDatabase = nullptr;
    SectorObjectTables* mTables = nullptr;
    TsMarkRequestRegistry* mRegistry = nullptr;
};

/// The world of a level the marks are filed in (its main world), or null.
World* TsMarkWorldOf(W3dLevel* level);

/// Called with each object filed under the kind; 0 stops the walk.
using TsSectorObjectFn = int32_t (*)(HbRoot* object, void* context);
/// Every object filed under the kind in every sector of the system's world, in sector order.
/// 1 when the system has a world, else 0.
int32_t TsWorldForEachSectorObject(TsMarkSystem* system, TsSectorObjectFn callback, int32_t kind, void* context);

/// Fits the respawn marks of every sector to the difficulty, once per load of the database:
/// at 1 a mark's uses become twice what it answers (1 when that is 0 or less; unlimited marks
/// answer -1), at 2 every mark becomes unlimited, at 0 nothing changes. 1 when the marks were
/// fitted now, 0 when they were already or there is no world.
int32_t TsApplyDifficultyToRespawnMarks(TsMarkSystem* system, int32_t difficulty);

/// The script world's mark system, or null.
TsMarkSystem* TsGetMarkSystem();
/// Fills the script world's mark-system and path hooks and its mark-module hook.
void TsMarkSystemInstall(ScriptWorldManager* world);
