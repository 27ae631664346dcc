// Builds UV animations (matrix or parameter keyframes) from plain tables, and the dictionary
// chunk that holds them: the content of a ".uva" file, which the engine only reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct UVAnimKeyRow
{
    int32_t node; ///< 0 .. N-1; every node needs at least two keys, the first at time 0
    float time;
    /// Matrix scheme: right.x, right.y, up.x, up.y, tx, ty; parameter scheme: θ (radians),
    /// scale x, scale y, skew, tx, ty.
    float values[6];
};

struct UVAnimDescription
{
    std::string name;       ///< at most 32 characters are stored
    int32_t scheme = 0x1C0; ///< 0x1C0 matrix keyframes, 0x1C1 parameter keyframes
    int32_t nodeToChannel[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    float duration = 1.0f;
    uint32_t flags = 0;
    std::vector<UVAnimKeyRow> keys; ///< any order; each node's keys are sorted by time
};

struct UVAnimWriter
{
    /// The animation chunk (type 27, header included), keys in the order interpolators step
    /// through; a node's first key names itself as its previous. Empty when the table is not
    /// an animation (nodes not numbered 0 .. N-1, a node with fewer than two keys or a first
    /// key not at time 0, a duration that is not positive, another scheme).
    static std::vector<uint8_t> Animation(const UVAnimDescription& animation);
    /// The dictionary chunk (type 43): its struct chunk with the entry count, then each
    /// animation's chunk. Empty when any animation is empty.
    static std::vector<uint8_t> Dictionary(const std::vector<UVAnimDescription>& animations);
};
