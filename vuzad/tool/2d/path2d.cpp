// 2D paths: the path pool and scratch path, building sub-paths with their normals and
// distances, their two storage forms, and curve flattening.
#include "path2d.h"

#include "engine.h"
#include "freelist.h"
#include "growlist.h"
#include "mathsqrt.h"
#include "memory.h"
#include "toolkit2d.h"
#include "toolkit2d_local.h"

#include <cstring>

using toolkit2d::Get;

namespace
{

constexpr int32_t kPathsPerBlock = 32;

Path2d* NewRecord()
{
    Engine* engine = Engine::Current();
    if (!engine || !Get().paths)
        return nullptr;
    auto* path = static_cast<Path2d*>(engine->freeListFunctions.take(Get().paths, toolkit2d::kHint));
    if (!path)
        return nullptr;
    *path = {};
    path->editList = GrowList::Create(int32_t(sizeof(Path2dPoint)), toolkit2d::kHint);
    if (!path->editList)
    {
        engine->freeListFunctions.giveBack(Get().paths, path);
        return nullptr;
    }
    path->numPoints = -1;
    path->flat = 1;
    path->last = path;
    return path;
}

void ReleaseRecord(Path2d* path)
{
    if (path->editList)
        GrowList::Destroy(path->editList);
    if (path->points)
        Memory::Free(path->points);
    Engine::Current()->freeListFunctions.giveBack(Get().paths, path);
}

int32_t Count(const Path2d* sub)
{
    int32_t count = 0;
    Path2d::GetPoints(sub, &count);
    return count;
}

Path2dPoint* Append(Path2d* sub, const Path2dPoint& point)
{
    if (!sub->editList)
        return nullptr; // compacted: building needs Path2d::Lock first
    auto* entry = static_cast<Path2dPoint*>(GrowList::AddEntry(sub->editList, toolkit2d::kHint));
    if (entry)
        *entry = point;
    return entry;
}

/// (a + b) / ((a + b) . a): projects to 1 on both unit normals. Where the two normals oppose
/// (a segment turning straight back) there is no miter and b stands.
void Miter(float ax, float ay, float bx, float by, float* outX, float* outY)
{
    float sx = ax + bx, sy = ay + by;
    float denominator = sx * ax + sy * ay;
    if (!(denominator > 1e-6f))
    {
        *outX = bx;
        *outY = by;
        return;
    }
    *outX = sx / denominator;
    *outY = sy / denominator;
}

/// Appends a point of the kind with the normal and distance against the point before it;
/// updateJoin gives the point before it the new normal (first point) or the miter.
void AppendSegment(Path2d* sub, int32_t kind, float x, float y, bool updateJoin)
{
    int32_t count = 0;
    Path2dPoint* points = Path2d::GetPoints(sub, &count);
    if (!sub->editList)
        return;
    if (count == 0)
    {
        Append(sub, {kPath2dMoveTo, x, y, 0, 0, 0});
        return;
    }
    const Path2dPoint previous = points[count - 1];
    float dx = previous.x - x, dy = y - previous.y;
    float lengthSquared = dx * dx + dy * dy;
    if (!(lengthSquared > 0.0f))
    {
        // A segment of zero length has no normal: a line adds nothing, a curve point keeps
        // its place with the normal before it.
        if (kind != kPath2dLineTo)
            Append(sub, {kind, x, y, previous.nx, previous.ny, previous.distance});
        return;
    }
    float length = Math::Sqrt(lengthSquared);
    float inverse = Math::InvSqrt(lengthSquared);
    float nx = dy * inverse, ny = dx * inverse;
    if (!Append(sub, {kind, x, y, nx, ny, previous.distance + length}))
        return;
    if (!updateJoin)
        return;
    points = Path2d::GetPoints(sub, &count);
    Path2dPoint& joint = points[count - 2];
    if (count == 2)
    {
        joint.nx = nx;
        joint.ny = ny;
    }
    else
        Miter(joint.nx, joint.ny, nx, ny, &joint.nx, &joint.ny);
}

} // namespace

// ---- Module ---------------------------------------------------------------------------------------------

int32_t Toolkit2d::OpenPaths()
{
    toolkit2d::State& s = Get();
    s.paths = FreeList::Create(int32_t(sizeof(Path2d)), kPathsPerBlock, 0, toolkit2d::kHint);
    if (!s.paths)
        return 0;
    s.scratch = Path2d::Create();
    if (!s.scratch)
    {
        FreeList::Destroy(s.paths);
        s.paths = nullptr;
        return 0;
    }
    return 1;
}

