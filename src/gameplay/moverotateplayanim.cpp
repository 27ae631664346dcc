// MS_MOVE_ROTATE_PLAYANIM and MoveRotatePlayAnim.
#include "moverotateplayanim.h"

#include "frame.h"
#include "hbclock.h"
#include "rdanimmotor.h"
#include "tsactorlayer.h"
#include "tsanimactor.h"
#include "tsmotorskills.h"
#include "tsskillregistry.h"
#include "w3dcollision.h"
#include "w3dlevel.h"
#include "w3dnode.h"
#include "wscene.h"

#include <Python.h>

#include <cmath>

HB_DEFINE_CLASS_DESC(MoveRotatePlayAnimMSState, TsMotorSkill);

namespace
{
constexpr float kProbeRaise = 20.0f;
constexpr float kProbeLength = 145.0f;
constexpr float kProbeBack = -15.0f;
/// cos 60 degrees: a steeper triangle is a wall.
constexpr float kWallCosine = 0.5f;
/// A probe that starts inside a wall reports 0; the push back stays finite.
constexpr float kMinFraction = 0.05f;

float Length(const Vector& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

PyObject* MoveRotatePlayAnim(PyObject*, PyObject* args)
{
    PyObject* object = nullptr;
    const char* animation = nullptr;
    int ground = 0;
    float speed = 0.0f, startMix = 0.0f, endMix = 0.0f;
    if (!PyArg_ParseTuple(args, "Osifff:MoveRotatePlayAnim", &object, &animation, &ground, &speed, &startMix, &endMix))
        return nullptr;
    TsActor* actor = TsFindActorOfScriptObject(object);
    TsMotorSkills* table = actor ? actor->GetMotorSkills() : nullptr;
    if (!table)
    {
        PyErr_SetString(PyExc_RuntimeError, "MoveRotatePlayAnim : actor has no motor skills");
        return nullptr;
    }
    // The table's parameter words: the name, then ground correction, relative speed, the two
    // mixing times and a zero word.
    table->mTexts[0] = animation;
    table->mAxis[0] = float(ground);
    table->mSpeed = speed;
    table->mAxis[1] = startMix;
    table->mAxis[2] = endMix;
    table->mAmount = 0.0f;
    table->mFlags |= TsMotorSkills::kResetRequested;
    Py_RETURN_NONE;
}

int Register()
{
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return 0;
    registry->AddSkillFunction(MoveRotatePlayAnim, "MoveRotatePlayAnim",
                               "[AnimationName,Bool GroundCorrection, RelativeAnimationSpeed, StartMixingDuration "
                               "in sec, EndMixingAnimation in sec",
                               __FILE__, __LINE__);
    registry->AddSkillState(MoveRotatePlayAnimMSState::kScriptId, MoveRotatePlayAnimMSState::kName, __FILE__,
                            MoveRotatePlayAnimMSState::Create, __LINE__);
    return 1;
}

bool gQueued = false;

[[maybe_unused]] const int gQueuedAtStart = (MoveRotatePlayAnimQueueRegistrations(), 1);
} // namespace

void MoveRotatePlayAnimMSState::Init()
{
    TsMotorSkills* table = mOwner ? mOwner->GetMotorSkills() : nullptr;
    W3dNode* node = mOwner ? mOwner->GetNode() : nullptr;
    if (!table)
        return;
    mGroundCorrection = table->mAxis[0] != 0.0f;
    const float speed = table->mSpeed > 0.001f ? table->mSpeed : 1.0f;
    const float seconds = std::fmax(table->mAxis[1] + table->mAxis[2], 0.0f) / speed;
    mVelocity = {0.0f, 0.0f, 0.0f};
    mTurnSpeed = 0.0f;
    mEndTime = HbGameClock::Instance()->mGameTime + int64_t(double(seconds) * double(HbPerformanceFrequency()));
    if (node)
    {
        mFinalPosition = *node->GetWorldPosition();
        mFinalDirection = *node->GetWorldAt();
    }
}

void MoveRotatePlayAnimMSState::Enter()
{
    TsMotorSkillState::StampTime(this);
    mWallHit = 0;
}

void MoveRotatePlayAnimMSState::Exit()
{
    W3dNode* node = mOwner ? mOwner->GetNode() : nullptr;
    if (!mKeepBoneCallback && mOwner)
    {
        if (RdAnimMotor* motor = mOwner->GetAnimMotor())
            motor->SetBoneCallback(0, nullptr, nullptr);
        if (!mGroundCorrection && node)
            node->SetWorldPosition(&mFinalPosition);
    }
    mWallHit = 0;
}

void MoveRotatePlayAnimMSState::ProbeWall(const Vector& step)
{
    W3dNode* node = mOwner->GetNode();
    WScene* scene = node ? node->GetScene() : nullptr;
    W3dLevel* level = scene ? scene->GetLevel() : nullptr;
    const float length = Length(step);
    if (!level || length <= 0.0f)
        return;
    const Vector dir = {step.x / length, step.y / length, step.z / length};
    const Vector* at = node->GetWorldAt();
    Vector start = *node->GetWorldPosition();
    start.y += kProbeRaise;
    // The probe starts a little behind the actor so that a wall it touches is met.
    const Vector back = {at->x * kProbeBack, at->y * kProbeBack, at->z * kProbeBack};
    start = {start.x + back.x, start.y + back.y, start.z + back.z};
    const Vector end = {start.x + dir.x * kProbeLength, start.y + dir.y * kProbeLength, start.z + dir.z * kProbeLength};
    W3dCollisionResult result;
    result.Clear();
    // The nearest static triangle decides, whatever order the world offers them in.
    if (!CollisionTestLineEx(nullptr, level->GetCollisionWorld(), &start, &end, nullptr, nullptr, &result, nullptr))
        return;
    const Vector& n = result.normal;
    const float horizontal = std::sqrt(n.x * n.x + n.z * n.z);
    mWallHit = horizontal >= kWallCosine * Length(n);
    mWallFraction = result.distance;
}

int32_t MoveRotatePlayAnimMSState::Loop()
{
    TsMotorSkills* table = mOwner ? mOwner->GetMotorSkills() : nullptr;
    W3dNode* node = mOwner ? mOwner->GetNode() : nullptr;
    if (!table || !node)
        return 0;
    const float seconds = TsMotorSkillState::UpdateTime(this);
    Vector step = {mVelocity.x * seconds, mVelocity.y * seconds, mVelocity.z * seconds};
    if (HbGameClock::Instance()->mGameTime >= mEndTime)
    {
        if (!mGroundCorrection)
        {
            node->SetWorldPosition(&mFinalPosition);
            node->LookAlong(&mFinalDirection);
        }
        mOwner->SnapToGround(nullptr);
        table->mFlags |= TsMotorSkills::kSucceeded;
        return 0;
    }
    if (mGroundCorrection)
    {
        if (mWallHit)
            step = {0.0f, 0.0f, 0.0f};
        else
        {
            ProbeWall(step);
            const float length = Length(step);
            if (mWallHit && mWallFraction < 0.9f && length > 0.0f)
            {
                const float push = 40.0f / std::fmax(mWallFraction, kMinFraction) / length;
                step = {step.x - step.x * push, step.y - step.y * push, step.z - step.z * push};
            }
            else if (mWallHit)
                step = {0.0f, 0.0f, 0.0f};
        }
    }
    if (mGroundSnap)
        mOwner->SnapToGround(&step);
    else if (Frame* frame = node->GetEngineFrame())
        Frame::Translate(frame, &step, kCombinePostConcat);
    if (Frame* frame = node->GetEngineFrame())
    {
        const Vector up = {0.0f, 1.0f, 0.0f};
        Frame::Rotate(frame, &up, mTurnSpeed * seconds, kCombinePreConcat);
    }
    table->mFlags |= TsMotorSkills::kRunning;
    return 1;
}

int32_t MoveRotatePlayAnimMSState::AttachTo(TsActor* owner)
{
    if (!HbCastTo<TsAnimActor>(owner))
        return 0;
    mOwner = owner;
    return 1;
}

TsMotorSkill* MoveRotatePlayAnimMSState::Create(TsActor* owner, PyObject* parameters)
{
    auto* state = new MoveRotatePlayAnimMSState(owner);
    if (!state->SetParameters(parameters))
    {
        delete state;
        return nullptr;
    }
    state->Setup();
    return state;
}

void MoveRotatePlayAnimQueueRegistrations()
{
    if (gQueued)
        return;
    TsSkillRegistry* registry = TsSkillRegistry::Instance();
    if (!registry)
        return;
    registry->AddRegistration(Register);
    gQueued = true;
}
