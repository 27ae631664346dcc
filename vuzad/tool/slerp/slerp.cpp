// Matrix interpolation between two ends by a rotation about one axis.
#include "slerp.h"

#include "error.h"
#include "memory.h"
#include "vector.h"

Slerp* Slerp::Create(uint32_t flags)
{
    auto* slerp = static_cast<Slerp*>(Memory::AllocateZeroed(1, sizeof(Slerp), kMemoryHintObject | kPluginId));
    if (!slerp)
    {
        Error::Report(kPluginId, kErrNoMemory);
        return nullptr;
    }
    slerp->flags = flags;
    // An owned end that cannot be made would be written through later: refuse the record.
    if (!(flags & kSlerpCallerStart) && !(slerp->start = Matrix::Create()))
    {
        Destroy(slerp);
        Error::Report(kPluginId, kErrNoMemory);
        return nullptr;
    }
    if (!(flags & kSlerpCallerEnd) && !(slerp->end = Matrix::Create()))
    {
        Destroy(slerp);
        Error::Report(kPluginId, kErrNoMemory);
        return nullptr;
    }
    return slerp;
}

Slerp* Slerp::Initialise(Slerp* slerp, Matrix* start, Matrix* end)
{
    if (slerp->flags & kSlerpCallerStart)
        slerp->start = start;
    else
        *slerp->start = *start;
    if (slerp->flags & kSlerpCallerEnd)
        slerp->end = end;
    else
        *slerp->end = *end;
    Matrix d;
    Matrix::Invert(&d, slerp->start);
    Matrix::Transform(&d, slerp->end, kCombinePostConcat);
    Vector centre;
    Matrix::QueryRotate(&d, &slerp->axis, &slerp->angle, &centre);
    slerp->linear = slerp->angle < 2.0f;
    return slerp;
}

static Vector Lerp(const Vector& a, const Vector& b, float t)
{
    return {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)};
}

Matrix* Slerp::InterpolateMatrix(Slerp* slerp, Matrix* result, float t)
{
    const Matrix* start = slerp->start;
    const Matrix* end = slerp->end;
    if (t <= 0.0f)
    {
        if (result != start)
            *result = *start;
        return result;
    }
    if (t >= 1.0f)
    {
        if (result != end)
            *result = *end;
        return result;
    }
    // Read the ends before writing: result may be one of them.
    const Vector startPos = start->pos, endPos = end->pos;
    if (!slerp->linear)
    {
        if (result != start)
            *result = *start;
        result->pos = {0.0f, 0.0f, 0.0f};
        Matrix::Rotate(result, &slerp->axis, t * slerp->angle, kCombinePostConcat);
        result->pos = Lerp(startPos, endPos, t);
        return result;
    }
    const Vector right = Lerp(start->right, end->right, t), up = Lerp(start->up, end->up, t),
                 at = Lerp(start->at, end->at, t);
    Vector::Normalize(&result->right, &right);
    Vector::Normalize(&result->up, &up);
    Vector::Normalize(&result->at, &at);
    result->pos = Lerp(startPos, endPos, t);
    Matrix::Update(result);
    return result;
}

void Slerp::Destroy(Slerp* slerp)
{
    if (!slerp)
        return;
    if (!(slerp->flags & kSlerpCallerStart) && slerp->start)
        Matrix::Destroy(slerp->start);
    if (!(slerp->flags & kSlerpCallerEnd) && slerp->end)
        Matrix::Destroy(slerp->end);
    Memory::Free(slerp);
}
