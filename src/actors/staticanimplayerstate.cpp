// The static animation player's state and machine.
#include "staticanimplayerstate.h"

#include "hbclock.h"
#include "rdanimchannel.h"
#include "rdanimmotor.h"
#include "tsanimactor.h"

#include <vector>

HB_DEFINE_CLASS_DESC(StaticAnimPlayerState, AnimPlayerState);
HB_DEFINE_CLASS_POOL(StaticAnimPlayerState, "StaticAnimPlayerState", StaticAnimPlayerState::kPoolSize);
HB_DEFINE_CLASS_DESC(StaticAnimPlayerStateMachine, HbRoot);
HB_DEFINE_CLASS_POOL(StaticAnimPlayerStateMachine, "AnimPlayerStateMachine", StaticAnimPlayerStateMachine::kPoolSize);

/// The state-over event of the static player.
static constexpr int32_t kSapStateOver = 518;

void StaticAnimPlayerState::NotifyOver()
{
    QueueStateOver(kSapStateOver);
}

namespace
{
struct ChannelList
{
    std::vector<uint16_t> ids;
    int32_t profile;
};
} // namespace

RdAnimChannel* StaticAnimPlayerState::StartChannel(RdAnimation* animation, int64_t startTicks, int64_t blendInTicks)
{
    RdAnimMotor* motor = mActor ? mActor->GetAnimMotor() : nullptr;
    if (!motor)
        return nullptr;
    // The upper body leaves whatever the other channels play. The list is taken first: a
    // split adds channels to the motor.
    ChannelList others{{}, mBoneProfile};
    motor->ForAllAnimChannels(
        [](RdAnimChannel* channel, void* data)
        {
            auto* list = static_cast<ChannelList*>(data);
            if (channel->IsAlive() && !(channel->GetRampTo() < channel->GetRampFrom()) &&
                channel->GetBones().mId != list->profile)
                list->ids.push_back(channel->GetId());
        },
        &others);
    for (uint16_t id : others.ids)
    {
        const RdChannel* source = motor->GetChannel(id);
        const float weight = source ? source->GetWeight() : 0.0f;
        RdChannel* split = motor->SplitChannelById(id, mBoneProfile, mActor);
        // A new channel has not weighed anything yet: its fade starts from the weight those
        // bones had, or they would drop out at once.
        if (split && split->GetId() != id)
            motor->RampChannelWeight(split->GetId(), weight, 0.0f, blendInTicks);
    }

    motor->RemoveKilledProfile(mActor, mBoneProfile);
    const float start = float(double(startTicks) / double(HbPerformanceFrequency()));
    RdAnimChannel* channel = motor->PlayAnim(animation, mBoneProfile, start);
    if (!channel)
        return nullptr;
    motor->RampChannelWeight(channel->GetId(), 0.0f, 1.0f, blendInTicks);
    channel->SetLoop(mPlayKind != 0 ? 1 : 0);
    if (motor->AddKilledProfile(mActor, mBoneProfile))
        motor->ApplyKilledProfile(mActor, channel->GetId(), mBoneProfile);
    mProfile = channel->GetBones();
    mHasProfile = 1;
    return channel;
}

void StaticAnimPlayerState::ReleaseProfile()
{
    RdAnimMotor* motor = mActor ? mActor->GetAnimMotor() : nullptr;
    if (mHasProfile && motor)
    {
        for (int32_t i = 0; i < motor->GetAnimChannelCount(); ++i)
        {
            RdChannel* channel = motor->GetAnimChannel(i);
            if (!channel || channel->GetBones().mId == mProfile.mId)
                continue;
            RdProfile bones = channel->GetBones();
            bones.AddBones(mProfile.mMask);
            channel->SetBones(bones);
        }
    }
    mHasProfile = 0;
    if (RdAnimChannel* channel = GetChannel())
        channel->mOverlay = 1;
}