void Toolkit2d::ClosePaths()
{
    toolkit2d::State& s = Get();
    Path2d::Destroy(s.scratch);
    s.scratch = nullptr;
    if (s.paths)
        FreeList::Destroy(s.paths);
    s.paths = nullptr;
}

// ---- Records ----------------------------------------------------------------------------------------------

Path2dPoint* Path2d::GetPoints(const Path2d* sub, int32_t* count)
{
    if (sub->editList)
    {
        *count = sub->editList->count;
        return reinterpret_cast<Path2dPoint*>(sub->editList->entries);
    }
    *count = sub->numPoints;
    return sub->points;
}

Path2d* Path2d::Create()
{
    return NewRecord();
}

int32_t Path2d::Destroy(Path2d* path)
{
    if (!path)
        return 0;
    while (path)
    {
        Path2d* next = path->next;
        ReleaseRecord(path);
        path = next;
    }
    return 1;
}

Path2d* Path2d::Empty(Path2d* path)
{
    Destroy(path->next);
    path->next = nullptr;
    if (!path->editList)
    {
        path->editList = GrowList::Create(int32_t(sizeof(Path2dPoint)), toolkit2d::kHint);
        if (path->points)
            Memory::Free(path->points);
        path->points = nullptr;
    }
    if (path->editList)
        GrowList::Empty(path->editList);
    path->numPoints = path->editList ? -1 : 0;
    path->closed = 0;
    path->flat = 1;
    path->last = path;
    return path;
}

// ---- Building ------------------------------------------------------------------------------------------------

Path2d* Path2d::MoveTo(Path2d* path, float x, float y)
{
    Path2d* sub = path->last;
    if (Count(sub) == 0)
    {
        Append(sub, {kPath2dMoveTo, x, y, 0, 0, 0});
        return path;
    }
    Path2d* added = NewRecord();
    if (!added)
        return path;
    sub->next = added;
    path->last = added;
    Append(added, {kPath2dMoveTo, x, y, 0, 0, 0});
    return path;
}

Path2d* Path2d::LineTo(Path2d* path, float x, float y)
{
    AppendSegment(path->last, kPath2dLineTo, x, y, true);
    return path;
}

Path2d* Path2d::CurveTo(Path2d* path, float x1, float y1, float x2, float y2, float x3, float y3)
{
    Path2d* sub = path->last;
    AppendSegment(sub, kPath2dCurve, x1, y1, true);
    AppendSegment(sub, kPath2dCurve, x2, y2, false);
    AppendSegment(sub, kPath2dCurve, x3, y3, false);
    sub->flat = 0;
    return path;
}

Path2d* Path2d::ClosePath(Path2d* path)
{
    Path2d* sub = path->last;
    int32_t count = 0;
    Path2dPoint* points = GetPoints(sub, &count);
    if (count == 0 || !sub->editList)
        return path;
    if (points[count - 1].x != points[0].x || points[count - 1].y != points[0].y)
        AppendSegment(sub, kPath2dLineTo, points[0].x, points[0].y, true);
    points = GetPoints(sub, &count);
    if (count >= 2)
    {
        Path2dPoint& first = points[0];
        Path2dPoint& last = points[count - 1];
        float mx, my;
        Miter(first.nx, first.ny, last.nx, last.ny, &mx, &my);
        first.nx = last.nx = mx;
        first.ny = last.ny = my;
    }
    sub->closed = 1;
    return path;
}

Path2d* Path2d::AddRectangle(Path2d* path, float x, float y, float width, float height)
{
    MoveTo(path, x, y);
    LineTo(path, x + width, y);
    LineTo(path, x + width, y + height);
    LineTo(path, x, y + height);
    return ClosePath(path);
}

// ---- Forms ---------------------------------------------------------------------------------------------------

Path2d* Path2d::Lock(Path2d* path)
{
    for (Path2d* sub = path; sub; sub = sub->next)
    {
        if (sub->editList)
            continue;
        GrowList* list = GrowList::Create(int32_t(sizeof(Path2dPoint)), toolkit2d::kHint);
        if (!list)
            return nullptr;
        if (sub->numPoints > 0)
        {
            void* entries = GrowList::AddEntries(list, sub->numPoints, toolkit2d::kHint);
            if (!entries)
            {
                GrowList::Destroy(list);
                return nullptr;
            }
            std::memcpy(entries, sub->points, size_t(sub->numPoints) * sizeof(Path2dPoint));
        }
        if (sub->points)
            Memory::Free(sub->points);
        sub->points = nullptr;
        sub->editList = list;
        sub->numPoints = -1;
    }
    return path;
}

