// Vertex memory of the Direct3D 9 driver: stride pools of managed buffers, borrowed dynamic
// buffers, and the four rotating dynamic buffers.
#include "d3d9vertexbuffer.h"

#include "d3d9driver_local.h"
#include "engine.h"
#include "freelist.h"

#include <initializer_list>

namespace
{

constexpr uint32_t kRecordHint = 0x1040411;
constexpr DWORD kPoolUsage = D3DUSAGE_WRITEONLY;
constexpr DWORD kDynamicUsage = D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC;
constexpr DWORD kAppendLock = D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK;
constexpr DWORD kDiscardLock = D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK;
constexpr int kNumSlots = 4;

struct FreeRange
{
    UINT offset;
    UINT size;
    IDirect3DVertexBuffer9* buffer;
    FreeRange* next;
    FreeRange* previous;
};

struct PoolBuffer
{
    IDirect3DVertexBuffer9* buffer;
    PoolBuffer* next;
};

struct Pool
{
    UINT stride;
    FreeRange* free;
    PoolBuffer* buffers;
    Pool* next;
};

struct Dynamic
{
    UINT size;
    bool inUse;
    IDirect3DVertexBuffer9* buffer;
    IDirect3DVertexBuffer9** owner; ///< the borrower's variable, null once given back
    Dynamic* next;
};

struct Slot
{
    IDirect3DVertexBuffer9* buffer;
    UINT size;
    UINT used;
};

struct State
{
    FreeList* pools;
    FreeList* ranges;
    FreeList* links;
    FreeList* dynamics;
    Pool* poolList;
    Dynamic* dynamicList;
    Slot slots[kNumSlots];
    int current;
};

State sVB;

IDirect3DDevice9* Device()
{
    return D3D9State().device;
}

bool HardwareTnL()
{
    return D3D9State().caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT;
}

void* Take(FreeList* list)
{
    Engine* engine = Engine::Current();
    return engine ? engine->freeListFunctions.take(list, kRecordHint) : FreeList::Alloc(list, kRecordHint);
}

void GiveBack(FreeList* list, void* entry)
{
    Engine* engine = Engine::Current();
    if (engine)
        engine->freeListFunctions.giveBack(list, entry);
    else
        FreeList::Free(list, entry);
}

Pool* FindPool(UINT stride)
{
    for (Pool* pool = sVB.poolList; pool; pool = pool->next)
        if (pool->stride == stride)
            return pool;
    return nullptr;
}

void LinkRange(Pool* pool, FreeRange* range)
{
    range->previous = nullptr;
    range->next = pool->free;
    if (pool->free)
        pool->free->previous = range;
    pool->free = range;
}

void UnlinkRange(Pool* pool, FreeRange* range)
{
    if (range->previous)
        range->previous->next = range->next;
    else
        pool->free = range->next;
    if (range->next)
        range->next->previous = range->previous;
}

UINT RoundUp(UINT value, UINT multiple)
{
    return (value + multiple - 1) / multiple * multiple;
}

bool CreateDynamicBuffer(UINT size, IDirect3DVertexBuffer9** buffer)
{
    D3DPOOL pool = HardwareTnL() ? D3DPOOL_DEFAULT : D3DPOOL_SYSTEMMEM;
    *buffer = nullptr;
    return Device() && SUCCEEDED(Device()->CreateVertexBuffer(size, kDynamicUsage, 0, pool, buffer, nullptr)) &&
           *buffer;
}

void EmptySlots()
{
    for (Slot& slot : sVB.slots)
    {
        D3D9DynamicVertexBuffer::Destroy(&slot.buffer);
        slot = Slot{};
    }
    sVB.current = 0;
}

int32_t OpenSlots()
{
    sVB.current = 0;
    int slots = HardwareTnL() ? kNumSlots : 1;
    for (int i = 0; i < slots; ++i)
    {
        Slot& slot = sVB.slots[i];
        slot.used = 0;
        slot.size = D3D9DynamicVertexBuffer::kRotatingSize;
        if (!D3D9DynamicVertexBuffer::Create(slot.size, &slot.buffer))
        {
            slot.size = 0;
            return 0;
        }
    }
    return 1;
}

void DestroyLists()
{
    for (FreeList** list : {&sVB.pools, &sVB.ranges, &sVB.links, &sVB.dynamics})
    {
        if (*list)
            FreeList::Destroy(*list);
        *list = nullptr;
    }
}

} // namespace

// ---- Stride pools ------------------------------------------------------------------------------------

