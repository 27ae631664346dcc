// The mark system, its requests and the script world's hooks for it.
#include "tsmarksystem.h"

#include "hbresource.h"
#include "scriptworldmanager.h"
#include "tsmarkrequest.h"
#include "tsscenaricdatabase.h"
#include "tsscenaricmarks.h"
#include "w3dlevel.h"
#include "world.h"
#include "yorequest.h"
#include "yoscenaricmark.h"

#include <cstdint>
#include <string>

void TsMarkModuleCreate();

// ---- The mark system -----------------------------------------------------------------------------

World* TsMarkWorldOf(W3dLevel* level)
{
    return level ? level->GetMainWorld() : nullptr;
}

TsMarkSystem::TsMarkSystem(const char* identifier, W3dLevel* level)
{
    HbResourceManager* resources = HbResourceManager::Instance();
    // The reference taken here is the one the destructor gives back.
    HbRoot* object = resources && identifier ? resources->AcquireResource(identifier) : nullptr;
    mDatabase = HbCastTo<TsScenaricDataBase>(object);
    if (!mDatabase)
    {
        if (object)
            object->Release();
        return;
    }
    mTables = new SectorObjectTables(mDatabase, TsMarkWorldOf(level));
    mTables->AddRef();
    mRegistry = new TsMarkRequestRegistry();
    mRegistry->AddRef();
    RegisterRequests();
}

TsMarkSystem::~TsMarkSystem()
{
    if (!mDatabase)
        return;
    mRegistry->Release();
    mTables->Release();
    mDatabase->Release();
}

YoScenaricMark* TsMarkSystem::FindMark(const char* name)
{
    return mDatabase ? mDatabase->FindMark(name) : nullptr;
}

void TsMarkSystem::SetLevel(W3dLevel* level)
{
    if (mDatabase)
        mTables->SetWorld(TsMarkWorldOf(level));
}

World* TsMarkSystem::GetWorld() const
{
    return mTables ? mTables->GetWorld() : nullptr;
}

void TsMarkSystem::RegisterRequests()
{
    if (!mRegistry)
        return;
    // Each filter below starts at count 0; the tree and the requests take the references.
    auto free = [] { return new YoScenaricMarkFilter(); };
    auto within = [] { return new YoScenaricMarkFilterDistanceIn(); };
    auto visible = [] { return new TsMarkFilterVisible(); };
    auto front = [] { return new TsMarkFilterFront(); };
    auto both = [](YoRequestFilterAbstract* a, YoRequestFilterAbstract* b)
    { return new YoRequestFilterPair(a, b, YoRequestFilterPair::kAnd); };
    auto no = [](YoRequestFilterAbstract* a) { return new YoRequestFilterNot(a); };

    auto add = [this](YoRequestAbstract* request) { mRegistry->Register(request); };
    add(new YoScenaricMarkRequestDistanceIn("DistanceIn", both(free(), within()), mTables));
    add(new TsMarkRequestAll("Visible", both(free(), both(within(), visible())), mTables));
    add(new TsMarkRequestAll("NotVisible", both(free(), both(within(), no(visible()))), mTables));
    add(new TsMarkRequestAll("Front", both(free(), both(within(), front())), mTables));
    add(new TsMarkRequestAll("Behind", both(free(), both(within(), no(front()))), mTables));
    add(new TsMarkRequestAll("FrontNotVisible", both(free(), both(within(), both(front(), no(visible())))), mTables));
}

namespace
{
struct SectorWalk
{
    TsSectorObjectFn callback;
    int32_t kind;
    void* context;
    bool stopped;
};

WorldSector* VisitSector(WorldSector* sector, void* data)
{
    auto* walk = static_cast<SectorWalk*>(data);
    if (walk->stopped)
        return nullptr;
    HbPtrArray* list = SectorObjectList(sector, walk->kind);
    for (int32_t i = 0; list && i < list->GetCount(); ++i)
        if (!walk->callback(static_cast<HbRoot*>((*list)[i]), walk->context))
        {
            walk->stopped = true;
            return nullptr;
        }
    return sector;
}
} // namespace

int32_t TsWorldForEachSectorObject(TsMarkSystem* system, TsSectorObjectFn callback, int32_t kind, void* context)
{
    World* world = system ? system->GetWorld() : nullptr;
    if (!world || !callback)
        return 0;
    SectorWalk walk = {callback, kind, context, false};
    World::ForAllSectors(world, VisitSector, &walk);
    return 1;
}

