// The navigation graph: its reader, point queries and the breadth-first portal search.
#include "tsastarpathfinder.h"

#include "hbchunkstream.h"
#include "hbcommand.h"
#include "hbresource.h"
#include "yoscenaricmark.h"

#include <algorithm>
#include <cmath>
#include <string>

HB_DEFINE_CLASS_DESC(TsAStarPathfinder, HbRoot);
HB_REGISTER_RESOURCE_TYPE(TsAStarPathfinder, "AS");
HB_QUEUE_CLASS_ID(TsAStarPathfinder::kChunkId, "src\\tsastarpathfinder");

namespace
{
// Each cell is five words before its portals, each portal five words.
constexpr int64_t kCellBytes = 5 * 4;
constexpr int64_t kPortalBytes = 5 * 4;

int32_t Refuse(const char* name, const std::string& why)
{
    const std::string text =
        std::string("Navigation graph ") + (name ? name : "") + ": " + why + "; the graph is not loaded\n";
    HbCommandDebugOutput(text.c_str());
    return 0;
}

Vector Midpoint(const Vector& a, const Vector& b)
{
    return {(a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f};
}
} // namespace

TsAStarPathfinder::TsAStarPathfinder()
{
    ResetCache();
}

int TsAStarPathfinder::Load(HbStream* stream, const char* name)
{
    auto* chunks = dynamic_cast<HbMChunkStream*>(stream);
    if (!chunks)
        return 0;
    const int32_t ok = LoadFromChunks(chunks);
    if (!ok)
        Refuse(name, "a count or a neighbour index is out of range");
    return ok;
}

int32_t TsAStarPathfinder::LoadFromChunks(HbMChunkStream* stream)
{
    mCells.clear();
    HbChunkHeaderFields header;
    if (!stream->FindChunkHeader(kChunkId, 0, 0, &header))
        return 1;
    std::vector<Cell> cells;
    int32_t count = 0;
    int ok = stream->ReadInt32(count) && count >= 0 && int64_t(count) * kCellBytes <= YoStreamRemaining(stream);
    if (ok)
        cells.resize(size_t(count));
    for (int32_t i = 0; ok && i < count; ++i)
    {
        int32_t bounds[4];
        int32_t portals = 0;
        for (int32_t& b : bounds)
            ok = ok && stream->ReadInt32(b);
        ok = ok && stream->ReadInt32(portals) && portals >= 0 &&
             int64_t(portals) * kPortalBytes <= YoStreamRemaining(stream);
        if (!ok)
            break;
        Cell& cell = cells[size_t(i)];
        cell.x0 = float(bounds[0]);
        cell.z0 = float(bounds[1]);
        cell.x1 = float(bounds[2]);
        cell.z1 = float(bounds[3]);
        cell.centreX = cell.x0 + (cell.x1 - cell.x0) * 0.5f;
        cell.centreZ = cell.z1 + (cell.z0 - cell.z1) * 0.5f;
        cell.portals.resize(size_t(portals));
        for (Portal& portal : cell.portals)
        {
            int32_t edge[4];
            for (int32_t& e : edge)
                ok = ok && stream->ReadInt32(e);
            ok = ok && stream->ReadInt32(portal.neighbour) && portal.neighbour >= 0 && portal.neighbour < count;
            if (!ok)
                break;
            // The differences are taken as integers, as the graph was drawn.
            portal.midpoint = {float(edge[0]) + float(int64_t(edge[2]) - edge[0]) * 0.5f, 0.0f,
                               float(edge[1]) + float(int64_t(edge[3]) - edge[1]) * 0.5f};
        }
    }
    stream->LeaveChunk();
    if (!ok)
        return 0;
    mCells = std::move(cells);
    mOpen.reserve(mCells.size());
    mClosed.reserve(mCells.size());
    mVisited.assign(mCells.size(), 0);
    mClosedIndex.assign(mCells.size(), -1);
    mLastCell = 0;
    return 1;
}

// ---- Queries -------------------------------------------------------------------------------------

int32_t TsAStarPathfinder::LocateCell(const Vector& point)
{
    const int32_t n = GetCellCount();
    if (mLastCell >= 0 && mLastCell < n && mCells[size_t(mLastCell)].Contains(point.x, point.z))
        return mLastCell;
    for (int32_t i = 0; i < n; ++i)
        if (mCells[size_t(i)].Contains(point.x, point.z))
            return mLastCell = i;
    return -1;
}

float TsAStarPathfinder::DistanceToCell(const Vector& point, int32_t index) const
{
    const Cell& cell = mCells[size_t(index)];
    if (cell.Contains(point.x, point.z))
        return 0.0f;
    float dx = 0.0f;
    if (point.x < cell.x0)
        dx = cell.x0 - point.x;
    else if (point.x > cell.x1)
        dx = point.x - cell.x1;
    float dz = 0.0f;
    if (point.z < cell.z1)
        dz = cell.z1 - point.z;
    else if (point.z > cell.z0)
        dz = point.z - cell.z0;
    return dx + dz;
}

Vector TsAStarPathfinder::ClampToCell(const Vector& point, int32_t index) const
{
    const Cell& cell = mCells[size_t(index)];
    return {std::fmin(std::fmax(point.x, cell.x0), cell.x1), 0.0f, std::fmin(std::fmax(point.z, cell.z1), cell.z0)};
}

int32_t TsAStarPathfinder::LocateNearestCell(const Vector& point) const
{
    const int32_t n = GetCellCount();
    if (n == 0)
        return -1;
    int32_t best = 0;
    float bestDistance = DistanceToCell(point, 0);
    for (int32_t i = 1; i < n; ++i)
    {
        if (mCells[size_t(i)].Contains(point.x, point.z))
            return i;
        const float distance = DistanceToCell(point, i);
        if (distance < bestDistance)
            best = i, bestDistance = distance;
    }
    return best;
}

int32_t TsAStarPathfinder::SnapToGraph(Vector* out, const Vector& point, float maximum) const
{
    const int32_t n = GetCellCount();
    if (n == 0)
        return 0;
    int32_t best = 0;
    float bestDistance = DistanceToCell(point, 0);
    for (int32_t i = 1; i < n; ++i)
    {
        if (mCells[size_t(i)].Contains(point.x, point.z))
        {
            *out = point;
            return 1;
        }
        const float distance = DistanceToCell(point, i);
        if (distance < bestDistance)
            best = i, bestDistance = distance;
    }
    if (bestDistance > maximum)
        return 0;
    *out = ClampToCell(point, best);
    return 1;
}

namespace
{
/// How far along from + t x (dx, dz), from t on, the segment stays inside the cell (at most 1).
/// Worked in doubles: cells and points may lie billions of units out, where a float step of a
/// few units no longer moves.
double ExitAlong(const TsAStarPathfinder::Cell& cell, const Vector& from, double dx, double dz, double t)
{
    double exit = 1.0;
    if (dx > 0.0)
        exit = std::min(exit, (double(cell.x1) - from.x) / dx);
    else if (dx < 0.0)
        exit = std::min(exit, (double(cell.x0) - from.x) / dx);
    if (dz > 0.0)
        exit = std::min(exit, (double(cell.z0) - from.z) / dz);
    else if (dz < 0.0)
        exit = std::min(exit, (double(cell.z1) - from.z) / dz);
    return std::max(exit, t);
}

bool HoldsPoint(const TsAStarPathfinder::Cell& cell, double x, double z)
{
    // A point on a shared edge, computed in doubles, may miss the neighbour by a rounding.
    const double slack = 1e-6 * (1.0 + std::fabs(x) + std::fabs(z));
    return cell.x0 - slack <= x && x <= cell.x1 + slack && cell.z1 - slack <= z && z <= cell.z0 + slack;
}
} // namespace

int32_t TsAStarPathfinder::IsStraightWalkable(const Vector& from, const Vector& to)
{
    const int32_t toCell = LocateCell(to);
    if (toCell == -1)
        return 0;
    const int32_t fromCell = LocateCell(from);
    if (fromCell == -1 || fromCell == toCell)
        return 1;
    // The segment is followed from cell to cell: where it leaves one, another must hold the
    // point and take it further. A convex cell is never entered twice, so the walk takes at
    // most one step per cell whatever the distance.
    const double dx = double(to.x) - from.x;
    const double dz = double(to.z) - from.z;
    const int32_t count = GetCellCount();
    int32_t cell = fromCell;
    double t = 0.0;
    for (int32_t steps = 0; steps < count; ++steps)
    {
        t = ExitAlong(mCells[size_t(cell)], from, dx, dz, t);
        if (t >= 1.0)
            return 1;
        const double x = from.x + t * dx;
        const double z = from.z + t * dz;
        int32_t next = -1;
        for (int32_t i = 0; i < count && next == -1; ++i)
            if (i != cell && HoldsPoint(mCells[size_t(i)], x, z) && ExitAlong(mCells[size_t(i)], from, dx, dz, t) > t)
                next = i;
        if (next == -1)
            return 0;
        cell = next;
    }
    return 0;
}

// ---- Search ----------------------------------------------------------------------------------------

int32_t TsAStarPathfinder::FindPath(const Vector& start, const Vector& goal, const Vector* lookDirection, int32_t)
{
    if (lookDirection)
        mLookDirection = *lookDirection;
    else
        mLookDirection.x = kNoDirection;
    int32_t answer;
    do
        answer = SearchStep(start, goal);
    while (answer == 1);
    return answer == 2 ? 1 : 0;
}

int32_t TsAStarPathfinder::SearchStep(const Vector& start, const Vector& goal)
{
    if (mState == 0)
    {
        mState = 1;
        for (const Record& record : mOpen)
            mVisited[size_t(record.cell)] = 0;
        for (const Record& record : mClosed)
            mVisited[size_t(record.cell)] = 0, mClosedIndex[size_t(record.cell)] = -1;
        mOpen.clear();
        mOpenHead = 0;
        mClosed.clear();
        mCurrent = {-1, -1, -1};
        mStartCell = LocateNearestCell(start);
        mGoalCell = LocateNearestCell(goal);
        if (mStartCell < 0 || mGoalCell < 0)
        {
            // An empty graph has no cell to start from.
            mState = 0;
            return 3;
        }
        if (const std::vector<Vector>* cached = FindCachedPath(mStartCell, mGoalCell))
        {
            mPath.clear();
            mPath.push_back(start);
            mPath.insert(mPath.end(), cached->begin(), cached->end());
            mPath.push_back(goal);
            if (mPath.size() > 2)
                SmoothPath(mPath);
            RefinePath(mPath);
            mState = 0;
            return 2;
        }
        mOpen.push_back({mStartCell, -1, -1});
        mVisited[size_t(mStartCell)] = 1;
        return 1;
    }
    if (mState == 1)
    {
        if (mOpenHead >= mOpen.size())
        {
            mState = 2;
            return 1;
        }
        mCurrent = mOpen[mOpenHead++];
        const Cell& cell = mCells[size_t(mCurrent.cell)];
        for (size_t i = 0; i < cell.portals.size(); ++i)
        {
            const int32_t n = cell.portals[i].neighbour;
            if (mVisited[size_t(n)])
                continue;
            mVisited[size_t(n)] = 1;
            mOpen.push_back({n, mCurrent.cell, int32_t(i)});
        }
        mClosedIndex[size_t(mCurrent.cell)] = int32_t(mClosed.size());
        mClosed.push_back(mCurrent);
        if (mOpenHead >= mOpen.size() || mCurrent.cell == mGoalCell)
            mState = 2;
        return 1;
    }
    mState = 0;
    if (mCurrent.cell != mGoalCell)
        return 3;
    BuildPath(goal);
    FinishPath(start, goal);
    return 2;
}

void TsAStarPathfinder::BuildPath(const Vector& goal)
{
    mPath.clear();
    mPath.push_back(ClampToCell(goal, mGoalCell));
    Record record = mCurrent;
    while (record.parent != -1)
    {
        const Cell& parent = mCells[size_t(record.parent)];
        mPath.insert(mPath.begin(), parent.portals[size_t(record.portal)].midpoint);
        record = mClosed[size_t(mClosedIndex[size_t(record.parent)])];
    }
}

void TsAStarPathfinder::FinishPath(const Vector& start, const Vector&)
{
    const Vector clampedGoal = mPath.back();
    mPath.pop_back();
    CachePath(mPath, mStartCell, mGoalCell);
    mPath.insert(mPath.begin(), start);
    mPath.push_back(clampedGoal);
    if (mPath.size() > 2)
        SmoothPath(mPath);
    RefinePath(mPath);
}

const std::vector<Vector>* TsAStarPathfinder::FindCachedPath(int32_t startCell, int32_t goalCell)
{
    ++mUseCounter;
    for (CacheEntry& entry : mCache)
        if (entry.startCell == startCell && entry.goalCell == goalCell)
        {
            entry.stamp = mUseCounter;
            return &entry.points;
        }
    return nullptr;
}

void TsAStarPathfinder::CachePath(const std::vector<Vector>& points, int32_t startCell, int32_t goalCell)
{
    CacheEntry* oldest = &mCache[0];
    for (CacheEntry& entry : mCache)
        if (entry.stamp < oldest->stamp)
            oldest = &entry;
    oldest->stamp = mUseCounter;
    oldest->startCell = startCell;
    oldest->goalCell = goalCell;
    oldest->points = points;
}

void TsAStarPathfinder::ResetCache()
{
    mUseCounter = 0;
    for (CacheEntry& entry : mCache)
        entry = CacheEntry();
}

void TsAStarPathfinder::SmoothPath(std::vector<Vector>& path)
{
    if (path.size() < 3)
        return;
    const Vector first = path.front();
    for (size_t p = path.size() - 1; p > 0; --p)
        if (IsStraightWalkable(first, path[p]))
        {
            path.erase(path.begin() + 1, path.begin() + std::ptrdiff_t(p));
            return;
        }
}

void TsAStarPathfinder::RefinePath(std::vector<Vector>& path)
{
    if (path.size() <= 2)
        return;
    for (int pass = 0; pass < 2; ++pass)
    {
        size_t i = 0;
        while (i + 2 < path.size())
        {
            const Vector m1 = Midpoint(path[i], path[i + 1]);
            const Vector m2 = Midpoint(path[i + 1], path[i + 2]);
            if (IsStraightWalkable(m1, m2))
            {
                path[i + 1] = m1;
                path.insert(path.begin() + std::ptrdiff_t(i + 2), m2);
                i += 2;
            }
            else
                i += 1;
        }
    }
}
