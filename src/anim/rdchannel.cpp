// The channel base and the hierarchy cache.
#include "rdchannel.h"

#include "hbgrowarray.h"
#include "hierarchy.h"

HB_DEFINE_CLASS_DESC(RdChannel, HbRoot);
HB_DEFINE_CLASS_POOL(RdChannel::RdDisabledKilledProfile, "RdChannel::RdDisabledKilledProfile", 50);

RdChannel::RdChannel(uint16_t channelId, int64_t now)
    : mId(channelId), mRampStart(now), mCreationTime(now), mLastUpdateTime(now)
{
    ClearEntryAfterLast();
}

RdChannel::~RdChannel()
{
    if (mHierarchy)
        RdHierarchyCache::Release(mHierarchy);
    mHierarchy = nullptr;
    for (int32_t i = 0; i < mDisabledCount; ++i)
        delete mDisabled[i];
    mDisabledCount = 0;
    mCallbackCount = 0;
}

void RdChannel::DeletingDestructor(int flags)
{
    if (mStepping > 0)
    {
        if (mDeferredDeleteFlags < 0)
        {
            mDeferredDeleteFlags = flags;
            Silence();
        }
        return;
    }
    HbRoot::DeletingDestructor(flags);
}

bool RdChannel::EndStep()
{
    if (--mStepping > 0 || mDeferredDeleteFlags < 0)
        return false;
    HbRoot::DeletingDestructor(mDeferredDeleteFlags);
    return true;
}

void RdChannel::ClearEntryAfterLast()
{
    if (mCallbackCount < kMaxCallbacks)
        mCallbacks[mCallbackCount] = {nullptr, nullptr, kClearedKey};
}

int RdChannel::Update(int64_t)
{
    return 0;
}

int RdChannel::AddTimedCallback(RdChannelCallback function, void* data, int64_t key)
{
    if (mCallbackCount >= kMaxCallbacks)
        return 0;
    mCallbacks[mCallbackCount++] = {function, data, key};
    ClearEntryAfterLast();
    return 1;
}

int32_t RdChannel::RemoveCallbackAt(int32_t index)
{
    if (index < 0 || index >= mCallbackCount)
        return index - 1;
    if (index != mCallbackCount - 1)
        mCallbacks[index] = mCallbacks[mCallbackCount - 1];
    --mCallbackCount;
    ClearEntryAfterLast();
    return index - 1;
}

int RdChannel::RemoveCallback(RdChannelCallback function, int64_t key)
{
    for (int32_t i = 0; i < mCallbackCount; ++i)
        if (mCallbacks[i].function == function && mCallbacks[i].key == key)
        {
            RemoveCallbackAt(i);
            return 1;
        }
    return 0;
}

void RdChannel::FireEvent(int64_t key, bool remove)
{
    for (int32_t i = 0; i < mCallbackCount && !IsReleasedInStep(); ++i)
    {
        if (mCallbacks[i].key != key)
            continue;
        const Callback entry = mCallbacks[i];
        if (remove)
            i = RemoveCallbackAt(i);
        if (entry.function)
            entry.function(mId, entry.data);
    }
}

void RdChannel::FireDue(int64_t now)
{
    for (int32_t i = 0; i < mCallbackCount && !IsReleasedInStep(); ++i)
    {
        const int64_t due = mCreationTime + mCallbacks[i].key;
        if (mLastUpdateTime < due && due <= now)
        {
            const Callback entry = mCallbacks[i];
            i = RemoveCallbackAt(i);
            if (entry.function)
                entry.function(mId, entry.data);
        }
    }
}

void RdChannel::SetWeightRamp(float from, float to, int64_t start, int64_t duration)
{
    mFromWeight = from;
    mToWeight = to;
    mRampStart = start;
    mRampDuration = duration;
}

void RdChannel::UpdateWeight(int64_t now)
{
    if (mRampDuration > 0)
    {
        const long double f = (long double)(now - mRampStart) / (long double)mRampDuration;
        if (f <= 1.0L && float(f) >= 0.0f)
        {
            mCurrentWeight = mFromWeight + float(f) * (mToWeight - mFromWeight);
            return;
        }
    }
    // Ended (or no ramp): hold the end value from now on.
    mRampStart = now;
    mFromWeight = mToWeight;
    mRampDuration = kHoldDuration;
    mCurrentWeight = mToWeight;
}

