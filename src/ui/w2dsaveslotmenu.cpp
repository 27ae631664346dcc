// The save carousel: the shared arrows with their nudging and fading effects, steps refused with too
// few cards, and the 0.2 s slide and cross-fade from one card to the next.
#include "w2dsaveslotmenu.h"

#include "hbclock.h"
#include "w2ditemeffect.h"
#include "w2dsurfacegraphicitem.h"

namespace
{
constexpr float kArrowSize = 0.0625f;
constexpr float kArrowY = 0.46875f;
constexpr float kOffScreenWidth = 0.26875f;
constexpr int32_t kFadeEffect = 1;

W2dPictureItem* sLeftArrow = nullptr;
W2dPictureItem* sRightArrow = nullptr;

int64_t RealNow()
{
    HbRealClock* clock = HbRealClock::Instance();
    return clock ? clock->mCurrentTime : 0;
}

/// Corner i takes what corner (i + shift) mod 4 had.
void TurnUVs(W2dPictureItem* item, int32_t shift)
{
    Vector2 old[4];
    item->GetCornerUVs(&old[0], &old[1], &old[2], &old[3]);
    Vector2 c[4];
    for (int32_t i = 0; i < 4; ++i)
        c[i] = old[(i + shift) % 4];
    item->SetCornerUVs(c[0].x, c[0].y, c[1].x, c[1].y, c[2].x, c[2].y, c[3].x, c[3].y);
}

W2dPictureItem* MakeArrow(float x, float nudge, int32_t turn)
{
    auto* arrow = new W2dPictureItem("FE_HIT_TEX", -1.0f, nullptr);
    arrow->AddRef();
    arrow->SetPriority(0);
    arrow->Create();
    arrow->SetSize({kArrowSize, kArrowSize, 0.0f});
    arrow->SetPosition({x, kArrowY, 0.0f});
    // Turned opposite ways, so that each points away from the card.
    TurnUVs(arrow, turn);
    arrow->Show();
    const Vector offset = {nudge, 0.0f, 0.0f};
    auto* move = new W2dMoveAndBackEffect(&offset, int64_t(0.5 * double(HbPerformanceFrequency())));
    move->AddRef();
    arrow->AddEffect(move);
    move->Begin(arrow);
    move->HbRoot::Release();
    const Rgba clear = {255, 255, 255, 0};
    const Rgba white = {255, 255, 255, 255};
    auto* fade = new W2dColourFadeEffect(HbPerformanceFrequency(), &clear, &white, 0);
    fade->AddRef();
    arrow->AddEffect(fade);
    fade->Begin(arrow);
    fade->HbRoot::Release();
    return arrow;
}

void DropArrow(W2dPictureItem*& arrow)
{
    if (!arrow)
        return;
    W2dPictureItem* held = arrow;
    arrow = nullptr;
    held->Release();
    held->HbRoot::Release();
}
} // namespace

W2dSaveSlotMenu::W2dSaveSlotMenu(W2dMenu* parent) : W2dAnimatedMenu(parent)
{
    if (!sLeftArrow)
        sLeftArrow = MakeArrow(0.275f, -0.01f, 3);
    if (!sRightArrow)
        sRightArrow = MakeArrow(0.725f, 0.01f, 1);
}

W2dPictureItem* W2dSaveSlotMenu::GetLeftArrow()
{
    return sLeftArrow;
}

W2dPictureItem* W2dSaveSlotMenu::GetRightArrow()
{
    return sRightArrow;
}

void W2dSaveSlotMenu::Clear()
{
    DropArrow(sLeftArrow);
    DropArrow(sRightArrow);
    W2dMenu::Clear();
}

void W2dSaveSlotMenu::Show()
{
    if (sLeftArrow)
        sLeftArrow->Show();
    if (sRightArrow)
        sRightArrow->Show();
    Layout();
}

void W2dSaveSlotMenu::Hide()
{
    if (sLeftArrow)
        sLeftArrow->Hide();
    if (sRightArrow)
        sRightArrow->Hide();
    W2dMenu::Hide();
}

int32_t W2dSaveSlotMenu::IsNextPressed()
{
    static ActionCache cache;
    int32_t pressed = IsActionTriggered(cache, "MENU_NEXT_VALUE");
    if (GetEntryCount() < 3)
    {
        if (sRightArrow)
            sRightArrow->Hide();
        return 0;
    }
    if (pressed)
    {
        SetState(kMovingNext);
        if (sRightArrow)
            sRightArrow->RestartEffect(kFadeEffect);
    }
    if (sRightArrow)
        sRightArrow->Show();
    return pressed;
}