int32_t D3D9VertexBuffer::Create(UINT stride, UINT size, IDirect3DVertexBuffer9** buffer, UINT* offset)
{
    *buffer = nullptr;
    *offset = 0;
    if (stride == 0 || size == 0 || !Device() || !sVB.ranges)
        return 0;
    Pool* pool = FindPool(stride);
    if (!pool)
    {
        pool = static_cast<Pool*>(Take(sVB.pools));
        if (!pool)
            return 0;
        *pool = {stride, nullptr, nullptr, sVB.poolList};
        sVB.poolList = pool;
    }
    FreeRange* range = pool->free;
    while (range && range->size < size)
        range = range->next;
    if (!range)
    {
        UINT bytes = stride * ((kPoolBufferSize + stride - 1) / stride);
        if (size > bytes)
            bytes = size;
        range = static_cast<FreeRange*>(Take(sVB.ranges));
        auto* link = static_cast<PoolBuffer*>(Take(sVB.links));
        IDirect3DVertexBuffer9* created = nullptr;
        if (!range || !link ||
            FAILED(Device()->CreateVertexBuffer(bytes, kPoolUsage, 0, D3DPOOL_MANAGED, &created, nullptr)) || !created)
        {
            if (range)
                GiveBack(sVB.ranges, range);
            if (link)
                GiveBack(sVB.links, link);
            return 0;
        }
        *range = {0, bytes, created, nullptr, nullptr};
        LinkRange(pool, range);
        *link = {created, pool->buffers};
        pool->buffers = link;
    }
    *buffer = range->buffer;
    *offset = range->offset;
    range->offset += size;
    range->size -= size;
    if (range->size == 0)
    {
        UnlinkRange(pool, range);
        GiveBack(sVB.ranges, range);
    }
    return 1;
}

void D3D9VertexBuffer::Destroy(UINT stride, UINT size, IDirect3DVertexBuffer9* buffer, UINT offset)
{
    Pool* pool = FindPool(stride);
    if (!pool || !buffer || size == 0)
        return;
    FreeRange* grown = nullptr;
    for (FreeRange* r = pool->free; r && !grown; r = r->next)
    {
        if (r->buffer != buffer)
            continue;
        if (r->offset + r->size == offset)
        {
            r->size += size;
            grown = r;
        }
        else if (offset + size == r->offset)
        {
            r->offset = offset;
            r->size += size;
            grown = r;
        }
    }
    if (!grown)
    {
        auto* range = static_cast<FreeRange*>(Take(sVB.ranges));
        if (!range)
            return;
        *range = {offset, size, buffer, nullptr, nullptr};
        LinkRange(pool, range);
        return;
    }
    // The grown range may now touch another free range of the buffer: join them until none does.
    for (bool joined = true; joined;)
    {
        joined = false;
        for (FreeRange* r = pool->free; r; r = r->next)
        {
            if (r == grown || r->buffer != buffer)
                continue;
            if (r->offset + r->size == grown->offset)
                grown->offset = r->offset;
            else if (grown->offset + grown->size != r->offset)
                continue;
            grown->size += r->size;
            UnlinkRange(pool, r);
            GiveBack(sVB.ranges, r);
            joined = true;
            break;
        }
    }
}

int32_t D3D9VertexBuffer::GetFreeRanges(UINT stride, D3D9FreeRange* out, int32_t max)
{
    Pool* pool = FindPool(stride);
    int32_t count = 0;
    for (FreeRange* r = pool ? pool->free : nullptr; r; r = r->next, ++count)
        if (count < max)
            out[count] = {r->buffer, r->offset, r->size};
    return count;
}

// ---- Lifetime ------------------------------------------------------------------------------------------

int32_t D3D9VertexBuffer::Open()
{
    sVB = State{};
    sVB.pools = FreeList::Create(sizeof(Pool), 16, 0, kRecordHint);
    sVB.ranges = FreeList::Create(sizeof(FreeRange), 100, 0, kRecordHint);
    sVB.links = FreeList::Create(sizeof(PoolBuffer), 100, 0, kRecordHint);
    sVB.dynamics = FreeList::Create(sizeof(Dynamic), 42, 0, kRecordHint);
    if (!sVB.pools || !sVB.ranges || !sVB.links || !sVB.dynamics)
    {
        DestroyLists();
        return 0;
    }
    return OpenSlots();
}

void D3D9VertexBuffer::Close()
{
    EmptySlots();
    for (Dynamic* d = sVB.dynamicList; d;)
    {
        Dynamic* next = d->next;
        if (d->buffer)
            d->buffer->Release();
        if (d->owner)
            *d->owner = nullptr;
        GiveBack(sVB.dynamics, d);
        d = next;
    }
    sVB.dynamicList = nullptr;
    for (Pool* pool = sVB.poolList; pool;)
    {
        Pool* next = pool->next;
        for (FreeRange* r = pool->free; r;)
        {
            FreeRange* following = r->next;
            GiveBack(sVB.ranges, r);
            r = following;
        }
        for (PoolBuffer* link = pool->buffers; link;)
        {
            PoolBuffer* following = link->next;
            link->buffer->Release();
            GiveBack(sVB.links, link);
            link = following;
        }
        GiveBack(sVB.pools, pool);
        pool = next;
    }
    sVB.poolList = nullptr;
    DestroyLists();
}