Path2d* Path2d::Unlock(Path2d* path)
{
    for (Path2d* sub = path; sub; sub = sub->next)
    {
        if (!sub->editList)
            continue;
        int32_t count = sub->editList->count;
        sub->points = static_cast<Path2dPoint*>(GrowList::DetachArray(sub->editList));
        sub->editList = nullptr;
        sub->numPoints = sub->points ? count : 0;
    }
    return path;
}

Path2d* Path2d::RemoveLoneMoves(Path2d* path)
{
    Path2d* head = nullptr;
    Path2d* tail = nullptr;
    while (path)
    {
        Path2d* next = path->next;
        path->next = nullptr;
        if (Count(path) == 1)
            ReleaseRecord(path);
        else
        {
            if (tail)
                tail->next = path;
            else
                head = path;
            tail = path;
        }
        path = next;
    }
    if (head)
        head->last = tail;
    return head;
}

Path2dBox* Path2d::GetBBox(const Path2d* sub, Path2dBox* box)
{
    int32_t count = 0;
    const Path2dPoint* points = GetPoints(sub, &count);
    for (int32_t i = 0; i < count; ++i)
    {
        box->minX = points[i].x < box->minX ? points[i].x : box->minX;
        box->minY = points[i].y < box->minY ? points[i].y : box->minY;
        box->maxX = points[i].x > box->maxX ? points[i].x : box->maxX;
        box->maxY = points[i].y > box->maxY ? points[i].y : box->maxY;
    }
    return box;
}

// ---- Flattening --------------------------------------------------------------------------------------------------

namespace
{

bool NearChord(const float p0[2], const float p[2], float dx, float dy, float chordSquared, float tolerance)
{
    float vx = p[0] - p0[0], vy = p[1] - p0[1];
    float along = vx * dx + vy * dy;
    return along * along > chordSquared * (vx * vx + vy * vy - tolerance);
}

} // namespace

void Path2d::FlattenCurve(Path2d* destination, const float p0[2], const float p1[2], const float p2[2],
                          const float p3[2], int32_t limit)
{
    limit -= 1;
    if (limit < 0)
    {
        LineTo(destination, p3[0], p3[1]);
        return;
    }
    float tolerance = Get().tolerance;
    float dx = p3[0] - p0[0], dy = p3[1] - p0[1];
    float chordSquared = dx * dx + dy * dy;
    if (NearChord(p0, p1, dx, dy, chordSquared, tolerance) && NearChord(p0, p2, dx, dy, chordSquared, tolerance))
    {
        LineTo(destination, p3[0], p3[1]);
        return;
    }
    float m[2], l1[2], l2[2], r1[2], r2[2];
    for (int k = 0; k < 2; ++k)
    {
        m[k] = (p0[k] + 3 * p1[k] + 3 * p2[k] + p3[k]) / 8;
        l1[k] = (p0[k] + p1[k]) / 2;
        l2[k] = (p0[k] + 2 * p1[k] + p2[k]) / 4;
        r1[k] = (p1[k] + 2 * p2[k] + p3[k]) / 4;
        r2[k] = (p2[k] + p3[k]) / 2;
    }
    FlattenCurve(destination, p0, l1, l2, m, limit);
    FlattenCurve(destination, m, r1, r2, p3, limit);
}

Path2d* Path2d::Flatten(Path2d* destination, const Path2d* source)
{
    Device2d::GetFlatTolerance();
    int32_t count = 0;
    const Path2dPoint* points = GetPoints(source, &count);
    for (int32_t i = 0; i < count; ++i)
    {
        const Path2dPoint& p = points[i];
        if (p.kind == kPath2dMoveTo)
            MoveTo(destination, p.x, p.y);
        else if (p.kind == kPath2dCurve && i > 0 && i + 2 < count)
        {
            const float c0[2] = {points[i - 1].x, points[i - 1].y};
            const float c1[2] = {p.x, p.y};
            const float c2[2] = {points[i + 1].x, points[i + 1].y};
            const float c3[2] = {points[i + 2].x, points[i + 2].y};
            FlattenCurve(destination, c0, c1, c2, c3, Get().subdivisionLimit);
            i += 2;
        }
        else
            LineTo(destination, p.x, p.y);
    }
    if (source->closed)
        ClosePath(destination);
    return destination;
}

Path2d* Path2d::ResetScratch()
{
    return Get().scratch ? Empty(Get().scratch) : nullptr;
}
