// Mark requests, the free and distance filters, and the per-sector mark index.
#include "yorequest.h"

#include "collision.h"
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

namespace
{
struct Walk
{
    YoRequestFilterAbstract* filter;
    HbPtrArray* out;
    int32_t kind;
    int32_t maximum;
    int32_t examined;
};

/// One touched sector's marks of the kind; null stops the sector walk at the maximum.
WorldSector* WalkSector(IntersectionPrimitive*, WorldSector* sector, void* data)
{
    auto* walk = static_cast<Walk*>(data);
    HbPtrArray* list = SectorObjectList(sector, walk->kind);
    for (int32_t i = 0; list && i < list->GetCount(); ++i)
    {
        if (walk->examined == walk->maximum)
            return nullptr;
        auto* mark = static_cast<YoScenaricMark*>((*list)[i]);
        if (walk->filter && walk->filter->Test(mark))
            walk->out->Add(mark);
        ++walk->examined;
    }
    return sector;
}
} // namespace

void YoScenaricMarkRequestDistanceIn::Evaluate(HbPtrArray* out, int32_t maximum)
{
    World* world = mTables ? mTables->GetWorld() : nullptr;
    if (!world || !out)
        return;
    // The sectors are walked as the query reaches them: nothing is gathered first, so an
    // evaluation allocates only what it appends to out.
    IntersectionPrimitive sphere = {};
    sphere.type = kIntersectSphere;
    sphere.data.sphere = {mCentre, mRadius};
    Walk walk = {GetFilter(), out, mKind, maximum, 0};
    World::ForAllSectorIntersections(world, &sphere, WalkSector, &walk);
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
