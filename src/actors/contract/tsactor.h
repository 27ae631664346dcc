// TsActor: the reference-counted base of every actor: its node, bound script object, family
// and enemy-family masks, event registrations, hit points, decaying noise level, sight model
// and the collision result of its last ground test.
#pragma once

#include "hbptrlist.h"
#include "hbroot.h"
#include "tsfamilies.h"
#include "w3dcollision.h"

#include <cstdint>
#include <string>

typedef struct _object PyObject;
struct EBoxActorBits;
class HbSaveFile;
class AnimMoveCtrl;
class RdAnimMotor;
class TsEvent;
class TsMotorSkills;
class W3dNode;

class TsActor : public HbRoot
{
    HB_DECLARE_CLASS_DESC();

public:
    /// Ground-test flags: which collision the ground snap tests.
    static constexpr uint32_t kGroundTestTriangles = 1;
    static constexpr uint32_t kGroundTestObjects = 2;
    /// A surface whose flag byte holds this bit never takes an actor.
    static constexpr uint8_t kNoSnapSurface = 0x10;
    /// The hit material colour bytes that carry the ground id and the surface flags.
    static constexpr int32_t kGroundIdByte = 0;
    static constexpr int32_t kSurfaceFlagByte = 2;
    static constexpr int32_t kBands = 4;
    static constexpr int32_t kClasses = 5;
    /// Visibility class of an actor never seen.
    static constexpr int32_t kUnseen = 4;
    /// The class value read as 0.
    static constexpr int32_t kClassUnset = 5;
    static constexpr float kSnapHalfHeight = 70.0f;

    TsActor();
    /// Frees every registration, unstores and drops the script object (only while the
    /// interpreter runs), drops the pending call and the held objects, frees the event-box
    /// bits. A class holding motor skills runs ExitMotorSkills in its own destructor first.
    ~TsActor() override;

    // ---- Operations of each actor class ------------------------------------------------------

    virtual void Stop() {}
    /// The node that places the actor, or null.
    virtual W3dNode* GetNode() { return mNode; }
    /// Its motor skills, or null.
    virtual TsMotorSkills* GetMotorSkills() { return nullptr; }
    /// Its own per-frame work.
    virtual void Update() {}
    /// Moves the node so that its world position is the point. 0 without a node.
    virtual int32_t SetPosition(const Vector* point);
    /// Hangs the node under the other actor's node, keeping its world placement. 1, or 0
    /// when either has no node.
    virtual int32_t AttachTo(TsActor* other);
    /// Hangs the node under its scene's root, keeping its world placement. 1, or 0 without a
    /// node in a scene.
    virtual int32_t DetachToWorld();
    /// Drops the node onto the ground below it (see the source). 1 moved, 0 not.
    virtual int32_t SnapToGround(const Vector* offset = nullptr);
    /// Current hit points, capped at the maximum.
    virtual void SetHitPoints(int32_t value);
    /// Raises the noise to the level of a noise-table row (an unknown row reads as row 0).
    /// Always 1.
    virtual int32_t SetSoundLevel(int32_t row);
    /// The noise level after its decay of 20 per second of game clock.
    virtual uint32_t GetSoundLevel();
    /// Writes the script class, actorName and data class names. 1 written, 0 without a
    /// script object or when a write failed.
    virtual int32_t Save(HbSaveFile* save);
    virtual int32_t Load(HbSaveFile* save);
    using HbRoot::Load;
    virtual void UpdateVisibilityClass() {}
    /// Squared distance between the two actors' nodes in world units; -1 when either has no
    /// node or its node is in no scene (callers take a negative distance as out of range).
    /// Kept until the game clock moves on or the other actor changes.
    virtual float GetDistanceSquaredTo(TsActor* other);

    // ---- Models, motors and targets (classes that have them answer) ---------------------------

    /// Takes the node as the actor's model; the base has none and does nothing.
    virtual void SetModel(W3dNode* node) {}
    /// Makes or fetches the named model; 1 when the actor then has a node.
    virtual int32_t LoadModel(const char* name) { return GetNode() ? 1 : 0; }
    /// The animation motor of the actor's model, or null.
    virtual RdAnimMotor* GetAnimMotor() { return nullptr; }
    /// The movement controller, or null.
    virtual AnimMoveCtrl* GetMoveController() { return nullptr; }
    /// The actor's aim target, or null.
    virtual TsActor* GetTarget() { return nullptr; }
    /// The world direction in the actor's horizontal frame (x right, z forward, y 0), each
    /// component clamped to [-1, 1]; without a node the direction itself, clamped.
    virtual void GetLocalDirection(const Vector* world, Vector* out);

