// The move animation player's state and machine.
#include "moveanimplayerstate.h"

#include "animmovectrl.h"
#include "hbclock.h"
#include "rdanim.h"
#include "rdanimchannel.h"
#include "tsanimactor.h"
#include "wvectorutil.h"

#include <algorithm>

HB_DEFINE_CLASS_DESC(MoveAnimPlayerState, AnimPlayerState);
HB_DEFINE_CLASS_POOL(MoveAnimPlayerState, "MoveAnimPlayerState", MoveAnimPlayerState::kPoolSize);
HB_DEFINE_CLASS_DESC(MoveAnimPlayerStateMachine, HbRoot);
HB_DEFINE_CLASS_POOL(MoveAnimPlayerStateMachine, "MoveAnimPlayerStateMachine", MoveAnimPlayerStateMachine::kPoolSize);

/// The state-over event of the move player.
static constexpr int32_t kMapStateOver = 517;

int32_t MoveAnimPlayerState::Update()
{
    RdAnimChannel* channel = mChannel.IsValid() ? HbCastTo<RdAnimChannel>(mChannel.GetObject()) : nullptr;
    if (mSpeedRate && channel && channel->GetAnimation())
    {
        // Slow actors play their walk slower, never below 40 % of its speed.
        const float reference = channel->GetAnimation()->GetRootSpeed();
        const float speed = std::min(mActor ? mActor->mMovementFactor : 1.0f, 1.0f);
        const float target = 0.4f * reference + speed * speed * 0.6f * reference;
        HbGameClock* clock = HbGameClock::Instance();
        mSmoothedRate = BlendByFrameTime(mSmoothedRate, target, 50.0f, clock ? clock->mStepSeconds : 0.0f);
        channel->SetSpeed(mSmoothedRate);
    }
    return AnimPlayerState::Update();
}

int32_t MoveAnimPlayerState::MinimumDurationPassed()
{
    HbGameClock* clock = HbGameClock::Instance();
    const int64_t now = clock ? clock->mGameTime : 0;
    return now - mStartTime >= mMinimumDuration ? 1 : 0;
}

void MoveAnimPlayerState::NotifyOver()
{
    QueueStateOver(kMapStateOver);
}

RdAnimChannel* MoveAnimPlayerState::StartChannel(RdAnimation* animation, int64_t startTicks, int64_t blendInTicks)
{
    AnimMoveCtrl* controller = mActor ? mActor->GetMoveController() : nullptr;
    if (!controller)
        return nullptr;
    HbHandlePtr handle = controller->PlayAnim(animation, mBoneProfile, blendInTicks, startTicks, mPlayKind != 0);
    mSmoothedRate = 0.0f;
    return handle.IsValid() ? HbCastTo<RdAnimChannel>(handle.GetObject()) : nullptr;
}

void MoveAnimPlayerState::ApplyTo(AnimMoveCtrl* controller) const
{
    controller->SetMode(uint32_t(mMoveMode));
    controller->SetFlags(uint32_t(mMoveFlags));
    controller->SetMaxStep(mMaxStep);
}

// ---- The machine -------------------------------------------------------------------------------------

MoveAnimPlayerStateMachine::MoveAnimPlayerStateMachine()
{
    mCurrent = mPrevious = mRequested = 1;
}

int32_t MoveAnimPlayerStateMachine::Update()
{
    ApplyTransition();
    return AnimPlayerStateMachine::Update();
}

void MoveAnimPlayerStateMachine::ApplyTransition()
{
    TsAnimActor* actor = GetActor();
    AnimMoveCtrl* controller = actor ? actor->GetMoveController() : nullptr;
    auto* previous = HbCastTo<MoveAnimPlayerState>(GetState(mPrevious));
    RdAnimChannel* previousChannel = nullptr;
    if (previous)
    {
        previous->MinimumDurationPassed();
        previousChannel =
            previous->mChannel.IsValid() ? HbCastTo<RdAnimChannel>(previous->mChannel.GetObject()) : nullptr;
    }
    if (!controller)
        return;
    auto* current = HbCastTo<MoveAnimPlayerState>(GetCurrentState());
    if (!current)
    {
        controller->SetMode(uint32_t(mDefaultMoveMode));
        controller->SetFlags(uint32_t(mDefaultMoveFlags));
        controller->SetMaxStep(mDefaultMaxStep);
        return;
    }
    // A state of higher priority still fading out keeps its hold on the movement.
    if (mPrevious != mCurrent && previousChannel && previousChannel->mActive &&
        previousChannel->GetRampTo() < previousChannel->GetRampFrom() && current->mPriority < previous->mPriority)
        previous->ApplyTo(controller);
    else
        current->ApplyTo(controller);
}
