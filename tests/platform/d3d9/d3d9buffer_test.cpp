// Tests of vertex and index buffers: bounded locks, DISCARD, NOOVERWRITE, READONLY, nesting and pools.
#include "d3d9test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{

using namespace d3d9support;

class BufferTest : public D3D9Test
{
protected:
    IDirect3DVertexBuffer9* Buffer(UINT length, DWORD usage, D3DPOOL pool)
    {
        IDirect3DVertexBuffer9* buffer = nullptr;
        EXPECT_EQ(mDevice->CreateVertexBuffer(length, usage, 0, pool, &buffer, nullptr), D3D_OK);
        return buffer;
    }

    void Write(IDirect3DVertexBuffer9* buffer, UINT offset, UINT size, BYTE value, DWORD flags)
    {
        void* data = nullptr;
        ASSERT_EQ(buffer->Lock(offset, size, &data, flags), D3D_OK);
        std::fill_n(static_cast<BYTE*>(data), size, value);
        ASSERT_EQ(buffer->Unlock(), D3D_OK);
    }

    std::vector<BYTE> Gl(IDirect3DResource9* buffer)
    {
        std::vector<BYTE> bytes;
        EXPECT_TRUE(d3d9test::ReadBuffer(buffer, bytes));
        return bytes;
    }
};

TEST_F(BufferTest, LocksAreBoundedByTheBuffer)
{
    OpenDevice();
    IDirect3DVertexBuffer9* buffer = Buffer(64, D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED);
    void* data = nullptr;
    EXPECT_EQ(buffer->Lock(60, 8, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer->Lock(65, 0, &data, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(buffer->Lock(16, 0, &data, 0), D3D_OK) << "size 0 runs to the end";
    std::fill_n(static_cast<BYTE*>(data), 48, BYTE(7));
    ASSERT_EQ(buffer->Unlock(), D3D_OK);
    EXPECT_EQ(buffer->Unlock(), D3DERR_INVALIDCALL);
    std::vector<BYTE> bytes = Gl(buffer);
    EXPECT_EQ(bytes[15], 0);
    EXPECT_EQ(bytes[16], 7);
    EXPECT_EQ(bytes[63], 7);
    buffer->Release();
}

TEST_F(BufferTest, DiscardHandsOutFreshStorage)
{
    OpenDevice();
    IDirect3DVertexBuffer9* buffer = Buffer(64, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT);
    Write(buffer, 0, 64, 0xAA, D3DLOCK_DISCARD);
    void* before = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &before, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK), D3D_OK);
    buffer->Unlock();

    void* data = nullptr;
    ASSERT_EQ(buffer->Lock(0, 16, &data, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK), D3D_OK);
    EXPECT_NE(data, before);
    EXPECT_NE(static_cast<BYTE*>(data)[0], 0xAA) << "old contents are gone";
    std::fill_n(static_cast<BYTE*>(data), 16, BYTE(0x55));
    ASSERT_EQ(buffer->Unlock(), D3D_OK);
    std::vector<BYTE> bytes = Gl(buffer);
    EXPECT_EQ(bytes[0], 0x55);
    EXPECT_EQ(bytes[15], 0x55);
    buffer->Release();
}

TEST_F(BufferTest, NoOverwriteKeepsTheRest)
{
    OpenDevice();
    IDirect3DVertexBuffer9* buffer = Buffer(64, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT);
    Write(buffer, 0, 32, 0x11, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK);
    Write(buffer, 32, 32, 0x22, D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK);
    std::vector<BYTE> bytes = Gl(buffer);
    EXPECT_EQ(bytes[0], 0x11);
    EXPECT_EQ(bytes[31], 0x11);
    EXPECT_EQ(bytes[32], 0x22);
    EXPECT_EQ(bytes[63], 0x22);
    buffer->Release();
}

TEST_F(BufferTest, DiscardAndNoOverwriteNeedADynamicBuffer)
{
    OpenDevice();
    IDirect3DVertexBuffer9* buffer = Buffer(64, D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED);
    void* data = nullptr;
    EXPECT_EQ(buffer->Lock(0, 0, &data, D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer->Lock(0, 0, &data, D3DLOCK_NOOVERWRITE), D3DERR_INVALIDCALL);
    IDirect3DVertexBuffer9* managedDynamic = nullptr;
    EXPECT_EQ(mDevice->CreateVertexBuffer(64, D3DUSAGE_DYNAMIC, 0, D3DPOOL_MANAGED, &managedDynamic, nullptr),
              D3DERR_INVALIDCALL);
    buffer->Release();
}

TEST_F(BufferTest, ReadOnlyLocksSendNothingAndLocksNest)
{
    OpenDevice();
    IDirect3DVertexBuffer9* buffer = Buffer(16, 0, D3DPOOL_MANAGED);
    Write(buffer, 0, 16, 1, 0);
    void* data = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &data, D3DLOCK_READONLY), D3D_OK);
    static_cast<BYTE*>(data)[0] = 9; // a caller breaking its promise is not uploaded
    ASSERT_EQ(buffer->Unlock(), D3D_OK);
    EXPECT_EQ(Gl(buffer)[0], 1);

    void *first = nullptr, *second = nullptr;
    ASSERT_EQ(buffer->Lock(0, 4, &first, 0), D3D_OK);
    ASSERT_EQ(buffer->Lock(8, 4, &second, 0), D3D_OK);
    static_cast<BYTE*>(second)[0] = 5;
    ASSERT_EQ(buffer->Unlock(), D3D_OK);
    EXPECT_EQ(Gl(buffer)[8], 1) << "sent at the last unlock";
    ASSERT_EQ(buffer->Unlock(), D3D_OK);
    EXPECT_EQ(Gl(buffer)[8], 5);
    buffer->Release();
}

