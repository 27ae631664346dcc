// 2D drawing of the Direct3D 9 driver: pre-transformed vertices (Im2DVertex) drawn as lines,
// triangles and primitives, with or without an index list, in pixels of the camera being
// rendered. The four entries fill the device record's 2D slots.
#pragma once

#include "d3d9.h"

#include <cstdint>

struct D3D9Im2D
{
    static constexpr int32_t kMaxIndices = 10000;
    static constexpr UINT kOwnBufferBytes = 262144;
    static constexpr int32_t kOwnBufferVertices = 9362;

    // ---- Entries (0 when there is nothing to draw on, an index or type is invalid, or a
    // lock or the draw fails; 1 when the draw call succeeded) ----------------------------------

    /// Between a camera's begin and end update: one line between two of the vertices.
    static int32_t Line(void* vertices, int32_t numVertices, int32_t first, int32_t second);
    /// Between a camera's begin and end update: one triangle of three of the vertices.
    static int32_t Triangle(void* vertices, int32_t numVertices, int32_t first, int32_t second, int32_t third);
    /// The vertices as primitives of an Im2DPrimitiveType; without a current camera they go
    /// to the current raster context.
    static int32_t Primitive(int32_t type, void* vertices, int32_t numVertices);
    /// Between a camera's begin and end update: indexed primitives. Indices at or past the
    /// vertex count are refused; more than kMaxIndices indices draw nothing when there are
    /// fewer vertices than indices.
    static int32_t IndexedPrimitive(int32_t type, void* vertices, int32_t numVertices, const uint16_t* indices,
                                    int32_t numIndices);

    // ---- Lifetime, called by the device ------------------------------------------------------

    /// At start and after a Reset: the index buffer, the own vertex buffer on a device
    /// without hardware transform that has the memory, and the declaration. 1, or 0 with
    /// nothing held.
    static int32_t Open();
    /// Before a Reset and at stop: everything Open made is released.
    static void Close();
    static bool HasOwnBuffer();
};
