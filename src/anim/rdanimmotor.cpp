// The animation motor, its killed profiles and locked bones.
#include "rdanimmotor.h"

#include "animation.h"
#include "clump.h"
#include "frame.h"
#include "geometry.h"
#include "hbclock.h"
#include "hbresource.h"
#include "hierarchy.h"
#include "matrix.h"
#include "quat.h"
#include "rdanim.h"
#include "rdanimchannel.h"
#include "rdeventmanager.h"
#include "rdmodel.h"
#include "rdprocchannel.h"
#include "rdprofile.h"
#include "rdskeleton.h"
#include "skin.h"
#include "stdkey.h"
#include "w3dcollision.h"
#include "wvectorutil.h"

#include <algorithm>

HB_DEFINE_CLASS_POOL(RdAnimMotor::RdKilledProfile, "RdAnimMotor::RdKilledProfile", 50);
HB_DEFINE_CLASS_POOL(RdLockedBones, "RdLockedBones", 50);

namespace
{

constexpr uint8_t kNoBone = 0xFF;

int64_t Now()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mGameTime : 0;
}

float StepSeconds()
{
    HbGameClock* clock = HbGameClock::Instance();
    return clock ? clock->mStepSeconds : 0.0f;
}

Vector TurnDirection(const Matrix& m, const Vector& v)
{
    return {v.x * m.right.x + v.y * m.up.x + v.z * m.at.x, v.x * m.right.y + v.y * m.up.y + v.z * m.at.y,
            v.x * m.right.z + v.y * m.up.z + v.z * m.at.z};
}

StdInterpFrame* Key(AnimInterpolator* interpolator, int32_t node)
{
    return static_cast<StdInterpFrame*>(AnimInterpolator::GetInterpFrame(interpolator, node));
}

AnimInterpolator* InterpolatorOf(const RdChannel* channel)
{
    Hierarchy* h = channel->GetHierarchy();
    return h ? h->interpolator : nullptr;
}

} // namespace

int RdLockedBones::SetTarget(const Vector* direction, int32_t mode)
{
    mMode = mode;
    if (direction)
    {
        mTarget = *direction;
        return 1;
    }
    if (!mBoneFrame)
        return 1;
    const Matrix& world = *Frame::GetWorldMatrix(mBoneFrame);
    if (mode == 0)
    {
        Matrix inverse;
        Matrix::Invert(&inverse, &world);
        mTarget = TurnDirection(inverse, world.at);
        mCurrent = world.at;
    }
    else if (mode == 1)
        mTarget = world.at;
    return 1;
}

RdAnimMotor::RdAnimMotor(HbRoot* owner) : mRootFrame(Frame::Create()), mOwner(owner)
{
}

RdAnimMotor::~RdAnimMotor()
{
    mUpdating = 0;
    RemoveAllChannels();
    for (int32_t i = 0; i < mKilledCount; ++i)
        delete mKilled[i];
    mKilledCount = 0;
    for (int32_t i = 0; i < mLockedCount; ++i)
        delete mLocked[i];
    mLockedCount = 0;
    if (RdModel* model = mFirstModel)
    {
        if (model->GetClump() && model->GetClump()->frame && model->GetClump()->frame->parent == mRootFrame)
            Frame::RemoveChild(model->GetClump()->frame);
        model->Release();
    }
    mFirstModel = mCurrentModel = nullptr;
    if (mSkeleton)
        mSkeleton->Release();
    mSkeleton = nullptr;
    if (mRootFrame)
    {
        if (mRootFrame->parent)
            Frame::RemoveChild(mRootFrame);
        Frame::Destroy(mRootFrame);
    }
}

void RdAnimMotor::SetSkeleton(RdSkeleton* skeleton)
{
    if (skeleton)
        skeleton->AddRef();
    if (mSkeleton)
        mSkeleton->Release();
    mSkeleton = skeleton;
}

int RdAnimMotor::AddModel(RdModel* model)
{
    // Only the first model ever becomes current, and only it is detached and released at
    // the end: a second one would be left hanging under a destroyed root frame.
    if (!model || !mSkeleton || mFirstModel)
        return 0;
    model->AddRef();
    if (mRootFrame && model->GetClump() && model->GetClump()->frame)
        Frame::AddChild(mRootFrame, model->GetClump()->frame);
    mFirstModel = model;
    model->BindSkeleton(mSkeleton);
    mCurrentModel = model;
    return 1;
}

uint16_t RdAnimMotor::NextChannelId()
{
    if (++mNextId == 0)
        mNextId = 1;
    return mNextId;
}

