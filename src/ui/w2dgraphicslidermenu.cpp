// Slider rows: the gauges and arrows placed after the label, the value stepped by the value actions and
// the back gauge catching up with the front one half a second after a change.
#include "w2dgraphicslidermenu.h"

#include "hbclock.h"
#include "w2dsurfacegraphicitem.h"

HB_DEFINE_CLASS_DESC(W2dGraphicSliderMenu, W2dGraphicMenu);

namespace
{
constexpr float kTile = 0.03125f;
constexpr float kArrowSize = 0.0625f;
constexpr float kArrowRise = 0.046875f;
constexpr float kGaugeOffset = 0.015625f + 0.042495f;
constexpr float kRightArrowOffset = 0.15625f;
constexpr Rgba kFrontColour = {100, 150, 100, 150};
constexpr Rgba kNone = {0, 0, 0, 0};

W2dGaugeItem* MakeGauge(int32_t priority)
{
    auto* gauge = new W2dGaugeItem("FE_OPTION_JAUGE_TEX", -1.0f, nullptr, 13);
    gauge->AddRef();
    gauge->SetPriority(priority);
    gauge->Create();
    gauge->SetSize({0.25f, 0.0625f, 0.0f});
    gauge->Hide();
    return gauge;
}

float WidthOf(W2dGenericItem* item)
{
    Vector size = {0.0f, 0.0f, 0.0f};
    if (item)
        item->GetSize(&size);
    return size.x;
}

void Drop(W2dGenericItem* item)
{
    if (!item)
        return;
    item->Release();
    item->HbRoot::Release();
}

int64_t RealNow()
{
    HbRealClock* clock = HbRealClock::Instance();
    return clock ? clock->mCurrentTime : 0;
}
} // namespace

W2dPictureItem* MakeOptionArrow(bool left)
{
    auto* arrow = new W2dPictureItem("FE_OPTION_JAUGE_ARROW_TEX", -1.0f, nullptr);
    arrow->AddRef();
    arrow->SetPriority(100);
    arrow->Create();
    arrow->SetSize({kArrowSize, kArrowSize, 0.0f});
    if (left)
    {
        // Mirrored: each corner takes the u of its horizontal neighbour.
        Vector2 c[4];
        arrow->GetCornerUVs(&c[0], &c[1], &c[2], &c[3]);
        arrow->SetCornerUVs(c[1].x, c[0].y, c[0].x, c[1].y, c[3].x, c[2].y, c[2].x, c[3].y);
    }
    arrow->Hide();
    return arrow;
}

W2dGraphicSliderMenu::W2dGraphicSliderMenu(W2dMenu* parent) : W2dGraphicMenu(parent)
{
    if (!parent)
        return;
    mLeftArrow = MakeOptionArrow(true);
    mRightArrow = MakeOptionArrow(false);
    mBackGauge = MakeGauge(90);
    mFrontGauge = MakeGauge(89);
    mFrontGauge->SetColour(kFrontColour);
}

W2dGraphicSliderMenu::~W2dGraphicSliderMenu()
{
    W2dGraphicSliderMenu::Clear();
    Drop(mLeftArrow);
    Drop(mRightArrow);
    Drop(mBackGauge);
    Drop(mFrontGauge);
}

template <typename F> void W2dGraphicSliderMenu::ForEachPart(F function)
{
    W2dGenericItem* parts[4] = {mLeftArrow, mRightArrow, mBackGauge, mFrontGauge};
    for (W2dGenericItem* part : parts)
        if (part)
            function(part);
}

float W2dGraphicSliderMenu::Fraction() const
{
    // An empty range shows an empty gauge rather than dividing by zero.
    if (!mValue || !(mMaximum > mMinimum))
        return 0.0f;
    return (*mValue - mMinimum) / (mMaximum - mMinimum);
}

void W2dGraphicSliderMenu::SetRange(float minimum, float maximum, float step)
{
    mMinimum = minimum;
    mMaximum = maximum;
    mStep = step;
    if (!mValue)
        return;
    if (maximum > minimum)
    {
        if (*mValue < minimum)
            *mValue = minimum;
        if (*mValue > maximum)
            *mValue = maximum;
    }
    float f = Fraction();
    if (mBackGauge)
        mBackGauge->SetValue(f);
    if (mFrontGauge)
        mFrontGauge->SetValue(f);
}

void W2dGraphicSliderMenu::SetValuePointer(float* value)
{
    if (!mValue)
        mValue = value;
}

void W2dGraphicSliderMenu::SetLabelSize(const Vector& size)
{
    if (GetLabel())
        GetLabel()->SetSize({size.x - mGaugeWidth - 2.0f * WidthOf(mLeftArrow), size.y, size.z});
}

