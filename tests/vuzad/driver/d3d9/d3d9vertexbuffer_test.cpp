// Tests of the driver's vertex memory: rotating-buffer appends and discards (call log), stride
// pools with coalescing ranges, borrowed dynamic buffers across failures and device resets,
// and the single rotating buffer of a device without hardware transform.
#include "d3d9driverfixture.h"
#include "d3d9vertexbuffer.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string>

namespace d3d9driver
{
namespace
{

using Strings = std::vector<std::string>;
using D3D9VertexBuffers = DriverTest;

struct Locked
{
    IDirect3DVertexBuffer9* buffer = nullptr;
    void* data = nullptr;
    UINT base = 0;
    std::string name; ///< the layer's identity of the buffer, taken while it lives
};

Locked Lock(UINT stride, UINT count)
{
    Locked l;
    EXPECT_EQ(D3D9DynamicVertexBuffer::Lock(stride, count, &l.buffer, &l.data, &l.base), 1);
    EXPECT_EQ(D3D9DynamicVertexBuffer::Unlock(l.buffer), 1);
    l.name = d3d9test::ObjectName(l.buffer);
    return l;
}

std::string LockCall(IDirect3DVertexBuffer9* buffer, UINT offset, UINT size, const char* flags)
{
    return d3d9test::ObjectName(buffer) + ", " + std::to_string(offset) + ", " + std::to_string(size) + ", " + flags;
}

d3d9test::AdapterConfig SoftwareAdapter()
{
    d3d9test::AdapterConfig adapter = Adapter();
    adapter.caps.DevCaps &= ~(D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE);
    return adapter;
}

TEST_F(D3D9VertexBuffers, RotatingBuffersAppendAndDiscard)
{
    Start();
    d3d9test::EnableCallLog(true);
    // The first lock of a frame starts its buffer with a discard; the next appends at the
    // next multiple of its own stride.
    Locked a = Lock(12, 9);
    Locked b = Lock(16, 1);
    EXPECT_EQ(a.base, 0u);
    EXPECT_EQ(b.base, 7u) << "108 bytes rounded up to 112";
    EXPECT_EQ(a.buffer, b.buffer);
    // A request that no longer fits moves on to the first buffer with room: an empty one is
    // discarded, one with room left is appended to.
    Locked c = Lock(16, 16380);
    Locked d = Lock(16, 1000);
    EXPECT_NE(c.buffer, a.buffer);
    EXPECT_EQ(d.buffer, a.buffer);
    EXPECT_EQ(d.base, 8u);
    EXPECT_EQ(d3d9test::CallArgs("VertexBuffer::Lock"),
              (Strings{LockCall(a.buffer, 0, 108, "0x2800"), LockCall(a.buffer, 112, 16, "0x1800"),
                       LockCall(c.buffer, 0, 262080, "0x2800"), LockCall(a.buffer, 128, 16000, "0x1800")}));

    // After a present the next buffer is current and starts with a discard.
    Camera* camera = MakeCamera();
    ASSERT_EQ(Camera::ShowRaster(camera, nullptr, 0), camera);
    DestroyCamera(camera);
    d3d9test::ClearCallLog();
    Locked e = Lock(16, 4);
    EXPECT_EQ(e.base, 0u);
    EXPECT_NE(e.name, a.name) << "the present moved on from the buffer drawn last";
    EXPECT_EQ(d3d9test::CallArgs("VertexBuffer::Lock"), (Strings{LockCall(e.buffer, 0, 64, "0x2800")}));

    // A request larger than a rotating buffer grows the current one to exactly its size.
    d3d9test::ClearCallLog();
    Locked big = Lock(4, 70000);
    EXPECT_EQ(d3d9test::CallArgs("CreateVertexBuffer"), (Strings{"280000, 0x208, 0x0, 0"}));
    EXPECT_EQ(d3d9test::CallArgs("VertexBuffer::Lock"), (Strings{LockCall(big.buffer, 0, 280000, "0x2800")}));

    IDirect3DVertexBuffer9* none = nullptr;
    void* data = nullptr;
    UINT base = 0;
    EXPECT_EQ(D3D9DynamicVertexBuffer::Lock(0, 4, &none, &data, &base), 0);
    EXPECT_EQ(D3D9DynamicVertexBuffer::Lock(0x10000, 0x10000, &none, &data, &base), 0) << "the size overflows";
}

TEST_F(D3D9VertexBuffers, WithoutHardwareTransformOneBufferGrowsAsNeeded)
{
    d3d9test::SetAdapters({SoftwareAdapter()});
    d3d9test::EnableCallLog(true);
    Start({SoftwareAdapter()});
    Strings created = d3d9test::CallArgs("CreateVertexBuffer");
    EXPECT_EQ(std::count(created.begin(), created.end(), "262144, 0x208, 0x0, 2"), 1) << "one system-memory buffer";
    d3d9test::ClearCallLog();
    Locked a = Lock(16, 10);
    Locked b = Lock(16, 10);
    EXPECT_EQ(b.base, 0u) << "every lock starts its buffer again";
    EXPECT_EQ(a.buffer, b.buffer);
    D3D9VertexBuffer::Advance();
    Locked c = Lock(16, 10);
    Locked d = Lock(16, 5);
    Locked e = Lock(16, 20);
    EXPECT_EQ(c.name, d.name);
    EXPECT_NE(d.name, e.name) << "a new buffer, whatever address it gets";
    EXPECT_EQ(d3d9test::CallArgs("CreateVertexBuffer"), (Strings{"160, 0x208, 0x0, 2", "320, 0x208, 0x0, 2"}))
        << "made on its first lock at the request's size, grown only for a larger one";
}

TEST_F(D3D9VertexBuffers, PoolRangesCoalesceInAnyOrderOfReturn)
{
    Start();
    std::array<int, 3> order = {0, 1, 2};
    do
    {
        SCOPED_TRACE(std::to_string(order[0]) + std::to_string(order[1]) + std::to_string(order[2]));
        IDirect3DVertexBuffer9* buffers[3] = {};
        UINT offsets[3] = {};
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(D3D9VertexBuffer::Create(24, 240, &buffers[i], &offsets[i]), 1);
        EXPECT_EQ(buffers[0], buffers[1]);
        EXPECT_EQ(offsets[1], offsets[0] + 240);
        for (int i : order)
            D3D9VertexBuffer::Destroy(24, 240, buffers[i], offsets[i]);
        D3D9FreeRange ranges[4];
        ASSERT_EQ(D3D9VertexBuffer::GetFreeRanges(24, ranges, 4), 1);
        EXPECT_EQ(ranges[0].offset, 0u);
        EXPECT_EQ(ranges[0].size, 131088u) << "24 x ceil(131072 / 24): the whole buffer again";
    } while (std::next_permutation(order.begin(), order.end()));

    // A range in the middle of two others is joined with both.
    IDirect3DVertexBuffer9* b[3];
    UINT o[3];
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(D3D9VertexBuffer::Create(24, 48, &b[i], &o[i]), 1);
    D3D9VertexBuffer::Destroy(24, 48, b[0], o[0]);
    D3D9FreeRange ranges[4];
    EXPECT_EQ(D3D9VertexBuffer::GetFreeRanges(24, ranges, 4), 2);
    D3D9VertexBuffer::Destroy(24, 48, b[2], o[2]);
    EXPECT_EQ(D3D9VertexBuffer::GetFreeRanges(24, ranges, 4), 2) << "the last one joins the rest of the buffer";
    D3D9VertexBuffer::Destroy(24, 48, b[1], o[1]);
    EXPECT_EQ(D3D9VertexBuffer::GetFreeRanges(24, ranges, 4), 1);

    // A request larger than the default buffer gets a managed buffer of exactly its size.
    d3d9test::EnableCallLog(true);
    IDirect3DVertexBuffer9* large = nullptr;
    UINT offset = 1;
    ASSERT_EQ(D3D9VertexBuffer::Create(16, 200000, &large, &offset), 1);
    EXPECT_EQ(offset, 0u);
    EXPECT_EQ(d3d9test::CallArgs("CreateVertexBuffer"), (Strings{"200000, 0x8, 0x0, 1"}));
    EXPECT_EQ(D3D9VertexBuffer::GetFreeRanges(16, ranges, 4), 0);

    d3d9test::FailNext(d3d9test::Fault::CreateResource, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(D3D9VertexBuffer::Create(16, 200000, &large, &offset), 0);
    EXPECT_EQ(large, nullptr);
    EXPECT_EQ(D3D9VertexBuffer::GetFreeRanges(16, ranges, 4), 0) << "a failed creation changes nothing";
    EXPECT_EQ(D3D9VertexBuffer::Create(16, 0, &large, &offset), 0);
}

TEST_F(D3D9VertexBuffers, DynamicBuffersAreReusedAndNeverHandOutAReleasedOne)
{
    Start();
    IDirect3DVertexBuffer9* a = nullptr;
    ASSERT_EQ(D3D9DynamicVertexBuffer::Create(1000, &a), 1);
    D3D9DynamicVertexBuffer::Destroy(&a);
    EXPECT_EQ(a, nullptr);
    d3d9test::EnableCallLog(true);
    IDirect3DVertexBuffer9* again = nullptr;
    ASSERT_EQ(D3D9DynamicVertexBuffer::Create(1000, &again), 1);
    EXPECT_EQ(d3d9test::CountCalls("CreateVertexBuffer"), 0u) << "an unused buffer of the same size is handed out again";
    D3D9DynamicVertexBuffer::Destroy(&again);

    // The unused 1000-byte record is recycled for 2000 bytes and its creation fails: a later
    // request for 1000 bytes must get a new buffer, not the released one.
    d3d9test::FailNext(d3d9test::Fault::CreateResource, D3DERR_OUTOFVIDEOMEMORY);
    IDirect3DVertexBuffer9* failed = nullptr;
    EXPECT_EQ(D3D9DynamicVertexBuffer::Create(2000, &failed), 0);
    IDirect3DVertexBuffer9* fresh = nullptr;
    ASSERT_EQ(D3D9DynamicVertexBuffer::Create(1000, &fresh), 1);
    EXPECT_EQ(d3d9test::CountCalls("CreateVertexBuffer"), 2u);
    void* data = nullptr;
    EXPECT_EQ(fresh->Lock(0, 1000, &data, D3DLOCK_DISCARD), D3D_OK);
    fresh->Unlock();

    // Default-pool buffers go before a Reset and come back after it into their owners.
    const UINT before = d3d9test::DefaultPoolResources(Device());
    D3D9VertexBuffer::Release();
    EXPECT_EQ(fresh, nullptr) << "the owner's variable is cleared";
    EXPECT_LT(d3d9test::DefaultPoolResources(Device()), before);
    ASSERT_EQ(D3D9VertexBuffer::Restore(), 1);
    EXPECT_NE(fresh, nullptr);
    EXPECT_EQ(d3d9test::DefaultPoolResources(Device()), before);
    EXPECT_EQ(Lock(16, 4).base, 0u);
}

TEST_F(D3D9VertexBuffers, OwnerDestroyedWhileTheDeviceIsLostIsNeverWrittenAgain)
{
    Start();
    // Owners live in their own blocks so the sanitizer sees a write into a dead one.
    auto kept = std::make_unique<IDirect3DVertexBuffer9*>(nullptr);
    auto dying = std::make_unique<IDirect3DVertexBuffer9*>(nullptr);
    ASSERT_EQ(D3D9DynamicVertexBuffer::Create(1000, kept.get()), 1);
    ASSERT_EQ(D3D9DynamicVertexBuffer::Create(2000, dying.get()), 1);

    D3D9VertexBuffer::Release();
    ASSERT_EQ(*dying, nullptr);
    D3D9DynamicVertexBuffer::Destroy(dying.get());
    dying.reset();
    ASSERT_EQ(D3D9VertexBuffer::Restore(), 1);
    EXPECT_NE(*kept, nullptr) << "a live owner gets its new buffer";

    // The given-back record is free again: a request of its size reuses it without a creation.
    d3d9test::EnableCallLog(true);
    IDirect3DVertexBuffer9* next = nullptr;
    ASSERT_EQ(D3D9DynamicVertexBuffer::Create(2000, &next), 1);
    EXPECT_EQ(d3d9test::CountCalls("CreateVertexBuffer"), 0u);
    D3D9DynamicVertexBuffer::Destroy(&next);

    // The same through the device's loss cycle: the first Reset fails after the release, the owner dies while
    // the device is lost, and the Reset that succeeds restores into live owners only.
    dying = std::make_unique<IDirect3DVertexBuffer9*>(nullptr);
    ASSERT_EQ(D3D9DynamicVertexBuffer::Create(3000, dying.get()), 1);
    d3d9test::LoseDevice(Device());
    d3d9test::MakeDeviceResettable(Device());
    d3d9test::FailNext(d3d9test::Fault::Reset, D3DERR_DEVICELOST);
    EXPECT_EQ(D3D9Device::TestAndReset(), 0);
    EXPECT_EQ(*dying, nullptr) << "released before the Reset";
    D3D9DynamicVertexBuffer::Destroy(dying.get());
    dying.reset();
    EXPECT_EQ(D3D9Device::TestAndReset(), 1);
    EXPECT_NE(*kept, nullptr);
    D3D9DynamicVertexBuffer::Destroy(kept.get());
}

} // namespace
} // namespace d3d9driver
