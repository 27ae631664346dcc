// The language wheel: labels placed round the screen's centre through two engine frames, a step turning
// the wheel by one slot at 180 degrees a second.
#include "mocircularmenu.h"

#include "frame.h"
#include "hbclock.h"
#include "matrix.h"

#include <cmath>

HB_DEFINE_CLASS_DESC(MoCircularMenu, HbRoot);

namespace
{
const Vector kCentre = {0.5f, 0.5f, 0.0f};
const Vector kRadius = {0.0f, 0.2f, 0.0f};
const Vector kDepthAxis = {0.0f, 0.0f, 1.0f};
} // namespace

MoCircularMenu::MoCircularMenu(W2dMenu* parent) : W2dAnimatedMenu(parent)
{
    mCentre = Frame::Create();
    mRadius = Frame::Create();
    if (mCentre && mRadius)
    {
        Frame::Translate(mCentre, &kCentre, kCombineReplace);
        Frame::Translate(mRadius, &kRadius, kCombineReplace);
        Frame::AddChild(mCentre, mRadius);
    }
}

MoCircularMenu::~MoCircularMenu()
{
    if (mRadius)
    {
        Frame::RemoveChild(mRadius);
        Frame::Destroy(mRadius);
    }
    if (mCentre)
        Frame::Destroy(mCentre);
}

void MoCircularMenu::Next()
{
    W2dAnimatedMenu::Next();
    mMoving = 1;
    mMoveBackward = 0;
}

void MoCircularMenu::Previous()
{
    W2dAnimatedMenu::Previous();
    mMoving = 1;
    mMoveBackward = 1;
}

W2dMenu* MoCircularMenu::HandleInput()
{
    int32_t count = GetEntryCount();
    mStepAngle = count > 0 ? 360.0f / float(count) : 0.0f;
    if (mMoving && std::fabs(mTurned) < mStepAngle)
    {
        Layout();
        return this;
    }
    mMoving = 0;
    mTurned = 0.0f;
    return W2dMenu::HandleInput();
}

int32_t MoCircularMenu::IsNextPressed()
{
    static ActionCache cache;
    return IsActionTriggered(cache, "MENU_NEXT_VALUE");
}

int32_t MoCircularMenu::IsPreviousPressed()
{
    static ActionCache cache;
    return IsActionTriggered(cache, "MENU_PREVIOUS_VALUE");
}

int32_t MoCircularMenu::IsChoosePressed()
{
    static ActionCache cache;
    return IsActionTriggered(cache, "MENU_CHOOSE");
}

int32_t MoCircularMenu::IsBackPressed()
{
    static ActionCache cache;
    return IsActionTriggered(cache, "MENU_UP");
}

W2dMenu* MoCircularMenu::Layout()
{
    if (GetState() != kOpen)
        SetState(kOpen);
    int32_t count = GetEntryCount();
    if (count == 0 || !mCentre || !mRadius)
        return this;

    Frame::SetIdentity(mCentre);
    Frame::Translate(mCentre, &kCentre, kCombineReplace);
    Frame::Rotate(mCentre, &kDepthAxis, mTurned, kCombinePreConcat);
    // The wheel starts where it was before the step and comes to rest as the move turns it back.
    if (mMoving)
        Frame::Rotate(mCentre, &kDepthAxis, mMoveBackward ? -mStepAngle : mStepAngle, kCombinePreConcat);

    W2dMenu* current = GetCurrentEntry();
    int32_t first = 0;
    for (int32_t i = 0; i < count; ++i)
        if (GetEntry(i) == current)
            first = i;
    for (int32_t k = 0; k < count; ++k)
    {
        W2dMenu* entry = GetEntry((first + k) % count);
        if (W2dGenericItem* label = entry->GetLabel())
        {
            const Matrix* world = Frame::GetWorldMatrix(mRadius);
            Vector size = {0.0f, 0.0f, 0.0f};
            label->GetSize(&size);
            label->SetPosition({world->pos.x - size.x / 2.0f, world->pos.y - size.y / 2.0f, 0.0f});
            label->SetUpdateCallback(entry == current && !mMoving ? GetProperty(1) : GetProperty(3));
            label->Show();
            label->Update();
        }
        Frame::Rotate(mCentre, &kDepthAxis, mStepAngle, kCombinePreConcat);
    }
    if (mMoving)
    {
        HbRealClock* clock = HbRealClock::Instance();
        float turn = mSpeed * (clock ? clock->mLastStepSeconds : 0.0f);
        mTurned += mMoveBackward ? turn : -turn;
    }
    return this;
}