int RdChannel::AddDisabledKilledProfile(void* owner, int32_t profileId)
{
    if (!IsProfileEnabled(owner, profileId) || mDisabledCount >= kMaxDisabledProfiles)
        return 0;
    auto* record = new RdDisabledKilledProfile();
    if (!record)
        return 0;
    record->owner = owner;
    record->profileId = profileId;
    mDisabled[mDisabledCount++] = record;
    return 1;
}

int RdChannel::RemoveDisabledKilledProfile(void* owner, int32_t profileId)
{
    for (int32_t i = 0; i < mDisabledCount; ++i)
        if (mDisabled[i]->owner == owner && mDisabled[i]->profileId == profileId)
        {
            delete mDisabled[i];
            mDisabled[i] = mDisabled[--mDisabledCount];
            mDisabled[mDisabledCount] = nullptr;
            return 1;
        }
    return 0;
}

int RdChannel::IsProfileEnabled(void* owner, int32_t profileId) const
{
    for (int32_t i = 0; i < mDisabledCount; ++i)
        if (mDisabled[i]->owner == owner && mDisabled[i]->profileId == profileId)
            return 0;
    return 1;
}

// ---- Hierarchy cache -------------------------------------------------------------------------

namespace
{
struct CacheEntry
{
    int32_t nodeCount;
    int32_t inUse;
    Hierarchy* hierarchy;
};
HbGrowArray<CacheEntry>* sCache = nullptr;
int32_t sInUse = 0;

HbGrowArray<CacheEntry>* Cache()
{
    if (!sCache)
        sCache = new HbGrowArray<CacheEntry>();
    return sCache;
}

void DestroyCache()
{
    if (!sCache)
        return;
    for (int32_t i = 0; i < sCache->GetCount(); ++i)
        if ((*sCache)[i].hierarchy)
        {
            (*sCache)[i].hierarchy->rootFrame = nullptr;
            Hierarchy::Destroy((*sCache)[i].hierarchy);
        }
    delete sCache;
    sCache = nullptr;
}
} // namespace

Hierarchy* RdHierarchyCache::Acquire(Hierarchy* model)
{
    HbGrowArray<CacheEntry>* cache = Cache();
    if (!model || !cache)
        return nullptr;
    for (int32_t i = 0; i < cache->GetCount(); ++i)
    {
        CacheEntry& entry = (*cache)[i];
        if (entry.nodeCount == model->nodeCount && !entry.inUse && entry.hierarchy)
        {
            entry.inUse = 1;
            entry.hierarchy->rootFrame = model->rootFrame;
            Hierarchy::AttachFrames(entry.hierarchy);
            ++sInUse;
            return entry.hierarchy;
        }
    }
    Hierarchy* h = Hierarchy::CreateFromHierarchy(model, kHierarchyUpdateModelling,
                                                  model->interpolator ? model->interpolator->maxInterpKeyFrameSize
                                                                      : int32_t(sizeof(StdInterpFrame)));
    if (!h)
        return nullptr;
    h->rootFrame = model->rootFrame;
    h->flags = kHierarchyUpdateModelling;
    Hierarchy::AttachFrames(h);
    if (cache->Add(CacheEntry{model->nodeCount, 1, h}) < 0)
    {
        h->rootFrame = nullptr;
        Hierarchy::Destroy(h);
        return nullptr;
    }
    ++sInUse;
    return h;
}

void RdHierarchyCache::Release(Hierarchy* hierarchy)
{
    if (!sCache || !hierarchy)
        return;
    for (int32_t i = 0; i < sCache->GetCount(); ++i)
    {
        CacheEntry& entry = (*sCache)[i];
        if (entry.inUse && entry.hierarchy == hierarchy)
        {
            entry.inUse = 0;
            hierarchy->rootFrame = nullptr;
            --sInUse;
            break;
        }
    }
    if (sInUse == 0)
        DestroyCache();
}

void RdHierarchyCache::Purge()
{
    if (!sCache)
        return;
    int32_t kept = 0;
    for (int32_t i = 0; i < sCache->GetCount(); ++i)
    {
        CacheEntry entry = (*sCache)[i];
        if (!entry.inUse)
        {
            if (entry.hierarchy)
                Hierarchy::Destroy(entry.hierarchy);
            continue;
        }
        (*sCache)[kept++] = entry;
    }
    if (kept == 0)
        DestroyCache();
    else
        sCache->SetSize(kept);
}

int32_t RdHierarchyCache::GetInUseCount()
{
    return sInUse;
}

int32_t RdHierarchyCache::GetCachedCount()
{
    return sCache ? sCache->GetCount() : 0;
}