RdAnimChannel* RdAnimMotor::PlayAnim(RdAnimation* animation, int32_t profileId, float startTime)
{
    if (!animation || !mSkeleton || !mCurrentModel || !mCurrentModel->GetHierarchy())
        return nullptr;
    RdProfile* profile = mSkeleton->FindProfile(profileId);
    if (!profile || mAnimCount >= kMaxAnimChannels)
        return nullptr;
    animation->AddRef();
    auto* channel = new RdAnimChannel(NextChannelId(), animation, startTime, Now());
    channel->AddRef();
    channel->SetBones(*profile);
    mAnim[mAnimCount++] = channel;
    channel->Attach(mCurrentModel->GetHierarchy(), Now());
    for (int32_t i = 0; i < mKilledCount; ++i)
        SplitChannel(channel, mKilled[i]->profileId, mKilled[i]->owner);
    RdEventSet* set = animation->GetEventSet();
    if (set && mOwner && channel->GetHierarchy())
        RdEventManager::Register(channel->GetHierarchy(), set, mOwner);
    animation->Release();
    return channel;
}

RdAnimChannel* RdAnimMotor::PlayAnimByName(const char* resourceId, int32_t profileId, float startTime)
{
    HbResourceManager* manager = HbResourceManager::Instance();
    if (!manager || !resourceId)
        return nullptr;
    return PlayAnim(HbCastTo<RdAnimation>(manager->GetResource(resourceId)), profileId, startTime);
}

RdChannel* RdAnimMotor::SplitChannel(RdChannel* channel, int32_t profileId, void* owner)
{
    if (!channel || !channel->IsProfileEnabled(owner, profileId))
        return nullptr;
    auto* anim = HbCastTo<RdAnimChannel>(channel);
    if (!anim || !mSkeleton)
        return nullptr;
    RdProfile* profile = mSkeleton->FindProfile(profileId);
    if (!profile)
        return nullptr;
    RdProfile bones = channel->GetBones();
    if (!bones.RemoveBones(*profile))
        return nullptr;
    channel->SetBones(bones);
    if (bones.mBoneCount == 0)
        return channel;
    // Started at the old channel's time, so that the new one's own splits are in step too.
    RdAnimChannel* split = PlayAnim(anim->GetAnimation(), profileId, anim->GetTime());
    if (!split)
        return nullptr;
    split->SetLoop(anim->GetLoop());
    split->SetSpeed(anim->GetSpeed());
    return split;
}

RdChannel* RdAnimMotor::SplitChannelById(uint16_t channelId, int32_t profileId, void* owner)
{
    RdChannel* channel = GetChannel(channelId);
    return channel ? SplitChannel(channel, profileId, owner) : nullptr;
}

RdProcChannel* RdAnimMotor::AddProcChannel(int32_t boneId, RdProcCallback callback, void* data)
{
    const RdBone* bone = mSkeleton ? mSkeleton->FindBone(boneId) : nullptr;
    Hierarchy* h = mCurrentModel ? mCurrentModel->GetHierarchy() : nullptr;
    if (!bone || !h || mProcCount >= kMaxProcChannels)
        return nullptr;
    auto* channel = new RdProcChannel(NextChannelId(), Now());
    channel->AddRef();
    RdProfile bones;
    bones.mMaxBoneCount = std::min<int32_t>(h->nodeCount, RdProfile::kMaxBones);
    bones.AddBone(bone->index);
    channel->SetBones(bones);
    mProc[mProcCount++] = channel;
    channel->Attach(h, Now());
    channel->SetFunction(callback, data);
    return channel;
}

uint16_t RdAnimMotor::RampChannelWeight(uint16_t channelId, float from, float to, int64_t duration)
{
    RdChannel* channel = GetChannel(channelId);
    if (!channel)
        return 0;
    channel->SetWeightRamp(from, to, Now(), duration);
    return channelId;
}

void RdAnimMotor::FadeOutAllChannels(float seconds)
{
    const int64_t duration = int64_t(double(seconds) * double(HbPerformanceFrequency()));
    for (int32_t i = 0; i < mAnimCount; ++i)
        if (mAnim[i]->GetId() != 0)
            mAnim[i]->SetWeightRamp(mAnim[i]->GetWeight(), 0.0f, Now(), duration);
}

void RdAnimMotor::RemoveAnimAt(int32_t index)
{
    RdChannel* channel = mAnim[index];
    mAnim[index] = mAnim[--mAnimCount];
    mAnim[mAnimCount] = nullptr;
    channel->Release();
}

