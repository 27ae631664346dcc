// Framework memory: routing rules, the framework heap and the program's entry points.
#include "hbmemory.h"
#include "hbmemoryhook.h"

#include "hbexitlist.h"
#include "hbheap.h"
#include "hbmemoryrouter.h"
#include "hbmoduleinit.h"
#include "hbptr.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace
{
std::atomic<HbAllocationHook> gAllocationHook{nullptr};

/// Every allocation entry point reports here first (tests count the blocks a path takes).
inline void NoteAllocation()
{
    if (HbAllocationHook hook = gAllocationHook.load(std::memory_order_relaxed))
        hook();
}

std::atomic<HbOutOfMemoryHandler> gOutOfMemory{nullptr};

bool MulOverflows(size_t count, size_t size, size_t* total)
{
    return __builtin_mul_overflow(count, size, total);
}

constexpr int Index(HbArenaKind kind)
{
    return static_cast<int>(kind);
}
} // namespace

void HbSetOutOfMemoryHandler(HbOutOfMemoryHandler handler)
{
    gOutOfMemory = handler;
}

HbOutOfMemoryHandler HbGetOutOfMemoryHandler()
{
    return gOutOfMemory;
}

// ---- HbMemoryRouter --------------------------------------------------------------

size_t HbMemoryRouter::ArenaSize(HbArenaKind kind)
{
    switch (kind)
    {
    case HbArenaKind::SmallObject:
        return 5242880;
    case HbArenaKind::Script:
        return 5242880;
    case HbArenaKind::Engine:
        return 20971520;
    case HbArenaKind::ArrayPool:
        return 204800;
    case HbArenaKind::BucketPool:
        return 61440;
    case HbArenaKind::NodeBlock:
        return 665600;
    default:
        return 0;
    }
}

HbMemoryRouter::~HbMemoryRouter()
{
    for (auto& slot : mArenas)
    {
        HbArena* arena = slot.exchange(nullptr);
        if (!arena)
            continue;
        arena->Release();
        arena->~HbArena();
        mHeap->Free(arena);
    }
}

void HbMemoryRouter::Forget()
{
    // The records lie in the heap that is going away; only their side indexes
    // live elsewhere and are given back.
    for (auto& slot : mArenas)
        if (HbArena* arena = slot.exchange(nullptr))
            arena->~HbArena();
}

void* HbMemoryRouter::OutOfMemory(size_t size)
{
    if (HbOutOfMemoryHandler handler = gOutOfMemory)
        handler(size);
    return nullptr;
}

HbArena* HbMemoryRouter::Arena(HbArenaKind kind)
{
    int k = Index(kind);
    if (HbArena* arena = mArenas[k].load())
        return arena;
    // A request made while this arena is being created falls through to the next source.
    if (mCreating[k].load())
        return nullptr;
    std::lock_guard<std::mutex> guard(mCreateLock);
    if (HbArena* arena = mArenas[k].load())
        return arena;
    mCreating[k] = true;
    HbArena* arena = nullptr;
    void* record = mHeap->Alloc(sizeof(HbArena));
    if (record)
    {
        arena = new (record) HbArena();
        arena->Init(ArenaSize(kind), mHeap);
        mArenas[k] = arena;
    }
    else
    {
        OutOfMemory(sizeof(HbArena));
    }
    mCreating[k] = false;
    return arena;
}

int HbMemoryRouter::CreateArena(HbArenaKind kind)
{
    HbArena* arena = Arena(kind);
    return arena && arena->Exists() ? 1 : 0;
}

int HbMemoryRouter::ArenaExists(HbArenaKind kind) const
{
    HbArena* arena = mArenas[Index(kind)].load();
    return arena && arena->Exists() ? 1 : 0;
}

HbMemorySource HbMemoryRouter::Where(const void* pointer) const
{
    static const HbMemorySource kSources[] = {HbMemorySource::SmallObject, HbMemorySource::Script,
                                              HbMemorySource::Engine,      HbMemorySource::ArrayPool,
                                              HbMemorySource::BucketPool,  HbMemorySource::NodeBlock};
    for (int k = 0; k < Index(HbArenaKind::Count); ++k)
    {
        HbArena* arena = mArenas[k].load();
        if (arena && arena->Contains(pointer))
            return kSources[k];
    }
    return mHeap->Contains(pointer) ? HbMemorySource::Heap : HbMemorySource::Unknown;
}