    // ---- Script side ---------------------------------------------------------------------------

    /// The bound script object (borrowed), or null.
    PyObject* GetScriptObject() const { return mScriptObject; }
    /// Binds the script object, holding a reference on it; the name becomes its actorName
    /// when that is a string, else empty.
    void BindScriptObject(PyObject* object);
    void SetScriptObject(PyObject* object) { BindScriptObject(object); }
    /// Keeps the callable (a reference is held) and lowers the flag: it runs once at the first
    /// RunPendingScriptCall after RaisePendingCallFlag.
    void SetPendingScriptCall(PyObject* callable);
    void RaisePendingCallFlag() { mPendingCallFlag = 1; }
    /// Calls the pending callable once, if one is set and flagged, then clears it. A
    /// failing call is printed and cleared.
    void RunPendingScriptCall();
    const std::string& GetName() const { return mName; }

    // ---- Sight, hit points, placement -------------------------------------------------------------

    void SetMaxHitPoints(int32_t value) { mMaxHitPoints = mHitPoints = value; }
    void SetVisibilityAngles(float a, float b, float c, float d);
    /// Row [band][class]; indices outside 0..3 and 0..4 are ignored.
    void SetVisibilityDistances(int32_t band, int32_t visibility, const float distances[kClasses]);
    /// The distance at which this observer sees a target at that angle (degrees) with those
    /// classes; 0 for the unseen class and for classes outside 0..5.
    float GetSightDistance(float angle, int32_t visibility, int32_t posture) const;
    /// Takes the node out of its parent, if it has one.
    void RemoveNodeFromParent();
    /// Leaves the current motor skill (its Exit runs); classes holding skills call it first in
    /// their destructor.
    void ExitMotorSkills();

    // ---- Registrations ---------------------------------------------------------------------------

    /// 1 when appended (it has a callable or a C callback; the list owns it from then on),
    /// 0 otherwise (the caller keeps it).
    int32_t AddEvent(TsEvent* event);
    /// The first active registration of the id, or null.
    TsEvent* FindEvent(int32_t id) const;
    /// Marks the first active registration of the id inactive; the list position after it,
    /// null when none was found.
    HbPtrListNode* DeactivateEvent(int32_t id);
    /// Frees the inactive registrations.
    void PurgeEvents();
    HbPtrList& GetEvents() { return mEvents; }

    // ---- Fields the script world and its callers read --------------------------------------------

    W3dNode* mNode = nullptr;
    EBoxActorBits* mEBoxBits = nullptr;
    /// Lets the event boxes test the actor each frame; the scenario clears it for actors it
    /// parks out of play.
    int32_t mMustBeUpdated = 1;
    /// The scenario slot the actor was created for (-1: none).
    int32_t mScenarioSlot = -1;
    uint32_t mFamily = UndefinedFamily;
    uint32_t mEnemyFamily = UndefinedFamily;
    float mLightLevel = 1.0f;
    float mLightBoost = -1.0f;
    int32_t mVisibilityClass = kClassUnset;
    int32_t mPostureClass = kClassUnset;
    uint32_t mGroundTestFlags = kGroundTestTriangles;
    int32_t mHitPointParameter = 0;
    HbRoot* mLinkedObject = nullptr;
    HbRoot* GetLinkedObject() const { return mLinkedObject; }
    HbRoot* mOwnedObject = nullptr;
    int32_t mActive = 1;
    /// Kept by the script world: set while the actor is listed.
    int32_t mRegistered = 0;
    /// Kept by the script world: its removal was asked during an update pass.
    int32_t mRemovalRequested = 0;
    W3dCollisionResult mCollision;
    int32_t mMaxHitPoints = 0;
    int32_t mHitPoints = 0;
    int64_t mNoiseStamp = 0;
    uint32_t mNoiseLevel = 0;
    int32_t mActorCollisionDistance = 0;
    float mSightAngles[4] = {20.0f, 50.0f, 70.0f, 0.0f};
    float mSightTable[kBands][kClasses][kClasses];
    float mSightMultiplier = 1.0f;

private:
    int32_t Reparent(W3dNode* parent);

    HbPtrList mEvents{10};
    std::string mName;
    PyObject* mScriptObject = nullptr;
    PyObject* mPendingCall = nullptr;
    int32_t mPendingCallFlag = 0;
    TsActor* mDistanceOther = nullptr;
    int64_t mDistanceTime = -1;
    float mDistance = -1.0f;
};

/// The noise level of a row of the noise-level table; 0 for a row outside 0..13.
uint32_t TsNoiseRowLevel(int32_t row);