void RdAnimMotor::RemoveProcAt(int32_t index)
{
    RdChannel* channel = mProc[index];
    mProc[index] = mProc[--mProcCount];
    mProc[mProcCount] = nullptr;
    channel->Release();
}

int RdAnimMotor::RemoveChannel(uint16_t channelId)
{
    if (channelId == 0)
        return 0;
    if (mUpdating)
    {
        if (!GetChannel(channelId))
            return 0;
        for (int32_t i = 0; i < mPendingCount; ++i)
            if (mPending[i] == channelId)
                return 0; // already on its way out
        if (mPendingCount < int32_t(std::size(mPending)))
            mPending[mPendingCount++] = channelId;
        return 1;
    }
    for (int32_t i = 0; i < mAnimCount; ++i)
        if (mAnim[i]->GetId() == channelId)
            return RemoveAnimAt(i), 1;
    for (int32_t i = 0; i < mProcCount; ++i)
        if (mProc[i]->GetId() == channelId)
            return RemoveProcAt(i), 1;
    return 0;
}

void RdAnimMotor::RemoveAllChannels()
{
    if (mUpdating)
    {
        for (int32_t i = 0; i < mAnimCount; ++i)
            RemoveChannel(mAnim[i]->GetId());
        for (int32_t i = 0; i < mProcCount; ++i)
            RemoveChannel(mProc[i]->GetId());
        return;
    }
    while (mAnimCount > 0)
        RemoveAnimAt(mAnimCount - 1);
    while (mProcCount > 0)
        RemoveProcAt(mProcCount - 1);
}

void RdAnimMotor::FlushPendingRemovals()
{
    // A destructor's end callbacks may ask for more removals; they go straight through.
    while (mPendingCount > 0)
    {
        const uint16_t id = mPending[--mPendingCount];
        RemoveChannel(id);
    }
}

RdChannel* RdAnimMotor::GetChannel(uint16_t channelId) const
{
    if (channelId == 0)
        return nullptr;
    for (int32_t i = 0; i < mAnimCount; ++i)
        if (mAnim[i]->GetId() == channelId)
            return mAnim[i];
    for (int32_t i = 0; i < mProcCount; ++i)
        if (mProc[i]->GetId() == channelId)
            return mProc[i];
    return nullptr;
}

int RdAnimMotor::ForAllAnimChannels(RdAnimChannelFn fn, void* data)
{
    for (int32_t i = 0; i < mAnimCount; ++i)
        if (auto* channel = HbCastTo<RdAnimChannel>(mAnim[i]))
            fn(channel, data);
    return 1;
}

Frame* RdAnimMotor::GetBoneFrame(int32_t boneId)
{
    Hierarchy* h = mCurrentModel ? mCurrentModel->GetHierarchy() : nullptr;
    if (!h)
        return nullptr;
    for (int32_t i = 0; i < h->nodeCount; ++i)
    {
        if (h->nodes[i].nodeId != boneId)
            continue;
        if (!h->nodes[i].frame)
            Hierarchy::AttachNode(h, i);
        Frame* frame = h->nodes[i].frame;
        if (frame)
            Frame::SetIdentity(frame);
        return frame;
    }
    return nullptr;
}

void RdAnimMotor::SetBoneCallback(int32_t boneId, RdBoneCallback fn, void* data)
{
    const RdBone* bone = mSkeleton ? mSkeleton->FindBone(boneId) : nullptr;
    if (!bone)
        return;
    if (fn)
    {
        if (mBoneCallbackIndex != -1)
            return;
        mBoneCallback = fn;
        mBoneCallbackData = data;
        mBoneCallbackIndex = bone->index;
    }
    else if (mBoneCallbackIndex == bone->index)
    {
        mBoneCallback = nullptr;
        mBoneCallbackData = data;
        mBoneCallbackIndex = -1;
    }
}

int RdAnimMotor::AddKilledProfile(void* owner, int32_t profileId)
{
    if (mKilledCount >= kMaxKilledProfiles)
        return 0;
    auto* record = new RdKilledProfile{owner, profileId};
    mKilled[mKilledCount++] = record;
    return 1;
}

