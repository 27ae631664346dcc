// HbRoot: the root of every framework and game object (reference count, handle,
// load status, the nine root operations); HbClassDesc, the static class
// descriptors with is-kind-of and checked casts; HbClassIdRegistry.
#pragma once

#include "hbhashmap.h"
#include "hbmemory.h"
#include "hbptrlist.h"

#include <cstdint>
#include <string>

class HbClassDesc;
class HbMChunkStream;
class HbStream;

/// Index into the handle table; 0 means none.
using HbHandle = uint32_t;

/// Load status of a resource object.
enum HbRootStatus : int32_t
{
    kHbStatusNone = 0,
    kHbStatusLoading = 1,
    kHbStatusReady = 2,
};

// ---- Root class ------------------------------------------------------------------

/// Ownership: an object starts with count 0, owned by whoever made or was
/// handed it (GetResource hands out objects this way). Each further holder
/// takes a reference with AddRef and drops it with Release; Release deletes the
/// object once the count falls below 1, so the first owner may release an
/// object it never AddRef'd, and that Release deletes it. Objects that are not
/// reference-managed (on the stack, inside others) are never released; they
/// are deleted directly. The virtual operations keep the root's slot order.
class HbRoot : public HbAllocated
{
public:
    HbRoot() = default;
    HbRoot(const HbRoot&) = delete;
    HbRoot& operator=(const HbRoot&) = delete;

    /// Slot 0: the class's descriptor (the root descriptor here).
    virtual const HbClassDesc* GetClassDesc() const;
    /// Slot 1. Classes add their own work to the destructor chain; when the
    /// object has a handle, every handle to it reads null from then on.
    virtual ~HbRoot();
    /// Slot 1 as an operation: destroys the object and frees it when bit 0 of
    /// flags is set (only destroys it otherwise).
    virtual void DeletingDestructor(int flags);
    /// Slot 2: fills a fresh object of the same type (given the address of the
    /// pointer to it) from this cached prototype; 1 when done, 0 when not.
    virtual int CloneInto(HbRoot** target);
    /// Slot 3: reads the object from a chunk stream; 1 on success.
    virtual int ReadChunks(HbMChunkStream* stream);
    /// Slot 4: spare; returns 0.
    virtual int Spare(uint32_t value);
    /// Slot 5: the resource manager's load step, given the resource stream and
    /// the identifier; 1 on success.
    virtual int Load(HbStream* stream, const char* name);
    /// Slot 6: writes the object to a chunk stream; 1 on success.
    virtual int WriteChunks(HbMChunkStream* stream);
    /// Slot 7: the class's text type key; empty here.
    virtual std::string GetTypeKey() const;
    /// Slot 8: 1 when a cached object is handed out itself rather than cloned.
    virtual int IsShared() const;

    int32_t AddRef() { return ++mRefCount; }
    /// Drops one reference and deletes the object when the count falls below 1
    /// (from 1, or from 0 for an object nobody AddRef'd). A Release that reaches
    /// the object while Release is deleting it (from its own destructor chain)
    /// is ignored, so it is not deleted twice. Returns the count after the call
    /// (0 once the object is gone).
    int32_t Release();

    int32_t GetRefCount() const { return mRefCount; }
    HbHandle GetHandle() const { return mHandle; }
    /// Set by the handle table only.
    void SetHandle(HbHandle handle) { mHandle = handle; }
    int32_t GetStatus() const { return mStatus; }
    void SetStatus(int32_t status) { mStatus = status; }

    static const HbClassDesc sClassDesc;

private:
    /// The count while Release deletes the object: far below any count of a live one.
    static constexpr int32_t kDestroying = INT32_MIN / 2;

    int32_t mRefCount = 0;
    HbHandle mHandle = 0;
    int32_t mStatus = kHbStatusNone;
    int32_t mSpare = 0;
};

