// Buffers of our D3DX 9 layer.
#include "d3dx9_local.h"

#include <cstring>
#include <new>

namespace d3dx9
{
namespace
{

class Buffer final : public ID3DXBuffer
{
public:
    explicit Buffer(DWORD size) : mBytes(new (std::nothrow) unsigned char[size ? size : 1]()), mSize(size) {}
    ~Buffer() override { delete[] mBytes; }

    bool Valid() const { return mBytes != nullptr; }
    ULONG AddRef() override { return ++mReferences; }
    ULONG Release() override
    {
        ULONG left = --mReferences;
        if (left == 0)
            delete this;
        return left;
    }
    void* GetBufferPointer() override { return mBytes; }
    DWORD GetBufferSize() override { return mSize; }

private:
    unsigned char* mBytes;
    DWORD mSize;
    ULONG mReferences = 1;
};

} // namespace

} // namespace d3dx9

HRESULT D3DXCreateBuffer(DWORD size, ID3DXBuffer** out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = nullptr;
    auto* buffer = new (std::nothrow) d3dx9::Buffer(size);
    if (!buffer)
        return E_OUTOFMEMORY;
    if (!buffer->Valid())
    {
        buffer->Release();
        return E_OUTOFMEMORY;
    }
    *out = buffer;
    return D3D_OK;
}
