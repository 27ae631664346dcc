// The pipeline heap: creation, reset, allocation and release of blocks, and the free-entry
// array that lists the free blocks.
#include "pipeheap.h"

#include "error.h"
#include "memory.h"

#include <cstring>

namespace
{

constexpr uint32_t kHeapHint = kMemoryHintEngine | 0x409;
constexpr size_t kBaseAlignment = 128;
constexpr size_t kHeader = PipeHeapHeader::kSize;
/// A memory block holds its start header, one block header and its end header besides the bytes.
constexpr size_t kFrame = 3 * kHeader;

size_t RoundUp32(size_t size)
{
    return (size + 31) & ~size_t(31);
}

// ---- Free entries -------------------------------------------------------------------------------

bool GrowFreeEntries(PipeHeap* heap)
{
    int32_t capacity = heap->freeCapacity + PipeHeap::kFreeEntryGrowth;
    auto* moved = static_cast<PipeHeapFreeEntry*>(Memory::Reallocate(
        heap->freeEntries, size_t(capacity) * sizeof(PipeHeapFreeEntry), kHeapHint | kMemoryHintResize));
    if (!moved)
    {
        Error::Report(0, Error::MakeCode(kErrNoMemory));
        return false;
    }
    // The headers point at their entries: follow the array when it moves.
    for (int32_t i = 0; i < heap->freeCount; ++i)
        moved[i].header->freeEntry = &moved[i];
    heap->freeEntries = moved;
    heap->freeCapacity = capacity;
    return true;
}

/// Lists a free block; false when the array is full and cannot grow.
bool AddFreeEntry(PipeHeap* heap, PipeHeapHeader* header)
{
    if (heap->freeCount == heap->freeCapacity && !GrowFreeEntries(heap))
        return false;
    PipeHeapFreeEntry* entry = &heap->freeEntries[heap->freeCount++];
    entry->size = header->size;
    entry->header = header;
    header->freeEntry = entry;
    return true;
}

/// The last entry moves into the removed one's place.
void RemoveFreeEntry(PipeHeap* heap, PipeHeapFreeEntry* entry)
{
    entry->header->freeEntry = nullptr;
    PipeHeapFreeEntry* last = &heap->freeEntries[--heap->freeCount];
    if (entry != last)
    {
        *entry = *last;
        entry->header->freeEntry = entry;
    }
}

// ---- Memory blocks --------------------------------------------------------------------------------

PipeHeapHeader* StartHeader(PipeHeapMemory* memory)
{
    return reinterpret_cast<PipeHeapHeader*>(memory->base);
}

PipeHeapHeader* EndHeader(PipeHeapMemory* memory)
{
    return reinterpret_cast<PipeHeapHeader*>(memory->base + memory->size - kHeader);
}

/// The record sits in front of the 128-byte aligned base inside the same allocation.
PipeHeapMemory* NewMemory(size_t size)
{
    size_t total = sizeof(PipeHeapMemory) + kBaseAlignment - 1 + size;
    auto* raw = static_cast<uint8_t*>(Memory::Allocate(total, kHeapHint));
    if (!raw)
    {
        Error::Report(0, Error::MakeCode(kErrNoMemory, total));
        return nullptr;
    }
    auto* memory = reinterpret_cast<PipeHeapMemory*>(raw);
    uintptr_t base = (reinterpret_cast<uintptr_t>(raw) + sizeof(PipeHeapMemory) + kBaseAlignment - 1) &
                     ~uintptr_t(kBaseAlignment - 1);
    memory->base = reinterpret_cast<uint8_t*>(base);
    memory->size = size;
    memory->next = nullptr;
    return memory;
}

/// One free block between the framing headers; chained behind the previous memory block.
bool LayOut(PipeHeap* heap, PipeHeapMemory* memory, PipeHeapMemory* previous)
{
    PipeHeapHeader* start = StartHeader(memory);
    PipeHeapHeader* end = EndHeader(memory);
    auto* block = start + 1;
    std::memset(start, 0, kHeader);
    std::memcpy(static_cast<void*>(end), start, kHeader);
    block->size = memory->size - kFrame;
    block->freeEntry = nullptr;
    block->prev = start;
    block->next = end;
    start->next = block;
    end->prev = block;
    if (previous)
    {
        EndHeader(previous)->next = start;
        start->prev = EndHeader(previous);
    }
    return AddFreeEntry(heap, block);
}

PipeHeapMemory* LastMemory(PipeHeap* heap)
{
    PipeHeapMemory* memory = heap->firstMemory;
    while (memory && memory->next)
        memory = memory->next;
    return memory;
}

PipeHeapMemory* PreviousMemory(PipeHeap* heap, PipeHeapMemory* of)
{
    PipeHeapMemory* memory = heap->firstMemory;
    while (memory && memory->next != of)
        memory = memory->next;
    return memory == of ? nullptr : memory;
}

} // namespace

