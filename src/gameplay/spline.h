// Spline: response curves of one to three coordinates per control point, built into engine
// spline curves and sampled at a parameter between 0 and 1 (the hero's turn speed, the move
// skill's blend, the follow camera).
#pragma once

#include "hbgrowarray.h"
#include "hbroot.h"

#include <cstdint>

class Spline : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr int32_t kMaxDimension = 3;

    Spline() = default;
    /// Clear.
    ~Spline() override;
    Spline(const Spline&) = delete;
    Spline& operator=(const Spline&) = delete;

    /// Stores the layout and makes a zeroed control-point buffer (curve count x point count
    /// points). 0 for a dimension outside 1..3, a count below 1 or no memory (nothing kept).
    int32_t SetLayout(int32_t dimension, int32_t pointCount);
    /// Point index of each curve takes its coordinates from the array, as far as the
    /// dimension goes. The curve count; 0 without a buffer or for an index out of range.
    int32_t SetControlPoint(int32_t index, const float* coordinates);
    /// One engine curve per curve from the buffer (open for 0, closed for 1), then the buffer
    /// goes. Nothing without a buffer. The number of curves made.
    int32_t Build(int32_t closed);
    /// Writes exactly dimension values: each curve's x, y and z at the parameter in turn.
    /// Nothing before SetLayout or without curves.
    void Sample(float parameter, float* output) const;
    /// Frees the buffer and destroys every curve.
    void Clear();

    int32_t GetDimension() const { return mDimension; }
    int32_t GetPointCount() const { return mPointCount; }
    int32_t GetCurveCount() const { return mCurveCount; }
    int32_t GetBuiltCount() const { return mCurves.GetCount(); }

private:
    int32_t mDimension = 0;
    int32_t mPointCount = 0;
    int32_t mCurveCount = 0;
    float* mPoints = nullptr;
    HbPtrArray mCurves;
};
