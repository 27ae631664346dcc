// 2D paths: chains of sub-paths of move-to, line-to and cubic curve points, each point with
// its right-hand normal (a miter vector at joins) and its distance along the sub-path, and
// their fill and stroke with a brush.
#pragma once

#include <cstdint>

struct Brush2d;
struct GrowList;

enum Path2dPointKind : int32_t
{
    kPath2dMoveTo = 0,
    kPath2dLineTo = 1,
    kPath2dCurve = 2, ///< a curve-to adds three: two control points and the end point
};

struct Path2dPoint
{
    int32_t kind;
    float x, y;
    float nx, ny;   ///< (0, 0) for a lone move-to
    float distance; ///< from the sub-path's move-to, along lines and curve control polygons
};

struct Path2dBox
{
    float minX, minY, maxX, maxY;
};

struct Path2d
{
    GrowList* editList;  ///< the points while open for editing, else null
    Path2dPoint* points; ///< the points once compacted (null when none)
    int32_t numPoints;   ///< -1 while open for editing
    int32_t closed;
    int32_t flat; ///< 1 while the sub-path holds no curve points
    float inset;  ///< fill and stroke move every point by -inset along its normal
    Path2d* next;
    Path2d* last; ///< in the head: the sub-path that receives new points

    /// The sub-path's points and their count, in either form.
    static Path2dPoint* GetPoints(const Path2d* subPath, int32_t* count);

    // ---- Records ---------------------------------------------------------------------------
    /// A new empty path open for editing, or null when no record or list can be had.
    static Path2d* Create();
    /// Releases the whole chain. 1, or 0 for null.
    static int32_t Destroy(Path2d* path);
    /// Back to one empty editable sub-path; its storage stays.
    static Path2d* Empty(Path2d* path);

    // ---- Building (on the last sub-path; the first operation is a move-to) -------------------
    /// A second move-to starts a new sub-path; when no record can be had there is none.
    static Path2d* MoveTo(Path2d* path, float x, float y);
    /// A segment of zero length adds no point.
    static Path2d* LineTo(Path2d* path, float x, float y);
    static Path2d* CurveTo(Path2d* path, float x1, float y1, float x2, float y2, float x3, float y3);
    /// Adds a line back to the first point unless the last point is on it already.
    static Path2d* ClosePath(Path2d* path);
    static Path2d* AddRectangle(Path2d* path, float x, float y, float width, float height);

    // ---- Forms ---------------------------------------------------------------------------------
    /// Opens every sub-path for editing; null when a list cannot be made.
    static Path2d* Lock(Path2d* path);
    /// Compacts every sub-path into a plain array.
    static Path2d* Unlock(Path2d* path);
    /// Releases every sub-path that holds exactly one point. The new head, or null.
    static Path2d* RemoveLoneMoves(Path2d* path);
    /// Widens the box over the sub-path's points.
    static Path2dBox* GetBBox(const Path2d* subPath, Path2dBox* box);

    // ---- Flattening ------------------------------------------------------------------------------
    /// Appends the sub-path source to the editable destination with every curve replaced by
    /// line segments within the current tolerance (at most 128 per curve).
    static Path2d* Flatten(Path2d* destination, const Path2d* source);
    static void FlattenCurve(Path2d* destination, const float p0[2], const float p1[2], const float p2[2],
                             const float p3[2], int32_t limit);
    /// The scratch path that fill and stroke flatten into, emptied.
    static Path2d* ResetScratch();

    // ---- Drawing (through immediate mode, on the bound camera; nothing without one) ----------------
    /// Fills the first sub-path, closed or not, as a strip taken from both ends of its points.
    static Path2d* Fill(Path2d* path, Brush2d* brush);
    /// Fills every closed sub-path in chain order.
    static Path2d* FillAllWithBrush(Path2d* path, Brush2d* brush);
    /// Strokes every sub-path with the brush's half width on each side.
    static Path2d* Stroke(Path2d* path, Brush2d* brush);
};
