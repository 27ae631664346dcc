// The standard keyframe (scheme type id 1): a rotation quaternion and a translation per node,
// the keyframe of every skeletal animation. Keyframes are native records; their stream form
// is 36 bytes each, with the previous keyframe stored as a byte offset (index x 36).
#pragma once

#include "animation.h"
#include "vector.h"

#include <cstdint>

struct Matrix;
struct Stream;

/// x, y, z the vector part, w the real part.
struct AnimQuat
{
    float x, y, z, w;
};

/// An interpolated keyframe of scheme 1; starts with the toolkit's interpolated header.
struct StdInterpFrame
{
    AnimInterpFrameHeader header; ///< keyframe 1, keyframe 2
    AnimQuat q;
    Vector t;
};


/// An animation keyframe of scheme 1; starts with the toolkit's keyframe header.
struct StdKeyFrame
{
    AnimKeyFrameHeader header; ///< previous keyframe of the node, time
    AnimQuat q;
    Vector t;

    static constexpr int32_t kTypeId = 1;
    /// Bytes per keyframe in the stream.
    static constexpr uint32_t kStreamKeyFrameSize = 36;

    /// Matrix from quaternion (not normalised first) and translation; flags 3.
    static void Apply(Matrix* out, void* interpFrame);
    /// Between keyframes a and b at time T: translation lerp, quaternion slerp on the shorter
    /// arc (b's stored quaternion is negated in place when the dot product is negative), linear
    /// mix above a dot product of 0.999. Equal keyframe times give fraction 0.
    static void Interpolate(void* out, void* keyFrame1, void* keyFrame2, float time, void* customData);
    /// As Interpolate with the fraction given; out may be interpFrame1. Writes only q and t.
    static void Blend(void* out, void* interpFrame1, void* interpFrame2, float fraction);
    /// out.q = a.q x b.q (Hamilton), out.t = a.t + b.t; out distinct from both.
    static void Add(void* out, void* interpFrame1, void* interpFrame2);
    /// frame.q = start.q^-1 x frame.q, frame.t -= start.t; a zero start quaternion leaves q.
    static void MulRecip(void* frame, void* start);
    static Animation* StreamRead(Stream* stream, Animation* animation);
    static int32_t StreamWrite(const Animation* animation, Stream* stream);
    static int32_t StreamGetSize(const Animation* animation);

    /// The scheme record registered by the hierarchy plug-in's engine open.
    static const AnimScheme* Scheme();
};
