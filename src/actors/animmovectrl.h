// AnimMoveCtrl: moves an animated actor by its animations. The root bone's translation is
// taken out of each channel's pose, accumulated over the frame, turned into a world step
// after the motor's blend and applied to the actor's node (or through its ground snap); the
// actor turns by the animation's root yaw or by an angle the movement skill gives.
#pragma once

#include "hbperclassfreelist.h"
#include "hbptr.h"
#include "hbroot.h"
#include "vector.h"

#include <cstddef>
#include <cstdint>

class RdAnimation;
class RdAnimMotor;
class RdChannel;
class TsActor;
class TsAStarPathfinder;
struct World;
class W3dAnimObject;
struct Frame;
struct Sphere;

class AnimMoveCtrl : public HbRoot
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr int32_t kPoolSize = 40;
    /// The skeleton's root bone ("DummyRootBone"), whose motion moves the actor.
    static constexpr int32_t kRootBone = 1;
    static constexpr float kNoMaximum = 3.4028235e38f;

    // Mode bits: what the guarded move tests.
    static constexpr uint32_t kModeWalls = 1;
    static constexpr uint32_t kModeActors = 2;
    static constexpr uint32_t kModeWalkable = 4;
    static constexpr uint32_t kModeApproach = 8;

    // Flags.
    static constexpr uint32_t kAlongDirection = 0x1;
    static constexpr uint32_t kStopOnGoal = 0x2;
    static constexpr uint32_t kApplyYaw = 0x4;
    static constexpr uint32_t kScaleStep = 0x8;
    static constexpr uint32_t kFollowGround = 0x10;
    static constexpr uint32_t kSlideWalls = 0x20;
    static constexpr uint32_t kSlideActors = 0x40;
    static constexpr uint32_t kKeepUnslid = 0x80;
    static constexpr uint32_t kPresetRootX = 0x100;
    static constexpr uint32_t kPresetRootY = 0x200;
    static constexpr uint32_t kPresetRootZ = 0x400;
    static constexpr uint32_t kWeightRootMotion = 0x800;
    static constexpr uint32_t kCurrentChannelOnly = 0x1000;
    static constexpr uint32_t kReverseStep = 0x2000;

    // Result flags of the last frame.
    static constexpr uint32_t kHitActor = 1;
    static constexpr uint32_t kOffWalkable = 2;
    static constexpr uint32_t kHitWall = 4;
    static constexpr uint32_t kGroundRefused = 8;

    // Bone probes.
    static constexpr int32_t kMaxBoneTargets = 3;
    static constexpr int32_t kProbeLine = 0;
    static constexpr int32_t kProbeSphere = 1;
    /// The arena every controller's probe block comes from.
    static constexpr size_t kProbeArenaBytes = 10240;

    /// The wall triangle of the last frame whose material marks it as a special wall (its
    /// third colour byte holds 0x80 or 0x10): ladders and the like.
    struct WallRecord
    {
        int32_t set;
        Vector normal;
        Vector points[3];
        uint8_t colour[4]; ///< red, green, blue, alpha
    };

    /// Hooks the root-motion callback on the root bone and the per-frame step after the
    /// blend of the actor's motor (its animated model, which this holds until destroyed).
    explicit AnimMoveCtrl(TsActor* actor);
    /// Removes every animation channel of the motor (with its loop callback), the root
    /// channel and both callbacks.
    ~AnimMoveCtrl() override;

    /// The frame's accumulation, turn, yaw and step cleared, no maximum, scale 1; the root
    /// channel removed; mode, flags, family mask and results 0.
    void Reset();
    /// Starts the animation on the profile at start ticks, its weight ramping from 0 to 1 over
    /// blendIn ticks, as the current channel whose root bone moves the actor. An empty handle
    /// when the motor cannot start it.
    HbHandlePtr PlayAnim(RdAnimation* animation, int32_t profileId, int64_t blendIn, int64_t start, int32_t loop);

    void SetMode(uint32_t mode) { mMode = mode; }
    void SetFlags(uint32_t flags) { mMoveFlags = flags; }
    uint32_t GetMode() const { return mMode; }
    uint32_t GetMoveFlags() const { return mMoveFlags; }
    /// The turn for this frame, degrees about the vertical.
    void SetTurnAngle(float degrees) { mTurnAngle = degrees; }
    /// The movement skills' name for the turn angle.
    void SetSpeed(float degrees) { mTurnAngle = degrees; }
    /// Normalised; a zero vector stays zero.
    void SetDirection(const Vector* direction);
    /// The point with y = 0; sets kStopOnGoal.
    void SetGoal(const Vector* point);
    /// The longest step of this frame.
    void SetMaxStep(float distance) { mMaxStep = distance; }
    /// The factor kScaleStep applies to this frame's step.
    void SetStepScale(float scale) { mStepScale = scale; }
    void SetFamilyMask(uint32_t mask) { mFamilyMask = mask; }

    /// The actor touched in the last frame, or null.
    TsActor* GetTarget() const { return mTouched; }
    /// The result flags of the last frame.
    uint32_t GetFlags() const { return mResultFlags; }
    /// The length of the step applied last frame (0 when none was).
    float GetLastDistance() const { return mLastDistance; }
    /// Whether the bone probe at index is enabled (0 for an index without a probe).
    int32_t IsBoneTargetSet(int32_t index) const;

    /// Appends a disabled probe on the bone's frame of the actor's model: kind kProbeLine
    /// (a line from the bone to the offset) or kProbeSphere (a sphere of the radius at the
    /// bone that walls push back by the push factor). The index, or -1 for an unknown bone,
    /// a full set of probes, or no room left in the shared probe arena.
    int32_t AddBoneTarget(int32_t boneId, float radius, float pushFactor, int32_t kind, const Vector* offset);
    /// Enables the probe from the bone's current position, with the offset when given.
    void SetBoneTarget(int32_t index, const Vector* offset);
    void ClearBoneTarget(int32_t index);
    /// Every probe disabled, with its hit flag.
    void ClearBoneTargets();
    /// Whether the probe met something last frame.
    int32_t IsBoneTargetHit(int32_t index) const;
    /// The probe's offset, or null for an index without a probe.
    const Vector* GetBoneTargetOffset(int32_t index) const;
    /// The probe's smoothed push of the last frame, or null.
    const Vector* GetBoneTargetPush(int32_t index) const;
    /// The special wall met last frame (set 0 when none).
    const WallRecord& GetWallRecord() const { return mWall; }

    /// The level's static (collision) and dynamic (main) worlds the wall test uses; Reset
    /// takes them from the script world's current level.
    void SetCollisionWorlds(World* staticWorld, World* dynamicWorld)
    {
        mStaticWorld = staticWorld;
        mDynamicWorld = dynamicWorld;
    }
    /// The level's path-finding graph, whose cells are the walkable area (null: no test).
    static void SetLevelGraph(TsAStarPathfinder* graph);

    /// The actor moved; null once it is gone.
    TsActor* GetActor();
    uint16_t GetRootChannelId() const { return mRootChannelId; }
    uint16_t GetCurrentChannelId() const { return mCurrentChannelId; }

    /// Each loop of a looping channel (data: the actor): the channel's last root position
    /// goes back by the loop's displacement, so the next delta continues smoothly.
    static void OnLoop(uint16_t channelId, void* data);

