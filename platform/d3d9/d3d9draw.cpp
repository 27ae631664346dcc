// Drawing calls of our Direct3D 9 layer: argument checks, where each stream's vertices and the indices come
// from (OpenGL buffers, or system memory and caller data streamed through the ring), range checks that keep a
// draw inside the caller's data, then the pipeline.
#include "d3d9pipeline_local.h"

#include <algorithm>
#include <bit>

namespace d3d9
{
namespace
{

bool validPrimitive(D3DPRIMITIVETYPE type)
{
    return type >= D3DPT_POINTLIST && type <= D3DPT_TRIANGLEFAN;
}

/// Vertices (or indices) a primitive count takes.
uint64_t verticesFor(D3DPRIMITIVETYPE type, UINT primitives)
{
    switch (type)
    {
    case D3DPT_POINTLIST:
        return primitives;
    case D3DPT_LINELIST:
        return uint64_t(primitives) * 2;
    case D3DPT_LINESTRIP:
        return uint64_t(primitives) + 1;
    case D3DPT_TRIANGLELIST:
        return uint64_t(primitives) * 3;
    default:
        return uint64_t(primitives) + 2;
    }
}

/// Bytes one vertex of a stream takes up to its last element's end.
uint64_t streamExtent(const VertexLayout& layout, UINT stream)
{
    return layout.streamExtent[stream];
}

/// Bytes `count` vertices of `stride` take when the last one is read only up to `extent`.
uint64_t spanBytes(uint64_t count, UINT stride, uint64_t extent)
{
    return (count - 1) * stride + extent;
}

/// Smallest and largest of `count` (> 0) indices.
void scanIndices(const BYTE* indices, bool wide, uint64_t count, uint32_t& smallest, uint32_t& largest)
{
    smallest = UINT32_MAX;
    largest = 0;
    if (wide)
    {
        const auto* p = reinterpret_cast<const uint32_t*>(indices);
        for (uint64_t i = 0; i < count; ++i)
        {
            smallest = std::min(smallest, p[i]);
            largest = std::max(largest, p[i]);
        }
    }
    else
    {
        const auto* p = reinterpret_cast<const uint16_t*>(indices);
        for (uint64_t i = 0; i < count; ++i)
        {
            smallest = std::min<uint32_t>(smallest, p[i]);
            largest = std::max<uint32_t>(largest, p[i]);
        }
    }
}

/// Every index of the range lies in [low, high).
bool indicesWithin(const BYTE* indices, bool wide, uint64_t count, uint64_t low, uint64_t high)
{
    if (count == 0)
        return true;
    uint32_t smallest, largest;
    scanIndices(indices, wide, count, smallest, largest);
    return smallest >= low && largest < high;
}

/// As indicesWithin for `count` indices of a buffer from `start`; a range drawn before and not written since is
/// not read again.
bool bufferIndicesWithin(BufferStore& store, bool wide, uint64_t start, uint64_t count, uint64_t low,
                         uint64_t high)
{
    if (count == 0)
        return true;
    // The range drawn last from this buffer is tried first: a buffer is mostly drawn by one range at a time.
    const BufferStore::IndexRange* hit = &store.mRanges[store.mRangeLast];
    if (hit->count != count || hit->start != start)
    {
        hit = nullptr;
        for (UINT i = 0; i < UINT(store.mRanges.size()); ++i)
            if (store.mRanges[i].count == count && store.mRanges[i].start == start)
            {
                hit = &store.mRanges[i];
                store.mRangeLast = uint8_t(i);
                break;
            }
    }
    if (!hit)
    {
        BufferStore::IndexRange& range = store.mRanges[store.mRangeNext];
        store.mRangeLast = store.mRangeNext;
        store.mRangeNext = uint8_t((store.mRangeNext + 1) % store.mRanges.size());
        scanIndices(store.mBytes.data() + start * (wide ? 4 : 2), wide, count, range.smallest, range.largest);
        range.start = uint32_t(start);
        range.count = uint32_t(count);
        hit = &range;
    }
    return hit->smallest >= low && hit->largest < high;
}

/// Common checks of every draw: the primitive, its count and the vertex layout.
HRESULT prepare(Device& device, D3DPRIMITIVETYPE type, UINT primitiveCount, const VertexLayout** layout)
{
    if (!validPrimitive(type) || primitiveCount == 0 || primitiveCount > device.mCaps.MaxPrimitiveCount)
        return D3DERR_INVALIDCALL;
    device.makeCurrent();
    *layout = device.mPipeline->currentLayout();
    if (!*layout)
        return D3DERR_INVALIDCALL;
    return D3D_OK;
}

/// Fills the sources of the bound streams for vertices [first, first + count); INVALIDCALL when a stream is
/// missing or too short.
/// `extra` ring bytes are reserved beside the streamed vertices (system-memory indices).
/// The first vertex goes into each stream's base offset, not into a base vertex of the draw: Mesa's software
/// rasteriser reads a buffer from the attribute's offset up to the highest vertex drawn, so base vertices deep
/// into a shared vertex buffer made a frame of world sectors fourteen times slower than moving the offsets.
HRESULT bindStreams(Device& device, const VertexLayout& layout, uint64_t first, uint64_t count, uint64_t extra,
                    DrawRequest& request)
{
    // Only the streams the layout reads are looked at: most draws read one of the sixteen.
    uint64_t streamed = extra;
    for (uint32_t mask = layout.streamMask; mask; mask &= mask - 1)
    {
        const UINT s = UINT(std::countr_zero(mask));
        const StreamBinding& binding = device.mStreams[s];
        if (!binding.buffer)
            return D3DERR_INVALIDCALL;
        const BufferStore& store = binding.buffer->mStore;
        uint64_t start = binding.offset + first * binding.stride;
        uint64_t bytes = spanBytes(count, binding.stride, streamExtent(layout, s));
        if (start + bytes > store.mSize)
            return D3DERR_INVALIDCALL;
        StreamSource& source = request.streams[s];
        source.stride = binding.stride;
        source.glBuffer = store.mGlBuffer;
        source.base = start;
        if (!store.mGlBuffer)
            streamed += bytes;
    }
    if (device.mLoss != Loss::Operational || streamed == 0)
        return D3D_OK;
    // Streams in system memory go through the ring once every stream has been checked.
    device.mPipeline->reserve(streamed);
    for (uint32_t mask = layout.streamMask; mask; mask &= mask - 1)
    {
        const UINT s = UINT(std::countr_zero(mask));
        StreamSource& source = request.streams[s];
        if (source.glBuffer)
            continue;
        const BufferStore& store = device.mStreams[s].buffer->mStore;
        uint64_t bytes = spanBytes(count, source.stride, streamExtent(layout, s));
        source.base = device.mPipeline->stream(store.mBytes.data() + source.base, size_t(bytes));
    }
    return D3D_OK;
}

/// The targets drawn into now hold newer contents than their CPU copies.
void noteDrawn(Device& device)
{
    for (Surface* target : device.mRenderTargets)
        if (target)
            target->noteGlWrite();
    if (device.mDepthStencil && device.mRenderStates[D3DRS_ZWRITEENABLE])
        device.mDepthStencil->noteGlWrite();
}

HRESULT finish(Device& device, const VertexLayout& layout, const DrawRequest& request)
{
    if (!device.mPipeline->draw(layout, request))
        return D3DERR_DRIVERINTERNALERROR;
    noteDrawn(device);
    return D3D_OK;
}

/// Stream 0 of a draw from caller memory: its vertices [first, first + count) go through the ring.
HRESULT streamUserVertices(Device& device, const VertexLayout& layout, const void* vertices, UINT stride,
                           uint64_t first, uint64_t count, uint64_t extra, DrawRequest& request)
{
    if (layout.streamMask != 1)
        return D3DERR_INVALIDCALL;
    uint64_t bytes = spanBytes(count, stride, streamExtent(layout, 0));
    device.mPipeline->reserve(bytes + extra);
    request.streams[0].glBuffer = 0;
    request.streams[0].stride = stride;
    request.streams[0].base =
        device.mPipeline->stream(static_cast<const BYTE*>(vertices) + first * stride, size_t(bytes));
    return D3D_OK;
}

/// Caller-memory draws leave stream 0 (and the indices) unbound, as the platform does.
void forgetUserBindings(Device& device, bool indices)
{
    StreamBinding& stream = device.mStreams[0];
    if (stream.buffer)
        stream.buffer->release();
    stream = StreamBinding{};
    if (indices && device.mIndices)
    {
        device.mIndices->release();
        device.mIndices = nullptr;
    }
    device.mDirty |= DirtyStreams | DirtyIndices;
}

} // namespace

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount)
{
    trace("DrawPrimitive", type, startVertex, primitiveCount);
    const VertexLayout* layout = nullptr;
    HRESULT result = prepare(*this, type, primitiveCount, &layout);
    if (FAILED(result))
        return result;
    DrawRequest request;
    request.type = type;
    uint64_t count = verticesFor(type, primitiveCount);
    request.vertexCount = UINT(count);
    result = bindStreams(*this, *layout, startVertex, count, 0, request);
    if (FAILED(result))
        return result;
    // A lost device takes drawing calls and does nothing with them.
    if (mLoss != Loss::Operational)
        return D3D_OK;
    return finish(*this, *layout, request);
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                     UINT startIndex, UINT primitiveCount)
{
    trace("DrawIndexedPrimitive", type, baseVertex, minIndex, numVertices, startIndex, primitiveCount);
    // OpenGL takes the negated minimum index as a signed base vertex.
    if (!mIndices || numVertices == 0 || minIndex > UINT(INT32_MAX))
        return D3DERR_INVALIDCALL;
    const VertexLayout* layout = nullptr;
    HRESULT result = prepare(*this, type, primitiveCount, &layout);
    if (FAILED(result))
        return result;
    int64_t first = int64_t(baseVertex) + minIndex;
    if (first < 0)
        return D3DERR_INVALIDCALL;
    bool wide = mIndices->mFormat == D3DFMT_INDEX32;
    UINT indexBytes = wide ? 4 : 2;
    uint64_t count = verticesFor(type, primitiveCount);
    BufferStore& indices = mIndices->mStore;
    if ((uint64_t(startIndex) + count) * indexBytes > indices.mSize)
        return D3DERR_INVALIDCALL;
    // Every index must stay in the vertex range the caller named: that range is all the streams are checked for.
    const BYTE* indexData = indices.mBytes.data() + uint64_t(startIndex) * indexBytes;
    if (!bufferIndicesWithin(indices, wide, startIndex, count, minIndex, uint64_t(minIndex) + numVertices))
        return D3DERR_INVALIDCALL;

    DrawRequest request;
    request.type = type;
    request.vertexCount = UINT(count);
    request.indexed = true;
    request.lowest = minIndex;
    request.highest = UINT(std::min<uint64_t>(uint64_t(minIndex) + numVertices - 1, UINT32_MAX));
    request.index32 = wide;
    request.baseVertex = -int(minIndex);
    result = bindStreams(*this, *layout, uint64_t(first), numVertices,
                         indices.mGlBuffer ? 0 : count * indexBytes, request);
    if (FAILED(result))
        return result;
    if (mLoss != Loss::Operational)
        return D3D_OK;
    if (indices.mGlBuffer)
    {
        request.indexBuffer = indices.mGlBuffer;
        request.indexOffset = uint64_t(startIndex) * indexBytes;
    }
    else
    {
        request.indexBuffer = mPipeline->ringBuffer();
        request.indexOffset = mPipeline->stream(indexData, size_t(count * indexBytes));
    }
    return finish(*this, *layout, request);
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride)
{
    trace("DrawPrimitiveUP", type, primitiveCount, stride);
    if (!vertices || stride == 0)
        return D3DERR_INVALIDCALL;
    const VertexLayout* layout = nullptr;
    HRESULT result = prepare(*this, type, primitiveCount, &layout);
    if (FAILED(result))
        return result;
    DrawRequest request;
    request.type = type;
    uint64_t count = verticesFor(type, primitiveCount);
    request.vertexCount = UINT(count);
    if (mLoss == Loss::Operational)
    {
        result = streamUserVertices(*this, *layout, vertices, stride, 0, count, 0, request);
        if (SUCCEEDED(result))
            result = finish(*this, *layout, request);
    }
    forgetUserBindings(*this, false);
    return result;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT primitiveCount,
                                       const void* indices, D3DFORMAT indexFormat, const void* vertices, UINT stride)
{
    trace("DrawIndexedPrimitiveUP", type, minIndex, numVertices, primitiveCount, indexFormat, stride);
    if (!indices || !vertices || stride == 0 || numVertices == 0 || minIndex > UINT(INT32_MAX) ||
        (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    const VertexLayout* layout = nullptr;
    HRESULT result = prepare(*this, type, primitiveCount, &layout);
    if (FAILED(result))
        return result;
    bool wide = indexFormat == D3DFMT_INDEX32;
    uint64_t count = verticesFor(type, primitiveCount);
    // The caller's vertices are known to reach only to minIndex + numVertices: an index past them fails the draw.
    if (!indicesWithin(static_cast<const BYTE*>(indices), wide, count, minIndex, uint64_t(minIndex) + numVertices))
        return D3DERR_INVALIDCALL;
    DrawRequest request;
    request.type = type;
    request.vertexCount = UINT(count);
    request.indexed = true;
    request.lowest = minIndex;
    request.highest = UINT(std::min<uint64_t>(uint64_t(minIndex) + numVertices - 1, UINT32_MAX));
    request.index32 = wide;
    request.baseVertex = -int(minIndex);
    if (mLoss == Loss::Operational)
    {
        result = streamUserVertices(*this, *layout, vertices, stride, minIndex, numVertices,
                                    count * (wide ? 4 : 2), request);
        if (SUCCEEDED(result))
        {
            request.indexBuffer = mPipeline->ringBuffer();
            request.indexOffset = mPipeline->stream(indices, size_t(count * (wide ? 4 : 2)));
            result = finish(*this, *layout, request);
        }
    }
    forgetUserBindings(*this, true);
    return result;
}

} // namespace d3d9
