// Vertex and index buffers of our Direct3D 9 layer: creation, and locks with offsets, sizes and the DISCARD,
// NOOVERWRITE and READONLY rules, over a CPU copy and an OpenGL buffer object.
#include "d3d9objects_local.h"

#include <algorithm>

namespace d3d9
{
namespace
{

constexpr DWORD kBufferUsages = D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC | D3DUSAGE_DONOTCLIP | D3DUSAGE_POINTS |
                                D3DUSAGE_RTPATCHES | D3DUSAGE_NPATCHES | D3DUSAGE_SOFTWAREPROCESSING;

HRESULT checkBuffer(Device& device, UINT length, DWORD usage, D3DPOOL pool)
{
    if (length == 0 || (usage & ~kBufferUsages) || pool > D3DPOOL_SYSTEMMEM)
        return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED)
        return D3DERR_INVALIDCALL;
    return device.reserveMemory(pool, length);
}

void openStore(Device& device, BufferStore& store, UINT length, DWORD usage, D3DPOOL pool)
{
    store.mBytes.assign(length, 0);
    store.mSize = length;
    store.mUsage = usage;
    store.mPool = pool;
    // System-memory buffers stay on the CPU; drawing streams them.
    if (pool != D3DPOOL_SYSTEMMEM)
    {
        device.makeCurrent();
        store.mGlBuffer = glNewBuffer(length);
    }
}

} // namespace

// ---- Locks --------------------------------------------------------------------------------------------------------

HRESULT BufferStore::lock(Device* device, UINT offset, UINT size, void** data, DWORD flags)
{
    if (!data)
        return D3DERR_INVALIDCALL;
    *data = nullptr;
    HRESULT result;
    if (takeFault(d3d9test::Fault::Lock, &result))
        return result;
    if (offset > mSize)
        return D3DERR_INVALIDCALL;
    if (size == 0)
        size = mSize - offset;
    if (size > mSize - offset)
        return D3DERR_INVALIDCALL;
    bool dynamic = mUsage & D3DUSAGE_DYNAMIC;
    if ((flags & (D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE)) && !dynamic)
        return D3DERR_INVALIDCALL;
    if ((flags & D3DLOCK_DISCARD) && (flags & D3DLOCK_READONLY))
        return D3DERR_INVALIDCALL;

    if ((flags & D3DLOCK_DISCARD) && mLocks == 0)
    {
        // Fresh storage from two stores that take turns: the pointer handed out before stays untouched, and
        // neither a new buffer nor a clear is paid per discard. OpenGL's storage is orphaned at unlock.
        if (mSpare.size() != mBytes.size())
            mSpare.assign(mBytes.size(), 0);
        mBytes.swap(mSpare);
        mDiscard = true;
    }
    if (!(flags & D3DLOCK_READONLY))
    {
        mRanges = {};
        if (mDirtyBegin == mDirtyEnd)
        {
            mDirtyBegin = offset;
            mDirtyEnd = offset + size;
        }
        else
        {
            mDirtyBegin = std::min(mDirtyBegin, offset);
            mDirtyEnd = std::max(mDirtyEnd, offset + size);
        }
    }
    ++mLocks;
    *data = mBytes.data() + offset;
    return D3D_OK;
}

HRESULT BufferStore::unlock(Device* device)
{
    if (mLocks == 0)
        return D3DERR_INVALIDCALL;
    if (--mLocks > 0)
        return D3D_OK;
    if (mGlBuffer && device && (mDiscard || mDirtyBegin != mDirtyEnd))
    {
        device->makeCurrent();
        // After a discard the old OpenGL storage is orphaned, so draws still reading it keep their data.
        glBufferWrite(mGlBuffer, mDirtyBegin, mDirtyEnd - mDirtyBegin, mBytes.data() + mDirtyBegin, mDiscard, mSize);
    }
    mDirtyBegin = mDirtyEnd = 0;
    mDiscard = false;
    return D3D_OK;
}

void BufferStore::release()
{
    glDeleteBuffer(mGlBuffer);
    mGlBuffer = 0;
}

