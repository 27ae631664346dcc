// The indexed best fit of the heap and the arenas against the plain list walks
// they replace: the same random operations on both must hand out the same
// blocks and leave the same free lists.
#include "hbarena.h"
#include "hbheap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace
{

// ---- The heap as a walk of its free list ----------------------------------------------

class LinearHeap
{
public:
    void Init(uint8_t* start, uint8_t* end, uint32_t align)
    {
        mAlignMask = align - 1;
        mStart = start;
        uintptr_t s = reinterpret_cast<uintptr_t>(start);
        uintptr_t first = (align < 32 ? RoundUp(s + 4, 32) : RoundUp(s + 4, align)) - 4;
        uintptr_t marker = ((reinterpret_cast<uintptr_t>(end) - 16) & ~uintptr_t(mAlignMask)) - 4;
        mFirst = reinterpret_cast<uint8_t*>(first);
        mEndMarker = reinterpret_cast<uint8_t*>(marker);
        uint32_t size = static_cast<uint32_t>(marker - first);
        W(mFirst, 0) = size | 2;
        Footer(mFirst, size);
        SetNext(mFirst, mEndMarker);
        SetPrev(mFirst, mFirst);
        W(mEndMarker, 0) = 16 | 1;
        mHead = mFirst;
        mCount = 1;
    }

    void* Alloc(size_t size)
    {
        size_t needed = Needed(size);
        if (needed == 0)
            return nullptr;
        uint8_t* best = nullptr;
        uint32_t bestSize = 0;
        uint8_t* block = mHead;
        for (uint32_t i = 0; i < mCount; ++i, block = Next(block))
            if (Size(block) >= needed && (!best || Size(block) < bestSize))
            {
                best = block;
                bestSize = Size(block);
            }
        if (!best)
            return nullptr;
        uint32_t below = W(best, 0) & 1;
        if (bestSize - needed >= 24)
        {
            uint8_t* rest = best + needed;
            uint32_t restSize = bestSize - static_cast<uint32_t>(needed);
            Replace(best, rest);
            W(rest, 0) = restSize | 2;
            Footer(rest, restSize);
            W(best, 0) = static_cast<uint32_t>(needed) | below;
        }
        else
        {
            Unlink(best);
            --mCount;
            W(best + bestSize, 0) &= ~1u;
            W(best, 0) = bestSize | below;
        }
        return best + 4;
    }

    void Free(void* pointer)
    {
        uint8_t* b = static_cast<uint8_t*>(pointer) - 4;
        uint32_t header = W(b, 0);
        uint32_t bSize = header & kSizeMask;
        uint8_t* n = b + bSize;
        bool nFree = (W(n, 0) & 2) != 0;
        if (header & 1)
        {
            uint32_t pSize = W(b - 4, 0);
            uint8_t* p = b - pSize;
            uint32_t merged = pSize + bSize;
            if (nFree)
            {
                merged += Size(n);
                Unlink(n);
                --mCount;
            }
            W(p, 0) = merged | 2 | (W(p, 0) & 1);
            Footer(p, merged);
            W(p + merged, 0) |= 1;
        }
        else if (nFree)
        {
            uint32_t merged = bSize + Size(n);
            Replace(n, b);
            W(b, 0) = merged | 2;
            Footer(b, merged);
            W(b + merged, 0) |= 1;
        }
        else
        {
            SetNext(b, mHead);
            if (mHead != mEndMarker)
                SetPrev(mHead, b);
            SetPrev(b, b);
            mHead = b;
            W(b, 0) = bSize | 2;
            Footer(b, bSize);
            W(n, 0) |= 1;
            ++mCount;
        }
    }

    void* Realloc(void* pointer, size_t size)
    {
        size_t needed = Needed(size);
        if (needed == 0)
            return nullptr;
        uint8_t* b = static_cast<uint8_t*>(pointer) - 4;
        uint32_t current = Size(b);
        uint32_t below = W(b, 0) & 1;
        if (needed > current)
        {
            uint8_t* n = b + current;
            if ((W(n, 0) & 2) && current + Size(n) >= needed)
            {
                uint32_t nSize = Size(n);
                uint32_t excess = current + nSize - static_cast<uint32_t>(needed);
                uint32_t newSize = static_cast<uint32_t>(needed);
                if (excess >= 24)
                {
                    uint8_t* rest = b + needed;
                    Replace(n, rest);
                    W(rest, 0) = excess | 2;
                    Footer(rest, excess);
                }
                else
                {
                    Unlink(n);
                    --mCount;
                    W(n + nSize, 0) &= ~1u;
                    newSize = current + nSize;
                }
                W(b, 0) = newSize | below;
                return pointer;
            }
            void* moved = Alloc(size);
            if (!moved)
                return nullptr;
            Free(pointer);
            return moved;
        }
        if (current - needed > 8)
        {
            W(b, 0) = static_cast<uint32_t>(needed) | below;
            W(b + needed, 0) = current - static_cast<uint32_t>(needed);
            Free(b + needed + 4);
        }
        return pointer;
    }

    std::vector<std::pair<size_t, uint32_t>> FreeList() const
    {
        std::vector<std::pair<size_t, uint32_t>> list;
        uint8_t* b = mHead;
        for (uint32_t i = 0; i < mCount; ++i, b = Next(b))
            list.emplace_back(b - mStart, Size(b));
        return list;
    }

private:
    static constexpr uint32_t kSizeMask = 0x0FFFFFFC;
    static uintptr_t RoundUp(uintptr_t v, uintptr_t a) { return (v + a - 1) & ~(a - 1); }
    static uint32_t& W(uint8_t* b, size_t at) { return *reinterpret_cast<uint32_t*>(b + at); }
    static uint32_t Size(uint8_t* b) { return W(b, 0) & kSizeMask; }
    static void Footer(uint8_t* b, uint32_t size) { W(b, size - 4) = size; }
    uint8_t* Next(uint8_t* b) const { return mStart + W(b, 4); }
    uint8_t* Prev(uint8_t* b) const { return mStart + W(b, 8); }
    void SetNext(uint8_t* b, uint8_t* n) { W(b, 4) = static_cast<uint32_t>(n - mStart); }
    void SetPrev(uint8_t* b, uint8_t* p) { W(b, 8) = static_cast<uint32_t>(p - mStart); }
    size_t Needed(size_t size) const
    {
        if (size > kSizeMask)
            return 0;
        size_t n = ((size < 8 ? 8 : size) + 4 + mAlignMask) & ~size_t(mAlignMask);
        return n > kSizeMask ? 0 : n;
    }
    void Unlink(uint8_t* b)
    {
        uint8_t* next = Next(b);
        if (b == mHead)
        {
            mHead = next;
            if (next != mEndMarker)
                SetPrev(next, next);
            return;
        }
        SetNext(Prev(b), next);
        if (next != mEndMarker)
            SetPrev(next, Prev(b));
    }
    void Replace(uint8_t* old, uint8_t* block)
    {
        uint8_t* next = Next(old);
        SetNext(block, next);
        if (next != mEndMarker)
            SetPrev(next, block);
        if (old == mHead)
        {
            mHead = block;
            SetPrev(block, block);
        }
        else
        {
            SetPrev(block, Prev(old));
            SetNext(Prev(old), block);
        }
    }

    uint8_t* mStart = nullptr;
    uint8_t* mFirst = nullptr;
    uint8_t* mEndMarker = nullptr;
    uint8_t* mHead = nullptr;
    uint32_t mAlignMask = 7;
    uint32_t mCount = 0;
};

// ---- The arena as a walk of its free list ------------------------------------------------

class LinearArena
{
public:
    void Init(uint8_t* base, size_t size)
    {
        mBase = base;
        mEnd = base + size;
        uint8_t* caller = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(base) + 16 + 15) & ~uintptr_t(15));
        Header* h = At(Off(caller));
        h->size = static_cast<uint32_t>(mEnd - caller);
        h->inUse = 0;
        h->prev = h->next = 0;
        mFreeHead = Off(caller);
        mUsedHead = 0;
    }

    void* Alloc(size_t size)
    {
        uint32_t chosen = 0, chosenSize = 0;
        for (uint32_t b = mFreeHead; b; b = At(b)->next)
        {
            uint32_t s = At(b)->size;
            if (s == size)
            {
                chosen = b;
                chosenSize = s;
                break;
            }
            if (s > size && (!chosen || s < chosenSize))
            {
                chosen = b;
                chosenSize = s;
            }
        }
        if (!chosen)
            return nullptr;
        Header* h = At(chosen);
        if (chosenSize > size)
        {
            size_t rounded = (size + 15) & ~size_t(15);
            uint8_t* bytesEnd = mBase + chosen + chosenSize;
            uint8_t* split = mBase + chosen + rounded + 16;
            if (split - 16 < mEnd && split < bytesEnd)
            {
                uint32_t s = Off(split);
                Header* n = At(s);
                n->size = static_cast<uint32_t>(bytesEnd - split);
                n->inUse = 0;
                n->prev = chosen;
                n->next = h->next;
                if (h->next)
                    At(h->next)->prev = s;
                h->next = s;
                h->size = static_cast<uint32_t>(rounded);
            }
        }
        Unlink(chosen, mFreeHead);
        h->next = mUsedHead;
        h->prev = 0;
        if (mUsedHead)
            At(mUsedHead)->prev = chosen;
        mUsedHead = chosen;
        h->inUse = 1;
        return mBase + chosen;
    }

    void Free(void* pointer)
    {
        uint32_t block = Off(static_cast<uint8_t*>(pointer));
        Header* h = At(block);
        h->inUse = 0;
        Unlink(block, mUsedHead);
        uint32_t after = 0;
        for (uint32_t b = mFreeHead; b && b < block; b = At(b)->next)
            after = b;
        h->prev = after;
        h->next = after ? At(after)->next : mFreeHead;
        if (h->next)
            At(h->next)->prev = block;
        if (after)
            At(after)->next = block;
        else
            mFreeHead = block;
        uint32_t prev = h->prev;
        Coalesce(block, h->next);
        Coalesce(prev, block);
    }

    void* Realloc(void* pointer, size_t size)
    {
        if (size == 0)
        {
            Free(pointer);
            return nullptr;
        }
        void* moved = Alloc(size);
        if (moved && pointer)
            Free(pointer);
        return moved;
    }

    std::vector<std::pair<size_t, uint32_t>> FreeList() const
    {
        std::vector<std::pair<size_t, uint32_t>> list;
        for (uint32_t b = mFreeHead; b; b = At(b)->next)
            list.emplace_back(b, At(b)->size);
        return list;
    }