void* HbMemoryRouter::HeapAlloc(size_t size)
{
    void* p = mHeap->Alloc(size);
    return p ? p : OutOfMemory(size);
}

void* HbMemoryRouter::HeapCalloc(size_t count, size_t size)
{
    size_t total;
    if (MulOverflows(count, size, &total))
        return nullptr;
    void* p = mHeap->Alloc(total);
    if (p)
        std::memset(p, 0, total);
    return p;
}

void HbMemoryRouter::HeapFree(void* pointer)
{
    mHeap->Free(pointer);
}

void* HbMemoryRouter::HeapRealloc(void* pointer, size_t size)
{
    return mHeap->Realloc(pointer, size);
}

void* HbMemoryRouter::FromArenaOrHeap(HbArenaKind kind, size_t size)
{
    if (HbArena* arena = Arena(kind))
        if (void* p = arena->Alloc(size))
            return p;
    return HeapAlloc(size);
}

void HbMemoryRouter::FreeTo(HbArenaKind kind, void* pointer)
{
    HbArena* arena = mArenas[Index(kind)].load();
    if (arena && arena->Contains(pointer))
        arena->Free(pointer);
    else
        mHeap->Free(pointer);
}

// Reallocation of a block of the script or engine arena: inside the arena first,
// then a heap block with the old bytes copied; size 0 frees.
void* HbMemoryRouter::ReallocIn(HbArenaKind kind, void* pointer, size_t size)
{
    HbArena* arena = mArenas[Index(kind)].load();
    if (!arena || !arena->Contains(pointer))
    {
        if (pointer && size == 0)
        {
            mHeap->Free(pointer);
            return nullptr;
        }
        void* p = mHeap->Realloc(pointer, size);
        return p ? p : OutOfMemory(size);
    }
    if (void* p = arena->Realloc(pointer, size))
        return p;
    if (size == 0)
        return nullptr;
    void* p = HeapAlloc(size);
    if (!p)
        return nullptr;
    uint32_t old = arena->BlockSize(pointer);
    std::memcpy(p, pointer, old < size ? old : size);
    arena->Free(pointer);
    return p;
}

void* HbMemoryRouter::OperatorNew(size_t size)
{
    if (size <= kSmallObjectLimit)
        if (HbArena* arena = Arena(HbArenaKind::SmallObject))
            if (void* p = arena->Alloc(size))
                return p;
    return HeapAlloc(size);
}

void HbMemoryRouter::OperatorDelete(void* pointer)
{
    FreeTo(HbArenaKind::SmallObject, pointer);
}

void* HbMemoryRouter::ScriptMalloc(size_t size)
{
    return FromArenaOrHeap(HbArenaKind::Script, size);
}

void* HbMemoryRouter::ScriptRealloc(void* pointer, size_t size)
{
    return ReallocIn(HbArenaKind::Script, pointer, size);
}

void HbMemoryRouter::ScriptFree(void* pointer)
{
    FreeTo(HbArenaKind::Script, pointer);
}

void* HbMemoryRouter::RenderMalloc(size_t size)
{
    if (size < kEngineArenaLimit)
        return FromArenaOrHeap(HbArenaKind::Engine, size);
    return HeapAlloc(size);
}

void* HbMemoryRouter::RenderCalloc(size_t count, size_t size)
{
    size_t total;
    if (MulOverflows(count, size, &total))
        return OutOfMemory(SIZE_MAX);
    void* p = RenderMalloc(total);
    if (p)
        std::memset(p, 0, total);
    return p;
}

void* HbMemoryRouter::RenderRealloc(void* pointer, size_t size)
{
    return ReallocIn(HbArenaKind::Engine, pointer, size);
}

void HbMemoryRouter::RenderFree(void* pointer)
{
    FreeTo(HbArenaKind::Engine, pointer);
}

// The container pools fall back to the heap when full, so that callers never
// see null while memory remains; the frees tell the two apart by address.
void* HbMemoryRouter::ArrayAlloc(size_t bytes)
{
    return FromArenaOrHeap(HbArenaKind::ArrayPool, bytes);
}

void HbMemoryRouter::ArrayFree(void* pointer)
{
    FreeTo(HbArenaKind::ArrayPool, pointer);
}

void* HbMemoryRouter::BucketAlloc(size_t bytes)
{
    return FromArenaOrHeap(HbArenaKind::BucketPool, bytes);
}

