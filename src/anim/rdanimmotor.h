// RdAnimMotor: the animation engine of one animated model. It keeps ordered lists of
// animation and procedural channels, blends their keyframes bone by bone into the model
// hierarchy every frame, computes the bone matrices and turns locked bones towards their
// targets. Killed profiles let several controllers share the skeleton: a channel started
// later gives the profile's bones up unless it is exempt for the profile's owner.
#pragma once

#include "hbperclassfreelist.h"
#include "vector.h"

#include <cstdint>

struct Atomic;
struct Frame;
class HbRoot;
class RdAnimation;
class RdAnimChannel;
class RdChannel;
class RdModel;
class RdProcChannel;
class RdSkeleton;
struct RdBone;
class RdAnimMotor;

using RdProcCallback = void (*)(void* keyFrame, void* data);
/// Called with the channel's own interpolated keyframe of the bone, before the blend reads it.
using RdBoneCallback = void (*)(void* keyFrame, RdChannel* channel, void* data);
using RdPostHierarchyCallback = void (*)(RdModel* model, void* data);
using RdPostUpdateCallback = void (*)(RdAnimMotor* motor, void* data);
using RdAnimChannelFn = void (*)(RdAnimChannel* channel, void* data);

/// A bone turned towards a direction after the animation.
class RdLockedBones
{
    HB_DECLARE_CLASS_POOL();

public:
    /// 1. mode 0: target in the root bone's space, smoothed; 1: world direction, at once;
    /// 2: no turning. Without a direction the target comes from the bone frame.
    int SetTarget(const Vector* direction, int32_t mode);

    Vector mCurrent = {0, 0, 0};
    Vector mTarget = {0, 0, 0};
    int32_t mBoneId = 0;
    int32_t mBoneIndex = -1;
    Frame* mBoneFrame = nullptr;
    Frame* mRootFrame = nullptr;
    int32_t mMode = 2;
    float mRate = 100.0f;
};

class RdAnimMotor
{
public:
    static constexpr int32_t kMaxAnimChannels = 32;
    static constexpr int32_t kMaxProcChannels = 16;
    static constexpr int32_t kMaxKilledProfiles = 5;
    static constexpr int32_t kMaxLockedBones = 2;
    /// The owner node's flag that the first update with animation channels sets.
    static constexpr uint32_t kReadyFlag = 0x20;

    struct RdKilledProfile
    {
        HB_DECLARE_CLASS_POOL();
        void* owner;
        int32_t profileId;
    };

    /// owner: the node that receives the animations' events (not referenced; may be null).
    explicit RdAnimMotor(HbRoot* owner);
    /// Channels, killed-profile and locked-bone records freed; models and skeleton released.
    ~RdAnimMotor();
    RdAnimMotor(const RdAnimMotor&) = delete;
    RdAnimMotor& operator=(const RdAnimMotor&) = delete;

    /// Where the first update with animation channels sets kReadyFlag (null: nowhere).
    void SetOwnerFlags(uint32_t* flags) { mOwnerFlags = flags; }
    Frame* GetRootFrame() const { return mRootFrame; }

    void SetSkeleton(RdSkeleton* skeleton);
    /// Needs the skeleton first (0 otherwise). The clump frame goes under the root frame and
    /// the model is bound to the skeleton; the first model added becomes current. 1.
    int AddModel(RdModel* model);
    RdSkeleton* GetSkeleton() const { return mSkeleton; }
    RdModel* GetModel() const { return mCurrentModel; }

    /// A new channel on the skeleton's profile, split along the killed profiles. Null without
    /// animation, skeleton, model or profile, or when kMaxAnimChannels play already.
    RdAnimChannel* PlayAnim(RdAnimation* animation, int32_t profileId, float startTime);
    RdAnimChannel* PlayAnimByName(const char* resourceId, int32_t profileId, float startTime);
    /// The profile's bones leave the channel and go on playing the same animation in step on
    /// a new channel (returned). The channel itself when it is left with no bones; null when
    /// nothing was split.
    RdChannel* SplitChannel(RdChannel* channel, int32_t profileId, void* owner);
    RdChannel* SplitChannelById(uint16_t channelId, int32_t profileId, void* owner);
    /// Null for a bone the skeleton lacks or when kMaxProcChannels run already.
    RdProcChannel* AddProcChannel(int32_t boneId, RdProcCallback callback, void* data);

