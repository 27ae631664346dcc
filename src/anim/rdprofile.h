// RdProfile: a set of skeleton bones (a body part) as a 64-bit mask and as the sorted list
// of the same bone indices. Only indices 0 to 63 can belong to a profile.
#pragma once

#include "hbperclassfreelist.h"

#include <cstdint>

class RdProfile : public HbAllocated
{
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kMaxBones = 64;
    /// The profile id that means every bone ("ALL").
    static constexpr int32_t kAllId = 1;

    RdProfile() = default;
    RdProfile(const RdProfile& other) = default;
    RdProfile& operator=(const RdProfile& other) = default;

    /// The list from the mask: every set bit below the maximum bone count, increasing.
    void Rebuild();
    /// Id 1, every bit set; the list then holds 0 .. maximum - 1.
    void SetAll();
    /// Nothing for a bone already in, or an index outside 0 .. 63.
    void AddBone(int32_t boneIndex);
    void AddBones(uint64_t mask);
    /// 1 when bones of the other profile were removed (the list rebuilt), else 0.
    int RemoveBones(const RdProfile& other);

    uint64_t mMask = 0;
    int32_t mId = 0;
    int32_t mMaxBoneCount = kMaxBones;
    uint8_t mBones[kMaxBones] = {};
    int32_t mBoneCount = 0;
};
