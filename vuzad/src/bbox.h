// Axis-aligned bounding boxes: the maximum corner, then the minimum corner.
#pragma once

#include "vector.h"

#include <cstdint>

struct BBox
{
    Vector sup; ///< maximum corner
    Vector inf; ///< minimum corner

    /// The box of count points (at least 1); null, the box unchanged, for fewer.
    static BBox* Calculate(BBox* box, const Vector* points, int32_t count);
    /// Both corners at the point.
    static BBox* InitFromPoint(BBox* box, const Vector* point);
    /// Grows the box to contain the point.
    static BBox* AddPoint(BBox* box, const Vector* point);
};