// ---- Vertex buffers -----------------------------------------------------------------------------------------------

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                                   void** sharedHandle)
{
    trace("CreateVertexBuffer", length, Hex{usage}, Hex{fvf}, pool);
    if (!buffer || sharedHandle)
        return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    HRESULT result;
    if (takeFault(d3d9test::Fault::CreateResource, &result))
        return result;
    result = checkBuffer(*this, length, usage, pool);
    if (FAILED(result))
        return result;
    auto* created = new VertexBuffer;
    created->mDevice = this;
    created->mPool = pool;
    created->mBytes = length;
    created->mBlocksReset = pool == D3DPOOL_DEFAULT;
    created->mFvf = fvf;
    openStore(*this, created->mStore, length, usage, pool);
    track(created);
    *buffer = created;
    return D3D_OK;
}

VertexBuffer::~VertexBuffer()
{
    if (mDevice)
    {
        mDevice->makeCurrent();
        mDevice->untrack(this);
        mStore.release();
        // OpenGL detaches a deleted buffer from the vertex input, and a new one may get its name.
        mDevice->mGl.stateDirty = true;
    }
}

HRESULT VertexBuffer::Lock(UINT offset, UINT size, void** data, DWORD flags)
{
    trace("VertexBuffer::Lock", static_cast<IDirect3DVertexBuffer9*>(this), offset, size, Hex{flags});
    return mStore.lock(mDevice, offset, size, data, flags);
}

HRESULT VertexBuffer::Unlock()
{
    trace("VertexBuffer::Unlock", static_cast<IDirect3DVertexBuffer9*>(this));
    return mStore.unlock(mDevice);
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc)
{
    trace("VertexBuffer::GetDesc", static_cast<IDirect3DVertexBuffer9*>(this));
    if (!desc)
        return D3DERR_INVALIDCALL;
    *desc = {D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, mStore.mUsage, mStore.mPool, mStore.mSize, mFvf};
    return D3D_OK;
}

// ---- Index buffers ------------------------------------------------------------------------------------------------

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9** buffer, void** sharedHandle)
{
    trace("CreateIndexBuffer", length, Hex{usage}, format, pool);
    if (!buffer || sharedHandle)
        return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    HRESULT result;
    if (takeFault(d3d9test::Fault::CreateResource, &result))
        return result;
    if (format != D3DFMT_INDEX16 && !(format == D3DFMT_INDEX32 && mCaps.MaxVertexIndex > 0xFFFF))
        return D3DERR_INVALIDCALL;
    result = checkBuffer(*this, length, usage, pool);
    if (FAILED(result))
        return result;
    auto* created = new IndexBuffer;
    created->mDevice = this;
    created->mPool = pool;
    created->mBytes = length;
    created->mBlocksReset = pool == D3DPOOL_DEFAULT;
    created->mFormat = format;
    openStore(*this, created->mStore, length, usage, pool);
    track(created);
    *buffer = created;
    return D3D_OK;
}

IndexBuffer::~IndexBuffer()
{
    if (mDevice)
    {
        mDevice->makeCurrent();
        mDevice->untrack(this);
        mStore.release();
        // OpenGL detaches a deleted buffer from the vertex input, and a new one may get its name.
        mDevice->mGl.stateDirty = true;
    }
}

HRESULT IndexBuffer::Lock(UINT offset, UINT size, void** data, DWORD flags)
{
    trace("IndexBuffer::Lock", static_cast<IDirect3DIndexBuffer9*>(this), offset, size, Hex{flags});
    return mStore.lock(mDevice, offset, size, data, flags);
}

HRESULT IndexBuffer::Unlock()
{
    trace("IndexBuffer::Unlock", static_cast<IDirect3DIndexBuffer9*>(this));
    return mStore.unlock(mDevice);
}

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* desc)
{
    trace("IndexBuffer::GetDesc", static_cast<IDirect3DIndexBuffer9*>(this));
    if (!desc)
        return D3DERR_INVALIDCALL;
    *desc = {mFormat, D3DRTYPE_INDEXBUFFER, mStore.mUsage, mStore.mPool, mStore.mSize};
    return D3D_OK;
}

} // namespace d3d9
