// Writes navigation graphs ("AS"): chunk 261 holding the cell count, then each cell's bounds,
// its portal count and its portals (the shared edge and the neighbour's index), all 32-bit
// integers. Graphs are built from rectangles, portals found on their shared edges.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

/// A count left to the writer: the number of entries.
constexpr int64_t kNavCountAuto = std::numeric_limits<int64_t>::min();

struct NavPortal
{
    int32_t x0 = 0, z0 = 0, x1 = 0, z1 = 0;
    int32_t neighbour = 0;
};

struct NavCell
{
    /// x0 <= x1 and z1 <= z0: z0 is the upper bound.
    int32_t x0 = 0, z0 = 0, x1 = 0, z1 = 0;
    std::vector<NavPortal> portals;
    /// Written as it stands unless kNavCountAuto (bad counts make bad graphs for tests).
    int64_t portalCount = kNavCountAuto;
};

struct NavRect
{
    int32_t x0, z0, x1, z1;
};

struct NavGraphWriter
{
    /// The cells of the rectangles, in order; two rectangles whose edges touch over a length
    /// above 0 get a portal each on the shared segment, in the order of the rectangles.
    static std::vector<NavCell> FromRectangles(const std::vector<NavRect>& rects);
    /// A w x h grid of square cells of the given size from (0, 0) towards +x and -z, row by row.
    static std::vector<NavRect> Grid(int32_t w, int32_t h, int32_t size);

    /// The graph's chunk-stream bytes; the cell count as it stands unless kNavCountAuto.
    static std::vector<uint8_t> Bytes(const std::vector<NavCell>& cells, int64_t cellCount = kNavCountAuto);
};
