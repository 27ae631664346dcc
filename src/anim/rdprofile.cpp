// Bone profiles.
#include "rdprofile.h"

HB_DEFINE_CLASS_POOL(RdProfile, "RdProfile", 100);

void RdProfile::Rebuild()
{
    mBoneCount = 0;
    const int32_t limit = mMaxBoneCount < kMaxBones ? mMaxBoneCount : kMaxBones;
    for (int32_t i = 0; i < limit; ++i)
        if (mMask & (uint64_t(1) << i))
            mBones[mBoneCount++] = uint8_t(i);
}

void RdProfile::SetAll()
{
    mId = kAllId;
    mMask = ~uint64_t(0);
    Rebuild();
}

void RdProfile::AddBone(int32_t boneIndex)
{
    // The bit of an index of 64 or more is 0: such a bone never enters a profile.
    if (boneIndex < 0 || boneIndex >= kMaxBones)
        return;
    const uint64_t bit = uint64_t(1) << boneIndex;
    if (mMask & bit)
        return;
    mMask |= bit;
    Rebuild();
}

void RdProfile::AddBones(uint64_t mask)
{
    if (mask == mMask)
        return;
    mMask |= mask;
    Rebuild();
}

int RdProfile::RemoveBones(const RdProfile& other)
{
    const uint64_t mask = mMask & ~other.mMask;
    if (mask == mMask)
        return 0;
    mMask = mask;
    Rebuild();
    return 1;
}
