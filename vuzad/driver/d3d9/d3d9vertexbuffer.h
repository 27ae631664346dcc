// Vertex memory of the Direct3D 9 driver: ranges of large shared managed buffers, one pool per
// stride, for static geometry; dynamic buffers of an exact size that are borrowed and given
// back; and four rotating dynamic buffers that frame geometry is appended to without waiting
// for the card.
#pragma once

#include "d3d9.h"

#include <cstdint>

/// A free range of a pool buffer, as the inspection call reports it.
struct D3D9FreeRange
{
    IDirect3DVertexBuffer9* buffer;
    UINT offset;
    UINT size;
};

struct D3D9VertexBuffer
{
    static constexpr UINT kPoolBufferSize = 131072;

    /// A range of size bytes of the stride's pool (a new managed buffer when no free range
    /// is large enough). 1, or 0 with nothing changed.
    static int32_t Create(UINT stride, UINT size, IDirect3DVertexBuffer9** buffer, UINT* offset);
    /// Gives a range back; it joins the free ranges of the same buffer it touches.
    static void Destroy(UINT stride, UINT size, IDirect3DVertexBuffer9* buffer, UINT offset);
    /// The stride pool's free ranges in list order (up to max); the number there are.
    static int32_t GetFreeRanges(UINT stride, D3D9FreeRange* out, int32_t max);

    // ---- Lifetime, called by the device ------------------------------------------------------

    /// At device start: the record lists and the rotating buffers. 1, or 0.
    static int32_t Open();
    /// At device stop: every buffer released, every record freed.
    static void Close();
    /// Before a Reset: the rotating buffers given back, default-pool dynamic buffers released
    /// (their owners' variables cleared).
    static void Release();
    /// After a Reset: dynamic buffers made again at their sizes, the rotating buffers opened.
    /// 1, or 0.
    static int32_t Restore();
    /// After each Present: every rotating buffer empty, the next one current.
    static void Advance();
};

struct D3D9DynamicVertexBuffer
{
    static constexpr UINT kRotatingSize = 0x40000;

    /// A dynamic buffer of exactly size bytes written to *owner, which the driver keeps and
    /// updates across device resets until the buffer is given back. 1, or 0.
    static int32_t Create(UINT size, IDirect3DVertexBuffer9** owner);
    /// Gives back the buffer lent to *owner (the variable passed to Create) for reuse: it
    /// stays alive, and *owner is cleared. Call it even when *owner is null (the device was
    /// lost): the driver then no longer writes into the variable.
    static void Destroy(IDirect3DVertexBuffer9** owner);
    /// Room for count vertices of stride bytes in the rotating buffers, appended without
    /// overwriting what this frame already drew, or at the start of a discarded buffer. The
    /// buffer, the locked bytes and the vertex index they start at. 1, or 0.
    static int32_t Lock(UINT stride, UINT count, IDirect3DVertexBuffer9** buffer, void** data, UINT* baseVertex);
    /// Whether Unlock succeeded.
    static int32_t Unlock(IDirect3DVertexBuffer9* buffer);
};
