// TsAStarPathfinder: the level's navigation graph ("AS"): axis-aligned cells on the ground
// plane joined by portals, point location, snapping, straight-walk tests and a breadth-first
// search over the portals with a cache of recent cell-to-cell paths. Only x and z count.
#pragma once

#include "hbroot.h"
#include "vector.h"

#include <array>
#include <cstdint>
#include <vector>

class HbMChunkStream;

class TsAStarPathfinder : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr uint32_t kChunkId = 261;
    static constexpr int32_t kCacheSize = 32;
    /// The look direction's x when none was given.
    static constexpr float kNoDirection = -166466.0f;

    struct Portal
    {
        Vector midpoint;
        int32_t neighbour;
    };

    struct Cell
    {
        float x0, z0, x1, z1; ///< x0 <= x1, z1 <= z0
        float centreX, centreZ;
        std::vector<Portal> portals;

        bool Contains(float x, float z) const { return x0 <= x && x <= x1 && z1 <= z && z <= z0; }
    };

    TsAStarPathfinder();

    /// 1, with an empty graph when the chunk is missing; 0 (with a message) when a count or a
    /// neighbour index is out of range or passes what the chunk holds.
    int Load(HbStream* stream, const char* name) override;
    std::string GetTypeKey() const override { return "AS"; }
    int IsShared() const override { return 1; }
    int32_t LoadFromChunks(HbMChunkStream* stream);

    // ---- Queries ---------------------------------------------------------------------------------

    /// The last located cell is tried first, then every cell in order; -1 when none holds it.
    int32_t LocateCell(const Vector& point);
    int32_t IsPointOnGraph(const Vector& point) { return LocateCell(point) != -1 ? 1 : 0; }
    /// The cell holding the point, else the nearest (cell 0 wins ties); -1 on an empty graph.
    int32_t LocateNearestCell(const Vector& point) const;
    /// 0 inside, else |dx| + |dz| to the nearest point of the cell.
    float DistanceToCell(const Vector& point, int32_t cell) const;
    Vector ClampToCell(const Vector& point, int32_t cell) const;
    /// 1 with out set when a cell lies within the maximum distance; 0 otherwise.
    int32_t SnapToGraph(Vector* out, const Vector& point, float maximum) const;
    /// Samples the line about every 15 units.
    int32_t IsStraightWalkable(const Vector& from, const Vector& to);

    // ---- Search ----------------------------------------------------------------------------------

    /// 1 when a path was found (then in GetPath()). The last argument is not used.
    int32_t FindPath(const Vector& start, const Vector& goal, const Vector* lookDirection = nullptr,
                     int32_t unused = 0);
    /// 1 running, 2 done (path ready), 3 failed.
    int32_t SearchStep(const Vector& start, const Vector& goal);
    void ResetCache();

    const std::vector<Vector>& GetPath() const { return mPath; }
    const std::vector<Cell>& GetCells() const { return mCells; }
    int32_t GetCellCount() const { return int32_t(mCells.size()); }
    int32_t GetLastCell() const { return mLastCell; }
    void SetLastCell(int32_t cell) { mLastCell = cell; }
    int32_t GetSearchState() const { return mState; }
    void SetSearchState(int32_t state) { mState = state; }
    const Vector& GetLookDirection() const { return mLookDirection; }

    // ---- Path steps, open for tests ------------------------------------------------------------

    /// Points of the cached path of the cell pair, or null; every call counts a use.
    const std::vector<Vector>* FindCachedPath(int32_t startCell, int32_t goalCell);
    /// Replaces the least recently used entry.
    void CachePath(const std::vector<Vector>& points, int32_t startCell, int32_t goalCell);
    /// One shortcut from the first point to the furthest point walkable from it.
    void SmoothPath(std::vector<Vector>& path);
    /// Two passes of corner cuts through the midpoints of consecutive segments.
    void RefinePath(std::vector<Vector>& path);

private:
    struct Record
    {
        int32_t cell;
        int32_t parent;
        int32_t portal;
    };
    struct CacheEntry
    {
        int32_t startCell = -1;
        int32_t goalCell = -1;
        uint32_t stamp = 0;
        std::vector<Vector> points;
    };

    void BuildPath(const Vector& goal);
    void FinishPath(const Vector& start, const Vector& goal);

    std::vector<Cell> mCells;
    std::vector<Vector> mPath;
    // Search lists: the open list is first in, first out (mOpen from mOpenHead); mVisited marks
    // cells already in either list, mClosedIndex where a cell's record sits in mClosed.
    std::vector<Record> mOpen;
    size_t mOpenHead = 0;
    std::vector<Record> mClosed;
    std::vector<uint8_t> mVisited;
    std::vector<int32_t> mClosedIndex;
    Record mCurrent = {-1, -1, -1};
    int32_t mStartCell = -1;
    int32_t mGoalCell = -1;
    int32_t mLastCell = 0;
    int32_t mState = 0;
    Vector mLookDirection = {kNoDirection, 0.0f, 0.0f};
    std::array<CacheEntry, kCacheSize> mCache;
    uint32_t mUseCounter = 0;
};
