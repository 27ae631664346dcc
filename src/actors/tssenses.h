// The senses: whether an observer sees a target (its sight table by view angle and the
// target's classes, then a line of sight), whether a shooter has a free line of fire, whether
// an actor stands in a camera's view; the script world's sight and contextual-action sensor
// tests and the skills functions DoesActorSeesActor and DoesActorCanShootActor.
#pragma once

#include <cstdint>

struct Frame;
struct Vector;
struct World;
class ScriptWorldManager;
class TsActor;
class TsSkillRegistry;
class W3dCamera;

/// 1 when the observer sees the target.
int32_t TsActorSeesActor(TsActor* observer, TsActor* target);
/// 1 when the line from the observer's eye to the target's sight point is blocked; 1 too
/// when either has no node.
int32_t TsActorSightLineBlocked(TsActor* observer, TsActor* target);
/// 1 when the line of fire from the shooter to the target is blocked: fraction is then the
/// share of the line before the obstacle, flags the family bits of the actor hit or else the
/// hit surface's collision flags. 0 when the line is free or the test does not apply
/// (hidden target, no frame to shoot from); the outputs stay 1.0 and 0.
int32_t TsCanShootActor(TsActor* shooter, TsActor* target, int32_t* flags, float* fraction);
/// 1 when the actor's node stands inside the camera's view, grown by 0.1 rad on every side.
int32_t TsIsActorInCameraFov(W3dCamera* camera, TsActor* actor);
/// 1 when the point lies on the inner side of the four planes through the frame's position,
/// whose normals are given in the frame's space. A point on a plane is inside.
int32_t TsSensesIsInFrustum(Frame* frame, const Vector* point, World* world, const Vector normals[4]);

/// The contextual-action sensor: 1 when "CMD_CONTEXTUAL_ACTION" is triggered this frame and
/// the other actor is within the squared distance of the owner.
int32_t TsEventTestContextAction(TsActor* owner, TsActor* other, float squaredDistance);

/// Fills the script world's sight and contextual-action tests and queues the registration
/// of the two skills functions (once).
void TsSensesInstall(ScriptWorldManager* world, TsSkillRegistry* registry);
