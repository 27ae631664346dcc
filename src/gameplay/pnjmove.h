// PnjMoveMSState ("MS_PNJMOVE"): the move skill of the computer-driven soldiers. Scripts
// request animation states of the soldier's two players and give it targets; the callbacks
// this skill attaches to those states walk the path, turn toward the target at a bounded rate,
// fire the weapon in hand and report success or an MS_ERROR_ code through the skill table.
// The file also registers the skill and its script functions in the module "skills".
#pragma once

#include "move.h"
#include "movepathfollower.h"
#include "tsbonelookat.h"

#include <cstdint>

class TsActor;
class TsAnimActor;

class PnjMoveMSState : public MoveMSState
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr const char* kName = "MS_PNJMOVE";
    /// The turn rate Setup gives, degrees per second.
    static constexpr float kTurnRate = 400.0f;
    /// The bone the death states let fall, and the bone the aim states bend.
    static constexpr int32_t kFallBone = 6;
    static constexpr int32_t kLookAtBone = 5;
    /// Animation indices the aim and shot states choose between.
    static constexpr int32_t kDefaultShootAnim = 2;
    static constexpr int32_t kDefaultReloadAnim = 3;

    /// The move skill's players, an idle path follower and look-at; no timer, rate 0 and no
    /// fall bone target until Setup.
    explicit PnjMoveMSState(TsAnimActor* actor);
    /// The states it made that are still in the actor's players forget their callbacks.
    ~PnjMoveMSState() override;

    /// Timer off, turn rate 400, the follower and look-at bound to the soldier, the fall bone
    /// target, both players prepared with the soldier's blend tables and every state created.
    void Setup() override;
    /// Timer elapsed 0; the movement controller reset, colliding with the hero and his enemies.
    void Enter() override;
    /// Both players reset, the timer off, the look-at stopped.
    void Exit() override;
    /// Both players, then the outcome: 0 when a callback failed or the timer ran out
    /// (succeeded), else running and 1.
    int32_t Loop() override;
    int32_t SetParameters(PyObject*) override { return 1; }
    /// The follower goes to the point with the path mode (arrival distance 0); its Start.
    virtual int32_t SetTargetPosition(const Vector* point, int32_t pathMode);
    /// The same toward the actor.
    virtual int32_t SetTargetActor(TsActor* target, int32_t pathMode);

    /// Reports through the owner's skill table: MS_FAILED with the code, or MS_SUCCEEDED.
    void Fail(uint32_t code);
    void Succeed();

    /// The heap object the registry's factory makes; null when the parameters are refused.
    static TsMotorSkill* Create(TsActor* owner, PyObject* parameters);

    TsBoneLookAt mLookAt;
    MovePathFollower mPath;
    float mTimerDuration = 0.0f;
    float mTimerElapsed = 0.0f;
    int32_t mFallBoneTarget = 0;
    float mTurnRate = 0.0f;
    int32_t mShootAnim = kDefaultShootAnim;
    int32_t mReloadAnim = kDefaultReloadAnim;
    /// What PnjSetTarget stores for the soldier's shots: the weapon's dispersion factor and
    /// the wide-hit flag. Soldiers never take wide hits (a help for the player's own shots),
    /// so the flag stays 0.
    float mShotFactor = 1.0f;
    int32_t mShotWideHit = 0;
    /// The channel of the last reload sound, -1 when none.
    int32_t mReloadChannel = -1;
};

// ---- Turning --------------------------------------------------------------------------------

/// The signed horizontal angle (degrees) from the actor's forward vector to the point; 0 when
/// the point is within 0.001 of the actor on every axis.
float PnjAngleTo(TsActor* actor, const Vector* point);
/// Turns the actor toward the point by at most the frame's seconds x rate when the angle
/// exceeds the threshold; the angle applied (0 when within the threshold).
float PnjTurnToward(TsActor* actor, const Vector* point, float rate, float threshold);
/// 25000 / distance between the two, or 25000 when they coincide.
float PnjTurnRate(TsActor* target, TsActor* actor);
/// 1 when the point lies ahead (both horizontal unit vectors agree within the tolerance in x
/// and z), 2 on the left, 3 on the right.
int32_t PnjSide(TsActor* actor, const Vector* point, float tolerance);

// ---- The states -----------------------------------------------------------------------------

/// The callbacks a state description names; the state table stores these, Setup binds them.
enum PnjCallback : int32_t
{
    kPnjNone = 0,
    kPnjTurnToPathTarget,
    kPnjFacePathDirection,
    kPnjFollowPath,
    kPnjWalkAimUpdate,
    kPnjStrafeUpdate,
    kPnjStrafeCheck,
    kPnjAimEnter,
    kPnjAimLeave,
    kPnjAimUpdate,
    kPnjAimOnceUpdate,
    kPnjShootEnter,
    kPnjShootLeave,
    kPnjReloadEnter,
    kPnjReloadLeave,
    kPnjDeathEnter,
    kPnjDeathLeave,
    kPnjNeutralizedEnter,
    kPnjNeutralizedLeave,
};

/// One row of the soldier's state tables.
struct PnjStateRow
{
    int32_t state;
    int32_t animation;
    int32_t controllerMode;
    uint32_t controllerFlags;
    float controllerLimit;
    int32_t playMode;
    int32_t entryValue;
    int32_t followUp;
    float time1;
    float time2;
    PnjCallback update;
    PnjCallback enter;
    PnjCallback leave;
};

/// The move player's 41 states and the static player's 7, in the order Setup creates them.
const PnjStateRow* PnjMoveStates(int32_t* count);
const PnjStateRow* PnjStaticStates(int32_t* count);

/// The callbacks themselves, for the states Setup makes (data: the skill, or the fall
/// bone-target index for the death states).
namespace PnjCallbacks
{
int32_t TurnToPathTarget(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t FacePathDirection(AnimPlayerState* state, AnimPlayerState* previous, TsAnimActor* actor, void* data);
int32_t FollowPath(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t WalkAimUpdate(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t StrafeUpdate(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t StrafeCheck(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t AimEnter(AnimPlayerState* state, AnimPlayerState* previous, TsAnimActor* actor, void* data);
int32_t AimLeave(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t AimUpdate(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t AimOnceUpdate(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t ChooseAimAnim(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t ChooseWalkAimAnim(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t ChooseShootAnim(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t ChooseReloadAnim(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t ShootEnter(AnimPlayerState* state, AnimPlayerState* previous, TsAnimActor* actor, void* data);
int32_t ShootRepeat(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t ShootLeave(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t ReloadEnter(AnimPlayerState* state, AnimPlayerState* previous, TsAnimActor* actor, void* data);
int32_t ReloadLeave(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t DeathEnter(AnimPlayerState* state, AnimPlayerState* previous, TsAnimActor* actor, void* data);
int32_t DeathLeave(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t NeutralizedEnter(AnimPlayerState* state, AnimPlayerState* previous, TsAnimActor* actor, void* data);
int32_t NeutralizedLeave(AnimPlayerState* state, TsAnimActor* actor, void* data);
} // namespace PnjCallbacks

/// Queues the skill's registration and its script functions with the skill registry once; a
/// static initialiser calls it.
void PnjMoveQueueRegistrations();
