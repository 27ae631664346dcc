// RdChannel: one contribution to a model's pose (an animation or a procedural bone), with
// its bone set, a weight ramped over time, callbacks at times or on the end and loop events,
// and the killed profiles that do not apply to it.
#pragma once

#include "hbroot.h"
#include "rdprofile.h"
#include "vector.h"

#include <cstdint>

struct Hierarchy;

/// Called as fn(channel id, data).
using RdChannelCallback = void (*)(uint16_t channelId, void* data);

class RdChannel : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr int32_t kMaxCallbacks = 16;
    static constexpr int32_t kMaxDisabledProfiles = 8;
    /// Callback keys below 0 name events.
    static constexpr int64_t kEndEvent = int64_t((uint64_t(0xFFFFFFFFu) << 32) | 0xFFFFFFFEu);  ///< {-2, -1}
    static constexpr int64_t kLoopEvent = int64_t((uint64_t(0xFFFFFFFFu) << 32) | 0xFFFFFFFDu); ///< {-3, -1}
    /// The key of a cleared entry, {-10, -1}.
    static constexpr int64_t kClearedKey = int64_t((uint64_t(0xFFFFFFFFu) << 32) | 0xFFFFFFF6u);
    /// A ramp that holds its value: 2^63 - 7 ticks.
    static constexpr int64_t kHoldDuration = int64_t((uint64_t(0x7FFFFFFFu) << 32) | 0xFFFFFFF9u);

    struct Callback
    {
        RdChannelCallback function;
        void* data;
        int64_t key; ///< >= 0: ticks after the channel's creation; < 0: an event
    };

    /// A killed profile that does not apply to this channel.
    struct RdDisabledKilledProfile
    {
        HB_DECLARE_CLASS_POOL();
        void* owner;
        int32_t profileId;
    };

    /// now: the game clock's current time in ticks.
    RdChannel(uint16_t channelId, int64_t now);
    /// Records back to their pools; the callback table emptied.
    ~RdChannel() override;
    /// A channel released from one of its own callbacks (an event receiver ending its
    /// animation) is destroyed when its update ends, not under the running step.
    void DeletingDestructor(int flags) override;

    /// 1 to stay, 0 to be removed.
    virtual int Update(int64_t now);
    /// 1, or 0 when the table already holds kMaxCallbacks entries.
    virtual int AddTimedCallback(RdChannelCallback function, void* data, int64_t key);
    virtual void FireDue(int64_t now);
    /// Takes what the channel needs from the model's hierarchy; creation and last update
    /// times become now.
    virtual void Attach(Hierarchy* modelHierarchy, int64_t now) = 0;

    void SetBones(const RdProfile& profile) { mBones = profile; }
    const RdProfile& GetBones() const { return mBones; }
    int IsAlive() const { return mActive && (mCurrentWeight > 0.0f || mFromWeight < mToWeight); }

    /// The weight goes from `from` to `to` over duration ticks from start (0: at the next
    /// update).
    void SetWeightRamp(float from, float to, int64_t start, int64_t duration);
    void UpdateWeight(int64_t now);
    float GetWeight() const { return mCurrentWeight; }
    /// Where the weight ramp starts and ends (equal when the weight holds).
    float GetRampFrom() const { return mFromWeight; }
    float GetRampTo() const { return mToWeight; }

    /// Removes entry i (the last one moves into its place). i - 1.
    int32_t RemoveCallbackAt(int32_t index);
    /// 1 when an entry with that function and key was removed.
    int RemoveCallback(RdChannelCallback function, int64_t key);
    /// Calls every entry with that key in table order, removing each when remove is set.
    void FireEvent(int64_t key, bool remove);
    int32_t GetCallbackCount() const { return mCallbackCount; }

    /// 1 when appended; 0 when the pair is listed already or the list is full.
    int AddDisabledKilledProfile(void* owner, int32_t profileId);
    int RemoveDisabledKilledProfile(void* owner, int32_t profileId);
    /// 0 when the pair is listed.
    int IsProfileEnabled(void* owner, int32_t profileId) const;

    uint16_t GetId() const { return mId; }
    Hierarchy* GetHierarchy() const { return mHierarchy; }
    int64_t GetCreationTime() const { return mCreationTime; }

    int32_t mActive = 1;
    int32_t mOverlay = 0;

protected:
    void ClearEntryAfterLast();
    /// Around an update's callbacks. EndStep carries out a release made during the step: true
    /// when the channel is gone and must not be touched again.
    void BeginStep() { ++mStepping; }
    bool EndStep();
    /// Released during the step: nothing more is to be played or delivered.
    bool IsReleasedInStep() const { return mDeferredDeleteFlags >= 0; }
    /// Called once when the channel is released during its step: stops what could still
    /// call out of the running step.
    virtual void Silence() {}

    Callback mCallbacks[kMaxCallbacks + 1] = {};
    int32_t mCallbackCount = 0;
    RdDisabledKilledProfile* mDisabled[kMaxDisabledProfiles] = {};
    int32_t mDisabledCount = 0;
    uint16_t mId;
    RdProfile mBones;
    Hierarchy* mHierarchy = nullptr;
    int64_t mRampStart;
    int64_t mRampDuration = kHoldDuration;
    float mFromWeight = 1.0f;
    float mToWeight = 1.0f;
    float mCurrentWeight = 0.0f;
    int64_t mCreationTime;
    int64_t mLastUpdateTime;

private:
    int32_t mStepping = 0;
    int32_t mDeferredDeleteFlags = -1;
};

/// Private hierarchies of animation channels, reused between channels.
namespace RdHierarchyCache
{
/// A free cached hierarchy of the model's node count, else a new one laid out as the
/// model's; bound to the model's frames. Null when one cannot be made.
Hierarchy* Acquire(Hierarchy* modelHierarchy);
/// Gives the hierarchy back; when none is in use any more, every cached one is destroyed.
void Release(Hierarchy* hierarchy);
/// Destroys the cached hierarchies not in use.
void Purge();
int32_t GetInUseCount();
int32_t GetCachedCount();
} // namespace RdHierarchyCache
