// MS_MOVE_DOF: opens, closes or spins a MobileDof as the script function MoveDof asks. An
// opening or closing that ends reports success and queues MAPStateOver for the DOF.
#pragma once

#include "matrix.h"
#include "tsmotorskill.h"

#include <cstdint>

struct Slerp;
class MobileDof;

class MoveDofMSState : public TsMotorSkill
{
    HB_DECLARE_CLASS_DESC();

public:
    static constexpr const char* kName = "MS_MOVE_DOF";
    static constexpr int32_t kScriptId = 0x1753;
    enum Mode : int32_t
    {
        kSpinClosed = 0,
        kSpinOpen = 1,
        kOpen = 2,
        kClose = 3,
    };

    explicit MoveDofMSState(TsActor* owner);
    ~MoveDofMSState() override;

    /// Takes the mode from the table (MoveDof) and starts the motion now; a motion that
    /// reverses another continues from the same point of the path.
    void Init() override;
    void Setup() override;
    /// The node's current placement becomes the rest matrix the motion starts from.
    void Enter() override;
    void Exit() override {}
    /// One frame of the motion; 0 when an opening or closing has ended (success) or the mode
    /// is unknown, else 1.
    int32_t Loop() override;
    /// MobileDof actors only.
    int32_t AttachTo(TsActor* owner) override;
    static TsMotorSkill* Create(TsActor* owner, PyObject* parameters);

    int32_t GetMode() const { return mMode; }
    float GetPosition() const { return mPosition; }
    float GetSpeed() const { return mSpeed; }
    float GetSpinAngle() const { return mSpinAngle; }

private:
    MobileDof* Dof() const;
    /// Rest, then the motion matrix (may be null), then the spin, each pre-concatenated on
    /// an identity frame.
    void Place(MobileDof* dof, const Matrix* motion);
    void Spin(float dt);
    /// Success, MAPStateOver queued, 0.
    int32_t Finish(MobileDof* dof);

    int64_t mStamp = 0;
    int32_t mMode = kSpinClosed;
    int32_t mPreviousMode = kSpinClosed;
    float mElapsed = 0.0f;
    float mSpinAngle = 0.0f;
    float mPosition = 0.0f;
    float mSpeed = 0.0f;
    float mSpinSpeed = 0.0f;
    float mReversalOffset = 0.0f;
    Slerp* mInterpolator = nullptr;
    Matrix mInterpolated;
};

/// Queues MS_MOVE_DOF, MoveDof and MS_ERROR_MDOF_FINISH on the skill registry (once).
void MoveDofQueueRegistrations();
