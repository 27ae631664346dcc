// The resource arena: a fixed-size, least-recently-used cache of instanced data (device
// forms of geometry) in one block managed by a block heap. Every entry belongs to an
// owner and is reached through one reference that the arena clears when it evicts it.
#pragma once

#include "linklist.h"

#include <cstddef>
#include <cstdint>

struct Heap;
struct ResourceEntry;

/// Called before an entry goes (it releases the device buffers inside the data).
using ResourceDestroyCallback = void (*)(ResourceEntry* entry);

/// The header in front of an entry's data, inside the arena's heap.
struct ResourceEntry
{
    ListLink link; ///< in the current frame's list or the list of older entries
    size_t size;   ///< data bytes asked for, the header not counted
    void* owner;
    ResourceEntry** reference; ///< the owner's pointer to the entry; cleared when it goes
    ResourceDestroyCallback destroy;

    static void* Data(ResourceEntry* entry) { return entry + 1; }
};

/// The data of engine module 0x40B inside the engine instance.
struct ResourceArena
{
    size_t size;             ///< bytes of the block
    size_t used;             ///< data bytes of the entries held
    size_t evictedThisFrame; ///< data bytes evicted from the current frame's list since it began
    void* block;
    Heap* heap; ///< null when there is no block
    ListLink lists[2];
    int32_t current; ///< which of lists is the current frame's; the other holds older entries

    // ---- Entries ------------------------------------------------------------------------

    /// Evicts the least recently used entries (older frames first, then the current
    /// frame's oldest) until the heap holds size plus the header. The entry, stored
    /// through reference; null with code 12 and the reference cleared when nothing is
    /// left to evict, or when the arena has no heap (size 0) or is not open.
    static ResourceEntry* Allocate(void* owner, ResourceEntry** reference, size_t size,
                                   ResourceDestroyCallback destroy);
    /// Moves the entry to the head of the current frame's list; an entry without links
    /// (data kept outside the arena) is left alone.
    static void Use(ResourceEntry* entry);
    /// Destroy callback, reference cleared, block back to the heap. An entry without links
    /// is data its owner kept outside the arena in an engine-allocated block: that block
    /// goes back to the engine allocator. 1.
    static int32_t Free(ResourceEntry* entry);
    /// Frees every entry. 1.
    static int32_t Empty();
    /// The current frame's entries go in front of the older ones (most recent first); the
    /// current frame's list starts empty. Run by every raster show, before the present.
    static void NextFrame();

    // ---- Size -------------------------------------------------------------------------------

    /// Before the engine starts, only records the size the module's opening uses. Once
    /// open, empties the arena and lays a heap over a new block: 0 with 0x80000013 when
    /// the block cannot be had, or with code 12 when it is too small for a heap (the arena
    /// is then left without one).
    static int32_t SetSize(int32_t size);
    /// The open arena, or null outside Engine::Start .. Engine::Stop.
    static ResourceArena* Get();

    // ---- The arena module (engine-level module 0x40B) ----------------------------------------

    static constexpr int32_t kPluginId = 0x40B;
    static const int32_t kModuleBlockSize;
    static void* OpenModule(void* engine, int32_t offset, int32_t size);
    static void* CloseModule(void* engine, int32_t offset, int32_t size);
};
