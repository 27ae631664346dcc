// Axis elements: dead zones, ranges and inversion of analogue values.
#include "hbaxiselement.h"

#include <algorithm>
#include <cmath>

HbAxisElement::HbAxisElement(int32_t axisCount) : mAxisCount(axisCount <= 0 ? 1 : std::min(axisCount, kMaxAxes)) {}

float HbAxisElement::GetAxis(int32_t index)
{
    if (!IsAxis(index))
        return 0.0f;
    const Axis& axis = mAxes[index];
    float raw = GetRaw(index);
    float sign = raw < 0.0f ? -1.0f : 1.0f;
    float magnitude = std::fabs(raw);
    auto low = static_cast<float>(axis.deadLow);
    auto high = static_cast<float>(axis.deadHigh);
    // Equal ends would divide by zero: the axis is then a switch at the low end.
    if (axis.deadHigh <= axis.deadLow)
        return magnitude > low ? sign * axis.sign : 0.0f;
    float clamped = raw;
    if (magnitude < low)
        clamped = low * sign;
    else if (magnitude > high)
        clamped = high * sign;
    return (clamped - low * sign) / (high - low) * axis.sign;
}

void HbAxisElement::SetRange(int32_t index, int32_t a, int32_t b)
{
    if (!IsAxis(index))
        return;
    Axis& axis = mAxes[index];
    axis.rangeLow = axis.deadLow = std::min(a, b);
    axis.rangeHigh = axis.deadHigh = std::max(a, b);
}

void HbAxisElement::SetDeadZone(int32_t index, int32_t low, int32_t high)
{
    if (!IsAxis(index))
        return;
    mAxes[index].deadLow = low;
    mAxes[index].deadHigh = high;
}

float HbAxisElement::GetRaw(int32_t)
{
    return 0.0f;
}

int HbAxisElement::SetValue(int32_t, float)
{
    return 0;
}

void HbAxisElement::Poll() {}

void HbAxisElement::SetInverted(int32_t index, int32_t flag)
{
    if (IsAxis(index))
        mAxes[index].sign = flag ? -1 : 1;
}
