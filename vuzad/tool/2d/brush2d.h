// 2D brushes: four corner colours and texture coordinates (0 bottom left, 1 bottom right,
// 2 top right, 3 top left), an optional texture and a stroke half width; reference counted.
#pragma once

#include <cstdint>

struct Rgba;
struct Texture;
struct Vector2;

constexpr uint32_t kBrush2dColoursDiffer = 0x1; ///< the corners' colours are not all equal
constexpr uint32_t kBrush2dTextured = 0x2;      ///< a texture or varying texture coordinates

struct Brush2d
{
    float topColour[4]; ///< corner 3, red green blue alpha as 0..255
    float topUV[2];
    float topColourDelta[4]; ///< corner 2 minus corner 3
    float topUVDelta[2];
    float bottomColour[4]; ///< corner 0
    float bottomUV[2];
    float bottomColourDelta[4]; ///< corner 1 minus corner 0
    float bottomUVDelta[2];
    uint8_t flatColour[4]; ///< corner 3 as red, green, blue, alpha
    uint32_t flags;
    Texture* texture; ///< a reference held by the brush, or null
    float halfWidth;  ///< half a stroke's thickness
    int32_t refCount;

    /// Opaque white corners, texture coordinates (0, 0), half width 0.5, one reference; null
    /// when no record can be had.
    static Brush2d* Create();
    /// Gives one reference back. 1 when the brush was freed, 0 while references remain.
    static int32_t Destroy(Brush2d* brush);
    static Brush2d* AddRef(Brush2d* brush);
    static Brush2d* SetColors(Brush2d* brush, const Rgba* c0, const Rgba* c1, const Rgba* c2, const Rgba* c3);
    static Brush2d* SetUVs(Brush2d* brush, const Vector2* uv0, const Vector2* uv1, const Vector2* uv2,
                           const Vector2* uv3);
    /// Takes a reference on the texture and gives back the old one's.
    static Brush2d* SetTexture(Brush2d* brush, Texture* texture);
    /// The line width of strokes and outline text.
    static Brush2d* SetHalfWidth(Brush2d* brush, float halfWidth);

    /// The colour at (s, t) of the brush's square, 0xAARRGGBB with channels truncated.
    static uint32_t ColourAt(const Brush2d* brush, float s, float t);
};
