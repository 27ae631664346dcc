// HeroMoveMSState ("MS_HEROMOVE"): the skill that animates the hero. It reads no input: the
// hero's states push requests into the hero's two animation players and this skill's Loop
// steps them. Its Setup fills the move player (legs and whole body) and the static player
// (upper body) with the hero's animation states. The file also gives the fall bone target,
// the search for an enemy the hero can neutralise from behind, and the script functions
// HeroMAPTransition, HeroSAPTransition and HeroControleur.
#pragma once

#include "animplayerstatemachine.h"
#include "hbperclassfreelist.h"
#include "move.h"

#include <cstdint>

class TsActor;
struct PyMethodDef;

class HeroMoveMSState : public MoveMSState
{
    HB_DECLARE_CLASS_DESC();
    HB_DECLARE_CLASS_POOL();

public:
    static constexpr const char* kName = "MS_HEROMOVE";
    static constexpr int32_t kPoolSize = 1;
    static constexpr int32_t kMapStand = 3;
    /// The neutralisation's event, its reach (squared) and the hold distance.
    static constexpr int32_t kNeutralizeEvent = 515;
    static constexpr float kNeutralizeReachSquared = 22500.0f;
    static constexpr float kNeutralizeHold = 90.0f;

    explicit HeroMoveMSState(TsAnimActor* actor);

    void Init() override {}
    /// Both players prepared (92 slots at Stand, 36 at 0), the hero's blend and pair tables
    /// installed, the aim bone target added, the states of both tables created and their
    /// options set.
    void Setup() override;
    /// The controller reset to mode 3 against enemies and DOFs, both players reset, Stand
    /// asked of the move player and the hero put in NORMAL_WAIT.
    void Enter() override;
    /// The static player's update, then the move player's; running, never done. 1.
    int32_t Loop() override;
    int32_t SetParameters(PyObject*) override { return 1; }

    /// The skill made for the owner as the skill registry's factory makes it.
    static TsMotorSkill* Create(TsActor* owner, PyObject* parameters);
};

// ---- The states' callbacks -----------------------------------------------------------------------

int32_t HeroMoveFaceMoveDirection(AnimPlayerState* state, AnimPlayerState* previous, TsAnimActor* actor, void* data);
int32_t HeroMoveQuickTurnUpdate(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t HeroMoveAimWalkEnter(AnimPlayerState* state, AnimPlayerState* previous, TsAnimActor* actor, void* data);
int32_t HeroMoveResetController(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t HeroMoveReloadEnter(AnimPlayerState* state, AnimPlayerState* previous, TsAnimActor* actor, void* data);
int32_t HeroMoveReloadLeave(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t HeroMoveWeaponTaken(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t HeroMoveShootEnter(AnimPlayerState* state, AnimPlayerState* previous, TsAnimActor* actor, void* data);
int32_t HeroMoveShootRepeat(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t HeroMoveShootHold(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t HeroMoveShootLeave(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t HeroMoveWallEnter(AnimPlayerState* state, AnimPlayerState* previous, TsAnimActor* actor, void* data);
int32_t HeroMoveWallLeave(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t HeroMoveNeutralizeEnter(AnimPlayerState* state, AnimPlayerState* previous, TsAnimActor* actor, void* data);
int32_t HeroMoveNeutralizeUpdate(AnimPlayerState* state, TsAnimActor* actor, void* data);
int32_t HeroMoveNeutralizeLeave(AnimPlayerState* state, TsAnimActor* actor, void* data);

/// The pad rumble of a shot: max(0.45, force / 65), at most 1.
float HeroShotRumble(float force);

// ---- Services of the hero --------------------------------------------------------------------------

/// Enables the fall bone target (added by HeroControleur) with no offset.
void FallBoneTargetSet(TsActor* hero);
/// The fall bone target's index on the controller, -1 before HeroControleur made one.
int32_t FallBoneTargetIndex();
/// An actor other than the hero, listed in the script world, of the hero's enemy family,
/// subscribed to the neutralisation, alive, within 150 units (a missing node is out of
/// reach), facing the hero's way with the hero behind it.
int32_t HeroIsNeutralizableTarget(TsActor* hero, TsActor* candidate);
/// 0 with a firearm in hand; else whether any actor of the script world is a target.
int32_t HeroCanNeutralize(TsActor* hero);
/// The first target into the hero's neutralise handle; 1 when one was found.
int32_t HeroPickNeutralizeTarget(TsActor* hero);

/// HeroMAPTransition, HeroSAPTransition and HeroControleur, ending with an empty entry.
PyMethodDef* HeroMoveScriptFunctions();

/// Queues the skill's registrations (the skill, its error constant and its script functions)
/// with the skill registry once; a static initialiser calls it.
void HeroMoveQueueRegistrations();
