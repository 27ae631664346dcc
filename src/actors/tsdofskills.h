// The degree-of-freedom skills: MS_DOF_TRANSLATE slides a door or lift along a direction by a
// distance at a speed, MS_DOF_ROTATE turns it about an axis by an angle at a speed. Scripts set
// the parameters with DofTranslate and DofRotate (module skills) and loop the skill until it
// succeeds.
#pragma once

#include "hbperclassfreelist.h"
#include "tsmotorskill.h"
#include "vector.h"

class TsSkillRegistry;

class TsDofTranslateMSState : public TsMotorSkill
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr const char* kName = "MS_DOF_TRANSLATE";
    static constexpr int32_t kScriptId = 5969;
    /// Closer than this to the goal the translation has arrived.
    static constexpr float kArrival = 5.0f;

    explicit TsDofTranslateMSState(TsActor* owner) : TsMotorSkill(owner, kName) {}
    /// From the table: the remaining distance, and the velocity along the table's axis turned
    /// by the node's world matrix at |speed|. A negative distance arrives at once.
    void Init() override;
    void Enter() override {}
    void Exit() override {}
    /// Succeeds (0) once less than 5 units remain; else moves the node's world position by
    /// one frame, never past the goal, and runs (1).
    int32_t Loop() override;
    /// Degrees of freedom only.
    int32_t AttachTo(TsActor* owner) override;
    static TsMotorSkill* Create(TsActor* owner, PyObject* parameters);

    float GetRemaining() const { return mRemaining; }

private:
    float mSpeed = 0.0f;
    float mRemaining = 0.0f;
    Vector mVelocity = {0.0f, 0.0f, 0.0f};
};

class TsDofRotateMSState : public TsMotorSkill
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr const char* kName = "MS_DOF_ROTATE";
    static constexpr int32_t kScriptId = 5970;

    explicit TsDofRotateMSState(TsActor* owner) : TsMotorSkill(owner, kName) {}
    /// Speed 0, target 0, axis (0, 1, 0).
    void Setup() override;
    /// Speed, axis and target from the table; the turn starts now.
    void Init() override;
    void Enter() override {}
    void Exit() override {}
    /// Turns the node's frame by speed x elapsed game seconds, the last step cut to end on
    /// the target; 0 when there, else 1. A target of 0 never ends.
    int32_t Loop() override;
    int32_t AttachTo(TsActor* owner) override;
    static TsMotorSkill* Create(TsActor* owner, PyObject* parameters);

    float GetTurned() const { return mTurned; }

private:
    float mSpeed = 0.0f;
    float mTarget = 0.0f;
    Vector mAxis = {0.0f, 1.0f, 0.0f};
    float mTurned = 0.0f;
};

/// Queues the two skill classes and DofTranslate and DofRotate on the registry (once).
void TsDofSkillsQueueRegistration(TsSkillRegistry* registry);