// ---- Creation -----------------------------------------------------------------------------------

PipeHeap* PipeHeap::Create(size_t size)
{
    size = RoundUp32(size < kMinimumSize ? kMinimumSize : size);
    auto* heap = static_cast<PipeHeap*>(Memory::AllocateZeroed(1, sizeof(PipeHeap), kHeapHint));
    if (!heap)
    {
        Error::Report(0, Error::MakeCode(kErrNoMemory));
        return nullptr;
    }
    heap->firstMemory = NewMemory(size);
    if (!heap->firstMemory || !LayOut(heap, heap->firstMemory, nullptr))
    {
        Destroy(heap);
        return nullptr;
    }
    heap->totalSize = size;
    heap->firstHeader = StartHeader(heap->firstMemory) + 1;
    heap->needsReset = 0;
    return heap;
}

void PipeHeap::Destroy(PipeHeap* heap)
{
    if (!heap)
        return;
    Memory::Free(heap->freeEntries);
    for (PipeHeapMemory* memory = heap->firstMemory; memory;)
    {
        PipeHeapMemory* next = memory->next;
        Memory::Free(memory);
        memory = next;
    }
    Memory::Free(heap);
}

void PipeHeap::Reset(PipeHeap* heap)
{
    if (!heap)
        return;
    heap->freeCount = 0;
    // Later memory blocks first, so the first one's free block ends up listed last.
    for (PipeHeapMemory* memory = LastMemory(heap); memory && memory != heap->firstMemory;
         memory = PreviousMemory(heap, memory))
        LayOut(heap, memory, PreviousMemory(heap, memory));
    if (heap->firstMemory)
    {
        LayOut(heap, heap->firstMemory, nullptr);
        heap->firstHeader = StartHeader(heap->firstMemory) + 1;
    }
    heap->needsReset = 0;
}

// ---- Blocks -------------------------------------------------------------------------------------------

void* PipeHeap::Alloc(PipeHeap* heap, size_t size)
{
    if (!heap)
        return nullptr;
    size = RoundUp32(size ? size : 1);
    PipeHeapFreeEntry* fit = nullptr;
    for (int32_t i = 0; i < heap->freeCount && !fit; ++i)
        if (heap->freeEntries[i].size >= size)
            fit = &heap->freeEntries[i];
    if (!fit)
    {
        size_t memorySize = RoundUp32(size + kFrame);
        if (memorySize < heap->totalSize)
            memorySize = heap->totalSize;
        PipeHeapMemory* memory = NewMemory(memorySize);
        if (!memory)
            return nullptr;
        PipeHeapMemory* last = LastMemory(heap);
        if (!LayOut(heap, memory, last))
        {
            if (last)
                EndHeader(last)->next = nullptr;
            Memory::Free(memory);
            return nullptr;
        }
        if (last)
            last->next = memory;
        else
            heap->firstMemory = memory;
        heap->totalSize += memorySize;
        fit = &heap->freeEntries[heap->freeCount - 1];
    }

    PipeHeapHeader* block = fit->header;
    if (block->size >= size + kHeader + 32)
    {
        // Split: the rest behind the handed-out bytes keeps the free entry.
        auto* rest = reinterpret_cast<PipeHeapHeader*>(reinterpret_cast<uint8_t*>(block + 1) + size);
        rest->size = block->size - size - kHeader;
        rest->prev = block;
        rest->next = block->next;
        block->next->prev = rest;
        block->next = rest;
        block->size = size;
        rest->freeEntry = fit;
        fit->header = rest;
        fit->size = rest->size;
        block->freeEntry = nullptr;
    }
    else
    {
        RemoveFreeEntry(heap, fit);
    }
    heap->needsReset = 1;
    return block + 1;
}

int32_t PipeHeap::Free(PipeHeap* heap, void* pointer)
{
    if (!heap || !pointer)
        return 1;
    PipeHeapHeader* block = HeaderOf(pointer);
    PipeHeapHeader* prev = block->prev;
    PipeHeapHeader* next = block->next;
    bool prevFree = prev && prev->freeEntry;
    bool nextFree = next && next->freeEntry;

    if (prevFree && nextFree)
    {
        prev->size += block->size + next->size + 2 * kHeader;
        prev->next = next->next;
        next->next->prev = prev;
        RemoveFreeEntry(heap, next->freeEntry);
        prev->freeEntry->size = prev->size;
    }
    else if (prevFree)
    {
        prev->size += block->size + kHeader;
        prev->next = next;
        next->prev = prev;
        prev->freeEntry->size = prev->size;
    }
    else if (nextFree)
    {
        block->size += next->size + kHeader;
        block->next = next->next;
        next->next->prev = block;
        block->freeEntry = next->freeEntry;
        block->freeEntry->header = block;
        block->freeEntry->size = block->size;
    }
    else if (!AddFreeEntry(heap, block))
    {
        return 0;
    }
    return 1;
}
