// Spline over the engine's spline curves.
#include "spline.h"

#include "hbmemory.h"
#include "splinecurve.h"

#include <cstring>

HB_DEFINE_CLASS_DESC(Spline, HbRoot);

Spline::~Spline()
{
    Clear();
}

int32_t Spline::SetLayout(int32_t dimension, int32_t pointCount)
{
    HbArrayFree(mPoints);
    mPoints = nullptr;
    mDimension = mPointCount = mCurveCount = 0;
    if (dimension < 1 || dimension > kMaxDimension || pointCount < 1)
        return 0;
    const int32_t curves = (dimension + 2) / 3;
    const size_t bytes = size_t(curves) * size_t(pointCount) * 3 * sizeof(float);
    mPoints = static_cast<float*>(HbArrayAlloc(bytes));
    if (!mPoints)
        return 0;
    // Coordinates beyond the dimension are still evaluated by the engine: keep them 0.
    std::memset(mPoints, 0, bytes);
    mDimension = dimension;
    mPointCount = pointCount;
    mCurveCount = curves;
    return 1;
}

int32_t Spline::SetControlPoint(int32_t index, const float* coordinates)
{
    if (!mPoints || !coordinates || index < 0 || index >= mPointCount)
        return 0;
    for (int32_t c = 0; c < mCurveCount; ++c)
    {
        float* point = mPoints + (size_t(c) * size_t(mPointCount) + size_t(index)) * 3;
        for (int32_t k = 0; k < 3 && 3 * c + k < mDimension; ++k)
            point[k] = coordinates[3 * c + k];
    }
    return mCurveCount;
}

int32_t Spline::Build(int32_t closed)
{
    if (!mPoints)
        return 0;
    int32_t made = 0;
    for (int32_t c = 0; c < mCurveCount; ++c)
    {
        const auto* points = reinterpret_cast<const Vector*>(mPoints + size_t(c) * size_t(mPointCount) * 3);
        SplineCurve* curve = SplineCurve::Create(mPointCount, closed ? kSplineClosed : kSplineOpen, points);
        if (curve && mCurves.Add(curve) >= 0)
            ++made;
        else if (curve)
            SplineCurve::Destroy(curve);
    }
    HbArrayFree(mPoints);
    mPoints = nullptr;
    return made;
}

void Spline::Sample(float parameter, float* output) const
{
    if (!output)
        return;
    int32_t written = 0;
    for (int32_t c = 0; c < mCurves.GetCount() && written < mDimension; ++c)
    {
        Vector position = {0.0f, 0.0f, 0.0f};
        SplineCurve::FindPosition(static_cast<const SplineCurve*>(mCurves[c]), kSplineModeUniform, parameter, &position,
                                  nullptr);
        const float values[3] = {position.x, position.y, position.z};
        for (int32_t k = 0; k < 3 && written < mDimension; ++k)
            output[written++] = values[k];
    }
}

void Spline::Clear()
{
    HbArrayFree(mPoints);
    mPoints = nullptr;
    for (int32_t c = 0; c < mCurves.GetCount(); ++c)
        SplineCurve::Destroy(static_cast<SplineCurve*>(mCurves[c]));
    mCurves.RemoveAll();
}
