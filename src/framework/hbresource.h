// HbResourceManager: the resource types by type key, the declared file paths
// by identifier, and the weak cache of loaded resources that hands out either
// the cached object or a clone of it.
#pragma once

#include "hbhashmap.h"
#include "hbperclassfreelist.h"
#include "hbptr.h"
#include "hbroot.h"
#include "hbsingleton.h"

#include <cstdint>
#include <string>

/// Makes a new, empty object of one resource type; null on failure.
using HbResourceCreateFn = HbRoot* (*)();

/// What the manager remembers of one identifier that has been asked for.
struct HbResourceData
{
    HB_DECLARE_CLASS_POOL();
    /// The cached object; holding it does not keep the object alive.
    HbHandlePtr object;
    HbResourceCreateFn create = nullptr;
};

/// Identifiers name resources; the text after the last '_' that is not the
/// identifier's last character is the type key (FE_TITLE_TEX -> TEX, A_B_ ->
/// B_). Main thread only.
class HbResourceManager : public HbAllocated
{
public:
    /// The manager, made on the first call (static initialisers register types
    /// through it) and destroyed by the exit list; null after that.
    static HbResourceManager* Instance();

    /// Sets the active word to 1 (the application does at start-up; nothing reads it).
    void SetActive() { mActive = 1; }
    int32_t GetActive() const { return mActive; }

    /// Stores the create function under the key, replacing an earlier one.
    void RegisterType(const char* typeKey, HbResourceCreateFn create);
    /// Appends a path to the identifier's list; the last declared is current.
    void AddPath(const char* identifier, const char* path);
    /// The identifier's last declared path, or "" when it has none. One shared
    /// string that the next call overwrites.
    const char* GetPath(const char* identifier);
    /// Undoes the last declaration of the identifier (an earlier one becomes
    /// current again), and forgets its record when the cached object is dead.
    void RemovePath(const char* identifier);

    /// The resource with one reference taken for the caller, who Releases it
    /// when done (whatever the object: shared, a clone or a '_' object), or
    /// null. Prefer this to GetResource: a caller that drops what it got, for
    /// instance an object of the wrong class, simply Releases it.
    HbRoot* AcquireResource(const char* identifier);

    /// The resource borrowed: no reference is taken. Null (silently) when it
    /// cannot be had, and for a cached object still being loaded (a file that
    /// names itself). A cached object that answers IsShared is returned itself;
    /// another cached object is a prototype, and each caller gets a fresh
    /// clone. Nothing cached: the object is made by its type's create function
    /// and loaded from the identifier's current path through a resource stream,
    /// then cached. An identifier beginning with '_' makes a new object of its
    /// type every time, reads no file and is never cached. A clone or a '_'
    /// object comes at count 0, the caller's alone; a shared object goes to
    /// every caller, and others may hold it: a caller that keeps it AddRefs it
    /// and Releases that reference, and one that does not keep it must not
    /// Release it (which is why AcquireResource is the safer call).
    HbRoot* GetResource(const char* identifier);

    /// The type key inside the identifier, or null when it has none.
    static const char* GetTypeKey(const char* identifier);

    // Inspection.
    HbResourceCreateFn FindType(const char* typeKey) const;
    /// The record of the identifier, or null.
    HbResourceData* FindRecord(const char* identifier) const;
    int32_t GetRecordCount() const { return mRecords.GetCount(); }
    /// Paths declared and not removed for the identifier.
    int32_t GetPathCount(const char* identifier) const;

private:
    friend class HbSingleton<HbResourceManager>;
    HbResourceManager() = default;
    /// Empties the three maps.
    ~HbResourceManager();

    void ReleaseRecord(const char* identifier, HbResourceData* record);
    /// Destroys an object made here (it is not handed out).
    static void Discard(HbRoot* object);

    StringHashMap mTypes{17, 10};
    StringHashMap mRecords{17, 10};
    StringHashMap mPaths{17, 10};
    std::string mPathResult;
    int32_t mActive = 0;
};

/// In a resource class's source file: registers the class's default
/// constructor as the create function of the type key during static
/// construction.
#define HB_REGISTER_RESOURCE_TYPE(Class, typeKey)                                                                      \
    [[maybe_unused]] static const int HB_RESOURCE_CONCAT(sHbResourceType, __LINE__) = []() -> int                      \
    {                                                                                                                  \
        if (HbResourceManager* manager = HbResourceManager::Instance())                                                \
            manager->RegisterType((typeKey), []() -> HbRoot* { return new Class(); });                                 \
        return 1;                                                                                                      \
    }()
#define HB_RESOURCE_CONCAT2(a, b) a##b
#define HB_RESOURCE_CONCAT(a, b) HB_RESOURCE_CONCAT2(a, b)
