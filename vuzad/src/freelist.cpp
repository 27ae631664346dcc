// Free lists: blocks of fixed-size entries with an occupancy bitmap, the global list of
// free lists and the free list their records come from.
#include "freelist.h"

#include "engine.h"
#include "memory.h"

#include <cstddef>
#include <cstring>

namespace
{

// The global list of every free list, and the free list that records come from. The
// records list lives in static storage, unlinked from the global list so that purging
// and destroying all lists leave it to the end.
ListLink sAllLists = {&sAllLists, &sAllLists};
FreeList sRecords;
bool sRecordsExist = false;
bool sEnabled = true;

constexpr int32_t kRecordsPerBlock = 16;
constexpr uint32_t kRecordsHint = kMemoryHintEngine;
constexpr uint32_t kScratchHint = kMemoryHintTemporary;

FreeList* FromLink(ListLink* link)
{
    return reinterpret_cast<FreeList*>(reinterpret_cast<char*>(link) - offsetof(FreeList, link));
}

size_t BlockBytes(const FreeList* list)
{
    return sizeof(ListLink) + size_t(list->bitmapBytes) + size_t(list->alignment - 1) +
           size_t(list->entriesPerBlock) * size_t(list->entrySize);
}

ListLink* NewBlock(FreeList* list, uint32_t hint)
{
    auto* block = static_cast<ListLink*>(Memory::Allocate(BlockBytes(list), hint));
    if (!block)
        return nullptr;
    std::memset(FreeList::BlockBitmap(block), 0, size_t(list->bitmapBytes));
    ListLink::InsertAtHead(&list->blocks, block);
    return block;
}

bool BitmapEmpty(const FreeList* list, ListLink* block)
{
    const uint8_t* bitmap = FreeList::BlockBitmap(block);
    for (int32_t i = 0; i < list->bitmapBytes; ++i)
        if (bitmap[i])
            return false;
    return true;
}

void FreeBlocks(FreeList* list)
{
    while (!ListLink::IsEmpty(&list->blocks))
    {
        ListLink* block = list->blocks.next;
        ListLink::Unlink(block);
        Memory::Free(block);
    }
}

// Records come through the engine's take and give-back functions, so the choice made at
// Engine::Init holds for them too.
FreeList* TakeRecord(uint32_t hint)
{
    if (!sRecordsExist)
        return static_cast<FreeList*>(Memory::Allocate(sizeof(FreeList), hint));
    const Engine* engine = Engine::Current();
    if (engine && engine->freeListFunctions.take)
        return static_cast<FreeList*>(engine->freeListFunctions.take(&sRecords, hint));
    return static_cast<FreeList*>(FreeList::Alloc(&sRecords, hint));
}

void GiveRecordBack(FreeList* record)
{
    if (!sRecordsExist || record == &sRecords)
    {
        Memory::Free(record);
        return;
    }
    const Engine* engine = Engine::Current();
    if (engine && engine->freeListFunctions.giveBack)
        engine->freeListFunctions.giveBack(&sRecords, record);
    else
        FreeList::Free(&sRecords, record);
}

} // namespace

uint8_t* FreeList::BlockEntries(const FreeList* list, ListLink* block)
{
    uintptr_t bitmapEnd = reinterpret_cast<uintptr_t>(BlockBitmap(block)) + uintptr_t(list->bitmapBytes);
    uintptr_t alignment = uintptr_t(list->alignment);
    return reinterpret_cast<uint8_t*>((bitmapEnd + alignment - 1) & ~(alignment - 1));
}

int32_t FreeList::CountBlocks(const FreeList* list)
{
    int32_t count = 0;
    for (const ListLink* b = list->blocks.next; b != &list->blocks; b = b->next)
        ++count;
    return count;
}

FreeList* FreeList::CreateInStorage(int32_t entrySize, int32_t entriesPerBlock, int32_t alignment,
                                    int32_t blocksInAdvance, FreeList* storage, uint32_t hint)
{
    if (!sEnabled)
        blocksInAdvance = 0;
    if (alignment < kFreeListMinAlignment)
        alignment = kFreeListMinAlignment;
    if (entrySize <= 0 || entriesPerBlock <= 0 || (alignment & (alignment - 1)) != 0)
        return nullptr;

    FreeList* list = storage;
    uint32_t flags = kFreeListReleaseEmpty;
    if (storage)
        flags |= kFreeListCallerStorage;
    else if (!(list = TakeRecord(hint & kMemoryHintDurationMask)))
        return nullptr;

    list->entrySize = (entrySize + alignment - 1) & ~(alignment - 1);
    list->entriesPerBlock = entriesPerBlock;
    list->bitmapBytes = (entriesPerBlock + 7) / 8;
    list->alignment = alignment;
    list->flags = flags;
    ListLink::Init(&list->blocks);
    ListLink::Init(&list->link);

    for (int32_t i = 0; i < blocksInAdvance; ++i)
    {
        if (!NewBlock(list, hint))
        {
            FreeBlocks(list);
            if (!storage)
                GiveRecordBack(list);
            return nullptr;
        }
    }
    ListLink::InsertAtHead(&sAllLists, &list->link);
    return list;
}

FreeList* FreeList::Create(int32_t entrySize, int32_t entriesPerBlock, int32_t alignment, uint32_t hint)
{
    return CreateInStorage(entrySize, entriesPerBlock, alignment, 1, nullptr, hint);
}