int32_t W2dSaveSlotMenu::IsPreviousPressed()
{
    static ActionCache cache;
    int32_t pressed = IsActionTriggered(cache, "MENU_PREVIOUS_VALUE");
    if (GetEntryCount() < 2)
    {
        if (sLeftArrow)
            sLeftArrow->Hide();
        return 0;
    }
    if (pressed)
    {
        SetState(kMovingPrevious);
        if (sLeftArrow)
            sLeftArrow->RestartEffect(kFadeEffect);
    }
    if (sLeftArrow)
        sLeftArrow->Show();
    return pressed;
}

int32_t W2dSaveSlotMenu::IsChoosePressed()
{
    static ActionCache cache;
    return IsActionTriggered(cache, "MENU_CHOOSE");
}

int32_t W2dSaveSlotMenu::IsBackPressed()
{
    static ActionCache cache;
    return IsActionTriggered(cache, "MENU_UP");
}

W2dMenu* W2dSaveSlotMenu::Layout()
{
    if (sLeftArrow)
        sLeftArrow->Update();
    if (sRightArrow)
        sRightArrow->Update();
    const int32_t count = GetEntryCount();
    if (count == 0)
        return this;
    int32_t current = 0;
    for (int32_t i = 0; i < count; ++i)
        if (GetEntry(i) == GetCurrentEntry())
            current = i;
    const W2dItemCallback callbacks[3] = {GetProperty(3), GetProperty(1), GetProperty(2)};
    const Vector& position = GetPosition();
    const Vector& step = GetStep();
    auto rowAt = [&](float r, float shift)
    {
        return Vector{position.x + r * step.x + shift * step.x, position.y + r * step.y + shift * step.y,
                      position.z + r * step.z + shift * step.z};
    };
    auto put = [](W2dGenericItem* label, const Vector& at, W2dItemCallback callback, uint8_t alpha)
    {
        const Rgba colour = {255, 255, 255, alpha};
        label->SetUpdateCallback(callback);
        label->SetCornerColours(colour, colour, colour, colour);
        label->SetPosition(at);
        label->Show();
        label->Update();
    };
    const int32_t state = GetState();
    if (state != kMovingNext && state != kMovingPrevious)
    {
        for (int32_t i = 0; i < count; ++i)
            GetEntry(i)->W2dMenu::Hide();
        int32_t rows = count > 2 ? 3 : 2;
        for (int32_t r = 0; r < rows; ++r)
            if (W2dGenericItem* label = GetEntry((current - 1 + r + count) % count)->GetLabel())
                put(label, rowAt(float(r), 0.0f), callbacks[r], r == 1 ? 255 : 0);
        return this;
    }

    const int64_t duration = int64_t(0.2 * double(HbPerformanceFrequency()));
    const int64_t elapsed = RealNow() - GetStateTime();
    if (elapsed >= duration)
    {
        SetState(kOpen);
        return this;
    }
    const float t = elapsed > 0 ? float(double(elapsed) / double(duration)) : 0.0f;
    const float shift = state == kMovingNext ? -t : t;
    for (int32_t i = 0; i < count; ++i)
        GetEntry(i)->W2dMenu::Hide();
    const int32_t rows = count <= 2 ? 1 : 3;
    const int32_t start = state == kMovingPrevious ? current : current - 2;
    for (int32_t r = 0; r < rows; ++r)
    {
        W2dGenericItem* label = GetEntry(((start + r) % count + count) % count)->GetLabel();
        if (!label)
            continue;
        Vector at = rowAt(float(r), shift);
        uint8_t alpha = 0;
        if (r == 0)
        {
            if (state == kMovingPrevious)
                alpha = uint8_t(255.0f * t);
            else if (at.x + kOffScreenWidth < 0.0f)
                at.x += 3.0f * step.x;
        }
        else if (r == 1)
            alpha = uint8_t(255.0f - 255.0f * t);
        else if (state == kMovingNext)
            alpha = uint8_t(255.0f * t);
        else
        {
            if (at.x > 1.0f)
                at.x -= step.x;
            else if (at.y > 1.0f)
                at.y -= step.y;
        }
        put(label, at, callbacks[r], alpha);
    }
    return this;
}