int RdAnimMotor::RemoveKilledProfile(void* owner, int32_t profileId)
{
    for (int32_t i = 0; i < mKilledCount; ++i)
    {
        if (mKilled[i]->owner != owner || mKilled[i]->profileId != profileId)
            continue;
        for (int32_t c = 0; c < mAnimCount; ++c)
            mAnim[c]->RemoveDisabledKilledProfile(owner, profileId);
        delete mKilled[i];
        mKilled[i] = mKilled[--mKilledCount];
        mKilled[mKilledCount] = nullptr;
        return 1;
    }
    return 0;
}

int RdAnimMotor::ApplyKilledProfile(void* owner, uint16_t channelId, int32_t profileId)
{
    RdChannel* channel = GetChannel(channelId);
    if (!channel)
        return 0;
    for (int32_t i = 0; i < mKilledCount; ++i)
        if (mKilled[i]->owner == owner && mKilled[i]->profileId == profileId)
            return channel->AddDisabledKilledProfile(owner, profileId), 1;
    return 0;
}

RdLockedBones* RdAnimMotor::AddLockedBone(int32_t boneId, const Vector* direction, int32_t mode, float value)
{
    const RdBone* bone = mSkeleton ? mSkeleton->FindBone(boneId) : nullptr;
    if (!bone || mLockedCount >= kMaxLockedBones)
        return nullptr;
    Frame* boneFrame = GetBoneFrame(boneId);
    if (!boneFrame)
        return nullptr;
    auto* record = new RdLockedBones;
    record->mBoneFrame = boneFrame;
    record->mRootFrame = GetBoneFrame(1);
    record->mBoneId = bone->id;
    record->mBoneIndex = bone->index;
    record->SetTarget(direction, mode);
    record->mRate = 100.0f - value;
    mLocked[mLockedCount++] = record;
    return record;
}

int RdAnimMotor::RemoveLockedBone(int32_t boneId)
{
    const RdBone* bone = mSkeleton ? mSkeleton->FindBone(boneId) : nullptr;
    if (!bone)
        return 0;
    for (int32_t i = 0; i < mLockedCount; ++i)
    {
        if (mLocked[i]->mBoneIndex != bone->index)
            continue;
        delete mLocked[i];
        mLocked[i] = mLocked[--mLockedCount];
        mLocked[mLockedCount] = nullptr;
        return 1;
    }
    return 0;
}

void RdAnimMotor::ApplyBoneCallback(RdChannel* channel)
{
    if (mBoneCallbackIndex < 0 || !mBoneCallback || mBoneCallbackIndex >= RdProfile::kMaxBones)
        return;
    if (!(channel->GetBones().mMask & (uint64_t(1) << mBoneCallbackIndex)))
        return;
    AnimInterpolator* interpolator = InterpolatorOf(channel);
    if (interpolator && mBoneCallbackIndex < interpolator->nodeCount)
        mBoneCallback(AnimInterpolator::GetInterpFrame(interpolator, mBoneCallbackIndex), channel, mBoneCallbackData);
}

void RdAnimMotor::BlendChannels()
{
    Hierarchy* model = mCurrentModel ? mCurrentModel->GetHierarchy() : nullptr;
    if (mAnimCount == 0 || !model || !model->interpolator)
        return;
    AnimInterpolator* result = model->interpolator;
    if (mAnimCount == 1)
    {
        ApplyBoneCallback(mAnim[0]);
        if (AnimInterpolator* own = InterpolatorOf(mAnim[0]))
            AnimInterpolator::CopyState(result, own);
        return;
    }
    uint8_t done[RdProfile::kMaxBones];
    uint8_t next[RdProfile::kMaxBones];
    std::fill(std::begin(done), std::end(done), kNoBone);
    int32_t doneCount = 0;
    int32_t overlay = mAnim[0]->mOverlay ? 0 : -1;
    for (int32_t i = 0; i < mAnimCount; ++i)
    {
        RdChannel* c = mAnim[i];
        if (c->mOverlay)
        {
            overlay = i;
            continue;
        }
        ApplyBoneCallback(c);
        AnimInterpolator* own = InterpolatorOf(c);
        if (!own)
            continue;
        const RdProfile& bones = c->GetBones();
        const int32_t n = std::min({result->nodeCount, own->nodeCount, RdProfile::kMaxBones});
        if (i == 0)
        {
            doneCount = 0;
            for (int32_t k = 0; k < bones.mBoneCount; ++k)
            {
                const int32_t b = bones.mBones[k];
                if (b >= n)
                    continue;
                Key(result, b)->q = Key(own, b)->q;
                Key(result, b)->t = Key(own, b)->t;
                done[doneCount++] = uint8_t(b);
            }
        }
        else
        {
            const float w = c->GetWeight();
            int32_t nextCount = 0;
            int32_t a = 0;
            int32_t l = 0;
            for (int32_t b = 0; b < n; ++b)
            {
                const bool inDone = a < doneCount && done[a] == b;
                const bool inBones = l < bones.mBoneCount && bones.mBones[l] == b;
                if (inDone)
                    ++a;
                if (inBones)
                    ++l;
                if (inDone && inBones)
                    StdKeyFrame::Blend(Key(result, b), Key(result, b), Key(own, b), w);
                else if (inBones)
                {
                    Key(result, b)->q = Key(own, b)->q;
                    Key(result, b)->t = Key(own, b)->t;
                }
                else if (!inDone)
                    continue;
                next[nextCount++] = uint8_t(b);
            }
            std::copy(next, next + nextCount, done);
            std::fill(done + nextCount, std::end(done), kNoBone);
            doneCount = nextCount;
        }
        if (overlay >= 0)
        {
            RdChannel* o = mAnim[overlay];
            ApplyBoneCallback(o);
            AnimInterpolator* oi = InterpolatorOf(o);
            if (!oi)
                continue;
            const RdProfile& ob = o->GetBones();
            const int32_t on = std::min(result->nodeCount, oi->nodeCount);
            for (int32_t k = 0; k < ob.mBoneCount; ++k)
                if (ob.mBones[k] < on)
                    StdKeyFrame::Blend(Key(result, ob.mBones[k]), Key(result, ob.mBones[k]), Key(oi, ob.mBones[k]),
                                       o->GetWeight());
        }
    }
}

