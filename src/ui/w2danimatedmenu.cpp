// Animated menus: steps stamped as moves, the linear blend of a move and the three-row window.
#include "w2danimatedmenu.h"

#include "hbclock.h"

namespace
{
int64_t RealNow()
{
    HbRealClock* clock = HbRealClock::Instance();
    return clock ? clock->mCurrentTime : 0;
}
} // namespace

W2dAnimatedMenu::W2dAnimatedMenu(W2dMenu* parent) : W2dValuedMenu(parent)
{
    SetState(kOpen);
}

void W2dAnimatedMenu::Stamp(int32_t backward)
{
    mMoveStart = RealNow();
    mMoveBackward = backward;
    mMoving = 1;
}

void W2dAnimatedMenu::Next()
{
    W2dValuedMenu::Next();
    Stamp(0);
}

void W2dAnimatedMenu::Previous()
{
    W2dValuedMenu::Previous();
    Stamp(1);
}

void W2dAnimatedMenu::Show()
{
    Layout();
}

void W2dAnimatedMenu::SetMoveDuration(int64_t ticks)
{
    mMoveDuration = ticks;
}

Vector* W2dAnimatedMenu::InterpolatePosition(Vector* out, const Vector& from, const Vector& to)
{
    double frequency = double(HbPerformanceFrequency());
    double elapsed = double(RealNow() - mMoveStart) / frequency;
    double duration = double(mMoveDuration) / frequency;
    // A move of no duration is over at once (a division by 0 would blend with NaN).
    double t = duration > 0.0 ? elapsed / duration : (elapsed >= 0.0 ? 1.0 : 0.0);
    if (t >= 1.0)
        *out = to;
    else if (t <= 0.0)
        *out = from;
    else
    {
        float f = float(t);
        *out = {from.x + (to.x - from.x) * f, from.y + (to.y - from.y) * f, from.z + (to.z - from.z) * f};
    }
    return out;
}

W2dMenu* W2dAnimatedMenu::Layout()
{
    int32_t count = GetEntryCount();
    if (count == 0)
        return this;
    W2dItemCallback callbacks[3] = {GetProperty(3), GetProperty(1), GetProperty(2)};
    for (int32_t i = 0; i < count; ++i)
        GetEntry(i)->W2dMenu::Hide();

    int32_t current = 0;
    for (int32_t i = 0; i < count; ++i)
        if (GetEntry(i) == GetCurrentEntry())
            current = i;
    int32_t rows = count <= 2 ? 2 : 3;
    int32_t index = (current + count - 1) % count;
    const Vector& position = GetPosition();
    const Vector& step = GetStep();
    for (int32_t row = 0; row < rows; ++row)
    {
        if (W2dGenericItem* label = GetEntry(index)->GetLabel())
        {
            label->Show();
            float r = float(row);
            label->SetPosition({position.x + r * step.x, position.y + r * step.y, position.z + r * step.z});
            label->SetUpdateCallback(callbacks[row]);
            label->Update();
        }
        index = (index + 1) % count;
    }
    return this;
}
