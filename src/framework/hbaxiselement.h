// HbAxisElement: one to three analogue axes with a range, a dead zone and an
// inversion each, read as values from -1 to 1 (the mouse, pad sticks and rumble).
#pragma once

#include "hbmemory.h"

#include <cstdint>

class HbAxisElement : public HbAllocated
{
public:
    static constexpr int32_t kMaxAxes = 3;

    /// A count of 0 counts as 1; more than three is cut to three. Every axis
    /// starts with range and dead zone 0 to 0, not inverted.
    explicit HbAxisElement(int32_t axisCount);
    HbAxisElement(const HbAxisElement&) = delete;
    HbAxisElement& operator=(const HbAxisElement&) = delete;
    virtual ~HbAxisElement() = default;

    /// The raw value through the dead zone: 0 inside it, plus or minus 1 beyond
    /// its high end, linear between, times the inversion. A dead zone whose high
    /// end is not above its low end acts as a switch: 0 up to the low end, full
    /// scale beyond it. 0 for an index outside the element.
    virtual float GetAxis(int32_t index);
    /// Range and dead zone both become (min(a, b), max(a, b)).
    virtual void SetRange(int32_t index, int32_t a, int32_t b);
    /// Only the dead zone, taken as given.
    virtual void SetDeadZone(int32_t index, int32_t low, int32_t high);
    /// The axis's raw value; 0 here.
    virtual float GetRaw(int32_t index);
    /// A setting the element defines (rumble strength and duration); 0 here.
    virtual int SetValue(int32_t what, float value);
    /// Brings the raw values up to date; nothing here.
    virtual void Poll();
    /// Nonzero inverts the axis.
    virtual void SetInverted(int32_t index, int32_t flag);

    int32_t GetAxisCount() const { return mAxisCount; }
    int32_t GetRangeLow(int32_t index) const { return IsAxis(index) ? mAxes[index].rangeLow : 0; }
    int32_t GetRangeHigh(int32_t index) const { return IsAxis(index) ? mAxes[index].rangeHigh : 0; }
    int32_t GetDeadZoneLow(int32_t index) const { return IsAxis(index) ? mAxes[index].deadLow : 0; }
    int32_t GetDeadZoneHigh(int32_t index) const { return IsAxis(index) ? mAxes[index].deadHigh : 0; }
    int32_t GetSign(int32_t index) const { return IsAxis(index) ? mAxes[index].sign : 0; }

protected:
    bool IsAxis(int32_t index) const { return index >= 0 && index < mAxisCount; }

private:
    struct Axis
    {
        int8_t sign = 1;
        int32_t rangeLow = 0;
        int32_t rangeHigh = 0;
        int32_t deadLow = 0;
        int32_t deadHigh = 0;
    };

    int32_t mAxisCount;
    Axis mAxes[kMaxAxes];
};