int32_t FreeList::Destroy(FreeList* list)
{
    ListLink::Unlink(&list->link);
    FreeBlocks(list);
    if (!(list->flags & kFreeListCallerStorage))
        GiveRecordBack(list);
    return 1;
}

void* FreeList::Alloc(FreeList* list, uint32_t hint)
{
    for (ListLink* block = list->blocks.next; block != &list->blocks; block = block->next)
    {
        uint8_t* bitmap = BlockBitmap(block);
        for (int32_t byte = 0; byte < list->bitmapBytes; ++byte)
        {
            if (bitmap[byte] == 0xFF)
                continue;
            for (int32_t bit = 0; bit < 8; ++bit)
            {
                int32_t index = byte * 8 + bit;
                if (index >= list->entriesPerBlock)
                    break;
                uint8_t mask = uint8_t(0x80u >> bit);
                if (!(bitmap[byte] & mask))
                {
                    bitmap[byte] |= mask;
                    return BlockEntries(list, block) + size_t(index) * size_t(list->entrySize);
                }
            }
        }
    }
    ListLink* block = NewBlock(list, hint);
    if (!block)
        return nullptr;
    BlockBitmap(block)[0] = 0x80;
    return BlockEntries(list, block);
}

FreeList* FreeList::Free(FreeList* list, void* entry)
{
    auto address = reinterpret_cast<uintptr_t>(entry);
    uintptr_t areaBytes = uintptr_t(list->entriesPerBlock) * uintptr_t(list->entrySize);
    for (ListLink* block = list->blocks.next; block != &list->blocks; block = block->next)
    {
        auto first = reinterpret_cast<uintptr_t>(BlockEntries(list, block));
        if (address < first || address >= first + areaBytes)
            continue;
        // An address inside an entry rather than at its start is no entry of the list.
        if ((address - first) % uintptr_t(list->entrySize) != 0)
            return nullptr;
        size_t index = (address - first) / uintptr_t(list->entrySize);
        uint8_t* bitmap = BlockBitmap(block);
        bitmap[index / 8] &= uint8_t(~(0x80u >> (index % 8)));
        if ((list->flags & kFreeListReleaseEmpty) && BitmapEmpty(list, block))
        {
            ListLink::Unlink(block);
            Memory::Free(block);
        }
        return list;
    }
    return nullptr;
}

void* FreeList::AllocUnpooled(FreeList* list, uint32_t hint)
{
    return Memory::Allocate(size_t(list->entrySize), hint);
}

FreeList* FreeList::FreeUnpooled(FreeList* list, void* entry)
{
    Memory::Free(entry);
    return list;
}

FreeList* FreeList::ForAllUsed(FreeList* list, FreeListCallback callback, void* data)
{
    ListLink* block = list->blocks.next;
    while (block != &list->blocks)
    {
        auto* scratch = static_cast<uint8_t*>(Memory::Allocate(size_t(list->bitmapBytes), kScratchHint));
        if (!scratch)
            return nullptr;
        std::memcpy(scratch, BlockBitmap(block), size_t(list->bitmapBytes));
        ListLink* next = block->next;
        // Entry addresses are taken before any callback runs: a callback that gives
        // back the block's last entry frees the block.
        uint8_t* entries = BlockEntries(list, block);
        for (int32_t index = 0; index < list->entriesPerBlock; ++index)
            if (scratch[index / 8] & (0x80u >> (index % 8)))
                callback(entries + size_t(index) * size_t(list->entrySize), data);
        Memory::Free(scratch);
        block = next;
    }
    return list;
}

int32_t FreeList::Purge(FreeList* list)
{
    if (ListLink::IsEmpty(&list->blocks))
        return 0;
    // Take the whole chain off, then put back each block that holds entries at the
    // head: the kept blocks end in reverse order.
    ListLink taken = {list->blocks.next, list->blocks.prev};
    taken.next->prev = &taken;
    taken.prev->next = &taken;
    ListLink::Init(&list->blocks);
    int32_t released = 0;
    while (!ListLink::IsEmpty(&taken))
    {
        ListLink* block = taken.next;
        ListLink::Unlink(block);
        if (BitmapEmpty(list, block))
        {
            Memory::Free(block);
            ++released;
        }
        else
            ListLink::InsertAtHead(&list->blocks, block);
    }
    return released * list->entrySize;
}

int32_t FreeList::PurgeAll()
{
    int32_t total = 0;
    for (ListLink* link = sAllLists.next; link != &sAllLists; link = link->next)
    {
        int32_t released = Purge(FromLink(link));
        if (released > 0)
            total += released;
    }
    return total;
}

void FreeList::DestroyAll()
{
    while (!ListLink::IsEmpty(&sAllLists))
        Destroy(FromLink(sAllLists.next));
    if (sRecordsExist)
    {
        FreeBlocks(&sRecords);
        sRecordsExist = false;
    }
}

int32_t FreeList::OpenModule()
{
    ListLink::Init(&sAllLists);
    sRecordsExist = false;
    if (!CreateInStorage(sizeof(FreeList), kRecordsPerBlock, 0, 0, &sRecords, kRecordsHint))
        return 0;
    ListLink::Unlink(&sRecords.link);
    sRecordsExist = true;
    return 1;
}

void FreeList::SetEnabled(bool enabled)
{
    sEnabled = enabled;
}

bool FreeList::IsEnabled()
{
    return sEnabled;
}