void HbMemoryRouter::BucketFree(void* pointer)
{
    FreeTo(HbArenaKind::BucketPool, pointer);
}

void* HbMemoryRouter::NodeBlockAlloc(size_t bytes)
{
    HbArena* arena = Arena(HbArenaKind::NodeBlock);
    return arena ? arena->Alloc(bytes) : nullptr;
}

void* HbMemoryRouter::NodeBlockChainAdd(void* chainHead, size_t count, size_t elementSize)
{
    size_t bytes;
    if (MulOverflows(count, elementSize, &bytes) || bytes > SIZE_MAX - kHbNodeBlockLink)
        return OutOfMemory(SIZE_MAX);
    bytes += kHbNodeBlockLink;
    void* block = NodeBlockAlloc(bytes);
    if (!block)
        block = HeapAlloc(bytes);
    if (!block)
        return nullptr;
    *static_cast<void**>(block) = chainHead;
    return block;
}

void* HbMemoryRouter::NodeBlockChainFree(void* first)
{
    while (first)
    {
        void* next = *static_cast<void**>(first);
        FreeTo(HbArenaKind::NodeBlock, first);
        first = next;
    }
    return nullptr;
}

// ---- The framework heap and its router ----------------------------------------

namespace
{
// Never destroyed, like the router: blocks may be freed by static destructors
// until the very end, and the heap's side index must outlive them.
alignas(HbHeap) unsigned char gHeapStorage[sizeof(HbHeap)];
HbHeap& TheHeap()
{
    static HbHeap* heap = new (gHeapStorage) HbHeap();
    return *heap;
}
void* gHeapBlock = nullptr;
std::atomic<int> gHeapState{0}; // 0 not made, 1 ready, 2 shut down
std::mutex gHeapInitLock;
alignas(HbMemoryRouter) unsigned char gRouterStorage[sizeof(HbMemoryRouter)];
HbMemoryRouter* gRouter = nullptr;

#if !HB_SYSTEM_ALLOCATOR
HbMemoryRouter& Router()
{
    if (gHeapState.load(std::memory_order_acquire) == 0)
        InitFrameworkHeap();
    return *gRouter;
}
#endif

void RunExitList()
{
    HbExitList::RunAll();
    HbExitList::Destroy();
}

HbMemoryRouter& MakeRouter()
{
    // Never destroyed: blocks may be freed by static destructors until the very end.
    static HbMemoryRouter* router = new (gRouterStorage) HbMemoryRouter(&TheHeap());
    return *router;
}
} // namespace

void HbSetAllocationHook(HbAllocationHook hook)
{
    gAllocationHook.store(hook, std::memory_order_relaxed);
}

#if HB_SYSTEM_ALLOCATOR
constexpr bool kSystemAllocator = true;
#else
constexpr bool kSystemAllocator = false;
#endif

bool HbUsesSystemAllocator()
{
    return kSystemAllocator;
}

int HbHeapInit(size_t size)
{
    if (size < 40)
        size = 40;
    void* block = std::malloc(size);
    if (!block)
        return 0;
    // Alignment 16 rather than 8: operator new must hand out 16-byte-aligned
    // blocks on a 64-bit build.
    if (!TheHeap().Init(block, static_cast<uint8_t*>(block) + size, 16))
    {
        std::free(block);
        std::exit(-1);
    }
    gHeapBlock = block;
    gRouter = &MakeRouter();
    return 1;
}

int InitFrameworkHeap()
{
    if (gHeapState.load(std::memory_order_acquire) != 0)
        return gHeapState.load() == 1;
    std::lock_guard<std::mutex> guard(gHeapInitLock);
    if (gHeapState.load() != 0)
        return gHeapState.load() == 1;
    gRouter = &MakeRouter();
    // The heap is given back by the last exit handler; the exit list, registered
    // after it, runs just before it.
    if (!kSystemAllocator)
    {
        if (!HbHeapInit(kHbFrameworkHeapSize))
            return 0;
        std::atexit(HbHeapShutdown);
    }
    std::atexit(RunExitList);
    gHeapState.store(1, std::memory_order_release);
    // The handle table exists from here on; making it also makes the exit list,
    // whose first entry is then the table's destroy callback.
    HbHandlesManager::Instance();
    return 1;
}

void HbHeapShutdown()
{
    if (gRouter)
        gRouter->Forget();
    if (void* block = TheHeap().Detach())
        std::free(block);
    gHeapBlock = nullptr;
    gHeapState = 2;
}