void RdAnimMotor::UpdateHierarchy()
{
    if (!mStarted || !mCurrentModel)
        return;
    Hierarchy* h = mCurrentModel->GetHierarchy();
    if (h && h->interpolator)
        Hierarchy::UpdateMatrices(h);
    if (mPostHierarchy)
        mPostHierarchy(mCurrentModel, mPostHierarchyData);
}

void RdAnimMotor::ApplyLockedBones()
{
    if (mLockedCount == 0)
        return;
    Hierarchy* h = mCurrentModel ? mCurrentModel->GetHierarchy() : nullptr;
    for (int32_t i = 0; i < mLockedCount; ++i)
    {
        RdLockedBones* lock = mLocked[i];
        if (lock->mMode == 0)
        {
            const Vector w =
                lock->mRootFrame ? TurnDirection(*Frame::GetWorldMatrix(lock->mRootFrame), lock->mTarget) : lock->mTarget;
            if (lock->mRate < 100.0f)
            {
                BlendVectorByFrameTime(&lock->mCurrent, &w, lock->mRate, StepSeconds(), &lock->mCurrent);
                FrameLookAlong(lock->mBoneFrame, &lock->mCurrent);
            }
            else
                FrameLookAlong(lock->mBoneFrame, &w);
        }
        else if (lock->mMode == 1)
            FrameLookAlong(lock->mBoneFrame, &lock->mTarget);
        if (h && h->interpolator && lock->mBoneIndex >= 0 && lock->mBoneIndex < h->interpolator->nodeCount)
        {
            Quat q;
            Quat::FromMatrix(&q, &lock->mBoneFrame->modelling);
            StdInterpFrame* key = Key(h->interpolator, lock->mBoneIndex);
            key->q = {q.x, q.y, q.z, q.w};
        }
    }
    UpdateHierarchy();
}

void RdAnimMotor::Update()
{
    if (mAnimCount > 0)
    {
        if (!mStarted)
        {
            mStarted = 1;
            if (mOwnerFlags)
                *mOwnerFlags |= kReadyFlag;
        }
        const int64_t now = Now();
        mUpdating = 1;
        for (int32_t i = 0; i < mAnimCount;)
        {
            if (mAnim[i]->Update(now))
                ++i;
            else
                RemoveAnimAt(i);
        }
        mUpdating = 0;
        FlushPendingRemovals();
        BlendChannels();
        mUpdating = 1;
        for (int32_t i = 0; i < mProcCount;)
        {
            if (mProc[i]->Update(now))
                ++i;
            else
                RemoveProcAt(i);
        }
        mUpdating = 0;
        FlushPendingRemovals();
        if (mPostUpdate)
            mPostUpdate(this, mPostUpdateData);
    }
    UpdateHierarchy();
    ApplyLockedBones();
}

// ---- Debug ------------------------------------------------------------------------------------------

