// Builds standard-keyframe animations (scheme 1: a rotation and a translation per node) from
// plain tables, in the chunk form Animation::StreamRead and Animation::ReadFile read: the
// keyframes put in the order interpolators step through, previous keyframes as byte offsets.
#pragma once

#include <cstdint>
#include <vector>

struct AnimationKeyRow
{
    int32_t node; ///< 0 .. N-1; every node needs at least two keys, the first at time 0
    float time;
    float rotation[4];    ///< quaternion x, y, z, w
    float translation[3]; ///< x, y, z
};

struct AnimationWriter
{
    /// The chunk (type 27, header included). Each node's keys are sorted by time; the table
    /// may list them in any order. Empty when the table is not an animation: nodes not
    /// numbered 0 .. N-1, a node with fewer than two keys or a first key not at time 0, or
    /// a duration that is not positive.
    static std::vector<uint8_t> StdAnimation(const std::vector<AnimationKeyRow>& rows, float duration,
                                             uint32_t flags = 0);
};
