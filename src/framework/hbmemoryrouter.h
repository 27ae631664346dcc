// HbMemoryRouter: the routing rules of the framework allocators over one heap.
// The program's entry points (hbmemory.h) use one router over the framework
// heap; tests build routers over heaps of their own.
#pragma once

#include "hbarena.h"
#include "hbmemory.h"

#include <atomic>
#include <mutex>

class HbHeap;

class HbMemoryRouter
{
public:
    static constexpr size_t kSmallObjectLimit = 1024;
    static constexpr size_t kEngineArenaLimit = 51200;

    constexpr explicit HbMemoryRouter(HbHeap* heap) : mHeap(heap) {}
    ~HbMemoryRouter();
    HbMemoryRouter(const HbMemoryRouter&) = delete;
    HbMemoryRouter& operator=(const HbMemoryRouter&) = delete;

    static size_t ArenaSize(HbArenaKind kind);

    void* HeapAlloc(size_t size);
    void* HeapCalloc(size_t count, size_t size);
    void HeapFree(void* pointer);
    void* HeapRealloc(void* pointer, size_t size);

    void* OperatorNew(size_t size);
    void OperatorDelete(void* pointer);
    void* ScriptMalloc(size_t size);
    void* ScriptRealloc(void* pointer, size_t size);
    void ScriptFree(void* pointer);
    void* RenderMalloc(size_t size);
    void* RenderCalloc(size_t count, size_t size);
    void* RenderRealloc(void* pointer, size_t size);
    void RenderFree(void* pointer);

    void* ArrayAlloc(size_t bytes);
    void ArrayFree(void* pointer);
    void* BucketAlloc(size_t bytes);
    void BucketFree(void* pointer);
    void* NodeBlockAlloc(size_t bytes);
    void* NodeBlockChainAdd(void* chainHead, size_t count, size_t elementSize);
    void* NodeBlockChainFree(void* first);

    /// Creates the arena when it is missing; 1 when it exists afterwards.
    int CreateArena(HbArenaKind kind);
    int ArenaExists(HbArenaKind kind) const;
    /// The arena, created on first use; null while it is being created or when
    /// it could not be made.
    HbArena* Arena(HbArenaKind kind);
    HbMemorySource Where(const void* pointer) const;
    HbHeap* Heap() const { return mHeap; }
    /// Forgets every arena without touching memory (the heap is going away).
    void Forget();

private:
    void* OutOfMemory(size_t size);
    void* FromArenaOrHeap(HbArenaKind kind, size_t size);
    void FreeTo(HbArenaKind kind, void* pointer);
    void* ReallocIn(HbArenaKind kind, void* pointer, size_t size);

    HbHeap* mHeap;
    std::atomic<HbArena*> mArenas[static_cast<int>(HbArenaKind::Count)] = {};
    std::mutex mCreateLock;
    std::atomic<bool> mCreating[static_cast<int>(HbArenaKind::Count)] = {};
};
