// World-sector object tables and their sector extension.
#include "wsectorobjecttable.h"

#include "world.h"

HB_DEFINE_CLASS_DESC(SectorObjectTable, HbRoot);

namespace
{
int32_t gOffset = -1;

SectorObjectTable** Slot(void* object, int32_t offset)
{
    return reinterpret_cast<SectorObjectTable**>(static_cast<char*>(object) + offset);
}

void* Construct(void* object, int32_t offset, int32_t)
{
    *Slot(object, offset) = nullptr;
    return object;
}

void* Destruct(void* object, int32_t offset, int32_t)
{
    SectorObjectTableAssign(Slot(object, offset), nullptr);
    return object;
}

void* Copy(void* destination, const void* source, int32_t offset, int32_t)
{
    SectorObjectTable* table = *Slot(const_cast<void*>(source), offset);
    *Slot(destination, offset) = nullptr;
    SectorObjectTableAssign(Slot(destination, offset), table);
    return destination;
}
} // namespace

int SectorObjectTable::Attach()
{
    gOffset = WorldSector::RegisterPlugin(int32_t(sizeof(SectorObjectTable*)), kPluginId, Construct, Destruct, Copy);
    return gOffset >= 0 ? 1 : 0;
}

SectorObjectTable** SectorObjectTable::Extension(WorldSector* sector)
{
    return gOffset < 0 || !sector ? nullptr : Slot(sector, gOffset);
}

int32_t SectorObjectTable::GetOffset()
{
    return gOffset;
}

SectorObjectTable::~SectorObjectTable()
{
    HbPosition position = mLists.GetStartPosition();
    uint32_t type = 0;
    void* value = nullptr;
    while (position && mLists.GetNextAssoc(position, type, value))
    {
        auto* list = static_cast<HbPtrArray*>(value);
        for (int32_t i = 0; i < list->GetCount(); ++i)
            if (auto* object = static_cast<HbRoot*>((*list)[i]))
                object->Release();
        delete list;
    }
    mLists.RemoveAll();
}

int32_t SectorObjectTable::AddObject(int32_t type, HbRoot* object)
{
    void* value = nullptr;
    if (!mLists.Find(uint32_t(type), value))
    {
        auto* list = new HbPtrArray();
        void** slot = list ? mLists.FindOrInsert(uint32_t(type)) : nullptr;
        if (!slot)
        {
            delete list;
            return 0;
        }
        *slot = list;
        value = list;
    }
    if (static_cast<HbPtrArray*>(value)->Add(object) < 0)
        return 0;
    object->AddRef();
    return 1;
}

HbPtrArray* SectorObjectTable::FindList(int32_t type) const
{
    void* value = nullptr;
    return mLists.Find(uint32_t(type), value) ? static_cast<HbPtrArray*>(value) : nullptr;
}

SectorObjectTable* SectorObjectTableGet(SectorObjectTable** extension)
{
    return extension ? *extension : nullptr;
}

void SectorObjectTableAssign(SectorObjectTable** extension, SectorObjectTable* table)
{
    if (!extension)
        return;
    SectorObjectTable* old = *extension;
    // Take before releasing: assigning the table already held keeps it.
    if (table)
        table->AddRef();
    *extension = table;
    if (old)
        old->Release();
}
