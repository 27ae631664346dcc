// Writes the spline database the actor layer only reads (resource type "SDB"): a zero
// word, the entry count, and for each entry its slot, a spline chunk and a 32-bit value.
#pragma once

#include "vector.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct SplineDbEntry
{
    int32_t slot = 0;
    std::string name;
    int32_t type = 1; ///< open (1) or closed (2)
    std::vector<Vector> points;
    int32_t value = 0;
    /// Without it the entry carries no spline chunk: slot and value only.
    bool withSpline = true;
};

struct SplineDbWriter
{
    /// The whole resource; the count written is the entries' number unless given.
    static std::vector<uint8_t> Write(const std::vector<SplineDbEntry>& entries, uint16_t firstWord = 0,
                                      std::optional<int16_t> count = std::nullopt);
};