TEST_F(BufferTest, IndexBuffersAndPools)
{
    d3d9test::AdapterConfig adapter = TestAdapter();
    adapter.caps.MaxVertexIndex = 0xFFFF;
    OpenDevice(Windowed(), {adapter});
    IDirect3DIndexBuffer9 *indices = nullptr, *wide = nullptr, *dynamic = nullptr;
    ASSERT_EQ(mDevice->CreateIndexBuffer(20000, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indices, nullptr),
              D3D_OK);
    EXPECT_EQ(mDevice->CreateIndexBuffer(16, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, &wide, nullptr), D3DERR_INVALIDCALL)
        << "32-bit indices need MaxVertexIndex above 0xFFFF";
    D3DINDEXBUFFER_DESC desc;
    ASSERT_EQ(indices->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_INDEX16);
    EXPECT_EQ(desc.Size, 20000u);
    void* data = nullptr;
    ASSERT_EQ(indices->Lock(0, 0, &data, 0), D3D_OK);
    static_cast<WORD*>(data)[9999] = 0xBEEF;
    ASSERT_EQ(indices->Unlock(), D3D_OK);
    std::vector<BYTE> bytes = Gl(indices);
    EXPECT_EQ(bytes[19998] | (bytes[19999] << 8), 0xBEEF);

    IDirect3DVertexBuffer9* system = Buffer(32, D3DUSAGE_DYNAMIC, D3DPOOL_SYSTEMMEM);
    std::vector<BYTE> none;
    EXPECT_FALSE(d3d9test::ReadBuffer(system, none)) << "system memory has no OpenGL buffer";
    EXPECT_EQ(d3d9test::DefaultPoolResources(mDevice), 0u);
    ASSERT_EQ(mDevice->CreateIndexBuffer(131070, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC, D3DFMT_INDEX16, D3DPOOL_DEFAULT,
                                         &dynamic, nullptr),
              D3D_OK);
    EXPECT_EQ(d3d9test::DefaultPoolResources(mDevice), 1u);
    dynamic->Release();
    system->Release();
    indices->Release();
}

} // namespace
