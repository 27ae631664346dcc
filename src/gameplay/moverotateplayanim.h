// MS_MOVE_ROTATE_PLAYANIM: moves and turns an actor at a constant velocity and turn speed
// until an end time, optionally stopping at walls ahead, then puts it at a final position and
// facing. MoveRotatePlayAnim (module skills) files the request in the actor's skill table.
#pragma once

#include "matrix.h"
#include "tsmotorskill.h"

#include <cstdint>

class MoveRotatePlayAnimMSState : public TsMotorSkill
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr const char* kName = "MS_MOVE_ROTATE_PLAYANIM";
    static constexpr int32_t kScriptId = 0xC101;

    explicit MoveRotatePlayAnimMSState(TsActor* owner) : TsMotorSkill(owner, kName) {}
    /// Takes the table's request: the ground-correction flag, and a motion in place that ends
    /// after the two mixing times at the relative speed, on the node's current placement.
    void Init() override;
    void Enter() override;
    void Exit() override;
    /// One frame of the motion; at the end time the final placement and success (0).
    int32_t Loop() override;
    int32_t AttachTo(TsActor* owner) override;
    /// Does nothing.
    virtual void SpareOwnOperation() {}
    static TsMotorSkill* Create(TsActor* owner, PyObject* parameters);

    Vector mVelocity = {0.0f, 0.0f, 0.0f};
    float mTurnSpeed = 0.0f;
    int64_t mEndTime = 0;
    Vector mFinalPosition = {0.0f, 0.0f, 0.0f};
    Vector mFinalDirection = {0.0f, 0.0f, 1.0f};
    int32_t mGroundSnap = 0;
    int32_t mWallHit = 0;
    int32_t mGroundCorrection = 0;
    int32_t mKeepBoneCallback = 0;
    float mWallFraction = 1.0f;

private:
    /// Sets the wall flag and fraction from the nearest static triangle the probe line meets.
    void ProbeWall(const Vector& step);
};

/// Queues MS_MOVE_ROTATE_PLAYANIM and MoveRotatePlayAnim on the skill registry (once).
void MoveRotatePlayAnimQueueRegistrations();
