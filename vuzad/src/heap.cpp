// The block heap: laying it over an area, first-fit allocation from the hint, splitting
// and merging.
#include "heap.h"

namespace
{

constexpr uintptr_t kGranule = HeapBlock::kGranularity;

uintptr_t RoundUp(uintptr_t value)
{
    return (value + kGranule - 1) & ~(kGranule - 1);
}

uintptr_t RoundDown(uintptr_t value)
{
    return value & ~(kGranule - 1);
}

bool IsFree(const HeapBlock* block)
{
    return block && !(block->used & 1);
}

} // namespace

int32_t Heap::Init(void* area, size_t size)
{
    if (!area || size < sizeof(Heap))
        return 0;
    uintptr_t start = reinterpret_cast<uintptr_t>(area);
    uintptr_t header = RoundUp(start + sizeof(Heap));
    uintptr_t end = RoundDown(start + size);
    if (end < header + 2 * kGranule)
        return 0;
    auto* heap = static_cast<Heap*>(area);
    auto* block = reinterpret_cast<HeapBlock*>(header);
    block->heap = heap;
    block->next = nullptr;
    block->prev = nullptr;
    block->size = uint32_t(end - header - kGranule);
    block->used = 0;
    heap->first = block;
    heap->firstFree = block;
    return 1;
}

void* Heap::Alloc(Heap* heap, size_t size)
{
    if (!heap || size > UINT32_MAX - 2 * kGranule)
        return nullptr;
    size_t rounded = RoundUp(size);
    HeapBlock* block = heap->firstFree;
    while (block && !(IsFree(block) && block->size >= rounded))
        block = block->next;
    if (!block)
        return nullptr;
    // A remainder of 64 bytes or less stays in the block, so the heap does not fill with
    // free blocks too small to be of use.
    if (block->size > rounded + 2 * kGranule)
        Split(block, rounded);
    if (block == heap->firstFree)
    {
        HeapBlock* next = block->next;
        while (next && !IsFree(next))
            next = next->next;
        heap->firstFree = next;
    }
    block->used |= 1;
    return DataOf(block);
}

void Heap::Split(HeapBlock* block, size_t size)
{
    auto* cut = reinterpret_cast<HeapBlock*>(reinterpret_cast<char*>(DataOf(block)) + size);
    HeapBlock* next = block->next;
    cut->heap = block->heap;
    cut->used = 0;
    cut->prev = block;
    if (IsFree(next))
    {
        cut->size = uint32_t(block->size - size + next->size);
        cut->next = next->next;
    }
    else
    {
        cut->size = uint32_t(block->size - size - kGranule);
        cut->next = next;
    }
    if (cut->next)
        cut->next->prev = cut;
    block->next = cut;
    block->size = uint32_t(size);
}

void Heap::Free(void* pointer)
{
    HeapBlock* block = BlockOf(pointer);
    Heap* heap = block->heap;
    block->used &= ~1u;
    if (!heap->firstFree || heap->firstFree > block)
        heap->firstFree = block;
    if (IsFree(block->prev))
    {
        HeapBlock* prev = block->prev;
        prev->size += block->size + uint32_t(kGranule);
        prev->next = block->next;
        if (block->next)
            block->next->prev = prev;
        if (heap->firstFree == block)
            heap->firstFree = prev;
        block = prev;
    }
    if (IsFree(block->next))
    {
        HeapBlock* next = block->next;
        block->size += next->size + uint32_t(kGranule);
        block->next = next->next;
        if (next->next)
            next->next->prev = block;
        if (heap->firstFree == next)
            heap->firstFree = block;
    }
}
