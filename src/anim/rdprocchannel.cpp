// Procedural channels.
#include "rdprocchannel.h"

#include "animation.h"
#include "hierarchy.h"

HB_DEFINE_CLASS_DESC(RdProcChannel, RdChannel);
HB_DEFINE_CLASS_POOL(RdProcChannel, "RdProcChannel", 30);

RdProcChannel::RdProcChannel(uint16_t channelId, int64_t now) : RdChannel(channelId, now) {}

RdProcChannel::~RdProcChannel()
{
    FireEvent(kEndEvent, true);
}

void RdProcChannel::Attach(Hierarchy* modelHierarchy, int64_t now)
{
    mCreationTime = mLastUpdateTime = now;
    mKeyFrame = nullptr;
    if (!modelHierarchy || !modelHierarchy->interpolator || mBones.mBoneCount == 0)
        return;
    const int32_t bone = mBones.mBones[0];
    if (bone < modelHierarchy->interpolator->nodeCount)
        mKeyFrame = AnimInterpolator::GetInterpFrame(modelHierarchy->interpolator, bone);
}

int RdProcChannel::Update(int64_t now)
{
    BeginStep();
    UpdateWeight(now);
    RdChannel::FireDue(now);
    if (mFunction)
        mFunction(mKeyFrame, mData);
    mLastUpdateTime = now;
    return EndStep() ? 0 : 1;
}