private:
    struct Header
    {
        uint32_t size;
        uint8_t inUse;
        uint8_t spare[3];
        uint32_t prev;
        uint32_t next;
    };
    Header* At(uint32_t caller) const { return reinterpret_cast<Header*>(mBase + caller - 16); }
    uint32_t Off(const uint8_t* caller) const { return static_cast<uint32_t>(caller - mBase); }
    void Unlink(uint32_t b, uint32_t& head)
    {
        Header* h = At(b);
        if (h->prev)
            At(h->prev)->next = h->next;
        else
            head = h->next;
        if (h->next)
            At(h->next)->prev = h->prev;
        h->prev = h->next = 0;
    }
    void Coalesce(uint32_t lower, uint32_t upper)
    {
        if (!lower || !upper || lower + At(lower)->size != upper - 16)
            return;
        uint32_t upperSize = At(upper)->size;
        Unlink(upper, mFreeHead);
        At(lower)->size += upperSize + 16;
    }

    uint8_t* mBase = nullptr;
    uint8_t* mEnd = nullptr;
    uint32_t mFreeHead = 0;
    uint32_t mUsedHead = 0;
};

// ---- Shared driver -------------------------------------------------------------------------

// 64-byte-aligned memory, so both sides of a comparison lay their blocks out alike.
struct AlignedBuffer
{
    explicit AlignedBuffer(size_t size)
        : bytes(static_cast<uint8_t*>(std::aligned_alloc(64, (size + 63) & ~size_t(63)))), size(size)
    {
        std::memset(bytes, 0, size);
    }
    ~AlignedBuffer() { std::free(bytes); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    uint8_t* bytes;
    size_t size;
};

// Request sizes that repeat often (ties), with a few small, odd and very large ones.
size_t RandomSize(std::mt19937& rng, size_t large)
{
    switch (rng() % 10)
    {
    case 0:
        return rng() % 13; // the smallest blocks
    case 1:
        return 16 * (1 + rng() % 4);
    case 2:
        return large / 2 + rng() % large;
    default:
        return 8 + rng() % 700;
    }
}

template <typename Real, typename Reference>
void RunSequence(Real& real, const uint8_t* realBase, Reference& reference, const uint8_t* referenceBase,
                 uint32_t seed, int operations, size_t large, bool (*check)(Real&))
{
    std::mt19937 rng(seed);
    struct Live
    {
        void* real;
        void* reference;
    };
    std::vector<Live> live;
    for (int op = 0; op < operations; ++op)
    {
        uint32_t what = rng() % 10;
        if (what < 5 || live.empty())
        {
            size_t size = RandomSize(rng, large);
            void* a = real.Alloc(size);
            void* b = reference.Alloc(size);
            ASSERT_EQ(a ? static_cast<uint8_t*>(a) - realBase : -1, b ? static_cast<uint8_t*>(b) - referenceBase : -1)
                << "seed " << seed << ", operation " << op << ": Alloc(" << size << ")";
            if (a)
                live.push_back({a, b});
        }
        else if (what < 9 || live.size() < 2)
        {
            size_t i = rng() % live.size();
            real.Free(live[i].real);
            reference.Free(live[i].reference);
            live[i] = live.back();
            live.pop_back();
        }
        else
        {
            size_t i = rng() % live.size();
            size_t size = RandomSize(rng, large);
            void* a = real.Realloc(live[i].real, size);
            void* b = reference.Realloc(live[i].reference, size);
            ASSERT_EQ(a ? static_cast<uint8_t*>(a) - realBase : -1, b ? static_cast<uint8_t*>(b) - referenceBase : -1)
                << "seed " << seed << ", operation " << op << ": Realloc(" << size << ")";
            if (a)
                live[i] = {a, b};
            else if (size == 0)
            {
                live[i] = live.back(); // an arena frees on a request of 0
                live.pop_back();
            }
        }
        if (op % 4096 == 0)
        {
            ASSERT_TRUE(check(real)) << "seed " << seed << ", operation " << op;
        }
    }
    ASSERT_TRUE(check(real));
}

template <typename List> std::vector<std::pair<size_t, uint32_t>> Pairs(const List& list)
{
    std::vector<std::pair<size_t, uint32_t>> pairs;
    for (const auto& b : list)
        pairs.emplace_back(b.offset, b.size);
    return pairs;
}

// ---- Tests --------------------------------------------------------------------------------------

TEST(HbFreeIndex, HeapHandsOutTheBlocksOfTheListWalk)
{
    constexpr size_t kBytes = 4 << 20;
    for (uint32_t alignment : {8u, 16u})
        for (uint32_t seed : {1u, 2u})
        {
            AlignedBuffer a(kBytes), b(kBytes);
            HbHeap heap;
            ASSERT_TRUE(heap.Init(a.bytes, a.bytes + kBytes, alignment));
            LinearHeap reference;
            reference.Init(b.bytes, b.bytes + kBytes, alignment);
            // Large requests reach past the index's bins (256 KB) and exhaust the heap at times.
            RunSequence(heap, a.bytes, reference, b.bytes, seed * 31 + alignment, 40000, 300000,
                        +[](HbHeap& h) { return h.Check().empty(); });
            EXPECT_EQ(heap.Check(), "");
            auto realList = Pairs(heap.FreeList());
            EXPECT_EQ(realList, reference.FreeList()) << "alignment " << alignment << ", seed " << seed;
        }
}

TEST(HbFreeIndex, ArenaHandsOutTheBlocksOfTheListWalk)
{
    // An arena size that is not a multiple of 16 leaves an odd-sized last block.
    constexpr size_t kArena = (1 << 20) + 8;
    for (uint32_t seed : {5u, 6u, 7u})
    {
        AlignedBuffer heapBytes(4 << 20), b(kArena + 64);
        HbHeap heap;
        ASSERT_TRUE(heap.Init(heapBytes.bytes, heapBytes.bytes + heapBytes.size, 16));
        HbArena arena;
        arena.Init(kArena, &heap);
        ASSERT_TRUE(arena.Exists());
        ASSERT_EQ(reinterpret_cast<uintptr_t>(arena.Base()) % 16, 0u);
        LinearArena reference;
        reference.Init(b.bytes, kArena);
        RunSequence(arena, static_cast<const uint8_t*>(arena.Base()), reference, b.bytes, seed, 40000, 70000,
                    +[](HbArena& a) { return a.Check().empty(); });
        EXPECT_EQ(Pairs(arena.FreeList()), reference.FreeList()) << "seed " << seed;
        arena.Release();
    }
}

} // namespace
