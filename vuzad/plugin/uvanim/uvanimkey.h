// The two UV-animation keyframes: a 2D affine transform given as matrix rows (scheme 0x1C0)
// or as angle, scales, skew and translation (scheme 0x1C1), with the custom data every UV
// animation carries (its name, node-to-channel map and reference count) and their stream form.
#pragma once

#include "animation.h"

#include <cstdint>

struct Matrix;
struct Stream;

constexpr int32_t kUVAnimNameLength = 32;
constexpr int32_t kUVAnimMapEntries = 8;

/// Carried by every UV animation after its keyframes.
struct UVAnimCustomData
{
    char name[kUVAnimNameLength + 1];         ///< a full 32-character name keeps its terminator
    int32_t nodeToChannel[kUVAnimMapEntries]; ///< node j drives channel map[j]; only 0 and 1 drive one
    int32_t refCount; ///< the dictionary holding the animation and every interpolator playing it
};

/// Both schemes' interpolated keyframe.
struct UVAnimInterpFrame
{
    AnimInterpFrameHeader header;
    float values[6];
};

/// Both schemes' animation keyframe: matrix scheme right.x, right.y, up.x, up.y, tx, ty;
/// parameter scheme θ (radians), scale x, scale y, skew, tx, ty.
struct UVAnimKeyFrameData
{
    AnimKeyFrameHeader header;
    float values[6];
};

struct UVAnimKeyFrame
{
    static constexpr int32_t kTypeId = 0x1C0;
    /// Stream bytes per keyframe and of the custom data before them.
    static constexpr uint32_t kStreamKeyFrameSize = 32;
    static constexpr uint32_t kStreamHeaderSize = 4 + 32 + 32;

    static void Apply(Matrix* out, void* interpFrame);
    /// Equal keyframe times give fraction 0.
    static void Interpolate(void* out, void* keyFrame1, void* keyFrame2, float time, void* customData);
    static void Blend(void* out, void* interpFrame1, void* interpFrame2, float fraction);
    /// The 2 x 2 parts multiply as row vectors (a then b), the translations add.
    static void Add(void* out, void* interpFrame1, void* interpFrame2);
    /// Both schemes: the leading word, the custom data (reference count 1) and the keyframes.
    /// A previous index not below its own keyframe's means none; the toolkit checks the order.
    static Animation* StreamRead(Stream* stream, Animation* animation);
    static int32_t StreamWrite(const Animation* animation, Stream* stream);
    static int32_t StreamGetSize(const Animation* animation);
    /// values = right.x, right.y, up.x, up.y, pos.x, pos.y.
    static void FromMatrix(float values[6], const Matrix* matrix);
    static const AnimScheme* Scheme();
};

struct UVAnimParamKeyFrame
{
    static constexpr int32_t kTypeId = 0x1C1;

    /// Scale and skew, translation, then a rotation by θ about the texture's centre (0.5, 0.5).
    static void Apply(Matrix* out, void* interpFrame);
    /// As the matrix scheme, with the angle difference wrapped into [-π, π] first.
    static void Interpolate(void* out, void* keyFrame1, void* keyFrame2, float time, void* customData);
    static void Blend(void* out, void* interpFrame1, void* interpFrame2, float fraction);
    /// The inverse of Apply only for a uniform scale without skew: θ is read as
    /// atan2(-up.x, right.x), which a non-uniform scale or a skew bends.
    static void FromMatrix(float values[6], const Matrix* matrix);
    static const AnimScheme* Scheme();
};

/// The custom data of a UV animation, or null when the animation is of another scheme.
UVAnimCustomData* UVAnimGetCustomData(const Animation* animation);
