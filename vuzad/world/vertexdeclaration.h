// Vertex elements in Direct3D declaration types: writers that encode positions, normals,
// texture coordinates, colours, blend weights, bone indices and tangents into a vertex stream
// of a given type and stride, the matching readers, the compact texture-coordinate type the
// device allows, and the table of type sizes.
#pragma once

#include "d3d9.h"

#include <cstdint>

struct InstanceHeader;
struct TexCoords;
struct Vector;

/// Packed integer forms round to the nearest integer, ties to even, texture coordinates
/// included; byte and 16-bit forms saturate at the ends of their range, 10-bit fields keep
/// the value's low 10 bits.
struct VertexDeclaration
{
    // ---- Writers: one element per vertex at destination, then every stride bytes ----------
    // Each returns the type's size; types above DEC3N (the 16-bit float forms) write nothing.

    /// 3 reals per vertex (positions, normals, tangents).
    static int32_t WriteVectors(int32_t type, void* destination, const Vector* vectors, int32_t count, int32_t stride);
    /// 4 signed bytes per vertex (x, y, z, pad), each taken as a fraction of 128.
    static int32_t WriteCompressedNormals(int32_t type, void* destination, const int8_t* normals, int32_t count,
                                          int32_t stride);
    /// a + t (b - a) per vertex.
    static int32_t WriteInterpolatedVectors(int32_t type, void* destination, const Vector* a, const Vector* b, float t,
                                            int32_t count, int32_t stride);
    static int32_t WriteTexCoords(int32_t type, void* destination, const TexCoords* coordinates, int32_t count,
                                  int32_t stride);
    /// 4 blend weights per vertex; packed forms derive the first weight so that the stored
    /// weights sum to exactly the type's unit.
    static int32_t WriteWeights(int32_t type, void* destination, const float* weights, int32_t count, int32_t stride);
    /// 4 bone indices per vertex, each replaced by remap[index]: D3DCOLOR (as x, y, z, w for
    /// a shader), UBYTE4, SHORT2 (the first two) and SHORT4; other types write nothing.
    static int32_t WriteBoneIndices(int32_t type, void* destination, const uint8_t* indices, const uint8_t* remap,
                                    int32_t count, int32_t stride);
    /// RGBA bytes per vertex as D3DCOLOR words. 1 when some alpha is not 255, else 0.
    static int32_t WriteColors(void* destination, const uint8_t* colours, int32_t count, int32_t stride);
    /// Per-vertex tangents from the triangles of the instance's meshes (its index buffer) and
    /// texture coordinates, normalised; vertices of no usable triangle get (0, 0, 0). The type
    /// size, or 0 when the temporary array or the index buffer cannot be had.
    static int32_t WriteTangents(int32_t type, void* destination, const Vector* positions, const TexCoords* coordinates,
                                 const InstanceHeader* header, int32_t stride);

    // ---- Readers --------------------------------------------------------------------------

    /// One element into x, y, z; (0, 0, 0) for a type it does not know.
    static void ReadVector(int32_t type, float* out3, const void* element);
    static void ReadTexCoord(int32_t type, float* out2, const void* element);

    // ---- Choice and sizes -----------------------------------------------------------------

    /// Smallest and largest u and v of the set; both (0, 0) for an empty set.
    static void GetTexCoordRange(const TexCoords* coordinates, int32_t count, TexCoords* minimum, TexCoords* maximum);
    /// FLOAT2 unless every coordinate lies within [0, 1] (USHORT2N, else DEC3N, else D3DCOLOR)
    /// or within [-1, 1] (SHORT2N, else DEC3N), as the device's declaration types allow.
    static int32_t ChooseTexCoordType(const TexCoords* coordinates, int32_t count);
    /// Bytes of a declaration type; 0 for UNUSED and beyond.
    static int32_t GetTypeSize(int32_t type);
};
