// Read-back of drawn frames: a 32-bit raster's pixels copied out as 0xAARRGGBB, top row first, for
// the frame checks.
#pragma once

#include <cstdint>
#include <vector>

struct Raster;

namespace framecheck
{

/// Level 0 of a 32-bit raster, row by row from the top; alpha forced opaque (frames are compared by
/// colour, and targets without alpha read back anything there) unless keepAlpha. Empty when the raster
/// cannot be locked for reading.
std::vector<uint32_t> ReadRaster(Raster* raster, bool keepAlpha = false);

} // namespace framecheck
