// Frame checks for drawing tests: compare a read-back frame with a CPU reference and save it as a PNG
// under the build folder's frames/ so a person can look at what was compared.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace framecheck
{

/// The folder the PNG files go to (<build>/frames), created on first use.
std::string FramesDir();

/// Writes 0xAARRGGBB pixels, top row first, as <FramesDir()>/<name>.png. False when the file cannot be written.
bool SavePng(const std::string& name, int width, int height, const std::vector<uint32_t>& argb);

struct Difference
{
    int mismatches = 0; ///< pixels with a channel further than the tolerance from the reference
    int worst = 0;      ///< the largest channel difference seen
    int firstX = -1, firstY = -1;
    uint32_t firstActual = 0, firstExpected = 0;
};

/// Channel-wise comparison of two frames of equal size; alpha is compared only when compareAlpha is set.
Difference Compare(int width, int height, const std::vector<uint32_t>& actual, const std::vector<uint32_t>& expected,
                   int tolerance, bool compareAlpha = false);

/// Saves the actual frame (and, when they differ, <name>_expected.png beside it) and returns a readable verdict
/// for EXPECT_EQ(..., "") style assertions: "" when every pixel is within the tolerance.
std::string CheckFrame(const std::string& name, int width, int height, const std::vector<uint32_t>& actual,
                       const std::vector<uint32_t>& expected, int tolerance, bool compareAlpha = false);

/// The reference for a frame drawn from a picture given as its colour at a point (pixels from the top left):
/// each pixel takes the colour at its centre, except where a sample at the centre moved by any (dx, dy) pair of
/// the offsets sees another colour. Such an edge is the device's to rasterise, and the pixel is taken from the
/// actual frame (or left at the centre's colour when the actual frame is too small).
std::vector<uint32_t> EdgeTolerantReference(int width, int height, const std::vector<uint32_t>& actual,
                                            const std::function<uint32_t(float, float)>& colourAt,
                                            const std::vector<float>& offsets);

} // namespace framecheck