// ---- Entry points ------------------------------------------------------------------

#if HB_SYSTEM_ALLOCATOR

namespace
{
void* SystemAlloc(size_t size)
{
    void* p = std::malloc(size ? size : 1);
    if (!p)
        if (HbOutOfMemoryHandler handler = gOutOfMemory)
            handler(size);
    return p;
}

void* SystemCalloc(size_t count, size_t size, bool handler)
{
    size_t total;
    void* p = MulOverflows(count, size, &total) ? nullptr : std::calloc(total ? total : 1, 1);
    if (!p && handler)
        if (HbOutOfMemoryHandler h = gOutOfMemory)
            h(total);
    return p;
}

void* SystemRealloc(void* pointer, size_t size, bool zeroFrees)
{
    if (pointer && size == 0 && zeroFrees)
    {
        std::free(pointer);
        return nullptr;
    }
    void* p = std::realloc(pointer, size ? size : 1);
    if (!p)
        if (HbOutOfMemoryHandler handler = gOutOfMemory)
            handler(size);
    return p;
}
} // namespace

void* HbHeapAlloc(size_t size)
{
    NoteAllocation();
    return SystemAlloc(size);
}
void* HbHeapCalloc(size_t count, size_t size)
{
    NoteAllocation();
    return SystemCalloc(count, size, false);
}
void HbHeapFree(void* pointer) { std::free(pointer); }
void* HbHeapRealloc(void* pointer, size_t size)
{
    NoteAllocation();
    return SystemRealloc(pointer, size, false);
}
void* HbOperatorNew(size_t size)
{
    NoteAllocation();
    void* p = nullptr;
    if (posix_memalign(&p, 16, size ? size : 1) != 0)
    {
        if (HbOutOfMemoryHandler handler = gOutOfMemory)
            handler(size);
        return nullptr;
    }
    return p;
}
void HbOperatorDelete(void* pointer) { std::free(pointer); }
void* HbScriptMalloc(size_t size)
{
    NoteAllocation();
    return SystemAlloc(size);
}
void* HbScriptRealloc(void* pointer, size_t size)
{
    NoteAllocation();
    return SystemRealloc(pointer, size, true);
}
void HbScriptFree(void* pointer) { std::free(pointer); }
void* HbRenderMalloc(size_t size)
{
    NoteAllocation();
    return SystemAlloc(size);
}
void* HbRenderCalloc(size_t count, size_t size)
{
    NoteAllocation();
    return SystemCalloc(count, size, true);
}
void* HbRenderRealloc(void* pointer, size_t size)
{
    NoteAllocation();
    return SystemRealloc(pointer, size, true);
}
void HbRenderFree(void* pointer) { std::free(pointer); }
void* HbArrayAlloc(size_t bytes)
{
    NoteAllocation();
    return SystemAlloc(bytes);
}
void HbArrayFree(void* pointer) { std::free(pointer); }
void* HbHashBucketAlloc(size_t bytes)
{
    NoteAllocation();
    return SystemAlloc(bytes);
}
void HbHashBucketFree(void* pointer) { std::free(pointer); }
void* HbNodeBlockAlloc(size_t bytes)
{
    NoteAllocation();
    return SystemAlloc(bytes);
}
void* HbNodeBlockChainAdd(void* chainHead, size_t count, size_t elementSize)
{
    NoteAllocation();
    size_t bytes;
    if (MulOverflows(count, elementSize, &bytes) || bytes > SIZE_MAX - kHbNodeBlockLink)
        return nullptr;
    void* block = SystemAlloc(bytes + kHbNodeBlockLink);
    if (block)
        *static_cast<void**>(block) = chainHead;
    return block;
}
void* HbNodeBlockChainFree(void* first)
{
    while (first)
    {
        void* next = *static_cast<void**>(first);
        std::free(first);
        first = next;
    }
    return nullptr;
}
// No arena is carved here, but an arena "exists" only once it was set up, as in
// the arena build, so a start-up that forgets one is seen in this build too.
namespace
{
std::atomic<bool> gArenaMade[Index(HbArenaKind::Count)] = {};
}
int HbCreateArena(HbArenaKind kind)
{
    gArenaMade[Index(kind)] = true;
    return 1;
}
int HbArenaExists(HbArenaKind kind) { return gArenaMade[Index(kind)] ? 1 : 0; }
HbMemorySource HbMemoryWhere(const void*) { return HbMemorySource::Unknown; }

