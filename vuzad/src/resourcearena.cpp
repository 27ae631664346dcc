// The resource arena: entries in recency order by frames inside a block heap, eviction of
// the least recently used ones, and the arena's block from engine start to engine stop.
#include "resourcearena.h"

#include "engine.h"
#include "error.h"
#include "heap.h"
#include "memory.h"

#include <cstddef>

namespace
{

constexpr uint32_t kBlockHint = kMemoryHintEngine | uint32_t(ResourceArena::kPluginId);

ResourceArena* sArena = nullptr; // the open module's block

ResourceEntry* FromLink(ListLink* link)
{
    return reinterpret_cast<ResourceEntry*>(reinterpret_cast<char*>(link) - offsetof(ResourceEntry, link));
}

ListLink* CurrentList(ResourceArena* arena)
{
    return &arena->lists[arena->current];
}

ListLink* OlderList(ResourceArena* arena)
{
    return &arena->lists[1 - arena->current];
}

void ReportArenaFull()
{
    Error::Report(kCorePluginId, Error::MakeCode(kCoreErrArenaFull));
}

void Release(ResourceArena* arena, ResourceEntry* entry)
{
    if (entry->destroy)
        entry->destroy(entry);
    if (entry->reference)
        *entry->reference = nullptr;
    ListLink::Unlink(&entry->link);
    arena->used -= entry->size;
    Heap::Free(entry);
}

// The least recently used entry: the oldest of older frames, else the oldest of this one.
bool EvictOne(ResourceArena* arena)
{
    ListLink* older = OlderList(arena);
    ListLink* current = CurrentList(arena);
    if (!ListLink::IsEmpty(older))
    {
        Release(arena, FromLink(older->prev));
        return true;
    }
    if (!ListLink::IsEmpty(current))
    {
        ResourceEntry* victim = FromLink(current->prev);
        arena->evictedThisFrame += victim->size;
        Release(arena, victim);
        return true;
    }
    return false;
}

void EmptyLists(ResourceArena* arena)
{
    for (ListLink& list : arena->lists)
        while (!ListLink::IsEmpty(&list))
            Release(arena, FromLink(list.next));
}

// A block of size bytes with a heap over it; size 0 gives none. False (and nothing kept)
// on failure, with the cause recorded.
bool MakeBlock(ResourceArena* arena, size_t size)
{
    arena->block = nullptr;
    arena->heap = nullptr;
    arena->size = size;
    if (size == 0)
        return true;
    void* block = Memory::Allocate(size, kBlockHint);
    if (!block)
    {
        arena->size = 0;
        Error::Report(kCorePluginId, Error::MakeCode(kErrNoMemory, size));
        return false;
    }
    if (!Heap::Init(block, size))
    {
        Memory::Free(block);
        arena->size = 0;
        ReportArenaFull();
        return false;
    }
    arena->block = block;
    arena->heap = static_cast<Heap*>(block);
    return true;
}

void FreeBlock(ResourceArena* arena)
{
    if (arena->block)
        Memory::Free(arena->block);
    arena->block = nullptr;
    arena->heap = nullptr;
}

} // namespace

// ---- Entries -------------------------------------------------------------------------------------

ResourceEntry* ResourceArena::Allocate(void* owner, ResourceEntry** reference, size_t size,
                                       ResourceDestroyCallback destroy)
{
    ResourceArena* arena = sArena;
    void* memory = nullptr;
    if (arena && arena->heap && size <= SIZE_MAX - sizeof(ResourceEntry))
    {
        while (!(memory = Heap::Alloc(arena->heap, size + sizeof(ResourceEntry))))
            if (!EvictOne(arena))
                break;
    }
    if (!memory)
    {
        if (reference)
            *reference = nullptr;
        ReportArenaFull();
        return nullptr;
    }
    auto* entry = static_cast<ResourceEntry*>(memory);
    entry->size = size;
    entry->owner = owner;
    entry->reference = reference;
    entry->destroy = destroy;
    ListLink::InsertAtHead(CurrentList(arena), &entry->link);
    arena->used += size;
    if (reference)
        *reference = entry;
    return entry;
}

void ResourceArena::Use(ResourceEntry* entry)
{
    // Data kept outside the arena is never linked: there is no recency to keep.
    if (!sArena || !entry->link.next)
        return;
    ListLink::Unlink(&entry->link);
    ListLink::InsertAtHead(CurrentList(sArena), &entry->link);
}

int32_t ResourceArena::Free(ResourceEntry* entry)
{
    if (!entry->link.next)
    {
        // Data its owner keeps outside the arena (its head filled by hand, no links) came
        // from the engine allocator, not the arena's heap.
        if (entry->destroy)
            entry->destroy(entry);
        if (entry->reference)
            *entry->reference = nullptr;
        Memory::Free(entry);
        return 1;
    }
    Release(sArena, entry);
    return 1;
}

int32_t ResourceArena::Empty()
{
    if (sArena)
        EmptyLists(sArena);
    return 1;
}

void ResourceArena::NextFrame()
{
    ResourceArena* arena = sArena;
    if (!arena)
        return;
    // The older entries go behind this frame's, and that list becomes the older one.
    ListLink* current = CurrentList(arena);
    ListLink* older = OlderList(arena);
    if (!ListLink::IsEmpty(older))
    {
        ListLink* first = older->next;
        ListLink* last = older->prev;
        first->prev = current->prev;
        current->prev->next = first;
        last->next = current;
        current->prev = last;
        ListLink::Init(older);
    }
    arena->current = 1 - arena->current;
    arena->evictedThisFrame = 0;
}

// ---- Size -------------------------------------------------------------------------------------------

int32_t ResourceArena::SetSize(int32_t size)
{
    if (size < 0)
    {
        Error::Report(kCorePluginId, Error::MakeCode(kErrBadArgument));
        return 0;
    }
    Engine* engine = Engine::Current();
    if (engine)
        engine->arenaSize = size;
    ResourceArena* arena = sArena;
    if (!arena)
        return 1;
    EmptyLists(arena);
    FreeBlock(arena);
    return MakeBlock(arena, size_t(size)) ? 1 : 0;
}

ResourceArena* ResourceArena::Get()
{
    return sArena;
}

// ---- The arena module ----------------------------------------------------------------------------------

const int32_t ResourceArena::kModuleBlockSize = sizeof(ResourceArena);

void* ResourceArena::OpenModule(void* engine, int32_t offset, int32_t)
{
    auto* e = static_cast<Engine*>(engine);
    auto* arena = static_cast<ResourceArena*>(Engine::Block(e, offset));
    arena->used = 0;
    arena->evictedThisFrame = 0;
    arena->current = 0;
    ListLink::Init(&arena->lists[0]);
    ListLink::Init(&arena->lists[1]);
    if (!MakeBlock(arena, size_t(e->arenaSize > 0 ? e->arenaSize : 0)))
        return nullptr;
    sArena = arena;
    return engine;
}

void* ResourceArena::CloseModule(void* engine, int32_t offset, int32_t)
{
    auto* arena = static_cast<ResourceArena*>(Engine::Block(static_cast<Engine*>(engine), offset));
    EmptyLists(arena);
    FreeBlock(arena);
    sArena = nullptr;
    return engine;
}
