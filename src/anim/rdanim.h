// RdAnimation, the "ANM" resource: one keyframe animation with its root motion and its
// event set, and the load-script commands RdAddEvent and RdResetRootBoneTranslation.
#pragma once

#include "hbroot.h"
#include "vector.h"

#include <cstdint>
#include <string>

struct Animation;
struct StdKeyFrame;

/// One event of an animation: when (seconds) and which (event-table id).
struct RdEvent
{
    float time;
    int32_t id;
};

/// The events of one animation in the order they were added (not sorted).
class RdEventSet : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr int32_t kMaxEvents = 10;

    /// 1, or 0 when the set already holds kMaxEvents events.
    int Add(const RdEvent& event);
    int32_t GetCount() const { return mCount; }
    const RdEvent& Get(int32_t index) const { return mEvents[index]; }

    /// Set while a channel's end handler jumps to the end: delivery then passes events by.
    int32_t mMuted = 0;

private:
    RdEvent mEvents[kMaxEvents] = {};
    int32_t mCount = 0;
};

class RdAnimation : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The class id of the animation source.
    static constexpr uint32_t kClassId = 12290;
    /// The data-manager container of the load-script switches ("<id>_LOAD_SCR").
    static constexpr const char* kScriptContainer = "ANIM_SCRIPTS";

    RdAnimation() = default;
    ~RdAnimation() override;

    /// Reads the animation chunk from the resource's file (path from the resource manager),
    /// then Setup. 1, or 0 when the file holds no readable animation or the load script is
    /// refused.
    int Load(HbStream* stream, const char* name) override;
    std::string GetTypeKey() const override { return "ANM"; }
    int IsShared() const override { return 1; }

    /// Takes the animation (owned from here on, even on failure) read from path: clears the
    /// nodes' first keyframes' links, makes a new event set, runs the load script when the
    /// switch "<name>_LOAD_SCR" is true, computes the root motion. 1, or 0 when the console
    /// refused the script.
    int Setup(Animation* animation, const char* name, const char* path);

    /// The path of the load script: path up to its last '.' (wherever it lies), plus ".scr";
    /// a path without '.' gets ".scr" appended whole.
    static std::string ScriptPath(const char* path);

    Animation* GetAnimation() const { return mAnimation; }
    RdEventSet* GetEventSet() const { return mEventSet; }
    float GetDuration() const;
    const Vector& GetRootVelocity() const { return mRootVelocity; }
    float GetRootSpeed() const { return mRootSpeed; }
    const Vector& GetRootDelta() const { return mRootDelta; }
    /// The root node's first and last keyframes; null when the animation has no root motion.
    const StdKeyFrame* GetFirstRootKeyFrame() const;
    const StdKeyFrame* GetLastRootKeyFrame() const { return mLastRootKeyFrame; }
    const std::string& GetName() const { return mName; }

    /// The animation and event set the two console commands work on while a load script runs.
    static RdAnimation* GetCurrent();
    /// Makes the animation current for the commands (null: none); load scripts do this.
    static void SetCurrent(RdAnimation* animation);

private:
    void ComputeRootMotion();

    Animation* mAnimation = nullptr;
    Vector mRootVelocity = {0, 0, 0};
    float mRootSpeed = 0.0f;
    RdEventSet* mEventSet = nullptr;
    StdKeyFrame* mLastRootKeyFrame = nullptr;
    std::string mName;
    Vector mRootDelta = {0, 0, 0};
};