namespace
{

Vector TransformPoint(const Matrix& m, const Vector& p)
{
    return {p.x * m.right.x + p.y * m.up.x + p.z * m.at.x + m.pos.x,
            p.x * m.right.y + p.y * m.up.y + p.z * m.at.y + m.pos.y,
            p.x * m.right.z + p.y * m.up.z + p.z * m.at.z + m.pos.z};
}

/// The node's world matrix as the skin pipeline takes it: the hierarchy's array, else the
/// node's frame.
const Matrix* NodeWorldMatrix(Hierarchy* h, int32_t index)
{
    if (index < 0 || index >= h->nodeCount)
        return nullptr;
    if (h->matrices && !(h->flags & kHierarchyLocalSpace))
        return &h->matrices[index];
    if (!h->nodes[index].frame)
        Hierarchy::AttachNode(h, index);
    Frame* frame = h->nodes[index].frame;
    return frame ? Frame::GetWorldMatrix(frame) : nullptr;
}

Atomic* FirstSkinnedAtomic(Atomic* atomic, void* data)
{
    Geometry* g = atomic->geometry;
    if (g && g->numMorphTargets <= 1 && SkinGeometry::GetSkin(g))
    {
        *static_cast<Atomic**>(data) = atomic;
        return nullptr;
    }
    return atomic;
}

} // namespace

Atomic* RdAnimMotor::BuildBoneBox(int32_t boneId, const Vector* grow, const Vector* shift)
{
    Clump* clump = mCurrentModel ? mCurrentModel->GetClump() : nullptr;
    Hierarchy* h = mCurrentModel ? mCurrentModel->GetHierarchy() : nullptr;
    const RdBone* bone = mSkeleton ? mSkeleton->FindBone(boneId) : nullptr;
    if (!clump || !h || !bone)
        return nullptr;
    const Matrix* boneWorld = NodeWorldMatrix(h, bone->index);
    if (!boneWorld)
        return nullptr;
    Matrix toBone;
    Matrix::Invert(&toBone, boneWorld);

    float box[6] = {0, 0, 0, 0, 0, 0}; // max x, y, z, min x, y, z
    Atomic* skinned = nullptr;
    Clump::ForAllAtomics(clump, FirstSkinnedAtomic, &skinned);
    Geometry* g = skinned ? skinned->geometry : nullptr;
    const Skin* skin = g ? SkinGeometry::GetSkin(g) : nullptr;
    const Vector* positions = g && g->numMorphTargets > 0 ? g->morphTargets[0].positions : nullptr;
    // A skin read for fewer vertices than the geometry holds covers only its own.
    const int32_t count = skin && positions && skin->vertexBoneIndices && skin->vertexWeights
                              ? std::min(g->numVertices, skin->vertexCount)
                              : 0;
    for (int32_t v = 0; v < count; ++v)
    {
        const uint32_t bones = skin->vertexBoneIndices[v];
        const float* weights = skin->vertexWeights + 4 * v;
        bool moved = false;
        for (int32_t k = 0; k < 4; ++k)
            if (int32_t((bones >> (8 * k)) & 0xFF) == bone->index && weights[k] > 0.0f)
                moved = true;
        if (!moved)
            continue;
        Vector sum = {0, 0, 0};
        for (int32_t k = 0; k < 4; ++k)
        {
            const int32_t b = int32_t((bones >> (8 * k)) & 0xFF);
            const Matrix* world = weights[k] != 0.0f ? NodeWorldMatrix(h, b) : nullptr;
            if (!world || b >= skin->boneCount)
                continue;
            const Vector p = TransformPoint(*world, TransformPoint(skin->inverseMatrices[b], positions[v]));
            sum = {sum.x + weights[k] * p.x, sum.y + weights[k] * p.y, sum.z + weights[k] * p.z};
        }
        const Vector local = TransformPoint(toBone, sum);
        const float c[3] = {local.x, local.y, local.z};
        for (int32_t a = 0; a < 3; ++a)
        {
            box[a] = std::max(box[a], c[a]);
            box[3 + a] = std::min(box[3 + a], c[a]);
        }
    }
    if (shift)
    {
        const float s[3] = {shift->x, shift->y, shift->z};
        for (int32_t a = 0; a < 3; ++a)
        {
            box[a] += s[a];
            box[3 + a] += s[a];
        }
    }
    if (grow)
    {
        const float d[3] = {grow->x, grow->y, grow->z};
        for (int32_t a = 0; a < 3; ++a)
        {
            box[a] += d[a];
            box[3 + a] -= d[a];
        }
    }
    return CreateBoxGeometry(box);
}
