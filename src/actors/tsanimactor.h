// TsAnimActor: an animated character: its animated model, motor skills, the weapon in hand,
// the movement controller and the virtual target it aims at (the base of the hero).
#pragma once

#include "tsactor.h"

#include <cstdint>

class AnimMoveCtrl;
class MoveAnimPlayerStateMachine;
class StaticAnimPlayerStateMachine;
class VirtualTargetActor;
class W3dAnimObject;

class TsAnimActor : public TsActor
{
    HB_DECLARE_CLASS_DESC();

public:
    /// The bone the weapon in hand hangs on.
    static constexpr int32_t kWeaponBone = 23;

    /// Reads the weapon kind of an actor taken in hand; false when it is not a weapon. Set by
    /// the weapon classes.
    using WeaponKindReader = bool (*)(TsActor* weapon, int32_t* kind);
    static void SetWeaponKindReader(WeaponKindReader reader);

    /// Its motor-skill table (owner: this actor) and its two animation players; no model,
    /// weapon or controller yet.
    TsAnimActor();
    /// Lets go of the weapon, leaves the skill, resets and releases the animation players,
    /// then releases the skills, controller, model and target.
    ~TsAnimActor() override;

    W3dNode* GetNode() override;
    /// Nothing for the current model. Otherwise the movement controller is released, then the
    /// current model leaves its parent and is released; a new animated model is kept, hung
    /// under the level's root, its animation events go to the current skill, and a new
    /// movement controller and virtual target are made. A node that is not an animated model
    /// leaves the actor without a model or controller.
    void SetModel(W3dNode* node) override;
    /// A new animated model loaded from the named description. 1 when the actor has a node.
    int32_t LoadModel(const char* name) override;
    RdAnimMotor* GetAnimMotor() override;
    TsMotorSkills* GetMotorSkills() override { return mSkills; }
    AnimMoveCtrl* GetMoveController() override;
    TsActor* GetTarget() override;

    /// SetPosition, then a snap to the ground without offset: the snap's result.
    virtual int32_t SetPositionOnGround(const Vector* position);
    /// Keeps the new table (one reference) after releasing the old one; null clears.
    virtual void SetMotorSkills(TsMotorSkills* table);
    /// The held weapon's node leaves the model and the weapon is released. Null: 0. A weapon
    /// is kept (one reference); its node, reset to identity and shown, hangs on the weapon
    /// bone; a weapon's kind is copied. 1.
    virtual int32_t SetWeapon(TsActor* weapon);
    /// The object's node, reset to identity, hangs on the bone; without an object whatever
    /// hangs there is detached. 1.
    virtual int32_t AttachToBone(TsActor* object, int32_t bone);
    /// The whole-body (move) and upper-body (static) animation players.
    virtual MoveAnimPlayerStateMachine* GetMovePlayer() { return mMovePlayer; }
    virtual StaticAnimPlayerStateMachine* GetStaticPlayer() { return mStaticPlayer; }
    TsActor* GetWeapon() const { return mWeapon; }
    W3dAnimObject* GetModel() const { return mModel; }

    /// Mode 0: the nearest actor of the mask within distance whose direction is within the
    /// cosine of the view; mode 1: the one most in front (dot at least cosine). Candidates
    /// need a node in the world, hit points, and a subscription to firstEvent when it is not
    /// 0; in mode 1 to secondEvent too once the best has one. The line test drops candidates
    /// behind the level's triangles. With a virtual target the actor turns to the one found.
    TsActor* FindNearestTarget(uint32_t mask, float distance, float cosine, int32_t mode, int32_t lineTest,
                               int32_t firstEvent, int32_t secondEvent);

    int32_t mWeaponKind = 0;
    int32_t mLastHitEvent = -1;
    float mMovementFactor = 1.0f;
    int32_t mMovementFlag = 1;

private:
    static void ForwardEvent(int32_t eventId, void* data);

    W3dAnimObject* mModel = nullptr;
    TsMotorSkills* mSkills = nullptr;
    TsActor* mWeapon = nullptr;
    AnimMoveCtrl* mMoveController = nullptr;
    VirtualTargetActor* mTarget = nullptr;
    MoveAnimPlayerStateMachine* mMovePlayer = nullptr;
    StaticAnimPlayerStateMachine* mStaticPlayer = nullptr;
};

/// When the id is not 0 and names a channel of the actor's motor, its weight ramps from where
/// it is to 0 over the ticks; a non-zero id becomes 0 in any case. 1.
int32_t TsAnimActorFadeOutChannel(TsActor* actor, uint16_t* channelId, int64_t ticks);
/// Fills the animation layer's request hooks with the animated actors' operations.
void TsAnimActorInstallRequestHooks();
