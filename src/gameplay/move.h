// MoveMSState ("MS_MOVE"): the common base of the hero, soldier and tank move skills. It
// prepares the actor's move and static animation players, plays footsteps on the
// animation's foot events and strikes with the weapon in hand. The file also registers the
// move skills' error constants and the script functions MAPInitialization and
// SAPInitialization with the skill registry.
#pragma once

#include "animplayerstatemachine.h"
#include "tsmotorskill.h"

#include <cstdint>

class TsAnimActor;

/// One animation state a move skill's Setup creates.
struct MoveStateDescription
{
    int32_t stateId = 0;   ///< the slot of the state in its player
    int32_t animation = 0; ///< the animation state of the weapon's records and the animation set
    int32_t controllerMode = 0;
    uint32_t controllerFlags = 16;
    float controllerLimit = 3.4028235e38f;
    int32_t channel = 1;    ///< the bone profile
    int32_t playMode = 0;   ///< the play kind
    int32_t entryValue = 0; ///< the lock taken on entry
    const char* sound = nullptr;
    int32_t followUp = 0;
    float time1 = 0.0f; ///< seconds before a request may leave the state
    float time2 = 0.0f; ///< seconds before the state may be entered again after it began
    int32_t lastWord = 0;
    AnimPlayerState::Callback update = nullptr;
    void* updateData = nullptr;
    AnimPlayerState::EnterCallback enter = nullptr;
    void* enterData = nullptr;
    AnimPlayerState::Callback leave = nullptr;
    void* leaveData = nullptr;
};

class MoveMSState : public TsMotorSkill
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr const char* kName = "MS_MOVE";
    static constexpr int32_t kMoveStateSlots = 92;
    static constexpr int32_t kStaticStateSlots = 36;
    /// Animation events: a foot touches the ground (1, 2); the strike frame (13).
    static constexpr int32_t kEventLeftFoot = 1;
    static constexpr int32_t kEventRightFoot = 2;
    static constexpr int32_t kEventStrike = 13;

    /// Prepares the actor's move player (92 slots) and static player (36 slots), both at
    /// state 0.
    explicit MoveMSState(TsAnimActor* actor);

    void Init() override {}
    /// Starts the move player's transition.
    void Setup() override;
    void Enter() override {}
    /// Resets the move player, then the static player, each when the actor has it.
    void Exit() override;
    /// Marks the skill running; 1.
    int32_t Loop() override;
    /// Footsteps on events 1 and 2 by the move player's state, Strike on 13.
    void OnEvent(int32_t id) override;
    /// True for an animated actor only.
    int32_t AttachTo(TsActor* owner) override;
    /// The weapon in hand strikes (no hit object) when it is a weapon. 1.
    virtual int32_t Strike();
    /// Unused; 1.
    virtual int32_t SpareMoveOperation() { return 1; }

    /// A move state from its pool, set up from the description and stored at its id in the
    /// actor's move player; null when the actor has no such player or slot.
    AnimPlayerState* AddMoveState(const MoveStateDescription& description);
    /// The same for the static player (the controller fields are not used).
    AnimPlayerState* AddStaticState(const MoveStateDescription& description);

    /// The footstep a move-animation state plays; -1 for none.
    static int32_t StepKindOfState(int32_t state);

    TsAnimActor* GetActor() const { return mActor; }

protected:
    TsAnimActor* mActor;
};

/// Queues the move skills' registrations (error constants, MAPInitialization and
/// SAPInitialization) with the skill registry once; a static initialiser calls it.
void MoveQueueRegistrations();
