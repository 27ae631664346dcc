// The resource manager: type registry, declared paths, the weak cache, and
// making, cloning and loading resources.
#include "hbresource.h"

#include "hbmodulearena.h"
#include "hbmoduleinit.h"
#include "hbstream.h"
#include "hbstringarray.h"

#include <cstring>
#include <new>

HB_DEFINE_CLASS_POOL(HbResourceData, "HbResourceData", 1500);

namespace
{
// The path-list records; beyond the arena they come from the heap.
constinit HbModuleArena gPathArena{57600, true};

[[maybe_unused]] const int gPathArenaInit =
    HbRegisterModuleInit([]() -> int { return gPathArena.Create(); }, []() -> int { return gPathArena.Exists(); });

HbStringArray* NewPathList()
{
    void* block = gPathArena.Alloc(sizeof(HbStringArray));
    return block ? new (block) HbStringArray() : nullptr;
}

void FreePathList(HbStringArray* list)
{
    if (!list)
        return;
    list->~HbStringArray();
    gPathArena.Free(list);
}

const char* Safe(const char* text)
{
    return text ? text : "";
}
} // namespace

HbResourceManager* HbResourceManager::Instance()
{
    return HbSingleton<HbResourceManager>::Instance();
}

HbResourceManager::~HbResourceManager()
{
    HbPosition position = mRecords.GetStartPosition();
    std::string key;
    void* value = nullptr;
    while (mRecords.GetNextAssoc(position, key, value))
        delete static_cast<HbResourceData*>(value);
    mRecords.RemoveAll();
    position = mPaths.GetStartPosition();
    while (mPaths.GetNextAssoc(position, key, value))
        FreePathList(static_cast<HbStringArray*>(value));
    mPaths.RemoveAll();
    mTypes.RemoveAll();
}

// ---- Types and paths ---------------------------------------------------------------------------

void HbResourceManager::RegisterType(const char* typeKey, HbResourceCreateFn create)
{
    if (void** slot = mTypes.FindOrInsert(Safe(typeKey)))
        *slot = reinterpret_cast<void*>(create);
}

HbResourceCreateFn HbResourceManager::FindType(const char* typeKey) const
{
    return typeKey ? reinterpret_cast<HbResourceCreateFn>(mTypes.Lookup(typeKey)) : nullptr;
}

void HbResourceManager::AddPath(const char* identifier, const char* path)
{
    void** slot = mPaths.FindOrInsert(Safe(identifier));
    if (!slot)
        return;
    if (!*slot)
    {
        *slot = NewPathList();
        if (!*slot)
        {
            mPaths.Remove(Safe(identifier));
            return;
        }
    }
    static_cast<HbStringArray*>(*slot)->Append(Safe(path));
}

const char* HbResourceManager::GetPath(const char* identifier)
{
    auto* list = static_cast<HbStringArray*>(mPaths.Lookup(Safe(identifier)));
    if (list && list->GetCount() > 0)
        mPathResult = (*list)[list->GetCount() - 1];
    else
        mPathResult.clear();
    return mPathResult.c_str();
}

int32_t HbResourceManager::GetPathCount(const char* identifier) const
{
    auto* list = static_cast<HbStringArray*>(mPaths.Lookup(Safe(identifier)));
    return list ? list->GetCount() : 0;
}

void HbResourceManager::RemovePath(const char* identifier)
{
    const char* id = Safe(identifier);
    if (auto* list = static_cast<HbStringArray*>(mPaths.Lookup(id)))
    {
        if (list->GetCount() > 0)
            list->SetSize(list->GetCount() - 1);
        if (list->GetCount() == 0)
        {
            mPaths.Remove(id);
            FreePathList(list);
        }
    }
    if (HbResourceData* record = FindRecord(id))
        if (!record->object.IsValid())
            ReleaseRecord(id, record);
}

// ---- Records ------------------------------------------------------------------------------------

HbResourceData* HbResourceManager::FindRecord(const char* identifier) const
{
    return static_cast<HbResourceData*>(mRecords.Lookup(Safe(identifier)));
}

void HbResourceManager::ReleaseRecord(const char* identifier, HbResourceData* record)
{
    mRecords.Remove(identifier);
    delete record;
}

void HbResourceManager::Discard(HbRoot* object)
{
    if (object)
        object->DeletingDestructor(1);
}

const char* HbResourceManager::GetTypeKey(const char* identifier)
{
    if (!identifier)
        return nullptr;
    size_t length = std::strlen(identifier);
    // A '_' that ends the identifier is passed over.
    for (size_t i = length; i-- > 0;)
        if (identifier[i] == '_' && i + 1 < length)
            return identifier + i + 1;
    return nullptr;
}

// ---- Getting a resource ---------------------------------------------------------------------------

HbRoot* HbResourceManager::AcquireResource(const char* identifier)
{
    HbRoot* object = GetResource(identifier);
    if (object)
        object->AddRef();
    return object;
}

HbRoot* HbResourceManager::GetResource(const char* identifier)
{
    if (!identifier || !*identifier)
        return nullptr;

    bool isNew = false;
    HbResourceData* record = FindRecord(identifier);
    if (record)
    {
        // IsValid drops the handle of an object that died elsewhere.
        record->object.IsValid();
    }
    else
    {
        record = new HbResourceData();
        if (!record)
            return nullptr;
        void** slot = mRecords.FindOrInsert(identifier);
        if (!slot)
        {
            delete record;
            return nullptr;
        }
        *slot = record;
        isNew = true;
    }

    // A cached prototype: shared, or cloned for this caller.
    if (HbRoot* cached = record->object.GetObject())
    {
        // Asked for while it loads (a file naming itself): the half-read object
        // is nobody's to have, and a caller's Release would delete it mid-load.
        if (cached->GetStatus() == kHbStatusLoading)
            return nullptr;
        if (cached->IsShared())
            return cached;
        if (!record->create)
            record->create = FindType(GetTypeKey(identifier));
        if (!record->create)
            return nullptr;
        HbRoot* clone = record->create();
        if (!clone)
            return nullptr;
        clone->SetStatus(kHbStatusLoading);
        if (!cached->CloneInto(&clone))
        {
            Discard(clone);
            return nullptr;
        }
        clone->SetStatus(kHbStatusReady);
        return clone;
    }

    if (!record->create)
        record->create = FindType(GetTypeKey(identifier));
    if (!record->create)
    {
        if (isNew)
            ReleaseRecord(identifier, record);
        return nullptr;
    }
    HbRoot* object = record->create();
    if (!object)
        return nullptr;
    object->SetStatus(kHbStatusLoading);

    if (identifier[0] == '_')
    {
        // A factory request: never cached, so no record stays behind.
        ReleaseRecord(identifier, record);
        object->SetStatus(kHbStatusReady);
        return object;
    }

    record->object.Assign(object);
    bool loaded = false;
    const char* path = GetPath(identifier);
    if (*path)
    {
        std::string pathCopy = path;
        if (auto* stream = new HbResourceStream())
        {
            if (stream->Open(pathCopy.c_str(), "rb"))
            {
                loaded = object->Load(stream, identifier) != 0;
                stream->CloseFile();
            }
            delete stream;
        }
    }
    if (loaded)
    {
        object->SetStatus(kHbStatusReady);
        return object;
    }
    if (isNew)
        ReleaseRecord(identifier, record);
    else
        record->object.Reset();
    Discard(object);
    return nullptr;
}
