// HbModuleArena: a module's own arena over the framework heap, or counted heap
// blocks in system-allocator builds.
#include "hbmodulearena.h"

#include "hbarena.h"
#include "hbmemory.h"

#include <new>

namespace
{
// What one block costs the arena: its bytes rounded to 16 and its header.
size_t BlockCost(size_t size)
{
    return ((size + 15) & ~size_t(15)) + HbArena::kHeader;
}

// In system-allocator builds a block carries its cost in front of it (0 for
// a fallback block that the arena does not count).
constexpr size_t kPrefix = 16;
} // namespace

int HbModuleArena::Create()
{
    mReleaseWhenEmpty = false;
    if (HbUsesSystemAllocator())
    {
        mCountedOnly = true;
        return 1;
    }
    if (mArena)
        return 1;
    void* record = HbHeapAlloc(sizeof(HbArena));
    if (!record)
        return 0;
    auto* arena = new (record) HbArena();
    arena->Init(mSize);
    if (!arena->Exists())
    {
        arena->~HbArena();
        HbHeapFree(record);
        return 0;
    }
    mArena = arena;
    return 1;
}

int HbModuleArena::Exists() const
{
    return mCountedOnly || mArena ? 1 : 0;
}

void* HbModuleArena::Alloc(size_t size)
{
    if (HbUsesSystemAllocator())
    {
        mCountedOnly = true; // made on first use, as the arena would be
        // The arena's first block header takes 16 bytes of its capacity.
        size_t cost = BlockCost(size);
        bool counted = mSize >= HbArena::kHeader && cost <= mSize - HbArena::kHeader - mCounted;
        if (!counted && !mHeapFallback)
            return nullptr;
        if (size > SIZE_MAX - kPrefix)
            return nullptr;
        auto* block = static_cast<uint8_t*>(HbHeapAlloc(size + kPrefix));
        if (!block)
            return nullptr;
        *reinterpret_cast<size_t*>(block) = counted ? cost : 0;
        if (counted)
        {
            mCounted += cost;
            ++mUsed;
        }
        return block + kPrefix;
    }
    if (!mArena && !Create())
        return mHeapFallback ? HbHeapAlloc(size) : nullptr;
    if (void* block = mArena->Alloc(size))
    {
        ++mUsed;
        return block;
    }
    return mHeapFallback ? HbHeapAlloc(size) : nullptr;
}

void HbModuleArena::Free(void* block)
{
    if (!block)
        return;
    if (HbUsesSystemAllocator())
    {
        auto* start = static_cast<uint8_t*>(block) - kPrefix;
        size_t cost = *reinterpret_cast<size_t*>(start);
        if (cost)
        {
            mCounted -= cost;
            --mUsed;
        }
        HbHeapFree(start);
    }
    else if (mArena && mArena->Contains(block))
    {
        mArena->Free(block);
        --mUsed;
    }
    else
    {
        HbHeapFree(block);
    }
    if (mReleaseWhenEmpty && mUsed == 0)
        Release();
}

void HbModuleArena::ReleaseWhenEmpty()
{
    mReleaseWhenEmpty = true;
    if (mUsed == 0)
        Release();
}

void HbModuleArena::Release()
{
    mCountedOnly = false;
    if (!mArena)
        return;
    mArena->Release();
    mArena->~HbArena();
    HbHeapFree(mArena);
    mArena = nullptr;
}