    /// The ramp starts now. The id, or 0 when no channel has it.
    uint16_t RampChannelWeight(uint16_t channelId, float from, float to, int64_t duration);
    void FadeOutAllChannels(float seconds);

    /// 1 when found. Inside the motor's update the channel leaves the list once the channel
    /// being stepped has returned, so a callback may remove its own channel.
    int RemoveChannel(uint16_t channelId);
    void RemoveAllChannels();
    RdChannel* GetChannel(uint16_t channelId) const;
    int ForAllAnimChannels(RdAnimChannelFn fn, void* data);
    /// The engine frame of the bone (modelling reset to identity), or null.
    Frame* GetBoneFrame(int32_t boneId);

    void SetBoneCallback(int32_t boneId, RdBoneCallback fn, void* data);
    void SetPostUpdateCallback(RdPostUpdateCallback fn, void* data)
    {
        mPostUpdate = fn;
        mPostUpdateData = data;
    }
    void SetPostHierarchyCallback(RdPostHierarchyCallback fn, void* data)
    {
        mPostHierarchy = fn;
        mPostHierarchyData = data;
    }

    /// 1, or 0 when kMaxKilledProfiles are held already.
    int AddKilledProfile(void* owner, int32_t profileId);
    /// 1 when the record was found (channels drop their exemptions for it), else 0.
    int RemoveKilledProfile(void* owner, int32_t profileId);
    /// 1 when the channel exists and the record is held: the channel becomes exempt.
    int ApplyKilledProfile(void* owner, uint16_t channelId, int32_t profileId);
    int32_t GetKilledProfileCount() const { return mKilledCount; }

    /// rate = 100 - value. Null for a bone the model lacks or when kMaxLockedBones are held.
    RdLockedBones* AddLockedBone(int32_t boneId, const Vector* direction, int32_t mode, float value);
    int RemoveLockedBone(int32_t boneId);
    int32_t GetLockedBoneCount() const { return mLockedCount; }

    /// Debug: a box collision atomic (on a frame of its own, the caller's) around the skinned
    /// vertices the bone moves, in the bone's space, always holding the bone's origin; shift
    /// moves both corners, grow widens both ways. The vertices come from the model's first
    /// skinned atomic of at most one morph target (none: the origin alone). Null without a
    /// model clump or for a bone the skeleton lacks.
    Atomic* BuildBoneBox(int32_t boneId, const Vector* grow, const Vector* shift);

    /// Once per frame: channels, blend, procedural channels, matrices, locked bones.
    void Update();
    void UpdateHierarchy();

    int32_t GetAnimChannelCount() const { return mAnimCount; }
    RdChannel* GetAnimChannel(int32_t index) const { return mAnim[index]; }
    int32_t GetProcChannelCount() const { return mProcCount; }
    int IsStarted() const { return mStarted; }

private:
    uint16_t NextChannelId();
    void RemoveAnimAt(int32_t index);
    void RemoveProcAt(int32_t index);
    void FlushPendingRemovals();
    void ApplyBoneCallback(RdChannel* channel);
    void BlendChannels();
    void ApplyLockedBones();

    RdModel* mFirstModel = nullptr;
    RdModel* mCurrentModel = nullptr;
    Frame* mRootFrame = nullptr;
    RdSkeleton* mSkeleton = nullptr;
    int32_t mStarted = 0;
    RdPostHierarchyCallback mPostHierarchy = nullptr;
    void* mPostHierarchyData = nullptr;
    RdBoneCallback mBoneCallback = nullptr;
    void* mBoneCallbackData = nullptr;
    int32_t mBoneCallbackIndex = -1;
    RdLockedBones* mLocked[kMaxLockedBones] = {};
    int32_t mLockedCount = 0;
    RdChannel* mAnim[kMaxAnimChannels] = {};
    int32_t mAnimCount = 0;
    RdChannel* mProc[kMaxProcChannels] = {};
    int32_t mProcCount = 0;
    uint16_t mNextId = 1;
    RdPostUpdateCallback mPostUpdate = nullptr;
    void* mPostUpdateData = nullptr;
    RdKilledProfile* mKilled[kMaxKilledProfiles] = {};
    int32_t mKilledCount = 0;
    HbRoot* mOwner;
    uint32_t* mOwnerFlags = nullptr;
    // Removals asked for while channels step wait here until the step is over.
    int32_t mUpdating = 0;
    uint16_t mPending[kMaxAnimChannels + kMaxProcChannels] = {};
    int32_t mPendingCount = 0;
};
