// MS_OBJECT_DISAPPEAR: fades an object's node and its children out, then hands the actor to
// another skill. LaunchDisappear (module skills) starts it.
#pragma once

#include "tsmotorskill.h"

#include <cstdint>

class ObjectDisappearMSState : public TsMotorSkill
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr const char* kName = "MS_OBJECT_DISAPPEAR";
    static constexpr int32_t kScriptId = 0x1002;
    enum Phase : int32_t
    {
        kStart = 0,
        kFading = 1,
        kFaded = 2,
    };

    explicit ObjectDisappearMSState(TsActor* owner) : TsMotorSkill(owner, kName) {}
    void Init() override {}
    void Enter() override { mPhase = kStart; }
    void Exit() override {}
    /// Starts the fades, waits for the node's to end, then switches the owner to the next
    /// skill and reports success (0). A node-less owner, or one whose fade cannot start,
    /// switches on the next frame.
    int32_t Loop() override;
    int32_t AttachTo(TsActor* owner) override;
    static TsMotorSkill* Create(TsActor* owner, PyObject* parameters);

    float mDuration = 0.0f;
    int32_t mNextSkill = 0;
    int32_t GetPhase() const { return mPhase; }

private:
    int32_t mPhase = kStart;
};

/// Queues MS_OBJECT_DISAPPEAR and LaunchDisappear on the skill registry (once).
void ObjectDisappearQueueRegistrations();
