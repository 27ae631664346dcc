// The navigation graph writer.
#include "navgraphwriter.h"

#include "hbchunkstream.h"
#include "skeletonwriter.h"

#include <algorithm>

namespace
{
constexpr uint32_t kGraphChunk = 261;

/// The segment both rectangles share on one of their edges, when longer than 0.
bool SharedEdge(const NavRect& a, const NavRect& b, NavPortal& portal)
{
    const int32_t lowX = std::max(a.x0, b.x0), highX = std::min(a.x1, b.x1);
    const int32_t lowZ = std::max(a.z1, b.z1), highZ = std::min(a.z0, b.z0);
    if ((a.x1 == b.x0 || a.x0 == b.x1) && lowZ < highZ)
    {
        const int32_t x = a.x1 == b.x0 ? a.x1 : a.x0;
        portal = {x, highZ, x, lowZ, 0};
        return true;
    }
    if ((a.z1 == b.z0 || a.z0 == b.z1) && lowX < highX)
    {
        const int32_t z = a.z1 == b.z0 ? a.z1 : a.z0;
        portal = {lowX, z, highX, z, 0};
        return true;
    }
    return false;
}
} // namespace

std::vector<NavCell> NavGraphWriter::FromRectangles(const std::vector<NavRect>& rects)
{
    std::vector<NavCell> cells(rects.size());
    for (size_t i = 0; i < rects.size(); ++i)
    {
        cells[i].x0 = rects[i].x0, cells[i].z0 = rects[i].z0, cells[i].x1 = rects[i].x1, cells[i].z1 = rects[i].z1;
        for (size_t j = 0; j < rects.size(); ++j)
        {
            NavPortal portal;
            if (i != j && SharedEdge(rects[i], rects[j], portal))
            {
                portal.neighbour = int32_t(j);
                cells[i].portals.push_back(portal);
            }
        }
    }
    return cells;
}

std::vector<NavRect> NavGraphWriter::Grid(int32_t w, int32_t h, int32_t size)
{
    std::vector<NavRect> rects;
    for (int32_t row = 0; row < h; ++row)
        for (int32_t column = 0; column < w; ++column)
            rects.push_back({column * size, -row * size, (column + 1) * size, -(row + 1) * size});
    return rects;
}

std::vector<uint8_t> NavGraphWriter::Bytes(const std::vector<NavCell>& cells, int64_t cellCount)
{
    auto* buffer = new VectorStreamBuf();
    HbMChunkStream stream(buffer);
    int ok = stream.BeginChunk(kGraphChunk, 0, 0, 1) != 0;
    ok = ok && stream.WriteInt32(int32_t(cellCount == kNavCountAuto ? int64_t(cells.size()) : cellCount));
    for (const NavCell& cell : cells)
    {
        ok = ok && stream.WriteInt32(cell.x0) && stream.WriteInt32(cell.z0) && stream.WriteInt32(cell.x1) &&
             stream.WriteInt32(cell.z1);
        ok = ok && stream.WriteInt32(int32_t(cell.portalCount == kNavCountAuto ? int64_t(cell.portals.size()) : cell.portalCount));
        for (const NavPortal& portal : cell.portals)
            ok = ok && stream.WriteInt32(portal.x0) && stream.WriteInt32(portal.z0) && stream.WriteInt32(portal.x1) &&
                 stream.WriteInt32(portal.z1) && stream.WriteInt32(portal.neighbour);
    }
    ok = stream.EndChunk() != 0 && ok;
    return ok ? buffer->Bytes() : std::vector<uint8_t>();
}
