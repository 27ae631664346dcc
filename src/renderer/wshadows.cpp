// The shadow records.
#include "wshadows.h"

#include "hbexitlist.h"
#include "hbgrowarray.h"
#include "hbmemory.h"

namespace
{
struct ShadowRecord : HbAllocated
{
    int32_t id = -1;
    WShadowDesc desc = {};
    int32_t visible = 0;
};

HbPtrArray* gRecords = nullptr;
int32_t gNextId = 0;

void FreeRecords()
{
    if (!gRecords)
        return;
    for (int32_t i = 0; i < gRecords->GetCount(); ++i)
        delete static_cast<ShadowRecord*>((*gRecords)[i]);
    delete gRecords;
    gRecords = nullptr;
}

HbPtrArray* Records()
{
    if (!gRecords)
    {
        gRecords = new HbPtrArray();
        if (gRecords)
            HbExitList::Add(FreeRecords);
    }
    return gRecords;
}

int32_t Find(int32_t id)
{
    if (id == -1 || !gRecords)
        return -1;
    for (int32_t i = 0; i < gRecords->GetCount(); ++i)
        if (static_cast<ShadowRecord*>((*gRecords)[i])->id == id)
            return i;
    return -1;
}
} // namespace

int32_t WShadows::Add(const WShadowDesc* desc)
{
    HbPtrArray* records = Records();
    auto* record = records ? new ShadowRecord() : nullptr;
    if (!record)
        return -1;
    record->desc = *desc;
    record->desc.radius *= 1.1f;
    if (!(record->desc.radius > 0.0f))
        record->desc.radius = kDefaultRadius;
    record->visible = desc->visible;
    if (records->Add(record) < 0)
    {
        delete record;
        return -1;
    }
    record->id = gNextId++;
    return record->id;
}

int32_t WShadows::Remove(int32_t id)
{
    int32_t index = Find(id);
    if (index < 0)
        return kUnknownId;
    delete static_cast<ShadowRecord*>((*gRecords)[index]);
    int32_t count = gRecords->GetCount();
    for (int32_t i = index; i + 1 < count; ++i)
        (*gRecords)[i] = (*gRecords)[i + 1];
    gRecords->SetSize(count - 1);
    return 0;
}

int32_t WShadows::SetVisible(int32_t id, int32_t visible)
{
    int32_t index = Find(id);
    if (index < 0)
        return kUnknownId;
    static_cast<ShadowRecord*>((*gRecords)[index])->visible = visible;
    return 0;
}

int32_t WShadows::GetVisible(int32_t id)
{
    int32_t index = Find(id);
    return index < 0 ? -1 : static_cast<ShadowRecord*>((*gRecords)[index])->visible;
}

const WShadowDesc* WShadows::GetDesc(int32_t id)
{
    int32_t index = Find(id);
    return index < 0 ? nullptr : &static_cast<ShadowRecord*>((*gRecords)[index])->desc;
}

int32_t WShadows::GetCount()
{
    return gRecords ? gRecords->GetCount() : 0;
}

void WShadows::RenderAll(Camera*) {}
