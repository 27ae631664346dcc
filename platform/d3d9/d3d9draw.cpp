// Drawing calls of our Direct3D 9 layer. They check their arguments and are recorded in the call log; the
// rasterisation itself (vertex fetch, generated GLSL for the fixed-function state and shaders) is not built yet,
// so they answer E_NOTIMPL rather than pretend to have drawn.
#include "d3d9objects_local.h"

namespace d3d9
{
namespace
{

bool validPrimitive(D3DPRIMITIVETYPE type)
{
    return type >= D3DPT_POINTLIST && type <= D3DPT_TRIANGLEFAN;
}

} // namespace

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount)
{
    trace("DrawPrimitive", type, startVertex, primitiveCount);
    if (!validPrimitive(type) || primitiveCount == 0 || primitiveCount > mCaps.MaxPrimitiveCount)
        return D3DERR_INVALIDCALL;
    return E_NOTIMPL;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT primitiveCount)
{
    trace("DrawIndexedPrimitive", type, baseVertex, minIndex, numVertices, startIndex, primitiveCount);
    if (!validPrimitive(type) || primitiveCount == 0 || !mIndices)
        return D3DERR_INVALIDCALL;
    return E_NOTIMPL;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride)
{
    trace("DrawPrimitiveUP", type, primitiveCount, stride);
    if (!validPrimitive(type) || primitiveCount == 0 || !vertices || stride == 0)
        return D3DERR_INVALIDCALL;
    return E_NOTIMPL;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT primitiveCount,
                                       const void* indices, D3DFORMAT indexFormat, const void* vertices, UINT stride)
{
    trace("DrawIndexedPrimitiveUP", type, minIndex, numVertices, primitiveCount, indexFormat, stride);
    if (!validPrimitive(type) || primitiveCount == 0 || !indices || !vertices || stride == 0 ||
        (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    return E_NOTIMPL;
}

} // namespace d3d9