namespace
{
int32_t FitRespawnMark(HbRoot* object, void* context)
{
    auto* mark = HbCastTo<RespawnMark>(object);
    if (!mark)
        return 1;
    const int32_t difficulty = *static_cast<int32_t*>(context);
    if (difficulty == 1)
    {
        const int32_t uses = mark->GetRemainingUses();
        // A count read from the level's data may be large: stay within the word.
        mark->mRemainingUses = uses <= 0 ? 1 : uses > INT32_MAX / 2 ? INT32_MAX : 2 * uses;
    }
    else if (difficulty == 2)
        mark->mUnlimited = 1;
    return 1;
}
} // namespace

int32_t TsApplyDifficultyToRespawnMarks(TsMarkSystem* system, int32_t difficulty)
{
    TsScenaricDataBase* database = system ? system->GetDatabase() : nullptr;
    if (!database || database->IsDifficultyApplied() || !system->GetWorld())
        return 0;
    TsWorldForEachSectorObject(system, FitRespawnMark, YoScenaricMark::kRespawnKind, &difficulty);
    database->SetDifficultyApplied();
    return 1;
}

// ---- The script world's hooks ----------------------------------------------------------------------------

TsMarkSystem* TsGetMarkSystem()
{
    ScriptWorldManager* world = ScriptWorldManager::Instance();
    return world ? static_cast<TsMarkSystem*>(world->GetMarkSystem()) : nullptr;
}

namespace
{
HbRoot* CreateMarkSystem(const char* name, W3dLevel* level)
{
    return new TsMarkSystem(name, level);
}

void MarkSystemSetLevel(HbRoot* system, W3dLevel* level)
{
    static_cast<TsMarkSystem*>(system)->SetLevel(level);
}

void* MarkSystemDatabase(HbRoot* system)
{
    return static_cast<TsMarkSystem*>(system)->GetDatabase();
}

/// Paths in the order of the database's map.
YoScenaricPath* PathAt(void* database, int32_t index)
{
    const StringHashMap& paths = static_cast<TsScenaricDataBase*>(database)->GetPathMap();
    HbPosition position = paths.GetStartPosition();
    std::string key;
    void* value = nullptr;
    for (int32_t i = 0; paths.GetNextAssoc(position, key, value); ++i)
        if (i == index)
            return static_cast<YoScenaricPath*>(value);
    return nullptr;
}

int32_t DatabasePathCount(void* database)
{
    return static_cast<TsScenaricDataBase*>(database)->GetPathMap().GetCount();
}

void* DatabasePath(void* database, int32_t index)
{
    return PathAt(database, index);
}

int32_t PathMarkNameCount(void* path)
{
    return int32_t(static_cast<YoScenaricPath*>(path)->mMarkNames.size());
}

const char* PathMarkName(void* path, int32_t index)
{
    auto* p = static_cast<YoScenaricPath*>(path);
    return index >= 0 && size_t(index) < p->mMarkNames.size() ? p->mMarkNames[size_t(index)].c_str() : nullptr;
}

void* DatabaseFindMark(void* database, const char* name)
{
    return static_cast<TsScenaricDataBase*>(database)->FindMark(name);
}

void PathAddMark(void* path, void* mark)
{
    static_cast<YoScenaricPath*>(path)->AddMark(static_cast<YoScenaricMark*>(mark));
}
} // namespace

void TsMarkSystemInstall(ScriptWorldManager* world)
{
    if (!world)
        return;
    ScriptWorldHooks& hooks = world->Hooks();
    hooks.createMarkSystem = CreateMarkSystem;
    hooks.markSystemSetLevel = MarkSystemSetLevel;
    hooks.markSystemDatabase = MarkSystemDatabase;
    hooks.databasePathCount = DatabasePathCount;
    hooks.databasePath = DatabasePath;
    hooks.pathMarkNameCount = PathMarkNameCount;
    hooks.pathMarkName = PathMarkName;
    hooks.databaseFindMark = DatabaseFindMark;
    hooks.pathAddMark = PathAddMark;
    hooks.makeMarkModule = TsMarkModuleCreate;
}