void D3D9VertexBuffer::Release()
{
    EmptySlots();
    if (!HardwareTnL())
        return;
    for (Dynamic* d = sVB.dynamicList; d; d = d->next)
    {
        if (d->buffer)
            d->buffer->Release();
        d->buffer = nullptr;
        if (d->owner)
            *d->owner = nullptr;
    }
}

int32_t D3D9VertexBuffer::Restore()
{
    if (HardwareTnL())
    {
        for (Dynamic* d = sVB.dynamicList; d; d = d->next)
        {
            if (d->buffer || d->size == 0)
                continue;
            if (!CreateDynamicBuffer(d->size, &d->buffer))
                return 0;
            if (d->inUse && d->owner)
                *d->owner = d->buffer;
        }
    }
    return OpenSlots();
}

void D3D9VertexBuffer::Advance()
{
    for (Slot& slot : sVB.slots)
        slot.used = 0;
    sVB.current = (sVB.current + 1) % kNumSlots;
}

// ---- Dynamic buffers ---------------------------------------------------------------------------------------

int32_t D3D9DynamicVertexBuffer::Create(UINT size, IDirect3DVertexBuffer9** owner)
{
    if (size == 0 || !owner || !sVB.dynamics)
        return 0;
    Dynamic* largest = nullptr;
    for (Dynamic* d = sVB.dynamicList; d; d = d->next)
    {
        if (d->inUse)
            continue;
        if (d->size == size && d->buffer)
        {
            d->inUse = true;
            d->owner = owner;
            *owner = d->buffer;
            return 1;
        }
        if (!largest || d->size > largest->size)
            largest = d;
    }
    Dynamic* record = largest;
    if (record)
    {
        // Its buffer goes now: the record must never again name a released buffer, even
        // when the new one cannot be made.
        if (record->buffer)
            record->buffer->Release();
        record->buffer = nullptr;
        record->size = 0;
    }
    else
    {
        record = static_cast<Dynamic*>(Take(sVB.dynamics));
        if (!record)
            return 0;
        *record = {0, false, nullptr, nullptr, sVB.dynamicList};
        sVB.dynamicList = record;
    }
    if (!CreateDynamicBuffer(size, &record->buffer))
        return 0;
    record->size = size;
    record->inUse = true;
    record->owner = owner;
    *owner = record->buffer;
    return 1;
}

void D3D9DynamicVertexBuffer::Destroy(IDirect3DVertexBuffer9** owner)
{
    if (!owner)
        return;
    // Found by the owner's variable, not by what it holds: while the device is lost the
    // variable is null, and the record must still forget it before the owner dies.
    for (Dynamic* d = sVB.dynamicList; d; d = d->next)
    {
        if (d->inUse && d->owner == owner)
        {
            d->inUse = false;
            d->owner = nullptr;
            break;
        }
    }
    *owner = nullptr;
}

int32_t D3D9DynamicVertexBuffer::Lock(UINT stride, UINT count, IDirect3DVertexBuffer9** buffer, void** data,
                                      UINT* baseVertex)
{
    *buffer = nullptr;
    *data = nullptr;
    *baseVertex = 0;
    if (stride == 0 || count == 0 || count > UINT32_MAX / stride || !sVB.dynamics)
        return 0;
    UINT request = stride * count;
    UINT offset = 0;
    if (HardwareTnL())
    {
        Slot& current = sVB.slots[sVB.current];
        offset = RoundUp(current.used, stride);
        if (uint64_t(offset) + request > current.size)
        {
            bool found = false;
            for (int i = 0; i < kNumSlots && !found; ++i)
            {
                if (i == sVB.current)
                    continue;
                UINT at = RoundUp(sVB.slots[i].used, stride);
                if (uint64_t(at) + request <= sVB.slots[i].size)
                {
                    sVB.current = i;
                    offset = at;
                    found = true;
                }
            }
            if (!found)
            {
                sVB.current = (sVB.current + 1) % kNumSlots;
                offset = 0;
            }
        }
    }
    Slot& slot = sVB.slots[sVB.current];
    if (request > slot.size)
    {
        Destroy(&slot.buffer);
        slot.size = 0;
        slot.used = 0;
        if (!Create(request, &slot.buffer))
            return 0;
        slot.size = request;
    }
    DWORD flags = offset == 0 ? kDiscardLock : kAppendLock;
    if (FAILED(slot.buffer->Lock(offset, request, data, flags)))
    {
        *data = nullptr;
        return 0;
    }
    slot.used = offset + request;
    *buffer = slot.buffer;
    *baseVertex = offset / stride;
    return 1;
}

int32_t D3D9DynamicVertexBuffer::Unlock(IDirect3DVertexBuffer9* buffer)
{
    return buffer && SUCCEEDED(buffer->Unlock()) ? 1 : 0;
}