namespace HbResource
{
/// The object when its status is ready; otherwise it is destroyed and null is
/// returned. Null gives null.
HbRoot* KeepIfReady(HbRoot* object);
} // namespace HbResource

// ---- Class descriptors -------------------------------------------------------------

/// One static record per class holding its parent's descriptor (null for the
/// root). Constant-initialised, so descriptors are usable from any static
/// initialiser. The name is not kept.
class HbClassDesc
{
public:
    constexpr HbClassDesc(const char* name, const HbClassDesc* parent) : mParent(parent) {}
    HbClassDesc(const HbClassDesc&) = delete;
    HbClassDesc& operator=(const HbClassDesc&) = delete;

    const HbClassDesc* GetParent() const { return mParent; }

    /// True when the object's class is the descriptor's class or derives from
    /// it; false for null.
    static bool IsKindOf(const HbRoot* object, const HbClassDesc* descriptor);
    /// The object when it is of that kind, else null.
    static HbRoot* CastTo(HbRoot* object, const HbClassDesc* descriptor);

private:
    const HbClassDesc* mParent;
};

/// The object as a T when its class is T or derives from T, else null.
template <typename T> T* HbCastTo(HbRoot* object)
{
    return static_cast<T*>(HbClassDesc::CastTo(object, &T::sClassDesc));
}

/// Inside a class derived from HbRoot: declares its descriptor and answers it
/// from GetClassDesc. Leaves the access at public.
#define HB_DECLARE_CLASS_DESC()                                                                                        \
public:                                                                                                                \
    static const HbClassDesc sClassDesc;                                                                               \
    const HbClassDesc* GetClassDesc() const override                                                                   \
    {                                                                                                                  \
        return &sClassDesc;                                                                                            \
    }

/// In the class's source file: the descriptor, with the parent class's as parent.
#define HB_DEFINE_CLASS_DESC(Class, Parent) constinit const HbClassDesc Class::sClassDesc(#Class, &Parent::sClassDesc)

// ---- Class-ID registry -------------------------------------------------------------

/// A queued registration: calls HbClassIdRegistry::Register and returns 1.
using HbClassIdRegistration = int (*)();

/// Maps class ids to the source that declared them. Modules queue their
/// registrations during static construction; nothing in the system runs the
/// queue, so the id map stays empty unless someone calls Register.
class HbClassIdRegistry : public HbAllocated
{
public:
    /// The registry, made on the first call and destroyed by the exit list.
    static HbClassIdRegistry* Instance();
    /// Appends a registration to the registry's queue; 1, or 0 when the registry
    /// or the node cannot be had.
    static int QueueRegistration(HbClassIdRegistration registration);

    /// Stores the source name under the id. A duplicate id shows the fatal box
    /// and ends the program with code 1. The line is not used.
    void Register(uint32_t id, const char* source, int line);

    const HbPtrList& GetQueue() const { return mQueue; }
    const IntStringHashMap& GetIds() const { return mIds; }

    HbClassIdRegistry() = default;

private:
    HbPtrList mQueue{10};
    IntStringHashMap mIds{17, 10};
};

/// In a module's source file: queues the registration of a class id under the
/// module's source name during static construction.
#define HB_QUEUE_CLASS_ID(id, source)                                                                                  \
    [[maybe_unused]] static const int HB_CLASS_ID_CONCAT(sHbClassIdQueued, __LINE__) =                                 \
        HbClassIdRegistry::QueueRegistration(                                                                          \
            []() -> int                                                                                                \
            {                                                                                                          \
                HbClassIdRegistry::Instance()->Register((id), (source), __LINE__);                                     \
                return 1;                                                                                              \
            })
#define HB_CLASS_ID_CONCAT2(a, b) a##b
#define HB_CLASS_ID_CONCAT(a, b) HB_CLASS_ID_CONCAT2(a, b)

/// A system-modal error box without owner window; returns the box's result.
int HbFatalMessageBox(const char* text, const char* title);
