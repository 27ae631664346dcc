// Fill and stroke of 2D paths: shapes flattened into the scratch path when they hold curves,
// vertices coloured and textured across the shape, drawn as triangle strips through the
// shared 256-vertex buffer in batches that continue each other without a gap.
#include "brush2d.h"
#include "path2d.h"
#include "toolkit2d.h"
#include "toolkit2d_local.h"

using toolkit2d::Get;

namespace
{

// Before a fill step at this many pending vertices the strip is drawn and continues from its
// last two; a stroke draws before a point when more than kStrokeLimit are pending.
constexpr int32_t kFillLimit = 254;
constexpr int32_t kStrokeLimit = 253;

const Path2d* Shape(const Path2d* sub)
{
    if (sub->flat)
        return sub;
    Path2d* scratch = Path2d::ResetScratch();
    if (!scratch)
        return nullptr;
    return Path2d::Flatten(scratch, sub);
}

uint32_t BatchFlags(const Brush2d* brush)
{
    return brush->texture ? kIm3dTextured : 0;
}

void FillSubPath(const Path2d* sub, Brush2d* brush)
{
    toolkit2d::State& s = Get();
    const Matrix* matrix = Device2d::GetMatrix();
    float z = s.layerDepth;
    float inset = sub->inset;
    const Path2d* shape = Shape(sub);
    if (!shape)
        return;
    int32_t n = 0;
    const Path2dPoint* points = Path2d::GetPoints(shape, &n);
    if (n < 2)
        return;
    Path2dBox box = {points[0].x, points[0].y, points[0].x, points[0].y};
    Path2d::GetBBox(shape, &box);
    // A box without width or height has no gradient across it: factor 0.
    float a = box.maxX > box.minX ? 1.0f / (box.maxX - box.minX) : 0.0f;
    float b = box.maxY > box.minY ? 1.0f / (box.maxY - box.minY) : 0.0f;
    toolkit2d::SetTextureState(brush);
    uint32_t flags = BatchFlags(brush);

    int32_t pending = 0;
    auto emit = [&](const Path2dPoint& p)
    {
        if (pending >= kFillLimit)
        {
            toolkit2d::DrawBatch(pending, matrix, flags, kIm3dTriStrip, s.indices, pending);
            s.vertices[0] = s.vertices[pending - 2];
            s.vertices[1] = s.vertices[pending - 1];
            pending = 2;
        }
        Im3dVertex& v = s.vertices[pending++];
        v.x = p.x - inset * p.nx;
        v.y = p.y - inset * p.ny;
        v.z = z;
        float u = (v.x - box.minX) * a;
        float t = (v.y - box.minY) * b;
        v.colour = Brush2d::ColourAt(brush, u, t);
        float bottomU = brush->bottomUV[0] + u * brush->bottomUVDelta[0];
        float bottomV = brush->bottomUV[1] + u * brush->bottomUVDelta[1];
        float topU = brush->topUV[0] + u * brush->topUVDelta[0];
        float topV = brush->topUV[1] + u * brush->topUVDelta[1];
        v.u = bottomU + t * (topU - bottomU);
        v.v = bottomV + t * (topV - bottomV);
    };
    // From both ends towards the middle: last, first, second-to-last, second, ...
    int32_t back = n - 1, front = 0;
    while (back >= front)
    {
        emit(points[back--]);
        if (back < front)
            break;
        emit(points[front++]);
    }
    toolkit2d::DrawBatch(pending, matrix, flags, kIm3dTriStrip, s.indices, pending);
}

void StrokeSubPath(const Path2d* sub, Brush2d* brush)
{
    toolkit2d::State& s = Get();
    const Matrix* matrix = Device2d::GetMatrix();
    float z = s.layerDepth;
    const Path2d* shape = Shape(sub);
    if (!shape)
        return;
    int32_t n = 0;
    const Path2dPoint* points = Path2d::GetPoints(shape, &n);
    if (n < 2)
        return;
    float outer = sub->inset + brush->halfWidth;
    float inner = brush->halfWidth - sub->inset;
    float length = points[n - 1].distance;
    float inverseLength = length > 0 ? 1.0f / length : 0.0f; // zero length: no gradient
    toolkit2d::SetTextureState(brush);
    uint32_t flags = BatchFlags(brush);
    bool colours = brush->flags & kBrush2dColoursDiffer;
    bool textured = brush->flags & kBrush2dTextured;
    uint32_t flat = Brush2d::ColourAt(brush, 0, 0);

    int32_t pending = 0;
    auto pair = [&](const Path2dPoint& p)
    {
        float f = p.distance * inverseLength;
        Im3dVertex& first = s.vertices[pending++];
        Im3dVertex& second = s.vertices[pending++];
        first = {p.x - outer * p.nx, p.y - outer * p.ny, z, 0, 0, 0, flat, 0, 0};
        second = {p.x + inner * p.nx, p.y + inner * p.ny, z, 0, 0, 0, flat, 0, 0};
        if (colours)
        {
            first.colour = Brush2d::ColourAt(brush, f, 1.0f);
            second.colour = Brush2d::ColourAt(brush, f, 0.0f);
        }
        if (textured)
        {
            first.u = brush->topUV[0] + f * brush->topUVDelta[0];
            first.v = brush->topUV[1] + f * brush->topUVDelta[1];
            second.u = brush->bottomUV[0] + f * brush->bottomUVDelta[0];
            second.v = brush->bottomUV[1] + f * brush->bottomUVDelta[1];
        }
    };
    for (int32_t i = 0; i < n; ++i)
    {
        if (pending > kStrokeLimit)
        {
            toolkit2d::DrawBatch(pending, matrix, flags, kIm3dTriStrip, s.indices, pending);
            pending = 0;
            pair(points[i - 1]);
        }
        pair(points[i]);
    }
    toolkit2d::DrawBatch(pending, matrix, flags, kIm3dTriStrip, s.indices, pending);
}

bool CanDraw(const Path2d* path, const Brush2d* brush)
{
    return path && brush && Get().open && Get().camera;
}

} // namespace

Path2d* Path2d::Fill(Path2d* path, Brush2d* brush)
{
    if (CanDraw(path, brush))
        FillSubPath(path, brush);
    return path;
}

Path2d* Path2d::FillAllWithBrush(Path2d* path, Brush2d* brush)
{
    if (!CanDraw(path, brush))
        return path;
    for (Path2d* sub = path; sub; sub = sub->next)
        if (sub->closed)
            FillSubPath(sub, brush);
    return path;
}

Path2d* Path2d::Stroke(Path2d* path, Brush2d* brush)
{
    if (!CanDraw(path, brush))
        return path;
    for (Path2d* sub = path; sub; sub = sub->next)
        StrokeSubPath(sub, brush);
    return path;
}