#else

void* HbHeapAlloc(size_t size)
{
    NoteAllocation();
    return Router().HeapAlloc(size);
}
void* HbHeapCalloc(size_t count, size_t size)
{
    NoteAllocation();
    return Router().HeapCalloc(count, size);
}
void HbHeapFree(void* pointer) { Router().HeapFree(pointer); }
void* HbHeapRealloc(void* pointer, size_t size)
{
    NoteAllocation();
    return Router().HeapRealloc(pointer, size);
}
void* HbOperatorNew(size_t size)
{
    NoteAllocation();
    return Router().OperatorNew(size);
}
void HbOperatorDelete(void* pointer) { Router().OperatorDelete(pointer); }
void* HbScriptMalloc(size_t size)
{
    NoteAllocation();
    return Router().ScriptMalloc(size);
}
void* HbScriptRealloc(void* pointer, size_t size)
{
    NoteAllocation();
    return Router().ScriptRealloc(pointer, size);
}
void HbScriptFree(void* pointer) { Router().ScriptFree(pointer); }
void* HbRenderMalloc(size_t size)
{
    NoteAllocation();
    return Router().RenderMalloc(size);
}
void* HbRenderCalloc(size_t count, size_t size)
{
    NoteAllocation();
    return Router().RenderCalloc(count, size);
}
void* HbRenderRealloc(void* pointer, size_t size)
{
    NoteAllocation();
    return Router().RenderRealloc(pointer, size);
}
void HbRenderFree(void* pointer) { Router().RenderFree(pointer); }
void* HbArrayAlloc(size_t bytes)
{
    NoteAllocation();
    return Router().ArrayAlloc(bytes);
}
void HbArrayFree(void* pointer) { Router().ArrayFree(pointer); }
void* HbHashBucketAlloc(size_t bytes)
{
    NoteAllocation();
    return Router().BucketAlloc(bytes);
}
void HbHashBucketFree(void* pointer) { Router().BucketFree(pointer); }
void* HbNodeBlockAlloc(size_t bytes)
{
    NoteAllocation();
    return Router().NodeBlockAlloc(bytes);
}
void* HbNodeBlockChainAdd(void* chainHead, size_t count, size_t elementSize)
{
    NoteAllocation();
    return Router().NodeBlockChainAdd(chainHead, count, elementSize);
}
void* HbNodeBlockChainFree(void* first) { return Router().NodeBlockChainFree(first); }
int HbCreateArena(HbArenaKind kind) { return Router().CreateArena(kind); }
int HbArenaExists(HbArenaKind kind) { return Router().ArenaExists(kind); }
HbMemorySource HbMemoryWhere(const void* pointer) { return Router().Where(pointer); }

#endif

// ---- Module initialisers of the arenas ---------------------------------------------

namespace
{
template <HbArenaKind K> int CreateArenaInit() { return HbCreateArena(K); }
template <HbArenaKind K> int ArenaExistsInit() { return HbArenaExists(K); }
} // namespace

void HbRegisterArenaInits()
{
    HbRegisterModuleInit(CreateArenaInit<HbArenaKind::SmallObject>, ArenaExistsInit<HbArenaKind::SmallObject>);
    HbRegisterModuleInit(CreateArenaInit<HbArenaKind::Script>, ArenaExistsInit<HbArenaKind::Script>);
    HbRegisterModuleInit(CreateArenaInit<HbArenaKind::Engine>, ArenaExistsInit<HbArenaKind::Engine>);
    HbRegisterModuleInit(CreateArenaInit<HbArenaKind::ArrayPool>, ArenaExistsInit<HbArenaKind::ArrayPool>);
    HbRegisterModuleInit(CreateArenaInit<HbArenaKind::BucketPool>, ArenaExistsInit<HbArenaKind::BucketPool>);
    HbRegisterModuleInit(CreateArenaInit<HbArenaKind::NodeBlock>, ArenaExistsInit<HbArenaKind::NodeBlock>);
}

// ---- Byte operations -----------------------------------------------------------------

void* HbMemSet(void* destination, int value, size_t count)
{
    return std::memset(destination, value & 0xFF, count);
}

void* HbMemMove(void* destination, const void* source, size_t count)
{
    return std::memmove(destination, source, count);
}

void* HbMemCopy(void* destination, const void* source, size_t count)
{
    return std::memcpy(destination, source, count);
}
