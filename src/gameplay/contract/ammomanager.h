// The ammunition's start-up and shut-down as the game calls them: the two geometry rows, the
// script modules of casings and projectiles, the rings of projectiles, impacts and casings,
// and the record pool they and the effect layer's object fades share. The gameplay layer
// installs the rings behind the hooks; without them the rows are only declared and nothing
// is pooled.
#pragma once

#include "hbperclassfreelist.h"

#include <cstdint>

/// Queues a script module by name for the interpreter's start; 1 done.
using AmmoModuleQueue = int32_t (*)(const char* name);

/// Declares the rows of 70 casings and 5 tank projectiles.
void AmmoGeometryDeclareRows();
/// Queues the modules "casing" and "projectil" through the caller's queue.
void AmmoRegisterScriptModules(AmmoModuleQueue queue);
/// Casings and tank projectiles declared (0 before AmmoGeometryDeclareRows).
int32_t AmmoGeometryCasingCount();
int32_t AmmoGeometryTankProjectileCount();

/// What the gameplay layer does behind the start-up calls (null entries do nothing).
struct AmmoManagerHooks
{
    /// Makes the rings and loads the rows' models; 1 done.
    int32_t (*preallocate)() = nullptr;
    /// Frees every live object and releases every geometry entry.
    void (*resetAll)() = nullptr;
    /// Releases the rings and the models.
    void (*shutdown)() = nullptr;
};
/// Null puts the empty hooks back.
void AmmoManagerSetHooks(const AmmoManagerHooks* hooks);

class AmmoManager
{
public:
    /// Makes the rings (through the hooks); 1 done.
    static int32_t Preallocate();
    static int32_t IsPreallocated();
};

/// Stage leave: every projectile, impact and casing back in its ring. Nothing before Preallocate.
void AmmoManagerResetAll();
/// Frees what Preallocate made and forgets the rows.
void AmmoManagerShutdown();

// ---- The record pool ----------------------------------------------------------------------------

/// A fixed pool of 100 records of one class (freed records swap with the last one in use,
/// records beyond the pool come from the heap): the ammunition's objects and the effect
/// layer's fade records use it through AMMO_DECLARE_POOL and AMMO_DEFINE_POOL.
class AmmoPool : public HbClassPool
{
public:
    static constexpr int32_t kRecords = 100;
    constexpr AmmoPool(const char* name, size_t recordSize) : HbClassPool(name, recordSize, kRecords) {}
};

/// Inside a class: its objects come from its AmmoPool. Leaves the access at public.
#define AMMO_DECLARE_POOL()                                                                                            \
public:                                                                                                                \
    static void* operator new(size_t size) noexcept                                                                    \
    {                                                                                                                  \
        return sAmmoPool.Alloc(size);                                                                                  \
    }                                                                                                                  \
    static void* operator new(size_t, void* place) noexcept                                                            \
    {                                                                                                                  \
        return place;                                                                                                  \
    }                                                                                                                  \
    static void operator delete(void* record) noexcept                                                                 \
    {                                                                                                                  \
        sAmmoPool.Free(record);                                                                                        \
    }                                                                                                                  \
    static AmmoPool sAmmoPool

/// In the class's source file: its pool under a name, made by the module initialisers.
#define AMMO_DEFINE_POOL(Class, name)                                                                                  \
    static_assert(alignof(Class) <= HbPerClassFreeList::kSlotAlignment, "heap fallback blocks are 16-byte aligned");   \
    constinit AmmoPool Class::sAmmoPool{name, sizeof(Class)};                                                          \
    [[maybe_unused]] static const int HB_POOL_CONCAT(sAmmoPoolInit, __LINE__) = HbRegisterModuleInit(                  \
        []() -> int { return Class::sAmmoPool.Create(); }, []() -> int { return Class::sAmmoPool.Exists(); })
