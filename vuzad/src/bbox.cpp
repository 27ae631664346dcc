// Axis-aligned bounding boxes.
#include "bbox.h"

BBox* BBox::InitFromPoint(BBox* box, const Vector* point)
{
    box->sup = *point;
    box->inf = *point;
    return box;
}

BBox* BBox::AddPoint(BBox* box, const Vector* point)
{
    if (point->x < box->inf.x)
        box->inf.x = point->x;
    if (point->y < box->inf.y)
        box->inf.y = point->y;
    if (point->z < box->inf.z)
        box->inf.z = point->z;
    if (point->x > box->sup.x)
        box->sup.x = point->x;
    if (point->y > box->sup.y)
        box->sup.y = point->y;
    if (point->z > box->sup.z)
        box->sup.z = point->z;
    return box;
}

BBox* BBox::Calculate(BBox* box, const Vector* points, int32_t count)
{
    if (count < 1)
        return nullptr;
    InitFromPoint(box, &points[0]);
    for (int32_t i = 1; i < count; ++i)
        AddPoint(box, &points[i]);
    return box;
}
