// Framework memory: the program's allocation entry points, container pools,
// byte operations and the framework allocation base for classes.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Heap -------------------------------------------------------------------

/// Called with the requested size when an allocation entry point finds no memory.
using HbOutOfMemoryHandler = void (*)(size_t size);
void HbSetOutOfMemoryHandler(HbOutOfMemoryHandler handler);
HbOutOfMemoryHandler HbGetOutOfMemoryHandler();

constexpr size_t kHbFrameworkHeapSize = 134217728; // 128 MB

/// Sets the framework heap up over a block of size bytes (at least 40) from the C
/// runtime; 1, or 0 when the runtime has no such block. Ends the program with
/// code -1 when the block cannot hold a heap.
int HbHeapInit(size_t size);
/// Creates the 128 MB framework heap and the handle table once; later calls do nothing.
int InitFrameworkHeap();
void HbHeapShutdown();
/// Null (after the out-of-memory handler) when the heap has no block.
void* HbHeapAlloc(size_t size);
/// count x size zero-filled bytes; null on overflow or when the heap has no block.
void* HbHeapCalloc(size_t count, size_t size);
void HbHeapFree(void* pointer);
void* HbHeapRealloc(void* pointer, size_t size);

// ---- Program-wide allocation ------------------------------------------------

/// Up to 1024 bytes from the small-object arena, else the heap; 16-byte aligned.
void* HbOperatorNew(size_t size);
void HbOperatorDelete(void* pointer);

void* HbScriptMalloc(size_t size);
void* HbScriptRealloc(void* pointer, size_t size);
void HbScriptFree(void* pointer);

/// The graphics engine's memory functions: below 51200 bytes from the engine arena.
void* HbRenderMalloc(size_t size);
void* HbRenderCalloc(size_t count, size_t size);
void* HbRenderRealloc(void* pointer, size_t size);
void HbRenderFree(void* pointer);

// ---- Container pools ----------------------------------------------------------

/// Element storage of growable arrays; falls back to the heap when the pool is full.
void* HbArrayAlloc(size_t bytes);
void HbArrayFree(void* pointer);
/// Bucket arrays of hash maps; falls back to the heap when the pool is full.
void* HbHashBucketAlloc(size_t bytes);
void HbHashBucketFree(void* pointer);
void* HbNodeBlockAlloc(size_t bytes);

/// Bytes in front of the nodes of a node block: the link to the next block,
/// padded so that the nodes keep 16-byte alignment.
constexpr size_t kHbNodeBlockLink = 16;
/// Allocates a block of count x elementSize bytes after its link word, links the
/// current chain head into it and returns it as the new head (null when out of memory).
void* HbNodeBlockChainAdd(void* chainHead, size_t count, size_t elementSize);
/// Frees every block of a chain; returns null.
void* HbNodeBlockChainFree(void* first);
/// The first node of a block made by HbNodeBlockChainAdd.
inline void* HbNodeBlockNodes(void* block)
{
    return static_cast<uint8_t*>(block) + kHbNodeBlockLink;
}

// ---- Arenas -------------------------------------------------------------------

enum class HbArenaKind
{
    SmallObject, ///< operator new up to 1024 bytes (5 MB)
    Script,      ///< the script interpreter (5 MB)
    Engine,      ///< the graphics engine below 51200 bytes (20 MB)
    ArrayPool,   ///< growable-array storage (200 KB)
    BucketPool,  ///< hash-map bucket arrays (60 KB)
    NodeBlock,   ///< list and map node blocks (650 KB)
    Count
};

/// Module-initialiser pair of an arena: create when missing, report existence.
int HbCreateArena(HbArenaKind kind);
int HbArenaExists(HbArenaKind kind);
/// Registers the create/check pairs of the six arenas with the module initialisers;
/// the module-initialiser table does so once during static construction.
void HbRegisterArenaInits();

/// Where a pointer handed out by the entry points above lives.
enum class HbMemorySource
{
    Unknown, ///< not framework memory (or the system allocator serves everything)
    Heap,
    SmallObject,
    Script,
    Engine,
    ArrayPool,
    BucketPool,
    NodeBlock,
};
HbMemorySource HbMemoryWhere(const void* pointer);
/// True when this build routes everything to the system allocator.
bool HbUsesSystemAllocator();

// ---- Byte operations ----------------------------------------------------------

void* HbMemSet(void* destination, int value, size_t count);
void* HbMemMove(void* destination, const void* source, size_t count);
void* HbMemCopy(void* destination, const void* source, size_t count);

// ---- Framework allocation base ------------------------------------------------

/// Base for the system's own classes: their objects come from HbOperatorNew. A
/// failed allocation yields null from the new-expression, which runs no constructor.
struct HbAllocated
{
    static void* operator new(size_t size) noexcept { return HbOperatorNew(size); }
    static void* operator new[](size_t size) noexcept { return HbOperatorNew(size); }
    static void* operator new(size_t, void* place) noexcept { return place; }
    static void operator delete(void* pointer) noexcept { HbOperatorDelete(pointer); }
    static void operator delete[](void* pointer) noexcept { HbOperatorDelete(pointer); }
};