void W2dGraphicSliderMenu::SetLabelPosition(const Vector& p)
{
    W2dGraphicMenu::SetLabelPosition(p);
    float w = WidthOf(GetLabel());
    Vector arrow = {p.x + w + kTile, p.y - kArrowRise, p.z};
    Vector gauge = {arrow.x + kGaugeOffset, arrow.y, p.z};
    if (mLeftArrow)
        mLeftArrow->SetPosition(arrow);
    if (mBackGauge)
        mBackGauge->SetPosition(gauge);
    if (mFrontGauge)
        mFrontGauge->SetPosition(gauge);
    if (mRightArrow)
        mRightArrow->SetPosition({gauge.x + kRightArrowOffset, gauge.y, p.z});
}

void W2dGraphicSliderMenu::SetLabelColour(const Rgba& c)
{
    W2dGraphicMenu::SetLabelColour(c);
    if (c.alpha >= 80)
    {
        Rgba opaque = {c.red, c.green, c.blue, 255};
        ForEachPart([&](W2dGenericItem* part) { part->SetColour(opaque); });
        if (mFrontGauge)
            mFrontGauge->SetColour(kFrontColour);
    }
    else
        ForEachPart([](W2dGenericItem* part) { part->SetColour(kNone); });
}

void W2dGraphicSliderMenu::SetGaugeWidth(const Vector& size)
{
    mGaugeWidth = 0.650004f * size.x;
    for (W2dGaugeItem* gauge : {mBackGauge, mFrontGauge})
        if (gauge)
            gauge->SetSize({mGaugeWidth, 0.0625f, 0.0f});
}

float W2dGraphicSliderMenu::GetLabelWidth()
{
    return W2dGraphicMenu::GetLabelWidth() + mGaugeWidth + 2.0f * WidthOf(mLeftArrow);
}

void W2dGraphicSliderMenu::Show()
{
    W2dGraphicMenu::Show();
    ForEachPart([](W2dGenericItem* part) { part->Show(); });
}

void W2dGraphicSliderMenu::ShowLabel()
{
    W2dGraphicMenu::ShowLabel();
    ForEachPart([](W2dGenericItem* part) { part->Show(); });
}

void W2dGraphicSliderMenu::Hide()
{
    W2dGraphicMenu::Hide();
    ForEachPart([](W2dGenericItem* part) { part->Hide(); });
}

void W2dGraphicSliderMenu::Deselect()
{
    if (mLeftArrow)
        mLeftArrow->Hide();
    if (mRightArrow)
        mRightArrow->Hide();
}

void W2dGraphicSliderMenu::SyncValue()
{
    float f = Fraction();
    for (W2dGaugeItem* gauge : {mBackGauge, mFrontGauge})
        if (gauge && gauge->GetValue() != f)
            gauge->SetValue(f);
}

void W2dGraphicSliderMenu::RevealRow(int32_t row, int32_t columns)
{
    ForEachPart([](W2dGenericItem* part) { part->Hide(); });
    W2dGraphicMenu::RevealRow(row, columns);
    float x = float(columns) * kTile - WidthOf(GetLabel());
    if (x > kArrowSize && mLeftArrow)
        mLeftArrow->Show();
    if (x - kArrowSize > kArrowSize)
    {
        if (mRightArrow)
            mRightArrow->Show();
        for (W2dGaugeItem* gauge : {mBackGauge, mFrontGauge})
            if (gauge)
            {
                gauge->SetWidth(x - kArrowSize);
                gauge->Show();
            }
    }
}

void W2dGraphicSliderMenu::HandleValueInput()
{
    if (!mValue)
        return;
    static ActionCache nextCache;
    static ActionCache previousCache;
    if (IsActionTriggered(nextCache, "MENU_NEXT_VALUE"))
    {
        SetState(GetState());
        *mValue += mStep;
        if (*mValue > mMaximum)
            *mValue = mMaximum;
        Notify(kChoose);
        if (mFrontGauge)
            mFrontGauge->SetValue(Fraction());
    }
    else if (IsActionTriggered(previousCache, "MENU_PREVIOUS_VALUE"))
    {
        SetState(GetState());
        *mValue -= mStep;
        if (*mValue < mMinimum)
            *mValue = mMinimum;
        Notify(kChoose);
        if (mBackGauge)
            mBackGauge->SetValue(Fraction());
    }
    float f = Fraction();
    // A change shows as the gap between the gauges for half a second, then the other one follows.
    bool settled = double(RealNow() - GetStateTime()) > 0.5 * double(HbPerformanceFrequency());
    if (settled && mBackGauge && mBackGauge->GetValue() < f)
        mBackGauge->SetValue(f);
    if (settled && mFrontGauge && mFrontGauge->GetValue() > f)
        mFrontGauge->SetValue(f);
    if (mLeftArrow)
        f > 0.0f ? (void)mLeftArrow->Show() : mLeftArrow->Hide();
    if (mRightArrow)
        f < 1.0f ? (void)mRightArrow->Show() : mRightArrow->Hide();
}
