// Mark requests, the free and distance filters, and the per-sector mark index.
#include "yorequest.h"

#include "w3dcollision.h"
#include "world.h"
#include "wsectorobjecttable.h"
#include "yoscenaricdatabase.h"
#include "yoscenaricmark.h"

HB_DEFINE_CLASS_DESC(SectorObjectTables, HbRoot);
HB_DEFINE_CLASS_DESC(YoRequestFilterAbstract, HbRoot);
HB_DEFINE_CLASS_DESC(YoRequestAbstract, HbRoot);
HB_DEFINE_CLASS_DESC(YoScenaricMarkRequestDistanceIn, YoRequestAbstract);
HB_DEFINE_CLASS_DESC(YoScenaricMarkFilter, YoRequestFilterAbstract);
HB_DEFINE_CLASS_DESC(YoScenaricMarkFilterDistanceIn, YoRequestFilterAbstract);

// ---- Sector object tables ----------------------------------------------------------------------

namespace
{
WorldSector* ClearTable(WorldSector* sector, void*)
{
    if (SectorObjectTable** slot = SectorObjectTable::Extension(sector))
        SectorObjectTableAssign(slot, nullptr);
    return sector;
}

WorldSector* NewTable(WorldSector* sector, void*)
{
    if (SectorObjectTable** slot = SectorObjectTable::Extension(sector))
        SectorObjectTableAssign(slot, new SectorObjectTable());
    return sector;
}
} // namespace

HbPtrArray* SectorObjectList(WorldSector* sector, int32_t kind)
{
    SectorObjectTable* table = sector ? SectorObjectTableGet(SectorObjectTable::Extension(sector)) : nullptr;
    return table ? table->FindList(kind) : nullptr;
}

SectorObjectTables::SectorObjectTables(YoScenaricDataBase* database, World* world) : mDatabase(database)
{
    if (mDatabase)
        mDatabase->AddRef();
    SetWorld(world);
}

SectorObjectTables::~SectorObjectTables()
{
    SetWorld(nullptr);
    if (mDatabase)
        mDatabase->Release();
}

void SectorObjectTables::SetWorld(World* world)
{
    if (mWorld)
        World::ForAllSectors(mWorld, ClearTable, nullptr);
    mWorld = world;
    if (!mWorld)
        return;
    World::ForAllSectors(mWorld, NewTable, nullptr);
    if (!mDatabase)
        return;
    const StringHashMap& marks = mDatabase->GetMarkMap();
    HbPosition position = marks.GetStartPosition();
    std::string key;
    void* value = nullptr;
    while (marks.GetNextAssoc(position, key, value))
    {
        auto* mark = static_cast<YoScenaricMark*>(value);
        WorldSector* sector = LevelFindSectorAtPoint(mWorld, &mark->GetPosition());
        SectorObjectTable* table = sector ? SectorObjectTableGet(SectorObjectTable::Extension(sector)) : nullptr;
        if (table)
            table->AddObject(mark->GetKind(), mark);
    }
}

// ---- Requests ----------------------------------------------------------------------------------

YoRequestAbstract::YoRequestAbstract(const char* name, YoRequestFilterAbstract* filter)
    : mName(name ? name : ""), mFilter(filter)
{
    if (mFilter)
    {
        mFilter->AddRef();
        mFilter->SetOwner(this);
    }
}

YoRequestAbstract::~YoRequestAbstract()
{
    if (mFilter)
    {
        mFilter->ClearOwner();
        mFilter->Release();
    }
}

YoScenaricMarkRequestDistanceIn::YoScenaricMarkRequestDistanceIn(const char* name, YoRequestFilterAbstract* filter,
                                                                 SectorObjectTables* tables)
    : YoRequestAbstract(name, filter), mTables(tables)
{
    if (mTables)
        mTables->AddRef();
}

YoScenaricMarkRequestDistanceIn::~YoScenaricMarkRequestDistanceIn()
{
    if (mTables)
        mTables->Release();
}

void YoScenaricMarkRequestDistanceIn::Evaluate(HbPtrArray* out, int32_t maximum)
{
    World* world = mTables ? mTables->GetWorld() : nullptr;
    if (!world || !out)
        return;
    HbPtrArray sectors;
    const Sphere sphere = {mCentre, mRadius};
    LevelCollectSectorsInSphere(&sectors, world, &sphere);
    YoRequestFilterAbstract* filter = GetFilter();
    int32_t examined = 0;
    for (int32_t s = 0; s < sectors.GetCount(); ++s)
    {
        HbPtrArray* list = SectorObjectList(static_cast<WorldSector*>(sectors[s]), mKind);
        for (int32_t i = 0; list && i < list->GetCount(); ++i)
        {
            if (examined == maximum)
                return;
            auto* mark = static_cast<YoScenaricMark*>((*list)[i]);
            if (filter && filter->Test(mark))
                out->Add(mark);
            ++examined;
        }
    }
}

// ---- Filters -------------------------------------------------------------------------------------

int32_t YoScenaricMarkFilter::Test(YoScenaricMark* mark)
{
    return mark && mark->IsFree() ? 1 : 0;
}

int32_t YoScenaricMarkFilterDistanceIn::Test(YoScenaricMark* mark)
{
    auto* request = HbCastTo<YoScenaricMarkRequestDistanceIn>(mOwner);
    if (!request || !mark)
        return 0;
    const Vector& p = mark->GetPosition();
    const Vector& c = request->GetCenter();
    const float dx = p.x - c.x, dy = p.y - c.y, dz = p.z - c.z;
    const float r = request->GetRadius();
    return dx * dx + dy * dy + dz * dz < r * r ? 1 : 0;
}
