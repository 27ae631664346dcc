// Writes a spline curve in the form SplineCurve::StreamRead reads: a chunk of type 12
// holding the 32-byte name, the point count, the type and the control points.
#pragma once

#include "vector.h"

#include <cstdint>
#include <string>
#include <vector>

struct SplineWriter
{
    /// The whole chunk, header included; a name longer than 32 characters is cut to 32.
    static std::vector<uint8_t> Chunk(const std::string& name, int32_t type, const std::vector<Vector>& points);
    /// The body alone (what follows the chunk header).
    static std::vector<uint8_t> Body(const std::string& name, int32_t type, const std::vector<Vector>& points);
};