private:
    static void OnRootBone(void* keyFrame, RdChannel* channel, void* data);
    static void OnAfterBlend(RdAnimMotor* motor, void* data);
    static void ClearRootBone(void* keyFrame, void* data);
    static void RemoveLoopCallback(RdChannel* channel, void* data);

    void RootMotion(void* keyFrame, RdChannel* channel);
    void Step();
    void ClearFrame();
    void RemoveRootChannel();
    /// The result flags for the candidate step from the node's position; fills mPush.
    uint32_t TestPosition(const Vector& step);
    bool TestWalls(const Vector& position, const Vector& step);
    /// The sphere against the static world's walls the step runs into; fills push and,
    /// when record, the special-wall record. Whether a wall counted.
    bool TestWallSphere(const Sphere& sphere, const Vector& step, Vector* push, bool record);
    /// The movement collision set's frame spheres at the candidate step: whether one meets
    /// a wall (push from the first that does). Null found when the model has none.
    bool TestFineSpheres(const Vector& step, bool* found);
    void RunBoneProbes();
    /// Moves the node by the vector: a translation, or through the ground snap (kFollowGround).
    bool ApplyStep(const Vector& step);
    bool TestActors(const Vector& position, const Vector& step);
    bool IsWalkable(const Vector& position) const;
    /// Approach mode: whether the mover touches an actor of the family mask.
    bool TouchesApproached();
    /// Whether the step may be applied; may change it (a slide).
    bool GuardedMove(Vector* step);

    // A handle: a controller kept past its actor must not reach it.
    HbHandlePtr mActor;
    W3dAnimObject* mModel = nullptr;
    uint16_t mRootChannelId = 0;
    uint16_t mCurrentChannelId = 0;
    RdChannel* mCurrentChannel = nullptr;
    Vector mAccumulated = {0, 0, 0};
    float mStepScale = 1.0f;
    Vector mGoal = {0, 0, 0};
    float mMaxStep = kNoMaximum;
    float mTurnAngle = 0.0f;
    float mAnimYaw = 0.0f;
    Vector mDirection = {0, 0, 1};
    uint32_t mMode = 0;
    uint32_t mMoveFlags = 0;
    uint32_t mFamilyMask = 0;
    uint32_t mResultFlags = 0;
    TsActor* mTouched = nullptr;
    float mLastDistance = 0.0f;
    World* mStaticWorld = nullptr;
    World* mDynamicWorld = nullptr;
    Vector mPush = {0, 0, 0};
    Vector mLastAccepted = {0, 0, 0};
    WallRecord mWall = {};
    struct BoneProbe;
    BoneProbe* mProbes = nullptr;
    int32_t mProbeCount = 0;
};
